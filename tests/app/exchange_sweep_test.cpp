// Every exchange along the replay's path failed in turn, in-process: the program's own code
// (the link's open, the control dialog made from the program's own resources, Start, the
// replay thread, Exit and the program's end) against the in-process stand-in. The stand-in's
// answers are scripted, so each run sends the same exchanges: the handshake, the placement,
// the thread's start, a starting pause, the first rows' frames with a pause among them, the
// rows to the end at 56:26, its two ends and the exit writes. For each, what the user and the
// simulator see.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "app/app.h"
#include "bytes.h"
#include "link/link.h"
#include "link/offsets.h"
#include "message_box.h"
#include "recording/recording.h"
#include "replay/replay.h"
#include "request_block.h"
#include "sim_server.h"
#include "wait.h"

namespace {

// ---- The stand-in's script --------------------------------------------------------------

struct Served {
  bool write;
  uint32_t offset;
  std::vector<uint8_t> bytes;
};
typedef std::vector<Served> Exchange;

// Which exchange fails: 0 none; the handshake is 1, the placement is PlacementStep, and the
// thread's exchanges follow in their order. Numbered so, whenever the dialog's placement
// happens to come among the thread's first exchanges.
const int PlacementStep = 2;

std::mutex scriptLock;
int failStep;
int threadExchanges, indicatorReads;
double scriptClock;
std::vector<Exchange> exchanges;  // as served, in order
std::vector<int> steps;           // the step number of each

bool Has(const Exchange& e, bool write, uint32_t offset) {
  for (const Served& s : e)
    if (s.write == write && s.offset == offset) return true;
  return false;
}

bool IsPlacement(const Exchange& e) {
  return e.size() == 7 && e[0].write && e[0].offset == OffsetPause;
}

bool IsExitWrites(const Exchange& e) {
  return e.size() == 2 && e[0].offset == OffsetCaptionText && e[0].bytes[0] == ' ';
}

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
  Exchange e;
  WalkRequestBlock(block, size, [&](const BlockRecord& r) {
    Answer(r);
    e.push_back({r.type == RecordWrite, r.offset, std::vector<uint8_t>(r.data, r.data + r.size)});
  });
  int step = exchanges.empty() ? 1
             : IsPlacement(e)  ? PlacementStep
                               : PlacementStep + ++threadExchanges;
  exchanges.push_back(e);
  steps.push_back(step);
  sim::SetReply(step == failStep ? 0 : 1);
}

// ---- What a failure leads to ------------------------------------------------------------

enum Kind {
  Handshake,     // the link box at program start; no dialog
  Placement,     // the link box from Start; the replay flies on
  GoesOn,        // unexamined: the replay flies on to its end
  EndsAtOnce,    // the thread's start: it ends without the exit writes
  EndsWithExit,  // the exit writes follow, the simulator is not paused
  ExitWrites,    // nothing follows
};
const char* const kindNames[] = {
    "handshake",  "placement", "goes on", "ends at once", "ends with the exit writes",
    "exit writes"};

// The kind of a step, told from the exchanges of a run without a failure.
Kind KindOf(const std::vector<Exchange>& clean, const std::vector<int>& cleanSteps, int step) {
  bool flying = false, watched = false;
  for (size_t i = 0; i < clean.size(); i++) {
    const Exchange& e = clean[i];
    bool frame = Has(e, false, OffsetClock) && Has(e, false, OffsetPauseIndicator);
    bool watch = !frame && Has(e, false, OffsetPauseIndicator);
    if (cleanSteps[i] == step) {
      if (Has(e, false, OffsetFsuipcVersion)) return Handshake;
      if (IsPlacement(e)) return Placement;
      if (IsExitWrites(e)) return ExitWrites;
      if (flying || frame) return EndsWithExit;
      if (watch)
        return watched ? EndsWithExit : GoesOn;  // a poll fails; the first look reads as running
      if (Has(e, false, OffsetFlapStep)) return GoesOn;
      bool flapsUp = Has(e, true, OffsetFlapsLever) && LoadAs<int32_t>(e[0].bytes.data()) == 0;
      return flapsUp ? GoesOn : EndsAtOnce;  // the flaps' setting, the gear, the first clock
    }
    flying |= frame;
    watched |= watch;
  }
  return GoesOn;
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
  std::vector<Exchange> exchanges;
  std::vector<int> steps;
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
      steps.clear();
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
    o.steps = steps;
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

// What was served after the failed step, the placement aside: it runs beside the thread.
std::vector<Exchange> After(const Outcome& o, int step) {
  std::vector<Exchange> after;
  bool past = false;
  for (size_t i = 0; i < o.exchanges.size(); i++) {
    if (past && !IsPlacement(o.exchanges[i])) after.push_back(o.exchanges[i]);
    past |= o.steps[i] == step;
  }
  return after;
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
  bool failed = false;
  for (size_t i = 0; i < o.steps.size(); i++) failed |= o.steps[i] == step;
  ASSERT_TRUE(failed) << what << ": never sent";
  EXPECT_EQ(o.openResult, kind == Handshake ? LinkBadReply : LinkOkay) << what;
  EXPECT_EQ(o.dialog, kind != Handshake) << what;
  size_t boxes = kind == Placement ? 2 : 1;
  ASSERT_EQ(o.boxes.size(), boxes) << what;
  if (kind == Placement) {
    EXPECT_EQ(o.boxes[0].caption, LinkFailureCaption) << what;
    EXPECT_EQ(o.boxes[0].text, linkResultMessages[LinkBadReply]) << what;
  }
  std::vector<Exchange> after = After(o, step);
  bool flewOn = kind == GoesOn || kind == Placement;
  bool paused = false;
  for (const Exchange& e : after) paused |= Has(e, true, OffsetPause);
  EXPECT_EQ(paused, flewOn) << what << ": the simulator paused at the end, or after a failure";
  if (flewOn) {
    EXPECT_EQ(timeCodes[o.row], ReplayEndTime) << what << ": the replay did not reach 56:26";
  }
  if (kind == EndsWithExit) {
    for (const Exchange& e : after) EXPECT_FALSE(Has(e, true, OffsetHeading)) << what;
  }
  if (flewOn || kind == EndsWithExit) {
    EXPECT_TRUE(!after.empty() && IsExitWrites(after.back())) << what << ": no exit writes";
  } else {
    EXPECT_TRUE(after.empty()) << what << ": sent after the failure";
  }
}

TEST_F(Sweep, EveryExchangeOfTheReplayFailedInTurn) {
  ASSERT_NE(program, nullptr) << "the program's resources do not load";
  Outcome clean = Run(0);
  ExpectOrderlyEnd(clean, "no failure");
  ASSERT_EQ(clean.boxes.size(), 1u);
  EXPECT_EQ(timeCodes[clean.row], ReplayEndTime);
  ASSERT_TRUE(IsExitWrites(clean.exchanges.back()));
  int last = clean.steps.back();
  int count[6] = {};
  for (int step = 1; step <= last; step++) {
    Kind kind = KindOf(clean.exchanges, clean.steps, step);
    count[kind]++;
    ExpectFailureOutcome(Run(step), step, kind);
  }
  printf("in-process exchange-failure sweep: %d exchanges failed in turn:", last);
  for (int k = 0; k < 6; k++) printf(" %d %s;", count[k], kindNames[k]);
  printf("\n");
  for (int k = 0; k < 6; k++) EXPECT_GT(count[k], 0) << kindNames[k] << " never met";
}

}  // namespace
