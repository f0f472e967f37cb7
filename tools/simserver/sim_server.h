// The simulator stand-in's server: FSUIPC's side of the link, run on a thread of its own.
// It owns a "UIPCMAIN" window that answers the registered message "FsasmLib:IPC" and the
// simulator's "FS98MAIN" main window, and serves read and write records against a 64 KiB
// offset store. Tests run it in-process; the stand-in program wraps it.
//
// Live offsets (all else is plain storage):
//   0x3304, 0x3308  version words; client writes do not change them
//   0x0310          clock in seconds, running at clockRate while not paused
//   0x0262          a write of non-zero pauses, 0 resumes; 0x0264 shows it (1 while paused)
//   0x3365          1 while a menu is open (SetMenu)
//   0x02B8          true airspeed, knots x 128: follows the mean of the four throttles
//                   (0..1 gives 120..500 knots) with a lag of 4 simulator seconds, so it
//                   stands still while the clock does
//   0x3BFA          flap step, 2047 at start; throttles start at 0.5, the autopilot on
//   0x32FA          a write shows the text at 0x3380 for that many simulator seconds
//                   (0 or less: until the next caption)
// A test's Poke of 0x0310, 0x0264 or 0x3365 sets that live value; a Poke of 0x02B8 holds the
// airspeed there (it no longer follows the throttles until the next Start), so a test of the
// speed hold sees exactly the airspeed it set.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace sim {

const uint32_t OffsetSpace = 0x10000;

struct Faults {
  bool noUipcMain = false;                        // only "FS98MAIN" exists and serves
  bool noMainWindow = false;                      // no "FS98MAIN" window at all
  uint32_t fsuipcVersion = 0x19980005 + 0x10000;  // what 0x3304 holds
  uint32_t simVersionWord = 0;                    // what 0x3308 holds; 0 means 0xFADE0000 | version
  bool versionsReadZero = false;                  // both version words read 0
  LRESULT reply = 1;                              // the reply value of every exchange
  bool hang = false;                              // never answer (the window's thread is stuck)
  int answerLimit = -1;           // hang after this many answered exchanges (-1: never)
  bool neverOpenMapping = false;  // reply without touching the block
  int dieAfter = -1;              // end the process abruptly when exchange n+1 arrives
                                  // (-1: never); for the stand-in program only
  // Faults at one exchange, numbered as the log's "exchange" field (1 for the first served);
  // -1: never.
  int failExchange = -1;  // exchange n is served, and its reply is 0
  // The first exchange that writes to this offset is served, and its reply is 0 (-1: never),
  // so that a test can fail one kind of exchange however many exchanges came before it.
  int64_t failWrite = -1;
  int destroyAt = -1;  // exchange n is not served: the serving windows go and
                       // its reply is 0; later sends find no window
};

struct Options {
  int simVersion = 8;  // 7: FS2004, 8: FSX
  Faults faults;
  bool recordBlocks = false;  // keep a copy of every exchange's block as received
  double clockRate = 1.0;     // simulated seconds per real second; 0 stops the clock
  bool startPaused = false;
  int frameRate = 0;        // 0: answer at once; n: n frames per second, each client
                            // answered at most once per frame, between frames
  double frameJitter = 0;   // each frame's length drawn within +-this % of the period
  std::string logPath;      // log of every exchange and write; empty: none
  bool showWindow = false;  // show the main window (the stand-in program does)
  bool keepRecords = true;  // keep Records() in memory (a long program run does not)
};

// One served record, as the log keeps it: reads with the bytes served, writes with the
// bytes received, and the simulator clock when the exchange was served.
struct Record {
  int exchange;  // 1 for the first exchange served
  double clock;  // simulator clock (0x0310) at the exchange
  bool write;
  uint32_t offset;
  std::vector<uint8_t> bytes;
  int frame;  // the frame-bound pump's frame that served it, 1 for the first; 0 immediate
};

// Starts the server thread and waits until its windows exist. Returns false on failure
// (also when the log cannot be created).
bool Start(const Options& options);
// Ends the server thread and destroys its windows. Safe to call when not started.
void Stop();

// Windows of the running server (null when absent).
HWND ServerWindow();
HWND MainWindow();

// Destroys the "UIPCMAIN" window (and "FS98MAIN" when it serves), as a crashed FSUIPC does.
void DestroyServerWindow();
// Makes the server stop answering, or answer again. The server thread sticks at the next
// exchange, windows and all, as a hung simulator does.
void SetHang(bool hang);
void SetReply(LRESULT reply);

// The simulated aircraft and simulator. Pause and menu as a person would set them.
void SetPaused(bool paused);
bool Paused();
void SetMenu(bool open);
bool MenuOpen();
void SetClockRate(double rate);  // a rate below 0, or not a number, stops the clock
double Clock();
// The message window's text while it shows (Shift-JIS bytes as written), else empty.
std::string CaptionOnShow();

// Every record served since start (or the last ClearRecords), in order.
std::vector<Record> Records();
void ClearRecords();

// The offset store, as the server holds it.
void Poke(uint32_t offset, const void* bytes, uint32_t size);
void Peek(uint32_t offset, void* bytes, uint32_t size);

// Blocks as received, up to and including the terminator, when recordBlocks is on.
std::vector<std::vector<uint8_t>> Blocks();
void ClearBlocks();
int ExchangeCount();
// Records since Start that the program is not expected to send: an offset it does not use,
// part of a field, a read of a write-only offset or a write of a read-only one. Each is also
// logged as an "unexpected" event. Link tests use arbitrary offsets; only the program's own
// runs must keep this at 0.
int UnexpectedCount();

// Called on the server thread with the block after it was served and before the reply, so
// a test can scribble over it as a faulty server would.
void SetAfterServe(std::function<void(uint8_t* block, uint32_t size)> hook);
// Called on the server thread for every write record served (offset, size, bytes).
void SetWriteHook(std::function<void(uint32_t offset, uint32_t size, const uint8_t* bytes)> hook);
// Called on the server thread when a person closes the main window; without it the window
// is destroyed.
void SetCloseHook(std::function<void()> hook);

}  // namespace sim
