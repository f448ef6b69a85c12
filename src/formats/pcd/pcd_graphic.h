#pragma once
// The Photo-CD reader: the image pack's header, and its base image of
// 768 x 512 (resolution index 2; an overview pack's image of 192 x 128),
// stored as pairs of full-width luma rows followed by one row of each
// half-width chroma plane. The chroma planes are doubled to the luma size,
// the rows converted from PhotoYCC and turned by the pack's orientation.
//
// Header (the first 6144 bytes): "PCD_OPA" at 0 marks an overview pack,
// "PCD" at 2048 an image pack; the version at 10 (16 bits, big-endian);
// the orientation in the low two bits of byte 3586 (1 and 3 a quarter
// turn). The stored image of resolution r starts at sector 4 (r = 0), 23
// (r = 1), 96 (r = 2) or 5 (an overview pack), a sector being 2048 bytes.

#include <cstdint>
#include <vector>

#include "formats/common/reader_graphic.h"

class TPCDGraphic : public TReaderClass<TPCDGraphic> {
 public:
  static constexpr const char* kClassName = "TPCDGraphic";
  static constexpr const char* kFormatName = "PCD";

  // imageIndex is the resolution, 0 to 5 (above 5 counts as 5; an overview
  // pack has only 0).
  bool ReadImageHeader(TStream& stream, int imageIndex) override;

  // The resolution the reader loads.
  static constexpr int kLoadedResolution = 2;

 protected:
  bool ProbeStream(TStream& stream) const override;
  // The header of the resolution loaded.
  bool ReadLoadHeader(TStream& stream) override;
  void LoadPixels(TStream& stream) override;

 private:
  std::vector<std::uint8_t> copy_;
};
