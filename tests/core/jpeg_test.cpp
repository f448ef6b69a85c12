#include "core/jpeg.h"

#include <gtest/gtest.h>

// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <cmath>
#include <cstring>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/bmp.h"
#include "core/exceptions.h"
#include "core/streams.h"
#include "support/test_support.h"

using namespace testsupport;

namespace {

using Bytes = std::vector<std::uint8_t>;

// A smooth picture: red grows to the right, green downwards, blue along
// the diagonal.
TBitmap Smooth(int w, int h, TPixelFormat f = pf24bit) {
  TBitmap b(w, h, pf24bit);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      b.Canvas().SetPixel(x, y, RGB(x * 255 / (w - 1), y * 255 / (h - 1), (x + y) * 255 / (w + h - 2)));
    }
  }
  b.SetPixelFormat(f);
  return b;
}

double MeanAbsoluteError(const TBitmap& a, const TBitmap& b) {
  EXPECT_EQ(a.Width(), b.Width());
  EXPECT_EQ(a.Height(), b.Height());
  double sum = 0;
  for (int y = 0; y < a.Height(); ++y) {
    for (int x = 0; x < a.Width(); ++x) {
      TColor p = a.GetPixelColor(x, y), q = b.GetPixelColor(x, y);
      sum += std::abs(GetRValue(p) - GetRValue(q)) + std::abs(GetGValue(p) - GetGValue(q)) +
             std::abs(GetBValue(p) - GetBValue(q));
    }
  }
  return sum / (3.0 * a.Width() * a.Height());
}

TBitmap Decode(const Bytes& data) {
  TBitmap b;
  DecodeJpeg(data.data(), data.size(), b);
  return b;
}

// A CMYK (or YCCK) JPEG of one flat colour written with libjpeg directly;
// with the Adobe marker the ink values are stored inverted, as Adobe's
// programs do.
Bytes FlatCmykJpeg(int c, int m, int y, int k, bool adobe, bool ycck = false) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &out, &size);
  cinfo.image_width = 8;
  cinfo.image_height = 8;
  cinfo.input_components = 4;
  cinfo.in_color_space = JCS_CMYK;
  jpeg_set_defaults(&cinfo);
  jpeg_set_colorspace(&cinfo, ycck ? JCS_YCCK : JCS_CMYK);
  cinfo.write_Adobe_marker = adobe ? TRUE : FALSE;
  jpeg_set_quality(&cinfo, 100, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  unsigned char row[8 * 4];
  for (int x = 0; x < 8; ++x) {
    int v[4] = {c, m, y, k};
    for (int i = 0; i < 4; ++i) row[x * 4 + i] = static_cast<unsigned char>(adobe ? 255 - v[i] : v[i]);
  }
  while (cinfo.next_scanline < 8) {
    JSAMPROW r = row;
    jpeg_write_scanlines(&cinfo, &r, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  Bytes bytes(out, out + size);
  std::free(out);
  return bytes;
}

void ExpectNear(TColor c, int r, int g, int b, int tolerance) {
  EXPECT_NEAR(GetRValue(c), r, tolerance);
  EXPECT_NEAR(GetGValue(c), g, tolerance);
  EXPECT_NEAR(GetBValue(c), b, tolerance);
}

// Where the start-of-frame marker's height and width lie.
std::size_t SofSizeOffset(const Bytes& jpeg) {
  for (std::size_t i = 2; i + 9 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) return i + 5;
  }
  ADD_FAILURE() << "no SOF";
  return 0;
}

}  // namespace

TEST(JpegCodec, RoundTripStaysCloseAtQuality90) {
  TBitmap src = Smooth(64, 48);
  Bytes data = EncodeJpeg(src, 90);
  ASSERT_GT(data.size(), 100u);
  EXPECT_EQ(data[0], 0xFF);
  EXPECT_EQ(data[1], 0xD8);
  TBitmap back = Decode(data);
  EXPECT_EQ(back.PixelFormat(), pf24bit);
  EXPECT_LT(MeanAbsoluteError(src, back), 2.0);
  // Lower quality, smaller file, still the same picture roughly.
  Bytes low = EncodeJpeg(src, 10);
  EXPECT_LT(low.size(), data.size());
  EXPECT_LT(MeanAbsoluteError(src, Decode(low)), 12.0);
}

TEST(JpegCodec, EveryBitmapFormatCanBeEncoded) {
  for (TPixelFormat f : {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfDevice}) {
    SCOPED_TRACE("format " + std::to_string(f));
    TBitmap src = Smooth(17, 9, f);
    TBitmap back = Decode(EncodeJpeg(src, 95));
    ASSERT_EQ(back.Width(), 17);
    ASSERT_EQ(back.Height(), 9);
    // Paletted pictures are all hard edges, which JPEG blurs.
    const bool paletted = f == pf1bit || f == pf4bit || f == pf8bit;
    EXPECT_LT(MeanAbsoluteError(src, back), paletted ? 40.0 : 6.0);
    EXPECT_EQ(src.PixelFormat(), f);  // the source is left alone
  }
  TBitmap empty;
  EXPECT_THROW(EncodeJpeg(empty, 90), EInvalidGraphic);
}

TEST(JpegCodec, QualityOutsideTheRangeRaises) {
  TBitmap src = Smooth(8, 8);
  EXPECT_THROW(EncodeJpeg(src, 0), ERangeError);
  EXPECT_THROW(EncodeJpeg(src, 101), ERangeError);
  TJPEGImage j;
  EXPECT_EQ(j.CompressionQuality(), 90);
  EXPECT_THROW(j.SetCompressionQuality(0), ERangeError);
  EXPECT_THROW(j.SetCompressionQuality(101), ERangeError);
  EXPECT_EQ(j.CompressionQuality(), 90);
  j.SetCompressionQuality(1);
  j.SetCompressionQuality(100);
  EXPECT_EQ(j.CompressionQuality(), 100);
}

TEST(JpegCodec, CmykPlainAndAdobeInvertedGiveTheSameColour) {
  // C 20%, M 60%, Y 80%, K 10% of 255.
  const int c = 51, m = 153, y = 204, k = 26;
  const int r = (255 - c) * (255 - k) / 255, g = (255 - m) * (255 - k) / 255, b = (255 - y) * (255 - k) / 255;
  for (bool adobe : {false, true}) {
    SCOPED_TRACE(adobe ? "Adobe" : "plain");
    TBitmap p = Decode(FlatCmykJpeg(c, m, y, k, adobe));
    ASSERT_EQ(p.Width(), 8);
    ExpectNear(p.GetPixelColor(3, 3), r, g, b, 2);
  }
  TBitmap ycck = Decode(FlatCmykJpeg(c, m, y, k, true, true));
  ExpectNear(ycck.GetPixelColor(3, 3), r, g, b, 3);
}

TEST(JpegCodec, DamagedDataRaisesOrGivesAPartlyGreyPicture) {
  TBitmap src = Smooth(64, 64);
  Bytes good = EncodeJpeg(src, 75);
  // Not a JPEG at all: libjpeg's own words.
  Bytes bmp = WriteBmp(src);
  TBitmap keep(3, 3, pf24bit);
  try {
    DecodeJpeg(bmp.data(), bmp.size(), keep);
    FAIL() << "no exception";
  } catch (const EInvalidGraphic& e) {
    EXPECT_NE(std::string(e.what()).find("Not a JPEG file"), std::string::npos) << e.what();
  }
  EXPECT_EQ(keep.Width(), 3);  // unchanged after a failure
  EXPECT_THROW(Decode({}), EInvalidGraphic);
  EXPECT_THROW(Decode({0xFF, 0xD8}), EInvalidGraphic);

  // Cut at every length: the header part raises; once the scan has begun
  // the picture comes back full size, the lost part grey.
  std::size_t sos = 0;
  for (std::size_t i = 2; i + 1 < good.size(); ++i) {
    if (good[i] == 0xFF && good[i + 1] == 0xDA) {
      sos = i;
      break;
    }
  }
  ASSERT_GT(sos, 0u);
  for (std::size_t n = 0; n < good.size(); ++n) {
    Bytes cut(good.begin(), good.begin() + static_cast<long>(n));
    if (n <= sos) {
      EXPECT_THROW(Decode(cut), EInvalidGraphic) << n;
      continue;
    }
    try {
      TBitmap b = Decode(cut);
      EXPECT_EQ(b.Width(), 64);
      EXPECT_EQ(b.Height(), 64);
    } catch (const EInvalidGraphic&) {
      // A cut inside the scan header itself.
      EXPECT_LT(n, sos + 16) << n;
    }
  }
  TBitmap half = Decode(Bytes(good.begin(), good.begin() + static_cast<long>(sos + (good.size() - sos) / 2)));
  ExpectNear(half.GetPixelColor(10, 63), 128, 128, 128, 2);
  ExpectNear(half.GetPixelColor(10, 0), GetRValue(src.GetPixelColor(10, 0)), GetGValue(src.GetPixelColor(10, 0)),
             GetBValue(src.GetPixelColor(10, 0)), 8);

  // Random damage anywhere: a picture or EInvalidGraphic, nothing worse.
  std::mt19937 rng(9);
  for (int i = 0; i < 400; ++i) {
    Bytes f = good;
    for (int c = 0; c < 4; ++c) f[rng() % f.size()] = static_cast<std::uint8_t>(rng());
    try {
      Decode(f);
    } catch (const EInvalidGraphic&) {
    }
  }
}

TEST(JpegCodec, AHugeHeaderRaisesBeforeDecoding) {
  Bytes data = EncodeJpeg(Smooth(16, 16), 50);
  std::size_t at = SofSizeOffset(data);
  data[at] = 0xFD;  // height 65000
  data[at + 1] = 0xE8;
  data[at + 2] = 0xFD;  // width 65000
  data[at + 3] = 0xE8;
  try {
    Decode(data);
    FAIL() << "no exception";
  } catch (const EInvalidGraphic& e) {
    EXPECT_NE(std::string(e.what()).find("too large"), std::string::npos) << e.what();
  }
}

TEST(JpegImage, KeepsTheLoadedBytesUntilThePictureChanges) {
  TBitmap src = Smooth(40, 30);
  Bytes original = EncodeJpeg(src, 77);
  original.insert(original.end(), {0x00, 0x11});  // trailing bytes kept too
  TJPEGImage j;
  TMemoryStream in(original);
  j.LoadFromStream(in);
  EXPECT_EQ(j.Width(), 40);
  // Loading reports the quality the bytes were written at and keeps them.
  EXPECT_EQ(j.CompressionQuality(), 77);
  EXPECT_TRUE(j.HasData());
  TMemoryStream out;
  j.SaveToStream(out);
  EXPECT_EQ(out.Bytes(), original);

  TJPEGImage copy;
  copy.Assign(j);
  EXPECT_EQ(copy.Data(), original);

  // A new quality compresses again when saved.
  j.SetCompressionQuality(20);
  EXPECT_FALSE(j.HasData());
  TMemoryStream again;
  j.SaveToStream(again);
  EXPECT_NE(again.Bytes(), original);
  EXPECT_LT(again.Bytes().size(), original.size());

  // Assigning a bitmap drops the data; Compress makes it at once.
  TBitmap other = Smooth(10, 5, pf8bit);
  copy.Assign(other);
  EXPECT_FALSE(copy.HasData());
  EXPECT_EQ(copy.Bitmap().PixelFormat(), pf24bit);
  EXPECT_EQ(copy.Width(), 10);
  copy.SetCompressionQuality(60);
  copy.Compress();
  EXPECT_EQ(copy.Data(), EncodeJpeg(copy.Bitmap(), 60));

  TBitmap drawn;
  copy.AssignTo(drawn);
  EXPECT_EQ(drawn.Width(), 10);

  TJPEGImage empty;
  EXPECT_THROW(empty.SaveToStream(out), EInvalidGraphic);
}

TEST(JpegImage, AFailedLoadKeepsThePictureAndTakeBitmapEmptiesIt) {
  TJPEGImage j;
  TMemoryStream in(EncodeJpeg(Smooth(12, 7), 90));
  j.LoadFromStream(in);
  TMemoryStream bad(Bytes{0xFF, 0xD8, 0xFF, 0xC0, 0, 3});
  EXPECT_THROW(j.LoadFromStream(bad), EInvalidGraphic);
  EXPECT_EQ(j.Width(), 12);
  EXPECT_TRUE(j.HasData());

  const std::uint8_t* pixels = j.Bitmap().Bits();
  TBitmap taken = j.TakeBitmap();
  EXPECT_EQ(taken.Bits(), pixels);  // moved, not copied
  EXPECT_EQ(taken.Width(), 12);
  EXPECT_TRUE(j.Empty());
  EXPECT_FALSE(j.HasData());
}

TEST(JpegOracle, ImageMagickGreyProgressiveAndCmykFilesRead) {
  if (!HaveTool(kConvert)) GTEST_SKIP() << SkipReason(kConvert);
  TempDir dir;
  struct Case {
    std::vector<std::string> args;
    const char* name;
  };
  std::vector<Case> cases{
      {{"-size", "40x24", "gradient:black-white", "-colorspace", "Gray"}, "grey.jpg"},
      {{"-size", "40x24", "gradient:#ff8000-#0040c0", "-interlace", "JPEG"}, "progressive.jpg"},
      {{"-size", "40x24", "gradient:#ff8000-#0040c0", "-sampling-factor", "4:4:4", "-colorspace", "sRGB"}, "rgb.jpg"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = dir.File(c.name);
    std::vector<std::string> argv{kConvert};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    argv.push_back(path);
    ASSERT_EQ(testsupport::Run(argv).ExitCode, 0);
    TJPEGImage j;
    j.LoadFromFile(path);
    auto ref = testsupport::Run({kConvert, path, "-depth", "8", "ppm:-"});
    ASSERT_EQ(ref.ExitCode, 0);
    auto img = ParsePnm(ref.Out);
    ASSERT_EQ(j.Width(), img.Width);
    ASSERT_EQ(j.Height(), img.Height);
    for (int y = 0; y < img.Height; ++y) {
      for (int x = 0; x < img.Width; ++x) {
        const std::uint8_t* p = &img.Rgb[static_cast<std::size_t>((y * img.Width + x) * 3)];
        TColor got = j.Bitmap().GetPixelColor(x, y);
        ASSERT_NEAR(GetRValue(got), p[0], 2) << x << "," << y;
        ASSERT_NEAR(GetGValue(got), p[1], 2) << x << "," << y;
        ASSERT_NEAR(GetBValue(got), p[2], 2) << x << "," << y;
      }
    }
  }

  // CMYK: ImageMagick's own conversion of a flat colour.
  std::string cmyk = dir.File("cmyk.jpg");
  ASSERT_EQ(testsupport::Run({kConvert, "-size", "16x16", "xc:rgb(200,100,50)", "-colorspace", "CMYK", "-quality",
                              "100", cmyk})
                .ExitCode,
            0);
  TJPEGImage j;
  j.LoadFromFile(cmyk);
  ExpectNear(j.Bitmap().GetPixelColor(8, 8), 200, 100, 50, 4);
}

TEST(JpegOracle, PillowReadsOurJpegs) {
  if (!HavePillow()) GTEST_SKIP() << "Pillow for /usr/bin/python3 is not installed";
  TempDir dir;
  TBitmap src = Smooth(33, 21);
  TJPEGImage j;
  j.Assign(src);
  j.SetCompressionQuality(95);
  std::string path = dir.File("ours.jpg");
  j.SaveToFile(path);
  auto r = testsupport::Run({"/usr/bin/python3", "-c",
                             "import sys\nfrom PIL import Image\nim = Image.open(sys.argv[1])\n"
                             "print(im.format, im.size[0], im.size[1])\n"
                             "sys.stdout.write(im.convert('RGB').tobytes().hex())\n",
                             path});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  std::size_t nl = r.Out.find('\n');
  EXPECT_EQ(r.Out.substr(0, nl), "JPEG 33 21");
  std::string hex = r.Out.substr(nl + 1);
  ASSERT_EQ(hex.size(), 33u * 21 * 6);
  double sum = 0;
  for (int y = 0; y < 21; ++y) {
    for (int x = 0; x < 33; ++x) {
      TColor c = src.GetPixelColor(x, y);
      std::size_t at = static_cast<std::size_t>((y * 33 + x) * 6);
      sum += std::abs(std::stoi(hex.substr(at, 2), nullptr, 16) - GetRValue(c));
      sum += std::abs(std::stoi(hex.substr(at + 2, 2), nullptr, 16) - GetGValue(c));
      sum += std::abs(std::stoi(hex.substr(at + 4, 2), nullptr, 16) - GetBValue(c));
    }
  }
  EXPECT_LT(sum / (33 * 21 * 3), 2.0);
}

// ---- The quality a file was written at -------------------------------------------

namespace {

// A binary PPM of the smooth picture, for cjpeg.
std::string SmoothPpm(int w, int h) { return testsupport::PpmOf(Smooth(w, h)); }

int LoadedQuality(const Bytes& file) {
  TJPEGImage j;
  TMemoryStream in(file);
  j.LoadFromStream(in);
  TBitmap decoded;
  int direct = 0;
  DecodeJpeg(file.data(), file.size(), decoded, &direct);
  EXPECT_EQ(direct, j.CompressionQuality());
  return j.CompressionQuality();
}

}  // namespace

// Every quality cjpeg writes, baseline or not, colour, grey and
// progressive, is read back within one of itself; so is every quality our
// own writer uses.
TEST(JpegQuality, TheWrittenQualityIsReadBack) {
  const std::string cjpeg = "/usr/bin/cjpeg";
  const bool haveCjpeg = HaveTool(cjpeg);
  const std::string ppm = SmoothPpm(24, 16);
  const std::vector<std::vector<std::string>> variants = {{}, {"-baseline"}, {"-grayscale"}, {"-progressive"}};
  for (int n = 1; n <= 100; ++n) {
    const int ours = LoadedQuality(EncodeJpeg(Smooth(24, 16), n));
    EXPECT_LE(std::abs(ours - n), 1) << "our writer at " << n << " reads as " << ours;
    if (!haveCjpeg) continue;
    for (const std::vector<std::string>& options : variants) {
      std::vector<std::string> argv = {cjpeg, "-quality", std::to_string(n)};
      argv.insert(argv.end(), options.begin(), options.end());
      const testsupport::CommandResult r = testsupport::Run(argv, ppm);
      ASSERT_EQ(r.ExitCode, 0) << r.Err;
      const int read = LoadedQuality(Bytes(r.Out.begin(), r.Out.end()));
      EXPECT_LE(std::abs(read - n), 1) << "cjpeg -quality " << n << (options.empty() ? "" : " " + options[0])
                                       << " reads as " << read;
    }
  }
  if (!haveCjpeg) GTEST_SKIP() << SkipReason(cjpeg);
}

// Tables that are no single quality's give a quality between their own:
// luminance and chrominance of two qualities, and tables of another shape
// that grow coarser as the quality falls.
TEST(JpegQuality, OtherTablesGiveANearbyQuality) {
  const std::string cjpeg = "/usr/bin/cjpeg";
  if (!HaveTool(cjpeg)) GTEST_SKIP() << SkipReason(cjpeg);
  const std::string ppm = SmoothPpm(24, 16);
  TempDir dir;
  // Coarser towards the high frequencies, but not in the standard shape.
  std::string tables;
  for (int table = 0; table < 2; ++table) {
    for (int i = 0; i < 64; ++i) tables += std::to_string(2 + (i / 8 + i % 8) * (3 + 2 * table)) + " ";
    tables += "\n";
  }
  testsupport::WriteBytes(dir.File("tables.txt"), Bytes(tables.begin(), tables.end()));
  const auto quality = [&](const std::vector<std::string>& options) {
    std::vector<std::string> argv = {cjpeg};
    argv.insert(argv.end(), options.begin(), options.end());
    const testsupport::CommandResult r = testsupport::Run(argv, ppm);
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    return LoadedQuality(Bytes(r.Out.begin(), r.Out.end()));
  };
  int previous = 0;
  for (int n : {5, 10, 30, 50, 75, 90, 98}) {
    const int low = std::max(1, n - 20);
    for (const std::string& pair : {std::to_string(n) + "," + std::to_string(low), std::to_string(low) + "," +
                                                                                      std::to_string(n)}) {
      const int q = quality({"-quality", pair});
      EXPECT_GE(q, low) << pair;
      EXPECT_LE(q, n) << pair;
    }
    const int shaped = quality({"-qtables", dir.File("tables.txt"), "-quality", std::to_string(n)});
    EXPECT_GE(shaped, previous) << n;
    EXPECT_GE(shaped, 1);
    EXPECT_LE(shaped, 100);
    previous = shaped;
  }
  // Finer than any standard table: the best quality.
  std::string fine;
  for (int i = 0; i < 128; ++i) fine += "1 ";
  testsupport::WriteBytes(dir.File("fine.txt"), Bytes(fine.begin(), fine.end()));
  EXPECT_EQ(quality({"-qtables", dir.File("fine.txt"), "-quality", "50"}), 100);
}

// Decoding into a bitmap that holds a picture already: in its memory when
// the new one fits, the same pixels as a fresh decode either way, and the
// bitmap's drawing state and transparency kept.
TEST(JpegCodec, DecodingIntoAUsedBitmapGivesTheFreshPicture) {
  const Bytes small = EncodeJpeg(Smooth(21, 13), 80);
  const Bytes large = EncodeJpeg(Smooth(70, 45), 95);
  struct TCase {
    int W, H;
    TPixelFormat Format;
    const Bytes* Data;
    bool SameMemory;
  };
  const TCase cases[] = {
      {70, 45, pf24bit, &small, true},  // smaller: the memory stays
      {70, 45, pf8bit, &small, true},   // a paletted one too
      {10, 10, pf24bit, &large, false},  // larger: new memory
      {0, 0, pf24bit, &large, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.W << "x" << c.H << " format " << c.Format);
    TBitmap b(c.W, c.H, c.Format);
    b.Canvas().Brush.Color = clRed;
    b.SetTransparent(true);
    const std::uint8_t* memory = b.Bits();
    int quality = 0;
    DecodeJpeg(c.Data->data(), c.Data->size(), b, &quality);
    const TBitmap fresh = Decode(*c.Data);
    ASSERT_EQ(b.Width(), fresh.Width());
    ASSERT_EQ(b.Height(), fresh.Height());
    EXPECT_EQ(b.PixelFormat(), pf24bit);
    EXPECT_TRUE(b.Palette().empty());
    EXPECT_EQ(quality, c.Data == &small ? 80 : 95);
    if (c.SameMemory) {
      EXPECT_EQ(b.Bits(), memory);
    }
    for (int y = 0; y < b.Height(); ++y) {
      ASSERT_EQ(std::memcmp(b.ScanLine(y), fresh.ScanLine(y), static_cast<std::size_t>(b.RowStride())), 0)
          << "row " << y;
    }
    EXPECT_EQ(b.Canvas().Brush.Color, clRed);
    EXPECT_TRUE(b.Transparent());
  }
}
