#pragma once
// The limits every reader checks before it allocates: the pixel cap of
// the bitmap and a cap on any buffer a file's fields ask for. Sizes are
// worked out in 64-bit; a size a file cannot have raises EInvalidGraphic
// naming the format, never an allocation of what a header claims.

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <vector>

#include "core/bitmap.h"

class TStream;

// The largest buffer a reader allocates for one image's data, packed or
// unpacked: 8 bytes for each pixel the pixel cap allows (four 16-bit
// samples), 2 GiB.
constexpr std::int64_t MaxDecodeBytes = MaxPixels * 8;

// Raises "Cannot load image. The %s image is too large (W x H pixels)."
// unless width and height are positive and within the pixel cap.
void CheckImageSize(std::int64_t width, std::int64_t height, const std::string& formatName);

// Bytes of a packed row of width pixels of bitsPerPixel bits:
// (width x bitsPerPixel + 7) div 8. Raises the format's invalid-image
// error for negative arguments or a row beyond MaxDecodeBytes.
std::int64_t PackedRowBytes(std::int64_t width, std::int64_t bitsPerPixel, const std::string& formatName);

// The product of the factors (rows, planes, bytes per row, ...). Raises
// the format's invalid-image error when a factor is negative or the
// product passes MaxDecodeBytes.
std::int64_t CheckedBufferSize(std::initializer_list<std::int64_t> factors, const std::string& formatName);

// Reads count bytes from the stream's position into a new buffer. A count
// that is negative, beyond MaxDecodeBytes or beyond what the stream has
// left raises the format's invalid-image error before anything is
// allocated; so does a short read.
std::vector<std::uint8_t> ReadStreamBytes(TStream& stream, std::int64_t count, const std::string& formatName);

// Like ReadStreamBytes, but reads at most count bytes: a stream that ends
// first gives a shorter buffer (for readers that take "the rest of the
// data" and tolerate a cut file).
std::vector<std::uint8_t> ReadStreamBytesUpTo(TStream& stream, std::int64_t count, const std::string& formatName);

// The bytes of the stream from its position to its end, without moving
// it: the memory of a memory stream (the whole file, as LoadFromFile
// gives it), or else a copy read into `copy` (at most MaxDecodeBytes).
// The view lives as long as the stream's memory or the copy.
std::span<const std::uint8_t> StreamBytes(TStream& stream, std::vector<std::uint8_t>& copy,
                                          const std::string& formatName);
