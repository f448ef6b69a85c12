#include "formats/png_reader/png_graphic.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "core/exceptions.h"
#include "core/streams.h"
#include "formats/common/byte_order.h"
#include "formats/common/decode_limits.h"
#include "formats/common/lz77_decoder.h"
#include "formats/common/reader_steps.h"
#include "formats/common/reader_texts.h"
#include "formats/png/png_image.h"
#include "formats/png_reader/png_chunks.h"

namespace {

namespace t = readertext;
using Scheme = TColorScheme;

constexpr std::uint8_t kSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};

// Adam7: row start, column start, row step, column step and the colour
// manager's mask of each pass.
struct TPass {
  int Row, Column, RowStep, ColumnStep;
  std::uint8_t Mask;
};
constexpr TPass kPasses[7] = {{0, 0, 8, 8, 0x80}, {0, 4, 8, 8, 0x08}, {4, 0, 8, 4, 0x88}, {0, 2, 4, 4, 0x22},
                              {2, 0, 4, 2, 0xAA}, {0, 1, 2, 2, 0x55}, {1, 0, 2, 1, 0xFF}};

// Samples of a pixel as the image data store them.
int StoredSamples(int colorType) {
  switch (colorType) {
    case 2: return 3;
    case 4: return 2;
    case 6: return 4;
    default: return 1;
  }
}

std::uint8_t Reduce16(std::uint32_t v) { return static_cast<std::uint8_t>(v * 255 / 65535); }

// Sets a transparent-colour or background value in 0..255 from a sample
// of the image's depth.
std::uint8_t Sample8(std::uint16_t v, int depth) { return depth == 16 ? Reduce16(v) : static_cast<std::uint8_t>(v); }

[[noreturn]] void RaiseCompression() { RaiseInvalidGraphicFmt(t::CompressionError, {TPNGGraphic::kFormatName}); }

}  // namespace

TPNGGraphic::TPNGGraphic() = default;
TPNGGraphic::~TPNGGraphic() = default;

bool TPNGGraphic::ProbeStream(TStream& stream) const {
  if (stream.Remaining() < 9) return false;
  std::uint8_t signature[8];
  stream.ReadBuffer(signature, 8);
  return std::memcmp(signature, kSignature, 8) == 0;
}

TPNGGraphic::THeader TPNGGraphic::ReadIHDR(std::span<const std::uint8_t> data) const {
  if (data.size() < 13) RaiseInvalidImage(kFormatName);
  THeader h;
  h.Width = GetU32BE(data.data());
  h.Height = GetU32BE(data.data() + 4);
  h.BitDepth = data[8];
  h.ColorType = data[9];
  h.Interlace = data[12];
  return h;
}

bool TPNGGraphic::ReadImageHeader(TStream& stream, int imageIndex) {
  TReaderGraphic::ReadImageHeader(stream, imageIndex);
  TImageProperties& p = ImageProperties();
  if (stream.Remaining() < 8) return false;
  std::uint8_t signature[8];
  stream.ReadBuffer(signature, 8);
  if (std::memcmp(signature, kSignature, 8) != 0) return false;

  TPNGChunkReader chunks(stream);
  if (!chunks.ReadHeader() || !chunks.Is("IHDR")) return false;
  p.Options |= ioBigEndian;
  const std::span<const std::uint8_t> data = chunks.LoadData();
  if (data.size() < 13) return false;
  const THeader h = ReadIHDR(data);
  if (h.Width == 0 || h.Height == 0) return false;
  p.Width = h.Width;
  p.Height = h.Height;
  p.Compression = data[10] == 0 ? TCompressionType::LZ77 : TCompressionType::Unknown;
  p.BitsPerSample = static_cast<std::uint8_t>(h.BitDepth);
  switch (h.ColorType) {
    case 0: p.ColorScheme = Scheme::Gray; p.SamplesPerPixel = 1; break;
    case 2: p.ColorScheme = Scheme::RGB; p.SamplesPerPixel = 3; break;
    case 3: p.ColorScheme = Scheme::Indexed; p.SamplesPerPixel = 1; break;
    case 4: p.ColorScheme = Scheme::GrayAlpha; p.SamplesPerPixel = 1; break;
    case 6: p.ColorScheme = Scheme::RGBA; p.SamplesPerPixel = 4; break;
    default: p.ColorScheme = Scheme::Unknown; p.SamplesPerPixel = 1; break;
  }
  p.BitsPerPixel = static_cast<std::uint8_t>(std::min(p.SamplesPerPixel * h.BitDepth, 255));
  p.FilterMode = data[11];
  p.Interlaced = h.Interlace != 0;
  p.HasAlpha = p.ColorScheme == Scheme::GrayAlpha || p.ColorScheme == Scheme::RGBA || p.ColorScheme == Scheme::BGRA;

  // The file's gamma, from a gAMA chunk before the end. A chunk that runs
  // beyond the stream ends the walk: the load reports it.
  while (chunks.ReadHeader()) {
    if (chunks.Is("gAMA")) {
      const std::span<const std::uint8_t> g = chunks.LoadData();
      if (g.size() >= 4) p.FileGamma = static_cast<float>(GetU32BE(g.data()) / 100000.0);
      break;
    }
    const bool end = chunks.Is("IEND");
    if (!chunks.Skip() || end) break;
  }
  return true;
}

void TPNGGraphic::SetUpColors() {
  TColorManager& cm = ColorManager();
  const int depth = header_.BitDepth;
  auto invalid = [] { RaiseInvalidGraphicFmt(t::InvalidColorFormat, {kFormatName}); };
  auto set = [&](Scheme source, int sourceSamples, Scheme target, int targetSamples, int targetBits) {
    cm.SetSourceColorScheme(source);
    cm.SetSourceSamplesPerPixel(sourceSamples);
    cm.SetSourceBitsPerSample(depth);
    cm.SetTargetColorScheme(target);
    cm.SetTargetSamplesPerPixel(targetSamples);
    cm.SetTargetBitsPerSample(targetBits);
  };
  switch (header_.ColorType) {
    case 0:
      if (depth != 1 && depth != 2 && depth != 4 && depth != 8 && depth != 16) invalid();
      set(Scheme::Gray, 1, Scheme::Gray, 1, depth == 2 ? 4 : depth == 16 ? 8 : depth);
      bytesPerPixel_ = (depth + 7) / 8;
      break;
    case 2:
      if (depth != 8 && depth != 16) invalid();
      set(Scheme::RGB, 3, Scheme::BGR, 3, 8);
      bytesPerPixel_ = 3 * depth / 8;
      break;
    case 3:
      if (depth != 1 && depth != 2 && depth != 4 && depth != 8) invalid();
      set(Scheme::Indexed, 1, Scheme::Indexed, 1, depth == 2 ? 4 : depth);
      bytesPerPixel_ = 1;
      break;
    case 4:
      if (depth != 8 && depth != 16) invalid();
      set(Scheme::GrayAlpha, 1, Scheme::Indexed, 1, 8);
      bytesPerPixel_ = 2 * depth / 8;
      break;
    case 6:
      if (depth != 8 && depth != 16) invalid();
      set(Scheme::RGBA, 4, Scheme::BGRA, 4, 8);
      bytesPerPixel_ = 4 * depth / 8;
      break;
    default: invalid();
  }
  // The table follows the depths just set.
  if (gamma_) cm.SetGamma(*gamma_, 2.2f);
  switch (header_.ColorType) {
    case 2: pixelFormat_ = pf24bit; break;
    case 4: pixelFormat_ = pf8bit; break;
    case 6: pixelFormat_ = pf32bit; break;
    default: pixelFormat_ = cm.GetPixelFormat(1); break;
  }
  if (header_.ColorType == 0 || header_.ColorType == 4) palette_ = cm.CreateGrayscalePalette(false);
  colorsSetUp_ = true;
}

// The colour a grey level shows: the grey palette's entry the level is
// scaled to, as the row conversion scales pixels.
TColor TPNGGraphic::LevelColor(std::uint16_t level) const {
  const int depth = header_.BitDepth;
  std::uint32_t index = level;
  if (depth == 16) {
    index = Reduce16(level);
  } else {
    index &= (1u << depth) - 1;
    if (depth == 2) index *= 5;  // 2 bits shown in 4
  }
  if (index >= palette_.size()) return clBlack;
  const TPaletteEntry& e = palette_[index];
  return RGB(e.Red, e.Green, e.Blue);
}

void TPNGGraphic::LoadPixels(TStream& stream) {
  decoder_.reset();
  stream.SetPosition(BasePosition() + 8);
  const TImageProperties& p = ImageProperties();
  ProgressStart(t::Preparing, static_cast<int>(std::min<std::uint32_t>(p.Width, 0x7FFFFFFF)));

  TColorManager& cm = ColorManager();
  palette_.clear();
  transparency_.clear();
  background_.clear();
  gamma_.reset();
  colorsSetUp_ = false;
  cm.SourceOptions = TConversionOptions::SwapBytes;
  cm.TargetOptions = TConversionOptions::None;

  TPNGChunkReader chunks(stream);
  chunks_ = &chunks;
  input_ = {};
  streamEnded_ = false;
  struct TRelease {
    TPNGGraphic& Self;
    ~TRelease() {
      if (Self.decoder_) Self.decoder_->DecodeEnd();
      Self.decoder_.reset();
      Self.chunks_ = nullptr;
      Self.input_ = {};
    }
  } release{*this};

  if (!chunks.ReadHeader() || !chunks.Is("IHDR")) RaiseInvalidImage(kFormatName);
  header_ = ReadIHDR(chunks.LoadData());
  if (p.Compression != TCompressionType::LZ77) {
    RaiseInvalidGraphicFmt(t::NotSupported, {t::CompressionScheme, kFormatName});
  }
  CheckImageSize(header_.Width, header_.Height, kFormatName);
  decoder_ = std::make_unique<TLZ77Decoder>(Z_PARTIAL_FLUSH, false);
  decoder_->DecodeInit();

  bool imageRead = false;
  chunks.ReadHeader();
  while (chunks.HasHeader()) {
    if (chunks.Is("IDAT") && !imageRead) {
      ReadImage();
      imageRead = true;
      // Image data the rows did not need.
      while (chunks.HasHeader() && chunks.Is("IDAT")) {
        chunks.LoadData();
        chunks.ReadHeader();
      }
      if (!chunks.HasHeader()) break;
    } else if (chunks.Is("PLTE")) {
      if (chunks.Length() % 3 != 0) RaiseInvalidGraphicFmt(t::InvalidPalette, {kFormatName});
      const std::span<const std::uint8_t> data = chunks.LoadData();
      if (header_.ColorType == 3) {
        SetUpColors();
        palette_ = cm.CreateColorPalette({data}, 0, static_cast<std::uint32_t>(data.size() / 3), false);
      }
      chunks.ReadHeader();
      continue;
    } else if (chunks.Is("gAMA")) {
      const std::span<const std::uint8_t> data = chunks.LoadData();
      if (data.size() >= 4) {
        gamma_ = static_cast<float>(GetU32BE(data.data()) / 100000.0);
        cm.SetGamma(*gamma_, 2.2f);
        cm.TargetOptions |= TConversionOptions::UseGamma;
        ImageProperties().Options |= ioUseGamma;
      }
      chunks.ReadHeader();
      continue;
    } else if (chunks.Is("bKGD") || chunks.Is("tRNS")) {
      const bool isBackground = chunks.Is("bKGD");
      const std::span<const std::uint8_t> data = chunks.LoadData();
      // A grey level or a colour of 16-bit values; a palette index for
      // the background of an indexed image. The transparency of indexed
      // and alpha images is not a colour: it is not used.
      std::vector<std::uint16_t> values;
      const int type = header_.ColorType;
      if (type == 3) {
        if (isBackground && !data.empty()) values.push_back(data[0]);
      } else if (isBackground || type == 0 || type == 2) {
        const std::size_t count = (type == 2 || type == 6) ? 3 : 1;
        if (data.size() >= 2 * count) {
          for (std::size_t i = 0; i < count; ++i) values.push_back(GetU16BE(&data[2 * i]));
        }
      }
      (isBackground ? background_ : transparency_) = std::move(values);
      chunks.ReadHeader();
      continue;
    }
    // Any other chunk, and the first one after the image data.
    if (chunks.Is("IEND")) break;
    if (chunks.Critical()) RaiseInvalidGraphic(t::UnknownCriticalChunk);
    if (!chunks.Skip()) RaiseInvalidImage(kFormatName);
    chunks.ReadHeader();
  }
  if (!imageRead) RaiseInvalidImage(kFormatName);
  ProgressEnd();
}

bool TPNGGraphic::InflateRow(std::span<std::uint8_t> row) {
  // Image data whose stream has ended before the image: wherever the
  // chunks were cut, the stream ends short of the rows.
  if (streamEnded_ && !row.empty()) RaiseInvalidGraphicFmt(t::ExtraCompressedData, {kFormatName});
  while (!row.empty()) {
    // With no image data left the inflater still gives what it holds of
    // the data it took: how far the rows reach must not depend on where
    // the chunks were cut.
    bool draining = false;
    if (input_.empty()) {
      // The next piece of image data: the chunk whose header was read last.
      if (chunks_->HasHeader() && chunks_->Is("IDAT")) {
        input_ = chunks_->LoadData();
        chunks_->ReadHeader();
        if (input_.empty()) continue;
      } else {
        draining = true;
      }
    }
    const std::size_t before = input_.size() + row.size();
    try {
      decoder_->Decode(input_, row);
    } catch (const EGraphicCompression&) {
      RaiseCompression();
    }
    if (decoder_->Status() == 0 && input_.size() + row.size() == before) {
      // The data end here; a stream that takes nothing and gives nothing
      // goes no further.
      if (draining) return false;
      if (!input_.empty()) RaiseCompression();
    }
    if (decoder_->Status() == 1) {
      streamEnded_ = true;
      if (!input_.empty() || !row.empty()) RaiseInvalidGraphicFmt(t::ExtraCompressedData, {kFormatName});
    }
  }
  return true;
}

std::int64_t TPNGGraphic::ImageDataBytes() const {
  const std::int64_t width = header_.Width, height = header_.Height;
  const int samples = StoredSamples(header_.ColorType);
  // Rows of pixels: their filter byte and their packed samples.
  auto rows = [&](std::int64_t count, std::int64_t pixels) {
    return CheckedBufferSize({count, PackedRowBytes(pixels, header_.BitDepth, kFormatName) * samples + 1}, kFormatName);
  };
  if (header_.Interlace == 0) return rows(height, width);
  std::int64_t total = 0;
  for (const TPass& ps : kPasses) {
    if (width <= ps.Column || height <= ps.Row) continue;
    total += rows((height - ps.Row + ps.RowStep - 1) / ps.RowStep, (width - ps.Column + ps.ColumnStep - 1) / ps.ColumnStep);
  }
  return total;
}

void TPNGGraphic::ReadImage() {
  const int width = static_cast<int>(header_.Width);
  const int height = static_cast<int>(header_.Height);
  ProgressStart(t::Transfering, width);
  if (!colorsSetUp_) SetUpColors();

  // The picture starts as the background: what the data never reach
  // keeps it.
  TColor background = clWhite;
  if (header_.ColorType == 3 && background_.size() == 1) {
    if (background_[0] < palette_.size()) {
      const TPaletteEntry& e = palette_[background_[0]];
      background = RGB(e.Red, e.Green, e.Blue);
    }
  } else if ((header_.ColorType == 0 || header_.ColorType == 4) && !background_.empty()) {
    background = LevelColor(background_[0]);
  } else if (background_.size() == 3) {
    const int d = header_.BitDepth;
    background = RGB(Sample8(background_[0], d), Sample8(background_[1], d), Sample8(background_[2], d));
  }
  // The image data must be able to give every row at deflate's largest
  // expansion before the picture is allocated: a cut file keeps its
  // background where its rows give out, but a few bytes that claim
  // millions of pixels are no picture.
  CheckPackedData(chunks_->RunLength(), ImageDataBytes(), DeflateMaxRatio, kFormatName);
  SetPixelFormat(pixelFormat_);
  SetPalette(palette_);
  Canvas().Brush.Color = background;
  Canvas().Brush.Style = bsSolid;
  SetSize(width, height);

  // A transparent colour as the rows show it.
  TColorManager& cm = ColorManager();
  const bool gamma = Contains(cm.TargetOptions, TConversionOptions::UseGamma);
  if (header_.ColorType == 0 && transparency_.size() == 1) {
    SetTransparentColor(LevelColor(transparency_[0]));
    SetTransparent(true);
  } else if (header_.ColorType == 2 && transparency_.size() == 3) {
    std::uint8_t c[3];
    for (int i = 0; i < 3; ++i) {
      c[i] = Sample8(transparency_[static_cast<std::size_t>(i)], header_.BitDepth);
      if (gamma) c[i] = cm.GammaTable()[c[i]];
    }
    SetTransparentColor(RGB(c[0], c[1], c[2]));
    SetTransparent(true);
  }

  const int samples = StoredSamples(header_.ColorType);
  auto rowBytes = [&](std::int64_t pixels) {
    return PackedRowBytes(pixels, header_.BitDepth, kFormatName) * samples;
  };
  const std::int64_t fullRow = rowBytes(width);
  std::vector<std::uint8_t> current(static_cast<std::size_t>(fullRow + 1));
  std::vector<std::uint8_t> previous(current.size());

  // One row: inflated with its filter byte, unfiltered against the row
  // above and converted into bitmap row y. False when the data end.
  auto row = [&](std::int64_t length, int y, std::uint8_t mask) {
    const std::span<std::uint8_t> raw(current.data(), static_cast<std::size_t>(length + 1));
    if (!InflateRow(raw)) return false;
    UndoPngFilter(raw[0], raw.data() + 1, previous.data() + 1, length, bytesPerPixel_);
    cm.ConvertRow(std::span<const std::uint8_t>(raw.data() + 1, static_cast<std::size_t>(length)), ScanLineSpan(y),
                  static_cast<std::uint32_t>(width), mask);
    std::swap(current, previous);
    return true;
  };

  if (header_.Interlace == 0) {
    for (int y = 0; y < height; ++y) {
      if (!row(fullRow, y, 0xFF)) break;
      ProgressRow(y + 1, height);
    }
  } else {
    bool going = true;
    for (int pass = 0; pass < 7 && going; ++pass) {
      const TPass& ps = kPasses[pass];
      if (width <= ps.Column) continue;
      const std::int64_t pixels = (width - ps.Column + ps.ColumnStep - 1) / ps.ColumnStep;
      const std::int64_t length = rowBytes(pixels);
      std::fill(current.begin(), current.end(), 0);
      std::fill(previous.begin(), previous.end(), 0);
      for (int y = ps.Row; y < height; y += ps.RowStep) {
        if (!row(length, y, ps.Mask)) {
          going = false;
          break;
        }
        if (pass == 6) ProgressRow(y + 1, height);
      }
    }
  }
}
