#pragma once
// Tables of packets for the run-length decoders: each row decodes its
// packed bytes into a destination of a given room and names the bytes
// that must come out and, where the row says, how many packed bytes the
// decoder used.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "formats/common/decoder.h"

namespace readertest {

struct TDecodeCase {
  const char* Name;
  TDecoder* Decoder;
  std::vector<std::uint8_t> Packed;
  std::size_t Room;                       // bytes the destination holds
  std::vector<std::uint8_t> Expected;     // the bytes written
  std::optional<std::size_t> Used = {};  // packed bytes used, where checked
};

// What one decode gives: the bytes written and the packed bytes used.
struct TDecoded {
  std::vector<std::uint8_t> Written;
  std::size_t Used = 0;
};

// Decodes packed into a destination of room bytes filled with 0xEE. The
// bytes past those written must stay as they were: a failed test says so.
TDecoded Decode(TDecoder& decoder, const std::vector<std::uint8_t>& packed, std::size_t room);

// Runs every row and checks what it names; a failure names the row.
void ExpectDecodeTable(std::span<const TDecodeCase> cases);

}  // namespace readertest
