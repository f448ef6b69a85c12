// Targa files from untrusted bytes; a picture that loads is written by
// the class's own writer and must load back to the same pixels. The bytes
// are also coded as pixels of each depth and must decode to themselves.

#include "formats/tga/tga_graphic.h"
#include "reader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  for (int depth : {8, 16, 24, 32}) {
    TTargaRLEDecoder codec(depth);
    const std::size_t count = size / codec.PixelBytes();
    std::vector<std::uint8_t> packed;
    codec.Encode(std::span<const std::uint8_t>(data, size), count, packed);
    std::vector<std::uint8_t> back(count * codec.PixelBytes());
    std::span<const std::uint8_t> source = packed;
    std::span<std::uint8_t> dest = back;
    codec.Decode(source, dest);
    if (!dest.empty() || !source.empty() || !std::equal(back.begin(), back.end(), data)) std::abort();
  }

  TTargaGraphic reader;
  if (!fuzzreader::Load(reader, data, size)) return 0;
  // Pictures too large to write again are not this target's business.
  if (static_cast<std::int64_t>(reader.Width()) * reader.Height() > (1 << 18)) return 0;
  TMemoryStream saved;
  reader.SaveTarga(saved, (size & 1) != 0);
  TTargaGraphic again;
  saved.SetPosition(0);
  again.LoadFromStream(saved);
  if (fuzzreader::Colours(again) != fuzzreader::Colours(reader)) std::abort();
  return 0;
}
