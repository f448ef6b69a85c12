#pragma once
// The reader family's Dr. Halo CUT class: 8-bit run-length coded rows with
// the colours of a companion ".pal" file, found beside the CUT file
// whatever the letter case of its name; without one the picture is a grey
// ramp. The probe never claims a stream: a CUT file has no signature.

#include <string>

#include "formats/common/reader_graphic.h"

class TCUTGraphic : public TReaderClass<TCUTGraphic> {
 public:
  static constexpr const char* kClassName = "TCUTGraphic";
  static constexpr const char* kFormatName = "CUT";

  // Remembers the palette file beside the file, then loads as usual.
  void LoadFromFile(const std::string& fileName) override;
  bool ReadImageHeader(TStream& stream, int imageIndex) override;

  // The palette file the next load reads ("" for none).
  const std::string& PaletteFile() const { return paletteFile_; }
  void SetPaletteFile(const std::string& fileName) { paletteFile_ = fileName; }

 protected:
  void LoadPixels(TStream& stream) override;

 private:
  std::string paletteFile_;
};

// The file with the CUT file's name and the extension ".pal" in its
// folder: an exact match first, else one whose name differs only in ASCII
// letter case. The name with ".pal" when there is none.
std::string FindCUTPaletteFile(const std::string& cutFileName);
