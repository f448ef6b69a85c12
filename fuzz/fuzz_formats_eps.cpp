// The EPS reader on untrusted bytes: the header's offset and length
// either name a part of the file, whose TIFF then loads or fails with an
// exception, or the load fails with the EPS text.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/exceptions.h"
#include "core/streams.h"
#include "formats/tiff/tiff_graphic.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TEPSGraphic eps;
  TMemoryStream in(std::vector<std::uint8_t>(data, data + size));
  const bool probe = eps.CanLoadStream(in);
  if (eps.ReadImageHeader(in, 0) &&
      std::uint64_t{eps.ImageProperties().Width} * eps.ImageProperties().Height > (1u << 18)) {
    return 0;
  }
  in.SetPosition(0);
  try {
    eps.LoadFromStream(in);
  } catch (const Exception&) {
    return 0;
  }
  // What loads, the probe accepts.
  if (!probe) __builtin_trap();
  return 0;
}
