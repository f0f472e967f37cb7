// The flight data files: opened as a set, read in lock-step into the row tables, closed again.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "recording/recording.h"

const char* const dataFilePaths[DataFileCount] = {
    "data\\vrn505Roll.dat", "data\\vrn505Pitch.dat",   "data\\vrn505Heading.dat",
    "data\\vrn505Alt.dat",  "data\\vrn505Tas.dat",     "data\\vrn505LatLon.dat",
    "data\\cvrText.dat",    "data\\vrn505Alieron.dat", "data\\vrn505Elevator.dat"};
FILE* dataFiles[DataFileCount];

// Lines read so far from each file, for the format message. Reset by LoadFlightData.
static int32_t dataLines[DataFileCount];
// Rows stored by each reader in this load. Reset by LoadFlightData.
static int32_t channelRows;
static int32_t speedRows;

enum RecordResult { RecordEnd, RecordRead, RecordBad };

static bool IsSpace(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool ReadDataLine(FILE* file, char* line, bool* bad) {
  int c = getc(file);
  if (c == EOF) return false;
  int length = 0;
  *bad = false;
  for (; c != EOF && c != '\n'; c = getc(file)) {
    if (c == 0 || (length == DataLineBytes - 1 && !IsSpace(c))) *bad = true;
    if (length < DataLineBytes - 1) line[length++] = char(c);
  }
  line[length] = 0;
  return true;
}

static bool IsBlank(const char* text) {
  while (IsSpace(static_cast<unsigned char>(*text))) text++;
  return *text == 0;
}

bool ParseRecord(const char* line, int32_t* seconds, double* values, int valueCount) {
  char* end;
  errno = 0;
  long whole = strtol(line, &end, 10);
  if (end == line || errno || !IsSpace(static_cast<unsigned char>(*end))) return false;
  for (int i = 0; i < valueCount; i++) {
    const char* start = end;
    values[i] = strtod(start, &end);
    if (end == start || !std::isfinite(values[i])) return false;
    if (*end && !IsSpace(static_cast<unsigned char>(*end))) return false;
  }
  *seconds = int32_t(whole);
  return IsBlank(end);
}

// Reads the next record of a file, skipping blank lines.
static RecordResult ReadRecord(int file, int32_t* seconds, double* values, int valueCount) {
  char line[DataLineBytes];
  bool bad;
  for (;;) {
    if (!ReadDataLine(dataFiles[file], line, &bad)) return RecordEnd;
    dataLines[file]++;
    if (bad) return RecordBad;
    if (!IsBlank(line)) break;
  }
  return ParseRecord(line, seconds, values, valueCount) ? RecordRead : RecordBad;
}

void CloseDataFiles() {
  for (FILE*& file : dataFiles) {
    if (file) fclose(file);
    file = nullptr;
  }
}

static int FailCapacity() {
  CloseDataFiles();
  ShowRecordingString(IDS_TOO_MANY_ROWS);
  return 0;
}

// Names the file (without its folder) and the line that holds no record.
static int FailFormat(int file) {
  int line = dataLines[file];
  CloseDataFiles();
  ShowFormatError(dataFilePaths[file] + 5, line);
  return 0;
}

static void StoreChannelRow(int row, int32_t seconds, const double* v) {
  timeCodes[row] = SecondsToTimeCode(seconds);
  rollTable[row] = DegreesToAngle(v[0]);
  pitchTable[row] = DegreesToAngle(v[1]);
  altitudeTable[row] = FeetToAltitude(v[2]);
  headingTable[row] = DegreesToAngle(v[3]);
  aileronTable[row] = v[4];
  elevatorTable[row] = v[5];
  latitudeTable[row] = DegreesToLatitude(v[6]);
  longitudeTable[row] = DegreesToLongitude(v[7]);
}

// Returns 1 at the first end of file, 0 after a failure the user has been shown.
int ReadChannelRows() {
  static const int order[] = {RollFile,    PitchFile,    AltFile,   HeadingFile,
                              AileronFile, ElevatorFile, LatLonFile};
  for (int row = 0;; row++) {
    int32_t seconds = 0;
    double values[8];
    for (int k = 0; k < 7; k++) {
      int valueCount = order[k] == LatLonFile ? 2 : 1;
      RecordResult got = ReadRecord(order[k], &seconds, &values[k], valueCount);
      if (got == RecordEnd) return 1;
      if (got == RecordBad) return FailFormat(order[k]);
    }
    if (row == MaxRows) return FailCapacity();
    StoreChannelRow(row, seconds, values);
    channelRows = row + 1;
  }
}

int ReadSpeedRows() {
  for (int row = 0;; row++) {
    int32_t seconds;
    double knots;
    RecordResult got = ReadRecord(TasFile, &seconds, &knots, 1);
    if (got == RecordEnd) return 1;
    if (got == RecordBad) return FailFormat(TasFile);
    if (row == MaxRows) return FailCapacity();
    speedTable[row] = knots * 128.0;
    timeCodes[row] = SecondsToTimeCode(seconds);
    speedRows = row + 1;
  }
}

// Opens the set in order and stops at the first file that cannot be opened.
static bool OpenDataFiles() {
  for (int file = 0; file < DataFileCount; file++) {
    if (file == TranscriptFile && showText != 1) continue;
    dataFiles[file] = fopen(dataFilePaths[file], "r");
    if (!dataFiles[file]) return false;
  }
  return true;
}

int LoadFlightData() {
  if (!OpenDataFiles()) {
    CloseDataFiles();
    ShowRecordingString(IDS_DATA_FILE_MISSING);
    return 0;
  }
  std::fill(dataLines, dataLines + DataFileCount, 0);
  channelRows = speedRows = 0;
  loadedRows = 0;
  int loaded = ReadChannelRows() && ReadSpeedRows();
  loadedRows = std::min(channelRows, speedRows);
  if (loaded) loaded = ReadTranscript(dataFiles[TranscriptFile]);
  CloseDataFiles();
  return loaded;
}
