#include "core/icon.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "core/bmp.h"
#include "core/byte_reader.h"
#include "core/byte_writer.h"
#include "core/exceptions.h"
#include "core/streams.h"

namespace {

const char* const kInvalidIcon = "Icon image is not valid";

using Reader = TByteReader<EInvalidGraphic>;

constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

struct IconEntry {
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
  std::int64_t width = 0;
  std::int64_t height = 0;
  int depth = 0;
  bool png = false;
};

bool IsPng(std::span<const std::uint8_t> d) {
  return d.size() >= sizeof kPngSignature && std::memcmp(d.data(), kPngSignature, sizeof kPngSignature) == 0;
}

std::uint32_t Be32(const std::uint8_t* p) {
  return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
         (static_cast<std::uint32_t>(p[2]) << 8) | p[3];
}

std::uint32_t Le32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// The directory's sizes are bytes (0 standing for 256) and its depth is
// often 0, so an entry's own header is believed where it can be read.
void RefineFromImageHeader(IconEntry& e, std::span<const std::uint8_t> d) {
  if (e.png) {
    if (d.size() < 26) return;
    std::int64_t w = Be32(&d[16]), h = Be32(&d[20]);
    static const int channels[7] = {1, 0, 3, 1, 2, 0, 4};
    int colourType = d[25];
    // PNG sizes stop at 2^31 - 1; anything larger is not a size.
    if (w > 0 && h > 0 && w <= 0x7FFFFFFF && h <= 0x7FFFFFFF) {
      e.width = w;
      e.height = h;
    }
    if (colourType <= 6 && channels[colourType]) e.depth = d[24] * channels[colourType];
    return;
  }
  if (d.size() < 16) return;
  std::uint32_t headerSize = Le32(&d[0]);
  if (headerSize == 12) {
    e.width = d[4] | (d[5] << 8);
    e.height = (d[6] | (d[7] << 8)) / 2;
    e.depth = d[10] | (d[11] << 8);
  } else if (headerSize >= 16) {
    std::int64_t w = static_cast<std::int32_t>(Le32(&d[4]));
    std::int64_t h = static_cast<std::int32_t>(Le32(&d[8]));
    if (h < 0) h = -h;
    if (w > 0 && h > 1) {
      e.width = w;
      e.height = h / 2;
    }
    e.depth = d[14] | (d[15] << 8);
  }
}

bool AnyOpacity(const TBitmap& b) {
  for (int y = 0; y < b.Height(); ++y) {
    const std::uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < b.Width(); ++x) {
      if (row[4 * x + 3]) return true;
    }
  }
  return false;
}

void SetOpaque(TBitmap& b) {
  for (int y = 0; y < b.Height(); ++y) {
    std::uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < b.Width(); ++x) row[4 * x + 3] = 255;
  }
}

std::atomic<const TGraphicClass*>& IconPngClass() {
  static std::atomic<const TGraphicClass*> graphicClass{nullptr};
  return graphicClass;
}

// A PNG entry goes through the class named for icons, or whichever picture
// class reads ".png".
TBitmap DecodePngEntry(std::span<const std::uint8_t> d) {
  const TGraphicClass* cls = IconPngClass().load();
  if (!cls) cls = TPicture::FindFileFormat("png");
  if (!cls) throw EInvalidGraphic("PNG icons are not supported");
  std::unique_ptr<TGraphic> png = cls->Create();
  // A class that loads colours only may still keep the opacity apart.
  auto* opacitySource = dynamic_cast<TOpacitySource*>(png.get());
  if (opacitySource) opacitySource->KeepOpacity(true);
  TMemoryStream stream(std::vector<std::uint8_t>(d.begin(), d.end()));
  png->LoadFromStream(stream);
  TBitmap picture;
  picture.Assign(*png);
  // A 32-bit result carries its alpha in the fourth byte; one whose fourth
  // bytes are all 0 has none.
  bool alpha = picture.PixelFormat() == pf32bit && AnyOpacity(picture);
  picture.SetPixelFormat(pf32bit);
  if (alpha) return picture;
  std::vector<std::uint8_t> opacity;
  const std::size_t w = static_cast<std::size_t>(picture.Width());
  if (opacitySource && opacitySource->GetOpacity(opacity) &&
      opacity.size() == w * static_cast<std::size_t>(picture.Height())) {
    for (int y = 0; y < picture.Height(); ++y) {
      std::uint8_t* row = picture.ScanLine(y);
      const std::uint8_t* a = opacity.data() + static_cast<std::size_t>(y) * w;
      for (std::size_t x = 0; x < w; ++x) row[4 * x + 3] = a[x];
    }
    return picture;
  }
  SetOpaque(picture);
  return picture;
}

TBitmap DecodeBmpEntry(std::span<const std::uint8_t> d) {
  TBitmap picture;
  const std::size_t used = ReadDib(d, picture, true);
  const bool deep = picture.PixelFormat() == pf32bit;

  // The AND mask follows the colours: 1 bit per pixel, rows padded to 32
  // bits, in the same row order; a set bit is a transparent pixel.
  const int w = picture.Width(), h = picture.Height();
  const std::uint64_t stride = static_cast<std::uint64_t>(BytesPerScanLine(w, 1));
  const std::uint64_t need = stride * static_cast<std::uint64_t>(h);
  const bool hasMask = need <= d.size() - used;
  // 32-bit entries may leave the mask out (their alpha was all 0 then,
  // which such writers mean as opaque); others cannot. Checked before
  // widening to 32 bits: a few bytes of RLE may describe a huge picture.
  if (!hasMask && !deep) throw EInvalidGraphic(kInvalidIcon);
  picture.SetPixelFormat(pf32bit);
  if (deep && AnyOpacity(picture)) return picture;
  if (!hasMask) {
    SetOpaque(picture);
    return picture;
  }
  const bool topDown = static_cast<std::int32_t>(Le32(&d[8])) < 0 && Le32(&d[0]) != 12;
  for (int i = 0; i < h; ++i) {
    const std::uint8_t* mask = d.data() + used + static_cast<std::uint64_t>(i) * stride;
    std::uint8_t* row = picture.ScanLine(topDown ? i : h - 1 - i);
    for (int x = 0; x < w; ++x) {
      bool transparent = (mask[x >> 3] >> (7 - (x & 7))) & 1;
      row[4 * x + 3] = transparent ? 0 : 255;
    }
  }
  return picture;
}

inline std::uint8_t Blend(int src, int dst, int alpha) {
  return static_cast<std::uint8_t>((src * alpha + dst * (255 - alpha) + 127) / 255);
}

}  // namespace

void SetIconPngClass(const TGraphicClass* graphicClass) { IconPngClass().store(graphicClass); }

const TGraphicClass& TIcon::StaticClass() {
  static const TGraphicClass cls{"TIcon", &TIcon::CreateInstance};
  return cls;
}

std::unique_ptr<TGraphic> TIcon::CreateInstance() { return std::make_unique<TIcon>(); }

void TIcon::LoadFromStream(TStream& stream) {
  const std::int64_t remaining = std::max<std::int64_t>(stream.Size() - stream.Position(), 0);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(remaining));
  stream.ReadBuffer(bytes.data(), remaining);
  const std::span<const std::uint8_t> data(bytes);

  Reader r(data, kInvalidIcon);
  if (r.U16LE() != 0 || r.U16LE() != 1) throw EInvalidGraphic(kInvalidIcon);
  const std::uint16_t count = r.U16LE();
  if (count == 0) throw EInvalidGraphic(kInvalidIcon);
  r.Need(std::uint64_t{16} * count);

  std::vector<IconEntry> entries(count);
  for (IconEntry& e : entries) {
    std::uint8_t w = r.U8(), h = r.U8();
    std::uint8_t colours = r.U8();
    r.U8();   // reserved
    r.U16LE();  // planes
    std::uint16_t bits = r.U16LE();
    e.size = r.U32LE();
    e.offset = r.U32LE();
    if (e.size == 0 || e.offset > data.size() || e.size > data.size() - e.offset) {
      throw EInvalidGraphic(kInvalidIcon);
    }
    e.width = w ? w : 256;
    e.height = h ? h : 256;
    e.depth = bits ? bits : (colours == 2 ? 1 : colours == 16 ? 4 : 8);
    auto d = data.subspan(static_cast<std::size_t>(e.offset), static_cast<std::size_t>(e.size));
    e.png = IsPng(d);
    RefineFromImageHeader(e, d);
  }

  // The largest picture; on a tie the deeper colour, then the first.
  const IconEntry* best = &entries[0];
  for (const IconEntry& e : entries) {
    std::int64_t area = e.width * e.height, bestArea = best->width * best->height;
    if (area > bestArea || (area == bestArea && e.depth > best->depth)) best = &e;
  }
  auto d = data.subspan(static_cast<std::size_t>(best->offset), static_cast<std::size_t>(best->size));
  image_ = best->png ? DecodePngEntry(d) : DecodeBmpEntry(d);
}

void TIcon::SaveToStream(TStream& stream) {
  if (image_.Empty()) throw EInvalidGraphic("Cannot save an empty icon");
  TBitmap colours(image_);
  colours.SetPixelFormat(pf32bit);
  const std::uint32_t w = static_cast<std::uint32_t>(colours.Width());
  const std::uint32_t h = static_cast<std::uint32_t>(colours.Height());
  const std::uint32_t maskStride = static_cast<std::uint32_t>(BytesPerScanLine(w, 1));
  const std::uint32_t imageBytes = 4 * w * h + maskStride * h;

  // The directory of one entry, then the entry's info header.
  std::vector<std::uint8_t> head(22 + 40);
  TByteWriter out(head);
  out.U16LE(0);
  out.U16LE(1);  // an icon
  out.U16LE(1);  // one picture
  out.U8(static_cast<std::uint8_t>(w >= 256 ? 0 : w));
  out.U8(static_cast<std::uint8_t>(h >= 256 ? 0 : h));
  out.U8(0);  // no palette
  out.U8(0);
  out.U16LE(1);
  out.U16LE(32);
  out.U32LE(40 + imageBytes);
  out.U32LE(22);
  out.U32LE(40);
  out.U32LE(w);
  out.U32LE(2 * h);  // colours and mask together
  out.U16LE(1);
  out.U16LE(32);
  out.U32LE(0);
  out.U32LE(imageBytes);
  out.U32LE(0);
  out.U32LE(0);
  out.U32LE(0);
  out.U32LE(0);
  stream.WriteBuffer(head);
  for (std::int64_t y = h; y-- > 0;) stream.WriteBuffer(colours.ScanLine(static_cast<int>(y)), 4 * w);
  std::vector<std::uint8_t> mask(maskStride);
  for (std::int64_t y = h; y-- > 0;) {
    std::fill(mask.begin(), mask.end(), 0);
    const std::uint8_t* row = colours.ScanLine(static_cast<int>(y));
    for (std::uint32_t x = 0; x < w; ++x) {
      if (row[4 * x + 3] == 0) mask[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
    }
    stream.WriteBuffer(mask);
  }
}

void TIcon::AssignTo(TBitmap& dest) const {
  TBitmap out;
  out.SetPixelFormat(pf24bit);
  out.SetSize(image_.Width(), image_.Height());
  for (int y = 0; y < image_.Height(); ++y) {
    const std::uint8_t* src = image_.ScanLine(y);
    std::uint8_t* dst = out.ScanLine(y);
    for (int x = 0; x < image_.Width(); ++x) {
      int a = src[4 * x + 3];
      for (int c = 0; c < 3; ++c) dst[3 * x + c] = Blend(src[4 * x + c], 255, a);
    }
  }
  dest.Assign(out);
}

void TIcon::Draw(TCanvas& canvas, const TRect& rect) const {
  // Sizes in 64 bits: a rectangle may span the whole int range, wider
  // than TRect::Width can tell.
  const std::int64_t dw = static_cast<std::int64_t>(rect.Right) - rect.Left;
  const std::int64_t dh = static_cast<std::int64_t>(rect.Bottom) - rect.Top;
  const std::int64_t sw = image_.Width(), sh = image_.Height();
  if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0) return;
  TBitmap& target = canvas.Bitmap();
  const int x0 = std::max(rect.Left, 0), x1 = std::min(rect.Right, target.Width());
  const int y0 = std::max(rect.Top, 0), y1 = std::min(rect.Bottom, target.Height());
  if (x0 >= x1 || y0 >= y1) return;
  const TPixelFormat tf = target.PixelFormat();
  const int bytes = tf == pf32bit ? 4 : (tf == pf24bit || tf == pfDevice) ? 3 : 0;
  for (int y = y0; y < y1; ++y) {
    // The sampling rule of StretchDraw: equal sizes copy exactly.
    const std::int64_t sy = StretchSource(static_cast<std::int64_t>(y) - rect.Top, dh, sh);
    const std::uint8_t* src = image_.ScanLine(static_cast<int>(sy));
    std::uint8_t* row = target.ScanLine(y);
    for (int x = x0; x < x1; ++x) {
      const std::int64_t sx = StretchSource(static_cast<std::int64_t>(x) - rect.Left, dw, sw);
      const std::uint8_t* s = src + 4 * sx;
      const int a = s[3];
      if (a == 0) continue;
      if (bytes) {
        std::uint8_t* p = row + static_cast<std::ptrdiff_t>(x) * bytes;
        for (int c = 0; c < 3; ++c) p[c] = a == 255 ? s[c] : Blend(s[c], p[c], a);
      } else {
        TColor under = target.GetPixelColor(x, y);
        TColor c = a == 255 ? RGB(s[2], s[1], s[0])
                            : RGB(Blend(s[2], GetRValue(under), a), Blend(s[1], GetGValue(under), a),
                                  Blend(s[0], GetBValue(under), a));
        canvas.SetPixel(x, y, c);
      }
    }
  }
}

// ---------------------------------------------------------------------------

const TGraphicClass& TMetafile::StaticClass() {
  static const TGraphicClass cls{"TMetafile", &TMetafile::CreateInstance};
  return cls;
}
std::unique_ptr<TGraphic> TMetafile::CreateInstance() { return std::make_unique<TMetafile>(); }
void TMetafile::LoadFromStream(TStream&) { throw EInvalidGraphic("metafile images are not supported"); }
void TMetafile::SaveToStream(TStream&) { throw EInvalidGraphic("metafile images are not supported"); }
