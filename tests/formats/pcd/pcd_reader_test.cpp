// The Photo-CD reader on image packs of our Python writer (made from the
// format's layout apart from the reader), and the residual decoder on bits
// laid out by hand.
#include "formats/pcd/pcd_graphic.h"

#include <gtest/gtest.h>

#include "core/exceptions.h"
#include "formats/pcd/pcd_decoder.h"
#include "formats/common/reader_test_util.h"
#include "formats/png/oracles.h"

namespace {

std::vector<std::uint8_t> Pack(int orientation, bool overview = false) {
  testsupport::TempDir dir;
  std::vector<std::string> argv{"/usr/bin/python3", testsupport::SourceDir() + "/tests/formats/pcd/pcd_writer.py",
                                dir.File("a.pcd"), std::to_string(orientation)};
  if (overview) argv.push_back("overview");
  const auto r = testsupport::Run(argv);
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  return testsupport::ReadBytes(dir.File("a.pcd"));
}

// The stored image's luma at (x, y); where C1 is 156 and C2 137 PhotoYCC
// has no colour, so the pixel is that grey.
int Luma(int x, int y) { return (x + 2 * y) % 256; }

TEST(PCDReader, BaseImageInEveryOrientation) {
  const struct {
    int Orientation;
    bool Overview;
    int Width, Height;
    // Where stored pixel (x, y) of a stored image of w x h goes.
    TPoint (*Place)(int x, int y, int w, int h);
  } cases[] = {
      {0, false, 768, 512, [](int x, int y, int, int) { return TPoint{x, y}; }},
      {2, false, 768, 512, [](int x, int y, int, int) { return TPoint{x, y}; }},
      {1, false, 512, 768, [](int x, int y, int w, int) { return TPoint{y, w - 1 - x}; }},
      {3, false, 512, 768, [](int x, int y, int, int h) { return TPoint{h - 1 - y, x}; }},
      {0, true, 192, 128, [](int x, int y, int, int) { return TPoint{x, y}; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("orientation " + std::to_string(c.Orientation) + (c.Overview ? " overview" : ""));
    auto pcd = oracles::LoadPicture<TPCDGraphic>(Pack(c.Orientation, c.Overview));
    ASSERT_EQ(pcd->Width(), c.Width);
    ASSERT_EQ(pcd->Height(), c.Height);
    EXPECT_EQ(pcd->PixelFormat(), pf24bit);
    const int w = c.Overview ? 192 : 768, h = c.Overview ? 128 : 512;
    // The right half has no colour: grey as the luma.
    for (auto [x, y] : {std::pair{w - 1, 0}, std::pair{w * 3 / 4, h / 2}, std::pair{w - 5, h - 1}}) {
      const TPoint at = c.Place(x, y, w, h);
      const int v = Luma(x, y);
      EXPECT_EQ(pcd->GetPixelColor(at.X, at.Y), RGB(v, v, v)) << x << "," << y;
    }
    // C2 of 200 over the left half of the chroma plane, doubled to the
    // left half of the picture: red above the luma, green below it.
    for (auto [x, y] : {std::pair{5, 3}, std::pair{w / 2 - 8, h - 2}}) {
      const TPoint at = c.Place(x, y, w, h);
      const TColor colour = pcd->GetPixelColor(at.X, at.Y);
      EXPECT_GT(GetRValue(colour), std::min(255, Luma(x, y) + 50)) << x << "," << y;
      EXPECT_LT(GetGValue(colour), Luma(x, y)) << x << "," << y;
    }
  }
}

TEST(PCDReader, HeaderProbeAndFaults) {
  const auto pack = Pack(1);
  TPCDGraphic pcd;
  TMemoryStream in(pack);
  EXPECT_TRUE(pcd.CanLoadStream(in));
  ASSERT_TRUE(pcd.ReadImageHeader(in, 7));
  const TImageProperties& p = pcd.ImageProperties();
  EXPECT_EQ(p.Width, 4096u) << "index 7 counts as 5, and orientation 1 swaps the sides";
  EXPECT_EQ(p.Height, 6144u);
  EXPECT_EQ(p.Compression, TCompressionType::PCDHuffmann);
  EXPECT_EQ(p.Version, 0x0102u);
  EXPECT_EQ(p.ColorScheme, TColorScheme::PhotoYCC);
  in.SetPosition(0);
  ASSERT_TRUE(pcd.ReadImageHeader(in, 2));
  EXPECT_EQ(pcd.ImageProperties().Compression, TCompressionType::None);

  auto notPcd = pack;
  notPcd[2048] = 'X';
  TMemoryStream other(notPcd);
  EXPECT_FALSE(pcd.CanLoadStream(other));
  const std::string invalid = "Cannot load image. Invalid or unexpected PCD image format.";
  EXPECT_EQ(oracles::LoadError<TPCDGraphic>(notPcd), invalid);
  // The base image cut short.
  EXPECT_EQ(oracles::LoadError<TPCDGraphic>(std::vector<std::uint8_t>(pack.begin(), pack.end() - 1000)), invalid);
}

using readertest::Bits;

TEST(PCDDecoder, ResidualsOfLumaAndChroma) {
  // One table: "0" adds 5, "10" takes 3, "110" adds 100; "111" is no
  // code.
  std::vector<std::uint8_t> source{2, 0, 0x00, 0x00, 5, 1, 0x80, 0x00, 0xFD, 2, 0xC0, 0x00, 100};
  const std::string sync = "11111111 11111111 11111110";
  auto header = [](int plane, int row) {
    std::string bits;
    const std::uint32_t v = (static_cast<std::uint32_t>(plane) << 30) | (static_cast<std::uint32_t>(row) << 9);
    for (int i = 31; i >= 0; --i) bits += ((v >> i) & 1) ? '1' : '0';
    return bits;
  };
  // Luma row 1 of a 4 x 2 image, then second-chroma row 0 (luma row 1,
  // halved), then a code no entry has, the end.
  const auto coded = Bits(sync + header(0, 1) + "0 0 10 110" + " 000 " + sync + header(3, 1) + "110 0" + sync +
                          header(0, 0) + "0" + sync + header(0, 2));
  source.insert(source.end(), coded.begin(), coded.end());
  std::vector<std::uint8_t> planes(8 + 2 + 2, 200);
  std::span<const std::uint8_t> in(source);
  std::span<std::uint8_t> dest(planes);
  TPCDDecoder(4, 2).Decode(in, dest);
  EXPECT_EQ(planes, (std::vector<std::uint8_t>{205, 200, 200, 200, 205, 205, 197, 255, 200, 200, 255, 205}));

  // A header naming plane 1 is an error.
  std::vector<std::uint8_t> bad{0, 0, 0x00, 0x00, 1};
  const auto badBits = Bits(sync + header(1, 0));
  bad.insert(bad.end(), badBits.begin(), badBits.end());
  std::span<const std::uint8_t> badIn(bad);
  std::span<std::uint8_t> badDest(planes);
  EXPECT_THROW(TPCDDecoder(4, 2).Decode(badIn, badDest), EGraphicCompression);
}

}  // namespace
