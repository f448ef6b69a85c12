// Every pattern of the default image filter names a format the program
// reads: a small file of each, written by Debian's tools or from the
// format's layout, loads through the one source loader to its picture.
// Metafiles are the exception: they cannot be drawn here.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>

#include "app/settings.h"
#include "core/bitmap.h"
#include "formats/registry.h"
#include "imaging/source_picture.h"
#include "support/test_support.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr int kWidth = 4, kHeight = 3;

// Twelve distinct colours, R, G, B, rows top first.
Bytes SourceRgb() {
  Bytes rgb;
  for (int i = 0; i < kWidth * kHeight; ++i) {
    rgb.insert(rgb.end(), {std::uint8_t(20 * i + 10), std::uint8_t(255 - 20 * i), std::uint8_t((i % 3) * 100)});
  }
  return rgb;
}

void PutBE16(Bytes& b, unsigned v) {
  b.push_back(static_cast<std::uint8_t>(v >> 8));
  b.push_back(static_cast<std::uint8_t>(v));
}

// An Autodesk cel: 32-byte header, 256 palette entries of 6 bits, pixels.
Bytes Autodesk(const Bytes& rgb) {
  Bytes b;
  for (unsigned v : {0x9119u, unsigned(kWidth), unsigned(kHeight), 0u, 0u, 8u}) testsupport::Put16(b, v);
  b.resize(32, 0);
  for (int i = 0; i < 256; ++i) {
    for (int c = 0; c < 3; ++c) b.push_back(i < kWidth * kHeight ? rgb[std::size_t(3 * i + c)] / 4 : 0);
  }
  for (int i = 0; i < kWidth * kHeight; ++i) b.push_back(static_cast<std::uint8_t>(i));
  return b;
}

// A Dr. Halo CUT: width, height, a word, then each row's length and one
// literal packet ended by 0. Without its palette file it shows grey.
Bytes Cut() {
  Bytes b;
  for (unsigned v : {unsigned(kWidth), unsigned(kHeight), 0u}) testsupport::Put16(b, v);
  for (int y = 0; y < kHeight; ++y) {
    testsupport::Put16(b, kWidth + 2);
    b.push_back(kWidth);
    for (int x = 0; x < kWidth; ++x) b.push_back(static_cast<std::uint8_t>(40 * y + x));
    b.push_back(0);
  }
  return b;
}

// An RLA file: the 740-byte header, the row offsets, then per row (bottom
// first) each channel as a 16-bit length and one literal packet.
Bytes Rla(const Bytes& rgb) {
  Bytes b(740, 0);
  auto set16 = [&](std::size_t at, unsigned v) { b[at] = std::uint8_t(v >> 8), b[at + 1] = std::uint8_t(v); };
  set16(2, kWidth - 1), set16(6, kHeight - 1), set16(10, kWidth - 1), set16(14, kHeight - 1);
  set16(20, 3), set16(26, 0xFFFE), set16(658, 8);
  b[28] = '1', b[580] = 'r', b[581] = 'g', b[582] = 'b';
  const std::size_t rowBytes = 3 * (2 + 1 + kWidth);
  for (int i = 0; i < kHeight; ++i) {
    const std::uint32_t at = static_cast<std::uint32_t>(740 + 4 * kHeight + i * rowBytes);
    PutBE16(b, at >> 16), PutBE16(b, at & 0xFFFF);
  }
  for (int i = 0; i < kHeight; ++i) {
    const int y = kHeight - 1 - i;
    for (int c = 0; c < 3; ++c) {
      PutBE16(b, 1 + kWidth);
      b.push_back(static_cast<std::uint8_t>(-kWidth));
      for (int x = 0; x < kWidth; ++x) b.push_back(rgb[std::size_t(3 * (y * kWidth + x) + c)]);
    }
  }
  return b;
}

TEST(DefaultImageFilter, EveryPatternLoadsAFileOfItsFormat) {
  for (const char* tool : {"/usr/bin/python3", testsupport::kConvert.c_str(), "/usr/bin/tiffcp"}) {
    if (!testsupport::HaveTool(tool)) GTEST_SKIP() << testsupport::SkipReason(tool);
  }
  if (!testsupport::HavePillow()) GTEST_SKIP() << "Pillow (python3-pil) is not installed";
  RegisterImageFormats();
  testsupport::TempDir dir;
  const Bytes rgb = SourceRgb();
  const std::string ppm = dir.File("source.ppm");
  {
    const std::string head = "P6\n4 3\n255\n";
    Bytes file(head.begin(), head.end());
    file.insert(file.end(), rgb.begin(), rgb.end());
    testsupport::WriteBytes(ppm, file);
  }
  auto convert = [&](const std::string& to) {
    const auto r = testsupport::Run({testsupport::kConvert, ppm, to});
    EXPECT_EQ(r.ExitCode, 0) << to << ": " << r.Err;
  };
  auto python = [&](const std::string& script, std::vector<std::string> args) {
    args.insert(args.begin(), {"/usr/bin/python3", "-c", script});
    const auto r = testsupport::Run(args);
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
  };
  const std::string pillowSave = "import sys\nfrom PIL import Image\nImage.open(sys.argv[1]).save(sys.argv[2])";
  const std::string writers = testsupport::SourceDir() + "/tests/formats/";

  // How each extension's file is made, and whether it keeps the colours.
  struct TMaker {
    std::function<void(const std::string&)> Make;
    bool Colours;
  };
  auto magick = [&](const std::string& format, bool colours) {
    return TMaker{[=](const std::string& file) { convert(format + ":" + file); }, colours};
  };
  auto pillow = [&](const std::string& format) {
    return TMaker{[=](const std::string& file) { python(pillowSave.substr(0, pillowSave.size() - 1) + ", '" + format + "')", {ppm, file}); },
                  true};
  };
  auto bytes = [](Bytes content, bool colours) {
    return TMaker{[content](const std::string& file) { testsupport::WriteBytes(file, content); }, colours};
  };
  std::map<std::string, TMaker> makers = {
      {"png", {[&](const std::string& f) { python(pillowSave, {ppm, f}); }, true}},
      {"psp", {[&](const std::string& f) {
                 const auto r = testsupport::Run({"/usr/bin/python3", writers + "psp/psp_writer.py", f,
                                                  dir.File("psp.rgb"), "5", "24", "0", "1", "4", "3", "none"});
                 EXPECT_EQ(r.ExitCode, 0) << r.Err;
               },
               false}},
      {"cut", bytes(Cut(), false)},
      {"pcd", {[&](const std::string& f) {
                 const auto r = testsupport::Run({"/usr/bin/python3", writers + "pcd/pcd_writer.py", f, "0"});
                 EXPECT_EQ(r.ExitCode, 0) << r.Err;
               },
               false}},
      {"pic", bytes(Autodesk(rgb), false)},  // 6-bit palette entries
      {"cel", bytes(Autodesk(rgb), false)},
      {"pbm", magick("pbm", false)},
      {"pgm", magick("pgm", false)},
      {"ppm", magick("ppm", true)},
      {"pdd", magick("psd", true)},
      {"psd", magick("psd", true)},
      {"bw", magick("sgi", true)},
      {"rgb", magick("sgi", true)},
      {"rgba", magick("sgi", true)},
      {"sgi", magick("sgi", true)},
      {"rla", bytes(Rla(rgb), true)},
      {"rpf", bytes(Rla(rgb), true)},
      {"scr", magick("pcx", true)},
      {"pcc", magick("pcx", true)},
      {"pcx", magick("pcx", true)},
      {"eps", {[&](const std::string& f) {
                 python(R"PY(
import io, struct, sys
from PIL import Image
tiff = io.BytesIO()
Image.open(sys.argv[1]).save(tiff, 'TIFF')
ps = b'%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 4 3\n'
head = struct.pack('<I6IH', 0xC6D3D0C5, 30, len(ps), 0, 0, 30 + len(ps), len(tiff.getvalue()), 0xFFFF)
open(sys.argv[2], 'wb').write(head + ps + tiff.getvalue())
)PY",
                        {ppm, f});
               },
               true}},
      {"fax", {[&](const std::string& f) {
                 python("import sys\nfrom PIL import Image\n"
                        "Image.open(sys.argv[1]).convert('1').save(sys.argv[2], 'TIFF', compression='group3')",
                        {ppm, f});
               },
               false}},
      {"tif", pillow("TIFF")},
      {"tiff", {[&](const std::string& f) {
                  python(pillowSave.substr(0, pillowSave.size() - 1) + ", 'TIFF', compression='tiff_deflate')", {ppm, f});
                },
                true}},
      // ImageMagick's Targa files keep the top row first while their header
      // says bottom first, so Pillow writes these.
      {"icb", pillow("TGA")},
      {"tga", pillow("TGA")},
      {"vda", pillow("TGA")},
      {"vst", pillow("TGA")},
      {"win", pillow("TGA")},
      {"dib", magick("bmp", true)},
      {"rle", magick("bmp", true)},
      {"jpeg", magick("jpg", false)},
      {"jpe", magick("jpg", false)},
      {"jpg", magick("jpg", false)},
      {"jfif", magick("jpg", false)},
      {"ico", magick("ico", true)},
      {"bmp", magick("bmp", true)},
      {"gif", magick("gif", true)},
  };
  const std::set<std::string> metafiles = {"emf", "wmf"};

  std::vector<std::string> patterns;
  for (std::string rest = DefaultImageFilter; !rest.empty();) {
    const std::size_t semicolon = rest.find(';');
    patterns.push_back(rest.substr(0, semicolon));
    rest = semicolon == std::string::npos ? "" : rest.substr(semicolon + 1);
  }
  ASSERT_EQ(patterns.size(), 40u);
  for (const std::string& pattern : patterns) {
    ASSERT_EQ(pattern.substr(0, 2), "*.");
    const std::string ext = pattern.substr(2);
    SCOPED_TRACE(pattern);
    if (metafiles.count(ext)) continue;
    ASSERT_TRUE(makers.count(ext)) << "no maker";
    const std::string file = dir.File("picture." + ext);
    makers[ext].Make(file);
    TBitmap picture;
    ASSERT_NO_THROW(LoadSourcePicture(file, picture));
    if (ext == "pcd") {
      EXPECT_EQ(picture.Width(), 768);
      EXPECT_EQ(picture.Height(), 512);
      continue;
    }
    ASSERT_EQ(picture.Width(), kWidth);
    ASSERT_EQ(picture.Height(), kHeight);
    if (!makers[ext].Colours) continue;
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        const std::uint8_t* p = &rgb[std::size_t(3 * (y * kWidth + x))];
        EXPECT_EQ(picture.GetPixelColor(x, y) & 0xFFFFFF, RGB(p[0], p[1], p[2])) << x << "," << y;
      }
    }
  }
}

}  // namespace
