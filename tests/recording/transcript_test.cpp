// Reading the transcript into the caption tables, and sending a row's caption.
#include <cstring>

#include "app/app.h"
#include "link/link.h"
#include "link/offsets.h"
#include "recording_fixture.h"
#include "replay/replay.h"
#include "sim_server.h"

namespace {

class Transcript : public RecordingTest {
 protected:
  // Reads a transcript of these bytes the way LoadFlightData does, answering any box.
  int Read(const std::string& bytes) {
    Write(TranscriptFile, bytes);
    FILE* file = fopen(dataFilePaths[TranscriptFile], "r");
    StartBoxWatch();
    int read = ReadTranscript(file);
    boxes = StopBoxWatch();
    fclose(file);
    return read;
  }
  void ExpectFormatError(const std::string& bytes, int line) {
    EXPECT_EQ(Read(bytes), 0) << bytes;
    ASSERT_EQ(boxes.size(), 1u) << bytes;
    EXPECT_EQ(boxes[0].text, FormatMessage("cvrText.dat", line)) << bytes;
  }
};

TEST_F(Transcript, FieldsAreFoundFromTheEndOfEachLine) {
  struct {
    const char* line;
    const char* text;
    int duration;
  } cases[] = {
      {"x\tfirst line\\second line\t5", "first line\\second line", 5},
      {"24:12\tCAM\tspeaker\ttext\t12", "text", 12},
      {"x\t0\t0", "0", 0},
      {"x\t\t-1", "", -1},
      {"x\ta\t 7", "a", 7},
      {"x\ta\t+3", "a", 3},
      {"x\ta\tab", "a", 0},
      {"\t\x95\x5c\x8e\xa6\t9", "\x95\x5c\x8e\xa6", 9},  // 表示
  };
  std::string bytes;  // the last line without its newline, as an editor may leave it
  for (const auto& c : cases) bytes += (bytes.empty() ? "" : "\n") + std::string(c.line);
  ASSERT_EQ(Read(bytes), 1);
  EXPECT_TRUE(boxes.empty());
  for (size_t n = 0; n < sizeof cases / sizeof cases[0]; n++) {
    EXPECT_STREQ(transcriptTexts[n], cases[n].text) << cases[n].line;
    EXPECT_EQ(transcriptDurations[n], cases[n].duration) << cases[n].line;
  }
}

TEST_F(Transcript, LineWithoutTwoTabsIsAFormatErrorWithItsNumber) {
  ExpectFormatError("a\tb\tc\n\na\tb\t1\n", 2);
  ExpectFormatError("a\tb\t1\nonly\tone\n", 2);
  ExpectFormatError("a\tb\t1\na\tb\t1\n\n", 3);
  ExpectFormatError("no tabs", 1);
}

TEST_F(Transcript, RowsBeforeAFaultyLineStayAndItStoresNothing) {
  Read("a\tkeep\t4\na\tkeep too\t5\n");
  ExpectFormatError("a\tnew\t1\nbroken\n", 2);
  EXPECT_STREQ(transcriptTexts[0], "new");
  EXPECT_STREQ(transcriptTexts[1], "keep too");
  EXPECT_EQ(transcriptDurations[1], 5);
}

// A line that does not fit the caption buffer would be read in pieces, each taken for a row,
// and every later caption would land on the wrong row.
TEST_F(Transcript, OverlongLineIsAFormatErrorNotSeveralRows) {
  std::string longest = "a\t" + std::string(122, 'y') + "\t5";  // 127 bytes with its newline
  EXPECT_EQ(Read("a\tb\t1\n" + longest + "\na\tc\t2\n"), 1);
  EXPECT_EQ(strlen(transcriptTexts[1]), 122u);
  EXPECT_STREQ(transcriptTexts[2], "c");
  EXPECT_EQ(Read("a\tb\t1\n" + longest + "5"), 1) << "127 bytes, the last line, no newline";
  ExpectFormatError("a\tb\t1\n" + longest + "5\na\tc\t2\n", 2);
  ExpectFormatError("a\tb\t1\na\t" + std::string(300, 'z') + "\t5\n", 2);
}

TEST_F(Transcript, ShorterTranscriptLeavesLaterRowsEmpty) {
  std::string bytes;
  for (int n = 0; n < 50; n++) bytes += "a\tcaption\t9\n";
  ASSERT_EQ(Read(bytes), 1);
  ASSERT_EQ(Read("a\tb\t1\n"), 1);
  EXPECT_EQ(transcriptTexts[1][0], 0);
  EXPECT_EQ(transcriptTexts[49][0], 0);
  EXPECT_EQ(transcriptDurations[49], 0);
}

TEST_F(Transcript, MoreLinesThanRowsGivesMessage109) {
  std::string bytes;
  for (int n = 0; n <= MaxRows; n++) bytes += "a\t0\t0\n";
  EXPECT_EQ(Read(bytes), 0);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, StringOf(IDS_TOO_MANY_ROWS));
}

TEST_F(Transcript, CaptionsOffReadsNothing) {
  Read("a\tbefore\t1\n");
  showText = 0;
  EXPECT_EQ(Read("a\tafter\t1\n"), 1);
  EXPECT_STREQ(transcriptTexts[0], "before");
}

TEST_F(Transcript, LoaderFailsOnAFormatErrorAndClosesEverything) {
  WriteSet(5);
  Write(TranscriptFile, "a\tb\t1\n\n");
  EXPECT_EQ(Load(), 0);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, FormatMessage("cvrText.dat", 2));
  ExpectFilesClosed();
}

// ---- Captions for the simulator ----------------------------------------------------------

struct Sent {
  uint32_t offset;
  std::string bytes;
};

// The writes that ShowCaption adds to an exchange's records.
std::vector<Sent> CaptionWrites(int row) {
  LinkRecords records = {};
  ShowCaption(row, &records);
  std::vector<Sent> writes;
  for (int i = 0; i < records.count; i++) {
    const LinkRecord& r = records.record[i];
    EXPECT_EQ(r.write, 1u);
    const char* bytes = reinterpret_cast<const char*>(records.store + r.source);
    writes.push_back({r.offset, std::string(bytes, r.size)});
  }
  return writes;
}

class Caption : public Transcript {
 protected:
  void ExpectCaption(int row, const std::string& text, uint16_t seconds) {
    std::vector<Sent> writes = CaptionWrites(row);
    ASSERT_EQ(writes.size(), 2u) << text;
    EXPECT_EQ(writes[0].offset, OffsetCaptionText);
    EXPECT_EQ(writes[0].bytes, text + std::string(CaptionTextSize - text.size(), '\0'));
    EXPECT_EQ(writes[1].offset, OffsetCaptionTime);
    EXPECT_EQ(writes[1].bytes, std::string(reinterpret_cast<char*>(&seconds), 2));
  }
};

TEST_F(Caption, TextThenDisplayTime) {
  // 表示\ソ十 能, a backslash alone, and two backslashes making three lines
  ASSERT_EQ(Read("a\tfirst\\second\\third\t5\n"
                 "a\t\x95\x5c\x8e\xa6\\\x83\x5c\x8f\x5c \x94\x5c\t12\n"
                 "a\tminus one\t-1\n"
                 "a\t\t0\n"),
            1);
  struct {
    int row;
    std::string text;
    uint16_t seconds;
  } cases[] = {
      {0, "first\nsecond\nthird", 5},
      {1, "\x95\x5c\x8e\xa6\n\x83\x5c\x8f\x5c \x94\x5c", 12},
      {2, "minus one", 0xFFFF},
      {3, "", 0},  // an empty text, as on rows after a shorter transcript
      {4, "", 0},
  };
  for (const auto& c : cases) {
    ExpectCaption(c.row, c.text, c.seconds);
    ExpectCaption(c.row, c.text, c.seconds);  // shown again: the same bytes
  }
}

TEST_F(Caption, NothingIsSentForAZeroTextCaptionsOffOrARowOutsideTheTables) {
  ASSERT_EQ(Read("a\t0\t0\na\t0 later\t3\na\tshown\t3\n"), 1);
  for (int row : {0, 1, -1, MaxRows}) EXPECT_TRUE(CaptionWrites(row).empty()) << row;
  showText = 0;
  EXPECT_TRUE(CaptionWrites(2).empty());
}

}  // namespace
