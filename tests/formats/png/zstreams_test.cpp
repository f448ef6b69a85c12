#include "formats/png/zstreams.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <vector>

namespace {

std::vector<std::uint8_t> Sample(std::size_t n) {
  std::vector<std::uint8_t> v(n);
  std::uint32_t s = 12345;
  for (std::size_t i = 0; i < n; ++i) {
    s = s * 1103515245u + 12345u;
    // Half noise, half runs: packs to more than one 64 KB buffer.
    v[i] = (i / 1000) % 2 ? static_cast<std::uint8_t>(s >> 16) : static_cast<std::uint8_t>(i / 1000);
  }
  return v;
}

std::vector<std::uint8_t> Pack(const std::vector<std::uint8_t>& data, TZCompressionLevel level) {
  TMemoryStream out;
  TZCompressionStream z(level, out);
  z.WriteBuffer(data.data(), static_cast<std::int64_t>(data.size()));
  EXPECT_EQ(z.Position(), static_cast<std::int64_t>(data.size()));
  z.Finish();
  return out.TakeBytes();
}

std::vector<std::uint8_t> ZlibInflate(const std::vector<std::uint8_t>& packed, std::size_t expected) {
  std::vector<std::uint8_t> out(expected);
  uLongf n = static_cast<uLongf>(expected);
  EXPECT_EQ(uncompress(out.data(), &n, packed.data(), static_cast<uLong>(packed.size())), Z_OK);
  out.resize(n);
  return out;
}

TEST(ZStreams, EveryLevelPacksWhatZlibUnpacks) {
  const auto data = Sample(300000);
  for (auto level : {TZCompressionLevel::zcNone, TZCompressionLevel::zcFastest, TZCompressionLevel::zcDefault,
                     TZCompressionLevel::zcMax}) {
    auto packed = Pack(data, level);
    EXPECT_EQ(ZlibInflate(packed, data.size()), data);
    if (level == TZCompressionLevel::zcNone) {
      EXPECT_GT(packed.size(), data.size());
    }
  }
  EXPECT_EQ(ZLibLevel(TZCompressionLevel::zcNone), 0);
  EXPECT_EQ(ZLibLevel(TZCompressionLevel::zcFastest), 1);
  EXPECT_EQ(ZLibLevel(TZCompressionLevel::zcDefault), -1);
  EXPECT_EQ(ZLibLevel(TZCompressionLevel::zcMax), 9);
}

TEST(ZStreams, CompressionReportsProgressAndRejectsReading) {
  TMemoryStream out;
  int reports = 0;
  {
    TZCompressionStream z(TZCompressionLevel::zcNone, out);
    z.OnProgress = [&](TCustomZStream&) { ++reports; };
    auto data = Sample(200000);
    z.WriteBuffer(data.data(), static_cast<std::int64_t>(data.size()));
    std::uint8_t b;
    EXPECT_THROW(z.Read(&b, 1), EZCompressionError);
    EXPECT_THROW(z.Seek(1, TSeekOrigin::soBeginning), EZCompressionError);
    EXPECT_THROW(z.Size(), EZCompressionError);
    z.Finish();
    z.Finish();  // a second finish changes nothing
    EXPECT_THROW(z.Write(&b, 1), EZCompressionError);
  }
  EXPECT_GE(reports, 3);  // one per full 64 KB buffer
}

TEST(ZStreams, UnfinishedStreamIsDroppedQuietly) {
  TMemoryStream out;
  {
    TZCompressionStream z(TZCompressionLevel::zcDefault, out);
    auto data = Sample(1000);
    z.WriteBuffer(data.data(), 1000);
  }  // no Finish: the destructor must neither throw nor write a stream end
  TMemoryStream in(out.TakeBytes());
  TZDecompressionStream d(in);
  std::vector<std::uint8_t> buf(1000);
  EXPECT_LT(d.Read(buf.data(), 1000), 1000);
}

TEST(ZStreams, DecompressionStopsAtTheStreamEnd) {
  const auto data = Sample(150000);
  auto packed = Pack(data, TZCompressionLevel::zcDefault);
  // Bytes after the end of the deflate stream must not make reading spin.
  packed.insert(packed.end(), {1, 2, 3, 4, 5, 6, 7, 8});
  TMemoryStream in(packed);
  TZDecompressionStream d(in);
  std::vector<std::uint8_t> buf(data.size() + 100);
  EXPECT_EQ(d.Read(buf.data(), static_cast<std::int64_t>(buf.size())), static_cast<std::int64_t>(data.size()));
  buf.resize(data.size());
  EXPECT_EQ(buf, data);
  EXPECT_TRUE(d.StreamEnded());
  EXPECT_EQ(d.Read(buf.data(), 10), 0);
}

TEST(ZStreams, TruncatedSourceGivesWhatItHas) {
  const auto data = Sample(100000);
  auto packed = Pack(data, TZCompressionLevel::zcDefault);
  packed.resize(packed.size() / 2);
  TMemoryStream in(packed);
  TZDecompressionStream d(in);
  std::vector<std::uint8_t> buf(data.size());
  std::int64_t got = d.Read(buf.data(), static_cast<std::int64_t>(buf.size()));
  EXPECT_GT(got, 0);
  EXPECT_LT(got, static_cast<std::int64_t>(data.size()));
  EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + got, data.begin()));
}

TEST(ZStreams, BadDataRaiseZlibsText) {
  TMemoryStream in(std::vector<std::uint8_t>{0x78, 0x9C, 0xFF, 0xFF, 0xFF, 0xFF});
  TZDecompressionStream d(in);
  std::uint8_t buf[16];
  try {
    d.Read(buf, 16);
    FAIL() << "no error";
  } catch (const EZDecompressionError& e) {
    EXPECT_STREQ(e.what(), "data error");
  }
  // A header asking for a preset dictionary can never make progress.
  std::vector<std::uint8_t> dict{0x78, 0xBB, 0, 0, 0, 1, 0x03, 0x00};
  TMemoryStream in2(dict);
  TZDecompressionStream d2(in2);
  EXPECT_THROW(d2.Read(buf, 16), EZDecompressionError);
}

TEST(ZStreams, DecompressionSeeks) {
  const auto data = Sample(20000);
  TMemoryStream in(Pack(data, TZCompressionLevel::zcMax));
  TZDecompressionStream d(in);
  std::uint8_t b = 0;
  EXPECT_EQ(d.Seek(5000, TSeekOrigin::soCurrent), 5000);
  d.ReadBuffer(&b, 1);
  EXPECT_EQ(b, data[5000]);
  EXPECT_EQ(d.Seek(12000, TSeekOrigin::soBeginning), 12000);
  d.ReadBuffer(&b, 1);
  EXPECT_EQ(b, data[12000]);
  EXPECT_THROW(d.Seek(10, TSeekOrigin::soBeginning), EZDecompressionError);  // backwards
  EXPECT_THROW(d.Seek(-1, TSeekOrigin::soCurrent), EZDecompressionError);
  EXPECT_THROW(d.Seek(0, TSeekOrigin::soEnd), EZDecompressionError);
  EXPECT_THROW(d.Write(&b, 1), EZDecompressionError);
  EXPECT_EQ(d.Seek(0, TSeekOrigin::soBeginning), 0);
  d.ReadBuffer(&b, 1);
  EXPECT_EQ(b, data[0]);
}

}  // namespace
