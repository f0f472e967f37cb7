#include "stand_in.h"

#include <cstdio>
#include <cstdlib>

#include "control.h"

namespace {

// Reads one JSON string value starting at the opening quote; returns the index after it.
size_t ReadString(const std::string& line, size_t at, std::string* value) {
  value->clear();
  for (at++; at < line.size() && line[at] != '"'; at++) {
    if (line[at] == '\\' && at + 1 < line.size()) at++;
    *value += line[at];
  }
  return at + 1;
}

LogLine ParseLine(const std::string& line) {
  LogLine fields;
  size_t at = line.find('{');
  while (at != std::string::npos && at < line.size()) {
    size_t quote = line.find('"', at);
    if (quote == std::string::npos) break;
    std::string key, value;
    at = ReadString(line, quote, &key);
    at = line.find(':', at);
    if (at == std::string::npos) break;
    at++;
    if (at < line.size() && line[at] == '"') {
      at = ReadString(line, at, &value);
    } else {
      size_t end = line.find_first_of(",}", at);
      value = line.substr(at, end - at);
      at = end;
    }
    fields[key] = value;
    at = line.find(',', at);
  }
  return fields;
}

}  // namespace

std::vector<LogLine> ReadLog(const std::string& path) {
  std::vector<LogLine> lines;
  FILE* file = fopen(path.c_str(), "rb");
  if (!file) return lines;
  std::string line;
  for (int c; (c = fgetc(file)) != EOF;) {
    if (c != '\n') {
      line += char(c);
      continue;
    }
    lines.push_back(ParseLine(line));
    line.clear();
  }
  fclose(file);
  return lines;  // a last line without its newline is still being written: left out
}

void CopyTree(const std::string& from, const std::string& to) {
  CreateDirectoryA(to.c_str(), nullptr);
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((from + "\\*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = entry.cFileName;
    if (name == "." || name == "..") continue;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      CopyTree(from + "\\" + name, to + "\\" + name);
    else
      CopyFileA((from + "\\" + name).c_str(), (to + "\\" + name).c_str(), FALSE);
  } while (FindNextFileA(find, &entry));
  FindClose(find);
}

bool StartStandIn(const std::string& exe, const std::string& workDir, const std::string& args,
                  StandIn* standIn) {
  standIn->log = workDir + "\\sim.log";
  std::string all = "--log \"" + standIn->log + "\" " + args;
  if (!StartProcess(exe, all, workDir, &standIn->process)) return false;
  standIn->control = nullptr;
  WaitFor(
      [&] {
        auto found = driver::WindowsOf(standIn->process.id, ControlClassName, nullptr);
        if (!found.empty()) standIn->control = found[0];
        return standIn->control != nullptr &&
               !driver::WindowsOf(standIn->process.id, "UIPCMAIN", nullptr).empty();
      },
      10000);
  // Looked for only now: the main window is made just before the server's, so a search
  // made before the server's window was seen could miss it, and the title read at the end
  // was then that of no window (Wine hands back whatever its buffer held).
  auto main = driver::WindowsOf(standIn->process.id, "FS98MAIN", nullptr);
  if (!main.empty()) standIn->main = main[0];
  return standIn->control != nullptr;
}

LRESULT Command(const StandIn& standIn, WPARAM command, LPARAM argument) {
  static UINT message = RegisterWindowMessageA(ControlMessageName);
  DWORD_PTR reply = 0;
  SendMessageTimeoutA(standIn.control, message, command, argument, SMTO_BLOCK, 5000, &reply);
  return LRESULT(reply);
}

void StopStandIn(StandIn* standIn) {
  if (!standIn->process.handle) return;
  Command(*standIn, ControlExit);
  if (!WaitProcessExit(standIn->process, 5000, nullptr)) KillProcess(standIn->process);
  CloseProcess(&standIn->process);
}

std::vector<LoggedWrite> Writes(const std::vector<LogLine>& log) {
  std::vector<LoggedWrite> writes;
  for (const LogLine& line : log) {
    auto op = line.find("op");
    if (op == line.end() || op->second != "write") continue;
    writes.push_back({atoi(line.at("exchange").c_str()), atof(line.at("clock").c_str()),
                      unsigned(strtoul(line.at("offset").c_str(), nullptr, 16)), line.at("bytes")});
  }
  return writes;
}

std::string UnexpectedRecords(const std::vector<LogLine>& log) {
  std::string text;
  for (const LogLine& line : log) {
    auto op = line.find("op");
    if (op == line.end() || op->second != "unexpected") continue;
    text += "exchange " + line.at("exchange") + ": " + line.at("record") + " " + line.at("offset") +
            " size " + line.at("size") + ": " + line.at("meaning") + "\n";
  }
  return text;
}

std::string Hex(const void* bytes, size_t size) {
  std::string text;
  char pair[3];
  for (size_t i = 0; i < size; i++) {
    snprintf(pair, sizeof pair, "%02x", static_cast<const unsigned char*>(bytes)[i]);
    text += pair;
  }
  return text;
}
