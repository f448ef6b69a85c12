// Feeds arbitrary image data to the GIF LZW decoder. The first four bytes
// choose the frame: width and height (1..256 each), interlacing and the
// fill value; the rest is the image data block.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/exceptions.h"
#include "core/streams.h"
#include "formats/gif/gif_coding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  TGIFDecodeFrame frame;
  frame.Width = data[0] + 1;
  frame.Height = data[1] + 1;
  frame.Interlaced = (data[2] & 1) != 0;
  frame.FillValue = data[3];
  TMemoryStream stream(std::vector<std::uint8_t>(data + 4, data + size));
  std::vector<std::uint8_t> pixels;
  try {
    DecodeGIFImageData(stream, frame, pixels, [](TGIFSeverity, const std::string&) {});
  } catch (const GIFException&) {
  }
  if (pixels.size() != static_cast<std::size_t>(frame.Width) * static_cast<std::size_t>(frame.Height))
    __builtin_trap();
  return 0;
}
