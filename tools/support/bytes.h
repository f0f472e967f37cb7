// Typed values at any byte position, aligned or not: offsets of the simulator's store,
// request blocks, logged bytes.
#pragma once
#include <cstring>

template <typename T>
T LoadAs(const void* at) {
  T value;
  memcpy(&value, at, sizeof value);
  return value;
}

template <typename T>
void StoreAs(void* at, T value) {
  memcpy(at, &value, sizeof value);
}
