// The stand-in Vox.dll's call log: one line per call, "<ms> <operation> <file> [<result>]",
// with the time in milliseconds of the performance counter (PerformanceMs). Lines go to the
// file named by VOX_LOG (when set) and to an in-memory copy that tests read through VoxCallLog.
#pragma once
#include <windows.h>

#include <cstdint>

// file and result may be null; file names longer than a log entry keep their last bytes.
void VoxLog(const char* operation, const char* file, const char* result);

// Copies the in-memory log as text into buffer (always NUL-terminated when size > 0) and
// returns the length of the whole text, so a caller can ask again with a larger buffer.
extern "C" __declspec(dllexport) int __cdecl VoxCallLog(char* buffer, int size);
extern "C" __declspec(dllexport) void __cdecl VoxClearLog();
