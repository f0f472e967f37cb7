#include "clock.h"

#include <windows.h>

double PerformanceSeconds() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return double(now.QuadPart) / double(frequency.QuadPart);
}

double PerformanceMs() { return PerformanceSeconds() * 1000.0; }
