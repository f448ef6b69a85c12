// Mark rendering: the source treatment of each mark (new size, frame band,
// background, bevels, mask), the effects on the mark picture, and drawing
// it onto the work image blended or through a checkerboard.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <utility>
#include <vector>
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

namespace {

// A record's blend: the weight of what lies under the mark and the colour
// key of the mark picture.
struct TBlend {
  int A = 0, IA = 255;
  bool KeyOn = false;
  int KB = 0, KG = 0, KR = 0, Tolerance = 0;
};

TBlend BlendOf(const TMarkInfo& record) {
  const int transparency = record.Transparency();
  if (transparency > 100) {
    throw ERangeError("The transparency of a mark lies above 100 (" + std::to_string(transparency) + ")");
  }
  TBlend b;
  b.A = static_cast<int>(Round(transparency * 2.55L));
  b.IA = 255 - b.A;
  b.KeyOn = record.ColorKeyOn();
  const TColor key = record.KeyColor();
  b.KB = GetBValue(key);
  b.KG = GetGValue(key);
  b.KR = GetRValue(key);
  b.Tolerance = record.KeyTolerance();
  return b;
}

// count pixels of the mark row s blended onto d.
void BlendRow(const TBlend& b, const std::uint8_t* s, std::uint8_t* d, std::size_t count) {
  const int a = b.A, ia = b.IA;
  if (!b.KeyOn) {
    for (std::size_t i = 0; i < count * 3; ++i) d[i] = static_cast<std::uint8_t>((d[i] * a + s[i] * ia) >> 8);
    return;
  }
  for (std::size_t i = 0; i < count; ++i, s += 3, d += 3) {
    // Tolerance 0 asks for equal channels, which |difference| <= 0 is.
    if (std::abs(s[0] - b.KB) <= b.Tolerance && std::abs(s[1] - b.KG) <= b.Tolerance &&
        std::abs(s[2] - b.KR) <= b.Tolerance) {
      continue;
    }
    d[0] = static_cast<std::uint8_t>((d[0] * a + s[0] * ia) >> 8);
    d[1] = static_cast<std::uint8_t>((d[1] * a + s[1] * ia) >> 8);
    d[2] = static_cast<std::uint8_t>((d[2] * a + s[2] * ia) >> 8);
  }
}

// count pixels of the mark row s copied onto d where the destination
// column plus row is odd; odd tells whether the first one's is.
void MeshRow(const std::uint8_t* s, std::uint8_t* d, std::size_t count, bool odd) {
  for (std::size_t i = odd ? 0 : 1; i < count; i += 2) {
    d[3 * i] = s[3 * i];
    d[3 * i + 1] = s[3 * i + 1];
    d[3 * i + 2] = s[3 * i + 2];
  }
}

// The runs of pixels of each row of a picture that its colour key does
// not leave out, so the blend runs over them without testing the key
// again for every copy of a tiled picture.
class TOpaqueRuns {
 public:
  TOpaqueRuns(const TBitmap& src, const TBlend& b) : first_(static_cast<std::size_t>(src.Height()) + 1) {
    const int w = src.Width();
    for (int y = 0; y < src.Height(); ++y) {
      first_[static_cast<std::size_t>(y)] = runs_.size();
      const std::uint8_t* p = src.ScanLine(y);
      int x = 0;
      while (x < w) {
        while (x < w && Keyed(b, p + 3 * x)) ++x;
        const int start = x;
        while (x < w && !Keyed(b, p + 3 * x)) ++x;
        if (x > start) runs_.push_back({start, x});
      }
    }
    first_.back() = runs_.size();
  }

  // Blends the part of row v from column u to u + n onto d (which takes
  // column u's pixel).
  void Blend(const TBlend& b, int v, const std::uint8_t* row, I64 u, I64 n, std::uint8_t* d) const {
    for (std::size_t i = first_[static_cast<std::size_t>(v)]; i < first_[static_cast<std::size_t>(v) + 1]; ++i) {
      const I64 lo = std::max<I64>(runs_[i].first, u), hi = std::min<I64>(runs_[i].second, u + n);
      if (lo < hi) BlendRow(b, row + lo * 3, d + (lo - u) * 3, static_cast<std::size_t>(hi - lo));
    }
  }

 private:
  static bool Keyed(const TBlend& b, const std::uint8_t* s) {
    // Tolerance 0 asks for equal channels, which |difference| <= 0 is.
    return std::abs(s[0] - b.KB) <= b.Tolerance && std::abs(s[1] - b.KG) <= b.Tolerance &&
           std::abs(s[2] - b.KR) <= b.Tolerance;
  }
  std::vector<std::pair<int, int>> runs_;
  std::vector<std::size_t> first_;
};

// Draws a 24-bit picture onto 24-bit dest at (x, y): a w x h picture, or
// with tiled a picture of dest's size whose pixel (u, v) is src's (u mod
// w, v mod h), which is what growing src and filling it with copies of
// itself makes; the copies are never laid out.
void DrawPicture24(const TBitmap& src, TBitmap& dest, I64 x, I64 y, bool tiled, bool mix, const TBlend& blend) {
  const I64 w = src.Width(), h = src.Height();
  if (w <= 0 || h <= 0) return;
  const I64 vw = tiled ? dest.Width() : w, vh = tiled ? dest.Height() : h;
  // Picture columns and rows whose target lies inside dest.
  const I64 u0 = std::max<I64>(0, -x), u1 = std::min<I64>(vw, static_cast<I64>(dest.Width()) - x);
  const I64 v0 = std::max<I64>(0, -y), v1 = std::min<I64>(vh, static_cast<I64>(dest.Height()) - y);
  if (u0 >= u1 || v0 >= v1) return;
  // Keyed pixels are found once per picture, not once per copy.
  std::optional<TOpaqueRuns> runs;
  if (!mix && blend.KeyOn) runs.emplace(src, blend);
  TBlend opaque = blend;
  opaque.KeyOn = false;
  for (I64 v = v0; v < v1; ++v) {
    const I64 dy = y + v;
    const std::uint8_t* srow = src.ScanLine(static_cast<int>(v % h));
    std::uint8_t* drow = dest.ScanLine(static_cast<int>(dy));
    for (I64 u = u0; u < u1;) {
      const I64 su = u % w;
      const I64 n = std::min(w - su, u1 - u);
      const I64 dx = x + u;
      if (mix) {
        MeshRow(srow + su * 3, drow + dx * 3, static_cast<std::size_t>(n), ((dx + dy) & 1) != 0);
      } else if (runs) {
        runs->Blend(opaque, static_cast<int>(v % h), srow, su, n, drow + dx * 3);
      } else {
        BlendRow(blend, srow + su * 3, drow + dx * 3, static_cast<std::size_t>(n));
      }
      u += n;
    }
  }
}

// Fills outer but the part of it that hole covers.
void FillOutside(TBitmap& b, const TRect& outer, const TRect& hole, TColor color) {
  const TRect h{std::max(outer.Left, hole.Left), std::max(outer.Top, hole.Top), std::min(outer.Right, hole.Right),
                std::min(outer.Bottom, hole.Bottom)};
  if (h.Left >= h.Right || h.Top >= h.Bottom) {
    FillSolid(b, outer, color);
    return;
  }
  FillSolid(b, TRect{outer.Left, outer.Top, outer.Right, h.Top}, color);
  FillSolid(b, TRect{outer.Left, h.Bottom, outer.Right, outer.Bottom}, color);
  FillSolid(b, TRect{outer.Left, h.Top, h.Left, h.Bottom}, color);
  FillSolid(b, TRect{h.Right, h.Top, outer.Right, h.Bottom}, color);
}

}  // namespace

void BlendDraw(TBitmap& src, TBitmap& dest, const TMarkInfo& record, int x, int y) {
  const TBlend blend = BlendOf(record);
  src.SetPixelFormat(pf24bit);
  dest.SetPixelFormat(pf24bit);
  DrawPicture24(src, dest, x, y, false, false, blend);
}

void DrawMarkPicture(const TBitmap& src, TBitmap& dest, const TMarkInfo& record, TPoint at) {
  const bool mix = record.HasEffect(mfMix);
  const TBlend blend = mix ? TBlend{} : BlendOf(record);
  dest.SetPixelFormat(pf24bit);
  // The picture as it stands, in 24 bits (and read before any of it is
  // drawn, should it be dest itself).
  TBitmap converted;
  const TBitmap* s = &src;
  if (BitsPerPixel(src.PixelFormat()) != 24 || &src == &dest) {
    converted = src;
    converted.SetPixelFormat(pf24bit);
    s = &converted;
  }
  DrawPicture24(*s, dest, at.X, at.Y, record.HasEffect(mfTilePic), mix, blend);
}

void TMark::RotateMarks() {
  for (int i = 0; i < Count(); ++i) {
    const auto k = static_cast<std::size_t>(i);
    const TMarkInfo& r = Records[k];
    if (r.Angle() == 0) continue;
    TBitmap& rotated = ScratchBitmap != nullptr
                           ? RotateBitmapAngle(MarkPictures[k], r.RotateBackColor(), r.Angle(), *ScratchBitmap)
                           : RotateBitmapAngle(MarkPictures[k], r.RotateBackColor(), r.Angle());
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
  // With only the mask it does the same, so the mask works on the picture
  // as it stands.
  if (!resize && !frame) {
    ApplyMaskStep(index);
    return;
  }

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

  // The treated picture is built in the kept scratch bitmap. Its pixels
  // start white where the band or the background below does not cover
  // them; the fill is left out when they do.
  TBitmap& n = treated_;
  n.SetSizeForDecoding(static_cast<int>(nw), static_cast<int>(nh), pf24bit);
  const TRect whole{0, 0, n.Width(), n.Height()};
  // (Without a band the background fills the whole picture.)
  const bool covered = frame ? (!r.HasEffect(mfSourceFramePicture) || !Frames[k].Empty())
                             : (!r.HasEffect(mfSourceBackgroundPicture) || !Backgrounds[k].Empty());
  if (!covered) FillSolid(n, whole, clWhite);
  const int fx = frame ? r.FrameWidthX() : 0, fy = frame ? r.FrameWidthY() : 0;
  // A band of half the picture or more leaves an empty inner area.
  const TRect inner{fx, fy, std::max(fx, n.Width() - fx), std::max(fy, n.Height() - fy)};
  TRect fitted = FitRect(TPoint{inner.Width(), inner.Height()}, TPoint{Composite.Width(), Composite.Height()},
                         true, true, 0, 0);
  fitted = TRect{fitted.Left + fx, fitted.Top + fy, fitted.Right + fx, fitted.Bottom + fy};
  // The band goes over the whole picture and the background over the
  // inner area; a solid colour leaves out what the next step covers (the
  // copy of the source covers fitted wholly).
  if (frame) {
    if (r.HasEffect(mfSourceFramePicture)) {
      TileIntoRect(Frames[k], n, whole);
    } else {
      FillOutside(n, whole, resize ? inner : fitted, r.FrameColor());
    }
  }
  if (resize) {
    if (r.HasEffect(mfSourceBackgroundPicture)) {
      TileIntoRect(Backgrounds[k], n, inner);
    } else {
      FillOutside(n, inner, fitted, r.SourceBackColor());
    }
  }
  // The source is copied as it stands; a transparency flag of the work
  // image concerns how others draw it, not the picture itself.
  n.Canvas().CopyRect(fitted, Composite.Canvas(), TRect{0, 0, Composite.Width(), Composite.Height()});
  // Composite takes the treated picture; the scratch keeps the memory of
  // the one it replaces for the next file.
  Composite.SwapPicture(n);
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
  // A white picture of the source's size unless the background covers it.
  TBitmap& back = maskBack_;
  back.SetSizeForDecoding(Composite.Width(), Composite.Height(), pf24bit);
  const TRect whole{0, 0, back.Width(), back.Height()};
  const bool color = r.HasEffect(mfSourceBackgroundColor);
  const bool picture = r.HasEffect(mfSourceBackgroundPicture);
  if (!color || (picture && Backgrounds[k].Empty())) FillSolid(back, whole, clWhite);
  if (color) {
    if (picture) {
      TileIntoRect(Backgrounds[k], back, whole);
    } else {
      FillSolid(back, whole, r.SourceBackColor());
    }
  }
  DrawMaskedImage(Composite, back, Masks[k], Composite, r.MaskRect(), !r.HasEffect(mfMaskTurn));
}

namespace {

std::size_t PictureBytes(const TBitmap& b) {
  return static_cast<std::size_t>(b.RowStride()) * static_cast<std::size_t>(b.Height());
}

}  // namespace

std::size_t TMark::WorkMemoryBytes() const {
  return Composite.MemoryBytes() + treated_.MemoryBytes() + maskBack_.MemoryBytes();
}

void TMark::KeepWorkMemory(std::size_t need) {
  // The work picture and the treated source swap their memory, so each
  // is judged against the larger of the two pictures, not its own.
  for (TBitmap* b : {&Composite, &treated_, &maskBack_}) {
    b->SetMemoryHint(need);
    b->FitMemory();
  }
}

void TMark::DrawMarks(int w, int h) {
  Composite.SetPixelFormat(pf24bit);
  const std::size_t sourceBytes = PictureBytes(Composite);
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
    if (r.HasEffect(mfResize)) {
      if (ScratchBitmap != nullptr) {
        ResizeByPercent(mark, r.ResizeX(), r.ResizeY(), *ScratchBitmap);
      } else {
        ResizeByPercent(mark, r.ResizeX(), r.ResizeY());
      }
    }
    DrawMarkPicture(mark, Composite, r, at);
  }
  KeepWorkMemory(std::max(sourceBytes, PictureBytes(Composite)));
}

void TMark::ApplyMarksToPicture(TBitmap& picture, const std::vector<std::string>& files) {
  TMark marks;
  marks.AddMarkFiles(files);
  marks.LoadMarks();
  // The picture is drawn on where it lies: its pixels are the work
  // picture's while the marks are drawn, and come back in any case.
  struct TLent {
    TBitmap& Picture;
    TBitmap& Work;
    ~TLent() { Picture.SwapPicture(Work); }
  } lent{picture, marks.Composite};
  marks.Composite.SwapPicture(picture);
  marks.Composite.SetPixelFormat(pf24bit);
  marks.DrawMarks(marks.Composite.Width(), marks.Composite.Height());
}
