// The replay thread against the in-process stand-in. The stand-in's served blocks are read
// back through its after-serve hook, which also answers every clock read from a script of
// the test's own: a deterministic simulator clock, stepped per reading.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <mutex>
#include <vector>

#include "link/link.h"
#include "link/offsets.h"
#include "replay/replay.h"
#include "sim_server.h"

namespace {

struct Served {
  int exchange;
  bool write;
  uint32_t offset;
  std::vector<uint8_t> bytes;  // written bytes, or the bytes a read was answered with
};

std::mutex logLock;
std::vector<Served> served;
int exchanges;
double simClock;
// Seconds the clock runs before the given (zero-based) reading; set before the flight.
std::function<double(int reading)> clockStep;
int clockReadings;

uint32_t Word(const uint8_t* at) {
  uint32_t value;
  memcpy(&value, at, 4);
  return value;
}

void AfterServe(uint8_t* block, uint32_t size) {
  std::lock_guard<std::mutex> guard(logLock);
  exchanges++;
  for (uint32_t at = 0; at + 4 <= size && Word(block + at) != 0;) {
    bool write = Word(block + at) == 2;
    uint32_t header = write ? 12 : 16;
    uint32_t offset = Word(block + at + 4), length = Word(block + at + 8);
    uint8_t* data = block + at + header;
    if (!write && offset == OffsetClock && length == 8) {
      simClock += clockStep(clockReadings++);
      memcpy(data, &simClock, 8);
    }
    served.push_back({exchanges, write, offset, std::vector<uint8_t>(data, data + length)});
    at += header + length;
  }
}

int64_t Value(const Served& s) {
  int64_t value = 0;
  memcpy(&value, s.bytes.data(), s.bytes.size() < 8 ? s.bytes.size() : 8);
  if (s.bytes.size() == 2) return int16_t(value);
  if (s.bytes.size() == 4) return int32_t(value);
  return value;
}

double ClockOf(const Served& s) {
  double value;
  memcpy(&value, s.bytes.data(), 8);
  return value;
}

const int Row5500 = 3300 - 1440;
const int Row5626 = 3386 - 1440;
const double Turn = 4294967296.0;

// A smooth recording: every channel changes from row to row, none crosses north.
void FillTables(int rows) {
  for (int r = 0; r < MaxRows; r++) {
    bool loaded = r < rows;
    timeCodes[r] = SecondsToTimeCode(1440 + r);
    double garbage = 1e300;  // any read past the load shows up in the flown values
    headingTable[r] = loaded ? Turn * (0.1 + 0.0002 * r + 0.01 * std::sin(r * 0.7)) : garbage;
    pitchTable[r] = loaded ? 1e8 * std::sin(r * 0.3) : garbage;
    rollTable[r] = loaded ? -3e8 * std::cos(r * 0.2) : garbage;
    aileronTable[r] = loaded ? 9000 * std::sin(r * 1.1) : garbage;
    elevatorTable[r] = loaded ? -7000 * std::cos(r * 0.9) : garbage;
    altitudeTable[r] = loaded ? (3000.0 - r) * 4294967296.0 : garbage;
    latitudeTable[r] = loaded ? 1.6e16 + 1e11 * r * r : garbage;
    longitudeTable[r] = loaded ? -2.6e18 + 3e13 * r : garbage;
    speedTable[r] = 25600;
  }
  loadedRows = rows;
}

class Replay : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim::Start(sim::Options{}));
    LinkResult result;
    ASSERT_EQ(LinkOpen(0, &result), 1);
    int16_t step = 2047;
    sim::Poke(OffsetFlapStep, &step, 2);
    {
      std::lock_guard<std::mutex> guard(logLock);
      served.clear();
      exchanges = 0;
      simClock = 1000.0;
      clockReadings = 0;
      clockStep = [](int) { return 0.25; };
    }
    sim::SetAfterServe(AfterServe);
    simWindow = nullptr;
    showText = 0;
    followLatLon = 1;
    stopRequested = 0;
    linkFailed = 0;
    simPaused = 0;
  }
  void TearDown() override {
    if (thread) {
      stopRequested = 1;
      WaitForSingleObject(thread, 30000);
      CloseHandle(thread);
    }
    sim::SetAfterServe(nullptr);
    LinkClose();
    sim::Stop();
    stopRequested = 0;
    linkFailed = 0;
    followLatLon = 1;
    showText = 1;
  }
  void Fly(int startRow) {
    currentRow = startRow;
    thread = CreateThread(nullptr, 0, ReplayThread, nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
  }
  // Waits for the thread to end; returns the seconds waited.
  double Land(double limitSeconds = 60) {
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForSingleObject(thread, DWORD(limitSeconds * 1000)), WAIT_OBJECT_0);
    CloseHandle(thread);
    thread = nullptr;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  static std::vector<Served> Log() {
    std::lock_guard<std::mutex> guard(logLock);
    return served;
  }
  static void WaitFor(std::function<bool()> condition) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!condition() && std::chrono::steady_clock::now() < deadline) Sleep(2);
    ASSERT_TRUE(condition());
  }
  static size_t FramesWritten() {
    size_t count = 0;
    for (const Served& s : Log()) count += s.write && s.offset == OffsetHeading;
    return count;
  }
  HANDLE thread = nullptr;
};

bool IsEvent(uint32_t offset) {
  return offset == OffsetElevatorTrim || offset == OffsetAutopilotMaster ||
         offset == OffsetGear || offset == OffsetFlapsLever || offset == OffsetPause;
}

struct Write {
  uint32_t offset;
  int64_t value;
  bool operator==(const Write& other) const {
    return offset == other.offset && value == other.value;
  }
};

std::vector<Write> EventWrites(const std::vector<Served>& log) {
  std::vector<Write> events;
  for (const Served& s : log)
    if (s.write && IsEvent(s.offset)) events.push_back({s.offset, Value(s)});
  return events;
}

// What the simulator should receive outside the frames for a flight of rows first..last.
std::vector<Write> ExpectedEvents(int first, int last, bool pauseAtEnd) {
  TimeCode start = timeCodes[first];
  std::vector<Write> events = {{OffsetFlapsLever, 0},
                               {OffsetFlapsLever, 2047 * FlapDetents(start)},
                               {OffsetGear, start < 3932 ? 0 : 16383}};
  for (int r = first; r <= last; r++) {
    TimeCode tc = timeCodes[r];
    events.push_back({OffsetElevatorTrim, 0});
    if (tc >= 2439) events.push_back({OffsetAutopilotMaster, 0});
    if (tc >= 3932) events.push_back({OffsetGear, 16383});
    if (tc >= 5118) {
      events.push_back({OffsetFlapsLever, 0});
      events.push_back({OffsetFlapsLever, 2047 * FlapDetents(tc)});
    }
  }
  if (pauseAtEnd) events.push_back({OffsetPause, 1});
  return events;
}

// The last exchange blanks the caption for one second.
void ExpectExitWrites(const std::vector<Served>& log) {
  ASSERT_GE(log.size(), 2u);
  const Served& text = log[log.size() - 2];
  const Served& time = log.back();
  EXPECT_EQ(text.exchange, time.exchange);
  EXPECT_EQ(text.offset, OffsetCaptionText);
  ASSERT_EQ(text.bytes.size(), 128u);
  EXPECT_EQ(text.bytes[0], ' ');
  for (size_t i = 1; i < 128; i++) ASSERT_EQ(text.bytes[i], 0) << i;
  EXPECT_EQ(time.offset, OffsetCaptionTime);
  EXPECT_EQ(Value(time), 1);
}

TEST_F(Replay, FromTimeCode5500ToTheEndAt5626) {
  FillTables(MaxRows);
  Fly(Row5500);
  Land();
  std::vector<Served> log = Log();
  EXPECT_EQ(EventWrites(log), ExpectedEvents(Row5500, Row5626, true));
  ExpectExitWrites(log);
  EXPECT_EQ(currentRow, Row5626);
  EXPECT_EQ(linkFailed, 0);
}

TEST_F(Replay, ShortRecordingFromTimeCode2400EndsAfterItsLastRow) {
  const int rows = 45;  // time codes 2400 to 2444
  FillTables(rows);
  Fly(0);
  Land();
  std::vector<Served> log = Log();
  // Flaps up with two writes of 0 and the gear up; autopilot off from 2439 only; the gear
  // never commanded up again; the end as at 5626.
  EXPECT_EQ(EventWrites(log), ExpectedEvents(0, rows - 1, true));
  ExpectExitWrites(log);
  EXPECT_EQ(currentRow, rows - 1);
}

TEST_F(Replay, StartRowWithNoRecordedDataEndsAtOnce) {
  FillTables(10);
  Fly(10);
  Land();
  std::vector<Served> log = Log();
  EXPECT_EQ(EventWrites(log), (std::vector<Write>{{OffsetPause, 1}}));
  ExpectExitWrites(log);
}

// The replay's own interpolation, written out from the weight table.
double Interpolate(double t, const double* table, int row, int lastRow) {
  auto at = [&](int r) { return table[r < 0 ? 0 : r > lastRow ? lastRow : r]; };
  double t2 = t * t, t3 = t2 * t;
  return 0.5 * (2 * t2 - t3 - t) * at(row - 1) + 0.5 * (3 * t3 - 5 * t2 + 2) * at(row) +
         0.5 * (t + 4 * t2 - 3 * t3) * at(row + 1) + 0.5 * (t3 - t2) * at(row + 2);
}

struct Channel {
  uint32_t offset;
  const double* table;
  int bytes;
};

TEST_F(Replay, FlownValuesFollowTheRecording) {
  const int rows = 12;
  FillTables(rows);
  // Mostly 0.3 s per reading, with a jump of 5 s and a clock that goes back 0.4 s.
  clockStep = [](int reading) { return reading == 6 ? 5.0 : reading == 20 ? -0.4 : 0.3; };
  Fly(0);
  Land();
  const Channel channels[] = {{OffsetHeading, headingTable, 4}, {OffsetPitch, pitchTable, 4},
                              {OffsetBank, rollTable, 4},       {OffsetAileron, aileronTable, 2},
                              {OffsetElevator, elevatorTable, 2}, {OffsetAltitude, altitudeTable, 8},
                              {OffsetLongitude, longitudeTable, 8}, {OffsetLatitude, latitudeTable, 8}};
  int row = 0, checked = 0, negativeFrames = 0;
  double last = 0, t = 0;
  bool started = false;
  std::vector<int> framesPerRow(rows, 0);
  for (const Served& s : Log()) {
    if (!s.write && s.offset == OffsetClock) {
      double reading = ClockOf(s);
      if (started) t += reading - last;
      started = true;
      last = reading;
    } else if (s.write && s.offset == OffsetElevatorTrim) {
      row++;  // the row's events: the next row starts at 0
      t = 0;
    } else if (s.write) {
      for (const Channel& c : channels) {
        if (c.offset != s.offset) continue;
        int64_t expected = int64_t(Interpolate(t, c.table, row, rows - 1));
        int64_t mask = c.bytes == 8 ? -1 : (int64_t(1) << (8 * c.bytes)) - 1;
        ASSERT_EQ(Value(s) & mask, expected & mask) << "row " << row << " t " << t;
        checked++;
        if (c.offset == OffsetHeading) {
          framesPerRow[row]++;
          negativeFrames += t < 0;
        }
      }
    }
  }
  EXPECT_EQ(row, rows);
  EXPECT_GT(checked, 8 * 20);
  EXPECT_GT(negativeFrames, 0);
  // Row 0 ends after three frames; the 5 s jump ends row 1 after its first frame and row 2
  // begins afresh with its full three frames: one row advanced, the rest of the jump dropped.
  EXPECT_EQ(framesPerRow[0], 3);
  EXPECT_EQ(framesPerRow[1], 1);
  EXPECT_EQ(framesPerRow[2], 3);
}

TEST_F(Replay, WithoutLatLonFramesWriteSixChannels) {
  FillTables(4);
  followLatLon = 0;
  Fly(0);
  Land();
  size_t frames = 0;
  for (const Served& s : Log()) {
    EXPECT_FALSE(s.write && (s.offset == OffsetLatitude || s.offset == OffsetLongitude));
    frames += s.write && s.offset == OffsetHeading;
  }
  EXPECT_EQ(frames, 4u * 3);
}

TEST_F(Replay, StopInTheStartingPauseWatchEndsWithoutAPauseWrite) {
  FillTables(MaxRows);
  uint16_t paused = 1;
  sim::Poke(OffsetPauseIndicator, &paused, 2);
  Fly(Row5500);
  WaitFor([] { return simPaused == 1; });
  stopRequested = 1;
  EXPECT_LT(Land(), 0.2);
  std::vector<Served> log = Log();
  std::vector<Write> events = EventWrites(log);
  EXPECT_EQ(events.size(), 3u);  // flaps twice and the gear: no pause, no row events
  EXPECT_EQ(FramesWritten(), 0u);
  ExpectExitWrites(log);
}

TEST_F(Replay, StopDuringARowEndsThatRowWithThePause) {
  FillTables(MaxRows);
  clockStep = [](int) { return 1.0 / 128; };  // exact in binary: 127 frames per row
  Fly(Row5500);
  WaitFor([] { return FramesWritten() > 10; });
  stopRequested = 1;
  Land();
  std::vector<Served> log = Log();
  EXPECT_EQ(currentRow, Row5500);
  EXPECT_EQ(EventWrites(log), ExpectedEvents(Row5500, Row5500, true));
  EXPECT_EQ(FramesWritten(), 127u);  // the row was flown to its end
  ExpectExitWrites(log);
}

TEST_F(Replay, StopWhileTheSimulatorStaysPausedEndsPromptly) {
  FillTables(MaxRows);
  clockStep = [](int) { return 0.01; };
  Fly(Row5500);
  WaitFor([] { return FramesWritten() > 10; });
  uint16_t paused = 1;
  sim::Poke(OffsetPauseIndicator, &paused, 2);
  WaitFor([] { return simPaused == 1; });
  stopRequested = 1;
  double seconds = Land(5);
  printf("replay thread ended %.0f ms after a stop while paused\n", seconds * 1000);
  EXPECT_LT(seconds, 0.15);
  std::vector<Served> log = Log();
  EXPECT_EQ(EventWrites(log), ExpectedEvents(Row5500, Row5500, true));
  ExpectExitWrites(log);
  EXPECT_EQ(currentRow, Row5500);
}

TEST_F(Replay, DeadLinkEndsTheThreadWithinFourSeconds) {
  FillTables(MaxRows);
  clockStep = [](int) { return 0.001; };
  Fly(Row5500);
  WaitFor([] { return FramesWritten() > 5; });
  sim::DestroyServerWindow();
  double seconds = Land(60);
  printf("replay thread ended %.2f s after the server window went\n", seconds);
  EXPECT_LT(seconds, 4.0);
  EXPECT_EQ(linkFailed, 1);
  EXPECT_EQ(currentRow, Row5500);
}

TEST_F(Replay, LinkFailureWhileStartingEndsAtOnceWithoutExitWrites) {
  FillTables(MaxRows);
  sim::SetReply(0);
  int before = sim::ExchangeCount();
  Fly(Row5500);
  Land();
  EXPECT_EQ(linkFailed, 1);
  EXPECT_EQ(sim::ExchangeCount() - before, 3);  // the flap step read and the two flap writes
}

}  // namespace
