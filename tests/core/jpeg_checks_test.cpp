// What the JPEG decoder checks beyond libjpeg's own errors: Huffman data
// too short to hold the picture their header claims (refused before the
// picture is allocated), and data that end before the picture does
// (reported beside the picture, which comes back with the rest grey).

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/exceptions.h"
#include "core/jpeg.h"
#include "core/streams.h"
#include "support/allocation_watch.h"
#include "support/test_support.h"

using testsupport::HaveTool;

namespace {

using Bytes = std::vector<std::uint8_t>;

const std::string kCjpeg = "/usr/bin/cjpeg";

// A picture of horizontal stripes, so that every row differs from the
// one above.
TBitmap Stripes(int w, int h) {
  TBitmap b(w, h, pf24bit);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) b.Canvas().SetPixel(x, y, RGB(y * 40 % 256, x * 3 % 256, (x + y) % 256));
  }
  return b;
}

// cjpeg's file of a picture given as a binary portable pixmap.
Bytes Cjpeg(const std::vector<std::string>& options, const std::string& ppm) {
  std::vector<std::string> argv{kCjpeg};
  argv.insert(argv.end(), options.begin(), options.end());
  const testsupport::CommandResult r = testsupport::Run(argv, ppm);
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  return Bytes(r.Out.begin(), r.Out.end());
}

std::string FlatPpm(int w, int h, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  std::string ppm = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
  for (int i = 0; i < w * h; ++i) ppm += {static_cast<char>(r), static_cast<char>(g), static_cast<char>(b)};
  return ppm;
}

// The file with the width and height of its frame header set.
Bytes WithSize(Bytes jpeg, int w, int h) {
  for (std::size_t i = 2; i + 9 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] >= 0xC0 && jpeg[i + 1] <= 0xC2) {
      jpeg[i + 5] = static_cast<std::uint8_t>(h >> 8);
      jpeg[i + 6] = static_cast<std::uint8_t>(h);
      jpeg[i + 7] = static_cast<std::uint8_t>(w >> 8);
      jpeg[i + 8] = static_cast<std::uint8_t>(w);
      return jpeg;
    }
  }
  ADD_FAILURE() << "no frame header";
  return jpeg;
}

// Where the scan headers start.
std::vector<std::size_t> Scans(const Bytes& jpeg) {
  std::vector<std::size_t> at;
  for (std::size_t i = 2; i + 1 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) at.push_back(i);
  }
  return at;
}

}  // namespace

// Files of a few hundred bytes whose frame header claims 16384 x 16384
// pixels: Huffman coding needs a bit for each block of a component's DC
// scan, which they cannot hold, so they fail before the picture (768 MB)
// is allocated. Until then they loaded, grey below their few rows.
TEST(JpegChecks, HuffmanDataTooShortForThePictureFailBeforeItIsAllocated) {
  std::vector<std::pair<std::string, Bytes>> files{{"baseline 4:2:0", EncodeJpeg(Stripes(64, 16), 75)}};
  if (HaveTool(kCjpeg)) {
    const std::string ppm = testsupport::PpmOf(Stripes(64, 16));
    files.push_back({"progressive", Cjpeg({"-progressive"}, ppm)});
    files.push_back({"progressive grey", Cjpeg({"-progressive", "-grayscale"}, ppm)});
    files.push_back({"restart every block", Cjpeg({"-restart", "1B", "-sample", "1x1"}, ppm)});
  }
  for (const auto& [name, small] : files) {
    SCOPED_TRACE(name);
    const Bytes claim = WithSize(small, 16384, 16384);
    ASSERT_LT(claim.size(), 4096u);
    testsupport::TLargestAllocation watch;
    TBitmap kept(3, 2, pf24bit);
    try {
      DecodeJpeg(claim.data(), claim.size(), kept);
      ADD_FAILURE() << "decoded";
    } catch (const EJPEG& e) {
      EXPECT_STREQ(e.what(), "JPEG file is too short for its 16384 x 16384 pixels");
    }
    EXPECT_LT(watch.Bytes(), 8u << 20);
    EXPECT_EQ(kept.Width(), 3) << "the picture stays as it was";
  }
}

// Pictures of one colour as tightly as cjpeg packs them, within a few bits
// a block of the bound, load; so do arithmetic-coded ones, which the bound
// does not cover.
TEST(JpegChecks, PicturesPackedAsTightlyAsTheCodingAllowsLoad) {
  if (!HaveTool(kCjpeg)) GTEST_SKIP() << testsupport::SkipReason(kCjpeg);
  const std::string ppm = FlatPpm(2048, 1024, 30, 60, 90);
  const struct {
    const char* Name;
    std::vector<std::string> Options;
    bool Grey;
  } cases[] = {
      {"optimised", {"-optimize"}, false},
      {"progressive grey", {"-progressive", "-optimize", "-grayscale"}, true},
      {"restart every row", {"-optimize", "-restart", "1"}, false},
      {"arithmetic", {"-arithmetic"}, false},
      {"arithmetic progressive grey", {"-arithmetic", "-progressive", "-grayscale"}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const Bytes file = Cjpeg(c.Options, ppm);
    // Blocks of the smallest component (chroma at half size, or grey).
    const std::size_t blocks = c.Grey ? 256 * 128 : 128 * 64;
    if (std::string(c.Name).find("arithmetic") == std::string::npos) {
      EXPECT_LT(file.size() * 8, blocks * 16) << "within 16 bits a block of the bound";
    }
    TBitmap b;
    ASSERT_NO_THROW(DecodeJpeg(file.data(), file.size(), b));
    EXPECT_EQ(b.Width(), 2048);
    const TColor c2 = b.GetPixelColor(2047, 1023);
    if (c.Grey) {
      EXPECT_NEAR(GetRValue(c2), 54, 2);
    } else {
      EXPECT_NEAR(GetRValue(c2), 30, 2);
      EXPECT_NEAR(GetBValue(c2), 90, 2);
    }
  }
}

// Data that end early give the picture, grey where they do not reach, and
// libjpeg's words for it; whole data say nothing. So does the image class.
TEST(JpegChecks, DataThatEndEarlyAreReported) {
  std::vector<std::pair<std::string, Bytes>> files{{"baseline", EncodeJpeg(Stripes(64, 48), 90)}};
  if (HaveTool(kCjpeg)) files.push_back({"progressive", Cjpeg({"-progressive"}, testsupport::PpmOf(Stripes(64, 48)))});
  for (const auto& [name, whole] : files) {
    SCOPED_TRACE(name);
    TBitmap b;
    TJpegDecodeInfo info;
    DecodeJpeg(whole.data(), whole.size(), b, info);
    EXPECT_EQ(info.EndedEarly, "");
    // Within the one scan, or between the scans of a progressive file.
    const std::vector<std::size_t> scans = Scans(whole);
    ASSERT_FALSE(scans.empty());
    const std::size_t end = scans.size() > 2 ? scans[2] : scans[0] + (whole.size() - scans[0]) / 3;
    const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(end));
    DecodeJpeg(cut.data(), cut.size(), b, info);
    EXPECT_EQ(info.EndedEarly, "Premature end of JPEG file");
    EXPECT_EQ(b.Height(), 48);
    if (scans.size() == 1) {
      // Rows the scan did not reach are grey; a progressive file's first
      // scans already reach them all, coarsely.
      const TColor bottom = b.GetPixelColor(63, 47);
      EXPECT_NEAR(GetRValue(bottom), 128, 2);
      EXPECT_NEAR(GetGValue(bottom), 128, 2);
    }

    TJPEGImage image;
    TMemoryStream in(cut);
    image.LoadFromStream(in);
    EXPECT_EQ(image.EndedEarly(), "Premature end of JPEG file");
    TMemoryStream again(whole);
    image.LoadFromStream(again);
    EXPECT_EQ(image.EndedEarly(), "");
  }
  // A scan's data cut and closed by the end-of-image marker.
  const Bytes whole = files[0].second;
  Bytes closed(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(whole.size() / 2));
  closed.insert(closed.end(), {0xFF, 0xD9});
  TBitmap b;
  TJpegDecodeInfo info;
  DecodeJpeg(closed.data(), closed.size(), b, info);
  EXPECT_EQ(info.EndedEarly, "Corrupt JPEG data: premature end of data segment");
}
