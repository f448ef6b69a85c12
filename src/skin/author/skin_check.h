#pragma once
// The checks a skin must pass before it is stored: its description names
// every element the skinned windows use, every image it names is in the
// skin, each image divides into its frames and leaves room between its
// margins, no opaque pixel takes the transparent magenta (or the green
// step above it that cutting window shapes also takes as transparent),
// every text colour stands out from what it is drawn on, and so does the
// colour single-colour glyphs take on the bars and buttons.

#include <string>
#include <vector>

#include "core/types.h"
#include "skin/author/skin_builder.h"

// The contrast of two colours of a skin's pictures (ContrastRatio of the
// core's colours).
inline double ContrastRatio(TRgb a, TRgb b) { return ContrastRatio(RGB(a.R, a.G, a.B), RGB(b.R, b.G, b.B)); }

// What is wrong with the skin, one line each; empty when nothing is.
std::vector<std::string> CheckSkin(const TSkinSource& source);
