#include "formats/pcx/pcx_writer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "core/exceptions.h"

#include "formats/common/row_depth.h"
#include "formats/png/oracles.h"

using testsupport::HaveTool;

namespace {

std::vector<std::uint8_t> Encode(const std::vector<std::uint8_t>& line) {
  std::vector<std::uint8_t> out;
  EncodePcxLine(line.data(), line.size(), out);
  return out;
}

// Decodes the run-length data of a whole file (after the header, before
// the trailer) independently of the writer.
std::vector<std::uint8_t> Unpack(const std::vector<std::uint8_t>& file, std::size_t expected) {
  std::vector<std::uint8_t> out;
  std::size_t i = 128;
  while (out.size() < expected && i < file.size()) {
    std::uint8_t b = file[i++];
    if (b >= 0xC0) {
      std::uint8_t v = file[i++];
      out.insert(out.end(), b - 0xC0u, v);
    } else {
      out.push_back(b);
    }
  }
  EXPECT_EQ(i, file.size() - 769) << "run-length data do not end where the trailer starts";
  return out;
}

int Word(const std::vector<std::uint8_t>& f, std::size_t at) { return f[at] | (f[at + 1] << 8); }

// The colour a paletted pixel has once it went through the 6-bit table.
std::vector<std::uint8_t> SixBitRgb(const TBitmap& b) {
  std::vector<std::uint8_t> rgb = oracles::Rgb(b);
  if (b.PixelFormat() == pf1bit || b.PixelFormat() == pf4bit || b.PixelFormat() == pf8bit) {
    for (auto& v : rgb) v = ScalePaletteValue(static_cast<std::uint8_t>(v >> 2));
  }
  return rgb;
}

TEST(PcxWriter, RunLengthVectors) {
  EXPECT_EQ(Encode(std::vector<std::uint8_t>(100, 0x41)), (std::vector<std::uint8_t>{0xFF, 0x41, 0xE5, 0x41}));
  EXPECT_EQ(Encode({0xC5}), (std::vector<std::uint8_t>{0xC1, 0xC5}));
  EXPECT_EQ(Encode({0x41}), (std::vector<std::uint8_t>{0x41}));
  EXPECT_EQ(Encode({1, 2, 2, 0xC0, 0xC0, 0xFF}),
            (std::vector<std::uint8_t>{1, 0xC2, 2, 0xC2, 0xC0, 0xC1, 0xFF}));
  EXPECT_EQ(Encode(std::vector<std::uint8_t>(63, 0)), (std::vector<std::uint8_t>{0xFF, 0}));
  EXPECT_EQ(Encode(std::vector<std::uint8_t>(64, 0)), (std::vector<std::uint8_t>{0xFF, 0, 0}));
}

TEST(PcxWriter, HeaderAndTrailerOfEveryMode) {
  testsupport::TempDir dir;
  TBitmap b = oracles::Pattern(13, 3, pf8bit);
  std::vector<TPaletteEntry> pal = b.Palette();
  pal[0] = TPaletteEntry{128, 255, 3, 0};
  b.SetPalette(pal);
  for (int mode = 1; mode <= 4; ++mode) {
    SCOPED_TRACE(mode);
    SavePCX(dir.File("a.pcx"), b, mode);
    auto f = testsupport::ReadBytes(dir.File("a.pcx"));
    EXPECT_EQ(f[0], 10);
    EXPECT_EQ(f[1], 5);
    EXPECT_EQ(f[2], 1);
    EXPECT_EQ(f[3], mode <= 2 ? 1 : 8);
    EXPECT_EQ(Word(f, 4), 0);
    EXPECT_EQ(Word(f, 6), 0);
    EXPECT_EQ(Word(f, 8), 12);
    EXPECT_EQ(Word(f, 10), 2);
    EXPECT_EQ(Word(f, 12), 13);
    EXPECT_EQ(Word(f, 14), 3);
    // 128 is kept as 32 and comes back as 129; 255 stays 255.
    EXPECT_EQ(f[16], 129);
    EXPECT_EQ(f[17], 255);
    EXPECT_EQ(f[18], 0);
    EXPECT_EQ(f[64], 0);
    const int planes = mode == 2 ? 4 : mode == 4 ? 3 : 1;
    const int bpl = mode <= 2 ? 2 : 13;
    EXPECT_EQ(f[65], planes);
    EXPECT_EQ(Word(f, 66), bpl);
    EXPECT_EQ(Word(f, 68), 1);
    EXPECT_TRUE(std::all_of(f.begin() + 70, f.begin() + 128, [](std::uint8_t v) { return v == 0; }));
    const std::size_t t = f.size() - 769;
    EXPECT_EQ(f[t], 12);
    for (std::size_t i = 0; i < 256; ++i) {
      EXPECT_EQ(f[t + 1 + i * 3], ScalePaletteValue(static_cast<std::uint8_t>(b.Palette()[i].Red >> 2)));
    }
    EXPECT_EQ(Unpack(f, static_cast<std::size_t>(planes * bpl * 3)).size(), static_cast<std::size_t>(planes * bpl * 3));
  }
}

TEST(PcxWriter, TrueColourPlanesAreRedGreenBlueAndRunsStayInTheirLine) {
  testsupport::TempDir dir;
  TBitmap b(3, 2, pf24bit);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) b.Canvas().SetPixel(x, y, RGB(0x10, 0x10, 0x20 + y));
  SavePCX(dir.File("t.pcx"), b, pcxTrueColour);
  auto f = testsupport::ReadBytes(dir.File("t.pcx"));
  // R line, G line, B line per scan line; runs never join two lines.
  EXPECT_EQ(std::vector<std::uint8_t>(f.begin() + 128, f.end() - 769),
            (std::vector<std::uint8_t>{0xC3, 0x10, 0xC3, 0x10, 0xC3, 0x20, 0xC3, 0x10, 0xC3, 0x10, 0xC3, 0x21}));

  // The same from an 8-bit picture uses the full scale (white stays 255).
  TBitmap p(2, 1, pf8bit);
  p.SetPalette({TPaletteEntry{255, 255, 255, 0}, TPaletteEntry{0, 128, 4, 0}});
  p.ScanLine(0)[0] = 0;
  p.ScanLine(0)[1] = 1;
  SavePCX(dir.File("p.pcx"), p, pcxTrueColour);
  f = testsupport::ReadBytes(dir.File("p.pcx"));
  EXPECT_EQ(Unpack(f, 6), (std::vector<std::uint8_t>{255, 0, 255, 129, 255, 4}));
}

TEST(PcxWriter, PlanesOfSixteenColoursAndPaddingBits) {
  testsupport::TempDir dir;
  TBitmap b(9, 1, pf4bit);
  const int idx[9] = {1, 2, 4, 8, 15, 0, 3, 5, 9};
  std::memset(b.ScanLine(0), 0, static_cast<std::size_t>(b.RowStride()));
  for (int x = 0; x < 9; ++x) b.ScanLine(0)[x / 2] |= static_cast<std::uint8_t>(idx[x] << ((x & 1) ? 0 : 4));
  SavePCX(dir.File("s.pcx"), b, pcxSixteen);
  auto f = testsupport::ReadBytes(dir.File("s.pcx"));
  auto planes = Unpack(f, 8);
  // Plane p holds bit p of each index, first pixel in the top bit; bits
  // past the ninth pixel are 0.
  EXPECT_EQ(planes, (std::vector<std::uint8_t>{0x8B, 0x80, 0x4A, 0x00, 0x29, 0x00, 0x18, 0x80}));
  SavePCX(dir.File("m.pcx"), b, pcxMono);
  EXPECT_EQ(Unpack(testsupport::ReadBytes(dir.File("m.pcx")), 2), (std::vector<std::uint8_t>{0x8B, 0x80}));
}

TEST(PcxWriter, RowDepthConversions) {
  TPaletteTable table;
  table.Entries[1] = {63, 32, 0};
  table.Entries[0] = {0, 0, 0};
  const std::uint8_t four[] = {0x12, 0x34, 0x5F};  // 5 pixels, stale low nibble
  std::uint8_t out[16];
  std::memset(out, 0xAA, sizeof out);
  ASSERT_TRUE(ConvertRowDepth(four, 4, out, 4, 5, table));
  EXPECT_EQ(out[2], 0x50);
  EXPECT_EQ(out[3], 0xAA);  // (5 + 1) / 2 bytes, not 5
  const std::uint8_t bytes[] = {1, 0, 1, 1, 0, 0, 0, 1, 1, 3};
  ASSERT_TRUE(ConvertRowDepth(bytes, 8, out, 1, 10, table));
  EXPECT_EQ(out[0], 0xB1);
  EXPECT_EQ(out[1], 0xC0);
  ASSERT_TRUE(ConvertRowDepth(four, 4, out, 8, 3, table));
  EXPECT_EQ(out[0], 1);
  EXPECT_EQ(out[2], 3);
  const std::uint8_t mono[] = {0x40};
  ASSERT_TRUE(ConvertRowDepth(mono, 1, out, 4, 3, table));
  EXPECT_EQ(out[0], 0x01);
  EXPECT_EQ(out[1], 0x00);
  ASSERT_TRUE(ConvertRowDepth(mono, 1, out, 24, 2, table));
  EXPECT_EQ(std::vector<std::uint8_t>(out, out + 6), (std::vector<std::uint8_t>{0, 0, 0, 0, 129, 255}));
  std::memset(out, 0xAA, sizeof out);
  EXPECT_FALSE(ConvertRowDepth(bytes, 24, out, 8, 2, table));
  EXPECT_FALSE(ConvertRowDepth(bytes, 8, out, 4, 2, table));
  EXPECT_EQ(out[0], 0xAA);
}

TEST(PcxWriter, RefusalsLeaveNoFile) {
  testsupport::TempDir dir;
  const std::string name = dir.File("x.pcx");
  testsupport::WriteBytes(name, {1, 2, 3});
  EXPECT_THROW(SavePCX(name, TBitmap(4, 4, pf24bit), pcxSixteen), EInvalidGraphicOperation);
  EXPECT_THROW(SavePCX(name, TBitmap(4, 4, pf8bit), 5), EInvalidGraphicOperation);
  EXPECT_THROW(SavePCX(name, TBitmap(0, 4, pf8bit), pcxPaletted), EInvalidGraphic);
  EXPECT_THROW(SavePCX(name, TBitmap(65536, 1, pf8bit), pcxPaletted), ERangeError);
  EXPECT_EQ(testsupport::ReadBytes(name), (std::vector<std::uint8_t>{1, 2, 3}));
  EXPECT_THROW(SavePCX(dir.File("missing/x.pcx"), TBitmap(2, 2, pf8bit), pcxPaletted), EStreamError);
  // Only the one file we made is there: no temporary leftovers.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
  SavePCX(name, TBitmap(65535, 1, pf1bit), pcxMono);
  EXPECT_GT(std::filesystem::file_size(name), 128u + 769u);
}

// Every mode from every source it accepts, read back by netpbm and
// ImageMagick with the same pixels.
TEST(PcxWriter, IndependentReadersAgree) {
  const bool netpbm = HaveTool("/usr/bin/pcxtoppm");
  const bool magick = HaveTool("/usr/bin/convert");
  if (!netpbm && !magick) GTEST_SKIP() << testsupport::SkipReason("/usr/bin/pcxtoppm");
  testsupport::TempDir dir;
  struct Case {
    int Mode;
    TPixelFormat Format;
  };
  const Case cases[] = {{1, pf1bit}, {2, pf1bit}, {2, pf4bit}, {3, pf1bit}, {3, pf4bit},
                        {3, pf8bit}, {4, pf8bit}, {4, pf24bit}, {4, pf32bit}, {4, pf16bit}, {4, pf4bit}};
  for (const Case& c : cases) {
    for (int w : {1, 2, 7, 8, 9, 64, 130}) {
      SCOPED_TRACE("mode " + std::to_string(c.Mode) + " format " + std::to_string(c.Format) + " width " +
                   std::to_string(w));
      TBitmap b = oracles::Pattern(w, 4, c.Format, static_cast<std::uint32_t>(c.Mode));
      if (c.Mode == pcxMono) b.SetPalette(BlackWhitePalette());
      std::string name = dir.File("m" + std::to_string(c.Mode) + "_" + std::to_string(c.Format) + "_" +
                                  std::to_string(w) + ".pcx");
      SavePCX(name, b, c.Mode);
      auto expected = SixBitRgb(b);
      if (netpbm) {
        auto d = oracles::ToolToPnm({"/usr/bin/pcxtoppm", name});
        ASSERT_EQ(d.Err, "");
        EXPECT_EQ(d.Image.Rgb, expected) << "pcxtoppm";
      }
      // ImageMagick 6 reads one-plane monochrome files as 1 = black
      // whatever the palette says (pcxtoppm follows the palette), so it
      // judges the other modes only.
      if (magick && c.Mode != pcxMono) {
        auto d = oracles::ToolToPnm({"/usr/bin/convert", name, "-depth", "8", "ppm:-"});
        ASSERT_EQ(d.Err, "");
        EXPECT_EQ(d.Image.Rgb, expected) << "ImageMagick";
      }
    }
  }
}

}  // namespace
