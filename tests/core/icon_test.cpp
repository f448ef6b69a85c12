#include "core/icon.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/exceptions.h"
#include "core/graphic.h"
#include "core/streams.h"
#include "support/test_support.h"

using namespace testsupport;

namespace {

using Bytes = std::vector<std::uint8_t>;


Bytes DibHeader(int w, int h, int bits, std::uint32_t clrUsed = 0) {
  Bytes b;
  Put32(b, 40);
  Put32(b, static_cast<std::uint32_t>(w));
  Put32(b, static_cast<std::uint32_t>(2 * h));
  Put16(b, 1);
  Put16(b, static_cast<std::uint32_t>(bits));
  for (int i = 0; i < 4; ++i) Put32(b, 0);
  Put32(b, clrUsed);
  Put32(b, 0);
  return b;
}

// A 16x16 8-bit entry: pixel (x, y) has index (x + y) % 3 of red, green,
// blue; the AND mask makes the left half of the top row transparent.
Bytes EightBitEntry(int size = 16) {
  Bytes b = DibHeader(size, size, 8, 3);
  for (TColor c : {clRed, clLime, clBlue}) {
    b.push_back(static_cast<std::uint8_t>(GetBValue(c)));
    b.push_back(static_cast<std::uint8_t>(GetGValue(c)));
    b.push_back(static_cast<std::uint8_t>(GetRValue(c)));
    b.push_back(0);
  }
  int stride = (size + 3) / 4 * 4;
  for (int fileRow = 0; fileRow < size; ++fileRow) {
    int y = size - 1 - fileRow;
    for (int x = 0; x < stride; ++x) b.push_back(static_cast<std::uint8_t>(x < size ? (x + y) % 3 : 0));
  }
  int maskStride = (size + 31) / 32 * 4;
  for (int fileRow = 0; fileRow < size; ++fileRow) {
    int y = size - 1 - fileRow;
    for (int i = 0; i < maskStride; ++i) {
      std::uint8_t m = 0;
      if (y == 0) {
        for (int bit = 0; bit < 8; ++bit) {
          if (i * 8 + bit < size / 2) m |= static_cast<std::uint8_t>(0x80 >> bit);
        }
      }
      b.push_back(m);
    }
  }
  return b;
}

// A 32x32 32-bit entry: colour (x*8, y*8, 100), alpha x*8; a mask that
// marks everything transparent (the alpha must win over it).
Bytes ThirtyTwoBitEntry(bool withAlpha = true, bool withMask = true) {
  Bytes b = DibHeader(32, 32, 32);
  for (int fileRow = 0; fileRow < 32; ++fileRow) {
    int y = 31 - fileRow;
    for (int x = 0; x < 32; ++x) {
      b.push_back(100);
      b.push_back(static_cast<std::uint8_t>(y * 8));
      b.push_back(static_cast<std::uint8_t>(x * 8));
      b.push_back(static_cast<std::uint8_t>(withAlpha ? x * 8 : 0));
    }
  }
  if (withMask) {
    for (int fileRow = 0; fileRow < 32; ++fileRow) {
      int y = 31 - fileRow;
      for (int i = 0; i < 4; ++i) b.push_back(y == 5 ? 0xFF : 0x00);
    }
  }
  return b;
}

struct DirEntry {
  int width;
  int height;
  int bits;
  Bytes data;
};

Bytes IconFile(const std::vector<DirEntry>& entries) {
  Bytes f;
  Put16(f, 0);
  Put16(f, 1);
  Put16(f, static_cast<std::uint32_t>(entries.size()));
  std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * entries.size());
  for (const DirEntry& e : entries) {
    f.push_back(static_cast<std::uint8_t>(e.width));
    f.push_back(static_cast<std::uint8_t>(e.height));
    f.push_back(0);
    f.push_back(0);
    Put16(f, 1);
    Put16(f, static_cast<std::uint32_t>(e.bits));
    Put32(f, static_cast<std::uint32_t>(e.data.size()));
    Put32(f, offset);
    offset += static_cast<std::uint32_t>(e.data.size());
  }
  for (const DirEntry& e : entries) f.insert(f.end(), e.data.begin(), e.data.end());
  return f;
}

TIcon Load(const Bytes& file) {
  TIcon icon;
  TMemoryStream s(file);
  icon.LoadFromStream(s);
  return icon;
}

int Alpha(const TIcon& icon, int x, int y) { return icon.Image().ScanLine(y)[4 * x + 3]; }

// A stand-in picture class for ".png": after the signature, one byte
// width, one byte height and B,G,R,A per pixel.
class TFakePng : public TBitmap {
 public:
  static const TGraphicClass& StaticClass() {
    static const TGraphicClass cls{"TFakePng", [] { return std::unique_ptr<TGraphic>(new TFakePng); }};
    return cls;
  }
  void LoadFromStream(TStream& s) override {
    std::uint8_t sig[8];
    s.ReadBuffer(sig, 8);
    int w = s.ReadByte(), h = s.ReadByte();
    SetPixelFormat(pf32bit);
    SetSize(w, h);
    for (int y = 0; y < h; ++y) s.ReadBuffer(ScanLine(y), 4 * w);
  }
};

}  // namespace

TEST(IconLoad, PicksTheLargestAndUsesItsAlpha) {
  Bytes file = IconFile({{16, 16, 8, EightBitEntry()}, {32, 32, 32, ThirtyTwoBitEntry()}});
  TIcon icon = Load(file);
  ASSERT_EQ(icon.Width(), 32);
  ASSERT_EQ(icon.Height(), 32);
  EXPECT_EQ(icon.Image().PixelFormat(), pf32bit);
  EXPECT_TRUE(icon.Transparent());
  EXPECT_EQ(icon.Image().GetPixelColor(3, 7), RGB(24, 56, 100));
  EXPECT_EQ(Alpha(icon, 0, 5), 0);
  EXPECT_EQ(Alpha(icon, 3, 5), 24);  // the alpha wins over the mask
  EXPECT_EQ(Alpha(icon, 31, 0), 248);

  // The directory order does not matter.
  icon = Load(IconFile({{32, 32, 32, ThirtyTwoBitEntry()}, {16, 16, 8, EightBitEntry()}}));
  EXPECT_EQ(icon.Width(), 32);
}

TEST(IconLoad, TransparencyFromTheAndMask) {
  TIcon icon = Load(IconFile({{16, 16, 8, EightBitEntry()}}));
  ASSERT_EQ(icon.Width(), 16);
  EXPECT_EQ(icon.Image().GetPixelColor(0, 0), clRed);
  EXPECT_EQ(icon.Image().GetPixelColor(1, 0), clLime);
  EXPECT_EQ(icon.Image().GetPixelColor(2, 3), clBlue);
  for (int x = 0; x < 16; ++x) EXPECT_EQ(Alpha(icon, x, 0), x < 8 ? 0 : 255) << x;
  EXPECT_EQ(Alpha(icon, 0, 1), 255);

  // A 32-bit entry whose alpha is all 0 takes its opacity from the mask,
  // and counts as opaque without one.
  icon = Load(IconFile({{32, 32, 32, ThirtyTwoBitEntry(false)}}));
  EXPECT_EQ(Alpha(icon, 4, 5), 0);
  EXPECT_EQ(Alpha(icon, 4, 6), 255);
  icon = Load(IconFile({{32, 32, 32, ThirtyTwoBitEntry(false, false)}}));
  EXPECT_EQ(Alpha(icon, 4, 5), 255);
}

TEST(IconLoad, TiesGoToTheDeeperColourThenTheFirst) {
  Bytes four = DibHeader(16, 16, 4, 2);
  for (TColor c : {clWhite, clBlack}) {
    Put32(four, static_cast<std::uint32_t>(GetBValue(c) | (GetGValue(c) << 8) | (GetRValue(c) << 16)));
  }
  four.resize(four.size() + 16 * 8 + 16 * 4, 0);
  TIcon icon = Load(IconFile({{16, 16, 4, four}, {16, 16, 8, EightBitEntry()}}));
  EXPECT_EQ(icon.Image().GetPixelColor(1, 0), clLime);
  icon = Load(IconFile({{16, 16, 8, EightBitEntry()}, {16, 16, 4, four}}));
  EXPECT_EQ(icon.Image().GetPixelColor(1, 0), clLime);
  icon = Load(IconFile({{16, 16, 4, four}, {16, 16, 0, four}}));
  EXPECT_EQ(icon.Image().GetPixelColor(1, 0), clWhite);
  // The directory's sizes may lie; the entry's own header counts.
  icon = Load(IconFile({{48, 48, 32, EightBitEntry(20)}, {16, 16, 8, EightBitEntry(24)}}));
  EXPECT_EQ(icon.Width(), 24);
}

TEST(IconLoad, BrokenFilesRaise) {
  Bytes good = IconFile({{16, 16, 8, EightBitEntry()}, {32, 32, 32, ThirtyTwoBitEntry()}});
  ASSERT_NO_THROW(Load(good));
  for (std::size_t n = 0; n < 6 + 32; ++n) {
    EXPECT_THROW(Load(Bytes(good.begin(), good.begin() + static_cast<long>(n))), EInvalidGraphic) << n;
  }
  // Cut inside the pictures: the entries now reach beyond the file.
  for (std::size_t n = 38; n < good.size(); n += 37) {
    EXPECT_THROW(Load(Bytes(good.begin(), good.begin() + static_cast<long>(n))), EInvalidGraphic) << n;
  }
  Bytes cursor = good;
  cursor[2] = 2;
  EXPECT_THROW(Load(cursor), EInvalidGraphic);
  Bytes reserved = good;
  reserved[0] = 1;
  EXPECT_THROW(Load(reserved), EInvalidGraphic);
  Bytes none = good;
  none[4] = 0;
  EXPECT_THROW(Load(none), EInvalidGraphic);
  Bytes emptyEntry = good;
  std::memset(&emptyEntry[6 + 8], 0, 4);
  EXPECT_THROW(Load(emptyEntry), EInvalidGraphic);
  // An 8-bit picture whose mask is missing.
  Bytes noMask = EightBitEntry();
  noMask.resize(noMask.size() - 40);
  EXPECT_THROW(Load(IconFile({{16, 16, 8, noMask}})), EInvalidGraphic);

  std::mt19937 rng(4);
  for (int i = 0; i < 2000; ++i) {
    Bytes f = good;
    for (int c = 0; c < 3; ++c) f[rng() % 120] = static_cast<std::uint8_t>(rng());
    try {
      Load(f);
    } catch (const EInvalidGraphic&) {
    }
  }
}

TEST(IconLoad, HugeSizesInPngHeadersAreNotBelieved) {
  // PNG sizes stop at 2^31 - 1; larger header values must not take part
  // in picking the largest entry (the directory's 16 x 16 counts then),
  // while sizes within the range are believed. The PNG entry is one the
  // stand-in class reads as 4 x 1 pixels; its header's width and height
  // lie where the stand-in reads pixels.
  TPicture::RegisterFileFormat("png", "test", TFakePng::StaticClass());
  struct TUnregister {
    ~TUnregister() { TPicture::UnregisterGraphicClass(TFakePng::StaticClass()); }
  } unregister;
  const struct {
    std::uint32_t Width, Height;
    int Picked;  // the width of the entry loaded: 4 the PNG, 32 the bitmap
  } cases[] = {
      {0xFFFFFFFFu, 0xFFFFFFFFu, 32}, {0x80000000u, 0x80000000u, 32}, {0xFFFFFFFFu, 64, 32},
      {0x7FFFFFFFu, 1, 4},           {64, 64, 4},                      {8, 8, 32},
  };
  for (const auto& c : cases) {
    Bytes png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 4, 1};
    png.resize(10 + 16, 0x80);
    for (int k = 0; k < 4; ++k) {
      png[16 + k] = static_cast<std::uint8_t>(c.Width >> (24 - 8 * k));
      png[20 + k] = static_cast<std::uint8_t>(c.Height >> (24 - 8 * k));
    }
    png[24] = 8;  // bit depth
    png[25] = 6;  // colour type: RGBA
    const Bytes file = IconFile({{16, 16, 32, png}, {32, 32, 32, ThirtyTwoBitEntry()}});
    EXPECT_EQ(Load(file).Width(), c.Picked) << std::hex << c.Width << " x " << c.Height;
  }
}

TEST(IconLoad, PngEntriesGoThroughThePngClass) {
  Bytes png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 2, 1, 10, 20, 30, 0, 40, 50, 60, 128};
  Bytes file = IconFile({{16, 16, 8, EightBitEntry()}, {0, 0, 32, png}});
  // The directory says 256 x 256 for the PNG; without a PNG reader that
  // entry cannot be shown.
  if (!TPicture::FindFileFormat("png")) {
    try {
      Load(file);
      FAIL() << "no exception";
    } catch (const EInvalidGraphic& e) {
      EXPECT_STREQ(e.what(), "PNG icons are not supported");
    }
  }
  TPicture::RegisterFileFormat("png", "test", TFakePng::StaticClass());
  TIcon icon;
  try {
    icon = Load(file);
  } catch (...) {
    TPicture::UnregisterGraphicClass(TFakePng::StaticClass());
    throw;
  }
  TPicture::UnregisterGraphicClass(TFakePng::StaticClass());
  ASSERT_EQ(icon.Width(), 2);
  EXPECT_EQ(icon.Image().GetPixelColor(0, 0), RGB(30, 20, 10));
  EXPECT_EQ(Alpha(icon, 0, 0), 0);
  EXPECT_EQ(Alpha(icon, 1, 0), 128);
}

TEST(IconDraw, BlendsByOpacityAndComposesOverWhite) {
  TIcon icon = Load(IconFile({{32, 32, 32, ThirtyTwoBitEntry()}}));
  TBitmap canvas(40, 40, pf24bit);
  canvas.Canvas().Brush.Color = RGB(0, 0, 200);
  canvas.Canvas().FillRect(Rect(0, 0, 40, 40));
  canvas.Canvas().Draw(4, 4, icon);
  EXPECT_EQ(canvas.GetPixelColor(4, 4), RGB(0, 0, 200));  // alpha 0: left alone
  // x = 16: alpha 128, colour (128, 0, 100) over (0, 0, 200).
  EXPECT_EQ(canvas.GetPixelColor(20, 4), RGB(64, 0, 150));
  EXPECT_EQ(canvas.GetPixelColor(35, 35), RGB((248 * 248 + 127) / 255, (248 * 248 + 127) / 255,
                                              (100 * 248 + 200 * 7 + 127) / 255));
  EXPECT_EQ(canvas.GetPixelColor(39, 39), RGB(0, 0, 200));  // outside the icon

  // Stretched to twice the size: each icon pixel covers 2 x 2.
  TBitmap big(64, 64, pf24bit);
  big.Canvas().StretchDraw(Rect(0, 0, 64, 64), icon);
  EXPECT_EQ(big.GetPixelColor(33, 2), big.GetPixelColor(32, 3));

  // A paletted target takes the nearest colour of the blend.
  TIcon opaque = Load(IconFile({{16, 16, 8, EightBitEntry()}}));
  TBitmap p(16, 16, pf8bit);
  p.Canvas().Draw(0, 0, opaque);
  EXPECT_EQ(p.GetPixelColor(0, 1), clLime);

  TBitmap flat;
  icon.AssignTo(flat);
  EXPECT_EQ(flat.PixelFormat(), pf24bit);
  EXPECT_EQ(flat.GetPixelColor(0, 0), clWhite);
  EXPECT_EQ(flat.GetPixelColor(16, 0), RGB((128 * 128 + 255 * 127 + 127) / 255, 127,
                                           (100 * 128 + 255 * 127 + 127) / 255));
}

TEST(IconDraw, RectanglesAcrossTheWholeIntRangeSampleInsideTheIcon) {
  // An opaque icon draws exactly like the bitmap it flattens to, however
  // far its rectangle reaches beyond the target.
  TIcon icon = Load(IconFile({{32, 32, 32, ThirtyTwoBitEntry(false, false)}}));
  TBitmap flat;
  icon.AssignTo(flat);
  const int lo = std::numeric_limits<int>::min(), hi = std::numeric_limits<int>::max();
  for (const TRect& r : {Rect(lo, lo, hi, hi), Rect(lo, 0, 5, 7), Rect(-3, lo, hi, 9), Rect(2, 3, hi, hi)}) {
    TBitmap ours(10, 10, pf24bit), theirs(10, 10, pf24bit);
    ours.Canvas().StretchDraw(r, icon);
    theirs.Canvas().StretchDraw(r, flat);
    for (int y = 0; y < 10; ++y) {
      for (int x = 0; x < 10; ++x) {
        ASSERT_EQ(ours.GetPixelColor(x, y), theirs.GetPixelColor(x, y)) << x << "," << y;
      }
    }
  }
}

TEST(IconSave, OneThirtyTwoBitPictureThatReadsBack) {
  TIcon icon = Load(IconFile({{16, 16, 8, EightBitEntry()}}));
  TMemoryStream s;
  icon.SaveToStream(s);
  const Bytes& b = s.Bytes();
  ASSERT_GE(b.size(), 22u);
  EXPECT_EQ(b[4], 1);
  EXPECT_EQ(b[6], 16);
  EXPECT_EQ(b[12], 32);
  EXPECT_EQ(b.size(), 22u + 40 + 16 * 16 * 4 + 16 * 4);
  TIcon back = Load(b);
  ASSERT_EQ(back.Width(), 16);
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      ASSERT_EQ(back.Image().GetPixelColor(x, y), icon.Image().GetPixelColor(x, y));
      ASSERT_EQ(Alpha(back, x, y), Alpha(icon, x, y));
    }
  }
  TIcon empty;
  EXPECT_THROW(empty.SaveToStream(s), EInvalidGraphic);
}

TEST(IconOracle, ImageMagickIconsReadAndOursReadByImageMagick) {
  if (!HaveTool(kConvert)) GTEST_SKIP() << SkipReason(kConvert);
  TempDir dir;
  std::string ico = dir.File("im.ico");
  // Two sizes, the larger with a gradient of opacity.
  ASSERT_EQ(testsupport::Run({kConvert, "(", "-size", "16x16", "xc:#3366cc", ")", "(", "-size", "24x20",
                              "gradient:#ff0000-#00ff00", "-alpha", "set", "-channel", "A", "-fx", "i/w",
                              "+channel", ")", ico})
                .ExitCode,
            0);
  TIcon icon;
  icon.LoadFromFile(ico);
  ASSERT_EQ(icon.Width(), 24);
  ASSERT_EQ(icon.Height(), 20);
  TBitmap flat;
  icon.AssignTo(flat);
  auto ref = testsupport::Run(
      {kConvert, ico + "[1]", "-background", "white", "-flatten", "-depth", "8", "ppm:-"});
  ASSERT_EQ(ref.ExitCode, 0);
  auto img = ParsePnm(ref.Out);
  ASSERT_EQ(img.Width, 24);
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 24; ++x) {
      TColor c = flat.GetPixelColor(x, y);
      const std::uint8_t* p = &img.Rgb[static_cast<std::size_t>((y * 24 + x) * 3)];
      ASSERT_NEAR(GetRValue(c), p[0], 1) << x << "," << y;
      ASSERT_NEAR(GetGValue(c), p[1], 1) << x << "," << y;
      ASSERT_NEAR(GetBValue(c), p[2], 1) << x << "," << y;
    }
  }

  std::string ours = dir.File("ours.ico");
  icon.SaveToFile(ours);
  auto back = testsupport::Run({kConvert, ours, "-background", "white", "-flatten", "-depth", "8", "ppm:-"});
  ASSERT_EQ(back.ExitCode, 0) << back.Err;
  auto img2 = ParsePnm(back.Out);
  ASSERT_EQ(img2.Width, 24);
  ASSERT_EQ(img2.Height, 20);
  for (std::size_t i = 0; i < img.Rgb.size(); ++i) ASSERT_NEAR(img.Rgb[i], img2.Rgb[i], 1) << i;
}

TEST(Metafile, LoadingRaises) {
  TMetafile m;
  TMemoryStream s(Bytes{1, 2, 3});
  try {
    m.LoadFromStream(s);
    FAIL() << "no exception";
  } catch (const EInvalidGraphic& e) {
    EXPECT_STREQ(e.what(), "metafile images are not supported");
  }
}
