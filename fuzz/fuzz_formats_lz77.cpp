// The deflate decoder on untrusted bytes, in the three ways its readers
// drive it: whatever it decodes never passes its target, and a stream
// zlib's own one-shot decoder accepts gives the same bytes through it,
// in one call and in pieces.

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/exceptions.h"
#include "formats/common/lz77_decoder.h"

namespace {

// Decodes all of input into a buffer of `room` bytes, handing the input
// over `piece` bytes at a time; returns the bytes written.
std::vector<std::uint8_t> Run(TLZ77Decoder& decoder, std::span<const std::uint8_t> input, std::size_t room,
                              std::size_t piece, bool& failed) {
  std::vector<std::uint8_t> out(room);
  std::span<std::uint8_t> dest(out);
  failed = false;
  try {
    while (!input.empty() && !dest.empty()) {
      std::span<const std::uint8_t> part = input.first(std::min(piece, input.size()));
      const std::size_t before = part.size();
      decoder.Decode(part, dest);
      input = input.subspan(before - part.size());
      if (decoder.Status() == 1 || before == part.size()) break;
    }
  } catch (const EGraphicCompression&) {
    failed = true;
  }
  out.resize(room - dest.size());
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t room = std::size_t{data[0]} * 64 + data[1];
  const std::span<const std::uint8_t> input(data + 2, size - 2);

  std::vector<std::uint8_t> expected(room + 1);
  uLongf got = static_cast<uLongf>(expected.size());
  const int plain = uncompress(expected.data(), &got, input.data(), static_cast<uLong>(input.size()));
  expected.resize(got);

  bool failed = false;
  TLZ77Decoder whole(Z_FINISH, false);
  whole.DecodeInit();
  const auto once = Run(whole, input, room, input.size() + 1, failed);
  TLZ77Decoder rows(Z_PARTIAL_FLUSH, false);
  rows.DecodeInit();
  const auto pieces = Run(rows, input, room, 3, failed);
  TLZ77Decoder strips(Z_PARTIAL_FLUSH, true);
  strips.DecodeInit();
  Run(strips, input, room, input.size() + 1, failed);
  Run(strips, input, room, input.size() + 1, failed);  // reset: the same again

  if (once.size() > room || pieces.size() > room) std::abort();
  if (plain == Z_OK && got <= room && (once != expected || pieces != expected)) std::abort();
  return 0;
}
