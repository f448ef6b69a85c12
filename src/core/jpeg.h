#pragma once
// JPEG pictures on libjpeg-turbo.

#include <cstdint>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/graphic.h"

class TJPEGImage : public TGraphic {
 public:
  TJPEGImage();
  TJPEGImage(const TJPEGImage& other);
  TJPEGImage& operator=(const TJPEGImage& other);
  ~TJPEGImage() override;

  static constexpr int DefaultQuality = 90;

  static const TGraphicClass& StaticClass();
  static std::unique_ptr<TGraphic> CreateInstance();
  const TGraphicClass& ClassType() const override { return StaticClass(); }

  int Width() const override { return bitmap_.Width(); }
  int Height() const override { return bitmap_.Height(); }

  // 1..100, default 90; after loading, the quality the file was most
  // likely written at (EstimateJpegQuality of its tables). Values outside
  // raise ERangeError. A different quality drops the compressed data of a
  // picture, so that saving compresses it again at the new quality.
  int CompressionQuality() const { return quality_; }
  void SetCompressionQuality(int quality);

  // Loads a JPEG file as DecodeJpeg decodes it: a 24-bit picture,
  // upright by its Exif orientation. The compressed bytes are kept, so
  // saving an unchanged image writes them back (with their orientation,
  // which describes them). Damaged data raises EJPEG (an EInvalidGraphic
  // with libjpeg's message). Data that end early still give their
  // picture, the missing part grey (see EndedEarly). On failure the image
  // keeps what it had.
  void LoadFromStream(TStream& stream) override;
  // Why the loaded data ended before the picture did, in libjpeg's words;
  // empty when they did not (or the picture was not loaded).
  const std::string& EndedEarly() const { return endedEarly_; }
  // Writes the compressed data, compressing first when the picture changed.
  void SaveToStream(TStream& stream) override;

  // Takes a bitmap's picture (as 24 bits); the compressed data is dropped.
  void Assign(const TGraphic& source) override;
  void AssignTo(TBitmap& dest) const override;
  void Draw(TCanvas& canvas, const TRect& rect) const override;

  // Compresses the picture now at CompressionQuality.
  void Compress();
  bool HasData() const { return !data_.empty(); }
  const std::vector<std::uint8_t>& Data() const { return data_; }

  // The decoded picture (24 bits, B,G,R).
  const TBitmap& Bitmap() const { return bitmap_; }
  // Hands the decoded picture over without a copy; the image is empty
  // (no picture, no compressed data) afterwards.
  TBitmap TakeBitmap();

 private:
  TBitmap bitmap_;
  std::vector<std::uint8_t> data_;
  int quality_ = DefaultQuality;
  std::string endedEarly_;
};

// What decoding found beside the picture.
struct TJpegDecodeInfo {
  // The quality the data were most likely written at (EstimateJpegQuality;
  // 90 for data without tables).
  int Quality = TJPEGImage::DefaultQuality;
  // The Exif orientation the picture was turned by (1: as stored).
  int Orientation = 1;
  // Why the data ended before the picture did (the file ends, or a scan's
  // data end early), in libjpeg's words; empty when they did not. The
  // rows not reached are grey.
  std::string EndedEarly;
};

// Decodes JPEG bytes into a 24-bit bitmap, in the memory it has when the
// picture fits there: grey, YCbCr, RGB, CMYK and Adobe-inverted CMYK,
// turned upright by the Exif orientation the file gives (its pixels are
// then as the file's viewers show them; see exif.h). EJPEG on failure:
// the bitmap is then unchanged when the data fail before the pixels (the
// header; also a picture beyond the pixel cap, and Huffman-coded data too
// short to hold a bit for each block of the picture), empty when they
// fail after. Data that end early give the picture with the rows they do
// not reach grey, and say so in info.
void DecodeJpeg(const std::uint8_t* data, std::size_t size, TBitmap& bitmap, TJpegDecodeInfo& info);
// The same; quality, when given, receives TJpegDecodeInfo's Quality (on
// failure it is left alone).
void DecodeJpeg(const std::uint8_t* data, std::size_t size, TBitmap& bitmap, int* quality = nullptr);

// The percentage by which libjpeg scales the standard tables for a
// quality 1..100: 5000 / quality below 50, else 200 - 2 * quality.
int JpegScalePercent(int quality);
// The quality 1..100 a JPEG file was most likely written at, from its
// quantisation tables (64 entries each, natural order). Tables that are
// the standard tables scaled for one quality (as libjpeg writes them,
// baseline or not) give that quality. Other tables give the quality whose
// scaled standard table lies nearest (the sum of the entries' differences;
// the highest of equally near qualities), for luminance and chrominance
// apart and then halfway between the two, rounded up. chrominance is
// nullptr for grey files and files whose components share one table.
int EstimateJpegQuality(const std::uint16_t* luminance, const std::uint16_t* chrominance);
// Encodes a bitmap (any format; converted to 24 bits on the way) at the
// quality 1..100 (ERangeError outside; EJPEG for an empty bitmap).
std::vector<std::uint8_t> EncodeJpeg(const TBitmap& bitmap, int quality);
