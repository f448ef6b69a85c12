// A GIF source written as GIF: animations keep their frames, timing and
// transparency, and the marks sit at one place of the whole animation.
// Every written file is read back frame by frame by netpbm's giftopnm and
// described by gifsicle.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "core/jpeg.h"
#include "formats/gif/gif_image.h"
#include "imaging/mark.h"
#include "imaging/process.h"
#include "imaging_fixture.h"

namespace {

using testsupport::HaveTool;
using testsupport::RgbImage;
using testsupport::SkipReason;

constexpr const char* kGiftopnm = "/usr/bin/giftopnm";
constexpr const char* kGifsicle = "/usr/bin/gifsicle";

// Source colours the default web palette keeps exactly. kHidden is black
// once more: a visible pixel and a hidden one may carry the same colour.
enum { kBlack, kRed, kGreen, kBlue, kYellow, kHidden };
const std::vector<TPaletteEntry>& SourcePalette() {
  static const std::vector<TPaletteEntry> palette = {
      {0, 0, 0, 0}, {255, 0, 0, 0}, {0, 255, 0, 0}, {0, 0, 255, 0}, {255, 255, 0, 0}, {0, 0, 0, 0}};
  return palette;
}

struct TRgb {
  int R, G, B;
  friend bool operator==(const TRgb&, const TRgb&) = default;
};
std::ostream& operator<<(std::ostream& os, const TRgb& c) {
  return os << "(R" << c.R << " G" << c.G << " B" << c.B << ")";
}
constexpr TRgb kWhite{255, 255, 255};
// A white mark blends to 254, which the web palette of an animation takes
// back to 255 and the octree palette of a single frame keeps.
constexpr TRgb kBlendedWhite{254, 254, 254};
TRgb SourceColour(int index) {
  const TPaletteEntry& e = SourcePalette()[static_cast<std::size_t>(index)];
  return {e.Red, e.Green, e.Blue};
}

using TIndexAt = std::function<int(int x, int y)>;

struct TSourceFrame {
  int Width = 0, Height = 0;
  TIndexAt Index;
  int Left = 0, Top = 0;
  bool Control = true;  // has a graphic control extension
  int Delay = 0, Disposal = 0;
  bool Transparent = false;  // kHidden is the transparent index
};

struct TRect2 {
  int X, Y, W, H;
  bool Contains(int x, int y) const { return x >= X && x < X + W && y >= Y && y < Y + H; }
};

// One frame as giftopnm reads it: its pixels and its alpha (0 hidden).
struct TFrameRead {
  RgbImage Pixels;
  RgbImage Alpha;
  TRgb At(int x, int y) const {
    const std::size_t i = (static_cast<std::size_t>(y) * static_cast<std::size_t>(Pixels.Width) + x) * 3;
    return {Pixels.Rgb[i], Pixels.Rgb[i + 1], Pixels.Rgb[i + 2]};
  }
  bool Hidden(int x, int y) const {
    return Alpha.Rgb[(static_cast<std::size_t>(y) * static_cast<std::size_t>(Alpha.Width) + x) * 3] == 0;
  }
};

class ProcessGifTest : public ImagingTest {
 protected:
  void SetUp() override {
    ImagingTest::SetUp();
    for (const char* tool : {kGiftopnm, kGifsicle}) {
      if (!HaveTool(tool)) GTEST_SKIP() << SkipReason(tool);
    }
  }

  // Our own writer puts the source together, frame by frame.
  std::string WriteAnimation(const std::string& name, const std::vector<TSourceFrame>& frames, int screenWidth = 0,
                             int screenHeight = 0) {
    TGIFImage gif;
    for (const TSourceFrame& f : frames) {
      TBitmap picture(f.Width, f.Height, pf8bit);
      picture.SetPalette(SourcePalette());
      for (int y = 0; y < f.Height; ++y) {
        for (int x = 0; x < f.Width; ++x) picture.ScanLine(y)[x] = static_cast<std::uint8_t>(f.Index(x, y));
      }
      TGIFSubImage& frame = *gif.Images()[gif.Add(picture)];
      frame.SetBoundsValue(1, f.Left);
      frame.SetBoundsValue(2, f.Top);
      if (f.Control) {
        auto control = std::make_unique<TGIFGraphicControlExtension>(&frame);
        control->SetDelay(f.Delay);
        control->SetDisposal(f.Disposal);
        if (f.Transparent) {
          control->SetTransparent(true);
          control->SetTransparentColorIndex(kHidden);
        }
        frame.Extensions().Add(std::move(control));
      }
    }
    if (screenWidth > gif.Width()) gif.SetWidth(screenWidth);
    if (screenHeight > gif.Height()) gif.SetHeight(screenHeight);
    const std::string path = Dir() + name;
    gif.SaveToFile(path);
    return path;
  }

  static void AddMark(TMark& m, const TBitmap& picture, int x, int y) {
    m.AddMark("");
    m.MarkPictures.back() = picture;
    m.PristineMarks.back() = picture;
    m.Records.back().SetAnchor(0);
    m.Records.back().SetXOffset(x);
    m.Records.back().SetYOffset(y);
  }

  // Every frame of a written file; giftopnm must take the whole file
  // without a word on stderr.
  std::vector<TFrameRead> ReadFrames(const std::string& file, int count) {
    const auto all = testsupport::Run({kGiftopnm, "--image=all", file});
    EXPECT_EQ(all.ExitCode, 0) << all.Err;
    EXPECT_EQ(all.Err, "");
    std::vector<TFrameRead> frames;
    for (int i = 1; i <= count; ++i) {
      const std::string alpha = Dir() + "alpha.pbm";
      const auto r = testsupport::Run({kGiftopnm, "--image=" + std::to_string(i), "--alphaout=" + alpha, file});
      EXPECT_EQ(r.ExitCode, 0) << r.Err;
      if (r.ExitCode != 0) return frames;
      frames.push_back({testsupport::ParsePnm(r.Out), testsupport::ParsePnm(ReadText(alpha))});
    }
    return frames;
  }

  static std::string ReadText(const std::string& path) {
    const auto bytes = testsupport::ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
  }

  // gifsicle's description, cut into the part before the frames and one
  // part per frame.
  static std::vector<std::string> Info(const std::string& file) {
    const auto r = testsupport::Run({kGifsicle, "--info", file});
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (;;) {
      const std::size_t next = r.Out.find("+ image #", from + 1);
      parts.push_back(r.Out.substr(from, next == std::string::npos ? std::string::npos : next - from));
      if (next == std::string::npos) break;
      from = next;
    }
    return parts;
  }

  // Compares a frame with the source frame's colours, the mark's colour
  // over marked, and hidden pixels where hidden says.
  static void ExpectFrame(const TFrameRead& read, const TSourceFrame& source, const std::vector<TRect2>& marked,
                          const std::function<bool(int, int)>& hidden = nullptr, TRgb markColour = kWhite) {
    ASSERT_EQ(read.Pixels.Width, source.Width);
    ASSERT_EQ(read.Pixels.Height, source.Height);
    for (int y = 0; y < source.Height; ++y) {
      for (int x = 0; x < source.Width; ++x) {
        const bool underMark = std::any_of(marked.begin(), marked.end(), [&](const TRect2& r) { return r.Contains(x, y); });
        const bool shouldHide = hidden && hidden(x, y);
        ASSERT_EQ(read.Hidden(x, y), shouldHide) << x << "," << y;
        if (shouldHide) continue;
        ASSERT_EQ(read.At(x, y), underMark ? markColour : SourceColour(source.Index(x, y))) << x << "," << y;
      }
    }
  }
};

TIndexAt Solid(int index) {
  return [index](int, int) { return index; };
}
// A solid frame with a yellow column, so frames are not uniform.
TIndexAt Striped(int index, int column) {
  return [index, column](int x, int) { return x == column ? kYellow : index; };
}

}  // namespace

TEST_F(ProcessGifTest, EveryFrameOrOnlyTheFirstCarriesTheMarks) {
  const std::vector<TSourceFrame> frames = {{24, 16, Striped(kRed, 1), 0, 0, true, 10},
                                            {24, 16, Striped(kGreen, 2), 0, 0, true, 20},
                                            {24, 16, Striped(kBlue, 3), 0, 0, true, 30}};
  const std::string src = WriteAnimation("anim.gif", frames);
  const TRect2 mark{3, 2, 5, 4};
  for (bool firstOnly : {false, true}) {
    SCOPED_TRACE(firstOnly);
    TMark m;
    m.GifMarkFirst = firstOnly;
    AddMark(m, SolidBitmap(mark.W, mark.H, clWhite), mark.X, mark.Y);
    ASSERT_TRUE(m.ProcessFile(src, Dir() + "out.gif"));
    EXPECT_NE(Info(Dir() + "out.gif")[0].find("3 images"), std::string::npos);
    const auto read = ReadFrames(Dir() + "out.gif", 3);
    ASSERT_EQ(read.size(), 3u);
    for (std::size_t f = 0; f < 3; ++f) {
      SCOPED_TRACE(f);
      ExpectFrame(read[f], frames[f], f == 0 || !firstOnly ? std::vector<TRect2>{mark} : std::vector<TRect2>{});
    }
  }

  TMark one;
  one.GifDisableAnimate = true;
  AddMark(one, SolidBitmap(mark.W, mark.H, clWhite), mark.X, mark.Y);
  ASSERT_TRUE(one.ProcessFile(src, Dir() + "one.gif"));
  EXPECT_NE(Info(Dir() + "one.gif")[0].find("1 image"), std::string::npos);
  const auto read = ReadFrames(Dir() + "one.gif", 1);
  ASSERT_EQ(read.size(), 1u);
  ExpectFrame(read[0], frames[0], {mark}, nullptr, kBlendedWhite);
}

// The mark's place is taken in the first frame and kept on the logical
// screen; a first frame away from (0, 0) moves it for every later frame.
TEST_F(ProcessGifTest, LaterFramesTakeTheFirstFramesOwnOffsetIntoAccount) {
  const std::vector<TSourceFrame> frames = {{30, 25, Striped(kRed, 0), 4, 6, true, 5},
                                            {20, 12, Striped(kGreen, 0), 10, 20, true, 5},
                                            {40, 36, Striped(kBlue, 0), 0, 0, true, 5}};
  const std::string src = WriteAnimation("moved.gif", frames, 40, 36);
  TMark m;
  // (11, 18) in the first frame is (15, 24) on the screen.
  AddMark(m, SolidBitmap(4, 3, clWhite), 11, 18);
  ASSERT_TRUE(m.ProcessFile(src, Dir() + "out.gif"));

  const auto info = Info(Dir() + "out.gif");
  ASSERT_EQ(info.size(), 4u) << info[0];
  // Frames that leave part of the screen uncovered keep its size.
  EXPECT_NE(info[0].find("logical screen 40x36"), std::string::npos) << info[0];
  EXPECT_NE(info[1].find("30x25 at 4,6"), std::string::npos) << info[1];
  EXPECT_NE(info[2].find("20x12 at 10,20"), std::string::npos) << info[2];
  const auto read = ReadFrames(Dir() + "out.gif", 3);
  ASSERT_EQ(read.size(), 3u);
  ExpectFrame(read[0], frames[0], {{11, 18, 4, 3}});
  ExpectFrame(read[1], frames[1], {{15 - 10, 24 - 20, 4, 3}});
  ExpectFrame(read[2], frames[2], {{15, 24, 4, 3}});
}

TEST_F(ProcessGifTest, DelaysDisposalAndTheLoopingBlockAreWritten) {
  const std::vector<TSourceFrame> frames = {{8, 8, Solid(kRed), 0, 0, true, 7, 1},
                                            {8, 8, Solid(kGreen), 0, 0, true, 25, 2},
                                            {8, 8, Solid(kBlue), 0, 0, true, 0, 3},
                                            {8, 8, Solid(kYellow), 0, 0, false}};
  const std::string src = WriteAnimation("timed.gif", frames);
  TMark m;
  AddMark(m, SolidBitmap(2, 2, clWhite), 1, 1);
  ASSERT_TRUE(m.ProcessFile(src, Dir() + "out.gif"));

  const auto info = Info(Dir() + "out.gif");
  ASSERT_EQ(info.size(), 5u) << info[0];
  EXPECT_NE(info[0].find("loop forever"), std::string::npos) << info[0];
  EXPECT_NE(info[1].find("disposal asis delay 0.07s"), std::string::npos) << info[1];
  EXPECT_NE(info[2].find("disposal background delay 0.25s"), std::string::npos) << info[2];
  EXPECT_NE(info[3].find("disposal previous"), std::string::npos) << info[3];
  EXPECT_EQ(info[3].find("delay"), std::string::npos) << info[3];
  EXPECT_EQ(info[4].find("disposal"), std::string::npos) << info[4];
  EXPECT_EQ(info[4].find("delay"), std::string::npos) << info[4];
  EXPECT_EQ(ReadFrames(Dir() + "out.gif", 4).size(), 4u);

  // Without a global table the first frame's blocks follow the 13-byte
  // screen descriptor: the looping block, then the frame's control block.
  const auto bytes = testsupport::ReadBytes(Dir() + "out.gif");
  const std::string text(bytes.begin(), bytes.end());
  const std::string loop = std::string("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
  ASSERT_GT(text.size(), 13u + loop.size());
  EXPECT_EQ(text.substr(13, loop.size()), loop);
  EXPECT_EQ(text.substr(13 + loop.size(), 3), std::string("\x21\xF9\x04"));
  EXPECT_EQ(text.find(loop, 14), std::string::npos);
  // Every written frame has its control block, the last with its fields
  // as they start.
  TGIFImage out;
  out.LoadFromFile(Dir() + "out.gif");
  ASSERT_EQ(out.Images().Count(), 4);
  for (int f = 0; f < 4; ++f) EXPECT_NE(out.Images()[f]->GraphicControlExtension(), nullptr) << f;
  EXPECT_EQ(out.Images()[3]->GraphicControlExtension()->Packed, 0);
  EXPECT_EQ(out.Images()[3]->GraphicControlExtension()->GetDelay(), 0);
}

TEST_F(ProcessGifTest, BlocksWithoutAnImageAreNoFrames) {
  // Our writer makes the frames; a control block without an image is put
  // before the trailer by hand.
  auto withTrailingBlock = [&](const std::string& name, const std::vector<TSourceFrame>& frames) {
    const std::string path = WriteAnimation(name, frames);
    auto bytes = testsupport::ReadBytes(path);
    bytes.pop_back();
    for (int b : {0x21, 0xF9, 0x04, 0x08, 0x05, 0x00, 0x00, 0x00, 0x3B}) bytes.push_back(static_cast<std::uint8_t>(b));
    testsupport::WriteBytes(path, bytes);
    return path;
  };
  const std::vector<TSourceFrame> two = {{10, 6, Solid(kRed), 0, 0, true, 3}, {10, 6, Solid(kGreen), 0, 0, true, 4}};
  TMark m;
  m.GifMarkFirst = true;
  AddMark(m, SolidBitmap(2, 2, clWhite), 0, 0);
  {
    TGIFImage check;
    check.LoadFromFile(withTrailingBlock("two.gif", two));
    ASSERT_EQ(check.Images().Count(), 3);  // the reader keeps the block as an empty frame
    EXPECT_TRUE(check.Images()[2]->Empty());
  }
  ASSERT_TRUE(m.ProcessFile(Dir() + "two.gif", Dir() + "two-out.gif"));
  EXPECT_EQ(Info(Dir() + "two-out.gif").size(), 3u);
  {
    // Nor is an empty frame written: no block is left before the trailer.
    TGIFImage out;
    out.LoadFromFile(Dir() + "two-out.gif");
    EXPECT_EQ(out.Images().Count(), 2);
  }
  const auto read = ReadFrames(Dir() + "two-out.gif", 2);
  ASSERT_EQ(read.size(), 2u);
  ExpectFrame(read[0], two[0], {{0, 0, 2, 2}});
  ExpectFrame(read[1], two[1], {});

  // One picture and such a block is one frame: it takes the single-frame
  // road, with the settings' options.
  ASSERT_TRUE(m.ProcessFile(withTrailingBlock("one.gif", {two[1]}), Dir() + "one-out.gif"));
  EXPECT_EQ(Info(Dir() + "one-out.gif").size(), 2u);
  ASSERT_EQ(ReadFrames(Dir() + "one-out.gif", 1).size(), 1u);

  // Nothing but such a block has no picture to mark.
  testsupport::WriteBytes(Dir() + "none.gif", {'G', 'I', 'F', '8', '9', 'a', 4, 0, 4, 0, 0, 0, 0, 0x21, 0xF9, 4, 0, 5,
                                               0, 0, 0, 0x3B});
  EXPECT_FALSE(m.ProcessFile(Dir() + "none.gif", Dir() + "none-out.gif"));
  EXPECT_FALSE(std::filesystem::exists(Dir() + "none-out.gif"));
}

// Hidden pixels stay hidden, pixels of the same colour stay visible, and
// a mark drawn over hidden pixels shows.
TEST_F(ProcessGifTest, TransparentPixelsStayExactlyWhereTheyWere) {
  // Frame 0: the bottom-left pixel is visible red, the hidden block lies
  // at the top middle, visible black at the right.
  auto index0 = [](int x, int y) {
    if (x >= 8 && x < 12 && y < 6) return static_cast<int>(kHidden);
    return x >= 12 ? static_cast<int>(kBlack) : static_cast<int>(kRed);
  };
  // Frame 1: the left columns are hidden (the bottom-left pixel too),
  // visible black at the right.
  auto index1 = [](int x, int) {
    if (x < 6) return static_cast<int>(kHidden);
    return x >= 10 ? static_cast<int>(kBlack) : static_cast<int>(kGreen);
  };
  // Frame 2: one hidden pixel, under the mark.
  auto index2 = [](int x, int y) { return x == 5 && y == 3 ? static_cast<int>(kHidden) : static_cast<int>(kBlue); };
  // Frame 3: no visible pixel shares the hidden colour.
  auto index3 = [](int x, int y) { return x < 3 && y >= 8 ? static_cast<int>(kHidden) : static_cast<int>(kGreen); };
  const std::vector<TSourceFrame> frames = {{16, 12, index0, 0, 0, true, 5, 0, true},
                                            {16, 12, index1, 0, 0, true, 5, 0, true},
                                            {16, 12, index2, 0, 0, true, 5, 0, true},
                                            {16, 12, index3, 0, 0, true, 5, 0, true}};
  const std::string src = WriteAnimation("hidden.gif", frames);
  const TRect2 mark{4, 2, 4, 4};
  TMark m;
  AddMark(m, SolidBitmap(mark.W, mark.H, clWhite), mark.X, mark.Y);
  ASSERT_TRUE(m.ProcessFile(src, Dir() + "out.gif"));

  const auto read = ReadFrames(Dir() + "out.gif", 4);
  ASSERT_EQ(read.size(), 4u);
  for (std::size_t f = 0; f < 4; ++f) {
    SCOPED_TRACE(f);
    ExpectFrame(read[f], frames[f], {mark}, [&](int x, int y) {
      return frames[f].Index(x, y) == kHidden && !mark.Contains(x, y);
    });
  }
  const auto info = Info(Dir() + "out.gif");
  ASSERT_EQ(info.size(), 5u);
  EXPECT_NE(info[1].find("transparent"), std::string::npos) << info[1];
  EXPECT_NE(info[2].find("transparent"), std::string::npos) << info[2];
  // Nothing is left to hide in the third frame.
  EXPECT_EQ(info[3].find("transparent"), std::string::npos) << info[3];
  EXPECT_NE(info[4].find("transparent"), std::string::npos) << info[4];
}

// A single frame, or the first frame of an animation written as one, keeps
// what it hid hidden, as the animated road does: inside the frame, and,
// for a transparent frame smaller than the screen, around it. A mark drawn
// over hidden pixels shows.
TEST_F(ProcessGifTest, SingleFramesKeepWhatTheyHidHidden) {
  // Hidden at the top left, visible black (the hidden colour too) at the
  // right, red elsewhere.
  auto index = [](int x, int y) {
    if (x >= 1 && x < 5 && y < 4) return static_cast<int>(kHidden);
    return x >= 7 ? static_cast<int>(kBlack) : static_cast<int>(kRed);
  };
  const TSourceFrame screenSized{16, 12, index, 0, 0, true, 5, 0, true};
  const TSourceFrame inset{10, 8, index, 3, 2, true, 5, 0, true};
  const TSourceFrame second{16, 12, Solid(kGreen), 0, 0, true, 5, 0, false};
  // What the written frame shows, on the whole screen.
  const TSourceFrame insetOnScreen{16, 12, [&](int x, int y) {
                                     const bool inside = x >= 3 && x < 13 && y >= 2 && y < 10;
                                     return inside ? index(x - 3, y - 2) : static_cast<int>(kHidden);
                                   }};
  struct Case {
    const char* Name;
    std::vector<TSourceFrame> Frames;
    TSourceFrame Shown;
    TRect2 Mark;
  };
  const Case cases[] = {
      {"a frame of the screen's size", {screenSized}, screenSized, {3, 2, 4, 3}},
      {"a frame smaller than the screen", {inset}, insetOnScreen, {0, 0, 5, 4}},
      {"the first frame of an animation", {screenSized, second}, screenSized, {10, 9, 3, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string src = WriteAnimation("hidden.gif", c.Frames, 16, 12);
    TMark m;
    m.GifDisableAnimate = true;
    AddMark(m, SolidBitmap(c.Mark.W, c.Mark.H, clWhite), c.Mark.X, c.Mark.Y);
    ASSERT_TRUE(m.ProcessFile(src, Dir() + "out.gif"));
    const auto info = Info(Dir() + "out.gif");
    ASSERT_EQ(info.size(), 2u) << info[0];
    EXPECT_NE(info[1].find("transparent"), std::string::npos) << info[1];
    const auto read = ReadFrames(Dir() + "out.gif", 1);
    ASSERT_EQ(read.size(), 1u);
    const auto hidden = [&](int x, int y) { return c.Shown.Index(x, y) == kHidden && !c.Mark.Contains(x, y); };
    ExpectFrame(read[0], c.Shown, {c.Mark}, hidden, kBlendedWhite);
  }
}

// Rotation belongs to the normal road only.
TEST_F(ProcessGifTest, RotatedMarkIsDrawnUprightOnThisRoad) {
  const std::vector<TSourceFrame> frames = {{20, 16, Solid(kRed), 0, 0, true, 5},
                                            {20, 16, Solid(kGreen), 0, 0, true, 5}};
  const std::string src = WriteAnimation("turn.gif", frames);
  const TRect2 mark{4, 6, 8, 2};
  TMark m;
  AddMark(m, SolidBitmap(mark.W, mark.H, clWhite), mark.X, mark.Y);
  m.Records[0].SetAngle(45);
  ASSERT_TRUE(m.ProcessFile(src, Dir() + "anim.gif"));
  auto read = ReadFrames(Dir() + "anim.gif", 2);
  ASSERT_EQ(read.size(), 2u);
  ExpectFrame(read[0], frames[0], {mark});
  ExpectFrame(read[1], frames[1], {mark});

  m.GifDisableAnimate = true;
  ASSERT_TRUE(m.ProcessFile(src, Dir() + "single.gif"));
  read = ReadFrames(Dir() + "single.gif", 1);
  ASSERT_EQ(read.size(), 1u);
  ExpectFrame(read[0], frames[0], {mark}, nullptr, kBlendedWhite);

  // Into another type the mark is turned: it reaches pixels the upright
  // mark does not cover.
  ASSERT_TRUE(m.ProcessFile(src, Dir() + "turned.bmp"));
  TBitmap turned;
  turned.LoadFromFile(Dir() + "turned.bmp");
  int changedOutside = 0;
  for (int y = 0; y < turned.Height(); ++y) {
    for (int x = 0; x < turned.Width(); ++x) {
      if (!mark.Contains(x, y) && !(PixelAt(turned, x, y) == (TBgr{0, 0, 255}))) ++changedOutside;
    }
  }
  EXPECT_GT(changedOutside, 0);
}

// The palette, dither and compression settings reach single frames;
// an animation is written with the GIF image's own defaults.
TEST_F(ProcessGifTest, GifSettingsReachSingleFramesOnly) {
  // Colours off the web palette: the octree palette keeps them, the web
  // palette moves them.
  const TColor odd[] = {RGB(10, 20, 30), RGB(200, 90, 40), RGB(77, 140, 222), RGB(250, 250, 5)};
  TBitmap picture(12, 8, pf24bit);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 12; ++x) {
      const TColor c = odd[(x / 3 + y / 4) % 4];
      SetPixelAt(picture, x, y, {static_cast<int>((c >> 16) & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                                 static_cast<int>(c & 0xFF)});
    }
  }
  TGIFImage exact;
  exact.ColorReduction = rmQuantize;
  exact.Assign(picture);
  exact.SaveToFile(Dir() + "one.gif");
  TGIFImage twice;
  twice.ColorReduction = rmQuantize;
  twice.Assign(picture);
  twice.Add(picture);
  twice.SaveToFile(Dir() + "two.gif");

  auto allWebColours = [](const TFrameRead& r) {
    return std::all_of(r.Pixels.Rgb.begin(), r.Pixels.Rgb.end(), [](std::uint8_t v) { return v % 51 == 0; });
  };
  auto samePixels = [&](const TFrameRead& r) {
    for (int y = 0; y < 8; ++y) {
      for (int x = 0; x < 12; ++x) {
        const TBgr p = PixelAt(picture, x, y);
        if (!(r.At(x, y) == TRgb{p.R, p.G, p.B})) return false;
      }
    }
    return true;
  };

  TMark m;
  ProgramInfo().GifEnablePalette = true;
  ProgramInfo().GifEnableDither = false;
  ProgramInfo().GifCompress = 0;
  ProgramInfo().GifPalette = 0;  // octree palette
  ASSERT_TRUE(m.ProcessFile(Dir() + "one.gif", Dir() + "octree.gif"));
  auto read = ReadFrames(Dir() + "octree.gif", 1);
  ASSERT_EQ(read.size(), 1u);
  EXPECT_TRUE(samePixels(read[0]));
  // The animation ignores the setting.
  ASSERT_TRUE(m.ProcessFile(Dir() + "two.gif", Dir() + "anim.gif"));
  read = ReadFrames(Dir() + "anim.gif", 2);
  ASSERT_EQ(read.size(), 2u);
  EXPECT_TRUE(allWebColours(read[0]));
  EXPECT_TRUE(allWebColours(read[1]));

  ProgramInfo().GifPalette = 7;  // web palette
  ASSERT_TRUE(m.ProcessFile(Dir() + "one.gif", Dir() + "web.gif"));
  read = ReadFrames(Dir() + "web.gif", 1);
  ASSERT_EQ(read.size(), 1u);
  EXPECT_TRUE(allWebColours(read[0]));
  EXPECT_FALSE(samePixels(read[0]));

  // Run-length coding gives other bytes for the same pixels.
  ProgramInfo().GifCompress = 1;
  ASSERT_TRUE(m.ProcessFile(Dir() + "one.gif", Dir() + "web-rle.gif"));
  const auto rle = ReadFrames(Dir() + "web-rle.gif", 1);
  ASSERT_EQ(rle.size(), 1u);
  EXPECT_EQ(rle[0].Pixels.Rgb, read[0].Pixels.Rgb);
  EXPECT_NE(testsupport::ReadBytes(Dir() + "web-rle.gif"), testsupport::ReadBytes(Dir() + "web.gif"));

  // Error diffusion spreads a colour between web colours over several.
  ProgramInfo().GifCompress = 0;
  ProgramInfo().GifEnableDither = true;
  ProgramInfo().GifDither = dmFloydSteinberg;
  ASSERT_TRUE(m.ProcessFile(Dir() + "one.gif", Dir() + "dither.gif"));
  const auto dithered = ReadFrames(Dir() + "dither.gif", 1);
  ASSERT_EQ(dithered.size(), 1u);
  EXPECT_TRUE(allWebColours(dithered[0]));
  EXPECT_NE(dithered[0].Pixels.Rgb, read[0].Pixels.Rgb);
}

// Any source written as GIF with each palette choice, and every dither
// mode and both codings among them: giftopnm reads each without a word,
// and the colours are those of the chosen palette.
TEST_F(ProcessGifTest, EveryPaletteChoiceWritesAFileOfItsColours) {
  const std::string src = Dir() + "photo.jpg";
  testsupport::WriteBytes(src, EncodeJpeg(PatternBitmap(40, 30, 1), 90));
  TMark m;
  AddMark(m, PatternBitmap(6, 5, 2), 3, 3);
  ProgramInfo().GifEnablePalette = true;
  ProgramInfo().GifEnableDither = true;
  auto grey = [](const TRgb& c) { return c.R == c.G && c.G == c.B; };
  const std::function<bool(const TRgb&)> allowed[] = {
      [](const TRgb&) { return true; },
      [](const TRgb&) { return true; },
      [](const TRgb&) { return true; },
      [](const TRgb& c) {
        const auto& p = HalftonePalette();
        return std::any_of(p.begin(), p.end(), [&](const TPaletteEntry& e) {
          return e.Red == c.R && e.Green == c.G && e.Blue == c.B;
        });
      },
      [&](const TRgb& c) { return grey(c) && (c.R == 0 || c.R == 0x80 || c.R == 0xC0 || c.R == 0xFF); },
      [&](const TRgb& c) { return grey(c) && (c.R == 0 || c.R == 0xFF); },
      grey,
      [](const TRgb& c) { return c.R % 51 == 0 && c.G % 51 == 0 && c.B % 51 == 0; }};
  const std::size_t mostColours[] = {256, 256, 20, 256, 4, 2, 256, 216};
  for (int palette = 0; palette <= 7; ++palette) {
    SCOPED_TRACE(palette);
    ProgramInfo().GifPalette = static_cast<std::uint8_t>(palette);
    ProgramInfo().GifDither = static_cast<std::uint8_t>(palette % 7);
    ProgramInfo().GifCompress = static_cast<std::uint8_t>(palette % 2);
    const std::string out = Dir() + "p" + std::to_string(palette) + ".gif";
    ASSERT_TRUE(m.ProcessFile(src, out));
    const auto read = ReadFrames(out, 1);
    ASSERT_EQ(read.size(), 1u);
    ASSERT_EQ(read[0].Pixels.Width, 40);
    std::vector<TRgb> seen;
    for (int y = 0; y < 30; ++y) {
      for (int x = 0; x < 40; ++x) {
        const TRgb c = read[0].At(x, y);
        ASSERT_TRUE(allowed[palette](c)) << c << " at " << x << "," << y;
        if (std::find(seen.begin(), seen.end(), c) == seen.end()) seen.push_back(c);
      }
    }
    EXPECT_LE(seen.size(), mostColours[palette]);
    EXPECT_GT(seen.size(), 1u);
  }
}

// An animation from Pillow (hidden pixels in every frame, later frames
// smaller and moved, one restoring the previous picture) goes through
// without marks: Pillow composes the same pictures from our file as from
// its own.
TEST_F(ProcessGifTest, PillowAnimationShowsTheSameAfterwards) {
  if (!testsupport::HavePillow()) GTEST_SKIP() << "Pillow is not importable by /usr/bin/python3";
  const std::string src = Dir() + "pillow.gif";
  const auto made = testsupport::Run(
      {"/usr/bin/python3", "-c",
       "import sys\n"
       "from PIL import Image\n"
       "pal = [0,0,0, 255,0,0, 0,255,0, 0,0,255, 255,255,0, 0,0,0]\n"
       "frames = []\n"
       "for i in range(4):\n"
       "    im = Image.new('P', (24, 16), 5 if i else 0)\n"
       "    im.putpalette(pal + [0] * (768 - len(pal)))\n"
       "    for y in range(16):\n"
       "        for x in range(24):\n"
       "            if (x // 4 + y // 3 + i) % 3 == 0 and x > i * 3: im.putpixel((x, y), 1 + i)\n"
       "            elif i and (x + y) % 5 == 0: im.putpixel((x, y), 0)\n"
       "    frames.append(im)\n"
       "frames[0].save(sys.argv[1], save_all=True, append_images=frames[1:], duration=[30, 40, 50, 60],\n"
       "               disposal=[1, 1, 1, 3], loop=0, transparency=5, optimize=False)\n",
       src});
  ASSERT_EQ(made.ExitCode, 0) << made.Err;
  TMark none;
  ASSERT_TRUE(none.ProcessFile(src, Dir() + "out.gif"));
  EXPECT_EQ(ReadFrames(Dir() + "out.gif", 4).size(), 4u);
  const auto compared = testsupport::Run(
      {"/usr/bin/python3", "-c",
       "import sys\n"
       "from PIL import Image\n"
       "def frames(name):\n"
       "    im = Image.open(name)\n"
       "    out = []\n"
       "    for i in range(im.n_frames):\n"
       "        im.seek(i)\n"
       "        out.append((im.info.get('duration'), list(im.convert('RGBA').getdata())))\n"
       "    return out\n"
       "a, b = frames(sys.argv[1]), frames(sys.argv[2])\n"
       "if len(a) != len(b): print('frames', len(a), len(b))\n"
       "for i, (x, y) in enumerate(zip(a, b)):\n"
       "    if x[0] != y[0]: print('frame', i, 'duration', x[0], y[0])\n"
       "    diff = [k for k in range(len(x[1])) if x[1][k] != y[1][k]]\n"
       "    if diff: print('frame', i, len(diff), 'pixels differ, first at', diff[0], x[1][diff[0]], y[1][diff[0]])\n",
       src, Dir() + "out.gif"});
  ASSERT_EQ(compared.ExitCode, 0) << compared.Err;
  EXPECT_EQ(compared.Out, "");
}
