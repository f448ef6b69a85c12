// The family's PNG reader against Pillow and netpbm's files, and its
// chunk rules on hand-made files.
#include "formats/png_reader/png_graphic.h"

#include <gtest/gtest.h>

#include <memory>

#include "core/exceptions.h"
#include "core/streams.h"
#include "formats/png/oracles.h"
#include "support/allocation_watch.h"

using oracles::BuildPng;
using oracles::Chunk;
using oracles::JoinPng;
using oracles::PngHeader;
using testsupport::HavePillow;
using testsupport::HaveTool;

namespace {

std::unique_ptr<TPNGGraphic> Load(const std::vector<std::uint8_t>& bytes) {
  return oracles::LoadPicture<TPNGGraphic>(bytes);
}
std::string LoadError(const std::vector<std::uint8_t>& bytes) { return oracles::LoadError<TPNGGraphic>(bytes); }

std::vector<std::uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

// Every colour type and depth netpbm writes, plain and interlaced, and
// Pillow's palette files of every depth: read as Pillow reads them, and
// 16-bit samples as v x 255 div 65535.
TEST(PngGraphic, EveryTypeAndDepthReadsAsPillowReadsIt) {
  if (!HaveTool("/usr/bin/pamtopng")) GTEST_SKIP() << testsupport::SkipReason("/usr/bin/pamtopng");
  if (!HavePillow()) GTEST_SKIP() << "Pillow (python3-pil) is not installed";
  struct Kind {
    const char* Tuple;
    int Depth, Maxval;
    TPixelFormat Format;
  };
  const Kind kinds[] = {{"GRAYSCALE", 1, 1, pf1bit},         {"GRAYSCALE", 1, 3, pf4bit},
                        {"GRAYSCALE", 1, 15, pf4bit},        {"GRAYSCALE", 1, 255, pf8bit},
                        {"GRAYSCALE", 1, 65535, pf8bit},     {"GRAYSCALE_ALPHA", 2, 255, pf8bit},
                        {"GRAYSCALE_ALPHA", 2, 65535, pf8bit}, {"RGB", 3, 255, pf24bit},
                        {"RGB", 3, 65535, pf24bit},          {"RGB_ALPHA", 4, 255, pf32bit},
                        {"RGB_ALPHA", 4, 65535, pf32bit}};
  testsupport::TempDir dir;
  std::vector<std::string> files;                 // for Pillow
  std::vector<std::vector<std::uint8_t>> ours;    // what we read from each
  std::uint32_t state = 7;
  for (const Kind& k : kinds) {
    for (auto [w, h] : {std::pair{5, 3}, std::pair{9, 9}, std::pair{33, 1}, std::pair{1, 7}, std::pair{1, 1}}) {
      std::vector<std::uint16_t> samples(static_cast<std::size_t>(w * h * k.Depth));
      for (auto& s : samples) {
        state = state * 1664525u + 1013904223u;
        s = static_cast<std::uint16_t>((state >> 8) % (static_cast<std::uint32_t>(k.Maxval) + 1));
      }
      const std::string pam = oracles::MakePam(w, h, k.Depth, k.Maxval, k.Tuple, samples);
      for (int interlaced = 0; interlaced < 2; ++interlaced) {
        SCOPED_TRACE(std::string(k.Tuple) + " maxval " + std::to_string(k.Maxval) + " " + std::to_string(w) + "x" +
                     std::to_string(h) + (interlaced ? " interlaced" : ""));
        std::vector<std::string> argv{"/usr/bin/pamtopng"};
        if (interlaced) argv.push_back("-interlace");
        auto r = testsupport::Run(argv, pam);
        ASSERT_EQ(r.ExitCode, 0) << r.Err;
        auto png = Load(Bytes(r.Out));
        ASSERT_EQ(png->Width(), w);
        ASSERT_EQ(png->Height(), h);
        EXPECT_EQ(png->PixelFormat(), k.Format);
        EXPECT_EQ(png->ImageProperties().Interlaced, interlaced == 1);
        if (k.Maxval == 65535) {
          std::vector<std::uint8_t> expected;
          for (int i = 0; i < w * h; ++i) {
            const std::uint16_t* p = &samples[static_cast<std::size_t>(i * k.Depth)];
            for (int c = 0; c < 3; ++c) expected.push_back(static_cast<std::uint8_t>(p[k.Depth <= 2 ? 0 : c] * 255 / 65535));
          }
          EXPECT_EQ(oracles::Rgb(*png), expected);
        } else {
          files.push_back(dir.File("n" + std::to_string(files.size()) + ".png"));
          testsupport::WriteBytes(files.back(), Bytes(r.Out));
          ours.push_back(oracles::Rgb(*png));
        }
      }
    }
  }
  auto made = testsupport::Run({"/usr/bin/python3", "-c", R"PY(
import random, sys
from PIL import Image
rnd = random.Random(3)
for bits in (1, 2, 4, 8):
    for size in ((6, 4), (17, 3), (1, 9)):
        colours = 1 << bits
        picture = Image.frombytes('P', size, bytes(rnd.randrange(colours) for _ in range(size[0] * size[1])))
        picture.putpalette([rnd.randrange(256) for _ in range(3 * colours)])
        name = '%s/pal%d_%d.png' % (sys.argv[1], bits, size[0])
        picture.save(name, bits=bits)
        print(name)
)PY", dir.Path()});
  ASSERT_EQ(made.ExitCode, 0) << made.Err;
  for (std::size_t a = 0, b; (b = made.Out.find('\n', a)) != std::string::npos; a = b + 1) {
    files.push_back(made.Out.substr(a, b - a));
    ours.push_back(oracles::Rgb(*Load(testsupport::ReadBytes(files.back()))));
  }
  const auto pillow = oracles::Pillow(files);
  for (std::size_t i = 0; i < files.size(); ++i) {
    ASSERT_EQ(pillow[i].Err, "") << files[i];
    EXPECT_EQ(pillow[i].Image.Rgb, ours[i]) << files[i];
  }
}

// The image data cut into 1-byte IDAT chunks, and chunk types written in
// another case, give the same picture.
TEST(PngGraphic, ImageDataAcrossChunksOfOneByte) {
  std::vector<std::uint8_t> rows;
  for (int y = 0; y < 6; ++y) {
    rows.push_back(static_cast<std::uint8_t>(y % 5));  // every filter
    for (int x = 0; x < 7 * 3; ++x) rows.push_back(static_cast<std::uint8_t>(x * 29 + y * 7));
  }
  const auto whole = BuildPng(PngHeader(7, 6, 8, 2), rows);
  const auto expected = oracles::Rgb(*Load(JoinPng(whole)));
  std::vector<Chunk> split = oracles::SplitIdat(whole, "idat");
  split.insert(split.end() - 1, Chunk{"abCD", {1, 2, 3}});  // ancillary: skipped
  EXPECT_EQ(oracles::Rgb(*Load(JoinPng(split))), expected);
}

TEST(PngGraphic, FaultyFilesRaiseTheirTexts) {
  const auto ihdr = PngHeader(2, 2, 8, 2);
  const std::vector<std::uint8_t> rows{0, 1, 2, 3, 4, 5, 6, 0, 7, 8, 9, 10, 11, 12};
  const auto good = BuildPng(ihdr, rows);
  const std::string invalid = "Cannot load image. Invalid or unexpected PNG image format.";
  auto with = [&](auto change) {
    auto chunks = good;
    change(chunks);
    return JoinPng(chunks);
  };
  auto flipped = JoinPng(good);
  flipped[45] ^= 4;  // a bit of the image data
  auto hugeLength = JoinPng(good);
  hugeLength[33] = 0x80;  // IDAT's length above 2^31 - 1
  auto longLength = JoinPng(good);
  longLength[35] += 100;  // IDAT's length beyond the file
  std::vector<std::uint8_t> stream2;  // two zlib streams in one IDAT
  {
    auto first = oracles::Deflate(rows);
    stream2 = first;
    stream2.insert(stream2.end(), first.begin(), first.end());
  }
  const struct {
    const char* Name;
    std::vector<std::uint8_t> File;
    std::string Error;
  } cases[] = {
      {"critical ABCD", with([](auto& c) { c.insert(c.begin() + 1, Chunk{"ABCD", {}}); }),
       "Cannot load PNG image. Unexpected but critical chunk detected."},
      {"PLTE of 767 bytes", with([](auto& c) { c.insert(c.begin() + 1, Chunk{"PLTE", std::vector<std::uint8_t>(767)}); }),
       "Cannot load image. Palette in PNG file is invalid."},
      {"flipped bit", flipped, "Cannot load image. CRC error found in PNG file."},
      {"length above 2^31 - 1", hugeLength, invalid},
      {"length beyond the file", longLength, invalid},
      {"no IDAT", with([](auto& c) { c.erase(c.begin() + 1); }), invalid},
      {"width 0", with([](auto& c) { c[0].Data = PngHeader(0, 2, 8, 2); }), invalid},
      {"not IHDR first", with([](auto& c) { std::swap(c[0], c[1]); }), invalid},
      {"compression method 1", with([](auto& c) { c[0].Data[10] = 1; }),
       "Cannot load image. The compression scheme is not supported for PNG files."},
      {"RGB of 4 bits", with([](auto& c) { c[0].Data = PngHeader(2, 2, 4, 2); }), "Invalid color format in PNG file."},
      {"colour type 5", with([](auto& c) { c[0].Data = PngHeader(2, 2, 8, 5); }), "Invalid color format in PNG file."},
      {"damaged deflate", with([](auto& c) { c[1].Data = {0x78, 0x9C, 0xFF, 0xFF, 0xFF}; }),
       "Cannot load image. Compression error found in PNG file."},
      {"second stream", with([&](auto& c) { c[1].Data = stream2; }),
       "Cannot load image. Extra compressed data found in PNG file."},
      {"a stream that ends before the image", with([&](auto& c) {
         c[1].Data = oracles::Deflate(std::vector<std::uint8_t>(rows.begin(), rows.begin() + 7));
       }),
       "Cannot load image. Extra compressed data found in PNG file."},
      {"PLTE after the image", with([](auto& c) { c.insert(c.end() - 1, Chunk{"PLTE", {1, 2, 3}}); }),
       "Cannot load PNG image. Unexpected but critical chunk detected."},
      {"beyond the pixel cap", with([](auto& c) { c[0].Data = PngHeader(70000, 70000, 8, 2); }),
       "Cannot load image. The PNG image is too large (70000 x 70000 pixels)."},
  };
  for (const auto& c : cases) EXPECT_EQ(LoadError(c.File), c.Error) << c.Name;
  EXPECT_EQ(LoadError(JoinPng(good)), "(loaded)");
}

// Image data cut short or damaged: whether it loads and how far its rows
// reach does not depend on how the data are cut into chunks (the inflater
// gives what it holds of the last chunk).
TEST(PngGraphic, DamagedImageDataLoadsAlikeHoweverItIsCut) {
  auto outcome = [](const std::vector<Chunk>& chunks) {
    const std::vector<std::uint8_t> file = JoinPng(chunks);
    std::string text = LoadError(file);
    if (text == "(loaded)") {
      for (std::uint8_t v : oracles::Rgb(*Load(file))) text += static_cast<char>(v);
    }
    return text;
  };
  auto cut = [](const std::vector<Chunk>& chunks, std::size_t piece) {
    std::vector<Chunk> out;
    for (const Chunk& c : chunks) {
      if (c.Type != "IDAT") {
        out.push_back(c);
        continue;
      }
      for (std::size_t at = 0; at < c.Data.size(); at += piece) {
        const std::size_t n = std::min(piece, c.Data.size() - at);
        out.push_back({"IDAT", std::vector<std::uint8_t>(c.Data.begin() + static_cast<std::ptrdiff_t>(at),
                                                         c.Data.begin() + static_cast<std::ptrdiff_t>(at + n))});
      }
    }
    return out;
  };
  std::uint32_t state = 11;
  for (const int interlace : {0, 1}) {
    // 5 x 9 grey of 8 bits: three rows of noise, then the same again twice,
    // so that matches of the compressed stream run across rows and the
    // inflater holds bytes of the rows after the one it fills.
    std::vector<std::uint8_t> rows;
    for (int y = 0; y < 3; ++y) {
      rows.push_back(0);
      for (int x = 0; x < 5; ++x) rows.push_back(static_cast<std::uint8_t>((state = state * 69069 + 1) >> 24));
    }
    const std::vector<std::uint8_t> noise = rows;
    for (int copy = 0; copy < 2; ++copy) rows.insert(rows.end(), noise.begin(), noise.end());
    const auto good = BuildPng(PngHeader(5, 9, 8, 0, interlace), rows);
    const std::vector<std::uint8_t>& stream = good[1].Data;
    // Cut short: the same outcome however it is cut.
    for (std::size_t n = 2; n < stream.size(); ++n) {
      std::vector<Chunk> file = good;
      file[1].Data.resize(n);
      const std::string whole = outcome(file);
      for (const std::size_t piece : {1, 3, 7}) {
        EXPECT_EQ(outcome(cut(file, piece)), whole)
            << "interlace " << interlace << ", " << n << " bytes of data in pieces of " << piece;
      }
    }
    // A byte changed, with and without the check value: what loads whole
    // loads alike in pieces. The check value after the rows is only read
    // where it shares a chunk with their end, so a file that fails whole
    // may load in pieces.
    for (std::size_t i = 2; i < stream.size(); ++i) {
      for (const std::uint8_t flip : {0x01, 0x10, 0x5A, 0x80, 0xFF}) {
        for (const std::size_t tail : {0, 4}) {
          std::vector<Chunk> file = good;
          file[1].Data[i] ^= flip;
          file[1].Data.resize(stream.size() - tail);
          const std::string whole = outcome(file);
          if (!whole.starts_with("(loaded)")) continue;
          for (const std::size_t piece : {1, 3, 7}) {
            EXPECT_EQ(outcome(cut(file, piece)), whole) << "interlace " << interlace << ", byte " << i << " ^ "
                                                        << int{flip} << ", " << tail << " cut, pieces of " << piece;
          }
        }
      }
    }
  }
}

// Image data that end early keep the background for the rows they never
// reach: white, or the colour of bKGD.
TEST(PngGraphic, TruncatedImageKeepsTheBackground) {
  std::vector<std::uint8_t> rows;
  std::uint32_t state = 5;
  for (int y = 0; y < 8; ++y) {
    rows.push_back(0);
    for (int x = 0; x < 4 * 3; ++x) rows.push_back(static_cast<std::uint8_t>((state = state * 69069 + 1) >> 24));
  }
  auto chunks = BuildPng(PngHeader(4, 8, 8, 2), rows);
  chunks[1].Data.resize(chunks[1].Data.size() / 2);  // half the stream, no IEND
  chunks.pop_back();
  auto png = Load(JoinPng(chunks));
  EXPECT_EQ(png->GetPixelColor(0, 0), RGB(rows[1], rows[2], rows[3]));
  EXPECT_EQ(png->GetPixelColor(3, 7), clWhite);
  chunks.insert(chunks.begin() + 1, Chunk{"bKGD", {0, 1, 0, 2, 0, 3}});
  EXPECT_EQ(Load(JoinPng(chunks))->GetPixelColor(3, 7), RGB(1, 2, 3));
}

// Image data of a few hundred bytes that claim 16384 x 16384 pixels:
// deflate gives at most 1032 bytes a byte, so they cannot hold the rows,
// and the load fails before the picture is allocated (it loaded before,
// the rows past the data white). However the data are cut into chunks.
TEST(PngGraphic, ImageDataThatCannotHoldThePictureFailBeforeItIsAllocated) {
  const std::vector<std::uint8_t> stream = oracles::Deflate(std::vector<std::uint8_t>(16384 * 8 + 8, 0));
  const struct {
    const char* Name;
    std::vector<Chunk> Chunks;
  } cases[] = {
      {"grey", {{"IHDR", PngHeader(16384, 16384, 8, 0)}, {"IDAT", stream}, {"IEND", {}}}},
      {"interlaced RGB of 16 bits", {{"IHDR", PngHeader(16384, 16384, 16, 2, 1)}, {"IDAT", stream}, {"IEND", {}}}},
      {"one bit, no IEND", {{"IHDR", PngHeader(16384, 16384, 1, 0)}, {"IDAT", stream}}},
      {"in chunks of one byte", oracles::SplitIdat({{"IHDR", PngHeader(16384, 16384, 8, 3)}, {"PLTE", {1, 2, 3}},
                                                    {"IDAT", stream}, {"IEND", {}}})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    testsupport::TLargestAllocation watch;
    EXPECT_EQ(LoadError(JoinPng(c.Chunks)), "Cannot load image. Invalid or unexpected PNG image format.");
    EXPECT_LT(watch.Bytes(), 8u << 20);
  }
}

// One colour as Pillow packs it, hundreds of bytes a byte and in Pillow's
// chunks of 64 KB: it loads.
TEST(PngGraphic, OneColourPackedTightlyLoads) {
  if (!HavePillow()) GTEST_SKIP() << "Pillow (python3-pil) is not installed";
  testsupport::TempDir dir;
  const auto made = testsupport::Run({"/usr/bin/python3", "-c", R"PY(
import sys
from PIL import Image
Image.new('L', (4096, 4096), 9).save(sys.argv[1] + '/grey.png', compress_level=9)
Image.new('RGB', (2048, 2048), (1, 2, 3)).save(sys.argv[1] + '/rgb.png', compress_level=9)
)PY", dir.Path()});
  ASSERT_EQ(made.ExitCode, 0) << made.Err;
  EXPECT_EQ(Load(testsupport::ReadBytes(dir.File("grey.png")))->GetPixelColor(4095, 4095), RGB(9, 9, 9));
  EXPECT_EQ(Load(testsupport::ReadBytes(dir.File("rgb.png")))->GetPixelColor(2047, 2047), RGB(1, 2, 3));
  // Over 500 bytes of rows a byte of data.
  EXPECT_LT(testsupport::ReadBytes(dir.File("grey.png")).size() * 500, 4096u * 4097u);
}

TEST(PngGraphic, TransparencyBackgroundAndGamma) {
  // Grey of 4 bits with the key 5: the transparent colour is what level 5
  // shows.
  auto grey = Load(JoinPng(BuildPng(PngHeader(2, 1, 4, 0), {0, 0x5F}, {{"tRNS", {0, 5}}})));
  EXPECT_TRUE(grey->Transparent());
  EXPECT_EQ(grey->TransparentColor(), RGB(85, 85, 85));
  EXPECT_EQ(grey->GetPixelColor(0, 0), grey->TransparentColor());
  // 2-bit grey is shown in 4 bits: level 1 is 85.
  auto grey2 = Load(JoinPng(BuildPng(PngHeader(1, 1, 2, 0), {0, 0x40}, {{"tRNS", {0, 1}}})));
  EXPECT_EQ(grey2->PixelFormat(), pf4bit);
  EXPECT_EQ(grey2->TransparentColor(), grey2->GetPixelColor(0, 0));
  EXPECT_EQ(grey2->TransparentColor(), RGB(85, 85, 85));
  // 16-bit RGB key scaled like the pixels.
  auto rgb16 = Load(JoinPng(BuildPng(PngHeader(1, 1, 16, 2), {0, 0xFF, 0xFF, 0x80, 0x80, 0, 0xFF},
                                     {{"tRNS", {0xFF, 0xFF, 0x80, 0x80, 0, 0xFF}}})));
  EXPECT_EQ(rgb16->TransparentColor(), RGB(255, 128, 0));
  EXPECT_EQ(rgb16->GetPixelColor(0, 0), rgb16->TransparentColor());
  // tRNS of an indexed image is no colour key.
  auto indexed = Load(JoinPng(BuildPng(PngHeader(1, 1, 8, 3), {0, 0}, {{"PLTE", {9, 8, 7}}, {"tRNS", {0}}})));
  EXPECT_FALSE(indexed->Transparent());
  EXPECT_EQ(indexed->GetPixelColor(0, 0), RGB(9, 8, 7));
  // A gamma of 1.0 shown on a 2.2 display: 1, 64 and 128 become 21, 136
  // and 186; the key passes the same table.
  const Chunk gama{"gAMA", {0, 1, 0x86, 0xA0}};
  auto rgb = Load(JoinPng(BuildPng(PngHeader(1, 1, 8, 2), {0, 1, 64, 128}, {gama, {"tRNS", {0, 1, 0, 64, 0, 128}}})));
  EXPECT_EQ(rgb->GetPixelColor(0, 0), RGB(21, 136, 186));
  EXPECT_EQ(rgb->TransparentColor(), RGB(21, 136, 186));
  EXPECT_EQ(rgb->ImageProperties().FileGamma, 1.0f);
  EXPECT_TRUE(rgb->ImageProperties().Has(ioUseGamma));
  // The gamma reaches the palette of a 4-bit image too.
  auto pal = Load(JoinPng(BuildPng(PngHeader(1, 1, 4, 3), {0, 0x10}, {gama, {"PLTE", {0, 0, 0, 1, 64, 128}}})));
  EXPECT_EQ(pal->GetPixelColor(0, 0), RGB(21, 136, 186));
  // RGBA keeps its alpha in the fourth byte of a 32-bit bitmap.
  auto rgba = Load(JoinPng(BuildPng(PngHeader(1, 1, 8, 6), {0, 1, 2, 3, 200})));
  EXPECT_EQ(rgba->PixelFormat(), pf32bit);
  EXPECT_EQ(rgba->ScanLine(0)[3], 200);
  // An interlaced 1 x 1 image has its pixel in the first pass only.
  auto one = Load(JoinPng(BuildPng(PngHeader(1, 1, 8, 2, 1), {0, 4, 5, 6})));
  EXPECT_EQ(one->GetPixelColor(0, 0), RGB(4, 5, 6));
}

TEST(PngGraphic, ProbeAndHeader) {
  const auto file = JoinPng(BuildPng(PngHeader(3, 2, 16, 4, 1), std::vector<std::uint8_t>(2 * 13)));
  TMemoryStream in(file);
  TPNGGraphic png;
  EXPECT_TRUE(png.CanLoadStream(in));
  EXPECT_EQ(in.Position(), 0);
  ASSERT_TRUE(png.ReadImageHeader(in, 0));
  const TImageProperties& p = png.ImageProperties();
  EXPECT_EQ(p.Width, 3u);
  EXPECT_EQ(p.Height, 2u);
  EXPECT_EQ(p.ColorScheme, TColorScheme::GrayAlpha);
  EXPECT_EQ(p.BitsPerPixel, 16);
  EXPECT_TRUE(p.Interlaced && p.HasAlpha && p.Has(ioBigEndian));
  EXPECT_EQ(p.Compression, TCompressionType::LZ77);
  EXPECT_EQ(p.FileGamma, 1.0f);
  TMemoryStream shortStream(std::vector<std::uint8_t>(file.begin(), file.begin() + 8));
  EXPECT_FALSE(png.CanLoadStream(shortStream));
}

}  // namespace
