#pragma once
// The reader family's RLA class: Alias/Wavefront pictures of three 8-bit
// colour channels and an optional matte, run-length coded, with the
// file's gamma applied.

#include "core/graphic.h"
#include "formats/common/reader_graphic.h"
#include "formats/rla/rla_file.h"

class TRLAGraphic : public TReaderGraphic {
 public:
  static const TGraphicClass& StaticClass();
  const TGraphicClass& ClassType() const override { return StaticClass(); }

  bool ReadImageHeader(TStream& stream, int imageIndex) override;
  void LoadFromStream(TStream& stream) override;

 protected:
  bool ProbeStream(TStream& stream) const override;

 private:
  TRLAHeader header_;
};
