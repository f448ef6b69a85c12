#include "formats/gif/gif_coding.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <thread>

#include "core/exceptions.h"
#include "core/streams.h"
#include "gif_test_util.h"
#include "support/test_support.h"

using giftest::Code;
using giftest::Content;
using giftest::Frame;

namespace {

enum class Coder { LZW, RLE };

std::vector<std::uint8_t> EncodeFrame(const Frame& f, int codeSize, int colors, bool interlaced, Coder coder) {
  TMemoryStream out;
  if (coder == Coder::LZW) {
    TLZWEncoder enc;
    enc.Encode(out, codeSize, colors, f.Pixels, interlaced, f.Height, f.Width);
  } else {
    TRLEEncoder enc;
    enc.Encode(out, codeSize, colors, f.Pixels, interlaced, f.Height, f.Width);
  }
  return out.TakeBytes();
}

struct Decoded {
  std::vector<std::uint8_t> Pixels;
  std::vector<std::string> Warnings;
  std::int64_t EndPosition = 0;
};

Decoded Decode(const std::vector<std::uint8_t>& bytes, int width, int height, bool interlaced,
               std::uint8_t fill = 0) {
  TMemoryStream in(bytes);
  Decoded d;
  TGIFDecodeFrame frame{width, height, interlaced, fill};
  DecodeGIFImageData(in, frame, d.Pixels, [&](TGIFSeverity, const std::string& m) { d.Warnings.push_back(m); });
  d.EndPosition = in.Position();
  return d;
}

int BitsFor(int colors) {
  int bits = 1;
  while ((1 << bits) < colors) ++bits;
  return bits;
}

// The sub-blocks of an image data block (after the code size byte) must
// each hold 1..255 bytes and end with a 0 count exactly at the end.
void ExpectWellFormedSubBlocks(const std::vector<std::uint8_t>& bytes) {
  std::size_t pos = 1;
  while (true) {
    ASSERT_LT(pos, bytes.size());
    const int count = bytes[pos];
    if (count == 0) {
      EXPECT_EQ(pos + 1, bytes.size());
      return;
    }
    pos += 1 + static_cast<std::size_t>(count);
  }
}

// An independent reading of an LZW code stream that reports the highest
// table entry a decoder is made to assign between clears.
int HighestAssignedCode(const std::vector<std::uint8_t>& bytes) {
  const int codeSize = bytes[0];
  std::vector<std::uint8_t> data;
  for (std::size_t pos = 1; pos < bytes.size() && bytes[pos] != 0; pos += 1 + bytes[pos])
    data.insert(data.end(), bytes.begin() + static_cast<std::ptrdiff_t>(pos + 1),
                bytes.begin() + static_cast<std::ptrdiff_t>(pos + 1 + bytes[pos]));
  const int clear = 1 << codeSize;
  int width = codeSize + 1, next = clear + 2, highest = 0;
  bool first = true;
  std::size_t bit = 0;
  while (bit + static_cast<std::size_t>(width) <= data.size() * 8) {
    int code = 0;
    for (int i = 0; i < width; ++i, ++bit)
      code |= ((data[bit / 8] >> (bit % 8)) & 1) << i;
    if (code == clear) {
      width = codeSize + 1;
      next = clear + 2;
      first = true;
      continue;
    }
    if (code == clear + 1) break;
    if (!first && next < 4096) {
      highest = std::max(highest, next);
      ++next;
      if (next == (1 << width) && width < 12) ++width;
    }
    first = false;
  }
  return highest;
}

}  // namespace

// ---------------------------------------------------------------------------
// Round trips

TEST(GifCoding, RoundTripGridThroughOurDecoderGiftopnmAndPillow) {
  const int colorCounts[] = {2, 3, 16, 256};
  const std::pair<int, int> sizes[] = {{1, 1}, {1, 9}, {7, 3}, {64, 64}, {300, 17}};
  const Content contents[] = {Content::Random, Content::Runs, Content::Constant};
  const bool haveGiftopnm = testsupport::HaveTool("/usr/bin/giftopnm");
  const bool havePillow = testsupport::HavePillow();
  testsupport::TempDir dir;
  std::vector<std::string> files;
  std::vector<std::vector<std::uint8_t>> expected;
  std::uint32_t seed = 1;
  for (int colors : colorCounts)
    for (auto [w, h] : sizes)
      for (Content content : contents)
        for (Coder coder : {Coder::LZW, Coder::RLE})
          for (bool interlaced : {false, true}) {
            SCOPED_TRACE(testing::Message() << colors << " colours " << w << "x" << h << " content "
                                            << static_cast<int>(content) << (coder == Coder::LZW ? " LZW" : " RLE")
                                            << (interlaced ? " interlaced" : ""));
            const Frame f = giftest::MakeFrame(w, h, colors, content, seed++);
            const int bits = BitsFor(colors);
            const auto data = EncodeFrame(f, bits, colors, interlaced, coder);
            EXPECT_EQ(data[0], std::max(bits, 2));
            ExpectWellFormedSubBlocks(data);
            const auto back = Decode(data, w, h, interlaced);
            EXPECT_EQ(back.Pixels, f.Pixels);
            EXPECT_TRUE(back.Warnings.empty());
            EXPECT_EQ(back.EndPosition, static_cast<std::int64_t>(data.size()));
            const std::string path = dir.File(giftest::NumberedName("g", files.size(), ".gif"));
            testsupport::WriteBytes(path, giftest::WrapImageData(w, h, bits, interlaced, data));
            files.push_back(path);
            expected.push_back(f.Pixels);
            if (haveGiftopnm) {
              EXPECT_EQ(giftest::GiftopnmReds(path), f.Pixels);
            }
          }
  if (!haveGiftopnm) std::cerr << testsupport::SkipReason("/usr/bin/giftopnm") << "\n";
  if (!havePillow) GTEST_SKIP() << "Pillow is not installed for /usr/bin/python3; its check was skipped";
  const auto pillow = giftest::PillowIndices(files);
  ASSERT_EQ(pillow.size(), files.size());
  for (std::size_t i = 0; i < files.size(); ++i) EXPECT_EQ(pillow[i], expected[i]) << files[i];
}

TEST(GifCoding, LargeFramesRoundTrip) {
  for (Coder coder : {Coder::LZW, Coder::RLE}) {
    const Frame f = giftest::MakeFrame(1000, 1000, 256, coder == Coder::LZW ? Content::Random : Content::Runs, 7);
    const auto data = EncodeFrame(f, 8, 256, coder == Coder::RLE, coder);
    ExpectWellFormedSubBlocks(data);
    EXPECT_EQ(Decode(data, 1000, 1000, coder == Coder::RLE).Pixels, f.Pixels);
  }
}

TEST(GifCoding, InterlacedFramesOfEveryLowHeightKeepAllRows) {
  testsupport::TempDir dir;
  for (int h = 1; h <= 9; ++h)
    for (Coder coder : {Coder::LZW, Coder::RLE}) {
      SCOPED_TRACE(h);
      Frame f;
      f.Width = 3;
      f.Height = h;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < 3; ++x) f.Pixels.push_back(static_cast<std::uint8_t>(y * 3 + x));
      const auto data = EncodeFrame(f, 5, 32, true, coder);
      EXPECT_EQ(Decode(data, 3, h, true).Pixels, f.Pixels);
      if (!testsupport::HaveTool("/usr/bin/giftopnm")) continue;
      const std::string path = dir.File(giftest::NumberedName("h", static_cast<std::size_t>(h), ".gif"));
      testsupport::WriteBytes(path, giftest::WrapImageData(3, h, 5, true, data));
      EXPECT_EQ(giftest::GiftopnmReds(path), f.Pixels);
    }
}

// ---------------------------------------------------------------------------
// Encoder details

TEST(GifCoding, TwoColourFramesUseCodeSizeTwo) {
  const Frame f = giftest::MakeFrame(5, 5, 2, Content::Random, 3);
  for (Coder coder : {Coder::LZW, Coder::RLE}) {
    for (int requested : {0, 1, 2}) {
      const auto data = EncodeFrame(f, requested, 2, false, coder);
      EXPECT_EQ(data[0], 2);
      // The first code is the clear code 4, three bits wide.
      EXPECT_EQ(data[2] & 0x7, 4);
    }
  }
}

TEST(GifCoding, LzwNeverAssignsCode4095) {
  const Frame f = giftest::MakeFrame(400, 400, 256, Content::Random, 11);
  const auto data = EncodeFrame(f, 8, 256, false, Coder::LZW);
  EXPECT_EQ(HighestAssignedCode(data), 4094);
  EXPECT_EQ(Decode(data, 400, 400, false).Pixels, f.Pixels);
}

// The string table is kept per thread from frame to frame: a frame coded
// after others (large ones that fill and clear it, small ones that touch a
// few slots, one that fails part-way) gives the bytes a fresh thread gives.
TEST(GifCoding, LzwTableKeptBetweenFramesCodesLikeAFreshOne) {
  const Frame large = giftest::MakeFrame(300, 300, 256, Content::Random, 5);
  const Frame small = giftest::MakeFrame(7, 5, 16, Content::Random, 9);
  const Frame runs = giftest::MakeFrame(64, 64, 4, Content::Runs, 2);
  auto fresh = [](const Frame& f, int bits, int colors) {
    std::vector<std::uint8_t> out;
    std::thread([&] { out = EncodeFrame(f, bits, colors, false, Coder::LZW); }).join();
    return out;
  };
  const auto expectedSmall = fresh(small, 4, 16);
  const auto expectedRuns = fresh(runs, 2, 4);
  Frame bad = giftest::MakeFrame(50, 50, 16, Content::Random, 4);
  bad.Pixels[2000] = 16;
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    EncodeFrame(large, 8, 256, false, Coder::LZW);
    EXPECT_EQ(EncodeFrame(small, 4, 16, false, Coder::LZW), expectedSmall);
    EXPECT_EQ(EncodeFrame(runs, 2, 4, false, Coder::LZW), expectedRuns);
    EXPECT_THROW(EncodeFrame(bad, 4, 16, false, Coder::LZW), GIFException);
    EXPECT_EQ(EncodeFrame(small, 4, 16, false, Coder::LZW), expectedSmall);
  }
}

TEST(GifCoding, PixelAtTheColourCountIsRejected) {
  Frame f = giftest::MakeFrame(4, 4, 5, Content::Random, 5);
  f.Pixels[9] = 5;
  for (Coder coder : {Coder::LZW, Coder::RLE}) {
    try {
      EncodeFrame(f, 3, 5, false, coder);
      ADD_FAILURE() << "no exception";
    } catch (const GIFException& e) {
      EXPECT_STREQ(e.what(), "Color not in color table");
    }
  }
  // A colour count larger than the code size can express is cut to it.
  f.Pixels[9] = 4;
  EXPECT_THROW(EncodeFrame(f, 2, 256, false, Coder::LZW), GIFException);
}

TEST(GifCoding, EncoderRejectsCodeSizesAboveEight) {
  const Frame f = giftest::MakeFrame(2, 2, 2, Content::Random, 1);
  EXPECT_THROW(EncodeFrame(f, 9, 2, false, Coder::LZW), GIFException);
  EXPECT_THROW(EncodeFrame(f, 255, 2, false, Coder::RLE), GIFException);
}

TEST(GifCoding, EmptyFrameWritesOnlyTheEndCode) {
  TMemoryStream out;
  TLZWEncoder enc;
  enc.Encode(out, 2, 4, {}, false, 0, 0);
  // Code size, one sub-block of one byte holding the end code 5, terminator.
  EXPECT_EQ(out.Bytes(), (std::vector<std::uint8_t>{2, 1, 5, 0}));
}

TEST(GifCoding, RunLengthSquareRootAndTriangleCount) {
  for (unsigned x = 0; x < 5000; ++x) {
    const unsigned r = TRLEEncoder::IntSqrt(x);
    EXPECT_LE(r, x < 2 ? x : static_cast<unsigned>(std::sqrt(static_cast<double>(x))) + 1) << x;
  }
  // Against a direct count: whole triangles of n codes, then the smallest
  // k with k(k+1) >= 2r for the rest.
  for (unsigned n : {1u, 2u, 5u, 4091u})
    for (unsigned count = 0; count < 3000; count += 7) {
      unsigned cost = 0, left = count;
      const unsigned per = n * (n + 1) / 2;
      while (left >= per) {
        cost += n;
        left -= per;
      }
      if (left) {
        unsigned k = 0;
        while (k * (k + 1) < 2 * left) ++k;
        cost += k;
      }
      EXPECT_EQ(TRLEEncoder::TriangleCount(count, n), cost) << count << " " << n;
    }
}

TEST(GifCoding, SubBlockStreamRefusesReadingAndSeeking) {
  TMemoryStream target;
  TGIFWriter writer(target);
  char c;
  EXPECT_THROW(writer.Read(&c, 1), EStreamError);
  EXPECT_THROW(writer.Seek(0, TSeekOrigin::soBeginning), EStreamError);
  EXPECT_THROW(writer.SetSize(3), EStreamError);
  std::vector<std::uint8_t> bytes(600, 0xAB);
  writer.WriteBuffer(bytes.data(), 600);
  writer.Flush();
  ASSERT_EQ(target.Size(), 3 + 600);
  EXPECT_EQ(target.Bytes()[0], 255);
  EXPECT_EQ(target.Bytes()[256], 255);
  EXPECT_EQ(target.Bytes()[512], 90);
}

// ---------------------------------------------------------------------------
// Decoder survival

TEST(GifDecoder, SubBlockCountPastTheEndWarnsOnceAndKeepsWhatIsThere) {
  const Frame f = giftest::MakeFrame(30, 30, 16, Content::Random, 9);
  auto data = EncodeFrame(f, 4, 16, false, Coder::LZW);
  data.resize(data.size() / 2);  // the last sub-block now claims too much
  const auto d = Decode(data, 30, 30, false, 7);
  ASSERT_EQ(d.Warnings.size(), 1u);
  EXPECT_EQ(d.Warnings[0], "Premature end of data");
  // A prefix decodes, the rest keeps the fill value.
  std::size_t same = 0;
  while (same < f.Pixels.size() && d.Pixels[same] == f.Pixels[same]) ++same;
  EXPECT_GT(same, 100u);
  EXPECT_EQ(d.Pixels.back(), 7);
}

TEST(GifDecoder, MissingEndCodeLeavesTheFillValue) {
  // Clear and four pixels filling exactly two bytes, then the
  // terminator: no end code.
  const auto data = giftest::PackCodes(2, {{4, 3}, {1, 3}, {2, 3}, {1, 3}, {0, 4}});
  const auto d = Decode(data, 6, 1, false, 3);
  EXPECT_EQ(d.Pixels, (std::vector<std::uint8_t>{1, 2, 1, 0, 3, 3}));
  EXPECT_EQ(d.Warnings, std::vector<std::string>{"Decoder bit buffer under-run"});
  EXPECT_EQ(d.EndPosition, static_cast<std::int64_t>(data.size()));
}

TEST(GifDecoder, StreamWithoutLeadingClearCode) {
  const auto data = giftest::PackCodes(2, {{1, 3}, {1, 3}, {6, 3}, {5, 4}});
  EXPECT_EQ(Decode(data, 5, 1, false).Pixels, (std::vector<std::uint8_t>{1, 1, 1, 1, 0}));
}

TEST(GifDecoder, TrailingDataIsSkippedUpToTheTerminator) {
  // Two pixels, then junk codes and a second sub-block before the
  // terminator; the next block of the file must start right after it.
  auto data = giftest::PackCodes(2, {{4, 3}, {1, 3}, {2, 3}, {3, 3}, {0, 3}, {1, 3}}, false);
  data.insert(data.end(), {3, 9, 9, 9, 0, '!', 0xF9});
  const auto d = Decode(data, 2, 1, false);
  EXPECT_EQ(d.Pixels, (std::vector<std::uint8_t>{1, 2}));
  EXPECT_EQ(d.EndPosition, static_cast<std::int64_t>(data.size() - 2));
}

TEST(GifDecoder, CodeAboveTheNextFreeCodeEndsTheFrame) {
  // After clear and one pixel the next free code is 6; 7 cannot exist.
  const auto data = giftest::PackCodes(2, {{4, 3}, {1, 3}, {7, 3}, {1, 3}, {1, 4}});
  const auto d = Decode(data, 4, 1, false, 2);
  EXPECT_EQ(d.Pixels, (std::vector<std::uint8_t>{1, 2, 2, 2}));
  ASSERT_EQ(d.Warnings.size(), 1u);
  EXPECT_EQ(d.Warnings[0], "Invalid LZW code");
  EXPECT_EQ(d.EndPosition, static_cast<std::int64_t>(data.size()));
}

TEST(GifDecoder, ChainsThatWouldLoopAreRefused) {
  // Codes that keep pointing one past the table, then reuse of entries
  // that reference themselves in an unchecked decoder.
  std::vector<Code> codes{{4, 3}, {1, 3}};
  int width = 3, next = 6;
  for (int i = 0; i < 5000; ++i) {
    codes.push_back({next + (i % 3), width});
    ++next;
    if (next == (1 << width) && width < 12) ++width;
  }
  const auto d = Decode(giftest::PackCodes(2, codes), 64, 64, false);
  EXPECT_FALSE(d.Warnings.empty());
}

TEST(GifDecoder, FirstCodeAfterClearMustBeARoot) {
  const auto data = giftest::PackCodes(2, {{4, 3}, {6, 3}, {1, 3}});
  const auto d = Decode(data, 2, 1, false);
  EXPECT_EQ(d.Pixels, (std::vector<std::uint8_t>{0, 0}));
  EXPECT_EQ(d.Warnings, std::vector<std::string>{"Invalid LZW code"});
}

TEST(GifDecoder, InvalidCodeSizesRaise) {
  for (int size : {12, 255}) {
    std::vector<std::uint8_t> data{static_cast<std::uint8_t>(size), 2, 0xFF, 0xFF, 0};
    try {
      Decode(data, 4, 4, false);
      ADD_FAILURE() << size;
    } catch (const GIFException& e) {
      EXPECT_STREQ(e.what(), "Invalid GIF code size");
    }
  }
  // Size 11 is the largest whose clear code fits the table.
  EXPECT_NO_THROW(Decode({11, 2, 0xFF, 0xFF, 0}, 4, 4, false));
}

// Code sizes 0 and 1 have their clear code inside the table: they decode
// with one or two roots and codes that start one or two bits wide, and
// widen after each entry that brings the next code to 2^width, as netpbm
// reads them too.
TEST(GifDecoder, CodeSizesZeroAndOneDecodeAsTheyStand) {
  struct Case {
    int CodeSize;
    std::vector<Code> Codes;
    std::vector<std::uint8_t> Pixels;
  };
  const Case cases[] = {
      // clear, 0, 0 (entry 3 "00", now 2 bits), 3 (entry 4, now 3 bits),
      // 5 = the next code "000", end.
      {0, {{1, 1}, {0, 1}, {0, 1}, {3, 2}, {5, 3}, {2, 3}}, {0, 0, 0, 0, 0, 0, 0}},
      // clear, 1, 0 (entry 4 "10", now 3 bits), 4, 6 = the next code
      // "101", 5 "01" (entry 7, now 4 bits), end.
      {1, {{2, 2}, {1, 2}, {0, 2}, {4, 3}, {6, 3}, {5, 3}, {3, 4}}, {1, 0, 1, 0, 1, 0, 1, 0, 1}},
  };
  const bool haveGiftopnm = testsupport::HaveTool("/usr/bin/giftopnm");
  testsupport::TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.CodeSize);
    const auto data = giftest::PackCodes(c.CodeSize, c.Codes);
    const int width = static_cast<int>(c.Pixels.size());
    // The fill value would show any pixel the data did not reach.
    const auto back = Decode(data, width, 1, false, 9);
    EXPECT_EQ(back.Pixels, c.Pixels);
    EXPECT_EQ(back.Warnings, std::vector<std::string>{});
    if (haveGiftopnm) {
      const std::string path = dir.File("f.gif");
      testsupport::WriteBytes(path, giftest::WrapImageData(width, 1, 1, false, data));
      EXPECT_EQ(giftest::GiftopnmReds(path), c.Pixels);
    }
  }
}

TEST(GifDecoder, EmptyAndTruncatedInputs) {
  EXPECT_EQ(Decode({}, 3, 1, false, 5).Pixels, (std::vector<std::uint8_t>{5, 5, 5}));
  EXPECT_EQ(Decode({2}, 3, 1, false, 5).Pixels, (std::vector<std::uint8_t>{5, 5, 5}));
  EXPECT_EQ(Decode({2, 0}, 3, 1, false).Pixels, (std::vector<std::uint8_t>{0, 0, 0}));
  EXPECT_TRUE(Decode({2, 1, 0x4C, 0}, 0, 0, false).Pixels.empty());
}

TEST(GifDecoder, ReadsCodesAcrossOneByteSubBlocks) {
  const Frame f = giftest::MakeFrame(40, 40, 256, Content::Random, 21);
  const auto packed = EncodeFrame(f, 8, 256, false, Coder::LZW);
  // Re-cut the data into sub-blocks of one byte each.
  std::vector<std::uint8_t> data;
  for (std::size_t pos = 1; pos < packed.size() && packed[pos] != 0; pos += 1 + packed[pos])
    data.insert(data.end(), packed.begin() + static_cast<std::ptrdiff_t>(pos + 1),
                packed.begin() + static_cast<std::ptrdiff_t>(pos + 1 + packed[pos]));
  std::vector<std::uint8_t> recut{8};
  for (auto b : data) {
    recut.push_back(1);
    recut.push_back(b);
  }
  recut.push_back(0);
  EXPECT_EQ(Decode(recut, 40, 40, false).Pixels, f.Pixels);
}
