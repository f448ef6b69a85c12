#pragma once
// The LZHUF coding of skin packages: a 4,096-byte sliding ring preset
// with blanks, matches of 3 to 60 bytes, an adaptive Huffman code over
// 314 symbols (256 literal bytes and 58 match lengths) and a fixed prefix
// code for the upper six bits of a match position.
//
// The program only reads packages; the packer of the build-time skin
// author shares the tree and the position tables below.

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/exceptions.h"
#include "core/streams.h"

class ElzhException : public Exception {
 public:
  using Exception::Exception;
};

namespace lzh {

constexpr int RingSize = 4096;
constexpr int RingMask = RingSize - 1;
constexpr int MaxMatch = 60;
constexpr int Threshold = 2;
// Where the first byte goes: the ring before it is preset with blanks.
constexpr int RingStart = RingSize - MaxMatch;
constexpr std::uint8_t RingFill = 0x20;
// Symbols 0..255 are bytes; 256..313 are match lengths 3..60.
constexpr int SymbolCount = 256 - Threshold + MaxMatch;
constexpr int FirstMatchSymbol = 256;
constexpr int MatchLength(int symbol) { return symbol - 253; }
constexpr int MatchSymbol(int length) { return length + 253; }
constexpr int NodeCount = 2 * SymbolCount - 1;  // 627
constexpr int Root = NodeCount - 1;             // 626
// The tree is rebuilt with halved frequencies once the root reaches this.
constexpr unsigned RebuildLimit = 0x8000;

// The fixed position code: a byte b read from the stream gives the upper
// six bits PositionCode[b] and tells that PositionLength[b] - 2 more bits
// follow it.
extern const std::array<std::uint8_t, 256> PositionCode;
extern const std::array<std::uint8_t, 256> PositionLength;

// The adaptive Huffman tree. Nodes 0..626 (626 the root) are stored in
// order of frequency; a node whose child entry is NodeCount + s is the
// leaf of symbol s, any other child entry c names the pair of nodes c and
// c + 1. Parent entries NodeCount + s give the node of symbol s.
class THuffmanTree {
 public:
  // The starting tree: every symbol counted once.
  THuffmanTree();
  void Init();
  // Counts one more use of symbol s, rebuilding first when the root has
  // reached the limit.
  void Update(int symbol);

  std::uint16_t Child(int node) const { return child_[node]; }
  std::uint16_t Parent(int index) const { return parent_[index]; }
  std::uint16_t Freq(int node) const { return freq_[node]; }

 private:
  struct Build {};
  explicit THuffmanTree(Build);
  static const THuffmanTree& Starting();
  void Rebuild();
  void IndexRuns();

  // Plain arrays: a decoder reads and updates them several times per
  // bit it decodes. freq_ has one more entry than the nodes: a sentinel
  // that stops the upward scans.
  std::uint16_t freq_[NodeCount + 1] = {};
  std::uint16_t parent_[NodeCount + SymbolCount] = {};
  std::uint16_t child_[NodeCount] = {};
  // Since the counts never fall from left to right, the nodes of one
  // count stand together; lastOf_[f] is the last node counting f, for
  // every count some node has. Entries of counts no node has are stale
  // and never read, so the table needs no clearing. It grows with the
  // root's count, which no count exceeds.
  std::vector<std::uint16_t> lastOf_;
};

}  // namespace lzh

// Decodes the body of a packed stream (what follows its 4-byte size) from
// the input stream's position into the output stream.
class TLZH {
 public:
  TLZH(TStream& input, TStream& output);

  // Decodes symbols until at least size bytes have been written: the
  // size is tested between symbols, so a match is never cut short and a
  // well-formed stream ends exactly at size. Past the input's end the
  // bits read as 0, as the stream's own padding does; a stream that needs
  // more bits than it has raises ElzhException. Output is written through
  // WriteToStream as it is made.
  void Decode(std::int64_t size);

  // Reads up to count bytes from the input, no more than are left there;
  // returns how many were read.
  std::int64_t ReadFromStream(std::uint8_t* buffer, std::uint16_t count);
  void WriteToStream(const std::uint8_t* buffer, std::int64_t count);

 private:
  void Refill();
  int GetBit();
  int GetByte();
  int DecodeChar();
  int DecodePosition();
  void PutByte(std::uint8_t b) {
    outBlock_[outLen_++] = b;
    if (outLen_ == OutBlockSize) Flush();
  }
  void Flush();
  void CheckInput() const;

  TStream& input_;
  TStream& output_;
  lzh::THuffmanTree tree_;
  std::uint16_t bitBuffer_ = 0;
  std::uint8_t bitCount_ = 0;
  // Input read in blocks; bytes fed past the input's end are counted so
  // that a stream that runs out is told from one that ends in padding.
  std::array<std::uint8_t, 4096> inBlock_{};
  int inPos_ = 0;
  int inLen_ = 0;
  std::int64_t pastEnd_ = 0;
  // The sliding ring, then the output gathered for WriteToStream, in
  // one block taken by Decode.
  static constexpr std::size_t OutBlockSize = 4096;
  std::unique_ptr<std::uint8_t[]> work_;
  std::uint8_t* outBlock_ = nullptr;
  std::size_t outLen_ = 0;
};
