#include "core/icon.h"

#include "core/exceptions.h"

// Placeholder until the icon reader lands.
const TGraphicClass& TIcon::StaticClass() {
  static const TGraphicClass cls{"TIcon", &TIcon::CreateInstance};
  return cls;
}
std::unique_ptr<TGraphic> TIcon::CreateInstance() { return std::make_unique<TIcon>(); }
void TIcon::LoadFromStream(TStream&) { throw EInvalidGraphic("Icons are not available yet"); }
void TIcon::SaveToStream(TStream&) { throw EInvalidGraphic("Icons are not available yet"); }
void TIcon::AssignTo(TBitmap& dest) const { dest.Assign(image_); }
void TIcon::Draw(TCanvas& canvas, const TRect& rect) const { canvas.StretchDraw(rect, image_); }

const TGraphicClass& TMetafile::StaticClass() {
  static const TGraphicClass cls{"TMetafile", &TMetafile::CreateInstance};
  return cls;
}
std::unique_ptr<TGraphic> TMetafile::CreateInstance() { return std::make_unique<TMetafile>(); }
void TMetafile::LoadFromStream(TStream&) { throw EInvalidGraphic("metafile images are not supported"); }
void TMetafile::SaveToStream(TStream&) { throw EInvalidGraphic("metafile images are not supported"); }
