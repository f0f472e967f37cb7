// The client side of the FSUIPC link: one named request block, queued read and write
// records, and one window message that has the server act on the whole block.
#include "link/link.h"

#include <cstring>

#include "link/offsets.h"
#include "log/flight_log.h"  // a failed exchange goes into the flight log

const char* const linkResultMessages[LinkResultCount] = {
    "Okay",
    "Attempt to Open when already Open",
    "Cannot link to FSUIPC",
    "Failed to Register common message with Windows",
    "Failed to create Atom for mapping filename",
    "Failed to create a file mapping object",
    "Failed to open a view to the file map",
    "Incorrect version of FSUIPC, or not FSUIPC",
    "Sim is not version requested",
    "Call cannot execute, link not Open",
    "Call cannot execute: no requests accumulated",
    "IPC timed out all retries",
    "IPC sendmessage failed all retries",
    "IPC request contains bad data",
    "Maybe running on WideClient, but FS not running on Server, or wrong FSUIPC",
    "Read or Write request cannot be added, memory for Process is full",
};

HWND serverWindow;
UINT linkMessage;
ATOM mappingAtom;
HANDLE mappingHandle;
uint8_t* requestBuffer;
uint8_t* requestCursor;
uint32_t mappingSerial;
uint32_t fsuipcVersion;
uint32_t simVersion;
LinkSystemCalls linkSystemCalls = {RegisterWindowMessageA, GlobalAddAtomA, CreateFileMappingA,
                                   MapViewOfFile};
std::atomic<int32_t> linkUnanswered;
std::atomic<int32_t> replayExchanges;

enum : uint32_t { RequestEnd = 0, RequestRead = 1, RequestWrite = 2 };
const uint32_t ReadHeaderSize = 16;
const uint32_t WriteHeaderSize = 12;
const uint32_t TerminatorSize = 4;
const int SendTries = 9;
const UINT SendTimeoutMs = 2000;
const DWORD RetryPauseMs = 100;
const int HandshakeAttempts = 5;

// The client's own record of every queued request. The block is shared with another
// process, so results are copied back by this record alone: never through an address, to a
// size or from a place that the server could have changed.
struct QueuedRequest {
  uint32_t type;
  uint32_t position;  // of the header, from the block's start
  uint32_t size;
  void* destination;  // reads only
};
const int MaxQueued = RequestBlockLimit / WriteHeaderSize;
static QueuedRequest queued[MaxQueued];
static int queuedCount;

// The link has one request block: every queue-and-send sequence holds this lock from its
// first queue call to the end of its LinkProcess. A critical section is re-entrant, and
// exists on every Windows the program runs on; it is made before WinMain runs.
static CRITICAL_SECTION linkLock;
static const bool linkLockMade = (InitializeCriticalSection(&linkLock), true);

static void LinkLock() { EnterCriticalSection(&linkLock); }
static void LinkUnlock() { LeaveCriticalSection(&linkLock); }

static void PutWord(uint8_t* at, uint32_t value) { memcpy(at, &value, 4); }

static uint32_t GetWord(const uint8_t* at) {
  uint32_t value;
  memcpy(&value, at, 4);
  return value;
}

static int Fail(LinkResult* result, LinkResult code) {
  *result = code;
  return 0;
}

void LinkClose() {
  LinkLock();
  serverWindow = nullptr;
  linkMessage = 0;
  if (mappingAtom) {
    GlobalDeleteAtom(mappingAtom);
    mappingAtom = 0;
  }
  if (requestBuffer) {
    UnmapViewOfFile(requestBuffer);
    requestBuffer = nullptr;
  }
  if (mappingHandle) {
    CloseHandle(mappingHandle);
    mappingHandle = nullptr;
  }
  queuedCount = 0;
  LinkUnlock();
}

static int CloseAndFail(LinkResult* result, LinkResult code) {
  LinkClose();
  return Fail(result, code);
}

// What the open acquires before its handshake: the server window, the message, the atom, the
// mapping and its view. Returns 1 once the block is mapped.
static int AcquireLink(int* foundAsFs98Main, LinkResult* result) {
  *foundAsFs98Main = 0;
  serverWindow = FindWindowExA(nullptr, nullptr, "UIPCMAIN", nullptr);
  if (!serverWindow) {
    serverWindow = FindWindowExA(nullptr, nullptr, "FS98MAIN", nullptr);
    *foundAsFs98Main = 1;
  }
  if (!serverWindow) return Fail(result, LinkNoServer);
  linkMessage = linkSystemCalls.registerWindowMessage("FsasmLib:IPC");
  if (!linkMessage) return CloseAndFail(result, LinkNoMessage);

  char name[64];
  mappingSerial++;
  wsprintfA(name, "FsasmLib:IPC:%X:%X", GetCurrentProcessId(), mappingSerial);
  mappingAtom = linkSystemCalls.globalAddAtom(name);
  if (!mappingAtom) return CloseAndFail(result, LinkNoAtom);
  mappingHandle = linkSystemCalls.createFileMapping(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                                                    0, RequestBlockSize, name);
  if (!mappingHandle || GetLastError() == ERROR_ALREADY_EXISTS)
    return CloseAndFail(result, LinkNoMapping);
  requestBuffer =
      static_cast<uint8_t*>(linkSystemCalls.mapViewOfFile(mappingHandle, FILE_MAP_WRITE, 0, 0, 0));
  if (!requestBuffer) return CloseAndFail(result, LinkNoView);
  requestCursor = requestBuffer;
  queuedCount = 0;
  *result = LinkOkay;
  return 1;
}

static int Handshake(LinkResult* result) {
  for (int attempt = 0; attempt < HandshakeAttempts; attempt++) {
    if (fsuipcVersion && simVersion) break;
    if (!LinkRead(OffsetFsuipcVersion, 4, &fsuipcVersion, result)) return 0;
    if (!LinkRead(OffsetSimVersion, 4, &simVersion, result)) return 0;
    if (attempt == 0 && !LinkWrite(OffsetClientVersion, 2, &clientVersion, result)) return 0;
    if (!LinkProcess(result)) return 0;
    Sleep(RetryPauseMs);
  }
  return 1;
}

int LinkOpen(uint32_t requestedSimVersion, LinkResult* result) {
  LinkLock();
  int opened = 0;
  int foundAsFs98Main = 0;
  if (requestBuffer) {
    *result = LinkAlreadyOpen;
  } else {
    simVersion = 0;
    fsuipcVersion = 0;
    if (AcquireLink(&foundAsFs98Main, result)) {
      if (!Handshake(result)) {
        LinkClose();
      } else if (fsuipcVersion < MinFsuipcVersion || (simVersion >> 16) != SimVersionTag) {
        CloseAndFail(result, foundAsFs98Main ? LinkWideClient : LinkNotFsuipc);
      } else {
        simVersion &= 0xFFFF;
        if (requestedSimVersion != 0 && requestedSimVersion != simVersion) {
          CloseAndFail(result, LinkWrongSim);
        } else {
          *result = LinkOkay;
          opened = 1;
        }
      }
    }
  }
  LinkUnlock();
  return opened;
}

// Queues one record. headerSize is 16 for a read, 12 for a write.
static int Queue(uint32_t type, uint32_t offset, uint32_t size, void* destination,
                 const void* source, LinkResult* result) {
  if (!requestBuffer) return Fail(result, LinkNotOpen);
  uint32_t headerSize = type == RequestRead ? ReadHeaderSize : WriteHeaderSize;
  uint32_t used = static_cast<uint32_t>(requestCursor - requestBuffer);
  // Compared in 64 bits so that a huge size cannot wrap past the limit.
  if (uint64_t(used) + size + headerSize + TerminatorSize > RequestBlockLimit)
    return Fail(result, LinkBlockFull);

  PutWord(requestCursor, type);
  PutWord(requestCursor + 4, offset);
  PutWord(requestCursor + 8, size);
  uint8_t* data = requestCursor + headerSize;
  if (type == RequestRead) {
    // The field is 32 bits wide: a 64-bit build sends the address's low half. The reply is
    // copied through queued[], never through this field, so nothing depends on its width.
    PutWord(requestCursor + 12, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(destination)));
    if (size) memset(data, 0, size);
  } else if (size) {
    memcpy(data, source, size);
  }
  queued[queuedCount++] = QueuedRequest{type, used, size, destination};
  requestCursor = data + size;
  *result = LinkOkay;
  return 1;
}

int LinkRead(uint32_t offset, uint32_t size, void* destination, LinkResult* result) {
  LinkLock();
  int queuedOk = Queue(RequestRead, offset, size, destination, nullptr, result);
  LinkUnlock();
  return queuedOk;
}

int LinkWrite(uint32_t offset, uint32_t size, const void* source, LinkResult* result) {
  LinkLock();
  int queuedOk = Queue(RequestWrite, offset, size, nullptr, source, result);
  LinkUnlock();
  return queuedOk;
}

// Sends the block: 9 tries with 100 ms between them, for a simulator that is busy; while a
// stop is asked for, one try, since the user is leaving. Returns 1 with the reply value.
static int SendBlock(DWORD_PTR* reply) {
  for (int attempt = 1; attempt < SendTries + 1; attempt++) {
    if (SendMessageTimeoutA(serverWindow, linkMessage, static_cast<WPARAM>(mappingAtom), 0,
                            SMTO_BLOCK, SendTimeoutMs, reply))
      return 1;
    if (stopRequested != 0) return 0;
    Sleep(RetryPauseMs);
  }
  return 0;
}

// Walks the answered block in queue order until a type word of 0. An unknown type word is
// overwritten with 0 and ends the walk, as the server's own terminator does.
static void CopyResults(int count) {
  for (int i = 0; i < count; i++) {
    const QueuedRequest& request = queued[i];
    uint8_t* header = requestBuffer + request.position;
    uint32_t type = GetWord(header);
    if (type == RequestEnd) return;
    if (type != RequestRead && type != RequestWrite) {
      PutWord(header, RequestEnd);
      return;
    }
    if (type == RequestRead && request.type == RequestRead && request.destination && request.size)
      memcpy(request.destination, header + ReadHeaderSize, request.size);
  }
}

int LinkProcess(LinkResult* result) {
  LinkLock();
  int sent = 0;
  if (!requestBuffer) {
    *result = LinkNotOpen;
  } else if (requestCursor == requestBuffer) {
    *result = LinkNothingQueued;
  } else {
    PutWord(requestCursor, RequestEnd);
    requestCursor = requestBuffer;
    int count = queuedCount;
    queuedCount = 0;
    DWORD_PTR reply = 0;
    if (!SendBlock(&reply)) {
      *result = GetLastError() ? LinkSendFailed : LinkTimedOut;
    } else if (reply != 1) {
      *result = LinkBadReply;
    } else {
      CopyResults(count);
      *result = LinkOkay;
      sent = 1;
    }
  }
  LinkUnlock();
  return sent;
}

void AddRead(LinkRecords* records, uint32_t offset, uint32_t size, void* destination) {
  if (records->count >= MaxExchangeRecords) {
    records->count = MaxExchangeRecords + 1;
    return;
  }
  records->record[records->count++] = LinkRecord{0, offset, size, destination, 0};
}

void AddWrite(LinkRecords* records, uint32_t offset, uint32_t size, const void* source) {
  if (records->count >= MaxExchangeRecords || size > MaxExchangeWriteBytes - records->stored) {
    records->count = MaxExchangeRecords + 1;
    return;
  }
  memcpy(records->store + records->stored, source, size);
  records->record[records->count++] = LinkRecord{1, offset, size, nullptr, records->stored};
  records->stored += size;
}

// A refused record leaves the queue holding those before it: they must not ride along with
// the next caller's exchange.
static void DropQueue() {
  if (requestBuffer) requestCursor = requestBuffer;
  queuedCount = 0;
}

static int QueueRecords(const LinkRecords* records, LinkResult* result) {
  if (records->count > MaxExchangeRecords) return Fail(result, LinkBlockFull);
  for (int i = 0; i < records->count; i++) {
    const LinkRecord& r = records->record[i];
    int queuedOk = r.write ? LinkWrite(r.offset, r.size, records->store + r.source, result)
                           : LinkRead(r.offset, r.size, r.destination, result);
    if (!queuedOk) return 0;
  }
  return 1;
}

int LinkExchange(const LinkRecords* records, LinkResult* result) {
  LinkLock();
  int sent = QueueRecords(records, result) && LinkProcess(result);
  if (!sent) DropQueue();
  LinkUnlock();
  return sent;
}

int ReplayExchange(const LinkRecords* records, LinkResult* result) {
  if (linkUnanswered == 1) return Fail(result, LinkTimedOut);
  if (LinkExchange(records, result)) {
    replayExchanges++;
    return 1;
  }
  if (*result == LinkTimedOut || *result == LinkSendFailed) linkUnanswered = 1;
  LogFault("exchange", *result);
  return 0;
}

int ReadNow(uint32_t offset, uint32_t size, void* destination) {
  LinkRecords records = {};
  AddRead(&records, offset, size, destination);
  LinkResult result;
  int failed = !ReplayExchange(&records, &result);
  if (failed) linkFailed = 1;
  return failed;
}

int WriteNow(uint32_t offset, uint32_t size, const void* source) {
  LinkRecords records = {};
  AddWrite(&records, offset, size, source);
  LinkResult result;
  int failed = !ReplayExchange(&records, &result);
  if (failed) linkFailed = 1;
  return failed;
}

void ReportLinkFailure(LinkResult) { linkFailed = 1; }
