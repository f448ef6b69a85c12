#include "formats/png/png_image.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/byte_reader.h"
#include "core/byte_writer.h"
#include "core/graphic.h"
#include "core/numbers.h"
#include "core/zlib_stream.h"
#include "formats/common/reader_steps.h"
#include "formats/png/zstreams.h"

namespace {

constexpr std::uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
constexpr std::uint32_t kMaxChunkLength = 0x7FFFFFFFu;
constexpr std::uint8_t kNoCollapse = 0x04;  // palette flag of grey ramps
constexpr const char* kTooLarge = "The image data are too large to be saved.";

// The 32-bit value, high byte first, at the start of bytes.
std::uint32_t GetBE32(std::span<const std::uint8_t> bytes) {
  return TByteReader<EPNGImageException>(bytes, pngtext::Corrupted).U32BE();
}

// The gAMA chunk whose tables apply to the image, if any.
const TChunkGAMA* ActiveGamma(const TChunkList& list) {
  const TChunkGAMA* gamma = list.Find<TChunkGAMA>();
  return gamma && gamma->Active() ? gamma : nullptr;
}

bool IsPaletted(TPixelFormat f) { return f == pf1bit || f == pf4bit || f == pf8bit; }

// The largest palette index a paletted bitmap uses (-1 when empty).
int MaxPaletteIndex(const TBitmap& bitmap) {
  int bits = BitsPerPixel(bitmap.PixelFormat());
  int best = -1;
  for (int y = 0; y < bitmap.Height(); ++y) {
    const std::uint8_t* row = bitmap.ScanLine(y);
    for (int x = 0; x < bitmap.Width(); ++x) {
      int v;
      if (bits == 8) v = row[x];
      else if (bits == 4) v = (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
      else v = (row[x >> 3] >> (7 - (x & 7))) & 1;
      best = std::max(best, v);
    }
  }
  return best;
}

// Clears the bits of the last byte that lie past a row's last pixel.
void ClearTailBits(std::uint8_t* row, std::int64_t pixels, int bitsPerPixel) {
  std::int64_t bits = pixels * bitsPerPixel;
  int rest = static_cast<int>(bits % 8);
  if (rest) row[bits / 8] &= static_cast<std::uint8_t>(0xFF00u >> rest);
}

template <class T>
std::unique_ptr<TChunk> MakeChunk(TChunkList& owner) {
  return std::make_unique<T>(owner);
}

}  // namespace

std::string PngErrorMessage(const std::string& text) {
  return "Portable Graphics Network format handler error\r\n\r\n" + text;
}

void RaisePngError(const std::string& text) { throw EPNGImageException(PngErrorMessage(text)); }

std::uint32_t PngCrc(const std::uint8_t type[4], const std::uint8_t* data, std::size_t size) {
  return Crc32(Crc32(0, type, 4), data, size);
}

std::uint8_t PaethPredictor(int left, int up, int upperLeft) {
  int p = left + up - upperLeft;
  int pa = std::abs(p - left), pb = std::abs(p - up), pc = std::abs(p - upperLeft);
  if (pa <= pb && pa <= pc) return static_cast<std::uint8_t>(left);
  if (pb <= pc) return static_cast<std::uint8_t>(up);
  return static_cast<std::uint8_t>(upperLeft);
}

bool UndoPngFilter(int filter, std::uint8_t* row, const std::uint8_t* prior, std::int64_t length, int distance) {
  const std::int64_t d = std::min<std::int64_t>(std::max(distance, 1), length);
  switch (filter) {
    case 0: return true;
    case 1:
      for (std::int64_t i = d; i < length; ++i) row[i] = static_cast<std::uint8_t>(row[i] + row[i - d]);
      return true;
    case 2:
      for (std::int64_t i = 0; i < length; ++i) row[i] = static_cast<std::uint8_t>(row[i] + prior[i]);
      return true;
    case 3:
      for (std::int64_t i = 0; i < d; ++i) row[i] = static_cast<std::uint8_t>(row[i] + (prior[i] >> 1));
      for (std::int64_t i = d; i < length; ++i) {
        row[i] = static_cast<std::uint8_t>(row[i] + ((row[i - d] + prior[i]) >> 1));
      }
      return true;
    case 4:
      // Left of the first pixel a and c are 0, so the predictor is b.
      for (std::int64_t i = 0; i < d; ++i) row[i] = static_cast<std::uint8_t>(row[i] + prior[i]);
      for (std::int64_t i = d; i < length; ++i) {
        const int a = row[i - d], b = prior[i], c = prior[i - d];
        const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
        const int pred = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
        row[i] = static_cast<std::uint8_t>(row[i] + pred);
      }
      return true;
    default: return false;
  }
}

TChunkType MakeChunkType(const char* fourChars) {
  TChunkType t{};
  for (int i = 0; i < 4; ++i) t[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(fourChars[i]);
  return t;
}

// ---------------------------------------------------------------------------
// The chunk-class table

TChunkClasses::TChunkClasses() {
  entries_ = {
      {MakeChunkType("IEND"), &TChunkIEND::StaticClass()}, {MakeChunkType("IHDR"), &TChunkIHDR::StaticClass()},
      {MakeChunkType("gAMA"), &TChunkGAMA::StaticClass()}, {MakeChunkType("IDAT"), &TChunkIDAT::StaticClass()},
      {MakeChunkType("PLTE"), &TChunkPLTE::StaticClass()}, {MakeChunkType("tEXt"), &TChunkTEXT::StaticClass()},
      {MakeChunkType("tRNS"), &TChunkTRNS::StaticClass()}, {MakeChunkType("tIME"), &TChunkTIME::StaticClass()},
  };
}

const TChunkClasses::TEntry& TChunkClasses::Item(int index) const {
  if (index < 0 || index >= Count()) RaisePngError(pngtext::ClassIndex);
  return entries_[static_cast<std::size_t>(index)];
}

const TChunkClass* TChunkClasses::FindClass(const TChunkType& type) const {
  for (const TEntry& e : entries_) {
    if (e.Type == type) return e.Class;
  }
  return nullptr;
}

const TChunkType* TChunkClasses::FindType(const TChunkClass& cls) const {
  for (const TEntry& e : entries_) {
    if (e.Class == &cls) return &e.Type;
  }
  return nullptr;
}

const TChunkClasses& ChunkClasses() {
  static const TChunkClasses table;
  return table;
}

// ---------------------------------------------------------------------------
// TChunk

TChunk::TChunk(TChunkList& owner) : owner_(&owner) {}

TChunk::TChunk(TChunkList& owner, const TChunkClass& cls) : owner_(&owner) {
  if (const TChunkType* t = ChunkClasses().FindType(cls)) type_ = *t;
}

const TChunkClass& TChunk::StaticClass() {
  static const TChunkClass cls{"TChunk", &MakeChunk<TChunk>};
  return cls;
}

TPNGImage& TChunk::Image() const { return owner_->Owner(); }

void TChunk::SetBytes(std::vector<std::uint8_t> bytes) { data_ = TMemoryStream(std::move(bytes)); }

void TChunk::Assign(const TChunk& source) {
  if (&source == this) return;
  SetBytes(source.Bytes());
  type_ = source.type_;
}

void TChunk::SaveToStream(TStream& stream) {
  // Chunks whose type ends in a lower-case letter are not written back.
  if (type_[3] >= 'a' && type_[3] <= 'z') return;
  WriteChunk(stream);
}

void TChunk::WriteChunk(TStream& stream) {
  const std::vector<std::uint8_t>& data = data_.Bytes();
  if (data.size() > kMaxChunkLength) RaisePngError(kTooLarge);
  std::uint8_t head[8];
  TByteWriter headWriter(head);
  headWriter.U32BE(static_cast<std::uint32_t>(data.size()));
  headWriter.Bytes(type_);
  stream.WriteBuffer(head, 8);
  stream.WriteBuffer(data.data(), static_cast<std::int64_t>(data.size()));
  std::uint8_t crc[4];
  TByteWriter(crc).U32BE(PngCrc(type_.data(), data.data(), data.size()));
  stream.WriteBuffer(crc, 4);
}

// ---------------------------------------------------------------------------
// IHDR

TChunkIHDR::TChunkIHDR(TChunkList& owner) : TChunk(owner, StaticClass()) {
  SetBytes({0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 0, 0, 0});
}

const TChunkClass& TChunkIHDR::StaticClass() {
  static const TChunkClass cls{"TChunkIHDR", &MakeChunk<TChunkIHDR>};
  return cls;
}

int TChunkIHDR::Field(int offset) const {
  if (Bytes().size() != 13) RaisePngError(pngtext::InvalidIHDR);
  return Bytes()[static_cast<std::size_t>(offset)];
}

void TChunkIHDR::SetField(int offset, int value) {
  if (Data().Size() < 13) Data().SetSize(13);
  Data().Memory()[offset] = static_cast<std::uint8_t>(value);
}

void TChunkIHDR::SetDWord(int offset, std::uint32_t value) {
  if (Data().Size() < 13) Data().SetSize(13);
  TByteWriter field({Data().Memory(), 13});
  field.Skip(static_cast<std::uint64_t>(offset));
  field.U32BE(value);
}

std::uint32_t TChunkIHDR::Width() const {
  if (Bytes().size() != 13) RaisePngError(pngtext::InvalidIHDR);
  return GetBE32(Bytes());
}

std::uint32_t TChunkIHDR::Height() const {
  if (Bytes().size() != 13) RaisePngError(pngtext::InvalidIHDR);
  return GetBE32(std::span<const std::uint8_t>(Bytes()).subspan(4));
}

void TChunkIHDR::SetWidth(std::uint32_t value) {
  SetDWord(0, value);
  TPNGImage& image = Image();
  if (static_cast<std::int64_t>(image.Width()) != value) {
    if (value > static_cast<std::uint32_t>(MaxDimension)) RaisePngError(pngtext::InvalidSize);
    image.SetWidth(static_cast<int>(value));
  }
}

void TChunkIHDR::SetHeight(std::uint32_t value) {
  SetDWord(4, value);
  TPNGImage& image = Image();
  if (static_cast<std::int64_t>(image.Height()) != value) {
    if (value > static_cast<std::uint32_t>(MaxDimension)) RaisePngError(pngtext::InvalidSize);
    image.SetHeight(static_cast<int>(value));
  }
}

void TChunkIHDR::Validate() const {
  if (Bytes().size() != 13) RaisePngError(pngtext::InvalidIHDR);
  std::uint32_t w = Width(), h = Height();
  if (w == 0 || h == 0 || w > kMaxChunkLength || h > kMaxChunkLength || !WithinPixelCap(w, h)) {
    RaisePngError(pngtext::InvalidSize);
  }
  int depth = BitDepth();
  bool depthOk = false;
  switch (ColorType()) {
    case 0: depthOk = depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16; break;
    case 3: depthOk = depth == 1 || depth == 2 || depth == 4 || depth == 8; break;
    case 2:
    case 4:
    case 6: depthOk = depth == 8 || depth == 16; break;
    default: RaisePngError(pngtext::UnknownColorType);
  }
  if (!depthOk) RaisePngError(pngtext::InvalidDepth);
  if (CompressionMethod() != 0 || FilterMethod() != 0) RaisePngError(pngtext::UnknownMethod);
  if (InterlaceMethod() > 1) RaisePngError(pngtext::UnknownInterlace);
}

void TChunkIHDR::SaveToStream(TStream& stream) {
  TPNGImage& image = Image();
  Data().SetSize(13);
  switch (image.PixelFormat()) {
    case pf1bit: SetColorType(3), SetBitDepth(1); break;
    case pf4bit: SetColorType(3), SetBitDepth(4); break;
    case pf8bit: SetColorType(3), SetBitDepth(8); break;
    default:
      image.SetPixelFormat(pf24bit);
      SetColorType(2);
      SetBitDepth(8);
      break;
  }
  SetDWord(0, static_cast<std::uint32_t>(image.Width()));
  SetDWord(4, static_cast<std::uint32_t>(image.Height()));
  SetCompressionMethod(0);
  SetFilterMethod(0);
  // The writer only produces non-interlaced image data, so the header
  // must not announce anything else.
  SetInterlaceMethod(0);
  TChunk::SaveToStream(stream);
}

// ---------------------------------------------------------------------------
// gAMA

TChunkGAMA::TChunkGAMA(TChunkList& owner) : TChunk(owner, StaticClass()) {
  SetBytes({0, 0, 0, 1});
  FillTables();
}

const TChunkClass& TChunkGAMA::StaticClass() {
  static const TChunkClass cls{"TChunkGAMA", &MakeChunk<TChunkGAMA>};
  return cls;
}

std::uint32_t TChunkGAMA::Gamma() const { return Bytes().size() == 4 ? GetBE32(Bytes()) : 0; }

void TChunkGAMA::SetGamma(std::uint32_t value) {
  std::vector<std::uint8_t> data(4);
  TByteWriter(data).U32BE(value);
  SetBytes(std::move(data));
  FillTables();
}

void TChunkGAMA::Decode() { FillTables(); }

void TChunkGAMA::Assign(const TChunk& source) {
  TChunk::Assign(source);
  if (const auto* g = dynamic_cast<const TChunkGAMA*>(&source)) {
    active_ = g->active_;
    forward_ = g->forward_;
    inverse_ = g->inverse_;
  } else {
    FillTables();
  }
}

void TChunkGAMA::FillTables() {
  std::uint32_t g = Gamma();
  // A gamma of 0 (or a value the format does not allow) would divide by
  // zero or mean nothing; such a chunk is ignored.
  active_ = g > 0 && g <= kMaxChunkLength;
  if (!active_) {
    for (int i = 0; i < 256; ++i) forward_[i] = inverse_[i] = static_cast<std::uint8_t>(i);
    return;
  }
  const long double exponent = 1.0L / (static_cast<long double>(g) / 100000.0L * 2.2L);
  for (int i = 0; i < 256; ++i) {
    std::int64_t v = Round(255.0L * std::pow(static_cast<long double>(i) / 255.0L, exponent));
    if (v < 0 || v > 255) throw ERangeError("Range check error");
    forward_[i] = static_cast<std::uint8_t>(v);
  }
  // The forward table never falls, so every screen value has a last file
  // value at or below it; values the forward table never reaches take
  // that neighbour instead of staying black.
  int i = 0;
  for (int v = 0; v < 256; ++v) {
    while (i < 255 && forward_[i + 1] <= v) ++i;
    inverse_[v] = static_cast<std::uint8_t>(i);
  }
}

// ---------------------------------------------------------------------------
// PLTE

TChunkPLTE::TChunkPLTE(TChunkList& owner) : TChunk(owner, StaticClass()) {}

const TChunkClass& TChunkPLTE::StaticClass() {
  static const TChunkClass cls{"TChunkPLTE", &MakeChunk<TChunkPLTE>};
  return cls;
}

std::vector<TPaletteEntry> TChunkPLTE::Palette() const {
  const std::vector<std::uint8_t>& d = Bytes();
  if (d.empty() || d.size() % 3 != 0 || d.size() > 256 * 3) RaisePngError(pngtext::InvalidPalette);
  const TChunkGAMA* gamma = ActiveGamma(Owner());
  std::vector<TPaletteEntry> palette(d.size() / 3);
  for (std::size_t i = 0; i < palette.size(); ++i) {
    std::uint8_t r = d[i * 3], g = d[i * 3 + 1], b = d[i * 3 + 2];
    if (gamma) {
      r = gamma->Forward()[r];
      g = gamma->Forward()[g];
      b = gamma->Forward()[b];
    }
    palette[i] = TPaletteEntry{r, g, b, 0};
  }
  return palette;
}

void TChunkPLTE::SaveToStream(TStream& stream) {
  TPNGImage& image = Image();
  // A truecolour image has no palette to offer; an empty PLTE chunk would
  // make the file invalid.
  if (!IsPaletted(image.PixelFormat())) return;
  const std::size_t capacity = std::size_t{1} << BitsPerPixel(image.PixelFormat());
  std::vector<TPaletteEntry> palette = image.Palette();
  if (palette.size() > capacity) palette.resize(capacity);
  if (palette.empty()) {
    // A palette image must carry a palette: a grey ramp stands in.
    palette.resize(capacity);
    for (std::size_t i = 0; i < capacity; ++i) {
      auto v = static_cast<std::uint8_t>(i * 255 / (capacity - 1));
      palette[i] = TPaletteEntry{v, v, v, 0};
    }
  }
  // Pixels past the palette show black in the bitmap; the file needs
  // entries for them or decoders reject it.
  int maxIndex = MaxPaletteIndex(image);
  if (maxIndex >= static_cast<int>(palette.size())) palette.resize(static_cast<std::size_t>(maxIndex) + 1);
  const TChunkGAMA* gamma = ActiveGamma(Owner());
  std::vector<std::uint8_t> data(palette.size() * 3);
  for (std::size_t i = 0; i < palette.size(); ++i) {
    std::uint8_t r = palette[i].Red, g = palette[i].Green, b = palette[i].Blue;
    if (gamma) {
      r = gamma->Inverse()[r];
      g = gamma->Inverse()[g];
      b = gamma->Inverse()[b];
    }
    data[i * 3] = r;
    data[i * 3 + 1] = g;
    data[i * 3 + 2] = b;
  }
  SetBytes(std::move(data));
  TChunk::SaveToStream(stream);
}

// ---------------------------------------------------------------------------
// tRNS

TChunkTRNS::TChunkTRNS(TChunkList& owner) : TChunk(owner, StaticClass()) {}

const TChunkClass& TChunkTRNS::StaticClass() {
  static const TChunkClass cls{"TChunkTRNS", &MakeChunk<TChunkTRNS>};
  return cls;
}

TColor TChunkTRNS::TransparentColor() const {
  const TChunkIHDR* ihdr = Owner().Find<TChunkIHDR>();
  if (!ihdr || ihdr->ColorType() != 2) RaisePngError(pngtext::NotRGB);
  const std::vector<std::uint8_t>& d = Bytes();
  int r, g, b;
  if (d.size() == 3) {
    r = d[0], g = d[1], b = d[2];
  } else if (d.size() == 6) {
    if (ihdr->BitDepth() == 16) {
      // The image keeps the high byte of each sample; so does its key.
      r = d[0], g = d[2], b = d[4];
    } else {
      // A sample above 255 can match no pixel of an 8-bit image.
      if (d[0] || d[2] || d[4]) RaisePngError(pngtext::Corrupted);
      r = d[1], g = d[3], b = d[5];
    }
  } else {
    RaisePngError(pngtext::Corrupted);
  }
  if (const TChunkGAMA* gamma = ActiveGamma(Owner())) {
    r = gamma->Forward()[static_cast<std::size_t>(r)];
    g = gamma->Forward()[static_cast<std::size_t>(g)];
    b = gamma->Forward()[static_cast<std::size_t>(b)];
  }
  return RGB(r, g, b);
}

void TChunkTRNS::SaveToStream(TStream& stream) {
  const TChunkIHDR* ihdr = Owner().Find<TChunkIHDR>();
  // Only truecolour images get a transparent colour; for the others an
  // empty chunk would be invalid, so none is written.
  if (!ihdr || ihdr->ColorType() != 2) return;
  TColor c = ColorToRGB(Image().TransparentColor());
  std::uint8_t r = static_cast<std::uint8_t>(GetRValue(c)), g = static_cast<std::uint8_t>(GetGValue(c)),
               b = static_cast<std::uint8_t>(GetBValue(c));
  if (const TChunkGAMA* gamma = ActiveGamma(Owner())) {
    r = gamma->Inverse()[r];
    g = gamma->Inverse()[g];
    b = gamma->Inverse()[b];
  }
  SetBytes({0, r, 0, g, 0, b});
  TChunk::SaveToStream(stream);
}

// ---------------------------------------------------------------------------
// tEXt, IEND, tIME

TChunkTEXT::TChunkTEXT(TChunkList& owner) : TChunk(owner, StaticClass()) { SetBytes({0, 0}); }

const TChunkClass& TChunkTEXT::StaticClass() {
  static const TChunkClass cls{"TChunkTEXT", &MakeChunk<TChunkTEXT>};
  return cls;
}

TChunkIEND::TChunkIEND(TChunkList& owner) : TChunk(owner, StaticClass()) {}

const TChunkClass& TChunkIEND::StaticClass() {
  static const TChunkClass cls{"TChunkIEND", &MakeChunk<TChunkIEND>};
  return cls;
}

TChunkTIME::TChunkTIME(TChunkList& owner) : TChunk(owner, StaticClass()) {}

const TChunkClass& TChunkTIME::StaticClass() {
  static const TChunkClass cls{"TChunkTIME", &MakeChunk<TChunkTIME>};
  return cls;
}

// ---------------------------------------------------------------------------
// IDAT

TChunkIDAT::TChunkIDAT(TChunkList& owner) : TChunk(owner, StaticClass()) {}

const TChunkClass& TChunkIDAT::StaticClass() {
  static const TChunkClass cls{"TChunkIDAT", &MakeChunk<TChunkIDAT>};
  return cls;
}

namespace {

int Channels(int colorType) {
  switch (colorType) {
    case 0:
    case 3: return 1;
    case 2: return 3;
    case 4: return 2;
    case 6: return 4;
    default: RaisePngError(pngtext::UnknownColorType);
  }
}

void Unfilter(int filter, std::uint8_t* row, const std::uint8_t* prior, std::int64_t length, int distance) {
  if (!UndoPngFilter(filter, row, prior, length, distance)) RaisePngError(pngtext::UnknownFilter);
}

// Puts count pixels of an unfiltered row into a scan line, pixel j going
// to column start + j * step.
struct TRowPlacer {
  int ColorType;
  int Depth;
  const std::array<std::uint8_t, 256>* Gamma;

  void Put(const std::uint8_t* raw, std::uint8_t* dst, std::int64_t count, std::int64_t start,
           std::int64_t step) const {
    const bool contiguous = start == 0 && step == 1;
    if (ColorType == 0 || ColorType == 3) {
      switch (Depth) {
        case 1:
          if (contiguous) {
            std::memcpy(dst, raw, static_cast<std::size_t>((count + 7) / 8));
            ClearTailBits(dst, count, 1);
            return;
          }
          for (std::int64_t j = 0; j < count; ++j) {
            int v = (raw[j >> 3] >> (7 - (j & 7))) & 1;
            std::int64_t x = start + j * step;
            auto mask = static_cast<std::uint8_t>(0x80u >> (x & 7));
            dst[x >> 3] = static_cast<std::uint8_t>(v ? (dst[x >> 3] | mask) : (dst[x >> 3] & ~mask));
          }
          return;
        case 2:
          for (std::int64_t j = 0; j < count; ++j) PutNibble(dst, start + j * step, (raw[j >> 2] >> (6 - 2 * (j & 3))) & 3);
          return;
        case 4:
          if (contiguous) {
            std::memcpy(dst, raw, static_cast<std::size_t>((count + 1) / 2));
            ClearTailBits(dst, count, 4);
            return;
          }
          for (std::int64_t j = 0; j < count; ++j) PutNibble(dst, start + j * step, (raw[j >> 1] >> (4 - 4 * (j & 1))) & 15);
          return;
        case 8:
          if (contiguous) {
            std::memcpy(dst, raw, static_cast<std::size_t>(count));
            return;
          }
          for (std::int64_t j = 0; j < count; ++j) dst[start + j * step] = raw[j];
          return;
        default:  // 16: the high byte
          for (std::int64_t j = 0; j < count; ++j) dst[start + j * step] = raw[j * 2];
          return;
      }
    }
    if (ColorType == 4) {
      const int bytesPerPixel = Depth / 4;
      for (std::int64_t j = 0; j < count; ++j) dst[start + j * step] = raw[j * bytesPerPixel];
      return;
    }
    // Colour types 2 and 6: R, G, B (and alpha) become B, G, R.
    const int sampleBytes = Depth / 8;
    const int bytesPerPixel = Channels(ColorType) * sampleBytes;
    for (std::int64_t j = 0; j < count; ++j) {
      const std::uint8_t* p = raw + j * bytesPerPixel;
      std::uint8_t r = p[0], g = p[sampleBytes], b = p[2 * sampleBytes];
      if (Gamma) {
        r = (*Gamma)[r];
        g = (*Gamma)[g];
        b = (*Gamma)[b];
      }
      std::uint8_t* q = dst + (start + j * step) * 3;
      q[0] = b;
      q[1] = g;
      q[2] = r;
    }
  }

  static void PutNibble(std::uint8_t* dst, std::int64_t x, int v) {
    std::uint8_t& byte = dst[x >> 1];
    byte = (x & 1) ? static_cast<std::uint8_t>((byte & 0xF0) | v) : static_cast<std::uint8_t>((byte & 0x0F) | (v << 4));
  }
};

// The opacity of the pixels of an unfiltered row, for images whose file
// gives one: alpha samples, a palette transparency table, or a grey or
// colour key (both in the standard 16-bit sample form; colour keys also in
// the older 3-byte form of 8-bit images).
struct TOpacityPlacer {
  enum TKind { None, AlphaSample, PaletteTable, GreyKey, ColourKey };
  TKind Kind = None;
  int ColorType = 0;
  int Depth = 8;
  std::vector<std::uint8_t> Table;  // palette entries' opacity
  std::uint32_t Key[3] = {};

  static TOpacityPlacer For(int colorType, int depth, const TChunkTRNS* trns) {
    TOpacityPlacer p;
    p.ColorType = colorType;
    p.Depth = depth;
    if (colorType == 4 || colorType == 6) {
      p.Kind = AlphaSample;
      return p;
    }
    if (!trns) return p;
    const std::vector<std::uint8_t>& d = trns->Bytes();
    if (colorType == 3 && !d.empty()) {
      p.Kind = PaletteTable;
      p.Table.assign(d.begin(), d.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(d.size(), 256)));
    } else if (colorType == 0 && d.size() == 2) {
      p.Kind = GreyKey;
      p.Key[0] = (static_cast<std::uint32_t>(d[0]) << 8) | d[1];
    } else if (colorType == 2 && d.size() == 6) {
      p.Kind = ColourKey;
      for (int c = 0; c < 3; ++c) p.Key[c] = (static_cast<std::uint32_t>(d[2 * c]) << 8) | d[2 * c + 1];
    } else if (colorType == 2 && d.size() == 3 && depth == 8) {
      p.Kind = ColourKey;
      for (int c = 0; c < 3; ++c) p.Key[c] = d[static_cast<std::size_t>(c)];
    }
    return p;
  }

  // Sample j of a row of one-sample pixels, at its full depth.
  std::uint32_t Sample(const std::uint8_t* raw, std::int64_t j) const {
    switch (Depth) {
      case 1: return (raw[j >> 3] >> (7 - (j & 7))) & 1u;
      case 2: return (raw[j >> 2] >> (6 - 2 * (j & 3))) & 3u;
      case 4: return (raw[j >> 1] >> (4 - 4 * (j & 1))) & 15u;
      case 8: return raw[j];
      default: return (static_cast<std::uint32_t>(raw[2 * j]) << 8) | raw[2 * j + 1];
    }
  }

  void Put(const std::uint8_t* raw, std::uint8_t* dst, std::int64_t count, std::int64_t start,
           std::int64_t step) const {
    const int sampleBytes = Depth == 16 ? 2 : 1;
    for (std::int64_t j = 0; j < count; ++j) {
      std::uint8_t a = 255;
      switch (Kind) {
        case AlphaSample: {
          // The alpha sample follows the colour samples; its high byte.
          const int channels = ColorType == 6 ? 4 : 2;
          a = raw[(j * channels + channels - 1) * sampleBytes];
          break;
        }
        case PaletteTable: {
          const std::uint32_t index = Sample(raw, j);
          a = index < Table.size() ? Table[index] : 255;
          break;
        }
        case GreyKey: a = Sample(raw, j) == Key[0] ? 0 : 255; break;
        case ColourKey: {
          bool same = true;
          for (int c = 0; c < 3; ++c) {
            const std::uint8_t* p = raw + (j * 3 + c) * sampleBytes;
            const std::uint32_t v = sampleBytes == 2 ? (static_cast<std::uint32_t>(p[0]) << 8) | p[1] : p[0];
            same = same && v == Key[c];
          }
          a = same ? 0 : 255;
          break;
        }
        case None: break;
      }
      dst[start + j * step] = a;
    }
  }
};

// Widens a palette of 2-bit indices to the 16 entries of a 4-bit bitmap
// by repeating its four entries.
std::vector<TPaletteEntry> WidenTwoBitPalette(std::vector<TPaletteEntry> palette) {
  palette.resize(4);
  std::vector<TPaletteEntry> wide(16);
  for (std::size_t k = 0; k < 16; ++k) wide[k] = palette[k % 4];
  return wide;
}

// The bytes of the inflated image data: every row (of every Adam7 pass)
// with its filter byte.
std::int64_t ImageDataBytes(std::int64_t width, std::int64_t height, int bitsPerPixel, bool interlaced) {
  auto rows = [&](std::int64_t count, std::int64_t columns) { return count * ((columns * bitsPerPixel + 7) / 8 + 1); };
  if (!interlaced) return rows(height, width);
  static constexpr int kStart[7][2] = {{0, 0}, {0, 4}, {4, 0}, {0, 2}, {2, 0}, {0, 1}, {1, 0}};
  static constexpr int kStep[7][2] = {{8, 8}, {8, 8}, {8, 4}, {4, 4}, {4, 2}, {2, 2}, {2, 1}};
  std::int64_t total = 0;
  for (int pass = 0; pass < 7; ++pass) {
    if (height <= kStart[pass][0] || width <= kStart[pass][1]) continue;
    total += rows((height - kStart[pass][0] + kStep[pass][0] - 1) / kStep[pass][0],
                  (width - kStart[pass][1] + kStep[pass][1] - 1) / kStep[pass][1]);
  }
  return total;
}

}  // namespace

void TChunkIDAT::Decode() {
  TChunkList& list = Owner();
  TPNGImage& image = Image();
  TChunkIHDR* ihdr = list.Find<TChunkIHDR>();
  if (!ihdr) RaisePngError(pngtext::NoIHDR);
  ihdr->Validate();
  const int colorType = ihdr->ColorType();
  const int depth = ihdr->BitDepth();
  const std::int64_t width = ihdr->Width();
  const std::int64_t height = ihdr->Height();
  const TChunkGAMA* gamma = ActiveGamma(list);
  // Deflate gives at most 1032 bytes a byte: image data that cannot hold
  // the rows are refused before the picture is allocated, while data that
  // merely end early still give their rows.
  if (ImageDataBytes(width, height, Channels(colorType) * depth, ihdr->InterlaceMethod() == 1) >
      Data().Size() * DeflateMaxRatio) {
    RaisePngError(pngtext::Corrupted);
  }

  TPixelFormat format;
  if (colorType == 2 || colorType == 6) format = pf24bit;
  else if (depth == 1) format = pf1bit;
  else if (depth <= 4) format = pf4bit;
  else format = pf8bit;

  std::vector<TPaletteEntry> palette;
  if (colorType == 3) {
    const TChunkPLTE* plte = list.Find<TChunkPLTE>();
    if (!plte) RaisePngError(pngtext::NoPalette);
    palette = plte->Palette();
    if (palette.size() > (std::size_t{1} << depth)) palette.resize(std::size_t{1} << depth);
  } else if (colorType == 0 || colorType == 4) {
    std::size_t entries = depth == 16 ? 256 : std::size_t{1} << depth;
    palette.resize(entries);
    for (std::size_t i = 0; i < entries; ++i) {
      auto v = static_cast<std::uint8_t>(Round(static_cast<long double>(i) * 255.0L / static_cast<long double>(entries - 1)));
      if (gamma) v = gamma->Forward()[v];
      palette[i] = TPaletteEntry{v, v, v, kNoCollapse};
    }
  }
  if (depth == 2 && palette.size() < 16) palette = WidenTwoBitPalette(std::move(palette));

  image.SetSize(0, 0);
  image.SetPixelFormat(format);
  if (!palette.empty()) image.SetPalette(palette);
  ihdr->SetWidth(static_cast<std::uint32_t>(width));
  ihdr->SetHeight(static_cast<std::uint32_t>(height));

  const int bitsPerPixel = Channels(colorType) * depth;
  const int distance = std::max(1, bitsPerPixel / 8);
  auto rowBytes = [&](std::int64_t columns) { return (columns * bitsPerPixel + 7) / 8; };
  const std::int64_t maxRow = rowBytes(width);
  std::vector<std::uint8_t> current(static_cast<std::size_t>(maxRow + 1));
  std::vector<std::uint8_t> prior(static_cast<std::size_t>(maxRow + 1));
  const TRowPlacer placer{colorType, depth, gamma ? &gamma->Forward() : nullptr};
  // Kept only for a caller that asked for it (an icon's PNG entry).
  const TOpacityPlacer opacity = image.keepOpacity_ ? TOpacityPlacer::For(colorType, depth, list.Find<TChunkTRNS>())
                                                    : TOpacityPlacer{};
  std::vector<std::uint8_t>& alpha = image.opacity_;
  alpha.clear();
  if (opacity.Kind != TOpacityPlacer::None) alpha.assign(static_cast<std::size_t>(width * height), 255);
  auto alphaRow = [&](std::int64_t y) { return alpha.data() + y * width; };

  Data().SetPosition(0);
  TZDecompressionStream source(Data());
  bool exhausted = false;
  // One filter byte and the row; what the packed data do not supply is 0.
  auto readRow = [&](std::int64_t length) -> const std::uint8_t* {
    std::int64_t want = length + 1;
    std::int64_t got = exhausted ? 0 : source.Read(current.data(), want);
    if (got < want) {
      std::memset(current.data() + got, 0, static_cast<std::size_t>(want - got));
      exhausted = true;
    }
    Unfilter(current[0], current.data() + 1, prior.data() + 1, length, distance);
    return current.data() + 1;
  };

  image.ReportProgress(TProgressStage::psStarting, 0);
  switch (ihdr->InterlaceMethod()) {
    case 0:
      for (std::int64_t y = 0; y < height; ++y) {
        const std::uint8_t* row = readRow(maxRow);
        placer.Put(row, image.ScanLine(static_cast<int>(y)), width, 0, 1);
        if (!alpha.empty()) opacity.Put(row, alphaRow(y), width, 0, 1);
        std::swap(current, prior);
        image.ReportProgress(TProgressStage::psRunning, static_cast<int>((y + 1) * 100 / height));
      }
      break;
    case 1: {
      static constexpr int kStartRow[7] = {0, 0, 4, 0, 2, 0, 1};
      static constexpr int kStartCol[7] = {0, 4, 0, 2, 0, 1, 0};
      static constexpr int kRowStep[7] = {8, 8, 8, 4, 4, 2, 2};
      static constexpr int kColStep[7] = {8, 8, 4, 4, 2, 2, 1};
      for (int pass = 0; pass < 7; ++pass) {
        std::int64_t columns = width > kStartCol[pass] ? (width - kStartCol[pass] + kColStep[pass] - 1) / kColStep[pass] : 0;
        std::int64_t rows = height > kStartRow[pass] ? (height - kStartRow[pass] + kRowStep[pass] - 1) / kRowStep[pass] : 0;
        if (columns > 0 && rows > 0) {
          const std::int64_t length = rowBytes(columns);
          std::fill(prior.begin(), prior.begin() + length + 1, std::uint8_t{0});
          for (std::int64_t r = 0; r < rows; ++r) {
            const std::uint8_t* row = readRow(length);
            std::int64_t y = kStartRow[pass] + r * kRowStep[pass];
            placer.Put(row, image.ScanLine(static_cast<int>(y)), columns, kStartCol[pass], kColStep[pass]);
            if (!alpha.empty()) opacity.Put(row, alphaRow(y), columns, kStartCol[pass], kColStep[pass]);
            std::swap(current, prior);
          }
        }
        image.ReportProgress(TProgressStage::psRunning, pass * 100 / 6);
      }
      break;
    }
    default: RaisePngError(pngtext::UnknownInterlace);
  }

  // An index past the palette would read outside it; such pictures get
  // the palette padded with black.
  if (colorType == 3) {
    const std::size_t capacity = std::size_t{1} << BitsPerPixel(format);
    if (image.Palette().size() < capacity && MaxPaletteIndex(image) >= static_cast<int>(image.Palette().size())) {
      std::vector<TPaletteEntry> padded = image.Palette();
      padded.resize(capacity);
      image.SetPalette(std::move(padded));
    }
  }
  // An opacity that hides nothing is no opacity.
  if (std::all_of(alpha.begin(), alpha.end(), [](std::uint8_t a) { return a == 255; })) alpha.clear();
  image.ReportProgress(TProgressStage::psEnding, 100);
}

void TChunkIDAT::SaveToStream(TStream& stream) {
  TPNGImage& image = Image();
  const TChunkIHDR* ihdr = Owner().Find<TChunkIHDR>();
  if (!ihdr) RaisePngError(pngtext::NoIHDR);
  const int colorType = ihdr->ColorType();
  const int depth = ihdr->BitDepth();
  const std::int64_t width = image.Width();
  // The writer takes its rows from the bitmap: palette indices as the
  // bitmap packs them, or 24-bit pixels.
  if (colorType == 3) {
    if (!IsPaletted(image.PixelFormat()) || BitsPerPixel(image.PixelFormat()) != depth) {
      RaisePngError(pngtext::UnknownColorType);
    }
  } else if (colorType == 2 && depth == 8) {
    if (image.PixelFormat() != pf24bit) image.SetPixelFormat(pf24bit);
  } else {
    RaisePngError(pngtext::UnknownColorType);
  }
  const int bitsPerPixel = Channels(colorType) * depth;
  const std::int64_t length = (width * bitsPerPixel + 7) / 8;
  const int distance = std::max(1, bitsPerPixel / 8);
  const TChunkGAMA* gamma = ActiveGamma(Owner());
  const std::uint8_t filters = image.Filters();

  std::vector<std::uint8_t> raw(static_cast<std::size_t>(length));
  std::vector<std::uint8_t> prior(static_cast<std::size_t>(length));
  std::array<std::vector<std::uint8_t>, 5> out;
  for (int k = 1; k <= 4; ++k) {
    if (filters & (1 << k)) out[static_cast<std::size_t>(k)].resize(static_cast<std::size_t>(length));
  }
  std::vector<std::uint8_t> line(static_cast<std::size_t>(length + 1));

  Data().Clear();
  TZCompressionStream packer(TZCompressionLevel::zcDefault, Data());
  for (int y = 0; y < image.Height(); ++y) {
    const std::uint8_t* src = image.ScanLine(y);
    if (colorType == 3) {
      std::memcpy(raw.data(), src, static_cast<std::size_t>(length));
      ClearTailBits(raw.data(), width, depth);
    } else {
      for (std::int64_t x = 0; x < width; ++x) {
        std::uint8_t b = src[x * 3], g = src[x * 3 + 1], r = src[x * 3 + 2];
        if (gamma) {
          r = gamma->Inverse()[r];
          g = gamma->Inverse()[g];
          b = gamma->Inverse()[b];
        }
        raw[static_cast<std::size_t>(x * 3)] = r;
        raw[static_cast<std::size_t>(x * 3 + 1)] = g;
        raw[static_cast<std::size_t>(x * 3 + 2)] = b;
      }
    }
    for (std::int64_t i = 0; i < length; ++i) {
      const std::size_t u = static_cast<std::size_t>(i);
      const int v = raw[u];
      const int left = i >= distance ? raw[u - static_cast<std::size_t>(distance)] : 0;
      const int up = prior[u];
      const int upperLeft = i >= distance ? prior[u - static_cast<std::size_t>(distance)] : 0;
      if (!out[1].empty()) out[1][u] = static_cast<std::uint8_t>(v - left);
      if (!out[2].empty()) out[2][u] = static_cast<std::uint8_t>(v - up);
      if (!out[3].empty()) out[3][u] = static_cast<std::uint8_t>(v - ((left + up) >> 1));
      if (!out[4].empty()) out[4][u] = static_cast<std::uint8_t>(v - PaethPredictor(left, up, upperLeft));
    }
    // None's output is the raw row itself.
    auto output = [&](int k) -> const std::vector<std::uint8_t>& {
      return k == 0 ? raw : out[static_cast<std::size_t>(k)];
    };
    int chosen = 0;
    if (filters != TPNGImage::FilterNone) {
      // A filter scores a point for every byte that equals each of the four
      // bytes before it: long runs pack best. Ties keep the lower type.
      std::int64_t best = 0;
      for (int k = 0; k <= 4; ++k) {
        if (!(filters & (1 << k))) continue;
        const std::vector<std::uint8_t>& o = output(k);
        std::int64_t score = 0;
        for (std::int64_t i = 4; i < length; ++i) {
          const std::uint8_t c = o[static_cast<std::size_t>(i)];
          if (c == o[static_cast<std::size_t>(i - 1)] && c == o[static_cast<std::size_t>(i - 2)] &&
              c == o[static_cast<std::size_t>(i - 3)] && c == o[static_cast<std::size_t>(i - 4)]) {
            ++score;
          }
        }
        if (score > best) {
          best = score;
          chosen = k;
        }
      }
    }
    line[0] = static_cast<std::uint8_t>(chosen);
    const std::vector<std::uint8_t>& chosenRow = output(chosen);
    std::copy(chosenRow.begin(), chosenRow.end(), line.begin() + 1);
    packer.WriteBuffer(line.data(), static_cast<std::int64_t>(line.size()));
    std::swap(raw, prior);
  }
  packer.Finish();
  TChunk::SaveToStream(stream);
}

// ---------------------------------------------------------------------------
// TChunkList

TChunk& TChunkList::Item(int index) const {
  if (index < 0 || index >= Count()) RaisePngError(pngtext::ChunkIndex);
  return *items_[static_cast<std::size_t>(index)];
}

TChunk& TChunkList::Add(std::unique_ptr<TChunk> chunk) {
  chunk->owner_ = this;
  items_.push_back(std::move(chunk));
  return *items_.back();
}

TChunk& TChunkList::AddClass(const TChunkClass& cls) { return Add(cls.Create(*this)); }

int TChunkList::IndexOf(const TChunk* chunk) const {
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (items_[i].get() == chunk) return static_cast<int>(i);
  }
  return -1;
}

int TChunkList::IndexOfClass(const TChunkClass& cls) const {
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (&items_[i]->ClassType() == &cls) return static_cast<int>(i);
  }
  return -1;
}

void TChunkList::Move(int from, int to) {
  if (from < 0 || from >= Count() || to < 0 || to >= Count()) RaisePngError(pngtext::ChunkIndex);
  if (from == to) return;
  auto first = items_.begin();
  if (from < to) std::rotate(first + from, first + from + 1, first + to + 1);
  else std::rotate(first + to, first + from, first + from + 1);
}

void TChunkList::Remove(TChunk* chunk) {
  int index = IndexOf(chunk);
  if (index < 0) RaisePngError(pngtext::NotInList);
  items_.erase(items_.begin() + index);
}

void TChunkList::Clear() {
  while (!items_.empty()) items_.pop_back();
}

// ---------------------------------------------------------------------------
// TPNGImage

TPNGImage::TPNGImage() : chunks_(*this) { AddDefaultChunks(); }

TPNGImage::~TPNGImage() = default;

const TGraphicClass& TPNGImage::StaticClass() {
  static const TGraphicClass cls{"TPNGImage", &TPNGImage::CreateInstance};
  return cls;
}

std::unique_ptr<TGraphic> TPNGImage::CreateInstance() { return std::make_unique<TPNGImage>(); }

void TPNGImage::AddDefaultChunks() {
  chunks_.AddChunk<TChunkIHDR>();
  chunks_.AddChunk<TChunkIDAT>();
  chunks_.AddChunk<TChunkIEND>();
}

bool TPNGImage::GetOpacity(std::vector<std::uint8_t>& opacity) const {
  // A picture changed in size since it was loaded has lost its opacity.
  if (opacity_.empty() ||
      opacity_.size() != static_cast<std::size_t>(Width()) * static_cast<std::size_t>(Height())) {
    return false;
  }
  opacity = opacity_;
  return true;
}

void TPNGImage::Assign(const TGraphic& source) {
  if (&source == this) return;
  opacity_.clear();
  if (const auto* png = dynamic_cast<const TPNGImage*>(&source)) {
    opacity_ = png->opacity_;
    chunks_.Clear();
    for (int i = 0; i < png->chunks_.Count(); ++i) {
      const TChunk& original = png->chunks_.Item(i);
      const TChunkClass* cls = ChunkClasses().FindClass(original.Type());
      std::unique_ptr<TChunk> copy = (cls ? cls : &TChunk::StaticClass())->Create(chunks_);
      copy->Assign(original);
      chunks_.Add(std::move(copy));
    }
    filters_ = png->filters_;
    interlaced_ = png->interlaced_;
  }
  TBitmap::Assign(source);
}

void TPNGImage::NormalizeChunks() {
  TChunkList& list = chunks_;
  if (list.Count() == 0) AddDefaultChunks();
  int ihdr = list.IndexOfClass(TChunkIHDR::StaticClass());
  if (ihdr < 0) {
    list.AddChunk<TChunkIHDR>();
    list.Move(list.Count() - 1, 0);
  } else if (ihdr > 0) {
    list.Move(ihdr, 0);
  }
  if (IsPaletted(PixelFormat()) && !list.Find<TChunkPLTE>()) {
    list.AddChunk<TChunkPLTE>();
    list.Move(list.Count() - 1, 1);
  }
  if (Transparent()) {
    if (!list.Find<TChunkTRNS>()) {
      list.AddChunk<TChunkTRNS>();
      list.Move(list.Count() - 1, 1);
    }
  } else {
    while (TChunkTRNS* t = list.Find<TChunkTRNS>()) list.Remove(t);
  }
  if (!list.Find<TChunkIEND>()) list.AddChunk<TChunkIEND>();
  if (!list.Find<TChunkIDAT>()) {
    list.AddChunk<TChunkIDAT>();
    list.Move(list.Count() - 1, 1);
  }

  // The format's order: IEND last; gAMA, PLTE and tRNS before the image
  // data; gAMA before PLTE, tRNS after it.
  list.Move(list.IndexOfClass(TChunkIEND::StaticClass()), list.Count() - 1);
  int firstData = list.IndexOfClass(TChunkIDAT::StaticClass());
  for (const TChunkClass* cls : {&TChunkGAMA::StaticClass(), &TChunkPLTE::StaticClass(), &TChunkTRNS::StaticClass()}) {
    for (int i = firstData + 1; i < list.Count(); ++i) {
      if (&list.Item(i).ClassType() == cls) {
        list.Move(i, firstData);
        ++firstData;
      }
    }
  }
  int gamma = list.IndexOfClass(TChunkGAMA::StaticClass());
  int palette = list.IndexOfClass(TChunkPLTE::StaticClass());
  if (gamma > palette && palette >= 0) list.Move(gamma, palette);
  palette = list.IndexOfClass(TChunkPLTE::StaticClass());
  int transparency = list.IndexOfClass(TChunkTRNS::StaticClass());
  if (transparency >= 0 && transparency < palette) list.Move(transparency, palette);
}

void TPNGImage::SaveToStream(TStream& stream) {
  if (Empty()) RaisePngError(pngtext::EmptyImage);
  interlaced_ = false;
  stream.WriteBuffer(kSignature, sizeof kSignature);
  NormalizeChunks();
  for (int i = 0; i < chunks_.Count(); ++i) chunks_.Item(i).SaveToStream(stream);
}

void TPNGImage::LoadFromStream(TStream& stream) {
  chunks_.Clear();
  opacity_.clear();
  SetTransparent(false);
  SetTransparentColor(clDefault);

  std::uint8_t signature[8];
  if (stream.Read(signature, 8) != 8 || std::memcmp(signature, kSignature, 8) != 0) {
    RaisePngError(pngtext::InvalidHeader);
  }
  for (;;) {
    const std::int64_t position = stream.Position();
    const std::int64_t size = stream.Size();
    if (position >= size) break;
    // Length, type and CRC take 12 bytes; the data must fit in what is left.
    if (size - position < 12) RaisePngError(pngtext::Corrupted);
    std::uint8_t head[8];
    stream.ReadBuffer(head, 8);
    const std::uint32_t length = GetBE32(head);
    TChunkType type;
    std::memcpy(type.data(), head + 4, 4);
    if (length > kMaxChunkLength || static_cast<std::int64_t>(length) > size - position - 12) {
      RaisePngError(pngtext::Corrupted);
    }
    const TChunkClass* cls = ChunkClasses().FindClass(type);
    if (!cls && !(type[0] & 0x20)) RaisePngError(pngtext::UnknownCritical);
    std::vector<std::uint8_t> data(length);
    stream.ReadBuffer(data.data(), length);
    std::uint8_t crc[4];
    stream.ReadBuffer(crc, 4);
    if (GetBE32(crc) != PngCrc(type.data(), data.data(), data.size())) RaisePngError(pngtext::Corrupted);

    if (cls == &TChunkIDAT::StaticClass()) {
      if (TChunkIDAT* first = chunks_.Find<TChunkIDAT>()) {
        // The image data of every IDAT chunk form one stream.
        first->Data().Seek(0, TSeekOrigin::soEnd);
        first->Data().WriteBuffer(data.data(), static_cast<std::int64_t>(data.size()));
        continue;
      }
    }
    std::unique_ptr<TChunk> chunk = (cls ? cls : &TChunk::StaticClass())->Create(chunks_);
    chunk->SetType(type);
    chunk->SetBytes(std::move(data));
    chunks_.Add(std::move(chunk));
    if (cls == &TChunkIEND::StaticClass()) break;
  }

  if (chunks_.Count() == 0 || &chunks_.Item(0).ClassType() != &TChunkIHDR::StaticClass()) {
    RaisePngError(pngtext::NoIHDR);
  }
  auto& header = static_cast<TChunkIHDR&>(chunks_.Item(0));
  header.Validate();
  if (!chunks_.Find<TChunkIDAT>()) RaisePngError(pngtext::NoData);

  // Gamma and palette describe the image data wherever the file put them,
  // so everything else is applied before the data are unpacked.
  for (int i = 0; i < chunks_.Count(); ++i) {
    if (&chunks_.Item(i).ClassType() != &TChunkIDAT::StaticClass()) chunks_.Item(i).Decode();
  }
  for (int i = 0; i < chunks_.Count(); ++i) {
    if (&chunks_.Item(i).ClassType() == &TChunkIDAT::StaticClass()) chunks_.Item(i).Decode();
  }

  if (const TChunkTRNS* trns = chunks_.Find<TChunkTRNS>(); trns && header.ColorType() == 2) {
    try {
      SetTransparentColor(trns->TransparentColor());
      SetTransparent(true);
    } catch (const EPNGImageException&) {
      // A malformed transparency chunk is ancillary: the picture still
      // loads, without a transparent colour.
    }
  }
}
