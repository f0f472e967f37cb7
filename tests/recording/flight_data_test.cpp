// Loading the flight data files into the row tables.
#include <cstring>

#include "app/app.h"
#include "recording_fixture.h"
#include "replay/replay.h"

namespace {

struct ConversionCase {
  double (*convert)(double);
  double in, out;
};

TEST(Conversions, MatchTheSimulatorUnitsToTheLastBit) {
  const ConversionCase cases[] = {
      {DegreesToAngle, 1, 11930464.711111112},
      {DegreesToAngle, 90, 1073741824.0},
      {DegreesToAngle, 360, 4294967296.0},
      {DegreesToAngle, -10, -119304647.11111112},
      {FeetToAltitude, 1, 1309105989.9294083},
      {FeetToAltitude, 1000, 1309105989929.4082},
      {DegreesToLatitude, 90, 42957189152768000.0},
      {DegreesToLongitude, 180, 9223372036854775808.0},
  };
  for (const ConversionCase& c : cases) {
    double got = c.convert(c.in);
    EXPECT_EQ(memcmp(&got, &c.out, sizeof got), 0) << c.in << " gave " << got;
  }
}

class FlightData : public RecordingTest {};

TEST_F(FlightData, FullSetLoadsEveryRowAlignedAndClosesItsFiles) {
  WriteSet(MaxRows);
  loadedRows = 0;
  ASSERT_EQ(Load(), 1);
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(loadedRows, MaxRows);
  ExpectRowsLike(0, MaxRows);
  EXPECT_EQ(timeCodes[0], 2400);
  EXPECT_EQ(timeCodes[MaxRows - 1], 8057);
  ExpectFilesClosed();
}

TEST_F(FlightData, OneLineTooManyGivesMessage109AndKeepsTheRowsRead) {
  struct {
    const char* what;
    std::vector<int> longFiles;
    int loaded;
  } cases[] = {
      {"every channel file",
       {RollFile, PitchFile, HeadingFile, AltFile, LatLonFile, AileronFile, ElevatorFile},
       0},
      {"the Tas file", {TasFile}, MaxRows},
  };
  for (const auto& c : cases) {
    MarkTables();
    WriteSet(MaxRows);
    for (int file : c.longFiles) WriteFile(file, MaxRows + 1);
    EXPECT_EQ(Load(), 0) << c.what;
    ASSERT_EQ(boxes.size(), 1u) << c.what;
    EXPECT_EQ(boxes[0].text, StringOf(IDS_TOO_MANY_ROWS)) << c.what;
    EXPECT_EQ(loadedRows, c.loaded) << c.what;
    if (c.loaded)
      ExpectRowsLike(0, MaxRows);
    else
      EXPECT_EQ(rollTable[MaxRows - 1], DegreesToAngle(ValuesOfLine(MaxRows - 1).roll));
    ExpectFilesClosed();
  }
}

TEST_F(FlightData, MissingFileGivesMessage108AndLeavesTheTablesAlone) {
  for (int missing = 0; missing < DataFileCount; missing++) {
    WriteSet(10);
    DeleteFileA(dataFilePaths[missing]);
    MarkTables();
    loadedRows = 77;
    EXPECT_EQ(Load(), 0) << dataFilePaths[missing];
    ASSERT_EQ(boxes.size(), 1u) << dataFilePaths[missing];
    EXPECT_EQ(boxes[0].text, StringOf(IDS_DATA_FILE_MISSING));
    EXPECT_EQ(rollTable[0], Mark);
    EXPECT_EQ(speedTable[0], Mark);
    EXPECT_EQ(timeCodes[0], -7);
    EXPECT_EQ(loadedRows, 77);
    ExpectFilesClosed();
  }
}

TEST_F(FlightData, CaptionsOffLoadsWithoutTheTranscript) {
  WriteSet(10);
  DeleteFileA(dataFilePaths[TranscriptFile]);
  showText = 0;
  EXPECT_EQ(Load(), 1);
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(loadedRows, 10);
}

// Channel rows end at the first file to end; the Tas file is read to its own end; the rows
// that both gave are the ones a replay may fly, and a shorter load after a longer one counts
// only its own.
TEST_F(FlightData, FilesOfDifferentLengthsLoadOnlyTheRowsAllOfThemGave) {
  const int channels[] = {RollFile,    PitchFile,    AltFile,   HeadingFile,
                          AileronFile, ElevatorFile, LatLonFile};
  for (int shortFile : channels) {
    MarkTables();
    WriteSet(20);
    WriteFile(TasFile, 30);
    WriteFile(shortFile, 12);
    EXPECT_EQ(Load(), 1) << dataFilePaths[shortFile];
    EXPECT_EQ(loadedRows, 12) << dataFilePaths[shortFile];
    ExpectRowsLike(0, 12);
    EXPECT_EQ(rollTable[12], Mark);
    EXPECT_EQ(speedTable[29], ValuesOfLine(29).speed * 128.0);
  }
  WriteSet(20);
  WriteFile(TasFile, 5);
  EXPECT_EQ(Load(), 1);
  EXPECT_EQ(loadedRows, 5);
}

TEST_F(FlightData, BlankLinesTrailingSpaceAndCrLfAreHarmless) {
  WriteSet(6);
  std::string roll;
  for (int n = 0; n < 6; n++) roll += "\r\n" + LineOf(RollFile, n) + " \t \r\n";
  Write(RollFile, roll + "\n\n  \n");
  std::string alt;
  for (int n = 0; n < 6; n++) alt += LineOf(AltFile, n) + std::string(200, ' ') + "\n";
  Write(AltFile, alt);
  EXPECT_EQ(Load(), 1);
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(loadedRows, 6);
  ExpectRowsLike(0, 6);
}

TEST_F(FlightData, SecondsBelowAMinuteAreTheirOwnTimeCodes) {
  WriteSet(3);
  for (int file : {TasFile, LatLonFile})
    Write(file, file == TasFile ? "0 1\n59 1\n60 1\n" : "0 1 2\n59 1 2\n60 1 2\n");
  ASSERT_EQ(Load(), 1);
  EXPECT_EQ(timeCodes[0], 0);
  EXPECT_EQ(timeCodes[1], 59);
  EXPECT_EQ(timeCodes[2], 100);
}

// A line that is not a record stops the load there and names it; the rows after it would
// otherwise be flown with stale values.
TEST_F(FlightData, LineThatIsNotARecordStopsTheLoadAndNamesIt) {
  struct {
    int file;
    const char* line;
    const char* name;
  } cases[] = {
      {AltFile, "1446 abc", "vrn505Alt.dat"},
      {TasFile, "1446 1.5x", "vrn505Tas.dat"},
      {LatLonFile, "1446 35.5", "vrn505LatLon.dat"},
      {RollFile, "x 1.0", "vrn505Roll.dat"},
      {PitchFile, "1446 1.0 2.0", "vrn505Pitch.dat"},
      {HeadingFile, "1446.5 1.0", "vrn505Heading.dat"},
      {AileronFile, "1446 nan", "vrn505Alieron.dat"},
      {ElevatorFile, "1446 1e999", "vrn505Elevator.dat"},
      {RollFile, "99999999999 1.0", "vrn505Roll.dat"},
      {PitchFile,
       "1446 1.0\x1"
       "5",
       "vrn505Pitch.dat"},
  };
  for (const auto& c : cases) {
    WriteSet(10);
    std::string bytes;
    // A blank line before the bad one: the count is of lines in the file, not of records.
    for (int n = 0; n < 10; n++)
      bytes += (n == 6 ? std::string(c.line) : LineOf(c.file, n)) + (n == 2 ? "\n\n" : "\n");
    Write(c.file, bytes);
    EXPECT_EQ(Load(), 0) << c.line;
    ASSERT_EQ(boxes.size(), 1u) << c.line;
    EXPECT_EQ(boxes[0].text, FormatMessage(c.name, 8)) << c.line;
    ExpectFilesClosed();
  }
}

TEST_F(FlightData, CutOrOverlongLastLinesAreNamedToo) {
  struct {
    std::string tail;
    int line;
  } cases[] = {
      {"1450", 11},                               // value missing at the end of the file
      {"1450 1.0" + std::string(200, '0'), 11},   // longer than any record
      {std::string("1450 1.0\0", 9) + "\n", 11},  // a NUL byte
  };
  for (const auto& c : cases) {
    WriteSet(10);
    std::string bytes;
    for (int n = 0; n < 10; n++) bytes += LineOf(HeadingFile, n) + "\n";
    Write(HeadingFile, bytes + c.tail);
    WriteFile(RollFile, 11);
    WriteFile(PitchFile, 11);
    WriteFile(AltFile, 11);
    EXPECT_EQ(Load(), 0);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, FormatMessage("vrn505Heading.dat", c.line));
  }
}

}  // namespace
