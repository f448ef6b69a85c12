#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "app/routines.h"
#include "app_fixture.h"
#include "core/exceptions.h"
#include "core/strings.h"

using testsupport::ReadBytes;

namespace {

std::string ReadText(const std::string& path) {
  auto bytes = ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

void WriteText(const std::string& path, const std::string& text) {
  testsupport::WriteBytes(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

}  // namespace

class SettingsTest : public AppTest {
 protected:
  // Writes plain lines as "config.inf" with the independent scrambler.
  void WriteConfig(const std::vector<std::string>& lines) {
    std::string plain;
    for (const auto& line : lines) plain += line + "\r\n";
    WriteText(Dir() + "config.inf", PythonScramble(plain, true));
  }
  std::vector<std::string> StoredLines() {
    return SplitLines(PythonScramble(ReadText(Dir() + "config.inf"), false));
  }
};

TEST_F(SettingsTest, NoConfigFileGivesEveryDefault) {
  CreateProgramInfo();
  TProgramInfo& p = ProgramInfo();
  EXPECT_TRUE(handler_.Boxes.empty());
  ASSERT_EQ(p.ImageFilter.Count(), 40);
  EXPECT_EQ(p.ImageFilter[0], "*.png");
  EXPECT_EQ(p.ImageFilter[33], "*.jpg");
  EXPECT_EQ(p.ImageFilter[39], "*.gif");
  EXPECT_EQ(p.LanguagePackNow, "english");
  EXPECT_EQ(p.LanguageDir, Dir() + "language");
  EXPECT_EQ(p.DefaultMarkPath, Dir());
  EXPECT_EQ(p.DefaultPreviewPath, Dir());
  EXPECT_EQ(p.DefaultSourceBackgroundPath, Dir() + "background");
  EXPECT_EQ(p.DefaultSourceFramePath, Dir() + "background");
  EXPECT_EQ(p.DefaultMaskPath, Dir() + "mask");
  EXPECT_EQ(p.GetMarkDir(), Dir() + "spm/");
  EXPECT_EQ(p.JpgCompress, 100);
  EXPECT_EQ(p.SlideDelay, 2000);
  EXPECT_EQ(p.ViewSolidColor, 9855488u);
  EXPECT_EQ(p.BmpColorSetup, 1);
  EXPECT_EQ(p.CfgSkin, 0);
  EXPECT_TRUE(p.AutoLocateOldPath && p.CfgAutoResize && p.KeepJpgCompress && p.GifEnablePalette &&
              p.BmpKeepColor && p.ViewShrinkFit && p.ViewImageViewMain && p.ViewShowToolbar);
  EXPECT_FALSE(p.EnableShellnook || p.GifEnableDither || p.GifMarkFirst || p.GifDisableAnimate ||
               p.ViewZoomFit || p.ViewAlwaysTop || p.ViewImageFullScreen || p.ViewHideMouse ||
               p.ViewEnableTiledImage || p.ViewShowFullPath || p.ZoomLock || p.LocationLock);
  EXPECT_EQ(p.ScratchBitmap.PixelFormat(), pf24bit);
  EXPECT_EQ(GetMessageText(99), "");
}

TEST_F(SettingsTest, EveryFieldSurvivesASaveAndANewStart) {
  CreateProgramInfo();
  {
    TProgramInfo& p = ProgramInfo();
    p.LanguagePackNow = "deutsch";
    p.CfgDefPath = "/photos/2024: summer";
    p.CfgAutoResize = false;
    p.OutputFileType = 4;
    p.AutoLocateOldPath = false;
    p.ExportPath = "/out/";
    p.DefaultMarkPath = "/m/";
    p.DefaultPreviewPath = "/p/";
    p.DefaultSourceBackgroundPath = "/bg";
    p.DefaultSourceFramePath = "/fr";
    p.DefaultMaskPath = "/mk";
    p.ImageFilter.Clear();
    p.ImageFilter.Add("*.jpg");
    p.ImageFilter.Add("*.Ünï");
    p.MarkMakeImageFile = "/s.jpg";
    p.ViewImageViewMain = false;
    p.EnableShellnook = true;
    p.CfgSkin = 3;
    p.KeepJpgCompress = false;
    p.JpgCompress = 55;
    p.GifEnablePalette = false;
    p.GifPalette = 7;
    p.GifEnableDither = true;
    p.GifDither = 6;
    p.GifCompress = 1;
    p.GifMarkFirst = true;
    p.GifDisableAnimate = true;
    p.BmpKeepColor = false;
    p.BmpColorSetup = 5;
    p.ViewShrinkFit = false;
    p.ViewZoomFit = p.ViewAlwaysTop = p.ViewImageFullScreen = p.ViewHideMouse = true;
    p.ViewEnableTiledImage = p.ViewShowFullPath = p.ZoomLock = p.LocationLock = true;
    p.ViewSolidColor = 0xFF00000F;
    p.ViewTiledImage = "/t.bmp";
    p.ViewShowToolbar = false;
    p.SlideSequence = 2;
    p.SlideDelay = 2147483647;
    ASSERT_TRUE(p.SaveConfig());
  }
  FreeProgramInfo();
  CreateProgramInfo();
  TProgramInfo& p = ProgramInfo();
  EXPECT_TRUE(handler_.Boxes.empty());
  EXPECT_EQ(p.LanguagePackNow, "deutsch");
  EXPECT_EQ(p.CfgDefPath, "/photos/2024: summer");
  EXPECT_FALSE(p.CfgAutoResize);
  EXPECT_EQ(p.OutputFileType, 4);
  EXPECT_FALSE(p.AutoLocateOldPath);
  EXPECT_EQ(p.ExportPath, "/out/");
  EXPECT_EQ(p.DefaultMarkPath, "/m/");
  EXPECT_EQ(p.DefaultPreviewPath, "/p/");
  EXPECT_EQ(p.DefaultSourceBackgroundPath, "/bg");
  EXPECT_EQ(p.DefaultSourceFramePath, "/fr");
  EXPECT_EQ(p.DefaultMaskPath, "/mk");
  EXPECT_EQ(p.ImageFilter.Lines(), (std::vector<std::string>{"*.jpg", "*.Ünï"}));
  EXPECT_EQ(p.MarkMakeImageFile, "/s.jpg");
  EXPECT_FALSE(p.ViewImageViewMain);
  EXPECT_TRUE(p.EnableShellnook);
  EXPECT_EQ(p.CfgSkin, 3);
  EXPECT_FALSE(p.KeepJpgCompress);
  EXPECT_EQ(p.JpgCompress, 55);
  EXPECT_FALSE(p.GifEnablePalette);
  EXPECT_EQ(p.GifPalette, 7);
  EXPECT_TRUE(p.GifEnableDither);
  EXPECT_EQ(p.GifDither, 6);
  EXPECT_EQ(p.GifCompress, 1);
  EXPECT_TRUE(p.GifMarkFirst && p.GifDisableAnimate);
  EXPECT_FALSE(p.BmpKeepColor);
  EXPECT_EQ(p.BmpColorSetup, 5);
  EXPECT_FALSE(p.ViewShrinkFit);
  EXPECT_TRUE(p.ViewZoomFit && p.ViewAlwaysTop && p.ViewImageFullScreen && p.ViewHideMouse);
  EXPECT_TRUE(p.ViewEnableTiledImage && p.ViewShowFullPath && p.ZoomLock && p.LocationLock);
  EXPECT_EQ(p.ViewSolidColor, 0xFF00000Fu);
  EXPECT_EQ(p.ViewTiledImage, "/t.bmp");
  EXPECT_FALSE(p.ViewShowToolbar);
  EXPECT_EQ(p.SlideSequence, 2);
  EXPECT_EQ(p.SlideDelay, 2147483647);
  EXPECT_EQ(GetConfigValue("ViewSolidColor"), "-16777201");
}

TEST_F(SettingsTest, NewFileIsScrambledLineByLineInTheWriteOrder) {
  CreateProgramInfo();
  ProgramInfo().ExportPath.clear();
  ASSERT_TRUE(ProgramInfo().SaveConfig());
  const std::string raw = ReadText(Dir() + "config.inf");
  ASSERT_GE(raw.size(), 2u);
  EXPECT_EQ(raw.substr(raw.size() - 2), "\r\n");
  std::vector<std::string> keys;
  for (const auto& line : StoredLines()) keys.push_back(line.substr(0, line.find('=')));
  // Empty texts (CfgDefPath, ExportPath, MarkMakeImageFile, ViewTiledImage)
  // have no line.
  const std::vector<std::string> expected = {
      "LanguagePackNow", "CfgAutoResize", "OutputFileType", "AutoLocateOldPath", "DefaultMarkPath",
      "DefaultPreviewPath", "DefaultSourceBackgroundPath", "DefaultSourceFramePath", "DefaultMaskPath",
      "ImageFilter", "EnableShellnook", "CfgSkin", "KeepJpgCompress", "JpgCompress", "GifEnablePalette",
      "GifPalette", "GifEnableDither", "GifDither", "GifCompress", "GifMarkFirst", "GifDisableAnimate",
      "BmpKeepColor", "BmpColorSetup", "ViewShrinkFit", "ViewZoomFit", "ViewAlwaysTop",
      "ViewImageFullScreen", "ViewHideMouse", "ViewEnableTiledImage", "ViewSolidColor",
      "ViewImageViewMain", "ViewShowToolbar", "ViewShowFullPath", "ZoomLock", "LocationLock",
      "SlideSequence", "SlideDelay"};
  EXPECT_EQ(keys, expected);
  EXPECT_EQ(StoredLines()[1], "CfgAutoResize=TRUE");
  EXPECT_EQ(GetConfigValue("CfgAutoResize"), "TRUE");
}

TEST_F(SettingsTest, ReadsAFileWrittenByTheOlderRules) {
  WriteConfig({"cfgskin=9", "JpgCompress=50", "JPGCOMPRESS=60", "GifEnableDither=true",
               "KeepJpgCompress=false", "EnableShellnook= TRUE ", "ImageFilter=*.a;*.B;",
               "GifCompress=2", "ViewSolidColor=-16777201", "Custom=keep=me", "no equals sign here",
               "CfgDefPath=C:\\old\\path", "ViewTiledImage=", "viewtiledimage=/second.bmp"});
  CreateProgramInfo();
  TProgramInfo& p = ProgramInfo();
  EXPECT_EQ(p.CfgSkin, 4);
  EXPECT_EQ(p.JpgCompress, 50);
  EXPECT_FALSE(p.GifEnableDither);
  EXPECT_TRUE(p.KeepJpgCompress);
  EXPECT_TRUE(p.EnableShellnook);
  EXPECT_EQ(p.ImageFilter.Lines(), (std::vector<std::string>{"*.a", "*.B", ""}));
  EXPECT_EQ(p.GifCompress, 0);
  EXPECT_EQ(p.ViewSolidColor, 0xFF00000Fu);
  EXPECT_EQ(p.CfgDefPath, "C:\\old\\path");
  EXPECT_TRUE(IsImageFile("/x/y.b", p.ImageFilter));
  EXPECT_TRUE(handler_.Boxes.empty());

  // Unknown lines survive a save unchanged and in place; a known key is
  // rewritten, in its own spelling, where its first line stands.
  ASSERT_TRUE(p.SaveConfig());
  ASSERT_TRUE(p.SaveConfig());
  const auto lines = StoredLines();
  ASSERT_GE(lines.size(), 12u);
  EXPECT_EQ(lines[0], "CfgSkin=4");
  EXPECT_EQ(lines[2], "JPGCOMPRESS=60");
  EXPECT_EQ(lines[9], "Custom=keep=me");
  EXPECT_EQ(lines[10], "no equals sign here");
  // The empty first line of a key counts, and saving it empty drops the
  // later duplicate too, so the next start sees the same empty text.
  EXPECT_EQ(p.ViewTiledImage, "");
  for (const auto& line : lines) EXPECT_EQ(LowerCase(line).rfind("viewtiledimage", 0), std::string::npos);
}

TEST_F(SettingsTest, UnusableNumbersKeepOnlyTheirOwnDefaults) {
  ForceDirectories(Dir() + "language");
  WriteText(Dir() + "language/klingon", "111=Settings\r\n9100=Unusable:\r\n401=qaStaH\r\n");
  WriteConfig({"CfgSkin=1.5", "OutputFileType=3", "JpgCompress= 80", "GifPalette=300", "SlideDelay=-5",
               "BmpColorSetup=abc", "GifDither=-", "SlideSequence=99999999999999999999999",
               "ViewSolidColor=4294967296", "LanguagePackNow=klingon", "ViewZoomFit=TRUE"});
  CreateProgramInfo();
  TProgramInfo& p = ProgramInfo();
  EXPECT_EQ(p.CfgSkin, 0);
  EXPECT_EQ(p.OutputFileType, 3);
  EXPECT_EQ(p.JpgCompress, 100);
  EXPECT_EQ(p.GifPalette, 0);
  EXPECT_EQ(p.SlideDelay, 2000);
  EXPECT_EQ(p.BmpColorSetup, 1);
  EXPECT_EQ(p.GifDither, 0);
  EXPECT_EQ(p.SlideSequence, 0);
  EXPECT_EQ(p.ViewSolidColor, 9855488u);
  EXPECT_TRUE(p.ViewZoomFit);
  // The language is loaded in spite of the bad values.
  EXPECT_EQ(GetMessageText(401), "qaStaH");

  // One warning names exactly the values that look numeric but are not
  // usable; plain junk falls back silently as it always did.
  ASSERT_EQ(handler_.Boxes.size(), 1u);
  EXPECT_EQ(handler_.Boxes[0].Kind, mkWarning);
  EXPECT_EQ(handler_.Boxes[0].Caption, "Settings");
  EXPECT_EQ(handler_.Boxes[0].Text,
            "Unusable:\nCfgSkin=1.5\nGifPalette=300\nGifDither=-\nViewSolidColor=4294967296\n"
            "SlideSequence=99999999999999999999999\nSlideDelay=-5");
}

TEST_F(SettingsTest, LineBreaksInAPathRoundTrip) {
  CreateProgramInfo();
  ProgramInfo().CfgDefPath = "/a\r\nb\nc\r[#1";
  ASSERT_TRUE(ProgramInfo().SaveConfig());
  bool found = false;
  for (const auto& line : StoredLines()) {
    if (line.rfind("CfgDefPath=", 0) == 0) {
      EXPECT_EQ(line, "CfgDefPath=/a[#13][#10]b[#10]c[#13][#1");
      found = true;
    }
  }
  EXPECT_TRUE(found);
  FreeProgramInfo();
  CreateProgramInfo();
  EXPECT_EQ(ProgramInfo().CfgDefPath, "/a\r\nb\nc\r[#1");
}

TEST_F(SettingsTest, FailedSaveKeepsThePlainLinesAndTheOldFile) {
  WriteConfig({"Custom=ü value", "JpgCompress=70"});
  CreateProgramInfo();
  TProgramInfo& p = ProgramInfo();
  const std::string before = ReadText(Dir() + "config.inf");
  // A folder where the file should land makes the write fail.
  const std::string blocker = Dir() + "config.inf";
  ASSERT_EQ(std::rename(blocker.c_str(), (Dir() + "saved.inf").c_str()), 0);
  ASSERT_TRUE(ForceDirectories(blocker + "/inside"));
  p.JpgCompress = 20;
  EXPECT_FALSE(p.SaveConfig());
  ASSERT_EQ(handler_.Boxes.size(), 1u);
  EXPECT_EQ(handler_.Boxes[0].Kind, mkError);
  EXPECT_EQ(GetConfigValue("Custom"), "ü value");
  EXPECT_EQ(GetConfigValue("JpgCompress"), "20");

  std::filesystem::remove_all(blocker);
  ASSERT_EQ(std::rename((Dir() + "saved.inf").c_str(), blocker.c_str()), 0);
  EXPECT_EQ(ReadText(blocker), before);
  EXPECT_TRUE(p.SaveConfig());
  const auto lines = StoredLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "Custom=ü value");
  EXPECT_EQ(lines[1], "JpgCompress=20");
}

TEST_F(SettingsTest, LanguageFilesAreLookedUpByNumber) {
  ForceDirectories(Dir() + "language");
  WriteText(Dir() + "language/english", "\xEF\xBB\xBF" "99=Stampwise\r\n401=Missing = folder\n");
  CreateProgramInfo();
  EXPECT_EQ(GetMessageText(99), "Stampwise");
  EXPECT_EQ(GetMessageText(401), "Missing = folder");
  EXPECT_EQ(GetMessageText(402), "");
  // A missing language file keeps the texts that are there.
  ProgramInfo().LanguagePackNow = "nowhere";
  ProgramInfo().LoadLanguage();
  EXPECT_EQ(GetMessageText(99), "Stampwise");
  FreeProgramInfo();
  EXPECT_EQ(GetMessageText(99), "");
  EXPECT_EQ(GetConfigValue("CfgSkin"), "");

  // A chosen language whose file has gone: at start, with no texts yet,
  // the English ones stand in rather than leaving every window blank; the
  // choice is kept for the next save.
  WriteText(Dir() + "config.inf", PythonScramble("LanguagePackNow=gone\r\n", true));
  CreateProgramInfo();
  EXPECT_EQ(ProgramInfo().LanguagePackNow, "gone");
  EXPECT_EQ(GetMessageText(99), "Stampwise");
  FreeProgramInfo();
  EXPECT_THROW(ProgramInfo(), Exception);
}

// A settings file that exists but cannot be read must not be replaced by
// the defaults this run fell back to. File permissions do not bind root, so
// as root the start is made by a child process that gave its rights up.
TEST_F(SettingsTest, UnreadableFileIsNeverReplacedByDefaults) {
  WriteConfig({"JpgCompress=70"});
  const std::string name = Dir() + "config.inf";
  const std::string before = ReadText(name);
  ASSERT_EQ(::chmod(Dir().c_str(), 0777), 0);
  ASSERT_EQ(::chmod(name.c_str(), 0), 0);
  auto attempt = [&]() -> int {
    CreateProgramInfo();
    TProgramInfo& p = ProgramInfo();
    if (!p.ConfigUnreadable) return 1;
    if (p.JpgCompress == 70) return 2;
    p.JpgCompress = 20;
    if (p.SaveConfig()) return 3;
    if (handler_.Boxes.empty() || handler_.Boxes.back().Kind != mkError ||
        handler_.Boxes.back().Text.find(name) == std::string::npos) {
      return 4;
    }
    return 0;
  };
  if (::geteuid() == 0) {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(5);
      ::_exit(attempt());
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0)
        << "1: not marked unreadable, 2: read anyway, 3: saved, 4: no error naming the file, 5: no setuid";
  } else {
    EXPECT_EQ(attempt(), 0);
  }
  ASSERT_EQ(::chmod(name.c_str(), 0644), 0);
  EXPECT_EQ(ReadText(name), before);

  // Once readable again, the next save goes through and keeps the file's lines.
  FreeProgramInfo();
  CreateProgramInfo();
  EXPECT_FALSE(ProgramInfo().ConfigUnreadable);
  EXPECT_EQ(ProgramInfo().JpgCompress, 70);
  EXPECT_TRUE(ProgramInfo().SaveConfig());
}
