#pragma once
// The reader family's RLA class: Alias/Wavefront pictures of three 8-bit
// colour channels and an optional matte, run-length coded, with the
// file's gamma applied.

#include "formats/common/reader_graphic.h"
#include "formats/rla/rla_file.h"

class TRLAGraphic : public TReaderClass<TRLAGraphic> {
 public:
  static constexpr const char* kClassName = "TRLAGraphic";
  static constexpr const char* kFormatName = "RLA";

  bool ReadImageHeader(TStream& stream, int imageIndex) override;

 protected:
  bool ProbeStream(TStream& stream) const override;
  void LoadPixels(TStream& stream) override;

 private:
  TRLAHeader header_;
};
