// A working folder with a data set in it, and the loader run with its message boxes answered.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "message_box.h"
#include "recording/recording.h"

// The values that line n of each file holds in a generated data set: distinct per file, so
// a row taken from the wrong file or line shows.
struct RowValues {
  int seconds;
  double roll, pitch, heading, altitude, speed, latitude, longitude, aileron, elevator;
};
RowValues ValuesOfLine(int line);
std::string LineOf(int file, int line);  // one line of a data file, without its newline

// "<file> の書式がおかしいです\n<line>行目" as Shift-JIS bytes.
std::string FormatMessage(const std::string& fileName, int line);
std::string StringOf(unsigned id);  // a string of the table, as LoadStringA gives it

class RecordingTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Writes data\<name> with the given bytes.
  void Write(int file, const std::string& bytes);
  // Writes every file of the set with `rows` lines (the transcript with "x\t0\t0" lines).
  void WriteSet(int rows);
  void WriteFile(int file, int rows);
  // Runs LoadFlightData and answers every box it shows.
  int Load();
  // Fills every row table with a mark that no load writes.
  void MarkTables();
  void ExpectRowsLike(int first, int end);  // rows hold lines first..end-1
  // Every handle closed, and no file of the set held open by anyone.
  void ExpectFilesClosed();

  std::string dir;
  std::vector<SeenBox> boxes;
  char previousDir[MAX_PATH];
};

const double Mark = -12345.5;
