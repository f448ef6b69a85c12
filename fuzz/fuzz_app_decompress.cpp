// Packed streams from untrusted bytes: unpacking must either fail cleanly
// or give exactly the stated length, and what it gives must pack and
// unpack to itself.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "app/routines.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TMemoryStream source(std::vector<std::uint8_t>(data, data + size));
  TMemoryStream dest;
  if (!DecompressStream(source, dest)) {
    if (dest.Size() != 0) std::abort();
    return 0;
  }
  const std::uint32_t stated = static_cast<std::uint32_t>(data[0]) | static_cast<std::uint32_t>(data[1]) << 8 |
                               static_cast<std::uint32_t>(data[2]) << 16 | static_cast<std::uint32_t>(data[3]) << 24;
  if (static_cast<std::uint64_t>(dest.Size()) != stated) std::abort();

  TMemoryStream plain(dest.Bytes());
  TMemoryStream packed;
  if (!CompressStream(zcFastest, plain, packed)) std::abort();
  TMemoryStream again;
  if (!DecompressStream(packed, again) || again.Bytes() != dest.Bytes()) std::abort();
  return 0;
}
