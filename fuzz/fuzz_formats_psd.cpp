// Photoshop files from untrusted bytes: loading raises one of the program's
// exceptions or gives a picture whose every pixel can be read.

#include "formats/psd/psd_graphic.h"
#include "reader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TPSDGraphic reader;
  fuzzreader::Load(reader, data, size);
  return 0;
}
