#include "formats/common/reader_steps.h"

#include <algorithm>

#include "core/streams.h"
#include "formats/common/decode_limits.h"
#include "formats/common/reader_graphic.h"
#include "formats/common/reader_texts.h"

TFormatReader FormatReader(std::span<const std::uint8_t> data, const std::string& formatName) {
  return TFormatReader(data, FormatText(readertext::InvalidImage, {formatName}));
}

std::vector<std::uint8_t> ReadStreamRest(TStream& stream, const std::string& formatName) {
  const std::int64_t left = std::clamp<std::int64_t>(stream.Remaining(), 0, MaxDecodeBytes);
  return ReadStreamBytesUpTo(stream, left, formatName);
}

void CheckPictureSize(std::int64_t width, std::int64_t height, const std::string& formatName) {
  if (width <= 0 || height <= 0) RaiseInvalidImage(formatName);
  CheckImageSize(width, height, formatName);
}

void CheckPackedData(std::int64_t packedBytes, std::int64_t unpackedBytes, std::int64_t maxRatio,
                     const std::string& formatName) {
  // Both sides stay far below 2^63: sizes are capped by MaxDecodeBytes.
  if (packedBytes < 0 || unpackedBytes < 0 || unpackedBytes > MaxDecodeBytes * 4 ||
      unpackedBytes > std::max<std::int64_t>(packedBytes, 0) * maxRatio) {
    RaiseInvalidImage(formatName);
  }
}

void CheckCodedUnits(std::int64_t packedBytes, std::int64_t units, std::int64_t bitsPerUnit,
                     const std::string& formatName) {
  // Units and bits are capped before they are multiplied.
  const std::int64_t bits = std::clamp<std::int64_t>(packedBytes, 0, MaxDecodeBytes) * 8;
  if (units < 0 || bitsPerUnit < 1 || bitsPerUnit > 64 || units > MaxDecodeBytes * 8 || units * bitsPerUnit > bits) {
    RaiseInvalidImage(formatName);
  }
}

void SetImageLayout(TImageProperties& p, TColorScheme scheme, int bitsPerSample, int samplesPerPixel,
                    TCompressionType compression) {
  p.ColorScheme = scheme;
  p.BitsPerSample = static_cast<std::uint8_t>(bitsPerSample);
  p.SamplesPerPixel = static_cast<std::uint8_t>(samplesPerPixel);
  p.BitsPerPixel = static_cast<std::uint8_t>(bitsPerSample * samplesPerPixel);
  p.Compression = compression;
}
