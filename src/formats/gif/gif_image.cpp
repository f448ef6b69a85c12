#include "formats/gif/gif_image.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <numeric>

#include "core/exceptions.h"
#include "core/icon.h"
#include "formats/gif/gif_extensions.h"
#include "formats/gif/gif_painter.h"
#include "formats/gif/gif_streamio.h"

namespace {

bool paletteDisplay = false;
bool renderOnLoad = false;

// All frames of one image together may not hold more pixel bytes than
// this, so that a small damaged file cannot make us allocate gigabytes.
constexpr std::int64_t MaxImagePixels = std::int64_t{1} << 29;

// Pixels the frames of a file may hold beyond what its bytes can decode
// to: a frame cut short keeps the fill value where its data stops, but a
// file of a few hundred bytes cannot claim hundreds of megabytes that way.
constexpr std::int64_t UnbackedPixels = std::int64_t{1} << 22;

// The pixels the frames in the next bytes bytes of a file may hold.
std::int64_t PixelBudget(std::int64_t bytes) {
  return std::min(MaxImagePixels, std::max(UnbackedPixels, GIFMostDecodedPixels(bytes)));
}

const char* const TooLarge = "Image exceeds the maximum size";
const char* const BadDimensions = "Invalid image dimensions";

void CheckBound(int value) {
  if (value < 0 || value > 0xFFFF) throw GIFException(BadDimensions);
}

}  // namespace

bool GIFPaletteDisplay() { return paletteDisplay; }
void SetGIFPaletteDisplay(bool paletteBased) { paletteDisplay = paletteBased; }
bool GIFRenderOnLoad() { return renderOnLoad; }
void SetGIFRenderOnLoad(bool value) { renderOnLoad = value; }

// ---------------------------------------------------------------------------
// Items

void TGIFItem::Warning(TGIFSeverity severity, const std::string& message) const {
  if (image_) image_->Warning(this, severity, message);
}

void TGIFItem::SaveToFile(const std::string& fileName) {
  TAtomicFileStream stream(fileName);
  SaveToStream(stream);
  stream.Commit();
}

void TGIFItem::LoadFromFile(const std::string& fileName) {
  TMemoryStream stream(ReadFileBytes(fileName));
  LoadFromStream(stream);
}

void TGIFExtensionList::LoadFromStream(TStream& stream) {
  for (;;) {
    const int b = gifio::ReadByteOrEnd(stream);
    if (b < 0) return;  // a file cut short here simply has no more blocks
    if (b == ',' || b == ';') {
      stream.Seek(-1, TSeekOrigin::soCurrent);
      return;
    }
    if (b == 0) continue;  // stray padding between blocks
    if (b != '!') {
      if (image_) image_->Warning(frame_, gsWarning, "Invalid extension introducer");
      stream.Seek(-1, TSeekOrigin::soCurrent);
      return;
    }
    const int label = gifio::ReadByteOrEnd(stream);
    if (label < 0) return;
    auto extension = TGIFExtension::Create(static_cast<std::uint8_t>(label), stream, frame_);
    if (!extension) {
      // An extension of a later version or of some program: its data are
      // sub-blocks like every other's, so it can be stepped over.
      if (image_) image_->Warning(frame_, gsWarning, "Unknown extension type");
      SkipGIFSubBlocks(stream);
      continue;
    }
    stream.Seek(-2, TSeekOrigin::soCurrent);
    extension->LoadFromStream(stream);
    Add(std::move(extension));
  }
}

// ---------------------------------------------------------------------------
// Colour tables

int TGIFColorMap::BitsPerPixel() const {
  int bits = 1;
  while ((1 << bits) < Count()) ++bits;
  return bits;
}

void TGIFColorMap::Warning(TGIFSeverity severity, const std::string& message) const {
  if (image_) image_->Warning(nullptr, severity, message);
}

void TGIFColorMap::SetCapacity(int count) {
  if (count < capacity_) return;
  capacity_ = count <= 16 ? 16 : std::min(256, (count + 31) / 32 * 32);
  data_.reserve(static_cast<std::size_t>(capacity_));
}

TColor TGIFColorMap::Colors(int index) const {
  if (index < 0 || index >= Count()) {
    Warning(gsWarning, "Invalid color index");
    if (data_.empty()) throw GIFException("Color table is empty");
    index = 0;
  }
  return TripleToColor(data_[static_cast<std::size_t>(index)]);
}

void TGIFColorMap::SetColor(int index, TColor color) {
  if (index < 0 || index >= Count()) throw GIFException("Invalid color index");
  data_[static_cast<std::size_t>(index)] = ColorToTriple(color);
  Changed();
}

int TGIFColorMap::IndexOf(TColor color) const {
  const TGIFColor t = ColorToTriple(color);
  if (!Optimized) {
    for (int i = Count() - 1; i >= 0; --i)
      if (data_[static_cast<std::size_t>(i)] == t) return i;
  } else {
    for (int i = 0; i < Count(); ++i)
      if (data_[static_cast<std::size_t>(i)] == t) return i;
  }
  return -1;
}

int TGIFColorMap::Add(TColor color) {
  if (Count() >= 256) throw GIFException("Color table overflow");
  SetCapacity(Count() + 1);
  data_.push_back(ColorToTriple(color));
  Optimized = false;
  Changed();
  return Count() - 1;
}

int TGIFColorMap::AddUnique(TColor color) {
  const int index = IndexOf(color);
  return index >= 0 ? index : Add(color);
}

void TGIFColorMap::Delete(int index) {
  if (index < 0 || index >= Count()) throw GIFException("Invalid color index");
  data_.erase(data_.begin() + index);
  Changed();
}

void TGIFColorMap::Clear() {
  data_.clear();
  capacity_ = 0;
  Optimized = false;
  Changed();
}

void TGIFColorMap::Assign(const TGIFColorMap& source) {
  data_ = source.data_;
  capacity_ = source.capacity_;
  Optimized = source.Optimized;
  Changed();
}

void TGIFColorMap::ImportPalette(const std::vector<TPaletteEntry>& palette) {
  data_.clear();
  const std::size_t n = std::min<std::size_t>(palette.size(), 256);
  SetCapacity(static_cast<int>(n));
  for (std::size_t i = 0; i < n; ++i) data_.push_back({palette[i].Red, palette[i].Green, palette[i].Blue});
  Optimized = false;
  Changed();
}

void TGIFColorMap::ImportColorTable(const std::uint8_t* bgrx, int count) {
  data_.clear();
  count = std::clamp(count, 0, 256);
  SetCapacity(count);
  for (int i = 0; i < count; ++i) data_.push_back({bgrx[i * 4 + 2], bgrx[i * 4 + 1], bgrx[i * 4]});
  Optimized = false;
  Changed();
}

std::vector<TPaletteEntry> TGIFColorMap::ExportPalette() const {
  std::vector<TPaletteEntry> out;
  out.reserve(data_.size());
  for (const auto& c : data_) out.push_back({c.Red, c.Green, c.Blue, PaletteNoCollapse});
  return out;
}

std::vector<TPaletteEntry> TGIFColorMap::PaddedPalette(int entries) const {
  std::vector<TPaletteEntry> out(static_cast<std::size_t>(std::max(entries, Count())));
  for (std::size_t i = 0; i < data_.size(); ++i) out[i] = {data_[i].Red, data_[i].Green, data_[i].Blue, 0};
  return out;
}

void TGIFColorMap::LoadFromStream(TStream& stream, int count) {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count) * 3);
  gifio::ReadExact(stream, bytes.data(), static_cast<std::int64_t>(bytes.size()));
  data_.clear();
  SetCapacity(count);
  for (int i = 0; i < count; ++i)
    data_.push_back({bytes[static_cast<std::size_t>(i * 3)], bytes[static_cast<std::size_t>(i * 3 + 1)],
                     bytes[static_cast<std::size_t>(i * 3 + 2)]});
  Changed();
}

void TGIFColorMap::SaveToStream(TStream& stream) const {
  const int entries = 1 << BitsPerPixel();
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(entries) * 3, 0);
  for (std::size_t i = 0; i < data_.size(); ++i) {
    bytes[i * 3] = data_[i].Red;
    bytes[i * 3 + 1] = data_[i].Green;
    bytes[i * 3 + 2] = data_[i].Blue;
  }
  stream.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
}

void TGIFColorMap::Optimize() {
  if (Count() <= 1) return;
  Optimized = true;
  const auto histogram = BuildHistogram();
  std::vector<int> order(static_cast<std::size_t>(Count()));
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    return histogram[static_cast<std::size_t>(a)] > histogram[static_cast<std::size_t>(b)];
  });
  bool unchanged = true;
  for (std::size_t i = 0; i < order.size(); ++i) unchanged = unchanged && order[i] == static_cast<int>(i);
  if (unchanged) return;
  std::vector<int> map(order.size());
  std::vector<TGIFColor> sorted(order.size());
  int used = 0;
  for (std::size_t newIndex = 0; newIndex < order.size(); ++newIndex) {
    const int oldIndex = order[newIndex];
    map[static_cast<std::size_t>(oldIndex)] = static_cast<int>(newIndex);
    sorted[newIndex] = data_[static_cast<std::size_t>(oldIndex)];
    if (histogram[static_cast<std::size_t>(oldIndex)] > 0) ++used;
  }
  data_ = std::move(sorted);
  MapImages(map);
  data_.resize(static_cast<std::size_t>(used));
  Changed();
}

namespace {

void CountPixels(const TGIFSubImage& frame, int count, std::vector<std::int64_t>& histogram) {
  for (std::uint8_t p : frame.Data())
    if (p < count) ++histogram[p];
}

void MapFrame(TGIFSubImage& frame, const std::vector<int>& map) {
  for (auto& p : frame.MutableData())
    if (p < map.size()) p = static_cast<std::uint8_t>(map[p]);
  for (const auto& ext : frame.Extensions()) {
    if (auto* gce = dynamic_cast<TGIFGraphicControlExtension*>(ext.get())) {
      if (gce->TransparentIndexValue < map.size())
        gce->TransparentIndexValue = static_cast<std::uint8_t>(map[gce->TransparentIndexValue]);
    }
  }
  frame.FreeBitmap();
}

}  // namespace

std::vector<std::int64_t> TGIFGlobalColorMap::BuildHistogram() const {
  std::vector<std::int64_t> histogram(static_cast<std::size_t>(Count()), 0);
  if (!image_) return histogram;
  for (const auto& frame : image_->Images())
    if (&frame->ActiveColorMap() == this) CountPixels(*frame, Count(), histogram);
  return histogram;
}

void TGIFGlobalColorMap::MapImages(const std::vector<int>& map) {
  if (!image_) return;
  for (const auto& frame : image_->Images())
    if (&frame->ActiveColorMap() == this) MapFrame(*frame, map);
  // The background index names an entry of this table too.
  auto& header = image_->Header();
  if (header.BackgroundColorIndex < map.size())
    header.BackgroundColorIndex = static_cast<std::uint8_t>(map[header.BackgroundColorIndex]);
}

void TGIFGlobalColorMap::Optimize() {
  if (!image_ || image_->Images().Count() == 0) return;
  image_->StopDraw();
  TGIFColorMap::Optimize();
}

void TGIFGlobalColorMap::Changed() {
  if (image_) {
    image_->palette_.clear();
    image_->FreeBitmap();
  }
}

std::vector<std::int64_t> TGIFLocalColorMap::BuildHistogram() const {
  std::vector<std::int64_t> histogram(static_cast<std::size_t>(Count()), 0);
  CountPixels(*frame_, Count(), histogram);
  return histogram;
}

void TGIFLocalColorMap::MapImages(const std::vector<int>& map) { MapFrame(*frame_, map); }

void TGIFLocalColorMap::Changed() { frame_->FreeBitmap(); }

// ---------------------------------------------------------------------------
// Header and trailer

int TGIFHeader::GetVersion() const { return (colorMap_.Optimized || AspectRatio != 0) ? gv89a : gv87a; }

TColor TGIFHeader::BackgroundColor() const { return colorMap_.Colors(BackgroundColorIndex); }

void TGIFHeader::Assign(const TGIFHeader& source) {
  Width = source.Width;
  Height = source.Height;
  Packed = source.Packed;
  BackgroundColorIndex = source.BackgroundColorIndex;
  AspectRatio = source.AspectRatio;
  colorMap_.Assign(source.colorMap_);
}

void TGIFHeader::Prepare() {
  std::uint8_t packed = 0;
  const int resolution = image_ ? image_->ColorResolution() : colorMap_.ColorResolution();
  packed |= static_cast<std::uint8_t>((resolution & 7) << 4);
  if (colorMap_.Count() > 0) {
    packed |= 0x80;
    if (colorMap_.Optimized) packed |= 0x08;
    packed |= static_cast<std::uint8_t>((colorMap_.BitsPerPixel() - 1) & 7);
  } else {
    const int bits = image_ ? image_->BitsPerPixel() : 1;
    packed |= static_cast<std::uint8_t>((bits - 1) & 7);
  }
  Packed = packed;
}

void TGIFHeader::SaveToStream(TStream& stream) {
  const int version = image_ ? image_->GetVersion() : GetVersion();
  if (version == gvUnknown) throw GIFException("Unsupported GIF version");
  stream.WriteBuffer(version == gv89a ? "GIF89a" : "GIF87a", 6);
  Prepare();
  stream.WriteWord(Width);
  stream.WriteWord(Height);
  stream.WriteByte(Packed);
  stream.WriteByte(BackgroundColorIndex);
  stream.WriteByte(AspectRatio);
  if (Packed & 0x80) colorMap_.SaveToStream(stream);
}

void TGIFHeader::LoadFromStream(TStream& stream) {
  const std::int64_t start = stream.Position();
  char signature[6];
  gifio::ReadExact(stream, signature, 6);
  auto isGif = [&] { return UpperCase(std::string_view(signature, 3)) == "GIF"; };
  if (!isGif()) {
    // Some files carry a few bytes in front of the signature.
    stream.SetPosition(start + 4);
    if (stream.Read(signature, 6) != 6 || !isGif()) throw GIFException("Invalid GIF signature");
  }
  Width = gifio::ReadU16(stream);
  Height = gifio::ReadU16(stream);
  Packed = gifio::ReadU8(stream);
  BackgroundColorIndex = gifio::ReadU8(stream);
  AspectRatio = gifio::ReadU8(stream);
  if (Packed & 0x80) {
    const int count = 2 << (Packed & 7);
    if (count < 2 || count > 256) throw GIFException("Invalid number of colors specified in Screen Descriptor");
    colorMap_.LoadFromStream(stream, count);
  } else {
    colorMap_.Clear();
  }
}

void TGIFTrailer::LoadFromStream(TStream& stream) {
  const int b = gifio::ReadByteOrEnd(stream);
  if (b >= 0 && b != ';') Warning(gsWarning, "Invalid Image trailer");
}

// ---------------------------------------------------------------------------
// Frames

TGIFSubImage::TGIFSubImage(TGIFImage* image)
    : TGIFItem(image), colorMap_(image, this), extensions_(image, this) {}

TGIFSubImage::~TGIFSubImage() {
  // The extensions look at the frame while they go.
  extensions_.Clear();
}

int TGIFSubImage::GetBoundsValue(int index) const {
  switch (index) {
    case 1: return left_;
    case 2: return top_;
    case 3: return width_;
    case 4: return height_;
    default: throw GIFException("Invalid bounds index");
  }
}

void TGIFSubImage::Allocate() {
  if (!WithinPixelCap(width_, height_)) throw GIFException(TooLarge);
  data_.assign(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), 0);
}

void TGIFSubImage::SetBoundsValue(int index, int value) {
  CheckBound(value);
  int left = left_, top = top_, width = width_, height = height_;
  switch (index) {
    case 1: left = value; break;
    case 2: top = value; break;
    case 3: width = value; break;
    case 4: height = value; break;
    default: throw GIFException("Invalid bounds index");
  }
  // The logical screen is stored in 16 bits too.
  if (left + width > 0xFFFF || top + height > 0xFFFF) throw GIFException(BadDimensions);
  if (!WithinPixelCap(width, height)) throw GIFException(TooLarge);
  const bool resized = width != width_ || height != height_;
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  if (resized) {
    FreeBitmap();
    Allocate();
  }
  if (!image_) return;
  auto& header = image_->Header();
  bool warned = false;
  if (left_ + width_ > header.Width) {
    if (header.Width != 0) {
      Warning(gsWarning, "Image width too small for contained frames");
      warned = true;
    }
    header.Width = static_cast<std::uint16_t>(left_ + width_);
  }
  if (top_ + height_ > header.Height) {
    if (header.Height != 0) {
      Warning(gsWarning, "Image height too small for contained frames");
      warned = true;
    }
    header.Height = static_cast<std::uint16_t>(top_ + height_);
  }
  if (warned) Warning(gsWarning, "Image exceeds Logical Screen size");
  image_->FreeBitmap();
}

void TGIFSubImage::SetInterlaced(bool value) {
  packed_ = static_cast<std::uint8_t>(value ? (packed_ | 0x40) : (packed_ & ~0x40));
}

std::vector<std::uint8_t>& TGIFSubImage::MutableData() {
  FreeBitmap();
  return data_;
}

int TGIFSubImage::GetPixel(int x, int y) {
  if (x < 0 || x >= width_ || y < 0 || y >= height_) throw GIFException("Invalid pixel coordinates");
  if (data_.empty()) Allocate();
  if (data_.empty()) throw GIFException("Image is empty");
  return data_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x)];
}

TGIFColorMap& TGIFSubImage::ActiveColorMap() {
  if (colorMap_.Count() > 0 || !image_) return colorMap_;
  if (image_->Header().ColorMap().Count() > 0) return image_->Header().ColorMap();
  return colorMap_;
}

const TGIFColorMap& TGIFSubImage::ActiveColorMap() const {
  return const_cast<TGIFSubImage*>(this)->ActiveColorMap();
}

int TGIFSubImage::TransparentIndex() const { return gce_ ? gce_->TransparentColorIndex() : 0; }

void TGIFSubImage::FreeBitmap() {
  bitmap_.reset();
  mask_.reset();
  // A new bitmap needs its mask again.
  needMask_ = true;
}

void TGIFSubImage::SetPalette(std::vector<TPaletteEntry> palette) {
  palette_ = std::move(palette);
  bitmap_.reset();
  mask_.reset();
  needMask_ = true;
}

std::vector<TPaletteEntry> TGIFSubImage::GetPalette() {
  if (bitmap_ && !bitmap_->Palette().empty()) return bitmap_->Palette();
  if (!palette_.empty()) return palette_;
  if (image_ && image_->DoDither()) return WebPalette();
  if (colorMap_.Count() > 0) return colorMap_.ExportPalette();
  if (image_) return image_->GetPalette();
  return {};
}

TBitmap& TGIFSubImage::GetBitmap() {
  if (bitmap_) return *bitmap_;
  auto bitmap = std::make_unique<TBitmap>();
  bitmap->SetPixelFormat(pf8bit);
  const bool dither = image_ && image_->DoDither();
  int highest = 0;
  for (std::uint8_t p : data_) highest = std::max<int>(highest, p);
  // Indices beyond the table render black rather than reading past it.
  std::vector<TPaletteEntry> palette =
      !palette_.empty() ? palette_ : ActiveColorMap().PaddedPalette(std::max(ActiveColorMap().Count(), highest + 1));
  if (!palette_.empty() && static_cast<int>(palette.size()) <= highest) palette.resize(static_cast<std::size_t>(highest) + 1);
  if (Empty()) {
    bitmap->SetSize(width_, height_);
    bitmap->SetPalette(palette);
    bitmap_ = std::move(bitmap);
    return *bitmap_;
  }
  bitmap->SetPalette(dither ? WebPalette() : palette);
  bitmap->SetSize(width_, height_);
  const int transparentIndex = TransparentIndex();
  const bool buildMask = transparent_ && needMask_;
  std::unique_ptr<TBitmap> mask;
  bool anyMasked = false;
  if (buildMask) {
    mask = std::make_unique<TBitmap>();
    mask->SetPixelFormat(pf1bit);
    mask->SetSize(width_, height_);
    std::fill(mask->Bits(), mask->Bits() + static_cast<std::ptrdiff_t>(mask->RowStride()) * height_, 0);
  }
  std::unique_ptr<TNetscapeColorLookup> lookup;
  std::unique_ptr<TFloydSteinbergDitherer> ditherer;
  if (dither) {
    lookup = std::make_unique<TNetscapeColorLookup>();
    ditherer = std::make_unique<TFloydSteinbergDitherer>(width_, *lookup);
  }
  for (int y = 0; y < height_; ++y) {
    if (y % 32 == 0 && image_) image_->DoProgress(TProgressStage::psRunning, y * 100 / height_, "Rendering...");
    const std::uint8_t* src = data_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
    std::uint8_t* dst = bitmap->ScanLine(y);
    if (!dither) {
      std::memcpy(dst, src, static_cast<std::size_t>(width_));
    } else {
      int r, g, b;
      for (int x = ditherer->Column(); x >= 0 && x < width_; x = ditherer->Column()) {
        if (transparent_ && src[x] == transparentIndex) {
          dst[x] = 0;  // hidden by the mask
          ditherer->Skip();
          continue;
        }
        const auto& e = palette[src[x]];
        dst[x] = static_cast<std::uint8_t>(ditherer->Dither(e.Red, e.Green, e.Blue, r, g, b));
      }
      ditherer->NextLine();
    }
    if (mask) {
      std::uint8_t* m = mask->ScanLine(y);
      for (int x = 0; x < width_; ++x)
        if (src[x] == transparentIndex) {
          m[x >> 3] = static_cast<std::uint8_t>(m[x >> 3] | (0x80 >> (x & 7)));
          anyMasked = true;
        }
    }
  }
  if (buildMask) {
    if (anyMasked) mask_ = std::move(mask);
    needMask_ = false;
  }
  bitmap_ = std::move(bitmap);
  return *bitmap_;
}

const TBitmap* TGIFSubImage::Mask() {
  GetBitmap();
  return mask_.get();
}

int TGIFSubImage::GetVersion() const {
  int version = colorMap_.Optimized ? gv89a : gv87a;
  for (const auto& ext : extensions_) version = std::max(version, ext->GetVersion());
  return version;
}

void TGIFSubImage::Clear() {
  extensions_.Clear();
  colorMap_.Clear();
  data_.clear();
  left_ = top_ = width_ = height_ = 0;
  packed_ = 0;
  transparent_ = false;
  gce_ = nullptr;
  palette_.clear();
  FreeBitmap();
}

void TGIFSubImage::Decode(TStream& stream) {
  TGIFDecodeFrame frame;
  frame.Width = width_;
  frame.Height = height_;
  frame.Interlaced = Interlaced();
  frame.FillValue = static_cast<std::uint8_t>(transparent_ ? TransparentIndex() : 0);
  DecodeGIFImageData(stream, frame, data_,
                     [this](TGIFSeverity severity, const std::string& message) { Warning(severity, message); });
}

void TGIFSubImage::Encode(TStream& stream) {
  int codeSize, colors;
  if (colorMap_.Count() > 0) {
    codeSize = colorMap_.BitsPerPixel();
    colors = colorMap_.Count();
  } else {
    codeSize = image_ ? image_->GlobalCodeSize() : 8;
    colors = 1 << codeSize;
  }
  std::unique_ptr<TGIFEncoder> encoder;
  if (image_ && image_->Compression == 1)
    encoder = std::make_unique<TRLEEncoder>();
  else
    encoder = std::make_unique<TLZWEncoder>();
  encoder->Warning = [this](TGIFSeverity severity, const std::string& message) { Warning(severity, message); };
  encoder->Encode(stream, codeSize, colors, data_, Interlaced(), height_, width_);
}

void TGIFSubImage::SaveToStream(TStream& stream) {
  extensions_.SaveToStream(stream);
  if (Empty()) return;
  if (colorMap_.Count() > 0) {
    packed_ = static_cast<std::uint8_t>(0x80 | (colorMap_.Optimized ? 0x20 : 0) | ((colorMap_.BitsPerPixel() - 1) & 7));
  } else {
    packed_ = static_cast<std::uint8_t>(packed_ & (0x40 | 0x10 | 0x08));
  }
  stream.WriteByte(separator_);
  stream.WriteWord(static_cast<std::uint16_t>(left_));
  stream.WriteWord(static_cast<std::uint16_t>(top_));
  stream.WriteWord(static_cast<std::uint16_t>(width_));
  stream.WriteWord(static_cast<std::uint16_t>(height_));
  stream.WriteByte(packed_);
  if (colorMap_.Count() > 0) colorMap_.SaveToStream(stream);
  Encode(stream);
}

void TGIFSubImage::LoadFromStream(TStream& stream) {
  extensions_.LoadFromStream(stream);
  // Only "," starts an image descriptor; anything else leaves the frame
  // without pixels for the frame loop to look at.
  if (gifio::PeekByte(stream) != ',') return;
  separator_ = gifio::ReadU8(stream);
  left_ = gifio::ReadU16(stream);
  top_ = gifio::ReadU16(stream);
  width_ = gifio::ReadU16(stream);
  height_ = gifio::ReadU16(stream);
  packed_ = gifio::ReadU8(stream);
  if ((width_ == 0 || height_ == 0) && image_) {
    width_ = image_->Header().Width;
    height_ = image_->Header().Height;
    Warning(gsWarning, "Image exceeds Logical Screen size");
  }
  if (!WithinPixelCap(width_, height_)) throw GIFException(TooLarge);
  // Checked before any pixel is allocated: against what is left of the
  // image's budget while it loads, else against what the stream holds.
  std::int64_t ownBudget = -1;
  std::int64_t& budget = image_ && image_->loadBudget_ >= 0 ? image_->loadBudget_ : ownBudget;
  if (budget < 0) budget = PixelBudget(gifio::Left(stream));
  const std::int64_t pixels = static_cast<std::int64_t>(width_) * height_;
  if (pixels > budget) throw GIFException(TooLarge);
  budget -= pixels;
  if (packed_ & 0x80) {
    const int count = 2 << (packed_ & 7);
    if (count < 2 || count > 256) throw GIFException("Invalid number of colors specified in Image Descriptor");
    colorMap_.LoadFromStream(stream, count);
  }
  Decode(stream);
  FreeBitmap();
  if (GIFRenderOnLoad()) GetBitmap();
}

void TGIFSubImage::Assign(const TGIFSubImage& source) {
  if (&source == this) return;
  Clear();
  separator_ = source.separator_;
  left_ = source.left_;
  top_ = source.top_;
  width_ = source.width_;
  height_ = source.height_;
  packed_ = source.packed_;
  colorMap_.Assign(source.colorMap_);
  data_ = source.data_;
  palette_ = source.palette_;
  for (const auto& ext : source.extensions_) extensions_.Add(ext->Clone(this));
  transparent_ = source.transparent_;
}

namespace {

// The pixels of a transparent bitmap that have its transparent colour.
std::vector<bool> ColorKeyMask(const TBitmap& bitmap) {
  const TColor key = ColorToRGB(bitmap.TransparentColor()) & 0xFFFFFF;
  std::vector<bool> mask(static_cast<std::size_t>(bitmap.Width()) * static_cast<std::size_t>(bitmap.Height()));
  std::size_t i = 0;
  for (int y = 0; y < bitmap.Height(); ++y)
    for (int x = 0; x < bitmap.Width(); ++x) mask[i++] = (bitmap.GetPixelColor(x, y) & 0xFFFFFF) == key;
  return mask;
}

}  // namespace

void TGIFSubImage::Assign(const TGraphic& source) {
  if (const auto* bitmap = dynamic_cast<const TBitmap*>(&source)) {
    if (bitmap->Transparent() && !bitmap->Empty()) {
      const auto mask = ColorKeyMask(*bitmap);
      AssignFromBitmap(*bitmap, &mask);
    } else {
      AssignFromBitmap(*bitmap, nullptr);
    }
    return;
  }
  const auto* icon = dynamic_cast<const TIcon*>(&source);
  if (icon && icon->Image().PixelFormat() == pf32bit) {
    // The icon's colours go in as 24 bits; its fully transparent pixels
    // are its mask.
    const TBitmap& image = icon->Image();
    TBitmap colors(image.Width(), image.Height(), pf24bit);
    std::vector<bool> mask(static_cast<std::size_t>(image.Width()) * static_cast<std::size_t>(image.Height()));
    std::size_t i = 0;
    for (int y = 0; y < image.Height(); ++y) {
      const std::uint8_t* in = image.ScanLine(y);
      std::uint8_t* out = colors.ScanLine(y);
      for (int x = 0; x < image.Width(); ++x, in += 4, out += 3) {
        out[0] = in[0];
        out[1] = in[1];
        out[2] = in[2];
        mask[i++] = in[3] == 0;
      }
    }
    AssignFromBitmap(colors, &mask);
    return;
  }
  TBitmap rendered;
  source.AssignTo(rendered);
  if (source.Transparent() && !rendered.Empty()) {
    const auto mask = ColorKeyMask(rendered);
    AssignFromBitmap(rendered, &mask);
  } else {
    AssignFromBitmap(rendered, nullptr);
  }
}

void TGIFSubImage::AssignTo(TBitmap& dest) { dest.Assign(GetBitmap()); }

void TGIFSubImage::AssignFromBitmap(const TBitmap& source, const std::vector<bool>* mask) {
  Clear();
  if (source.Width() > 0xFFFF || source.Height() > 0xFFFF) throw GIFException(BadDimensions);
  SetBoundsValue(3, source.Width());
  SetBoundsValue(4, source.Height());
  if (source.Width() == 0 || source.Height() == 0) return;

  std::unique_ptr<TBitmap> work;
  const TPixelFormat format = source.PixelFormat();
  if (format == pf1bit || format == pf4bit || format == pf8bit) {
    work = std::make_unique<TBitmap>(source);
  } else {
    const std::uint8_t reduction = image_ ? image_->ColorReduction : GIFDefaultColorReduction;
    const std::uint8_t dither = image_ ? image_->DitherMode : GIFDefaultDitherMode;
    const int bits = image_ ? image_->ReductionBits : GIFDefaultReductionBits;
    work = ReduceColors(source, reduction, dither, nullptr, bits);
  }
  // A reduction code or dither mode without an engine gives no picture;
  // taking its rows would read outside it.
  if (!work || work->Width() != width_ || work->Height() != height_) throw GIFException("Color reduction failed");

  if (image_) image_->DoProgress(TProgressStage::psStarting, 0, "Converting...");
  StorePixelsFrom(*work);
  if (mask) MarkTransparentPixels(*mask);
  if (image_) image_->DoProgress(TProgressStage::psEnding, 100, "Converting...");
  FreeBitmap();
}

void TGIFSubImage::StorePixelsFrom(const TBitmap& reduced) {
  const TPixelFormat format = reduced.PixelFormat();
  const bool paletted = format == pf1bit || format == pf4bit || format == pf8bit;
  TBitmap converted;
  const TBitmap* work = &reduced;
  if (!paletted && format != pf24bit && format != pfDevice) {
    converted = reduced;
    converted.SetPixelFormat(pf24bit);
    work = &converted;
  }
  if (paletted) colorMap_.ImportPalette(reduced.Palette());
  std::array<TColor, 8> ring{};
  std::array<int, 8> ringIndex{};
  int ringUsed = 0, ringNext = 0, lastHit = 0;
  int highest = 0;
  for (int y = 0; y < height_; ++y) {
    if (y % 32 == 0 && image_) image_->DoProgress(TProgressStage::psRunning, y * 100 / height_, "Converting...");
    const std::uint8_t* row = work->ScanLine(y);
    std::uint8_t* out = data_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
    switch (format) {
      case pf8bit: std::memcpy(out, row, static_cast<std::size_t>(width_)); break;
      case pf4bit:
        for (int x = 0; x < width_; ++x)
          out[x] = static_cast<std::uint8_t>((x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4));
        break;
      case pf1bit:
        for (int x = 0; x < width_; ++x) out[x] = static_cast<std::uint8_t>((row[x >> 3] >> (7 - (x & 7))) & 1);
        break;
      default:
        for (int x = 0; x < width_; ++x) {
          const std::uint8_t* p = row + x * 3;
          const TColor color = RGB(p[2], p[1], p[0]);
          int index = -1;
          // The most recently used colours first, backwards from the last hit.
          for (int k = 0; k < ringUsed; ++k) {
            const int slot = (lastHit - k + 8) % 8;
            if (ring[static_cast<std::size_t>(slot)] == color) {
              index = ringIndex[static_cast<std::size_t>(slot)];
              lastHit = slot;
              break;
            }
          }
          if (index < 0) {
            index = colorMap_.AddUnique(color);
            ring[static_cast<std::size_t>(ringNext)] = color;
            ringIndex[static_cast<std::size_t>(ringNext)] = index;
            lastHit = ringNext;
            ringNext = (ringNext + 1) % 8;
            ringUsed = std::min(ringUsed + 1, 8);
          }
          out[x] = static_cast<std::uint8_t>(index);
        }
        break;
    }
    if (paletted)
      for (int x = 0; x < width_; ++x) highest = std::max<int>(highest, out[x]);
  }
  // A bitmap whose pixels name entries beyond its palette: those entries
  // become black, so the table covers every pixel written.
  while (paletted && colorMap_.Count() <= highest && colorMap_.Count() < 256) colorMap_.Add(clBlack);
}

void TGIFSubImage::MarkTransparentPixels(const std::vector<bool>& mask) {
  colorMap_.Optimize();
  if (colorMap_.Count() == 0 || colorMap_.Count() >= 256) return;
  const int index = colorMap_.Add(clBlack);
  std::int64_t marked = 0;
  for (std::size_t i = 0; i < data_.size() && i < mask.size(); ++i)
    if (mask[i]) {
      data_[i] = static_cast<std::uint8_t>(index);
      ++marked;
    }
  if (marked == 0) {
    colorMap_.Delete(index);
    return;
  }
  auto gce = std::make_unique<TGIFGraphicControlExtension>(this);
  gce->SetTransparent(true);
  gce->SetTransparentColorIndex(index);
  extensions_.Add(std::move(gce));
}

// ---------------------------------------------------------------------------
// The image

namespace {
const TGraphicClass gifClass{"TGIFImage", &TGIFImage::CreateInstance};
}

const TGraphicClass& TGIFImage::StaticClass() { return gifClass; }
std::unique_ptr<TGraphic> TGIFImage::CreateInstance() { return std::make_unique<TGIFImage>(); }

TGIFImage::TGIFImage() : images_(this), header_(this) {}

TGIFImage::~TGIFImage() {
  try {
    StopDraw();
    images_.Clear();
  } catch (...) {
    // Nothing may leave a destructor; what is left is freed below.
  }
}

void TGIFImage::Warning(const TGIFItem* sender, TGIFSeverity severity, const std::string& message) const {
  if (OnWarning) OnWarning(sender, severity, message);
}

void TGIFImage::Changed() {}

bool TGIFImage::DoDither() const {
  return (drawOptions_ & goDither) && (!(drawOptions_ & goAutoDither) || GIFPaletteDisplay());
}

void TGIFImage::SetWidth(int value) {
  for (const auto& frame : images_)
    if (frame->Left() + frame->Width() > value) throw GIFException("Image width too small for contained frames");
  CheckBound(value);
  if (value != header_.Width) {
    header_.Width = static_cast<std::uint16_t>(value);
    FreeBitmap();
    Changed();
  }
}

void TGIFImage::SetHeight(int value) {
  for (const auto& frame : images_)
    if (frame->Top() + frame->Height() > value) throw GIFException("Image height too small for contained frames");
  CheckBound(value);
  if (value != header_.Height) {
    header_.Height = static_cast<std::uint16_t>(value);
    FreeBitmap();
    Changed();
  }
}

void TGIFImage::SetDrawOptions(std::uint16_t value) {
  if (value == drawOptions_) return;
  StopDraw();
  drawOptions_ = value;
  FreeBitmap();
  palette_.clear();
  for (const auto& frame : images_) {
    frame->FreeBitmap();
    frame->palette_.clear();
  }
  if (header_.ColorMap().Count() == 0 && images_.Count() == 1) {
    auto& local = images_[0]->ColorMap();
    header_.ColorMap().Assign(local);
    local.Clear();
  }
  Changed();
}

void TGIFImage::SetAnimate(bool value) {
  SetDrawOptions(static_cast<std::uint16_t>(value ? (drawOptions_ | goAnimate) : (drawOptions_ & ~goAnimate)));
}

void TGIFImage::SetAnimationSpeed(int value) {
  value = std::clamp(value, 0, 1000);
  animationSpeed_ = value;
  if (painter_) painter_->SetAnimationSpeed(value);
}

int TGIFImage::Add(std::unique_ptr<TGIFSubImage> frame) {
  if (!frame) throw GIFException("Object type not supported for operation");
  if (frame->Image() != this) {
    auto copy = std::make_unique<TGIFSubImage>(this);
    copy->Assign(*frame);
    frame = std::move(copy);
  }
  const int index = images_.Add(std::move(frame));
  FreeBitmap();
  Changed();
  return index;
}

int TGIFImage::Add(const TGIFSubImage& frame) {
  auto copy = std::make_unique<TGIFSubImage>(this);
  copy->Assign(frame);
  return Add(std::move(copy));
}

int TGIFImage::Add(const TGraphic& source) {
  if (const auto* gif = dynamic_cast<const TGIFImage*>(&source)) {
    if (gif->Empty()) throw GIFException("Object type not supported for operation");
  }
  auto frame = std::make_unique<TGIFSubImage>(this);
  frame->Assign(source);
  return Add(std::move(frame));
}

void TGIFImage::Clear() {
  StopDraw();
  FreeBitmap();
  images_.Clear();
  header_.ColorMap().Clear();
  header_.Width = 0;
  header_.Height = 0;
  header_.Prepare();
  palette_.clear();
}

int TGIFImage::GetVersion() const {
  if (images_.Count() == 0) return gvUnknown;
  // The sort flag and the aspect ratio of the screen are 89a fields too.
  int version = header_.GetVersion();
  for (const auto& frame : images_) {
    if (version >= gv89a) break;
    version = std::max(version, frame->GetVersion());
  }
  return version;
}

int TGIFImage::ColorResolution() const {
  int result = header_.ColorMap().ColorResolution();
  for (const auto& frame : images_) result = std::max(result, frame->ColorMap().ColorResolution());
  return result;
}

int TGIFImage::BitsPerPixel() const {
  int result = header_.ColorMap().BitsPerPixel();
  for (const auto& frame : images_) result = std::max(result, frame->ColorMap().BitsPerPixel());
  return result;
}

std::vector<TPaletteEntry> TGIFImage::GetPalette() {
  if (inGetPalette_) throw GIFException("No global or local color table defined");
  struct Guard {
    bool& flag;
    explicit Guard(bool& f) : flag(f) { flag = true; }
    ~Guard() { flag = false; }
  } guard(inGetPalette_);
  if (bitmap_ && !bitmap_->Palette().empty()) return bitmap_->Palette();
  if (!palette_.empty()) return palette_;
  if (DoDither()) {
    palette_ = WebPalette();
    return palette_;
  }
  if (header_.ColorMap().Count() > 0) {
    palette_ = header_.ColorMap().ExportPalette();
    return palette_;
  }
  if (images_.Count() > 0) return images_[0]->GetPalette();
  return {};
}

void TGIFImage::SetPalette(std::vector<TPaletteEntry> palette) {
  if (palette == palette_) return;
  palette_ = std::move(palette);
  if (!bitmap_ || bitmap_->Palette() != palette_) {
    FreeBitmap();
    paletteModified_ = true;
    Changed();
  }
}

void TGIFImage::FreeBitmap() { bitmap_.reset(); }

TBitmap* TGIFImage::GetBitmap() {
  if (Empty()) return nullptr;
  if (bitmap_) return bitmap_.get();
  auto bitmap = std::make_unique<TBitmap>();
  TGIFSubImage& first = *images_[0];
  if (first.Width() == header_.Width && first.Height() == header_.Height) {
    bitmap->Assign(first.GetBitmap());
  } else {
    bitmap->SetPixelFormat(pf24bit);
    bitmap->SetSize(header_.Width, header_.Height);
    PaintFrame(*bitmap, Rect(0, 0, header_.Width, header_.Height), 0, (drawOptions_ & goTransparent) != 0, false);
  }
  bitmap_ = std::move(bitmap);
  return bitmap_.get();
}

void TGIFImage::OptimizeColorMap() { header_.ColorMap().Optimize(); }

void TGIFImage::Assign(const TGraphic& source) {
  if (&source == this) return;
  if (const auto* gif = dynamic_cast<const TGIFImage*>(&source)) {
    Clear();
    const TProgressEvent saved = OnProgress;
    OnProgress = gif->OnProgress;
    try {
      Progress(TProgressStage::psStarting, 0, "Copying...");
      header_.Assign(gif->header_);
      ThreadPriority = gif->ThreadPriority;
      DrawBackgroundColor = gif->DrawBackgroundColor;
      drawOptions_ = gif->drawOptions_;
      ColorReduction = gif->ColorReduction;
      DitherMode = gif->DitherMode;
      OnWarning = gif->OnWarning;
      OnStartPaint = gif->OnStartPaint;
      OnPaint = gif->OnPaint;
      OnAfterPaint = gif->OnAfterPaint;
      OnLoop = gif->OnLoop;
      OnEndPaint = gif->OnEndPaint;
      const int count = gif->images_.Count();
      for (int i = 0; i < count; ++i) {
        Add(*gif->images_[i]);
        Progress(TProgressStage::psRunning, (i + 1) * 100 / count, "Copying...");
      }
      Progress(TProgressStage::psEnding, 100, "Copying...");
    } catch (...) {
      OnProgress = saved;
      throw;
    }
    OnProgress = saved;
    return;
  }
  Clear();
  Add(source);
}

void TGIFImage::AssignTo(TBitmap& dest) const {
  TBitmap* composite = const_cast<TGIFImage*>(this)->GetBitmap();
  if (composite) {
    dest.Assign(*composite);
  } else {
    dest.SetSize(0, 0);
  }
}

void TGIFImage::LoadFromStream(TStream& stream) {
  Progress(TProgressStage::psStarting, 0, "Loading...");
  struct BudgetGuard {
    std::int64_t& budget;
    ~BudgetGuard() { budget = -1; }
  } budgetGuard{loadBudget_};
  try {
    Clear();
    header_.LoadFromStream(stream);
    // Every frame's pixels are taken from one budget for the whole file.
    loadBudget_ = PixelBudget(gifio::Left(stream));
    for (;;) {
      const int b = gifio::ReadByteOrEnd(stream);
      if (b < 0) break;  // no trailer: the frames read so far are the picture
      if (b == 0) continue;
      if (b == ';') {
        stream.Seek(-1, TSeekOrigin::soCurrent);
        break;
      }
      if (b != '!' && b != ',') {
        Warning(nullptr, gsWarning, "Unknown GIF block type");
        stream.Seek(-1, TSeekOrigin::soCurrent);
        break;
      }
      stream.Seek(-1, TSeekOrigin::soCurrent);
      auto frame = std::make_unique<TGIFSubImage>(this);
      try {
        frame->LoadFromStream(stream);
      } catch (const GIFException& e) {
        // A file cut short inside a block: keep the frames before it.
        if (gifio::AtEnd(stream) && std::strcmp(e.what(), gifio::PrematureEnd) == 0) break;
        throw;
      }
      images_.Add(std::move(frame));
      const std::int64_t size = stream.Size();
      Progress(TProgressStage::psRunning, size > 0 ? static_cast<int>(stream.Position() * 100 / size) : 100,
               "Loading...");
    }
    TGIFTrailer trailer(this);
    trailer.LoadFromStream(stream);
  } catch (...) {
    Progress(TProgressStage::psEnding, 0, "Loading...");
    throw;
  }
  Progress(TProgressStage::psEnding, 100, "Loading...");
}

void TGIFImage::SaveToStream(TStream& stream) {
  Progress(TProgressStage::psStarting, 0, "Saving...");
  struct CodeSizeGuard {
    int& size;
    ~CodeSizeGuard() { size = 0; }
  } codeSizeGuard{savingCodeSize_};
  try {
    savingCodeSize_ = BitsPerPixel();
    header_.SaveToStream(stream);
    const int count = images_.Count();
    for (int i = 0; i < count; ++i) {
      images_[i]->SaveToStream(stream);
      Progress(TProgressStage::psRunning, (i + 1) * 100 / count, "Saving...");
    }
    TGIFTrailer(this).SaveToStream(stream);
  } catch (...) {
    Progress(TProgressStage::psEnding, 0, "Saving...");
    throw;
  }
  Progress(TProgressStage::psEnding, 100, "Saving...");
}

void TGIFImage::LoadFromClipboardFormat(const std::string& format, const std::vector<std::uint8_t>& data) {
  if (format == GIFClipboardFormatName) {
    TMemoryStream stream(data);
    LoadFromStream(stream);
    return;
  }
  if (format == GIFClipboardBitmapFormat) {
    TBitmap bitmap;
    TMemoryStream stream(data);
    bitmap.LoadFromStream(stream);
    Assign(bitmap);
    return;
  }
  throw GIFException("Unsupported clipboard format");
}

void TGIFImage::SaveToClipboardFormat(std::vector<std::uint8_t>& gifData, std::vector<std::uint8_t>& bitmapData) {
  gifData.clear();
  bitmapData.clear();
  if (Empty()) return;
  TMemoryStream bitmapStream;
  TBitmap composite;
  AssignTo(composite);
  composite.SaveToStream(bitmapStream);
  TMemoryStream gifStream;
  SaveToStream(gifStream);
  bitmapData = bitmapStream.TakeBytes();
  gifData = gifStream.TakeBytes();
}

// ---------------------------------------------------------------------------
// Drawing

namespace {

void PutPixel(TBitmap& target, int x, int y, const TPaletteEntry& e) {
  const TPixelFormat f = target.PixelFormat();
  if (f == pf24bit || f == pfDevice) {
    std::uint8_t* p = target.ScanLine(y) + static_cast<std::ptrdiff_t>(x) * 3;
    p[0] = e.Blue;
    p[1] = e.Green;
    p[2] = e.Red;
  } else {
    target.Canvas().SetPixel(x, y, RGB(e.Red, e.Green, e.Blue));
  }
}

// Copies a frame onto dest of the target, stretched by the canvas rule
// (target pixel d of n takes source pixel (2d + 1) * s / 2n), leaving out
// transparent pixels when transparentIndex is not negative.
void BlitFrame(TBitmap& target, const TRect& dest, TGIFSubImage& frame, int transparentIndex) {
  const std::int64_t dw = static_cast<std::int64_t>(dest.Right) - dest.Left;
  const std::int64_t dh = static_cast<std::int64_t>(dest.Bottom) - dest.Top;
  if (dw <= 0 || dh <= 0 || frame.Empty()) return;
  TBitmap& bitmap = frame.GetBitmap();
  const auto& palette = bitmap.Palette();
  const std::int64_t sw = frame.Width(), sh = frame.Height();
  const std::int64_t y0 = std::max<std::int64_t>(dest.Top, 0), y1 = std::min<std::int64_t>(dest.Bottom, target.Height());
  const std::int64_t x0 = std::max<std::int64_t>(dest.Left, 0), x1 = std::min<std::int64_t>(dest.Right, target.Width());
  const TPaletteEntry black{};
  for (std::int64_t y = y0; y < y1; ++y) {
    const std::int64_t sy = StretchSource(y - dest.Top, dh, sh);
    const std::uint8_t* indices = frame.Data().data() + sy * sw;
    const std::uint8_t* shown = bitmap.ScanLine(static_cast<int>(sy));
    for (std::int64_t x = x0; x < x1; ++x) {
      const std::int64_t sx = StretchSource(x - dest.Left, dw, sw);
      if (transparentIndex >= 0 && indices[sx] == transparentIndex) continue;
      const std::uint8_t i = shown[sx];
      PutPixel(target, static_cast<int>(x), static_cast<int>(y), i < palette.size() ? palette[i] : black);
    }
  }
}

}  // namespace

void TGIFImage::PaintFrame(TBitmap& target, const TRect& rect, int index, bool transparent, bool tile) const {
  if (index < 0 || index >= images_.Count()) return;
  TGIFSubImage& frame = *images_[index];
  if (frame.Empty()) return;
  const int transparentIndex = (transparent && frame.Transparent()) ? frame.TransparentIndex() : -1;
  const std::int64_t iw = header_.Width > 0 ? header_.Width : frame.Left() + frame.Width();
  const std::int64_t ih = header_.Height > 0 ? header_.Height : frame.Top() + frame.Height();
  if (tile) {
    for (std::int64_t y = static_cast<std::int64_t>(rect.Top) + frame.Top(); y < rect.Bottom; y += ih)
      for (std::int64_t x = static_cast<std::int64_t>(rect.Left) + frame.Left(); x < rect.Right; x += iw) {
        if (x + frame.Width() <= 0 || y + frame.Height() <= 0) continue;
        BlitFrame(target,
                  TRect{static_cast<int>(x), static_cast<int>(y), static_cast<int>(x + frame.Width()),
                        static_cast<int>(y + frame.Height())},
                  frame, transparentIndex);
      }
    return;
  }
  const std::int64_t rw = static_cast<std::int64_t>(rect.Right) - rect.Left;
  const std::int64_t rh = static_cast<std::int64_t>(rect.Bottom) - rect.Top;
  const TRect dest{static_cast<int>(rect.Left + frame.Left() * rw / iw), static_cast<int>(rect.Top + frame.Top() * rh / ih),
                   static_cast<int>(rect.Left + (frame.Left() + frame.Width()) * rw / iw),
                   static_cast<int>(rect.Top + (frame.Top() + frame.Height()) * rh / ih)};
  BlitFrame(target, dest, frame, transparentIndex);
}

void TGIFImage::StopDraw() const {
  if (painter_) painter_->Stop();
  painter_.reset();
  bitmap_.reset();
}

void TGIFImage::Draw(TCanvas& canvas, const TRect& rect) const {
  if (Empty() || drawing_) return;
  struct Guard {
    bool& flag;
    explicit Guard(bool& f) : flag(f) { flag = true; }
    ~Guard() { flag = false; }
  } guard(drawing_);
  TBitmap& target = canvas.Bitmap();
  if (GetAnimate() && images_.Count() > 1) {
    const auto id = reinterpret_cast<std::uintptr_t>(&canvas);
    if (painter_ && painter_->Error()) {
      const std::exception_ptr error = painter_->Error();
      StopDraw();
      std::rethrow_exception(error);
    }
    if (!(painter_ && painter_->Target() == id && painter_->Rect() == rect && !painter_->Stopped())) {
      StopDraw();
      if (rect.Left >= rect.Right || rect.Top >= rect.Bottom) return;
      // What lies under the picture is the background of its
      // transparent frames.
      TBitmap under(rect.Right - rect.Left, rect.Bottom - rect.Top, pf24bit);
      under.Canvas().CopyRect(Rect(0, 0, under.Width(), under.Height()), canvas, rect);
      painter_ = std::make_unique<TGIFPainter>(*this, drawOptions_, rect, &under, id);
      painter_->Start();
    }
    canvas.Draw(rect.Left, rect.Top, painter_->Picture());
    return;
  }
  PaintFrame(target, rect, 0, (drawOptions_ & goTransparent) != 0, (drawOptions_ & goTile) != 0);
}

// ---------------------------------------------------------------------------

void RegisterGIFImage() { TPicture::RegisterFileFormat("gif", "GIF Image", TGIFImage::StaticClass()); }
