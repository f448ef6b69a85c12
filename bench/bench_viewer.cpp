// The viewer's step to the next picture, measured: Page Down through
// JPEG photos with two marks, each step read, marked and rendered into a
// view (crop, then stretch) as the viewer does it. Run once reading every
// picture when it is asked for, and once with the next picture loaded
// ahead on the loader thread while the current one is looked at. Prints
// the median and worst step of both and of the floor, marking and
// rendering pictures decoded beforehand, and the ratios between them.
//
//   bench_viewer [--count N] [--width W] [--height H] [--dwell MS]
//                [--view WxH]
//
// Defaults: 20 photos of 6000 x 4000, 600 ms looked at each (not counted),
// a view of 1600 x 900.

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/settings.h"
#include "core/bitmap.h"
#include "core/files.h"
#include "core/jpeg.h"
#include "core/streams.h"
#include "formats/registry.h"
#include "imaging/mark.h"
#include "imaging/source_picture.h"
#include "windows/viewer/image_loader.h"
#include "windows/viewer/view_marks.h"
#include "windows/viewer/view_zoom.h"

namespace {

using TClock = std::chrono::steady_clock;

struct TOptions {
  int Count = 20;
  int Width = 6000;
  int Height = 4000;
  int DwellMs = 600;
  TPoint View{1600, 900};
};

[[noreturn]] void Usage() {
  std::fprintf(stderr, "usage: bench_viewer [--count N] [--width W] [--height H] [--dwell MS] [--view WxH]\n");
  std::exit(2);
}

TOptions ParseOptions(int argc, char** argv) {
  TOptions o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (i + 1 >= argc) Usage();
    const std::string v = argv[++i];
    if (a == "--count") {
      o.Count = std::atoi(v.c_str());
    } else if (a == "--width") {
      o.Width = std::atoi(v.c_str());
    } else if (a == "--height") {
      o.Height = std::atoi(v.c_str());
    } else if (a == "--dwell") {
      o.DwellMs = std::atoi(v.c_str());
    } else if (a == "--view") {
      if (std::sscanf(v.c_str(), "%dx%d", &o.View.X, &o.View.Y) != 2) Usage();
    } else {
      Usage();
    }
  }
  if (o.Count < 2 || o.Width < 16 || o.Height < 16 || o.DwellMs < 0 || o.View.X < 1 || o.View.Y < 1) Usage();
  return o;
}

double Ms(TClock::time_point from) {
  return std::chrono::duration<double, std::milli>(TClock::now() - from).count();
}

// Interference of a few waves with some grain: smooth areas and edges, as
// photos have, and different for each seed.
TBitmap MakePicture(int w, int h, int seed) {
  TBitmap b(w, h, pf24bit);
  std::vector<float> wx(static_cast<std::size_t>(w)), wy(static_cast<std::size_t>(h));
  for (int x = 0; x < w; ++x) wx[static_cast<std::size_t>(x)] = std::sin(static_cast<float>(x) * (0.004f + 0.001f * seed));
  for (int y = 0; y < h; ++y) wy[static_cast<std::size_t>(y)] = std::cos(static_cast<float>(y) * (0.006f + 0.0007f * seed));
  unsigned noise = 12345u + static_cast<unsigned>(seed);
  for (int y = 0; y < h; ++y) {
    std::uint8_t* row = b.ScanLine(y);
    const float fy = wy[static_cast<std::size_t>(y)];
    for (int x = 0; x < w; ++x) {
      noise = noise * 1664525u + 1013904223u;
      const float fx = wx[static_cast<std::size_t>(x)];
      const int grain = static_cast<int>((noise >> 24) & 15) - 8;
      row[3 * x] = static_cast<std::uint8_t>(std::clamp(128 + static_cast<int>(90 * fx * fy) + grain, 0, 255));
      row[3 * x + 1] = static_cast<std::uint8_t>(std::clamp(110 + static_cast<int>(70 * fx) + grain, 0, 255));
      row[3 * x + 2] = static_cast<std::uint8_t>(std::clamp(120 + static_cast<int>(80 * fy) + grain, 0, 255));
    }
  }
  return b;
}

std::string WriteMark(const std::string& dir, const char* name, int w, int h, int anchor, int transparency) {
  TMark m;
  m.AddMark("");
  m.Records[0].SetPictureType(".bmp");
  m.Records[0].SetAnchor(anchor);
  m.Records[0].SetXOffset(0);
  m.Records[0].SetYOffset(0);
  m.Records[0].SetTransparency(transparency);
  m.Records[0].SetColorKeyOn(true);
  m.MarkPictures[0] = MakePicture(w, h, 9);
  const std::string file = dir + name;
  if (!m.SaveMarkFile(0, file)) std::exit(1);
  return file;
}

// What the viewer does with a decoded picture: marks, fits and renders.
struct TStepWork {
  TViewMarks Marks;
  TPoint View;
  TBitmap Marked, Crop, Display;
  void Show(const TBitmap& base) {
    Marks.Apply(base, Marked);
    TViewZoom zoom;
    zoom.Picture = TPoint{Marked.Width(), Marked.Height()};
    zoom.View = View;
    RenderPlanInto(Marked, zoom.RenderVisiblePart(), Crop, Display);
  }
};

struct TFigures {
  double Median = 0;
  double Worst = 0;
};

TFigures Figures(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return TFigures{v[v.size() / 2], v.back()};
}

}  // namespace

int main(int argc, char** argv) {
  const TOptions o = ParseOptions(argc, argv);
  const std::string dir =
      (std::filesystem::temp_directory_path() / ("stampwise-viewer-bench-" + std::to_string(getpid()))).string() + "/";
  std::filesystem::create_directories(dir);
  SetProgramDir(dir);
  CreateProgramInfo();
  RegisterImageFormats();

  std::printf("inputs: %d JPEG photos of %d x %d, two marks, a view of %d x %d, %d ms on each picture\n", o.Count,
              o.Width, o.Height, o.View.X, o.View.Y, o.DwellMs);
  // Four different photos, then copies of them: every step its own file.
  std::vector<std::string> files;
  for (int i = 0; i < o.Count; ++i) {
    const std::string name = dir + "step" + std::to_string(i) + ".jpg";
    if (i < 4) {
      WriteFileAtomic(name, EncodeJpeg(MakePicture(o.Width, o.Height, i), 90));
    } else {
      std::filesystem::copy_file(files[static_cast<std::size_t>(i % 4)], name);
    }
    files.push_back(name);
  }
  TStepWork work;
  work.View = o.View;
  if (!work.Marks.Load({WriteMark(dir, "logo.spm", 600, 200, 8, 40), WriteMark(dir, "corner.spm", 300, 300, 0, 0)}) ||
      work.Marks.Count() != 2) {
    std::fprintf(stderr, "the marks did not load\n");
    return 1;
  }
  const auto dwell = [&] { std::this_thread::sleep_for(std::chrono::milliseconds(o.DwellMs)); };

  // The floor: marking and rendering pictures that are decoded already,
  // another one at each step.
  std::vector<double> floor;
  {
    std::vector<TBitmap> decoded;
    for (std::size_t i = 0; i < 4 && i < files.size(); ++i) decoded.push_back(LoadSourcePicture(files[i]));
    for (int i = 0; i < o.Count; ++i) {
      const TClock::time_point start = TClock::now();
      work.Show(decoded[static_cast<std::size_t>(i) % decoded.size()]);
      floor.push_back(Ms(start));
    }
  }

  // Every picture read when Page Down asks for it.
  std::vector<double> plain;
  for (const std::string& file : files) {
    const TClock::time_point start = TClock::now();
    work.Show(LoadSourcePicture(file));
    plain.push_back(Ms(start));
    dwell();
  }

  // The next picture read on the loader thread while this one is shown.
  std::vector<double> ahead, waits;
  int hits = 0;
  {
    TPrefetcher prefetcher(SourcePictureLoader());
    TBitmap shown;
    for (std::size_t i = 0; i < files.size(); ++i) {
      const TClock::time_point start = TClock::now();
      std::optional<TBitmap> picture = prefetcher.Take(files[i]);
      waits.push_back(Ms(start));
      if (picture) {
        ++hits;
      } else {
        picture = LoadSourcePicture(files[i]);
      }
      TBitmap before = std::move(shown);
      shown = std::move(*picture);
      work.Show(shown);
      // As the viewer does: once the picture is painted the next one is
      // read, and the picture shown before is freed on the loader thread.
      if (i + 1 < files.size()) prefetcher.Start(files[i + 1], std::move(before));
      ahead.push_back(Ms(start));
      dwell();
    }
  }

  const TFigures f = Figures(floor), p = Figures(plain), a = Figures(ahead), w = Figures(waits);
  std::printf("%-24s %12s %12s\n", "per step (ms)", "median", "worst");
  std::printf("%-24s %12.1f %12.1f\n", "mark + render (floor)", f.Median, f.Worst);
  std::printf("%-24s %12.1f %12.1f\n", "read on demand", p.Median, p.Worst);
  std::printf("%-24s %12.1f %12.1f\n", "read ahead", a.Median, a.Worst);
  std::printf("%-24s %12.1f %12.1f\n", "  of it waiting", w.Median, w.Worst);
  std::printf("pictures read ahead: %d of %zu (the first is read on demand)\n", hits, files.size());
  std::printf("ratios of the medians: on demand / floor %.2f, ahead / floor %.2f, ahead / on demand %.2f\n",
              p.Median / f.Median, a.Median / f.Median, a.Median / p.Median);

  FreeProgramInfo();
  std::filesystem::remove_all(dir);
  return 0;
}
