#include "formats/tga/tga_writer.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "core/exceptions.h"

#include "formats/common/row_depth.h"
#include "formats/png/oracles.h"

using testsupport::HaveTool;

namespace {

std::vector<std::uint8_t> SixBitRgb(const TBitmap& b) {
  std::vector<std::uint8_t> rgb = oracles::Rgb(b);
  if (b.PixelFormat() == pf1bit || b.PixelFormat() == pf4bit || b.PixelFormat() == pf8bit) {
    for (auto& v : rgb) v = ScalePaletteValue(static_cast<std::uint8_t>(v >> 2));
  }
  return rgb;
}

TEST(TgaWriter, TrueColourLayout) {
  testsupport::TempDir dir;
  TBitmap b(2, 2, pf24bit);
  b.Canvas().SetPixel(0, 0, RGB(1, 2, 3));
  b.Canvas().SetPixel(1, 0, RGB(4, 5, 6));
  b.Canvas().SetPixel(0, 1, RGB(7, 8, 9));
  b.Canvas().SetPixel(1, 1, RGB(10, 11, 12));
  SaveTGA(dir.File("a.tga"), b, tgaTrueColour);
  auto f = testsupport::ReadBytes(dir.File("a.tga"));
  ASSERT_EQ(f.size(), 76u);
  EXPECT_EQ(std::vector<std::uint8_t>(f.begin(), f.begin() + 18),
            (std::vector<std::uint8_t>{46, 0, 2, 0, 0, 0, 0, 24, 0, 0, 0, 0, 2, 0, 2, 0, 24, 0x20}));
  EXPECT_EQ(std::string(f.begin() + 18, f.begin() + 63), "Stampwise(STAMPING) produced this TARGA file!");
  EXPECT_EQ(f[63], 0x1A);
  // Top row first, B, G, R.
  EXPECT_EQ(std::vector<std::uint8_t>(f.begin() + 64, f.end()),
            (std::vector<std::uint8_t>{3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10}));
}

TEST(TgaWriter, ColourMappedLayout) {
  testsupport::TempDir dir;
  TBitmap b = oracles::Pattern(5, 3, pf8bit);
  std::vector<TPaletteEntry> pal = b.Palette();
  pal[2] = TPaletteEntry{128, 255, 8, 0};
  b.SetPalette(pal);
  SaveTGA(dir.File("m.tga"), b, tgaColourMapped);
  auto f = testsupport::ReadBytes(dir.File("m.tga"));
  ASSERT_EQ(f.size(), 18u + 46u + 768u + 15u);
  EXPECT_EQ(std::vector<std::uint8_t>(f.begin(), f.begin() + 18),
            (std::vector<std::uint8_t>{46, 1, 1, 0, 0, 0, 1, 24, 0, 0, 0, 0, 5, 0, 3, 0, 8, 0x20}));
  // Map entry 2 as B, G, R through the 6-bit table.
  EXPECT_EQ(f[64 + 6], 8);
  EXPECT_EQ(f[64 + 7], 255);
  EXPECT_EQ(f[64 + 8], 129);
  EXPECT_TRUE(std::equal(f.begin() + 64 + 768, f.begin() + 64 + 768 + 5, b.ScanLine(0)));
  EXPECT_TRUE(std::equal(f.end() - 5, f.end(), b.ScanLine(2)));
}

TEST(TgaWriter, RefusalsLeaveNoFile) {
  testsupport::TempDir dir;
  const std::string name = dir.File("x.tga");
  EXPECT_THROW(SaveTGA(name, TBitmap(4, 4, pf24bit), tgaColourMapped), EInvalidGraphicOperation);
  EXPECT_THROW(SaveTGA(name, TBitmap(4, 4, pf24bit), 3), EInvalidGraphicOperation);
  EXPECT_THROW(SaveTGA(name, TBitmap(4, 0, pf24bit), tgaTrueColour), EInvalidGraphic);
  EXPECT_THROW(SaveTGA(name, TBitmap(1, 65536, pf24bit), tgaTrueColour), ERangeError);
  EXPECT_FALSE(std::filesystem::exists(name));
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST(TgaWriter, IndependentReadersAgree) {
  const bool netpbm = HaveTool("/usr/bin/tgatoppm");
  const bool magick = HaveTool("/usr/bin/convert");
  if (!netpbm && !magick) GTEST_SKIP() << testsupport::SkipReason("/usr/bin/tgatoppm");
  testsupport::TempDir dir;
  struct Case {
    int Mode;
    TPixelFormat Format;
  };
  const Case cases[] = {{1, pf1bit}, {1, pf4bit}, {1, pf8bit}, {2, pf1bit}, {2, pf4bit},
                        {2, pf8bit}, {2, pf15bit}, {2, pf24bit}, {2, pf32bit}, {2, pfDevice}};
  for (const Case& c : cases) {
    for (int w : {1, 3, 17, 100}) {
      SCOPED_TRACE("mode " + std::to_string(c.Mode) + " format " + std::to_string(c.Format) + " width " +
                   std::to_string(w));
      TBitmap b = oracles::Pattern(w, 3, c.Format, 7);
      std::string name = dir.File("t" + std::to_string(c.Mode) + "_" + std::to_string(c.Format) + "_" +
                                  std::to_string(w) + ".tga");
      SaveTGA(name, b, c.Mode);
      auto expected = SixBitRgb(b);
      if (netpbm) {
        auto d = oracles::ToolToPnm({"/usr/bin/tgatoppm", name});
        ASSERT_EQ(d.Err, "");
        EXPECT_EQ(d.Image.Rgb, expected) << "tgatoppm";
      }
      if (magick) {
        auto d = oracles::ToolToPnm({"/usr/bin/convert", name, "-depth", "8", "ppm:-"});
        ASSERT_EQ(d.Err, "");
        EXPECT_EQ(d.Image.Rgb, expected) << "ImageMagick";
      }
    }
  }
}

}  // namespace
