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

#include <malloc.h>
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

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include "app/gui_handler.h"
#include "app/settings.h"
#include "core/bitmap.h"
#include "core/files.h"
#include "core/jpeg.h"
#include "core/streams.h"
#include "formats/registry.h"
#include "imaging/mark.h"
#include "windows/viewer/view_image.h"

namespace {

namespace fs = std::filesystem;
using TClock = std::chrono::steady_clock;

struct TOptions {
  int Count = 12;
  int Width = 6000;
  int Height = 4000;
  int DwellMs = 700;
  int Rounds = 3;
  TPoint View{1600, 900};
};

[[noreturn]] void Usage() {
  std::fprintf(stderr,
               "usage: bench_viewer [--count N] [--width W] [--height H] [--dwell MS] [--view WxH] [--rounds N]\n");
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
    } else if (a == "--rounds") {
      o.Rounds = std::atoi(v.c_str());
    } else if (a == "--view") {
      if (std::sscanf(v.c_str(), "%dx%d", &o.View.X, &o.View.Y) != 2) Usage();
    } else {
      Usage();
    }
  }
  // Room for the steps: opening, the read-ahead steps, the damaged file
  // and the one after it, and End/Home turns.
  if (o.Count < 6 || o.Width < 16 || o.Height < 16 || o.DwellMs < 0 || o.Rounds < 1 || o.View.X < 64 ||
      o.View.Y < 64) {
    Usage();
  }
  return o;
}

double Ms(TClock::time_point from) {
  return std::chrono::duration<double, std::milli>(TClock::now() - from).count();
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// ---- Peak memory ------------------------------------------------------------

// Resets the kernel's peak resident size of this process (Linux 4.0+),
// after the allocator has given back what it holds free.
void ResetPeakMemory() {
  malloc_trim(0);
  std::ofstream f("/proc/self/clear_refs");
  f << "5";
}

double StatusMiB(const char* key) {
  std::ifstream f("/proc/self/status");
  std::string line;
  while (std::getline(f, line)) {
    if (line.rfind(key, 0) == 0) return std::atof(line.c_str() + std::char_traits<char>::length(key)) / 1024.0;
  }
  return 0;
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

// Decodes a file into pixels kept from file to file (growing within them
// touches no new page).
double FloorMs(const std::string& file, std::vector<std::uint8_t>& pixels) {
  const TClock::time_point start = TClock::now();
  std::vector<std::uint8_t> in = ReadFileBytes(file);
  jpeg_decompress_struct d{};
  jpeg_error_mgr err{};
  d.err = jpeg_std_error(&err);
  jpeg_create_decompress(&d);
  jpeg_mem_src(&d, in.data(), static_cast<unsigned long>(in.size()));
  jpeg_read_header(&d, TRUE);
  d.out_color_space = JCS_EXT_BGR;
  jpeg_start_decompress(&d);
  const std::size_t stride = static_cast<std::size_t>(d.output_width) * 3;
  if (pixels.size() < stride * d.output_height) pixels.resize(stride * d.output_height);
  while (d.output_scanline < d.output_height) {
    JSAMPROW row = pixels.data() + stride * d.output_scanline;
    jpeg_read_scanlines(&d, &row, 1);
  }
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  return Ms(start);
}

// ---- The viewer ---------------------------------------------------------------

// Answers every message box at once (the bench opens no damaged file
// first, so none is expected).
class TSilentHandler : public TGuiHandler {
 public:
  int Boxes = 0;
  int ShowMsg(const std::string&, int, const std::string&) override {
    ++Boxes;
    return idOK;
  }
  void ProcessMessages() override { QCoreApplication::processEvents(); }
  bool SetClipboard(const std::vector<TClipboardFormat>&) override { return false; }
  void ApplyFont(void*, const TFontChoice&) override {}
  bool OpenWithDesktop(const std::string&) override { return false; }
};

// The conversion list the viewer walks.
struct TBenchList {
  std::vector<std::string> Files;
  int Index = 0;
  TViewList View() {
    TViewList l;
    l.Count = [this] { return static_cast<int>(Files.size()); };
    l.FileName = [this](int i) { return Files[static_cast<std::size_t>(i)]; };
    l.ItemIndex = [this] { return Index; };
    l.Select = [this](int i) { Index = i; };
    return l;
  }
};

// Looking at the picture: the event loop runs, the loader reads ahead.
void Dwell(int ms) {
  const TClock::time_point start = TClock::now();
  while (Ms(start) < ms) {
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
  return Ms(start);
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
  TSilentHandler handler;
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
  TBenchList list;
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
      peakMiB = std::max(peakMiB, StatusMiB("VmHWM:") - baseMiB);
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
