#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <memory>

#include "formats/png/oracles.h"
#include "formats/png/png_image.h"
#include "support/allocation_watch.h"

using oracles::BuildPng;
using oracles::Chunk;
using oracles::Deflate;
using oracles::PngHeader;
using testsupport::HavePillow;
using testsupport::HaveTool;

namespace {

std::unique_ptr<TPNGImage> Load(const std::vector<std::uint8_t>& bytes) { return oracles::LoadPicture<TPNGImage>(bytes); }
std::string LoadError(const std::vector<std::uint8_t>& bytes) {
  return oracles::LoadError<TPNGImage, EPNGImageException>(bytes);
}

std::string Text(const char* particular) { return PngErrorMessage(particular); }

// Expected 8-bit value of a sample of the given maxval as our reader
// shows it: palette ramps for grey, the high byte for 16 bits.
std::uint8_t Shown(std::uint16_t v, int maxval) {
  if (maxval == 65535) return static_cast<std::uint8_t>(v >> 8);
  return static_cast<std::uint8_t>(v * 255 / maxval);
}

struct Kind {
  const char* Tuple;
  int Depth;  // samples per pixel
  int Maxval;
  TPixelFormat Format;
};

// PNGs written by pamtopng in every grey, grey+alpha, RGB and RGBA depth,
// plain and interlaced at odd sizes: both read as the source pixels.
TEST(PngReader, NetpbmFilesOfEveryColourTypeAndDepth) {
  if (!HaveTool("/usr/bin/pamtopng")) GTEST_SKIP() << testsupport::SkipReason("/usr/bin/pamtopng");
  const Kind kinds[] = {
      {"GRAYSCALE", 1, 1, pf1bit},         {"GRAYSCALE", 1, 3, pf4bit},      {"GRAYSCALE", 1, 15, pf4bit},
      {"GRAYSCALE", 1, 255, pf8bit},       {"GRAYSCALE", 1, 65535, pf8bit},  {"GRAYSCALE_ALPHA", 2, 255, pf8bit},
      {"GRAYSCALE_ALPHA", 2, 65535, pf8bit}, {"RGB", 3, 255, pf24bit},       {"RGB", 3, 65535, pf24bit},
      {"RGB_ALPHA", 4, 255, pf24bit},      {"RGB_ALPHA", 4, 65535, pf24bit},
  };
  const std::pair<int, int> sizes[] = {{5, 3}, {9, 9}, {33, 1}, {1, 7}};
  testsupport::TempDir dir;
  std::uint32_t state = 99;
  // Files for Pillow, and what we read from them.
  std::vector<std::string> files;
  std::vector<std::vector<std::uint8_t>> ours;
  for (const Kind& k : kinds) {
    for (auto [w, h] : sizes) {
      SCOPED_TRACE(std::string(k.Tuple) + " maxval " + std::to_string(k.Maxval) + " " + std::to_string(w) + "x" +
                   std::to_string(h));
      std::vector<std::uint16_t> samples(static_cast<std::size_t>(w * h * k.Depth));
      for (auto& s : samples) {
        state = state * 1664525u + 1013904223u;
        s = static_cast<std::uint16_t>((state >> 8) % (static_cast<std::uint32_t>(k.Maxval) + 1));
      }
      std::string pam = oracles::MakePam(w, h, k.Depth, k.Maxval, k.Tuple, samples);
      std::vector<std::uint8_t> expected;
      for (int i = 0; i < w * h; ++i) {
        const std::uint16_t* p = &samples[static_cast<std::size_t>(i * k.Depth)];
        bool grey = k.Depth <= 2;
        for (int c = 0; c < 3; ++c) expected.push_back(Shown(p[grey ? 0 : c], k.Maxval));
      }
      std::unique_ptr<TPNGImage> twins[2];
      for (int interlaced = 0; interlaced < 2; ++interlaced) {
        std::vector<std::string> argv{"/usr/bin/pamtopng"};
        if (interlaced) argv.push_back("-interlace");
        auto r = testsupport::Run(argv, pam);
        ASSERT_EQ(r.ExitCode, 0) << r.Err;
        std::vector<std::uint8_t> file(r.Out.begin(), r.Out.end());
        EXPECT_EQ(file[8 + 8 + 12], interlaced);
        twins[interlaced] = Load(file);
        EXPECT_EQ(twins[interlaced]->Width(), w);
        EXPECT_EQ(twins[interlaced]->Height(), h);
        EXPECT_EQ(twins[interlaced]->PixelFormat(), k.Format);
        EXPECT_EQ(oracles::Rgb(*twins[interlaced]), expected) << "interlaced " << interlaced;
        // Pillow clips 16-bit grey instead of keeping the high byte.
        if (!(k.Depth == 1 && k.Maxval == 65535)) {
          files.push_back(dir.File("n" + std::to_string(files.size()) + ".png"));
          testsupport::WriteBytes(files.back(), file);
          ours.push_back(oracles::Rgb(*twins[interlaced]));
        }
      }
      // Same pixel values in the same layout, not only the same colours.
      for (int y = 0; y < h; ++y) {
        int bytes = static_cast<int>((static_cast<std::int64_t>(w) * BitsPerPixel(k.Format) + 7) / 8);
        EXPECT_TRUE(std::equal(twins[0]->ScanLine(y), twins[0]->ScanLine(y) + bytes, twins[1]->ScanLine(y)));
      }
    }
  }
  if (!HavePillow()) return;
  auto pillow = oracles::Pillow(files);
  for (std::size_t i = 0; i < files.size(); ++i) {
    ASSERT_EQ(pillow[i].Err, "") << files[i];
    EXPECT_EQ(pillow[i].Image.Rgb, ours[i]) << files[i];
  }
}

// Palette images of every depth from Pillow, and interlaced ones from
// ImageMagick, read as Pillow reads them.
TEST(PngReader, PaletteFilesReadAsPillowReadsThem) {
  if (!HavePillow()) GTEST_SKIP() << "Pillow (python3-pil) is not installed";
  testsupport::TempDir dir;
  const char* script = R"PY(
import sys
from PIL import Image
out = sys.argv[1]
for bits in (1, 2, 4, 8):
    for (w, h) in ((5, 3), (9, 9), (33, 1)):
        n = 1 << bits
        im = Image.new('P', (w, h))
        im.putpalette([(i * 37 + c * 91) % 256 for i in range(n) for c in range(3)])
        im.putdata([(x * 7 + y * 3) % n for y in range(h) for x in range(w)])
        im.save('%s/p%d_%dx%d.png' % (out, bits, w, h), bits=bits)
        im.convert('RGB').save('%s/p%d_%dx%d.ppm' % (out, bits, w, h))
)PY";
  auto r = testsupport::Run({"/usr/bin/python3", "-c", script, dir.Path()});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  std::vector<std::string> files;
  const bool haveMagick = HaveTool("/usr/bin/convert");
  for (int bits : {1, 2, 4, 8}) {
    for (const char* size : {"5x3", "9x9", "33x1"}) {
      std::string base = dir.File("p" + std::to_string(bits) + "_" + size);
      files.push_back(base + ".png");
      if (haveMagick) {
        auto m = testsupport::Run({"/usr/bin/convert", base + ".ppm", "-interlace", "PNG", "PNG8:" + base + "_i.png"});
        ASSERT_EQ(m.ExitCode, 0) << m.Err;
        files.push_back(base + "_i.png");
      }
    }
  }
  auto pillow = oracles::Pillow(files);
  for (std::size_t i = 0; i < files.size(); ++i) {
    SCOPED_TRACE(files[i]);
    ASSERT_EQ(pillow[i].Err, "");
    auto file = testsupport::ReadBytes(files[i]);
    auto png = Load(file);
    EXPECT_EQ(oracles::Rgb(*png), pillow[i].Image.Rgb);
  }
  // A 2-bit palette becomes a 4-bit bitmap of 16 entries.
  auto two = Load(testsupport::ReadBytes(dir.File("p2_9x9.png")));
  EXPECT_EQ(two->PixelFormat(), pf4bit);
  EXPECT_EQ(two->Palette().size(), 16u);
  EXPECT_EQ(two->Palette()[5], two->Palette()[1]);
}

TEST(PngReader, SixteenBitAndTwoBitGrey) {
  // 2 x 1 grey, depth 2: values 1 and 3.
  auto grey2 = Load(oracles::JoinPng(BuildPng(PngHeader(2, 1, 2, 0), {0, 0x70})));
  EXPECT_EQ(grey2->PixelFormat(), pf4bit);
  ASSERT_EQ(grey2->Palette().size(), 16u);
  EXPECT_EQ(grey2->Palette()[1], (TPaletteEntry{85, 85, 85, 4}));
  EXPECT_EQ(grey2->GetPixelColor(0, 0), RGB(85, 85, 85));
  EXPECT_EQ(grey2->GetPixelColor(1, 0), RGB(255, 255, 255));
  // 16-bit RGB keeps the high bytes; the Up filter works on 6-byte pixels.
  auto rgb16 = Load(oracles::JoinPng(
      BuildPng(PngHeader(1, 2, 16, 2), {0, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 2, 1, 0, 1, 0, 1, 0})));
  EXPECT_EQ(rgb16->PixelFormat(), pf24bit);
  EXPECT_EQ(rgb16->GetPixelColor(0, 0), RGB(0x12, 0x56, 0x9A));
  EXPECT_EQ(rgb16->GetPixelColor(0, 1), RGB(0x13, 0x57, 0x9B));
  // 16-bit grey with the Sub filter: the distance is two bytes, not one.
  auto grey16 = Load(oracles::JoinPng(BuildPng(PngHeader(2, 1, 16, 0), {1, 0x40, 0xFF, 0x01, 0x01})));
  EXPECT_EQ(grey16->GetPixelColor(0, 0), RGB(0x40, 0x40, 0x40));
  EXPECT_EQ(grey16->GetPixelColor(1, 0), RGB(0x41, 0x41, 0x41));
}

long double Expected(int v, double gamma) {
  return std::nearbyint(255.0L * std::pow(v / 255.0L, 1.0L / (gamma * 2.2L)));
}

TEST(PngReader, GammaIsAppliedWhereverTheChunkStands) {
  std::vector<std::uint8_t> row{0, 0, 64, 128, 0, 200, 255};  // 2 x 1 RGB
  Chunk gama{"gAMA", {0, 1, 0x86, 0xA0}};                       // 100000: gamma 1.0
  auto before = BuildPng(PngHeader(2, 1, 8, 2), row, {gama});
  auto png = Load(oracles::JoinPng(before));
  TColor c = png->GetPixelColor(0, 0);
  EXPECT_EQ(GetRValue(c), 0);
  EXPECT_EQ(GetGValue(c), Expected(64, 1.0));
  EXPECT_EQ(GetBValue(c), Expected(128, 1.0));
  EXPECT_EQ(GetGValue(png->GetPixelColor(1, 0)), Expected(200, 1.0));

  // The same chunk after the image data gives the same picture.
  auto after = before;
  std::swap(after[1], after[2]);
  ASSERT_EQ(after[2].Type, "gAMA");
  EXPECT_EQ(oracles::Rgb(*Load(oracles::JoinPng(after))), oracles::Rgb(*png));

  // A gamma of 0 is ignored instead of dividing by zero.
  auto zero = before;
  zero[1].Data = {0, 0, 0, 0};
  auto plain = Load(oracles::JoinPng(zero));
  EXPECT_EQ(plain->GetPixelColor(0, 0), RGB(0, 64, 128));

  // The palette passes through the same table, also when PLTE comes late.
  auto pal = BuildPng(PngHeader(1, 1, 8, 3), {0, 0}, {gama});
  pal.insert(pal.end() - 1, Chunk{"PLTE", {64, 128, 200}});
  auto p = Load(oracles::JoinPng(pal));
  EXPECT_EQ(p->GetPixelColor(0, 0), RGB(Expected(64, 1.0), Expected(128, 1.0), Expected(200, 1.0)));
}

TEST(PngReader, NetpbmGammaAndTransparency) {
  if (!HaveTool("/usr/bin/pamtopng")) GTEST_SKIP() << testsupport::SkipReason("/usr/bin/pamtopng");
  std::string pam = oracles::MakePam(3, 1, 3, 255, "RGB", {255, 0, 13, 1, 2, 3, 100, 150, 200});
  auto r = testsupport::Run({"/usr/bin/pamtopng", "-transparent=rgb:ff/00/0d", "-gamma=0.5"}, pam);
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  auto png = Load(std::vector<std::uint8_t>(r.Out.begin(), r.Out.end()));
  EXPECT_TRUE(png->Transparent());
  const auto& fwd = png->Chunks().Find<TChunkGAMA>()->Forward();
  EXPECT_EQ(fwd[100], Expected(100, 0.5));
  // The key goes through gamma like the pixels, so it still matches them.
  EXPECT_EQ(png->TransparentColor(), RGB(255, 0, fwd[13]));
  EXPECT_EQ(png->GetPixelColor(0, 0), png->TransparentColor());

  // A 16-bit key keeps its high bytes; tIME is a plain chunk, no key.
  std::string pam16 = oracles::MakePam(1, 1, 3, 65535, "RGB", {0x1234, 0x5678, 0x9ABC});
  r = testsupport::Run({"/usr/bin/pamtopng", "-transparent=rgb:1234/5678/9abc", "-time=2020-01-02 03:04:05"}, pam16);
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  auto png16 = Load(std::vector<std::uint8_t>(r.Out.begin(), r.Out.end()));
  EXPECT_TRUE(png16->Transparent());
  EXPECT_EQ(png16->TransparentColor(), RGB(0x12, 0x56, 0x9A));
  ASSERT_NE(png16->Chunks().Find<TChunkTIME>(), nullptr);

  r = testsupport::Run({"/usr/bin/pamtopng", "-time=2020-01-02 03:04:05"}, pam16);
  auto timed = Load(std::vector<std::uint8_t>(r.Out.begin(), r.Out.end()));
  EXPECT_FALSE(timed->Transparent());
}

TEST(PngReader, TransparencyForms) {
  auto file = BuildPng(PngHeader(1, 1, 8, 2), {0, 9, 8, 7}, {{"tRNS", {9, 8, 7}}});  // the older 3-byte form
  auto png = Load(oracles::JoinPng(file));
  EXPECT_TRUE(png->Transparent());
  EXPECT_EQ(png->TransparentColor(), RGB(9, 8, 7));
  file[1].Data = {0, 9, 0, 8, 0, 7};  // the standard form
  EXPECT_EQ(Load(oracles::JoinPng(file))->TransparentColor(), RGB(9, 8, 7));
  file[1].Data = {1, 9, 0, 8, 0, 7};  // 265 cannot occur in 8 bits: no key
  EXPECT_FALSE(Load(oracles::JoinPng(file))->Transparent());
  file[1].Data = {9, 8};  // malformed: ignored
  EXPECT_FALSE(Load(oracles::JoinPng(file))->Transparent());
  // Grey images keep no key, and asking their chunk for one is an error.
  auto grey = Load(oracles::JoinPng(BuildPng(PngHeader(1, 1, 8, 0), {0, 5}, {{"tRNS", {0, 5}}})));
  EXPECT_FALSE(grey->Transparent());
  try {
    grey->Chunks().Find<TChunkTRNS>()->TransparentColor();
    FAIL();
  } catch (const EPNGImageException& e) {
    EXPECT_EQ(e.Message(), Text(pngtext::NotRGB));
  }
}

TEST(PngReader, ImageDataInOneByteChunksAndWithTrailingBytes) {
  TBitmap source = oracles::Pattern(13, 11, pf24bit);
  TPNGImage writer;
  writer.Assign(source);
  TMemoryStream out;
  writer.SaveToStream(out);
  auto chunks = oracles::SplitPng(out.Bytes());
  std::vector<Chunk> split = oracles::SplitIdat(chunks);
  auto png = Load(oracles::JoinPng(split));
  EXPECT_EQ(oracles::Rgb(*png), oracles::Rgb(source));
  EXPECT_EQ(png->Chunks().Count(), 3);

  // Bytes after the end of the zlib stream are not image data.
  auto trailing = chunks;
  trailing[1].Data.insert(trailing[1].Data.end(), {0xDE, 0xAD, 0xBE, 0xEF, 0, 0, 0});
  EXPECT_EQ(oracles::Rgb(*Load(oracles::JoinPng(trailing))), oracles::Rgb(source));
}

TEST(PngReader, ShortImageDataGivesAPartialPicture) {
  // 4 x 3 grey rows 10, 20, 30 packed, then only the first half kept.
  std::vector<std::uint8_t> rows{0, 10, 10, 10, 10, 0, 20, 20, 20, 20, 0, 30, 30, 30, 30};
  std::vector<std::uint8_t> noEnd;
  {
    // A stream that stops after the first row (no final block).
    z_stream z{};
    deflateInit(&z, 0);
    std::vector<std::uint8_t> buf(100);
    z.next_in = rows.data();
    z.avail_in = 5;
    z.next_out = buf.data();
    z.avail_out = 100;
    deflate(&z, Z_SYNC_FLUSH);
    buf.resize(100 - z.avail_out);
    deflateEnd(&z);
    noEnd = buf;
  }
  auto png = Load(oracles::JoinPng({{"IHDR", PngHeader(4, 3, 8, 0)}, {"IDAT", noEnd}, {"IEND", {}}}));
  EXPECT_EQ(png->GetPixelColor(3, 0), RGB(10, 10, 10));
  EXPECT_EQ(png->GetPixelColor(0, 1), RGB(0, 0, 0));  // zero-filled
  EXPECT_EQ(png->GetPixelColor(3, 2), RGB(0, 0, 0));
}

// A few hundred bytes of image data cannot give the rows of 16384 x 16384
// pixels at deflate's largest expansion (1032 bytes a byte): the load
// fails before the picture is allocated, plain or interlaced, however the
// data are cut into chunks; and an icon's opacity is not allocated either.
TEST(PngReader, ImageDataThatCannotHoldThePictureFailBeforeItIsAllocated) {
  const std::vector<std::uint8_t> stream = Deflate(std::vector<std::uint8_t>(16384 * 8 + 8, 0));
  for (const bool opacity : {false, true}) {
    for (const auto& ihdr : {PngHeader(16384, 16384, 8, 2), PngHeader(16384, 16384, 16, 6, 1),
                             PngHeader(16384, 16384, 1, 0)}) {
      for (const auto& chunks : {std::vector<Chunk>{{"IHDR", ihdr}, {"IDAT", stream}, {"IEND", {}}},
                                 oracles::SplitIdat({{"IHDR", ihdr}, {"IDAT", stream}, {"IEND", {}}})}) {
        SCOPED_TRACE(std::to_string(ihdr[8]) + " bits, colour type " + std::to_string(ihdr[9]) +
                     (chunks.size() > 3 ? ", in pieces" : "") + (opacity ? ", with opacity" : ""));
        testsupport::TLargestAllocation watch;
        TPNGImage png;
        png.KeepOpacity(opacity);
        TMemoryStream in(oracles::JoinPng(chunks));
        try {
          png.LoadFromStream(in);
          ADD_FAILURE() << "loaded";
        } catch (const EPNGImageException& e) {
          EXPECT_EQ(e.what(), Text(pngtext::Corrupted));
        }
        EXPECT_LT(watch.Bytes(), 8u << 20);
      }
    }
  }
}

TEST(PngReader, DamagedFilesFailCleanly) {
  auto good = BuildPng(PngHeader(2, 2, 8, 2), {0, 1, 2, 3, 4, 5, 6, 0, 7, 8, 9, 10, 11, 12});
  auto goodFile = oracles::JoinPng(good);
  ASSERT_EQ(LoadError(goodFile), "(loaded)");

  auto badCrc = goodFile;
  badCrc[8 + 8 + 13] ^= 1;
  EXPECT_EQ(LoadError(badCrc), Text(pngtext::Corrupted));

  auto late = good;
  std::swap(late[0], late[1]);
  EXPECT_EQ(LoadError(oracles::JoinPng(late)), Text(pngtext::NoIHDR));

  // Cut inside the image data chunk, and after the length of a chunk.
  for (std::size_t cut : {goodFile.size() - 20, std::size_t{8 + 25 + 6}, std::size_t{8 + 3}}) {
    auto truncated = std::vector<std::uint8_t>(goodFile.begin(), goodFile.begin() + static_cast<std::ptrdiff_t>(cut));
    EXPECT_EQ(LoadError(truncated), Text(pngtext::Corrupted)) << cut;
  }
  // Missing IEND is tolerated: the file simply ends after the data.
  auto noEnd = good;
  noEnd.pop_back();
  EXPECT_EQ(LoadError(oracles::JoinPng(noEnd)), "(loaded)");

  auto badSig = goodFile;
  badSig[1] = 'Q';
  EXPECT_EQ(LoadError(badSig), Text(pngtext::InvalidHeader));
  EXPECT_EQ(LoadError({137, 80}), Text(pngtext::InvalidHeader));

  // A length above 2^31 - 1, and one beyond the end of the file.
  auto huge = goodFile;
  huge[8] = 0x80;
  EXPECT_EQ(LoadError(huge), Text(pngtext::Corrupted));
  huge[8] = 0x00;
  huge[9] = 0x10;
  EXPECT_EQ(LoadError(huge), Text(pngtext::Corrupted));

  EXPECT_EQ(LoadError(oracles::JoinPng({{"IHDR", PngHeader(2, 2, 8, 2)}, {"IEND", {}}})), Text(pngtext::NoData));
  EXPECT_EQ(LoadError(oracles::JoinPng({})), Text(pngtext::NoIHDR));

  auto critical = good;
  critical.insert(critical.begin() + 1, Chunk{"CRIT", {1}});
  EXPECT_EQ(LoadError(oracles::JoinPng(critical)), Text(pngtext::UnknownCritical));
  auto ancillary = good;
  ancillary.insert(ancillary.begin() + 1, Chunk{"abCd", {1, 2}});
  auto kept = Load(oracles::JoinPng(ancillary));
  EXPECT_EQ(kept->Chunks()[1].TypeName(), "abCd");
  EXPECT_EQ(&kept->Chunks()[1].ClassType(), &TChunk::StaticClass());

  auto filter = BuildPng(PngHeader(1, 1, 8, 0), {5, 0});
  EXPECT_EQ(LoadError(oracles::JoinPng(filter)), Text(pngtext::UnknownFilter));
}

TEST(PngReader, HeaderFieldsAreChecked) {
  const std::vector<std::uint8_t> row{0, 0, 0, 0};
  auto error = [&](std::vector<std::uint8_t> ihdr) { return LoadError(oracles::JoinPng(BuildPng(ihdr, row))); };
  auto shortHeader = PngHeader(1, 1, 8, 2);
  shortHeader.pop_back();
  EXPECT_EQ(error(shortHeader), Text(pngtext::InvalidIHDR));
  EXPECT_EQ(error(PngHeader(0, 1, 8, 2)), Text(pngtext::InvalidSize));
  EXPECT_EQ(error(PngHeader(1, 0x80000000u, 8, 2)), Text(pngtext::InvalidSize));
  EXPECT_EQ(error(PngHeader(70000, 70000, 8, 2)), Text(pngtext::InvalidSize));  // over the pixel cap
  EXPECT_EQ(error(PngHeader(1, 1, 3, 0)), Text(pngtext::InvalidDepth));
  EXPECT_EQ(error(PngHeader(1, 1, 4, 2)), Text(pngtext::InvalidDepth));
  EXPECT_EQ(error(PngHeader(1, 1, 16, 3)), Text(pngtext::InvalidDepth));
  EXPECT_EQ(error(PngHeader(1, 1, 8, 5)), Text(pngtext::UnknownColorType));
  EXPECT_EQ(error(PngHeader(1, 1, 8, 2, 2)), Text(pngtext::UnknownInterlace));
  auto method = PngHeader(1, 1, 8, 2);
  method[10] = 1;
  EXPECT_EQ(error(method), Text(pngtext::UnknownMethod));
  method[10] = 0;
  method[11] = 1;
  EXPECT_EQ(error(method), Text(pngtext::UnknownMethod));
}

TEST(PngReader, PaletteChecks) {
  auto noPalette = BuildPng(PngHeader(1, 1, 8, 3), {0, 0});
  EXPECT_EQ(LoadError(oracles::JoinPng(noPalette)), Text(pngtext::NoPalette));
  auto odd = BuildPng(PngHeader(1, 1, 8, 3), {0, 0}, {{"PLTE", {1, 2, 3, 4}}});
  EXPECT_EQ(LoadError(oracles::JoinPng(odd)), Text(pngtext::InvalidPalette));
  auto big = BuildPng(PngHeader(1, 1, 8, 3), {0, 0}, {{"PLTE", std::vector<std::uint8_t>(257 * 3, 1)}});
  EXPECT_EQ(LoadError(oracles::JoinPng(big)), Text(pngtext::InvalidPalette));

  // An index past the palette: the palette is padded with black.
  auto past = Load(oracles::JoinPng(BuildPng(PngHeader(2, 1, 8, 3), {0, 1, 200}, {{"PLTE", {10, 20, 30, 40, 50, 60}}})));
  ASSERT_EQ(past->Palette().size(), 256u);
  EXPECT_EQ(past->GetPixelColor(0, 0), RGB(40, 50, 60));
  EXPECT_EQ(past->Palette()[200], (TPaletteEntry{0, 0, 0, 0}));
  // Indices inside the palette leave it as it is.
  auto inside = Load(oracles::JoinPng(BuildPng(PngHeader(2, 1, 8, 3), {0, 1, 0}, {{"PLTE", {10, 20, 30, 40, 50, 60}}})));
  EXPECT_EQ(inside->Palette().size(), 2u);
  // Depth 2 with a palette of two entries: widened safely to 16.
  auto two = Load(oracles::JoinPng(BuildPng(PngHeader(4, 1, 2, 3), {0, 0x1B}, {{"PLTE", {10, 20, 30, 40, 50, 60}}})));
  ASSERT_EQ(two->Palette().size(), 16u);
  EXPECT_EQ(two->GetPixelColor(1, 0), RGB(40, 50, 60));
  EXPECT_EQ(two->GetPixelColor(3, 0), RGB(0, 0, 0));
  EXPECT_EQ(two->Palette()[5], two->Palette()[1]);
}

TEST(PngReader, ReportsProgressAndReplacesThePreviousImage) {
  TBitmap source = oracles::Pattern(4, 6, pf8bit);
  TPNGImage writer;
  writer.Assign(source);
  writer.Chunks().AddChunk<TChunkGAMA>().SetGamma(45455);
  TMemoryStream out;
  writer.SaveToStream(out);

  TPNGImage png;
  png.Assign(oracles::Pattern(50, 50, pf24bit));
  png.SetTransparent(true);
  std::vector<int> percents;
  png.OnProgress = [&](TGraphic&, TProgressStage, int percent, const std::string&) { percents.push_back(percent); };
  out.SetPosition(0);
  png.LoadFromStream(out);
  EXPECT_FALSE(png.Transparent());
  EXPECT_EQ(png.Width(), 4);
  EXPECT_EQ(png.PixelFormat(), pf8bit);
  ASSERT_FALSE(percents.empty());
  EXPECT_EQ(percents.back(), 100);
  // gamma 1/2.2 makes the forward and inverse tables nearly the identity:
  // the palette survives the round trip within one step.
  for (std::size_t i = 0; i < source.Palette().size(); ++i) {
    EXPECT_NEAR(png.Palette()[i].Red, source.Palette()[i].Red, 1);
  }
}

}  // namespace
