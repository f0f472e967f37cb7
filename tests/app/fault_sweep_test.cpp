// The real program beside a stand-in that fails one exchange of each kind along the program's
// path: the handshake, Start's placement, the replay thread's start, a frame, the end and the
// exit writes; and a simulator that loses its server window where the link box shows. For each,
// what the user and the simulator see.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "exchange_kinds.h"
#include "fault_run.h"
#include "link/link.h"
#include "link/offsets.h"
#include "temp_dir.h"

namespace {

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

void ExpectReplyFailure(const FaultOutcome& o, int n) {
  std::vector<LoggedExchange> exchanges = Exchanges(o.log);
  Kind kind = KindOf(exchanges, n);
  std::string what = "exchange " + std::to_string(n) + " (" + kindNames[kind] + ")";
  ExpectOrderlyEnd(o, what, 3000);
  EXPECT_EQ(o.title, "Microsoft Flight Simulator X") << what;
  bool box = kind == Handshake || kind == Placement;
  EXPECT_EQ(o.boxes.size(), box ? 1u : 0u) << what;
  if (box && o.boxes.size() == 1) {
    EXPECT_EQ(o.boxes[0].caption, LinkCaption) << what;
    EXPECT_EQ(o.boxes[0].text, linkResultMessages[LinkBadReply]) << what;
  }
  EXPECT_EQ(o.dialog, kind != Handshake) << what;
  ExpectWhatFollows(kind, After(exchanges, n), TitleExchange(o.log, "56:26") > 0, what);
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
    ExpectReplyFailure(o, failed);
  }
}

// A simulator whose server window goes where the program shows the link box: at the
// handshake and at the placement. A simulator that stops answering there gives the same box
// after the link's nine tries (link_test); during the replay (silence, and Exit answered at
// once) the fault table (tools/faults) meets both.
TEST_F(Sweep, SimulatorGoneWhereTheLinkBoxShows) {
  FaultOutcome clean = Run("");
  std::vector<LoggedExchange> exchanges = Exchanges(clean.log);
  ASSERT_FALSE(exchanges.empty());
  std::vector<int> firstOf(KindCount, 0);
  for (const LoggedExchange& e : exchanges) {
    Kind kind = KindOf(exchanges, e.number);
    if (!firstOf[kind]) firstOf[kind] = e.number;
  }
  for (Kind kind : {Handshake, Placement}) {
    int n = firstOf[kind];
    ASSERT_GT(n, 0) << kindNames[kind];
    FaultOutcome o = Run("--destroy-at " + std::to_string(n));
    std::string what = "--destroy-at " + std::to_string(n) + " (" + kindNames[kind] + ")";
    ExpectOrderlyEnd(o, what, 3000);
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
      EXPECT_TRUE(text == linkResultMessages[LinkSendFailed] ||
                  text == linkResultMessages[LinkBadReply])
          << what << ": " << text;
    }
    for (const LoggedExchange& e : Exchanges(o.log)) EXPECT_LT(e.number, n) << what;
    EXPECT_EQ(o.title, "Microsoft Flight Simulator X") << what;
  }
}

}  // namespace
