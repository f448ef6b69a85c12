#pragma once
// The reader family's PNG reader: the chunks with their CRCs, the colour
// set-up of every colour type and depth, the image data inflated a row at
// a time across IDAT chunks, the five filters, Adam7 passes spread through
// the colour manager's pixel masks, PLTE, gAMA, bKGD and tRNS.
//
// The family registers it for "png" after the PNG codec, so it reads
// every ".png" the program opens by name; the codec (png/) writes PNG
// files and stays the reader of those who ask for it by class.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "core/types.h"
#include "formats/common/reader_graphic.h"

class TLZ77Decoder;
class TPNGChunkReader;

class TPNGGraphic : public TReaderClass<TPNGGraphic> {
 public:
  TPNGGraphic();
  ~TPNGGraphic() override;

  static constexpr const char* kClassName = "TPNGGraphic";
  static constexpr const char* kFormatName = "PNG";

  bool ReadImageHeader(TStream& stream, int imageIndex) override;

 protected:
  bool ProbeStream(TStream& stream) const override;
  // The compression is checked before the size: LoadPixels checks both.
  void CheckLoadHeader() override {}
  void LoadPixels(TStream& stream) override;

 private:
  struct THeader {
    std::uint32_t Width = 0;
    std::uint32_t Height = 0;
    int BitDepth = 0;
    int ColorType = 0;
    int Interlace = 0;
  };

  THeader ReadIHDR(std::span<const std::uint8_t> data) const;
  void SetUpColors();
  void ReadImage();
  // The bytes of the inflated image data: every row (of every Adam7 pass)
  // with its filter byte.
  std::int64_t ImageDataBytes() const;
  // Inflates one row of length bytes into row; false when the image data
  // end first.
  bool InflateRow(std::span<std::uint8_t> row);
  TColor LevelColor(std::uint16_t level) const;

  // State of one load.
  THeader header_;
  TPNGChunkReader* chunks_ = nullptr;
  std::unique_ptr<TLZ77Decoder> decoder_;
  std::span<const std::uint8_t> input_;  // image data not yet inflated
  bool streamEnded_ = false;
  int bytesPerPixel_ = 1;
  bool colorsSetUp_ = false;
  TPixelFormat pixelFormat_ = pf24bit;
  std::vector<TPaletteEntry> palette_;
  std::optional<float> gamma_;
  // The raw values of tRNS and bKGD, resolved into colours once the
  // palette is known.
  std::vector<std::uint16_t> transparency_;
  std::vector<std::uint16_t> background_;
};
