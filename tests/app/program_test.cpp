// The real program under Wine beside the simulator stand-in program, driven as a user does.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "app/app.h"
#include "control.h"
#include "link/offsets.h"
#include "clock.h"
#include "program_driver.h"
#include "recording/recording.h"
#include "replay/replay.h"
#include "replay_follow.h"
#include "stand_in.h"
#include "temp_dir.h"
#include "../voice/vox_calls.h"

namespace {

// A working folder as a user installs the program: data\, sound\ and Vox.dll.
std::string MakeWorkFolder(bool withVox) {
  std::string work = MakeTempDir();
  CopyTree(std::string(OSTAVIN_SAMPLE_DIR) + "\\data", work + "\\data");
  CopyTree(std::string(OSTAVIN_SAMPLE_DIR) + "\\sound", work + "\\sound");
  if (withVox) CopyFileA(OSTAVIN_VOX, (work + "\\Vox.dll").c_str(), FALSE);
  return work;
}

// Shift-JIS texts as the user sees them.
const char ClosingNotice[] = "\x8f\x49\x97\xb9\x82\xb5\x82\xdc\x82\xb7";  // 終了します
const char DataMissingText[] =  // datファイルが開けません
    "dat\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xaa\x8a\x4a\x82\xaf\x82\xdc\x82\xb9\x82\xf1";

const char NoStartRowText[] =  // 開始時刻のデータがありません
    "\x8a\x4a\x8e\x6e\x8e\x9e\x8d\x8f\x82\xcc\x83\x66\x81\x5b\x83\x5e\x82\xaa\x82\xa0\x82\xe8\x82"
    "\xdc"
    "\x82\xb9\x82\xf1";

const char FsxTitle[] = "Microsoft Flight Simulator X";

// A text of the string table, as the program's wide calls load it.
std::wstring TableString(UINT id) {
  wchar_t text[StringBufferSize] = L"";
  EXPECT_GT(LoadStringW(GetModuleHandleA(nullptr), id, text, StringBufferSize), 0) << id;
  return text;
}

// The system's code page that this run stands for: 932, or the one ctest names.
UINT RunCodePage() {
  const char* named = getenv("OSTAVIN_CODE_PAGE");
  return named ? UINT(atoi(named)) : 932;
}

std::string FileText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Keeps the first `lines` lines of every file of the recording.
void CutRecording(const std::string& work, int lines) {
  const char* files[] = {"vrn505Roll.dat",    "vrn505Pitch.dat",    "vrn505Heading.dat",
                         "vrn505Alt.dat",     "vrn505Tas.dat",      "vrn505LatLon.dat",
                         "vrn505Alieron.dat", "vrn505Elevator.dat", "cvrText.dat"};
  for (const char* name : files) {
    std::string path = work + "\\data\\" + name, text = FileText(path);
    ASSERT_FALSE(text.empty()) << path;
    size_t end = 0;
    for (int n = 0; n < lines && end < text.size(); n++)
      end = std::min(text.find('\n', end), text.size() - 1) + 1;
    ASSERT_TRUE(WriteTestFile(path, text.substr(0, end))) << path;
  }
}

class Program : public ::testing::Test {
 protected:
  void SetUp() override { work = MakeWorkFolder(true); }

  void TearDown() override {
    KillProcess(app);
    CloseProcess(&app);
    StopStandIn(&standIn);
    // The program sends only records of the offsets it uses, each in its direction.
    EXPECT_EQ(UnexpectedRecords(ReadLog(standIn.log)), "");
    RemoveTree(work);
  }

  void StartSimulator(const std::string& args = "--rate 10") {
    ASSERT_TRUE(StartStandIn(OSTAVIN_SIMULATOR, work, "--headless " + args, &standIn));
  }

  // Starts the program and waits for its dialog (a message box has no start list).
  void StartProgram() {
    ASSERT_TRUE(StartProcess(exe, "", work, &app));
    ASSERT_TRUE(WaitFor(
        [&] {
          for (HWND window : driver::WindowsOf(app.id, "#32770", DisplayName))
            if (GetDlgItem(window, IDC_START_LIST) && IsWindowVisible(window)) dialog = window;
          return dialog != nullptr;
        },
        10000));
  }

  std::vector<LoggedWrite> LoggedWrites() { return Writes(ReadLog(standIn.log)); }

  void ExpectWideBox(const std::wstring& text) {
    SeenBox box;
    ASSERT_TRUE(WaitBox(app.id, 10000, &box));
    EXPECT_EQ(box.caption, DisplayName);
    EXPECT_EQ(box.wideText, text);
  }

  // A message box of the program as the user sees it: caption, text, no owner, one OK.
  void ExpectBox(const char* caption, const char* text) {
    SeenBox box;
    ASSERT_TRUE(WaitBox(app.id, 10000, &box)) << text;
    EXPECT_EQ(box.caption, caption);
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(box.buttons, std::vector<std::string>{"OK"});
  }

  // Waits until the log holds a write to the offset after the first `skip` writes of it.
  bool WaitWrite(unsigned offset, size_t count, DWORD timeoutMs) {
    return WaitFor(
        [&] {
          size_t seen = 0;
          for (const LoggedWrite& w : LoggedWrites()) seen += w.offset == offset;
          return seen >= count;
        },
        timeoutMs);
  }

  bool SimPaused() {
    int16_t paused = 0;
    for (const LoggedWrite& w : LoggedWrites())
      if (w.offset == OffsetPause) paused = w.bytes != "0000";
    return paused != 0;
  }

  // Exit as the user asks for it; the closing notice follows and the process ends.
  void ExpectOrderlyEnd(const char* how) {
    DWORD pressed = GetTickCount();
    SeenBox notice;
    ASSERT_TRUE(WaitBox(app.id, 2000, &notice)) << how << ": no closing notice";
    EXPECT_LE(GetTickCount() - pressed, 2000u) << how;
    EXPECT_EQ(notice.caption, DisplayName) << how;
    EXPECT_EQ(notice.text, ClosingNotice) << how;
    EXPECT_EQ(notice.owner, nullptr) << how;
    DWORD code = 99;
    ASSERT_TRUE(WaitProcessExit(app, 2000, &code)) << how;
    EXPECT_EQ(code, 0u) << how;
    CloseProcess(&app);
  }

  std::string work;
  std::string exe = OSTAVIN_PROGRAM;
  StandIn standIn;
  Process app;
  HWND dialog = nullptr;
};

// The placement's expected bytes, from the sample recording loaded here as the program does.
std::vector<std::pair<unsigned, std::string>> Placement(const std::string& work, int row) {
  char previous[MAX_PATH];
  GetCurrentDirectoryA(sizeof previous, previous);
  SetCurrentDirectoryA(work.c_str());
  showText = 1;
  EXPECT_EQ(LoadFlightData(), 1);
  SetCurrentDirectoryA(previous);
  int16_t pause = 1;
  int32_t heading = int32_t(ToSimField(headingTable[row]));
  int32_t pitch = int32_t(ToSimField(pitchTable[row]));
  int32_t bank = int32_t(ToSimField(rollTable[row]));
  int64_t altitude = ToSimField(altitudeTable[row]);
  int64_t latitude = ToSimField(latitudeTable[row]);
  int64_t longitude = ToSimField(longitudeTable[row]);
  return {{OffsetPause, Hex(&pause, 2)},        {OffsetHeading, Hex(&heading, 4)},
          {OffsetPitch, Hex(&pitch, 4)},        {OffsetBank, Hex(&bank, 4)},
          {OffsetAltitude, Hex(&altitude, 8)},  {OffsetLatitude, Hex(&latitude, 8)},
          {OffsetLongitude, Hex(&longitude, 8)}};
}

// The exchange that holds the placement: seven writes, in order, and nothing else.
void ExpectPlacement(const std::vector<LoggedWrite>& writes, int exchange,
                     const std::vector<std::pair<unsigned, std::string>>& expected) {
  std::vector<std::pair<unsigned, std::string>> sent;
  for (const LoggedWrite& w : writes)
    if (w.exchange == exchange) sent.push_back({w.offset, w.bytes});
  EXPECT_EQ(sent, expected);
}

int PlacementExchange(const std::vector<LoggedWrite>& writes, size_t nth) {
  size_t seen = 0;
  for (const LoggedWrite& w : writes)
    if (w.offset == OffsetHeading) {
      size_t inExchange = 0;
      for (const LoggedWrite& other : writes) inExchange += other.exchange == w.exchange;
      if (inExchange == 7 && seen++ == nth) return w.exchange;
    }
  return -1;
}

TEST_F(Program, StartPausesAndPlacesThenFliesAfterResumeAndRestartsAnew) {
  StartSimulator("--rate 10");
  StartProgram();
  driver::Press(dialog, IDOK);
  ASSERT_TRUE(WaitWrite(OffsetPause, 1, 10000));
  ASSERT_TRUE(WaitFor([&] { return PlacementExchange(LoggedWrites(), 0) > 0; }, 5000));
  auto writes = LoggedWrites();
  ExpectPlacement(writes, PlacementExchange(writes, 0), Placement(work, 0));
  EXPECT_TRUE(SimPaused());
  EXPECT_NE(
      WindowText(standIn.main).find("Microsoft Flight Simulator X - VRN505 Ostavin [ 24:00 ]"),
      std::string::npos);

  // Paused, nothing is flown: the frames begin only after the resume.
  size_t headings = 0;
  for (const LoggedWrite& w : writes) headings += w.offset == OffsetHeading;
  Command(standIn, ControlResume);
  ASSERT_TRUE(WaitWrite(OffsetHeading, headings + 20, 10000));
  ASSERT_TRUE(
      WaitFor([&] { return WindowText(standIn.main).find("[ 24:0") != std::string::npos; }, 5000));

  // A second Start, from 29:00 and without voice, stops the first replay and starts anew.
  driver::SelectListEntry(dialog, IDC_START_LIST, 5);
  driver::SetChecked(dialog, IDC_PLAY_VOICE, false);
  driver::Press(dialog, IDOK);
  ASSERT_TRUE(WaitFor([&] { return PlacementExchange(LoggedWrites(), 1) > 0; }, 10000));
  writes = LoggedWrites();
  ExpectPlacement(writes, PlacementExchange(writes, 1), Placement(work, 300));
  ASSERT_TRUE(WaitFor(
      [&] { return WindowText(standIn.main).find("[ 29:00 ]") != std::string::npos; }, 5000));
  driver::Press(dialog, IDCANCEL);
  ExpectOrderlyEnd("exit after restart");
  EXPECT_EQ(WindowText(standIn.main), FsxTitle);
}

// ---- The flight log ----------------------------------------------------------------------

// VRN505Ostavin\ in the local application data folder, where the log goes when the exe's
// folder cannot take it.
std::string FallbackLogFolder() {
  char base[MAX_PATH] = "";
  SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, base);
  return std::string(base) + "\\VRN505Ostavin";
}

// A folder by the log's name: the program cannot write its log there.
void BlockLog(const std::string& folder) {
  std::string path = folder + "\\VRN505Ostavin.log";
  DeleteFileA(path.c_str());
  CreateDirectoryA(folder.c_str(), nullptr);
  ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr)) << path;
}

bool IsFolder(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A run that started the last minute, flew it to its end and left by the dialog.
void ExpectFlightLog(const std::string& path) {
  std::string log = FileText(path);
  EXPECT_EQ(log.compare(0, 22, "start version=2.2.0.1 "), 0) << path << ": " << log.substr(0, 80);
  const char* records[] = {
      "\r\nlink result=0 fsuipc=0x",
      "\r\nreplay n=1 start=5600 voice=1 captions=1 latlon=1\r\n",
      "\r\nwindow found=1 title=\"Microsoft Flight Simulator X - VRN505 Ostavin\"\r\n",
      "\r\nrow tc=5600 frames=",
      "\r\nrow tc=5626 frames=",
      "\r\nsummary n=1 rows=27 frames="};
  for (const char* record : records) EXPECT_NE(log.find(record), std::string::npos) << record;
  const std::string exit = "\r\nexit reason=dialog\r\n";
  EXPECT_EQ(log.rfind(exit), log.size() - exit.size()) << path;
}

// Exit by the button, by Esc and by the close box, in each state of a replay. The program
// runs from the working folder: at the end its flight log goes there (the previous run's
// kept), then to the local application data folder when a folder holds the log's name, and
// nowhere when both do, with nothing else changed.
TEST_F(Program, EveryWayOutEndsWithinTwoSecondsInEveryState) {
  exe = work + "\\VRN505Ostavin.exe";
  ASSERT_TRUE(CopyFileA(OSTAVIN_PROGRAM, exe.c_str(), FALSE));
  const std::string fallback = FallbackLogFolder();
  // At x4 the last minute's 27 rows take about 7 s: long enough to be seen replaying on a
  // busy machine, short enough to wait for the end.
  StartSimulator("--rate 4");
  enum State { Idle, Replaying, Paused, Ended };
  const char* stateNames[] = {"idle", "replaying", "paused", "ended"};
  const char* wayNames[] = {"exit button", "Esc", "close box"};
  for (int state = Idle; state <= Ended; state++) {
    for (int way = 0; way < 3; way++) {
      std::string how = std::string(wayNames[way]) + " while " + stateNames[state];
      SCOPED_TRACE(how);
      if (state == Ended && way == 1) {
        BlockLog(work);
        DeleteFileA((fallback + "\\VRN505Ostavin.log").c_str());
      }
      if (state == Ended && way == 2) BlockLog(fallback);
      dialog = nullptr;
      StartProgram();
      size_t pauses = 0;
      for (const LoggedWrite& w : LoggedWrites()) pauses += w.offset == OffsetPause;
      if (state != Idle) {
        // The last minute, so that the replay reaches its end quickly.
        driver::SelectListEntry(dialog, IDC_START_LIST, 32);
        driver::Press(dialog, IDOK);
        ASSERT_TRUE(WaitWrite(OffsetPause, pauses + 1, 10000));
        Command(standIn, ControlResume);
        ASSERT_TRUE(WaitFor(
            [&] { return WindowText(standIn.main).find("[ 56:0") != std::string::npos; }, 10000));
      }
      if (state == Paused) Command(standIn, ControlPause);
      if (state == Ended) {
        Command(standIn, ControlClockRate, 40000);  // the rest of the minute in about a second
        ASSERT_TRUE(WaitWrite(OffsetPause, pauses + 2, 20000));
        EXPECT_NE(WindowText(standIn.main).find("[ 56:26 ]"), std::string::npos);
      }
      if (way == 0) driver::Press(dialog, IDCANCEL);
      if (way == 1) driver::PressKey(app, dialog, VK_ESCAPE);
      if (way == 2) driver::PressCloseBox(dialog);
      ExpectOrderlyEnd(how.c_str());
      if (state != Idle) {
        EXPECT_EQ(WindowText(standIn.main), FsxTitle);
      }
      if (state == Ended && way == 0) {
        ExpectFlightLog(work + "\\VRN505Ostavin.log");
        std::string previous = FileText(work + "\\VRN505Ostavin.1.log");
        EXPECT_EQ(previous.compare(0, 6, "start "), 0);
        EXPECT_NE(previous.find("\r\nexit reason=dialog\r\n"), std::string::npos);
      }
      if (state == Ended && way == 1) ExpectFlightLog(fallback + "\\VRN505Ostavin.log");
      if (state == Ended && way == 2) {
        EXPECT_TRUE(IsFolder(work + "\\VRN505Ostavin.log"));
        EXPECT_TRUE(IsFolder(fallback + "\\VRN505Ostavin.log"));
      }
      Command(standIn, ControlResume);
      Command(standIn, ControlClockRate, 4000);
    }
  }
  RemoveTree(fallback);
}

TEST_F(Program, SecondCopyEndsAtOnceAndShowsNothing) {
  StartSimulator();
  StartProgram();
  Process second;
  ASSERT_TRUE(StartProcess(OSTAVIN_PROGRAM, "", work, &second));
  DWORD code = 99;
  EXPECT_TRUE(WaitProcessExit(second, 5000, &code));
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(driver::WindowsOf(second.id, nullptr, nullptr).empty());
  CloseProcess(&second);
  driver::Press(dialog, IDCANCEL);
  ExpectOrderlyEnd("exit after a second copy");
}

TEST_F(Program, WithoutASimulatorTheLinkBoxThenTheClosingNotice) {
  ASSERT_TRUE(StartProcess(OSTAVIN_PROGRAM, "", work, &app));
  ExpectBox("VRN505: Failed to open link to FSUIPC", "Cannot link to FSUIPC");
  ExpectOrderlyEnd("after the link box");
}

// A Start that cannot fly tells why and sends nothing, neither the pause nor a placement, and
// leaves the title alone: a data file missing, then a recording that ends before the chosen
// minute. The dialog stays usable: a Start within the recording places the aircraft.
TEST_F(Program, StartThatCannotFlyTellsWhyAndStartsNothing) {
  CutRecording(work, 100);
  std::string elevator = work + "\\data\\vrn505Elevator.dat", kept = FileText(elevator);
  DeleteFileA(elevator.c_str());
  StartSimulator();
  StartProgram();
  driver::SelectListEntry(dialog, IDC_START_LIST, 32);
  for (const char* text : {DataMissingText, NoStartRowText}) {
    driver::Press(dialog, IDOK);
    ExpectBox(DisplayName, text);
    ASSERT_TRUE(driver::Settled(dialog, 5000));  // Start has returned: it sent what it sends
    for (const LoggedWrite& w : LoggedWrites()) {
      EXPECT_NE(w.offset, OffsetPause) << text;
      EXPECT_NE(w.offset, OffsetHeading) << text;
    }
    EXPECT_EQ(WindowText(standIn.main), FsxTitle);
    ASSERT_TRUE(WriteTestFile(elevator, kept));  // the file comes back
  }
  driver::SelectListEntry(dialog, IDC_START_LIST, 0);  // within the 100 rows
  driver::Press(dialog, IDOK);
  EXPECT_TRUE(WaitWrite(OffsetPause, 1, 10000));
  driver::Press(dialog, IDCANCEL);
  ExpectOrderlyEnd("exit after the starts that could not fly");
}

// The dialog as it opens, the options ticked and the first minute chosen; read back in
// UTF-16, the texts on screen are the string table's whatever the system's code page: ctest
// runs this under 932 and again under 1252 (app_program_cp1252_test).
TEST_F(Program, TextsOnScreenAreTheStringTablesUnderEveryCodePage) {
  ASSERT_EQ(GetACP(), RunCodePage());
  std::string elevator = work + "\\data\\vrn505Elevator.dat";
  DeleteFileA(elevator.c_str());
  ASSERT_TRUE(WriteTestFile(work + "\\data\\cvrText.dat", "24:00\t0\t0\r\nno tabs\r\n"));
  StartSimulator();
  StartProgram();
  EXPECT_EQ(WindowText(dialog), "VRN505 Ostavin");
  for (int id : {IDC_PLAY_VOICE, IDC_SHOW_TEXT, IDC_FOLLOW_LATLON}) {
    EXPECT_TRUE(driver::Checked(dialog, id)) << id;
    EXPECT_TRUE(driver::Enabled(dialog, id)) << id;
  }
  EXPECT_EQ(driver::ItemText(dialog, IDOK), "OK");
  std::vector<std::string> minutes = driver::ListEntries(dialog, IDC_START_LIST);
  ASSERT_EQ(minutes.size(), 33u);
  for (int i = 0; i < 33; i++) EXPECT_EQ(minutes[i], std::to_string(24 + i));
  EXPECT_EQ(driver::ListSelection(dialog, IDC_START_LIST), 0);
  EXPECT_EQ(driver::FocusOf(app), GetDlgItem(dialog, IDC_START_LIST));
  const struct {
    int control;
    UINT id;
  } items[] = {{IDC_PLAY_VOICE, IDS_PLAY_VOICE},
               {IDC_SHOW_TEXT, IDS_SHOW_TEXT},
               {IDC_START_LABEL, IDS_START_TIME},
               {IDCANCEL, IDS_EXIT},
               {IDC_FOLLOW_LATLON, IDS_FOLLOW_LATLON}};
  for (const auto& item : items)
    EXPECT_EQ(WideWindowText(GetDlgItem(dialog, item.control)), TableString(item.id)) << item.id;
  driver::Press(dialog, IDOK);
  ExpectWideBox(TableString(IDS_DATA_FILE_MISSING));
  CopyFileA((std::string(OSTAVIN_SAMPLE_DIR) + "\\data\\vrn505Elevator.dat").c_str(),
            elevator.c_str(), FALSE);
  driver::Press(dialog, IDOK);
  ExpectWideBox(L"cvrText.dat の書式がおかしいです\n2行目");
  driver::Press(dialog, IDCANCEL);
  ExpectWideBox(TableString(IDS_CLOSING_NOTICE));
  DWORD code = 99;
  ASSERT_TRUE(WaitProcessExit(app, 5000, &code));
  EXPECT_EQ(code, 0u);
}

TEST_F(Program, WithoutVoxTheVoiceBoxIsClearedAndGreyedAndTheReplayRuns) {
  DeleteFileA((work + "\\Vox.dll").c_str());
  StartSimulator();
  StartProgram();
  EXPECT_FALSE(driver::Checked(dialog, IDC_PLAY_VOICE));
  EXPECT_FALSE(driver::Enabled(dialog, IDC_PLAY_VOICE));
  driver::Press(dialog, IDOK);
  ASSERT_TRUE(WaitWrite(OffsetPause, 1, 10000));
  Command(standIn, ControlResume);
  EXPECT_TRUE(WaitWrite(OffsetHeading, 20, 10000));
  EXPECT_FALSE(AnyBox(app.id));
  driver::Press(dialog, IDCANCEL);
  ExpectOrderlyEnd("exit without Vox.dll");
}

// Where each Ogg page of a clip ends.
std::vector<size_t> PageEnds(const std::string& clip) {
  std::vector<size_t> ends;
  for (size_t at = 0; at + 27 <= clip.size();) {
    size_t segments = static_cast<unsigned char>(clip[at + 26]), body = 0;
    for (size_t i = 0; i < segments && at + 27 + i < clip.size(); ++i)
      body += static_cast<unsigned char>(clip[at + 27 + i]);
    at += 27 + segments + body;
    ends.push_back(at);
  }
  return ends;
}

// Clips damaged as a download or a disk leaves them, in the replay's last two minutes and a
// half: 54:30 with flipped bits in its sound and 55:38 garbage after the capture pattern do
// not open, and each gets its box, which the user answers once the replay has entered the
// clip's row; 55:00, cut short in its last page, plays up to the cut. The replay flies on to
// its end, 56:00 plays in step, and the program ends as after any replay.
TEST_F(Program, DamagedClipsGetTheirBoxesAndTheReplayFliesOnInStep) {
  std::string sound = work + "\\sound\\";
  std::string flipped = FileText(sound + "5430.ogg"), cut = FileText(sound + "5500.ogg");
  std::vector<size_t> flippedPages = PageEnds(flipped), cutPages = PageEnds(cut);
  ASSERT_GE(flippedPages.size(), 3u);
  ASSERT_GE(cutPages.size(), 4u) << "two pages of sound, so that some plays before the cut";
  flipped[(flippedPages[1] + flippedPages[2]) / 2] ^= 0x10;
  ASSERT_TRUE(WriteTestFile(sound + "5430.ogg", flipped));
  ASSERT_TRUE(WriteTestFile(sound + "5500.ogg",
                            cut.substr(0, (cutPages[cutPages.size() - 2] + cut.size()) / 2)));
  std::string garbage = "OggS";
  for (int i = 0; i < 3000; ++i) garbage += char(i * 7919 % 251);
  ASSERT_TRUE(WriteTestFile(sound + "5538.ogg", garbage));

  std::string voxLog = work + "\\vox.log";
  SetEnvironmentVariableA("VOX_LOG", voxLog.c_str());
  StartSimulator("--rate 20");
  StartProgram();
  SetEnvironmentVariableA("VOX_LOG", nullptr);
  double began = PerformanceMs();
  driver::SelectListEntry(dialog, IDC_START_LIST, 54 - FirstStartMinute);
  driver::Press(dialog, IDOK);
  ASSERT_TRUE(WaitWrite(OffsetPause, 1, 10000));
  Command(standIn, ControlResume);
  std::vector<std::string> boxes;
  bool ended = driver::FollowReplay(standIn, 20, true, 1, 90000, [&](const std::string& clock) {
    SeenBox box;
    if (clock.empty() || !WaitBox(app.id, 0, &box, false)) return;
    size_t name = box.text.find("sound\\");
    TimeCode clip = name == std::string::npos ? 0 : atoi(box.text.c_str() + name + 6);
    if (driver::ClockSeconds(clock) < TimeCodeToSeconds(clip)) return;
    ASSERT_TRUE(WaitBox(app.id, 1000, &box));
    EXPECT_EQ(box.caption, DisplayName);
    EXPECT_EQ(box.buttons, std::vector<std::string>{"OK"});
    boxes.push_back(box.text);
  });
  ASSERT_TRUE(ended) << "the replay did not reach 56:26";
  EXPECT_EQ(boxes, (std::vector<std::string>{"Cannot open sound file :\nsound\\5430.ogg",
                                             "Cannot open sound file :\nsound\\5538.ogg"}));
  EXPECT_TRUE(SimPaused());
  driver::Press(dialog, IDCANCEL);
  ExpectOrderlyEnd("exit after the damaged clips");
  EXPECT_EQ(WindowText(standIn.main), FsxTitle);

  // Each clip's Opens; the last start of 56:00 against the moment its row began.
  std::vector<VoxCallRecord> calls = ParseVoxCalls(FileText(voxLog));
  std::map<std::string, std::string> opened;
  int opens = 0, refused = 0;
  double lastStart = 0;
  for (const VoxCallRecord& call : calls) {
    if (call.operation == "Open") opened[call.file] = call.result;
    opens += call.operation == "Open";
    refused += call.operation == "Open" && call.result == "refused";
    if (call.operation == "Play" && call.file == "sound\\5600.ogg") lastStart = call.ms;
  }
  EXPECT_EQ(opened, (std::map<std::string, std::string>{{"sound\\5430.ogg", "refused"},
                                                        {"sound\\5500.ogg", "ok"},
                                                        {"sound\\5538.ogg", "refused"},
                                                        {"sound\\5600.ogg", "ok"}}));
  double rowBegan = 0;
  for (const LogLine& line : ReadLog(standIn.log))
    if (rowBegan == 0 && line.count("meaning") &&
        line.at("meaning").find("[ 56:00 ]") != std::string::npos)
      rowBegan = atof(line.at("real").c_str());
  ASSERT_GT(rowBegan, 0);
  printf(
      "damaged clips: %d Opens, %d refused, %zu boxes; 56:00 started %+.1f ms from its row; "
      "%.1f s in all\n",
      opens, refused, boxes.size(), lastStart - rowBegan, (PerformanceMs() - began) / 1000);
  EXPECT_LE(std::abs(lastStart - rowBegan), 250) << "56:00 out of step with its row";
}

}  // namespace
