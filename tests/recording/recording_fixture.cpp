#include "recording_fixture.h"

#include <cstdio>

#include "app/app.h"
#include "replay/replay.h"
#include "temp_dir.h"

// Binary fractions, so the text of the files holds every value exactly.
RowValues ValuesOfLine(int n) {
  return {1440 + n,      n / 8.0 - 100,   n / 16.0,         n / 32.0, n * 4 + 1000.0,
          200 + n / 4.0, 30 + n / 1024.0, 130 + n / 2048.0, n + 0.5,  -n - 0.25};
}

std::string LineOf(int file, int n) {
  RowValues v = ValuesOfLine(n);
  double value[DataFileCount] = {v.roll, v.pitch, v.heading, v.altitude, v.speed,
                                 0,      0,       v.aileron, v.elevator};
  char line[128];
  if (file == LatLonFile)
    snprintf(line, sizeof line, "%d %.12f %.12f", v.seconds, v.latitude, v.longitude);
  else if (file == TranscriptFile)
    snprintf(line, sizeof line, "x\t0\t0");
  else
    snprintf(line, sizeof line, "%d %.12f", v.seconds, value[file]);
  return line;
}

std::string FormatMessage(const std::string& fileName, int line) {
  // " の書式がおかしいです\n", then the number and "行目"
  return fileName +
         " \x82\xcc\x8f\x91\x8e\xae\x82\xaa\x82\xa8\x82\xa9\x82\xb5\x82\xa2\x82\xc5\x82\xb7\n" +
         std::to_string(line) + "\x8d\x73\x96\xda";
}

std::string StringOf(unsigned id) {
  char text[StringBufferSize] = "";
  LoadStringA(GetModuleHandleA(nullptr), id, text, sizeof text);
  return text;
}

void RecordingTest::SetUp() {
  GetCurrentDirectoryA(sizeof previousDir, previousDir);
  dir = MakeTempDir();
  ASSERT_TRUE(SetCurrentDirectoryA(dir.c_str()));
  showText = 1;
}

void RecordingTest::TearDown() {
  SetCurrentDirectoryA(previousDir);
  RemoveTree(dir);
  showText = 1;
}

void RecordingTest::Write(int file, const std::string& bytes) {
  ASSERT_TRUE(WriteTestFile(dir + "\\" + dataFilePaths[file], bytes));
}

void RecordingTest::WriteFile(int file, int rows) {
  std::string bytes;
  for (int n = 0; n < rows; n++) bytes += LineOf(file, n) + "\n";
  Write(file, bytes);
}

void RecordingTest::WriteSet(int rows) {
  for (int file = 0; file < DataFileCount; file++) WriteFile(file, rows);
}

int RecordingTest::Load() {
  StartBoxWatch();
  int loaded = LoadFlightData();
  boxes = StopBoxWatch();
  for (const SeenBox& box : boxes) {
    EXPECT_EQ(box.caption, DisplayName);
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(box.buttons.size(), 1u);
  }
  return loaded;
}

void RecordingTest::MarkTables() {
  for (int r = 0; r < MaxRows; r++) {
    timeCodes[r] = -7;
    rollTable[r] = pitchTable[r] = headingTable[r] = altitudeTable[r] = speedTable[r] = Mark;
    latitudeTable[r] = longitudeTable[r] = aileronTable[r] = elevatorTable[r] = Mark;
  }
}

void RecordingTest::ExpectRowsLike(int first, int end) {
  for (int r = first; r < end; r++) {
    RowValues v = ValuesOfLine(r);
    ASSERT_EQ(timeCodes[r], SecondsToTimeCode(v.seconds)) << "row " << r;
    ASSERT_EQ(rollTable[r], DegreesToAngle(v.roll)) << "row " << r;
    ASSERT_EQ(pitchTable[r], DegreesToAngle(v.pitch)) << "row " << r;
    ASSERT_EQ(headingTable[r], DegreesToAngle(v.heading)) << "row " << r;
    ASSERT_EQ(altitudeTable[r], FeetToAltitude(v.altitude)) << "row " << r;
    ASSERT_EQ(speedTable[r], v.speed * 128.0) << "row " << r;
    ASSERT_EQ(latitudeTable[r], DegreesToLatitude(v.latitude)) << "row " << r;
    ASSERT_EQ(longitudeTable[r], DegreesToLongitude(v.longitude)) << "row " << r;
    ASSERT_EQ(aileronTable[r], v.aileron) << "row " << r;
    ASSERT_EQ(elevatorTable[r], v.elevator) << "row " << r;
  }
}

void RecordingTest::ExpectFilesClosed() {
  for (int file = 0; file < DataFileCount; file++) {
    EXPECT_EQ(dataFiles[file], nullptr) << dataFilePaths[file];
    // An open file cannot be deleted: this catches a handle lost outside the array too.
    std::string path = dir + "\\" + dataFilePaths[file];
    if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
      EXPECT_TRUE(DeleteFileA(path.c_str())) << dataFilePaths[file];
    }
  }
}
