// Dr. Halo CUT files from untrusted bytes, and the same bytes as a
// companion palette file.

#include "formats/cut/cut_file.h"
#include "formats/cut/cut_graphic.h"
#include "reader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TCUTGraphic reader;
  fuzzreader::Load(reader, data, size);
  try {
    const std::vector<TPaletteEntry> palette = ReadCUTPalette(std::span<const std::uint8_t>(data, size));
    if (palette.empty() || palette.size() > 256) std::abort();
  } catch (const Exception&) {
  }
  return 0;
}
