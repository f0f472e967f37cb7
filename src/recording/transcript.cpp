// Transcript captions: the transcript file into the caption tables, and a row's caption to the
// simulator's message window.
#include <cstdlib>
#include <cstring>

#include "link/link.h"     // AddWrite: ShowCaption adds the caption to an exchange's records
#include "link/offsets.h"  // the message window's offsets
#include "recording/recording.h"

// Reads one line into line (CaptionBytes bytes, the newline kept as fgets keeps it). Returns
// -1 at end of file, 0 for a line of CaptionBytes bytes or more with its newline (which would
// otherwise spill onto the rows after it), 1 otherwise.
static int ReadTranscriptLine(FILE* file, char* line) {
  int length = 0;  // bytes of the line, its newline included
  for (int c; (c = getc(file)) != EOF;) {
    if (length < CaptionBytes - 1) line[length] = char(c);
    length++;
    if (c == '\n') break;
  }
  if (length == 0) return -1;
  line[length < CaptionBytes - 1 ? length : CaptionBytes - 1] = 0;
  return length < CaptionBytes ? 1 : 0;
}

// Finds the fields from the end, so field 1 may hold TABs. Returns false without two TABs.
static bool StoreCaptionLine(int row, char* line) {
  char* last = strrchr(line, '\t');
  if (!last) return false;
  *last = 0;
  char* before = strrchr(line, '\t');
  if (!before) return false;
  memset(transcriptTexts[row], 0, CaptionBytes);
  strcpy(transcriptTexts[row], before + 1);
  transcriptDurations[row] = int32_t(strtol(last + 1, nullptr, 10));
  return true;
}

// Rows past the end of this transcript must not show an earlier load's captions.
static void ClearCaptionsFrom(int row) {
  for (; row < MaxRows; row++) {
    memset(transcriptTexts[row], 0, CaptionBytes);
    transcriptDurations[row] = 0;
  }
}

int ReadTranscript(FILE* transcript) {
  if (showText != 1 || !transcript) return 1;
  for (int row = 0;; row++) {
    char line[CaptionBytes];
    int got = ReadTranscriptLine(transcript, line);
    if (got < 0) {
      ClearCaptionsFrom(row);
      return 1;
    }
    if (row == MaxRows) {
      ShowRecordingString(IDS_TOO_MANY_ROWS);
      return 0;
    }
    if (got == 0 || !StoreCaptionLine(row, line)) {
      ShowFormatError("cvrText.dat", row + 1);
      return 0;
    }
  }
}

// Shift-JIS lead bytes: the byte after one is the second half of a character, and may be
// 0x5C (as in 表, ソ, 十, 能).
static bool IsLeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// Turns each backslash that stands for itself into a line break, in place.
static void BreakCaptionLines(char* text) {
  for (int i = 0; i < CaptionBytes && text[i]; i++) {
    if (IsLeadByte(static_cast<unsigned char>(text[i])))
      i++;
    else if (text[i] == '\\')
      text[i] = '\n';
  }
}

void ShowCaption(int row, LinkRecords* records) {
  if (showText != 1 || row < 0 || row >= MaxRows) return;
  char* text = transcriptTexts[row];
  if (text[0] == '0') return;
  BreakCaptionLines(text);
  AddWrite(records, OffsetCaptionText, CaptionTextSize, text);
  uint16_t seconds = uint16_t(transcriptDurations[row]);
  AddWrite(records, OffsetCaptionTime, sizeof seconds, &seconds);
}
