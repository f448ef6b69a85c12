// PCX files from untrusted bytes, and the PCX run-length decoder on them
// with every output size up to 1024.

#include "formats/pcx/pcx_graphic.h"
#include "reader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 0) {
    std::vector<std::uint8_t> out(data[0] * 4u);
    std::span<const std::uint8_t> source(data + 1, size - 1);
    std::span<std::uint8_t> dest = out;
    TPCXRLEDecoder().Decode(source, dest);
    if (source.size() > size - 1 || dest.size() > out.size()) std::abort();
  }
  TPCXGraphic reader;
  fuzzreader::Load(reader, data, size);
  return 0;
}
