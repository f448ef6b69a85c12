#pragma once
// Writing skin packages (build time only): the container of named
// entries and its packed stream, with an LZHUF packer of our own that
// makes what the program's decoder reads. Matching is greedy: at every
// position the longest earlier match (of at most 60 bytes, at most 4,096
// bytes back, the blank preset of the ring included) is taken when it is
// 3 bytes or more.

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

struct TLzhPackStats {
  std::int64_t Literals = 0;
  std::int64_t Matches = 0;
  // The first symbol of the stream copied from the ring.
  bool FirstIsMatch = false;
};

// The packed stream of data: its size as int32 LE, then the LZHUF body.
std::vector<std::uint8_t> PackSkinStream(std::span<const std::uint8_t> data, TLzhPackStats* stats = nullptr);

struct TSkinEntry {
  std::string Name;
  std::vector<std::uint8_t> Bytes;
};

// The container bytes: version 20000, the name list (names joined by CR
// LF, without a line break after the last), two zero fields, the sizes
// and the entries.
std::vector<std::uint8_t> WriteSkinContainer(const std::vector<TSkinEntry>& entries);
