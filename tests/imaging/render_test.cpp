// Mark rendering: blending and the colour key, placement and clipping,
// the source treatment (scale, fixed size, frame band, bevels, mask) and
// the mark effects.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "core/numbers.h"
#include "imaging/drawing.h"
#include "imaging/mark.h"
#include "imaging_fixture.h"

namespace {

class RenderTest : public ImagingTest {
 protected:
  // A mark set holding one mark with the given picture and default record.
  static void AddMark(TMark& m, const TBitmap& picture) {
    m.AddMark("");
    m.MarkPictures.back() = picture;
    m.PristineMarks.back() = picture;
  }
};

// The blend of one channel as the rendering defines it.
int Blend(int target, int source, int a) { return (target * a + source * (255 - a)) >> 8; }

// The nearest-neighbour source index of target index d on a side of n
// taken from a side of s pixels.
int Sample(int d, int n, int s) { return static_cast<int>((2LL * d + 1) * s / (2LL * n)); }

}  // namespace

TEST_F(RenderTest, BlendFactorsRoundHalvesToEven) {
  const struct {
    int transparency, factor;
  } cases[] = {{0, 0}, {10, 26}, {30, 76}, {50, 128}, {70, 178}, {90, 230}, {100, 255}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.transparency);
    TBitmap dest = SolidBitmap(3, 2, RGB(200, 10, 255));
    TBitmap src = SolidBitmap(2, 2, RGB(100, 250, 0));
    TMarkInfo r;
    InitMarkInfo(r);
    r.SetTransparency(static_cast<std::uint8_t>(c.transparency));
    BlendDraw(src, dest, r, 1, 0);
    EXPECT_EQ(PixelAt(dest, 1, 1), (TBgr{Blend(255, 0, c.factor), Blend(10, 250, c.factor), Blend(200, 100, c.factor)}));
    EXPECT_EQ(PixelAt(dest, 0, 0), (TBgr{255, 10, 200}));  // left of the mark
  }
  // An opaque white mark comes out as 254.
  TBitmap dest = SolidBitmap(1, 1, clBlack);
  TBitmap white = SolidBitmap(1, 1, clWhite);
  TMarkInfo r;
  InitMarkInfo(r);
  BlendDraw(white, dest, r, 0, 0);
  EXPECT_EQ(PixelAt(dest, 0, 0), (TBgr{254, 254, 254}));
  r.SetTransparency(101);
  EXPECT_THROW(BlendDraw(white, dest, r, 0, 0), ERangeError);
}

TEST_F(RenderTest, ColourKeySkipsPixelsWithinTheTolerance) {
  // Mark pixels: pure white, white less 10 in each channel, white less 11
  // in one channel, and black.
  TBitmap mark(4, 1, pf24bit);
  SetPixelAt(mark, 0, 0, {255, 255, 255});
  SetPixelAt(mark, 1, 0, {245, 245, 245});
  SetPixelAt(mark, 2, 0, {255, 244, 255});
  SetPixelAt(mark, 3, 0, {0, 0, 0});
  TMarkInfo r;
  InitMarkInfo(r);
  r.SetColorKeyOn(true);
  const TBgr back{50, 60, 70};
  auto drawn = [&](int tolerance) {
    r.SetKeyTolerance(static_cast<std::uint8_t>(tolerance));
    TBitmap dest(4, 1, pf24bit);
    for (int x = 0; x < 4; ++x) SetPixelAt(dest, x, 0, back);
    BlendDraw(mark, dest, r, 0, 0);
    std::vector<bool> changed;
    for (int x = 0; x < 4; ++x) changed.push_back(!(PixelAt(dest, x, 0) == back));
    return changed;
  };
  EXPECT_EQ(drawn(0), (std::vector<bool>{false, true, true, true}));
  EXPECT_EQ(drawn(10), (std::vector<bool>{false, false, true, true}));
  // Only a key byte of exactly 1 turns the key on.
  r.SetU8(TMarkInfo::oColorKeyOn, 2);
  EXPECT_EQ(drawn(10), (std::vector<bool>{true, true, true, true}));
}

TEST_F(RenderTest, MarksPartlyOutsideAreClippedLikeANaiveLoop) {
  const TBitmap picture = PatternBitmap(37, 23, 5);
  const TBitmap mark = PatternBitmap(15, 11, 9);
  const TPoint places[] = {{-7, -4}, {30, 18}, {-14, 22}, {36, -10}, {-15, 0}, {37, 0}, {0, 23},
                           {std::numeric_limits<int>::max() - 20, 3}, {std::numeric_limits<int>::min() + 5, 3}};
  for (const TPoint p : places) {
    SCOPED_TRACE(testing::Message() << p.X << "," << p.Y);
    TMarkInfo r;
    InitMarkInfo(r);
    r.SetTransparency(30);
    r.SetColorKeyOn(true);
    r.SetKeyColor(RGB(mark.ScanLine(2)[5], mark.ScanLine(2)[4], mark.ScanLine(2)[3]));  // the colour of (1, 2)
    r.SetKeyTolerance(20);
    TBitmap dest(picture), src(mark);
    BlendDraw(src, dest, r, p.X, p.Y);

    TBitmap expected(picture);
    for (int y = 0; y < mark.Height(); ++y) {
      for (int x = 0; x < mark.Width(); ++x) {
        const long long tx = static_cast<long long>(p.X) + x, ty = static_cast<long long>(p.Y) + y;
        if (tx < 0 || ty < 0 || tx >= picture.Width() || ty >= picture.Height()) continue;
        const TBgr s = PixelAt(mark, x, y);
        const TBgr k{GetBValue(r.KeyColor()), GetGValue(r.KeyColor()), GetRValue(r.KeyColor())};
        if (std::abs(s.B - k.B) <= 20 && std::abs(s.G - k.G) <= 20 && std::abs(s.R - k.R) <= 20) continue;
        const TBgr t = PixelAt(expected, static_cast<int>(tx), static_cast<int>(ty));
        SetPixelAt(expected, static_cast<int>(tx), static_cast<int>(ty),
                   {Blend(t.B, s.B, 76), Blend(t.G, s.G, 76), Blend(t.R, s.R, 76)});
      }
    }
    EXPECT_TRUE(SamePixels(dest, expected));
  }
}

TEST_F(RenderTest, OpaqueMarkAtTheTopLeftLeavesTheRestUnchanged) {
  TMark m(PatternBitmap(20, 12));
  const TBitmap mark = PatternBitmap(6, 4, 3);
  AddMark(m, mark);
  m.DrawMarks(20, 12);
  const TBitmap before = PatternBitmap(20, 12);
  for (int y = 0; y < 12; ++y) {
    for (int x = 0; x < 20; ++x) {
      if (x < 6 && y < 4) {
        const TBgr s = PixelAt(mark, x, y);
        ASSERT_EQ(PixelAt(m.Composite, x, y), (TBgr{s.B * 255 >> 8, s.G * 255 >> 8, s.R * 255 >> 8}));
      } else {
        ASSERT_EQ(PixelAt(m.Composite, x, y), PixelAt(before, x, y));
      }
    }
  }
}

TEST_F(RenderTest, AnchorsAndOffsetsPlaceTheMark) {
  for (int anchor = 0; anchor < 9; ++anchor) {
    TMark m(SolidBitmap(100, 80, clBlack));
    AddMark(m, SolidBitmap(31, 20, clWhite));
    m.Records[0].SetAnchor(static_cast<std::uint8_t>(anchor));
    m.Records[0].SetXOffset(-3);
    m.Records[0].SetYOffset(2);
    m.DrawMarks(100, 80);
    const int xs[] = {0, 34, 69}, ys[] = {0, 30, 60};
    const int x0 = xs[anchor % 3] - 3, y0 = ys[anchor / 3] + 2;
    int covered = 0;
    for (int y = 0; y < 80; ++y) {
      for (int x = 0; x < 100; ++x) covered += PixelAt(m.Composite, x, y).R == 254;
    }
    const int w = std::min(100, x0 + 31) - std::max(0, x0), h = std::min(80, y0 + 20) - std::max(0, y0);
    EXPECT_EQ(covered, w * h) << anchor;
    EXPECT_EQ(PixelAt(m.Composite, std::max(0, x0), std::min(79, y0 + 19)).R, 254) << anchor;
  }
}

TEST_F(RenderTest, RightAngleSwapsTheSizeBeforeAnchoring) {
  TMark m(SolidBitmap(100, 80, clBlack));
  AddMark(m, SolidBitmap(40, 20, clWhite));
  m.Records[0].SetAngle(90);
  m.Records[0].SetAnchor(8);
  m.DrawMarks(100, 80);
  EXPECT_EQ(m.MarkPictures[0].Width(), 20);
  EXPECT_EQ(m.MarkPictures[0].Height(), 40);
  EXPECT_TRUE(ProgramInfo().ScratchBitmap.Empty());
  EXPECT_EQ(PixelAt(m.Composite, 80, 40).R, 254);
  EXPECT_EQ(PixelAt(m.Composite, 99, 79).R, 254);
  EXPECT_EQ(PixelAt(m.Composite, 79, 79).R, 0);
  EXPECT_EQ(PixelAt(m.Composite, 99, 39).R, 0);

  // Angle 0 leaves the mark picture as it is.
  TMark still(SolidBitmap(10, 10, clBlack));
  AddMark(still, PatternBitmap(4, 3));
  still.DrawMarks(10, 10);
  EXPECT_TRUE(SamePixels(still.MarkPictures[0], PatternBitmap(4, 3)));
}

TEST_F(RenderTest, TilingStartsAtTheAnchorPoint) {
  TBitmap tile = SolidBitmap(3, 2, clWhite);
  SetPixelAt(tile, 0, 0, {0, 0, 255});
  TMark m(SolidBitmap(10, 7, clBlack));
  AddMark(m, tile);
  m.Records[0].SetEffectFlags(mfTilePic);
  m.DrawMarks(10, 7);
  // Anchor 0: the grown mark covers the whole picture, cell corners red.
  for (int y = 0; y < 7; ++y) {
    for (int x = 0; x < 10; ++x) {
      const TBgr expected = (x % 3 == 0 && y % 2 == 0) ? TBgr{0, 0, 254} : TBgr{254, 254, 254};
      ASSERT_EQ(PixelAt(m.Composite, x, y), expected) << x << "," << y;
    }
  }
  // Anchor 4 places the mark's own top-left at the centre point.
  TMark c(SolidBitmap(10, 7, clBlack));
  AddMark(c, tile);
  c.Records[0].SetEffectFlags(mfTilePic);
  c.Records[0].SetAnchor(4);
  c.DrawMarks(10, 7);
  EXPECT_EQ(PixelAt(c.Composite, 3, 2), (TBgr{0, 0, 254}));  // (10-3)/2, (7-2)/2
  EXPECT_EQ(PixelAt(c.Composite, 2, 2), (TBgr{0, 0, 0}));
  EXPECT_EQ(PixelAt(c.Composite, 9, 6), (TBgr{0, 0, 254}));  // mark pixel (6, 4), a cell corner
  EXPECT_EQ(PixelAt(c.Composite, 8, 6), (TBgr{254, 254, 254}));
}

TEST_F(RenderTest, SourceScaleRoundsHalfToEvenFromTheGivenSize) {
  TMark m(PatternBitmap(101, 100));
  AddMark(m, TBitmap());
  AddMark(m, TBitmap());
  for (TMarkInfo& r : m.Records) {
    r.SetEffectFlags(mfResizeSource | mfResizeSourceByScale);
    r.SetSourceScale(50.0f);
  }
  m.DrawMarks(101, 100);
  // 50.5 rounds to 50; the second mark scales the same given size again.
  EXPECT_EQ(m.Composite.Width(), 50);
  EXPECT_EQ(m.Composite.Height(), 50);

  TMark fixed(PatternBitmap(30, 20));
  AddMark(fixed, TBitmap());
  AddMark(fixed, TBitmap());
  fixed.Records[0].SetEffectFlags(mfResizeSource);
  fixed.Records[0].SetSourceWidth(60);
  fixed.Records[0].SetSourceHeight(40);
  fixed.Records[1].SetEffectFlags(mfResizeSource);
  fixed.Records[1].SetSourceWidth(15);
  fixed.Records[1].SetSourceHeight(10);
  fixed.DrawMarks(30, 20);
  EXPECT_EQ(fixed.Composite.Width(), 15);
  // The second treatment works on the first one's result: pixel (x, y)
  // shows source pixel (2x..) of the doubled picture, that is (x*2, y*2)
  // of the original.
  const TBitmap original = PatternBitmap(30, 20);
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 15; ++x) {
      const int dx = Sample(x, 15, 60), dy = Sample(y, 10, 40);
      ASSERT_EQ(PixelAt(fixed.Composite, x, y), PixelAt(original, Sample(dx, 60, 30), Sample(dy, 40, 20)));
    }
  }
}

TEST_F(RenderTest, UnusableRecordValuesFailCleanly) {
  auto failsWith = [&](auto setUp) {
    TMark m(PatternBitmap(8, 8));
    AddMark(m, PatternBitmap(2, 2));
    setUp(m.Records[0]);
    m.DrawMarks(8, 8);
  };
  auto scaleOf = [](float s) {
    return [s](TMarkInfo& r) {
      r.SetEffectFlags(mfResizeSource | mfResizeSourceByScale);
      r.SetSourceScale(s);
    };
  };
  EXPECT_THROW(failsWith(scaleOf(std::numeric_limits<float>::quiet_NaN())), ERangeError);
  EXPECT_THROW(failsWith(scaleOf(std::numeric_limits<float>::infinity())), ERangeError);
  EXPECT_THROW(failsWith(scaleOf(0.0f)), ERangeError);
  EXPECT_THROW(failsWith(scaleOf(-50.0f)), ERangeError);
  EXPECT_THROW(failsWith(scaleOf(3.0e38f)), EOutOfResources);
  EXPECT_THROW(failsWith([](TMarkInfo& r) {
                 r.SetEffectFlags(mfResizeSource);
                 r.SetSourceWidth(65535);
                 r.SetSourceHeight(65535);
               }),
               EOutOfResources);
  EXPECT_THROW(failsWith([](TMarkInfo& r) { r.SetTransparency(200); }), ERangeError);
  // A scale that leaves no pixel gives an empty picture, not an error.
  TMark tiny(PatternBitmap(8, 8));
  AddMark(tiny, PatternBitmap(2, 2));
  scaleOf(1.0f)(tiny.Records[0]);
  EXPECT_NO_THROW(tiny.DrawMarks(8, 8));
  EXPECT_TRUE(tiny.Composite.Empty());
}

TEST_F(RenderTest, FrameBandSurroundsTheFittedPicture) {
  const TBitmap source = PatternBitmap(100, 80);
  TMark m(source);
  AddMark(m, TBitmap());
  TMarkInfo& r = m.Records[0];
  r.SetEffectFlags(mfSourceFrame);
  r.SetFrameColor(RGB(1, 2, 3));
  r.SetBevelInner(1);
  r.SetBevelOuter(1);
  m.DrawMarks(100, 80);
  ASSERT_EQ(m.Composite.Width(), 100);
  ASSERT_EQ(m.Composite.Height(), 80);
  // Inner area 90 x 70; the picture fitted by 0.875 is 87 x 70 at (6, 5).
  const TRect f{6, 5, 93, 75};
  for (int y = 0; y < 80; ++y) {
    for (int x = 0; x < 100; ++x) {
      if (x >= f.Left && x < f.Right && y >= f.Top && y < f.Bottom) {
        ASSERT_EQ(PixelAt(m.Composite, x, y),
                  PixelAt(source, Sample(x - f.Left, f.Width(), 100), Sample(y - f.Top, f.Height(), 80)))
            << x << "," << y;
      } else {
        ASSERT_EQ(PixelAt(m.Composite, x, y), (TBgr{3, 2, 1})) << x << "," << y;
      }
    }
  }
}

TEST_F(RenderTest, FrameBandOfHalfThePictureLeavesNoInnerArea) {
  TMark m(PatternBitmap(20, 10));
  AddMark(m, TBitmap());
  TMarkInfo& r = m.Records[0];
  r.SetEffectFlags(mfSourceFrame | mfResizeSource);
  r.SetSourceWidth(20);
  r.SetSourceHeight(10);
  r.SetFrameWidthX(10);
  r.SetFrameWidthY(300);
  r.SetFrameColor(RGB(9, 9, 9));
  m.DrawMarks(20, 10);
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 20; ++x) {
      const TBgr p = PixelAt(m.Composite, x, y);
      // Only the band and its bevels: nothing of the picture.
      ASSERT_TRUE(p == (TBgr{9, 9, 9}) || p == (TBgr{0, 0, 0}) || p == (TBgr{255, 255, 255})) << x << "," << y;
    }
  }
}

namespace {

// Expected bevel maps on a uniform grey 20 x 16 picture with a 3-pixel
// band: the outer ring (0, 0, 19, 15) raised, the inner ring around the
// fitted picture (4, 3, 16, 13) lowered, both one pixel wide.
TBitmap BevelTestResult(int style) {
  TMark m(SolidBitmap(20, 16, RGB(128, 128, 128)));
  m.AddMark("");
  TMarkInfo& r = m.Records[0];
  r.SetEffectFlags(mfSourceFrame);
  r.SetFrameColor(RGB(128, 128, 128));
  r.SetFrameWidthX(3);
  r.SetFrameWidthY(3);
  r.SetFrameStyle(static_cast<std::uint8_t>(style));
  m.DrawMarks(20, 16);
  return m.Composite;
}

}  // namespace

TEST_F(RenderTest, ShiftBevelMapOfStyleTwo) {
  const TBitmap result = BevelTestResult(2);
  std::vector<std::vector<int>> expected(16, std::vector<int>(20, 128));
  auto shiftRing = [&](int l, int t, int rr, int b, int light, int dark) {
    for (int y = t; y <= b; ++y) expected[y][l] += light;
    for (int x = l + 1; x <= rr; ++x) expected[t][x] += light;
    for (int y = t; y <= b; ++y) expected[y][rr] += dark;
    for (int x = l; x <= rr - 1; ++x) expected[b][x] += dark;
  };
  shiftRing(0, 0, 19, 15, 50, -50);   // outer: raised
  shiftRing(3, 2, 16, 13, -50, 50);   // inner: F (4,3,16,13) grown by 1, right/bottom in by 1; lowered
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 20; ++x) {
      ASSERT_EQ(PixelAt(result, x, y).G, expected[y][x]) << x << "," << y;
    }
  }
  EXPECT_EQ(PixelAt(result, 19, 0).G, 128);  // both shifts
  EXPECT_EQ(PixelAt(result, 0, 15).G, 128);
}

TEST_F(RenderTest, ThreeDFrameMapOfStyleZero) {
  const TBitmap result = BevelTestResult(0);
  std::vector<std::vector<int>> expected(16, std::vector<int>(20, 128));
  // The frame's own rule: right and bottom moved in by one, then the left
  // column and top row in the top colour and the right column and bottom
  // row in the bottom colour, which wins at the two shared corners.
  auto frame = [&](int l, int t, int rr, int b, int top, int bottom) {
    rr -= 1;
    b -= 1;
    for (int y = t; y <= b; ++y) expected[y][l] = top;
    for (int x = l; x <= rr; ++x) expected[t][x] = top;
    for (int y = t; y <= b; ++y) expected[y][rr] = bottom;
    for (int x = l; x <= rr; ++x) expected[b][x] = bottom;
  };
  frame(0, 0, 19, 15, 255, 0);  // raised outer: white over black
  frame(3, 2, 16, 13, 0, 255);  // lowered inner: black over white
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 20; ++x) {
      ASSERT_EQ(PixelAt(result, x, y).G, expected[y][x]) << x << "," << y;
    }
  }
  // Styles beyond 5 paint no bevel at all.
  const TBitmap none = BevelTestResult(6);
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 20; ++x) ASSERT_EQ(PixelAt(none, x, y).G, 128);
  }
}

// The other styles on the same picture: 1 averages, 3 to 5 are one-pixel
// frames whose outer ring is inset by the bevel width (one pixel less on
// the right and bottom) and whose inner ring is not.
TEST_F(RenderTest, AverageAndInsetStylesPaintTheirRings) {
  using TMap = std::vector<std::vector<int>>;
  // A line leaves its end point out; the bottom side runs to Right + 1.
  auto averageRing = [](TMap& e, int l, int t, int rr, int b, int topLeft, int bottomRight) {
    for (int y = t; y < b; ++y) e[y][l] = topLeft;
    for (int x = l; x < rr; ++x) e[t][x] = topLeft;
    for (int y = t; y < b; ++y) e[y][rr] = bottomRight;
    for (int x = l; x <= rr; ++x) e[b][x] = bottomRight;
  };
  auto shiftRing = [](TMap& e, int l, int t, int rr, int b, int light, int dark) {
    for (int y = t; y <= b; ++y) e[y][l] += light;
    for (int x = l + 1; x <= rr; ++x) e[t][x] += light;
    for (int y = t; y <= b; ++y) e[y][rr] += dark;
    for (int x = l; x <= rr - 1; ++x) e[b][x] += dark;
  };
  auto frame = [](TMap& e, int l, int t, int rr, int b, int top, int bottom) {
    rr -= 1;
    b -= 1;
    for (int y = t; y <= b; ++y) e[y][l] = top;
    for (int x = l; x <= rr; ++x) e[t][x] = top;
    for (int y = t; y <= b; ++y) e[y][rr] = bottom;
    for (int x = l; x <= rr; ++x) e[b][x] = bottom;
  };
  // Outer raised on (0, 0, 19, 15), or inset to (1, 1, 19, 15); inner
  // lowered on (3, 2, 16, 13). Every side averages grey 128.
  for (int style : {1, 3, 4, 5}) {
    SCOPED_TRACE(style);
    TMap expected(16, std::vector<int>(20, 128));
    switch (style) {
      case 1:
        averageRing(expected, 0, 0, 19, 15, 178, 78);
        averageRing(expected, 3, 2, 16, 13, 78, 178);
        break;
      case 3:
        frame(expected, 1, 1, 19, 15, 255, 0);
        frame(expected, 3, 2, 16, 13, 0, 255);
        break;
      case 4:
        averageRing(expected, 1, 1, 19, 15, 178, 78);
        averageRing(expected, 3, 2, 16, 13, 78, 178);
        break;
      default:
        shiftRing(expected, 1, 1, 19, 15, 50, -50);
        shiftRing(expected, 3, 2, 16, 13, -50, 50);
        break;
    }
    const TBitmap result = BevelTestResult(style);
    for (int y = 0; y < 16; ++y) {
      for (int x = 0; x < 20; ++x) ASSERT_EQ(PixelAt(result, x, y).G, expected[y][x]) << x << "," << y;
    }
  }
}

TEST_F(RenderTest, MaskShowsTheBackgroundWhereItIsBlack) {
  const TBitmap source = PatternBitmap(8, 6);
  TBitmap mask = SolidBitmap(8, 6, clWhite);
  for (int y = 0; y < 6; ++y) {
    for (int x = 4; x < 8; ++x) SetPixelAt(mask, x, y, {0, 0, 0});
  }
  for (bool turned : {false, true}) {
    TMark m(source);
    AddMark(m, TBitmap());
    m.Masks[0] = mask;
    TMarkInfo& r = m.Records[0];
    r.SetEffectFlags(mfUseMask | mfSourceBackgroundColor | (turned ? std::uint32_t{mfMaskTurn} : 0u));
    r.SetSourceBackColor(RGB(10, 20, 30));
    r.SetMaskRect({0, 0, 8, 6});
    m.DrawMarks(8, 6);
    for (int y = 0; y < 6; ++y) {
      for (int x = 0; x < 8; ++x) {
        const bool keep = (x < 4) != turned;
        const TBgr expected = keep ? PixelAt(source, x, y) : TBgr{30, 20, 10};
        ASSERT_EQ(PixelAt(m.Composite, x, y), expected) << x << "," << y;
      }
    }
  }
}

TEST_F(RenderTest, MixDrawsACheckerboardFixedToThePicture) {
  TMark m(SolidBitmap(6, 4, clBlack));
  AddMark(m, SolidBitmap(3, 3, clWhite));
  m.Records[0].SetEffectFlags(mfMix);
  m.Records[0].SetXOffset(1);
  m.DrawMarks(6, 4);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 6; ++x) {
      const bool inside = x >= 1 && x < 4 && y < 3;
      EXPECT_EQ(PixelAt(m.Composite, x, y).R, inside && (x + y) % 2 == 1 ? 255 : 0) << x << "," << y;
    }
  }
}

// Without a source flag the treatment would stretch the picture onto a new
// bitmap of its own size and draw that back; skipping it must give the
// same bytes.
TEST_F(RenderTest, SkippedSourceTreatmentMatchesTheFullSteps) {
  for (const TPoint size : {TPoint{1, 1}, TPoint{3, 5}, TPoint{17, 9}, TPoint{64, 2}}) {
    const TBitmap source = PatternBitmap(size.X, size.Y, size.X);
    TBitmap literal(source);
    TBitmap n(literal.Width(), literal.Height(), pf24bit);
    const TRect f = FitRect(size, size, true, true, 0, 0);
    n.Canvas().StretchDraw(f, literal);
    literal.SetSize(n.Width(), n.Height());
    literal.Canvas().Draw(0, 0, n);

    TMark m(source);
    AddMark(m, TBitmap());
    m.Records[0].SetEffectFlags(mfTilePic | mfMosaic | mfExposal | mfResize | mfMix | mfMaskTurn);
    m.PrepareSource(0, size.X, size.Y);
    EXPECT_TRUE(SamePixels(m.Composite, literal));
    EXPECT_EQ(std::memcmp(m.Composite.Bits(), literal.Bits(), static_cast<std::size_t>(literal.RowStride()) * size.Y),
              0);
  }
}

TEST_F(RenderTest, PlaceIsTakenBeforeTheEffectsChangeTheMarkSize) {
  TMark m(SolidBitmap(100, 100, clBlack));
  AddMark(m, SolidBitmap(10, 10, RGB(0, 0, 255)));
  TMarkInfo& r = m.Records[0];
  r.SetAnchor(8);
  r.SetEffectFlags(mfResize | mfExposal);
  r.SetResizeX(200);
  r.SetResizeY(300);
  m.DrawMarks(100, 100);
  EXPECT_EQ(m.MarkPictures[0].Width(), 20);
  EXPECT_EQ(m.MarkPictures[0].Height(), 30);
  // Placed at (90, 90) by the 10 x 10 size, inverted blue is yellow.
  EXPECT_EQ(PixelAt(m.Composite, 90, 90), (TBgr{0, 254, 254}));
  EXPECT_EQ(PixelAt(m.Composite, 99, 99), (TBgr{0, 254, 254}));
  EXPECT_EQ(PixelAt(m.Composite, 89, 99), (TBgr{0, 0, 0}));
  // Restoring brings the mark back as loaded.
  m.RestoreMarkPictures();
  EXPECT_TRUE(SamePixels(m.MarkPictures[0], SolidBitmap(10, 10, RGB(0, 0, 255))));
}

TEST_F(RenderTest, ApplyMarksToPictureDrawsTheFilesInLayerOrder) {
  std::vector<std::string> files;
  for (int i = 0; i < 2; ++i) {
    TMark editor;
    editor.AddMark("");
    editor.Records[0].SetPictureType(".bmp");
    editor.MarkPictures[0] = SolidBitmap(4, 4, i == 0 ? clRed : clLime);
    editor.Records[0].SetXOffset(i * 2);  // the second overlaps the first
    files.push_back(Dir() + "layer" + std::to_string(i) + ".spm");
    ASSERT_TRUE(editor.SaveMarkFile(0, files.back()));
  }
  TBitmap picture = SolidBitmap(8, 6, clBlack);
  picture.SetPixelFormat(pf8bit);
  TMark::ApplyMarksToPicture(picture, files);
  ASSERT_EQ(picture.Width(), 8);
  picture.SetPixelFormat(pf24bit);
  EXPECT_EQ(PixelAt(picture, 0, 0), (TBgr{0, 0, 254}));   // bottom layer only
  EXPECT_EQ(PixelAt(picture, 3, 3), (TBgr{0, 254, 0}));   // top layer wins
  EXPECT_EQ(PixelAt(picture, 6, 0), (TBgr{0, 0, 0}));
  // A mark file that is not there draws nothing; a damaged one is an error.
  const TBitmap before = picture;
  EXPECT_NO_THROW(TMark::ApplyMarksToPicture(picture, {Dir() + "nothing.spm"}));
  EXPECT_TRUE(SamePixels(picture, before));
  testsupport::WriteBytes(Dir() + "bad.spm", {1, 0, 0, 0, 0});
  EXPECT_THROW(TMark::ApplyMarksToPicture(picture, {Dir() + "bad.spm"}), EMarkFileError);
}
