// Waiting for a condition with a deadline, never a bare sleep.
#pragma once
#include <windows.h>

#include <functional>

// Polls condition every pollMs until it holds or timeoutMs has passed; the answer is the
// condition's last value.
bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs, DWORD pollMs = 10);
