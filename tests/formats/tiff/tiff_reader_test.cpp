// The TIFF and EPS readers against files libtiff's tiffcp, Pillow and
// ImageMagick write, read as Pillow (on libtiff) reads them; and their
// rules on files our own small writer makes.
#include <gtest/gtest.h>

#include <zlib.h>

#include <cstdlib>
#include <memory>

#include "core/exceptions.h"
#include "core/streams.h"
#include "formats/common/reader_test_util.h"
#include "formats/common/reader_warnings.h"
#include "formats/png/oracles.h"
#include "formats/tiff/tiff_directory.h"
#include "formats/tiff/tiff_graphic.h"
#include "formats/tiff/tiff_test_util.h"
#include "support/allocation_watch.h"

using testsupport::HavePillow;
using testsupport::HaveTool;
using tifftest::MakeTiff;
using tifftest::TTag;
using tifftest::Tiffcp;

namespace {

std::unique_ptr<TTIFFGraphic> Load(const std::vector<std::uint8_t>& bytes) {
  return oracles::LoadPicture<TTIFFGraphic>(bytes);
}
std::string LoadError(const std::vector<std::uint8_t>& bytes) { return oracles::LoadError<TTIFFGraphic>(bytes); }

// The largest difference of two RGB buffers of one size; 256 for sizes
// that differ.
int MaxDifference(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
  if (a.size() != b.size()) return 256;
  int worst = 0;
  for (std::size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::abs(a[i] - b[i]));
  return worst;
}

// Pictures of every kind the reader turns into bitmaps, written by Pillow
// and ImageMagick as plain TIFFs; tiffcp then makes every variant of
// coding, byte order and strips, and Pillow reads each one for us to
// match.
TEST(TIFFReader, VariantsOfEveryKindReadAsPillowReadsThem) {
  if (!HaveTool(tifftest::kTiffcp)) GTEST_SKIP() << testsupport::SkipReason(tifftest::kTiffcp);
  if (!HavePillow() || !HaveTool(testsupport::kConvert)) GTEST_SKIP() << "Pillow or ImageMagick is missing";
  testsupport::TempDir dir;
  auto made = testsupport::Run({"/usr/bin/python3", "-c", R"PY(
import random, sys
from PIL import Image
d = sys.argv[1]
rnd = random.Random(11)
w, h = 37, 23
def noise(n, top): return [rnd.randrange(top) for _ in range(n)]
Image.frombytes('RGB', (w, h), bytes(noise(w * h * 3, 256))).save(d + '/rgb8.tif')
Image.frombytes('RGBA', (w, h), bytes(noise(w * h * 4, 256))).save(d + '/rgba8.tif')
Image.frombytes('L', (w, h), bytes(noise(w * h, 256))).save(d + '/grey8.tif')
Image.frombytes('LA', (w, h), bytes(noise(w * h * 2, 256))).save(d + '/la8.tif')
p = Image.frombytes('P', (w, h), bytes(noise(w * h, 256)))
p.putpalette(noise(768, 256))
p.save(d + '/palette8.tif')
Image.frombytes('1', (w, h), bytes(noise((w + 7) // 8 * h, 256))).save(d + '/bw1.tif')
g = Image.new('I;16', (w, h))
levels = noise(w * h, 65536)
g.putdata(levels)
g.save(d + '/grey16.tif')
# Pillow shows 16-bit grey clipped to 255; the reader shows v x 255 div 65535.
with open(d + '/grey16.rgb', 'wb') as f:
    f.write(bytes(v * 255 // 65535 for v in levels for _ in range(3)))
with open(d + '/rgb16.ppm', 'wb') as f:
    f.write(b'P6 %d %d 65535\n' % (w, h) + bytes(noise(w * h * 6, 256)))
with open(d + '/grey.pgm', 'wb') as f:
    f.write(b'P5 %d %d 255\n' % (w, h) + bytes(noise(w * h, 256)))
)PY", dir.Path()});
  ASSERT_EQ(made.ExitCode, 0) << made.Err;
  for (auto [out, args] : {std::pair<const char*, std::vector<std::string>>{"rgb16.tif", {"rgb16.ppm", "-depth", "16"}},
                           {"grey4.tif", {"grey.pgm", "-depth", "4"}},
                           {"grey2.tif", {"grey.pgm", "-depth", "2"}}}) {
    std::vector<std::string> argv{testsupport::kConvert, dir.File(args[0])};
    argv.insert(argv.end(), args.begin() + 1, args.end());
    argv.insert(argv.end(), {"-compress", "none", dir.File(out)});
    ASSERT_EQ(testsupport::Run(argv).ExitCode, 0) << out;
  }
  // Min-is-white grey: the same samples, read the other way round.
  ASSERT_EQ(Tiffcp({}, dir.File("grey8.tif"), dir.File("white8.tif")), "");
  ASSERT_EQ(testsupport::Run({"/usr/bin/tiffset", "-s", "262", "0", dir.File("white8.tif")}).ExitCode, 0);

  struct Variant {
    const char* Name;
    std::vector<std::string> Options;
    bool OneBitOnly = false;
    bool Lossy = false;
  };
  const Variant variants[] = {
      {"none", {"-c", "none"}},
      {"big-endian", {"-B", "-c", "none"}},
      {"little-endian", {"-L", "-c", "none"}},
      {"7 rows a strip", {"-r", "7"}},
      {"packbits", {"-c", "packbits"}},
      {"deflate", {"-c", "zip"}},
      {"deflate level 2", {"-c", "zip:p2"}},
      {"deflate predictor", {"-c", "zip:2"}},
      {"deflate predictor big-endian", {"-B", "-c", "zip:2", "-r", "5"}},
      {"group 3", {"-c", "g3"}, true},
      {"group 3 reversed bits", {"-c", "g3", "-f", "lsb2msb"}, true},
      {"group 3 big-endian", {"-B", "-c", "g3:fill", "-r", "4"}, true},
      {"jpeg", {"-c", "jpeg"}, false, true},
      {"jpeg 16 rows", {"-c", "jpeg", "-r", "16"}, false, true},
  };
  const char* bases[] = {"rgb8",  "rgba8", "grey8", "la8",   "palette8", "bw1",
                         "grey16", "rgb16", "grey4", "grey2", "white8"};
  struct Made {
    std::string Name, File;
    int Tolerance;
    std::vector<std::uint8_t> Plain;     // ours, from the base file
    std::vector<std::uint8_t> Expected;  // in place of Pillow's reading
  };
  std::vector<Made> files;
  for (const char* base : bases) {
    const std::string source = dir.File(std::string(base) + ".tif");
    const auto plain = oracles::Rgb(*Load(testsupport::ReadBytes(source)));
    const bool oneBit = std::string(base) == "bw1";
    const bool sixteen = std::string(base).find("16") != std::string::npos;
    const bool eightBitColour = std::string(base) == "rgb8" || std::string(base) == "grey8";
    // 16-bit samples and colour maps are reduced as v x 255 div 65535,
    // Pillow keeps the high byte.
    const int tolerance = sixteen || std::string(base) == "palette8" ? 1 : 0;
    const std::vector<std::uint8_t> expected =
        std::string(base) == "grey16" ? testsupport::ReadBytes(dir.File("grey16.rgb")) : std::vector<std::uint8_t>{};
    for (const Variant& v : variants) {
      if (v.OneBitOnly && !oneBit) continue;
      if (v.Lossy && !eightBitColour) continue;
      const bool predictor = v.Options.end() != std::find(v.Options.begin(), v.Options.end(), "zip:2");
      if (predictor && (oneBit || std::string(base) == "grey4" || std::string(base) == "grey2")) continue;
      const std::string out = dir.File(std::string(base) + "_" + std::to_string(files.size()) + ".tif");
      ASSERT_EQ(Tiffcp(v.Options, source, out), "") << base << " " << v.Name;
      files.push_back({std::string(base) + " " + v.Name, out, v.Lossy ? 3 : tolerance,
                       v.Lossy ? std::vector<std::uint8_t>{} : plain, expected});
    }
  }
  std::vector<std::string> names;
  for (const Made& m : files) names.push_back(m.File);
  const auto pillow = oracles::Pillow(names);
  for (std::size_t i = 0; i < files.size(); ++i) {
    SCOPED_TRACE(files[i].Name);
    ASSERT_EQ(pillow[i].Err, "");
    const auto ours = oracles::Rgb(*Load(testsupport::ReadBytes(files[i].File)));
    if (files[i].Expected.empty()) {
      EXPECT_LE(MaxDifference(ours, pillow[i].Image.Rgb), files[i].Tolerance);
    } else {
      EXPECT_EQ(ours, files[i].Expected);
    }
    // Byte order, strips and lossless codings never change a pixel.
    if (!files[i].Plain.empty()) {
      EXPECT_EQ(ours, files[i].Plain);
    }
  }
}

// Fax files of Pillow's own encoders, modified Huffman and Group 3.
TEST(TIFFReader, PillowFaxFiles) {
  if (!HavePillow()) GTEST_SKIP() << "Pillow (python3-pil) is not installed";
  testsupport::TempDir dir;
  auto made = testsupport::Run({"/usr/bin/python3", "-c", R"PY(
import sys
from PIL import Image
im = Image.new('1', (1731, 40))
im.putdata([((x // 7) * (y + 1)) % 5 == 0 or x > 1700 for y in range(40) for x in range(1731)])
for c in ('tiff_ccitt', 'group3'):
    im.save('%s/%s.tif' % (sys.argv[1], c), compression=c)
)PY", dir.Path()});
  ASSERT_EQ(made.ExitCode, 0) << made.Err;
  const std::vector<std::string> files{dir.File("tiff_ccitt.tif"), dir.File("group3.tif")};
  const auto pillow = oracles::Pillow(files);
  for (std::size_t i = 0; i < files.size(); ++i) {
    SCOPED_TRACE(files[i]);
    ASSERT_EQ(pillow[i].Err, "");
    auto tiff = Load(testsupport::ReadBytes(files[i]));
    EXPECT_EQ(tiff->PixelFormat(), pf1bit);
    EXPECT_EQ(oracles::Rgb(*tiff), pillow[i].Image.Rgb);
  }
}

// 8-bit grey rows of width 3 whose row r holds r, r + 1, r + 2.
std::vector<std::uint8_t> GreyRows(int from, int count) {
  std::vector<std::uint8_t> rows(static_cast<std::size_t>(count) * 3);
  for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = static_cast<std::uint8_t>(from + i / 3 + i % 3);
  return rows;
}

std::vector<TTag> GreyTags(std::uint32_t height) {
  return {{256, 3, {3}}, {257, 4, {height}}, {258, 3, {8}}, {262, 3, {1}}};
}

// How the strips are laid out: rows per strip absent, "all", short last
// strips, and offset tables that give out.
TEST(TIFFReader, StripLayouts) {
  auto withRps = [](std::uint32_t height, std::uint32_t rps) {
    auto tags = GreyTags(height);
    tags.push_back({278, 4, {rps}});
    return tags;
  };
  const struct {
    const char* Name;
    std::vector<std::uint8_t> File;
    int Rows;  // rows that load; the others stay white
  } cases[] = {
      {"no rows per strip", MakeTiff(false, GreyTags(5), {GreyRows(0, 5)}), 5},
      {"rows per strip 2^32 - 1", MakeTiff(true, withRps(5, 0xFFFFFFFFu), {GreyRows(0, 5)}), 5},
      {"48 rows at 32 a strip", MakeTiff(false, withRps(48, 32), {GreyRows(0, 32), GreyRows(32, 16)}), 48},
      {"the last strip holds rows beyond the image", MakeTiff(true, withRps(5, 4), {GreyRows(0, 4), GreyRows(4, 4)}), 5},
      {"one strip of two missing", MakeTiff(false, withRps(6, 3), {GreyRows(0, 3)}), 3},
      {"a strip cut short", MakeTiff(false, GreyTags(5), {GreyRows(0, 3)}), 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    auto tiff = Load(c.File);
    ASSERT_EQ(tiff->PixelFormat(), pf8bit);
    for (int y = 0; y < tiff->Height(); ++y) {
      const TColor want = y < c.Rows ? RGB(y + 2, y + 2, y + 2) : clWhite;
      EXPECT_EQ(tiff->GetPixelColor(2, y), want) << "row " << y;
    }
  }
}

// A Group 3 strip of nothing but zero bits (fill without an end of line)
// holds no row: the picture stays white.
TEST(TIFFReader, AGroup3StripOfZeroBitsIsWhite) {
  auto tiff = Load(MakeTiff(false, {{256, 3, {1728}}, {257, 3, {8}}, {258, 3, {1}}, {259, 3, {3}}, {262, 3, {0}},
                                    {277, 3, {1}}, {278, 3, {8}}},
                            {std::vector<std::uint8_t>(62, 0)}));
  ASSERT_EQ(tiff->Width(), 1728);
  ASSERT_EQ(tiff->Height(), 8);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 1728; x += 37) EXPECT_EQ(tiff->GetPixelColor(x, y), clWhite) << x << "," << y;
  }
}

std::vector<std::uint8_t> Deflated(const std::vector<std::uint8_t>& raw) {
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  std::vector<std::uint8_t> packed(size);
  EXPECT_EQ(compress2(packed.data(), &size, raw.data(), static_cast<uLong>(raw.size()), 9), Z_OK);
  packed.resize(size);
  return packed;
}

// A few bytes of coded strip that claim a picture of 16384 x 16384 (1 GB
// at 32 bits a pixel): each coding's largest expansion shows they cannot
// hold it, so the load fails with the format's error before the picture
// is allocated. Until then they loaded, the picture white where the
// strips gave out.
TEST(TIFFReader, StripsThatCannotHoldThePictureFailBeforeItIsAllocated) {
  auto tags = [](std::uint32_t bits, std::uint32_t compression) {
    return std::vector<TTag>{{256, 3, {16384}}, {257, 3, {16384}}, {258, 3, {bits}}, {259, 3, {compression}},
                             {262, 3, {1}}};
  };
  const std::vector<std::uint8_t> row = Deflated(std::vector<std::uint8_t>(16384 * 4, 7));
  const struct {
    const char* Name;
    std::vector<std::uint8_t> File;
  } cases[] = {
      {"PackBits", MakeTiff(false, tags(8, 32773), {{0x81, 0x07, 0x81, 0x07}})},
      {"deflate", MakeTiff(true, tags(8, 8), {row})},
      {"deflate, RGBA", MakeTiff(false, {{256, 3, {16384}}, {257, 3, {16384}}, {258, 3, {8, 8, 8, 8}}, {259, 3, {8}},
                                         {262, 3, {2}}, {277, 3, {4}}, {338, 3, {2}}}, {row})},
      {"Group 3", MakeTiff(false, tags(1, 3), {readertest::Bits("000000000001 010011011 00110101")})},
      {"modified Huffman", MakeTiff(false, tags(1, 2), {readertest::Bits("010011011 00110101")})},
      {"ThunderScan", MakeTiff(false, tags(4, 32809), {{0xC7, 0x3F, 0x3F, 0x3F}})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    testsupport::TLargestAllocation watch;
    EXPECT_EQ(LoadError(c.File), "Cannot load image. Invalid or unexpected TIF/TIFF image format.");
    EXPECT_LT(watch.Bytes(), 8u << 20);
  }
}

// Pictures of one colour as libtiff codes them, as close to each coding's
// largest expansion as a real file comes: they load.
TEST(TIFFReader, PicturesOfOneColourAtTheirCodingsLimitsLoad) {
  if (!HaveTool(tifftest::kTiffcp) || !HaveTool(testsupport::kConvert)) GTEST_SKIP() << "tiffcp or ImageMagick is missing";
  testsupport::TempDir dir;
  ASSERT_EQ(testsupport::Run({testsupport::kConvert, "-size", "4096x2048", "xc:gray(7)", "-depth", "8", "-compress",
                              "none", dir.File("grey.tif")}).ExitCode, 0);
  ASSERT_EQ(testsupport::Run({testsupport::kConvert, "-size", "4096x2048", "xc:white", "-monochrome", "-depth", "1", "-compress",
                              "none", dir.File("white.tif")}).ExitCode, 0);
  for (auto [base, options] : {std::pair<const char*, std::vector<std::string>>{"grey.tif", {"-c", "packbits"}},
                               {"grey.tif", {"-c", "zip:p9", "-r", "2048"}},
                               {"white.tif", {"-c", "g3", "-r", "2048"}},
                               {"white.tif", {"-c", "g3:fill", "-r", "2048"}}}) {
    SCOPED_TRACE(options[1]);
    ASSERT_EQ(Tiffcp(options, dir.File(base), dir.File("coded.tif")), "");
    const auto file = testsupport::ReadBytes(dir.File("coded.tif"));
    auto tiff = Load(file);
    EXPECT_EQ(tiff->Width(), 4096);
    EXPECT_EQ(tiff->GetPixelColor(4095, 2047), std::string(base) == "grey.tif" ? RGB(7, 7, 7) : clWhite);
  }
}

TEST(TIFFReader, RefusedFilesRaiseTheirTexts) {
  const std::string notSupported = "Cannot load image. %s not supported for TIF/TIFF files.";
  auto unsupported = [&](const char* what) { return FormatText(notSupported.c_str(), {what}); };
  const std::string invalid = "Cannot load image. Invalid or unexpected TIF/TIFF image format.";
  auto grey = [](std::vector<TTag> more) {
    auto tags = GreyTags(1);
    tags.insert(tags.end(), more.begin(), more.end());
    return MakeTiff(false, tags, {GreyRows(0, 1)});
  };
  std::vector<std::uint8_t> ycbcr = MakeTiff(true, {{256, 3, {2}}, {257, 3, {2}}, {258, 3, {8, 8, 8}}, {262, 3, {6}},
                                                    {277, 3, {3}}, {530, 3, {2, 1}}},
                                             {std::vector<std::uint8_t>(8)});
  auto badVersion = grey({});
  badVersion[2] = 43;
  const struct {
    const char* Name;
    std::vector<std::uint8_t> File;
    std::string Error;
  } cases[] = {
      {"tiled", grey({{322, 3, {16}}, {323, 3, {16}}}), unsupported("Tiled images are")},
      {"separate planes", MakeTiff(false, {{256, 3, {1}}, {257, 3, {1}}, {258, 3, {8, 8, 8}}, {262, 3, {2}},
                                           {277, 3, {3}}, {284, 3, {2}}}, {{1, 2, 3}}),
       unsupported("Separate color planes are")},
      {"LZW", grey({{259, 3, {5}}}), unsupported("The compression scheme is")},
      {"old-style JPEG", grey({{259, 3, {6}}}), unsupported("The compression scheme is")},
      {"Group 4", grey({{259, 3, {4}}}), unsupported("The compression scheme is")},
      {"two-dimensional Group 3", MakeTiff(false, {{256, 3, {8}}, {257, 3, {1}}, {259, 3, {3}}, {292, 4, {1}}}, {{0}}),
       unsupported("Two-dimensional Group 3 coding is")},
      {"subsampled YCbCr without JPEG", ycbcr, unsupported("Subsampled YCbCr images without JPEG compression are")},
      {"width 0", MakeTiff(false, {{256, 3, {0}}, {257, 3, {1}}}, {{0}}), invalid},
      {"version 43", badVersion, invalid},
      {"no directory", {'I', 'I', 42, 0, 0, 0, 0, 0, 0}, invalid},
      {"CCITT of 8 bits", grey({{259, 3, {2}}}), invalid},
      {"beyond the pixel cap", MakeTiff(false, {{256, 4, {70000}}, {257, 4, {70000}}}, {{0}}),
       "Cannot load image. The TIF/TIFF image is too large (70000 x 70000 pixels)."},
  };
  for (const auto& c : cases) EXPECT_EQ(LoadError(c.File), c.Error) << c.Name;
}

// CMYK, CIE L*a*b* and uncompressed YCbCr pixels at values whose colours
// follow from each scheme's conversion formula; and the header's fields.
TEST(TIFFReader, ColourSchemesAndHeader) {
  auto one = [](std::uint16_t photometric, std::vector<std::uint8_t> pixel, std::vector<TTag> more = {}) {
    const std::uint32_t n = static_cast<std::uint32_t>(pixel.size());
    std::vector<TTag> tags{{256, 3, {1}}, {257, 3, {1}}, {258, 3, std::vector<std::uint32_t>(n, 8)},
                           {262, 3, {photometric}}, {277, 3, {n}}};
    tags.insert(tags.end(), more.begin(), more.end());
    return Load(MakeTiff(true, tags, {pixel}))->GetPixelColor(0, 0);
  };
  EXPECT_EQ(one(5, {0, 255, 255, 0}), RGB(255, 0, 0));
  EXPECT_EQ(one(5, {128, 128, 128, 128}), RGB(63, 63, 63));
  EXPECT_EQ(one(8, {255, 0, 0}), RGB(255, 255, 255));
  EXPECT_EQ(one(8, {0, 0, 0}), RGB(0, 0, 0));
  EXPECT_EQ(one(6, {128, 128, 255}, {{530, 3, {1, 1}}}), RGB(255, 37, 128));

  // Resolution unit 3 and 100 pixels a centimetre: 254 dots an inch.
  auto tags = GreyTags(1);
  tags.insert(tags.end(), {{282, 5, {100, 1}}, {283, 5, {300, 2}}, {296, 3, {3}}, {317, 3, {2}}, {266, 3, {2}}});
  const auto file = MakeTiff(true, tags, {GreyRows(0, 1)});
  TMemoryStream in(file);
  TTIFFGraphic tiff;
  EXPECT_TRUE(tiff.CanLoadStream(in));
  EXPECT_EQ(in.Position(), 0);
  ASSERT_TRUE(tiff.ReadImageHeader(in, 0));
  const TImageProperties& p = tiff.ImageProperties();
  EXPECT_FLOAT_EQ(p.XResolution, 254.0f);
  EXPECT_FLOAT_EQ(p.YResolution, 381.0f);
  EXPECT_TRUE(p.Has(ioBigEndian) && p.Has(ioReversed));
  EXPECT_EQ(p.Predictor, 2);
  EXPECT_EQ(p.Compression, TCompressionType::None) << "no compression tag is no compression";
  EXPECT_EQ(p.Version, 42u);
  EXPECT_FALSE(tiff.ReadImageHeader(in, 1)) << "a second image the chain does not have";
  for (std::vector<std::uint8_t> probe : {std::vector<std::uint8_t>{'I', 'I', 42, 0, 200, 0, 0, 0, 0},
                                          std::vector<std::uint8_t>{'M', 'M', 0, 42, 0, 0, 0, 8},
                                          std::vector<std::uint8_t>{'I', 'M', 42, 0, 8, 0, 0, 0, 0}}) {
    TMemoryStream s(probe);
    EXPECT_FALSE(tiff.CanLoadStream(s));
  }
}

TEST(TIFFReader, TheImagesOfAChain) {
  if (!HaveTool(tifftest::kTiffcp)) GTEST_SKIP() << testsupport::SkipReason(tifftest::kTiffcp);
  testsupport::TempDir dir;
  testsupport::WriteBytes(dir.File("a.tif"), MakeTiff(false, GreyTags(2), {GreyRows(0, 2)}));
  auto tall = GreyTags(7);
  tall[0].Values = {5};
  testsupport::WriteBytes(dir.File("b.tif"), MakeTiff(false, tall, {std::vector<std::uint8_t>(35, 9)}));
  ASSERT_EQ(testsupport::Run({tifftest::kTiffcp, dir.File("a.tif"), dir.File("b.tif"), dir.File("ab.tif")}).ExitCode, 0);
  TMemoryStream in(testsupport::ReadBytes(dir.File("ab.tif")));
  TTIFFGraphic tiff;
  ASSERT_TRUE(tiff.ReadImageHeader(in, 1));
  EXPECT_EQ(tiff.ImageProperties().Width, 5u);
  EXPECT_EQ(tiff.ImageProperties().Height, 7u);
  in.SetPosition(0);
  tiff.LoadFromStream(in);
  EXPECT_EQ(tiff.Width(), 3) << "the first image is the picture";
}

// JPEG strips: colours in their own order, the checks of each strip, and
// a strip that ends early, which loads with one warning for the load.
TEST(TIFFReader, JPEGStrips) {
  if (!HaveTool(tifftest::kTiffcp) || !HavePillow()) GTEST_SKIP() << "tiffcp or Pillow is missing";
  testsupport::TempDir dir;
  auto made = testsupport::Run({"/usr/bin/python3", "-c", R"PY(
import sys
from PIL import Image
Image.new('RGB', (40, 24), (255, 0, 0)).save(sys.argv[1] + '/red.tif')
im = Image.new('RGB', (64, 48))
im.putdata([(x * 4, y * 5, (x + y) * 2) for y in range(48) for x in range(64)])
im.save(sys.argv[1] + '/ramp.tif')
)PY", dir.Path()});
  ASSERT_EQ(made.ExitCode, 0) << made.Err;
  ASSERT_EQ(Tiffcp({"-c", "jpeg"}, dir.File("red.tif"), dir.File("redj.tif")), "");
  ASSERT_EQ(Tiffcp({"-c", "jpeg:r", "-r", "16"}, dir.File("red.tif"), dir.File("redrgb.tif")), "");
  for (const char* name : {"redj.tif", "redrgb.tif"}) {
    const TColor c = Load(testsupport::ReadBytes(dir.File(name)))->GetPixelColor(5, 5);
    EXPECT_GE(GetRValue(c), 250) << name;
    EXPECT_LE(GetGValue(c), 5) << name;
    EXPECT_LE(GetBValue(c), 5) << name;
  }

  ASSERT_EQ(Tiffcp({"-c", "jpeg", "-r", "48"}, dir.File("ramp.tif"), dir.File("ramp1.tif")), "");
  const std::vector<std::uint8_t> file = testsupport::ReadBytes(dir.File("ramp1.tif"));
  TTIFFDirectory d(file);
  ASSERT_TRUE(d.ReadHeader() && d.ReadDirectory(0));
  const std::uint32_t offset = d.Integer(273, 0), length = d.Integer(279, 0);
  const auto stored = d.ValueBytes(*d.Find(347));
  const std::vector<std::uint32_t> tables(stored.begin(), stored.end());
  // The same image as our own file, its strip cut in half, its rows per
  // strip not what the strip's JPEG holds, or its tables broken.
  auto remade = [&](std::uint32_t rowsPerStrip, std::uint32_t bytes, const std::vector<std::uint32_t>& jpegTables) {
    return MakeTiff(false, {{256, 3, {64}}, {257, 3, {48}}, {258, 3, {8, 8, 8}}, {259, 3, {7}}, {262, 3, {6}},
                            {277, 3, {3}}, {278, 3, {rowsPerStrip}}, {347, 7, jpegTables}},
                    {{file.begin() + offset, file.begin() + offset + bytes}});
  };
  EXPECT_EQ(oracles::Rgb(*Load(remade(48, length, tables))), oracles::Rgb(*Load(file)));
  TakeReaderWarnings();
  EXPECT_EQ(Load(remade(48, length / 2, tables))->Width(), 64);
  EXPECT_EQ(TakeReaderWarnings(), std::vector<std::string>{"JPEG decompression error. Unexpected end of input."});
  try {
    Load(remade(32, length, tables));
    ADD_FAILURE() << "loaded";
  } catch (const EGraphicCompression& e) {
    EXPECT_STREQ(e.what(), "Improper JPEG strip/tile size.");
  }
  // Tables libjpeg cannot read: no start-of-image marker.
  std::vector<std::uint32_t> broken(tables.begin(), tables.end());
  broken[0] = 0;
  try {
    Load(remade(48, length, broken));
    ADD_FAILURE() << "loaded";
  } catch (const EGraphicCompression& e) {
    EXPECT_STREQ(e.what(), "Bogus JPEG tables field.");
  }
}

const std::string kPostScript = "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 3 2\nshowpage\n";

// An EPS file whose TIFF preview our own helper puts behind the header
// and a PostScript part; the header names offset and length.
std::vector<std::uint8_t> Eps(const std::vector<std::uint8_t>& tiff, std::uint32_t offset, std::uint32_t length) {
  std::vector<std::uint8_t> eps{0xC5, 0xD0, 0xD3, 0xC6};
  const std::string& postscript = kPostScript;
  for (std::uint32_t v : {30u, static_cast<std::uint32_t>(postscript.size()), 0u, 0u, offset, length}) testsupport::Put32(eps, v);
  testsupport::Put16(eps, 0xFFFF);
  eps.insert(eps.end(), postscript.begin(), postscript.end());
  eps.insert(eps.end(), tiff.begin(), tiff.end());
  return eps;
}

TEST(EPSReader, LoadsItsTIFFPreview) {
  const auto tiff = MakeTiff(true, GreyTags(2), {GreyRows(0, 2)});
  const std::uint32_t offset = static_cast<std::uint32_t>(30 + kPostScript.size());
  const std::uint32_t length = static_cast<std::uint32_t>(tiff.size());
  auto eps = Eps(tiff, offset, length);
  ASSERT_EQ(eps.size(), offset + length);
  auto graphic = oracles::LoadPicture<TEPSGraphic>(eps);
  EXPECT_EQ(oracles::Rgb(*graphic), oracles::Rgb(*Load(tiff)));
  TMemoryStream in(eps);
  EXPECT_TRUE(graphic->CanLoadStream(in));
  EXPECT_TRUE(graphic->ReadImageHeader(in, 0));
  EXPECT_EQ(graphic->ImageProperties().Height, 2u);

  const std::string invalid = "Cannot load image. Invalid or unexpected EPS image format.";
  auto wrongMagic = eps;
  wrongMagic[0] = 0;
  for (const auto& bad : {wrongMagic, Eps(tiff, 10, length), Eps(tiff, offset, length + 1), Eps(tiff, offset, 0)}) {
    EXPECT_EQ((oracles::LoadError<TEPSGraphic>(bad)), invalid);
    TMemoryStream s(bad);
    EXPECT_FALSE(graphic->CanLoadStream(s));
  }
}

}  // namespace
