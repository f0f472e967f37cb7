// The real program beside a stand-in that fails one exchange of each kind along the program's
// path: the handshake, Start's placement, the replay thread's start, a frame, the end and the
// exit writes; and a simulator that hangs or loses its server window at one exchange of each
// kind. For each, what the user and the simulator see.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "fault_run.h"
#include "link/link.h"
#include "link/offsets.h"
#include "temp_dir.h"

namespace {

// What a failure of one kind of exchange leads to.
enum Kind {
  Handshake,     // the link box at program start; no dialog
  Placement,     // the link box from Start; the replay flies on
  GoesOn,        // unexamined: the replay flies on to its end
  EndsAtOnce,    // the thread's start: it ends without the exit writes
  EndsWithExit,  // in the rows: the exit writes follow, the simulator is not paused
  ExitWrites,    // nothing follows
};
const char* const kindNames[] = {
    "handshake",  "placement", "goes on", "ends at once", "ends with the exit writes",
    "exit writes"};

bool Has(const LoggedExchange& e, bool write, unsigned offset) {
  for (const LoggedRecord& r : e.records)
    if (r.write == write && r.offset == offset) return true;
  return false;
}

bool IsPlacement(const LoggedExchange& e) {
  return e.records.size() == 7 && e.records[0].write && e.records[0].offset == OffsetPause;
}

bool IsExitWrites(const LoggedExchange& e) {
  return e.records.size() == 2 && e.records[0].offset == OffsetCaptionText &&
         e.records[0].bytes.substr(0, 4) == "2000";
}

// The kind of the exchange numbered n in a run's log; flying is false until the first frame,
// so the thread's start tells from the row events.
Kind KindOf(const std::vector<LoggedExchange>& exchanges, int n) {
  bool flying = false, watched = false;
  for (const LoggedExchange& e : exchanges) {
    bool frame = Has(e, false, OffsetClock) && Has(e, false, OffsetPauseIndicator);  // or a poll
    bool watch = !frame && Has(e, false, OffsetPauseIndicator);
    if (e.number == n) {
      if (Has(e, false, OffsetFsuipcVersion)) return Handshake;
      if (IsPlacement(e)) return Placement;
      if (IsExitWrites(e)) return ExitWrites;
      if (frame || Has(e, true, OffsetElevatorTrim)) return EndsWithExit;
      if (flying) return EndsWithExit;                    // the flap setting and the end's pause
      if (watch) return watched ? EndsWithExit : GoesOn;  // a poll; the first look
      if (Has(e, false, OffsetFlapStep)) return GoesOn;
      bool flapsUp = Has(e, true, OffsetFlapsLever) && e.records[0].bytes == "00000000";
      return flapsUp ? GoesOn : EndsAtOnce;
    }
    flying |= frame;
    watched |= watch;
  }
  return GoesOn;
}

const char* const LinkCaption = "VRN505: Failed to open link to FSUIPC";

class Sweep : public ::testing::Test {
 protected:
  FaultOutcome Run(const std::string& faultArgs, bool captions = true) {
    FaultRun run;
    run.captions = captions;
    run.program = OSTAVIN_PROGRAM;
    run.simulator = OSTAVIN_SIMULATOR;
    run.vox = OSTAVIN_VOX;
    run.sample = OSTAVIN_SAMPLE_DIR;
    run.simulatorArgs = "--rate 40 --frames 240 " + faultArgs;
    std::string work = MakeTempDir();
    FaultOutcome outcome = RunWithFault(run, work);
    RemoveTree(work);
    return outcome;
  }
};

// The checks every run shares: no crash, the closing notice soon after Exit, exit code 0.
void ExpectOrderlyEnd(const FaultOutcome& o, const std::string& what, double exitBoundMs) {
  EXPECT_TRUE(o.notice) << what;
  EXPECT_LT(o.exitToNoticeMs, exitBoundMs) << what;
  EXPECT_TRUE(o.exited) << what;
  EXPECT_EQ(o.exitCode, 0u) << what;
  EXPECT_EQ(UnexpectedRecords(o.log), "") << what;
}

// After the failed exchange n, what the replay sent: the placement, which runs beside the
// thread, aside.
std::vector<LoggedExchange> After(const std::vector<LoggedExchange>& exchanges, int n) {
  std::vector<LoggedExchange> after;
  for (const LoggedExchange& e : exchanges)
    if (e.number > n && !IsPlacement(e)) after.push_back(e);
  return after;
}

// Returns false when the run ended before exchange n: a run can be a few exchanges shorter
// than another, by the polls while the simulator is paused.
bool ExpectReplyFailure(const FaultOutcome& o, int n) {
  std::vector<LoggedExchange> exchanges = Exchanges(o.log);
  Kind kind = KindOf(exchanges, n);
  std::string what = "exchange " + std::to_string(n) + " (" + kindNames[kind] + ")";
  ExpectOrderlyEnd(o, what, 3000);
  if (exchanges.empty() || exchanges.back().number < n) return false;
  EXPECT_EQ(o.title, "Microsoft Flight Simulator X") << what;
  bool box = kind == Handshake || kind == Placement;
  EXPECT_EQ(o.boxes.size(), box ? 1u : 0u) << what;
  if (box && o.boxes.size() == 1) {
    EXPECT_EQ(o.boxes[0].caption, LinkCaption) << what;
    EXPECT_EQ(o.boxes[0].text, linkResultMessages[LinkBadReply]) << what;
  }
  EXPECT_EQ(o.dialog, kind != Handshake) << what;
  std::vector<LoggedExchange> after = After(exchanges, n);
  int end = TitleExchange(o.log, "56:26");
  bool flewOn = kind == GoesOn || kind == Placement;
  bool paused = false;  // by the replay's end, after the failure
  for (const LoggedExchange& e : after) paused |= Has(e, true, OffsetPause);
  if (flewOn) {
    EXPECT_GT(end, 0) << what << ": the replay did not reach 56:26";
    EXPECT_TRUE(paused) << what << ": no pause at the end";
  } else {
    EXPECT_FALSE(paused) << what << ": a pause after a link failure";
  }
  if (kind == EndsWithExit) {
    // The pause watch under way may poll on until the simulator runs; no frame follows.
    for (const LoggedExchange& e : after) {
      EXPECT_FALSE(Has(e, true, OffsetHeading)) << what;
    }
  }
  if (flewOn || kind == EndsWithExit) {
    EXPECT_TRUE(!after.empty() && IsExitWrites(after.back())) << what << ": no exit writes";
  } else if (kind != Handshake) {
    EXPECT_TRUE(after.empty()) << what;
  }
  return true;
}

// One exchange of each kind replied with failure; every exchange is failed in turn by the
// in-process sweep (exchange_sweep_test.cpp), so the real program here meets one of each.
// The stand-in fails the first exchange that writes where the kind writes first, so the
// case is the same however many polls and frames came before it.
TEST_F(Sweep, OneExchangeOfEachKindRepliedWithFailure) {
  const struct {
    Kind kind;
    const char* fault;
    bool captions;
  } cases[] = {
      {Handshake, "--fail-exchange 1", true},
      {Placement, "--fail-write 0262", true},     // the placement's pause, first
      {GoesOn, "--fail-write 0BDC", true},        // the flaps up as the thread starts
      {EndsAtOnce, "--fail-write 0BE8", true},    // the gear as the thread starts
      {EndsWithExit, "--fail-write 0BC0", true},  // the trim of the first row's end, in a frame
      {ExitWrites, "--fail-write 3380", false},   // with no captions, only the exit writes
  };
  for (const auto& c : cases) {
    FaultOutcome o = Run(c.fault, c.captions);
    int failed = 0;
    for (const LoggedExchange& e : Exchanges(o.log))
      if (e.reply == 0 && !failed) failed = e.number;
    ASSERT_GT(failed, 0) << c.fault << ": no exchange failed";
    EXPECT_EQ(KindOf(Exchanges(o.log), failed), c.kind) << c.fault;
    EXPECT_TRUE(ExpectReplyFailure(o, failed)) << c.fault;
  }
}

// A simulator that stops answering, or whose server window goes, where the program shows the
// link box: at the handshake and at the placement. During the replay (silence, and Exit
// answered at once) the fault table (tools/faults) meets both, and a hung handshake is the
// link's nine tries (link_test) before the same box.
TEST_F(Sweep, SimulatorGoneWhereTheLinkBoxShows) {
  FaultOutcome clean = Run("");
  std::vector<LoggedExchange> exchanges = Exchanges(clean.log);
  ASSERT_FALSE(exchanges.empty());
  std::vector<int> firstOf(6, 0);
  for (const LoggedExchange& e : exchanges) {
    Kind kind = KindOf(exchanges, e.number);
    if (!firstOf[kind]) firstOf[kind] = e.number;
  }
  const struct {
    const char* fault;
    Kind kind;
  } cases[] = {
      {"--destroy-at ", Handshake}, {"--destroy-at ", Placement}, {"--hang-from ", Placement}};
  for (const auto& c : cases) {
    bool hang = c.fault[2] == 'h';
    int n = firstOf[c.kind];
    ASSERT_GT(n, 0) << kindNames[c.kind];
    FaultOutcome o = Run(c.fault + std::to_string(n));
    std::string what = c.fault + std::to_string(n) + " (" + kindNames[c.kind] + ")";
    // One try of 2 s at most once Exit is pressed, three times over; nine would be 18.9 s.
    ExpectOrderlyEnd(o, what, hang ? 6000 : 3000);
    // The placement runs beside the thread's first exchanges, so which of them met the
    // fault is told by this run's log: a placement never served is the one that failed.
    bool placed = false;
    for (const LoggedExchange& e : Exchanges(o.log)) placed |= IsPlacement(e);
    bool box = n == 1 || (o.dialog && !placed);
    EXPECT_EQ(o.boxes.size(), box ? 1u : 0u) << what;
    if (box && o.boxes.size() == 1) {
      EXPECT_EQ(o.boxes[0].caption, LinkCaption) << what;
      // A window destroyed while it serves an exchange answers that one with 0.
      std::string text = o.boxes[0].text;
      EXPECT_TRUE(text == linkResultMessages[LinkTimedOut] ||
                  text == linkResultMessages[LinkSendFailed] ||
                  (!hang && text == linkResultMessages[LinkBadReply]))
          << what << ": " << text;
    }
    for (const LoggedExchange& e : Exchanges(o.log)) EXPECT_LT(e.number, n) << what;
    if (!hang) {
      EXPECT_EQ(o.title, "Microsoft Flight Simulator X") << what;
    }
  }
}

}  // namespace
