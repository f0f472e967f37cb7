// The replay thread against the in-process stand-in. The stand-in's served blocks are read
// back through its after-serve hook, which also answers every clock read from a script of
// the test's own: a deterministic simulator clock, stepped per reading.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <mutex>
#include <vector>

#include "bytes.h"
#include "link/link.h"
#include "link/offsets.h"
#include "recording/recording.h"
#include "replay/replay.h"
#include "request_block.h"
#include "sim_server.h"
#include "synthetic_recording.h"
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
// Whether the client is to see this exchange (its records as served) fail, with a reply of
// 0 after the records were served.
std::function<bool(const std::vector<Served>& exchange)> failExchange;

void AfterServe(uint8_t* block, uint32_t size) {
  std::lock_guard<std::mutex> guard(logLock);
  exchanges++;
  size_t first = served.size();
  WalkRequestBlock(block, size, [](const BlockRecord& r) {
    bool write = r.type == RecordWrite;
    if (!write && r.offset == OffsetClock && r.size == 8) {
      simClock += clockStep(clockReadings++);
      StoreAs(r.data, simClock);
    }
    served.push_back({exchanges, write, r.offset, std::vector<uint8_t>(r.data, r.data + r.size)});
  });
  std::vector<Served> exchange(served.begin() + first, served.end());
  if (failExchange) sim::SetReply(failExchange(exchange) ? 0 : 1);
}

int64_t Value(const Served& s) {
  int64_t value = 0;
  memcpy(&value, s.bytes.data(), s.bytes.size() < 8 ? s.bytes.size() : 8);
  if (s.bytes.size() == 2) return int16_t(value);
  if (s.bytes.size() == 4) return int32_t(value);
  return value;
}

double ClockOf(const Served& s) { return LoadAs<double>(s.bytes.data()); }

const int Row5500 = RowOfTimeCode(5500);
const int Row5626 = RowOfTimeCode(5626);

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
      failExchange = nullptr;
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
    failExchange = nullptr;
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
  static void Await(const std::function<bool()>& condition) {
    ASSERT_TRUE(WaitFor(condition, 20000, 2));
  }
  static size_t FramesWritten() {
    size_t count = 0;
    for (const Served& s : Log()) count += s.write && s.offset == OffsetHeading;
    return count;
  }
  HANDLE thread = nullptr;
};

bool IsEvent(uint32_t offset) {
  return offset == OffsetElevatorTrim || offset == OffsetAutopilotMaster || offset == OffsetGear ||
         offset == OffsetFlapsLever || offset == OffsetPause;
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
  FillSyntheticRecording(MaxRows);
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
  FillSyntheticRecording(rows);
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
  FillSyntheticRecording(10);
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
  FillSyntheticRecording(rows);
  // Mostly 0.3 s per reading, with a jump of 5 s, then a clock that goes back 0.4 s, then
  // one reset 500 s back.
  clockStep = [](int reading) {
    return reading == 6 ? 5.0 : reading == 7 ? -0.4 : reading == 9 ? -500.0 : 0.3;
  };
  Fly(0);
  Land();
  const Channel channels[] = {
      {OffsetHeading, headingTable, 4},     {OffsetPitch, pitchTable, 4},
      {OffsetBank, rollTable, 4},           {OffsetAileron, aileronTable, 2},
      {OffsetElevator, elevatorTable, 2},   {OffsetAltitude, altitudeTable, 8},
      {OffsetLongitude, longitudeTable, 8}, {OffsetLatitude, latitudeTable, 8}};
  int row = 0, checked = 0, negativeFrames = 0;
  double last = 0, t = 0;
  bool started = false;
  std::vector<int> framesPerRow(rows, 0);
  for (const Served& s : Log()) {
    if (!s.write && s.offset == OffsetClock) {
      double reading = ClockOf(s);
      if (started && reading - last > -1.0) t += reading - last;  // else a reset: t stays
      started = true;
      last = reading;
    } else if (s.write && s.offset == OffsetElevatorTrim) {
      row++;  // the row's events: the next row starts with the time run past the last
      t = t - 1 < 1 ? t - 1 : 0;
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
  // Row 0 ends at 1.2 after three frames and row 1 begins at 0.2; the 5 s jump ends row 1
  // after its first frame, and row 2 begins afresh at 0: one row advanced, the rest of the
  // jump dropped. There the clock goes back: -0.4, -0.1, then after the reset -0.1 again,
  // then 0.2 to 0.8, six frames.
  EXPECT_EQ(framesPerRow[0], 3);
  EXPECT_EQ(framesPerRow[1], 1);
  EXPECT_EQ(framesPerRow[2], 6);
}

TEST_F(Replay, WithoutLatLonFramesWriteSixChannels) {
  FillSyntheticRecording(4);
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
  FillSyntheticRecording(MaxRows);
  uint16_t paused = 1;
  sim::Poke(OffsetPauseIndicator, &paused, 2);
  Fly(Row5500);
  Await([] { return simPaused == 1; });
  stopRequested = 1;
  EXPECT_LT(Land(), 0.2);
  std::vector<Served> log = Log();
  std::vector<Write> events = EventWrites(log);
  EXPECT_EQ(events.size(), 3u);  // flaps twice and the gear: no pause, no row events
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

TEST_F(Replay, LinkFailureWhileStartingEndsAtOnceWithoutExitWrites) {
  FillSyntheticRecording(MaxRows);
  sim::SetReply(0);
  int before = sim::ExchangeCount();
  Fly(Row5500);
  Land();
  EXPECT_EQ(linkFailed, 1);
  EXPECT_EQ(sim::ExchangeCount() - before, 3);  // the flap step read and the two flap writes
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

const uint32_t ThrottleOffsets[4] = {0x38A8, 0x3968, 0x3A28, 0x3AE8};

// The records of a flight from startRow to 5626, with no pause and the clock of the script.
void FlyReference(Reference& ref, int startRow) {
  const Channel channels[] = {
      {OffsetHeading, headingTable, 4},     {OffsetPitch, pitchTable, 4},
      {OffsetBank, rollTable, 4},           {OffsetAileron, aileronTable, 2},
      {OffsetElevator, elevatorTable, 2},   {OffsetAltitude, altitudeTable, 8},
      {OffsetLongitude, longitudeTable, 8}, {OffsetLatitude, latitudeTable, 8}};
  auto flaps = [&](TimeCode tc, const char* kind) {
    ref.Exchange(kind);
    int16_t step = ref.ReadAs<int16_t>(OffsetFlapStep);
    ref.Exchange(kind);
    ref.WriteAs<int32_t>(OffsetFlapsLever, 0);
    ref.Exchange(kind);
    ref.WriteAs<int32_t>(OffsetFlapsLever, std::min(step * FlapDetents(tc), 16383));
  };
  TimeCode start = timeCodes[startRow];
  flaps(start, "start flaps");
  ref.Exchange("start gear");
  ref.WriteAs<int32_t>(OffsetGear, start < 3932 ? 0 : 16383);
  ref.Exchange("start clock");
  double last = ref.ReadAs<double>(OffsetClock);
  ref.Exchange("start watch");
  ref.ReadAs<uint16_t>(OffsetPauseIndicator);
  ref.ReadAs<uint8_t>(OffsetMenuIndicator);
  double t = 0;
  bool throttlesHeld = false;
  double throttles[4];
  for (int row = startRow; !ref.failed; row++) {
    TimeCode tc = timeCodes[row];
    ref.Exchange("frame start");
    if (transcriptTexts[row][0] != '0') {
      ref.Write(OffsetCaptionText, transcriptTexts[row], 128);
      ref.WriteAs<uint16_t>(OffsetCaptionTime, uint16_t(transcriptDurations[row]));
    }
    for (;;) {
      if (throttlesHeld)
        for (int n = 0; n < 4; n++) ref.WriteAs<double>(ThrottleOffsets[n], throttles[n]);
      throttlesHeld = false;
      ref.ReadAs<uint16_t>(OffsetPauseIndicator);
      ref.ReadAs<uint8_t>(OffsetMenuIndicator);
      double reading = ref.ReadAs<double>(OffsetClock);
      t += reading - last;
      last = reading;
      if (t >= 1.0 || ref.failed) break;
      ref.Exchange("frame");
      for (const Channel& c : channels) {
        int64_t value = int64_t(Interpolate(t, c.table, row, MaxRows - 1));
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
      throttlesHeld = true;
      ref.Exchange("frame start");
    }
    ref.Exchange("row end 1");
    ref.WriteAs<int16_t>(OffsetElevatorTrim, 0);
    ref.WriteAs<int32_t>(OffsetAutopilotMaster, 0);  // every row from 2439
    ref.WriteAs<int32_t>(OffsetGear, 16383);         // every row from 3932
    int16_t step = 0;
    if (tc >= 5118) {
      step = ref.ReadAs<int16_t>(OffsetFlapStep);
      ref.WriteAs<int32_t>(OffsetFlapsLever, 0);
    }
    if (tc >= 5118 || tc == 5626) ref.Exchange("row end 2");
    if (tc >= 5118) ref.WriteAs<int32_t>(OffsetFlapsLever, std::min(step * FlapDetents(tc), 16383));
    if (tc == 5626) {
      ref.WriteAs<int16_t>(OffsetPause, 1);
      break;
    }
    t = t - 1.0 < 1.0 ? t - 1.0 : 0.0;
  }
  ref.Exchange("exit");
  char blank[128] = " ";
  ref.Write(OffsetCaptionText, blank, 128);
  ref.WriteAs<int16_t>(OffsetCaptionTime, 1);
}

TEST_F(Replay, RecordsFrom5100ToTheEndGoInTheirExchangesInOrder) {
  FillSyntheticRecording(MaxRows);
  showText = 1;
  for (int r = 0; r < MaxRows; r++) {
    strcpy(transcriptTexts[r], r % 7 ? "0" : "caption");
    transcriptDurations[r] = r % 5;
  }
  // 3/8 s per reading: exact in binary, so rows end at 1.125, 1.25, 1.0 ... and carry.
  clockStep = [](int) { return 0.375; };
  const int Row5100 = RowOfTimeCode(5100);
  Fly(Row5100);
  Land();
  Reference ref(Log());
  FlyReference(ref, Row5100);
  EXPECT_TRUE(ref.Done());
  EXPECT_EQ(currentRow, Row5626);
  EXPECT_EQ(linkFailed, 0);
}

struct FailureCase {
  const char* what;
  std::function<bool(const std::vector<Served>&)> isIt;  // the kind of exchange to fail
  bool endsReplay;
};

bool Has(const std::vector<Served>& exchange, bool write, uint32_t offset) {
  for (const Served& s : exchange)
    if (s.write == write && s.offset == offset) return true;
  return false;
}

// One failure of each kind of exchange, on the third row's: a failed frame start or row end
// ends the replay without the pause; a failed frame only loses that frame's speed hold.
TEST_F(Replay, OneFailedExchangeOfEachKind) {
  const FailureCase cases[] = {
      {"frame start", [](const std::vector<Served>& e) { return Has(e, false, OffsetClock); },
       true},
      {"frame", [](const std::vector<Served>& e) { return Has(e, true, OffsetHeading); }, false},
      {"row end 1", [](const std::vector<Served>& e) { return Has(e, true, OffsetElevatorTrim); },
       true},
      {"row end 2",
       [](const std::vector<Served>& e) {
         return !e.empty() && e[0].write && e[0].offset == OffsetFlapsLever && e.size() == 1 &&
                Value(e[0]) != 0;
       },
       true},
  };
  for (const FailureCase& c : cases) {
    TearDown();  // a fresh stand-in and link for each case
    SetUp();
    FillSyntheticRecording(MaxRows);
    clockStep = [](int) { return 0.375; };
    int seen = 0;
    int failedAt = 0;
    failExchange = [&](const std::vector<Served>& e) {
      if (failedAt || !c.isIt(e) || ++seen < 8) return false;
      failedAt = e[0].exchange;
      return true;
    };
    Fly(Row5500);
    Land();
    failExchange = nullptr;
    std::vector<Served> log = Log();
    ASSERT_NE(failedAt, 0) << c.what;
    EXPECT_EQ(linkFailed, c.endsReplay ? 1 : 0) << c.what;
    EXPECT_EQ(currentRow == Row5626, !c.endsReplay) << c.what;
    std::vector<Served> after;
    for (const Served& s : log)
      if (s.exchange > failedAt) after.push_back(s);
    if (c.endsReplay) {
      // Only the exit writes follow; the simulator is not paused.
      ASSERT_EQ(after.size(), 2u) << c.what;
      EXPECT_EQ(after[0].offset, OffsetCaptionText) << c.what;
      for (const Served& s : log) EXPECT_FALSE(s.write && s.offset == OffsetPause) << c.what;
    } else {
      // The next frame start carries no throttle writes: none are held from a failed read.
      ASSERT_FALSE(after.empty());
      EXPECT_TRUE(Has(after, false, OffsetClock));
      for (const Served& s : after) {
        if (s.exchange != after[0].exchange) break;
        EXPECT_NE(s.offset, OffsetThrottle1) << c.what;
      }
      ExpectExitWrites(log);
    }
  }
}

}  // namespace
