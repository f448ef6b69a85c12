#include <gtest/gtest.h>

#include "app/text_routines.h"

TEST(IsNumeric, AcceptsOnlyDigitsDotAndMinusWithoutBlanks) {
  EXPECT_FALSE(IsNumeric(""));
  EXPECT_FALSE(IsNumeric("   "));
  EXPECT_FALSE(IsNumeric(" 5"));
  EXPECT_FALSE(IsNumeric("5 "));
  EXPECT_FALSE(IsNumeric("+5"));
  EXPECT_FALSE(IsNumeric("1.2.3"));
  EXPECT_FALSE(IsNumeric("12a"));
  EXPECT_TRUE(IsNumeric("-"));
  EXPECT_TRUE(IsNumeric("1-2"));
  EXPECT_TRUE(IsNumeric("1.5"));
  EXPECT_TRUE(IsNumeric("--7"));
  EXPECT_TRUE(IsNumeric("0042"));
}

TEST(SplitString, AppendsEveryPieceIncludingTheLastEmptyOne) {
  TStringList list;
  list.Add("kept");
  EXPECT_EQ(SplitString("*.a;*.b;", list, ';'), 3);
  ASSERT_EQ(list.Count(), 4);
  EXPECT_EQ(list[0], "kept");
  EXPECT_EQ(list[1], "*.a");
  EXPECT_EQ(list[2], "*.b");
  EXPECT_EQ(list[3], "");

  TStringList empty;
  EXPECT_EQ(SplitString("", empty, ';'), 1);
  EXPECT_EQ(empty.Count(), 1);
  EXPECT_EQ(JoinStrings(list, '|'), "kept|*.a|*.b|");
  EXPECT_EQ(JoinStrings(TStringList(), ';'), "");
}

TEST(EscapeLineBreaks, EncodesAndDecodesEveryBreak) {
  EXPECT_EQ(EscapeLineBreaks("a\r\nb\nc\r", true), "a[#13][#10]b[#10]c[#13]");
  EXPECT_EQ(EscapeLineBreaks("a[#13][#10]b[#10]c[#13]", false), "a\r\nb\nc\r");
  // Only the exact spelling counts.
  EXPECT_EQ(EscapeLineBreaks("[#13 [#10[#1O]", false), "[#13 [#10[#1O]");
}

TEST(ScrambleText, EveryByteRoundTripsAndStaysInItsRange) {
  static const int ranges[][2] = {{33, 51},    {52, 62},    {63, 80},    {81, 89},    {90, 108},
                                  {109, 124},  {125, 138},  {139, 144},  {145, 151},  {152, 167},
                                  {168, 180},  {181, 185},  {186, 191},  {192, 208},  {209, 216},
                                  {217, 227},  {228, 245},  {246, 248},  {249, 252},  {253, 255}};
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  const std::string encoded = ScrambleText(all, ConfigScrambleKey, true);
  ASSERT_EQ(encoded.size(), 256u);
  EXPECT_EQ(ScrambleText(encoded, ConfigScrambleKey, false), all);
  for (int c = 0; c < 256; ++c) {
    const int e = static_cast<unsigned char>(encoded[static_cast<std::size_t>(c)]);
    if (c < 33) {
      EXPECT_EQ(e, c);
      continue;
    }
    for (const auto& r : ranges) {
      if (c >= r[0] && c <= r[1]) {
        EXPECT_TRUE(e >= r[0] && e <= r[1]) << c << " -> " << e;
      }
    }
  }
  EXPECT_EQ(ScrambleText("CfgSkin=4", ConfigScrambleKey, true), "CfgSkit>5");
  EXPECT_EQ(ScrambleText("CfgSkit>5", ConfigScrambleKey, false), "CfgSkin=4");
  EXPECT_EQ(ScrambleText("a b\tc", ConfigScrambleKey, true).substr(1, 1), " ");
}
