#include "formats/tiff/ccitt_decoder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace {

// A code of ITU-T T.4 as its bits, most significant first, and its value:
// a run length, or -1 for the end-of-line code and -2 for the bit
// patterns no code begins with.
struct TCode {
  const char* Bits;
  int Value;
};

// White and black terminating codes (runs 0 to 63) and make-up codes
// (64 to 1728).
constexpr TCode kWhiteCodes[] = {
    {"00110101", 0}, {"000111", 1}, {"0111", 2}, {"1000", 3}, {"1011", 4}, {"1100", 5}, {"1110", 6}, {"1111", 7},
    {"10011", 8}, {"10100", 9}, {"00111", 10}, {"01000", 11}, {"001000", 12}, {"000011", 13}, {"110100", 14},
    {"110101", 15}, {"101010", 16}, {"101011", 17}, {"0100111", 18}, {"0001100", 19}, {"0001000", 20},
    {"0010111", 21}, {"0000011", 22}, {"0000100", 23}, {"0101000", 24}, {"0101011", 25}, {"0010011", 26},
    {"0100100", 27}, {"0011000", 28}, {"00000010", 29}, {"00000011", 30}, {"00011010", 31}, {"00011011", 32},
    {"00010010", 33}, {"00010011", 34}, {"00010100", 35}, {"00010101", 36}, {"00010110", 37}, {"00010111", 38},
    {"00101000", 39}, {"00101001", 40}, {"00101010", 41}, {"00101011", 42}, {"00101100", 43}, {"00101101", 44},
    {"00000100", 45}, {"00000101", 46}, {"00001010", 47}, {"00001011", 48}, {"01010010", 49}, {"01010011", 50},
    {"01010100", 51}, {"01010101", 52}, {"00100100", 53}, {"00100101", 54}, {"01011000", 55}, {"01011001", 56},
    {"01011010", 57}, {"01011011", 58}, {"01001010", 59}, {"01001011", 60}, {"00110010", 61}, {"00110011", 62},
    {"00110100", 63}, {"11011", 64}, {"10010", 128}, {"010111", 192}, {"0110111", 256}, {"00110110", 320},
    {"00110111", 384}, {"01100100", 448}, {"01100101", 512}, {"01101000", 576}, {"01100111", 640}, {"011001100", 704},
    {"011001101", 768}, {"011010010", 832}, {"011010011", 896}, {"011010100", 960}, {"011010101", 1024},
    {"011010110", 1088}, {"011010111", 1152}, {"011011000", 1216}, {"011011001", 1280}, {"011011010", 1344},
    {"011011011", 1408}, {"010011000", 1472}, {"010011001", 1536}, {"010011010", 1600}, {"011000", 1664},
    {"010011011", 1728},
};
constexpr TCode kBlackCodes[] = {
    {"0000110111", 0}, {"010", 1}, {"11", 2}, {"10", 3}, {"011", 4}, {"0011", 5}, {"0010", 6}, {"00011", 7},
    {"000101", 8}, {"000100", 9}, {"0000100", 10}, {"0000101", 11}, {"0000111", 12}, {"00000100", 13},
    {"00000111", 14}, {"000011000", 15}, {"0000010111", 16}, {"0000011000", 17}, {"0000001000", 18},
    {"00001100111", 19}, {"00001101000", 20}, {"00001101100", 21}, {"00000110111", 22}, {"00000101000", 23},
    {"00000010111", 24}, {"00000011000", 25}, {"000011001010", 26}, {"000011001011", 27}, {"000011001100", 28},
    {"000011001101", 29}, {"000001101000", 30}, {"000001101001", 31}, {"000001101010", 32}, {"000001101011", 33},
    {"000011010010", 34}, {"000011010011", 35}, {"000011010100", 36}, {"000011010101", 37}, {"000011010110", 38},
    {"000011010111", 39}, {"000001101100", 40}, {"000001101101", 41}, {"000011011010", 42}, {"000011011011", 43},
    {"000001010100", 44}, {"000001010101", 45}, {"000001010110", 46}, {"000001010111", 47}, {"000001100100", 48},
    {"000001100101", 49}, {"000001010010", 50}, {"000001010011", 51}, {"000000100100", 52}, {"000000110111", 53},
    {"000000111000", 54}, {"000000100111", 55}, {"000000101000", 56}, {"000001011000", 57}, {"000001011001", 58},
    {"000000101011", 59}, {"000000101100", 60}, {"000001011010", 61}, {"000001100110", 62}, {"000001100111", 63},
    {"0000001111", 64}, {"000011001000", 128}, {"000011001001", 192}, {"000001011011", 256}, {"000000110011", 320},
    {"000000110100", 384}, {"000000110101", 448}, {"0000001101100", 512}, {"0000001101101", 576},
    {"0000001001010", 640}, {"0000001001011", 704}, {"0000001001100", 768}, {"0000001001101", 832},
    {"0000001110010", 896}, {"0000001110011", 960}, {"0000001110100", 1024}, {"0000001110101", 1088},
    {"0000001110110", 1152}, {"0000001110111", 1216}, {"0000001010010", 1280}, {"0000001010011", 1344},
    {"0000001010100", 1408}, {"0000001010101", 1472}, {"0000001011010", 1536}, {"0000001011011", 1600},
    {"0000001100100", 1664}, {"0000001100101", 1728},
};
// Make-up codes both colours share (1792 to 2560), the end-of-line code,
// and the patterns of nine to eleven zeros before a 1, and of twelve
// zeros, that no code starts with.
constexpr TCode kCommonCodes[] = {
    {"00000001000", 1792}, {"00000001100", 1856}, {"00000001101", 1920}, {"000000010010", 1984},
    {"000000010011", 2048}, {"000000010100", 2112}, {"000000010101", 2176}, {"000000010110", 2240},
    {"000000010111", 2304}, {"000000011100", 2368}, {"000000011101", 2432}, {"000000011110", 2496},
    {"000000011111", 2560},
    {"000000000001", -1}, {"000000001", -2}, {"0000000001", -2}, {"00000000001", -2}, {"000000000000", -2},
};

// The longest code has 13 bits: every code is looked up by the next 13
// bits at once. The two code sets are complete, so every pattern of 13
// bits starts with exactly one code.
constexpr int kLookupBits = 13;

struct TEntry {
  std::int16_t Value = -2;
  std::uint8_t Length = 1;
};
using TTable = std::array<TEntry, 1u << kLookupBits>;

void AddCodes(TTable& table, const TCode* codes, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const int length = static_cast<int>(std::strlen(codes[i].Bits));
    std::uint32_t bits = 0;
    for (int k = 0; k < length; ++k) bits = (bits << 1) | (codes[i].Bits[k] == '1' ? 1u : 0u);
    const std::uint32_t first = bits << (kLookupBits - length);
    for (std::uint32_t j = 0; j < (1u << (kLookupBits - length)); ++j) {
      table[first + j] = {static_cast<std::int16_t>(codes[i].Value), static_cast<std::uint8_t>(length)};
    }
  }
}

struct TTables {
  TTable White, Black;
  std::array<std::uint8_t, 256> Reversed;
  TTables() {
    AddCodes(White, kWhiteCodes, std::size(kWhiteCodes));
    AddCodes(White, kCommonCodes, std::size(kCommonCodes));
    AddCodes(Black, kBlackCodes, std::size(kBlackCodes));
    AddCodes(Black, kCommonCodes, std::size(kCommonCodes));
    for (int b = 0; b < 256; ++b) {
      int r = 0;
      for (int k = 0; k < 8; ++k) r |= ((b >> k) & 1) << (7 - k);
      Reversed[static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(r);
    }
  }
};

const TTables& Tables() {
  static const TTables tables;
  return tables;
}

// Sets bits [from, from + count) of a row, counted from the high bit of
// its first byte.
void SetBits(std::uint8_t* row, std::uint32_t from, std::uint32_t count) {
  if (count == 0) return;
  std::uint32_t end = from + count;
  std::uint32_t first = from >> 3, last = (end - 1) >> 3;
  const std::uint8_t head = static_cast<std::uint8_t>(0xFFu >> (from & 7));
  const std::uint8_t tail = static_cast<std::uint8_t>(0xFFu << (7 - ((end - 1) & 7)));
  if (first == last) {
    row[first] |= head & tail;
    return;
  }
  row[first] |= head;
  if (last > first + 1) std::memset(row + first + 1, 0xFF, last - first - 1);
  row[last] |= tail;
}

}  // namespace

std::uint8_t ReverseBits(std::uint8_t b) { return Tables().Reversed[b]; }

TCCITTDecoder::TCCITTDecoder(std::uint32_t options, bool swapBits, bool wordAligned, std::uint32_t width)
    : options_(options), swapBits_(swapBits), wordAligned_(wordAligned), width_(width) {
  Tables();
}

std::size_t TCCITTDecoder::Begin(std::span<const std::uint8_t> source, std::span<std::uint8_t> dest) {
  source_ = source.data();
  sourceLeft_ = source.size();
  sourceSize_ = source.size();
  register_ = 0;
  bits_ = 0;
  if (!dest.empty()) std::memset(dest.data(), 0, dest.size());
  return width_ == 0 ? 0 : dest.size() / RowBytes();
}

void TCCITTDecoder::Refill() {
  const auto& reversed = Tables().Reversed;
  while (bits_ <= 56 && sourceLeft_ > 0) {
    std::uint8_t b = *source_++;
    --sourceLeft_;
    if (swapBits_) b = reversed[b];
    register_ |= std::uint64_t{b} << (56 - bits_);
    bits_ += 8;
  }
}

TCCITTDecoder::TRowEnd TCCITTDecoder::DecodeRow(std::uint8_t* row) {
  const TTables& tables = Tables();
  std::uint32_t x = 0;
  bool black = false;
  while (x < width_) {
    std::uint32_t run = 0;
    for (;;) {
      if (bits_ < kLookupBits) Refill();
      const TEntry& e = (black ? tables.Black : tables.White)[register_ >> (64 - kLookupBits)];
      // A code cut off by the end of the data is no code.
      if (e.Length > bits_) return TRowEnd::EndOfData;
      Consume(e.Length);
      if (e.Value < 0) return e.Value == -1 ? TRowEnd::EndOfLine : TRowEnd::BadCode;
      run += static_cast<std::uint32_t>(e.Value);
      if (e.Value < 64) break;
    }
    const std::uint32_t n = std::min(run, width_ - x);
    if (black) SetBits(row, x, n);
    x += n;
    black = !black;
  }
  return TRowEnd::Full;
}

bool TCCITTDecoder::SynchroniseOnEndOfLine() {
  int zeros = 0;
  for (;;) {
    if (bits_ == 0) Refill();
    if (bits_ == 0) return false;
    const int leading = register_ == 0 ? 64 : std::countl_zero(register_);
    if (leading >= bits_) {
      zeros += bits_;
      Consume(bits_);
      continue;
    }
    zeros += leading;
    Consume(leading + 1);
    if (zeros >= 11) return true;
    zeros = 0;
  }
}

void TCCITTDecoder::AlignSource() {
  // Bits of the register that belong to the current byte.
  Consume(bits_ & 7);
  if (wordAligned_) {
    const std::size_t read = sourceSize_ - sourceLeft_ - static_cast<std::size_t>(bits_ / 8);
    if (read & 1) {
      if (bits_ < 8) Refill();
      if (bits_ >= 8) Consume(8);
    }
  }
}

void TCCITTDecoder::Finish(std::span<const std::uint8_t>& source, std::span<std::uint8_t>& dest, std::size_t rows) {
  // Whole bytes still in the register were not used.
  const std::size_t unread = sourceLeft_ + static_cast<std::size_t>(bits_ / 8);
  source = source.subspan(source.size() - std::min(unread, source.size()));
  dest = dest.subspan(std::min(dest.size(), rows * RowBytes()));
}

void TCCITTFax3Decoder::Decode(std::span<const std::uint8_t>& source, std::span<std::uint8_t>& dest) {
  const std::size_t rows = Begin(source, dest);
  bool synchronised = false;
  for (std::size_t r = 0; r < rows; ++r) {
    if (!synchronised && !SynchroniseOnEndOfLine()) break;
    const TRowEnd end = DecodeRow(dest.data() + r * RowBytes());
    if (end == TRowEnd::EndOfData) break;
    // A row cut short by an end-of-line code has met the next row's.
    synchronised = end == TRowEnd::EndOfLine;
  }
  Finish(source, dest, rows);
}

void TCCITTMHDecoder::Decode(std::span<const std::uint8_t>& source, std::span<std::uint8_t>& dest) {
  const std::size_t rows = Begin(source, dest);
  for (std::size_t r = 0; r < rows; ++r) {
    if (DecodeRow(dest.data() + r * RowBytes()) == TRowEnd::EndOfData) break;
    AlignSource();
  }
  Finish(source, dest, rows);
}
