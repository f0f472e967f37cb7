#include "sim_server.h"

#include <atomic>
#include <cstring>
#include <mutex>

namespace sim {
namespace {

const UINT QuitMessage = WM_APP + 1;
const uint32_t BlockSize = 0x8000;

struct State {
  Options options;
  HANDLE thread = nullptr;
  DWORD threadId = 0;
  HANDLE ready = nullptr;
  HANDLE unhang = nullptr;  // signalled to release a hung handler
  HWND server = nullptr;
  HWND main = nullptr;
  UINT ipcMessage = 0;
  std::mutex lock;  // guards the store, the blocks and the hooks
  uint8_t store[OffsetSpace];
  std::vector<std::vector<uint8_t>> blocks;
  int exchanges = 0;
  std::atomic<bool> hang{false};
  std::atomic<LRESULT> reply{1};
  std::function<void(uint8_t*, uint32_t)> afterServe;
  std::function<void(uint32_t, uint32_t, const uint8_t*)> writeHook;
};
State state;

uint32_t Word(const uint8_t* at) {
  uint32_t value;
  memcpy(&value, at, 4);
  return value;
}

void SetVersions() {
  const Faults& faults = state.options.faults;
  uint32_t fsuipc = faults.versionsReadZero ? 0 : faults.fsuipcVersion;
  uint32_t simWord = faults.simVersionWord
                         ? faults.simVersionWord
                         : (0xFADEu << 16) | uint32_t(state.options.simVersion);
  if (faults.versionsReadZero) simWord = 0;
  memcpy(state.store + 0x3304, &fsuipc, 4);
  memcpy(state.store + 0x3308, &simWord, 4);
}

// Serves the records of one block against the store; never reads or writes outside the
// block or the store, whatever the block holds. Returns the bytes walked (terminator too).
uint32_t Serve(uint8_t* block) {
  uint32_t at = 0;
  while (at + 4 <= BlockSize) {
    uint32_t type = Word(block + at);
    if (type == 0) return at + 4;
    if (type != 1 && type != 2) return at;
    uint32_t header = type == 1 ? 16 : 12;
    if (at + header > BlockSize) return at;
    uint32_t offset = Word(block + at + 4);
    uint32_t size = Word(block + at + 8);
    if (size > BlockSize - at - header) return at;
    uint8_t* data = block + at + header;
    bool inStore = offset < OffsetSpace && size <= OffsetSpace - offset;
    if (type == 1 && inStore) {
      if (offset == 0x3304 || offset == 0x3308) SetVersions();
      memcpy(data, state.store + offset, size);
    } else if (type == 2 && inStore) {
      // The version words are the server's own: a client write cannot change them.
      memcpy(state.store + offset, data, size);
      SetVersions();
      if (state.writeHook) state.writeHook(offset, size, data);
    }
    at += header + size;
  }
  return at;
}

LRESULT HandleExchange(WPARAM wParam) {
  {
    std::lock_guard<std::mutex> guard(state.lock);
    bool limitReached = state.options.faults.answerLimit >= 0 &&
                        state.exchanges >= state.options.faults.answerLimit;
    if (limitReached) state.hang = true;
  }
  if (state.hang) {
    WaitForSingleObject(state.unhang, INFINITE);
    return 0;
  }
  std::lock_guard<std::mutex> guard(state.lock);
  state.exchanges++;
  if (state.options.faults.neverOpenMapping) return state.reply;
  char name[256] = "";
  if (!GlobalGetAtomNameA(ATOM(wParam), name, sizeof name)) return 0;
  HANDLE mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, name);
  if (!mapping) return 0;
  uint8_t* block = static_cast<uint8_t*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, BlockSize));
  if (!block) {
    CloseHandle(mapping);
    return 0;
  }
  std::vector<uint8_t> received;
  if (state.options.recordBlocks) received.assign(block, block + BlockSize);
  uint32_t walked = Serve(block);
  if (state.options.recordBlocks) {
    received.resize(walked);
    state.blocks.push_back(std::move(received));
  }
  if (state.afterServe) state.afterServe(block, BlockSize);
  UnmapViewOfFile(block);
  CloseHandle(mapping);
  return state.reply;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == state.ipcMessage && message != 0) return HandleExchange(wParam);
  return DefWindowProcA(window, message, wParam, lParam);
}

void RegisterClassNamed(const char* name) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = name;
  RegisterClassA(&windowClass);  // fails harmlessly when a restart registers it again
}

DWORD WINAPI ServerThread(LPVOID) {
  const Options& options = state.options;
  state.ipcMessage = RegisterWindowMessageA("FsasmLib:IPC");
  RegisterClassNamed("UIPCMAIN");
  RegisterClassNamed("FS98MAIN");
  const char* title = options.simVersion == 7 ? "Microsoft Flight Simulator 2004"
                                              : "Microsoft Flight Simulator X";
  if (!options.faults.noMainWindow)
    state.main = CreateWindowExA(0, "FS98MAIN", title, WS_OVERLAPPEDWINDOW, 0, 0, 640, 480,
                                 nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  if (!options.faults.noUipcMain)
    state.server = CreateWindowExA(0, "UIPCMAIN", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                   GetModuleHandleA(nullptr), nullptr);
  MSG message;
  PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue exists from here
  SetEvent(state.ready);
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (message.message == QuitMessage && message.hwnd == nullptr) break;
    DispatchMessageA(&message);
  }
  if (state.server) DestroyWindow(state.server);
  if (state.main) DestroyWindow(state.main);
  state.server = nullptr;
  state.main = nullptr;
  return 0;
}

}  // namespace

bool Start(const Options& options) {
  Stop();
  state.options = options;
  memset(state.store, 0, sizeof state.store);
  SetVersions();
  state.blocks.clear();
  state.exchanges = 0;
  state.hang = options.faults.hang;
  state.reply = options.faults.reply;
  state.afterServe = nullptr;
  state.writeHook = nullptr;
  state.ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  state.unhang = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  state.thread = CreateThread(nullptr, 0, ServerThread, nullptr, 0, &state.threadId);
  if (!state.thread) return false;
  WaitForSingleObject(state.ready, INFINITE);
  return true;
}

void Stop() {
  if (!state.thread) return;
  SetEvent(state.unhang);
  PostThreadMessageA(state.threadId, QuitMessage, 0, 0);
  WaitForSingleObject(state.thread, INFINITE);
  CloseHandle(state.thread);
  CloseHandle(state.ready);
  CloseHandle(state.unhang);
  state.thread = nullptr;
}

HWND ServerWindow() { return state.server; }
HWND MainWindow() { return state.main; }

void DestroyServerWindow() {
  // Windows are destroyed by their own thread.
  HWND server = state.server ? state.server : state.main;
  if (!server) return;
  SendMessageA(server, WM_CLOSE, 0, 0);
  if (server == state.server) state.server = nullptr;
  else state.main = nullptr;
}

void SetHang(bool hang) {
  state.hang = hang;
  if (hang) ResetEvent(state.unhang);
  else SetEvent(state.unhang);
}

void SetReply(LRESULT reply) { state.reply = reply; }

void Poke(uint32_t offset, const void* bytes, uint32_t size) {
  std::lock_guard<std::mutex> guard(state.lock);
  if (offset < OffsetSpace && size <= OffsetSpace - offset) memcpy(state.store + offset, bytes, size);
}

void Peek(uint32_t offset, void* bytes, uint32_t size) {
  std::lock_guard<std::mutex> guard(state.lock);
  if (offset < OffsetSpace && size <= OffsetSpace - offset) memcpy(bytes, state.store + offset, size);
}

std::vector<std::vector<uint8_t>> Blocks() {
  std::lock_guard<std::mutex> guard(state.lock);
  return state.blocks;
}

void ClearBlocks() {
  std::lock_guard<std::mutex> guard(state.lock);
  state.blocks.clear();
}

int ExchangeCount() {
  std::lock_guard<std::mutex> guard(state.lock);
  return state.exchanges;
}

void SetAfterServe(std::function<void(uint8_t*, uint32_t)> hook) {
  std::lock_guard<std::mutex> guard(state.lock);
  state.afterServe = std::move(hook);
}

void SetWriteHook(std::function<void(uint32_t, uint32_t, const uint8_t*)> hook) {
  std::lock_guard<std::mutex> guard(state.lock);
  state.writeHook = std::move(hook);
}

}  // namespace sim
