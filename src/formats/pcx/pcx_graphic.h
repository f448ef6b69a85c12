#pragma once
// The reader family's PCX class: ZSoft Paintbrush files of 1, 2, 4 or 8
// bits in one plane, 4 planes of 1 bit and 3 planes of 8 bits, raw or
// run-length coded.

#include "core/graphic.h"
#include "formats/common/reader_graphic.h"
#include "formats/pcx/pcx_file.h"

class TPCXGraphic : public TReaderClass<TPCXGraphic> {
 public:
  static constexpr const char* kClassName = "TPCXGraphic";
  static constexpr const char* kFormatName = "PCX or SCR";

  bool ReadImageHeader(TStream& stream, int imageIndex) override;

 protected:
  bool ProbeStream(TStream& stream) const override;
  void LoadPixels(TStream& stream) override;

 private:
  TPCXHeader header_;
  std::vector<std::uint8_t> headerBytes_;
};
