// Decoding speed of the family's readers: a 4000 x 3000 picture in each
// format (raw and run-length coded where the format has both; PNG written
// by Pillow; TIFF uncompressed, PackBits, deflate, JPEG and Group 3 of a
// one-bit version, written by libtiff's tiffcp), each file loaded by our
// reader and by ImageMagick's convert writing PPM, in the same run. Where
// the program has a second reader of the format (the PNG codec's) it is
// timed too, and where a floor is given (the bare inflating, JPEG
// decoding or copying no reader can skip) our time is set against it.
// Prints the median of the runs, our time over ImageMagick's, over
// ImageMagick's without its start-up (convert on a 1 x 1 PPM) and over
// the floor.
//
//   bench_readers [--width W] [--height H] [--runs N] [--dir D]

#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

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

#include "core/jpeg.h"
#include "core/streams.h"
#include "formats/autodesk/autodesk_graphic.h"
#include "formats/cut/cut_graphic.h"
#include "formats/pcx/pcx_graphic.h"
#include "formats/pcx/pcx_writer.h"
#include "formats/png/png_image.h"
#include "formats/png_reader/png_graphic.h"
#include "formats/ppm/ppm_graphic.h"
#include "formats/psd/psd_graphic.h"
#include "formats/rla/rla_graphic.h"
#include "formats/sgi/sgi_graphic.h"
#include "formats/tiff/tiff_directory.h"
#include "formats/tiff/tiff_graphic.h"
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
  const TGraphicClass* Peer = nullptr;  // another reader of the program's
  std::string FloorName = "-";
  std::function<void()> Floor = {};
};

bool Run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

Bytes ReadAll(const std::string& name) {
  TMemoryStream s;
  s.LoadFromFile(name);
  return s.Bytes();
}

std::function<void()> InflateFloor(std::vector<Bytes> packed, std::size_t unpacked) {
  return [packed = std::move(packed), unpacked] {
    Bytes out(unpacked);
    for (const Bytes& p : packed) {
      uLongf n = static_cast<uLongf>(out.size());
      uncompress(out.data(), &n, p.data(), static_cast<uLong>(p.size()));
    }
  };
}

std::function<void()> CopyFloor(std::size_t bytes) {
  return [bytes] {
    Bytes from(bytes, 1), to(bytes);
    std::memcpy(to.data(), from.data(), bytes);
  };
}

// PNG by Pillow, and TIFF codings by tiffcp, of the picture (and of a
// one-bit version for fax coding); left out when the tools are missing.
void AddPngAndTiff(const std::string& dir, const Bytes& rgb, const TBitmap& picture, std::vector<TFile>& files) {
  const std::string ppm = dir + "/picture.ppm";
  std::string head = "P6\n" + std::to_string(W) + " " + std::to_string(H) + "\n255\n";
  Bytes b(head.begin(), head.end());
  b.insert(b.end(), rgb.begin(), rgb.end());
  Save(ppm, b);
  const std::size_t pixels = static_cast<std::size_t>(W) * H;
  const std::string python = "/usr/bin/python3 -c \"import sys; from PIL import Image; ";
  if (Run(python + "Image.open(sys.argv[1]).save(sys.argv[2])\" " + ppm + " " + dir + "/pillow.png")) {
    TFile f{"PNG (Pillow)", dir + "/pillow.png", &TPNGGraphic::StaticClass(), true, &TPNGImage::StaticClass()};
    // The image data, inflated at once.
    const Bytes file = ReadAll(f.Name);
    Bytes data;
    for (std::size_t pos = 8; pos + 12 <= file.size();) {
      const std::uint32_t n = (std::uint32_t{file[pos]} << 24) | (file[pos + 1] << 16) | (file[pos + 2] << 8) | file[pos + 3];
      if (std::memcmp(&file[pos + 4], "IDAT", 4) == 0) data.insert(data.end(), &file[pos + 8], &file[pos + 8 + n]);
      pos += 12 + n;
    }
    f.FloorName = "inflate";
    f.Floor = InflateFloor({data}, (pixels * 3) + H);
    files.push_back(std::move(f));
  }
  if (access("/usr/bin/tiffcp", X_OK) != 0 ||
      !Run(python + "im = Image.open(sys.argv[1]); im.save(sys.argv[2]); "
                    "im.convert('L').point(lambda v: 255 if v > 120 else 0, '1').save(sys.argv[3])\" " +
           ppm + " " + dir + "/plain.tif " + dir + "/bilevel.tif")) {
    return;
  }
  const struct {
    const char* Label;
    const char* Source;
    const char* Options;
    const char* Name;
  } tiffs[] = {{"TIFF none", "plain", "-c none", "none"},
               {"TIFF PackBits", "plain", "-c packbits", "packbits"},
               {"TIFF deflate", "plain", "-c zip", "deflate"},
               {"TIFF JPEG q75", "plain", "-c jpeg:75 -r 16", "jpeg"},
               {"TIFF Group 3", "bilevel", "-c g3", "g3"}};
  for (const auto& t : tiffs) {
    const std::string name = dir + "/" + t.Name + ".tif";
    if (!Run(std::string("/usr/bin/tiffcp ") + t.Options + " " + dir + "/" + t.Source + ".tif " + name)) continue;
    TFile f{t.Label, name, &TTIFFGraphic::StaticClass(), true};
    const Bytes file = ReadAll(name);
    TTIFFDirectory d(file);
    std::vector<Bytes> strips;
    if (d.ReadHeader() && d.ReadDirectory(0)) {
      const auto offsets = d.IntegerArray(273), counts = d.IntegerArray(279);
      for (std::size_t i = 0; i < offsets.size() && i < counts.size(); ++i) {
        strips.emplace_back(file.begin() + offsets[i], file.begin() + offsets[i] + counts[i]);
      }
    }
    if (std::string(t.Name) == "deflate") {
      f.FloorName = "inflate";
      f.Floor = InflateFloor(strips, pixels * 3);
    } else if (std::string(t.Name) == "jpeg") {
      // libjpeg-turbo decoding the same picture as one JPEG file.
      f.FloorName = "libjpeg";
      f.Floor = [jpeg = EncodeJpeg(picture, 75)] {
        TBitmap out;
        DecodeJpeg(jpeg.data(), jpeg.size(), out);
      };
    } else {
      f.FloorName = "copy";
      f.Floor = CopyFloor(std::string(t.Name) == "g3" ? (static_cast<std::size_t>(W) + 7) / 8 * H : pixels * 3);
    }
    files.push_back(std::move(f));
  }
}

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
  AddPngAndTiff(dir, rgb, tga, files);
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
  auto convert = [](const std::string& name) {
    return "MAGICK_THREAD_LIMIT=1 OMP_NUM_THREADS=1 /usr/bin/convert '" + name + "' ppm:/dev/null 2>/dev/null";
  };
  // ImageMagick's start-up: convert on a 1 x 1 picture.
  double startup = 0;
  if (haveConvert) {
    const std::string tiny = dir + "/tiny.ppm";
    Save(tiny, Bytes{'P', '6', ' ', '1', ' ', '1', ' ', '2', '5', '5', '\n', 1, 2, 3});
    std::vector<double> t;
    for (int r = 0; r < Runs; ++r) t.push_back(Seconds([&] { std::system(convert(tiny).c_str()); }));
    startup = Median(t) * 1000;
    std::remove(tiny.c_str());
  }
  std::printf("%d x %d pixels, median of %d runs; ImageMagick: convert FILE ppm:/dev/null, one thread, start-up %.1f ms\n",
              W, H, Runs, startup);
  std::printf("%-20s %8s %9s %9s %9s %8s %10s %8s %9s\n", "format", "file MB", "ours ms", "peer ms", "IM ms", "ours/IM",
              "ours/IMnet", "floor", "ours/flr");
  for (const TFile& f : MakeFiles(dir)) {
    struct stat st {};
    stat(f.Name.c_str(), &st);
    std::vector<double> ours, peer, floor, theirs;
    bool convertFailed = false;
    auto load = [&](const TGraphicClass& cls) {
      return Seconds([&] {
        std::unique_ptr<TGraphic> g = cls.Create();
        g->LoadFromFile(f.Name);
      });
    };
    for (int r = 0; r < Runs; ++r) {
      ours.push_back(load(*f.Class));
      if (f.Peer) peer.push_back(load(*f.Peer));
      if (f.Floor) floor.push_back(Seconds(f.Floor));
      if (haveConvert && f.ImageMagick) {
        theirs.push_back(Seconds([&] {
          if (std::system(convert(f.Name).c_str()) != 0) convertFailed = true;
        }));
      }
    }
    const double o = Median(ours) * 1000;
    char peerText[16] = "-", imText[16] = "n/a", ratio[16] = "n/a", net[16] = "n/a", floorRatio[16] = "-";
    if (!peer.empty()) std::snprintf(peerText, sizeof peerText, "%.1f", Median(peer) * 1000);
    if (!floor.empty()) std::snprintf(floorRatio, sizeof floorRatio, "%.2f", o / (Median(floor) * 1000));
    // convert cannot read the format (or refused this file): n/a.
    if (!theirs.empty() && !convertFailed) {
      const double t = Median(theirs) * 1000;
      std::snprintf(imText, sizeof imText, "%.1f", t);
      std::snprintf(ratio, sizeof ratio, "%.2f", o / t);
      if (t > startup) std::snprintf(net, sizeof net, "%.2f", o / (t - startup));
    }
    std::printf("%-20s %8.1f %9.1f %9s %9s %8s %10s %8s %9s\n", f.Label.c_str(), st.st_size / 1e6, o, peerText, imText,
                ratio, net, f.FloorName.c_str(), floorRatio);
    std::remove(f.Name.c_str());
  }
  for (const char* leftover : {"/picture.ppm", "/plain.tif", "/bilevel.tif"}) std::remove((dir + leftover).c_str());
  if (own) rmdir(dir.c_str());
  return 0;
}
