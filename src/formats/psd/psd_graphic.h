#pragma once
// The reader family's Photoshop class: the merged picture of bitmap,
// grey, duotone, indexed, RGB, CMYK, multichannel and Lab files of 1, 8
// or 16 bits per channel, raw or PackBits coded.

#include "core/graphic.h"
#include "formats/common/reader_graphic.h"
#include "formats/psd/psd_file.h"

class TPSDGraphic : public TReaderGraphic {
 public:
  static const TGraphicClass& StaticClass();
  const TGraphicClass& ClassType() const override { return StaticClass(); }

  bool ReadImageHeader(TStream& stream, int imageIndex) override;
  void LoadFromStream(TStream& stream) override;

 protected:
  bool ProbeStream(TStream& stream) const override;

 private:
  TPSDHeader header_;
};
