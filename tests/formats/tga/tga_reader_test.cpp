#include "formats/tga/tga_graphic.h"

#include <gtest/gtest.h>

#include "core/exceptions.h"
#include "core/streams.h"
#include "formats/common/decode_table.h"
#include "formats/common/reader_test_util.h"
#include "formats/png/oracles.h"
#include "formats/tga/tga_writer.h"

using namespace readertest;
using testsupport::HaveTool;
using testsupport::HavePillow;
using testsupport::SkipReason;

namespace {

Bytes DecodeTarga(int depth, const Bytes& packed, std::size_t destBytes) {
  TTargaRLEDecoder decoder(depth);
  return Decode(decoder, packed, destBytes).Written;
}

TEST(TargaRLE, CraftedPackets) {
  TTargaRLEDecoder d8(8), d16(16), d24(24), d32(32), d12(12);
  const TDecodeCase cases[] = {
      {"repeat", &d8, {0x83, 7}, 4, {7, 7, 7, 7}, 2},
      {"literal", &d8, {0x02, 1, 2, 3}, 3, {1, 2, 3}, 4},
      {"repeat of 24-bit pixels", &d24, {0x81, 1, 2, 3}, 6, {1, 2, 3, 1, 2, 3}, 4},
      {"run cut at the row's end", &d8, {0x85, 9, 0x00, 4}, 3, {9, 9, 9}, 2},
      // The rest of a literal packet is skipped, so the next row starts at
      // the next packet.
      {"literal cut at the row's end", &d8, {0x03, 1, 2, 3, 4, 0x80, 5}, 2, {1, 2}, 5},
      {"source ends inside a literal", &d16, {0x01, 1, 2, 3}, 4, {1, 2, 3}, 4},
      {"source ends inside a repeated pixel", &d32, {0x80, 1, 2}, 4, {}, 3},
      {"unknown depth decodes nothing", &d12, {0x80, 1, 2}, 4, {}, 0},
  };
  ExpectDecodeTable(cases);
}

TEST(TargaRLE, EncodeAndDecodeRoundTrip) {
  // Runs of 1, 2, 128 and 129 equal pixels and alternating pixels, at
  // every depth.
  struct Case {
    const char* name;
    std::vector<int> pixels;  // pixel values, one per pixel
  };
  std::vector<int> alternating;
  for (int i = 0; i < 300; ++i) alternating.push_back(i % 2);
  std::vector<Case> cases = {
      {"one pixel", {5}},
      {"two equal", {5, 5}},
      {"128 equal", std::vector<int>(128, 3)},
      {"129 equal", std::vector<int>(129, 3)},
      {"two different", {1, 2}},
      {"run after literal", {1, 2, 3, 3, 3}},
      {"alternating", alternating},
  };
  for (const Case& c : cases) {
    for (int depth : {8, 16, 24, 32}) {
      TTargaRLEDecoder codec(depth);
      const std::size_t ps = codec.PixelBytes();
      Bytes raw;
      for (int v : c.pixels) {
        for (std::size_t k = 0; k < ps; ++k) raw.push_back(static_cast<std::uint8_t>(v * 17 + k));
      }
      Bytes packed;
      codec.Encode(raw, c.pixels.size(), packed);
      EXPECT_EQ(DecodeTarga(depth, packed, raw.size()), raw) << c.name << " at depth " << depth;
    }
  }
}

TEST(TargaRLE, EncodedBytes) {
  TTargaRLEDecoder codec(8);
  struct Case {
    Bytes pixels;
    Bytes packed;
  } cases[] = {
      {{4}, {0x00, 4}},
      {{4, 4}, {0x81, 4}},
      {{1, 2}, {0x00, 1, 0x00, 2}},  // the last pixel has no successor and goes alone
      {{1, 2, 3, 3}, {0x01, 1, 2, 0x81, 3}},
      {Bytes(129, 6), {0xFF, 6, 0x00, 6}},
  };
  for (const Case& c : cases) {
    Bytes packed;
    codec.Encode(c.pixels, c.pixels.size(), packed);
    EXPECT_EQ(packed, c.packed);
  }
}

// An 18-byte header and what follows.
Bytes Targa(std::uint8_t type, std::uint8_t bpp, int w, int h, std::uint8_t descriptor, const Bytes& rest,
            std::uint8_t mapType = 0, std::uint16_t mapLength = 0, std::uint8_t entrySize = 0, std::uint8_t idLength = 0) {
  Bytes b{idLength, mapType, type, 0, 0};
  testsupport::Put16(b, mapLength);
  b.push_back(entrySize);
  testsupport::Put32(b, 0);
  testsupport::Put16(b, static_cast<std::uint32_t>(w));
  testsupport::Put16(b, static_cast<std::uint32_t>(h));
  b.push_back(bpp);
  b.push_back(descriptor);
  b.insert(b.end(), idLength, 'i');
  b.insert(b.end(), rest.begin(), rest.end());
  return b;
}

RgbImage Rgb(int w, int h, Bytes rgb) { return RgbImage{w, h, std::move(rgb)}; }

TEST(TargaReader, CraftedFiles) {
  const TCraftedFile cases[] = {
      {"descriptor bit 5 set: top row first", Targa(2, 24, 1, 2, 0x20, {1, 2, 3, 4, 5, 6}), pf24bit,
       Rgb(1, 2, {3, 2, 1, 6, 5, 4})},
      {"descriptor bit 5 clear: bottom row first", Targa(2, 24, 1, 2, 0x00, {1, 2, 3, 4, 5, 6}), pf24bit,
       Rgb(1, 2, {6, 5, 4, 3, 2, 1})},
      {"image ID skipped", Targa(3, 8, 2, 1, 0x20, {0, 255}, 0, 0, 0, 5), pf8bit, Rgb(2, 1, {0, 0, 0, 255, 255, 255})},
      {"16-bit pixels in a 15-bit bitmap", Targa(2, 16, 2, 1, 0x20, {0x1F, 0x80, 0x00, 0x7C}), pf15bit,
       Rgb(2, 1, {0, 0, 255, 255, 0, 0})},
      {"32-bit pixels", Targa(2, 32, 1, 1, 0x20, {10, 20, 30, 40}), pf32bit, Rgb(1, 1, {30, 20, 10})},
      {"24-bit colour map", Targa(1, 8, 2, 1, 0x20, {1, 2, 3, 4, 5, 6, 1, 0}, 1, 2, 24), pf8bit,
       Rgb(2, 1, {6, 5, 4, 3, 2, 1})},
      {"32-bit colour map", Targa(1, 8, 1, 1, 0x20, {1, 2, 3, 99, 0}, 1, 1, 32), pf8bit, Rgb(1, 1, {3, 2, 1})},
      // Two bytes per 15-bit entry, not one: the pixels stay in place.
      {"15-bit colour map", Targa(1, 8, 2, 1, 0x20, {0x00, 0x7C, 0x1F, 0x00, 1, 0}, 1, 2, 15), pf8bit,
       Rgb(2, 1, {0, 0, 248, 248, 0, 0})},
      {"true colour carrying a colour map", Targa(2, 24, 1, 1, 0x20, {9, 9, 9, 9, 9, 9, 1, 2, 3}, 1, 2, 24), pf24bit,
       Rgb(1, 1, {3, 2, 1})},
      {"run-length rows", Targa(10, 24, 3, 2, 0x20, {0x82, 1, 2, 3, 0x00, 4, 5, 6, 0x81, 7, 8, 9}), pf24bit,
       Rgb(3, 2, {3, 2, 1, 3, 2, 1, 3, 2, 1, 6, 5, 4, 9, 8, 7, 9, 8, 7})},
      // A run crossing the end of a row is cut there; the next row starts
      // at the next packet.
      {"packets never cross rows", Targa(11, 8, 2, 2, 0x20, {0x83, 50, 0x81, 60}), pf8bit,
       Rgb(2, 2, {50, 50, 50, 50, 50, 50, 60, 60, 60, 60, 60, 60})},
  };
  ExpectPictures(TTargaGraphic::StaticClass(), cases);
}

TEST(TargaReader, MalformedFilesRaiseTheFormatError) {
  const std::string invalid = "Cannot load image. Invalid or unexpected Targa image format.";
  struct Case {
    const char* name;
    Bytes file;
    std::string error;
  } cases[] = {
      {"no pixels (image type 0)", Targa(0, 8, 1, 1, 0, {}), invalid},
      {"unknown image type", Targa(4, 8, 1, 1, 0, {0}), invalid},
      {"unknown depth", Targa(2, 12, 1, 1, 0, {0, 0}), invalid},
      {"empty picture", Targa(2, 24, 0, 5, 0, {}), invalid},
      {"short header", Bytes{0, 0, 2, 0}, invalid},
      {"short raw rows", Targa(2, 24, 2, 2, 0, Bytes(11, 0)), invalid},
      {"short run-length rows", Targa(10, 24, 4, 1, 0, {0x82, 1, 2, 3}), invalid},
      {"colour map beyond the file", Targa(1, 8, 1, 1, 0, {0}, 1, 200, 24), invalid},
      {"more than 256 map entries", Targa(1, 8, 1, 1, 0, Bytes(300 * 3 + 1, 0), 1, 300, 24),
       "The Targa colour map has more than 256 entries"},
  };
  for (const Case& c : cases) EXPECT_EQ(LoadError(TTargaGraphic::StaticClass(), c.file), c.error) << c.name;
}

TEST(TargaReader, ProbeAndHeader) {
  TTargaGraphic g;
  struct Case {
    Bytes file;
    bool probe;
  } cases[] = {
      {Targa(2, 24, 1, 1, 0, {1, 2, 3}, 0, 0, 24), true},
      {Targa(2, 24, 1, 1, 0, {1, 2, 3}, 0, 0, 0), false},  // entry size 0
      {Targa(9, 8, 1, 1, 0, {0, 1}, 1, 1, 16), true},
      {Targa(12, 8, 1, 1, 0, {0, 1}, 1, 1, 16), false},
      {Targa(2, 24, 1, 1, 0, {}, 0, 0, 24), false},  // 18 bytes only
  };
  for (const Case& c : cases) {
    TMemoryStream s(c.file);
    s.SetPosition(0);
    EXPECT_EQ(g.CanLoadStream(s), c.probe);
    EXPECT_EQ(s.Position(), 0);
  }
  TMemoryStream s(Targa(10, 32, 7, 3, 0, {}));
  ASSERT_TRUE(g.ReadImageHeader(s, 0));
  const TImageProperties& p = g.ImageProperties();
  EXPECT_EQ(p.Width, 7u);
  EXPECT_EQ(p.Height, 3u);
  EXPECT_EQ(p.ColorScheme, TColorScheme::RGBA);
  EXPECT_EQ(p.BitsPerPixel, 32);
  EXPECT_EQ(p.Compression, TCompressionType::RLE);
}

// Files of netpbm, ImageMagick and Pillow read to the pixels they were
// made from.
TEST(TargaReader, FilesOfOtherTools) {
  if (!HaveTool("/usr/bin/ppmtotga") || !HaveTool(testsupport::kConvert)) GTEST_SKIP() << "netpbm or ImageMagick missing";
  testsupport::TempDir dir;
  struct Case {
    const char* name;
    RgbImage picture;
    std::vector<std::string> argv;  // reads the PPM on standard input
    bool flipped = false;           // see below
  };
  const RgbImage colour = Picture(61, 23);
  const RgbImage fewColours = Picture(45, 17, 200);
  const RgbImage grey = Picture(33, 9, 0, true);
  std::vector<Case> cases = {
      {"ppmtotga -rgb", colour, {"/usr/bin/ppmtotga", "-rgb"}},
      {"ppmtotga -rgb -norle", colour, {"/usr/bin/ppmtotga", "-rgb", "-norle"}},
      {"ppmtotga -cmap", fewColours, {"/usr/bin/ppmtotga", "-cmap"}},
      {"ppmtotga -cmap -norle", fewColours, {"/usr/bin/ppmtotga", "-cmap", "-norle"}},
      {"ppmtotga -mono", grey, {"/usr/bin/ppmtotga", "-mono"}},
      // ImageMagick stores the top row first but marks the file as
      // bottom-up (descriptor 0); like Pillow we take the descriptor's word.
      {"convert RLE", colour, {testsupport::kConvert, "ppm:-", "-compress", "RLE", "tga:-"}, true},
      {"convert palette RLE", fewColours,
       {testsupport::kConvert, "ppm:-", "-type", "Palette", "-compress", "RLE", "tga:-"}, true},
      {"convert grey raw", grey,
       {testsupport::kConvert, "ppm:-", "-type", "Grayscale", "-compress", "None", "tga:-"}, true},
      {"convert with alpha", colour, {testsupport::kConvert, "ppm:-", "-alpha", "on", "-compress", "RLE", "tga:-"}, true},
  };
  for (const Case& c : cases) {
    const Bytes file = Tool(c.argv, Ppm(c.picture));
    RgbImage expected = c.picture;
    if (c.flipped) {
      const std::size_t row = static_cast<std::size_t>(expected.Width) * 3;
      for (int y = 0; y < expected.Height; ++y) {
        std::copy_n(c.picture.Rgb.begin() + static_cast<std::ptrdiff_t>(row * static_cast<std::size_t>(expected.Height - 1 - y)),
                    row, expected.Rgb.begin() + static_cast<std::ptrdiff_t>(row * static_cast<std::size_t>(y)));
      }
      if (HavePillow()) {
        testsupport::WriteBytes(dir.File("im.tga"), file);
        EXPECT_EQ(Difference(oracles::Pillow({dir.File("im.tga")})[0].Image, expected), "") << c.name << " (Pillow)";
      }
    }
    EXPECT_EQ(Difference(expected, Pixels(*Load(TTargaGraphic::StaticClass(), file))), "") << c.name;
  }
  if (!HavePillow()) return;
  const char* script = R"PY(
import sys
from PIL import Image
im = Image.open(sys.stdin.buffer)
im.convert(sys.argv[1]).save(sys.stdout.buffer, 'TGA', rle=sys.argv[2] == '1')
)PY";
  for (const char* mode : {"RGB", "RGBA", "L"}) {
    for (const char* rle : {"0", "1"}) {
      const RgbImage& picture = std::string(mode) == "L" ? grey : colour;
      const Bytes file = Python(script, {mode, rle}, Ppm(picture));
      EXPECT_EQ(Difference(picture, Pixels(*Load(TTargaGraphic::StaticClass(), file))), "")
          << "Pillow " << mode << " rle " << rle;
    }
  }
}

// The program reads back what its Targa writer and the class's own
// writer write, to the pixels written.
TEST(TargaReader, ReadsBackTheProgramsFiles) {
  testsupport::TempDir dir;
  for (TPixelFormat format : {pf1bit, pf4bit, pf8bit, pf24bit}) {
    const TBitmap source = oracles::Pattern(37, 11, format);
    for (int mode : {tgaColourMapped, tgaTrueColour}) {
      if (mode == tgaColourMapped && format == pf24bit) continue;
      SaveTGA(dir.File("w.tga"), source, mode);
      auto back = Load(TTargaGraphic::StaticClass(), testsupport::ReadBytes(dir.File("w.tga")));
      // The writer stores palette values at 6 bits.
      RgbImage expected = Pixels(source);
      if (format != pf24bit) {
        for (auto& v : expected.Rgb) v = static_cast<std::uint8_t>((v >> 2) * 255 / 63);
      }
      EXPECT_EQ(Difference(expected, Pixels(*back)), "") << "SaveTGA mode " << mode << " format " << format;
      if (mode == tgaColourMapped) {
        // The indices are the bitmap's.
        TBitmap indices = source;
        indices.SetPixelFormat(pf8bit);
        ASSERT_EQ(back->PixelFormat(), pf8bit);
        for (int y = 0; y < 11; ++y) EXPECT_TRUE(std::equal(indices.ScanLine(y), indices.ScanLine(y) + 37, back->ScanLine(y)));
      }
    }
  }
  for (TPixelFormat format : {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit}) {
    for (bool compressed : {false, true}) {
      TTargaGraphic g;
      static_cast<TBitmap&>(g) = oracles::Pattern(130, 7, format);
      TMemoryStream s;
      g.SaveTarga(s, compressed);
      auto back = Load(TTargaGraphic::StaticClass(), s.Bytes());
      // A 5-6-5 picture is stored as 5-5-5: green keeps five of its bits.
      TBitmap written = g;
      if (format == pf16bit) written.SetPixelFormat(pf15bit);
      const RgbImage expected = Pixels(written);
      EXPECT_EQ(Difference(expected, Pixels(*back)), "") << "SaveTarga format " << format << " compressed " << compressed;
    }
  }
}

TEST(TargaReader, WriterHeaderAndEmptyBitmap) {
  TTargaGraphic g;
  TMemoryStream empty;
  g.SaveTarga(empty, true);
  EXPECT_EQ(empty.Size(), 0);
  static_cast<TBitmap&>(g) = oracles::Pattern(3, 2, pf8bit);
  TMemoryStream s;
  g.SaveToStream(s);
  const Bytes& f = s.Bytes();
  ASSERT_GE(f.size(), 18u + 768u);
  EXPECT_EQ(Bytes(f.begin(), f.begin() + 18), (Bytes{0, 1, 9, 0, 0, 0, 1, 24, 0, 0, 0, 0, 3, 0, 2, 0, 8, 0x20}));
  const TPaletteEntry e = g.Palette()[1];
  EXPECT_EQ(Bytes(f.begin() + 21, f.begin() + 24), (Bytes{e.Blue, e.Green, e.Red}));
}

TEST(TargaReader, ProgressStages) {
  TTargaGraphic g;
  std::vector<std::string> events;
  g.OnProgress = [&](TGraphic&, TProgressStage stage, int percent, const std::string& message) {
    events.push_back(std::to_string(static_cast<int>(stage)) + ":" + std::to_string(percent) + ":" + message);
  };
  TMemoryStream s(Targa(2, 8, 1, 2, 0, {1, 2}));
  g.LoadFromStream(s);
  EXPECT_EQ(events, (std::vector<std::string>{"0:0:Preparing...", "2:0:", "0:0:Transfering...", "1:0:Transfering...",
                                              "1:50:Transfering...", "2:0:"}));
}

}  // namespace
