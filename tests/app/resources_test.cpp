// The resources read back from the built program: dialog template, string table, icon,
// version record and manifest.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const WORD Japanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);

class Resources : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    program = LoadLibraryExA(OSTAVIN_PROGRAM, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  }
  static void TearDownTestSuite() { FreeLibrary(program); }

  static std::vector<uint8_t> Resource(LPCSTR type, LPCSTR name, WORD language) {
    HRSRC found = FindResourceExA(program, type, name, language);
    if (!found) return {};
    const uint8_t* bytes = static_cast<const uint8_t*>(LockResource(LoadResource(program, found)));
    return std::vector<uint8_t>(bytes, bytes + SizeofResource(program, found));
  }
  static HMODULE program;
};
HMODULE Resources::program;

// Reads a dialog template field by field.
struct Reader {
  const uint8_t* at;
  uint16_t Word() {
    uint16_t value;
    memcpy(&value, at, 2);
    at += 2;
    return value;
  }
  uint32_t Dword() { return Word() | uint32_t(Word()) << 16; }
  int16_t Short() { return int16_t(Word()); }
  std::string Text() {  // a zero-terminated UTF-16 string, ASCII expected
    std::string text;
    while (uint16_t c = Word()) text += char(c);
    return text;
  }
  std::string ClassOrText() {  // an ordinal (0xFFFF, n) becomes "#n"
    uint16_t first;
    memcpy(&first, at, 2);
    if (first != 0xFFFF) return Text();
    Word();
    return "#" + std::to_string(Word());
  }
  void Align() {
    while (reinterpret_cast<uintptr_t>(at) % 4) at++;
  }
};

struct Control {
  uint32_t id;
  const char* windowClass;  // ordinal of the predefined class
  const char* text;
  uint32_t style;
  int16_t x, y, cx, cy;
};

TEST_F(Resources, DialogTemplateHasTheLayoutTheDialogCodeExpects) {
  ASSERT_NE(program, nullptr) << OSTAVIN_PROGRAM;
  std::vector<uint8_t> bytes = Resource(RT_DIALOG, MAKEINTRESOURCEA(102), Japanese);
  ASSERT_FALSE(bytes.empty());
  Reader r{bytes.data()};
  EXPECT_EQ(r.Word(), 1);       // version
  EXPECT_EQ(r.Word(), 0xFFFF);  // extended template
  EXPECT_EQ(r.Dword(), 0u);     // help id
  EXPECT_EQ(r.Dword(), 0u);     // extended style
  EXPECT_EQ(r.Dword(), uint32_t(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_SETFONT |
                                DS_MODALFRAME | DS_CENTER));
  ASSERT_EQ(r.Word(), 9);
  EXPECT_EQ(r.Short(), 0);
  EXPECT_EQ(r.Short(), 0);
  EXPECT_EQ(r.Short(), 122);
  EXPECT_EQ(r.Short(), 89);
  EXPECT_EQ(r.ClassOrText(), "");  // no menu
  EXPECT_EQ(r.ClassOrText(), "");  // the standard dialog class
  EXPECT_EQ(r.Text(), "VRN505 Ostavin");
  EXPECT_EQ(r.Word(), 9);    // points
  EXPECT_EQ(r.Word(), 400);  // weight
  EXPECT_EQ(*r.at++, 0);     // not italic
  EXPECT_EQ(*r.at++, 128);   // SHIFTJIS_CHARSET
  EXPECT_EQ(r.Text(), "MS UI Gothic");

  const uint32_t child = WS_CHILD | WS_VISIBLE;
  const Control controls[] = {
      {1013, "#130", "Start Time:", child | WS_GROUP | SS_LEFT, 6, 51, 33, 8},
      {1012, "#133", "", child | WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWNLIST | CBS_NOINTEGRALHEIGHT,
       42, 48, 42, 120},
      {1004, "#128", "Play CVR", child | WS_TABSTOP | BS_AUTOCHECKBOX, 7, 7, 107, 10},
      {1008, "#128", "Display text", child | WS_TABSTOP | BS_AUTOCHECKBOX, 7, 20, 107, 10},
      {IDOK, "#128", "OK", child | WS_TABSTOP | BS_DEFPUSHBUTTON, 7, 68, 50, 14},
      {IDCANCEL, "#128", "Cancel", child | WS_TABSTOP | BS_PUSHBUTTON, 63, 68, 50, 14},
      {0xFFFFFFFF, "#130", "min", child | WS_GROUP | SS_LEFT, 90, 51, 11, 8},
      {0xFFFFFFFF, "#130", "Ver2.20", child | WS_GROUP | SS_LEFT, 96, 0, 23, 8},
      {1015, "#128", "LatLon", child | WS_TABSTOP | BS_AUTOCHECKBOX, 7, 32, 107, 11},
  };
  for (const Control& c : controls) {
    SCOPED_TRACE(c.text);
    r.Align();
    EXPECT_EQ(r.Dword(), 0u);  // help id
    EXPECT_EQ(r.Dword(), 0u);  // extended style
    EXPECT_EQ(r.Dword(), c.style);
    EXPECT_EQ(r.Short(), c.x);
    EXPECT_EQ(r.Short(), c.y);
    EXPECT_EQ(r.Short(), c.cx);
    EXPECT_EQ(r.Short(), c.cy);
    EXPECT_EQ(r.Dword(), c.id);
    EXPECT_EQ(r.ClassOrText(), c.windowClass);
    EXPECT_EQ(r.ClassOrText(), c.text);
    EXPECT_EQ(r.Word(), 0);  // no creation data
  }
  EXPECT_LE(r.at, bytes.data() + bytes.size());
}

TEST_F(Resources, StringTableHoldsTheJapaneseTextsInCodePage932) {
  ASSERT_EQ(GetACP(), 932u) << "run under LC_ALL=ja_JP.UTF-8";
  const struct {
    UINT id;
    const char* text;
  } strings[] = {
      {103, "\x8f\x49\x97\xb9\x82\xb5\x82\xdc\x82\xb7"},  // 終了します
      {104, "\x83\x7b\x83\x43\x83\x58\x83\x8c\x83\x52\x81\x5b\x83\x5f\x81\x5b\x8d\xc4\x90\xb6"},
      {105, "\x8e\x9a\x96\x8b\x95\x5c\x8e\xa6"},   // 字幕表示
      {106, "\x8a\x4a\x8e\x6e\x8e\x9e\x8d\x8f:"},  // 開始時刻:
      {107, "\x8f\x49\x97\xb9"},                   // 終了
      {108, "dat\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xaa\x8a\x4a\x82\xaf\x82\xdc\x82\xb9\x82\xf1"},
      {109, "\x83\x66\x81\x5b\x83\x5e\x8d\x73\x82\xaa\x91\xbd\x89\xdf\x82\xac\x82\xdc\x82\xb7"},
      {110,
       "\x8b\xad\x90\xa7\x93\x49\x82\xc9\x88\xdc\x93\x78\x8c\x6f\x93\x78\x82\xf0\x92\x48\x82\xe9"},
  };
  for (const auto& s : strings) {
    char text[128] = "";
    EXPECT_GT(LoadStringA(program, s.id, text, sizeof text), 0) << s.id;
    EXPECT_STREQ(text, s.text) << s.id;
  }
  // The table holds nothing else: its blocks are those of ids 96-111 only.
  EXPECT_FALSE(Resource(RT_STRING, MAKEINTRESOURCEA(103 / 16 + 1), Japanese).empty());
  char text[128];
  EXPECT_EQ(LoadStringA(program, 102, text, sizeof text), 0);
  EXPECT_EQ(LoadStringA(program, 111, text, sizeof text), 0);
}

TEST_F(Resources, IconGroupHoldsOne32By32SixteenColourImage) {
  std::vector<uint8_t> group = Resource(RT_GROUP_ICON, MAKEINTRESOURCEA(101), Japanese);
  if (group.empty()) group = Resource(RT_GROUP_ICON, MAKEINTRESOURCEA(101), 0);
  ASSERT_EQ(group.size(), 6u + 14u);
  Reader r{group.data()};
  EXPECT_EQ(r.Word(), 0);
  EXPECT_EQ(r.Word(), 1);  // icon
  EXPECT_EQ(r.Word(), 1);  // one image
  EXPECT_EQ(group[6], 32);
  EXPECT_EQ(group[7], 32);
  EXPECT_EQ(group[8], 16);  // colours
  r.at = group.data() + 10;
  EXPECT_EQ(r.Word(), 1);  // planes
  EXPECT_EQ(r.Word(), 4);  // bits per pixel
  r.at = group.data() + 18;
  EXPECT_EQ(r.Word(), 1);  // image id
}

TEST_F(Resources, VersionRecordIs2201ForJapanese) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(OSTAVIN_PROGRAM, &ignored);
  ASSERT_GT(size, 0u);
  std::vector<uint8_t> info(size);
  ASSERT_TRUE(GetFileVersionInfoA(OSTAVIN_PROGRAM, 0, size, info.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00020002u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00020002u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);
  EXPECT_EQ(fixed->dwFileFlagsMask, 0x17u);
  EXPECT_EQ(fixed->dwFileFlags, 0u);
  EXPECT_EQ(fixed->dwFileOS, DWORD(VOS__WINDOWS32));
  EXPECT_EQ(fixed->dwFileType, DWORD(VFT_APP));
  WORD* translation = nullptr;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&translation), &length));
  ASSERT_EQ(length, 4u);
  EXPECT_EQ(translation[0], 0x0411);
  EXPECT_EQ(translation[1], 1200);
  const struct {
    const char* name;
    const char* value;
  } fields[] = {{"Comments", "Ver 2.20 (11 Aug 2007)"},
                {"FileVersion", "2, 2, 0, 1"},
                {"ProductVersion", "2, 2, 0, 1"}};
  for (const auto& field : fields) {
    char* value = nullptr;
    std::string path = std::string("\\StringFileInfo\\041104b0\\") + field.name;
    ASSERT_TRUE(
        VerQueryValueA(info.data(), path.c_str(), reinterpret_cast<void**>(&value), &length))
        << field.name;
    EXPECT_STREQ(value, field.value);
  }
}

// The program's own processor, for itself and its common controls: Windows refuses the X86
// controls to a 64-bit process.
TEST_F(Resources, ManifestAsksForCommonControls6ForItsOwnProcessor) {
#ifdef _WIN64
  const char* architecture = "processorArchitecture=\"amd64\"";
#else
  const char* architecture = "processorArchitecture=\"X86\"";
#endif
  std::vector<uint8_t> bytes = Resource(MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(1), Japanese);
  if (bytes.empty()) bytes = Resource(MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(1), 0);
  std::string manifest(bytes.begin(), bytes.end());
  EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\""), std::string::npos);
  EXPECT_NE(manifest.find("version=\"6.0.0.0\""), std::string::npos);
  size_t first = manifest.find(architecture);
  ASSERT_NE(first, std::string::npos);
  EXPECT_NE(manifest.find(architecture, first + 1), std::string::npos);
  EXPECT_NE(manifest.find("language=\"*\""), std::string::npos);
}

}  // namespace
