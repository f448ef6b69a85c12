#pragma once
// JPEG pictures on libjpeg-turbo.

#include <cstdint>
#include <vector>

#include "core/bitmap.h"
#include "core/graphic.h"

class TJPEGImage : public TGraphic {
 public:
  TJPEGImage();
  TJPEGImage(const TJPEGImage& other);
  TJPEGImage& operator=(const TJPEGImage& other);
  ~TJPEGImage() override;

  static const TGraphicClass& StaticClass();
  static std::unique_ptr<TGraphic> CreateInstance();
  const TGraphicClass& ClassType() const override { return StaticClass(); }

  int Width() const override { return bitmap_.Width(); }
  int Height() const override { return bitmap_.Height(); }

  // 1..100, default 90. Loading does not change it. Values outside raise
  // ERangeError. A different quality drops the compressed data of a
  // picture, so that saving compresses it again at the new quality.
  int CompressionQuality() const { return quality_; }
  void SetCompressionQuality(int quality);

  // Loads a JPEG file: grey, YCbCr, RGB, CMYK and Adobe-inverted CMYK
  // become a 24-bit picture. The compressed bytes are kept, so saving an
  // unchanged image writes them back. Damaged data raises EJPEG (an
  // EInvalidGraphic with libjpeg's message); a picture beyond the pixel cap
  // as well. Data that ends early still gives its picture, the missing
  // part grey. On failure the image keeps what it had.
  void LoadFromStream(TStream& stream) override;
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
  int quality_ = 90;
};

// Decodes JPEG bytes into a 24-bit bitmap (EJPEG on failure, the bitmap
// then unchanged).
void DecodeJpeg(const std::uint8_t* data, std::size_t size, TBitmap& bitmap);
// Encodes a bitmap (any format; converted to 24 bits on the way) at the
// quality 1..100 (ERangeError outside; EJPEG for an empty bitmap).
std::vector<std::uint8_t> EncodeJpeg(const TBitmap& bitmap, int quality);
