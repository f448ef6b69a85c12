// Mark rendering: the source treatment of each mark (new size, frame band,
// background, bevels, mask), the effects on the mark picture, and drawing
// it onto the work image blended or through a checkerboard.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "core/numbers.h"
#include "imaging/drawing.h"
#include "imaging/mark.h"

namespace {

using I64 = std::int64_t;

// A mark placed beyond this distance lies wholly outside any picture the
// program can hold, so clamping keeps the point arithmetic in range
// without changing what is drawn.
constexpr I64 kFarAway = I64{1} << 30;

int ClampPosition(I64 v) { return static_cast<int>(std::clamp(v, -kFarAway, kFarAway)); }

void FillSolid(TBitmap& b, const TRect& r, TColor color) {
  TBrush& brush = b.Canvas().Brush;
  const TBrush saved = brush;
  brush.Color = color;
  brush.Style = bsSolid;
  b.Canvas().FillRect(r);
  brush = saved;
}

}  // namespace

void BlendDraw(TBitmap& src, TBitmap& dest, const TMarkInfo& record, int x, int y) {
  const int transparency = record.Transparency();
  if (transparency > 100) {
    throw ERangeError("The transparency of a mark lies above 100 (" + std::to_string(transparency) + ")");
  }
  const int a = static_cast<int>(Round(transparency * 2.55L));
  const int ia = 255 - a;
  src.SetPixelFormat(pf24bit);
  dest.SetPixelFormat(pf24bit);

  // Source columns and rows whose target lies inside dest.
  const I64 sx0 = std::max<I64>(0, -static_cast<I64>(x));
  const I64 sx1 = std::min<I64>(src.Width(), static_cast<I64>(dest.Width()) - x);
  const I64 sy0 = std::max<I64>(0, -static_cast<I64>(y));
  const I64 sy1 = std::min<I64>(src.Height(), static_cast<I64>(dest.Height()) - y);
  if (sx0 >= sx1 || sy0 >= sy1) return;

  const bool keyOn = record.ColorKeyOn();
  const TColor key = record.KeyColor();
  const int kb = GetBValue(key), kg = GetGValue(key), kr = GetRValue(key);
  const int tolerance = record.KeyTolerance();
  const std::size_t count = static_cast<std::size_t>(sx1 - sx0);

  for (I64 sy = sy0; sy < sy1; ++sy) {
    const std::uint8_t* s = src.ScanLine(static_cast<int>(sy)) + sx0 * 3;
    std::uint8_t* d = dest.ScanLine(static_cast<int>(sy + y)) + (sx0 + x) * 3;
    if (!keyOn) {
      for (std::size_t i = 0; i < count * 3; ++i) {
        d[i] = static_cast<std::uint8_t>((d[i] * a + s[i] * ia) >> 8);
      }
      continue;
    }
    for (std::size_t i = 0; i < count; ++i, s += 3, d += 3) {
      // Tolerance 0 asks for equal channels, which |difference| <= 0 is.
      if (std::abs(s[0] - kb) <= tolerance && std::abs(s[1] - kg) <= tolerance && std::abs(s[2] - kr) <= tolerance) {
        continue;
      }
      d[0] = static_cast<std::uint8_t>((d[0] * a + s[0] * ia) >> 8);
      d[1] = static_cast<std::uint8_t>((d[1] * a + s[1] * ia) >> 8);
      d[2] = static_cast<std::uint8_t>((d[2] * a + s[2] * ia) >> 8);
    }
  }
}

void TMark::RotateMarks() {
  for (int i = 0; i < Count(); ++i) {
    const auto k = static_cast<std::size_t>(i);
    const TMarkInfo& r = Records[k];
    if (r.Angle() == 0) continue;
    TBitmap& rotated = RotateBitmapAngle(MarkPictures[k], r.RotateBackColor(), r.Angle());
    // The scratch bitmap is shared: take its picture and leave it empty.
    MarkPictures[k] = std::move(rotated);
    rotated.SetSize(0, 0);
    rotated.SetPixelFormat(pf24bit);
  }
}

void TMark::PrepareSource(int index, int w, int h) {
  CheckIndex(index);
  const auto k = static_cast<std::size_t>(index);
  const TMarkInfo& r = Records[k];
  const bool resize = r.HasEffect(mfResizeSource);
  const bool frame = r.HasEffect(mfSourceFrame);
  Composite.SetPixelFormat(pf24bit);
  // Without any of these the treatment stretches the picture onto a new
  // bitmap of its own size at (0, 0), which copies every pixel unchanged.
  if (!resize && !frame && !r.HasEffect(mfUseMask)) return;

  I64 nw = Composite.Width(), nh = Composite.Height();
  if (resize && r.HasEffect(mfResizeSourceByScale)) {
    const float scale = r.SourceScale();
    if (!std::isfinite(scale) || scale <= 0) {
      throw ERangeError("The source scale of a mark is not a positive number");
    }
    const long double fw = static_cast<long double>(std::max(w, 0)) * scale / 100.0L;
    const long double fh = static_cast<long double>(std::max(h, 0)) * scale / 100.0L;
    if (fw > MaxDimension || fh > MaxDimension) {
      throw EOutOfResources("The source scale of a mark makes the picture too large");
    }
    nw = Round(fw);
    nh = Round(fh);
  } else if (resize) {
    nw = r.SourceWidth();
    nh = r.SourceHeight();
  }
  if (!WithinPixelCap(nw, nh)) throw EOutOfResources("The source size of a mark makes the picture too large");

  TBitmap n(static_cast<int>(nw), static_cast<int>(nh), pf24bit);
  const TRect whole{0, 0, n.Width(), n.Height()};
  int fx = 0, fy = 0;
  if (frame) {
    fx = r.FrameWidthX();
    fy = r.FrameWidthY();
    if (r.HasEffect(mfSourceFramePicture)) {
      TileIntoRect(Frames[k], n, whole);
    } else {
      FillSolid(n, whole, r.FrameColor());
    }
  }
  // A band of half the picture or more leaves an empty inner area.
  const TRect inner{fx, fy, std::max(fx, n.Width() - fx), std::max(fy, n.Height() - fy)};
  if (resize) {
    if (r.HasEffect(mfSourceBackgroundPicture)) {
      TileIntoRect(Backgrounds[k], n, inner);
    } else {
      FillSolid(n, inner, r.SourceBackColor());
    }
  }
  TRect fitted = FitRect(TPoint{inner.Width(), inner.Height()}, TPoint{Composite.Width(), Composite.Height()},
                         true, true, 0, 0);
  fitted = TRect{fitted.Left + fx, fitted.Top + fy, fitted.Right + fx, fitted.Bottom + fy};
  // The source is copied as it stands; a transparency flag of the work
  // image concerns how others draw it, not the picture itself.
  n.Canvas().CopyRect(fitted, Composite.Canvas(), TRect{0, 0, Composite.Width(), Composite.Height()});
  Composite.TakePicture(std::move(n));
  DrawSourceFrame(fitted, index);
  ApplyMaskStep(index);
}

void TMark::DrawSourceFrame(const TRect& fitted, int index) {
  CheckIndex(index);
  const TMarkInfo& r = Records[static_cast<std::size_t>(index)];
  if (!r.HasEffect(mfSourceFrame)) return;
  const int c = r.ColorContrast();
  const int w = r.BevelWidth();
  const int style = r.FrameStyle();
  TCanvas& canvas = Composite.Canvas();

  auto paint = [&](const TRect& rect, int bevel, bool outer) {
    if (bevel != 0 && bevel != 2) return;  // 1 is "none"; other values paint nothing
    const bool lowered = bevel == 0;
    const TColor top = lowered ? clBlack : clWhite;
    const TColor bottom = lowered ? clWhite : clBlack;
    const int light = lowered ? -c : c;
    const int dark = lowered ? c : -c;
    switch (style) {
      case 0: {
        TRect copy = rect;  // Frame3D moves its rectangle
        canvas.Frame3D(copy, top, bottom, w);
        break;
      }
      case 1: DrawAverageBevel(canvas, rect, light, dark, w); break;
      case 2: DrawShiftBevel(canvas, rect, light, dark, w); break;
      case 3: DrawFrame3D(canvas, rect, top, bottom, w, outer); break;
      case 4: DrawFrameStyle2(canvas, rect, light, dark, w, outer); break;
      case 5: DrawFrameStyle3(canvas, rect, light, dark, w, outer); break;
      default: break;
    }
  };
  paint(TRect{0, 0, Composite.Width() - 1, Composite.Height() - 1}, r.BevelOuter(), true);
  paint(TRect{fitted.Left - w, fitted.Top - w, fitted.Right + w - 1, fitted.Bottom + w - 1}, r.BevelInner(), false);
}

void TMark::ApplyMaskStep(int index) {
  CheckIndex(index);
  const auto k = static_cast<std::size_t>(index);
  const TMarkInfo& r = Records[k];
  if (!r.HasEffect(mfUseMask)) return;
  TBitmap back(Composite.Width(), Composite.Height(), pf24bit);
  if (r.HasEffect(mfSourceBackgroundColor)) {
    const TRect whole{0, 0, back.Width(), back.Height()};
    if (r.HasEffect(mfSourceBackgroundPicture)) {
      TileIntoRect(Backgrounds[k], back, whole);
    } else {
      FillSolid(back, whole, r.SourceBackColor());
    }
  }
  DrawMaskedImage(Composite, back, Masks[k], Composite, r.MaskRect(), !r.HasEffect(mfMaskTurn));
}

void TMark::DrawMarks(int w, int h) {
  Composite.SetPixelFormat(pf24bit);
  RotateMarks();
  for (int i = 0; i < Count(); ++i) {
    const auto k = static_cast<std::size_t>(i);
    const TMarkInfo& r = Records[k];
    TBitmap& mark = MarkPictures[k];
    PrepareSource(i, w, h);
    // The place is taken from the sizes now, before the effects below.
    const TPoint anchored = GetAnchorOffset(Composite.Width(), Composite.Height(), mark.Width(), mark.Height(),
                                            r.Anchor());
    const TPoint at{ClampPosition(static_cast<I64>(anchored.X) + r.XOffset()),
                    ClampPosition(static_cast<I64>(anchored.Y) + r.YOffset())};
    if (r.HasEffect(mfMosaic)) MosaicBitmap(mark, r.MosaicWidth(), r.MosaicHeight());
    if (r.HasEffect(mfExposal)) InvertBitmap(mark);
    if (r.HasEffect(mfResize)) ResizeByPercent(mark, r.ResizeX(), r.ResizeY());
    if (r.HasEffect(mfTilePic)) TileBitmap(mark, Composite, 0);
    if (r.HasEffect(mfMix)) {
      MeshDraw(Composite, mark, at);
    } else {
      BlendDraw(mark, Composite, r, at.X, at.Y);
    }
  }
}

void TMark::ApplyMarksToPicture(TBitmap& picture, const std::vector<std::string>& files) {
  TMark marks(picture);
  marks.AddMarkFiles(files);
  marks.LoadMarks();
  marks.DrawMarks(picture.Width(), picture.Height());
  picture.Assign(marks.Composite);
}
