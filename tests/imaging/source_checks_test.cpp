// JPEG sources in the batch: one whose data end early is a failed file
// (the preview still shows it), and one whose Exif orientation turns it
// is marked and written upright, without the orientation.

#include <gtest/gtest.h>

#include <filesystem>

#include "app/messages.h"
#include "app/routines.h"
#include "core/exceptions.h"
#include "core/exif.h"
#include "core/jpeg.h"
#include "imaging/batch.h"
#include "imaging/mark.h"
#include "imaging/source_picture.h"
#include "imaging_fixture.h"

namespace {

using testsupport::HaveTool;

const std::string kExiftool = "/usr/bin/exiftool";

// The JPEG cut two thirds into its scan.
std::vector<std::uint8_t> CutShort(const std::vector<std::uint8_t>& jpeg) {
  std::size_t scan = 0;
  for (std::size_t i = 2; i + 1 < jpeg.size() && scan == 0; ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) scan = i;
  }
  return std::vector<std::uint8_t>(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(scan + (jpeg.size() - scan) * 2 / 3));
}

}  // namespace

TEST_F(ImagingTest, AJpegSourceThatEndsEarlyIsAFailedFileThatThePreviewStillShows) {
  const std::vector<std::uint8_t> whole = EncodeJpeg(PatternBitmap(64, 48), 95);
  testsupport::WriteBytes(Dir() + "whole.jpg", whole);
  for (const char* name : {"cut.jpg", "cut.jfif"}) testsupport::WriteBytes(Dir() + name, CutShort(whole));

  // Shown: the picture with its bottom grey.
  const TBitmap shown = LoadSourcePicture(Dir() + "cut.jpg");
  ASSERT_EQ(shown.Height(), 48);
  EXPECT_EQ(PixelAt(shown, 63, 47), (TBgr{128, 128, 128}));
  TBitmap refused(5, 5, pf24bit);
  EXPECT_THROW(LoadSourcePicture(Dir() + "cut.jpg", refused, nullptr, TCutSource::Refuse), EJPEG);
  EXPECT_TRUE(refused.Empty());

  // In the batch: one failed line each, no output; the whole file converts.
  TMark m;
  m.AddMark("");
  m.Records[0].SetPictureType(".bmp");
  m.MarkPictures[0] = PatternBitmap(5, 3);
  ASSERT_TRUE(m.SaveMarkFile(0, Dir() + "m.spm"));
  std::filesystem::create_directories(Dir() + "out");
  ProgramInfo().OutputFileType = otBmp;
  const std::vector<std::string> sources{Dir() + "cut.jpg", Dir() + "whole.jpg", Dir() + "cut.jfif"};
  const TBatchResult r = RunBatch({Dir() + "m.spm"}, sources, Dir() + "out", TBatchHooks{});
  ASSERT_EQ(r.Log.Count(), 6);
  EXPECT_EQ(r.Converted, 1);
  const std::string failed = GetMessageText(msg::LogFailed) + " ";
  EXPECT_EQ(r.Log[3], failed + Dir() + "cut.jpg => " + Dir() + "out/cut.bmp");
  EXPECT_EQ(r.Log[4].rfind("1.", 0), 0u) << r.Log[4];
  EXPECT_EQ(r.Log[5], failed + Dir() + "cut.jfif => " + Dir() + "out/cut.bmp");
  EXPECT_EQ(testsupport::FolderEntries(Dir() + "out"), std::vector<std::string>{"whole.bmp"});
}

// A portrait photo stored on its side with orientation 6, as cameras
// write them: the batch marks it upright (the mark of anchor 0 in the
// upright top-left corner) and writes it upright, without an orientation.
TEST_F(ImagingTest, AnOrientedJpegIsMarkedAndWrittenUpright) {
  if (!HaveTool(kExiftool)) GTEST_SKIP() << testsupport::SkipReason(kExiftool);
  // Stored 60 x 40: its left column is the upright top row.
  TBitmap stored(60, 40, pf24bit);
  stored.Canvas().Brush.Color = RGB(0, 200, 0);
  stored.Canvas().FillRect(TRect{0, 0, 60, 40});
  testsupport::WriteBytes(Dir() + "photo.jpg", EncodeJpeg(stored, 95));
  const auto tagged = testsupport::Run({kExiftool, "-q", "-overwrite_original", "-n", "-Orientation=6", Dir() + "photo.jpg"});
  ASSERT_EQ(tagged.ExitCode, 0) << tagged.Err;

  TMark m;
  m.AddMark("");
  m.MarkPictures[0] = SolidBitmap(6, 4, RGB(0, 0, 255));
  m.PristineMarks[0] = m.MarkPictures[0];
  m.Records[0].SetAnchor(0);
  ASSERT_TRUE(m.ProcessFile(Dir() + "photo.jpg", Dir() + "out.bmp"));
  TBitmap out;
  out.LoadFromFile(Dir() + "out.bmp");
  ASSERT_EQ(out.Width(), 40);
  ASSERT_EQ(out.Height(), 60);
  auto blue = [](TColor c) { return GetBValue(c) > 240 && GetGValue(c) < 30; };
  EXPECT_TRUE(blue(out.GetPixelColor(2, 2)));
  EXPECT_FALSE(blue(out.GetPixelColor(37, 57)));
  EXPECT_FALSE(blue(out.GetPixelColor(37, 2))) << "not where the stored top-left corner lies";

  ASSERT_TRUE(m.ProcessFile(Dir() + "photo.jpg", Dir() + "out.jpeg"));
  const std::vector<std::uint8_t> written = testsupport::ReadBytes(Dir() + "out.jpeg");
  EXPECT_EQ(JpegExifOrientation(written), 1);
  const auto orientation = testsupport::Run({kExiftool, "-s3", "-n", "-Orientation", Dir() + "out.jpeg"});
  EXPECT_EQ(orientation.Out, "") << "no orientation written";
  TBitmap back;
  DecodeJpeg(written.data(), written.size(), back);
  EXPECT_EQ(back.Width(), 40);
}
