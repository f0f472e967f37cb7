// Flight recording: time codes, the row tables and their loader, and the transcript captions.
#pragma once
#include <windows.h>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include "common/shared_words.h"

// ---- Time codes ---------------------------------------------------------------------------

const int32_t FirstRowSecond = 1440;  // clock second of row 0 (24:00)

TimeCode SecondsToTimeCode(int32_t seconds);  // saturates at INT32_MAX
int32_t TimeCodeToSeconds(TimeCode code);     // 5626 gives 3386 (56 x 60 + 26)
int32_t RowOfTimeCode(TimeCode code);         // 2400 gives row 0
TimeCode RowTimeCode(int32_t row);            // row 0 gives 2400
int32_t StartRow(const char* startTimeText);  // "2400" gives row 0

// ---- Flight data files and tables -----------------------------------------------------

// Row tables, in simulator units. Written by LoadFlightData only while no worker thread runs;
// read by the replay thread, the voice thread and the title clock.
extern TimeCode timeCodes[MaxRows];
extern double rollTable[MaxRows];
extern double pitchTable[MaxRows];
extern double headingTable[MaxRows];
extern double altitudeTable[MaxRows];
extern double speedTable[MaxRows];
extern double latitudeTable[MaxRows];
extern double longitudeTable[MaxRows];
extern double aileronTable[MaxRows];
extern double elevatorTable[MaxRows];

// Rows 0..loadedRows-1 were filled by the last load (both the channel files and the Tas file
// gave them); rows beyond may hold an earlier load's data. Written by LoadFlightData (0 while
// it reads); read by the replay thread, which never flies a row beyond it.
extern std::atomic<int32_t> loadedRows;

// The data set, in the order LoadFlightData opens it. The transcript is opened only when
// captions are on.
enum DataFile {
  RollFile,
  PitchFile,
  HeadingFile,
  AltFile,
  TasFile,
  LatLonFile,
  TranscriptFile,
  AileronFile,
  ElevatorFile,
  DataFileCount
};
extern const char* const dataFilePaths[DataFileCount];  // "data\\vrn505Roll.dat" ...
// Open only while LoadFlightData runs. Written by LoadFlightData and CloseDataFiles; read by
// the readers it calls.
extern FILE* dataFiles[DataFileCount];

// Returns 1 when the data are loaded, 0 when the user has been told why not.
int LoadFlightData();
// A record line is short; longer lines are accepted only when the rest is white space.
const int DataLineBytes = 128;
// Reads one line of a data file, without its newline, into line (DataLineBytes). Returns
// false at end of file. A NUL byte or text beyond the buffer sets bad: the line is no record.
// The data checker reads the files through it too.
bool ReadDataLine(FILE* file, char* line, bool* bad);
// Parses "seconds value..." with nothing else on the line. Values must be finite numbers.
bool ParseRecord(const char* line, int32_t* seconds, double* values, int valueCount);
int ReadChannelRows();
int ReadSpeedRows();
void CloseDataFiles();

double DegreesToAngle(double degrees);
double FeetToAltitude(double feet);
double DegreesToLatitude(double degrees);
double DegreesToLongitude(double degrees);

// ---- Transcript captions ----------------------------------------------------------------

const int CaptionBytes = 128;
// Filled by ReadTranscript; ShowCaption (replay thread) rewrites texts in place.
extern char transcriptTexts[MaxRows][CaptionBytes];
extern int32_t transcriptDurations[MaxRows];

int ReadTranscript(FILE* transcript);  // 1 on success or when captions are off
// Adds the row's caption text and display time to the records of the exchange it rides in
// as the replay enters the row; nothing for a text that starts with the digit 0.
struct LinkRecords;  // link/link.h
void ShowCaption(int row, LinkRecords* records);

// Message boxes of the loaders: no owner, the display name, one OK button.
void ShowRecordingString(UINT stringId);
// "<file> の書式がおかしいです\n<line>行目", line counted from 1; the file's name is ASCII.
void ShowFormatError(const char* fileName, int line);
