// The settings window's rules that need no window.

#include <gtest/gtest.h>

#include <cstdint>
#include <set>

#include "app/routines.h"
#include "app/settings.h"
#include "core/exceptions.h"
#include "support/test_support.h"
#include "windows/setup_logic.h"

TEST(SetupDelayTable, RowsRiseAndEachDelayFindsItsOwnRow) {
  std::int64_t last = -1;
  for (int row = 0; row < DelayRowCount; ++row) {
    const std::int32_t ms = DelayMilliseconds(row);
    EXPECT_GT(ms, last) << row;
    last = ms;
    EXPECT_EQ(DelayRowOf(ms), row);
    // A value just above a row belongs to the next one.
    if (row + 1 < DelayRowCount) {
      EXPECT_EQ(DelayRowOf(static_cast<std::int64_t>(ms) + 1), row + 1);
    }
  }
  EXPECT_EQ(DelayMilliseconds(0), 0);
  EXPECT_EQ(DelayMilliseconds(DelayRowCount - 1), MaxSlideDelay);
  EXPECT_THROW(DelayRow(-1), ERangeError);
  EXPECT_THROW(DelayRow(DelayRowCount), ERangeError);
}

TEST(SetupDelayTable, ValuesSnapToTheNextLargerRow) {
  EXPECT_EQ(DelayRowOf(2500), 6);
  EXPECT_EQ(DelayCaption(6), "(3 second)");
  EXPECT_EQ(DelayMilliseconds(1), 30);
  EXPECT_EQ(DelayCaption(1), "()");
  EXPECT_EQ(DelayCaption(0), "(No delay)");
  EXPECT_EQ(DelayCaption(18), "(1 minute)");
  EXPECT_EQ(DelayCaption(36), "(10 day)");
  EXPECT_EQ(DelayRowOf(1), 1);
  EXPECT_EQ(DelayRowOf(-5), 0);
  EXPECT_EQ(DelayRowOf(864000001), 36);
  EXPECT_EQ(DelayRowOf(INT64_MAX), 36);
}

TEST(SetupDelayTable, TypedTextIsReadStrictlyAndClamped) {
  EXPECT_EQ(DelayFromText("2500"), 2500);
  EXPECT_EQ(DelayFromText(" 2500 "), 2500);
  EXPECT_EQ(DelayFromText("0"), 0);
  EXPECT_EQ(DelayFromText("864000000"), MaxSlideDelay);
  EXPECT_EQ(DelayFromText("864000001"), MaxSlideDelay);
  EXPECT_EQ(DelayFromText("4294967296"), MaxSlideDelay);
  EXPECT_EQ(DelayFromText("99999999999999999999999999999999"), MaxSlideDelay);
  // Not whole numbers: 0, as the window always treated a text that is no
  // number.
  for (const char* text : {"", " ", "-", "--5", "1.5", "2s", "+5", "1-2", "0x10", "5 5"}) {
    EXPECT_EQ(DelayFromText(text), 0) << text;
  }
  EXPECT_EQ(DelayFromText("-5"), 0);
  EXPECT_EQ(DelayFromText("-99999999999999999999"), 0);
}

TEST(SetupJpegQuality, ZeroShowsAsOneAndTheLabelEndsInPercent) {
  EXPECT_EQ(JpgSliderPosition(0), 1);
  EXPECT_EQ(JpgSliderPosition(1), 1);
  EXPECT_EQ(JpgSliderPosition(75), 75);
  EXPECT_EQ(JpgSliderPosition(100), 100);
  EXPECT_EQ(JpgSliderPosition(255), 100);
  EXPECT_EQ(JpgCompressCaption(75), "75%");
}

TEST(SetupImageFilter, EntriesAreTrimmedAndAnEmptyTextRestoresTheDefaults) {
  const TStringList patterns = ImageFilterFromText(" *.jpg; *.png ;;\t*.gif;");
  ASSERT_EQ(patterns.Count(), 3);
  EXPECT_EQ(patterns[0], "*.jpg");
  EXPECT_EQ(patterns[1], "*.png");
  EXPECT_EQ(patterns[2], "*.gif");
  EXPECT_TRUE(IsImageFile("/a/b.png", patterns));
  EXPECT_FALSE(IsImageFile("/a/b.bmp", patterns));
  EXPECT_EQ(ImageFilterText(patterns), "*.jpg;*.png;*.gif");

  for (const char* empty : {"", "   ", ";", " ; ; "}) {
    const TStringList defaults = ImageFilterFromText(empty);
    EXPECT_EQ(defaults.Count(), 40) << empty;
    EXPECT_EQ(ImageFilterText(defaults), DefaultImageFilter) << empty;
  }
}

TEST(SetupChoices, NothingChosenKeepsTheOldValue) {
  EXPECT_EQ(ChosenOrKept(3, 9), 3);
  EXPECT_EQ(ChosenOrKept(0, 9), 0);
  EXPECT_EQ(ChosenOrKept(-1, 9), 9);
  EXPECT_EQ(ChosenOrKept(-1, 255), 255);
  EXPECT_EQ(ChosenOrKept(256, 4), 4);
}

TEST(SetupChoices, BmpDepthItemsFollowTheStoredIndex) {
  const auto& items = BmpColorSetupItems();
  ASSERT_EQ(items.size(), 6u);
  EXPECT_EQ(items[0], "32bit(4294967296 Color)");
  EXPECT_EQ(items[1], "24bit(16777216 Color)");
  EXPECT_EQ(items[5], "1bit(2 Color)");
}

TEST(SetupCaptionTable, EveryNumberHasAnEnglishText) {
  const auto bytes = testsupport::ReadBytes(testsupport::SourceDir() + "/language/english");
  TStringList english;
  english.SetText(std::string(bytes.begin(), bytes.end()));
  std::set<std::string> names;
  for (const TSetupCaption& caption : SetupCaptions()) {
    EXPECT_TRUE(names.insert(caption.Name).second) << "named twice: " << caption.Name;
    EXPECT_FALSE(Trim(english.Values(std::to_string(caption.Number))).empty())
        << "no English text for " << caption.Number << " (" << caption.Name << ")";
  }
  EXPECT_EQ(names.size(), 69u);
}
