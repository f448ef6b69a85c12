#pragma once
// Skin packages made in tests: a description and plain pictures, packed
// with the skin author's writer.

#include <string>
#include <utility>
#include <vector>

#include "core/bitmap.h"
#include "core/bmp.h"
#include "skin/author/skin_packer.h"

namespace skintest {

inline TBitmap Picture(int w, int h, TColor c = RGB(40, 80, 120)) {
  TBitmap b(w, h, pf24bit);
  b.Canvas().Brush.Color = c;
  b.Canvas().FillRect(TRect{0, 0, w, h});
  return b;
}

struct TPicture {
  std::string Name;
  TBitmap Bitmap;
};

inline std::vector<std::uint8_t> Package(const std::string& iniName, const std::string& ini,
                                         const std::vector<TPicture>& pictures) {
  std::vector<TSkinEntry> entries;
  if (!iniName.empty()) entries.push_back({iniName, std::vector<std::uint8_t>(ini.begin(), ini.end())});
  for (const TPicture& p : pictures) entries.push_back({p.Name, WriteBmp(p.Bitmap)});
  return PackSkinStream(WriteSkinContainer(entries));
}

}  // namespace skintest
