#include "process.h"

#include <vector>

bool StartProcess(const std::string& exe, const std::string& args, const std::string& workDir,
                  Process* process, DWORD creationFlags) {
  std::string commandLine = "\"" + exe + "\"" + (args.empty() ? "" : " " + args);
  std::vector<char> buffer(commandLine.begin(), commandLine.end());
  buffer.push_back(0);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, creationFlags, nullptr,
                      workDir.empty() ? nullptr : workDir.c_str(), &startup, &info))
    return false;
  CloseHandle(info.hThread);
  process->handle = info.hProcess;
  process->id = info.dwProcessId;
  process->threadId = info.dwThreadId;
  return true;
}

bool WaitProcessExit(const Process& process, DWORD timeoutMs, DWORD* exitCode) {
  if (WaitForSingleObject(process.handle, timeoutMs) != WAIT_OBJECT_0) return false;
  if (exitCode) GetExitCodeProcess(process.handle, exitCode);
  return true;
}

void KillProcess(const Process& process) {
  if (process.handle && WaitForSingleObject(process.handle, 0) != WAIT_OBJECT_0) {
    TerminateProcess(process.handle, 1);
    WaitForSingleObject(process.handle, 5000);
  }
}

void CloseProcess(Process* process) {
  if (process->handle) CloseHandle(process->handle);
  *process = Process();
}
