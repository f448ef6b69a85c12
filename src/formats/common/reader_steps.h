#pragma once
// Steps the run-length readers share beyond the base class: checked reads
// over bytes that raise a format's invalid-image error, taking the rest of
// a stream into memory, the size check that tells an empty picture from
// one beyond the pixel cap, and the run of progress stages a load reports.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/byte_reader.h"
#include "core/exceptions.h"

class TStream;
struct TImageProperties;
enum class TColorScheme : std::uint8_t;
enum class TCompressionType : std::uint8_t;

// Reads over file bytes; running out raises "Cannot load image. Invalid or
// unexpected <format> image format.".
using TFormatReader = TByteReader<EInvalidGraphic>;
TFormatReader FormatReader(std::span<const std::uint8_t> data, const std::string& formatName);

// Everything from the stream's position to its end (at most
// MaxDecodeBytes), read at once.
std::vector<std::uint8_t> ReadStreamRest(TStream& stream, const std::string& formatName);

// A picture of width x height pixels: a side of 0 or less is an empty
// picture (the format's invalid-image error), a picture beyond the pixel
// cap raises CheckImageSize's error.
void CheckPictureSize(std::int64_t width, std::int64_t height, const std::string& formatName);

// Raises the format's invalid-image error unless packedBytes of data can
// hold unpackedBytes of pixels, a coding giving at most maxRatio bytes per
// byte: so a few bytes that claim a huge picture fail before anything is
// allocated for it.
void CheckPackedData(std::int64_t packedBytes, std::int64_t unpackedBytes, std::int64_t maxRatio,
                     const std::string& formatName);
// The same rule for codings whose smallest unit is a row rather than a
// byte (the fax codes): raises the format's invalid-image error unless
// packedBytes can give `units` units, each taking at least bitsPerUnit
// bits.
void CheckCodedUnits(std::int64_t packedBytes, std::int64_t units, std::int64_t bitsPerUnit,
                     const std::string& formatName);

// The largest expansions of the codings the readers share: deflate gives
// at most 258 bytes for a match coded in two bits, PackBits 128 bytes for
// two.
inline constexpr std::int64_t DeflateMaxRatio = 1032;
inline constexpr std::int64_t PackBitsMaxRatio = 64;

// Fills the layout fields of the properties: scheme, bits per sample,
// samples per pixel, their product as bits per pixel, and the compression.
void SetImageLayout(TImageProperties& properties, TColorScheme scheme, int bitsPerSample, int samplesPerPixel,
                    TCompressionType compression);
