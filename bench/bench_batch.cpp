// The batch's per-file work, measured: one mark set loaded once, every
// source taken through TMark::ProcessFile into a JPEG, single-threaded as
// the batch runs. Prints per-file medians split into decode, render,
// encode and write, the peak memory of each variant, and the ratios to two
// floors timed on the same files in the same run: libjpeg-turbo decoding
// and re-encoding each file in this process into one buffer kept from file
// to file (the honest floor), and the same with a fresh buffer per file.
// Then the plain mark into PNG and GIF outputs with their peak memory, and
// the whole batch (RunBatch, the plain mark into JPEG outputs) on one
// worker against N workers on the same files, with the ratio and the
// peak memory of each against one decoded picture.
//
//   bench_batch [--count N] [--width W] [--height H] [--quality Q]
//               [--variant plain|tiled|rotated|frame|all] [--rounds N]
//               [--threads N] [--dir DIR]
//
// Defaults: 20 photos of 4000 x 3000 at quality 90, every variant, one
// round (each round takes every file once more; medians are over all of
// them), as many batch workers as the machine has cores. With --dir the inputs, the mark picture (mark.bmp) and the
// outputs stay in DIR (the ImageMagick comparison script uses them);
// otherwise they live in a temporary folder that is removed at the end.

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include "app/settings.h"
#include "core/bitmap.h"
#include "core/bmp.h"
#include "core/files.h"
#include "core/jpeg.h"
#include "core/streams.h"
#include "formats/registry.h"
#include "imaging/batch.h"
#include "imaging/mark.h"

#include "bench_support.h"

namespace {

using bench::Median;
using bench::MsSince;
using bench::PeakMemoryMiB;
using bench::ResetPeakMemory;
using bench::TClock;

struct TOptions {
  int Count = 20;
  int Width = 4000;
  int Height = 3000;
  int Quality = 90;
  int Rounds = 1;
  int Threads = 0;  // 0: one per core
  std::string Variant = "all";
  std::string Dir;
};

constexpr const char* kUsage =
    "usage: bench_batch [--count N] [--width W] [--height H] [--quality Q]\n"
    "                   [--variant plain|tiled|rotated|frame|all] [--rounds N]\n"
    "                   [--threads N] [--dir DIR]\n";

TOptions ParseOptions(int argc, char** argv) {
  TOptions o;
  bench::ParseOptions(argc, argv, kUsage,
                      {bench::IntOption("--count", o.Count), bench::IntOption("--width", o.Width),
                       bench::IntOption("--height", o.Height), bench::IntOption("--quality", o.Quality),
                       bench::IntOption("--rounds", o.Rounds),
                       {"--threads",
                        [&o](const std::string& v) {
                          o.Threads = std::atoi(v.c_str());
                          return o.Threads >= 1;
                        }},
                       bench::TextOption("--variant", o.Variant), bench::TextOption("--dir", o.Dir)});
  if (o.Count < 1 || o.Width < 16 || o.Height < 16 || o.Quality < 1 || o.Quality > 100 ||
      o.Rounds < 1) {
    bench::Usage(kUsage);
  }
  return o;
}

// The processor time this process has used, all its threads together.
double ProcessorMs() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return (static_cast<double>(usage.ru_utime.tv_sec) + static_cast<double>(usage.ru_stime.tv_sec)) * 1000.0 +
         (static_cast<double>(usage.ru_utime.tv_usec) + static_cast<double>(usage.ru_stime.tv_usec)) / 1000.0;
}

// ---- Inputs -----------------------------------------------------------------

// Smooth value noise on a lattice of the given cell size.
class TValueNoise {
 public:
  TValueNoise(int width, int height, int cell, unsigned seed) : cell_(cell) {
    gw_ = width / cell + 2;
    gh_ = height / cell + 2;
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> d(0.0f, 1.0f);
    grid_.resize(static_cast<std::size_t>(gw_) * gh_);
    for (float& g : grid_) g = d(gen);
  }
  float At(int x, int y) const {
    const float fx = static_cast<float>(x) / cell_, fy = static_cast<float>(y) / cell_;
    const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
    float tx = fx - ix, ty = fy - iy;
    tx = tx * tx * (3 - 2 * tx);
    ty = ty * ty * (3 - 2 * ty);
    const float* r0 = &grid_[static_cast<std::size_t>(iy) * gw_ + ix];
    const float* r1 = r0 + gw_;
    const float a = r0[0] + (r0[1] - r0[0]) * tx, b = r1[0] + (r1[1] - r1[0]) * tx;
    return a + (b - a) * ty;
  }

 private:
  int cell_, gw_, gh_;
  std::vector<float> grid_;
};

// A landscape-like photo: a sky gradient with clouds above a horizon,
// hills and fields of several octaves below, and a little sensor grain.
TBitmap MakePhoto(int w, int h, unsigned seed) {
  TBitmap b(w, h, pf24bit);
  const TValueNoise big(w, h, std::max(8, w / 10), seed), mid(w, h, std::max(4, w / 50), seed + 1),
      fine(w, h, 6, seed + 2);
  std::mt19937 gen(seed + 3);
  const int horizon = h * 2 / 5 + static_cast<int>(seed % 7) * h / 40;
  for (int y = 0; y < h; ++y) {
    std::uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      const float n = 0.55f * big.At(x, y) + 0.3f * mid.At(x, y) + 0.15f * fine.At(x, y);
      const int hill = horizon + static_cast<int>((big.At(x, 0) - 0.5f) * h / 6);
      float r, g, bl;
      if (y < hill) {
        const float t = static_cast<float>(y) / static_cast<float>(hill);
        const float cloud = std::max(0.0f, n - 0.55f) * 2.5f;
        r = 90 + 80 * t + 160 * cloud;
        g = 140 + 60 * t + 110 * cloud;
        bl = 230 - 20 * t + 25 * cloud;
      } else {
        const float t = static_cast<float>(y - hill) / static_cast<float>(h - hill + 1);
        r = 60 + 90 * n + 40 * t;
        g = 90 + 110 * n - 20 * t;
        bl = 40 + 50 * n;
      }
      const float grain = static_cast<float>(static_cast<int>(gen() % 13) - 6);
      row[3 * x] = static_cast<std::uint8_t>(std::clamp(bl + grain, 0.0f, 255.0f));
      row[3 * x + 1] = static_cast<std::uint8_t>(std::clamp(g + grain, 0.0f, 255.0f));
      row[3 * x + 2] = static_cast<std::uint8_t>(std::clamp(r + grain, 0.0f, 255.0f));
    }
  }
  return b;
}

// A 600 x 200 logo on white: a band of letters-like bars and a disc.
TBitmap MakeMarkPicture() {
  TBitmap b(600, 200, pf24bit);
  b.Canvas().Brush.Color = clWhite;
  b.Canvas().FillRect(TRect{0, 0, 600, 200});
  for (int i = 0; i < 9; ++i) {
    b.Canvas().Brush.Color = RGB(30 + 20 * i, 40, 200 - 15 * i);
    b.Canvas().FillRect(TRect{170 + 45 * i, 50 + (i % 3) * 10, 200 + 45 * i, 150 - (i % 2) * 20});
  }
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < 160; ++x) {
      const int dx = x - 80, dy = y - 100;
      if (dx * dx + dy * dy < 75 * 75) b.Canvas().SetPixel(x, y, RGB(220, 120 + dy / 2, 20));
    }
  }
  return b;
}

TBitmap MakeMask(int w, int h) {
  TBitmap b(w, h, pf24bit);
  for (int y = 0; y < h; ++y) {
    std::uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      const double dx = (x - w / 2.0) / (w / 2.0), dy = (y - h / 2.0) / (h / 2.0);
      const int v = std::clamp(static_cast<int>(255 * (1.3 - std::sqrt(dx * dx + dy * dy))), 0, 255);
      row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = static_cast<std::uint8_t>(v);
    }
  }
  return b;
}

struct TVariant {
  const char* Name;
  void (*SetUp)(TMark& m, int width, int height);
};

void PlainMark(TMark& m, int, int) {
  TMarkInfo& r = m.Records[0];
  r.SetAnchor(8);
  r.SetTransparency(50);
  r.SetColorKeyOn(true);
  r.SetKeyColor(clWhite);
}

void TiledMark(TMark& m, int w, int h) {
  PlainMark(m, w, h);
  m.Records[0].SetAnchor(0);
  m.Records[0].SetEffectFlags(mfTilePic);
}

void RotatedMark(TMark& m, int w, int h) {
  PlainMark(m, w, h);
  TMarkInfo& r = m.Records[0];
  r.SetAngle(45);
  r.SetEffectFlags(mfResize | mfMosaic);
  r.SetResizeX(150);
  r.SetResizeY(150);
  r.SetMosaicWidth(4);
  r.SetMosaicHeight(4);
}

void FramedMark(TMark& m, int w, int h) {
  PlainMark(m, w, h);
  TMarkInfo& r = m.Records[0];
  r.SetEffectFlags(mfSourceFrame | mfUseMask | mfSourceBackgroundColor);
  r.SetFrameWidthX(40);
  r.SetFrameWidthY(40);
  r.SetFrameColor(RGB(40, 40, 40));
  r.SetFrameStyle(1);
  r.SetBevelWidth(3);
  r.SetSourceBackColor(clWhite);
  r.SetMaskRect(TRect{0, 0, w, h});
  m.Masks[0] = MakeMask(400, 300);
}

const TVariant kVariants[] = {
    {"plain", PlainMark}, {"tiled", TiledMark}, {"rotated", RotatedMark}, {"frame", FramedMark}};

// ---- The floors: libjpeg-turbo alone -----------------------------------------

struct TFloorTimes {
  double DecodeMs = 0, EncodeMs = 0, WriteMs = 0;
  double Total() const { return DecodeMs + EncodeMs + WriteMs; }
};

// The memory a floor keeps from file to file: the decoded rows and the
// compressed bytes. A fresh floor starts every file with empty buffers, so
// its rows are allocated (and cleared, as a vector does) per file.
struct TFloorBuffers {
  std::vector<std::uint8_t> Pixels;
  unsigned char* Out = nullptr;
  unsigned long OutCapacity = 0;
  unsigned long OutUsed = 0;  // the most of Out ever written, so resident
  ~TFloorBuffers() { std::free(Out); }
  double ResidentMiB() const { return static_cast<double>(Pixels.size() + OutUsed) / (1024.0 * 1024.0); }
};

TFloorTimes FloorMs(const std::string& src, const std::string& dest, int quality, TFloorBuffers& buffers) {
  TFloorTimes t;
  TClock::time_point start = TClock::now();
  const auto [w, h] = bench::DecodeJpegFloor(src, buffers.Pixels);
  const std::size_t stride = static_cast<std::size_t>(w) * 3;
  std::uint8_t* pixels = buffers.Pixels.data();
  t.DecodeMs = MsSince(start);
  start = TClock::now();
  jpeg_compress_struct c{};
  jpeg_error_mgr cerr{};
  c.err = jpeg_std_error(&cerr);
  jpeg_create_compress(&c);
  // libjpeg-turbo writes into the given buffer and replaces it by a larger
  // one of its own when it runs out.
  if (buffers.Out == nullptr) {
    buffers.OutCapacity = static_cast<unsigned long>(stride * h / 2 + 65536);
    buffers.Out = static_cast<unsigned char*>(std::malloc(buffers.OutCapacity));
  }
  unsigned char* out = buffers.Out;
  unsigned long outSize = buffers.OutCapacity;
  jpeg_mem_dest(&c, &out, &outSize);
  c.image_width = w;
  c.image_height = h;
  c.input_components = 3;
  c.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, quality, TRUE);
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = pixels + stride * c.next_scanline;
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  if (out != buffers.Out) {
    std::free(buffers.Out);
    buffers.Out = out;
    buffers.OutCapacity = outSize;
  }
  buffers.OutUsed = std::max(buffers.OutUsed, outSize);
  t.EncodeMs = MsSince(start);
  start = TClock::now();
  FILE* f = std::fopen(dest.c_str(), "wb");
  if (f == nullptr || std::fwrite(out, 1, outSize, f) != outSize) std::abort();
  std::fclose(f);
  t.WriteMs = MsSince(start);
  return t;
}

TFloorTimes FreshFloorMs(const std::string& src, const std::string& dest, int quality) {
  TFloorBuffers fresh;
  return FloorMs(src, dest, quality, fresh);
}

}  // namespace

int main(int argc, char** argv) {
  const TOptions o = ParseOptions(argc, argv);
  const bool keep = !o.Dir.empty();
  const std::string root =
      keep ? o.Dir : (std::filesystem::temp_directory_path() / ("stampwise-bench-" + std::to_string(getpid())))
                         .string();
  const std::string dir = root + "/";
  std::filesystem::create_directories(dir + "in");
  std::filesystem::create_directories(dir + "out");
  // The program folder holds the settings (defaults: quality kept at 90).
  SetProgramDir(dir);
  CreateProgramInfo();
  RegisterImageFormats();

  std::printf("inputs: %d JPEG photos of %d x %d at quality %d in %s\n", o.Count, o.Width, o.Height, o.Quality,
              dir.c_str());
  std::vector<std::string> sources;
  for (int i = 0; i < o.Count; ++i) {
    const std::string name = dir + "in/photo" + std::to_string(100 + i).substr(1) + ".jpg";
    if (!FileExists(name)) {
      WriteFileAtomic(name, EncodeJpeg(MakePhoto(o.Width, o.Height, static_cast<unsigned>(i) * 7919u), o.Quality));
    }
    sources.push_back(name);
  }
  const TBitmap markPicture = MakeMarkPicture();
  WriteFileAtomic(dir + "mark.bmp", WriteBmp(markPicture));
  const double decodedMiB = static_cast<double>(o.Width) * o.Height * 3 / (1024.0 * 1024.0);

  // One pass of the floor brings the files and the libraries into memory.
  TFloorBuffers kept;
  for (const std::string& s : sources) FloorMs(s, dir + "out/floor.jpg", o.Quality, kept);
  std::printf("%-8s %8s %8s %8s %8s %8s %8s %8s %8s %8s %9s %8s\n", "", "decode", "render", "encode", "write",
              "total", "floor", "ours/fl", "fresh", "ours/fr", "peak MiB", "peak/pic");
  std::vector<double> floorDecode, floorEncode, floorWrite;

  // The mark file of a variant, as the mark editor would save it.
  auto saveMark = [&](const TVariant& v) {
    TMark editor;
    editor.AddMark("");
    editor.Records[0].SetPictureType(".bmp");
    editor.Records[0].SetStoredPictureType(".bmp");
    editor.MarkPictures[0] = markPicture;
    v.SetUp(editor, o.Width, o.Height);
    return editor.SaveMarkFile(0, dir + v.Name + ".spm");
  };

  int failures = 0;
  std::vector<std::pair<std::string, double>> totals;
  for (const TVariant& v : kVariants) {
    if (o.Variant != "all" && o.Variant != v.Name) continue;
    if (!saveMark(v)) return 1;
    TMark marks;
    marks.AddMarkFiles(std::vector<std::string>{dir + v.Name + ".spm"});
    marks.LoadMarks();
    std::vector<double> decode, render, encode, write, total, floor, fresh;
    double peak = 0;
    // Both floors run on each file right after ours, so all three meet the
    // same load of the machine.
    for (int round = 0; round < o.Rounds; ++round) {
      for (const std::string& s : sources) {
        TMark::TStageTimes t;
        const TClock::time_point start = TClock::now();
        if (!marks.ProcessFile(s, dir + "out/" + v.Name + ".jpeg", &t)) ++failures;
        total.push_back(MsSince(start));
        decode.push_back(t.DecodeMs);
        render.push_back(t.RenderMs);
        encode.push_back(t.EncodeMs);
        write.push_back(t.WriteMs);
        const TFloorTimes f = FloorMs(s, dir + "out/floor.jpg", o.Quality, kept);
        floor.push_back(f.Total());
        floorDecode.push_back(f.DecodeMs);
        floorEncode.push_back(f.EncodeMs);
        floorWrite.push_back(f.WriteMs);
        fresh.push_back(FreshFloorMs(s, dir + "out/fresh.jpg", o.Quality).Total());
      }
    }
    // The memory in a pass of its own: giving the heap back before each
    // file would make the timed files fault their memory in again.
    for (std::size_t i = 0; i < std::min<std::size_t>(sources.size(), 3); ++i) {
      ResetPeakMemory();
      if (!marks.ProcessFile(sources[i], dir + "out/" + v.Name + ".jpeg")) ++failures;
      peak = std::max(peak, PeakMemoryMiB() - kept.ResidentMiB());
    }
    totals.emplace_back(v.Name, Median(total));
    std::printf("%-8s %8.1f %8.1f %8.1f %8.1f %8.1f %8.1f %8.3f %8.1f %8.3f %9.1f %8.2f\n", v.Name, Median(decode),
                Median(render), Median(encode), Median(write), Median(total), Median(floor),
                Median(total) / Median(floor), Median(fresh), Median(total) / Median(fresh), peak,
                peak / decodedMiB);
    std::fflush(stdout);
  }
  std::printf("%-8s %8.1f %8s %8.1f %8.1f   (libjpeg-turbo alone, one kept buffer: decode, encode at q%d, write)\n",
              "floor", Median(floorDecode), "-", Median(floorEncode), Median(floorWrite), o.Quality);
  if (!totals.empty() && totals.front().first == "plain") {
    for (std::size_t i = 1; i < totals.size(); ++i) {
      std::printf("%s/plain: %.3f\n", totals[i].first.c_str(), totals[i].second / totals.front().second);
    }
  }

  // The plain mark into the other output types that hold the whole
  // picture while they code it.
  if (o.Variant == "all" || o.Variant == "plain") {
    if (!saveMark(kVariants[0])) return 1;
    const std::size_t files = std::min<std::size_t>(sources.size(), 3);
    std::printf("\n%-8s %8s %9s %8s   (plain mark, first %zu files)\n", "output", "total", "peak MiB", "peak/pic",
                files);
    for (const char* type : {"png", "gif"}) {
      TMark marks;
      marks.AddMarkFiles(std::vector<std::string>{dir + "plain.spm"});
      marks.LoadMarks();
      std::vector<double> total;
      double peak = 0;
      for (std::size_t i = 0; i < files; ++i) {
        const TClock::time_point start = TClock::now();
        if (!marks.ProcessFile(sources[i], dir + "out/plain." + type)) ++failures;
        total.push_back(MsSince(start));
      }
      for (std::size_t i = 0; i < files; ++i) {
        ResetPeakMemory();
        if (!marks.ProcessFile(sources[i], dir + "out/plain." + type)) ++failures;
        peak = std::max(peak, PeakMemoryMiB() - kept.ResidentMiB());
      }
      std::printf("%-8s %8.1f %9.1f %8.2f\n", type, Median(total), peak, peak / decodedMiB);
      std::fflush(stdout);
    }
  }
  // The whole batch, as the main window runs it, on one worker and on N:
  // in turns, round by round, on the same files.
  if (o.Variant == "all" || o.Variant == "plain") {
    if (!saveMark(kVariants[0])) return 1;
    const int threads = o.Threads > 0 ? o.Threads : MachineCores();
    TBatchHooks hooks;
    hooks.QueryOverwrite = [](const std::string&) { return owAllYes; };
    std::vector<double> perFile[2];
    std::vector<double> busyCores[2];  // processor time over the run's time
    double peak[2] = {0, 0};
    const int workers[2] = {1, threads};
    ProgramInfo().OutputFileType = 1;
    for (int round = 0; round < o.Rounds; ++round) {
      for (int k = 0; k < 2; ++k) {
        const std::string folder = dir + "out/run" + std::to_string(workers[k]);
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        hooks.Workers = workers[k];
        ResetPeakMemory();
        const TClock::time_point start = TClock::now();
        const double processorStart = ProcessorMs();
        const TBatchResult r = RunBatch({dir + "plain.spm"}, sources, folder, hooks);
        const double wall = MsSince(start);
        perFile[k].push_back(wall / static_cast<double>(sources.size()));
        busyCores[k].push_back((ProcessorMs() - processorStart) / wall);
        // The first round only: later ones start with what the workers'
        // heaps kept, which no trim gives back.
        if (round == 0) peak[k] = PeakMemoryMiB() - kept.ResidentMiB();
        failures += r.Total - r.Converted;
      }
    }
    std::printf("\n%-8s %8s %8s %9s %8s %8s   (RunBatch, plain mark into JPEG, %zu files, medians over %d rounds;"
                " peak in the first; cores: processor time over the run's time)\n",
                "", "workers", "ms/file", "peak MiB", "peak/pic", "cores", sources.size(), o.Rounds);
    for (int k = 0; k < 2; ++k) {
      std::printf("%-8s %8d %8.1f %9.1f %8.2f %8.2f\n", "run", workers[k], Median(perFile[k]), peak[k],
                  peak[k] / decodedMiB, Median(busyCores[k]));
    }
    std::printf("workers %d/1: %.3f\n", threads, Median(perFile[1]) / Median(perFile[0]));
    std::fflush(stdout);
  }

  std::printf("\n(milliseconds per file, medians over %d files x %d rounds; floor: libjpeg-turbo decoding and\n"
              "re-encoding in this process into one kept buffer, fresh: the same with new buffers per file;\n"
              "peak memory (over the first files once more, untimed) is the process's peak resident size while a\n"
              "file is processed, less what the floor keeps, against the decoded picture of %.1f MiB)\n",
              o.Count, o.Rounds, decodedMiB);
  FreeProgramInfo();
  if (!keep) std::filesystem::remove_all(root);
  if (failures) {
    std::fprintf(stderr, "%d files failed\n", failures);
    return 1;
  }
  return 0;
}
