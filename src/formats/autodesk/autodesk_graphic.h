#pragma once
// The reader family's Autodesk class: Animator cel and pic files of 8 bits
// per pixel, little-endian.
//
//   0   2   signature 0x9119          10  2  bits per pixel, 8
//   2   2   width                     32 768 palette: 256 x red, green,
//   4   2   height                           blue, each 0 to 63
// The rows follow the palette, top row first, one byte per pixel.

#include "core/graphic.h"
#include "formats/common/reader_graphic.h"

class TAutodeskGraphic : public TReaderGraphic {
 public:
  static const TGraphicClass& StaticClass();
  const TGraphicClass& ClassType() const override { return StaticClass(); }

  bool ReadImageHeader(TStream& stream, int imageIndex) override;
  void LoadFromStream(TStream& stream) override;

 protected:
  bool ProbeStream(TStream& stream) const override;
};
