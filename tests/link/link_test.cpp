// The link client against the in-process server stand-in.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "link/link.h"
#include "link/offsets.h"
#include "replay/replay.h"
#include "request_block.h"
#include "sim_server.h"

namespace {

class Link : public ::testing::Test {
 protected:
  void TearDown() override {
    LinkClose();
    sim::Stop();
    linkFailed = 0;
  }
  void Serve(sim::Options options = {}) { ASSERT_TRUE(sim::Start(options)); }
  void Open() {
    LinkResult result = 99;
    ASSERT_EQ(LinkOpen(0, &result), 1);
    ASSERT_EQ(result, LinkOkay);
  }
};

uint32_t Word(const std::vector<uint8_t>& block, size_t at) { return BlockWord(block.data() + at); }

std::string MappingName() {
  char name[256] = "";
  GlobalGetAtomNameA(mappingAtom, name, sizeof name);
  return name;
}

struct OpenCase {
  const char* what;
  sim::Faults faults;
  uint32_t requested;
  LinkResult expected;
  int exchanges;  // the handshake's attempts; 0: not counted
};

// Each failed open: its code, the version word read kept whole, five tries of zeros, no link.
TEST_F(Link, OpenFailuresGiveTheirCodeAndCloseTheLink) {
  sim::Faults oldFsuipc, oldOnFs98, badTag, zeros, wrongSim;
  oldFsuipc.fsuipcVersion = 0x19980004;
  oldOnFs98 = oldFsuipc;
  oldOnFs98.noUipcMain = true;
  badTag.simVersionWord = 0xFADF0008;
  zeros.versionsReadZero = true;
  const OpenCase cases[] = {
      {"FSUIPC too old", oldFsuipc, 0, LinkNotFsuipc, 0},
      {"too old, found as FS98MAIN", oldOnFs98, 0, LinkWideClient, 0},
      {"wrong high word", badTag, 0, LinkNotFsuipc, 0},
      {"versions read 0", zeros, 0, LinkNotFsuipc, 5},
      {"sim 7 requested, 8 running", wrongSim, 7, LinkWrongSim, 0},
  };
  for (const OpenCase& c : cases) {
    sim::Options options;
    options.faults = c.faults;
    Serve(options);
    LinkResult result = 99;
    EXPECT_EQ(LinkOpen(c.requested, &result), 0) << c.what;
    EXPECT_EQ(result, c.expected) << c.what;
    if (c.exchanges) {
      EXPECT_EQ(sim::ExchangeCount(), c.exchanges) << c.what;
    }
    if (c.faults.simVersionWord) {
      EXPECT_EQ(simVersion, c.faults.simVersionWord) << c.what << ": every bit of it kept";
    }
    EXPECT_EQ(requestBuffer, nullptr) << c.what;
    EXPECT_EQ(mappingAtom, 0) << c.what;
    EXPECT_EQ(mappingHandle, nullptr) << c.what;
    sim::Stop();
  }
}

TEST_F(Link, OldestAcceptedFsuipcVersionPasses) {
  sim::Options options;
  options.faults.fsuipcVersion = 0x19980005;
  Serve(options);
  Open();
}

TEST_F(Link, NoServerWindowGivesCode2AndUsesNoSerial) {
  uint32_t serial = mappingSerial;
  LinkResult result = 99;
  EXPECT_EQ(LinkOpen(0, &result), 0);
  EXPECT_EQ(result, LinkNoServer);
  EXPECT_EQ(mappingSerial, serial);
  EXPECT_EQ(requestBuffer, nullptr);
}

TEST_F(Link, OpenWhileOpenGivesCode1AndLeavesTheLinkUsable) {
  Serve();
  Open();
  LinkResult result = 99;
  EXPECT_EQ(LinkOpen(0, &result), 0);
  EXPECT_EQ(result, LinkAlreadyOpen);
  uint32_t version = 0;
  EXPECT_EQ(ReadNow(OffsetFsuipcVersion, 4, &version), 0);
  EXPECT_EQ(version, 0x19980005u + 0x10000);
}

TEST_F(Link, MappingNameCountsTheSerialAcrossReopens) {
  Serve();
  Open();
  uint32_t first = mappingSerial;
  char expected[64];
  wsprintfA(expected, "FsasmLib:IPC:%X:%X", GetCurrentProcessId(), first);
  EXPECT_EQ(MappingName(), expected);
  LinkClose();
  Open();
  EXPECT_EQ(mappingSerial, first + 1);
  wsprintfA(expected, "FsasmLib:IPC:%X:%X", GetCurrentProcessId(), first + 1);
  EXPECT_EQ(MappingName(), expected);
}

TEST_F(Link, ExistingMappingOfTheSameNameGivesCode5) {
  Serve();
  char name[64];
  wsprintfA(name, "FsasmLib:IPC:%X:%X", GetCurrentProcessId(), mappingSerial + 1);
  HANDLE squatter =
      CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, name);
  ASSERT_NE(squatter, nullptr);
  LinkResult result = 99;
  EXPECT_EQ(LinkOpen(0, &result), 0);
  EXPECT_EQ(result, LinkNoMapping);
  EXPECT_EQ(mappingHandle, nullptr);
  EXPECT_EQ(mappingAtom, 0);
  CloseHandle(squatter);
}

UINT WINAPI NoMessage(LPCSTR) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return 0;
}
ATOM WINAPI NoAtom(LPCSTR) { return 0; }
HANDLE WINAPI NoMapping(HANDLE, LPSECURITY_ATTRIBUTES, DWORD, DWORD, DWORD, LPCSTR) {
  return nullptr;
}
LPVOID WINAPI NoView(HANDLE, DWORD, DWORD, DWORD, SIZE_T) { return nullptr; }

struct SystemFault {
  const char* what;
  void (*fail)(LinkSystemCalls* calls);
  LinkResult expected;
  uint32_t serialsUsed;  // the message is registered before a serial is taken
};

// Each Win32 call of the open failing in turn: its code, and nothing left behind, neither
// the atom nor the mapping's name; then the link opens again.
TEST_F(Link, FailedWin32CallsAtOpenGiveTheirCodeAndLeaveNothingBehind) {
  Serve();
  const SystemFault faults[] = {
      {"message", [](LinkSystemCalls* c) { c->registerWindowMessage = NoMessage; }, LinkNoMessage,
       0},
      {"atom", [](LinkSystemCalls* c) { c->globalAddAtom = NoAtom; }, LinkNoAtom, 1},
      {"mapping", [](LinkSystemCalls* c) { c->createFileMapping = NoMapping; }, LinkNoMapping, 1},
      {"view", [](LinkSystemCalls* c) { c->mapViewOfFile = NoView; }, LinkNoView, 1},
  };
  const LinkSystemCalls real = linkSystemCalls;
  for (const SystemFault& f : faults) {
    uint32_t serial = mappingSerial;
    f.fail(&linkSystemCalls);
    LinkResult result = 99;
    EXPECT_EQ(LinkOpen(0, &result), 0) << f.what;
    linkSystemCalls = real;
    EXPECT_EQ(result, f.expected) << f.what;
    EXPECT_EQ(mappingSerial, serial + f.serialsUsed) << f.what;
    EXPECT_EQ(requestBuffer, nullptr) << f.what;
    EXPECT_EQ(mappingHandle, nullptr) << f.what;
    EXPECT_EQ(mappingAtom, 0) << f.what;
    char name[64];
    wsprintfA(name, "FsasmLib:IPC:%X:%X", GetCurrentProcessId(), mappingSerial);
    EXPECT_EQ(GlobalFindAtomA(name), 0) << f.what << ": the atom is still there";
    HANDLE left = OpenFileMappingA(FILE_MAP_READ, FALSE, name);
    EXPECT_EQ(left, nullptr) << f.what << ": the mapping's name is still taken";
    if (left) CloseHandle(left);
  }
  Open();
}

TEST_F(Link, HandshakeIsOneExchangeOfTwoReadsAndTheClientVersion) {
  sim::Options options;
  options.recordBlocks = true;
  Serve(options);
  Open();
  auto blocks = sim::Blocks();
  ASSERT_EQ(blocks.size(), 1u);
  const auto& b = blocks[0];
  ASSERT_EQ(b.size(), 20u + 20u + 14u + 4u);
  EXPECT_EQ(Word(b, 0), 1u);
  EXPECT_EQ(Word(b, 4), 0x3304u);
  EXPECT_EQ(Word(b, 8), 4u);
  EXPECT_EQ(Word(b, 12), uint32_t(uintptr_t(&fsuipcVersion)));
  EXPECT_EQ(Word(b, 16), 0u);  // data area zeroed when queued
  EXPECT_EQ(Word(b, 20), 1u);
  EXPECT_EQ(Word(b, 24), 0x3308u);
  EXPECT_EQ(Word(b, 28), 4u);
  EXPECT_EQ(Word(b, 32), uint32_t(uintptr_t(&simVersion)));
  EXPECT_EQ(Word(b, 40), 2u);
  EXPECT_EQ(Word(b, 44), 0x330Au);
  EXPECT_EQ(Word(b, 48), 2u);
  EXPECT_EQ(b[52], 0xEC);
  EXPECT_EQ(b[53], 0x03);
  EXPECT_EQ(Word(b, 54), 0u);
}

TEST_F(Link, QueueingWhileClosedGivesCode9) {
  LinkResult result = 99;
  uint32_t value = 0;
  EXPECT_EQ(LinkRead(0x0310, 4, &value, &result), 0);
  EXPECT_EQ(result, LinkNotOpen);
  EXPECT_EQ(LinkWrite(0x0262, 4, &value, &result), 0);
  EXPECT_EQ(result, LinkNotOpen);
  EXPECT_EQ(LinkProcess(&result), 0);
  EXPECT_EQ(result, LinkNotOpen);
  EXPECT_EQ(ReadNow(0x0310, 4, &value), 1);
  EXPECT_EQ(linkFailed, 1);
  linkFailed = 0;
  EXPECT_EQ(WriteNow(0x0262, 4, &value), 1);
  EXPECT_EQ(linkFailed, 1);
  LinkClose();
  LinkClose();
}

TEST_F(Link, CapacityEndsAtExactly32512Bytes) {
  Serve();
  Open();
  static uint8_t big[32512];
  LinkResult result = 99;
  // A read: used + size + 20 <= 32512.
  EXPECT_EQ(LinkRead(0x1000, 32512 - 20 + 1, big, &result), 0);
  EXPECT_EQ(result, LinkBlockFull);
  EXPECT_EQ(requestCursor, requestBuffer);
  EXPECT_EQ(LinkRead(0x1000, 32512 - 20, big, &result), 1);
  EXPECT_EQ(LinkProcess(&result), 1);
  // A write after a 100-byte write: used + size + 16 <= 32512.
  EXPECT_EQ(LinkWrite(0x1000, 100, big, &result), 1);
  EXPECT_EQ(LinkWrite(0x2000, 32512 - 112 - 16 + 1, big, &result), 0);
  EXPECT_EQ(result, LinkBlockFull);
  EXPECT_EQ(requestCursor - requestBuffer, 112);
  EXPECT_EQ(LinkWrite(0x2000, 32512 - 112 - 16, big, &result), 1);
  // Sizes that would wrap a 32-bit sum are refused too.
  EXPECT_EQ(LinkWrite(0x2000, 0xFFFFFFF8u, big, &result), 0);
  EXPECT_EQ(result, LinkBlockFull);
  EXPECT_EQ(LinkProcess(&result), 1);
}

TEST_F(Link, ReadsAndWritesReachTheStoreAndComeBack) {
  Serve();
  Open();
  uint8_t pattern[128];
  for (int i = 0; i < 128; i++) pattern[i] = uint8_t(i * 7);
  LinkResult result;
  ASSERT_EQ(LinkWrite(0x3380, 128, pattern, &result), 1);
  uint8_t back[128] = {};
  uint16_t word = 0xFFFF;
  ASSERT_EQ(LinkRead(0x3380, 128, back, &result), 1);
  ASSERT_EQ(LinkRead(0x3380, 0, &word, &result), 1);  // size 0: header only, nothing copied
  ASSERT_EQ(LinkProcess(&result), 1);
  EXPECT_EQ(memcmp(back, pattern, 128), 0);
  EXPECT_EQ(word, 0xFFFF);
}

// A list of records goes out in one exchange, in order; a list with a record that cannot
// be queued sends nothing and leaves nothing queued for the next caller.
TEST_F(Link, RecordListsGoInOneExchangeOrNotAtAll) {
  Serve();
  Open();
  const uint32_t tag = 0x12345678;
  uint32_t back = 0;
  LinkRecords records = {};
  AddWrite(&records, 0x5000, 4, &tag);
  AddRead(&records, 0x5000, 4, &back);
  LinkResult result = 99;
  int before = sim::ExchangeCount();
  ASSERT_EQ(LinkExchange(&records, &result), 1);
  EXPECT_EQ(result, LinkOkay);
  EXPECT_EQ(back, tag);
  EXPECT_EQ(sim::ExchangeCount() - before, 1);

  static uint8_t big[32512];
  LinkRecords refused = {};
  AddWrite(&refused, 0x5000, 4, &tag);
  refused.record[refused.count++] = LinkRecord{1, 0x6000, 32512, nullptr, 0};  // too big
  EXPECT_EQ(LinkExchange(&refused, &result), 0);
  EXPECT_EQ(result, LinkBlockFull);
  EXPECT_EQ(requestCursor, requestBuffer);
  LinkRecords tooMany = {};
  for (int i = 0; i < MaxExchangeRecords + 1; i++) AddRead(&tooMany, 0x5000, 4, &back);
  AddWrite(&tooMany, 0x6000, MaxExchangeWriteBytes + 1, big);
  EXPECT_EQ(LinkExchange(&tooMany, &result), 0);
  EXPECT_EQ(result, LinkBlockFull);
  EXPECT_EQ(sim::ExchangeCount() - before, 1);
  EXPECT_EQ(LinkProcess(&result), 0);
  EXPECT_EQ(result, LinkNothingQueued);
}

TEST_F(Link, BadReplyDropsTheQueueAndWritesNoDestination) {
  Serve();
  Open();
  sim::SetReply(0);
  uint32_t version = 0xAAAAAAAA;
  LinkResult result = 99;
  ASSERT_EQ(LinkRead(OffsetFsuipcVersion, 4, &version, &result), 1);
  EXPECT_EQ(LinkProcess(&result), 0);
  EXPECT_EQ(result, LinkBadReply);
  EXPECT_EQ(version, 0xAAAAAAAAu);
  EXPECT_EQ(LinkProcess(&result), 0);
  EXPECT_EQ(result, LinkNothingQueued);
}

TEST_F(Link, VanishedServerFailsAllTriesAndWritesNoDestination) {
  Serve();
  Open();
  sim::DestroyServerWindow();
  uint32_t version = 0xAAAAAAAA;
  LinkResult result = 99;
  ASSERT_EQ(LinkRead(OffsetFsuipcVersion, 4, &version, &result), 1);
  DWORD start = GetTickCount();
  EXPECT_EQ(LinkProcess(&result), 0);
  EXPECT_TRUE(result == LinkTimedOut || result == LinkSendFailed) << result;
  EXPECT_GE(GetTickCount() - start, 800u);  // nine tries, 100 ms apart
  EXPECT_EQ(version, 0xAAAAAAAAu);
  EXPECT_EQ(requestCursor, requestBuffer);
}

// A busy simulator gets nine tries; once they all failed, the replay's wrappers send
// nothing more; and while a stop is asked for, a failed try is the last. Bounds: three
// times the 18.9 s of nine tries and the 2 s of one, and well below nine tries for one.
TEST_F(Link, HungServerTimesOutAfterNineTriesOrOneDuringAStop) {
  Serve();
  Open();
  sim::SetHang(true);
  uint32_t version = 0xAAAAAAAA;
  linkUnanswered = 0;
  DWORD start = GetTickCount();
  EXPECT_EQ(ReadNow(OffsetFsuipcVersion, 4, &version), 1);
  DWORD took = GetTickCount() - start;
  EXPECT_EQ(linkFailed, 1);
  EXPECT_EQ(version, 0xAAAAAAAAu);
  EXPECT_GE(took, 17000u);
  EXPECT_LE(took, 57000u);
  EXPECT_EQ(linkUnanswered, 1);

  start = GetTickCount();
  EXPECT_EQ(WriteNow(OffsetClientVersion, 2, &version), 1);
  EXPECT_LT(GetTickCount() - start, 1000u) << "a link gone is not tried again";

  linkUnanswered = 0;
  stopRequested = 1;
  start = GetTickCount();
  EXPECT_EQ(ReadNow(OffsetFsuipcVersion, 4, &version), 1);
  took = GetTickCount() - start;
  stopRequested = 0;
  EXPECT_GE(took, 1900u);
  EXPECT_LT(took, 6000u);
  EXPECT_EQ(linkUnanswered, 1);
  linkUnanswered = 0;
  sim::SetHang(false);
}

TEST_F(Link, UnknownTypeWordEndsTheWalkWithSuccess) {
  Serve();
  Open();
  uint32_t first = 0, second = 0xAAAAAAAA, third = 0xBBBBBBBB;
  sim::SetAfterServe([](uint8_t* block, uint32_t) {
    uint32_t junk = 7;
    memcpy(block + ReadHeaderBytes + 4 + RecordTypeAt, &junk, 4);  // the second read's type word
  });
  LinkResult result = 99;
  LinkRead(OffsetFsuipcVersion, 4, &first, &result);
  LinkRead(OffsetFsuipcVersion, 4, &second, &result);
  LinkRead(OffsetFsuipcVersion, 4, &third, &result);
  uint8_t* block = requestBuffer;
  EXPECT_EQ(LinkProcess(&result), 1);
  EXPECT_EQ(result, LinkOkay);
  EXPECT_EQ(first, 0x19980005u + 0x10000);
  EXPECT_EQ(second, 0xAAAAAAAAu);
  EXPECT_EQ(third, 0xBBBBBBBBu);
  EXPECT_EQ(block[ReadHeaderBytes + 4], 0);  // overwritten with the end mark
}

// A faulty server that scribbles over the whole block cannot make the client write outside
// its callers' buffers or beyond the sizes they asked for.
TEST_F(Link, ScribblingServerCannotMisdirectResults) {
  Serve();
  Open();
  struct Guarded {
    uint8_t before[16];
    uint8_t data[8];
    uint8_t after[16];
  };
  static Guarded buffers[3];
  const uint32_t scribbles[][4] = {
      {1, 0x0310, 0xFFFFFFFF, 0x00401000},  // huge size, code address as destination
      {1, 0x0310, 32000, 0},                // size to the block's end, null destination
      {1, 0x0310, 4, 0xFFFFFFF0},
  };
  for (const auto& scribble : scribbles) {
    memset(buffers, 0x5A, sizeof buffers);
    sim::SetAfterServe([&scribble](uint8_t* block, uint32_t size) {
      for (uint32_t at = 0; at + 16 <= size; at += 24) memcpy(block + at, scribble, 16);
    });
    LinkResult result;
    for (auto& b : buffers) ASSERT_EQ(LinkRead(0x0310, 8, b.data, &result), 1);
    LinkWrite(0x3380, 3, "abc", &result);
    LinkProcess(&result);
    for (auto& b : buffers) {
      for (uint8_t byte : b.before) ASSERT_EQ(byte, 0x5A);
      for (uint8_t byte : b.after) ASSERT_EQ(byte, 0x5A);
    }
  }
}

// The start placement on one thread and the replay's one-shot reads on another never mix in
// one block.
TEST_F(Link, ConcurrentSequencesNeverInterleave) {
  sim::Options options;
  options.recordBlocks = true;
  Serve(options);
  Open();
  sim::ClearBlocks();
  const int rounds = 1500;
  std::thread placer([] {
    for (uint32_t i = 0; i < rounds; i++) {
      LinkRecords records = {};
      for (uint32_t part = 0; part < 3; part++) {
        uint32_t tag = i * 4 + part;
        AddWrite(&records, 0x5000 + part * 4, 4, &tag);
      }
      LinkResult result;
      LinkExchange(&records, &result);
    }
  });
  for (int i = 0; i < rounds; i++) {
    double clock;
    ASSERT_EQ(ReadNow(OffsetClock, 8, &clock), 0);
  }
  placer.join();
  auto blocks = sim::Blocks();
  ASSERT_EQ(blocks.size(), size_t(rounds * 2));
  const uint32_t tagRecord = WriteHeaderBytes + 4;
  for (const auto& b : blocks) {
    if (Word(b, RecordTypeAt) == RecordRead) {
      ASSERT_EQ(b.size(), ReadHeaderBytes + 8 + EndMarkBytes);
      continue;
    }
    ASSERT_EQ(b.size(), 3 * tagRecord + EndMarkBytes);
    uint32_t first = Word(b, WriteHeaderBytes);
    for (uint32_t part = 0; part < 3; part++) {
      ASSERT_EQ(Word(b, part * tagRecord + RecordTypeAt), RecordWrite);
      ASSERT_EQ(Word(b, part * tagRecord + WriteHeaderBytes), first + part);
    }
  }
}

}  // namespace
