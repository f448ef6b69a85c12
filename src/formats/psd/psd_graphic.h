#pragma once
// The reader family's Photoshop class: the merged picture of bitmap,
// grey, duotone, indexed, RGB, CMYK, multichannel and Lab files of 1, 8
// or 16 bits per channel, raw or PackBits coded.

#include "formats/common/reader_graphic.h"
#include "formats/psd/psd_file.h"

class TPSDGraphic : public TReaderClass<TPSDGraphic> {
 public:
  static constexpr const char* kClassName = "TPSDGraphic";
  static constexpr const char* kFormatName = "PSD or PDD";

  bool ReadImageHeader(TStream& stream, int imageIndex) override;

 protected:
  bool ProbeStream(TStream& stream) const override;
  void LoadPixels(TStream& stream) override;

 private:
  // The colour manager for the planes the mode combines; the scheme of
  // the rows it converts.
  TColorScheme SetUpColors(int planes);

  TPSDHeader header_;
};
