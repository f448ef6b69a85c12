#pragma once
// Basic value types shared by every layer: colours, points, rectangles.

#include <cstdint>

// A colour as the program stores it: 0x00BBGGRR, red in the low byte.
// Values with the high byte 0xFF name system colours (see ColorToRGB).
using TColor = std::uint32_t;

constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;
// A few system colours; ColorToRGB maps them to fixed values.
constexpr TColor clBtnFace = 0xFF00000F;
constexpr TColor clBtnShadow = 0xFF000010;
constexpr TColor clBtnHighlight = 0xFF000014;
constexpr TColor clWindow = 0xFF000005;
constexpr TColor clWindowText = 0xFF000008;

constexpr TColor RGB(int r, int g, int b) {
  return static_cast<TColor>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int GetRValue(TColor c) { return static_cast<int>(c & 0xFF); }
constexpr int GetGValue(TColor c) { return static_cast<int>((c >> 8) & 0xFF); }
constexpr int GetBValue(TColor c) { return static_cast<int>((c >> 16) & 0xFF); }

// Turns a system colour (high byte 0xFF) into a fixed RGB value; plain
// colours are returned with the high byte cleared.
TColor ColorToRGB(TColor c);

// The relative luminance of the colour's red, green and blue bytes as sRGB,
// 0 (black) to 1 (white): what the eye sees as light, the measure of the
// contrast rules for text and glyphs. A system colour is not looked up
// (ColorToRGB first).
double RelativeLuminance(TColor c);
// The contrast of two colours, 1 (none) to 21 (black on white): 4.5 or
// more keeps text readable, 3 or more lets a glyph stand out.
double ContrastRatio(TColor a, TColor b);

struct TPoint {
  int X = 0;
  int Y = 0;
  friend bool operator==(const TPoint&, const TPoint&) = default;
};

constexpr int ClampToInt(std::int64_t v) {
  return v < INT32_MIN ? INT32_MIN : (v > INT32_MAX ? INT32_MAX : static_cast<int>(v));
}

// Left and Top are inclusive, Right and Bottom one past the last pixel.
struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  // Computed in 64 bits and clamped to the int range, so rectangles
  // reaching the ends of that range give a defined (huge) size.
  int Width() const { return ClampToInt(static_cast<std::int64_t>(Right) - Left); }
  int Height() const { return ClampToInt(static_cast<std::int64_t>(Bottom) - Top); }
  friend bool operator==(const TRect&, const TRect&) = default;
};

constexpr TRect Rect(int l, int t, int r, int b) { return TRect{l, t, r, b}; }
constexpr TPoint Point(int x, int y) { return TPoint{x, y}; }

// One palette entry, as the bitmap file keeps it.
struct TPaletteEntry {
  std::uint8_t Red = 0;
  std::uint8_t Green = 0;
  std::uint8_t Blue = 0;
  std::uint8_t Flags = 0;
  friend bool operator==(const TPaletteEntry&, const TPaletteEntry&) = default;
};
