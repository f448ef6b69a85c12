// The Paint Shop Pro reader on untrusted bytes: loading either fails with
// an exception or gives a picture of the header's size whose every pixel
// can be read.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/exceptions.h"
#include "core/streams.h"
#include "formats/psp/psp_graphic.h"
#include "reader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TPSPGraphic psp;
  TMemoryStream in(std::vector<std::uint8_t>(data, data + size));
  if (psp.ReadImageHeader(in, 0) &&
      std::uint64_t{psp.ImageProperties().Width} * psp.ImageProperties().Height > (1u << 18)) {
    return 0;
  }
  in.SetPosition(0);
  try {
    psp.LoadFromStream(in);
  } catch (const Exception&) {
    return 0;
  }
  if (psp.Width() != static_cast<int>(psp.ImageProperties().Width)) std::abort();
  return fuzzreader::ReadEveryPixel(psp) == 0x12345678 ? 1 : 0;
}
