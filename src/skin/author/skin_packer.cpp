#include "skin/author/skin_packer.h"

#include <algorithm>
#include <array>

#include "core/exceptions.h"
#include "skin/package/lzh.h"
#include "skin/package/skin_reader.h"

namespace {

class TBitWriter {
 public:
  explicit TBitWriter(std::vector<std::uint8_t>& out) : out_(out) {}
  // The low count bits of value, most significant first.
  void Put(std::uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) {
      acc_ = static_cast<std::uint8_t>((acc_ << 1) | ((value >> i) & 1));
      if (++bits_ == 8) {
        out_.push_back(acc_);
        acc_ = 0;
        bits_ = 0;
      }
    }
  }
  // The last byte is padded with zero bits.
  void Finish() {
    if (bits_ > 0) out_.push_back(static_cast<std::uint8_t>(acc_ << (8 - bits_)));
    bits_ = 0;
    acc_ = 0;
  }

 private:
  std::vector<std::uint8_t>& out_;
  std::uint8_t acc_ = 0;
  int bits_ = 0;
};

// The prefix of each upper position value: the leading bits shared by
// every byte the decoder maps to it.
struct TPositionPrefix {
  std::uint8_t Bits = 0;
  std::uint8_t Length = 0;
};

std::array<TPositionPrefix, 64> PositionPrefixes() {
  std::array<TPositionPrefix, 64> table{};
  std::array<bool, 64> seen{};
  for (int b = 0; b < 256; ++b) {
    const int upper = lzh::PositionCode[static_cast<std::size_t>(b)];
    if (seen[static_cast<std::size_t>(upper)]) continue;
    seen[static_cast<std::size_t>(upper)] = true;
    const int length = lzh::PositionLength[static_cast<std::size_t>(b)];
    table[static_cast<std::size_t>(upper)] = {static_cast<std::uint8_t>(b >> (8 - length)),
                                             static_cast<std::uint8_t>(length)};
  }
  return table;
}

class TLzhPacker {
 public:
  TLzhPacker(std::vector<std::uint8_t>& out) : bits_(out), prefixes_(PositionPrefixes()) {}

  void PutSymbol(int symbol) {
    // The path from the symbol's leaf up to the root, sent root first.
    std::array<std::uint8_t, lzh::NodeCount> path{};
    int length = 0;
    for (int node = tree_.Parent(symbol + lzh::NodeCount); node != lzh::Root;) {
      const int parent = tree_.Parent(node);
      path[static_cast<std::size_t>(length++)] = static_cast<std::uint8_t>(node - tree_.Child(parent));
      node = parent;
    }
    while (length > 0) bits_.Put(path[static_cast<std::size_t>(--length)], 1);
    tree_.Update(symbol);
  }

  void PutPosition(int position) {
    const TPositionPrefix& p = prefixes_[static_cast<std::size_t>(position >> 6)];
    bits_.Put(p.Bits, p.Length);
    bits_.Put(static_cast<std::uint32_t>(position & 63), 6);
  }

  void Finish() { bits_.Finish(); }

 private:
  TBitWriter bits_;
  lzh::THuffmanTree tree_;
  std::array<TPositionPrefix, 64> prefixes_;
};

constexpr int HashBits = 15;
constexpr int HashSize = 1 << HashBits;
// How many earlier places with the same three bytes are tried.
constexpr int ChainLimit = 1024;

int Hash3(const std::uint8_t* p) {
  return static_cast<int>(((p[0] << 10) ^ (p[1] << 5) ^ p[2]) & (HashSize - 1));
}

}  // namespace

std::vector<std::uint8_t> PackSkinStream(std::span<const std::uint8_t> data, TLzhPackStats* stats) {
  if (data.size() > static_cast<std::size_t>(MaxSkinUnpackedSize)) throw Exception("Skin package too large");
  const auto size = static_cast<std::int32_t>(data.size());
  std::vector<std::uint8_t> out{static_cast<std::uint8_t>(size), static_cast<std::uint8_t>(size >> 8),
                                static_cast<std::uint8_t>(size >> 16), static_cast<std::uint8_t>(size >> 24)};
  TLzhPacker packer(out);
  TLzhPackStats counts;

  // What the decoder's ring sees: the blank preset, then the data; the
  // ring slot of place i is i mod 4096.
  const int start = lzh::RingStart;
  std::vector<std::uint8_t> history(static_cast<std::size_t>(start), lzh::RingFill);
  history.insert(history.end(), data.begin(), data.end());
  const int end = static_cast<int>(history.size());

  std::vector<int> head(HashSize, -1);
  std::vector<int> previous(history.size(), -1);
  const auto insert = [&](int place) {
    if (place + 3 > end) return;
    const int h = Hash3(&history[static_cast<std::size_t>(place)]);
    previous[static_cast<std::size_t>(place)] = head[static_cast<std::size_t>(h)];
    head[static_cast<std::size_t>(h)] = place;
  };
  for (int i = 0; i < start; ++i) insert(i);

  for (int cur = start; cur < end;) {
    const int limit = std::min(lzh::MaxMatch, end - cur);
    int bestLength = 0;
    int bestPlace = 0;
    if (limit > lzh::Threshold) {
      int tries = 0;
      for (int place = head[static_cast<std::size_t>(Hash3(&history[static_cast<std::size_t>(cur)]))];
           place >= 0 && cur - place <= lzh::RingSize && tries < ChainLimit;
           place = previous[static_cast<std::size_t>(place)], ++tries) {
        int length = 0;
        while (length < limit && history[static_cast<std::size_t>(place + length)] ==
                                     history[static_cast<std::size_t>(cur + length)]) {
          ++length;
        }
        if (length > bestLength) {
          bestLength = length;
          bestPlace = place;
          if (length == limit) break;
        }
      }
    }
    int step = 1;
    if (bestLength > lzh::Threshold) {
      packer.PutSymbol(lzh::MatchSymbol(bestLength));
      packer.PutPosition(cur - bestPlace - 1);
      if (counts.Literals + counts.Matches == 0) counts.FirstIsMatch = true;
      ++counts.Matches;
      step = bestLength;
    } else {
      packer.PutSymbol(history[static_cast<std::size_t>(cur)]);
      ++counts.Literals;
    }
    for (int k = 0; k < step; ++k) insert(cur + k);
    cur += step;
  }
  packer.Finish();
  if (stats) *stats = counts;
  return out;
}

std::vector<std::uint8_t> WriteSkinContainer(const std::vector<TSkinEntry>& entries) {
  if (entries.size() > static_cast<std::size_t>(MaxSkinEntries)) throw Exception("Too many skin entries");
  std::string names;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (i > 0) names += "\r\n";
    names += entries[i].Name;
  }
  std::vector<std::uint8_t> out;
  const auto put32 = [&out](std::uint32_t v) {
    for (int s = 0; s < 32; s += 8) out.push_back(static_cast<std::uint8_t>(v >> s));
  };
  put32(static_cast<std::uint32_t>(SkinContainerVersion));
  put32(static_cast<std::uint32_t>(names.size()));
  put32(0);
  put32(0);
  out.insert(out.end(), names.begin(), names.end());
  for (const TSkinEntry& e : entries) put32(static_cast<std::uint32_t>(e.Bytes.size()));
  for (const TSkinEntry& e : entries) out.insert(out.end(), e.Bytes.begin(), e.Bytes.end());
  return out;
}
