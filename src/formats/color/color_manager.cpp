#include "formats/color/color_manager.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <functional>

#include "core/exceptions.h"
#include "core/numbers.h"
#include "formats/common/byte_order.h"
#include "formats/common/untraced.h"

// The pixel loops are templates over the sample sizes and the per-sample
// steps (swap, reduce, gamma), so the choice is made once per row and the
// loops themselves carry no branches on the options.

struct TColorManager::TRowJob {
  TRowPlanes Source;
  std::span<std::uint8_t> Target;
  std::uint32_t Count;
  std::uint8_t Mask;
  // How many of the Count pixels the mask converts: the number of source
  // pixels the row uses.
  std::uint64_t Converted;
};

namespace {

using Scheme = TColorScheme;
using Opt = TConversionOptions;

bool IsIndexedSource(Scheme s) { return s == Scheme::Indexed || s == Scheme::Gray || s == Scheme::GrayAlpha; }
bool IsIndexedTarget(Scheme s) { return s == Scheme::Indexed || s == Scheme::Gray; }
bool HasAlphaScheme(Scheme s) { return s == Scheme::GrayAlpha || s == Scheme::RGBA || s == Scheme::BGRA; }
bool IsRGBOrder(Scheme s) { return s == Scheme::RGB || s == Scheme::RGBA; }
bool IsBGROrder(Scheme s) { return s == Scheme::BGR || s == Scheme::BGRA; }
bool IsPackedDepth(int bits) { return bits == 1 || bits == 2 || bits == 4 || bits == 8; }
bool IsWholeDepth(int bits) { return bits == 8 || bits == 16; }

// (a x b) div c with a 64-bit product, to 16 bits.
constexpr std::uint32_t MulDiv16(std::uint32_t a, std::uint32_t b, std::uint32_t c) {
  return static_cast<std::uint16_t>(static_cast<std::uint64_t>(a) * b / c);
}
constexpr std::uint32_t Widen(std::uint32_t v) { return v * 257; }
constexpr std::uint32_t Reduce(std::uint32_t v) { return MulDiv16(v, 255, 65535); }
constexpr std::uint32_t Swap16(std::uint32_t v) { return SwapShort(static_cast<std::uint16_t>(v)); }
constexpr int Clamp(std::int64_t v, int high) { return v < 0 ? 0 : (v > high ? high : static_cast<int>(v)); }
// The same for one byte without a branch; v lies well inside 32 bits.
constexpr std::uint8_t ClampByteFlat(std::int32_t v) {
  v &= ~(v >> 31);
  return static_cast<std::uint8_t>((v | ((255 - v) >> 31)) & 255);
}

[[noreturn]] void TooSmall() { TColorManager::RaiseConversionError(colortext::BufferTooSmall); }

void Need(std::span<const std::uint8_t> buffer, std::uint64_t bytes) {
  if (bytes > buffer.size()) TooSmall();
}
void Need(std::span<std::uint8_t> buffer, std::uint64_t bytes) {
  if (bytes > buffer.size()) TooSmall();
}

std::uint64_t ConvertedPixels(std::uint32_t count, std::uint8_t mask) {
  const std::uint64_t whole = count / 8;
  const unsigned rest = count % 8;
  const unsigned restMask = rest ? (0xFFu << (8 - rest)) & 0xFFu : 0u;
  return whole * static_cast<unsigned>(std::popcount(mask)) + static_cast<unsigned>(std::popcount(mask & restMask));
}

// Calls fn(targetPixel, sourcePixel) for every pixel the mask converts.
template <bool FullMask, class Fn>
inline void ForConverted(std::uint32_t count, std::uint8_t mask, Fn&& fn) {
  std::uint64_t k = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    if constexpr (!FullMask) {
      if (!(mask & (0x80u >> (i & 7)))) continue;
    }
    fn(static_cast<std::uint64_t>(i), k);
    ++k;
  }
}

template <class Fn>
inline void EachConverted(std::uint32_t count, std::uint8_t mask, Fn&& fn) {
  if (mask == 0xFF) {
    ForConverted<true>(count, mask, fn);
  } else {
    ForConverted<false>(count, mask, fn);
  }
}

template <int Bytes>
inline std::uint32_t Load(const std::uint8_t* p) {
  if constexpr (Bytes == 1) {
    return *p;
  } else {
    return LoadU16(p);
  }
}
template <int Bytes>
inline void Store(std::uint8_t* p, std::uint32_t v) {
  if constexpr (Bytes == 1) {
    *p = static_cast<std::uint8_t>(v);
  } else {
    StoreU16(p, static_cast<std::uint16_t>(v));
  }
}

// Where the samples of a multi-sample source row lie: sample j of source
// pixel k at Base[j] + k x Stride.
struct TSampleLayout {
  const std::uint8_t* Base[4] = {};
  std::uint64_t Stride = 0;
};

// Interleaved from the first span, or planar with one span per sample.
// planar: whether several spans are read as planes (the CMYK converters
// read planes only when given exactly four).
TSampleLayout SourceLayout(TRowPlanes source, std::uint64_t converted, int step, int sampleBytes, bool planar) {
  TSampleLayout layout;
  if (source.empty()) TooSmall();
  if (!planar) {
    layout.Stride = static_cast<std::uint64_t>(step) * sampleBytes;
    Need(source[0], converted * layout.Stride);
    for (int j = 0; j < step; ++j) layout.Base[j] = source[0].data() + j * sampleBytes;
  } else {
    if (source.size() < static_cast<std::size_t>(step)) TooSmall();
    layout.Stride = static_cast<std::uint64_t>(sampleBytes);
    for (int j = 0; j < step; ++j) {
      Need(source[j], converted * layout.Stride);
      layout.Base[j] = source[j].data();
    }
  }
  return layout;
}

// --- RGB and BGR ----------------------------------------------------------

// The per-sample steps of the RGB and BGR converters for one pair of
// depths (in bytes per sample).
template <int SB, int TB, bool Swap, bool Gamma>
struct TRGBSample {
  const std::uint8_t* Table;
  std::uint32_t Colour(std::uint32_t v) const {
    if constexpr (SB == 1) {
      const std::uint32_t g = Gamma ? Table[v] : v;
      return TB == 1 ? g : Widen(g);
    } else {
      if constexpr (Swap) v = Swap16(v);
      if constexpr (TB == 2) {
        return v;
      } else {
        const std::uint32_t r = Reduce(v);
        return Gamma ? Table[r] : r;
      }
    }
  }
  std::uint32_t Alpha(std::uint32_t v) const {
    if constexpr (SB == 1) {
      return TB == 1 ? v : Widen(v);
    } else {
      if constexpr (Swap) v = Swap16(v);
      return TB == 2 ? v : Reduce(v);
    }
  }
};

template <int SB, int TB, bool Swap, bool Gamma>
void RGBRow(const TSampleLayout& in, std::uint8_t* out, std::uint64_t outStride, bool exchange, bool carryAlpha,
            std::uint32_t count, std::uint8_t mask, const std::uint8_t* table) {
  const TRGBSample<SB, TB, Swap, Gamma> fn{table};
  const int first = exchange ? 2 : 0;
  const int third = exchange ? 0 : 2;
  EachConverted(count, mask, [&](std::uint64_t i, std::uint64_t k) {
    const std::uint64_t s = k * in.Stride;
    std::uint8_t* t = out + i * outStride;
    Store<TB>(t, fn.Colour(Load<SB>(in.Base[first] + s)));
    Store<TB>(t + TB, fn.Colour(Load<SB>(in.Base[1] + s)));
    Store<TB>(t + 2 * TB, fn.Colour(Load<SB>(in.Base[third] + s)));
    if (carryAlpha) Store<TB>(t + 3 * TB, fn.Alpha(Load<SB>(in.Base[3] + s)));
  });
}

// The plain 8-bit interleaved case of every 24- and 32-bit picture.
void RGBRow8Interleaved(const std::uint8_t* in, std::uint64_t inStride, std::uint8_t* out, std::uint64_t outStride,
                        bool exchange, bool carryAlpha, std::uint32_t count) {
  const int first = exchange ? 2 : 0;
  const int third = exchange ? 0 : 2;
  for (std::uint32_t i = 0; i < count; ++i, in += inStride, out += outStride) {
    out[0] = in[first];
    out[1] = in[1];
    out[2] = in[third];
    if (carryAlpha) out[3] = in[3];
  }
}

// --- Converters producing three colour values per pixel (CMYK, Lab,
// YCbCr): fn(samples) gives the colour at the target's depth, in R, G, B
// order; the target's alpha sample is left as it was.

template <int SB, int TB, class Fn>
void ColourRow(const TSampleLayout& in, int samples, std::uint8_t* out, std::uint64_t outStride, bool exchange,
               std::uint32_t count, std::uint8_t mask, Fn&& fn) {
  EachConverted(count, mask, [&](std::uint64_t i, std::uint64_t k) {
    const std::uint64_t s = k * in.Stride;
    std::uint32_t v[4] = {};
    for (int j = 0; j < samples; ++j) {
      v[j] = Load<SB>(in.Base[j] + s);
    }
    std::uint32_t rgb[3];
    fn(v, rgb);
    std::uint8_t* t = out + i * outStride;
    Store<TB>(t, rgb[exchange ? 2 : 0]);
    Store<TB>(t + TB, rgb[1]);
    Store<TB>(t + 2 * TB, rgb[exchange ? 0 : 2]);
  });
}

// 8-bit YCbCr to 8-bit colour through the tables (Cr to red, Cr to green,
// Cb to green, Cb to blue), red and blue exchanged for BGR.
template <bool Exchange>
void YCbCrRow8(const TSampleLayout& in, std::uint8_t* out, std::uint64_t outStride, std::uint32_t count,
               std::uint8_t mask, const std::int32_t* const (&tables)[4]) {
  const std::int32_t* crRed = tables[0];
  const std::int32_t* crGreen = tables[1];
  const std::int32_t* cbGreen = tables[2];
  const std::int32_t* cbBlue = tables[3];
  const std::uint8_t* luma = in.Base[0];
  const std::uint8_t* blue = in.Base[1];
  const std::uint8_t* red = in.Base[2];
  EachConverted(count, mask, [&](std::uint64_t i, std::uint64_t k) SW_UNTRACED {
    const std::uint64_t s = k * in.Stride;
    const std::int32_t y = luma[s];
    const std::uint8_t cb = blue[s];
    const std::uint8_t cr = red[s];
    const std::uint8_t r = ClampByteFlat(y + crRed[cr]);
    const std::uint8_t g = ClampByteFlat(y + cbGreen[cb] + crGreen[cr]);
    const std::uint8_t b = ClampByteFlat(y + cbBlue[cb]);
    std::uint8_t* t = out + i * outStride;
    t[0] = Exchange ? b : r;
    t[1] = g;
    t[2] = Exchange ? r : b;
  });
}

// --- Packed rows -----------------------------------------------------------

// The m-bit field of pixel i of a packed row (most significant bits first).
inline void PutField(std::uint8_t* row, std::uint64_t i, int bits, std::uint32_t value) {
  const int perByte = 8 / bits;
  const int shift = 8 - bits * (static_cast<int>(i % perByte) + 1);
  const std::uint32_t fieldMask = ((1u << bits) - 1) << shift;
  std::uint8_t& b = row[i / perByte];
  b = static_cast<std::uint8_t>((b & ~fieldMask) | ((value << shift) & fieldMask));
}
inline std::uint32_t GetField(const std::uint8_t* row, std::uint64_t k, int bits) {
  const int perByte = 8 / bits;
  const int shift = 8 - bits * (static_cast<int>(k % perByte) + 1);
  return (row[k / perByte] >> shift) & ((1u << bits) - 1);
}

std::uint64_t PackedBytes(std::uint64_t pixels, int bits) { return (pixels * bits + 7) / 8; }

}  // namespace

// ---------------------------------------------------------------------------
// Layout

TColorManager::TColorManager() { SetGamma(1.0f, 2.2f); }

void TColorManager::RaiseConversionError(const std::string& text) { throw EColorConversionError(text); }

void TColorManager::SetSourceColorScheme(TColorScheme scheme) {
  if (scheme != sourceScheme_) {
    sourceScheme_ = scheme;
    changed_ = true;
  }
}

void TColorManager::SetTargetColorScheme(TColorScheme scheme) {
  if (scheme != targetScheme_) {
    targetScheme_ = scheme;
    changed_ = true;
  }
}

namespace {

void SetLayoutValue(int& field, int value, int high, const char* error, bool& changed) {
  if (value < 1 || value > high) TColorManager::RaiseConversionError(error);
  if (value != field) {
    field = value;
    changed = true;
  }
}

}  // namespace

void TColorManager::SetSourceBitsPerSample(int bits) {
  SetLayoutValue(sourceBits_, bits, 16, colortext::InvalidDepth, changed_);
}
void TColorManager::SetTargetBitsPerSample(int bits) {
  SetLayoutValue(targetBits_, bits, 16, colortext::InvalidDepth, changed_);
}
void TColorManager::SetSourceSamplesPerPixel(int samples) {
  SetLayoutValue(sourceSamples_, samples, 4, colortext::InvalidSampleCount, changed_);
}
void TColorManager::SetTargetSamplesPerPixel(int samples) {
  SetLayoutValue(targetSamples_, samples, 4, colortext::InvalidSampleCount, changed_);
}

// ---------------------------------------------------------------------------
// Choosing a converter

void TColorManager::PrepareConversion() {
  rowConversion_ = nullptr;
  if (IsIndexedSource(sourceScheme_) != IsIndexedTarget(targetScheme_)) {
    RaiseConversionError(colortext::IndexedMixed);
  }
  if (HasAlphaScheme(sourceScheme_)) {
    SourceOptions |= Opt::HasAlpha;
  } else {
    SourceOptions &= ~Opt::HasAlpha;
  }
  if (HasAlphaScheme(targetScheme_)) {
    TargetOptions |= Opt::HasAlpha;
  } else {
    TargetOptions &= ~Opt::HasAlpha;
  }

  const int sb = sourceBits_;
  const int tb = targetBits_;
  const bool toRGB = IsRGBOrder(targetScheme_);
  const bool toBGR = IsBGROrder(targetScheme_);
  // Packed sides hold 1, 2, 4 or 8 bits: a field never straddles a byte.
  // The colour converters work on 8- and 16-bit samples only.
  const bool wholeDepths = IsWholeDepth(sb) && IsWholeDepth(tb);
  TRowConversion chosen = nullptr;
  switch (sourceScheme_) {
    case Scheme::Indexed:
      if (sb == 16 && tb == 16) {
        chosen = &TColorManager::RowIndexed16To16;
      } else if (sb == 16) {
        if (IsPackedDepth(tb)) chosen = &TColorManager::RowIndexed16ToPacked;
      } else if (tb == 16) {
        if (IsPackedDepth(sb)) chosen = &TColorManager::RowIndexedPackedTo16;
      } else if (IsPackedDepth(sb) && IsPackedDepth(tb)) {
        chosen = &TColorManager::RowPackedToPacked;
      }
      break;
    case Scheme::Gray:
      if (sb == 16 || tb == 16) {
        if (sb >= 8 && tb >= 8 && wholeDepths) chosen = &TColorManager::RowGray8And16;
      } else if (IsPackedDepth(sb) && IsPackedDepth(tb)) {
        chosen = &TColorManager::RowPackedToPacked;
      }
      break;
    case Scheme::GrayAlpha:
      if (wholeDepths) chosen = &TColorManager::RowGray8And16;
      break;
    case Scheme::RGB:
    case Scheme::RGBA:
      if (wholeDepths && toRGB) chosen = &TColorManager::RowRGBToRGB;
      if (wholeDepths && toBGR) chosen = &TColorManager::RowRGBToBGR;
      break;
    case Scheme::BGR:
    case Scheme::BGRA:
      if (wholeDepths && toRGB) chosen = &TColorManager::RowBGRToRGB;
      if (wholeDepths && toBGR) chosen = &TColorManager::RowBGRToBGR;
      break;
    case Scheme::CMYK:
      if (wholeDepths && toRGB) chosen = &TColorManager::RowCMYKToRGB;
      if (wholeDepths && toBGR) chosen = &TColorManager::RowCMYKToBGR;
      break;
    case Scheme::CIELab:
      if (wholeDepths && toRGB) chosen = &TColorManager::RowLabToRGB;
      if (wholeDepths && toBGR) chosen = &TColorManager::RowLabToBGR;
      break;
    case Scheme::YCbCr:
      BuildYCbCrTables();
      if (wholeDepths && toRGB) chosen = &TColorManager::RowYCbCrToRGB;
      if (wholeDepths && toBGR) chosen = &TColorManager::RowYCbCrToBGR;
      break;
    case Scheme::PhotoYCC:
      BuildYCbCrTables();
      if (wholeDepths && toRGB) chosen = &TColorManager::RowPhotoYCCToRGB;
      if (wholeDepths && toBGR) chosen = &TColorManager::RowPhotoYCCToBGR;
      break;
    default:
      break;
  }
  if (chosen) CheckSampleCounts();
  rowConversion_ = chosen;
  changed_ = false;
}

void TColorManager::CheckSampleCounts() const {
  int sourceNeeds = 1;
  switch (sourceScheme_) {
    case Scheme::RGB:
    case Scheme::BGR:
    case Scheme::CIELab:
    case Scheme::YCbCr:
    case Scheme::PhotoYCC:
      sourceNeeds = 3;
      break;
    case Scheme::RGBA:
    case Scheme::BGRA:
    case Scheme::CMYK:
      sourceNeeds = 4;
      break;
    default:
      break;  // indexed, grey, and grey+alpha given as one sample
  }
  int targetWrites = 1;
  if (IsRGBOrder(targetScheme_) || IsBGROrder(targetScheme_)) targetWrites = HasAlphaScheme(targetScheme_) ? 4 : 3;
  if (sourceSamples_ < sourceNeeds || targetSamples_ != targetWrites) {
    RaiseConversionError(colortext::InvalidSampleCount);
  }
}

void TColorManager::ConvertRow(TRowPlanes source, std::span<std::uint8_t> target, std::uint32_t count,
                               std::uint8_t mask) {
  if (changed_) PrepareConversion();
  if (!rowConversion_) RaiseConversionError(colortext::NoMethod);
  if (count == 0 || mask == 0) return;
  if (source.empty()) TooSmall();
  const TRowJob job{source, target, count, mask, ConvertedPixels(count, mask)};
  (this->*rowConversion_)(job);
}

// ---------------------------------------------------------------------------
// Indexed and grey rows

void TColorManager::RowPackedToPacked(const TRowJob& job) const {
  const int n = sourceBits_;
  const int m = targetBits_;
  const std::uint8_t* src = job.Source[0].data();
  std::uint8_t* dst = job.Target.data();
  if (n == m && job.Mask == 0xFF) {
    const std::uint64_t bytes = PackedBytes(job.Count, n);
    Need(job.Source[0], bytes);
    Need(job.Target, bytes);
    std::memcpy(dst, src, bytes);
    return;
  }
  Need(job.Source[0], PackedBytes(job.Converted, n));
  Need(job.Target, PackedBytes(job.Count, m));
  const std::uint32_t maxIn = (1u << n) - 1;
  const std::uint32_t maxOut = (1u << m) - 1;
  std::uint8_t scale[256];
  for (std::uint32_t v = 0; v <= maxIn; ++v) scale[v] = static_cast<std::uint8_t>(MulDiv16(v, maxOut, maxIn));
  if (m == 8) {
    EachConverted(job.Count, job.Mask, [&](std::uint64_t i, std::uint64_t k) { dst[i] = scale[GetField(src, k, n)]; });
  } else {
    EachConverted(job.Count, job.Mask,
                  [&](std::uint64_t i, std::uint64_t k) { PutField(dst, i, m, scale[GetField(src, k, n)]); });
  }
}

void TColorManager::RowIndexed16To16(const TRowJob& job) const {
  const bool swap = Contains(SourceOptions, Opt::SwapBytes);
  Need(job.Source[0], job.Converted * 2);
  Need(job.Target, static_cast<std::uint64_t>(job.Count) * 2);
  const std::uint8_t* src = job.Source[0].data();
  std::uint8_t* dst = job.Target.data();
  if (job.Mask == 0xFF && !swap) {
    std::memcpy(dst, src, static_cast<std::uint64_t>(job.Count) * 2);
    return;
  }
  EachConverted(job.Count, job.Mask, [&](std::uint64_t i, std::uint64_t k) {
    const std::uint32_t v = LoadU16(src + 2 * k);
    StoreU16(dst + 2 * i, static_cast<std::uint16_t>(swap ? Swap16(v) : v));
  });
}

void TColorManager::RowIndexed16ToPacked(const TRowJob& job) const {
  const bool swap = Contains(SourceOptions, Opt::SwapBytes);
  const int m = targetBits_;
  const std::uint32_t maxOut = (1u << m) - 1;
  Need(job.Source[0], job.Converted * 2);
  Need(job.Target, PackedBytes(job.Count, m));
  const std::uint8_t* src = job.Source[0].data();
  std::uint8_t* dst = job.Target.data();
  EachConverted(job.Count, job.Mask, [&](std::uint64_t i, std::uint64_t k) {
    std::uint32_t v = LoadU16(src + 2 * k);
    if (swap) v = Swap16(v);
    PutField(dst, i, m, MulDiv16(v, maxOut, 65535));
  });
}

void TColorManager::RowIndexedPackedTo16(const TRowJob& job) const {
  const bool swap = Contains(SourceOptions, Opt::SwapBytes);
  const int n = sourceBits_;
  const std::uint32_t maxIn = (1u << n) - 1;
  Need(job.Source[0], PackedBytes(job.Converted, n));
  Need(job.Target, static_cast<std::uint64_t>(job.Count) * 2);
  const std::uint8_t* src = job.Source[0].data();
  std::uint8_t* dst = job.Target.data();
  EachConverted(job.Count, job.Mask, [&](std::uint64_t i, std::uint64_t k) {
    const std::uint32_t v = MulDiv16(GetField(src, k, n), 65535, maxIn);
    StoreU16(dst + 2 * i, static_cast<std::uint16_t>(swap ? Swap16(v) : v));
  });
}

void TColorManager::RowGray8And16(const TRowJob& job) const {
  const int sb = sourceBits_ / 8;
  const int tb = targetBits_ / 8;
  const bool swap = Contains(SourceOptions, Opt::SwapBytes);
  const std::uint64_t step = static_cast<std::uint64_t>(Contains(SourceOptions, Opt::HasAlpha) ? 2 : 1) * sb;
  Need(job.Source[0], job.Converted * step);
  Need(job.Target, static_cast<std::uint64_t>(job.Count) * tb);
  const std::uint8_t* src = job.Source[0].data();
  std::uint8_t* dst = job.Target.data();
  EachConverted(job.Count, job.Mask, [&](std::uint64_t i, std::uint64_t k) {
    const std::uint8_t* s = src + k * step;
    if (sb == 1) {
      if (tb == 1) {
        dst[i] = *s;
      } else {
        StoreU16(dst + 2 * i, static_cast<std::uint16_t>(Widen(*s)));
      }
    } else {
      std::uint32_t v = LoadU16(s);
      if (swap) v = Swap16(v);
      if (tb == 1) {
        dst[i] = static_cast<std::uint8_t>(Reduce(v));
      } else {
        StoreU16(dst + 2 * i, static_cast<std::uint16_t>(v));
      }
    }
  });
}

// ---------------------------------------------------------------------------
// RGB and BGR rows

void TColorManager::RowRGBToRGB(const TRowJob& job) const { ConvertRGBFamily(job, false); }
void TColorManager::RowRGBToBGR(const TRowJob& job) const { ConvertRGBFamily(job, true); }
void TColorManager::RowBGRToRGB(const TRowJob& job) const { ConvertRGBFamily(job, true); }
void TColorManager::RowBGRToBGR(const TRowJob& job) const { ConvertRGBFamily(job, false); }

void TColorManager::ConvertRGBFamily(const TRowJob& job, bool exchange) const {
  const bool sourceAlpha = Contains(SourceOptions, Opt::HasAlpha);
  const bool targetAlpha = Contains(TargetOptions, Opt::HasAlpha);
  const bool carryAlpha = sourceAlpha && targetAlpha;
  const int sb = sourceBits_ / 8;
  const int tb = targetBits_ / 8;
  const int sourceStep = sourceAlpha ? 4 : 3;
  const std::uint64_t outStride = static_cast<std::uint64_t>(targetAlpha ? 4 : 3) * tb;
  const TSampleLayout in = SourceLayout(job.Source, job.Converted, sourceStep, sb, job.Source.size() > 1);
  Need(job.Target, static_cast<std::uint64_t>(job.Count) * outStride);
  std::uint8_t* out = job.Target.data();
  const bool gamma = Contains(TargetOptions, Opt::UseGamma);
  const bool swap = Contains(SourceOptions, Opt::SwapBytes);
  const std::uint8_t* table = gammaTable_.data();
  const std::uint32_t count = job.Count;
  const std::uint8_t mask = job.Mask;

  if (sb == 1 && tb == 1) {
    if (!gamma && mask == 0xFF && job.Source.size() == 1) {
      RGBRow8Interleaved(in.Base[0], in.Stride, out, outStride, exchange, carryAlpha, count);
    } else if (gamma) {
      RGBRow<1, 1, false, true>(in, out, outStride, exchange, carryAlpha, count, mask, table);
    } else {
      RGBRow<1, 1, false, false>(in, out, outStride, exchange, carryAlpha, count, mask, table);
    }
  } else if (sb == 1) {
    if (gamma) {
      RGBRow<1, 2, false, true>(in, out, outStride, exchange, carryAlpha, count, mask, table);
    } else {
      RGBRow<1, 2, false, false>(in, out, outStride, exchange, carryAlpha, count, mask, table);
    }
  } else if (tb == 1) {
    if (swap && gamma) {
      RGBRow<2, 1, true, true>(in, out, outStride, exchange, carryAlpha, count, mask, table);
    } else if (swap) {
      RGBRow<2, 1, true, false>(in, out, outStride, exchange, carryAlpha, count, mask, table);
    } else if (gamma) {
      RGBRow<2, 1, false, true>(in, out, outStride, exchange, carryAlpha, count, mask, table);
    } else {
      RGBRow<2, 1, false, false>(in, out, outStride, exchange, carryAlpha, count, mask, table);
    }
  } else if (swap) {
    RGBRow<2, 2, true, false>(in, out, outStride, exchange, carryAlpha, count, mask, table);
  } else {
    RGBRow<2, 2, false, false>(in, out, outStride, exchange, carryAlpha, count, mask, table);
  }
}

// ---------------------------------------------------------------------------
// CMYK rows

void TColorManager::RowCMYKToRGB(const TRowJob& job) const { ConvertCMYK(job, false); }
void TColorManager::RowCMYKToBGR(const TRowJob& job) const { ConvertCMYK(job, true); }

void TColorManager::ConvertCMYK(const TRowJob& job, bool exchange) const {
  const int sb = sourceBits_ / 8;
  const int tb = targetBits_ / 8;
  const bool swap = sb == 2 && Contains(SourceOptions, Opt::SwapBytes);
  const std::uint64_t outStride = static_cast<std::uint64_t>(Contains(TargetOptions, Opt::HasAlpha) ? 4 : 3) * tb;
  const TSampleLayout in = SourceLayout(job.Source, job.Converted, 4, sb, job.Source.size() == 4);
  Need(job.Target, static_cast<std::uint64_t>(job.Count) * outStride);
  std::uint8_t* out = job.Target.data();
  auto convert = [&]<int SB, int TB>(auto&& fn) {
    ColourRow<SB, TB>(in, 4, out, outStride, exchange, job.Count, job.Mask, fn);
  };
  if (sb == 1) {
    auto colour = [](const std::uint32_t* v, std::uint32_t* rgb) {
      const std::uint32_t k = v[3];
      for (int j = 0; j < 3; ++j) {
        rgb[j] = static_cast<std::uint32_t>(
            Clamp(255 - (static_cast<std::int64_t>(v[j]) - MulDiv16(v[j], k, 255) + k), 255));
      }
    };
    if (tb == 1) {
      convert.template operator()<1, 1>(colour);
    } else {
      convert.template operator()<1, 2>([&](const std::uint32_t* v, std::uint32_t* rgb) {
        colour(v, rgb);
        for (int j = 0; j < 3; ++j) rgb[j] = Widen(rgb[j]);
      });
    }
  } else {
    auto ink = [swap](const std::uint32_t* raw, std::uint32_t* t) {
      std::uint32_t v[4];
      for (int j = 0; j < 4; ++j) v[j] = swap ? Swap16(raw[j]) : raw[j];
      for (int j = 0; j < 3; ++j) t[j] = std::min<std::uint32_t>(v[j] - MulDiv16(v[j], v[3], 65535) + v[3], 65535);
    };
    if (tb == 1) {
      convert.template operator()<2, 1>([&](const std::uint32_t* v, std::uint32_t* rgb) {
        ink(v, rgb);
        for (int j = 0; j < 3; ++j)
          rgb[j] = static_cast<std::uint32_t>(Clamp(255 - static_cast<int>(Reduce(rgb[j])), 255));
      });
    } else {
      convert.template operator()<2, 2>([&](const std::uint32_t* v, std::uint32_t* rgb) {
        ink(v, rgb);
        for (int j = 0; j < 3; ++j) rgb[j] = 65535 - rgb[j];
      });
    }
  }
}

// ---------------------------------------------------------------------------
// CIE L*a*b* rows

void TColorManager::RowLabToRGB(const TRowJob& job) const { ConvertLab(job, false); }
void TColorManager::RowLabToBGR(const TRowJob& job) const { ConvertLab(job, true); }

void TColorManager::ConvertLab(const TRowJob& job, bool exchange) const {
  const int sb = sourceBits_ / 8;
  const int tb = targetBits_ / 8;
  const bool swap = sb == 2 && Contains(SourceOptions, Opt::SwapBytes);
  const bool scaledL = Contains(SourceOptions, Opt::LabScaledL);
  const bool offsetChroma = Contains(SourceOptions, Opt::LabOffsetChroma);
  const std::uint64_t outStride = static_cast<std::uint64_t>(Contains(TargetOptions, Opt::HasAlpha) ? 4 : 3) * tb;
  const TSampleLayout in = SourceLayout(job.Source, job.Converted, 3, sb, job.Source.size() > 1);
  Need(job.Target, static_cast<std::uint64_t>(job.Count) * outStride);

  // The stored samples as L* (0..100) and a*, b* (about -128..127). A
  // 16-bit sample keeps the fraction its low byte adds to the 8-bit
  // meaning: L* scaled from 0..65535, or L* in 8.8 fixed point; chroma
  // offset by 32768 or signed, in 1/256 steps.
  auto lab = [=](const std::uint32_t* raw, long double& l, long double& a, long double& b) {
    if (sb == 1) {
      l = scaledL ? raw[0] / 2.55L : static_cast<long double>(raw[0]);
      a = offsetChroma ? static_cast<long double>(raw[1]) - 128 : static_cast<std::int8_t>(raw[1]);
      b = offsetChroma ? static_cast<long double>(raw[2]) - 128 : static_cast<std::int8_t>(raw[2]);
    } else {
      std::uint32_t v[3];
      for (int j = 0; j < 3; ++j) v[j] = swap ? Swap16(raw[j]) : raw[j];
      l = scaledL ? v[0] / 655.35L : v[0] / 256.0L;
      a = offsetChroma ? v[1] / 256.0L - 128 : static_cast<std::int16_t>(v[1]) / 256.0L;
      b = offsetChroma ? v[2] / 256.0L - 128 : static_cast<std::int16_t>(v[2]) / 256.0L;
    }
  };
  auto linear = [](long double l, long double a, long double b, long double* rgb) {
    const long double t = (l + 16) / 116;
    long double x, y, z;
    if (l < 7.9996L) {
      y = l / 903.3L;
      x = a / 3893.5L + y;
      z = y - b / 1557.4L;
    } else {
      const long double u = a / 500 + t;
      const long double w = t - b / 200;
      x = u * u * u;
      y = t * t * t;
      z = w * w * w;
    }
    rgb[0] = 2.998L * x - 1.458L * y - 0.541L * z;
    rgb[1] = -0.952L * x + 1.893L * y + 0.059L * z;
    rgb[2] = 0.099L * x - 0.198L * y + 1.099L * z;
  };
  // The colour values stay within a few hundred times the full scale, far
  // inside what Round takes.
  auto scaled = [](long double v, int high) { return static_cast<std::uint32_t>(Clamp(Round(v * high), high)); };
  auto pixel = [&](const std::uint32_t* raw, std::uint32_t* out, bool wide) {
    long double l, a, b, rgb[3];
    lab(raw, l, a, b);
    linear(l, a, b, rgb);
    for (int j = 0; j < 3; ++j) {
      if (!wide) {
        out[j] = scaled(rgb[j], 255);
      } else if (sb == 1) {
        out[j] = Widen(scaled(rgb[j], 255));
      } else {
        out[j] = scaled(rgb[j], 65535);
      }
    }
  };
  std::uint8_t* out = job.Target.data();
  auto narrow = [&](const std::uint32_t* v, std::uint32_t* rgb) { pixel(v, rgb, false); };
  auto wide = [&](const std::uint32_t* v, std::uint32_t* rgb) { pixel(v, rgb, true); };
  if (sb == 1 && tb == 1) {
    ColourRow<1, 1>(in, 3, out, outStride, exchange, job.Count, job.Mask, narrow);
  } else if (sb == 1) {
    ColourRow<1, 2>(in, 3, out, outStride, exchange, job.Count, job.Mask, wide);
  } else if (tb == 1) {
    ColourRow<2, 1>(in, 3, out, outStride, exchange, job.Count, job.Mask, narrow);
  } else {
    ColourRow<2, 2>(in, 3, out, outStride, exchange, job.Count, job.Mask, wide);
  }
}

// ---------------------------------------------------------------------------
// YCbCr and PhotoYCC rows

void TColorManager::BuildYCbCrTables() {
  // Weights a file gave that are not finite and positive would divide by
  // zero or poison every table entry: the defaults stand in for them.
  float lr = ycbcrCoefficients_[0];
  float lg = ycbcrCoefficients_[1];
  float lb = ycbcrCoefficients_[2];
  auto usable = [](float v) { return std::isfinite(v) && v > 0.0f; };
  if (!usable(lr) || !usable(lg) || !usable(lb)) {
    lr = 0.299f;
    lg = 0.587f;
    lb = 0.114f;
  }
  const float kR = 2.0f - 2.0f * lr;
  const float kRG = lr * kR / lg;
  const float kB = 2.0f - 2.0f * lb;
  const float kBG = lb * kB / lg;
  const bool photo = sourceScheme_ == Scheme::PhotoYCC;
  // Readers set the same weights picture after picture: the tables of the
  // last weights (of this thread) are kept.
  struct TKept {
    bool Valid = false;
    float Weights[3] = {};
    bool Photo = false;
    decltype(crToRed_) CrToRed{}, CbToBlue{}, CrToGreen{}, CbToGreen{};
  };
  thread_local TKept kept;
  if (kept.Valid && kept.Weights[0] == lr && kept.Weights[1] == lg && kept.Weights[2] == lb && kept.Photo == photo) {
    crToRed_ = kept.CrToRed;
    cbToBlue_ = kept.CbToBlue;
    crToGreen_ = kept.CrToGreen;
    cbToGreen_ = kept.CbToGreen;
    return;
  }
  // Entries beyond a million cannot matter after the clamp to a sample and
  // keep the sums of three entries inside 32 bits.
  auto entry = [](long double v) {
    constexpr long double kLimit = 1.0e6L;
    if (!std::isfinite(v)) v = v < 0 ? -kLimit : kLimit;
    return static_cast<std::int32_t>(Round(std::clamp(v, -kLimit, kLimit)));
  };
  for (int i = 0; i < 256; ++i) {
    const long double r = i - (photo ? 137 : 128);
    const long double c = i - (photo ? 156 : 128);
    crToRed_[i] = entry(r * kR);
    cbToBlue_[i] = entry(c * kB);
    crToGreen_[i] = -entry(r * kRG);
    cbToGreen_[i] = -entry(c * kBG);
  }
  kept = TKept{true, {lr, lg, lb}, photo, crToRed_, cbToBlue_, crToGreen_, cbToGreen_};
}

void TColorManager::RowYCbCrToRGB(const TRowJob& job) const { ConvertYCbCr(job, false, false); }
void TColorManager::RowYCbCrToBGR(const TRowJob& job) const { ConvertYCbCr(job, true, false); }
void TColorManager::RowPhotoYCCToRGB(const TRowJob& job) const { ConvertYCbCr(job, false, true); }
void TColorManager::RowPhotoYCCToBGR(const TRowJob& job) const { ConvertYCbCr(job, true, true); }

void TColorManager::ConvertYCbCr(const TRowJob& job, bool exchange, bool photoYCC) const {
  const int sb = sourceBits_ / 8;
  const int tb = targetBits_ / 8;
  const bool swap = sb == 2 && Contains(SourceOptions, Opt::SwapBytes);
  const std::uint64_t outStride = static_cast<std::uint64_t>(Contains(TargetOptions, Opt::HasAlpha) ? 4 : 3) * tb;
  const TSampleLayout in = SourceLayout(job.Source, job.Converted, 3, sb, job.Source.size() > 1);
  Need(job.Target, static_cast<std::uint64_t>(job.Count) * outStride);
  std::uint8_t* out = job.Target.data();

  auto tables = [this](std::uint32_t y, std::uint32_t cb, std::uint32_t cr, std::uint32_t* rgb) {
    const std::int32_t luma = static_cast<std::int32_t>(y);
    rgb[0] = static_cast<std::uint32_t>(Clamp(static_cast<std::int64_t>(luma) + crToRed_[cr], 255));
    rgb[1] = static_cast<std::uint32_t>(Clamp(static_cast<std::int64_t>(luma) + cbToGreen_[cb] + crToGreen_[cr], 255));
    rgb[2] = static_cast<std::uint32_t>(Clamp(static_cast<std::int64_t>(luma) + cbToBlue_[cb], 255));
  };

  if (sb == 1 && tb == 1) {
    // The common case, one lookup per table and no branch per pixel.
    const std::int32_t* const t[4] = {crToRed_.data(), crToGreen_.data(), cbToGreen_.data(), cbToBlue_.data()};
    if (exchange) {
      YCbCrRow8<true>(in, out, outStride, job.Count, job.Mask, t);
    } else {
      YCbCrRow8<false>(in, out, outStride, job.Count, job.Mask, t);
    }
  } else if (sb == 1) {
    ColourRow<1, 2>(in, 3, out, outStride, exchange, job.Count, job.Mask,
                    [&](const std::uint32_t* v, std::uint32_t* rgb) {
                      tables(v[0], v[1], v[2], rgb);
                      for (int j = 0; j < 3; ++j) rgb[j] = Widen(rgb[j]);
                    });
  } else if (tb == 1) {
    ColourRow<2, 1>(in, 3, out, outStride, exchange, job.Count, job.Mask,
                    [&](const std::uint32_t* raw, std::uint32_t* rgb) {
                      std::uint32_t v[3];
                      for (int j = 0; j < 3; ++j) v[j] = Reduce(swap ? Swap16(raw[j]) : raw[j]);
                      tables(v[0], v[1], v[2], rgb);
                    });
  } else {
    // 16 bits on both sides: the conversion at full precision.
    float lr = ycbcrCoefficients_[0], lg = ycbcrCoefficients_[1], lb = ycbcrCoefficients_[2];
    if (!(std::isfinite(lr) && lr > 0 && std::isfinite(lg) && lg > 0 && std::isfinite(lb) && lb > 0)) {
      lr = 0.299f;
      lg = 0.587f;
      lb = 0.114f;
    }
    const long double kR = 2.0f - 2.0f * lr;
    const long double kB = 2.0f - 2.0f * lb;
    const long double kRG = static_cast<long double>(lr) * kR / lg;
    const long double kBG = static_cast<long double>(lb) * kB / lg;
    auto wide = [](long double v) {
      return static_cast<std::uint32_t>(std::isfinite(v) ? Clamp(Round(std::clamp(v, -1.0e9L, 1.0e9L)), 65535) : 0);
    };
    ColourRow<2, 2>(in, 3, out, outStride, exchange, job.Count, job.Mask,
                    [&](const std::uint32_t* raw, std::uint32_t* rgb) {
                      long double v[3];
                      for (int j = 0; j < 3; ++j) v[j] = swap ? Swap16(raw[j]) : raw[j];
                      if (photoYCC) {
                        const long double y = 1.3584L * v[0];
                        const long double c1 = v[1] - 40092;
                        const long double c2 = v[2] - 35209;
                        rgb[0] = wide(y + 1.8215L * c2);
                        rgb[1] = wide(y - 0.9271435L * c2 - 0.4302726L * c1);
                        rgb[2] = wide(y + 2.2179L * c1);
                      } else {
                        const long double cb = v[1] - 32768;
                        const long double cr = v[2] - 32768;
                        rgb[0] = wide(v[0] + kR * cr);
                        rgb[1] = wide(v[0] - kRG * cr - kBG * cb);
                        rgb[2] = wide(v[0] + kB * cb);
                      }
                    });
  }
}

// ---------------------------------------------------------------------------
// Gamma, YCbCr parameters, pixel formats and palettes

void TColorManager::SetGamma(float mainGamma, float displayGamma) {
  if (!(mainGamma > 0.0f)) mainGamma = 1.0f;  // also a NaN
  if (!(displayGamma > 0.0f)) displayGamma = 2.2f;
  mainGamma_ = mainGamma;
  displayGamma_ = displayGamma;
  const float exponent = 1.0f / (mainGamma * displayGamma);
  // The table has 256 entries: an input range wider than a byte (a packed
  // source into a target of more than 8 bits) is cut to it.
  const int maxIn = sourceBits_ >= 8 ? 255 : std::min((1 << targetBits_) - 1, 255);
  const int maxOut = targetBits_ >= 8 ? 255 : (1 << targetBits_) - 1;
  // Every reader sets the same gamma when it starts, and a reader that
  // takes a file's own gamma sets it next: the tables of the last two
  // settings (of this thread) are kept, so that only a new setting pays
  // for the powers.
  struct TKept {
    float Exponent = 0.0f;
    int MaxIn = -1;
    int MaxOut = -1;
    decltype(gammaTable_) Table{};
    decltype(paletteGammaTable_) PaletteTable{};
  };
  thread_local TKept keptTables[2];
  thread_local int newest = 0;
  auto same = [&](const TKept& k) { return k.Exponent == exponent && k.MaxIn == maxIn && k.MaxOut == maxOut; };
  if (!same(keptTables[newest])) newest ^= 1;
  TKept& kept = keptTables[newest];
  if (!same(kept)) {
    auto curve = [exponent](int i, int in, int out) {
      const long double x = i >= in ? 1.0L : static_cast<long double>(i) / in;
      const long double v = std::pow(x, static_cast<long double>(exponent)) * out;
      return static_cast<std::uint8_t>(Clamp(Round(std::isfinite(v) ? v : 0.0L), out));
    };
    for (int i = 0; i < 256; ++i) kept.PaletteTable[i] = curve(i, 255, 255);
    if (maxIn == 255 && maxOut == 255) {
      kept.Table = kept.PaletteTable;
    } else {
      for (int i = 0; i < 256; ++i) kept.Table[i] = curve(i, maxIn, maxOut);
    }
    kept.Exponent = exponent;
    kept.MaxIn = maxIn;
    kept.MaxOut = maxOut;
  }
  gammaTable_ = kept.Table;
  paletteGammaTable_ = kept.PaletteTable;
}

void TColorManager::SetYCbCrParameters(std::span<const float> values, std::uint8_t horizontalSubsampling,
                                       std::uint8_t verticalSubsampling) {
  for (std::size_t i = 0; i < values.size() && i < 3; ++i) ycbcrCoefficients_[i] = values[i];
  auto allowed = [](std::uint8_t v) { return v == 1 || v == 2 || v == 4; };
  if (!allowed(horizontalSubsampling) || !allowed(verticalSubsampling)) {
    RaiseConversionError(colortext::InvalidSubsampling);
  }
  if (horizontalSubsampling < verticalSubsampling) RaiseConversionError(colortext::VerticalSubsampling);
  horizontalSubsampling_ = horizontalSubsampling;
  verticalSubsampling_ = verticalSubsampling;
}

TPixelFormat TColorManager::GetPixelFormat(int index) const {
  const int samples = index == 0 ? sourceSamples_ : targetSamples_;
  const int bits = index == 0 ? sourceBits_ : targetBits_;
  switch (samples) {
    case 1:
      if (bits == 1) return pf1bit;
      if (bits <= 4) return pf4bit;
      if (bits >= 8) return pf8bit;
      return pfCustom;
    case 3:
      return bits <= 5 ? pf15bit : pf24bit;
    case 4:
      return bits >= 8 ? pf32bit : pfCustom;
    default:
      return pfCustom;
  }
}

std::vector<TPaletteEntry> TColorManager::CreateGrayscalePalette(bool minimumIsWhite) const {
  const int bits = std::min(targetBits_ * targetSamples_, 8);
  const int count = 1 << bits;
  const int max = count - 1;
  const int step = 255 / max;
  const bool gamma = Contains(TargetOptions, Opt::UseGamma);
  std::vector<TPaletteEntry> palette(static_cast<std::size_t>(count));
  for (int i = 0; i <= max; ++i) {
    std::uint8_t v = static_cast<std::uint8_t>(step * i);
    if (gamma) v = paletteGammaTable_[v];
    palette[static_cast<std::size_t>(minimumIsWhite ? max - i : i)] = {v, v, v, 0};
  }
  return palette;
}

std::vector<TPaletteEntry> TColorManager::CreateColorPalette(TRowPlanes data, std::uint8_t dataFormat,
                                                             std::uint32_t colorCount, bool reversed) const {
  // Which colour of the data each palette entry takes: entry i takes colour
  // i, at most 256 of them; when the target has at most 8 bits per sample
  // and another range than the source, entry i of the 2^target bits
  // entries takes colour i x maxIn div maxOut (the packed converters'
  // scaling), so a scaled pixel value finds its colour. Colours the data
  // does not have are black.
  std::vector<std::uint32_t> pick(std::min<std::uint32_t>(colorCount, 256));
  for (std::uint32_t i = 0; i < pick.size(); ++i) pick[i] = i;
  if (targetBits_ <= 8) {
    const std::uint32_t maxOut = (1u << targetBits_) - 1;
    const std::uint32_t maxIn = (1u << sourceBits_) - 1;
    if (maxOut != maxIn) {
      pick.resize(maxOut + 1);
      for (std::uint32_t i = 0; i <= maxOut; ++i) pick[i] = MulDiv16(i, maxIn, maxOut);
    }
  }
  std::uint64_t used = 0;  // colours read from the data
  for (std::uint32_t j : pick) {
    if (j < colorCount) used = std::max<std::uint64_t>(used, j + 1ull);
  }

  const bool gamma = Contains(TargetOptions, Opt::UseGamma);
  const bool swap = Contains(SourceOptions, Opt::SwapBytes);
  auto byte = [&](std::uint32_t v) { return gamma ? paletteGammaTable_[v] : static_cast<std::uint8_t>(v); };
  auto word = [&](const std::uint8_t* p) {
    const std::uint32_t v = LoadU16(p);
    return byte(Reduce(swap ? Swap16(v) : v));
  };
  auto plane = [&](std::size_t j, std::uint64_t bytes) {
    if (data.size() <= j) TooSmall();
    Need(data[j], bytes);
    return data[j].data();
  };

  // colour(j) reads colour j of the data.
  std::function<TPaletteEntry(std::uint64_t)> colour;
  const std::uint8_t* p[3] = {};
  switch (dataFormat) {
    case 0:
    case 1: {
      const std::uint64_t size = dataFormat == 0 ? 3 : 4;
      p[0] = used ? plane(0, used * size) : nullptr;
      colour = [&, size](std::uint64_t j) {
        const std::uint8_t* e = p[0] + j * size;
        return TPaletteEntry{byte(e[reversed ? 2 : 0]), byte(e[1]), byte(e[reversed ? 0 : 2]), 0};
      };
      break;
    }
    case 2:
    case 3:
      if (used) {
        for (std::size_t k = 0; k < 3; ++k) p[k] = plane(k, used);
      }
      colour = [&](std::uint64_t j) { return TPaletteEntry{byte(p[0][j]), byte(p[1][j]), byte(p[2][j]), 0}; };
      break;
    case 4:
    case 5: {
      const std::uint64_t size = dataFormat == 4 ? 6 : 8;
      p[0] = used ? plane(0, used * size) : nullptr;
      colour = [&, size](std::uint64_t j) {
        const std::uint8_t* e = p[0] + j * size;
        return TPaletteEntry{word(e + (reversed ? 0 : 4)), word(e + 2), word(e + (reversed ? 4 : 0)), 0};
      };
      break;
    }
    case 6:
    case 7:
      if (used) {
        for (std::size_t k = 0; k < 3; ++k) p[k] = plane(k, used * 2);
      }
      colour = [&](std::uint64_t j) {
        return TPaletteEntry{word(p[0] + 2 * j), word(p[1] + 2 * j), word(p[2] + 2 * j), 0};
      };
      break;
    default:
      colour = [](std::uint64_t) { return TPaletteEntry{}; };
      break;
  }

  std::vector<TPaletteEntry> palette(pick.size());
  for (std::size_t i = 0; i < pick.size(); ++i) {
    if (pick[i] < colorCount) palette[i] = colour(pick[i]);
  }
  return palette;
}
