#include "skin/package/lzh.h"

#include <algorithm>
#include <new>

namespace lzh {

namespace {

// Runs of byte values: PositionCode gives 0 to the first 32 values, then
// 1..3 to 16 values each, 4..11 to 8 each, 12..23 to 4 each, 24..47 to 2
// each and 48..63 to one each; PositionLength is 3 for the first 32
// values, then 4 for 48, 5 for 64, 6 for 48, 7 for 48 and 8 for 16.
constexpr std::array<std::uint8_t, 256> MakePositionCode() {
  std::array<std::uint8_t, 256> code{};
  struct Run {
    int Codes;
    int ValuesEach;
  };
  constexpr Run runs[] = {{1, 32}, {3, 16}, {8, 8}, {12, 4}, {24, 2}, {16, 1}};
  int value = 0;
  int next = 0;
  for (const Run& run : runs) {
    for (int c = 0; c < run.Codes; ++c, ++next) {
      for (int k = 0; k < run.ValuesEach; ++k) code[static_cast<std::size_t>(value++)] = static_cast<std::uint8_t>(next);
    }
  }
  return code;
}

constexpr std::array<std::uint8_t, 256> MakePositionLength() {
  std::array<std::uint8_t, 256> length{};
  struct Run {
    int Bits;
    int Values;
  };
  constexpr Run runs[] = {{3, 32}, {4, 48}, {5, 64}, {6, 48}, {7, 48}, {8, 16}};
  int value = 0;
  for (const Run& run : runs) {
    for (int k = 0; k < run.Values; ++k) length[static_cast<std::size_t>(value++)] = static_cast<std::uint8_t>(run.Bits);
  }
  return length;
}

// Room in the run table for the counts of a short stream.
constexpr std::size_t FirstRunTableSize = 1024;

}  // namespace

const std::array<std::uint8_t, 256> PositionCode = MakePositionCode();
const std::array<std::uint8_t, 256> PositionLength = MakePositionLength();

// Built once: every decoded stream begins with it.
const THuffmanTree& THuffmanTree::Starting() {
  static const THuffmanTree tree{Build{}};
  return tree;
}

THuffmanTree::THuffmanTree() : lastOf_(FirstRunTableSize) { Init(); }

THuffmanTree::THuffmanTree(Build) : lastOf_(FirstRunTableSize) {
  for (int i = 0; i < SymbolCount; ++i) {
    freq_[i] = 1;
    child_[i] = static_cast<std::uint16_t>(i + NodeCount);
    parent_[i + NodeCount] = static_cast<std::uint16_t>(i);
  }
  for (int i = 0, j = SymbolCount; j <= Root; i += 2, ++j) {
    freq_[j] = static_cast<std::uint16_t>(freq_[i] + freq_[i + 1]);
    child_[j] = static_cast<std::uint16_t>(i);
    parent_[i] = parent_[i + 1] = static_cast<std::uint16_t>(j);
  }
  freq_[NodeCount] = 0xFFFF;
  parent_[Root] = 0;
  IndexRuns();
}

void THuffmanTree::IndexRuns() {
  // The counts are in order, so the last node of each count writes last.
  for (int i = 0; i < NodeCount; ++i) lastOf_[freq_[i]] = static_cast<std::uint16_t>(i);
}

void THuffmanTree::Init() {
  const THuffmanTree& start = Starting();
  std::copy(std::begin(start.freq_), std::end(start.freq_), freq_);
  std::copy(std::begin(start.parent_), std::end(start.parent_), parent_);
  std::copy(std::begin(start.child_), std::end(start.child_), child_);
  // The starting counts go no higher than the root's.
  std::copy(start.lastOf_.begin(), start.lastOf_.begin() + start.freq_[Root] + 1, lastOf_.begin());
}

void THuffmanTree::Rebuild() {
  // The leaves move down to the first slots with halved frequencies.
  int j = 0;
  for (int i = 0; i < NodeCount; ++i) {
    if (child_[i] >= NodeCount) {
      freq_[j] = static_cast<std::uint16_t>((freq_[i] + 1) / 2);
      child_[j] = child_[i];
      ++j;
    }
  }
  // Pairs of nodes are joined again, each new node inserted where its
  // frequency keeps the order.
  for (int i = 0, n = SymbolCount; n < NodeCount; i += 2, ++n) {
    const unsigned f = static_cast<unsigned>(freq_[i]) + freq_[i + 1];
    int k = n - 1;
    while (k >= 0 && f < freq_[k]) --k;
    ++k;
    for (int m = n; m > k; --m) {
      freq_[m] = freq_[m - 1];
      child_[m] = child_[m - 1];
    }
    freq_[k] = static_cast<std::uint16_t>(f);
    child_[k] = static_cast<std::uint16_t>(i);
  }
  for (int i = 0; i < NodeCount; ++i) {
    const int k = child_[i];
    if (k >= NodeCount) {
      parent_[k] = static_cast<std::uint16_t>(i);
    } else {
      parent_[k] = parent_[k + 1] = static_cast<std::uint16_t>(i);
    }
  }
  IndexRuns();
}

void THuffmanTree::Update(int symbol) {
  if (freq_[Root] == RebuildLimit) Rebuild();
  // The root is about to count one more, and every node counts less.
  if (lastOf_.size() <= freq_[Root] + 1u) lastOf_.resize(std::min<std::size_t>(2 * lastOf_.size(), RebuildLimit + 1));
  // Plain pointers: this runs once per decoded symbol.
  std::uint16_t* freq = freq_;
  std::uint16_t* parent = parent_;
  std::uint16_t* child = child_;
  std::uint16_t* last = lastOf_.data();
  int c = parent[symbol + NodeCount];
  do {
    // Node c goes from k - 1 to k. Keep the order: if it now outweighs
    // its right neighbour, it changes places with the last node still
    // counting k - 1, which the run table names.
    const unsigned k = ++freq[c];
    const unsigned right = freq[c + 1];
    if (k > right) {
      const int l = last[k - 1];
      freq[c] = freq[l];
      freq[l] = static_cast<std::uint16_t>(k);
      // Node c still counts k - 1, so that run keeps a node.
      last[k - 1] = static_cast<std::uint16_t>(l - 1);
      if (freq[l + 1] != k) last[k] = static_cast<std::uint16_t>(l);

      const int i = child[c];
      parent[i] = static_cast<std::uint16_t>(l);
      if (i < NodeCount) parent[i + 1] = static_cast<std::uint16_t>(l);
      const int j = child[l];
      child[l] = static_cast<std::uint16_t>(i);
      parent[j] = static_cast<std::uint16_t>(c);
      if (j < NodeCount) parent[j + 1] = static_cast<std::uint16_t>(c);
      child[c] = static_cast<std::uint16_t>(j);
      c = l;
    } else {
      // Node c was the last of k - 1: the run now ends before it (or is
      // gone, and its entry is not read again).
      last[k - 1] = static_cast<std::uint16_t>(c - 1);
      if (right != k) last[k] = static_cast<std::uint16_t>(c);
    }
    c = parent[c];
  } while (c != 0);
}

}  // namespace lzh

// ---------------------------------------------------------------------------

TLZH::TLZH(TStream& input, TStream& output) : input_(input), output_(output) {}

std::int64_t TLZH::ReadFromStream(std::uint8_t* buffer, std::uint16_t count) {
  const std::int64_t left = std::max<std::int64_t>(0, input_.Size() - input_.Position());
  const std::int64_t wanted = std::min<std::int64_t>(count, left);
  return wanted > 0 ? input_.Read(buffer, wanted) : 0;
}

void TLZH::WriteToStream(const std::uint8_t* buffer, std::int64_t count) { output_.WriteBuffer(buffer, count); }

void TLZH::Refill() {
  while (bitCount_ <= 8) {
    if (inPos_ == inLen_) {
      inPos_ = 0;
      inLen_ = static_cast<int>(ReadFromStream(inBlock_.data(), static_cast<std::uint16_t>(inBlock_.size())));
    }
    std::uint8_t b = 0;
    if (inPos_ < inLen_) {
      b = inBlock_[static_cast<std::size_t>(inPos_++)];
    } else {
      ++pastEnd_;
    }
    bitBuffer_ = static_cast<std::uint16_t>(bitBuffer_ | (b << (8 - bitCount_)));
    bitCount_ = static_cast<std::uint8_t>(bitCount_ + 8);
  }
}

int TLZH::GetBit() {
  Refill();
  const int bit = bitBuffer_ >> 15;
  bitBuffer_ = static_cast<std::uint16_t>(bitBuffer_ << 1);
  --bitCount_;
  return bit;
}

int TLZH::GetByte() {
  Refill();
  const int byte = bitBuffer_ >> 8;
  bitBuffer_ = static_cast<std::uint16_t>(bitBuffer_ << 8);
  bitCount_ = static_cast<std::uint8_t>(bitCount_ - 8);
  return byte;
}

int TLZH::DecodeChar() {
  int c = tree_.Child(lzh::Root);
  while (c < lzh::NodeCount) c = tree_.Child(c + GetBit());
  c -= lzh::NodeCount;
  tree_.Update(c);
  return c;
}

int TLZH::DecodePosition() {
  int i = GetByte();
  const int upper = lzh::PositionCode[static_cast<std::size_t>(i)];
  for (int extra = lzh::PositionLength[static_cast<std::size_t>(i)] - 2; extra > 0; --extra) i = (i << 1) + GetBit();
  return (upper << 6) | (i & 63);
}

// Bits fed past the input's end are zeros the stream never had: using
// one means the stream was cut short or is not a packed stream at all.
void TLZH::CheckInput() const {
  if (pastEnd_ * 8 > bitCount_) throw ElzhException("LZH : Packed data ends before the unpacked size is reached");
}

void TLZH::Flush() {
  if (outLen_ > 0) WriteToStream(outBlock_, static_cast<std::int64_t>(outLen_));
  outLen_ = 0;
}

void TLZH::Decode(std::int64_t size) {
  try {
    work_ = std::make_unique_for_overwrite<std::uint8_t[]>(lzh::RingSize + OutBlockSize);
  } catch (const std::bad_alloc&) {
    throw ElzhException("LZH : Cannot get memory for dictionary tables");
  }
  std::uint8_t* const dictionary = work_.get();
  outBlock_ = dictionary + lzh::RingSize;
  tree_.Init();
  bitBuffer_ = 0;
  bitCount_ = 0;
  inPos_ = inLen_ = 0;
  pastEnd_ = 0;
  outLen_ = 0;
  std::fill(dictionary, dictionary + lzh::RingStart, lzh::RingFill);
  std::fill(dictionary + lzh::RingStart, dictionary + lzh::RingSize, 0);
  int r = lzh::RingStart;
  std::int64_t written = 0;
  while (written < size) {
    const int c = DecodeChar();
    if (c < lzh::FirstMatchSymbol) {
      PutByte(static_cast<std::uint8_t>(c));
      dictionary[r] = static_cast<std::uint8_t>(c);
      r = (r + 1) & lzh::RingMask;
      ++written;
    } else {
      const int start = (r - DecodePosition() - 1) & lzh::RingMask;
      const int length = lzh::MatchLength(c);
      for (int k = 0; k < length; ++k) {
        const std::uint8_t b = dictionary[(start + k) & lzh::RingMask];
        PutByte(b);
        dictionary[r] = b;
        r = (r + 1) & lzh::RingMask;
        ++written;
      }
    }
    CheckInput();
  }
  Flush();
}
