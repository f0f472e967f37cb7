// The simulator window: the window test, raising it, the clock in its title, the end title.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "clock.h"
#include "link/link.h"
#include "message_box.h"
#include "recording/recording.h"
#include "sim_server.h"

namespace {

class SimWindow : public ::testing::Test {
 protected:
  void Serve(int version) {
    sim::Options options;
    options.simVersion = version;
    ASSERT_TRUE(sim::Start(options));
    simVersion = uint32_t(version);
  }
  void TearDown() override {
    if (decoy) DestroyWindow(decoy);
    LinkClose();
    sim::Stop();
    simWindow = nullptr;
    simVersion = 0;
  }
  // A window with the simulator's title but another class, made after the simulator's so
  // that it comes first in the enumeration.
  void MakeDecoy(const char* title) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "OstavinDecoy";
    RegisterClassA(&windowClass);
    decoy = CreateWindowExA(0, "OstavinDecoy", title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 100,
                            100, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  }
  HWND decoy = nullptr;
};

TEST_F(SimWindow, RaiseFindsTheSimulatorByTitleAndClassAndSetsTheAddOnTitle) {
  const struct {
    int version;
    const char* addOn;
  } cases[] = {{8, "Microsoft Flight Simulator X - VRN505 Ostavin"},
               {7, "Microsoft Flight Simulator 2004 - VRN505 Ostavin"}};
  for (const auto& c : cases) {
    Serve(c.version);
    MakeDecoy(WindowText(sim::MainWindow()).c_str());
    simWindow = nullptr;
    RaiseSimWindow();
    EXPECT_EQ(simWindow.load(), sim::MainWindow()) << c.version;
    EXPECT_EQ(WindowText(sim::MainWindow()), c.addOn);
    EXPECT_EQ(IsSimWindow(decoy), 0);
    // The add-on title still holds the simulator's name: a later search finds it again.
    simWindow = nullptr;
    RaiseSimWindow();
    EXPECT_EQ(simWindow.load(), sim::MainWindow());
    DestroyWindow(decoy);
    decoy = nullptr;
  }
}

TEST_F(SimWindow, OtherVersionsNeverFindAWindowAndKeepTheEarlierOne) {
  Serve(8);
  HWND earlier = reinterpret_cast<HWND>(0x1234);
  simWindow = earlier;
  simVersion = 9;
  RaiseSimWindow();
  EXPECT_EQ(simWindow.load(), earlier);
  EXPECT_EQ(IsSimWindow(sim::MainWindow()), 0);
  simVersion = 7;  // an FSX window is not the 2004 simulator
  EXPECT_EQ(IsSimWindow(sim::MainWindow()), 0);
  EXPECT_EQ(WindowText(sim::MainWindow()), "Microsoft Flight Simulator X");
}

TEST_F(SimWindow, MinimisedWindowIsRestoredAndAVisibleOneKeepsItsSize) {
  Serve(8);
  HWND main = sim::MainWindow();
  ShowWindow(main, SW_SHOWNORMAL);
  RECT before, after;
  GetWindowRect(main, &before);
  RaiseSimWindow();
  GetWindowRect(main, &after);
  EXPECT_TRUE(EqualRect(&before, &after));
  ShowWindow(main, SW_MINIMIZE);
  ASSERT_TRUE(IsIconic(main));
  RaiseSimWindow();
  EXPECT_FALSE(IsIconic(main));
}

TEST(FormatClock, MinutesAndSecondsOfTheTimeCode) {
  const struct {
    TimeCode timeCode;
    const char* text;
  } cases[] = {{2400, " [ 24:00 ]"},
               {5626, " [ 56:26 ]"},
               {4803, " [ 48:03 ]"},
               {123456, " [ 12:34 ]"},  // an odd code from a data file stays in 11 bytes
               {-2147483647 - 1, " [ -2:14 ]"},
               {7, " [ 7: ]"}};
  for (const auto& c : cases) {
    char text[32];
    memset(text, 'x', sizeof text);
    FormatClock(text, c.timeCode);
    EXPECT_STREQ(text, c.text) << c.timeCode;
    EXPECT_EQ(text[11], 'x') << c.timeCode;
  }
}

TEST_F(SimWindow, ClockTitleOfEachVersionOnceTheWindowIsFound) {
  const struct {
    int version;
    TimeCode timeCode;
    const char* title;
  } cases[] = {{7, 3932, "Microsoft Flight Simulator 2004 - VRN505 Ostavin [ 39:32 ]"},
               {8, 2400, "Microsoft Flight Simulator X - VRN505 Ostavin [ 24:00 ]"}};
  for (const auto& c : cases) {
    Serve(c.version);
    simWindow = nullptr;
    std::string before = WindowText(sim::MainWindow());
    timeCodes[5] = c.timeCode;
    ShowClockInTitle(5);  // before the window is found: nothing changes
    EXPECT_EQ(WindowText(sim::MainWindow()), before);
    RaiseSimWindow();
    ShowClockInTitle(5);
    EXPECT_EQ(WindowText(sim::MainWindow()), c.title);
    ShowClockInTitle(MaxRows);  // no such row: the title stays
    ShowClockInTitle(-1);
    EXPECT_EQ(WindowText(sim::MainWindow()), c.title);
  }
}

// The simulator's window thread can hang with FSUIPC; the replay thread's title update must
// not hang with it.
TEST_F(SimWindow, TitleOfAHungSimulatorWindowGivesUp) {
  Serve(8);
  LinkResult result;
  ASSERT_EQ(LinkOpen(0, &result), 1);
  RaiseSimWindow();
  sim::SetHang(true);
  std::thread stuck([] {
    int32_t value;
    ReadNow(0x0310, 4, &value);
  });
  Sleep(200);  // the window's thread is now inside the hung exchange
  timeCodes[0] = 2400;
  double start = PerformanceSeconds();
  ShowClockInTitle(0);
  double seconds = PerformanceSeconds() - start;
  sim::SetHang(false);
  stuck.join();
  EXPECT_LT(seconds, 3.0);  // the title write gives up after 1 s, not never
  linkFailed = 0;
}

struct EndCase {
  int version;
  bool found;
  const char* titleAfter;
};

TEST_F(SimWindow, EndProgramClosesTheLinkShowsTheNoticeAndGivesTheTitleBack) {
  const EndCase cases[] = {
      {7, true, "Microsoft Flight Simulator 2004 - A Century of Flight"},
      {8, true, "Microsoft Flight Simulator X"},
      {7, false, "Microsoft Flight Simulator 2004"},  // no replay ran: title left alone
  };
  for (const EndCase& c : cases) {
    Serve(c.version);
    LinkResult result;
    ASSERT_EQ(LinkOpen(0, &result), 1);
    simWindow = nullptr;
    if (c.found) {
      RaiseSimWindow();
      timeCodes[0] = 5626;
      ShowClockInTitle(0);
    }
    StartBoxWatch();
    EndProgram(GetModuleHandleA(nullptr));
    std::vector<SeenBox> boxes = StopBoxWatch();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "VRN505 Ostavin");
    EXPECT_EQ(boxes[0].text, "\x8f\x49\x97\xb9\x82\xb5\x82\xdc\x82\xb7");  // 終了します
    EXPECT_EQ(boxes[0].owner, nullptr);
    EXPECT_EQ(boxes[0].buttons.size(), 1u);
    EXPECT_EQ(requestBuffer, nullptr);
    EXPECT_EQ(WindowText(sim::MainWindow()), c.titleAfter);
  }
}

}  // namespace
