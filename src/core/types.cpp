#include "core/types.h"

#include <algorithm>
#include <cmath>

TColor ColorToRGB(TColor c) {
  if ((c & 0xFF000000u) != 0xFF000000u) return c & 0x00FFFFFFu;
  // The classic light-grey desktop scheme; indices follow the old
  // platform's system-colour numbering.
  static const TColor kSystem[] = {
      RGB(212, 208, 200),  // 0 scroll bar
      RGB(58, 110, 165),   // 1 background
      RGB(10, 36, 106),    // 2 active caption
      RGB(128, 128, 128),  // 3 inactive caption
      RGB(212, 208, 200),  // 4 menu
      RGB(255, 255, 255),  // 5 window
      RGB(0, 0, 0),        // 6 window frame
      RGB(0, 0, 0),        // 7 menu text
      RGB(0, 0, 0),        // 8 window text
      RGB(255, 255, 255),  // 9 caption text
      RGB(212, 208, 200),  // 10 active border
      RGB(212, 208, 200),  // 11 inactive border
      RGB(128, 128, 128),  // 12 application workspace
      RGB(10, 36, 106),    // 13 highlight
      RGB(255, 255, 255),  // 14 highlight text
      RGB(212, 208, 200),  // 15 button face
      RGB(128, 128, 128),  // 16 button shadow
      RGB(128, 128, 128),  // 17 grey text
      RGB(0, 0, 0),        // 18 button text
      RGB(212, 208, 200),  // 19 inactive caption text
      RGB(255, 255, 255),  // 20 button highlight
      RGB(64, 64, 64),     // 21 3-D dark shadow
      RGB(212, 208, 200),  // 22 3-D light
      RGB(0, 0, 0),        // 23 info text
      RGB(255, 255, 225),  // 24 info background
  };
  unsigned index = c & 0xFFu;
  if (index < sizeof kSystem / sizeof kSystem[0]) return kSystem[index];
  return clBlack;
}

double RelativeLuminance(TColor c) {
  const auto linear = [](int channel) {
    const double v = channel / 255.0;
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * linear(GetRValue(c)) + 0.7152 * linear(GetGValue(c)) + 0.0722 * linear(GetBValue(c));
}

double ContrastRatio(TColor a, TColor b) {
  const double la = RelativeLuminance(a);
  const double lb = RelativeLuminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}
