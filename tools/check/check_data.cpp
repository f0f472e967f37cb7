// The numeric data files and the transcript, read line by line as the program's loader reads
// them (its own line reader and record parser), with every line looked at.
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "check.h"
#include "recording/recording.h"

namespace {

// A replay ends at 56:26 and interpolates with the two rows after it: rows 0 to 1948, the
// clock seconds up to 3388 (56:28).
const int FullReplayRows = 1949;

// What each file holds after its seconds column, and the range a flight can have.
struct Channel {
  int file;
  int valueCount;
  const char* names[2];
  double low[2], high[2];
};

const Channel channels[] = {
    {RollFile, 1, {"バンク角"}, {-180}, {180}},
    {PitchFile, 1, {"ピッチ角"}, {-90}, {90}},
    {HeadingFile, 1, {"機首方位"}, {0}, {360}},
    {AltFile, 1, {"高度"}, {-1500}, {100000}},
    {TasFile, 1, {"真対気速度"}, {0}, {1000}},
    {LatLonFile, 2, {"緯度", "経度"}, {-90, -180}, {90, 180}},
    {AileronFile, 1, {"エルロン位置"}, {-16384}, {16384}},
    {ElevatorFile, 1, {"エレベーター位置"}, {-16384}, {16384}},
};
const int ChannelCount = sizeof channels / sizeof channels[0];

// Rows read from each file (-1: it did not open), for the comparison of lengths.
int rowCounts[ChannelCount];

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }

bool IsBlank(const char* text) {
  while (IsSpace(*text)) text++;
  return *text == 0;
}

// Copies the next white-space separated field of *text into field; false when none is left.
bool NextField(const char** text, char* field) {
  const char* p = *text;
  while (IsSpace(*p)) p++;
  if (!*p) return false;
  int length = 0;
  while (*p && !IsSpace(*p)) field[length++] = *p++;
  field[length] = 0;
  *text = p;
  return true;
}

// A field as it can be shown: at most 24 bytes, control bytes as '?'.
const char* Shown(const char* field, char* shown) {
  int i = 0;
  for (; field[i] && i < 24; i++)
    shown[i] = static_cast<unsigned char>(field[i]) < 0x20 ? '?' : field[i];
  shown[i] = 0;
  return shown;
}

// Why a field is no number of its kind, or null.
const char* FieldProblem(const char* field, bool seconds) {
  char* end;
  errno = 0;
  if (seconds) {
    long value = strtol(field, &end, 10);
    (void)value;
    return *end || errno ? "が整数 (秒) になりません" : nullptr;
  }
  double value = strtod(field, &end);
  if (*end) return "が数値に変換できません";
  return std::isfinite(value) ? nullptr : "が有限の数ではありません";
}

// Tells why a line that the loader takes for no record is none.
void ExplainBadLine(const char* path, int line, const char* text, bool bad, int valueCount) {
  if (bad) {
    Report(path, line, "行が長過ぎるか、NUL 文字を含みます (%d バイトまで)", DataLineBytes - 1);
    return;
  }
  const int wanted = 1 + valueCount;
  char field[DataLineBytes], shown[32];
  int count = 0;
  while (NextField(&text, field)) {
    if (++count > wanted) {
      Report(path, line, "欄が多過ぎます (%d 欄のはずです)", wanted);
      return;
    }
    if (const char* problem = FieldProblem(field, count == 1)) {
      Report(path, line, "%d 欄目「%s」%s", count, Shown(field, shown), problem);
      return;
    }
  }
  if (count < wanted)
    Report(path, line, "欄が足りません (%d 欄のはずが %d 欄です)", wanted, count);
  else
    Report(path, line, "数値に変換できない欄があります");
}

void CheckRanges(const Channel& channel, const char* path, int line, const double* values) {
  for (int i = 0; i < channel.valueCount; i++) {
    if (values[i] >= channel.low[i] && values[i] <= channel.high[i]) continue;
    Report(path, line, "%s %g が範囲 %g..%g の外です", channel.names[i], values[i], channel.low[i],
           channel.high[i]);
  }
}

// Reads one file to its end. Returns its rows (lines that are not blank), -1 when it does not
// open. A line that is no record still counts as a row, so the rows after it keep their place.
int CheckChannelFile(const Channel& channel) {
  const char* path = dataFilePaths[channel.file];
  FILE* file = fopen(path, "r");
  if (!file) {
    Report(path, 0, "ファイルが開けません");
    return -1;
  }
  char line[DataLineBytes];
  bool bad;
  int lineNumber = 0, rows = 0;
  int64_t expected = FirstRowSecond;
  while (ReadDataLine(file, line, &bad)) {
    lineNumber++;
    if (!bad && IsBlank(line)) continue;
    rows++;
    int32_t seconds;
    double values[2];
    if (bad || !ParseRecord(line, &seconds, values, channel.valueCount)) {
      ExplainBadLine(path, lineNumber, line, bad, channel.valueCount);
      expected++;
      continue;
    }
    if (seconds != expected)
      Report(path, lineNumber, "秒の欄が %lld のはずが %d です (1440 から 1 ずつ増えるはず)",
             static_cast<long long>(expected), seconds);
    expected = int64_t(seconds) + 1;
    CheckRanges(channel, path, lineNumber, values);
  }
  fclose(file);
  if (rows > MaxRows)
    Report(path, 0, "行が多過ぎます (%d 行あります。読めるのは %d 行まで)", rows, MaxRows);
  if (rows < FullReplayRows)
    Report(path, 0, "%d 行しかありません (56:28 まで再生するには %d 行要ります)", rows,
           FullReplayRows);
  return rows;
}

// The row count that most of the opened files have.
int CommonRowCount() {
  int best = -1, bestVotes = 0;
  for (int i = 0; i < ChannelCount; i++) {
    int votes = 0;
    for (int j = 0; j < ChannelCount; j++) votes += rowCounts[j] == rowCounts[i];
    if (rowCounts[i] >= 0 && votes > bestVotes) best = rowCounts[i], bestVotes = votes;
  }
  return best;
}

}  // namespace

void CheckDataFiles() {
  for (int i = 0; i < ChannelCount; i++) rowCounts[i] = CheckChannelFile(channels[i]);
  const int common = CommonRowCount();
  for (int i = 0; i < ChannelCount; i++) {
    if (rowCounts[i] < 0 || rowCounts[i] == common) continue;
    Report(dataFilePaths[channels[i].file], 0,
           "%d 行あります (ほかのファイルは %d 行。行数は揃えます)", rowCounts[i], common);
  }
}

// ---- Transcript ---------------------------------------------------------------------------

namespace {

const int TranscriptLineBytes = CaptionBytes - 1;  // a line with its newline

bool IsLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
bool IsTrailByte(unsigned char c) { return c >= 0x40 && c <= 0xFC && c != 0x7F; }

// Index of the first byte that does not belong to a Shift-JIS character, or -1.
int FirstNonShiftJis(const unsigned char* text, int length) {
  for (int i = 0; i < length; i++) {
    unsigned char c = text[i];
    if ((c > 0 && c < 0x80) || (c >= 0xA1 && c <= 0xDF)) continue;
    if (IsLeadByte(c) && i + 1 < length && IsTrailByte(text[i + 1])) {
      i++;
      continue;
    }
    return i;
  }
  return -1;
}

// Reads one line without its newline: up to CaptionBytes - 1 bytes into line, *length the
// line's whole length. False at end of file.
bool ReadLine(FILE* file, unsigned char* line, int* length) {
  int c = getc(file);
  if (c == EOF) return false;
  *length = 0;
  for (; c != EOF && c != '\n'; c = getc(file)) {
    if (*length < CaptionBytes - 1) line[*length] = static_cast<unsigned char>(c);
    if (*length < INT32_MAX) ++*length;
  }
  return true;
}

bool IsDuration(const char* text) {
  if (*text == '-' || *text == '+') text++;
  if (!*text) return false;
  for (; *text; text++)
    if (*text < '0' || *text > '9') return false;
  return true;
}

void CheckCaptionLine(const char* path, int number, unsigned char* line, int length) {
  if (length + 1 > TranscriptLineBytes) {
    Report(path, number, "改行を含めて %d バイトあります (%d バイトまで)", length + 1,
           TranscriptLineBytes);
    return;
  }
  int bad = FirstNonShiftJis(line, length);
  if (bad >= 0)
    Report(path, number, "%d バイト目 0x%02X が Shift-JIS の文字になりません", bad + 1, line[bad]);
  line[length] = 0;
  char* text = reinterpret_cast<char*>(line);
  char* last = strrchr(text, '\t');
  char* before = nullptr;
  if (last) {
    *last = 0;
    before = strrchr(text, '\t');
  }
  if (!before) {
    Report(path, number, "TAB が 2 つありません (時刻、字幕、表示秒数を TAB で区切ります)");
    return;
  }
  char shown[32];
  if (!IsDuration(last + 1))
    Report(path, number, "表示秒数「%s」が数ではありません", Shown(last + 1, shown));
}

}  // namespace

void CheckTranscript() {
  const char* path = dataFilePaths[TranscriptFile];
  FILE* file = fopen(path, "r");
  if (!file) {
    Report(path, 0, "ファイルが開けません (字幕表示を外せば、無くても再生できます)");
    return;
  }
  unsigned char line[CaptionBytes];
  int length, number = 0;
  while (ReadLine(file, line, &length)) {
    if (++number == MaxRows + 1) Report(path, number, "行が多過ぎます (%d 行まで)", MaxRows);
    CheckCaptionLine(path, number, line, length);
  }
  fclose(file);
}
