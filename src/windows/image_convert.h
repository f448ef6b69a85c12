#pragma once
// Pictures between the program's bitmaps and Qt's images, for showing
// them on screen and taking pictures from the clipboard.

#include <QColor>
#include <QImage>

#include "core/bitmap.h"

// An image over the bitmap's own pixels where Qt has a matching format
// (24-bit and device bitmaps as BGR888, 32-bit as RGB32, 15-bit as RGB555,
// 16-bit as RGB16, 1- and 8-bit as Mono and Indexed8 with the palette): nothing is copied,
// so the image is valid only while the bitmap lives and keeps its size
// and format. Other formats come back as a 24-bit copy. An empty bitmap
// gives a null image.
QImage WrapBitmap(const TBitmap& bitmap);
// The colour on screen: a TColor holds red in its low byte, then green and
// blue; a system colour (high byte 0xFF) is the colour it stands for.
QColor ToQColor(TColor color);
// A copy that owns its pixels.
QImage BitmapToQImage(const TBitmap& bitmap);
// A 24-bit bitmap of the image; transparency is dropped (the colours are
// kept as they are). A null image gives an empty bitmap; an image beyond
// the pixel cap raises EOutOfResources.
TBitmap QImageToBitmap(const QImage& image);
