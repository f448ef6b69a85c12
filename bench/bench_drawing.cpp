// Times the mark drawing primitives and the viewer's bitmap operations on
// a 4000 x 3000 photo-sized picture, the size a batch meets per file.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>
#include <string>

#include "app/settings.h"
#include "core/bitmap.h"
#include "core/files.h"
#include "imaging/bitmap_ops.h"
#include "imaging/drawing.h"

namespace {

TBitmap Photo(int w, int h) {
  TBitmap b(w, h, pf24bit);
  std::mt19937 rng(7);
  for (int y = 0; y < h; ++y) {
    std::uint8_t* p = b.ScanLine(y);
    for (int i = 0; i < w * 3; ++i) p[i] = static_cast<std::uint8_t>((i / 3 + y) ^ (rng() & 15));
  }
  return b;
}

void Time(const char* name, const std::function<void()>& run) {
  auto start = std::chrono::steady_clock::now();
  run();
  double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::printf("%-28s %9.1f ms\n", name, ms);
}

}  // namespace

int main() {
  const std::string dir = (std::filesystem::temp_directory_path() / "stampwise-bench-drawing").string() + "/";
  std::filesystem::create_directories(dir);
  SetProgramDir(dir);
  CreateProgramInfo();
  const int W = 4000, H = 3000;
  const TBitmap photo = Photo(W, H);
  const TBitmap mark = Photo(640, 480);

  Time("MeshDraw 640x480", [&] { TBitmap d = photo; TBitmap m = mark; MeshDraw(d, m, Point(100, 100)); });
  Time("DrawShiftBevel width 20", [&] { TBitmap d = photo; DrawShiftBevel(d.Canvas(), Rect(0, 0, W - 1, H - 1), 40, -40, 20); });
  Time("DrawAverageBevel width 20", [&] { TBitmap d = photo; DrawAverageBevel(d.Canvas(), Rect(0, 0, W - 1, H - 1), 40, -40, 20); });
  Time("DrawMaskedImage stretched", [&] {
    TBitmap f = photo, b = photo, m = mark;
    DrawMaskedImage(f, b, m, f, Rect(0, 0, W, H), true);
  });
  Time("TileBitmap 1x1 mode 1", [&] { TBitmap s(1, 1, pf24bit); TBitmap d = photo; TileBitmap(s, d, 1); });
  Time("TileBitmap 7x5 mode 0", [&] { TBitmap s = Photo(7, 5); TBitmap d(W, H, pf24bit); TileBitmap(s, d, 0); });
  Time("TileIntoRect 33x17", [&] { TBitmap s = Photo(33, 17); TBitmap d = photo; TileIntoRect(s, d, Rect(-5, -5, W - 3, H - 3)); });
  Time("ResizeByPercent 50%", [&] { TBitmap d = photo; ResizeByPercent(d, 50, 50); });
  Time("InvertBitmap", [&] { TBitmap d = photo; InvertBitmap(d); });
  Time("MosaicBitmap 8x8", [&] { TBitmap d = photo; MosaicBitmap(d, 8, 8); });
  Time("RotateBitmapAngle 30", [&] { TBitmap d = photo; RotateBitmapAngle(d, clBlack, 30); });
  Time("RotateBitmap90", [&] { TBitmap d = photo; RotateBitmap90(d); });
  Time("RotateBitmap180", [&] { TBitmap d = photo; RotateBitmap180(d); });
  Time("FlipBitmapHorz", [&] { TBitmap d = photo; FlipBitmapHorz(d); });
  Time("AdjustContrast", [&] { TBitmap d = photo; AdjustContrast(d, d, 10); });
  Time("ToGrayscale", [&] { TBitmap d = photo; ToGrayscale(d); });
  Time("Filter3x3", [&] { TBitmap d = photo; Filter3x3(d); });
  Time("SharpenBitmap", [&] { TBitmap d = photo; SharpenBitmap(d); });
  Time("(copy of the photo alone)", [&] { TBitmap d = photo; });

  FreeProgramInfo();
  std::filesystem::remove_all(dir);
  return 0;
}
