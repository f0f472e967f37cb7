// Replay start: the user's choices from the dialog, the data, the worker threads, then the
// aircraft paused and placed at the start row.
#include <windows.h>

#include "app/app.h"  // the dialog's control ids
#include "link/link.h"
#include "link/offsets.h"
#include "recording/recording.h"  // LoadFlightData and the start row's tables
#include "replay/replay.h"
#include "voice/voice.h"  // VoiceThread, started beside the replay thread

static int32_t Checked(HWND dialog, int control) {
  return IsDlgButtonChecked(dialog, control) == BST_CHECKED ? 1 : 0;
}

// The list always holds a selection; an index outside it is taken as the first minute, so
// that no start row lies outside the tables.
static int32_t ReadStartSelection(HWND dialog) {
  LRESULT selection = SendMessageA(GetDlgItem(dialog, IDC_START_LIST), CB_GETCURSEL, 0, 0);
  if (selection < 0 || selection >= StartListEntries) return 0;
  return int32_t(selection);
}

static void ReadChoices(HWND dialog) {
  startSelection = ReadStartSelection(dialog);
  playVoice = Checked(dialog, IDC_PLAY_VOICE);
  showText = Checked(dialog, IDC_SHOW_TEXT);
  followLatLon = Checked(dialog, IDC_FOLLOW_LATLON);
  char startTime[16];
  wsprintfA(startTime, "%d00", startSelection + FirstStartMinute);
  currentRow = StartRow(startTime);
}

// Pause, then heading, pitch, bank, altitude, latitude and longitude of the start row, in
// one exchange that the replay thread's first exchanges cannot split.
static void PlaceAircraft() {
  int row = currentRow;
  const int16_t pause = 1;
  const int32_t heading = int32_t(ToSimField(headingTable[row]));
  const int32_t pitch = int32_t(ToSimField(pitchTable[row]));
  const int32_t bank = int32_t(ToSimField(rollTable[row]));
  const int64_t altitude = ToSimField(altitudeTable[row]);
  const int64_t latitude = ToSimField(latitudeTable[row]);
  const int64_t longitude = ToSimField(longitudeTable[row]);
  LinkRecords records = {};
  AddWrite(&records, OffsetPause, 2, &pause);
  AddWrite(&records, OffsetHeading, 4, &heading);
  AddWrite(&records, OffsetPitch, 4, &pitch);
  AddWrite(&records, OffsetBank, 4, &bank);
  AddWrite(&records, OffsetAltitude, 8, &altitude);
  AddWrite(&records, OffsetLatitude, 8, &latitude);
  AddWrite(&records, OffsetLongitude, 8, &longitude);
  LinkResult result;
  int placed = LinkExchange(&records, &result);
  if (!placed) ShowAsciiMessageBox(linkResultMessages[result], LinkFailureCaption);
}

// The recording holds no row for the chosen start minute.
static const wchar_t NoStartRowMessage[] = L"開始時刻のデータがありません";

void StartReplay(HWND dialog) {
  ReadChoices(dialog);
  if (!LoadFlightData()) return;
  // A recording that ends before the chosen minute would place the aircraft at rows that
  // this load did not fill; nothing starts and the simulator is left as it is.
  if (currentRow >= loadedRows) {
    ShowMessageBox(NoStartRowMessage);
    return;
  }
  stopRequested = 0;
  replayEnded = 0;
  if (playVoice) voiceThreadHandle = CreateThread(nullptr, 0, VoiceThread, nullptr, 0, nullptr);
  replayThreadHandle = CreateThread(nullptr, 0, ReplayThread, nullptr, 0, nullptr);
  RaiseSimWindow();
  ShowClockInTitle(currentRow);
  PlaceAircraft();
}
