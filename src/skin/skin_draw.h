#pragma once
// The skin drawing routines: every picture the skinned windows show is
// cut from a skin bitmap by these, and a window's shape is cut from an
// edge bitmap by RegionFromBitmap.
//
// Frames: a skin bitmap holds frameCount equal frames side by side (each
// width / frameCount wide) or, stacked, one below the other; they are
// counted from 1. A count below 1 is taken as 1 and a frame number
// outside 1..count as the nearest of them.
//
// Targets are QImages of 32 bits a pixel (RGB32, ARGB32 or premultiplied
// ARGB32; any other target is converted to RGB32 first); what is drawn is
// opaque. Sources may be of any format. Stretching picks the nearest
// source pixel, never smooths: target pixel d of a side of n pixels takes
// source pixel floor((2d + 1) * s / (2n)) of a side of s pixels. A target
// rectangle with its right edge left of its left edge, or its bottom
// above its top, draws nothing. Everything is clipped to the target.

#include <QImage>
#include <QRect>
#include <QRegion>
#include <QRgb>
#include <QSize>

// The transparent colour of every skin bitmap.
inline constexpr QRgb SkinTransparent = 0xFF00FF;

// The fixed edges of a nine-part image, in pixels of the source frame.
struct TSkinMargins {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
};

// Frame index of frameCount in bitmap (see above).
QRect SkinFrameRect(const QImage& bitmap, bool stacked, int frameCount, int frameIndex);

// Copies source rectangle s of source onto rectangle d of target,
// stretching nearest-neighbour; with keyed, source pixels of key are left
// out. Empty or inverted rectangles copy nothing.
void StretchSkinBitmap(QImage& target, const QRect& d, const QImage& source, const QRect& s, bool keyed = false,
                       QRgb key = SkinTransparent);

// The nine-part image of one frame at the target size: the corners
// copied at their own size, the sides stretched along their length, the
// middle stretched or, with tile, repeated from its top-left corner (the
// right and bottom sides and the bottom-right corner are drawn after it
// and cover what it runs over). Margins that together reach the target's
// width or the frame's width are both taken as 0 (likewise the heights);
// negative margins count as 0. A null or empty bitmap gives an image of
// the target size filled with the transparent colour.
QImage MakeNinePartImage(QSize size, const QImage& bitmap, TSkinMargins margins, bool stacked, bool tile,
                         int frameCount, int frameIndex);

// Builds the nine-part image of rect's size and copies it at rect,
// opaquely or leaving out the transparent colour.
void DrawSkinElement(QImage& target, const QRect& rect, const QImage& bitmap, bool stacked, bool tile,
                     bool transparent, int frameCount, int frameIndex, TSkinMargins margins);

// A strip across rect: the frame's left cap (margins.Left wide) and
// right cap (margins.Right wide), each stretched to rect's height, and
// between them the frame's middle repeated side by side from x = Left
// while x < width - Right, each piece stretched to the height; the right
// cap is drawn last and covers the last piece's overrun. A frame without
// a middle leaves the part between the caps as it was. Copied opaquely
// or leaving out the transparent colour.
void DrawSkinStrip(QImage& target, const QRect& rect, const QImage& bitmap, bool stacked, bool transparent,
                   int frameCount, int frameIndex, TSkinMargins margins);

// The eight outer parts of the nine-part layout stretched straight onto
// rect, with the margin rules of MakeNinePartImage; rect's middle is left
// as it was.
void DrawSkinBorder(QImage& target, const QRect& rect, const QImage& bitmap, bool stacked, int frameCount,
                    int frameIndex, TSkinMargins margins);

// The frame (frames side by side) stretched onto rect, opaquely or
// leaving out the transparent colour.
void DrawSkinFrame(QImage& target, const QRect& rect, const QImage& bitmap, bool transparent, int frameCount,
                   int frameIndex);

// Repeats source rectangle s of bitmap from targetRect's top-left corner,
// columns while x < its right, rows while y < its bottom; the last column
// and row run over targetRect (only the target's own edges cut them). An
// empty source draws nothing.
void TileSkinBitmap(QImage& target, const QRect& targetRect, const QImage& bitmap, const QRect& s);

// Copies bitmap (from its top-left corner, unscaled, as much as rect
// holds) at rect, leaving out the pixels of key.
void DrawSkinTransparent(QImage& target, const QRect& rect, const QImage& bitmap, QRgb key = SkinTransparent);

// The region of bitmap's pixels that are not transparent, moved by
// (x, y): a pixel is transparent when each of its channels c lies in
// [key's channel, min(255, key's channel + tolerance)]. Every run of
// other pixels in a row is a rectangle one row high, joined with the runs
// of the rows below while they are the same. The bitmap is not changed.
QRegion RegionFromBitmap(const QImage& bitmap, int x, int y, int toleranceRed, int toleranceGreen,
                         int toleranceBlue, QRgb key = SkinTransparent);
