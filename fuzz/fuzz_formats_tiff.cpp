// The TIFF reader on untrusted bytes: loading either fails with the
// family's, the decoders' or the colour manager's exception, or gives a
// picture of the header's size whose every pixel can be read.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/exceptions.h"
#include "core/streams.h"
#include "formats/tiff/tiff_graphic.h"
#include "large_claims.h"
#include "reader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TTIFFGraphic tiff;
  TMemoryStream in(std::vector<std::uint8_t>(data, data + size));
  // Pictures within the cap but of millions of pixels only cost time.
  if (!fuzzclaims::LoadLargePictures() && tiff.ReadImageHeader(in, 0) &&
      std::uint64_t{tiff.ImageProperties().Width} * tiff.ImageProperties().Height > (1u << 18)) {
    return 0;
  }
  in.SetPosition(0);
  try {
    tiff.LoadFromStream(in);
  } catch (const Exception&) {
    return 0;
  }
  if (tiff.Width() != static_cast<int>(tiff.ImageProperties().Width) ||
      tiff.Height() != static_cast<int>(tiff.ImageProperties().Height)) {
    std::abort();
  }
  return fuzzreader::ReadEveryPixel(tiff) == 0x12345678 ? 1 : 0;
}
