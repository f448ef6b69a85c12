#include "formats/sgi/sgi_graphic.h"

#include <gtest/gtest.h>

#include "core/streams.h"
#include "formats/common/decode_table.h"
#include "formats/common/reader_test_util.h"

using namespace readertest;
using testsupport::HaveTool;
using testsupport::HavePillow;

namespace {

TEST(SGIRLE, CraftedRows) {
  TSGIRLEDecoder bytes(8), words(16);
  const TDecodeCase cases[] = {
      {"literal", &bytes, {0x83, 1, 2, 3, 0}, 3, {1, 2, 3}},
      {"run", &bytes, {0x04, 9, 0}, 4, {9, 9, 9, 9}},
      {"zero count ends the row", &bytes, {0x02, 5, 0, 0x02, 6}, 4, {5, 5}},
      {"run cut at the row's end", &bytes, {0x7F, 3}, 2, {3, 3}},
      {"literal cut by the packed size", &bytes, {0x85, 1, 2}, 5, {1, 2}},
      // A literal of 16-bit samples gives consecutive values.
      {"16-bit literal", &words, {0x00, 0x83, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0, 0}, 6, {1, 2, 3, 4, 5, 6}},
      {"16-bit run", &words, {0x00, 0x03, 0xAB, 0xCD, 0, 0}, 6, {0xAB, 0xCD, 0xAB, 0xCD, 0xAB, 0xCD}},
      {"16-bit count without its value", &words, {0x00, 0x03, 0xAB}, 6, {}},
      {"16-bit half a count", &words, {0x00}, 6, {}},
  };
  ExpectDecodeTable(cases);
}

// A small SGI writer made from the format's layout: planes of samples,
// rows bottom first, verbatim or run-length (one literal packet per row).
const char* kWriter = R"PY(
import sys, struct
w, h, planes, bpc, rle = (int(a) for a in sys.argv[1:6])
data = sys.stdin.buffer.read()
n = bpc
def sample(p, y, x):
    return data[((y * w + x) * planes + p) * n:((y * w + x) * planes + p) * n + n]
hdr = struct.pack('>HBBHHHH', 474, 1 if rle else 0, bpc, 3 if planes > 1 else 2, w, h, planes)
hdr = hdr.ljust(512, b'\0')
rows = []
for p in range(planes):
    for y in range(h - 1, -1, -1):
        raw = b''.join(sample(p, y, x) for x in range(w))
        if rle:
            packed = b''
            x = 0
            while x < w:
                k = min(126, w - x)
                packed += struct.pack('>H' if bpc == 2 else 'B', 0x80 | k) + raw[x * n:(x + k) * n]
                x += k
            packed += b'\0' * n
            rows.append(packed)
        else:
            rows.append(raw)
out = sys.stdout.buffer
if rle:
    start = 512 + 8 * h * planes
    starts, lengths = [], []
    for r in rows:
        starts.append(start); lengths.append(len(r)); start += len(r)
    out.write(hdr + struct.pack('>%dI' % len(starts), *starts) + struct.pack('>%dI' % len(lengths), *lengths) + b''.join(rows))
else:
    out.write(hdr + b''.join(rows))
)PY";

Bytes Sgi(int w, int h, int planes, int bpc, bool rle, const Bytes& samples) {
  return Python(kWriter, {std::to_string(w), std::to_string(h), std::to_string(planes), std::to_string(bpc),
                          rle ? "1" : "0"},
                std::string(samples.begin(), samples.end()));
}

TEST(SGIReader, PlanesDepthsAndStorage) {
  if (!HaveTool("/usr/bin/python3")) GTEST_SKIP() << testsupport::SkipReason("/usr/bin/python3");
  struct Case {
    const char* name;
    int planes, bpc;
    Bytes samples;  // 2 x 2 pixels, top row first, planes interleaved
    TPixelFormat format;
    RgbImage expected;
  } cases[] = {
      {"grey", 1, 1, {0, 100, 200, 255}, pf8bit, RgbImage{2, 2, {0, 0, 0, 100, 100, 100, 200, 200, 200, 255, 255, 255}}},
      {"grey of 16 bits", 1, 2, {0, 0, 0x64, 0x64, 0xC8, 0xC8, 0xFF, 0xFF}, pf8bit,
       RgbImage{2, 2, {0, 0, 0, 100, 100, 100, 200, 200, 200, 255, 255, 255}}},
      {"grey and alpha read as grey", 2, 1, {10, 1, 20, 2, 30, 3, 40, 4}, pf8bit,
       RgbImage{2, 2, {10, 10, 10, 20, 20, 20, 30, 30, 30, 40, 40, 40}}},
      {"RGB", 3, 1, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, pf24bit, RgbImage{2, 2, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}}},
      {"RGB with alpha", 4, 1, {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 0}, pf32bit,
       RgbImage{2, 2, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}}},
      {"RGB of 16 bits", 3, 2, {1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12}, pf24bit,
       RgbImage{2, 2, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}}},
  };
  for (const Case& c : cases) {
    for (bool rle : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (rle ? " run-length" : " verbatim"));
      ExpectPicture(TSGIGraphic::StaticClass(), Sgi(2, 2, c.planes, c.bpc, rle, c.samples), c.format, c.expected);
    }
  }
}

Bytes BigEndian32(std::initializer_list<std::uint32_t> values) {
  Bytes b;
  for (std::uint32_t v : values) b.insert(b.end(), {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)});
  return b;
}

Bytes Header(int storage, int bpc, int dimension, int w, int h, int planes) {
  Bytes b(512, 0);
  const std::uint8_t start[] = {0x01, 0xDA, static_cast<std::uint8_t>(storage), static_cast<std::uint8_t>(bpc), 0,
                                static_cast<std::uint8_t>(dimension)};
  std::copy(std::begin(start), std::end(start), b.begin());
  std::size_t at = 6;
  for (int v : {w, h, planes}) {
    b[at++] = static_cast<std::uint8_t>(v >> 8);
    b[at++] = static_cast<std::uint8_t>(v);
  }
  return b;
}

Bytes Join(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(SGIReader, MalformedFiles) {
  const std::string invalid = "Cannot load image. Invalid or unexpected sgi, bw or rgb(a) image format.";
  struct Case {
    const char* name;
    Bytes file;
    std::string error;
  } cases[] = {
      {"five planes", Join(Header(0, 1, 3, 1, 1, 5), Bytes(5, 0)), invalid},
      {"no planes", Join(Header(0, 1, 3, 1, 1, 0), Bytes(5, 0)), invalid},
      {"three bytes per sample", Join(Header(0, 3, 2, 1, 1, 1), Bytes(5, 0)), invalid},
      {"bad signature", Join(Bytes{0x01, 0xDB}, Bytes(600, 0)), invalid},
      {"empty picture", Join(Header(0, 1, 2, 0, 1, 1), Bytes(5, 0)), invalid},
      {"short verbatim rows", Join(Header(0, 1, 2, 4, 2, 1), Bytes(7, 0)), invalid},
      {"short row table", Join(Header(1, 1, 2, 4, 2, 1), BigEndian32({520, 520})), invalid},
      {"row beyond the file", Join(Header(1, 1, 2, 1, 1, 1), BigEndian32({600, 3})), invalid},
      {"row ends early", Join(Header(1, 1, 2, 4, 1, 1), Join(BigEndian32({520, 3}), {0x02, 7, 0})), invalid},
      {"rows sharing their data", Join(Header(1, 1, 2, 2, 2, 1), Join(BigEndian32({528, 528, 3, 3}), {0x02, 7, 0})), ""},
  };
  for (const Case& c : cases) EXPECT_EQ(LoadError(TSGIGraphic::StaticClass(), c.file), c.error) << c.name;
}

TEST(SGIReader, ProbeAndHeader) {
  TSGIGraphic g;
  TMemoryStream one(Join(Header(1, 2, 1, 9, 7, 4), {0}));
  EXPECT_TRUE(g.CanLoadStream(one));
  EXPECT_EQ(one.Position(), 0);
  ASSERT_TRUE(g.ReadImageHeader(one, 0));
  // One dimension: one row of one plane.
  EXPECT_EQ(g.ImageProperties().Height, 1u);
  EXPECT_EQ(g.ImageProperties().SamplesPerPixel, 1);
  EXPECT_EQ(g.ImageProperties().BitsPerSample, 16);
  EXPECT_EQ(g.ImageProperties().Options, ioBigEndian);
  EXPECT_EQ(g.ImageProperties().Compression, TCompressionType::RLE);
  TMemoryStream exact(Header(0, 1, 3, 1, 1, 3));
  EXPECT_FALSE(g.CanLoadStream(exact));  // 512 bytes only
  TMemoryStream rgba(Join(Header(0, 1, 3, 1, 1, 4), {0}));
  ASSERT_TRUE(g.ReadImageHeader(rgba, 0));
  EXPECT_EQ(g.ImageProperties().ColorScheme, TColorScheme::RGBA);
}

TEST(SGIReader, FilesOfOtherTools) {
  if (!HaveTool("/usr/bin/pnmtosgi") || !HaveTool(testsupport::kConvert)) GTEST_SKIP() << "netpbm or ImageMagick missing";
  const RgbImage colour = Picture(150, 19);
  const RgbImage grey = Picture(41, 12, 0, true);
  struct Case {
    const char* name;
    RgbImage picture;
    std::vector<std::string> argv;
  } cases[] = {
      {"pnmtosgi -rle", colour, {"/usr/bin/pnmtosgi", "-rle"}},
      {"pnmtosgi -verbatim", colour, {"/usr/bin/pnmtosgi", "-verbatim"}},
      {"pnmtosgi grey", grey, {"/bin/sh", "-c", "/usr/bin/ppmtopgm | /usr/bin/pnmtosgi -rle"}},
      {"convert RLE", colour, {testsupport::kConvert, "ppm:-", "-compress", "RLE", "sgi:-"}},
      {"convert 16 bits", colour, {testsupport::kConvert, "ppm:-", "-depth", "16", "-compress", "RLE", "sgi:-"}},
      {"convert grey 16 bits", grey,
       {testsupport::kConvert, "ppm:-", "-colorspace", "Gray", "-depth", "16", "-compress", "None", "sgi:-"}},
      {"convert with alpha", colour, {testsupport::kConvert, "ppm:-", "-alpha", "on", "sgi:-"}},
  };
  for (const Case& c : cases) {
    const Bytes file = Tool(c.argv, Ppm(c.picture));
    EXPECT_EQ(Difference(c.picture, Pixels(*Load(TSGIGraphic::StaticClass(), file))), "") << c.name;
  }
  if (!HavePillow()) return;
  const char* script = R"PY(
import sys, io
from PIL import Image
im = Image.open(sys.stdin.buffer).convert(sys.argv[1])
out = io.BytesIO()
im.save(out, 'SGI')
sys.stdout.buffer.write(out.getvalue())
)PY";
  for (const char* mode : {"RGB", "RGBA", "L"}) {
    const RgbImage& picture = std::string(mode) == "L" ? grey : colour;
    EXPECT_EQ(Difference(picture, Pixels(*Load(TSGIGraphic::StaticClass(), Python(script, {mode}, Ppm(picture))))), "")
        << "Pillow " << mode;
  }
}

}  // namespace
