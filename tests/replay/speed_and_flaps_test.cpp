// Speed hold and flap setting against the in-process stand-in.
#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <vector>

#include "link/link.h"
#include "link/offsets.h"
#include "replay/replay.h"
#include "sim_server.h"

namespace {

struct Written {
  uint32_t offset;
  std::vector<uint8_t> bytes;
};

std::mutex writtenLock;
std::vector<Written> written;

class SpeedAndFlaps : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::Options options;
    options.clockRate = 0;  // a standing clock keeps the poked airspeed where it is
    ASSERT_TRUE(sim::Start(options));
    LinkResult result;
    ASSERT_EQ(LinkOpen(0, &result), 1);
    written.clear();
    sim::SetWriteHook([](uint32_t offset, uint32_t size, const uint8_t* bytes) {
      std::lock_guard<std::mutex> guard(writtenLock);
      written.push_back({offset, std::vector<uint8_t>(bytes, bytes + size)});
    });
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
  static std::vector<Written> Writes() {
    std::lock_guard<std::mutex> guard(writtenLock);
    return written;
  }
};

uint32_t Throttle(int n) { return OffsetThrottle1 + ThrottleStride * n; }

struct HoldCase {
  const char* what;
  int32_t airspeed;
  double before[4];
  double after[4];
};

TEST_F(SpeedAndFlaps, SpeedHoldBandLimitsAndWriteBack) {
  const double target = 25600;  // 200 knots
  const HoldCase cases[] = {
      {"exactly target - 5", 25595, {0.5, 0.995, 0.005, 1.0}, {0.5, 0.995, 0.005, 1.0}},
      {"exactly the target", 25600, {0.5, 0.995, 0.005, 1.0}, {0.5, 0.995, 0.005, 1.0}},
      {"target - 6: up, capped", 25594, {0.5, 0.995, 0.005, 1.0}, {0.508, 0.999, 0.013, 0.999}},
      {"target + 1: down, floored", 25601, {0.5, 0.995, 0.005, 1.0}, {0.49, 0.985, 0.001, 0.99}},
  };
  for (const HoldCase& c : cases) {
    sim::Poke(OffsetAirspeed, &c.airspeed, 4);
    for (int n = 0; n < 4; n++) sim::Poke(Throttle(n), &c.before[n], 8);
    written.clear();
    LinkRecords frame = {}, next = {};
    SpeedHoldReadings readings;
    SpeedHoldReads(&frame, &readings);
    LinkResult result;
    ASSERT_EQ(LinkExchange(&frame, &result), 1);
    SpeedHoldWrites(&next, &readings, target);
    ASSERT_EQ(LinkExchange(&next, &result), 1);
    std::vector<Written> writes = Writes();
    ASSERT_EQ(writes.size(), 4u) << c.what;
    for (int n = 0; n < 4; n++) {
      EXPECT_EQ(writes[n].offset, Throttle(n)) << c.what;
      double value;
      sim::Peek(Throttle(n), &value, 8);
      EXPECT_NEAR(value, c.after[n], 1e-12) << c.what << " throttle " << n + 1;
    }
  }
  EXPECT_EQ(linkFailed, 0);
}

struct FlapCase {
  int32_t detents;
  int16_t step;
  int32_t lever;
};

TEST_F(SpeedAndFlaps, StepFlapsRetractsThenSetsTheDetent) {
  const FlapCase cases[] = {{0, 2047, 0},     {6, 2047, 12282},
                            {6, 4095, 16383}, {8, 2047, 16376},
                            {9, 2047, 16383}, {-3, 2047, 0},
                            {2, -100, -200},  {1000000, -32768, int32_t(-32768000000LL)}};
  for (const FlapCase& c : cases) {
    sim::Poke(OffsetFlapStep, &c.step, 2);
    written.clear();
    EXPECT_EQ(StepFlaps(c.detents), 0);
    std::vector<Written> writes = Writes();
    ASSERT_EQ(writes.size(), 2u) << c.detents;
    int32_t first, second;
    memcpy(&first, writes[0].bytes.data(), 4);
    memcpy(&second, writes[1].bytes.data(), 4);
    EXPECT_EQ(writes[0].offset, OffsetFlapsLever);
    EXPECT_EQ(writes[1].offset, OffsetFlapsLever);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, c.lever) << c.detents << " x " << c.step;
  }
}

}  // namespace
