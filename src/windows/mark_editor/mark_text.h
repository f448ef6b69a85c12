#pragma once
// The picture of a text mark, drawn with the desktop's font engine: one
// line under the other, as wide as the widest line and as high as the sum
// of the line heights, every pixel not covered by text in the back colour.

#include <QFont>

#include <string>
#include <vector>

#include "core/bitmap.h"
#include "windows/mark_editor/mark_editor_model.h"

// The font of a mark. The size is in points at 96 dots per inch, so a
// mark has the same size on every screen; a negative size is a pixel
// height, as a stored font may give it.
QFont MarkQFont(const TMarkFont& font);
// The mark font of a Qt font and a colour (the size rounded to points).
TMarkFont MarkFontOf(const QFont& font, TColor color);

// The lines drawn as a 24-bit picture; an empty line is as high as a
// blank. No lines give an empty picture. Raises EOutOfResources when the
// picture would lie beyond the pixel cap.
TBitmap RenderMarkText(const std::vector<std::string>& lines, const TMarkFont& font, TColor backColor);
