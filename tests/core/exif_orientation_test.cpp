// The Exif orientation of JPEG files: read from the block in either byte
// order (a damaged block means none), and applied to the decoded pixels
// as ImageMagick's -auto-orient applies it.

#include "core/exif.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/jpeg.h"
#include "support/test_support.h"

using testsupport::HavePillow;
using testsupport::HaveTool;
using testsupport::Put16;
using testsupport::Put32;

namespace {

using Bytes = std::vector<std::uint8_t>;

const std::string kExiftool = "/usr/bin/exiftool";

void Put16BE(Bytes& b, std::uint32_t v) {
  b.push_back(static_cast<std::uint8_t>(v >> 8));
  b.push_back(static_cast<std::uint8_t>(v));
}
void Put32BE(Bytes& b, std::uint32_t v) {
  Put16BE(b, v >> 16);
  Put16BE(b, v & 0xFFFF);
}

// The TIFF structure of an Exif block: one directory of the entries (tag,
// type, count, value in the entry's first bytes).
struct TEntry {
  std::uint16_t Tag, Type;
  std::uint32_t Count, Value;
};
Bytes Tiff(bool big, const std::vector<TEntry>& entries, std::uint32_t firstDirectory = 8,
           std::uint16_t claimedEntries = 0) {
  auto p16 = [&](Bytes& b, std::uint32_t v) { big ? Put16BE(b, v) : Put16(b, v); };
  auto p32 = [&](Bytes& b, std::uint32_t v) { big ? Put32BE(b, v) : Put32(b, v); };
  Bytes t{static_cast<std::uint8_t>(big ? 'M' : 'I'), static_cast<std::uint8_t>(big ? 'M' : 'I')};
  p16(t, 42);
  p32(t, firstDirectory);
  p16(t, claimedEntries ? claimedEntries : static_cast<std::uint32_t>(entries.size()));
  for (const TEntry& e : entries) {
    p16(t, e.Tag);
    p16(t, e.Type);
    p32(t, e.Count);
    if (e.Type == 3) {
      p16(t, e.Value);
      p16(t, 0);
    } else {
      p32(t, e.Value);
    }
  }
  p32(t, 0);
  return t;
}

// A JPEG's head: the start, the segments given (marker and data), a scan
// header.
Bytes Head(const std::vector<std::pair<std::uint8_t, Bytes>>& segments, const Bytes& afterScan = {}) {
  Bytes j{0xFF, 0xD8};
  for (const auto& [marker, data] : segments) {
    j.insert(j.end(), {0xFF, marker});
    Put16BE(j, static_cast<std::uint32_t>(data.size() + 2));
    j.insert(j.end(), data.begin(), data.end());
  }
  j.insert(j.end(), {0xFF, 0xDA, 0x00, 0x02});
  j.insert(j.end(), afterScan.begin(), afterScan.end());
  return j;
}

Bytes Exif(const Bytes& tiff) {
  Bytes e(6 + tiff.size(), 0);
  std::memcpy(e.data(), "Exif", 4);
  std::copy(tiff.begin(), tiff.end(), e.begin() + 6);
  return e;
}

}  // namespace

TEST(ExifOrientation, ReadFromTheBlockOrNone) {
  const TEntry six{274, 3, 1, 6};
  const Bytes jfif{'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
  Bytes cutBlock = Exif(Tiff(false, {six}));
  cutBlock.resize(cutBlock.size() - 10);
  Bytes longSegment = Head({{0xE1, Exif(Tiff(true, {six}))}});
  longSegment[5] = 0xFF;  // its length beyond the file
  Bytes filled = Head({{0xE1, Exif(Tiff(false, {six}))}});
  filled.insert(filled.begin() + 2, {0xFF, 0xFF});  // fill bytes before the marker
  const struct {
    const char* Name;
    Bytes Jpeg;
    int Orientation;
  } cases[] = {
      {"little-endian", Head({{0xE0, jfif}, {0xE1, Exif(Tiff(false, {{256, 4, 1, 640}, six}))}}), 6},
      {"big-endian", Head({{0xE1, Exif(Tiff(true, {{274, 3, 1, 3}, {282, 5, 1, 8}}))}}), 3},
      {"every value", Head({{0xE1, Exif(Tiff(true, {{274, 3, 1, 8}}))}}), 8},
      {"directory further on", Head({{0xE1, Exif([&] {
                                         Bytes t = Tiff(false, {six}, 12);
                                         t.insert(t.begin() + 8, 4, 0);
                                         return t;
                                       }())}}),
       6},
      {"fill bytes before a marker", filled, 6},
      {"the first Exif block counts", Head({{0xE1, Exif(Tiff(false, {{274, 3, 1, 2}}))}, {0xE1, Exif(Tiff(false, {six}))}}), 2},
      {"no Exif block", Head({{0xE0, jfif}}), 1},
      {"no orientation", Head({{0xE1, Exif(Tiff(false, {{256, 4, 1, 640}}))}}), 1},
      {"value 9", Head({{0xE1, Exif(Tiff(false, {{274, 3, 1, 9}}))}}), 1},
      {"value 0", Head({{0xE1, Exif(Tiff(true, {{274, 3, 1, 0}}))}}), 1},
      {"not a short", Head({{0xE1, Exif(Tiff(false, {{274, 4, 1, 6}}))}}), 1},
      {"directory beyond the block", Head({{0xE1, Exif(Tiff(false, {six}, 4000))}}), 1},
      {"more entries claimed than held", Head({{0xE1, Exif(Tiff(false, {{256, 4, 1, 1}}, 8, 60000))}}), 1},
      {"block cut short", Head({{0xE1, cutBlock}}), 1},
      {"segment beyond the file", longSegment, 1},
      {"not Exif", Head({{0xE1, Bytes{'h', 't', 't', 'p', 0, 0, 'I', 'I', 42, 0}}}), 1},
      {"Exif in another segment", Head({{0xE2, Exif(Tiff(false, {six}))}}), 1},
      {"after the scan starts", Head({}, [&] {
         Bytes after{0xFF, 0xE1, 0x00, 0x00};
         Bytes e = Exif(Tiff(false, {six}));
         after[3] = static_cast<std::uint8_t>(e.size() + 2);
         after.insert(after.end(), e.begin(), e.end());
         return after;
       }()),
       1},
      {"no JPEG", Bytes{'B', 'M', 0xFF, 0xE1}, 1},
      {"nothing", Bytes{}, 1},
  };
  for (const auto& c : cases) EXPECT_EQ(JpegExifOrientation(c.Jpeg), c.Orientation) << c.Name;
}

// A picture unlike itself turned or mirrored, tagged with each of the
// eight orientations by Pillow (big-endian blocks) and by exiftool
// (little-endian): decoded upright as ImageMagick's -auto-orient shows it.
TEST(ExifOrientation, EveryValueIsAppliedAsImageMagickAppliesIt) {
  if (!HavePillow() || !HaveTool(testsupport::kConvert) || !HaveTool(kExiftool)) {
    GTEST_SKIP() << "Pillow, ImageMagick or exiftool is missing";
  }
  testsupport::TempDir dir;
  const auto made = testsupport::Run({"/usr/bin/python3", "-c", R"PY(
import sys
from PIL import Image
w, h = 40, 24
im = Image.new('RGB', (w, h))
im.putdata([(x * 6, y * 10, 255 if x < 8 and y < 5 else 40) for y in range(h) for x in range(w)])
im.save(sys.argv[1] + '/plain.jpg', quality=95)
for v in range(1, 9):
    exif = Image.Exif()
    exif[0x0112] = v
    im.save('%s/pillow%d.jpg' % (sys.argv[1], v), quality=95, exif=exif.tobytes())
)PY", dir.Path()});
  ASSERT_EQ(made.ExitCode, 0) << made.Err;
  std::vector<std::string> files;
  for (int v = 1; v <= 8; ++v) files.push_back(dir.File("pillow" + std::to_string(v) + ".jpg"));
  for (int v = 1; v <= 8; ++v) {
    const std::string file = dir.File("exiftool" + std::to_string(v) + ".jpg");
    testsupport::WriteBytes(file, testsupport::ReadBytes(dir.File("plain.jpg")));
    const auto tagged = testsupport::Run({kExiftool, "-q", "-overwrite_original", "-n", "-ExifByteOrder=II",
                                          "-Orientation=" + std::to_string(v), file});
    ASSERT_EQ(tagged.ExitCode, 0) << tagged.Err;
    files.push_back(file);
  }
  for (std::size_t i = 0; i < files.size(); ++i) {
    const int v = static_cast<int>(i % 8) + 1;
    SCOPED_TRACE(files[i]);
    const Bytes jpeg = testsupport::ReadBytes(files[i]);
    const std::string text(jpeg.begin(), jpeg.end());
    const std::size_t block = text.find(std::string("Exif\0\0", 6));
    ASSERT_NE(block, std::string::npos);
    EXPECT_EQ(text[block + 6], i < 8 ? 'M' : 'I') << "the block's byte order";
    TBitmap ours;
    TJpegDecodeInfo info;
    DecodeJpeg(jpeg.data(), jpeg.size(), ours, info);
    EXPECT_EQ(info.Orientation, v);
    const auto shown = testsupport::Run({testsupport::kConvert, files[i], "-auto-orient", "ppm:-"});
    ASSERT_EQ(shown.ExitCode, 0) << shown.Err;
    const testsupport::RgbImage expected = testsupport::ParsePnm(shown.Out);
    ASSERT_EQ(ours.Width(), expected.Width);
    ASSERT_EQ(ours.Height(), expected.Height);
    EXPECT_EQ(ours.Width(), v >= 5 ? 24 : 40);
    int worst = 0;
    for (int y = 0; y < ours.Height(); ++y) {
      for (int x = 0; x < ours.Width(); ++x) {
        const TColor c = ours.GetPixelColor(x, y);
        const std::uint8_t* e = &expected.Rgb[(static_cast<std::size_t>(y) * expected.Width + x) * 3];
        worst = std::max({worst, std::abs(GetRValue(c) - e[0]), std::abs(GetGValue(c) - e[1]),
                          std::abs(GetBValue(c) - e[2])});
      }
    }
    EXPECT_LE(worst, 3);
  }
}

// Rows a cut-short scan does not reach are grey where they stand once
// turned: for orientation 6 (a quarter clockwise) the stored bottom rows
// are the upright picture's left columns.
TEST(ExifOrientation, RowsACutScanMissesAreGreyWhereTheyAreTurnedTo) {
  // Red throughout, noise in green and blue, so that the scan is most of
  // the file.
  TBitmap picture(48, 64, pf24bit);
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 48; ++x) picture.Canvas().SetPixel(x, y, RGB(250, (x * 37 + y * 91) % 256, (x * x + y) % 256));
  }
  const Bytes plain = EncodeJpeg(picture, 90);
  for (const int v : {6, 8}) {
    SCOPED_TRACE(v);
    Bytes tagged(plain.begin(), plain.begin() + 2);
    const Bytes block = Exif(Tiff(v == 6, {{274, 3, 1, static_cast<std::uint32_t>(v)}}));
    tagged.insert(tagged.end(), {0xFF, 0xE1});
    Put16BE(tagged, static_cast<std::uint32_t>(block.size() + 2));
    tagged.insert(tagged.end(), block.begin(), block.end());
    tagged.insert(tagged.end(), plain.begin() + 2, plain.end() - static_cast<std::ptrdiff_t>(plain.size() / 3));
    TBitmap b;
    TJpegDecodeInfo info;
    DecodeJpeg(tagged.data(), tagged.size(), b, info);
    EXPECT_FALSE(info.EndedEarly.empty());
    ASSERT_EQ(b.Width(), 64);
    ASSERT_EQ(b.Height(), 48);
    // Orientation 6 puts the stored last row at the left, 8 at the right.
    const TColor missing = b.GetPixelColor(v == 6 ? 0 : 63, 24);
    const TColor decoded = b.GetPixelColor(v == 6 ? 63 : 0, 24);
    EXPECT_NEAR(GetRValue(missing), 128, 2);
    EXPECT_GT(GetRValue(decoded), 180) << "far from grey";
  }
}
