// Icons whose pictures are PNG files: the PNG class loads colours only,
// so the icon must get the opacity from it separately.
#include <gtest/gtest.h>
#include <zlib.h>

#include "core/icon.h"
#include "formats/png/oracles.h"
#include "formats/png/png_image.h"
#include "formats/registry.h"

namespace {

std::vector<std::uint8_t> Png(std::uint32_t w, std::uint32_t h, int depth, int colorType, int interlace,
                              const std::vector<std::uint8_t>& rows, const std::vector<oracles::Chunk>& extra = {}) {
  return oracles::JoinPng(oracles::BuildPng(oracles::PngHeader(w, h, depth, colorType, interlace), rows, extra));
}

// An icon file of one entry holding the given PNG.
std::vector<std::uint8_t> IconOf(const std::vector<std::uint8_t>& png, int w, int h) {
  std::vector<std::uint8_t> f{0, 0, 1, 0, 1, 0, static_cast<std::uint8_t>(w), static_cast<std::uint8_t>(h), 0, 0, 1, 0,
                              32, 0};
  const auto size = static_cast<std::uint32_t>(png.size());
  for (int i = 0; i < 4; ++i) f.push_back(static_cast<std::uint8_t>(size >> (8 * i)));
  f.insert(f.end(), {22, 0, 0, 0});
  f.insert(f.end(), png.begin(), png.end());
  return f;
}

TIcon LoadIcon(const std::vector<std::uint8_t>& file) {
  RegisterImageFormats();
  TIcon icon;
  TMemoryStream in(file);
  icon.LoadFromStream(in);
  return icon;
}

std::vector<int> Alphas(const TIcon& icon) {
  std::vector<int> out;
  for (int y = 0; y < icon.Height(); ++y)
    for (int x = 0; x < icon.Width(); ++x) out.push_back(icon.Image().ScanLine(y)[4 * x + 3]);
  return out;
}

}  // namespace

TEST(PngOpacity, IconEntriesKeepEveryFormOfTransparency) {
  struct Case {
    const char* Name;
    int Width, Height;
    std::vector<std::uint8_t> File;
    std::vector<int> Alpha;
    TColor First;
  };
  const Case cases[] = {
      // 2 x 1 RGBA.
      {"rgba", 2, 1, Png(2, 1, 8, 6, 0, {0, 10, 20, 30, 0, 40, 50, 60, 200}), {0, 200}, RGB(10, 20, 30)},
      // 2 x 1 grey + alpha, 16 bits: the high byte of the alpha sample.
      {"grey alpha 16", 2, 1, Png(2, 1, 16, 4, 0, {0, 0x80, 0, 0x12, 0x34, 0xFF, 0xFF, 0x00, 0x99}), {0x12, 0x00},
       RGB(0x80, 0x80, 0x80)},
      // 3 x 1 palette of 4 bits with a table for the first two entries.
      {"palette", 3, 1, Png(3, 1, 4, 3, 0, {0, 0x01, 0x20}, {{"PLTE", {1, 2, 3, 4, 5, 6, 7, 8, 9}}, {"tRNS", {0, 128}}}),
       {0, 128, 255}, RGB(1, 2, 3)},
      // 2 x 1 RGB whose first pixel is the key.
      {"colour key", 2, 1, Png(2, 1, 8, 2, 0, {0, 9, 8, 7, 9, 8, 6}, {{"tRNS", {0, 9, 0, 8, 0, 7}}}), {0, 255},
       RGB(9, 8, 7)},
      // 3 x 1 grey of 2 bits whose key is 2.
      {"grey key", 3, 1, Png(3, 1, 2, 0, 0, {0, 0b10011000}, {{"tRNS", {0, 2}}}), {0, 255, 0}, RGB(170, 170, 170)},
      // 3 x 3 RGBA written in the seven passes.
      {"interlaced", 3, 3,
       Png(3, 3, 8, 6, 1,
           {0, 1, 1, 1, 10,                            // pass 1: (0,0)
            0, 2, 2, 2, 20,                            // pass 4: (2,0)
            0, 3, 3, 3, 30, 4, 4, 4, 40,               // pass 5: (0,2), (2,2)
            0, 5, 5, 5, 50,                            // pass 6: (1,0)
            0, 6, 6, 6, 60,                            // pass 6: (1,2)
            0, 7, 7, 7, 70, 8, 8, 8, 80, 9, 9, 9, 90}),  // pass 7: row 1
       {10, 50, 20, 70, 80, 90, 30, 60, 40}, RGB(1, 1, 1)},
      // No transparency at all: opaque.
      {"opaque", 2, 1, Png(2, 1, 8, 2, 0, {0, 1, 2, 3, 4, 5, 6}), {255, 255}, RGB(1, 2, 3)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const TIcon icon = LoadIcon(IconOf(c.File, c.Width, c.Height));
    ASSERT_EQ(icon.Width(), c.Width);
    EXPECT_EQ(Alphas(icon), c.Alpha);
    EXPECT_EQ(icon.Image().GetPixelColor(0, 0) & 0xFFFFFF, c.First);
  }
}

TEST(PngOpacity, OnlyKeptWhenAskedAndDroppedWithTheSize) {
  const auto file = Png(2, 1, 8, 6, 0, {0, 10, 20, 30, 0, 40, 50, 60, 200});
  std::vector<std::uint8_t> opacity;
  TPNGImage plain;
  TMemoryStream in(file);
  plain.LoadFromStream(in);
  EXPECT_EQ(plain.PixelFormat(), pf24bit);
  EXPECT_FALSE(plain.GetOpacity(opacity));

  TPNGImage asked;
  asked.KeepOpacity(true);
  TMemoryStream again(file);
  asked.LoadFromStream(again);
  ASSERT_TRUE(asked.GetOpacity(opacity));
  EXPECT_EQ(opacity, (std::vector<std::uint8_t>{0, 200}));
  asked.SetSize(3, 1);
  EXPECT_FALSE(asked.GetOpacity(opacity));
}

// Pillow writes icons with PNG pictures; what it reads back as RGBA is
// what the icon must hold.
TEST(PngOpacity, PillowIconsReadWithTheirAlpha) {
  if (!testsupport::HavePillow()) GTEST_SKIP() << "Pillow is not installed for /usr/bin/python3";
  testsupport::TempDir dir;
  const std::string path = dir.File("a.ico");
  const char* script = R"PY(
import sys
from PIL import Image
im = Image.new('RGBA', (32, 32))
im.putdata([((x * 8) % 256, (y * 8) % 256, (x * y) % 256, (x * 37 + y * 11) % 256) for y in range(32) for x in range(32)])
im.save(sys.argv[1], format='ICO', sizes=[(32, 32)])
back = Image.open(sys.argv[1])
back.load()
sys.stdout.buffer.write(back.convert('RGBA').tobytes())
)PY";
  auto r = testsupport::Run({"/usr/bin/python3", "-c", script, path});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  ASSERT_EQ(r.Out.size(), 32u * 32u * 4u);
  const auto file = testsupport::ReadBytes(path);
  ASSERT_GT(file.size(), 30u);
  ASSERT_EQ(file[22], 0x89) << "Pillow did not write a PNG picture";
  const TIcon icon = LoadIcon(file);
  ASSERT_EQ(icon.Width(), 32);
  std::string ours;
  for (int y = 0; y < 32; ++y) {
    const std::uint8_t* p = icon.Image().ScanLine(y);
    for (int x = 0; x < 32; ++x, p += 4) ours += {static_cast<char>(p[2]), static_cast<char>(p[1]),
                                                  static_cast<char>(p[0]), static_cast<char>(p[3])};
  }
  // Pillow keeps the colour under alpha 0 as stored, as do we.
  EXPECT_EQ(ours, r.Out);
}
