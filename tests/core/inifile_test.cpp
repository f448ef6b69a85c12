#include "core/inifile.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "core/exceptions.h"
#include "core/files.h"
#include "support/test_support.h"

using testsupport::TempDir;

namespace {

void WriteText(const std::string& name, const std::string& text) {
  testsupport::WriteBytes(name, std::vector<std::uint8_t>(text.begin(), text.end()));
}

std::string ReadText(const std::string& name) {
  std::vector<std::uint8_t> bytes = testsupport::ReadBytes(name);
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace

TEST(IniFile, SectionsAndKeysIgnoreCaseAndKeepTheirOrder) {
  TempDir dir;
  const std::string name = dir.File("stampwise.ini");
  WriteText(name,
            "stray=before any section\r\n"
            "[frmMain Position]\r\n"
            "Left=10\r\n"
            "  Top = 20  \r\n"
            "; a comment\r\n"
            "no equals sign\r\n"
            "left=99\r\n"
            "\r\n"
            "[frmSetup Position]\n"
            "Width=300\n"
            "[FRMMAIN POSITION]\r"
            "Height=400\r");
  TIniFile ini(name);
  EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"frmMain Position", "frmSetup Position"}));
  EXPECT_EQ(ini.ReadSection("frmmain position"), (std::vector<std::string>{"Left", "Top", "Height"}));
  EXPECT_EQ(ini.ReadInteger("FRMMAIN position", "LEFT", -1), 10);  // the first of two keys
  EXPECT_EQ(ini.ReadString("frmMain Position", "top", ""), "20");
  EXPECT_EQ(ini.ReadInteger("frmMain Position", "Height", 0), 400);
  EXPECT_EQ(ini.ReadInteger("frmSetup Position", "Width", 0), 300);
  EXPECT_EQ(ini.ReadString("frmSetup Position", "Left", "default"), "default");
  EXPECT_EQ(ini.ReadString("nowhere", "stray", "default"), "default");
  EXPECT_TRUE(ini.SectionExists("FRMSETUP POSITION"));
  EXPECT_FALSE(ini.SectionExists("frmViewImage Position"));
  EXPECT_TRUE(ini.ValueExists("frmmain position", "height"));
  EXPECT_FALSE(ini.ValueExists("frmmain position", "WindowState"));
}

TEST(IniFile, IntegersFallBackToTheDefault) {
  TempDir dir;
  TIniFile ini(dir.File("numbers.ini"));
  struct Case {
    const char* Text;
    int Expected;
  };
  const Case cases[] = {
      {"42", 42},           {"-42", -42},         {"+7", 7},
      {"0x1F", 31},         {"$ff", 255},         {"-$10", -16},
      {"$FFFFFFFF", -1},    {"0x80000000", INT_MIN},
      {"2147483647", INT_MAX},                    {"-2147483648", INT_MIN},
      {"2147483648", -5},   {"-2147483649", -5},  {"$100000000", -5},
      {"99999999999999999999999", -5},
      {"", -5},             {"abc", -5},          {"12abc", -5},
      {"1 2", -5},          {"- 3", -5},          {"--3", -5},
      {"0x", -5},           {"$", -5},            {"-", -5},
      {"0x0x5", -5},        {"0x-5", -5},         {"1.5", -5},
  };
  for (const Case& k : cases) {
    ini.WriteString("N", "v", k.Text);
    EXPECT_EQ(ini.ReadInteger("N", "v", -5), k.Expected) << '"' << k.Text << '"';
  }
  EXPECT_EQ(ini.ReadInteger("N", "missing", 123), 123);
  ini.WriteBool("N", "b", true);
  EXPECT_EQ(ini.ReadString("N", "b", ""), "1");
  EXPECT_TRUE(ini.ReadBool("N", "b", false));
  ini.WriteString("N", "b", "0");
  EXPECT_FALSE(ini.ReadBool("N", "b", true));
  EXPECT_TRUE(ini.ReadBool("N", "nothing", true));
  ini.WriteInteger("N", "i", INT_MIN);
  EXPECT_EQ(ini.ReadInteger("N", "i", 0), INT_MIN);
}

TEST(IniFile, WritesKeepOrderAndLandWithCrLfOnUpdate) {
  TempDir dir;
  const std::string name = dir.File("stampwise.ini");
  {
    TIniFile ini(name);
    ini.WriteInteger("frmMain Position", "WindowState", 0);
    ini.WriteInteger("frmMain Position", "Left", 5);
    ini.WriteInteger("frmViewImage Position", "Left", 7);
    ini.WriteInteger("FRMMAIN POSITION", "left", 6);  // the existing key, its old spelling kept
    EXPECT_FALSE(FileExists(name));                    // nothing before UpdateFile
    ini.UpdateFile();
  }
  EXPECT_EQ(ReadText(name),
            "[frmMain Position]\r\nWindowState=0\r\nLeft=6\r\n\r\n[frmViewImage Position]\r\nLeft=7\r\n");

  TIniFile again(name);
  again.DeleteKey("frmmain position", "WINDOWSTATE");
  again.EraseSection("FRMVIEWIMAGE POSITION");
  again.DeleteKey("nowhere", "x");
  again.EraseSection("nowhere");
  again.UpdateFile();
  EXPECT_EQ(ReadText(name), "[frmMain Position]\r\nLeft=6\r\n");
  EXPECT_EQ(again.Text(), "[frmMain Position]\r\nLeft=6\r\n");

  // An unchanged INI that exists is not rewritten; a missing one is made.
  WriteText(name, "[frmMain Position]\r\nLeft=6\r\n; kept as it is\r\n");
  TIniFile unchanged(name);
  unchanged.WriteInteger("frmMain Position", "Left", 6);
  unchanged.UpdateFile();
  EXPECT_EQ(ReadText(name), "[frmMain Position]\r\nLeft=6\r\n; kept as it is\r\n");
  TIniFile empty(dir.File("new.ini"));
  empty.UpdateFile();
  EXPECT_TRUE(FileExists(dir.File("new.ini")));
  EXPECT_EQ(ReadText(dir.File("new.ini")), "");
}

TEST(IniFile, LineBreaksInWrittenTextCannotSmuggleInKeys) {
  TempDir dir;
  const std::string name = dir.File("x.ini");
  TIniFile ini(name);
  ini.WriteString("S", "Caption", "one\r\n[Evil]\r\nLeft=1");
  ini.WriteString("S", "Key\nLeft", " padded ");
  ini.UpdateFile();
  TIniFile back(name);
  EXPECT_EQ(back.ReadSections(), (std::vector<std::string>{"S"}));
  EXPECT_EQ(back.ReadString("S", "Caption", ""), ini.ReadString("S", "Caption", "?"));
  EXPECT_EQ(back.ReadString("S", "Key Left", ""), "padded");
  EXPECT_FALSE(back.ValueExists("S", "Left"));
}

TEST(IniFile, AnUpdateIntoAMissingFolderRaises) {
  TempDir dir;
  TIniFile ini(dir.File("missing/folder/x.ini"));
  ini.WriteInteger("S", "k", 1);
  EXPECT_THROW(ini.UpdateFile(), EFCreateError);
}

TEST(IniFile, TextInMemoryReadsLikeAFileAndHasNoFileToUpdate) {
  const std::string text = "\xEF\xBB\xBF[First]\r\nKey=1\nkey=2\r[first]\r\nOther = b \r\n";
  TempDir dir;
  WriteText(dir.File("same.ini"), text);
  const TIniFile fromFile(dir.File("same.ini"));
  TIniFile fromText = TIniFile::FromText(text);
  EXPECT_EQ(fromText.Text(), fromFile.Text());
  EXPECT_EQ(fromText.ReadInteger("FIRST", "KEY", 0), 1);
  EXPECT_EQ(fromText.ReadString("First", "Other", ""), "b");
  EXPECT_EQ(fromText.FileName(), "");
  fromText.WriteInteger("First", "Key", 3);
  EXPECT_THROW(fromText.UpdateFile(), EFCreateError);
}
