#include "formats/pcx/pcx_graphic.h"

#include <gtest/gtest.h>

#include "core/streams.h"
#include "formats/common/decode_table.h"
#include "formats/common/reader_test_util.h"
#include "formats/common/row_depth.h"
#include "formats/pcx/pcx_writer.h"
#include "formats/png/oracles.h"

using namespace readertest;
using testsupport::HaveTool;
using testsupport::HavePillow;

namespace {

TEST(PCXRLE, CraftedPackets) {
  TPCXRLEDecoder pcx;
  const TDecodeCase cases[] = {
      {"single bytes", &pcx, {1, 2, 0xBF}, 3, {1, 2, 0xBF}, 3},
      {"run", &pcx, {0xC3, 9, 4}, 4, {9, 9, 9, 4}, 3},
      {"run cut at the end of dest", &pcx, {0xFF, 7, 1}, 5, {7, 7, 7, 7, 7}, 2},
      {"zero-length run", &pcx, {0xC0, 5, 6}, 1, {6}, 3},
      {"count without its value", &pcx, {1, 0xC4}, 3, {1}, 2},
      {"source used up first", &pcx, {1, 2}, 6, {1, 2}, 2},
  };
  ExpectDecodeTable(cases);
}

struct Header {
  std::uint8_t version = 5, encoding = 0, bits = 8, planes = 1;
  int w = 1, h = 1;
  int bytesPerLine = -1;  // -1: the smallest that holds a row
  std::uint16_t paletteType = 1;
  Bytes palette16;
  std::uint8_t manufacturer = 0x0A;
  std::int16_t xmin = 0;
};

Bytes Pcx(const Header& hd, const Bytes& rest) {
  Bytes b{hd.manufacturer, hd.version, hd.encoding, hd.bits};
  testsupport::Put16(b, static_cast<std::uint16_t>(hd.xmin));
  testsupport::Put16(b, 0);
  testsupport::Put16(b, static_cast<std::uint16_t>(hd.xmin + hd.w - 1));
  testsupport::Put16(b, static_cast<std::uint16_t>(hd.h - 1));
  testsupport::Put16(b, 72);
  testsupport::Put16(b, 72);
  Bytes pal = hd.palette16;
  pal.resize(48);
  b.insert(b.end(), pal.begin(), pal.end());
  b.push_back(0);
  b.push_back(hd.planes);
  testsupport::Put16(b, static_cast<std::uint32_t>(hd.bytesPerLine >= 0 ? hd.bytesPerLine : (hd.w * hd.bits + 7) / 8));
  testsupport::Put16(b, hd.paletteType);
  b.resize(128, 0);
  b.insert(b.end(), rest.begin(), rest.end());
  return b;
}

Bytes Trailer(std::initializer_list<std::uint8_t> firstColours) {
  Bytes t(769, 0);
  t[0] = 12;
  std::copy(firstColours.begin(), firstColours.end(), t.begin() + 1);
  return t;
}

Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(PCXReader, CraftedFiles) {
  Header fourPlanes;
  fourPlanes.bits = 1;
  fourPlanes.planes = 4;
  fourPlanes.w = 3;
  for (int i = 0; i < 16; ++i) fourPlanes.palette16.insert(fourPlanes.palette16.end(), {static_cast<std::uint8_t>(i * 16), 0, 0});
  Header grey4 = fourPlanes;
  grey4.paletteType = 2;
  Header v3 = fourPlanes;
  v3.version = 3;
  Header eight;
  eight.w = 2;
  Header eightRle = eight;
  eightRle.encoding = 1;
  Header rgb;
  rgb.planes = 3;
  rgb.w = 2;
  Header mono;
  mono.bits = 1;
  mono.w = 10;
  Header odd = eight;
  odd.bytesPerLine = 4;  // padded lines
  Header moved = eight;
  moved.xmin = 100;
  const TCraftedFile cases[] = {
      // Pixel value = plane 3 bit x 8 + plane 2 bit x 4 + plane 1 bit x 2 + plane 0 bit.
      {"4 planes of 1 bit", Pcx(fourPlanes, {0b10100000, 0b01100000, 0b00100000, 0b11000000}), pf4bit,
       RgbImage{3, 1, {9 * 16, 0, 0, 10 * 16, 0, 0, 7 * 16, 0, 0}}},
      {"palette type 2 is grey", Pcx(grey4, {0b10000000, 0, 0, 0b10000000}), pf4bit,
       RgbImage{3, 1, {153, 153, 153, 0, 0, 0, 0, 0, 0}}},
      {"version 3 takes the default palette", Pcx(v3, {0, 0, 0, 0b10000000}), pf4bit,
       RgbImage{3, 1, {0x80, 0x80, 0x80, 0, 0, 0, 0, 0, 0}}},
      {"8 bits with the palette trailer", Pcx(eight, Concat({1, 0}, Trailer({1, 2, 3, 4, 5, 6}))), pf8bit,
       RgbImage{2, 1, {4, 5, 6, 1, 2, 3}}},
      {"8 bits run-length with the trailer", Pcx(eightRle, Concat({0xC2, 1}, Trailer({0, 0, 0, 9, 8, 7}))), pf8bit,
       RgbImage{2, 1, {9, 8, 7, 9, 8, 7}}},
      {"8 bits without a trailer is grey", Pcx(eight, {200, 7}), pf8bit, RgbImage{2, 1, {200, 200, 200, 7, 7, 7}}},
      {"3 planes of 8 bits", Pcx(rgb, {1, 2, 3, 4, 5, 6}), pf24bit, RgbImage{2, 1, {1, 3, 5, 2, 4, 6}}},
      {"1 bit is black and white", Pcx(mono, {0b10000000, 0b01000000}), pf1bit,
       RgbImage{10, 1, {255, 255, 255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 255, 255,
                        255}}},
      {"padded plane lines", Pcx(odd, {5, 6, 0, 0}), pf8bit, RgbImage{2, 1, {5, 5, 5, 6, 6, 6}}},
      {"window away from the origin", Pcx(moved, {5, 6}), pf8bit, RgbImage{2, 1, {5, 5, 5, 6, 6, 6}}},
  };
  ExpectPictures(TPCXGraphic::StaticClass(), cases);
}

TEST(PCXReader, MalformedFiles) {
  const std::string invalid = "Cannot load image. Invalid or unexpected PCX or SCR image format.";
  Header twoPlanes;
  twoPlanes.bits = 1;
  twoPlanes.planes = 2;
  Header narrow;
  narrow.w = 9;
  narrow.bytesPerLine = 8;
  Header rle;
  rle.encoding = 1;
  rle.w = 4;
  Header eight;
  eight.w = 4;
  eight.h = 2;
  Header empty;
  empty.w = 0;
  Header inverted;
  inverted.w = -3;
  Header manufacturer;
  manufacturer.manufacturer = 0x0C;
  Header ega3;
  ega3.planes = 3;
  ega3.bits = 1;
  struct Case {
    const char* name;
    Bytes file;
    std::string error;
  } cases[] = {
      {"2 planes of 1 bit", Pcx(twoPlanes, {0, 0}), "Invalid color format in PCX file."},
      {"3 planes of 1 bit", Pcx(ega3, {0, 0, 0}), "Invalid color format in PCX file."},
      {"bytes per line shorter than a row", Pcx(narrow, Bytes(9, 0)), invalid},
      {"short run-length data", Pcx(rle, {0xC2, 1}), invalid},
      // An uncompressed file is not filled up with zeros.
      {"short raw data", Pcx(eight, Bytes(7, 1)), invalid},
      // Only a file long enough to hold a trailer after its header has one:
      // here the marker byte would lie inside the header.
      {"tiny file", Pcx(eight, Bytes(8, 12)), ""},
      {"empty window", Pcx(empty, {}), invalid},
      {"inverted window", Pcx(inverted, {}), "The PCX picture's window is inverted"},
      {"manufacturer the probe accepts but the header does not", Pcx(manufacturer, {0}), invalid},
      {"no header", Bytes(20, 0x0A), invalid},
  };
  for (const Case& c : cases) EXPECT_EQ(LoadError(TPCXGraphic::StaticClass(), c.file), c.error) << c.name;
}

TEST(PCXReader, Probe) {
  TPCXGraphic g;
  Header h;
  struct Case {
    std::uint8_t manufacturer, version, encoding;
    bool extraByte, probe;
  } cases[] = {
      {0x0A, 5, 1, true, true}, {0x0C, 0, 0, true, true},  {0x0A, 4, 1, true, false},
      {0x0A, 5, 2, true, false}, {0xCD, 5, 1, true, false}, {0x0A, 5, 1, false, false},
  };
  for (const Case& c : cases) {
    h.manufacturer = c.manufacturer;
    h.version = c.version;
    h.encoding = c.encoding;
    TMemoryStream s(Pcx(h, c.extraByte ? Bytes{0} : Bytes{}));
    EXPECT_EQ(g.CanLoadStream(s), c.probe) << int(c.manufacturer) << " " << int(c.version);
    EXPECT_EQ(s.Position(), 0);
  }
}

TEST(PCXReader, FilesOfOtherTools) {
  if (!HaveTool("/usr/bin/ppmtopcx") || !HaveTool(testsupport::kConvert)) GTEST_SKIP() << "netpbm or ImageMagick missing";
  const RgbImage colour = Picture(63, 21);
  const RgbImage palette = Picture(50, 13, 256);
  const RgbImage sixteen = Picture(27, 8, 16);
  const RgbImage mono = Picture(35, 6, 2, true);
  struct Case {
    const char* name;
    RgbImage picture;
    std::vector<std::string> argv;
  } cases[] = {
      {"ppmtopcx -24bit", colour, {"/usr/bin/ppmtopcx", "-24bit"}},
      {"ppmtopcx -8bit", palette, {"/usr/bin/ppmtopcx", "-8bit"}},
      {"ppmtopcx 16 colours, 4 planes", sixteen, {"/usr/bin/ppmtopcx"}},
      {"ppmtopcx 16 colours, packed", sixteen, {"/usr/bin/ppmtopcx", "-packed"}},
      {"ppmtopcx 2 colours", mono, {"/usr/bin/ppmtopcx"}},
      {"convert true colour", colour, {testsupport::kConvert, "ppm:-", "pcx:-"}},
      {"convert palette", palette, {testsupport::kConvert, "ppm:-", "-type", "Palette", "pcx:-"}},
  };
  for (const Case& c : cases) {
    const Bytes file = Tool(c.argv, Ppm(c.picture));
    EXPECT_EQ(Difference(c.picture, Pixels(*Load(TPCXGraphic::StaticClass(), file))), "") << c.name;
  }
  if (!HavePillow()) return;
  const char* script = R"PY(
import sys
from PIL import Image
import io
im = Image.open(sys.stdin.buffer)
out = io.BytesIO()
im.convert(sys.argv[1]).save(out, 'PCX')
sys.stdout.buffer.write(out.getvalue())
)PY";
  for (const char* mode : {"RGB", "L", "1"}) {
    const RgbImage& picture = std::string(mode) == "RGB" ? colour : mono;
    const Bytes file = Python(script, {mode}, Ppm(picture));
    EXPECT_EQ(Difference(picture, Pixels(*Load(TPCXGraphic::StaticClass(), file))), "") << "Pillow " << mode;
  }
}

int IndexAt(const TBitmap& b, int x, int y) {
  const std::uint8_t* row = b.ScanLine(y);
  switch (b.PixelFormat()) {
    case pf1bit: return (row[x / 8] >> (7 - x % 8)) & 1;
    case pf4bit: return (x % 2) ? (row[x / 2] & 15) : (row[x / 2] >> 4);
    default: return row[x];
  }
}

// Every mode of the program's PCX writer reads back to the pixels the
// writer stored: indices, and colours at 6 bits.
TEST(PCXReader, ReadsBackTheProgramsFiles) {
  testsupport::TempDir dir;
  struct Case {
    int mode;
    TPixelFormat source;
    TPixelFormat loaded;
  } cases[] = {
      {pcxMono, pf1bit, pf1bit},        {pcxMono, pf8bit, pf1bit},       {pcxSixteen, pf4bit, pf4bit},
      {pcxSixteen, pf1bit, pf4bit},     {pcxPaletted, pf8bit, pf8bit},   {pcxPaletted, pf4bit, pf8bit},
      {pcxTrueColour, pf24bit, pf24bit}, {pcxTrueColour, pf8bit, pf24bit},
  };
  for (const Case& c : cases) {
    for (int width : {1, 8, 77}) {
      const TBitmap source = oracles::Pattern(width, 9, c.source);
      SavePCX(dir.File("w.pcx"), source, c.mode);
      auto back = Load(TPCXGraphic::StaticClass(), testsupport::ReadBytes(dir.File("w.pcx")));
      ASSERT_EQ(back->PixelFormat(), c.loaded) << c.mode;
      if (c.mode == pcxTrueColour) {
        RgbImage expected = Pixels(source);
        if (c.source == pf8bit) {
          for (auto& v : expected.Rgb) v = ScalePaletteValue(static_cast<std::uint8_t>(v >> 2));
        }
        EXPECT_EQ(Difference(expected, Pixels(*back)), "") << "mode 4 from " << c.source << " width " << width;
        continue;
      }
      for (int y = 0; y < 9; ++y) {
        for (int x = 0; x < width; ++x) {
          const int i = IndexAt(source, x, y);
          ASSERT_EQ(IndexAt(*back, x, y), c.mode == pcxMono ? (i & 1) : i) << "mode " << c.mode << " at " << x << "," << y;
        }
      }
      if (c.mode != pcxMono) {
        const auto& pal = source.Palette();
        const auto& got = back->Palette();
        for (std::size_t k = 0; k < pal.size() && k < 16; ++k) {
          EXPECT_EQ(got[k].Red, (pal[k].Red >> 2) * 255 / 63) << "mode " << c.mode << " entry " << k;
        }
      }
    }
  }
}

}  // namespace
