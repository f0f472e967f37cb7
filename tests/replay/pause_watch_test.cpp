// The pause watch against the in-process stand-in.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "clock.h"
#include "link/link.h"
#include "link/offsets.h"
#include "replay/replay.h"
#include "sim_server.h"
#include "wait.h"

namespace {

class PauseWatch : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim::Start(sim::Options{}));
    LinkResult result;
    ASSERT_EQ(LinkOpen(0, &result), 1);
    linkFailed = 0;
    stopRequested = 0;
    simPaused = 0;
  }
  void TearDown() override {
    LinkClose();
    sim::Stop();
    linkFailed = 0;
    stopRequested = 0;
  }
};

void PokeIndicators(uint16_t pause, uint8_t menu) {
  sim::Poke(OffsetPauseIndicator, &pause, 2);
  sim::Poke(OffsetMenuIndicator, &menu, 1);
}

// The watch on a thread of its own, with every wait on it bounded: a watch that never sees
// the pause, or never returns, fails the test instead of hanging it.
class Watch {
 public:
  Watch()
      : thread([this] {
          WaitWhilePaused();
          done = true;
        }) {}
  ~Watch() {
    stopRequested = 1;  // a watch still polling after a failed check ends at its next poll
    thread.join();
  }
  bool SeesPause() {
    return WaitFor([] { return simPaused != 0; }, 5000, 5);
  }
  bool Returns(DWORD timeoutMs) {
    return WaitFor([this] { return done.load(); }, timeoutMs, 2);
  }
  std::atomic<bool> done{false};

 private:
  std::thread thread;
};

TEST_F(PauseWatch, RunningSimulatorCostsTheWatchOneExchange) {
  simPaused = 1;
  int before = sim::ExchangeCount();
  WaitWhilePaused();
  EXPECT_EQ(sim::ExchangeCount() - before, 1);
  EXPECT_EQ(simPaused, 0);
}

// While held, the watch polls on and does not return; once both indicators clear it returns
// within a poll or two.
TEST_F(PauseWatch, WatchWaitsOutAPauseAndAMenu) {
  const struct {
    uint16_t pause;
    uint8_t menu;
  } holds[] = {{1, 0}, {0, 1}, {1, 1}};
  for (const auto& hold : holds) {
    PokeIndicators(hold.pause, hold.menu);
    simPaused = 0;
    stopRequested = 0;  // the last hold's watch was stopped
    Watch watch;
    ASSERT_TRUE(watch.SeesPause()) << hold.pause << hold.menu;
    int polled = sim::ExchangeCount();
    ASSERT_TRUE(WaitFor([&] { return sim::ExchangeCount() >= polled + 3; }, 2000, 5))
        << "the watch stopped polling while held";
    EXPECT_FALSE(watch.done) << "returned while the simulator was held";
    PokeIndicators(0, 0);
    EXPECT_TRUE(watch.Returns(500)) << "one 40 ms poll, three times over, and then some";
    EXPECT_EQ(simPaused, 0);
    EXPECT_EQ(linkFailed, 0);
  }
}

TEST_F(PauseWatch, StopWhilePausedReturnsAfterOnePollWithTheFlagStillSet) {
  PokeIndicators(1, 0);
  Watch watch;
  ASSERT_TRUE(watch.SeesPause());
  // One poll as this machine serves it now: a 40 ms sleep and an exchange, timed.
  double poll = PerformanceSeconds();
  Sleep(PausePollMs);
  double pollSeconds = PerformanceSeconds() - poll + 0.01;
  double stop = PerformanceSeconds();
  stopRequested = 1;
  ASSERT_TRUE(watch.Returns(1000));
  EXPECT_LT(PerformanceSeconds() - stop, 3 * pollSeconds);  // one poll, three times over
  EXPECT_EQ(simPaused, 1);
  EXPECT_EQ(linkFailed, 0);
}

TEST_F(PauseWatch, LinkLostWhilePausedSetsLinkFailed) {
  PokeIndicators(1, 0);
  Watch watch;
  ASSERT_TRUE(watch.SeesPause());
  sim::SetReply(0);
  ASSERT_TRUE(watch.Returns(1000)) << "the watch polled on after a failed poll";
  EXPECT_EQ(linkFailed, 1);
  EXPECT_EQ(simPaused, 1);
}

}  // namespace
