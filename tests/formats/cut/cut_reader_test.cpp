#include "formats/cut/cut_graphic.h"

#include <gtest/gtest.h>

#include "core/exceptions.h"
#include "core/streams.h"
#include "formats/common/decode_table.h"
#include "formats/common/reader_test_util.h"
#include "formats/cut/cut_file.h"

using namespace readertest;

namespace {

TEST(CUTRLE, CraftedRows) {
  TCUTRLEDecoder cut;
  const TDecodeCase cases[] = {
      {"run and literal", &cut, {9, 0, 0x83, 7, 0x02, 1, 2, 0}, 5, {7, 7, 7, 1, 2}, 8},
      // The rest of the row is passed over up to its zero byte.
      {"row longer than the bitmap", &cut, {9, 0, 0x85, 7, 0x03, 1, 2, 3, 0, 0x81}, 2, {7, 7}, 9},
      {"zero byte ends the row", &cut, {9, 0, 0x82, 4, 0, 0x82, 5}, 4, {4, 4}, 5},
      {"source ends", &cut, {9, 0, 0x05, 1}, 5, {1}, 4},
      {"only the length", &cut, {9}, 5, {}, 1},
  };
  ExpectDecodeTable(cases);
}

// A CUT file and its palette file written from the layouts by Python.
const char* kWriter = R"PY(
import sys, struct
what = sys.argv[1]
if what == 'cut':
    w, h = int(sys.argv[2]), int(sys.argv[3])
    out = struct.pack('<HHH', w, h, 0)
    for y in range(h):
        row = bytes((x // 3 * 40 + y) % 256 for x in range(w))
        packed = b''
        x = 0
        while x < w:
            n = 1
            while x + n < w and row[x + n] == row[x] and n < 127: n += 1
            if n > 1:
                packed += bytes([0x80 | n, row[x]])
            else:
                packed += bytes([1, row[x]])
            x += n
        packed += b'\0'
        out += struct.pack('<H', len(packed)) + packed
    sys.stdout.buffer.write(out)
else:
    count, big = int(sys.argv[2]), int(sys.argv[3])
    blocks = [bytearray(512) for _ in range(8)]
    struct.pack_into('<H', blocks[0], 12, count - 1)
    b, o = 0, 40
    for i in range(count):
        if o > 506: b, o = b + 1, 0
        struct.pack_into('<HHH', blocks[b], o, i & 255, (255 - i) & 255 if not big else 300, 7)
        o += 6
    sys.stdout.buffer.write(b''.join(blocks[:b + 1]))
)PY";

Bytes Cut(int w, int h) { return Python(kWriter, {"cut", std::to_string(w), std::to_string(h)}); }
Bytes Pal(int count, bool big = false) { return Python(kWriter, {"pal", std::to_string(count), big ? "1" : "0"}); }

int Index(int x, int y) { return (x / 3 * 40 + y) % 256; }

TEST(CUTReader, WithoutItsPaletteAGreyRamp) {
  if (!testsupport::HaveTool("/usr/bin/python3")) GTEST_SKIP() << testsupport::SkipReason("/usr/bin/python3");
  const auto b = Load(TCUTGraphic::StaticClass(), Cut(20, 4));
  ASSERT_EQ(b->PixelFormat(), pf8bit);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 20; ++x) {
      const int i = Index(x, y);
      EXPECT_EQ(b->GetPixelColor(x, y), RGB(i, i, i));
    }
  }
  TCUTGraphic probe;
  TMemoryStream s(Cut(2, 2));
  EXPECT_FALSE(probe.CanLoadStream(s));
}

TEST(CUTReader, PaletteFileWhateverItsCase) {
  if (!testsupport::HaveTool("/usr/bin/python3")) GTEST_SKIP() << testsupport::SkipReason("/usr/bin/python3");
  testsupport::TempDir dir;
  struct Case {
    const char* cut;
    const char* pal;  // "" for none
    int count;        // palette entries; entries 78 on lie in the next block
  } cases[] = {
      {"a.cut", "a.pal", 256}, {"B.CUT", "b.PAL", 200}, {"c.Cut", "C.Pal", 100}, {"d.cut", "", 0}, {"e.cut", "e.pal.x", 0},
  };
  for (const Case& c : cases) {
    testsupport::WriteBytes(dir.File(c.cut), Cut(30, 3));
    if (*c.pal) testsupport::WriteBytes(dir.File(c.pal), Pal(c.count == 0 ? 256 : c.count));
    TCUTGraphic b;
    b.LoadFromFile(dir.File(c.cut));
    for (int x = 0; x < 30; ++x) {
      const int i = Index(x, 1);
      const TColor expected = c.count == 0 ? RGB(i, i, i) : i < c.count ? RGB(i, 255 - i, 7) : RGB(0, 0, 0);
      ASSERT_EQ(b.GetPixelColor(x, 1), expected) << c.cut << " pixel " << x;
    }
  }
}

Bytes First(Bytes b, std::size_t n) {
  b.resize(n);
  return b;
}

TEST(CUTReader, MalformedFiles) {
  if (!testsupport::HaveTool("/usr/bin/python3")) GTEST_SKIP() << testsupport::SkipReason("/usr/bin/python3");
  const std::string invalid = "Cannot load image. Invalid or unexpected CUT image format.";
  Bytes shortRows = Cut(10, 3);
  shortRows.resize(shortRows.size() - 4);
  struct Case {
    const char* name;
    Bytes file;
    std::string error;
  } cases[] = {
      {"short rows", shortRows, invalid},
      {"empty picture", Bytes{0, 0, 5, 0, 0, 0}, invalid},
      {"no header", Bytes{1, 0, 1}, invalid},
      {"a huge picture of a few bytes", Bytes{0xFF, 0xFF, 0xFF, 0x0F, 0, 0, 2, 0, 0x81, 1, 0}, invalid},
  };
  for (const Case& c : cases) EXPECT_EQ(LoadError(TCUTGraphic::StaticClass(), c.file), c.error) << c.name;
  struct PaletteCase {
    const char* name;
    Bytes file;
    std::string error;
  } palettes[] = {
      {"more than 256 entries", Pal(300), "A Dr. Halo palette has more than 256 entries"},
      {"a value above 255", Pal(3, true), "A Dr. Halo palette value lies above 255"},
      {"entries beyond the file", First(Pal(100), 512), invalid},
  };
  for (const PaletteCase& c : palettes) {
    try {
      ReadCUTPalette(c.file);
      ADD_FAILURE() << c.name;
    } catch (const Exception& e) {
      EXPECT_EQ(std::string(e.what()), c.error) << c.name;
    }
  }
}

}  // namespace
