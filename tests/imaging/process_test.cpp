// One file through a mark set, and image output by type, checked with
// Debian's own readers where they exist.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "app/messages.h"
#include "app/routines.h"
#include "core/jpeg.h"
#include "core/streams.h"
#include "formats/gif/gif_image.h"
#include "imaging/mark.h"
#include "imaging/process.h"
#include "imaging_fixture.h"

namespace {

using testsupport::HaveTool;
using testsupport::ParsePnm;
using testsupport::SkipReason;

class ProcessTest : public ImagingTest {
 protected:
  std::string WriteJpeg(const std::string& name, const TBitmap& picture, int quality = 95) {
    const std::string path = Dir() + name;
    testsupport::WriteBytes(path, EncodeJpeg(picture, quality));
    return path;
  }
  static void AddMark(TMark& m, const TBitmap& picture) {
    m.AddMark("");
    m.MarkPictures.back() = picture;
    m.PristineMarks.back() = picture;
  }
  // Reads a file with a netpbm tool into RGB rows.
  static testsupport::RgbImage ReadWith(const std::string& tool, const std::string& file) {
    auto r = testsupport::Run({tool, file});
    EXPECT_EQ(r.ExitCode, 0) << tool << ": " << r.Err;
    return ParsePnm(r.Out);
  }
  static void ExpectPixels(const testsupport::RgbImage& image, const TBitmap& b) {
    ASSERT_EQ(image.Width, b.Width());
    ASSERT_EQ(image.Height, b.Height());
    for (int y = 0; y < b.Height(); ++y) {
      for (int x = 0; x < b.Width(); ++x) {
        const std::size_t i = (static_cast<std::size_t>(y) * b.Width() + x) * 3;
        const TBgr p = PixelAt(b, x, y);
        ASSERT_EQ((TBgr{image.Rgb[i + 2], image.Rgb[i + 1], image.Rgb[i]}), p) << x << "," << y;
      }
    }
  }
  static std::string JpegQualityOf(const std::string& file) {
    return testsupport::Run({"/usr/bin/identify", "-format", "%Q", file}).Out;
  }
};

}  // namespace

TEST_F(ProcessTest, JpegOutputQualityFollowsTheSettings) {
  if (!HaveTool("/usr/bin/identify")) GTEST_SKIP() << SkipReason("/usr/bin/identify");
  const std::string src = WriteJpeg("photo.jpg", PatternBitmap(64, 48), 40);
  TMark m;
  AddMark(m, PatternBitmap(8, 8, 3));
  const struct {
    bool keep;
    int setting;
    const char* quality;
  } cases[] = {{true, 30, "40"}, {false, 75, "75"}, {false, 0, "1"}, {false, 255, "100"}};
  for (const auto& c : cases) {
    ProgramInfo().KeepJpgCompress = c.keep;
    ProgramInfo().JpgCompress = static_cast<std::uint8_t>(c.setting);
    const std::string dest = Dir() + "out.jpeg";
    ASSERT_TRUE(m.ProcessFile(src, dest));
    EXPECT_EQ(JpegQualityOf(dest), c.quality) << c.setting;
    // The log shows the source's own quality, the one kept.
    EXPECT_EQ(m.Info, "jpg " + GetMessageText(msg::JpegQuality) + ":40%");
  }
  // The written bytes are those of the JPEG image object.
  ProgramInfo().KeepJpgCompress = true;
  ASSERT_TRUE(m.ProcessFile(src, Dir() + "out.jpeg"));
  EXPECT_EQ(testsupport::ReadBytes(Dir() + "out.jpeg"), BitmapToJpeg(&m.Composite, 40)->Data());
  // A source of another type has no quality to keep: the default one.
  PatternBitmap(64, 48).SaveToFile(Dir() + "photo.bmp");
  ASSERT_TRUE(m.ProcessFile(Dir() + "photo.bmp", Dir() + "out.jpeg"));
  EXPECT_EQ(JpegQualityOf(Dir() + "out.jpeg"), "90");
  EXPECT_EQ(m.Info, "");
  EXPECT_EQ(BitmapToJpeg(nullptr, 90), nullptr);
  EXPECT_THROW(BitmapToJpeg(&m.Composite, 0), ERangeError);

  // Saving a picture as JPEG asks for quality 100.
  SaveImageFile(PatternBitmap(16, 16), Dir() + "saved.jpg");
  EXPECT_EQ(JpegQualityOf(Dir() + "saved.jpg"), "100");
}

// A JPEG source is decoded straight into the work image instead of being
// loaded into a JPEG image and drawn from there; the picture must be the
// same to the byte, for colour, grey and CMYK files alike.
TEST_F(ProcessTest, JpegSourceIsThePictureTheJpegImageDraws) {
  if (!HaveTool("/usr/bin/convert")) GTEST_SKIP() << SkipReason("/usr/bin/convert");
  const std::string colour = WriteJpeg("colour.jpg", PatternBitmap(23, 17), 85);
  std::vector<std::string> sources = {colour};
  for (const char* space : {"Gray", "CMYK"}) {
    const std::string path = Dir() + space + ".jpg";
    auto r = testsupport::Run({"/usr/bin/convert", colour, "-colorspace", space, path});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    sources.push_back(path);
  }
  for (const std::string& src : sources) {
    SCOPED_TRACE(src);
    TMark m;
    ASSERT_TRUE(m.ProcessFile(src, Dir() + "out.bmp"));
    TJPEGImage jpeg;
    jpeg.LoadFromFile(src);
    TBitmap drawn(jpeg.Width(), jpeg.Height(), pf24bit);
    drawn.Canvas().Draw(0, 0, jpeg);
    EXPECT_TRUE(SamePixels(m.Composite, drawn));
  }
}

TEST_F(ProcessTest, NonJpegSourceHasNoDescription) {
  const TBitmap picture = PatternBitmap(9, 7);
  SaveImageFile(picture, Dir() + "in.bmp");
  TMark m;
  ASSERT_TRUE(m.ProcessFile(Dir() + "in.bmp", Dir() + "out.bmp"));
  EXPECT_EQ(m.Info, "");
  TBitmap back;
  back.LoadFromFile(Dir() + "out.bmp");
  EXPECT_TRUE(SamePixels(back, picture));
}

TEST_F(ProcessTest, BmpDepthAppliesToACopyOnly) {
  if (!HaveTool("/usr/bin/bmptopnm")) GTEST_SKIP() << SkipReason("/usr/bin/bmptopnm");
  TBitmap picture = SolidBitmap(5, 3, clWhite);
  SetPixelAt(picture, 1, 1, {0, 0, 0});
  const TBitmap before = picture;
  ProgramInfo().BmpKeepColor = false;
  const struct {
    int setup, bits;
  } cases[] = {{5, 1}, {4, 4}, {3, 8}, {2, 16}, {1, 24}, {0, 32}, {9, 24}};
  for (const auto& c : cases) {
    ProgramInfo().BmpColorSetup = static_cast<std::uint8_t>(c.setup);
    const std::string file = Dir() + "d" + std::to_string(c.setup) + ".bmp";
    SaveImageFile(picture, file);
    const auto bytes = testsupport::ReadBytes(file);
    EXPECT_EQ(bytes[28] | bytes[29] << 8, c.bits) << c.setup;
    ExpectPixels(ReadWith("/usr/bin/bmptopnm", file), before);
    EXPECT_EQ(picture.PixelFormat(), pf24bit);
    EXPECT_TRUE(SamePixels(picture, before));
  }
  ProgramInfo().BmpKeepColor = true;
  ProgramInfo().BmpColorSetup = 5;
  SaveImageFile(picture, Dir() + "kept.bmp");
  const auto bytes = testsupport::ReadBytes(Dir() + "kept.bmp");
  EXPECT_EQ(bytes[28], 24);
}

TEST_F(ProcessTest, PngPcxTargaAndOtherOutputsReadBack) {
  for (const char* tool : {"/usr/bin/pngtopam", "/usr/bin/pcxtoppm", "/usr/bin/tgatoppm", "/usr/bin/bmptopnm"}) {
    if (!HaveTool(tool)) GTEST_SKIP() << SkipReason(tool);
  }
  const TBitmap picture = PatternBitmap(13, 6, 2);
  const struct {
    const char* name;
    const char* tool;
  } outputs[] = {{"o.png", "/usr/bin/pngtopam"},
                 {"o.pcx", "/usr/bin/pcxtoppm"},
                 {"o.tga", "/usr/bin/tgatoppm"},
                 {"o.tif", "/usr/bin/bmptopnm"}};
  for (const auto& o : outputs) {
    SCOPED_TRACE(o.name);
    SaveImageFile(picture, Dir() + o.name);
    ExpectPixels(ReadWith(o.tool, Dir() + o.name), picture);
  }
  EXPECT_EQ(testsupport::ReadBytes(Dir() + "o.tif")[0], 'B');
}

// The batch and SaveImageFile name one writer for each type: the batch's
// marked picture, saved, is the file the batch wrote, to the byte (the
// batch lends its picture to the PNG writer and encodes JPEG before it
// opens the file, and neither may show in the bytes).
TEST_F(ProcessTest, TheBatchAndSaveImageFileWriteEveryTypeAlike) {
  PatternBitmap(21, 13, 4).SaveToFile(Dir() + "src.bmp");
  TMark m;
  AddMark(m, PatternBitmap(5, 4, 1));
  ProgramInfo().KeepJpgCompress = false;
  ProgramInfo().JpgCompress = 60;
  ProgramInfo().BmpKeepColor = false;
  ProgramInfo().BmpColorSetup = 3;
  for (const char* ext : {".jpeg", ".gif", ".bmp", ".png", ".pcx", ".tga", ".tif"}) {
    SCOPED_TRACE(ext);
    const std::string batch = Dir() + "batch" + ext;
    const std::string saved = Dir() + "saved" + ext;
    ASSERT_TRUE(m.ProcessFile(Dir() + "src.bmp", batch));
    SaveImageFile(m.Composite, saved);
    EXPECT_EQ(testsupport::ReadBytes(batch), testsupport::ReadBytes(saved));
  }
}

TEST_F(ProcessTest, GifOutputUsesThePaletteSetting) {
  if (!HaveTool("/usr/bin/giftopnm")) GTEST_SKIP() << SkipReason("/usr/bin/giftopnm");
  EXPECT_EQ(GifColorReductionOf(0), 7);
  EXPECT_EQ(GifColorReductionOf(1), 8);
  EXPECT_EQ(GifColorReductionOf(2), 1);
  EXPECT_EQ(GifColorReductionOf(7), 6);
  EXPECT_EQ(GifColorReductionOf(8), std::nullopt);

  ProgramInfo().GifEnablePalette = true;
  ProgramInfo().GifPalette = 5;  // black and white
  ProgramInfo().GifEnableDither = true;
  ProgramInfo().GifDither = 0;
  ProgramInfo().GifCompress = 1;
  TGIFImage gif;
  ApplyGifOptions(gif);
  EXPECT_EQ(gif.ColorReduction, rmMonochrome);
  EXPECT_EQ(gif.DitherMode, dmNearest);
  EXPECT_EQ(gif.Compression, 1);
  ProgramInfo().GifPalette = 8;
  ProgramInfo().GifDither = 7;
  ProgramInfo().GifCompress = 2;
  TGIFImage untouched;
  untouched.ColorReduction = rmGrayScale;
  ApplyGifOptions(untouched);
  EXPECT_EQ(untouched.ColorReduction, rmGrayScale);
  EXPECT_EQ(untouched.DitherMode, GIFDefaultDitherMode);
  EXPECT_EQ(untouched.Compression, GIFDefaultCompression);

  ProgramInfo().GifPalette = 5;
  ProgramInfo().GifCompress = 0;
  TBitmap picture = SolidBitmap(6, 4, clBlack);
  SetPixelAt(picture, 2, 1, {255, 255, 255});
  SaveImageFile(picture, Dir() + "o.gif");
  ExpectPixels(ReadWith("/usr/bin/giftopnm", Dir() + "o.gif"), picture);
}

TEST_F(ProcessTest, FailedFileLeavesTheNextOneAsAFreshRunMakesIt) {
  const std::string src = WriteJpeg("p.jpg", PatternBitmap(50, 40));
  auto makeMarks = [&](TMark& m) {
    AddMark(m, PatternBitmap(12, 7, 4));
    m.Records[0].SetAngle(45);
    m.Records[0].SetEffectFlags(mfMosaic | mfExposal);
    m.Records[0].SetMosaicWidth(3);
    m.Records[0].SetMosaicHeight(2);
    m.Records[0].SetAnchor(4);
  };
  TMark used;
  makeMarks(used);
  EXPECT_FALSE(used.ProcessFile(src, Dir() + "missing/folder/out.bmp"));
  EXPECT_EQ(used.Info, "");
  EXPECT_TRUE(SamePixels(used.MarkPictures[0], used.PristineMarks[0]));
  ASSERT_TRUE(used.ProcessFile(src, Dir() + "second.bmp"));
  EXPECT_EQ(used.Info, "jpg " + GetMessageText(msg::JpegQuality) + ":95%");

  TMark fresh;
  makeMarks(fresh);
  ASSERT_TRUE(fresh.ProcessFile(src, Dir() + "fresh.bmp"));
  EXPECT_EQ(testsupport::ReadBytes(Dir() + "second.bmp"), testsupport::ReadBytes(Dir() + "fresh.bmp"));
}

TEST_F(ProcessTest, FailedFilesNeverTouchAnExistingOutput) {
  const std::string src = WriteJpeg("p.jpg", PatternBitmap(20, 10));
  testsupport::WriteBytes(Dir() + "out.jpeg", {1, 2, 3});
  TMark m;
  AddMark(m, PatternBitmap(3, 3));
  m.Records[0].SetTransparency(101);
  EXPECT_FALSE(m.ProcessFile(src, Dir() + "out.jpeg"));
  testsupport::WriteBytes(Dir() + "broken.jpg", {0xFF, 0xD8, 0xFF, 0xE0, 0, 1});
  m.Records[0].SetTransparency(0);
  EXPECT_FALSE(m.ProcessFile(Dir() + "broken.jpg", Dir() + "out.jpeg"));
  EXPECT_FALSE(m.ProcessFile(Dir() + "nothing.png", Dir() + "out.jpeg"));
  EXPECT_FALSE(m.ProcessFile(Dir() + "p.unknownext", Dir() + "out.jpeg"));
  EXPECT_EQ(testsupport::ReadBytes(Dir() + "out.jpeg"), (std::vector<std::uint8_t>{1, 2, 3}));
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(Dir())) files += e.is_regular_file();
  EXPECT_EQ(files, 3);  // p.jpg, broken.jpg, out.jpeg: no temporary file left
  // The mark set stays usable.
  EXPECT_TRUE(m.ProcessFile(src, Dir() + "out.jpeg"));
}

// A transparent source must not show what the work image held before.
TEST_F(ProcessTest, TransparentSourceIsDrawnOverWhite) {
  TMark m;
  ASSERT_TRUE(m.ProcessFile(WriteJpeg("black.jpg", SolidBitmap(8, 8, clBlack)), Dir() + "first.bmp"));
  // A GIF whose index 0 is transparent, made by our own writer.
  TGIFImage gif;
  TBitmap frame = SolidBitmap(8, 8, clRed);
  SetPixelAt(frame, 3, 3, {255, 0, 0});
  frame.SetPixelFormat(pf8bit);
  gif.Add(frame);
  auto control = std::make_unique<TGIFGraphicControlExtension>(gif.Images()[0]);
  control->SetTransparent(true);
  control->SetTransparentColorIndex(gif.Images()[0]->GetPixel(0, 0));
  gif.Images()[0]->Extensions().Add(std::move(control));
  gif.SaveToFile(Dir() + "t.gif");
  ASSERT_TRUE(m.ProcessFile(Dir() + "t.gif", Dir() + "t.bmp"));
  TBitmap out;
  out.LoadFromFile(Dir() + "t.bmp");
  EXPECT_EQ(PixelAt(out, 0, 0), (TBgr{255, 255, 255}));
  EXPECT_EQ(PixelAt(out, 3, 3), (TBgr{255, 0, 0}));
}

// Into another type a GIF gives its first frame with pixels: a file of
// blocks without an image has no picture and fails instead of coming out
// blank, and a logical screen without a size takes the frame's extent.
TEST_F(ProcessTest, GifIntoAnotherTypeGivesItsFirstPicture) {
  TMark m;
  testsupport::WriteBytes(Dir() + "none.gif", {'G', 'I', 'F', '8', '9', 'a', 4, 0, 4, 0, 0, 0, 0, 0x21, 0xF9, 4, 0, 5,
                                               0, 0, 0, 0x3B});
  EXPECT_FALSE(m.ProcessFile(Dir() + "none.gif", Dir() + "none.bmp"));
  EXPECT_FALSE(std::filesystem::exists(Dir() + "none.bmp"));

  TBitmap frame = SolidBitmap(6, 5, clBlue);
  SetPixelAt(frame, 5, 4, {0, 255, 0});
  frame.SetPixelFormat(pf8bit);
  TGIFImage gif;
  gif.Add(frame);
  gif.SaveToFile(Dir() + "sized.gif");
  auto bytes = testsupport::ReadBytes(Dir() + "sized.gif");
  std::fill(bytes.begin() + 6, bytes.begin() + 10, 0);  // logical screen 0 x 0
  testsupport::WriteBytes(Dir() + "unsized.gif", bytes);
  frame.SetPixelFormat(pf24bit);
  for (const char* name : {"sized", "unsized"}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(m.ProcessFile(Dir() + name + ".gif", Dir() + name + ".bmp"));
    TBitmap out;
    out.LoadFromFile(Dir() + name + ".bmp");
    EXPECT_TRUE(SamePixels(out, frame));
  }
  // GIF to GIF as well: one frame of that picture, not an empty file.
  EXPECT_FALSE(m.ProcessFile(Dir() + "none.gif", Dir() + "none-out.gif"));
  ASSERT_TRUE(m.ProcessFile(Dir() + "unsized.gif", Dir() + "unsized-out.gif"));
  TGIFImage back;
  back.LoadFromFile(Dir() + "unsized-out.gif");
  ASSERT_EQ(back.Images().Count(), 1);
  TBitmap written;
  back.AssignTo(written);
  written.SetPixelFormat(pf24bit);
  EXPECT_TRUE(SamePixels(written, frame));
}

TEST_F(ProcessTest, AnimatedGifKeepsItsFramesAndPlacesMarksOnTheWholeAnimation) {
  if (!HaveTool("/usr/bin/gifsicle")) GTEST_SKIP() << SkipReason("/usr/bin/gifsicle");
  // Three frames of 40 x 30 (the second at (10, 20) and 20 x 10), made
  // by our writer and put together by gifsicle.
  const TColor colours[] = {clBlack, clBlue, clLime};
  for (int i = 0; i < 3; ++i) {
    TBitmap f = SolidBitmap(i == 1 ? 20 : 40, i == 1 ? 10 : 30, colours[i]);
    f.SetPixelFormat(pf8bit);
    TGIFImage g;
    g.Add(f);
    g.SaveToFile(Dir() + "f" + std::to_string(i) + ".gif");
  }
  auto made = testsupport::Run({"/usr/bin/gifsicle", "--loopcount=forever", "--delay", "7", Dir() + "f0.gif", "--position",
                   "10,20", Dir() + "f1.gif", "--position", "0,0", Dir() + "f2.gif", "-o", Dir() + "anim.gif"});
  ASSERT_EQ(made.ExitCode, 0) << made.Err;

  for (bool firstOnly : {false, true}) {
    SCOPED_TRACE(firstOnly);
    TMark m;
    m.GifMarkFirst = firstOnly;
    AddMark(m, SolidBitmap(4, 3, clWhite));
    m.Records[0].SetXOffset(15);
    m.Records[0].SetYOffset(25);
    m.Records[0].SetAngle(45);  // not applied on this path
    ASSERT_TRUE(m.ProcessFile(Dir() + "anim.gif", Dir() + "out.gif"));
    TGIFImage out;
    out.LoadFromFile(Dir() + "out.gif");
    ASSERT_EQ(out.Images().Count(), 3);
    TGIFSubImage& second = *out.Images()[1];
    EXPECT_EQ(second.Left(), 10);
    EXPECT_EQ(second.Top(), 20);
    TBitmap f0, f1;
    f0.Assign(out.Images()[0]->GetBitmap());
    f1.Assign(second.GetBitmap());
    f0.SetPixelFormat(pf24bit);
    f1.SetPixelFormat(pf24bit);
    // Frames are reduced to the web palette, where 254 becomes 255.
    const TBgr white{255, 255, 255};
    EXPECT_EQ(PixelAt(f0, 15, 25), white);
    EXPECT_EQ(PixelAt(f0, 19, 25), (TBgr{0, 0, 0}));  // unrotated: 4 pixels wide
    // Frame 1 carries it at (15, 25) - (10, 20) = (5, 5) unless only the first is marked.
    EXPECT_EQ(PixelAt(f1, 5, 5), firstOnly ? (TBgr{255, 0, 0}) : white);
    EXPECT_EQ(PixelAt(f1, 4, 5), (TBgr{255, 0, 0}));

    auto info = testsupport::Run({"/usr/bin/gifsicle", "--info", Dir() + "out.gif"});
    ASSERT_EQ(info.ExitCode, 0) << info.Err;
    EXPECT_NE(info.Out.find("3 images"), std::string::npos) << info.Out;
    EXPECT_NE(info.Out.find("loop forever"), std::string::npos) << info.Out;
    EXPECT_NE(info.Out.find("delay 0.07s"), std::string::npos) << info.Out;
  }

  TMark single;
  single.GifDisableAnimate = true;
  AddMark(single, SolidBitmap(4, 3, clWhite));
  ASSERT_TRUE(single.ProcessFile(Dir() + "anim.gif", Dir() + "one.gif"));
  TGIFImage one;
  one.LoadFromFile(Dir() + "one.gif");
  EXPECT_EQ(one.Images().Count(), 1);

  // Into another type an animation gives its first frame, every time.
  TMark plain;
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(plain.ProcessFile(Dir() + "anim.gif", Dir() + "first.bmp"));
    TBitmap first;
    first.LoadFromFile(Dir() + "first.bmp");
    ASSERT_EQ(first.Width(), 40);
    EXPECT_EQ(PixelAt(first, 12, 22), (TBgr{0, 0, 0}));
  }
}
