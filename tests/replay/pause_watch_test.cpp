// The pause watch against the in-process stand-in.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

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

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

TEST_F(PauseWatch, RunningSimulatorCostsTheWatchOneExchange) {
  simPaused = 1;
  int before = sim::ExchangeCount();
  WaitWhilePaused();
  EXPECT_EQ(sim::ExchangeCount() - before, 1);
  EXPECT_EQ(simPaused, 0);
}

TEST_F(PauseWatch, WatchWaitsOutAPauseAndAMenu) {
  const struct {
    uint16_t pause;
    uint8_t menu;
  } holds[] = {{1, 0}, {0, 1}, {1, 1}};
  for (const auto& hold : holds) {
    PokeIndicators(hold.pause, hold.menu);
    auto start = std::chrono::steady_clock::now();
    std::thread watch(WaitWhilePaused);
    WaitFor([] { return simPaused != 0; }, 5000, 5);
    EXPECT_EQ(simPaused, 1);
    Sleep(200);
    PokeIndicators(0, 0);
    watch.join();
    EXPECT_GE(Seconds(start), 0.2);
    EXPECT_EQ(simPaused, 0);
    EXPECT_EQ(linkFailed, 0);
  }
}

TEST_F(PauseWatch, StopWhilePausedReturnsAfterOnePollWithTheFlagStillSet) {
  PokeIndicators(1, 0);
  std::thread watch(WaitWhilePaused);
  while (simPaused == 0) Sleep(5);
  auto stop = std::chrono::steady_clock::now();
  stopRequested = 1;
  watch.join();
  EXPECT_LT(Seconds(stop), 0.15);  // one 40 ms poll and an exchange, three times over
  EXPECT_EQ(simPaused, 1);
  EXPECT_EQ(linkFailed, 0);
}

TEST_F(PauseWatch, LinkLostWhilePausedSetsLinkFailed) {
  PokeIndicators(1, 0);
  std::thread watch(WaitWhilePaused);
  while (simPaused == 0) Sleep(5);
  sim::SetReply(0);
  watch.join();
  EXPECT_EQ(linkFailed, 1);
  EXPECT_EQ(simPaused, 1);
}

}  // namespace
