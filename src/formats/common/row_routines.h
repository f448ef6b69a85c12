#pragma once
// Small row routines several readers share: undoing horizontal
// differencing (the TIFF predictor) and doubling a plane in both
// directions (Photo-CD).

#include <cstdint>
#include <span>

// Undo horizontal differencing in place, from left to right, each byte
// getting the byte of the same sample of the previous pixel added modulo
// 256. UndoDifferencing1 adds to bytes 1..count (the row holds count + 1
// bytes); UndoDifferencing3 and UndoDifferencing4 add to pixels 1..count
// of 3 and 4 bytes (the row holds count + 1 pixels). A row shorter than
// that raises ERangeError.
void UndoDifferencing1(std::span<std::uint8_t> row, std::uint32_t count);
void UndoDifferencing3(std::span<std::uint8_t> row, std::uint32_t count);
void UndoDifferencing4(std::span<std::uint8_t> row, std::uint32_t count);

// The general form for a row of width pixels of samplesPerPixel samples
// of 8 or 16 bits: each sample from the second pixel on gets the same
// sample of the previous pixel added, modulo 2^bits; 16-bit samples are
// read and written in the file's byte order. Answers false, changing
// nothing, for another sample size; a row shorter than width pixels
// raises ERangeError.
bool UndoDifferencing(std::span<std::uint8_t> row, std::uint32_t width, int samplesPerPixel, int bitsPerSample,
                      bool bigEndian);

// Doubles a plane of one byte per sample in place. buffer holds
// 2 x height rows of rowStride bytes (rowStride at least 2 x width); on
// entry the source rows are rows 0 .. height - 1, width bytes each. On
// return every one of the 2 x height rows holds 2 x width bytes: the
// samples between source samples are the rounded means of their
// neighbours, the last column and the last row repeat their neighbour.
// A width or height of 0 does nothing; a buffer too small raises
// ERangeError.
void UpsamplePlane(std::uint32_t width, std::uint32_t height, std::uint32_t rowStride, std::span<std::uint8_t> buffer);
