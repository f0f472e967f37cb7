// The real program beside a stand-in that fails one exchange, for every exchange along the
// program's path: the handshake, Start and its placement, the replay thread's start, the
// first two rows, the end at 56:26 and the exit writes. For each, what the user and the
// simulator see.
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
  FaultOutcome Run(const std::string& faultArgs) {
    FaultRun run;
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

TEST_F(Sweep, EveryExchangeRepliedWithFailure) {
  FaultOutcome clean = Run("");
  std::vector<LoggedExchange> exchanges = Exchanges(clean.log);
  ASSERT_FALSE(exchanges.empty());
  ExpectOrderlyEnd(clean, "no fault", 3000);
  int secondRowEnd = TitleExchange(clean.log, "56:03");
  int last = exchanges.back().number;
  ASSERT_GT(secondRowEnd, 10);
  std::vector<int> sweep;
  for (int n = 1; n <= secondRowEnd; n++) sweep.push_back(n);
  // A run can be some exchanges shorter or longer than the clean one, by the polls while
  // the simulator is paused at the start, so the end is swept over a wider stretch.
  const int EndStretch = 16;
  for (int n = last - EndStretch; n <= last; n++) sweep.push_back(n);
  int cases = 0, reached = 0;
  for (int n : sweep) {
    reached += ExpectReplyFailure(Run("--fail-exchange " + std::to_string(n)), n);
    cases++;
  }
  printf(
      "exchange-failure sweep: %d cases, %d of them reached their exchange; exchanges 1 to "
      "%d and %d to %d\n",
      cases, reached, secondRowEnd, last - EndStretch, last);
  EXPECT_GT(reached, secondRowEnd + 3) << "the end was not reached";
}

// A simulator that stops answering, or whose server window goes, at one exchange of each
// kind: the link box where the program shows one, otherwise silence, and Exit answered.
TEST_F(Sweep, SimulatorGoneAtOneExchangeOfEachKind) {
  FaultOutcome clean = Run("");
  std::vector<LoggedExchange> exchanges = Exchanges(clean.log);
  ASSERT_FALSE(exchanges.empty());
  std::vector<int> firsts;
  std::vector<bool> seen(6, false);
  for (const LoggedExchange& e : exchanges) {
    Kind kind = KindOf(exchanges, e.number);
    if (!seen[kind]) firsts.push_back(e.number);
    seen[kind] = true;
  }
  int cases = 0;
  for (const char* fault : {"--hang-from ", "--destroy-at "}) {
    bool hang = fault[2] == 'h';
    for (int n : firsts) {
      FaultOutcome o = Run(fault + std::to_string(n));
      Kind kind = KindOf(exchanges, n);
      std::string what = std::string(fault) + std::to_string(n) + " (" + kindNames[kind] + ")";
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
      cases++;
    }
  }
  printf("simulator-gone sweep: %d cases\n", cases);
}

}  // namespace
