// The stand-in Vox.dll as the voice tests use it: loaded with LoadLibraryA, its call log read
// back through VoxCallLog and parsed into calls.
#pragma once
#include <windows.h>

#include <cstdio>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "clock.h"
#include "voice/vox.h"
#include "wait.h"

struct VoxCallRecord {
  double ms;
  std::string operation;
  std::string file;
  std::string result;
};

inline void* Export(HMODULE library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(library, name));
}

// The calls of a call log, in memory or in the log file: "<ms> <operation> <file> [<result>]"
// a line.
inline std::vector<VoxCallRecord> ParseVoxCalls(const std::string& text) {
  std::vector<VoxCallRecord> calls;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    VoxCallRecord call;
    fields >> call.ms >> call.operation >> call.file >> call.result;
    calls.push_back(call);
  }
  return calls;
}

inline std::vector<VoxCallRecord> VoxCalls(HMODULE vox) {
  auto callLog = reinterpret_cast<int(__cdecl*)(char*, int)>(Export(vox, "VoxCallLog"));
  std::string text(size_t(callLog(nullptr, 0)) + 1, '\0');
  text.resize(size_t(callLog(&text[0], int(text.size()))));
  return ParseVoxCalls(text);
}

inline void ClearVoxCalls(HMODULE vox) {
  reinterpret_cast<void(__cdecl*)()>(Export(vox, "VoxClearLog"))();
}

// "Stop Open Play ..." in one string, for comparing call sequences.
inline std::string Operations(const std::vector<VoxCallRecord>& calls) {
  std::string text;
  for (const VoxCallRecord& call : calls) text += (text.empty() ? "" : " ") + call.operation;
  return text;
}

inline size_t CountCalls(const std::vector<VoxCallRecord>& calls, const std::string& operation,
                         const std::string& file = "") {
  size_t count = 0;
  for (const VoxCallRecord& call : calls)
    if (call.operation == operation && (file.empty() || call.file == file)) ++count;
  return count;
}

// Direct calls into a player's table, as the voice thread makes them.
inline uint8_t PlayerOpen(VoicePlayer* player, const char* file) {
  return reinterpret_cast<VoxOpenFn>(player->operations[VoxSlotOpen])(player, file);
}
inline void PlayerCall(VoicePlayer* player, int slot) {
  reinterpret_cast<VoxActionFn>(player->operations[slot])(player);
}
inline int32_t PlayerIsPlaying(VoicePlayer* player) {
  return reinterpret_cast<VoxIsPlayingFn>(player->operations[VoxSlotIsPlaying])(player);
}
