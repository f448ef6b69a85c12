#include "formats/tiff/tiff_graphic.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "core/streams.h"
#include "formats/common/byte_order.h"
#include "formats/common/decode_limits.h"
#include "formats/common/decoder.h"
#include "formats/common/lz77_decoder.h"
#include "formats/common/reader_steps.h"
#include "formats/common/reader_texts.h"
#include "formats/common/row_routines.h"
#include "formats/tiff/ccitt_decoder.h"
#include "formats/tiff/thunder_decoder.h"
#include "formats/tiff/tiff_jpeg_decoder.h"

namespace {

namespace t = readertext;
using Scheme = TColorScheme;
using Compression = TCompressionType;

// The tags the reader reads.
enum TTag : std::uint16_t {
  tagImageWidth = 256,
  tagImageLength = 257,
  tagBitsPerSample = 258,
  tagCompression = 259,
  tagPhotometric = 262,
  tagFillOrder = 266,
  tagStripOffsets = 273,
  tagSamplesPerPixel = 277,
  tagRowsPerStrip = 278,
  tagStripByteCounts = 279,
  tagXResolution = 282,
  tagYResolution = 283,
  tagPlanarConfig = 284,
  tagT4Options = 292,
  tagResolutionUnit = 296,
  tagPredictor = 317,
  tagColorMap = 320,
  tagTileWidth = 322,
  tagTileLength = 323,
  tagExtraSamples = 338,
  tagJPEGTables = 347,
  tagYCbCrCoefficients = 529,
  tagYCbCrSubsampling = 530,
  tagYCbCrPositioning = 531,
};

Compression CompressionOf(std::uint32_t value) {
  switch (value) {
    case 1: return Compression::None;
    case 2: return Compression::CCITTMH;
    case 3: return Compression::CCITTGroup3;
    case 4: return Compression::CCITTGroup4;
    case 5: return Compression::LZW;
    case 6: return Compression::OldJPEG;
    case 7: return Compression::JPEG;
    case 8:
    case 32946: return Compression::LZ77;
    case 32766: return Compression::NeXT;
    case 32771: return Compression::CCITTMHWordAligned;
    case 32773: return Compression::PackBits;
    case 32809: return Compression::ThunderScan;
    case 32895: return Compression::IT8CTPad;
    case 32896: return Compression::IT8LW;
    case 32897: return Compression::IT8MP;
    case 32898: return Compression::IT8BL;
    case 32908: return Compression::PixarFilm;
    case 32909: return Compression::PixarLog;
    case 32947: return Compression::KodakDCS;
    case 34661: return Compression::JBIG;
    default: return Compression::Unknown;
  }
}

Scheme SchemeOf(std::uint32_t photometric, int samples) {
  switch (photometric) {
    case 0:
    case 1: return Scheme::Gray;
    case 2: return samples >= 4 ? Scheme::RGBA : Scheme::RGB;
    case 3: return Scheme::Indexed;
    case 5: return Scheme::CMYK;
    case 6: return Scheme::YCbCr;
    case 8: return Scheme::CIELab;
    default: return Scheme::Unknown;
  }
}

bool IsCCITT(Compression c) {
  return c == Compression::CCITTGroup3 || c == Compression::CCITTMH || c == Compression::CCITTMHWordAligned;
}

constexpr std::uint8_t kEPSMagic[4] = {0xC5, 0xD0, 0xD3, 0xC6};

// The bytes the strips give, as LoadStrips reads them: up to the first
// strip that starts beyond the data, each cut at the data's end (one
// without a byte count runs to it).
std::int64_t StripBytes(const std::vector<std::uint32_t>& offsets, const std::vector<std::uint32_t>& counts,
                        std::size_t size) {
  std::int64_t total = 0;
  for (std::size_t i = 0; i < offsets.size() && offsets[i] < size && total < MaxDecodeBytes; ++i) {
    const std::int64_t left = static_cast<std::int64_t>(size - offsets[i]);
    total += i < counts.size() ? std::min<std::int64_t>(counts[i], left) : left;
  }
  return std::min(total, MaxDecodeBytes);
}

// The least bits a fax row takes: in Group 3 its end-of-line code (or
// the one that ended the row before), in the plain forms the byte each
// row starts on.
constexpr std::int64_t kGroup3RowBits = 12;
constexpr std::int64_t kPlainFaxRowBits = 8;
// ThunderScan: one code byte repeats the last pixel up to 63 times, 32
// bytes of 4-bit pixels.
constexpr std::int64_t kThunderMaxRatio = 32;

}  // namespace

// ---------------------------------------------------------------------------
// TIFF

bool TTIFFGraphic::ProbeStream(TStream& stream) const {
  const std::int64_t left = stream.Remaining();
  if (left < 9) return false;
  std::uint8_t header[8];
  stream.ReadBuffer(header, 8);
  const bool little = header[0] == 'I' && header[1] == 'I';
  const bool big = header[0] == 'M' && header[1] == 'M';
  if (!little && !big) return false;
  const std::uint16_t version = big ? GetU16BE(header + 2) : GetU16LE(header + 2);
  const std::uint32_t first = big ? GetU32BE(header + 4) : GetU32LE(header + 4);
  return version == 42 && first < left;
}

std::span<const std::uint8_t> TTIFFGraphic::StreamData(TStream& stream) { return StreamBytes(stream, copy_, kFormatName); }

bool TTIFFGraphic::ReadImageHeader(TStream& stream, int imageIndex) {
  return ReadTIFFHeader(StreamData(stream), imageIndex);
}

bool TTIFFGraphic::ReadTIFFHeader(std::span<const std::uint8_t> data, int imageIndex) {
  // The base's clearing: everything zero but the gamma.
  TImageProperties& p = ImageProperties();
  p.Clear();
  p.FileGamma = 1.0f;
  entries_.clear();
  TTIFFDirectory d(data);
  if (!d.ReadHeader()) return false;
  if (d.BigEndian()) p.Options |= ioBigEndian;
  p.Version = d.Version();
  p.FirstIFD = d.FirstIFD();
  if (p.Version != 42) return false;
  if (!d.ReadDirectory(imageIndex)) return false;
  entries_ = d.Entries();

  p.Width = d.Integer(tagImageWidth, 0);
  p.Height = d.Integer(tagImageLength, 0);
  if (p.Width == 0 || p.Height == 0) return false;
  p.RowsPerStrip = d.IntegerArray(tagRowsPerStrip);
  if (p.RowsPerStrip.empty() || p.RowsPerStrip[0] == 0xFFFFFFFFu) p.RowsPerStrip = {p.Height};
  const std::uint32_t samples = d.Integer(tagSamplesPerPixel, 1);
  const std::uint32_t bits = d.Integer(tagBitsPerSample, 1);
  if (samples == 0 || samples > 255 || bits == 0 || bits > 255 || samples * bits > 255) return false;
  p.SamplesPerPixel = static_cast<std::uint8_t>(samples);
  p.BitsPerSample = static_cast<std::uint8_t>(bits);
  p.BitsPerPixel = static_cast<std::uint8_t>(samples * bits);
  if (d.Integer(tagTileWidth, 0) > 0 && d.Integer(tagTileLength, 0) > 0) p.Options |= ioTiled;
  if (const TTIFFEntry* extra = d.Find(tagExtraSamples)) {
    const std::vector<std::uint32_t> kinds = d.Integers(*extra);
    p.HasAlpha = !kinds.empty() && std::all_of(kinds.begin(), kinds.end(), [](std::uint32_t k) { return k <= 2; });
  }
  // An image without the compression tag is stored as it is.
  p.Compression = CompressionOf(d.Integer(tagCompression, 1));
  p.PlanarConfig = static_cast<std::uint16_t>(d.Integer(tagPlanarConfig, 1));
  const double unit = d.Integer(tagResolutionUnit, 2) == 3 ? 2.54 : 1.0;
  p.XResolution = static_cast<float>(d.Number(tagXResolution, 0) * unit);
  p.YResolution = static_cast<float>(d.Number(tagYResolution, 0) * unit);
  p.Predictor = static_cast<std::uint16_t>(d.Integer(tagPredictor, 0));
  if (d.Integer(tagFillOrder, 1) == 2) p.Options |= ioReversed;
  p.T4Options = d.Integer(tagT4Options, 0);

  const std::uint32_t photometric = d.Integer(tagPhotometric, 0);
  p.ColorScheme = SchemeOf(photometric, p.SamplesPerPixel);
  if (photometric == 0) p.Options |= ioMinIsWhite;
  if (p.ColorScheme == Scheme::YCbCr) {
    const std::vector<std::uint32_t> sub = d.IntegerArray(tagYCbCrSubsampling);
    p.YCbCrSubsampling = {2, 2};
    if (sub.size() >= 2) {
      p.YCbCrSubsampling = {static_cast<std::uint8_t>(std::min<std::uint32_t>(sub[0], 255)),
                            static_cast<std::uint8_t>(std::min<std::uint32_t>(sub[1], 255))};
    }
    p.YCbCrPositioning = static_cast<std::uint16_t>(d.Integer(tagYCbCrPositioning, 1));
    const std::vector<double> weights = d.Numbers(tagYCbCrCoefficients, 3);
    if (weights.size() == 3) {
      for (std::size_t i = 0; i < 3; ++i) p.YCbCrCoefficients[i] = static_cast<float>(weights[i]);
    }
  }
  if (const TTIFFEntry* tables = d.Find(tagJPEGTables)) {
    const std::span<const std::uint8_t> bytes = d.ValueBytes(*tables);
    p.JPEGTables.assign(bytes.begin(), bytes.end());
  }
  p.JPEGColorMode = 0;
  p.JPEGTablesMode = 3;
  return true;
}

void TTIFFGraphic::LoadPixels(TStream& stream) { LoadTIFF(StreamData(stream)); }

void TTIFFGraphic::LoadTIFF(std::span<const std::uint8_t> data) {
  const TImageProperties& p = ImageProperties();
  auto unsupported = [](const char* what) { RaiseInvalidGraphicFmt(t::NotSupported, {what, kFormatName}); };
  if (p.Has(ioTiled)) unsupported(t::TiledImages);
  if (p.PlanarConfig == 2 && p.SamplesPerPixel > 1) unsupported(t::SeparatePlanes);
  switch (p.Compression) {
    case Compression::None:
    case Compression::PackBits:
    case Compression::CCITTGroup3:
    case Compression::CCITTMH:
    case Compression::CCITTMHWordAligned:
    case Compression::LZ77:
    case Compression::JPEG:
    case Compression::ThunderScan:
      break;
    default:
      unsupported(t::CompressionScheme);
  }
  if (p.Compression == Compression::CCITTGroup3 && (p.T4Options & 1) != 0) unsupported(t::TwoDimensionalG3);
  if (p.ColorScheme == Scheme::YCbCr && p.Compression != Compression::JPEG &&
      (p.YCbCrSubsampling[0] != 1 || p.YCbCrSubsampling[1] != 1)) {
    unsupported(t::SubsampledYCbCr);
  }
  // The codings of one-bit and four-bit rows carry nothing else.
  if ((IsCCITT(p.Compression) && p.BitsPerPixel != 1) ||
      (p.Compression == Compression::ThunderScan && p.BitsPerPixel != 4)) {
    RaiseInvalidImage(kFormatName);
  }

  TTIFFDirectory d(data);
  d.ReadHeader();
  d.ReadDirectory(0);
  SetUpColors(d);
  CheckImageSize(p.Width, p.Height, kFormatName);
  CheckStripData(d, data);
  LoadStrips(d, data);
}

void TTIFFGraphic::CheckStripData(const TTIFFDirectory& d, std::span<const std::uint8_t> data) const {
  const TImageProperties& p = ImageProperties();
  const std::int64_t packed = StripBytes(d.IntegerArray(tagStripOffsets), d.IntegerArray(tagStripByteCounts), data.size());
  const std::int64_t picture = CheckedBufferSize({p.Height, PackedRowBytes(p.Width, p.BitsPerPixel, kFormatName)}, kFormatName);
  switch (p.Compression) {
    case Compression::PackBits: CheckPackedData(packed, picture, PackBitsMaxRatio, kFormatName); break;
    case Compression::LZ77: CheckPackedData(packed, picture, DeflateMaxRatio, kFormatName); break;
    case Compression::ThunderScan: CheckPackedData(packed, picture, kThunderMaxRatio, kFormatName); break;
    case Compression::CCITTGroup3: CheckCodedUnits(packed, p.Height, kGroup3RowBits, kFormatName); break;
    case Compression::CCITTMH:
    case Compression::CCITTMHWordAligned: CheckCodedUnits(packed, p.Height, kPlainFaxRowBits, kFormatName); break;
    // Uncompressed strips are read as far as they go, the rest of the
    // picture white. JPEG strips may be arithmetic-coded, which gives a
    // whole picture from a few bytes: they have no bound here.
    default: break;
  }
}

void TTIFFGraphic::SetUpColors(const TTIFFDirectory& d) {
  const TImageProperties& p = ImageProperties();
  TColorManager& cm = ColorManager();
  cm.SourceOptions = p.Has(ioBigEndian) ? TConversionOptions::SwapBytes : TConversionOptions::None;
  cm.TargetOptions = TConversionOptions::None;

  Scheme source = p.ColorScheme;
  int sourceSamples = p.SamplesPerPixel;
  // libjpeg gives RGB and YCbCr strips as blue, green, red.
  if (p.Compression == Compression::JPEG && (source == Scheme::RGB || source == Scheme::YCbCr)) source = Scheme::BGR;
  // Grey or palette indices with an alpha sample: the alpha is dropped.
  const bool withAlpha = (source == Scheme::Gray || source == Scheme::Indexed) && sourceSamples >= 2;
  Scheme target;
  int targetSamples = 3;
  switch (source) {
    case Scheme::Indexed:
    case Scheme::Gray: target = source; targetSamples = 1; break;
    case Scheme::RGB:
    case Scheme::BGR:
    case Scheme::CMYK:
    case Scheme::CIELab:
    case Scheme::YCbCr: target = Scheme::BGR; break;
    case Scheme::RGBA: target = Scheme::BGRA; targetSamples = 4; break;
    default: RaiseInvalidGraphicFmt(t::InvalidColorFormat, {kFormatName});
  }
  if (withAlpha) source = Scheme::GrayAlpha;
  const int bits = p.BitsPerSample;
  cm.SetSourceColorScheme(source);
  cm.SetSourceBitsPerSample(bits);
  cm.SetSourceSamplesPerPixel(sourceSamples);
  cm.SetTargetColorScheme(target);
  cm.SetTargetBitsPerSample(bits == 16 ? 8 : bits == 2 ? 4 : bits);
  cm.SetTargetSamplesPerPixel(targetSamples);
  if (source == Scheme::CIELab) cm.SourceOptions |= TConversionOptions::LabScaledL;
  if (source == Scheme::YCbCr) {
    cm.SetYCbCrParameters(p.YCbCrCoefficients, p.YCbCrSubsampling[0], p.YCbCrSubsampling[1]);
  }
  cm.PrepareConversion();
  if (!cm.HasConverter()) RaiseInvalidGraphicFmt(t::InvalidColorFormat, {kFormatName});

  std::vector<TPaletteEntry> palette;
  if (target == Scheme::Indexed) {
    // The colour map: all reds, then all greens, then all blues, 16 bits
    // each, handed over in the file's byte order as SwapBytes expects.
    const TTIFFEntry* map = d.Find(tagColorMap);
    const std::vector<std::uint32_t> values = map ? d.Integers(*map) : std::vector<std::uint32_t>{};
    const std::size_t colours = values.size() / 3;
    if (colours == 0) {
      palette = cm.CreateGrayscalePalette(false);
    } else {
      std::vector<std::uint8_t> planes[3];
      for (std::size_t c = 0; c < 3; ++c) {
        planes[c].resize(colours * 2);
        for (std::size_t i = 0; i < colours; ++i) {
          const std::uint16_t v = static_cast<std::uint16_t>(values[c * colours + i]);
          if (p.Has(ioBigEndian)) {
            planes[c][2 * i] = static_cast<std::uint8_t>(v >> 8), planes[c][2 * i + 1] = static_cast<std::uint8_t>(v);
          } else {
            planes[c][2 * i] = static_cast<std::uint8_t>(v), planes[c][2 * i + 1] = static_cast<std::uint8_t>(v >> 8);
          }
        }
      }
      palette = cm.CreateColorPalette({planes[0], planes[1], planes[2]}, 6, static_cast<std::uint32_t>(colours), false);
    }
  } else if (target == Scheme::Gray) {
    palette = cm.CreateGrayscalePalette(p.Has(ioMinIsWhite));
  }
  SetPixelFormat(source == Scheme::GrayAlpha ? pf8bit : cm.GetPixelFormat(1));
  SetPalette(std::move(palette));
}

void TTIFFGraphic::LoadStrips(const TTIFFDirectory& d, std::span<const std::uint8_t> data) {
  const TImageProperties& p = ImageProperties();
  TColorManager& cm = ColorManager();
  const std::uint32_t width = p.Width, height = p.Height;
  // A picture whose strips give out keeps white where they would stand.
  Canvas().Brush.Color = clWhite;
  Canvas().Brush.Style = bsSolid;
  SetSize(static_cast<int>(width), static_cast<int>(height));

  std::unique_ptr<TDecoder> decoder;
  std::size_t rowBytes = static_cast<std::size_t>(PackedRowBytes(width, p.BitsPerPixel, kFormatName));
  const bool reversed = p.Has(ioReversed);
  switch (p.Compression) {
    case Compression::PackBits: decoder = std::make_unique<TPackbitsRLEDecoder>(); break;
    case Compression::CCITTGroup3:
      decoder = std::make_unique<TCCITTFax3Decoder>(p.T4Options, reversed, false, width);
      break;
    case Compression::CCITTMH: decoder = std::make_unique<TCCITTMHDecoder>(p.T4Options, reversed, false, width); break;
    case Compression::CCITTMHWordAligned:
      decoder = std::make_unique<TCCITTMHDecoder>(p.T4Options, reversed, true, width);
      break;
    case Compression::LZ77: decoder = std::make_unique<TLZ77Decoder>(Z_PARTIAL_FLUSH, true); break;
    case Compression::JPEG: {
      auto jpeg = std::make_unique<TTIFFJPEGDecoder>(p, [this](const std::string& text) { Warning(text); });
      rowBytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(jpeg->OutputComponents());
      decoder = std::move(jpeg);
      break;
    }
    case Compression::ThunderScan: decoder = std::make_unique<TThunderDecoder>(width); break;
    default: break;
  }
  if (decoder) decoder->DecodeInit();
  const bool predictor = decoder && p.Predictor == 2 && p.Compression != Compression::JPEG;

  const std::vector<std::uint32_t> offsets = d.IntegerArray(tagStripOffsets);
  const std::vector<std::uint32_t> counts = d.IntegerArray(tagStripByteCounts);
  std::vector<std::uint8_t> buffer;
  ProgressStart(t::Transfering, static_cast<int>(width));
  std::uint32_t done = 0;
  for (std::size_t strip = 0; done < height && strip < offsets.size(); ++strip) {
    std::uint32_t perStrip = p.RowsPerStrip[std::min(strip, p.RowsPerStrip.size() - 1)];
    if (perStrip == 0) perStrip = height;
    const std::uint32_t rows = std::min(perStrip, height - done);
    const std::uint64_t offset = offsets[strip];
    if (offset >= data.size()) break;
    const std::uint64_t wanted = strip < counts.size() ? counts[strip]
                                 : decoder          ? data.size() - offset
                                                    : std::uint64_t{rows} * rowBytes;
    std::span<const std::uint8_t> packed = data.subspan(static_cast<std::size_t>(offset),
                                                        static_cast<std::size_t>(std::min(wanted, data.size() - offset)));
    std::span<const std::uint8_t> pixels;
    std::uint32_t usable = rows;
    if (decoder) {
      buffer.assign(static_cast<std::size_t>(CheckedBufferSize({rows, static_cast<std::int64_t>(rowBytes)}, kFormatName)), 0);
      std::span<std::uint8_t> target(buffer);
      decoder->Decode(packed, target);
      pixels = buffer;
    } else {
      // Rows the file does not hold in full are not drawn.
      usable = static_cast<std::uint32_t>(std::min<std::uint64_t>(rows, packed.size() / rowBytes));
      pixels = packed;
    }
    for (std::uint32_t r = 0; r < usable; ++r) {
      const std::size_t at = r * rowBytes;
      if (predictor) {
        UndoDifferencing(std::span<std::uint8_t>(buffer.data() + at, rowBytes), width, p.SamplesPerPixel,
                         p.BitsPerSample, p.Has(ioBigEndian));
      }
      cm.ConvertRow(pixels.subspan(at, rowBytes), ScanLineSpan(static_cast<int>(done + r)), width);
      ProgressRow(static_cast<int>(done + r + 1), static_cast<int>(height));
    }
    if (usable < rows) break;
    done += rows;
  }
  if (decoder) decoder->DecodeEnd();
  ProgressEnd();
}

// ---------------------------------------------------------------------------
// EPS

std::span<const std::uint8_t> TEPSGraphic::TIFFPart(std::span<const std::uint8_t> data) {
  if (data.size() < 30 || std::memcmp(data.data(), kEPSMagic, 4) != 0) return {};
  const std::uint64_t offset = GetU32LE(&data[20]);
  const std::uint64_t length = GetU32LE(&data[24]);
  if (offset < 30 || length == 0 || offset > data.size() || length > data.size() - offset) return {};
  return data.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(length));
}

bool TEPSGraphic::ProbeStream(TStream& stream) const {
  const std::int64_t left = stream.Remaining();
  if (left < 31) return false;
  std::uint8_t header[30];
  stream.ReadBuffer(header, 30);
  if (std::memcmp(header, kEPSMagic, 4) != 0) return false;
  const std::int64_t offset = GetU32LE(header + 20), length = GetU32LE(header + 24);
  return offset >= 30 && length > 0 && offset + length <= left;
}

bool TEPSGraphic::ReadImageHeader(TStream& stream, int imageIndex) {
  const std::span<const std::uint8_t> tiff = TIFFPart(StreamData(stream));
  if (tiff.empty()) {
    TReaderGraphic::ReadImageHeader(stream, imageIndex);
    return false;
  }
  return ReadTIFFHeader(tiff, imageIndex);
}

bool TEPSGraphic::ReadLoadHeader(TStream& stream) {
  const std::span<const std::uint8_t> tiff = TIFFPart(StreamData(stream));
  if (tiff.empty()) return false;
  if (!ReadTIFFHeader(tiff, 0)) RaiseInvalidImage(TTIFFGraphic::kFormatName);
  return true;
}

void TEPSGraphic::LoadPixels(TStream& stream) { LoadTIFF(TIFFPart(StreamData(stream))); }
