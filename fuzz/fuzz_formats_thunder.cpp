// The ThunderScan decoder on untrusted bytes: rows never pass the target,
// and every pixel it writes is 4 bits.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "formats/tiff/thunder_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint32_t width = 1 + data[0] % 200;
  const std::size_t rows = 1 + data[1] % 32;
  std::vector<std::uint8_t> out(rows * ((width + 1) / 2));
  std::span<const std::uint8_t> source(data + 2, size - 2);
  std::span<std::uint8_t> dest(out);
  TThunderDecoder d(width);
  d.Decode(source, dest);
  // An odd row's last byte has no right pixel.
  if (width % 2) {
    for (std::size_t r = 0; r < rows; ++r) {
      if (out[r * ((width + 1) / 2) + width / 2] & 0x0F) std::abort();
    }
  }
  if (!dest.empty()) std::abort();
  return 0;
}
