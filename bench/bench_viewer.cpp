// The viewer's steps from one picture to the next, measured on the window
// itself (Qt's offscreen platform, one screen of the view's size, full
// screen so that the view is exactly that size): Page Down, End and Home
// sent to the viewer as the keyboard sends them, each step timed from the
// key to the painted view, through JPEG photos with two marks drawn.
//
// Prints, in one run on the same files:
//   - the first step after opening, made once the viewer had time to read
//     the next picture ahead;
//   - a read-ahead step (Page Down after looking at a picture);
//   - the step after a damaged file (Page Down onto it, then on to the
//     next picture);
//   - a step to a picture that was not read ahead (End and Home in turn);
//   - the floor: libjpeg-turbo decoding the same file in this process into
//     a buffer kept from file to file;
//   - each step against the floor, and the peak resident memory while the
//     viewer runs against one decoded picture.
// The targets: read-ahead steps at most 0.2 x the floor, a step that was
// not read ahead at most 1.5 x, a peak of at most 4 pictures.
//
//   bench_viewer [--count N] [--width W] [--height H] [--dwell MS]
//                [--view WxH] [--rounds N]
//
// Defaults: 12 photos of 6000 x 4000 (24 megapixels), 700 ms looked at
// each picture before the next key (not counted), a view of 1600 x 900,
// three rounds of each step.

#include <unistd.h>

#include <QApplication>
#include <QKeyEvent>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/gui_handler.h"
#include "app/settings.h"
#include "core/bitmap.h"
#include "core/files.h"
#include "core/jpeg.h"
#include "core/streams.h"
#include "formats/registry.h"
#include "imaging/mark.h"
#include "windows/viewer/view_image.h"

#include "bench_support.h"
#include "support/recording_gui_handler.h"
#include "support/view_list.h"

namespace {

namespace fs = std::filesystem;
using bench::Median;
using bench::MsSince;
using bench::PeakMemoryMiB;
using bench::ResetPeakMemory;
using bench::StatusMiB;
using bench::TClock;

struct TOptions {
  int Count = 12;
  int Width = 6000;
  int Height = 4000;
  int DwellMs = 700;
  int Rounds = 3;
  TPoint View{1600, 900};
};

constexpr const char* kUsage =
    "usage: bench_viewer [--count N] [--width W] [--height H] [--dwell MS] [--view WxH] [--rounds N]\n";

TOptions ParseOptions(int argc, char** argv) {
  TOptions o;
  bench::ParseOptions(argc, argv, kUsage,
                      {bench::IntOption("--count", o.Count), bench::IntOption("--width", o.Width),
                       bench::IntOption("--height", o.Height), bench::IntOption("--dwell", o.DwellMs),
                       bench::IntOption("--rounds", o.Rounds),
                       {"--view", [&o](const std::string& v) {
                          return std::sscanf(v.c_str(), "%dx%d", &o.View.X, &o.View.Y) == 2;
                        }}});
  // Room for the steps: opening, the read-ahead steps, the damaged file
  // and the one after it, and End/Home turns; the damaged file comes after
  // the four photos the floor decodes.
  if (o.Count < 7 || o.Width < 16 || o.Height < 16 || o.DwellMs < 0 || o.Rounds < 1 || o.View.X < 64 ||
      o.View.Y < 64) {
    bench::Usage(kUsage);
  }
  return o;
}

// ---- Inputs -----------------------------------------------------------------

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

// ---- The floor: libjpeg-turbo alone ---------------------------------------

// Decodes a file into pixels kept from file to file.
double FloorMs(const std::string& file, std::vector<std::uint8_t>& pixels) {
  const TClock::time_point start = TClock::now();
  bench::DecodeJpegFloor(file, pixels);
  return MsSince(start);
}

// ---- The viewer ---------------------------------------------------------------

// Looking at the picture: the event loop runs, the loader reads ahead.
void Dwell(int ms) {
  const TClock::time_point start = TClock::now();
  while (MsSince(start) < ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    usleep(2000);
  }
}

// A key as the keyboard gives it, until the view is painted.
double StepMs(TfrmViewImage& viewer, int key) {
  const TClock::time_point start = TClock::now();
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
  QCoreApplication::sendEvent(&viewer, &press);
  viewer.pbPreview->repaint();
  return MsSince(start);
}

}  // namespace

int main(int argc, char** argv) {
  const TOptions o = ParseOptions(argc, argv);
  const std::string dir =
      (fs::temp_directory_path() / ("stampwise-viewer-bench-" + std::to_string(getpid()))).string() + "/";
  fs::create_directories(dir);

  // One offscreen screen of the view's size: the viewer opens full screen
  // on it, so its view is exactly that size.
  {
    std::ofstream screen(dir + "screen.json");
    screen << "{\"screens\": [{\"name\": \"bench\", \"x\": 0, \"y\": 0, \"width\": " << o.View.X
           << ", \"height\": " << o.View.Y << ", \"logicalDpi\": 96, \"logicalBaseDpi\": 96, \"dpr\": 1}]}\n";
  }
  const std::string platform = "offscreen:configfile=" + dir + "screen.json";
  setenv("QT_QPA_PLATFORM", platform.c_str(), 1);
  QApplication app(argc, argv);
  // No message box is expected (no damaged file comes first): every one
  // is answered at once, and a pump handles Qt's events.
  testsupport::TRecordingGuiHandler handler;
  handler.OnPump = [](int) { QCoreApplication::processEvents(); };
  SetGuiHandler(&handler);
  SetProgramDir(dir);
  CreateProgramInfo();
  RegisterImageFormats();
  TProgramInfo& settings = ProgramInfo();
  settings.ViewImageFullScreen = true;
  settings.ViewHideMouse = false;
  settings.ViewShrinkFit = true;
  settings.ViewZoomFit = false;
  settings.ViewAlwaysTop = false;
  settings.ZoomLock = false;
  settings.LocationLock = false;

  const double pictureMiB = static_cast<double>(o.Width) * o.Height * 3 / (1024.0 * 1024.0);
  std::printf("inputs: %d JPEG photos of %d x %d (%.1f megapixels, %.1f MiB decoded), two marks,\n", o.Count,
              o.Width, o.Height, static_cast<double>(o.Width) * o.Height / 1e6, pictureMiB);
  std::printf("        a view of %d x %d, %d ms on each picture before the next key, %d rounds\n", o.View.X,
              o.View.Y, o.DwellMs, o.Rounds);
  // Four different photos, then copies of them: every step its own file.
  // The damaged file sits after the read-ahead steps.
  const std::size_t damagedAt = static_cast<std::size_t>(o.Count) - 3;
  testsupport::TFileViewList list;
  for (int i = 0; i < o.Count; ++i) {
    const std::string name = dir + "step" + std::to_string(i) + ".jpg";
    if (static_cast<std::size_t>(i) == damagedAt) {
      // A JPEG cut short in its header: the reader gives up at once.
      WriteFileAtomic(name, std::vector<std::uint8_t>{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F'});
    } else if (i < 4) {
      WriteFileAtomic(name, EncodeJpeg(MakePicture(o.Width, o.Height, i), 90));
    } else {
      fs::copy_file(list.Files[static_cast<std::size_t>(i % 4)], name);
    }
    list.Files.push_back(name);
  }
  const std::vector<std::string> marks = {WriteMark(dir, "logo.spm", 600, 200, 8, 40),
                                          WriteMark(dir, "corner.spm", 300, 300, 0, 0)};

  // The floor, on the same files (once to bring them into memory).
  std::vector<double> floor;
  {
    std::vector<std::uint8_t> pixels;
    FloorMs(list.Files[0], pixels);
    for (int r = 0; r < o.Rounds; ++r) {
      for (std::size_t i = 0; i < 4; ++i) floor.push_back(FloorMs(list.Files[i], pixels));
    }
  }

  std::vector<double> first, ahead, afterDamaged, notAhead;
  double peakMiB = 0;
  int hits = 0, direct = 0;
  for (int round = 0; round < o.Rounds; ++round) {
    ResetPeakMemory();
    const double baseMiB = StatusMiB("VmRSS:");
    list.Index = 0;
    {
      TfrmViewImage viewer(nullptr, TBitmap(), vmConvList, list.Files[0], list.View(), marks);
      viewer.show();
      Dwell(o.DwellMs);
      if (viewer.PictureBitmap().Width() != o.Width) {
        std::fprintf(stderr, "the viewer did not show the first picture\n");
        return 1;
      }
      first.push_back(StepMs(viewer, Qt::Key_PageDown));
      Dwell(o.DwellMs);
      // Page Down up to the file before the damaged one.
      while (static_cast<std::size_t>(list.Index) + 1 < damagedAt) {
        ahead.push_back(StepMs(viewer, Qt::Key_PageDown));
        Dwell(o.DwellMs);
      }
      StepMs(viewer, Qt::Key_PageDown);  // onto the damaged file
      Dwell(o.DwellMs);
      afterDamaged.push_back(StepMs(viewer, Qt::Key_PageDown));
      Dwell(o.DwellMs);
      // End and Home in turn: the picture read ahead is always the
      // neighbour of the one shown, never the other end.
      for (int turn = 0; turn < 2; ++turn) {
        notAhead.push_back(StepMs(viewer, Qt::Key_End));
        Dwell(o.DwellMs);
        notAhead.push_back(StepMs(viewer, Qt::Key_Home));
        Dwell(o.DwellMs);
      }
      hits += viewer.PrefetchHits();
      direct += viewer.DirectLoads();
      peakMiB = std::max(peakMiB, PeakMemoryMiB() - baseMiB);
      viewer.close();
    }
  }

  const double fl = Median(floor);
  const auto line = [&](const char* what, const std::vector<double>& v, const char* target) {
    std::printf("%-36s %9.1f %9.1f %8.3f   %s\n", what, Median(v), *std::max_element(v.begin(), v.end()),
                Median(v) / fl, target);
  };
  std::printf("\n%-36s %9s %9s %8s   %s\n", "step (ms, key to painted view)", "median", "worst", "x floor",
              "target");
  line("first step after opening", first, "<= 0.2");
  line("read-ahead step", ahead, "<= 0.2");
  line("step after a damaged file", afterDamaged, "<= 0.2");
  line("step not read ahead (End, Home)", notAhead, "<= 1.5");
  line("floor: libjpeg-turbo decode", floor, "");
  std::printf("\npictures read ahead %d, read on the key or at opening %d\n", hits, direct);
  std::printf("peak resident while viewing: %.1f MiB above the start, %.2f pictures (target <= 4)\n", peakMiB,
              peakMiB / pictureMiB);
  const bool met = Median(first) <= 0.2 * fl && Median(ahead) <= 0.2 * fl && Median(afterDamaged) <= 0.2 * fl &&
                   Median(notAhead) <= 1.5 * fl && peakMiB / pictureMiB <= 4.0;
  std::printf("targets %s\n", met ? "met" : "NOT met");

  FreeProgramInfo();
  SetGuiHandler(nullptr);
  fs::remove_all(dir);
  return met ? 0 : 1;
}
