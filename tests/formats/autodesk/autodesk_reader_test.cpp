#include "formats/autodesk/autodesk_graphic.h"

#include <gtest/gtest.h>

#include "core/streams.h"
#include "formats/common/reader_test_util.h"

using namespace readertest;

namespace {

// An Animator cel written from the format's layout by Python: 32-byte
// header, 256 palette entries of 6-bit values, the rows top first.
const char* kWriter = R"PY(
import sys, struct
w, h, bits, signature, palette_value = (int(a, 0) for a in sys.argv[1:6])
hdr = struct.pack('<HHHHHH', signature, w, h, 0, 0, bits).ljust(32, b'\0')
pal = b''
for i in range(256):
    pal += bytes([palette_value if i == 1 else i % 64, (i * 3) % 64, 63 - i % 64])
pixels = bytes((x * 7 + y * 3) % 256 for y in range(h) for x in range(w))
sys.stdout.buffer.write(hdr + pal + pixels + sys.stdin.buffer.read())
)PY";

Bytes Cel(int w, int h, int bits = 8, int signature = 0x9119, int value = 5, const std::string& extra = "") {
  return Python(kWriter, {std::to_string(w), std::to_string(h), std::to_string(bits), std::to_string(signature),
                          std::to_string(value)},
                extra);
}

TEST(AutodeskReader, PaletteAndRows) {
  if (!testsupport::HaveTool("/usr/bin/python3")) GTEST_SKIP() << testsupport::SkipReason("/usr/bin/python3");
  const auto b = Load(TAutodeskGraphic::StaticClass(), Cel(13, 4));
  ASSERT_EQ(b->PixelFormat(), pf8bit);
  ASSERT_EQ(b->Width(), 13);
  ASSERT_EQ(b->Height(), 4);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 13; ++x) {
      const int i = (x * 7 + y * 3) % 256;
      EXPECT_EQ(b->ScanLine(y)[x], i);
      const TColor expected = RGB(i == 1 ? 20 : (i % 64) * 4, (i * 3) % 64 * 4, (63 - i % 64) * 4);
      EXPECT_EQ(b->GetPixelColor(x, y), expected) << x << "," << y;
    }
  }
}

Bytes Cut(Bytes b, std::size_t size) {
  b.resize(size);
  return b;
}

TEST(AutodeskReader, MalformedFiles) {
  if (!testsupport::HaveTool("/usr/bin/python3")) GTEST_SKIP() << testsupport::SkipReason("/usr/bin/python3");
  const std::string invalid = "Cannot load image. Invalid or unexpected Autodesk image format.";
  struct Case {
    const char* name;
    Bytes file;
    std::string error;
  } cases[] = {
      {"palette value above 63", Cel(2, 2, 8, 0x9119, 64), "An Autodesk palette value lies above 63"},
      {"not 8 bits", Cel(2, 2, 4), invalid},
      {"bad signature", Cel(2, 2, 8, 0x9118), invalid},
      {"empty picture", Cel(0, 2), invalid},
      {"short rows", Cut(Cel(5, 5), 800 + 24), invalid},
      {"short palette", Cut(Cel(1, 1), 100), invalid},
  };
  for (const Case& c : cases) EXPECT_EQ(LoadError(TAutodeskGraphic::StaticClass(), c.file), c.error) << c.name;
}

TEST(AutodeskReader, Probe) {
  if (!testsupport::HaveTool("/usr/bin/python3")) GTEST_SKIP() << testsupport::SkipReason("/usr/bin/python3");
  TAutodeskGraphic g;
  struct Case {
    Bytes file;
    bool probe;
  } cases[] = {
      {Cel(1, 1), true},
      {Cut(Cel(1, 1), 32), false},  // 32 bytes
      {Cel(1, 1, 16), false},
      {Cel(1, 1, 8, 0x1991), false},
  };
  for (const Case& c : cases) {
    TMemoryStream s(c.file);
    EXPECT_EQ(g.CanLoadStream(s), c.probe);
    EXPECT_EQ(s.Position(), 0);
  }
}

}  // namespace
