#pragma once
// Loading a source file into the 24-bit picture the marks are drawn on.
// The batch, the main window's preview and the viewer all load through
// here, so one file gives one picture wherever it is shown or converted.
//
// Nothing here touches shared state: the viewer's loader thread calls it
// while the GUI thread works on pictures of its own.

#include <string>

#include "core/bitmap.h"
#include "core/types.h"

class TGIFImage;

// The size a GIF source is shown and converted at: its logical screen, or,
// for a screen without a size, as far as its first frame with pixels
// reaches. Raises GIFException("Image is empty") when no frame has pixels.
TPoint GifSourceSize(const TGIFImage& gif);
// The first frame with pixels of a GIF painted onto into (over what its
// brush fills it with) at GifSourceSize. A block without an image is no
// frame.
void PaintFirstGifFrame(const TGIFImage& gif, TBitmap& into);

// How a JPEG source whose data end before its picture does is taken:
// shown with what was decoded, the rest grey (the preview and the viewer),
// or refused as a damaged file (the batch, which must not write a picture
// with a grey part as converted).
enum class TCutSource { Show, Refuse };

// Loads fileName into into, which becomes 24-bit: a JPEG is decoded
// straight into it, in the memory it has when the picture fits there, and
// upright by its Exif orientation; every other type goes through the
// picture registry by its extension and is drawn over white (a GIF gives
// its first frame with pixels), into keeping its memory for that while
// the reader holds its own picture.
// Raises what the reader raises (with cut Refuse, EJPEG for a JPEG whose
// data end early too); into is then empty, its memory given back.
// jpegQuality, when given, receives a JPEG's quality (the one it was most
// likely written at, EstimateJpegQuality); other types leave it alone.
void LoadSourcePicture(const std::string& fileName, TBitmap& into, int* jpegQuality = nullptr,
                       TCutSource cut = TCutSource::Show);
TBitmap LoadSourcePicture(const std::string& fileName);
