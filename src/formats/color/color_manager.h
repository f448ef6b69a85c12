#pragma once
// The colour manager of the readers: turns one row of pixels as a file
// stores it into one row as the reader's bitmap wants it. It converts
// between colour schemes (indexed, grey, RGB and BGR with or without
// alpha, CMYK, CIE L*a*b*, YCbCr, PhotoYCC), between sample depths of 1,
// 2, 4, 8 and 16 bits, from planar to interleaved rows and from swapped
// to machine byte order, applies a gamma table, fills interlaced rows
// through a pixel mask, and builds palettes for indexed and grey images.
//
// A reader sets the six layout properties from its header and the
// bitmap it wants, the options, the gamma or YCbCr parameters when the
// file gives them, asks GetPixelFormat(1) for the bitmap's format and a
// palette for indexed and grey targets, then calls ConvertRow per row.
// Every row buffer is handed over as a span: a buffer shorter than the
// layout and pixel count need raises EColorConversionError, so a layout
// that does not fit its buffers never reads or writes outside them.
//
// One manager belongs to one image object and is used by the one thread
// that loads that image.

#include <array>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/types.h"

enum class TColorScheme : std::uint8_t {
  Unknown = 0,
  Indexed = 1,    // palette indices
  Gray = 2,       // grey levels
  GrayAlpha = 3,  // grey, alpha
  RGB = 4,
  RGBA = 5,
  BGR = 6,  // the bitmap's order
  BGRA = 7,
  // 8 is accepted but selects no converter.
  CMYK = 9,
  CIELab = 10,   // L*, a*, b*
  YCbCr = 11,    // Y, Cb, Cr
  PhotoYCC = 12  // Photo-CD luma and chroma
};

// A set of conversion flags held in one byte.
enum class TConversionOptions : std::uint8_t {
  None = 0,
  HasAlpha = 1,         // the scheme carries an alpha sample (set by PrepareConversion)
  UseGamma = 2,         // target: colour samples of the RGB/BGR converters and palettes pass the gamma table
  SwapBytes = 4,        // source: 16-bit samples are stored with their bytes exchanged
  LabScaledL = 8,       // source: CIE L* is stored as 0..255 and divided by 2.55
  LabOffsetChroma = 16  // source: CIE a* and b* are stored unsigned with an offset of 128
};
constexpr TConversionOptions operator|(TConversionOptions a, TConversionOptions b) {
  return static_cast<TConversionOptions>(static_cast<std::uint8_t>(a) | static_cast<std::uint8_t>(b));
}
constexpr TConversionOptions operator&(TConversionOptions a, TConversionOptions b) {
  return static_cast<TConversionOptions>(static_cast<std::uint8_t>(a) & static_cast<std::uint8_t>(b));
}
constexpr TConversionOptions operator~(TConversionOptions a) {
  return static_cast<TConversionOptions>(~static_cast<std::uint8_t>(a));
}
constexpr TConversionOptions& operator|=(TConversionOptions& a, TConversionOptions b) { return a = a | b; }
constexpr TConversionOptions& operator&=(TConversionOptions& a, TConversionOptions b) { return a = a & b; }
constexpr bool Contains(TConversionOptions set, TConversionOptions flag) {
  return (set & flag) != TConversionOptions::None;
}

// The rows of one conversion: one span for an interleaved row, one per
// sample (in the scheme's order, alpha fourth) for a planar row.
using TRowPlanes = std::span<const std::span<const std::uint8_t>>;

// The texts of the manager's failures.
namespace colortext {
inline constexpr const char* InvalidDepth = "Color depth is invalid. Bits per sample must be 1, 2, 4, 8 or 16.";
inline constexpr const char* InvalidSampleCount =
    "Sample count per pixel does not correspond to the given color scheme.";
inline constexpr const char* InvalidSubsampling = "Subsampling value is invalid. Allowed are 1, 2 and 4.";
inline constexpr const char* VerticalSubsampling =
    "Vertical subsampling value must be <= horizontal subsampling value.";
inline constexpr const char* IndexedMixed =
    "Conversion between indexed and non-indexed pixel formats is not supported.";
inline constexpr const char* NoMethod = "Color conversion failed. Could not find a proper method.";
// Ours: a row or palette buffer too short for what the layout reads or
// writes.
inline constexpr const char* BufferTooSmall = "Color conversion failed. A row buffer is too small for the pixels.";
}  // namespace colortext

class TColorManager {
 public:
  // RGB 8-bit 3-sample source, BGR 8-bit 3-sample target, gamma 1.0 and
  // 2.2, default YCbCr coefficients, no converter yet.
  TColorManager();

  // --- Layout. Any effective change sets Changed, and the next ConvertRow
  // chooses its converter again.
  TColorScheme SourceColorScheme() const { return sourceScheme_; }
  TColorScheme TargetColorScheme() const { return targetScheme_; }
  void SetSourceColorScheme(TColorScheme scheme);
  void SetTargetColorScheme(TColorScheme scheme);
  // 1 to 16; anything else raises colortext::InvalidDepth and is not stored.
  int SourceBitsPerSample() const { return sourceBits_; }
  int TargetBitsPerSample() const { return targetBits_; }
  void SetSourceBitsPerSample(int bits);
  void SetTargetBitsPerSample(int bits);
  // 1 to 4; anything else raises colortext::InvalidSampleCount.
  int SourceSamplesPerPixel() const { return sourceSamples_; }
  int TargetSamplesPerPixel() const { return targetSamples_; }
  void SetSourceSamplesPerPixel(int samples);
  void SetTargetSamplesPerPixel(int samples);

  // Written by readers directly; read at every conversion.
  TConversionOptions SourceOptions = TConversionOptions::None;
  TConversionOptions TargetOptions = TConversionOptions::None;

  bool Changed() const { return changed_; }

  // Chooses the converter for the layout: raises colortext::IndexedMixed
  // when one side is indexed or grey and the other is not, and
  // colortext::InvalidSampleCount when the sample counts do not fit the
  // schemes (an RGB, BGR, Lab, YCbCr or PhotoYCC source needs at least 3
  // samples, RGBA, BGRA and CMYK at least 4; the target count must be what
  // the converter writes: 1 for indexed and grey, 3 or 4 for the RGB and
  // BGR orders). A layout without a converter leaves none chosen (and
  // ConvertRow raises colortext::NoMethod).
  void PrepareConversion();
  bool HasConverter() const { return rowConversion_ != nullptr; }

  // Converts one row: count target pixels, of which pixel i is converted
  // when bit 7 - (i mod 8) of mask is set; a pixel whose bit is clear
  // leaves the target alone and uses no source (the source holds only the
  // converted pixels, back to back). One source span is an interleaved
  // row; several are planes, one per sample.
  void ConvertRow(TRowPlanes source, std::span<std::uint8_t> target, std::uint32_t count, std::uint8_t mask = 0xFF);
  void ConvertRow(std::initializer_list<std::span<const std::uint8_t>> source, std::span<std::uint8_t> target,
                  std::uint32_t count, std::uint8_t mask = 0xFF) {
    ConvertRow(TRowPlanes(source.begin(), source.size()), target, count, mask);
  }
  void ConvertRow(std::span<const std::uint8_t> source, std::span<std::uint8_t> target, std::uint32_t count,
                  std::uint8_t mask = 0xFF) {
    ConvertRow(TRowPlanes(&source, 1), target, count, mask);
  }

  // The bitmap format of the source layout (index 0) or the target layout
  // (any other index); pfCustom where the bitmap has none.
  TPixelFormat GetPixelFormat(int index) const;

  // Rebuilds the gamma table (values not above 0, or not numbers, count as
  // 1.0 and 2.2). Sets neither UseGamma nor Changed.
  void SetGamma(float mainGamma, float displayGamma = 2.2f);
  float MainGamma() const { return mainGamma_; }
  float DisplayGamma() const { return displayGamma_; }
  const std::array<std::uint8_t, 256>& GammaTable() const { return gammaTable_; }

  // Copies up to three luma weights (red, green, blue) from values, then
  // checks and stores the subsampling: 1, 2 or 4 each (else
  // colortext::InvalidSubsampling), vertical at most horizontal (else
  // colortext::VerticalSubsampling). The weights reach the chroma tables
  // at the next preparation.
  void SetYCbCrParameters(std::span<const float> values, std::uint8_t horizontalSubsampling,
                          std::uint8_t verticalSubsampling);
  const std::array<float, 3>& YCbCrCoefficients() const { return ycbcrCoefficients_; }
  int HorizontalSubsampling() const { return horizontalSubsampling_; }
  int VerticalSubsampling() const { return verticalSubsampling_; }
  // The chroma tables of the last preparation for YCbCr or PhotoYCC.
  const std::array<std::int32_t, 256>& CrToRed() const { return crToRed_; }
  const std::array<std::int32_t, 256>& CbToBlue() const { return cbToBlue_; }
  const std::array<std::int32_t, 256>& CrToGreen() const { return crToGreen_; }
  const std::array<std::int32_t, 256>& CbToGreen() const { return cbToGreen_; }

  // A palette from raw palette data (at most 256 colours):
  //   dataFormat 0, 1: interleaved bytes, 3 or 4 per entry (the fourth
  //     ignored), red, green, blue (blue, green, red when reversed);
  //   2, 3: three planes of bytes, red, green, blue;
  //   4, 5: interleaved 16-bit words, 3 or 4 per entry, blue, green, red
  //     (red, green, blue when reversed), swapped with the source's
  //     SwapBytes and reduced to 8 bits;
  //   6, 7: three planes of words;
  //   others: colorCount black entries.
  // Values pass the gamma table with the target's UseGamma. When the
  // target has at most 8 bits per sample and its range differs from the
  // source's, the palette is remapped to 2^target bits entries the way
  // the packed converters scale pixel values. Data shorter than the
  // entries raise colortext::BufferTooSmall.
  std::vector<TPaletteEntry> CreateColorPalette(TRowPlanes data, std::uint8_t dataFormat, std::uint32_t colorCount,
                                                bool reversed) const;
  std::vector<TPaletteEntry> CreateColorPalette(std::initializer_list<std::span<const std::uint8_t>> data,
                                                std::uint8_t dataFormat, std::uint32_t colorCount,
                                                bool reversed) const {
    return CreateColorPalette(TRowPlanes(data.begin(), data.size()), dataFormat, colorCount, reversed);
  }
  // 2^(target bits x target samples, at most 8) grey steps from black to
  // white (white first when minimumIsWhite), through the gamma table with
  // the target's UseGamma.
  std::vector<TPaletteEntry> CreateGrayscalePalette(bool minimumIsWhite) const;

  [[noreturn]] static void RaiseConversionError(const std::string& text);

 private:
  struct TRowJob;
  using TRowConversion = void (TColorManager::*)(const TRowJob&) const;

  void BuildYCbCrTables();
  void CheckSampleCounts() const;

  // The converters.
  void RowIndexed16To16(const TRowJob& job) const;
  void RowIndexed16ToPacked(const TRowJob& job) const;
  void RowIndexedPackedTo16(const TRowJob& job) const;
  void RowPackedToPacked(const TRowJob& job) const;
  void RowGray8And16(const TRowJob& job) const;
  void RowRGBToRGB(const TRowJob& job) const;
  void RowRGBToBGR(const TRowJob& job) const;
  void RowBGRToRGB(const TRowJob& job) const;
  void RowBGRToBGR(const TRowJob& job) const;
  void RowCMYKToRGB(const TRowJob& job) const;
  void RowCMYKToBGR(const TRowJob& job) const;
  void RowLabToRGB(const TRowJob& job) const;
  void RowLabToBGR(const TRowJob& job) const;
  void RowYCbCrToRGB(const TRowJob& job) const;
  void RowYCbCrToBGR(const TRowJob& job) const;
  void RowPhotoYCCToRGB(const TRowJob& job) const;
  void RowPhotoYCCToBGR(const TRowJob& job) const;

  void ConvertRGBFamily(const TRowJob& job, bool exchange) const;
  void ConvertCMYK(const TRowJob& job, bool exchange) const;
  void ConvertLab(const TRowJob& job, bool exchange) const;
  void ConvertYCbCr(const TRowJob& job, bool exchange, bool photoYCC) const;

  bool changed_ = true;
  int sourceBits_ = 8;
  int targetBits_ = 8;
  int sourceSamples_ = 3;
  int targetSamples_ = 3;
  float mainGamma_ = 1.0f;
  float displayGamma_ = 2.2f;
  std::array<std::uint8_t, 256> gammaTable_{};
  // The same curve from 8 bits to 8 bits, for palettes: their entries are
  // 8-bit colours whatever depth the rows have.
  std::array<std::uint8_t, 256> paletteGammaTable_{};
  std::array<float, 3> ycbcrCoefficients_{0.299f, 0.587f, 0.114f};
  int horizontalSubsampling_ = 1;
  int verticalSubsampling_ = 1;
  std::array<std::int32_t, 256> crToRed_{};
  std::array<std::int32_t, 256> cbToBlue_{};
  std::array<std::int32_t, 256> crToGreen_{};
  std::array<std::int32_t, 256> cbToGreen_{};
  TColorScheme sourceScheme_ = TColorScheme::RGB;
  TColorScheme targetScheme_ = TColorScheme::BGR;
  TRowConversion rowConversion_ = nullptr;
};
