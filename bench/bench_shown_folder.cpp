// The batch through the main window on Qt's offscreen platform: the same
// sources converted with a plain mark into the folder the file list shows
// and into another folder, in turns, in one run. What the file list does
// while outputs land in its folder must not make the batch slower there.
// Prints the seconds of every run, the medians and their ratio.
//
//   bench_shown_folder [--count N] [--width W] [--height H] [--rounds N]
//
// Defaults: 200 JPEG photos of 2000 x 1500 at quality 90, three rounds of
// both folders. The program folder, sources and outputs live in a
// temporary folder that is removed at the end.

#include <unistd.h>

#include <QApplication>
#include <QFileSystemModel>
#include <QTreeView>
#include <QTreeWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "app/gui_handler.h"
#include "app/settings.h"
#include "core/files.h"
#include "core/jpeg.h"
#include "core/streams.h"
#include "formats/registry.h"
#include "imaging/batch.h"
#include "imaging/mark.h"
#include "windows/form_support.h"
#include "windows/main_form.h"
#include "windows/shell_tree.h"

#include "bench_support.h"
#include "support/recording_gui_handler.h"

namespace {

namespace fs = std::filesystem;
using bench::Median;
using bench::TClock;

struct TOptions {
  int Count = 200;
  int Width = 2000;
  int Height = 1500;
  int Rounds = 3;
};

constexpr const char* kUsage = "usage: bench_shown_folder [--count N] [--width W] [--height H] [--rounds N]\n";

TOptions ParseOptions(int argc, char** argv) {
  TOptions o;
  bench::ParseOptions(argc, argv, kUsage,
                      {bench::IntOption("--count", o.Count), bench::IntOption("--width", o.Width),
                       bench::IntOption("--height", o.Height), bench::IntOption("--rounds", o.Rounds)});
  if (o.Count < 1 || o.Width < 16 || o.Height < 16 || o.Rounds < 1) bench::Usage(kUsage);
  return o;
}

// A photo-like picture: smooth gradients with grain, so the JPEGs have
// the size of real ones.
TBitmap MakePhoto(int w, int h, unsigned seed) {
  TBitmap b(w, h, pf24bit);
  std::mt19937 gen(seed);
  for (int y = 0; y < h; ++y) {
    std::uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      const int grain = static_cast<int>(gen() % 17) - 8;
      row[3 * x] = static_cast<std::uint8_t>(std::clamp(60 + x * 120 / w + grain, 0, 255));
      row[3 * x + 1] = static_cast<std::uint8_t>(std::clamp(90 + y * 100 / h + grain, 0, 255));
      row[3 * x + 2] = static_cast<std::uint8_t>(std::clamp(140 + ((x + y + static_cast<int>(seed)) % 97) + grain, 0, 255));
    }
  }
  return b;
}

void Pump(int milliseconds) {
  const auto until = TClock::now() + std::chrono::milliseconds(milliseconds);
  while (TClock::now() < until) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    usleep(1000);
  }
}

std::string LoadAverage() {
  std::ifstream f("/proc/loadavg");
  std::string one, five, fifteen;
  f >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

}  // namespace

int main(int argc, char** argv) {
  const TOptions o = ParseOptions(argc, argv);
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const std::string languages = ProgramDir() + "language/english";
  const std::string root = (fs::temp_directory_path() / ("stampwise-shown-" + std::to_string(getpid()))).string();
  const std::string dir = root + "/";
  fs::create_directories(dir + "language");
  fs::create_directories(dir + "in");
  fs::create_directories(dir + "shown");
  fs::create_directories(dir + "other");
  if (fs::exists(languages)) fs::copy_file(languages, dir + "language/english");

  QApplication app(argc, argv);
  SetApplicationTitle("Stampwise");
  // Answers the question of a batch without marks with Yes and pumps the
  // events as the program's own window side does.
  testsupport::TRecordingGuiHandler handler;
  handler.Answer = idYes;
  handler.OnPump = [](int) { QCoreApplication::processEvents(); };
  SetGuiHandler(&handler);
  SetProgramDir(dir);
  RegisterImageFormats();
  CreateProgramInfo();

  std::vector<std::string> sources;
  for (int i = 0; i < o.Count; ++i) {
    const std::string name = dir + "in/photo" + std::to_string(1000 + i).substr(1) + ".jpg";
    WriteFileAtomic(name, EncodeJpeg(MakePhoto(o.Width, o.Height, static_cast<unsigned>(i)), 90));
    sources.push_back(name);
  }
  // A plain mark: a small picture at the bottom-right corner, half
  // transparent.
  {
    TMark editor;
    editor.AddMark("");
    editor.Records[0].SetPictureType(".bmp");
    editor.Records[0].SetAnchor(8);
    editor.Records[0].SetTransparency(50);
    TBitmap picture(300, 100, pf24bit);
    picture.Canvas().Brush.Color = RGB(200, 40, 40);
    picture.Canvas().FillRect(TRect{0, 0, 300, 100});
    editor.MarkPictures[0] = picture;
    if (!editor.SaveMarkFile(0, GetMarkFileName("plain"))) return 1;
  }

  int result = 0;
  {
    TfrmMain form;
    TMainServices& services = TfrmMain::Services();
    services.QueryOverwrite = [](const std::string&) { return owAllYes; };
    services.ShowLog = [](const TStringList&) {};
    form.show();
    // What the file list's folder model is told while a batch runs.
    int changes = 0;
    if (auto* model = form.findChild<QFileSystemModel*>("lvwFileModel")) {
      QObject::connect(model, &QAbstractItemModel::rowsInserted, [&changes] { ++changes; });
      QObject::connect(model, &QAbstractItemModel::rowsRemoved, [&changes] { ++changes; });
      QObject::connect(model, &QAbstractItemModel::dataChanged, [&changes] { ++changes; });
      QObject::connect(model, &QAbstractItemModel::layoutChanged, [&changes] { ++changes; });
    }
    Pump(200);
    // The file list shows the folder the first batch writes into.
    ShellTreeGotoPath(*form.tvwPath, dir + "shown");
    Pump(300);
    if (form.ShellListFolder() != dir + "shown") {
      std::fprintf(stderr, "the file list does not show %sshown\n", dir.c_str());
      return 1;
    }
    form.WMDropFiles(sources);
    form.SetMarkChecked("plain", true);
    if (form.ConvFiles().size() != sources.size() || form.Layers().Items.size() != 1) {
      std::fprintf(stderr, "the conversion list or the layers are not as set up\n");
      return 1;
    }

    std::printf("%d JPEG photos of %d x %d, plain mark; load average at the start: %s\n", o.Count, o.Width,
                o.Height, LoadAverage().c_str());
    std::vector<double> shown, other;
    for (int round = 0; round < o.Rounds; ++round) {
      // The order changes from round to round, so neither folder always
      // meets the colder start.
      const std::vector<const char*> order = round % 2 ? std::vector<const char*>{"other", "shown"}
                                                       : std::vector<const char*>{"shown", "other"};
      for (const char* folder : order) {
        changes = 0;
        const TClock::time_point start = TClock::now();
        form.ConvertFiles(dir + folder + "/");
        const double seconds = std::chrono::duration<double>(TClock::now() - start).count();
        (std::string(folder) == "shown" ? shown : other).push_back(seconds);
        std::printf("round %d  into the %-6s folder  %7.2f s  (%d changes of the file list's model)\n", round + 1,
                    folder, seconds, changes);
        std::fflush(stdout);
        // What the list does once a batch has ended is not the batch's.
        Pump(500);
      }
    }
    const double a = Median(shown), b = Median(other);
    std::printf("medians: shown folder %.2f s, other folder %.2f s; shown/other %.3f\n", a, b, a / b);
    std::printf("load average at the end: %s\n", LoadAverage().c_str());
    std::size_t listed = 0;
    for (const auto& entry : fs::directory_iterator(dir + "shown")) listed += entry.is_regular_file() ? 1 : 0;
    if (listed != sources.size()) {
      std::fprintf(stderr, "the shown folder holds %zu files, not %zu\n", listed, sources.size());
      result = 1;
    }
    // The file list shows them all once the batches are over.
    auto rows = [&form] { return form.lvwFile->model()->rowCount(form.lvwFile->rootIndex()); };
    for (int i = 0; i < 100 && rows() != o.Count; ++i) Pump(50);
    if (rows() != o.Count) {
      std::fprintf(stderr, "the file list shows %d files, not %d\n", rows(), o.Count);
      result = 1;
    }
  }
  FreeProgramInfo();
  SetGuiHandler(nullptr);
  fs::remove_all(root);
  return result;
}
