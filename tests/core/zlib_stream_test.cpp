// The zlib state the packed streams and the PNG codec share, checked
// against Python's zlib module as the independent side.

#include "core/zlib_stream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Sample(std::size_t size) {
  Bytes b(size);
  std::uint32_t x = 12345;
  for (std::size_t i = 0; i < size; ++i) {
    x = x * 1103515245u + 12345u;
    // Runs and noise, so that deflate has something to find.
    b[i] = (i / 64) % 3 == 0 ? static_cast<std::uint8_t>(i / 64) : static_cast<std::uint8_t>(x >> 24);
  }
  return b;
}

// Deflates through output pieces of the given size.
Bytes DeflateAll(const Bytes& plain, int level, std::size_t outPiece) {
  TZlibStream z(TZlibStream::zdDeflate, level);
  EXPECT_EQ(z.InitResult(), Z_OK);
  z.SetInput(plain.data(), plain.size());
  Bytes out;
  Bytes piece(outPiece);
  int rc = Z_OK;
  do {
    z.SetOutput(piece.data(), piece.size());
    rc = z.Deflate(true);
    EXPECT_GE(rc, 0);
    out.insert(out.end(), piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(piece.size() - z.OutputLeft()));
  } while (rc != Z_STREAM_END);
  EXPECT_EQ(z.TotalIn(), plain.size());
  EXPECT_EQ(z.TotalOut(), out.size());
  EXPECT_EQ(z.InputLeft(), 0u);
  return out;
}

// Inflates, handing the input over in pieces of the given size.
Bytes InflateAll(const Bytes& packed, std::size_t inPiece) {
  TZlibStream z(TZlibStream::zdInflate);
  EXPECT_EQ(z.InitResult(), Z_OK);
  Bytes out(1 << 20);
  z.SetOutput(out.data(), out.size());
  std::size_t given = 0;
  int rc = Z_OK;
  while (rc != Z_STREAM_END) {
    if (z.InputLeft() == 0) {
      if (given == packed.size()) break;
      const std::size_t n = std::min(inPiece, packed.size() - given);
      z.SetInput(packed.data() + given, n);
      given += n;
    }
    rc = z.Inflate();
    if (rc < 0) break;
  }
  EXPECT_EQ(rc, Z_STREAM_END);
  out.resize(out.size() - z.OutputLeft());
  return out;
}

std::string Hex(const Bytes& b) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  for (std::uint8_t v : b) {
    s += digits[v >> 4];
    s += digits[v & 15];
  }
  return s;
}

}  // namespace

TEST(ZlibStream, RoundTripsThroughAnyPieceSizesAndPythonAgrees) {
  const bool python = testsupport::HaveTool("/usr/bin/python3");
  for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{5000}, std::size_t{300000}}) {
    const Bytes plain = Sample(size);
    for (const int level : {Z_NO_COMPRESSION, Z_BEST_SPEED, Z_DEFAULT_COMPRESSION, Z_BEST_COMPRESSION}) {
      for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{65536}}) {
        if (piece == 1 && size > 5000) continue;  // one byte at a time is slow under the sanitizers
        const Bytes packed = DeflateAll(plain, level, piece);
        EXPECT_EQ(InflateAll(packed, piece), plain) << size << " " << level << " " << piece;
      }
      if (!python || size > 5000) continue;
      // Python unpacks ours and packs what we unpack.
      const Bytes packed = DeflateAll(plain, level, 4096);
      const testsupport::CommandResult r = testsupport::Run(
          {"/usr/bin/python3", "-c",
           "import sys, zlib; d = zlib.decompress(bytes.fromhex(sys.stdin.read())); "
           "sys.stdout.write(d.hex() + ' ' + zlib.compress(d, 9).hex())"},
          Hex(packed));
      ASSERT_EQ(r.ExitCode, 0) << r.Err;
      const std::size_t blank = r.Out.find(' ');
      ASSERT_NE(blank, std::string::npos);
      EXPECT_EQ(r.Out.substr(0, blank), Hex(plain));
      Bytes theirs;
      for (std::size_t i = blank + 1; i + 1 < r.Out.size(); i += 2) {
        theirs.push_back(static_cast<std::uint8_t>(std::stoi(r.Out.substr(i, 2), nullptr, 16)));
      }
      EXPECT_EQ(InflateAll(theirs, 3), plain);
    }
  }
}

TEST(ZlibStream, ResetEndAndMisuseReportZlibsCodes) {
  const Bytes plain = Sample(1000);
  const Bytes packed = DeflateAll(plain, Z_DEFAULT_COMPRESSION, 100);
  TZlibStream z(TZlibStream::zdInflate);
  Bytes out(2000);
  for (int round = 0; round < 2; ++round) {
    z.SetInput(packed.data(), packed.size());
    z.SetOutput(out.data(), out.size());
    EXPECT_EQ(z.Inflate(), Z_STREAM_END) << round;
    EXPECT_EQ(z.TotalOut(), plain.size());
    EXPECT_EQ(z.Reset(), Z_OK);
    EXPECT_EQ(z.InputLeft(), 0u);
    EXPECT_EQ(z.TotalOut(), 0u);
  }
  EXPECT_EQ(z.Deflate(true), Z_STREAM_ERROR);  // an inflating stream
  EXPECT_EQ(z.End(), Z_OK);
  EXPECT_EQ(z.Inflate(), Z_STREAM_ERROR);  // ended
  EXPECT_EQ(z.End(), Z_OK);                // a second end does nothing

  TZlibStream bad(TZlibStream::zdDeflate, 42);
  EXPECT_EQ(bad.InitResult(), Z_STREAM_ERROR);
  EXPECT_EQ(bad.Deflate(true), Z_STREAM_ERROR);

  // Damaged data are zlib's data error.
  Bytes damaged = packed;
  damaged[0] ^= 0xFF;
  TZlibStream d(TZlibStream::zdInflate);
  d.SetInput(damaged.data(), damaged.size());
  d.SetOutput(out.data(), out.size());
  EXPECT_EQ(d.Inflate(), Z_DATA_ERROR);
}

TEST(ZlibStream, Crc32IsZlibsAndContinuesAcrossPieces) {
  const std::string check = "123456789";
  const auto* data = reinterpret_cast<const std::uint8_t*>(check.data());
  EXPECT_EQ(Crc32(0, data, check.size()), 0xCBF43926u);
  EXPECT_EQ(Crc32(Crc32(0, data, 4), data + 4, 5), 0xCBF43926u);
  // Nothing more leaves the crc as it was, with or without a pointer.
  EXPECT_EQ(Crc32(0xCBF43926u, nullptr, 0), 0xCBF43926u);
  EXPECT_EQ(Crc32(0xCBF43926u, data, 0), 0xCBF43926u);
  EXPECT_EQ(Crc32(0, nullptr, 0), 0u);
  // "IEND" with no data, as every PNG file ends.
  const std::uint8_t iend[4] = {'I', 'E', 'N', 'D'};
  EXPECT_EQ(Crc32(Crc32(0, iend, 4), nullptr, 0), 0xAE426082u);
}
