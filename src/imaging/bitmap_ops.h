#pragma once
// Small pixel operations on 24-bit bitmaps used by the viewer and the
// mark editor's preview.

#include "core/bitmap.h"

void RotateBitmap90(TBitmap& bmp);
void RotateBitmap180(TBitmap& bmp);
void RotateBitmap270(TBitmap& bmp);
void FlipBitmapHorz(TBitmap& bmp);
void FlipBitmapVert(TBitmap& bmp);
// src and dest may be the same bitmap; a dest of another size is given
// src's size first.
void AdjustBrightness(TBitmap& src, TBitmap& dest, int delta);
void AdjustContrast(TBitmap& src, TBitmap& dest, int amount);
void ToGrayscale(TBitmap& bmp);
// In place: each pixel reads the row above and the pixel to its left
// already filtered.
void Filter3x3(TBitmap& bmp);
void SharpenBitmap(TBitmap& bmp);
