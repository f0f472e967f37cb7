// Programs started for a test or a tool: the real program, the stand-in simulator.
#pragma once
#include <windows.h>

#include <string>

struct Process {
  HANDLE handle = nullptr;
  DWORD id = 0;
  DWORD threadId = 0;
};

// Starts exe with the command line args in the folder workDir ("" for this one's), with
// CreateProcessA's creation flags. Returns false on failure.
bool StartProcess(const std::string& exe, const std::string& args, const std::string& workDir,
                  Process* process, DWORD creationFlags = 0);
// Waits for the process to end; false if it still runs after timeoutMs.
bool WaitProcessExit(const Process& process, DWORD timeoutMs, DWORD* exitCode);
void KillProcess(const Process& process);
void CloseProcess(Process* process);
