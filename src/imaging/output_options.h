#pragma once
// The settings an output is written with: JPEG quality, the GIF palette,
// dithering and compression, the BMP depth. A batch takes them once at
// its start and hands its workers a copy, so that no worker reads the
// settings object while a window may change it, and every file of a run
// is written alike.

#include <cstdint>

struct TOutputOptions {
  bool KeepJpgCompress = true;
  std::uint8_t JpgCompress = 100;
  bool GifEnablePalette = true;
  std::uint8_t GifPalette = 0;
  bool GifEnableDither = false;
  std::uint8_t GifDither = 0;
  std::uint8_t GifCompress = 0;
  bool BmpKeepColor = true;
  std::uint8_t BmpColorSetup = 1;
};

// The options as the settings object holds them now.
TOutputOptions CurrentOutputOptions();
