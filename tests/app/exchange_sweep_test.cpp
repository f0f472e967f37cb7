// Every exchange along the replay's path failed in turn, in-process: the program's own code
// (the link's open, the control dialog made from the program's own resources, Start, the
// replay thread, Exit and the program's end) against the in-process stand-in. The stand-in's
// answers are scripted, so each run sends the same exchanges: the handshake, the placement,
// the thread's start, a starting pause, the first rows' frames with a pause among them, the
// rows to the end at 56:26, its two ends and the exit writes. For each, what the user and the
// simulator see.
#include <gtest/gtest.h>

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "app/app.h"
#include "bytes.h"
#include "exchange_kinds.h"
#include "link/link.h"
#include "link/offsets.h"
#include "message_box.h"
#include "recording/recording.h"
#include "replay/replay.h"
#include "request_block.h"
#include "sim_server.h"
#include "stand_in.h"  // Hex, as the stand-in's log gives a record's bytes

namespace {

// ---- The stand-in's script --------------------------------------------------------------

// Which exchange fails: 0 none; the handshake is 1, the placement is PlacementStep, and the
// thread's exchanges follow in their order. Numbered so, whenever the dialog's placement
// happens to come among the thread's first exchanges.
const int PlacementStep = 2;

std::mutex scriptLock;
int failStep;
int threadExchanges, indicatorReads;
double scriptClock;
std::vector<LoggedExchange> exchanges;  // as served, in order, numbered by their step

// The simulator reads paused at the thread's first look, as the placement left it, and the
// user resumes it at the next poll; the eighth frame finds it paused again for one poll.
// Each clock reading runs a quarter of a second through the first rows, then a second.
void Answer(const BlockRecord& r) {
  if (r.type != RecordRead) return;
  if (r.offset == OffsetPauseIndicator) {
    int k = indicatorReads++;
    StoreAs(r.data, uint16_t(k == 0 || k == 9 || k == 10));
  }
  if (r.offset == OffsetMenuIndicator) StoreAs(r.data, uint8_t(0));
  if (r.offset == OffsetClock) {
    scriptClock += indicatorReads < 14 ? 0.25 : 1.0;
    StoreAs(r.data, scriptClock);
  }
}

void AfterServe(uint8_t* block, uint32_t size) {
  std::lock_guard<std::mutex> guard(scriptLock);
  LoggedExchange e;
  WalkRequestBlock(block, size, [&](const BlockRecord& r) {
    Answer(r);
    e.records.push_back({r.type == RecordWrite, r.offset, Hex(r.data, r.size)});
  });
  e.number = exchanges.empty() ? 1
             : IsPlacement(e)  ? PlacementStep
                               : PlacementStep + ++threadExchanges;
  e.reply = e.number == failStep ? 0 : 1;
  exchanges.push_back(e);
  sim::SetReply(e.reply);
}

// ---- One run ------------------------------------------------------------------------------

struct Outcome {
  LinkResult openResult = LinkOkay;
  bool dialog = false;
  bool threadEnded = false;    // the replay thread ended by itself within its bound
  double exitMs = -1;          // Exit pressed to the dialog's answer
  std::vector<SeenBox> boxes;  // the closing notice last
  std::string title;           // the simulator window's title at the end
  bool linkReleased = false;   // the block, the mapping and the atom are gone
  int row = -1;                // currentRow at the end
  std::vector<LoggedExchange> exchanges;
  int unexpected = 0;
};

const int StartMinute = 56;
const DWORD ThreadBoundMs = 10000;

class Sweep : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // The dialog's template comes from the program's own resources.
    program = LoadLibraryExA(OSTAVIN_PROGRAM, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    SetCurrentDirectoryA(OSTAVIN_SAMPLE_DIR);  // the recording's data\ folder
  }
  static void TearDownTestSuite() {
    if (program) FreeLibrary(program);
  }

  Outcome Run(int fail) {
    Outcome o;
    {
      std::lock_guard<std::mutex> guard(scriptLock);
      failStep = fail;
      threadExchanges = indicatorReads = 0;
      scriptClock = 1000.0;
      exchanges.clear();
    }
    if (!sim::Start(sim::Options{})) {
      ADD_FAILURE() << "the stand-in did not start";
      return o;
    }
    sim::SetAfterServe(AfterServe);
    simWindow = nullptr;
    StartBoxWatch();
    if (LinkOpen(0, &o.openResult)) Fly(&o);
    EndProgram(GetModuleHandleA(nullptr));
    o.boxes = StopBoxWatch();
    char atom[64];
    wsprintfA(atom, "FsasmLib:IPC:%X:%X", GetCurrentProcessId(), mappingSerial);
    o.linkReleased = !requestBuffer && !mappingHandle && !mappingAtom && !GlobalFindAtomA(atom);
    o.title = WindowText(sim::MainWindow());
    o.row = currentRow;
    o.unexpected = sim::UnexpectedCount();
    sim::SetAfterServe(nullptr);
    sim::Stop();
    std::lock_guard<std::mutex> guard(scriptLock);
    o.exchanges = exchanges;
    return o;
  }

  // The dialog as the program opens it; Start at the minute; the replay thread's end; Exit.
  static void Fly(Outcome* o) {
    HWND dialog =
        CreateDialogParamA(program, MAKEINTRESOURCEA(IDD_CONTROL), nullptr, ControlDialogProc, 0);
    o->dialog = dialog != nullptr;
    if (!dialog) return;
    SendDlgItemMessageA(dialog, IDC_START_LIST, CB_SETCURSEL, StartMinute - FirstStartMinute, 0);
    CheckDlgButton(dialog, IDC_SHOW_TEXT, BST_CHECKED);
    SendMessageA(dialog, WM_COMMAND, IDOK, 0);  // the placement's box is answered by the watch
    o->threadEnded = replayThreadHandle &&
                     WaitForSingleObject(replayThreadHandle, ThreadBoundMs) == WAIT_OBJECT_0;
    // Exit waits for the thread without a bound: a thread that did not end is asked to stop,
    // and one that does not stop either is left behind, its failure reported.
    stopRequested = 1;
    if (replayThreadHandle &&
        WaitForSingleObject(replayThreadHandle, ThreadBoundMs) != WAIT_OBJECT_0)
      return;
    DWORD pressed = GetTickCount();
    SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    o->exitMs = GetTickCount() - pressed;
    DestroyWindow(dialog);
  }

  static HMODULE program;
};
HMODULE Sweep::program;

std::wstring ClosingNotice() {
  wchar_t text[StringBufferSize] = L"";
  LoadStringW(GetModuleHandleA(nullptr), IDS_CLOSING_NOTICE, text, StringBufferSize);
  return text;
}

// The checks of every run: the closing notice last, the title given back, the link let go,
// no record the program does not send, Exit answered at once.
void ExpectOrderlyEnd(const Outcome& o, const std::string& what) {
  ASSERT_FALSE(o.boxes.empty()) << what << ": no closing notice";
  EXPECT_EQ(o.boxes.back().wideText, ClosingNotice()) << what;
  EXPECT_EQ(o.title, "Microsoft Flight Simulator X") << what;
  EXPECT_TRUE(o.linkReleased) << what;
  EXPECT_EQ(o.unexpected, 0) << what;
  if (o.dialog) {
    EXPECT_TRUE(o.threadEnded) << what << ": the replay thread did not end";
    EXPECT_LT(o.exitMs, 1000) << what << ": Exit waited";
  }
}

void ExpectFailureOutcome(const Outcome& o, int step, Kind kind) {
  std::string what = "step " + std::to_string(step) + " (" + kindNames[kind] + ")";
  ExpectOrderlyEnd(o, what);
  ASSERT_EQ(KindOf(o.exchanges, step), kind) << what << ": another exchange, or none, failed";
  EXPECT_EQ(o.openResult, kind == Handshake ? LinkBadReply : LinkOkay) << what;
  EXPECT_EQ(o.dialog, kind != Handshake) << what;
  size_t boxes = kind == Placement ? 2 : 1;
  ASSERT_EQ(o.boxes.size(), boxes) << what;
  if (kind == Placement) {
    EXPECT_EQ(o.boxes[0].caption, LinkFailureCaption) << what;
    EXPECT_EQ(o.boxes[0].text, linkResultMessages[LinkBadReply]) << what;
  }
  ExpectWhatFollows(kind, After(o.exchanges, step), timeCodes[o.row] == ReplayEndTime, what);
}

TEST_F(Sweep, EveryExchangeOfTheReplayFailedInTurn) {
  ASSERT_NE(program, nullptr) << "the program's resources do not load";
  Outcome clean = Run(0);
  ExpectOrderlyEnd(clean, "no failure");
  ASSERT_EQ(clean.boxes.size(), 1u);
  EXPECT_EQ(timeCodes[clean.row], ReplayEndTime);
  ASSERT_TRUE(IsExitWrites(clean.exchanges.back()));
  int last = clean.exchanges.back().number;
  int count[KindCount] = {};
  for (int step = 1; step <= last; step++) {
    Kind kind = KindOf(clean.exchanges, step);
    count[kind]++;
    ExpectFailureOutcome(Run(step), step, kind);
  }
  printf("in-process exchange-failure sweep: %d exchanges failed in turn:", last);
  for (int k = 0; k < KindCount; k++) printf(" %d %s;", count[k], kindNames[k]);
  printf("\n");
  for (int k = 0; k < KindCount; k++) EXPECT_GT(count[k], 0) << kindNames[k] << " never met";
}

}  // namespace
