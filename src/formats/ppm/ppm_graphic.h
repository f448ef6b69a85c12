#pragma once
// The reader family's portable map class: bitmaps, grey maps and pixmaps
// (P1 to P6), as text or raw (ppm_file.h). Raw samples of two bytes give
// their high byte.

#include "formats/common/reader_graphic.h"
#include "formats/ppm/ppm_file.h"

class TPPMGraphic : public TReaderClass<TPPMGraphic> {
 public:
  static constexpr const char* kClassName = "TPPMGraphic";
  static constexpr const char* kFormatName = "PBM, PGM or PPM";

  bool ReadImageHeader(TStream& stream, int imageIndex) override;

 protected:
  bool ProbeStream(TStream& stream) const override;
  void LoadPixels(TStream& stream) override;

 private:
  TPPMSource source_;
  TPPMHeader header_;
};
