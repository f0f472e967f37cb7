// Simulator link: the client side of the FSUIPC link, and the simulator's main window.
#pragma once
#include <windows.h>
#include <atomic>
#include <cstdint>
#include "recording/recording.h"

// ---- Link client --------------------------------------------------------------------------

typedef uint32_t LinkResult;  // 0..15, index into linkResultMessages
const LinkResult LinkResultCount = 16;
extern const char* const linkResultMessages[LinkResultCount];

const uint32_t RequestBlockSize = 0x8000;   // the named mapping, mapped whole
const uint32_t RequestBlockLimit = 0x7F00;  // requests plus terminator stay below this

// Link state. LinkOpen writes it, LinkClose clears it; the queue calls and LinkProcess read it
// under the link lock.
extern HWND serverWindow;
extern UINT linkMessage;
extern ATOM mappingAtom;
extern HANDLE mappingHandle;
extern uint8_t* requestBuffer;   // non-null exactly while the link is open
extern uint8_t* requestCursor;   // where the next request goes
extern uint32_t mappingSerial;   // LinkOpen counts it up; never reset
extern uint32_t fsuipcVersion;   // LinkOpen writes; read by the version test
extern uint32_t simVersion;      // LinkOpen writes (7 or 8 once open); read by the window code

// Set to 1 by the link wrappers on any failure; assigned by the replay thread.
extern std::atomic<int32_t> linkFailed;

// Return 1 on success and 0 on failure; *result is set on every path.
int LinkOpen(uint32_t requestedSimVersion, LinkResult* result);
void LinkClose();
int LinkRead(uint32_t offset, uint32_t size, void* destination, LinkResult* result);
int LinkWrite(uint32_t offset, uint32_t size, const void* source, LinkResult* result);
int LinkProcess(LinkResult* result);

// One request and its exchange. Return 0 on success and 1 on failure (then linkFailed is 1).
int ReadNow(uint32_t offset, uint32_t size, void* destination);
int WriteNow(uint32_t offset, uint32_t size, const void* source);
void ReportLinkFailure(LinkResult result);

// The link has one request block. A caller that queues several requests holds this
// re-entrant lock from its first queue call to the end of its LinkProcess; ReadNow and
// WriteNow take it themselves.
void LinkLock();
void LinkUnlock();

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
