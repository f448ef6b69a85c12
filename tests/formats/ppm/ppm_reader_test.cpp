#include "formats/ppm/ppm_graphic.h"

#include <gtest/gtest.h>

#include <cstring>

#include "core/streams.h"
#include "formats/common/reader_test_util.h"

using namespace readertest;
using testsupport::HaveTool;
using testsupport::HavePillow;

namespace {

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

RgbImage Grey(int w, int h, std::initializer_list<int> levels) {
  RgbImage img{w, h, {}};
  for (int v : levels) img.Rgb.insert(img.Rgb.end(), 3, static_cast<std::uint8_t>(v));
  return img;
}

TEST(PPMReader, CraftedFiles) {
  struct Case {
    const char* name;
    std::string file;
    TPixelFormat format;
    RgbImage expected;
  } cases[] = {
      // 1 is black.
      {"P1", "P1\n3 1\n1 0 1\n", pf1bit, Grey(3, 1, {0, 255, 0})},
      {"P1 digits without spaces", "P1\n3 2\n101\n011", pf1bit, Grey(3, 2, {0, 255, 0, 255, 0, 0})},
      {"P1 wider than a byte", "P1 # a comment\n9 1\n000000001\n", pf1bit, Grey(9, 1, {255, 255, 255, 255, 255, 255, 255, 255, 0})},
      {"P2 with comments and CR LF", "P2\r\n# made by hand\r\n2 1 # size\r\n255\r\n0 200\r\n", pf8bit, Grey(2, 1, {0, 200})},
      {"P2 maximum not used", "P2\n2 1\n15\n15 7\n", pf8bit, Grey(2, 1, {15, 7})},
      {"P3", "P3\n2 1\n255\n1 2 3 4 5 6", pf24bit, RgbImage{2, 1, {1, 2, 3, 4, 5, 6}}},
      {"P4", "P4\n10 2\n\x80\x40\xFF\xC0", pf1bit, Grey(10, 2, {0, 255, 255, 255, 255, 255, 255, 255, 255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})},
      {"P5", "P5\n3 1\n255\n\x01\x80\xFF", pf8bit, Grey(3, 1, {1, 128, 255})},
      {"P6", std::string("P6\n1 2\n255\n\x0A\x14\x1E\x00\x01\x02", 17), pf24bit, RgbImage{1, 2, {10, 20, 30, 0, 1, 2}}},
      {"CR alone ends a line", "P5\r2 1\r255\r\x07\x08", pf8bit, Grey(2, 1, {7, 8})},
      // The numbers are taken from the second line on, so the picture is
      // 5 x 5 here, not 1 x 1.
      {"P6 numbers on the first line", "P6 1 1 255\n5 5 255\n" + std::string(75, '\x09'), pf24bit,
       RgbImage{5, 5, Bytes(75, 9)}},
      // Two bytes a sample, most significant first: the high byte is the
      // sample, whatever the maximum, as one-byte samples stand as they are.
      {"P5 of two-byte samples", "P5\n2 1\n65535\n\x01\x02\xFE\xFF", pf8bit, Grey(2, 1, {1, 254})},
      {"P6 of a maximum of 1000", std::string("P6\n1 1\n1000\n\x03\xE8\x00\x05\x02\x00", 18), pf24bit,
       RgbImage{1, 1, {3, 0, 2}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ExpectPicture(TPPMGraphic::StaticClass(), Text(c.file), c.format, c.expected);
  }
}

TEST(PPMReader, MalformedFiles) {
  const std::string invalid = "Cannot load image. Invalid or unexpected PBM, PGM or PPM image format.";
  const std::string readError = "Stream read error in PPM file.";
  struct Case {
    const char* name;
    std::string file;
    std::string error;
  } cases[] = {
      {"no P", "Q6\n1 1\n255\n...", invalid},
      {"type 7", "P7\n1 1\n255\n...", invalid},
      {"empty picture", "P5\n0 3\n255\n", invalid},
      {"short raw data", "P6\n2 2\n255\n0123456789", invalid},  // fewer bytes than samples: refused at once
      {"header cut short", "P2\n4", readError},
      {"text sample above 255", "P2\n2 1\n255\n1 256\n", "A sample of the portable map lies above 255"},
      {"a maximum above two bytes", "P5\n1 1\n65536\n\x01\x02\x03", invalid},
      {"short raw data of two-byte samples", "P6\n2 1\n65535\n012345", invalid},
      {"too few text samples", "P3\n2 1\n255\n1 2 3 4 5\n", readError},
      {"too large", "P5\n100000 100000\n255\n", "Cannot load image. The PBM, PGM or PPM image is too large (100000 x 100000 pixels)."},
  };
  for (const Case& c : cases) EXPECT_EQ(LoadError(TPPMGraphic::StaticClass(), Text(c.file)), c.error) << c.name;
}

TEST(PPMReader, ProbeAndHeader) {
  TPPMGraphic g;
  for (const auto& [text, probe] : std::vector<std::pair<std::string, bool>>{{"P1", true}, {"P6\n", true}, {"P7", false}, {"P", false}, {"p5", false}}) {
    TMemoryStream s(Text(text));
    EXPECT_EQ(g.CanLoadStream(s), probe) << text;
    EXPECT_EQ(s.Position(), 0);
  }
  TMemoryStream s(Text("P3\n# c\n640 480\n255\n"));
  ASSERT_TRUE(g.ReadImageHeader(s, 0));
  EXPECT_EQ(g.ImageProperties().Width, 640u);
  EXPECT_EQ(g.ImageProperties().Height, 480u);
  EXPECT_EQ(g.ImageProperties().ColorScheme, TColorScheme::RGB);
  EXPECT_EQ(g.ImageProperties().BitsPerPixel, 24);
}

// The same picture as raw and plain files of netpbm, and as files of
// Pillow and ImageMagick.
TEST(PPMReader, FilesOfOtherTools) {
  if (!HaveTool("/usr/bin/pnmtoplainpnm") || !HaveTool(testsupport::kConvert)) GTEST_SKIP() << "netpbm or ImageMagick missing";
  const RgbImage colour = Picture(37, 13);
  const RgbImage grey = Picture(29, 7, 0, true);
  const RgbImage mono = Picture(43, 5, 2, true);
  struct Case {
    const char* name;
    RgbImage picture;
    std::vector<std::string> argv;
  } cases[] = {
      {"P6", colour, {"/bin/cat"}},
      {"P3 by pnmtoplainpnm", colour, {"/usr/bin/pnmtoplainpnm"}},
      {"P5 by ppmtopgm", grey, {"/usr/bin/ppmtopgm"}},
      {"P2 by pnmtoplainpnm", grey, {"/bin/sh", "-c", "/usr/bin/ppmtopgm | /usr/bin/pnmtoplainpnm"}},
      {"P4 by pgmtopbm", mono, {"/bin/sh", "-c", "/usr/bin/ppmtopgm | /usr/bin/pgmtopbm -threshold"}},
      {"P1 by pnmtoplainpnm", mono, {"/bin/sh", "-c", "/usr/bin/ppmtopgm | /usr/bin/pgmtopbm -threshold | /usr/bin/pnmtoplainpnm"}},
      {"P3 by convert", colour, {testsupport::kConvert, "ppm:-", "-compress", "None", "ppm:-"}},
      {"P6 of 16 bits by convert", colour, {testsupport::kConvert, "ppm:-", "-depth", "16", "ppm:-"}},
      {"P5 of 16 bits by convert", grey, {testsupport::kConvert, "ppm:-", "-depth", "16", "pgm:-"}},
      {"P6 of 16 bits by pamdepth", colour, {"/usr/bin/pamdepth", "65535"}},
      {"P5 of 16 bits by pamdepth", grey, {"/bin/sh", "-c", "/usr/bin/ppmtopgm | /usr/bin/pamdepth 65535"}},
      {"P1 by convert", mono, {testsupport::kConvert, "ppm:-", "-compress", "None", "pbm:-"}},
  };
  for (const Case& c : cases) {
    const Bytes file = Tool(c.argv, Ppm(c.picture));
    EXPECT_EQ(Difference(c.picture, Pixels(*Load(TPPMGraphic::StaticClass(), file))), "") << c.name;
  }
  if (!HavePillow()) return;
  const char* script = R"PY(
import sys, io
from PIL import Image
im = Image.open(sys.stdin.buffer).convert(sys.argv[1])
out = io.BytesIO()
im.save(out, 'PPM')
sys.stdout.buffer.write(out.getvalue())
)PY";
  for (const char* mode : {"RGB", "L", "1"}) {
    const RgbImage& picture = std::string(mode) == "RGB" ? colour : std::string(mode) == "L" ? grey : mono;
    EXPECT_EQ(Difference(picture, Pixels(*Load(TPPMGraphic::StaticClass(), Python(script, {mode}, Ppm(picture))))), "")
        << "Pillow " << mode;
  }
}

// Two-byte samples of every value, as a Python writer lays them out from
// the format: the high byte of each is read, for any maximum above 255,
// in a file larger than the reader's buffer.
TEST(PPMReader, TwoByteSamplesOfEveryValue) {
  if (!HaveTool("/usr/bin/python3")) GTEST_SKIP() << testsupport::SkipReason("/usr/bin/python3");
  for (const char* maximum : {"65535", "4095", "256"}) {
    SCOPED_TRACE(maximum);
    const Bytes file = Python(R"PY(
import random, struct, sys
rnd = random.Random(3)
top = int(sys.argv[1])
w, h = 150, 41
samples = [rnd.randrange(top + 1) for _ in range(w * h * 3)]
sys.stdout.buffer.write(b'P6\n%d %d\n%d\n' % (w, h, top) + struct.pack('>%dH' % len(samples), *samples))
)PY", {maximum});
    const std::size_t header = std::string(file.begin(), file.begin() + 20).find(maximum) + std::strlen(maximum) + 1;
    RgbImage expected{150, 41, {}};
    for (std::size_t i = header; i + 1 < file.size(); i += 2) expected.Rgb.push_back(file[i]);
    auto b = Load(TPPMGraphic::StaticClass(), file);
    EXPECT_EQ(b->PixelFormat(), pf24bit);
    EXPECT_EQ(Difference(expected, Pixels(*b)), "");
  }
}

}  // namespace
