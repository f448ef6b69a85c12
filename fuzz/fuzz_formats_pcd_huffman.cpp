// The Photo-CD residual decoder on untrusted bytes: the first two bytes
// give the luma plane's size; whatever the tables and rows hold, only the
// three planes are written, and the source handed back is a tail of the
// input.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/exceptions.h"
#include "formats/pcd/pcd_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  // Widths above 1536 pixels use three tables.
  const std::uint32_t width = 2 + (data[0] % 2 ? 1536 + 2 * data[0] : 2 * data[0]);
  const std::uint32_t height = 2 + 2 * (data[1] % 64);
  std::vector<std::uint8_t> planes(std::size_t{width} * height * 3 / 2 + 7, 128);
  std::span<const std::uint8_t> source(data + 2, size - 2);
  std::span<std::uint8_t> dest(planes.data(), planes.size() - 7);
  try {
    TPCDDecoder(width, height).Decode(source, dest);
  } catch (const EGraphicCompression&) {
  }
  for (std::size_t i = planes.size() - 7; i < planes.size(); ++i) {
    if (planes[i] != 128) std::abort();
  }
  if (source.data() < data + 2 || source.data() + source.size() != data + size) std::abort();
  return 0;
}
