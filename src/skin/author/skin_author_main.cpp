// The skin author: paints, checks and packs the four stored skins.
//
//   skin_author OUTDIR             writes OUTDIR/skin1.swk .. skin4.swk
//   skin_author --dump DIR         also writes each skin's description and
//                                  pictures into DIR/<skin name>/ to look at
//   skin_author --sample FILE      writes a small package (a seed for the
//                                  package fuzz targets)
//
// A skin that fails its checks stops the build with what is wrong.

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/exceptions.h"
#include "core/streams.h"
#include "skin/author/skin_builder.h"
#include "skin/author/skin_check.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: skin_author OUTDIR [--dump DIR] | --sample FILE\n");
  return 2;
}

void WriteSample(const std::string& file) {
  TSkinPicture dot(4, 4);
  dot.Fill(1, 1, 3, 3, Rgb(40, 90, 160));
  const std::string ini = "[TitlebarSkin]\r\nSkinName=Sample\r\n\r\n[Personality]\r\nTop=top.bmp\r\nTopFrame=2\r\n";
  const std::vector<TSkinEntry> entries = {{"sample.ini", std::vector<std::uint8_t>(ini.begin(), ini.end())},
                                           {"top.bmp", dot.ToBmp()}};
  WriteFileAtomic(file, PackSkinStream(WriteSkinContainer(entries)));
}

}  // namespace

int main(int argc, char** argv) {
  try {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 2 && args[0] == "--sample") {
      WriteSample(args[1]);
      return 0;
    }
    std::string out;
    std::string dump;
    for (std::size_t i = 0; i < args.size(); ++i) {
      if (args[i] == "--dump" && i + 1 < args.size()) {
        dump = args[++i];
      } else if (out.empty()) {
        out = args[i];
      } else {
        return Usage();
      }
    }
    if (out.empty()) return Usage();
    std::filesystem::create_directories(out);
    int n = 1;
    bool sound = true;
    for (const TSkinDesign& design : StoredSkinDesigns()) {
      const TSkinSource source = BuildSkin(design);
      for (const std::string& problem : CheckSkin(source)) {
        std::fprintf(stderr, "skin %d (%s): %s\n", n, design.SkinName.c_str(), problem.c_str());
        sound = false;
      }
      if (!dump.empty()) {
        const std::string folder = dump + "/" + design.SkinName + "/";
        std::filesystem::create_directories(folder);
        WriteFileAtomic(folder + source.IniName, source.Ini);
        for (const auto& [name, picture] : source.Pictures) WriteFileAtomic(folder + name, picture.ToBmp());
      }
      WriteFileAtomic(out + "/skin" + std::to_string(n) + ".swk", SkinPackage(source));
      ++n;
    }
    return sound ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "skin_author: %s\n", e.what());
    return 1;
  }
}
