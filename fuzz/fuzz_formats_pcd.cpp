// The Photo-CD reader on untrusted bytes: an image pack's header and base
// image either load, to the header's size in every orientation, or fail
// with an exception.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/exceptions.h"
#include "core/streams.h"
#include "formats/pcd/pcd_graphic.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TPCDGraphic pcd;
  TMemoryStream in(std::vector<std::uint8_t>(data, data + size));
  try {
    pcd.LoadFromStream(in);
  } catch (const Exception&) {
    return 0;
  }
  const bool turned = pcd.ImageProperties().Orientation == 1 || pcd.ImageProperties().Orientation == 3;
  const int base = pcd.ImageProperties().Overview ? 192 : 768;
  if (pcd.Width() != (turned ? base * 2 / 3 : base) || pcd.Height() != (turned ? base : base * 2 / 3)) std::abort();
  return 0;
}
