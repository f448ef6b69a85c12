#pragma once
// The reader family's Autodesk class: Animator cel and pic files of 8 bits
// per pixel (autodesk_file.h).

#include "formats/common/reader_graphic.h"

class TAutodeskGraphic : public TReaderClass<TAutodeskGraphic> {
 public:
  static constexpr const char* kClassName = "TAutodeskGraphic";
  static constexpr const char* kFormatName = "Autodesk";

  bool ReadImageHeader(TStream& stream, int imageIndex) override;

 protected:
  bool ProbeStream(TStream& stream) const override;
  void LoadPixels(TStream& stream) override;
};
