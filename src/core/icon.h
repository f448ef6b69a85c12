#pragma once
// Icons (".ico") and metafiles (".wmf", ".emf").

#include "core/bitmap.h"
#include "core/graphic.h"

// An icon file: the largest image of the directory is loaded (ties go to
// the deeper colour, then to the first entry) into a 32-bit bitmap whose
// fourth byte is the opacity (from the image's alpha, or 0/255 from its
// AND mask). Drawing leaves fully transparent pixels out and blends the
// others. PNG entries are handed to the class SetIconPngClass named, or
// else to the picture class registered for "png" when there is one.
class TIcon : public TGraphic {
 public:
  static const TGraphicClass& StaticClass();
  static std::unique_ptr<TGraphic> CreateInstance();
  const TGraphicClass& ClassType() const override { return StaticClass(); }

  int Width() const override { return image_.Width(); }
  int Height() const override { return image_.Height(); }
  bool Transparent() const override { return true; }

  void LoadFromStream(TStream& stream) override;
  // Writes a one-image icon (32-bit BMP entry with an AND mask).
  void SaveToStream(TStream& stream) override;
  void AssignTo(TBitmap& dest) const override;
  void Draw(TCanvas& canvas, const TRect& rect) const override;

  // The picture with its opacity byte, 32 bits.
  const TBitmap& Image() const { return image_; }

 private:
  TBitmap image_;
};

// The class that decodes the PNG entries of icons (one that keeps the
// opacity of every kind of PNG transparency, see TOpacitySource); nullptr
// goes back to the class registered for "png".
void SetIconPngClass(const TGraphicClass* graphicClass);

// Metafiles are vector pictures of the old platform; they cannot be drawn
// here. Loading raises EInvalidGraphic "metafile images are not supported".
class TMetafile : public TGraphic {
 public:
  static const TGraphicClass& StaticClass();
  static std::unique_ptr<TGraphic> CreateInstance();
  const TGraphicClass& ClassType() const override { return StaticClass(); }
  int Width() const override { return 0; }
  int Height() const override { return 0; }
  void LoadFromStream(TStream& stream) override;
  void SaveToStream(TStream& stream) override;
};
