// The LZH decoder against two packers: our own (round trips large enough
// to rebuild the tree several times) and an independent one written in
// Python from the stream's layout. Cut and bad streams must fail, never
// read or write out of bounds.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "skin/author/skin_packer.h"
#include "skin/package/lzh.h"
#include "skin/package/skin_reader.h"
#include "support/test_support.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Unpack(const Bytes& packed) {
  TMemoryStream source(packed);
  TMemoryStream target;
  TSkinReader::UnpackStream(source, target);
  return target.Bytes();
}

Bytes Random(std::size_t n, unsigned seed, int alphabet = 256) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& v : b) v = static_cast<std::uint8_t>(rng() % static_cast<unsigned>(alphabet));
  return b;
}

Bytes Text(std::size_t n) {
  Bytes b;
  for (int i = 0; b.size() < n; ++i) {
    const std::string line = "mark " + std::to_string(i % 97) + " at anchor " + std::to_string(i % 9) + "\r\n";
    b.insert(b.end(), line.begin(), line.end());
  }
  b.resize(n);
  return b;
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

struct RoundTrip {
  const char* Name;
  Bytes Data;
};

TEST(LzhRoundTrip, OurPackerAndTheDecoderAgree) {
  const RoundTrip cases[] = {
      {"empty", {}},
      {"one byte", {0x41}},
      {"a run longer than a match", Bytes(1000, 0x7F)},
      {"blanks the ring starts with", Bytes(300, 0x20)},
      {"text", Text(50000)},
      // Over 200 KB, most of it literals: the root reaches the rebuild
      // limit several times.
      {"mixed, rebuilding the tree", Join({Random(120000, 1), Text(60000), Random(40000, 2, 16), Text(10000)})},
  };
  for (const RoundTrip& c : cases) {
    SCOPED_TRACE(c.Name);
    TLzhPackStats stats;
    const Bytes packed = PackSkinStream(c.Data, &stats);
    EXPECT_EQ(Unpack(packed), c.Data);
  }
  TLzhPackStats stats;
  PackSkinStream(cases[5].Data, &stats);
  EXPECT_GT(stats.Literals + stats.Matches, 3 * static_cast<std::int64_t>(lzh::RebuildLimit));
  EXPECT_GT(stats.Matches, 1000);
}

TEST(LzhRoundTrip, AFirstMatchCopiesTheBlankRing) {
  const std::string text = "          blank start";
  const Bytes data(text.begin(), text.end());
  TLzhPackStats stats;
  const Bytes packed = PackSkinStream(data, &stats);
  EXPECT_TRUE(stats.FirstIsMatch);
  EXPECT_EQ(Unpack(packed), data);
}

TEST(LzhRoundTrip, AnIndependentPackersStreamsDecode) {
  const std::string python = "/usr/bin/python3";
  if (!testsupport::HaveTool(python)) GTEST_SKIP() << testsupport::SkipReason(python);
  const std::string writer = testsupport::SourceDir() + "/tests/skin/package/lzhuf_writer.py";
  const RoundTrip cases[] = {
      {"blanks first", Join({Bytes(70, 0x20), Text(500)})},
      // Past 32768 symbols, so the tree is rebuilt on the way.
      {"random then text", Join({Random(36000, 7), Text(8000), Random(2000, 8, 4)})},
  };
  for (const RoundTrip& c : cases) {
    SCOPED_TRACE(c.Name);
    const auto result = testsupport::Run({python, writer}, std::string(c.Data.begin(), c.Data.end()));
    ASSERT_EQ(result.ExitCode, 0) << result.Err;
    EXPECT_EQ(Unpack(Bytes(result.Out.begin(), result.Out.end())), c.Data);
  }
}

TEST(LzhBadStreams, FailInsteadOfReadingPastTheInput) {
  const Bytes good = PackSkinStream(Join({Random(5000, 3), Text(5000)}));
  const auto withSize = [](std::int32_t size, Bytes body) {
    const auto v = static_cast<std::uint32_t>(size);
    body.insert(body.begin(), {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                               static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)});
    return body;
  };
  struct Case {
    const char* Name;
    Bytes Packed;
  };
  const Case cases[] = {
      {"cut in half", Bytes(good.begin(), good.begin() + static_cast<long>(good.size() / 2))},
      {"only the size", Bytes(good.begin(), good.begin() + 4)},
      {"negative size", withSize(-5, Bytes(good.begin() + 4, good.end()))},
      {"size beyond the limit", withSize(static_cast<std::int32_t>(MaxSkinUnpackedSize + 1), Bytes(100, 0xFF))},
      {"a huge size over a short body", withSize(1 << 30, Random(64, 4))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_THROW(Unpack(c.Packed), ElzhException);
  }
  // A size of 0 (or a source too short to hold one) unpacks to nothing.
  EXPECT_TRUE(Unpack(withSize(0, Random(16, 5))).empty());
  EXPECT_TRUE(Unpack(Bytes{1, 2}).empty());
}

TEST(LzhDecoder, ReadsFromTheSourcesStartWhereverItStands) {
  const Bytes data = Text(3000);
  TMemoryStream source(PackSkinStream(data));
  source.SetPosition(source.Size() - 3);
  TMemoryStream target;
  target.WriteBuffer(Random(50, 6));
  TSkinReader::UnpackStream(source, target);
  EXPECT_EQ(Bytes(target.Bytes().begin(), target.Bytes().begin() + static_cast<long>(data.size())), data);
}

}  // namespace

// The tree's shape after every update, through several rebuilds, with
// symbols drawn so that long runs of equal counts and lone heavy leaves
// both occur: counts never fall from left to right, every inner node
// counts its two children and links back to them, and every leaf's
// parent entry names the node that holds it.
TEST(LzhTree, StaysOrderedAndLinkedThroughUpdatesAndRebuilds) {
  lzh::THuffmanTree tree;
  std::mt19937 rng(11);
  int rebuilds = 0;
  for (int n = 0; n < 3 * static_cast<int>(lzh::RebuildLimit); ++n) {
    const unsigned draw = rng() % 16;
    const int symbol = draw < 8 ? static_cast<int>(rng() % lzh::SymbolCount) : static_cast<int>(draw % 3);
    const unsigned before = tree.Freq(lzh::Root);
    tree.Update(symbol);
    if (tree.Freq(lzh::Root) != before + 1) ++rebuilds;
    if (n % 97 != 0 && n < 3 * static_cast<int>(lzh::RebuildLimit) - 1) continue;
    for (int i = 0; i + 1 < lzh::NodeCount; ++i) ASSERT_LE(tree.Freq(i), tree.Freq(i + 1)) << "node " << i << " after " << n;
    for (int i = 0; i < lzh::NodeCount; ++i) {
      const int c = tree.Child(i);
      if (c >= lzh::NodeCount) {
        ASSERT_EQ(tree.Parent(c), i);
      } else {
        ASSERT_EQ(tree.Freq(i), tree.Freq(c) + tree.Freq(c + 1)) << "node " << i << " after " << n;
        ASSERT_EQ(tree.Parent(c), i);
        ASSERT_EQ(tree.Parent(c + 1), i);
      }
    }
  }
  EXPECT_GE(rebuilds, 2);
}
