// The replay thread against the in-process stand-in. The stand-in's served blocks are read
// back through its after-serve hook, which also answers every clock read from a script of
// the test's own: a deterministic simulator clock, stepped per reading. Every flight writes
// the flight log, so that the records they pin are those of a program that logs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "bytes.h"
#include "clock.h"
#include "link/link.h"
#include "link/offsets.h"
#include "log/flight_log.h"
#include "recording/recording.h"
#include "replay/replay.h"
#include "request_block.h"
#include "sim_server.h"
#include "stand_in_figures.h"
#include "synthetic_recording.h"
#include "temp_dir.h"
#include "wait.h"

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
// Whether the simulator is to read as paused (1) or in a menu (2) in the exchange that
// carries the given (zero-based) clock reading; running when unset.
std::function<int(int reading)> pausedAt;

void AfterServe(uint8_t* block, uint32_t size) {
  std::lock_guard<std::mutex> guard(logLock);
  exchanges++;
  WalkRequestBlock(block, size, [](const BlockRecord& r) {
    bool write = r.type == RecordWrite;
    if (!write && pausedAt) {
      int paused = pausedAt(clockReadings);
      if (r.offset == OffsetPauseIndicator) StoreAs(r.data, uint16_t(paused == 1));
      if (r.offset == OffsetMenuIndicator) StoreAs(r.data, uint8_t(paused == 2));
    }
    if (!write && r.offset == OffsetClock && r.size == 8) {
      simClock += clockStep(clockReadings++);
      StoreAs(r.data, simClock);
    }
    served.push_back({exchanges, write, r.offset, std::vector<uint8_t>(r.data, r.data + r.size)});
  });
}

int64_t Value(const Served& s) {
  int64_t value = 0;
  memcpy(&value, s.bytes.data(), s.bytes.size() < 8 ? s.bytes.size() : 8);
  if (s.bytes.size() == 2) return int16_t(value);
  if (s.bytes.size() == 4) return int32_t(value);
  return value;
}

const int Row5500 = RowOfTimeCode(5500);
const int Row5626 = RowOfTimeCode(5626);

class Replay : public ::testing::Test {
 protected:
  void SetUp() override {
    logFolder = MakeTempDir();
    ASSERT_EQ(OpenFlightLogIn(logFolder.c_str()), 1);
    ASSERT_TRUE(sim::Start(standIn));
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
      pausedAt = nullptr;
    }
    if (scripted) sim::SetAfterServe(AfterServe);
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
    CloseFlightLog();
    RemoveTree(logFolder);
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
    double start = PerformanceSeconds();
    EXPECT_EQ(WaitForSingleObject(thread, DWORD(limitSeconds * 1000)), WAIT_OBJECT_0);
    CloseHandle(thread);
    thread = nullptr;
    return PerformanceSeconds() - start;
  }
  static std::vector<Served> Log() {
    std::lock_guard<std::mutex> guard(logLock);
    return served;
  }
  static void Await(const std::function<bool()>& condition) {
    ASSERT_TRUE(WaitFor(condition, 20000, 2));
  }
  static size_t FramesWritten() {
    size_t count = 0;
    for (const Served& s : Log()) count += s.write && s.offset == OffsetHeading;
    return count;
  }
  HANDLE thread = nullptr;
  std::string logFolder;
  sim::Options standIn;  // the stand-in of the next SetUp
  bool scripted = true;  // its clock and indicators answered from the test's script
};

bool IsEvent(uint32_t offset) {
  return offset == OffsetElevatorTrim || offset == OffsetAutopilotMaster || offset == OffsetGear ||
         offset == OffsetFlapsLever || offset == OffsetPause;
}

using Write = std::pair<uint32_t, int64_t>;  // an offset and the value written there

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

TEST_F(Replay, StartRowWithNoRecordedDataEndsAtOnce) {
  FillSyntheticRecording(10);
  Fly(10);
  Land();
  std::vector<Served> log = Log();
  EXPECT_EQ(EventWrites(log), (std::vector<Write>{{OffsetPause, 1}}));
  ExpectExitWrites(log);
}

TEST_F(Replay, StopInTheStartingPauseWatchEndsWithoutAPauseWrite) {
  FillSyntheticRecording(MaxRows);
  uint16_t paused = 1;
  sim::Poke(OffsetPauseIndicator, &paused, 2);
  Fly(Row5500);
  Await([] { return simPaused == 1; });
  stopRequested = 1;
  EXPECT_LT(Land(), 0.2);
  std::vector<Served> log = Log();
  // Flaps twice and the gear: no row events, no pause.
  EXPECT_EQ(EventWrites(log), ExpectedEvents(Row5500, Row5500 - 1, false));
  EXPECT_EQ(FramesWritten(), 0u);
  ExpectExitWrites(log);
}

struct ClockCase {
  const char* what;
  double (*step)(int reading);
  int rowsEnded;  // rows the clock ends before the stop
};

// A stop ends the row at the end of the frame it came in, with the pause, whatever the
// clock does: before that, a clock that stood or went back held the stop for ever.
TEST_F(Replay, StopEndsTheRowAtTheEndOfItsFrameWhateverTheClock) {
  const ClockCase cases[] = {
      {"running", [](int) { return 1.0 / 128; }, 0},
      {"standing", [](int) { return 0.0; }, 0},
      {"reset far back", [](int r) { return r == 5 ? -6.7e297 : 1.0 / 128; }, 0},
      {"garbage far ahead", [](int r) { return r == 5 ? 6.7e297 : 0.0; }, 1},
  };
  for (const ClockCase& c : cases) {
    TearDown();
    SetUp();
    FillSyntheticRecording(MaxRows);
    clockStep = c.step;
    Fly(Row5500);
    Await([] { return FramesWritten() > 10; });
    stopRequested = 1;
    EXPECT_LT(Land(5), 1.0) << c.what;
    std::vector<Served> log = Log();
    EXPECT_EQ(currentRow, Row5500 + c.rowsEnded) << c.what;
    EXPECT_EQ(EventWrites(log), ExpectedEvents(Row5500, Row5500 + c.rowsEnded, true)) << c.what;
    if (c.step(0) > 0) {
      EXPECT_LT(FramesWritten(), 127u) << c.what;  // not flown to its end
    }
    // The last frame's throttles still go out, first in the exchange of the row's end.
    auto trim = std::find_if(log.rbegin(), log.rend(), [](const Served& s) {
      return s.write && s.offset == OffsetElevatorTrim;
    });
    ASSERT_NE(trim, log.rend()) << c.what;
    auto first = std::find_if(log.begin(), log.end(),
                              [&](const Served& s) { return s.exchange == trim->exchange; });
    for (int n = 0; n < ThrottleCount; n++, first++) {
      EXPECT_TRUE(first->write && first->offset == OffsetThrottle1 + ThrottleStride * n) << c.what;
    }
    ExpectExitWrites(log);
  }
}

TEST_F(Replay, StopWhileTheSimulatorStaysPausedEndsPromptly) {
  FillSyntheticRecording(MaxRows);
  clockStep = [](int) { return 0.01; };
  Fly(Row5500);
  Await([] { return FramesWritten() > 10; });
  uint16_t paused = 1;
  sim::Poke(OffsetPauseIndicator, &paused, 2);
  Await([] { return simPaused == 1; });
  stopRequested = 1;
  double seconds = Land(5);
  printf("replay thread ended %.0f ms after a stop while paused\n", seconds * 1000);
  EXPECT_LT(seconds, 0.3);  // about one 40 ms poll
  std::vector<Served> log = Log();
  EXPECT_EQ(EventWrites(log), ExpectedEvents(Row5500, Row5500, true));
  ExpectExitWrites(log);
  EXPECT_EQ(currentRow, Row5500);
}

TEST_F(Replay, DeadLinkEndsTheThreadWithinFourSeconds) {
  FillSyntheticRecording(MaxRows);
  clockStep = [](int) { return 0.001; };
  Fly(Row5500);
  Await([] { return FramesWritten() > 5; });
  sim::DestroyServerWindow();
  double seconds = Land(60);
  printf("replay thread ended %.2f s after the server window went\n", seconds);
  EXPECT_LT(seconds, 4.0);
  EXPECT_EQ(linkFailed, 1);
  EXPECT_EQ(currentRow, Row5500);
}

// A simulator that stops answering during a stop costs one try of 2 s, not nine, and the
// thread sends nothing after it: no exit writes to a link that did not answer. The bound is
// three times one try.
TEST_F(Replay, HungSimulatorDuringAStopCostsOneTryAndGetsNothingMore) {
  FillSyntheticRecording(MaxRows);
  clockStep = [](int) { return 0.001; };
  Fly(Row5500);
  Await([] { return FramesWritten() > 5; });
  sim::SetHang(true);
  stopRequested = 1;
  double seconds = Land(60);
  printf("replay thread ended %.2f s after a stop with the simulator hung\n", seconds);
  EXPECT_LT(seconds, 6.0);
  EXPECT_EQ(linkFailed, 1);
  sim::SetHang(false);
  Sleep(100);  // the stuck exchange is served late, as a hung simulator would
  for (const Served& s : Log()) EXPECT_FALSE(s.write && s.offset == OffsetCaptionText);
}

// ---- The records and their exchanges ----------------------------------------------------

// Walks the served records along the replay's own algorithm, one record at a time: what a
// reply served is taken as read, what is written must match, and each exchange must hold
// exactly the records that belong together.
class Reference {
 public:
  explicit Reference(std::vector<Served> log) : log(std::move(log)) {}
  // The next records form a new exchange.
  void Exchange(const char* kind) {
    this->kind = kind;
    exchange = next < log.size() ? log[next].exchange : -1;
    if (next > 0 && next < log.size()) {
      EXPECT_NE(exchange, log[next - 1].exchange) << Where();
    }
  }
  std::vector<uint8_t> Read(uint32_t offset, uint32_t size) {
    const Served* s = Take(false, offset);
    if (!s) return std::vector<uint8_t>(size, 0);
    EXPECT_EQ(s->bytes.size(), size) << Where();
    return s->bytes;
  }
  void Write(uint32_t offset, const void* bytes, uint32_t size) {
    const Served* s = Take(true, offset);
    const uint8_t* b = static_cast<const uint8_t*>(bytes);
    if (s) {
      EXPECT_EQ(s->bytes, std::vector<uint8_t>(b, b + size)) << Where();
    }
  }
  template <typename T>
  T ReadAs(uint32_t offset) {
    return LoadAs<T>(Read(offset, sizeof(T)).data());
  }
  template <typename T>
  void WriteAs(uint32_t offset, T value) {
    Write(offset, &value, sizeof value);
  }
  bool Done() const { return next == log.size(); }
  bool failed = false;

 private:
  const Served* Take(bool write, uint32_t offset) {
    if (failed || next >= log.size()) {
      ADD_FAILURE() << "no record left for " << offset << " in " << kind;
      failed = true;
      return nullptr;
    }
    const Served& s = log[next++];
    EXPECT_EQ(s.exchange, exchange) << Where();
    if (s.write != write || s.offset != offset) {
      ADD_FAILURE() << "expected " << (write ? "write " : "read ") << std::hex << offset << ", got "
                    << (s.write ? "write " : "read ") << s.offset << " " << Where();
      failed = true;
      return nullptr;
    }
    return &s;
  }
  std::string Where() const {
    return std::string(kind) + " at record " + std::to_string(next) + ", exchange " +
           std::to_string(exchange);
  }
  std::vector<Served> log;
  size_t next = 0;
  int exchange = 0;
  const char* kind = "";
};

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

const uint32_t ThrottleOffsets[4] = {0x38A8, 0x3968, 0x3A28, 0x3AE8};

// The replay's clock rules, written out: the time each reading adds to the row, and the
// step the next reading is expected to add.
struct ClockModel {
  double last = 0, fraction = 0;
  std::vector<double> steps;  // the last four, oldest first
  bool lastRan = false;
  void Run(double reading, bool running) {
    if (!std::isfinite(reading)) reading = last;
    double added = reading - last > -1.0 ? reading - last : 0.0;
    last = reading;
    fraction = added + fraction;
    if (running && lastRan) steps.push_back(std::min(std::max(added, 0.0), 0.25));
    if (steps.size() > 4) steps.erase(steps.begin());
    lastRan = running;
  }
  double Expected() const {
    double sum = 0;
    for (double step : steps) sum += step;
    return steps.empty() ? 0.0 : sum / steps.size();
  }
  void Carry() { fraction = fraction - 1.0 < 1.0 ? fraction - 1.0 : 0.0; }
};

// What a flight showed along the way, for the test to check that its script reached it.
struct Seen {
  int frames = 0, backToBackEnds = 0, pausedFrames = 0, negativeFrames = 0, nextRowFrames = 0;
};

// The records of a flight from startRow until 5626 or the recording's last row, with the
// simulator running at the start and no stop.
class FlightReference {
 public:
  FlightReference(Reference& ref, int lastLoaded) : ref(ref), lastLoaded(lastLoaded) {}

  Seen Fly(int startRow) {
    Start(startRow);
    row = startRow;
    captionRow = startRow;
    bool endedLast = false;
    for (; !ref.failed;) {
      ref.Exchange("frame");
      Rides();
      bool running = WatchReads();
      Frame();
      clock.Run(reading, running);
      if (!running) {
        seen.pausedFrames++;
        while (!running && !ref.failed) {
          ref.Exchange("poll");
          Rides();
          running = WatchReads();
        }
        clock.Run(reading, true);
      }
      if (clock.fraction < 1.0) {
        endedLast = false;
        continue;
      }
      seen.backToBackEnds += endedLast;
      endedLast = true;
      if (timeCodes[row] == 5626 || row >= lastLoaded) break;
      endOne = row++;
      clock.Carry();
    }
    lastRow = endOne = row;
    ref.Exchange("last row end 1");
    Rides();
    ref.Exchange("last row end 2");
    Rides();
    ref.Exchange("exit");
    char blank[128] = " ";
    ref.Write(OffsetCaptionText, blank, 128);
    ref.WriteAs<int16_t>(OffsetCaptionTime, 1);
    return seen;
  }

 private:
  void Start(int startRow) {
    TimeCode start = timeCodes[startRow];
    ref.Exchange("start flap step");
    int16_t step = ref.ReadAs<int16_t>(OffsetFlapStep);
    ref.Exchange("start flaps up");
    ref.WriteAs<int32_t>(OffsetFlapsLever, 0);
    ref.Exchange("start flaps");
    ref.WriteAs<int32_t>(OffsetFlapsLever, std::min(step * FlapDetents(start), 16383));
    ref.Exchange("start gear");
    ref.WriteAs<int32_t>(OffsetGear, start < 3932 ? 0 : 16383);
    ref.Exchange("start clock");
    clock.last = ref.ReadAs<double>(OffsetClock);
    ref.Exchange("start watch");
    ref.ReadAs<uint16_t>(OffsetPauseIndicator);
    ref.ReadAs<uint8_t>(OffsetMenuIndicator);
  }
  bool WatchReads() {
    bool paused = ref.ReadAs<uint16_t>(OffsetPauseIndicator) != 0;
    bool menu = ref.ReadAs<uint8_t>(OffsetMenuIndicator) != 0;
    reading = ref.ReadAs<double>(OffsetClock);
    return !paused && !menu;
  }
  // The channels for the reading this exchange is expected to return, then the speed hold's
  // reads, whose nudged throttles ride first in the next exchange.
  void Frame() {
    const Channel channels[] = {
        {OffsetHeading, headingTable, 4},     {OffsetPitch, pitchTable, 4},
        {OffsetBank, rollTable, 4},           {OffsetAileron, aileronTable, 2},
        {OffsetElevator, elevatorTable, 2},   {OffsetAltitude, altitudeTable, 8},
        {OffsetLongitude, longitudeTable, 8}, {OffsetLatitude, latitudeTable, 8}};
    double t = clock.fraction + clock.Expected();
    int at = t >= 1.0 ? row + 1 : row;
    if (t >= 1.0) t -= 1.0;
    seen.frames++;
    seen.negativeFrames += t < 0;
    seen.nextRowFrames += at > row;
    for (const Channel& c : channels) {
      if (followLatLon == 0 && (c.offset == OffsetLongitude || c.offset == OffsetLatitude)) break;
      int64_t value = int64_t(Interpolate(t, c.table, at, lastLoaded));
      ref.Write(c.offset, &value, c.bytes);
    }
    double airspeed = ref.ReadAs<int32_t>(OffsetAirspeed);
    for (int n = 0; n < 4; n++) {
      throttles[n] = ref.ReadAs<double>(ThrottleOffsets[n]);
      if (airspeed < speedTable[row] - 5)
        throttles[n] = std::min(throttles[n] + 0.008, 0.999);
      else if (airspeed > speedTable[row])
        throttles[n] = std::max(throttles[n] - 0.01, 0.001);
    }
    throttlesDue = true;
  }
  bool HasEndTwo(int r) const { return timeCodes[r] >= 5118 || r == lastRow; }
  // The rides in front of an exchange: the throttles, a row's second end with the next row's
  // caption, a row's first end (with the next row's caption when it has no second end).
  void Rides() {
    if (throttlesDue)
      for (int n = 0; n < 4; n++) ref.WriteAs<double>(ThrottleOffsets[n], throttles[n]);
    throttlesDue = false;
    if (endTwo >= 0) {
      if (timeCodes[endTwo] >= 5118)
        ref.WriteAs<int32_t>(OffsetFlapsLever,
                             std::min(flapStep * FlapDetents(timeCodes[endTwo]), 16383));
      if (endTwo == lastRow) ref.WriteAs<int16_t>(OffsetPause, 1);
      if (endTwo != lastRow) captionRow = endTwo + 1;
      endTwo = -1;
    }
    Caption();
    if (endOne >= 0) {
      TimeCode tc = timeCodes[endOne];
      ref.WriteAs<int16_t>(OffsetElevatorTrim, 0);
      if (tc >= 2439) ref.WriteAs<int32_t>(OffsetAutopilotMaster, 0);
      if (tc >= 3932) ref.WriteAs<int32_t>(OffsetGear, 16383);
      if (tc >= 5118) {
        flapStep = ref.ReadAs<int16_t>(OffsetFlapStep);
        ref.WriteAs<int32_t>(OffsetFlapsLever, 0);
      }
      if (HasEndTwo(endOne))
        endTwo = endOne;
      else if (endOne != lastRow)
        captionRow = endOne + 1;
      endOne = -1;
    }
    Caption();
  }
  void Caption() {
    if (captionRow >= 0 && showText == 1 && transcriptTexts[captionRow][0] != '0') {
      ref.Write(OffsetCaptionText, transcriptTexts[captionRow], 128);
      ref.WriteAs<uint16_t>(OffsetCaptionTime, uint16_t(transcriptDurations[captionRow]));
    }
    captionRow = -1;
  }

  Reference& ref;
  int lastLoaded;
  ClockModel clock;
  Seen seen;
  double reading = 0, throttles[4] = {};
  bool throttlesDue = false;
  int row = 0, endOne = -1, endTwo = -1, captionRow = -1, lastRow = -1;
  int16_t flapStep = 0;
};

struct FlightCase {
  const char* what;
  int rows, startTimeCode, withLatLon;
  double (*step)(int reading);
  int (*paused)(int reading);
};

// Every record of a flight, in order and in its exchange, against the reference: the rides,
// the watch's reads, the channels computed for the clock their own exchange returns, the
// speed hold's reads; the pause watch's polls with their rides; the last row's ends.
TEST_F(Replay, EveryRecordGoesInItsExchangeWithTheValuesForItsMoment) {
  const FlightCase cases[] = {
      // Steps of 1/32 to 5/16 s, one going back, one of 7/8 s that ends rows back to back;
      // a pause, then a menu, every 200 readings.
      {"5100 to the end", MaxRows, 5100, 1,
       [](int r) {
         const double steps[] = {0.125, 0.1875, 0.3125, 0.0625,  -0.03125,
                                 0.25,  0.875,  0.3125, 0.15625, 0.03125};
         return steps[r % 10];
       },
       [](int r) { return r % 200 >= 150 && r % 200 < 153 ? 1
                          : r % 200 == 153                ? 2
                                                          : 0; }},
      // From row 0 of a recording of 45 rows, 2400 to 2444, the autopilot off from 2439 only:
      // a jump of 5 s, a clock going back 0.4 s, a reset 500 s back; the rows past the end are
      // the last row.
      {"2400 to the end of a short recording", 45, 2400, 1,
       [](int r) { return r == 6   ? 5.0
                          : r == 7 ? -0.4
                          : r == 9 ? -500.0
                                   : 0.3; }, nullptr},
      {"without latitude and longitude", 4, 2400, 0, [](int) { return 0.25; }, nullptr},
  };
  for (const FlightCase& c : cases) {
    TearDown();
    SetUp();
    FillSyntheticRecording(c.rows);
    showText = 1;
    for (int r = 0; r < MaxRows; r++) {
      strcpy(transcriptTexts[r], r % 7 ? "0" : "caption");
      transcriptDurations[r] = r % 5;
    }
    followLatLon = c.withLatLon;
    clockStep = c.step;
    pausedAt = c.paused;
    int startRow = RowOfTimeCode(c.startTimeCode);
    Fly(startRow);
    Land();
    Reference ref(Log());
    Seen seen = FlightReference(ref, c.rows - 1).Fly(startRow);
    EXPECT_TRUE(ref.Done()) << c.what;
    EXPECT_EQ(currentRow, c.rows == MaxRows ? Row5626 : c.rows - 1) << c.what;
    EXPECT_EQ(linkFailed, 0) << c.what;
    EXPECT_GT(seen.nextRowFrames, 0) << c.what;
    if (c.paused) {
      EXPECT_GT(seen.backToBackEnds, 0) << c.what;
      EXPECT_GT(seen.pausedFrames, 1) << c.what;
    }
    if (c.rows == 45) {
      EXPECT_GT(seen.negativeFrames, 0) << c.what;
    }
  }
}

// Frames worked out by hand, apart from the reference: the heading of one frame of a flight
// from row 0 of five rows, with the clock running the given steps (reading 0 is the thread's
// first). The steps are exact in binary, and the headings lie on the Catmull-Rom weights at
// t = 1/8, 1/4 and 3/4 (worked out in spline_test.cpp); rows 0 to 3 are linear where only
// the clock is in question, so the spline gives the straight line there.
struct HandCase {
  const char* what;
  double headings[5];  // degrees, rows 0 to 4
  double steps[2];     // the first reading's step, then every later one
  int frame;           // 1 for the first
  double degrees;
};

TEST_F(Replay, FramesWorkedOutByHand) {
  const double Turn = 4294967296.0;
  const HandCase cases[] = {
      // Steps of 0.5 s: row 0 ends at the second frame, and the step the next reading is
      // expected to add is held to 0.25 s, so row 1's first frame is for t = 0.25: 22.5, not 25.
      {"a step held to a quarter second", {10, 20, 30, 40, 50}, {0.5, 0.5}, 3, 22.5},
      // 0.625 s, then 0.25 s: row 0 has run 0.875 and the next reading is expected 0.25 on,
      // so the third frame lies 0.125 into row 1: (-49*10 + 987*20 + 93*40 - 7*70) / 1024.
      {"a row boundary inside a frame", {10, 20, 40, 70, 110}, {0.625, 0.25}, 3, 21.953125},
      // From 355 to 5 degrees: 5 and 15 taken a turn up, at t = 0.25 and 0.75 of row 1.
      {"north crossed upward, short of it", {350, 355, 5, 15, 25}, {0.5, 0.5}, 3, 357.1484375},
      {"north crossed upward, past it", {350, 355, 5, 15, 25}, {0.5, 0.5}, 4, 2.3828125},
      // From 5 to 355 degrees: 355 and 345 taken a turn down.
      {"north crossed downward, short of it", {15, 5, 355, 345, 335}, {0.5, 0.5}, 3, 2.5},
      {"north crossed downward, past it", {15, 5, 355, 345, 335}, {0.5, 0.5}, 4, 357.5},
  };
  for (const HandCase& c : cases) {
    TearDown();
    SetUp();
    FillSyntheticRecording(5);
    for (int r = 0; r < 5; r++) headingTable[r] = c.headings[r] * Turn / 360;
    clockStep = [&c](int reading) {
      return reading == 0 ? 0.0 : reading == 1 ? c.steps[0] : c.steps[1];
    };
    Fly(0);
    Land();
    std::vector<uint32_t> headings;
    for (const Served& s : Log())
      if (s.write && s.offset == OffsetHeading) headings.push_back(uint32_t(Value(s)));
    ASSERT_GE(headings.size(), size_t(c.frame)) << c.what;
    EXPECT_NEAR(headings[c.frame - 1] * 360.0 / Turn, c.degrees, 1e-6) << c.what;
  }
}

// ---- The flight log ----------------------------------------------------------------------

// The fields of the log's last summary line.
std::map<std::string, std::string> LoggedSummary(const std::string& folder) {
  std::ifstream log(folder + "\\VRN505Ostavin.log");
  std::map<std::string, std::string> fields;
  for (std::string line; std::getline(log, line);) {
    if (line.compare(0, 8, "summary ") != 0) continue;
    fields.clear();
    std::istringstream words(line.substr(8));
    for (std::string word; words >> word;) {
      size_t equals = word.find('=');
      if (equals != std::string::npos) fields[word.substr(0, equals)] = word.substr(equals + 1);
    }
  }
  return fields;
}

struct LogCase {
  const char* what;
  double jitter;     // % of the frame period
  void (*during)();  // befalls the simulator once the second row flies
};

// The program's own figures in its log agree with what the stand-in served, counted by the
// same definitions from the stand-in's frame numbers and the altitudes written: the same
// rows, frames and exchanges, the share of fresh frames within 0.03, the lag within 2 ms.
TEST_F(Replay, FlightLogAgreesWithWhatTheStandInServed) {
  const LogCase cases[] = {
      {"30 frames/s", 0, nullptr},
      {"30 frames/s with 50 % jitter", 50, nullptr},
      {"a pause", 0,
       [] {
         sim::SetPaused(true);
         ASSERT_TRUE(WaitFor([] { return simPaused == 1; }, 10000, 2));
         sim::SetPaused(false);
       }},
      {"a link that dies", 0, [] { sim::DestroyServerWindow(); }},
  };
  for (const LogCase& c : cases) {
    scripted = false;  // the stand-in's own clock and frame-bound pump
    standIn.frameRate = 30;
    standIn.frameJitter = c.jitter;
    standIn.clockRate = 3;  // 10 frames a simulated second: four rows take 1.3 s
    TearDown();
    SetUp();
    FillSyntheticRecording(MaxRows);
    int before = sim::ExchangeCount();
    LogReplayStart(timeCodes[0]);
    Fly(0);
    if (c.during) {
      Await([] { return currentRow >= 1; });
      c.during();
    }
    // Four rows, then a stop: the values of rows past the recording's end would tell the
    // stand-in no replay time.
    Await([&] { return currentRow >= 4 || WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; });
    stopRequested = 1;
    Land();
    CloseFlightLog();
    std::map<std::string, std::string> logged = LoggedSummary(logFolder);
    ASSERT_FALSE(logged.empty()) << c.what;
    StandInFigures seen = CountStandIn(sim::Records(), before, 0);
    const ReplayFigures& f = seen.figures;
    EXPECT_GT(f.frames, 5) << c.what;
    EXPECT_EQ(std::stoi(logged["rows"]), f.rows) << c.what;
    EXPECT_EQ(std::stoi(logged["frames"]), f.frames) << c.what;
    EXPECT_EQ(std::stoi(logged["exchanges"]), f.exchanges) << c.what;
    EXPECT_NEAR(std::stod(logged["exchanges_per_frame"]), ExchangesPerFrame(&f), 0.0005) << c.what;
    EXPECT_NEAR(std::stod(logged["fresh"]), FreshShare(&f), 0.03) << c.what;
    EXPECT_NEAR(std::stod(logged["lag_mean_ms"]), LagMeanMs(&f), 2.0) << c.what;
    EXPECT_NEAR(std::stod(logged["lag_worst_ms"]), LagWorstMs(&f), 2.0) << c.what;
    printf(
        "%s: rows %d, frames %d, exchanges %d, fresh %.3f (log %s), lag %.1f/%.1f ms (log %s/%s)\n",
        c.what, f.rows, f.frames, f.exchanges, FreshShare(&f), logged["fresh"].c_str(),
        LagMeanMs(&f), LagWorstMs(&f), logged["lag_mean_ms"].c_str(),
        logged["lag_worst_ms"].c_str());
  }
}

}  // namespace
