#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <span>

#include "app/routines.h"
#include "core/exceptions.h"
#include "core/zlib_stream.h"
#include "support/test_support.h"

namespace {

std::vector<std::uint8_t> Pack(const std::vector<std::uint8_t>& plain, int level = zcDefault) {
  TMemoryStream source(plain);
  TMemoryStream dest;
  EXPECT_TRUE(CompressStream(level, source, dest));
  EXPECT_EQ(source.Bytes(), dest.Bytes());
  return dest.Bytes();
}

bool Unpack(const std::vector<std::uint8_t>& packed, std::vector<std::uint8_t>& out) {
  TMemoryStream source(packed);
  TMemoryStream dest;
  const bool ok = DecompressStream(source, dest);
  out = dest.Bytes();
  return ok;
}

std::vector<std::uint8_t> Noise(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::vector<std::uint8_t> v(n);
  for (auto& b : v) b = static_cast<std::uint8_t>(gen() & 0x0F);  // compressible, not trivially
  return v;
}

std::string AsString(const std::vector<std::uint8_t>& v) { return std::string(v.begin(), v.end()); }

}  // namespace

TEST(PackedStream, RoundTripsAtEveryLevel) {
  for (int level : {zcNone, zcFastest, zcDefault, zcMax}) {
    for (std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{70000}, std::size_t{300000}}) {
      const auto plain = Noise(n, static_cast<unsigned>(n + level));
      const auto packed = Pack(plain, level);
      ASSERT_GE(packed.size(), 4u);
      EXPECT_EQ(packed[0] | packed[1] << 8 | packed[2] << 16 | static_cast<std::size_t>(packed[3]) << 24, n);
      std::vector<std::uint8_t> back;
      ASSERT_TRUE(Unpack(packed, back)) << "level " << level << " size " << n;
      EXPECT_EQ(back, plain);
    }
  }
  TMemoryStream source;
  TMemoryStream dest;
  EXPECT_FALSE(CompressStream(7, source, dest));
}

TEST(PackedStream, UnpackingAppendsAndRewinds) {
  const auto packed = Pack({'x', 'y'});
  TMemoryStream source(packed);
  TMemoryStream dest(std::vector<std::uint8_t>{'a', 'b'});
  dest.SetPosition(1);
  ASSERT_TRUE(DecompressStream(source, dest));
  EXPECT_EQ(AsString(dest.Bytes()), "abxy");
  EXPECT_EQ(dest.Position(), 0);
}

TEST(PackedStream, AgreesWithZlibOfPython) {
  if (!testsupport::HaveTool("/usr/bin/python3")) GTEST_SKIP() << testsupport::SkipReason("/usr/bin/python3");
  const auto plain = Noise(50000, 7);
  const auto packed = Pack(plain);
  // Ours read by Python: the length and a plain zlib stream.
  auto r = testsupport::Run({"/usr/bin/python3", "-c",
                             "import sys, zlib, struct\n"
                             "d = sys.stdin.buffer.read()\n"
                             "n = struct.unpack('<I', d[:4])[0]\n"
                             "u = zlib.decompress(d[4:])\n"
                             "assert n == len(u)\n"
                             "sys.stdout.buffer.write(u)"},
                            AsString(packed));
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(r.Out, AsString(plain));

  // Python's read by us, empty and not.
  for (const char* code : {"b''", "bytes(range(256)) * 999"}) {
    auto p = testsupport::Run({"/usr/bin/python3", "-c",
                               std::string("import sys, zlib, struct\nu = ") + code +
                                   "\nsys.stdout.buffer.write(struct.pack('<I', len(u)) + zlib.compress(u, 9))"});
    ASSERT_EQ(p.ExitCode, 0) << p.Err;
    std::vector<std::uint8_t> back;
    ASSERT_TRUE(Unpack(std::vector<std::uint8_t>(p.Out.begin(), p.Out.end()), back));
    EXPECT_EQ(back.size(), std::string(code) == "b''" ? 0u : 256u * 999u);
  }
}

TEST(PackedStream, RejectsDamagedAndLyingStreams) {
  const auto plain = Noise(20000, 3);
  const auto packed = Pack(plain);
  std::vector<std::uint8_t> out;

  auto damaged = packed;
  damaged[damaged.size() / 2] ^= 0x55;
  EXPECT_FALSE(Unpack(damaged, out));
  EXPECT_TRUE(out.empty());

  auto truncated = packed;
  truncated.resize(packed.size() - 10);
  EXPECT_FALSE(Unpack(truncated, out));

  for (std::uint32_t length : {0xFFFFFFFFu, 20001u, 19999u, 0u, MaxUnpackedLength + 1}) {
    auto lying = packed;
    lying[0] = static_cast<std::uint8_t>(length);
    lying[1] = static_cast<std::uint8_t>(length >> 8);
    lying[2] = static_cast<std::uint8_t>(length >> 16);
    lying[3] = static_cast<std::uint8_t>(length >> 24);
    EXPECT_FALSE(Unpack(lying, out)) << length;
    EXPECT_TRUE(out.empty());
  }

  EXPECT_FALSE(Unpack({}, out));
  EXPECT_FALSE(Unpack({0, 0, 0}, out));
  EXPECT_FALSE(Unpack({0, 0, 0, 0}, out));  // no zlib stream at all

  // A gigabyte promised by a dozen bytes is refused before any work.
  EXPECT_FALSE(Unpack({0, 0, 0, 0x40, 0x78, 0x9C, 0x03, 0, 0, 0, 0, 1}, out));
}

TEST(PackedStream, EmptySourceIsFourZerosAndAnEmptyZlibStream) {
  const auto packed = Pack({});
  ASSERT_GT(packed.size(), 4u);
  EXPECT_EQ(packed[0] | packed[1] | packed[2] | packed[3], 0);
  EXPECT_EQ(packed[4], 0x78);
  std::vector<std::uint8_t> back{1};
  EXPECT_TRUE(Unpack(packed, back));
  EXPECT_TRUE(back.empty());
}

TEST(PackedStream, PiecesPackAsTheirJoinAndUnpackInOrder) {
  const auto a = Noise(70000, 11);
  const auto b = Noise(5, 12);
  const auto c = Noise(40000, 13);
  std::vector<std::uint8_t> joined(a);
  joined.insert(joined.end(), b.begin(), b.end());
  joined.insert(joined.end(), c.begin(), c.end());
  const std::vector<std::uint8_t> none;
  for (int level : {zcNone, zcFastest, zcDefault, zcMax}) {
    SCOPED_TRACE(level);
    const std::span<const std::uint8_t> pieces[] = {none, a, b, none, c};
    const auto packed = PackBytes(level, pieces);
    std::vector<std::uint8_t> back;
    ASSERT_TRUE(UnpackBytes(packed, back));
    EXPECT_EQ(back, joined);
    // The sink sees every byte once, at its offset, in pieces no larger
    // than a small buffer.
    std::vector<std::uint8_t> sunk;
    std::size_t largest = 0;
    ASSERT_TRUE(UnpackBytes(packed, [&](std::uint64_t offset, std::span<const std::uint8_t> piece) {
      EXPECT_EQ(offset, sunk.size());
      largest = std::max(largest, piece.size());
      sunk.insert(sunk.end(), piece.begin(), piece.end());
    }));
    EXPECT_EQ(sunk, joined);
    EXPECT_LE(largest, 65536u);
  }
  EXPECT_THROW(PackBytes(7, std::span<const std::uint8_t>(a)), Exception);
  // What DecompressStream refuses, UnpackBytes refuses and leaves plain alone.
  std::vector<std::uint8_t> kept{9};
  EXPECT_FALSE(UnpackBytes(std::vector<std::uint8_t>{0, 0, 0, 0x40, 0x78, 0x9C, 3, 0}, kept));
  EXPECT_EQ(kept, std::vector<std::uint8_t>{9});
}

TEST(PackedStream, AKeptDeflateStateStartsAfreshForEveryStream) {
  TZlibStream deflater(TZlibStream::zdDeflate, Z_BEST_SPEED);
  for (unsigned seed : {1u, 2u, 3u}) {
    const auto plain = Noise(30000 * seed, seed);
    const std::span<const std::uint8_t> pieces[] = {plain};
    std::vector<std::uint8_t> back;
    ASSERT_TRUE(UnpackBytes(PackBytes(deflater, pieces), back));
    EXPECT_EQ(back, plain);
  }
}
