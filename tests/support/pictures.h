#pragma once
// The test pictures the tests of several layers make: 24-bit bitmaps of
// one colour, of noise, of a pattern whose every pixel differs from its
// neighbours, and of smooth ramps. The same arguments give the same
// pixels on every run.

#include "core/bitmap.h"
#include "core/types.h"

namespace testsupport {

// Every pixel the colour (filled by the canvas).
TBitmap SolidPicture(int width, int height, TColor colour);

// Every byte of the rows from a linear congruential generator started at
// the seed: no two neighbours alike, no run for a coding to find.
TBitmap NoisePicture(int width, int height, unsigned seed);

// Blue x*7 + y*3, green x*5 + y*11, red x*13 + y*17, each plus a multiple
// of the seed, modulo 256: every pixel differs from its neighbours, and
// seeds give other pictures.
TBitmap PatternPicture(int width, int height, int seed = 0);

// Smooth ramps: blue from 0 to 255 across, green from 0 to 255 down, red
// x + y modulo 256.
TBitmap GradientPicture(int width, int height);

}  // namespace testsupport
