#pragma once
// The Paint Shop Pro reader (psp_file.h): the general image attributes,
// the palette, and the channels of the first layer (uncompressed,
// run-length or deflate), composite for palette and grey images, red,
// green and blue for colour ones.

#include <cstdint>
#include <span>
#include <vector>

#include "formats/common/reader_graphic.h"
#include "formats/psp/psp_file.h"

class TPSPGraphic : public TReaderClass<TPSPGraphic> {
 public:
  static constexpr const char* kClassName = "TPSPGraphic";
  static constexpr const char* kFormatName = "PSP";

  bool ReadImageHeader(TStream& stream, int imageIndex) override;

 protected:
  bool ProbeStream(TStream& stream) const override;
  // The compression and the depth before the size.
  void CheckLoadHeader() override;
  void LoadPixels(TStream& stream) override;

 private:
  // The properties of the header in data; false (not this format) also
  // for one cut short.
  bool ReadHeaderFrom(std::span<const std::uint8_t> data);
  // The bytes of a row of one channel.
  std::uint64_t RowBytes() const;
  void ReadPalette(TPSPReader& reader);
  // Loads the first layer of a bank; false when the bank has none.
  bool ReadLayer(TPSPReader& reader, const TPSPBlock& bank, std::uint64_t rowBytes);

  std::vector<std::uint8_t> copy_;
};
