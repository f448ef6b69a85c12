#pragma once
// A program folder of its own for each test (with the English texts and
// the settings object), a recording window side, and small picture
// helpers for the mark tests.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "app/gui_handler.h"
#include "app/settings.h"
#include "core/bitmap.h"
#include "core/files.h"
#include "formats/registry.h"
#include "support/pictures.h"
#include "support/recording_gui_handler.h"
#include "support/test_support.h"

// No clipboard and no desktop: the batch and the marks need neither.
class TImagingRecorder : public testsupport::TRecordingGuiHandler {
 public:
  TImagingRecorder() {
    ClipboardWorks = false;
    DesktopOpens = false;
  }
};

class ImagingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetProgramDir(dir_.Path());
    std::filesystem::create_directories(dir_.Path() + "language");
    std::filesystem::copy_file(testsupport::SourceDir() + "/language/english", dir_.Path() + "language/english");
    SetGuiHandler(&handler_);
    CreateProgramInfo();
    RegisterImageFormats();
  }
  void TearDown() override {
    FreeProgramInfo();
    SetGuiHandler(nullptr);
    SetProgramDir("");
  }
  const std::string& Dir() const { return dir_.Path(); }

  testsupport::TempDir dir_;
  TImagingRecorder handler_;
};

// The mark tests' names for the shared test pictures.
inline TBitmap PatternBitmap(int w, int h, int seed = 0) { return testsupport::PatternPicture(w, h, seed); }
inline TBitmap SolidBitmap(int w, int h, TColor c) { return testsupport::SolidPicture(w, h, c); }

// B, G, R bytes of one pixel.
struct TBgr {
  int B, G, R;
  friend bool operator==(const TBgr&, const TBgr&) = default;
};
inline TBgr PixelAt(const TBitmap& b, int x, int y) {
  const std::uint8_t* p = b.ScanLine(y) + 3 * x;
  return {p[0], p[1], p[2]};
}
inline void SetPixelAt(TBitmap& b, int x, int y, TBgr c) {
  std::uint8_t* p = b.ScanLine(y) + 3 * x;
  p[0] = static_cast<std::uint8_t>(c.B);
  p[1] = static_cast<std::uint8_t>(c.G);
  p[2] = static_cast<std::uint8_t>(c.R);
}
inline ::std::ostream& operator<<(::std::ostream& os, const TBgr& c) {
  return os << "(B" << c.B << " G" << c.G << " R" << c.R << ")";
}

// True when both are 24-bit pictures of the same size and pixels.
inline bool SamePixels(const TBitmap& a, const TBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  for (int y = 0; y < a.Height(); ++y) {
    for (int x = 0; x < a.Width(); ++x) {
      if (!(PixelAt(a, x, y) == PixelAt(b, x, y))) return false;
    }
  }
  return true;
}
