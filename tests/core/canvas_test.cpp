#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/exceptions.h"

namespace {

// Pictures are compared as rows of letters, one letter per colour.
const std::map<char, TColor> kLetters = {
    {'.', clWhite}, {'R', clRed}, {'G', clLime}, {'B', clBlue}, {'k', clBlack}, {'g', clGray},
};

char LetterOf(TColor c) {
  for (const auto& [letter, colour] : kLetters)
    if (colour == c) return letter;
  return '?';
}

std::vector<std::string> Picture(const TBitmap& b) {
  std::vector<std::string> rows;
  for (int y = 0; y < b.Height(); ++y) {
    std::string row;
    for (int x = 0; x < b.Width(); ++x) row += LetterOf(b.GetPixelColor(x, y));
    rows.push_back(row);
  }
  return rows;
}

TBitmap FromPicture(const std::vector<std::string>& rows, TPixelFormat f = pf24bit) {
  TBitmap b(static_cast<int>(rows[0].size()), static_cast<int>(rows.size()), pf24bit);
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) b.Canvas().SetPixel(x, y, kLetters.at(rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)]));
  b.SetPixelFormat(f);
  return b;
}

// A source whose every pixel has its own colour: red = x, green = y.
TBitmap Numbered(int w, int h) {
  TBitmap b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.Canvas().SetPixel(x, y, RGB(x, y, 200));
  return b;
}

// Which source pixel each target pixel shows ("xy"), "--" for untouched
// (still white).
std::vector<std::string> Sources(const TBitmap& b) {
  std::vector<std::string> rows;
  for (int y = 0; y < b.Height(); ++y) {
    std::string row;
    for (int x = 0; x < b.Width(); ++x) {
      TColor c = b.GetPixelColor(x, y);
      if (c == clWhite) {
        row += "--";
      } else {
        row += static_cast<char>('0' + GetRValue(c));
        row += static_cast<char>('0' + GetGValue(c));
      }
      if (x + 1 < b.Width()) row += ' ';
    }
    rows.push_back(row);
  }
  return rows;
}

using Rows = std::vector<std::string>;

}  // namespace

TEST(CanvasFillRect, LeftAndTopInclusiveRightAndBottomExclusive) {
  TBitmap b(5, 4);
  b.Canvas().Brush.Color = clRed;
  b.Canvas().FillRect(Rect(1, 1, 3, 3));
  EXPECT_EQ(Picture(b), (Rows{".....", ".RR..", ".RR..", "....."}));
}

TEST(CanvasFillRect, ClipsAtEveryEdgeAndIgnoresEmptyOrInvertedRectangles) {
  struct Case {
    TRect R;
    Rows Expected;
  };
  const Case cases[] = {
      {Rect(-2, 1, 2, 2), {"....", "RR..", "...."}},          // partly left
      {Rect(1, -5, 2, 1), {".R..", "....", "...."}},          // partly above
      {Rect(3, 1, 99, 2), {"....", "...R", "...."}},          // partly right
      {Rect(2, 2, 3, 99), {"....", "....", "..R."}},          // partly below
      {Rect(-9, -9, 99, 99), {"RRRR", "RRRR", "RRRR"}},       // larger than the bitmap
      {Rect(INT_MIN, INT_MIN, INT_MAX, INT_MAX), {"RRRR", "RRRR", "RRRR"}},
      {Rect(4, 0, 9, 3), {"....", "....", "...."}},           // wholly right
      {Rect(-5, 0, 0, 3), {"....", "....", "...."}},          // wholly left
      {Rect(0, 3, 4, 9), {"....", "....", "...."}},           // wholly below
      {Rect(1, 1, 1, 3), {"....", "....", "...."}},           // empty
      {Rect(3, 2, 1, 1), {"....", "....", "...."}},           // inverted
      {Rect(1, 2, 3, 1), {"....", "....", "...."}},           // inverted vertically
  };
  for (const Case& k : cases) {
    TBitmap b(4, 3);
    b.Canvas().Brush.Color = clRed;
    b.Canvas().FillRect(k.R);
    EXPECT_EQ(Picture(b), k.Expected) << k.R.Left << "," << k.R.Top << "," << k.R.Right << "," << k.R.Bottom;
  }
  TBitmap b(2, 2);
  b.Canvas().Brush.Color = clRed;
  b.Canvas().Brush.Style = bsClear;
  b.Canvas().FillRect(Rect(0, 0, 2, 2));
  EXPECT_EQ(Picture(b), (Rows{"..", ".."}));
}

TEST(CanvasFillRect, EveryFormatStoresTheBrushColourExactly) {
  // 1 bit: a run that starts and ends inside bytes, padding untouched.
  TBitmap one(20, 2, pf1bit);
  one.Canvas().Brush.Color = clBlack;
  one.Canvas().FillRect(Rect(0, 0, 20, 2));
  one.Canvas().Brush.Color = clWhite;
  one.Canvas().FillRect(Rect(3, 1, 18, 2));
  const std::uint8_t row1[4] = {0x1F, 0xFF, 0xC0, 0x00};
  EXPECT_EQ(0, std::memcmp(one.ScanLine(1), row1, 4));
  EXPECT_EQ(one.ScanLine(0)[0], 0);

  TBitmap four(5, 1, pf4bit);
  four.Canvas().Brush.Color = clBlack;
  four.Canvas().FillRect(Rect(0, 0, 5, 1));
  four.Canvas().Brush.Color = RGB(250, 250, 0);  // nearest: yellow, entry 11
  four.Canvas().FillRect(Rect(1, 0, 4, 1));
  const std::uint8_t row4[4] = {0x0B, 0xBB, 0x00, 0x00};
  EXPECT_EQ(0, std::memcmp(four.ScanLine(0), row4, 4));

  TBitmap sixteen(2, 1, pf16bit);
  sixteen.Canvas().Brush.Color = RGB(0x12, 0x34, 0x56);
  sixteen.Canvas().FillRect(Rect(0, 0, 2, 1));
  const std::uint8_t row16[4] = {0xAA, 0x11, 0xAA, 0x11};
  EXPECT_EQ(0, std::memcmp(sixteen.ScanLine(0), row16, 4));

  TBitmap thirtyTwo(2, 2, pf32bit);
  thirtyTwo.Canvas().Brush.Color = RGB(1, 2, 3);
  thirtyTwo.Canvas().FillRect(Rect(1, 1, 2, 2));
  const std::uint8_t row32[8] = {255, 255, 255, 0, 3, 2, 1, 0};
  EXPECT_EQ(0, std::memcmp(thirtyTwo.ScanLine(1), row32, 8));

  TBitmap wide(3, 2);
  wide.Canvas().Brush.Color = clBtnShadow;  // a system colour
  wide.Canvas().FillRect(Rect(0, 0, 3, 2));
  EXPECT_EQ(wide.GetPixelColor(2, 1), RGB(128, 128, 128));
  for (int i = 9; i < 12; ++i) EXPECT_EQ(wide.ScanLine(1)[i], 0);
}

TEST(CanvasPixels, ReadsOutsideGiveTheInvalidColourAndWritesOutsideDoNothing) {
  TBitmap b(2, 2);
  b.Canvas().SetPixel(1, 0, clRed);
  EXPECT_EQ(b.Canvas().Pixel(1, 0), clRed);
  EXPECT_EQ(b.Canvas().Pixel(2, 0), 0xFFFFFFFFu);
  EXPECT_EQ(b.Canvas().Pixel(-1, 0), 0xFFFFFFFFu);
  EXPECT_EQ(b.Canvas().Pixel(0, 2), 0xFFFFFFFFu);
  EXPECT_EQ(b.Canvas().Pixel(INT_MIN, INT_MAX), 0xFFFFFFFFu);
  for (TPoint p : {Point(-1, 0), Point(2, 0), Point(0, -1), Point(0, 2), Point(INT_MAX, INT_MIN)})
    b.Canvas().SetPixel(p.X, p.Y, clBlue);
  EXPECT_EQ(Picture(b), (Rows{".R", ".."}));
  EXPECT_EQ(TBitmap().Canvas().Pixel(0, 0), 0xFFFFFFFFu);

  TBitmap p(1, 1, pf8bit);
  p.Canvas().SetPixel(0, 0, RGB(49, 99, 151));  // nearest halftone cube colour (51, 102, 153)
  EXPECT_EQ(p.ScanLine(0)[0], 61);
  EXPECT_EQ(p.Canvas().Pixel(0, 0), RGB(51, 102, 153));
}

TEST(CanvasDraw, CopiesUnscaledAndClipsOnEverySide) {
  TBitmap src = Numbered(3, 2);
  struct Case {
    int X, Y;
    Rows Expected;
  };
  const Case cases[] = {
      {1, 1, {"-- -- -- --", "-- 00 10 20", "-- 01 11 21"}},
      {-1, 0, {"10 20 -- --", "11 21 -- --", "-- -- -- --"}},
      {2, -1, {"-- -- 01 11", "-- -- -- --", "-- -- -- --"}},
      {3, 2, {"-- -- -- --", "-- -- -- --", "-- -- -- 00"}},
      {4, 0, {"-- -- -- --", "-- -- -- --", "-- -- -- --"}},
      {INT_MAX, INT_MAX, {"-- -- -- --", "-- -- -- --", "-- -- -- --"}},
      {INT_MIN, INT_MIN, {"-- -- -- --", "-- -- -- --", "-- -- -- --"}},
  };
  for (const Case& k : cases) {
    TBitmap dest(4, 3);
    dest.Canvas().Draw(k.X, k.Y, src);
    EXPECT_EQ(Sources(dest), k.Expected) << k.X << "," << k.Y;
  }
}

TEST(CanvasDraw, TransparentBitmapsLeaveTheirKeyColourOut) {
  TBitmap mark = FromPicture({"GRG", "RRR", "GRB"});
  mark.SetTransparent(true);  // automatic: the bottom-left pixel, green
  TBitmap dest = FromPicture({"kkk", "kkk", "kkk"});
  dest.Canvas().Draw(0, 0, mark);
  EXPECT_EQ(Picture(dest), (Rows{"kRk", "RRR", "kRB"}));

  mark.SetTransparentColor(clRed);
  TBitmap dest2 = FromPicture({"kkk", "kkk", "kkk"});
  dest2.Canvas().Draw(0, 0, mark);
  EXPECT_EQ(Picture(dest2), (Rows{"GkG", "kkk", "GkB"}));

  // The same rule holds for paletted sources and stretched drawing.
  TBitmap paletted(mark);
  paletted.SetPixelFormat(pf4bit);
  TBitmap dest3 = FromPicture({"kkkkkk", "kkkkkk", "kkkkkk"});
  dest3.Canvas().StretchDraw(Rect(0, 0, 6, 3), paletted);
  EXPECT_EQ(Picture(dest3), (Rows{"GGkkGG", "kkkkkk", "GGkkBB"}));

  mark.SetTransparent(false);
  TBitmap dest4 = FromPicture({"kkk", "kkk", "kkk"});
  dest4.Canvas().Draw(0, 0, mark);
  EXPECT_EQ(Picture(dest4), (Rows{"GRG", "RRR", "GRB"}));
}

TEST(CanvasDraw, PalettedSourcesAndTargetsConvertTheColours) {
  TBitmap src = FromPicture({"RG", "Bk"}, pf8bit);
  TBitmap dest(2, 2);
  dest.Canvas().Draw(0, 0, src);
  EXPECT_EQ(Picture(dest), (Rows{"RG", "Bk"}));

  TBitmap target(2, 2, pf1bit);
  target.Canvas().Draw(0, 0, FromPicture({"kg", ".R"}));
  EXPECT_EQ(Picture(target), (Rows{"k.", ".k"}));  // grey 128 is nearer white, red nearer black
}

TEST(CanvasStretchDraw, EqualSizesCopyAndWholeFactorsReplicate) {
  TBitmap src = Numbered(2, 2);
  TBitmap same(2, 2);
  same.Canvas().StretchDraw(Rect(0, 0, 2, 2), src);
  EXPECT_EQ(Sources(same), (Rows{"00 10", "01 11"}));

  TBitmap big(6, 6);
  big.Canvas().StretchDraw(Rect(0, 0, 6, 6), src);
  EXPECT_EQ(Sources(big), (Rows{"00 00 00 10 10 10", "00 00 00 10 10 10", "00 00 00 10 10 10",
                                "01 01 01 11 11 11", "01 01 01 11 11 11", "01 01 01 11 11 11"}));

  // 3:1 takes the middle pixel of every 3 x 3 block.
  TBitmap small(2, 2);
  small.Canvas().StretchDraw(Rect(0, 0, 2, 2), Numbered(6, 6));
  EXPECT_EQ(Sources(small), (Rows{"11 41", "14 44"}));

  // 3 to 2 and 2 to 3 with floor((2d + 1) * s / (2n)).
  TBitmap shrink(2, 1);
  shrink.Canvas().StretchDraw(Rect(0, 0, 2, 1), Numbered(3, 1));
  EXPECT_EQ(Sources(shrink), (Rows{"00 20"}));
  TBitmap grow(3, 1);
  grow.Canvas().StretchDraw(Rect(0, 0, 3, 1), Numbered(2, 1));
  EXPECT_EQ(Sources(grow), (Rows{"00 10 10"}));
}

TEST(CanvasStretchDraw, NegativeOffsetsClipAndEmptyOrInvertedRectanglesDrawNothing) {
  TBitmap src = Numbered(2, 2);
  TBitmap dest(4, 4);
  dest.Canvas().StretchDraw(Rect(-3, -3, 3, 3), src);  // factor 3, only the last block visible
  EXPECT_EQ(Sources(dest), (Rows{"11 11 11 --", "11 11 11 --", "11 11 11 --", "-- -- -- --"}));

  TBitmap edge(4, 4);
  edge.Canvas().StretchDraw(Rect(2, 2, 8, 8), src);  // clipped at the right and bottom
  EXPECT_EQ(Sources(edge), (Rows{"-- -- -- --", "-- -- -- --", "-- -- 00 00", "-- -- 00 00"}));

  for (TRect r : {Rect(0, 0, 0, 4), Rect(0, 0, 4, 0), Rect(4, 0, 0, 4), Rect(0, 4, 4, 0), Rect(3, 3, -1, -1)}) {
    TBitmap none(4, 4);
    none.Canvas().StretchDraw(r, src);
    EXPECT_EQ(Sources(none)[0], "-- -- -- --");
    EXPECT_EQ(Sources(none)[3], "-- -- -- --");
  }

  // Rectangles at the ends of the int range neither overflow nor draw
  // anything wrong.
  TBitmap huge(3, 1);
  huge.Canvas().StretchDraw(Rect(INT_MIN, 0, INT_MAX, 1), Numbered(2, 1));
  EXPECT_EQ(Sources(huge), (Rows{"10 10 10"}));
  TBitmap empty(2, 2);
  empty.Canvas().StretchDraw(Rect(0, 0, 2, 2), TBitmap());
  EXPECT_EQ(Sources(empty), (Rows{"-- --", "-- --"}));
}

TEST(CanvasCopyRect, ClipsAgainstBothBitmaps) {
  TBitmap src = Numbered(3, 3);
  TBitmap dest(4, 3);
  dest.Canvas().CopyRect(Rect(0, 0, 2, 2), src.Canvas(), Rect(1, 1, 3, 3));
  EXPECT_EQ(Sources(dest), (Rows{"11 21 -- --", "12 22 -- --", "-- -- -- --"}));

  // A source rectangle hanging over the source's left and top edges:
  // the target pixels opposite the missing source pixels stay as they were.
  TBitmap over(4, 3);
  over.Canvas().CopyRect(Rect(0, 0, 3, 3), src.Canvas(), Rect(-1, -1, 2, 2));
  EXPECT_EQ(Sources(over), (Rows{"-- -- -- --", "-- 00 10 --", "-- 01 11 --"}));

  // ... and over its right and bottom edges.
  TBitmap under(4, 3);
  under.Canvas().CopyRect(Rect(0, 0, 3, 3), src.Canvas(), Rect(2, 2, 5, 5));
  EXPECT_EQ(Sources(under), (Rows{"22 -- -- --", "-- -- -- --", "-- -- -- --"}));

  // A target rectangle over the target's edges.
  TBitmap clipped(4, 3);
  clipped.Canvas().CopyRect(Rect(-1, 2, 2, 5), src.Canvas(), Rect(0, 0, 3, 3));
  EXPECT_EQ(Sources(clipped), (Rows{"-- -- -- --", "-- -- -- --", "10 20 -- --"}));

  TBitmap none(2, 2);
  none.Canvas().CopyRect(Rect(0, 0, 2, 2), src.Canvas(), Rect(2, 2, 0, 0));
  none.Canvas().CopyRect(Rect(0, 0, 2, 2), src.Canvas(), Rect(5, 5, 7, 7));
  none.Canvas().CopyRect(Rect(0, 0, 2, 2), TBitmap().Canvas(), Rect(0, 0, 2, 2));
  EXPECT_EQ(Sources(none), (Rows{"-- --", "-- --"}));
}

TEST(CanvasCopyRect, OverlappingCopiesWithinOneBitmapActAsIfAtOnce) {
  TBitmap b = Numbered(4, 2);
  b.Canvas().CopyRect(Rect(1, 0, 4, 2), b.Canvas(), Rect(0, 0, 3, 2));
  EXPECT_EQ(Sources(b), (Rows{"00 00 10 20", "01 01 11 21"}));

  TBitmap up = Numbered(2, 4);
  up.Canvas().CopyRect(Rect(0, 0, 2, 3), up.Canvas(), Rect(0, 1, 2, 4));
  EXPECT_EQ(Sources(up), (Rows{"01 11", "02 12", "03 13", "03 13"}));

  // Growing within the same bitmap (the tiling of a mark copies the
  // first cell onto the others).
  TBitmap grow = Numbered(4, 4);
  grow.Canvas().CopyRect(Rect(0, 0, 4, 4), grow.Canvas(), Rect(0, 0, 2, 2));
  EXPECT_EQ(Sources(grow), (Rows{"00 00 10 10", "00 00 10 10", "01 01 11 11", "01 01 11 11"}));

  // Paletted bitmaps, with columns that start inside a byte.
  TBitmap p = FromPicture({"RGBk.", "kkkkk"}, pf4bit);
  p.Canvas().CopyRect(Rect(2, 1, 5, 2), p.Canvas(), Rect(1, 0, 4, 1));
  EXPECT_EQ(Picture(p), (Rows{"RGBk.", "kkGBk"}));
  TBitmap q = FromPicture({"k.k..k.k.k"}, pf1bit);
  q.Canvas().CopyRect(Rect(1, 0, 10, 1), q.Canvas(), Rect(0, 0, 9, 1));
  EXPECT_EQ(Picture(q), (Rows{"kk.k..k.k."}));
}

TEST(CanvasLine, OnePixelPenWithoutTheEndPixel) {
  struct Case {
    TPoint From, To;
    Rows Expected;
  };
  const Case cases[] = {
      {{0, 0}, {4, 0}, {"kkkk.", ".....", ".....", "....."}},
      {{4, 3}, {0, 3}, {".....", ".....", ".....", ".kkkk"}},
      {{2, 0}, {2, 3}, {"..k..", "..k..", "..k..", "....."}},
      {{0, 0}, {3, 3}, {"k....", ".k...", "..k..", "....."}},
      {{3, 3}, {0, 0}, {".....", ".k...", "..k..", "...k."}},
      {{0, 0}, {4, 1}, {"kk...", "..kk.", ".....", "....."}},  // halves go toward the end
      {{0, 0}, {1, 3}, {"k....", "k....", ".k...", "....."}},
      {{2, 2}, {2, 2}, {".....", ".....", ".....", "....."}},  // no length, no pixel
      {{-3, 1}, {9, 1}, {".....", "kkkkk", ".....", "....."}},
      {{INT_MIN, 2}, {INT_MAX, 2}, {".....", ".....", "kkkkk", "....."}},  // long, yet quick
      {{-2, -2}, {9, 9}, {"k....", ".k...", "..k..", "...k."}},
  };
  for (const Case& k : cases) {
    TBitmap b(5, 4);
    b.Canvas().Pen.Color = clBlack;
    b.Canvas().MoveTo(k.From.X, k.From.Y);
    b.Canvas().LineTo(k.To.X, k.To.Y);
    EXPECT_EQ(Picture(b), k.Expected) << k.From.X << "," << k.From.Y << " -> " << k.To.X << "," << k.To.Y;
    EXPECT_EQ(b.Canvas().PenPos, k.To);
  }
}

TEST(CanvasLine, PolylineLeavesOnlyTheLastPointUnpainted) {
  TBitmap b(4, 4);
  b.Canvas().Pen.Color = clRed;
  b.Canvas().MoveTo(3, 3);
  b.Canvas().Polyline({{0, 0}, {3, 0}, {3, 3}});
  EXPECT_EQ(Picture(b), (Rows{"RRRR", "...R", "...R", "...."}));
  EXPECT_EQ(b.Canvas().PenPos, Point(3, 3));
}

TEST(CanvasFrame3D, CornersTopRightAndBottomLeftTakeTheBottomColour) {
  TBitmap b(7, 6);
  TRect r = Rect(1, 1, 6, 5);
  b.Canvas().Pen.Color = clBlue;
  b.Canvas().Frame3D(r, clRed, clLime, 1);
  EXPECT_EQ(Picture(b), (Rows{".......", ".RRRRG.", ".R...G.", ".R...G.", ".GGGGG.", "......."}));
  EXPECT_EQ(r, Rect(2, 2, 5, 4));
  EXPECT_EQ(b.Canvas().Pen.Color, clBlue);

  TBitmap two(6, 6);
  TRect r2 = Rect(0, 0, 6, 6);
  two.Canvas().Frame3D(r2, clRed, clLime, 2);
  EXPECT_EQ(Picture(two), (Rows{"RRRRRG", "RRRRGG", "RR..GG", "RR..GG", "RGGGGG", "GGGGGG"}));
  EXPECT_EQ(r2, Rect(2, 2, 4, 4));
}

TEST(CanvasFrame3D, ThinRingsTakeTheBottomColourAndInsideOutRingsPaintNothing) {
  TBitmap b(5, 3);
  TRect r = Rect(1, 0, 4, 3);  // 3 x 3: the second ring is a single pixel
  b.Canvas().Frame3D(r, clRed, clLime, 5);
  EXPECT_EQ(Picture(b), (Rows{".RRG.", ".RGG.", ".GGG."}));
  EXPECT_EQ(r, Rect(6, 5, -1, -2));  // inset by the width all the same

  TBitmap line(4, 1);
  TRect l = Rect(0, 0, 4, 1);
  line.Canvas().Frame3D(l, clRed, clLime, 1);
  EXPECT_EQ(Picture(line), (Rows{"GGGG"}));

  TBitmap none(3, 3);
  TRect n = Rect(0, 0, 3, 3);
  none.Canvas().Frame3D(n, clRed, clLime, 0);
  none.Canvas().Frame3D(n, clRed, clLime, -4);
  EXPECT_EQ(Picture(none), (Rows{"...", "...", "..."}));
  EXPECT_EQ(n, Rect(0, 0, 3, 3));
}

TEST(CanvasFrame3D, ClipsAtEveryEdge) {
  struct Case {
    TRect R;
    int Width;
    Rows Expected;
  };
  const Case cases[] = {
      {Rect(-2, 1, 3, 4), 1, {"....", "RRG.", "..G.", "GGG."}},        // left edge outside
      {Rect(1, -2, 4, 3), 1, {".R.G", ".R.G", ".GGG", "...."}},        // top edge outside
      {Rect(1, 1, 7, 3), 1, {"....", ".RRR", ".GGG", "...."}},         // right edge outside
      {Rect(0, 2, 3, 9), 1, {"....", "....", "RRG.", "R.G."}},         // bottom edge outside
      {Rect(-1, -1, 5, 5), 1, {"....", "....", "....", "...."}},       // ring just around the bitmap
      {Rect(-1, -1, 5, 5), 2, {"RRRG", "R..G", "R..G", "GGGG"}},       // its second ring is the border
      {Rect(5, 0, 9, 4), 2, {"....", "....", "....", "...."}},         // wholly outside
      // The bitmap lies right of and below the centre of these rings, so it
      // sees only their right and bottom edges.
      {Rect(INT_MIN, INT_MIN, INT_MAX, INT_MAX), INT_MAX, {"GGGG", "GGGG", "GGGG", "GGGG"}},
  };
  for (const Case& k : cases) {
    TBitmap b(4, 4);
    TRect r = k.R;
    b.Canvas().Frame3D(r, clRed, clLime, k.Width);
    EXPECT_EQ(Picture(b), k.Expected) << k.R.Left << "," << k.R.Top << "," << k.R.Right << "," << k.R.Bottom;
  }
}

TEST(CanvasCopyRect, RowWisePathsAgreeWithThePixelWiseOne) {
  // 24-bit to 24-bit copies go through whole-row code; a 32-bit target
  // takes the general pixel-by-pixel code. Both must paint the same, for
  // plain, stretched, clipped, keyed and self-overlapping copies.
  std::uint32_t seed = 12345;
  auto next = [&](int lo, int hi) {
    seed = seed * 1103515245u + 12345u;
    return lo + static_cast<int>((seed >> 8) % static_cast<std::uint32_t>(hi - lo + 1));
  };
  for (int round = 0; round < 400; ++round) {
    TBitmap src(next(1, 9), next(1, 9));
    for (int y = 0; y < src.Height(); ++y)
      for (int x = 0; x < src.Width(); ++x) src.Canvas().SetPixel(x, y, next(0, 3) == 0 ? clRed : RGB(x, y, 99));
    TBitmap fast(next(1, 12), next(1, 12));
    for (int y = 0; y < fast.Height(); ++y)
      for (int x = 0; x < fast.Width(); ++x) fast.Canvas().SetPixel(x, y, RGB(200, x, y));
    TBitmap slow(fast);
    slow.SetPixelFormat(pf32bit);
    TRect d = Rect(next(-6, 10), next(-6, 10), 0, 0);
    d.Right = d.Left + next(-1, 14);
    d.Bottom = d.Top + next(-1, 14);
    TRect s = Rect(next(-3, 8), next(-3, 8), 0, 0);
    s.Right = s.Left + next(0, 10);
    s.Bottom = s.Top + next(0, 10);
    int kind = next(0, 2);
    if (kind == 0) {
      fast.Canvas().CopyRect(d, src.Canvas(), s);
      slow.Canvas().CopyRect(d, src.Canvas(), s);
    } else if (kind == 1) {
      src.SetTransparent(next(0, 1) == 1);
      src.SetTransparentColor(clRed);
      fast.Canvas().StretchDraw(d, src);
      slow.Canvas().StretchDraw(d, src);
    } else {
      TBitmap before(fast);
      fast.Canvas().CopyRect(d, fast.Canvas(), s);  // within one bitmap
      slow.Canvas().CopyRect(d, before.Canvas(), s);  // from a separate copy
    }
    for (int y = 0; y < fast.Height(); ++y)
      for (int x = 0; x < fast.Width(); ++x)
        ASSERT_EQ(fast.GetPixelColor(x, y), slow.GetPixelColor(x, y))
            << "round " << round << " kind " << kind << " at " << x << "," << y;
  }
}
