#include "core/jpeg.h"

#include "core/exceptions.h"

// Placeholder until the JPEG codec lands.
const TGraphicClass& TJPEGImage::StaticClass() {
  static const TGraphicClass cls{"TJPEGImage", &TJPEGImage::CreateInstance};
  return cls;
}
std::unique_ptr<TGraphic> TJPEGImage::CreateInstance() { return std::make_unique<TJPEGImage>(); }
TJPEGImage::TJPEGImage() = default;
TJPEGImage::TJPEGImage(const TJPEGImage& other) = default;
TJPEGImage& TJPEGImage::operator=(const TJPEGImage& other) = default;
TJPEGImage::~TJPEGImage() = default;
void TJPEGImage::SetCompressionQuality(int quality) { quality_ = quality; }
void TJPEGImage::LoadFromStream(TStream&) { throw EInvalidGraphic("JPEG is not available yet"); }
void TJPEGImage::SaveToStream(TStream&) { throw EInvalidGraphic("JPEG is not available yet"); }
void TJPEGImage::Assign(const TGraphic& source) { bitmap_.Assign(source); }
void TJPEGImage::AssignTo(TBitmap& dest) const { dest.Assign(bitmap_); }
void TJPEGImage::Draw(TCanvas& canvas, const TRect& rect) const { canvas.StretchDraw(rect, bitmap_); }
void TJPEGImage::Compress() {}
TBitmap TJPEGImage::TakeBitmap() { return std::move(bitmap_); }
