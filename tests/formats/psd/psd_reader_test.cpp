#include "formats/psd/psd_graphic.h"

#include <gtest/gtest.h>

#include "core/streams.h"
#include "formats/common/decoder.h"
#include "formats/common/decode_table.h"
#include "formats/common/reader_test_util.h"

using namespace readertest;
using testsupport::HaveTool;

namespace {

TEST(PackBits, CraftedPackets) {
  TPackbitsRLEDecoder packbits;
  const TDecodeCase cases[] = {
      {"literal", &packbits, {0x02, 1, 2, 3}, 3, {1, 2, 3}},
      {"repeat", &packbits, {0xFE, 7}, 3, {7, 7, 7}},
      {"-128 is no packet", &packbits, {0x80, 0x00, 5}, 1, {5}},
      {"repeat cut at the end", &packbits, {0x81, 4}, 5, {4, 4, 4, 4, 4}},
      {"literal cut by the packed size", &packbits, {0x05, 1, 2}, 6, {1, 2}},
  };
  ExpectDecodeTable(cases);
}

// A Photoshop file written from the format's layout: planar channel data
// on standard input, raw or PackBits (literal packets), empty resource and
// layer sections.
const char* kWriter = R"PY(
import sys, struct
mode, channels, depth, comp, w, h, modelen = (int(a) for a in sys.argv[1:8])
data = sys.stdin.buffer.read()
row = (w * depth + 7) // 8
out = b'8BPS' + struct.pack('>H6xHIIHH', 1, channels, h, w, depth, mode)
out += struct.pack('>I', modelen) + bytes(i % 256 for i in range(modelen))
out += struct.pack('>I', 0) + struct.pack('>I', 0) + struct.pack('>H', comp)
rows = [data[i * row:(i + 1) * row] for i in range(channels * h)]
if comp == 1:
    packed = []
    for r in rows:
        p = b''
        for k in range(0, len(r), 128):
            part = r[k:k + 128]
            p += bytes([len(part) - 1]) + part
        packed.append(p)
    out += b''.join(struct.pack('>H', len(p)) for p in packed) + b''.join(packed)
else:
    out += b''.join(rows)
sys.stdout.buffer.write(out)
)PY";

Bytes Psd(int mode, int channels, int depth, int compression, int w, int h, const Bytes& planar, int modeData = 0) {
  return Python(kWriter, {std::to_string(mode), std::to_string(channels), std::to_string(depth),
                          std::to_string(compression), std::to_string(w), std::to_string(h), std::to_string(modeData)},
                std::string(planar.begin(), planar.end()));
}

TEST(PSDReader, ColourModes) {
  if (!HaveTool("/usr/bin/python3")) GTEST_SKIP() << testsupport::SkipReason("/usr/bin/python3");
  struct Case {
    const char* name;
    int mode, channels, depth, modeData;
    Bytes planar;  // 2 x 1 pixels
    TPixelFormat format;
    RgbImage expected;
  } cases[] = {
      {"RGB", 3, 3, 8, 0, {1, 2, 3, 4, 5, 6}, pf24bit, RgbImage{2, 1, {1, 3, 5, 2, 4, 6}}},
      {"RGB with alpha", 3, 4, 8, 0, {1, 2, 3, 4, 5, 6, 9, 9}, pf32bit, RgbImage{2, 1, {1, 3, 5, 2, 4, 6}}},
      {"RGB with two extra channels", 3, 5, 8, 0, {1, 2, 3, 4, 5, 6, 9, 9, 8, 8}, pf32bit, RgbImage{2, 1, {1, 3, 5, 2, 4, 6}}},
      {"RGB of 16 bits", 3, 3, 16, 0, {1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6}, pf24bit, RgbImage{2, 1, {1, 3, 5, 2, 4, 6}}},
      {"grey", 1, 1, 8, 0, {0, 200}, pf8bit, RgbImage{2, 1, {0, 0, 0, 200, 200, 200}}},
      {"grey with alpha", 1, 2, 8, 0, {0, 200, 1, 1}, pf8bit, RgbImage{2, 1, {0, 0, 0, 200, 200, 200}}},
      {"grey of 16 bits", 1, 1, 16, 0, {0x12, 0x12, 0xF0, 0xF0}, pf8bit, RgbImage{2, 1, {0x12, 0x12, 0x12, 0xF0, 0xF0, 0xF0}}},
      {"duotone as grey", 8, 1, 8, 4, {7, 8}, pf8bit, RgbImage{2, 1, {7, 7, 7, 8, 8, 8}}},
      // 1 is black.
      {"bitmap", 0, 1, 1, 0, {0b01000000}, pf1bit, RgbImage{2, 1, {255, 255, 255, 0, 0, 0}}},
      // Colour i of the mode data is (i, 256 + i, 512 + i) mod 256.
      {"indexed", 2, 1, 8, 768, {3, 10}, pf8bit, RgbImage{2, 1, {3, 3, 3, 10, 10, 10}}},
      // Stored inverted: pure red is C 0, M 255, Y 255, K 0 before the
      // inversion.
      {"CMYK", 4, 4, 8, 0, {255, 255, 0, 255, 0, 255, 255, 255}, pf24bit, RgbImage{2, 1, {255, 0, 0, 255, 255, 255}}},
      {"CMYK of 16 bits", 4, 4, 16, 0, {255, 255, 0, 0, 0, 0, 255, 255, 0, 0, 0, 0, 255, 255, 255, 255}, pf24bit,
       RgbImage{2, 1, {255, 0, 0, 0, 255, 0}}},
      {"multichannel of 3", 7, 3, 8, 0, {1, 2, 3, 4, 5, 6}, pf24bit, RgbImage{2, 1, {1, 3, 5, 2, 4, 6}}},
      {"Lab black and white", 9, 3, 8, 0, {0, 255, 128, 128, 128, 128}, pf24bit, RgbImage{2, 1, {0, 0, 0, 255, 255, 255}}},
  };
  for (const Case& c : cases) {
    for (int compression : {0, 1}) {
      SCOPED_TRACE(std::string(c.name) + " compression " + std::to_string(compression));
      ExpectPicture(TPSDGraphic::StaticClass(), Psd(c.mode, c.channels, c.depth, compression, 2, 1, c.planar, c.modeData),
                    c.format, c.expected);
    }
  }
}

TEST(PSDReader, MalformedFiles) {
  if (!HaveTool("/usr/bin/python3")) GTEST_SKIP() << testsupport::SkipReason("/usr/bin/python3");
  const std::string invalid = "Cannot load image. Invalid or unexpected PSD or PDD image format.";
  Bytes zip = Psd(3, 3, 8, 0, 1, 1, {1, 2, 3});
  zip[26 + 4 + 4 + 4 + 1] = 2;  // the compression code
  Bytes version2 = Psd(3, 3, 8, 0, 1, 1, {1, 2, 3});
  version2[5] = 2;
  Bytes shortRows = Psd(3, 3, 8, 0, 4, 4, Bytes(48, 1));
  shortRows.resize(shortRows.size() - 1);
  Bytes badLengths = Psd(1, 1, 8, 1, 4, 1, Bytes(4, 1));
  badLengths[26 + 12 + 2] = 0x40;  // a row longer than the file
  struct Case {
    const char* name;
    Bytes file;
    std::string error;
  } cases[] = {
      {"multichannel of 2", Psd(7, 2, 8, 0, 1, 1, {1, 2}), invalid},
      {"RGB of 2 channels", Psd(3, 2, 8, 0, 1, 1, {1, 2}), invalid},
      {"CMYK of 3 channels", Psd(4, 3, 8, 0, 1, 1, {1, 2, 3}), invalid},
      {"short colour table", Psd(2, 1, 8, 0, 1, 1, {1}, 767), invalid},
      {"ZIP compression", zip, invalid},
      {"version 2", version2, invalid},
      {"32 bits", Psd(1, 1, 32, 0, 1, 1, Bytes(4, 0)), invalid},
      {"bitmap of 8 bits", Psd(0, 1, 8, 0, 1, 1, {0}), invalid},
      {"unknown mode", Psd(5, 1, 8, 0, 1, 1, {0}), invalid},
      {"short raw data", shortRows, invalid},
      {"row lengths beyond the file", badLengths, invalid},
      {"empty picture", Psd(1, 1, 8, 0, 0, 1, {}), invalid},
  };
  for (const Case& c : cases) EXPECT_EQ(LoadError(TPSDGraphic::StaticClass(), c.file), c.error) << c.name;
}

TEST(PSDReader, HeaderAndProbe) {
  if (!HaveTool("/usr/bin/python3")) GTEST_SKIP() << testsupport::SkipReason("/usr/bin/python3");
  TPSDGraphic g;
  TMemoryStream s(Psd(3, 5, 16, 1, 3, 2, Bytes(5 * 2 * 6, 0)));
  EXPECT_TRUE(g.CanLoadStream(s));
  EXPECT_EQ(s.Position(), 0);
  ASSERT_TRUE(g.ReadImageHeader(s, 0));
  const TImageProperties& p = g.ImageProperties();
  EXPECT_EQ(p.Channels, 5);
  EXPECT_EQ(p.SamplesPerPixel, 4);
  EXPECT_EQ(p.ColorScheme, TColorScheme::RGBA);
  EXPECT_EQ(p.Compression, TCompressionType::PackBits);
  EXPECT_EQ(p.Options, ioBigEndian);
  EXPECT_EQ(s.Position(), 26);
}

TEST(PSDReader, FilesOfImageMagick) {
  if (!HaveTool(testsupport::kConvert)) GTEST_SKIP() << testsupport::SkipReason(testsupport::kConvert);
  const RgbImage colour = Picture(140, 17);
  const RgbImage grey = Picture(33, 8, 0, true);
  const RgbImage few = Picture(30, 9, 200);
  struct Case {
    const char* name;
    RgbImage picture;
    std::vector<std::string> options;
  } cases[] = {
      {"RGB PackBits", colour, {"-compress", "RLE"}},
      {"RGB raw", colour, {"-compress", "None"}},
      {"RGB of 16 bits", colour, {"-depth", "16"}},
      {"grey", grey, {"-colorspace", "Gray"}},
      {"palette", few, {"-type", "Palette"}},
      {"with alpha", colour, {"-alpha", "on"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> argv{testsupport::kConvert, "ppm:-"};
    argv.insert(argv.end(), c.options.begin(), c.options.end());
    argv.push_back("psd:-");
    const Bytes file = Tool(argv, Ppm(c.picture));
    EXPECT_EQ(Difference(c.picture, Pixels(*Load(TPSDGraphic::StaticClass(), file))), "") << c.name;
  }
}

}  // namespace
