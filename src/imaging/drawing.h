#pragma once
// The plain drawing routines on which mark rendering rests. Every pixel
// routine first sets the bitmaps it touches to 24 bits and works on whole
// B,G,R rows; every read and write is clipped to its bitmap.

#include <cstdint>

#include "core/bitmap.h"
#include "core/types.h"

// Copies every other pixel of src (a checkerboard) onto dest at pos.
void MeshDraw(TBitmap& dest, TBitmap& src, TPoint pos);

// Bevels and frames on a canvas.
void DrawAverageBevel(TCanvas& canvas, const TRect& rect, int lightShift, int darkShift, int width);
void DrawShiftBevel(TCanvas& canvas, const TRect& rect, int lightShift, int darkShift, int width);
void DrawFrame3D(TCanvas& canvas, const TRect& rect, TColor topColor, TColor bottomColor, int width, bool shrink);
void DrawFrameStyle2(TCanvas& canvas, const TRect& rect, int lightShift, int darkShift, int width, bool shrink);
void DrawFrameStyle3(TCanvas& canvas, const TRect& rect, int lightShift, int darkShift, int width, bool shrink);

// Blends fore and back through the mask (stretched to maskRect) into dest.
void DrawMaskedImage(TBitmap& fore, TBitmap& back, TBitmap& mask, TBitmap& dest, const TRect& maskRect,
                     bool direct);

// The rectangle of an image fitted into a box (sizes as TPoint X = width,
// Y = height).
TRect FitRect(TPoint box, TPoint image, bool zoomFit, bool shrinkFit, int marginX, int marginY);
// The top-left point of a w x h box anchored (0..8) inside a W x H box.
TPoint GetAnchorOffset(int outerWidth, int outerHeight, int innerWidth, int innerHeight, int anchor);

// Mode 0 grows src to dest's size and fills it with copies of itself;
// other modes tile src onto dest.
void TileBitmap(TBitmap& src, TBitmap& dest, int mode);
void TileIntoRect(TBitmap& src, TBitmap& dest, const TRect& rect);

void ResizeByPercent(TBitmap& bmp, std::uint16_t pctX, std::uint16_t pctY);
void InvertBitmap(TBitmap& bmp);
void MosaicBitmap(TBitmap& bmp, int cellWidth, int cellHeight);
// Returns the rotated picture in the settings object's ScratchBitmap.
TBitmap& RotateBitmapAngle(TBitmap& src, TColor backColor, double angle);
