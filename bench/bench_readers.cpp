// Decoding speed of the run-length readers: a 4000 x 3000 picture in each
// format (raw and run-length coded where the format has both), each file
// loaded by our reader and by ImageMagick's convert writing PPM, in the
// same run. Prints the median of the runs and our time over ImageMagick's.
//
//   bench_readers [--width W] [--height H] [--runs N] [--dir D]

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/streams.h"
#include "formats/autodesk/autodesk_graphic.h"
#include "formats/cut/cut_graphic.h"
#include "formats/pcx/pcx_graphic.h"
#include "formats/pcx/pcx_writer.h"
#include "formats/ppm/ppm_graphic.h"
#include "formats/psd/psd_graphic.h"
#include "formats/rla/rla_graphic.h"
#include "formats/sgi/sgi_graphic.h"
#include "formats/tga/tga_graphic.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

int W = 4000, H = 3000, Runs = 3;

// A photograph-like picture: smooth gradients, flat areas (runs) and
// noisy patches, as R, G, B.
Bytes Picture() {
  Bytes rgb(static_cast<std::size_t>(W) * H * 3);
  std::uint32_t s = 12345;
  std::size_t o = 0;
  for (int y = 0; y < H; ++y) {
    for (int x = 0; x < W; ++x, o += 3) {
      const int area = (x / 97 + y / 61) % 4;
      if (area == 0) {
        rgb[o] = 40, rgb[o + 1] = 120, rgb[o + 2] = 200;
      } else if (area == 1) {
        s ^= s << 13, s ^= s >> 17, s ^= s << 5;
        rgb[o] = static_cast<std::uint8_t>(s), rgb[o + 1] = static_cast<std::uint8_t>(s >> 8),
        rgb[o + 2] = static_cast<std::uint8_t>(s >> 16);
      } else {
        rgb[o] = static_cast<std::uint8_t>(x / 16), rgb[o + 1] = static_cast<std::uint8_t>(y / 12),
        rgb[o + 2] = static_cast<std::uint8_t>((x + y) / 28);
      }
    }
  }
  return rgb;
}

void Put16LE(Bytes& b, unsigned v) { b.insert(b.end(), {std::uint8_t(v), std::uint8_t(v >> 8)}); }
void Put16BE(Bytes& b, unsigned v) { b.insert(b.end(), {std::uint8_t(v >> 8), std::uint8_t(v)}); }
void Put32BE(Bytes& b, std::uint32_t v) {
  b.insert(b.end(), {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)});
}

// Splits a line into runs of equal bytes (at least minRun long, at most
// maxRun) and literal stretches (at most maxLiteral), handing each to
// the format's packet writer.
void Pack(const std::uint8_t* p, std::size_t n, std::size_t maxRun, std::size_t maxLiteral,
          const std::function<void(std::uint8_t, std::size_t)>& run,
          const std::function<void(const std::uint8_t*, std::size_t)>& literal) {
  std::size_t i = 0;
  while (i < n) {
    std::size_t r = 1;
    while (i + r < n && p[i + r] == p[i] && r < maxRun) ++r;
    if (r >= 3) {
      run(p[i], r);
      i += r;
      continue;
    }
    std::size_t j = i;
    while (j < n && j - i < maxLiteral && !(j + 2 < n && p[j] == p[j + 1] && p[j] == p[j + 2])) ++j;
    literal(p + i, j - i);
    i = j;
  }
}

Bytes Plane(const Bytes& rgb, int c, int y) {
  Bytes line(static_cast<std::size_t>(W));
  for (int x = 0; x < W; ++x) line[static_cast<std::size_t>(x)] = rgb[(static_cast<std::size_t>(y) * W + x) * 3 + c];
  return line;
}

void Save(const std::string& name, const Bytes& bytes) {
  TMemoryStream s(bytes);
  s.SaveToFile(name);
}

struct TFile {
  std::string Label;
  std::string Name;
  const TGraphicClass* Class;
  bool ImageMagick;  // convert reads the format
};

std::vector<TFile> MakeFiles(const std::string& dir) {
  const Bytes rgb = Picture();
  std::vector<TFile> files;
  // Targa, by the class's own writer.
  TTargaGraphic tga;
  tga.SetSizeForDecoding(W, H, pf24bit);
  for (int y = 0; y < H; ++y) {
    std::uint8_t* row = tga.ScanLine(y);
    for (int x = 0; x < W; ++x) {
      const std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * W + x) * 3];
      row[3 * x] = p[2], row[3 * x + 1] = p[1], row[3 * x + 2] = p[0];
    }
  }
  for (bool rle : {false, true}) {
    TMemoryStream s;
    tga.SaveTarga(s, rle);
    const std::string name = dir + (rle ? "/rle.tga" : "/raw.tga");
    s.SaveToFile(name);
    files.push_back({rle ? "Targa RLE" : "Targa raw", name, &TTargaGraphic::StaticClass(), true});
  }
  // PCX: the program's writer (run-length), and raw planes by hand.
  SavePCX(dir + "/rle.pcx", tga, pcxTrueColour);
  files.push_back({"PCX RLE", dir + "/rle.pcx", &TPCXGraphic::StaticClass(), true});
  {
    TMemoryStream s;
    s.LoadFromFile(dir + "/rle.pcx");
    Bytes b(s.Bytes().begin(), s.Bytes().begin() + 128);
    b[2] = 0;
    for (int y = 0; y < H; ++y) {
      for (int c = 0; c < 3; ++c) {
        const Bytes line = Plane(rgb, c, y);
        b.insert(b.end(), line.begin(), line.end());
      }
    }
    Save(dir + "/raw.pcx", b);
    files.push_back({"PCX raw", dir + "/raw.pcx", &TPCXGraphic::StaticClass(), true});
  }
  // SGI verbatim and run-length.
  for (bool rle : {false, true}) {
    Bytes b;
    Put16BE(b, 474);
    b.push_back(rle ? 1 : 0);
    b.push_back(1);
    Put16BE(b, 3);
    Put16BE(b, static_cast<unsigned>(W));
    Put16BE(b, static_cast<unsigned>(H));
    Put16BE(b, 3);
    b.resize(512, 0);
    std::vector<Bytes> rows;
    for (int c = 0; c < 3; ++c) {
      for (int y = H - 1; y >= 0; --y) {
        const Bytes line = Plane(rgb, c, y);
        if (!rle) {
          rows.push_back(line);
          continue;
        }
        Bytes p;
        Pack(line.data(), line.size(), 127, 127, [&](std::uint8_t v, std::size_t n) { p.insert(p.end(), {std::uint8_t(n), v}); },
             [&](const std::uint8_t* q, std::size_t n) {
               p.push_back(static_cast<std::uint8_t>(0x80 | n));
               p.insert(p.end(), q, q + n);
             });
        p.push_back(0);
        rows.push_back(p);
      }
    }
    if (rle) {
      std::uint32_t at = static_cast<std::uint32_t>(512 + 8 * rows.size());
      for (const Bytes& r : rows) Put32BE(b, at), at += static_cast<std::uint32_t>(r.size());
      for (const Bytes& r : rows) Put32BE(b, static_cast<std::uint32_t>(r.size()));
    }
    for (const Bytes& r : rows) b.insert(b.end(), r.begin(), r.end());
    const std::string name = dir + (rle ? "/rle.sgi" : "/raw.sgi");
    Save(name, b);
    files.push_back({rle ? "SGI RLE" : "SGI verbatim", name, &TSGIGraphic::StaticClass(), true});
  }
  // Portable pixmaps, raw and text.
  {
    std::string head = "P6\n" + std::to_string(W) + " " + std::to_string(H) + "\n255\n";
    Bytes b(head.begin(), head.end());
    b.insert(b.end(), rgb.begin(), rgb.end());
    Save(dir + "/raw.ppm", b);
    files.push_back({"PPM raw (P6)", dir + "/raw.ppm", &TPPMGraphic::StaticClass(), true});
    std::string text = "P3\n" + std::to_string(W) + " " + std::to_string(H) + "\n255\n";
    for (std::size_t i = 0; i < rgb.size(); ++i) text += std::to_string(rgb[i]) + ((i % 15 == 14) ? "\n" : " ");
    Save(dir + "/text.ppm", Bytes(text.begin(), text.end()));
    files.push_back({"PPM text (P3)", dir + "/text.ppm", &TPPMGraphic::StaticClass(), true});
  }
  // Indexed pictures: Autodesk (raw) and CUT (run-length).
  Bytes index(static_cast<std::size_t>(W) * H);
  for (std::size_t i = 0; i < index.size(); ++i) index[i] = static_cast<std::uint8_t>(rgb[3 * i] / 4 + rgb[3 * i + 1] / 2);
  {
    Bytes b;
    Put16LE(b, 0x9119), Put16LE(b, static_cast<unsigned>(W)), Put16LE(b, static_cast<unsigned>(H));
    b.resize(10, 0);
    Put16LE(b, 8);
    b.resize(32, 0);
    for (int i = 0; i < 768; ++i) b.push_back(static_cast<std::uint8_t>(i % 64));
    b.insert(b.end(), index.begin(), index.end());
    Save(dir + "/raw.cel", b);
    files.push_back({"Autodesk raw", dir + "/raw.cel", &TAutodeskGraphic::StaticClass(), false});
  }
  {
    Bytes b;
    Put16LE(b, static_cast<unsigned>(W)), Put16LE(b, static_cast<unsigned>(H)), Put16LE(b, 0);
    for (int y = 0; y < H; ++y) {
      Bytes p;
      Pack(&index[static_cast<std::size_t>(y) * W], static_cast<std::size_t>(W), 127, 127,
           [&](std::uint8_t v, std::size_t n) { p.insert(p.end(), {std::uint8_t(0x80 | n), v}); },
           [&](const std::uint8_t* q, std::size_t n) {
             p.push_back(static_cast<std::uint8_t>(n));
             p.insert(p.end(), q, q + n);
           });
      p.push_back(0);
      Put16LE(b, static_cast<unsigned>(p.size()));
      b.insert(b.end(), p.begin(), p.end());
    }
    Save(dir + "/rle.cut", b);
    files.push_back({"CUT RLE", dir + "/rle.cut", &TCUTGraphic::StaticClass(), true});
  }
  // RLA (run-length only), rows bottom first.
  {
    Bytes b(740, 0);
    auto set16 = [&](std::size_t at, unsigned v) { b[at] = std::uint8_t(v >> 8), b[at + 1] = std::uint8_t(v); };
    set16(2, static_cast<unsigned>(W - 1)), set16(6, static_cast<unsigned>(H - 1));
    set16(10, static_cast<unsigned>(W - 1)), set16(14, static_cast<unsigned>(H - 1));
    set16(20, 3), set16(26, 0xFFFE), set16(658, 8);
    std::memcpy(&b[28], "1.0", 3);
    std::memcpy(&b[580], "rgb", 3);
    std::vector<Bytes> rows;
    for (int i = 0; i < H; ++i) {
      Bytes r;
      for (int c = 0; c < 3; ++c) {
        const Bytes line = Plane(rgb, c, H - 1 - i);
        Bytes p;
        Pack(line.data(), line.size(), 128, 128, [&](std::uint8_t v, std::size_t n) { p.insert(p.end(), {std::uint8_t(n - 1), v}); },
             [&](const std::uint8_t* q, std::size_t n) {
               p.push_back(static_cast<std::uint8_t>(-static_cast<int>(n)));
               p.insert(p.end(), q, q + n);
             });
        Put16BE(r, static_cast<unsigned>(p.size()));
        r.insert(r.end(), p.begin(), p.end());
      }
      rows.push_back(r);
    }
    std::uint32_t at = static_cast<std::uint32_t>(740 + 4 * H);
    for (const Bytes& r : rows) Put32BE(b, at), at += static_cast<std::uint32_t>(r.size());
    for (const Bytes& r : rows) b.insert(b.end(), r.begin(), r.end());
    Save(dir + "/rle.rla", b);
    files.push_back({"RLA RLE", dir + "/rle.rla", &TRLAGraphic::StaticClass(), true});
  }
  // Photoshop raw and PackBits.
  for (bool rle : {false, true}) {
    Bytes b{'8', 'B', 'P', 'S'};
    Put16BE(b, 1);
    b.resize(12, 0);
    Put16BE(b, 3), Put32BE(b, static_cast<std::uint32_t>(H)), Put32BE(b, static_cast<std::uint32_t>(W)), Put16BE(b, 8),
        Put16BE(b, 3);
    Put32BE(b, 0), Put32BE(b, 0), Put32BE(b, 0), Put16BE(b, rle ? 1 : 0);
    std::vector<Bytes> rows;
    for (int c = 0; c < 3; ++c) {
      for (int y = 0; y < H; ++y) {
        const Bytes line = Plane(rgb, c, y);
        if (!rle) {
          rows.push_back(line);
          continue;
        }
        Bytes p;
        Pack(line.data(), line.size(), 128, 128, [&](std::uint8_t v, std::size_t n) { p.insert(p.end(), {std::uint8_t(257 - n), v}); },
             [&](const std::uint8_t* q, std::size_t n) {
               p.push_back(static_cast<std::uint8_t>(n - 1));
               p.insert(p.end(), q, q + n);
             });
        rows.push_back(p);
      }
    }
    if (rle) {
      for (const Bytes& r : rows) Put16BE(b, static_cast<unsigned>(r.size()));
    }
    for (const Bytes& r : rows) b.insert(b.end(), r.begin(), r.end());
    const std::string name = dir + (rle ? "/rle.psd" : "/raw.psd");
    Save(name, b);
    files.push_back({rle ? "Photoshop PackBits" : "Photoshop raw", name, &TPSDGraphic::StaticClass(), true});
  }
  return files;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double Seconds(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--width") W = std::atoi(argv[i + 1]);
    else if (a == "--height") H = std::atoi(argv[i + 1]);
    else if (a == "--runs") Runs = std::max(1, std::atoi(argv[i + 1]));
    else if (a == "--dir") dir = argv[i + 1];
  }
  char scratch[] = "/tmp/bench_readers_XXXXXX";
  const bool own = dir.empty();
  if (own) dir = mkdtemp(scratch);
  const bool haveConvert = access("/usr/bin/convert", X_OK) == 0;
  std::printf("%d x %d pixels, median of %d runs; ImageMagick: convert FILE ppm:/dev/null, one thread\n", W, H, Runs);
  std::printf("%-20s %10s %12s %10s %8s\n", "format", "file MB", "ours ms", "IM ms", "ours/IM");
  for (const TFile& f : MakeFiles(dir)) {
    struct stat st {};
    stat(f.Name.c_str(), &st);
    std::vector<double> ours, theirs;
    bool convertFailed = false;
    for (int r = 0; r < Runs; ++r) {
      ours.push_back(Seconds([&] {
        std::unique_ptr<TGraphic> g = f.Class->Create();
        g->LoadFromFile(f.Name);
      }));
      if (haveConvert && f.ImageMagick) {
        const std::string cmd =
            "MAGICK_THREAD_LIMIT=1 OMP_NUM_THREADS=1 /usr/bin/convert '" + f.Name + "' ppm:/dev/null 2>/dev/null";
        theirs.push_back(Seconds([&] {
          if (std::system(cmd.c_str()) != 0) convertFailed = true;
        }));
      }
    }
    const double o = Median(ours) * 1000;
    if (theirs.empty() || convertFailed) {
      // convert cannot read the format (or refused this file).
      std::printf("%-20s %10.1f %12.1f %10s %8s\n", f.Label.c_str(), st.st_size / 1e6, o, "n/a", "n/a");
    } else {
      const double t = Median(theirs) * 1000;
      std::printf("%-20s %10.1f %12.1f %10.1f %8.2f\n", f.Label.c_str(), st.st_size / 1e6, o, t, o / t);
    }
    std::remove(f.Name.c_str());
  }
  if (own) rmdir(dir.c_str());
  return 0;
}
