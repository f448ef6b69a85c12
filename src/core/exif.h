#pragma once
// The orientation a JPEG file's Exif block gives its picture: how the
// stored rows are to be turned to stand upright, as cameras and phones
// write it instead of turning the pixels.
//
// The values are those of the Exif tag (274 in the first directory):
// 1 as stored; 2 mirrored left to right; 3 turned half round; 4 mirrored
// top to bottom; 5 mirrored along the diagonal from the top left (rows
// become columns); 6 turned a quarter clockwise; 7 mirrored along the
// other diagonal; 8 turned a quarter anticlockwise.

#include <cstdint>
#include <span>

// The orientation of the first Exif block (an APP1 segment starting
// "Exif\0\0") before the first scan, read in either byte order. A file
// without one, a damaged block and a value outside 1..8 give 1: the
// pixels stay as they are stored.
int JpegExifOrientation(std::span<const std::uint8_t> jpeg);

// Whether an orientation turns the picture a quarter (its width and
// height trade places).
inline bool OrientationSwapsSides(int orientation) { return orientation >= 5 && orientation <= 8; }
