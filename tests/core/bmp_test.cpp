#include "core/bmp.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/exceptions.h"
#include "core/streams.h"
#include "support/allocation_watch.h"
#include "support/test_support.h"

using namespace testsupport;

namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t Get32(const Bytes& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

// A BITMAPINFOHEADER (or a longer one, zero-filled up to headerSize).
Bytes InfoHeader(std::int32_t w, std::int32_t h, int bits, std::uint32_t compression, std::uint32_t clrUsed = 0,
                 std::uint32_t sizeImage = 0, std::uint32_t headerSize = 40, int planes = 1) {
  Bytes b;
  Put32(b, headerSize);
  Put32(b, static_cast<std::uint32_t>(w));
  Put32(b, static_cast<std::uint32_t>(h));
  Put16(b, static_cast<std::uint32_t>(planes));
  Put16(b, static_cast<std::uint32_t>(bits));
  Put32(b, compression);
  Put32(b, sizeImage);
  Put32(b, 2835);
  Put32(b, 2835);
  Put32(b, clrUsed);
  Put32(b, 0);
  b.resize(headerSize, 0);
  return b;
}

// A file: file header, then the header (with masks and palette) and pixels.
Bytes FileOf(const Bytes& head, const Bytes& pixels) {
  Bytes f{'B', 'M'};
  Put32(f, static_cast<std::uint32_t>(14 + head.size() + pixels.size()));
  Put32(f, 0);
  Put32(f, static_cast<std::uint32_t>(14 + head.size()));
  f.insert(f.end(), head.begin(), head.end());
  f.insert(f.end(), pixels.begin(), pixels.end());
  return f;
}

void AddPalette(Bytes& head, const std::vector<TColor>& colours) {
  for (TColor c : colours) {
    head.push_back(static_cast<std::uint8_t>(GetBValue(c)));
    head.push_back(static_cast<std::uint8_t>(GetGValue(c)));
    head.push_back(static_cast<std::uint8_t>(GetRValue(c)));
    head.push_back(0);
  }
}

TBitmap Read(const Bytes& file) {
  TBitmap b;
  ReadBmp(file, b);
  return b;
}

std::vector<int> Indices(const TBitmap& b, int y) {
  std::vector<int> out;
  const std::uint8_t* row = b.ScanLine(y);
  for (int x = 0; x < b.Width(); ++x) {
    switch (b.PixelFormat()) {
      case pf8bit: out.push_back(row[x]); break;
      case pf4bit: out.push_back((x & 1) ? (row[x / 2] & 15) : (row[x / 2] >> 4)); break;
      case pf1bit: out.push_back((row[x / 8] >> (7 - x % 8)) & 1); break;
      default: ADD_FAILURE() << "not paletted";
    }
  }
  return out;
}

// Fills a bitmap with random raw pixels valid for its format.
void FillRandom(TBitmap& b, std::mt19937& rng) {
  int bits = BitsPerPixel(b.PixelFormat());
  for (int y = 0; y < b.Height(); ++y) {
    std::uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < b.Width(); ++x) {
      std::uint32_t v = rng();
      switch (b.PixelFormat()) {
        case pf1bit:
          if (v & 1) row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
          else row[x / 8] &= static_cast<std::uint8_t>(~(0x80 >> (x % 8)));
          break;
        case pf4bit:
          if (x & 1) row[x / 2] = static_cast<std::uint8_t>((row[x / 2] & 0xF0) | (v & 15));
          else row[x / 2] = static_cast<std::uint8_t>((row[x / 2] & 0x0F) | ((v & 15) << 4));
          break;
        case pf15bit: v &= 0x7FFF; [[fallthrough]];
        default:
          for (int i = 0; i < bits / 8; ++i) row[x * (bits / 8) + i] = static_cast<std::uint8_t>(v >> (8 * i));
      }
    }
  }
}

std::vector<TPaletteEntry> RandomPalette(std::size_t n, std::mt19937& rng) {
  std::vector<TPaletteEntry> p(n);
  for (auto& e : p) {
    std::uint32_t v = rng();
    e = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16), 0};
  }
  return p;
}

void ExpectSamePixels(const TBitmap& a, const TBitmap& b) {
  ASSERT_EQ(a.Width(), b.Width());
  ASSERT_EQ(a.Height(), b.Height());
  for (int y = 0; y < a.Height(); ++y) {
    for (int x = 0; x < a.Width(); ++x) {
      ASSERT_EQ(a.GetPixelColor(x, y), b.GetPixelColor(x, y)) << "at " << x << "," << y;
    }
  }
}

// Writes a small picture of distinct colours as a PPM.
std::string MakePpm(int w, int h, const std::vector<TColor>& colours) {
  std::string ppm = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      TColor c = colours[static_cast<std::size_t>((x * 7 + y * 3) % static_cast<int>(colours.size()))];
      ppm += static_cast<char>(GetRValue(c));
      ppm += static_cast<char>(GetGValue(c));
      ppm += static_cast<char>(GetBValue(c));
    }
  }
  return ppm;
}

void ExpectMatchesPnm(const TBitmap& b, const testsupport::RgbImage& ref, int tolerance = 0) {
  ASSERT_EQ(b.Width(), ref.Width);
  ASSERT_EQ(b.Height(), ref.Height);
  for (int y = 0; y < ref.Height; ++y) {
    for (int x = 0; x < ref.Width; ++x) {
      TColor c = b.GetPixelColor(x, y);
      const std::uint8_t* p = &ref.Rgb[static_cast<std::size_t>((y * ref.Width + x) * 3)];
      ASSERT_NEAR(GetRValue(c), p[0], tolerance) << "red at " << x << "," << y;
      ASSERT_NEAR(GetGValue(c), p[1], tolerance) << "green at " << x << "," << y;
      ASSERT_NEAR(GetBValue(c), p[2], tolerance) << "blue at " << x << "," << y;
    }
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Our own writer and reader

TEST(BmpRoundTrip, EveryWrittenDepthAndOddWidthsArePixelExact) {
  std::mt19937 rng(7);
  for (TPixelFormat f : {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfDevice}) {
    for (int w = 1; w <= 5; ++w) {
      SCOPED_TRACE("format " + std::to_string(f) + " width " + std::to_string(w));
      TBitmap b(w, 3, f);
      if (f == pf1bit || f == pf4bit || f == pf8bit) {
        b.SetPalette(RandomPalette(std::size_t{1} << BitsPerPixel(f), rng));
      }
      FillRandom(b, rng);
      Bytes file = WriteBmp(b);

      int bits = BitsPerPixel(f);
      std::uint32_t colours = f == pf1bit || f == pf4bit || f == pf8bit ? (1u << bits) : 0;
      std::uint32_t masks = f == pf16bit ? 12 : 0;
      std::uint32_t stride = static_cast<std::uint32_t>(BytesPerScanLine(w, bits));
      EXPECT_EQ(Get32(file, 2), file.size());
      EXPECT_EQ(Get32(file, 10), 54 + masks + 4 * colours);
      EXPECT_EQ(Get32(file, 14), 40u);
      EXPECT_EQ(Get32(file, 22), 3u);  // bottom-up
      EXPECT_EQ(Get32(file, 30), f == pf16bit ? 3u : 0u);
      EXPECT_EQ(Get32(file, 34), stride * 3);

      TBitmap back = Read(file);
      EXPECT_EQ(back.PixelFormat(), f == pfDevice ? pf24bit : f);
      EXPECT_EQ(back.Palette(), b.Palette());
      for (int y = 0; y < 3; ++y) {
        std::size_t used = static_cast<std::size_t>((w * bits + 7) / 8);
        ASSERT_EQ(0, std::memcmp(back.ScanLine(y), b.ScanLine(y), used)) << "row " << y;
      }
      ExpectSamePixels(back, b);
    }
  }
}

TEST(BmpRoundTrip, ShortPalettesAndEmptyBitmaps) {
  TBitmap b(3, 2, pf8bit);
  b.SetPalette({{10, 20, 30, 0}, {40, 50, 60, 0}, {70, 80, 90, 0}});
  b.Canvas().SetPixel(1, 1, RGB(40, 50, 60));
  Bytes file = WriteBmp(b);
  EXPECT_EQ(Get32(file, 46), 3u);  // colours used
  TBitmap back = Read(file);
  EXPECT_EQ(back.Palette(), b.Palette());
  ExpectSamePixels(back, b);

  TBitmap empty;
  EXPECT_THROW(WriteBmp(empty), EInvalidGraphic);
}

TEST(BmpStream, LoadLeavesTheStreamAfterTheFileOrAtItsEnd) {
  TBitmap a(2, 2, pf24bit), b(3, 1, pf8bit);
  a.Canvas().SetPixel(0, 0, clRed);
  TMemoryStream s;
  s.WriteBuffer(Bytes{1, 2, 3});  // something before the file
  a.SaveToStream(s);
  std::int64_t second = s.Position();
  b.SaveToStream(s);
  s.SetPosition(3);

  TBitmap x;
  x.Canvas().Brush.Color = clBlue;
  x.LoadFromStream(s);
  EXPECT_EQ(s.Position(), second);
  EXPECT_EQ(x.Width(), 2);
  EXPECT_EQ(x.GetPixelColor(0, 0), clRed);
  EXPECT_EQ(x.Canvas().Brush.Color, clBlue);  // drawing state survives a load
  x.LoadFromStream(s);
  EXPECT_EQ(s.Position(), s.Size());
  EXPECT_EQ(x.PixelFormat(), pf8bit);

  // A file size field that does not fit leaves the stream at its end.
  Bytes file = WriteBmp(a);
  file[2] = file[3] = file[4] = file[5] = 0;
  file.resize(file.size() + 10, 0xEE);
  TMemoryStream t(file);
  x.LoadFromStream(t);
  EXPECT_EQ(t.Position(), t.Size());
}

TEST(BmpStream, AFailedLoadKeepsThePicture) {
  TBitmap x(4, 4, pf24bit);
  x.Canvas().SetPixel(1, 1, clRed);
  TMemoryStream bad(Bytes{'B', 'M', 0, 0});
  EXPECT_THROW(x.LoadFromStream(bad), EInvalidGraphic);
  EXPECT_EQ(x.Width(), 4);
  EXPECT_EQ(x.GetPixelColor(1, 1), clRed);
}

// ---------------------------------------------------------------------------
// Handcrafted files

TEST(BmpRead, Rle8WithDeltaEscapesAndAbsoluteRuns) {
  Bytes head = InfoHeader(6, 4, 8, 1);
  AddPalette(head, {clBlack, clRed, clLime, clBlue, clWhite});
  // File rows bottom-up: row 0 is the bottom row.
  Bytes rle = {
      3, 1, 0, 3, 2, 3, 4,  // run of three 1s, absolute 2,3,4 (odd: one pad byte)
      0,                    // pad
      9, 4, 0, 0,           // run past the row end is clipped; end of line
      0, 2, 2, 1,           // delta: two right, one up (row 1 skipped from x 0)
      2, 1,                 // row 2, x 2..3 = 1; rest of row 1 never written
      0, 1,                 // end of bitmap: row 3 stays index 0
  };
  TBitmap b = Read(FileOf(head, rle));
  ASSERT_EQ(b.PixelFormat(), pf8bit);
  EXPECT_EQ(Indices(b, 3), (std::vector<int>{1, 1, 1, 2, 3, 4}));
  EXPECT_EQ(Indices(b, 2), (std::vector<int>{0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Indices(b, 1), (std::vector<int>{0, 0, 1, 1, 0, 0}));
  EXPECT_EQ(Indices(b, 0), (std::vector<int>{0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(b.GetPixelColor(3, 3), clLime);
  EXPECT_EQ(b.Palette().size(), 5u);
}

TEST(BmpRead, Rle4WithDeltaEscapesAndAbsoluteRuns) {
  Bytes head = InfoHeader(7, 3, 4, 2);
  AddPalette(head, {clBlack, clRed, clLime, clBlue});
  Bytes rle = {
      5, 0x12,           // 1 2 1 2 1
      0, 3, 0x31, 0x20,  // absolute 3 1 2 (two data bytes, already even)
      0, 0,              // end of line (the run covered 8 > 7 pixels: clipped)
      0, 5, 0x12, 0x31, 0x20, 0,  // absolute 1 2 3 1 2 (three bytes + pad)
      0, 2, 1, 1,                 // delta right 1, up 1 -> row 2, x 6
      1, 0x30,                    // x 6 = 3
      0, 1,
  };
  TBitmap b = Read(FileOf(head, rle));
  ASSERT_EQ(b.PixelFormat(), pf4bit);
  EXPECT_EQ(Indices(b, 2), (std::vector<int>{1, 2, 1, 2, 1, 3, 1}));
  EXPECT_EQ(Indices(b, 1), (std::vector<int>{1, 2, 3, 1, 2, 0, 0}));
  EXPECT_EQ(Indices(b, 0), (std::vector<int>{0, 0, 0, 0, 0, 0, 3}));
}

TEST(BmpRead, RleCutShortRaises) {
  Bytes head = InfoHeader(4, 2, 8, 1);
  AddPalette(head, {clBlack, clRed});
  EXPECT_THROW(Read(FileOf(head, {4, 1, 0, 0})), EInvalidGraphic);        // no end of bitmap, one row left
  EXPECT_THROW(Read(FileOf(head, {0, 5, 1, 1, 1})), EInvalidGraphic);     // absolute run cut
  EXPECT_THROW(Read(FileOf(head, {0, 2, 1})), EInvalidGraphic);           // delta cut
  EXPECT_NO_THROW(Read(FileOf(head, {4, 1, 0, 0, 4, 1, 0, 0})));         // every row ended
}

// Run-length codes that give out before the picture ends (no end of
// bitmap, rows left) are a file cut short: refused before the picture is
// allocated, however large it claims to be. Codes that end the picture
// with the end-of-bitmap escape leave the rest at index 0, as small as
// the file is.
TEST(BmpRead, RleThatEndsBeforeThePictureFailsBeforeItIsAllocated) {
  Bytes rle;
  for (int i = 0; i < 30; ++i) rle.insert(rle.end(), {0xFF, 1});  // runs, never a row's end
  const struct {
    const char* Name;
    Bytes File;
  } cases[] = {
      {"RLE8 runs", [&] {
         Bytes head = InfoHeader(16384, 16384, 8, 1, 2);
         AddPalette(head, {clBlack, clRed});
         return FileOf(head, rle);
       }()},
      {"RLE4 rows and a cut delta", [&] {
         Bytes head = InfoHeader(16384, -16384, 4, 2, 2);
         AddPalette(head, {clBlack, clRed});
         return FileOf(head, {0, 0, 0, 0, 0, 2, 1});
       }()},
      {"RLE8 cut by its image size", [&] {
         Bytes head = InfoHeader(16384, 16384, 8, 1, 2, 4);
         AddPalette(head, {clBlack, clRed});
         return FileOf(head, {4, 1, 0, 0, 0, 1});
       }()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    testsupport::TLargestAllocation watch;
    try {
      Read(c.File);
      ADD_FAILURE() << "no exception";
    } catch (const EInvalidGraphic& e) {
      EXPECT_STREQ(e.what(), "Bitmap image is not valid: run-length data end before the picture");
    }
    EXPECT_LT(watch.Bytes(), 8u << 20);
  }
  Bytes head = InfoHeader(2048, 2048, 8, 1, 2);
  AddPalette(head, {clBlack, clRed});
  TBitmap ended = Read(FileOf(head, {3, 1, 0, 1}));
  EXPECT_EQ(Indices(ended, 2047).front(), 1);
  EXPECT_EQ(Indices(ended, 0).back(), 0);
}

TEST(BmpRead, BitfieldsWithAnyMasks) {
  // 16 bits, 4-4-4 masks: not one of ours, decoded to 24 bits.
  Bytes head = InfoHeader(2, 1, 16, 3);
  Put32(head, 0x0F00);
  Put32(head, 0x00F0);
  Put32(head, 0x000F);
  TBitmap b = Read(FileOf(head, {0x3F, 0x0A, 0x00, 0x0F}));
  EXPECT_EQ(b.PixelFormat(), pf24bit);
  EXPECT_EQ(b.GetPixelColor(0, 0), RGB(170, 51, 255));
  EXPECT_EQ(b.GetPixelColor(1, 0), RGB(255, 0, 0));

  // 16 bits with 5-5-5 masks in a V3 header: 15-bit, the top bit cleared.
  Bytes v3 = InfoHeader(1, 1, 16, 3, 0, 0, 56);
  v3[40] = 0x00; v3[41] = 0x7C; v3[44] = 0xE0; v3[45] = 0x03; v3[48] = 0x1F; v3[52] = 0x00; v3[53] = 0x80;
  b = Read(FileOf(v3, {0x1F, 0xFC, 0, 0}));
  EXPECT_EQ(b.PixelFormat(), pf15bit);
  EXPECT_EQ(b.ScanLine(0)[1], 0x7C);
  EXPECT_EQ(b.GetPixelColor(0, 0), RGB(255, 0, 255));

  // 32 bits, R G B A from the low byte up (a V4 header's masks): the alpha
  // mask's value becomes the fourth byte.
  Bytes v4 = InfoHeader(1, 1, 32, 3, 0, 0, 108);
  const std::uint32_t m[4] = {0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000};
  for (int i = 0; i < 4; ++i) std::memcpy(&v4[40 + 4 * i], &m[i], 4);
  b = Read(FileOf(v4, {10, 20, 30, 40}));
  EXPECT_EQ(b.PixelFormat(), pf32bit);
  EXPECT_EQ(b.GetPixelColor(0, 0), RGB(10, 20, 30));
  EXPECT_EQ(b.ScanLine(0)[3], 40);

  // 32 bits with the usual masks keeps the fourth byte as it is.
  Bytes std32 = InfoHeader(1, 1, 32, 3);
  Put32(std32, 0xFF0000);
  Put32(std32, 0xFF00);
  Put32(std32, 0xFF);
  b = Read(FileOf(std32, {1, 2, 3, 4}));
  EXPECT_EQ(b.GetPixelColor(0, 0), RGB(3, 2, 1));
  EXPECT_EQ(b.ScanLine(0)[3], 4);
}

TEST(BmpRead, TopDownAndOs2Headers) {
  TBitmap src(3, 4, pf24bit);
  std::mt19937 rng(3);
  FillRandom(src, rng);
  Bytes file = WriteBmp(src);
  // Turn it into a top-down file: negative height, rows in the other order.
  Bytes td(file.begin(), file.begin() + 54);
  std::int32_t h = -4;
  std::memcpy(&td[22], &h, 4);
  std::size_t stride = 12;
  for (int r = 3; r >= 0; --r) {
    td.insert(td.end(), file.begin() + 54 + static_cast<long>(r * stride), file.begin() + 54 + static_cast<long>((r + 1) * stride));
  }
  ExpectSamePixels(Read(td), src);

  // OS/2 1.x: 12-byte header, 3-byte palette entries, 16-bit sizes.
  Bytes core;
  Put32(core, 12);
  Put16(core, 2);
  Put16(core, 2);
  Put16(core, 1);
  Put16(core, 1);
  for (TColor c : {clRed, clBlue}) {
    core.push_back(static_cast<std::uint8_t>(GetBValue(c)));
    core.push_back(static_cast<std::uint8_t>(GetGValue(c)));
    core.push_back(static_cast<std::uint8_t>(GetRValue(c)));
  }
  TBitmap b = Read(FileOf(core, {0x40, 0, 0, 0, 0x80, 0, 0, 0}));
  EXPECT_EQ(b.PixelFormat(), pf1bit);
  EXPECT_EQ(b.GetPixelColor(0, 0), clBlue);
  EXPECT_EQ(b.GetPixelColor(1, 0), clRed);
  EXPECT_EQ(b.GetPixelColor(0, 1), clRed);
  EXPECT_EQ(b.GetPixelColor(1, 1), clBlue);

  // OS/2 2.x: a 64-byte header.
  Bytes os2 = InfoHeader(1, 1, 8, 0, 2, 0, 64);
  AddPalette(os2, {clLime, clRed});
  b = Read(FileOf(os2, {1, 0, 0, 0}));
  EXPECT_EQ(b.GetPixelColor(0, 0), clRed);
  os2[16] = 3;  // OS/2 Huffman coding
  EXPECT_THROW(Read(FileOf(os2, {1, 0, 0, 0})), EInvalidGraphic);
}

TEST(BmpRead, PaletteSizesAreCheckedAndClamped) {
  // colours used 0: 2^bits entries.
  Bytes head = InfoHeader(2, 1, 4, 0);
  std::vector<TColor> sixteen(16, clBlack);
  sixteen[15] = clRed;
  AddPalette(head, sixteen);
  TBitmap b = Read(FileOf(head, {0xF0, 0, 0, 0}));
  EXPECT_EQ(b.Palette().size(), 16u);
  EXPECT_EQ(b.GetPixelColor(0, 0), clRed);

  // More colours than the depth allows: only 2 are used.
  head = InfoHeader(2, 1, 1, 0, 300);
  AddPalette(head, std::vector<TColor>(300, clLime));
  b = Read(FileOf(head, {0x40, 0, 0, 0}));
  EXPECT_EQ(b.Palette().size(), 2u);
  EXPECT_EQ(b.GetPixelColor(1, 0), clLime);

  // Indices beyond a short palette read as black.
  head = InfoHeader(3, 1, 8, 0, 2);
  AddPalette(head, {clRed, clLime});
  b = Read(FileOf(head, {1, 200, 255, 0}));
  EXPECT_EQ(b.GetPixelColor(0, 0), clLime);
  EXPECT_EQ(b.GetPixelColor(1, 0), clBlack);
  EXPECT_EQ(b.GetPixelColor(2, 0), clBlack);

  // Without a file header the palette must lie inside the data.
  Bytes dib = InfoHeader(1, 1, 8, 0, 0xFFFFFFFF);
  dib.resize(dib.size() + 8, 0);
  TBitmap d;
  EXPECT_THROW(ReadDib(dib, d), EInvalidGraphic);
}

TEST(BmpRead, BadHeadersRaise) {
  Bytes pixels(16, 0);
  auto bad = [&](Bytes head) {
    Bytes file = FileOf(head, pixels);
    EXPECT_THROW(Read(file), EInvalidGraphic);
  };
  bad(InfoHeader(2, 2, 24, 0, 0, 0, 40, 2));        // planes
  bad(InfoHeader(2, 2, 3, 0));                      // bit count
  bad(InfoHeader(2, 2, 4, 1));                      // RLE8 with 4 bits
  bad(InfoHeader(2, 2, 8, 2));                      // RLE4 with 8 bits
  bad(InfoHeader(2, 2, 24, 3));                     // bitfields with 24 bits
  bad(InfoHeader(2, 2, 24, 4));                     // embedded JPEG
  bad(InfoHeader(2, 2, 24, 9));                     // unknown compression
  bad(InfoHeader(0, 2, 24, 0));                     // width
  bad(InfoHeader(-2, 2, 24, 0));
  bad(InfoHeader(2, 0, 24, 0));                     // height
  bad(InfoHeader(2, 2, 24, 0, 0, 0, 100));          // header size
  bad(InfoHeader(2, 2, 24, 0, 0, 0, 8));
  bad(InfoHeader(2, 100, 24, 0));                   // pixels missing
  bad(InfoHeader(2, INT32_MIN, 24, 0));

  Bytes notBmp = FileOf(InfoHeader(2, 2, 24, 0), pixels);
  notBmp[0] = 'X';
  EXPECT_THROW(Read(notBmp), EInvalidGraphic);
  Bytes farOffset = FileOf(InfoHeader(2, 2, 24, 0), pixels);
  farOffset[10] = 0xFF;
  farOffset[11] = 0xFF;
  EXPECT_THROW(Read(farOffset), EInvalidGraphic);
  Bytes insideHeader = FileOf(InfoHeader(2, 2, 24, 0), pixels);
  insideHeader[10] = 20;
  EXPECT_THROW(Read(insideHeader), EInvalidGraphic);
}

TEST(BmpRead, AHugeHeaderRaisesBeforeAllocating) {
  Bytes head = InfoHeader(100000, 100000, 8, 1);
  AddPalette(head, {clBlack});
  try {
    Read(FileOf(head, {0, 1}));
    FAIL() << "no exception";
  } catch (const EInvalidGraphic& e) {
    EXPECT_NE(std::string(e.what()).find("too large"), std::string::npos) << e.what();
  }
  // A 24-bit header within the cap but without its pixels fails on the size
  // check (before the 768 MB picture would be allocated).
  EXPECT_THROW(Read(FileOf(InfoHeader(16000, 16000, 24, 0), {0, 0, 0, 0})), EInvalidGraphic);
}

TEST(BmpRead, EveryTruncationAndRandomHeaderRaisesCleanly) {
  std::vector<Bytes> files;
  TBitmap p8(5, 3, pf8bit);
  std::mt19937 rng(11);
  p8.SetPalette(RandomPalette(256, rng));
  FillRandom(p8, rng);
  files.push_back(WriteBmp(p8));
  TBitmap p24(3, 3, pf24bit);
  FillRandom(p24, rng);
  files.push_back(WriteBmp(p24));
  Bytes rleHead = InfoHeader(4, 2, 8, 1);
  AddPalette(rleHead, {clBlack, clRed});
  files.push_back(FileOf(rleHead, {4, 1, 0, 0, 0, 4, 1, 1, 1, 1, 0, 1}));

  for (const Bytes& file : files) {
    ASSERT_NO_THROW(Read(file));
    for (std::size_t n = 0; n < file.size(); ++n) {
      Bytes cut(file.begin(), file.begin() + static_cast<long>(n));
      EXPECT_THROW(Read(cut), EInvalidGraphic) << "cut at " << n;
    }
  }
  // Random values in the header fields must give a picture or
  // EInvalidGraphic, never anything worse.
  for (int i = 0; i < 3000; ++i) {
    Bytes f = files[static_cast<std::size_t>(i) % files.size()];
    int changes = 1 + static_cast<int>(rng() % 4);
    for (int c = 0; c < changes; ++c) {
      std::size_t at = rng() % std::min<std::size_t>(f.size(), 62);
      f[at] = static_cast<std::uint8_t>(rng() % 3 == 0 ? (rng() % 2 ? 0xFF : 0) : rng());
    }
    try {
      Read(f);
    } catch (const EInvalidGraphic&) {
    }
  }
}

// ---------------------------------------------------------------------------
// Independent oracles

TEST(BmpOracle, FilesWrittenByImageMagickReadPixelExact) {
  if (!HaveTool(kConvert)) GTEST_SKIP() << SkipReason(kConvert);
  TempDir dir;
  std::vector<TColor> colours{RGB(0, 0, 0), RGB(255, 255, 255), RGB(255, 0, 0), RGB(0, 255, 0),
                              RGB(0, 0, 255), RGB(132, 65, 8), RGB(66, 130, 198), RGB(255, 251, 0)};
  std::string ppm = dir.File("in.ppm");
  const std::string many = MakePpm(13, 7, colours);
  const std::string two = MakePpm(9, 5, {clBlack, clWhite});
  testsupport::WriteBytes(ppm, Bytes(many.begin(), many.end()));
  testsupport::WriteBytes(dir.File("two.ppm"), Bytes(two.begin(), two.end()));
  struct Case {
    std::vector<std::string> options;
    std::string input;
    TPixelFormat format;
    std::uint32_t compression;
  };
  std::vector<Case> cases{
      {{"BMP3:"}, "in.ppm", pf24bit, 0},
      {{"-type", "palette", "BMP3:"}, "in.ppm", pf4bit, 0},
      {{"-type", "palette", "-compress", "RLE", "BMP3:"}, "in.ppm", pf8bit, 1},
      {{"-type", "bilevel", "BMP3:"}, "two.ppm", pf1bit, 0},
      {{"-define", "bmp:subtype=RGB565", "BMP:"}, "in.ppm", pf16bit, 3},
      {{"-define", "bmp:subtype=RGB555", "BMP:"}, "in.ppm", pf15bit, 3},
      {{"-type", "palette", "BMP2:"}, "in.ppm", pf4bit, 0},
      {{"BMP2:"}, "in.ppm", pf24bit, 0},
      {{"-alpha", "set", "BMP:"}, "in.ppm", pf32bit, 3},
  };
  int n = 0;
  for (const Case& c : cases) {
    std::string out = dir.File("out" + std::to_string(n++) + ".bmp");
    std::vector<std::string> argv{kConvert, dir.File(c.input)};
    argv.insert(argv.end(), c.options.begin(), c.options.end() - 1);
    argv.push_back(c.options.back() + out);
    SCOPED_TRACE(argv.back());
    ASSERT_EQ(testsupport::Run(argv).ExitCode, 0);
    Bytes file = testsupport::ReadBytes(out);
    if (Get32(file, 14) != 12) {
      EXPECT_EQ(Get32(file, 30), c.compression);
    }
    TBitmap b;
    b.LoadFromFile(out);
    EXPECT_EQ(b.PixelFormat(), c.format);
    auto ref = testsupport::Run({kConvert, out, "-depth", "8", "ppm:-"});
    ASSERT_EQ(ref.ExitCode, 0);
    ExpectMatchesPnm(b, ParsePnm(ref.Out));
    // And against what we fed it, where the depth holds every colour
    // (ImageMagick truncates channels to 5 and 6 bits).
    if (c.format != pf15bit && c.format != pf16bit) {
      ExpectMatchesPnm(b, ParsePnm(c.input == "two.ppm" ? two : many));
    }
  }
}

TEST(BmpOracle, AlphaFromImageMagickLandsInTheFourthByte) {
  if (!HaveTool(kConvert)) GTEST_SKIP() << SkipReason(kConvert);
  TempDir dir;
  std::string out = dir.File("a.bmp");
  ASSERT_EQ(testsupport::Run({kConvert, "-size", "5x3", "xc:#204060", "-alpha", "set", "-channel", "A", "-evaluate", "set",
                 "40%", "+channel", "BMP:" + out})
                .ExitCode,
            0);
  TBitmap b;
  b.LoadFromFile(out);
  ASSERT_EQ(b.PixelFormat(), pf32bit);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 5; ++x) {
      EXPECT_EQ(b.GetPixelColor(x, y), RGB(0x20, 0x40, 0x60));
      EXPECT_EQ(b.ScanLine(y)[x * 4 + 3], 102);
    }
  }
}

TEST(BmpOracle, PillowReadsOurFilesWithExactPixels) {
  if (!HavePillow()) GTEST_SKIP() << "Pillow for /usr/bin/python3 is not installed";
  TempDir dir;
  std::mt19937 rng(5);
  const char* script =
      "import sys\n"
      "from PIL import Image\n"
      "im = Image.open(sys.argv[1])\n"
      "im.load()\n"
      "print(im.size[0], im.size[1], im.convert('RGB').tobytes().hex())\n";
  for (TPixelFormat f : {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit}) {
    SCOPED_TRACE("format " + std::to_string(f));
    TBitmap b(5, 3, f);
    if (f == pf1bit || f == pf4bit || f == pf8bit) {
      b.SetPalette(RandomPalette(std::size_t{1} << BitsPerPixel(f), rng));
    }
    FillRandom(b, rng);
    if (f == pf15bit || f == pf16bit) {
      // Pillow widens 5- and 6-bit channels its own way; compare on
      // channels whose low bits are clear, where every rule agrees on
      // the top bits.
      for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 5; ++x) b.Canvas().SetPixel(x, y, RGB((x * 50) & 0xF8, (y * 90) & 0xF8, 0xF8 * (x & 1)));
      }
    }
    std::string path = dir.File("p" + std::to_string(f) + ".bmp");
    b.SaveToFile(path);
    auto r = testsupport::Run({"/usr/bin/python3", "-c", script, path});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    std::string expect = "5 3 ";
    char hex[8];
    for (int y = 0; y < 3; ++y) {
      for (int x = 0; x < 5; ++x) {
        TColor c = b.GetPixelColor(x, y);
        if (f == pf15bit || f == pf16bit) c &= 0xF8F8F8;  // compared on the top bits
        std::snprintf(hex, sizeof hex, "%02x%02x%02x", GetRValue(c), GetGValue(c), GetBValue(c));
        expect += hex;
      }
    }
    std::string got = r.Out.substr(0, r.Out.find('\n'));
    if (f == pf15bit || f == pf16bit) {
      // Clear the low bits of Pillow's answer the same way.
      std::string masked = got.substr(0, 4);
      for (std::size_t i = 4; i + 1 < got.size(); i += 2) {
        int v = std::stoi(got.substr(i, 2), nullptr, 16) & 0xF8;
        std::snprintf(hex, sizeof hex, "%02x", v);
        masked += hex;
      }
      got = masked;
    }
    EXPECT_EQ(got, expect);
  }
}
