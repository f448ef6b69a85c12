#include "formats/rla/rla_graphic.h"

#include <gtest/gtest.h>

#include "core/streams.h"
#include "formats/common/decode_table.h"
#include "formats/common/reader_test_util.h"

using namespace readertest;

namespace {

TEST(RLADecoder, CraftedPackets) {
  TRLADecoder rla;
  const TDecodeCase cases[] = {
      {"repeat", &rla, {0x02, 9}, 3, {9, 9, 9}},
      {"copy", &rla, {0xFD, 1, 2, 3}, 3, {1, 2, 3}},
      {"repeat cut at the end", &rla, {0x7F, 4}, 2, {4, 4}},
      {"copy cut by the packed size", &rla, {0x80, 1, 2}, 5, {1, 2}},
      {"count without its value", &rla, {0x01}, 2, {}},
  };
  ExpectDecodeTable(cases);
}

// An RLA file written from the layout by Python: rows in file order, each
// channel one copy packet per 128 bytes.
const char* kWriter = R"PY(
import sys, struct
w, h, colour, matte, bits, bottom_up, gamma, space = sys.argv[1:9]
w, h, colour, matte, bits, bottom_up = int(w), int(h), int(colour), int(matte), int(bits), int(bottom_up)
hdr = bytearray(740)
bottom, top = (0, h - 1) if bottom_up else (h - 1, 0)
struct.pack_into('>hhhh', hdr, 0, 0, w - 1, bottom, top)
struct.pack_into('>hhhh', hdr, 8, 0, w - 1, bottom, top)
struct.pack_into('>hhhh', hdr, 20, colour, matte, 0, -2)
hdr[28:28 + len(gamma)] = gamma.encode()
hdr[580:580 + len(space)] = space.encode()
struct.pack_into('>h', hdr, 658, bits)
rows = []
for i in range(h):
    row = b''
    for c in range(colour + matte):
        data = bytes((x * 10 + i * 3 + c * 60) % 256 for x in range(w))
        packed = b''
        for k in range(0, w, 128):
            part = data[k:k + 128]
            packed += struct.pack('b', -len(part)) + part
        row += struct.pack('>H', len(packed)) + packed
    rows.append(row)
offset = 740 + 4 * h
table = b''
for r in rows:
    table += struct.pack('>I', offset); offset += len(r)
sys.stdout.buffer.write(bytes(hdr) + table + b''.join(rows))
)PY";

Bytes Rla(int w, int h, int colour = 3, int matte = 0, int bits = 8, bool bottomUp = true, const std::string& gamma = "1.0",
          const std::string& space = "rgb") {
  return Python(kWriter, {std::to_string(w), std::to_string(h), std::to_string(colour), std::to_string(matte),
                          std::to_string(bits), bottomUp ? "1" : "0", gamma, space});
}

std::uint8_t Sample(int x, int i, int c) { return static_cast<std::uint8_t>((x * 10 + i * 3 + c * 60) % 256); }

TEST(RLAReader, ChannelsAndRowOrder) {
  if (!testsupport::HaveTool("/usr/bin/python3")) GTEST_SKIP() << testsupport::SkipReason("/usr/bin/python3");
  struct Case {
    const char* name;
    int matte;
    bool bottomUp;
    const char* space;
    TPixelFormat format;
  } cases[] = {
      {"RGB bottom-up", 0, true, "rgb", pf24bit},
      {"RGB top-down", 0, false, "RGB", pf24bit},
      {"with a matte", 1, true, "rgb", pf32bit},
      {"with two mattes, read without", 2, true, "rgb", pf24bit},
  };
  for (const Case& c : cases) {
    const auto b = Load(TRLAGraphic::StaticClass(), Rla(200, 3, 3, c.matte, 8, c.bottomUp, "1.0", c.space));
    ASSERT_EQ(b->PixelFormat(), c.format) << c.name;
    for (int i = 0; i < 3; ++i) {
      const int y = c.bottomUp ? 2 - i : i;
      for (int x = 0; x < 200; ++x) {
        ASSERT_EQ(b->GetPixelColor(x, y), RGB(Sample(x, i, 0), Sample(x, i, 1), Sample(x, i, 2))) << c.name;
      }
    }
  }
  // A gamma other than 1.0 goes through the colour manager's table.
  TRLAGraphic g;
  TMemoryStream s(Rla(4, 2, 3, 0, 8, true, "2.2"));
  g.LoadFromStream(s);
  EXPECT_FLOAT_EQ(g.ImageProperties().FileGamma, 2.2f);
  EXPECT_TRUE(g.ImageProperties().Has(ioUseGamma));
  const auto& table = g.ColorManager().GammaTable();
  EXPECT_EQ(g.GetPixelColor(1, 1), RGB(table[Sample(1, 0, 0)], table[Sample(1, 0, 1)], table[Sample(1, 0, 2)]));
}

TEST(RLAReader, MalformedFiles) {
  if (!testsupport::HaveTool("/usr/bin/python3")) GTEST_SKIP() << testsupport::SkipReason("/usr/bin/python3");
  const std::string invalid = "Cannot load image. Invalid or unexpected RLA image format.";
  Bytes shortRow = Rla(50, 2);
  shortRow.resize(shortRow.size() - 10);
  Bytes badOffset = Rla(5, 2);
  badOffset[740] = 0x7F;
  struct Case {
    const char* name;
    Bytes file;
  } cases[] = {
      {"xyz colour space", Rla(2, 2, 3, 0, 8, true, "1.0", "xyz")},
      {"one colour channel", Rla(2, 2, 1)},
      {"16-bit channels", Rla(2, 2, 3, 0, 16)},
      {"other colour space", Rla(2, 2, 3, 0, 8, true, "1.0", "cmy")},
      {"short row", shortRow},
      {"row offset beyond the file", badOffset},
      {"short header", Bytes(100, 0)},
  };
  for (const Case& c : cases) EXPECT_EQ(LoadError(TRLAGraphic::StaticClass(), c.file), invalid) << c.name;
  TRLAGraphic g;
  for (const auto& [space, probe] : std::vector<std::pair<std::string, bool>>{{"rgb", true}, {"XYZ", true}, {"cmy", false}}) {
    TMemoryStream s(Rla(2, 2, 3, 0, 8, true, "1.0", space));
    EXPECT_EQ(g.CanLoadStream(s), probe) << space;
    EXPECT_EQ(s.Position(), 0);
  }
}

}  // namespace
