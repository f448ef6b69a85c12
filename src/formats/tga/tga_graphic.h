#pragma once
// The reader family's Targa class: reads colour-mapped, true-colour and
// grey Targa files, raw or run-length coded, and writes them
// (SaveToStream writes run-length coded).

#include "formats/common/reader_graphic.h"
#include "formats/tga/tga_file.h"

class TTargaGraphic : public TReaderClass<TTargaGraphic> {
 public:
  static constexpr const char* kClassName = "TTargaGraphic";
  static constexpr const char* kFormatName = "Targa";

  bool ReadImageHeader(TStream& stream, int imageIndex) override;
  void SaveToStream(TStream& stream) override;

  // Writes the bitmap as a Targa file: colour-mapped for 1-, 4- and 8-bit
  // bitmaps (with a 256-entry map of B, G, R), true colour of 2, 3 or 4
  // bytes per pixel otherwise, rows top first. An empty bitmap writes
  // nothing; a side above 65535 raises ERangeError.
  void SaveTarga(TStream& stream, bool compressed);

 protected:
  bool ProbeStream(TStream& stream) const override;
  // A file without pixels (image type 0) is no picture either.
  bool ReadLoadHeader(TStream& stream) override;
  void LoadPixels(TStream& stream) override;

 private:
  TTargaHeader header_;
};
