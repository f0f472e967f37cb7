// Simulator link: the client side of the FSUIPC link, and the simulator's main window.
#pragma once
#include <windows.h>
#include <atomic>
#include <cstdint>
#include "common/shared_words.h"

// ---- Link client --------------------------------------------------------------------------

typedef uint32_t LinkResult;  // 0..15, index into linkResultMessages
enum : LinkResult {
  LinkOkay = 0,
  LinkAlreadyOpen = 1,
  LinkNoServer = 2,
  LinkNoMessage = 3,  // the message could not be registered
  LinkNoAtom = 4,
  LinkNoMapping = 5,
  LinkNoView = 6,
  LinkNotFsuipc = 7,  // version test failed, server found as "UIPCMAIN"
  LinkWrongSim = 8,
  LinkNotOpen = 9,
  LinkNothingQueued = 10,
  LinkTimedOut = 11,    // all sends failed, last error 0
  LinkSendFailed = 12,  // all sends failed, last error set
  LinkBadReply = 13,    // a reply other than 1
  LinkWideClient = 14,  // version test failed, server found only as "FS98MAIN"
  LinkBlockFull = 15,
  LinkResultCount = 16,
};
extern const char* const linkResultMessages[LinkResultCount];

const uint32_t RequestBlockSize = 0x8000;   // the named mapping, mapped whole
const uint32_t RequestBlockLimit = 0x7F00;  // requests plus terminator stay below this

// Link state. LinkOpen writes it, LinkClose clears it; the queue calls and LinkProcess read it
// under the link lock.
extern HWND serverWindow;
extern UINT linkMessage;
extern ATOM mappingAtom;
extern HANDLE mappingHandle;
extern uint8_t* requestBuffer;  // non-null exactly while the link is open
extern uint8_t* requestCursor;  // where the next request goes
extern uint32_t mappingSerial;  // LinkOpen counts it up; never reset
extern uint32_t fsuipcVersion;  // LinkOpen writes; read by the version test
extern uint32_t simVersion;     // LinkOpen writes (7 or 8 once open); read by the window code

// The Win32 calls of LinkOpen that acquire something, reached through this table so that a
// test can make any one of them fail. Only tests change it.
struct LinkSystemCalls {
  UINT(WINAPI* registerWindowMessage)(LPCSTR name);
  ATOM(WINAPI* globalAddAtom)(LPCSTR name);
  HANDLE(WINAPI* createFileMapping)
  (HANDLE file, LPSECURITY_ATTRIBUTES security, DWORD protect, DWORD sizeHigh, DWORD sizeLow,
   LPCSTR name);
  LPVOID(WINAPI* mapViewOfFile)
  (HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow, SIZE_T bytes);
};
extern LinkSystemCalls linkSystemCalls;

// Return 1 on success and 0 on failure; *result is set on every path.
int LinkOpen(uint32_t requestedSimVersion, LinkResult* result);
void LinkClose();
int LinkRead(uint32_t offset, uint32_t size, void* destination, LinkResult* result);
int LinkWrite(uint32_t offset, uint32_t size, const void* source, LinkResult* result);
int LinkProcess(LinkResult* result);

// The records of one exchange, in the order the server is to serve them. A write's bytes
// are copied when it is added, as LinkWrite copies them; a read's destination must stay
// valid until the exchange has returned. A replay frame with every ride it can carry (the
// throttles, two rows' ends and a caption) holds 29 records.
const int MaxExchangeRecords = 32;
const uint32_t MaxExchangeWriteBytes = 512;
struct LinkRecord {
  uint32_t write;  // 1 for a write, 0 for a read
  uint32_t offset;
  uint32_t size;
  void* destination;  // reads
  uint32_t source;    // writes: where the bytes stand in the list's store
};
struct LinkRecords {
  int count;  // MaxExchangeRecords + 1 once a record did not fit: the exchange is refused
  LinkRecord record[MaxExchangeRecords];
  uint32_t stored;
  uint8_t store[MaxExchangeWriteBytes];
};
void AddRead(LinkRecords* records, uint32_t offset, uint32_t size, void* destination);
void AddWrite(LinkRecords* records, uint32_t offset, uint32_t size, const void* source);
// Queues the records in order and sends them in one exchange, all under the link's lock,
// so that the dialog thread's placement and the replay thread never mix in one block.
// Returns 1 on success and 0 on failure; the first record that cannot be queued fails it
// and nothing is sent. linkFailed is left alone.
int LinkExchange(const LinkRecords* records, LinkResult* result);

// The replay thread's exchanges. Once one of them went unanswered (every try failed, or one
// try while a stop is asked for) the link is taken as gone: a link that did not answer does
// not answer the next exchange either, and a user who is leaving must not wait out the
// tries again and again. These wrappers then send nothing and fail at once with
// LinkTimedOut. Set here; the replay thread clears it as it starts.
extern std::atomic<int32_t> linkUnanswered;
// The replay thread's exchanges that succeeded. ReplayExchange counts them; the flight log
// reads them.
extern std::atomic<int32_t> replayExchanges;
// LinkExchange behind that rule. Returns 1 on success and 0 on failure, *result set on
// every path; linkFailed is left alone.
int ReplayExchange(const LinkRecords* records, LinkResult* result);
// One request and its exchange, behind the same rule. Return 0 on success and 1 on failure
// (then linkFailed is 1).
int ReadNow(uint32_t offset, uint32_t size, void* destination);
int WriteNow(uint32_t offset, uint32_t size, const void* source);
void ReportLinkFailure(LinkResult result);

// ---- Simulator window and title ---------------------------------------------------------

// The simulator's main window. Written by RaiseSimWindow on the main thread (only a search
// that finds it), read by ShowClockInTitle on both threads and by EndProgram.
extern std::atomic<HWND> simWindow;

// The window test: does this top-level window belong to the simulator of simVersion?
int IsSimWindow(HWND window);
void RaiseSimWindow();
void ShowClockInTitle(int row);
void FormatClock(char* text, TimeCode timeCode);  // text holds at least 11 bytes
void EndProgram(HINSTANCE instance);
