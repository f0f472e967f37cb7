// The simulator stand-in's own behaviour, in-process and as its own program, seen through the
// link client as the replay sees it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <thread>
#include <vector>

#include "clock.h"
#include "control.h"
#include "link/link.h"
#include "link/offsets.h"
#include "message_box.h"
#include "process.h"
#include "sim_server.h"
#include "temp_dir.h"
#include "wait.h"

namespace {

template <typename T>
T Read(uint32_t offset) {
  T value{};
  EXPECT_EQ(ReadNow(offset, sizeof value, &value), 0) << std::hex << offset;
  return value;
}

template <typename T>
void Write(uint32_t offset, T value) {
  EXPECT_EQ(WriteNow(offset, sizeof value, &value), 0) << std::hex << offset;
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

class Simulator : public ::testing::Test {
 protected:
  void TearDown() override {
    LinkClose();
    sim::Stop();
    linkFailed = 0;
  }
  void Serve(sim::Options options = {}) {
    ASSERT_TRUE(sim::Start(options));
    LinkResult result = 99;
    ASSERT_EQ(LinkOpen(0, &result), 1) << linkResultMessages[result];
  }
  // Simulator seconds per real second over a short stretch, as the client reads the clock.
  double MeasuredRate() {
    double clock0 = Read<double>(OffsetClock), real0 = PerformanceSeconds();
    Sleep(150);
    return (Read<double>(OffsetClock) - clock0) / (PerformanceSeconds() - real0);
  }
};

TEST_F(Simulator, ClockRunsAtItsRateAndStandsStillWhilePausedOrStopped) {
  sim::Options options;
  options.clockRate = 20;
  Serve(options);
  EXPECT_NEAR(MeasuredRate(), 20, 2);
  sim::SetPaused(true);
  EXPECT_EQ(MeasuredRate(), 0);
  sim::SetPaused(false);
  sim::SetClockRate(5);
  EXPECT_NEAR(MeasuredRate(), 5, 0.5);
  sim::SetClockRate(-3);  // no clock runs backwards: a bad rate stops it
  EXPECT_EQ(MeasuredRate(), 0);
}

// Started paused, resumed and paused again by the client's writes.
TEST_F(Simulator, PauseShowsAtTheIndicatorAndHoldsTheClock) {
  sim::Options options;
  options.startPaused = true;
  Serve(options);
  EXPECT_EQ(Read<uint16_t>(OffsetPauseIndicator), 1);
  EXPECT_EQ(MeasuredRate(), 0);
  Write<uint16_t>(OffsetPause, 0);
  EXPECT_EQ(Read<uint16_t>(OffsetPauseIndicator), 0);
  EXPECT_GT(MeasuredRate(), 0.5);
  Write<uint16_t>(OffsetPause, 1);
  EXPECT_TRUE(sim::Paused());
  EXPECT_EQ(Read<uint16_t>(OffsetPauseIndicator), 1);
  EXPECT_EQ(MeasuredRate(), 0);
  sim::SetMenu(true);
  EXPECT_EQ(Read<uint8_t>(OffsetMenuIndicator), 1);
}

TEST_F(Simulator, ClientWritesCannotChangeTheServersOwnWords) {
  Serve();
  Write<uint16_t>(OffsetPause, 1);
  uint8_t junk[16];
  memset(junk, 0x5A, sizeof junk);
  for (uint32_t offset : {OffsetFsuipcVersion, OffsetPauseIndicator, OffsetAirspeed})
    EXPECT_EQ(WriteNow(offset, 8, junk), 0);
  EXPECT_EQ(Read<uint32_t>(OffsetFsuipcVersion), 0x19980005u + 0x10000);
  EXPECT_EQ(Read<uint32_t>(OffsetSimVersion), 0xFADE0008u);
  EXPECT_EQ(Read<uint16_t>(OffsetPauseIndicator), 1);
  EXPECT_EQ(Read<int32_t>(OffsetAirspeed), 310 * 128);  // half throttles, clock held
}

struct ThrottleCase {
  double lever[4];
  double knots;
};

TEST_F(Simulator, AirspeedFollowsTheMeanOfTheThrottlesWithALag) {
  sim::Options options;
  options.clockRate = 200;  // the 4 s lag passes in 20 ms
  Serve(options);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const ThrottleCase cases[] = {
      {{1, 1, 1, 1}, 500}, {{0, 0, 0, 0}, 120}, {{1, 0, 1, 0}, 310}, {{2, 2, -1, nan}, 310}};
  for (const ThrottleCase& c : cases) {
    sim::SetPaused(true);
    int32_t before = Read<int32_t>(OffsetAirspeed);
    for (int n = 0; n < 4; n++) Write<double>(OffsetThrottle1 + ThrottleStride * n, c.lever[n]);
    EXPECT_EQ(Read<int32_t>(OffsetAirspeed), before) << "no change while the clock stands";
    sim::SetPaused(false);
    EXPECT_TRUE(WaitFor(
        [&] { return std::fabs(Read<int32_t>(OffsetAirspeed) / 128.0 - c.knots) < 1; }, 2000))
        << c.knots << " kt, reached " << Read<int32_t>(OffsetAirspeed) / 128.0;
  }
}

TEST_F(Simulator, AirspeedChangesGraduallyUnlessATestSetsIt) {
  Serve();  // steady at the starting throttles' 310 kt
  for (int n = 0; n < 4; n++) Write<double>(OffsetThrottle1 + ThrottleStride * n, 1.0);
  Sleep(100);  // 0.1 simulator s of a 4 s lag: about 2.5% of the way to 500 kt
  double knots = Read<int32_t>(OffsetAirspeed) / 128.0;
  EXPECT_GT(knots, 310.5);
  EXPECT_LT(knots, 330);
  int32_t set = 200 * 128 - 6;
  sim::Poke(OffsetAirspeed, &set, 4);
  Sleep(50);
  EXPECT_EQ(Read<int32_t>(OffsetAirspeed), set);
}

TEST_F(Simulator, LogAndRecordsHoldEveryWriteWithItsMeaning) {
  std::string folder = MakeTempDir();
  sim::Options options;
  options.logPath = folder + "\\sim.log";
  options.clockRate = 100;
  Serve(options);
  sim::ClearRecords();
  Write<uint32_t>(OffsetHeading, 0x40000000);  // a quarter turn
  Write<int32_t>(OffsetGear, GearDown);
  char caption[CaptionTextSize] = "\x8e\x9a\x96\x8b\\ok";  // "字幕\ok" in Shift-JIS
  EXPECT_EQ(WriteNow(OffsetCaptionText, CaptionTextSize, caption), 0);
  Write<int16_t>(OffsetCaptionTime, 3);
  EXPECT_EQ(sim::CaptionOnShow(), std::string(caption));
  std::string log = ReadWholeFile(options.logPath);  // while the server still runs
  for (const char* expected :
       {"\"op\":\"write\",\"offset\":\"0x0580\",\"size\":4,\"bytes\":\"00000040\"",
        "\"meaning\":\"heading 90.00 deg\"", "\"meaning\":\"gear down\"",
        "\"meaning\":\"caption text 字幕\\\\ok\"", "\"meaning\":\"caption for 3 s\"",
        "\"op\":\"caption\",\"meaning\":\"字幕\\\\ok for 3 s\"",
        "\"op\":\"exchange\",\"records\":1,\"reply\":1"})
    EXPECT_NE(log.find(expected), std::string::npos) << expected << "\n" << log;
  std::vector<sim::Record> records = sim::Records();
  ASSERT_EQ(records.size(), 4u);
  EXPECT_TRUE(records[0].write);
  EXPECT_EQ(records[0].offset, OffsetHeading);
  EXPECT_EQ(records[0].bytes, (std::vector<uint8_t>{0, 0, 0, 0x40}));
  EXPECT_EQ(records[3].offset, OffsetCaptionTime);
  EXPECT_TRUE(WaitFor([] { return sim::CaptionOnShow().empty(); }, 2000)) << "3 s at x100";
  sim::Stop();
  RemoveTree(folder);
}

TEST_F(Simulator, CaptionWithoutTerminatorStopsAtTheEndOfItsField) {
  Serve();
  std::vector<char> text(CaptionTextSize + 8, 'A');  // the bytes after 0x3380 + 128 too
  EXPECT_EQ(WriteNow(OffsetCaptionText, uint32_t(text.size()), text.data()), 0);
  Write<int16_t>(OffsetCaptionTime, -1);  // until replaced
  EXPECT_EQ(sim::CaptionOnShow(), std::string(CaptionTextSize, 'A'));
}

TEST_F(Simulator, FrameBoundPumpAnswersOncePerFrame) {
  double took[2];
  for (int mode = 0; mode < 2; mode++) {
    sim::Options options;
    options.frameRate = mode ? 20 : 0;
    Serve(options);
    double start = PerformanceSeconds();
    for (int i = 0; i < 6; i++) Read<double>(OffsetClock);
    took[mode] = PerformanceSeconds() - start;
    std::vector<sim::Record> records = sim::Records();
    for (size_t i = 1; mode && i < records.size(); i++)  // each exchange in a frame of its own
      if (records[i].exchange != records[i - 1].exchange) {
        EXPECT_GT(records[i].frame, records[i - 1].frame);
      }
    LinkClose();
    sim::Stop();
  }
  // At most one answer per 50 ms frame: six answers span at least five frame gaps, 0.25 s,
  // which the frame timer's jitter can shave by a fraction of a millisecond. More than four
  // frames holds whatever that jitter, and still fails a pump that answers twice a frame.
  EXPECT_GT(took[1], 0.20);
  EXPECT_LT(took[1], 1.0);
  EXPECT_LT(took[0], took[1] / 3);
}

// A fault at the first exchange that writes to an offset, however many exchanges came before.
TEST_F(Simulator, FailWriteStrikesTheFirstExchangeWritingThere) {
  sim::Options options;
  options.faults.failWrite = OffsetCaptionTime;
  Serve(options);
  const int16_t seconds = 1;
  double clock = 0;
  const struct {
    uint32_t offset;  // written, or the clock read
    LinkResult result;
  } exchanges[] = {{OffsetClock, LinkOkay},
                   {OffsetElevatorTrim, LinkOkay},
                   {OffsetCaptionTime, LinkBadReply},
                   {OffsetCaptionTime, LinkOkay}};
  for (const auto& e : exchanges) {
    LinkResult result = 99;
    if (e.offset == OffsetClock)
      LinkRead(OffsetClock, 8, &clock, &result) && LinkProcess(&result);
    else
      LinkWrite(e.offset, 2, &seconds, &result) && LinkProcess(&result);
    EXPECT_EQ(result, e.result) << std::hex << e.offset;
  }
}

// ---- The stand-in as its own program ------------------------------------------------------

class Program : public ::testing::Test {
 protected:
  Process process;
  std::string folder = MakeTempDir();

  void TearDown() override {
    LinkClose();
    KillProcess(process);
    CloseProcess(&process);
    RemoveTree(folder);
    linkFailed = linkUnanswered = 0;  // a stand-in that died leaves the link given up
  }
  // Starts the build's simulator.exe.
  void Launch(const std::string& arguments) {
    ASSERT_TRUE(StartProcess(OSTAVIN_SIMULATOR, arguments, "", &process, CREATE_NO_WINDOW));
  }
  void Run(const std::string& arguments) {
    ASSERT_NO_FATAL_FAILURE(Launch(arguments));
    ASSERT_TRUE(WaitFor(
        [] { return FindWindowExA(nullptr, nullptr, "UIPCMAIN", nullptr) != nullptr; }, 20000));
  }
  LRESULT Control(WPARAM command, LPARAM argument = 0) {
    HWND control = FindWindowExA(nullptr, nullptr, ControlClassName, nullptr);
    DWORD_PTR reply = 0;
    SendMessageTimeoutA(control, RegisterWindowMessageA(ControlMessageName), command, argument,
                        SMTO_BLOCK, 5000, &reply);
    return reply;
  }
  DWORD ExitCode() {
    DWORD code = 0;
    EXPECT_TRUE(WaitProcessExit(process, 10000, &code));
    return code;
  }
};

// Its log and its exchange count: the fault options' test.
TEST_F(Program, RunsHeadlessServesTheLinkAndObeysControl) {
  Run("--headless --sim 7");
  LinkResult result = 99;
  ASSERT_EQ(LinkOpen(0, &result), 1) << linkResultMessages[result];
  EXPECT_EQ(simVersion, 7u);
  EXPECT_EQ(WindowText(FindWindowExA(nullptr, nullptr, "FS98MAIN", nullptr)),
            "Microsoft Flight Simulator 2004");
  EXPECT_EQ(Control(ControlPause), 1);
  EXPECT_EQ(Read<uint16_t>(OffsetPauseIndicator), 1);
  EXPECT_EQ(Control(ControlMenuOpen), 1);
  EXPECT_EQ(Read<uint8_t>(OffsetMenuIndicator), 1);
  EXPECT_EQ(Control(ControlExit), 1);
  EXPECT_EQ(ExitCode(), 0u);
}

TEST_F(Program, DiesAbruptlyAfterTheGivenExchanges) {
  Run("--headless --die-after 2");
  LinkResult result = 99;
  ASSERT_EQ(LinkOpen(0, &result), 1) << linkResultMessages[result];
  double clock = 0;
  EXPECT_EQ(ReadNow(OffsetClock, 8, &clock), 0);
  EXPECT_EQ(ReadNow(OffsetClock, 8, &clock), 1);
  EXPECT_EQ(linkFailed, 1);
  EXPECT_EQ(ExitCode(), 0xDEADu);
}

// The fault options, each at exchange 3 (the handshake is 1): exchange 2 is served, exchange 3
// is not answered with 1 and the log names the fault on a line of the exchange it names, and
// what follows is as the fault says.
TEST_F(Program, FaultOptionsStrikeTheirExchange) {
  const struct {
    const char* option;
    const char* event;
    int counted;      // exchanges the stand-in counts once exchange 3 has arrived
    LinkResult next;  // what exchange 4 gives; 99: not tried (it would hang too)
  } cases[] = {{"--fail-exchange 3", "fail", 3, LinkOkay},
               {"--hang-from 3", "hang", 2, 99},
               {"--destroy-at 3", "destroyed", 3, LinkSendFailed}};  // no window: the send fails
  for (const auto& c : cases) {
    std::string log = folder + "\\sim.log";
    Run("--headless --log \"" + log + "\" " + c.option);
    LinkResult result = 99;
    ASSERT_EQ(LinkOpen(0, &result), 1) << linkResultMessages[result];
    double clock = 0;
    EXPECT_EQ(ReadNow(OffsetClock, 8, &clock), 0) << c.option;
    std::thread third([&] { LinkRead(OffsetClock, 8, &clock, &result) && LinkProcess(&result); });
    std::string line = "{\"exchange\":" + std::to_string(c.counted) + ",";
    auto logged = [&] {
      std::string text = ReadWholeFile(log);
      size_t at = text.find(std::string("\"op\":\"") + c.event + "\"");
      if (at == std::string::npos) return false;
      size_t start = text.rfind('\n', at);
      return text.compare(start == std::string::npos ? 0 : start + 1, line.size(), line) == 0;
    };
    EXPECT_TRUE(WaitFor(logged, 10000)) << c.option;
    EXPECT_EQ(Control(ControlUnhang), 1);  // the stuck exchange gets 0 from the released server
    third.join();
    EXPECT_EQ(result, LinkBadReply) << c.option << ": a reply other than 1";
    EXPECT_EQ(Control(ControlExchanges), c.counted) << c.option;
    if (c.next != 99) {
      LinkRead(OffsetClock, 8, &clock, &result) && LinkProcess(&result);
      EXPECT_EQ(result, c.next) << c.option;
    }
    EXPECT_EQ(Control(ControlExit), 1);
    EXPECT_EQ(ExitCode(), 0u) << c.option;
    LinkClose();
    CloseProcess(&process);
  }
}

// The launches run side by side: a bad option ends the program before it makes a window.
TEST_F(Program, RefusesABadOption) {
  const char* const arguments[] = {"--sim 9",           "--rate fast",   "--frames",
                                   "--bogus 1",         "--hang-from 0", "--frame-jitter 100",
                                   "--fail-write 10000"};
  std::vector<Process> launched;
  for (const char* bad : arguments) {
    ASSERT_NO_FATAL_FAILURE(Launch(bad));
    launched.push_back(process);
  }
  for (size_t i = 0; i < launched.size(); i++) {
    process = launched[i];
    EXPECT_EQ(ExitCode(), 2u) << arguments[i];
    CloseProcess(&process);
  }
  EXPECT_EQ(FindWindowExA(nullptr, nullptr, "UIPCMAIN", nullptr), nullptr);
}

}  // namespace
