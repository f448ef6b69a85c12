#include "core/strings.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "core/exceptions.h"
#include "support/test_support.h"

using Lines = std::vector<std::string>;

TEST(TextHelpers, CaseFoldingTouchesAsciiLettersOnly) {
  EXPECT_EQ(LowerCase("AbC-Ä"), "abc-Ä");
  EXPECT_EQ(UpperCase("aBc-ä"), "ABC-ä");
  EXPECT_TRUE(SameText("Config.INF", "config.inf"));
  EXPECT_FALSE(SameText("Ä", "ä"));
  EXPECT_FALSE(SameText("abc", "abcd"));
  EXPECT_LT(CompareText("abc", "ABD"), 0);
  EXPECT_GT(CompareText("b", "A"), 0);
  EXPECT_LT(CompareText("ab", "abc"), 0);
  EXPECT_EQ(CompareText("", ""), 0);
  EXPECT_GT(CompareText("\xC3", "z"), 0);  // bytes compare unsigned
  EXPECT_EQ(Trim(" \t\r\n x y \x01"), "x y");
  EXPECT_EQ(Trim("   "), "");
}

TEST(TextHelpers, Utf8PrefixNeverCutsACharacter) {
  const std::string text = "a\xC3\xA4\xE5\xAE\x8B\xF0\x9F\x98\x80z";  // a, ä (2), 宋 (3), emoji (4), z
  EXPECT_EQ(Utf8Prefix(text, 100), text);
  EXPECT_EQ(Utf8Prefix(text, 0), "");
  EXPECT_EQ(Utf8Prefix(text, 1), "a");
  EXPECT_EQ(Utf8Prefix(text, 2), "a");
  EXPECT_EQ(Utf8Prefix(text, 3), "a\xC3\xA4");
  EXPECT_EQ(Utf8Prefix(text, 5), "a\xC3\xA4");
  EXPECT_EQ(Utf8Prefix(text, 6), "a\xC3\xA4\xE5\xAE\x8B");
  EXPECT_EQ(Utf8Prefix(text, 9), "a\xC3\xA4\xE5\xAE\x8B");
  EXPECT_EQ(Utf8Prefix(text, 10), "a\xC3\xA4\xE5\xAE\x8B\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf8Prefix(text, 11), text);
}

TEST(TextHelpers, SplitLinesOnCrLfCrOrLf) {
  EXPECT_EQ(SplitLines("a\r\nb\rc\nd"), (Lines{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitLines("a\n\nb\n"), (Lines{"a", "", "b"}));
  EXPECT_EQ(SplitLines("a\r\n"), (Lines{"a"}));
  EXPECT_EQ(SplitLines("\r\n"), (Lines{""}));
  EXPECT_EQ(SplitLines("\n\r"), (Lines{"", ""}));  // LF then a lone CR
  EXPECT_EQ(SplitLines(""), (Lines{}));
  EXPECT_EQ(SplitLines("x\r\r\ny"), (Lines{"x", "", "y"}));
}

TEST(StringList, NamesValuesAndLookups) {
  TStringList list;
  list.SetText("Left=10\r\nplain line\r\nTOP=20\r\nleft=99\r\n=nameless\r\nWidth==5");
  EXPECT_EQ(list.Count(), 6);
  EXPECT_EQ(list.IndexOfName("left"), 0);  // case-insensitive, the first wins
  EXPECT_EQ(list.Values("LEFT"), "10");
  EXPECT_EQ(list.Values("top"), "20");
  EXPECT_EQ(list.Values("plain line"), "");  // a line without "=" has no name
  EXPECT_EQ(list.IndexOfName("plain line"), -1);
  EXPECT_EQ(list.IndexOfName(""), 4);        // the nameless line's name
  EXPECT_EQ(list.IndexOfName("width"), 5);   // the name ends at the first "="
  EXPECT_EQ(list.IndexOfName("Width="), -1); // so no name holds one
  EXPECT_EQ(list.IndexOfName("lef"), -1);
  EXPECT_EQ(list.Names(1), "");
  EXPECT_EQ(list.ValueFromIndex(1), "");
  EXPECT_EQ(list.Names(4), "");
  EXPECT_EQ(list.ValueFromIndex(4), "nameless");
  EXPECT_EQ(list.Names(5), "Width");
  EXPECT_EQ(list.Values("width"), "=5");  // the name ends at the first "="
  EXPECT_EQ(list.IndexOf("PLAIN LINE"), 1);
  EXPECT_EQ(list.IndexOf("missing"), -1);

  list.SetValue("TOP", "30");  // replaces the line, with the name as given
  EXPECT_EQ(list[2], "TOP=30");
  list.SetValue("Height", "7");  // a new name is appended
  EXPECT_EQ(list[list.Count() - 1], "Height=7");
  list.SetValue("left", "");  // an empty value deletes the first match
  EXPECT_EQ(list.Values("left"), "99");
  EXPECT_EQ(list.Count(), 6);
  list.SetValue("nothing", "");
  EXPECT_EQ(list.Count(), 6);
}

// The index answers every lookup as the list's own linear search does,
// over lists full of names that differ only in case, nameless lines and
// lines without "=", and chains every line of a name in order.
TEST(NameIndex, AgreesWithTheListsOwnLookups) {
  std::mt19937 rng(5);
  const char* names[] = {"Left", "left", "LEFT", "", "a=b", "Top", "tOP", "Width", "x"};
  for (int round = 0; round < 50; ++round) {
    TStringList list;
    const int count = static_cast<int>(rng() % 40);
    for (int i = 0; i < count; ++i) {
      const char* name = names[rng() % std::size(names)];
      list.Add(rng() % 5 == 0 ? std::string(name) : std::string(name) + "=" + std::to_string(i));
    }
    const TNameIndex index(list);
    for (const char* probe : {"left", "LeFt", "top", "", "a", "a=b", "width", "X", "missing", "Left=0"}) {
      SCOPED_TRACE(std::string(probe) + " in round " + std::to_string(round));
      const int first = list.IndexOfName(probe);
      ASSERT_EQ(index.IndexOfName(probe), first);
      std::vector<int> chained, scanned;
      for (int i = first; i >= 0; i = index.NextOfName(i)) chained.push_back(i);
      for (int i = 0; i < list.Count(); ++i) {
        if (list[i].find('=') != std::string::npos && SameText(list.Names(i), probe)) scanned.push_back(i);
      }
      ASSERT_EQ(chained, scanned);
    }
  }
  const TNameIndex empty{TStringList()};
  EXPECT_EQ(empty.IndexOfName("left"), -1);
  EXPECT_EQ(empty.NextOfName(0), -1);
  EXPECT_EQ(empty.NextOfName(-1), -1);
}

TEST(StringList, TextIsWrittenWithCrLfAfterEveryLine) {
  TStringList list;
  EXPECT_EQ(list.Text(), "");
  list.Add("one");
  list.Add("");
  list.Add("three");
  EXPECT_EQ(list.Text(), "one\r\n\r\nthree\r\n");
  TStringList back;
  back.SetText(list.Text());
  EXPECT_EQ(back.Lines(), list.Lines());
}

TEST(StringList, EditingAndIndexChecks) {
  TStringList list;
  list.Add("a");
  list.Add("b");
  list.Insert(0, "first");
  list.Insert(3, "last");
  EXPECT_EQ(list.Lines(), (Lines{"first", "a", "b", "last"}));
  list.Move(0, 3);
  EXPECT_EQ(list.Lines(), (Lines{"a", "b", "last", "first"}));
  list.Move(3, 1);
  EXPECT_EQ(list.Lines(), (Lines{"a", "first", "b", "last"}));
  list.Exchange(0, 3);
  EXPECT_EQ(list.Lines(), (Lines{"last", "first", "b", "a"}));
  list.Delete(1);
  EXPECT_EQ(list.Lines(), (Lines{"last", "b", "a"}));
  list[0] = "changed";
  EXPECT_EQ(list[0], "changed");

  EXPECT_THROW(list[3], EListError);
  EXPECT_THROW(list[-1], EListError);
  EXPECT_THROW(list.Delete(3), EListError);
  EXPECT_THROW(list.Insert(5, "x"), EListError);
  EXPECT_THROW(list.Insert(-1, "x"), EListError);
  EXPECT_THROW(list.Move(0, 3), EListError);
  EXPECT_THROW(list.Exchange(-1, 0), EListError);
  EXPECT_THROW(list.Names(7), EListError);
  try {
    list[9];
    FAIL() << "no exception";
  } catch (const EListError& e) {
    EXPECT_EQ(e.Message(), "List index out of bounds (9)");
  }
  list.Clear();
  EXPECT_TRUE(list.Empty());
}

TEST(StringList, FilesDropAByteOrderMarkAndAreWrittenWithCrLf) {
  testsupport::TempDir dir;
  const std::string name = dir.File("english");
  const std::string text = "\xEF\xBB\xBF" "99=Stampwise\n100=\xE5\xAE\x8B\r\n";
  testsupport::WriteBytes(name, std::vector<std::uint8_t>(text.begin(), text.end()));
  TStringList list;
  list.LoadFromFile(name);
  EXPECT_EQ(list.Lines(), (Lines{"99=Stampwise", "100=\xE5\xAE\x8B"}));
  list.SaveToFile(name);
  const std::string saved = "99=Stampwise\r\n100=\xE5\xAE\x8B\r\n";
  EXPECT_EQ(testsupport::ReadBytes(name), std::vector<std::uint8_t>(saved.begin(), saved.end()));
  EXPECT_THROW(list.LoadFromFile(dir.File("missing")), EFOpenError);
}
