// Every key of "config.inf" on its own: what a fresh program writes, how
// each key's value is read (kind, range, fallback) and that a key changes
// its own line and no other. The expected lines were taken from the
// program as it stood before its keys were described by one table, so
// they pin the file format rather than restate the table.

#include <string>
#include <utility>
#include <vector>

#include "app_fixture.h"
#include "core/strings.h"

namespace {

// Every key in the order of the lines of a new file, with the value a
// fresh program writes; "@" stands for the program folder, and an empty
// value means the key has no line.
const std::vector<std::pair<std::string, std::string>> kFreshFile = {
    {"LanguagePackNow", "english"},
    {"CfgDefPath", ""},
    {"CfgAutoResize", "TRUE"},
    {"OutputFileType", "0"},
    {"AutoLocateOldPath", "TRUE"},
    {"ExportPath", ""},
    {"DefaultMarkPath", "@"},
    {"DefaultPreviewPath", "@"},
    {"DefaultSourceBackgroundPath", "@background"},
    {"DefaultSourceFramePath", "@background"},
    {"DefaultMaskPath", "@mask"},
    {"ImageFilter",
     "*.png;*.psp;*.cut;*.pcd;*.pic;*.cel;*.pbm;*.pgm;*.ppm;*.pdd;*.psd;*.bw;*.rgb;*.rgba;*.sgi;"
     "*.rla;*.rpf;*.scr;*.pcc;*.pcx;*.eps;*.fax;*.tif;*.tiff;*.icb;*.tga;*.vda;*.vst;*.win;*.dib;"
     "*.rle;*.jpeg;*.jpe;*.jpg;*.jfif;*.emf;*.wmf;*.ico;*.bmp;*.gif"},
    {"EnableShellnook", "FALSE"},
    {"CfgSkin", "0"},
    {"KeepJpgCompress", "TRUE"},
    {"JpgCompress", "100"},
    {"GifEnablePalette", "TRUE"},
    {"GifPalette", "0"},
    {"GifEnableDither", "FALSE"},
    {"GifDither", "0"},
    {"GifCompress", "0"},
    {"MarkMakeImageFile", ""},
    {"GifMarkFirst", "FALSE"},
    {"GifDisableAnimate", "FALSE"},
    {"BmpKeepColor", "TRUE"},
    {"BmpColorSetup", "1"},
    {"ViewShrinkFit", "TRUE"},
    {"ViewZoomFit", "FALSE"},
    {"ViewAlwaysTop", "FALSE"},
    {"ViewImageFullScreen", "FALSE"},
    {"ViewHideMouse", "FALSE"},
    {"ViewEnableTiledImage", "FALSE"},
    {"ViewSolidColor", "9855488"},
    {"ViewTiledImage", ""},
    {"ViewImageViewMain", "TRUE"},
    {"ViewShowToolbar", "TRUE"},
    {"ViewShowFullPath", "FALSE"},
    {"ZoomLock", "FALSE"},
    {"LocationLock", "FALSE"},
    {"SlideSequence", "0"},
    {"SlideDelay", "2000"},
};

std::string InFolder(const std::string& value, const std::string& folder) {
  return !value.empty() && value[0] == '@' ? folder + value.substr(1) : value;
}

// The lines a program writes into an empty list: the fresh file, with one
// key's value replaced when key is given.
std::vector<std::string> ExpectedLines(const std::string& folder, const std::string& key = "",
                                       const std::string& value = "") {
  std::vector<std::string> lines;
  for (const auto& [k, v] : kFreshFile) {
    const std::string written = InFolder(k == key ? value : v, folder);
    if (!written.empty()) lines.push_back(k + "=" + written);
  }
  return lines;
}

class SettingsKeysTest : public AppTest {
 protected:
  // Reads the given plain lines as "config.inf" and returns what the
  // settings write back into an empty list.
  std::vector<std::string> ReadAndWrite(const std::vector<std::string>& lines) {
    TProgramInfo& p = ProgramInfo();
    p.ConfigLines.Clear();
    for (const auto& line : lines) p.ConfigLines.Add(line);
    p.ReadSettings();
    p.ConfigLines.Clear();
    p.WriteSettings();
    return p.ConfigLines.Lines();
  }
};

}  // namespace

TEST_F(SettingsKeysTest, FreshProgramWritesEveryDefaultInTheFileOrder) {
  CreateProgramInfo();
  ASSERT_TRUE(ProgramInfo().SaveConfig());
  const std::string file = Dir() + "config.inf";
  const auto first = testsupport::ReadBytes(file);
  const std::string plain = PythonScramble(std::string(first.begin(), first.end()), false);
  EXPECT_EQ(SplitLines(plain), ExpectedLines(Dir()));

  // Read back by a new start and saved again, the file is the same to
  // the byte.
  FreeProgramInfo();
  CreateProgramInfo();
  ASSERT_TRUE(ProgramInfo().SaveConfig());
  EXPECT_EQ(testsupport::ReadBytes(file), first);
  EXPECT_TRUE(handler_.Boxes.empty());
}

// Each row puts one key into an otherwise empty file. The key must be read
// by its own rule and written back as `written` (empty: no line), while
// every other key keeps its default line; `reported` says whether the value
// lands in the list of unusable numbers.
TEST_F(SettingsKeysTest, EachKeyIsReadByItsRuleAndTouchesOnlyItsOwnLine) {
  struct Case {
    const char* key;
    const char* value;
    const char* written;
    bool reported;
  };
  const Case cases[] = {
      // Texts: kept as they are, blanks included.
      {"CfgDefPath", "/photos/a=b", "/photos/a=b", false},
      {"CfgDefPath", "  ", "  ", false},
      {"ExportPath", "/out/", "/out/", false},
      {"MarkMakeImageFile", "/s.jpg", "/s.jpg", false},
      {"ViewTiledImage", "/t.bmp", "/t.bmp", false},
      // Texts with a fallback: a blank value takes the default.
      {"LanguagePackNow", "deutsch", "deutsch", false},
      {"LanguagePackNow", " x ", " x ", false},
      {"LanguagePackNow", "  ", "english", false},
      {"DefaultMarkPath", "/m/", "/m/", false},
      {"DefaultMarkPath", " ", "@", false},
      {"DefaultPreviewPath", "/p/", "/p/", false},
      {"DefaultPreviewPath", " ", "@", false},
      {"DefaultSourceBackgroundPath", "/bg", "/bg", false},
      {"DefaultSourceBackgroundPath", " ", "@background", false},
      {"DefaultSourceFramePath", "/fr", "/fr", false},
      {"DefaultSourceFramePath", " ", "@background", false},
      {"DefaultMaskPath", "/mk", "/mk", false},
      {"DefaultMaskPath", " ", "@mask", false},
      // Flags: the loop below tries every one; only EnableShellnook
      // forgives blanks around its word.
      {"EnableShellnook", " TRUE\t", "TRUE", false},
      {"CfgAutoResize", " FALSE", "TRUE", false},
      // Bytes beyond the loop below: junk falls back silently.
      {"OutputFileType", " 3", "0", false},
      {"OutputFileType", "abc", "0", false},
      {"SlideSequence", "99999999999999999999999", "0", true},
      // The skin: a byte, and above 4 the last skin.
      {"CfgSkin", "3", "3", false},
      {"CfgSkin", "9", "4", false},
      {"CfgSkin", "255", "4", false},
      {"CfgSkin", "256", "0", true},
      // The slideshow delay: 0 to the largest 32-bit number.
      {"SlideDelay", "0", "0", false},
      {"SlideDelay", "2147483647", "2147483647", false},
      {"SlideDelay", "2147483648", "2000", true},
      {"SlideDelay", "-1", "2000", true},
      // The viewer's colour: any 32-bit pattern, signed or not, written
      // signed.
      {"ViewSolidColor", "0", "0", false},
      {"ViewSolidColor", "-16777201", "-16777201", false},
      {"ViewSolidColor", "4294967295", "-1", false},
      {"ViewSolidColor", "2147483648", "-2147483648", false},
      {"ViewSolidColor", "-2147483648", "-2147483648", false},
      {"ViewSolidColor", "4294967296", "9855488", true},
      {"ViewSolidColor", "-2147483649", "9855488", true},
      // GIF compression: "1" or nothing.
      {"GifCompress", "1", "1", false},
      {"GifCompress", "2", "0", false},
      {"GifCompress", "01", "0", false},
      // The image patterns: an empty value keeps the defaults.
      {"ImageFilter", "*.a;*.B;", "*.a;*.B;", false},
      {"ImageFilter", ";", ";", false},
  };
  CreateProgramInfo();
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.key) + "=" + c.value);
    EXPECT_EQ(ReadAndWrite({std::string(c.key) + "=" + c.value}), ExpectedLines(Dir(), c.key, c.written));
    const std::vector<std::string> reported =
        c.reported ? std::vector<std::string>{std::string(c.key) + "=" + c.value} : std::vector<std::string>{};
    EXPECT_EQ(ProgramInfo().UnreadableSettings, reported);
  }

  // Every flag: only the other word, exactly as written, changes it.
  for (const auto& [key, fresh] : kFreshFile) {
    if (fresh != "TRUE" && fresh != "FALSE") continue;
    SCOPED_TRACE(key);
    const std::string other = fresh == "TRUE" ? "FALSE" : "TRUE";
    EXPECT_EQ(ReadAndWrite({key + "=" + other}), ExpectedLines(Dir(), key, other));
    EXPECT_EQ(ReadAndWrite({key + "=" + LowerCase(other)}), ExpectedLines(Dir()));
    EXPECT_EQ(ReadAndWrite({key + "=yes"}), ExpectedLines(Dir()));
    if (key != "EnableShellnook") {
      EXPECT_EQ(ReadAndWrite({key + "= " + other}), ExpectedLines(Dir()));
    }
  }

  // Every byte takes 0 to 255 and reports what lies beyond.
  for (const char* key :
       {"OutputFileType", "JpgCompress", "GifPalette", "GifDither", "BmpColorSetup", "SlideSequence"}) {
    SCOPED_TRACE(key);
    for (const char* value : {"0", "17", "255"}) {
      EXPECT_EQ(ReadAndWrite({std::string(key) + "=" + value}), ExpectedLines(Dir(), key, value));
      EXPECT_TRUE(ProgramInfo().UnreadableSettings.empty());
    }
    for (const char* value : {"256", "-1", "2.5"}) {
      EXPECT_EQ(ReadAndWrite({std::string(key) + "=" + value}), ExpectedLines(Dir()));
      EXPECT_EQ(ProgramInfo().UnreadableSettings, std::vector<std::string>{std::string(key) + "=" + value});
    }
  }

  // An empty value is the key's default, and so is a file without it.
  for (const auto& [key, value] : kFreshFile) {
    SCOPED_TRACE(key);
    EXPECT_EQ(ReadAndWrite({key + "="}), ExpectedLines(Dir()));
  }
  EXPECT_EQ(ReadAndWrite({}), ExpectedLines(Dir()));
}

// Unusable numbers are reported in the order the settings are read, which
// is not the order of the file's lines.
TEST_F(SettingsKeysTest, UnusableNumbersAreReportedInTheReadingOrder) {
  CreateProgramInfo();
  ReadAndWrite({"SlideDelay=-5", "SlideSequence=300", "ViewSolidColor=4294967296", "BmpColorSetup=-",
                "GifDither=1.5", "GifPalette=256", "JpgCompress=-1", "CfgSkin=256", "OutputFileType=256"});
  EXPECT_EQ(ProgramInfo().UnreadableSettings,
            (std::vector<std::string>{"CfgSkin=256", "OutputFileType=256", "JpgCompress=-1", "GifPalette=256",
                                      "GifDither=1.5", "BmpColorSetup=-", "ViewSolidColor=4294967296",
                                      "SlideSequence=300", "SlideDelay=-5"}));
}
