#pragma once
// The plain drawing routines on which mark rendering rests. Every pixel
// routine first sets the bitmaps it touches to 24 bits and works on whole
// B,G,R rows; every read and write is clipped to its bitmap.

#include <cstdint>

#include "core/bitmap.h"
#include "core/types.h"

// Copies every other pixel of src (a checkerboard) onto dest at pos: a
// source pixel lands only where its destination column plus row is odd,
// so the pattern belongs to dest. Pixels falling outside dest are left out.
void MeshDraw(TBitmap& dest, TBitmap& src, TPoint pos);

// Bevels and frames on a canvas. For the bevels, rect's Right and Bottom
// are the last column and row of the outer ring; ring i lies i pixels
// further in; width below 1 counts as 1. Pixels are read and written
// only inside the bitmap (any format; 24-bit ones through their rows).
//
// DrawAverageBevel: sides left and top are painted in the mean of their
// light colours (mean under the side + lightShift), right and bottom in
// the mean of their dark colours; each side is a line that leaves its end
// point out. A pixel outside the bitmap is left out of a side's mean; a
// side with no pixel inside takes its partner's mean (left <-> top,
// right <-> bottom), and black when neither has one.
// DrawShiftBevel: adds lightShift to the left and top sides' pixels and
// darkShift to the right and bottom sides', clamped after each addition.
void DrawAverageBevel(TCanvas& canvas, const TRect& rect, int lightShift, int darkShift, int width);
void DrawShiftBevel(TCanvas& canvas, const TRect& rect, int lightShift, int darkShift, int width);
// The frames draw one ring on rect, inset first when shrink is set (by
// width on the left and top, width - 1 on the right and bottom). rect
// itself is not changed.
void DrawFrame3D(TCanvas& canvas, const TRect& rect, TColor topColor, TColor bottomColor, int width, bool shrink);
void DrawFrameStyle2(TCanvas& canvas, const TRect& rect, int lightShift, int darkShift, int width, bool shrink);
void DrawFrameStyle3(TCanvas& canvas, const TRect& rect, int lightShift, int darkShift, int width, bool shrink);

// Blends fore and back through the mask (stretched to maskRect with the
// canvas' rule) into dest: dest takes back's size; each pixel of maskRect
// becomes (fore * a + back * (255 - a)) div 255 with a the mask's red byte
// (255 minus it when direct is not set). Pixels outside back or fore are
// left alone; an empty mask counts as white.
void DrawMaskedImage(TBitmap& fore, TBitmap& back, TBitmap& mask, TBitmap& dest, const TRect& maskRect,
                     bool direct);

// The rectangle of an image fitted into a box (sizes as TPoint X = width,
// Y = height), centred inside the margins. An image without pixels, or a
// box whose usable size is 0 or less, gives the empty rectangle (0,0,0,0).
TRect FitRect(TPoint box, TPoint image, bool zoomFit, bool shrinkFit, int marginX, int marginY);
// The top-left point of a w x h box anchored (0..8) inside a W x H box.
TPoint GetAnchorOffset(int outerWidth, int outerHeight, int innerWidth, int innerHeight, int anchor);

// Mode 0 grows src to dest's size and fills it with copies of itself;
// other modes tile src onto dest (honouring src's transparency). A src
// without width or height does nothing.
void TileBitmap(TBitmap& src, TBitmap& dest, int mode);
// Copies of src from rect's top-left corner fill rect (the last row and
// column show the tile's top-left part); clipped to dest.
void TileIntoRect(TBitmap& src, TBitmap& dest, const TRect& rect);

// Stretches bmp to Round(width * pct / 100) (halves to even) through the
// settings object's ScratchBitmap; bmp becomes 24-bit. A result beyond
// the pixel cap raises EOutOfResources and leaves bmp unchanged.
void ResizeByPercent(TBitmap& bmp, std::uint16_t pctX, std::uint16_t pctY);
// The same through a scratch bitmap of the caller's (a batch worker's
// own, which no other thread touches).
void ResizeByPercent(TBitmap& bmp, std::uint16_t pctX, std::uint16_t pctY, TBitmap& scratch);
void InvertBitmap(TBitmap& bmp);
// Pixelates in cells; each cell's mean also covers the column right of
// it and the row below it. The cells on the right and bottom edge are
// filled up to the picture's edge. Cells of 1 x 1 or of a size 0 or less
// change nothing. The canvas brush is left in the last cell's colour.
void MosaicBitmap(TBitmap& bmp, int cellWidth, int cellHeight);
// Returns the rotated picture in the settings object's ScratchBitmap
// (valid until its next use). A positive angle turns counter-clockwise on
// screen; corners take backColor. Raises EOutOfResources when the turned
// picture would be beyond the pixel cap, ERangeError for an angle that is
// not a number.
TBitmap& RotateBitmapAngle(TBitmap& src, TColor backColor, double angle);
// The same into the given scratch bitmap, which it returns.
TBitmap& RotateBitmapAngle(TBitmap& src, TColor backColor, double angle, TBitmap& scratch);
