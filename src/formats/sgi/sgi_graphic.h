#pragma once
// The reader family's SGI class: grey, RGB and RGB with alpha images of 8
// or 16 bits per sample, verbatim or run-length coded. Two planes (grey
// and alpha) are read as grey.

#include <cstdint>
#include <memory>
#include <vector>

#include "formats/common/reader_graphic.h"
#include "formats/sgi/sgi_file.h"

class TSGIGraphic : public TReaderClass<TSGIGraphic> {
 public:
  static constexpr const char* kClassName = "TSGIGraphic";
  static constexpr const char* kFormatName = "sgi, bw or rgb(a)";

  bool ReadImageHeader(TStream& stream, int imageIndex) override;

 protected:
  bool ProbeStream(TStream& stream) const override;
  void LoadPixels(TStream& stream) override;

 private:
  // Plane p of file row r into dest (width samples).
  void ReadPlaneRow(std::span<const std::uint8_t> data, int plane, int row, std::span<std::uint8_t> dest);

  TSGIHeader header_;
  std::vector<std::uint32_t> rowStart_;   // run-length files: one per row and plane
  std::vector<std::uint32_t> rowLength_;
  std::unique_ptr<TSGIRLEDecoder> decoder_;
};
