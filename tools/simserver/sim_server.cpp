// The server thread, its windows and message pump, and the walk over each request block.
#include "sim_server.h"

#include <algorithm>
#include <cstring>

#include "link/offsets.h"
#include "request_block.h"
#include "sim_state.h"

namespace sim {

State state;

namespace {

const bool stateLockMade = (InitializeCriticalSection(&state.lock), true);

const UINT QuitMessage = WM_APP + 1;
const UINT DestroyMessage = WM_APP + 2;  // a window is destroyed by its own thread
const uint32_t BlockSize = 0x8000;
const UINT_PTR RepaintTimer = 1;
const UINT RepaintMs = 100;
const UINT DeathExitCode = 0xDEAD;

void ServeRecord(uint32_t type, uint32_t offset, uint32_t size, uint8_t* data) {
  bool inStore = offset < OffsetSpace && size <= OffsetSpace - offset;
  CheckExpected(type == RecordWrite, offset, size);
  if (!inStore) {
    LogEvent("refused", "record outside the offset space at " + std::to_string(offset));
  } else if (type == RecordRead) {
    RefreshLive();
    memcpy(data, state.store + offset, size);
    LogRecord(state.exchanges, false, offset, size, data);
  } else {
    memcpy(state.store + offset, data, size);
    LogRecord(state.exchanges, true, offset, size, data);
    ApplyStoreChange(offset, size, true);  // also keeps the server's own words its own
    if (state.writeHook) state.writeHook(offset, size, data);
    if (offset == state.options.faults.failWrite && !state.failWriteAt)
      state.failWriteAt = state.exchanges;
  }
}

// Serves the records of one block against the store; never reads or writes outside the
// block or the store, whatever the block holds. Returns the bytes walked (terminator too)
// and counts the records served.
uint32_t Serve(uint8_t* block, int* records) {
  return WalkRequestBlock(block, BlockSize, [records](const BlockRecord& record) {
    ServeRecord(record.type, record.offset, record.size, record.data);
    ++*records;
  });
}

// Opens the client's mapping named by the atom and serves it. Returns the reply.
LRESULT ServeMapping(ATOM atom, int* records) {
  char name[256] = "";
  if (!GlobalGetAtomNameA(atom, name, sizeof name)) return 0;
  HANDLE mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, name);
  if (!mapping) return 0;
  uint8_t* block = static_cast<uint8_t*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, BlockSize));
  if (!block) {
    CloseHandle(mapping);
    return 0;
  }
  std::vector<uint8_t> received;
  if (state.options.recordBlocks) received.assign(block, block + BlockSize);
  uint32_t walked = Serve(block, records);
  if (state.options.recordBlocks) {
    received.resize(walked);
    state.blocks.push_back(std::move(received));
  }
  if (state.afterServe) state.afterServe(block, BlockSize);
  UnmapViewOfFile(block);
  CloseHandle(mapping);
  return state.reply;
}

// Frame-bound pump: waits for the next frame boundary. The frame's own work is the wait.
void EndFrame() {
  double jitter = state.options.frameJitter / 100;
  std::uniform_real_distribution<double> draw(1 - jitter, 1 + jitter);
  double period = draw(state.frameLengths) / state.options.frameRate;
  double now = PerformanceSeconds();
  if (state.nextFrame > now) Sleep(DWORD((state.nextFrame - now) * 1000 + 0.999));
  now = PerformanceSeconds();
  {
    StateLock guard;  // within one period of now: a stalled pump does not drag the clock
    state.frameTime = std::max(state.nextFrame, now - period);
  }
  state.nextFrame = std::max(state.nextFrame + period, now);  // a late frame owes nothing
  state.servedThisFrame.clear();
  state.frame++;
}

// A client is answered at most once per frame: a second request waits for the next boundary.
void AwaitFrameFor(ATOM client) {
  std::vector<ATOM>& served = state.servedThisFrame;
  if (std::find(served.begin(), served.end(), client) != served.end()) EndFrame();
  state.servedThisFrame.push_back(client);
}

// The abrupt end of a crashed simulator: no window is destroyed, no reply is given.
void DieIfDue() {
  int dieAfter = state.options.faults.dieAfter;
  StateLock guard;
  if (dieAfter < 0 || state.exchanges < dieAfter) return;
  LogEvent("died", "after " + std::to_string(state.exchanges) + " exchanges");
  CloseLog();
  TerminateProcess(GetCurrentProcess(), DeathExitCode);
}

// From the fault's exchange on the server thread sticks, as a hung simulator's does.
void HangIfDue() {
  StateLock guard;
  int limit = state.options.faults.answerLimit;
  if (limit >= 0 && state.exchanges >= limit && !state.hang) {
    LogEvent("hang", "after " + std::to_string(state.exchanges) + " exchanges");
    ResetEvent(state.unhang);
    state.hang = true;
  }
}

// FSUIPC gone in the middle of an exchange: the exchange is counted, nothing is served, and
// the windows that serve go with it.
bool DestroyIfDue() {
  StateLock guard;
  if (state.options.faults.destroyAt <= 0 || state.exchanges + 1 != state.options.faults.destroyAt)
    return false;
  state.exchanges++;
  LogEvent("destroyed", "the serving window at exchange " + std::to_string(state.exchanges));
  DestroyServerWindow();
  return true;
}

LRESULT Answer(WPARAM wParam) {
  StateLock guard;
  state.exchanges++;
  int records = 0;
  LRESULT reply = state.options.faults.neverOpenMapping ? state.reply.load()
                                                        : ServeMapping(ATOM(wParam), &records);
  if (state.exchanges == state.options.faults.failExchange ||
      state.exchanges == state.failWriteAt) {
    LogEvent("fail", "reply 0 to exchange " + std::to_string(state.exchanges));
    reply = 0;
  }
  LogExchange(records, reply);
  return reply;
}

LRESULT HandleExchange(WPARAM wParam) {
  DieIfDue();
  HangIfDue();
  if (state.hang) {
    WaitForSingleObject(state.unhang, INFINITE);
    return 0;
  }
  if (DestroyIfDue()) return 0;
  if (state.options.frameRate > 0) AwaitFrameFor(ATOM(wParam));
  return Answer(wParam);
}

void OnKey(WPARAM key) {
  StateLock guard;
  if (key == 'p' || key == 'P') SetPausedLocked(!state.paused, "keyboard");
  if (key == 'm' || key == 'M') SetMenuLocked(!state.menu, "keyboard");
}

void OnTitle(HWND window, LPARAM text) {
  if (window != state.main || !text) return;
  StateLock guard;
  LogEvent("title", ToUtf8(reinterpret_cast<const char*>(text), CP_ACP));
}

bool OnClose(HWND window) {
  std::function<void()> hook;
  {
    StateLock guard;
    hook = state.closeHook;
  }
  if (window != state.main || !hook) return false;
  hook();
  return true;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == state.ipcMessage && message != 0) return HandleExchange(wParam);
  switch (message) {
    case DestroyMessage:
      DestroyWindow(window);
      return 0;
    case WM_TIMER:
      InvalidateRect(window, nullptr, FALSE);
      return 0;
    case WM_ERASEBKGND:
      if (window == state.main) return 1;
      break;
    case WM_PAINT:
      if (window == state.main) {
        PaintMainWindow(window);
        return 0;
      }
      break;
    case WM_CHAR:
      OnKey(wParam);
      return 0;
    case WM_SETTEXT:
      OnTitle(window, lParam);
      break;
    case WM_CLOSE:
      if (OnClose(window)) return 0;
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void RegisterClassNamed(const char* name) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  windowClass.lpszClassName = name;
  RegisterClassA(&windowClass);  // fails harmlessly when a restart registers it again
}

void CreateWindows() {
  const Options& options = state.options;
  const char* title =
      options.simVersion == 7 ? "Microsoft Flight Simulator 2004" : "Microsoft Flight Simulator X";
  DWORD style = WS_OVERLAPPEDWINDOW | (options.showWindow ? WS_VISIBLE : 0);
  if (!options.faults.noMainWindow) {
    state.main = CreateWindowExA(0, "FS98MAIN", title, style, 0, 0, 720, 480, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    SetTimer(state.main, RepaintTimer, RepaintMs, nullptr);
  }
  if (!options.faults.noUipcMain)
    state.server = CreateWindowExA(0, "UIPCMAIN", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                   GetModuleHandleA(nullptr), nullptr);
}

// Returns false when the thread is to end.
bool Dispatch(MSG& message) {
  if (message.message == QuitMessage && message.hwnd == nullptr) return false;
  TranslateMessage(&message);
  DispatchMessageA(&message);
  return true;
}

void ImmediatePump() {
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0)
    if (!Dispatch(message)) return;
}

// A simulator's main loop: a frame, then whatever messages wait, then the next frame.
void FramePump() {
  state.nextFrame = PerformanceSeconds();
  state.frame = 0;
  state.frameLengths.seed(FrameLengthSeed);
  for (;;) {
    EndFrame();
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
      if (!Dispatch(message)) return;
  }
}

DWORD WINAPI ServerThread(LPVOID) {
  state.ipcMessage = RegisterWindowMessageA("FsasmLib:IPC");
  RegisterClassNamed("UIPCMAIN");
  RegisterClassNamed("FS98MAIN");
  CreateWindows();
  MSG message;
  PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue exists from here
  SetEvent(state.ready);
  if (state.options.frameRate > 0)
    FramePump();
  else
    ImmediatePump();
  if (state.server) DestroyWindow(state.server);
  if (state.main) DestroyWindow(state.main);
  state.server = nullptr;
  state.main = nullptr;
  return 0;
}

}  // namespace

bool Start(const Options& options) {
  Stop();
  {
    StateLock guard;
    state.options = options;
    state.frameTime = 0;
    ResetModel();
    state.blocks.clear();
    state.records.clear();
    state.exchanges = 0;
    state.failWriteAt = 0;
    state.unexpected = 0;
    state.afterServe = nullptr;
    state.writeHook = nullptr;
    state.closeHook = nullptr;
    if (!OpenLog(options.logPath)) return false;
  }
  state.hang = options.faults.hang;
  state.reply = options.faults.reply;
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
  StateLock guard;
  CloseLog();
}

HWND ServerWindow() { return state.server; }
HWND MainWindow() { return state.main; }

void DestroyServerWindow() {
  HWND server = state.server ? state.server : state.main;
  if (!server) return;
  SendMessageA(server, DestroyMessage, 0, 0);
  if (server == state.server)
    state.server = nullptr;
  else
    state.main = nullptr;
}

void SetHang(bool hang) {
  state.hang = hang;
  if (hang)
    ResetEvent(state.unhang);
  else
    SetEvent(state.unhang);
}

void SetReply(LRESULT reply) { state.reply = reply; }

void SetPaused(bool paused) {
  StateLock guard;
  SetPausedLocked(paused, "control");
}

bool Paused() {
  StateLock guard;
  return state.paused;
}

void SetMenu(bool open) {
  StateLock guard;
  SetMenuLocked(open, "control");
}

bool MenuOpen() {
  StateLock guard;
  return state.menu;
}

void SetClockRate(double rate) {
  StateLock guard;
  SetClockRateLocked(rate);
  LogEvent("clock rate", std::to_string(state.clockRate));
}

double Clock() {
  StateLock guard;
  return ClockLocked();
}

std::string CaptionOnShow() {
  StateLock guard;
  RefreshLive();
  return state.caption;
}

std::vector<Record> Records() {
  StateLock guard;
  return state.records;
}

void ClearRecords() {
  StateLock guard;
  state.records.clear();
}

void Poke(uint32_t offset, const void* bytes, uint32_t size) {
  StateLock guard;
  if (offset >= OffsetSpace || size > OffsetSpace - offset) return;
  memcpy(state.store + offset, bytes, size);
  ApplyStoreChange(offset, size, false);
}

void Peek(uint32_t offset, void* bytes, uint32_t size) {
  StateLock guard;
  if (offset >= OffsetSpace || size > OffsetSpace - offset) return;
  RefreshLive();
  memcpy(bytes, state.store + offset, size);
}

std::vector<std::vector<uint8_t>> Blocks() {
  StateLock guard;
  return state.blocks;
}

void ClearBlocks() {
  StateLock guard;
  state.blocks.clear();
}

int ExchangeCount() {
  StateLock guard;
  return state.exchanges;
}

int UnexpectedCount() {
  StateLock guard;
  return state.unexpected;
}

void SetAfterServe(std::function<void(uint8_t*, uint32_t)> hook) {
  StateLock guard;
  state.afterServe = std::move(hook);
}

void SetWriteHook(std::function<void(uint32_t, uint32_t, const uint8_t*)> hook) {
  StateLock guard;
  state.writeHook = std::move(hook);
}

void SetCloseHook(std::function<void()> hook) {
  StateLock guard;
  state.closeHook = std::move(hook);
}

}  // namespace sim
