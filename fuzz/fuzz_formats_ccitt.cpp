// The fax decoders on untrusted bytes: the first bytes choose the form,
// the bit order and the row width; whatever the rest holds, rows never
// pass the target, and the source handed back is a tail of the input.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "formats/tiff/ccitt_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  const std::uint32_t width = 1 + ((data[1] | (data[2] << 8)) % 3000);
  const std::size_t rows = 1 + data[3] % 64;
  std::vector<std::uint8_t> out(rows * ((width + 7) / 8) + data[0] % 3);
  std::span<const std::uint8_t> source(data + 4, size - 4);
  std::span<std::uint8_t> dest(out);
  const bool swap = (data[0] & 8) != 0, aligned = (data[0] & 16) != 0;
  if (data[0] & 4) {
    TCCITTFax3Decoder d(0, swap, false, width);
    d.Decode(source, dest);
  } else {
    TCCITTMHDecoder d(0, swap, aligned, width);
    d.Decode(source, dest);
  }
  if (source.data() < data + 4 || source.data() + source.size() != data + size) std::abort();
  if (dest.data() < out.data() || dest.data() + dest.size() != out.data() + out.size()) std::abort();
  return 0;
}
