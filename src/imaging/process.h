#pragma once
// Image output by type, with the JPEG, GIF and BMP options of the
// settings. Used by the batch (TMark::ProcessFile), the main window's
// Save As, the mark editor and the viewer. Every file is written through
// a temporary name and renamed into place, so a failed write never leaves
// a truncated file and never destroys an existing one.

#include <memory>
#include <optional>
#include <string>

#include "core/bitmap.h"
#include "imaging/output_options.h"

class TJPEGImage;
class TPNGImage;
class TGIFImage;
class TGIFSubImage;
class TMark;

// The quality a JPEG output is written at: the asked quality when
// KeepJpgCompress is set, otherwise JpgCompress of the settings, which is
// taken into 1..100 (0 means the lowest quality, 1).
int OutputJpegQuality(int quality);
int OutputJpegQuality(int quality, const TOutputOptions& options);

// A new JPEG image holding the picture compressed at OutputJpegQuality
// (quality); nullptr for no bitmap. ERangeError for a quality outside
// 1..100.
std::unique_ptr<TJPEGImage> BitmapToJpeg(const TBitmap* bitmap, int quality);
// A new PNG image assigned from the bitmap; nullptr for no bitmap.
std::unique_ptr<TPNGImage> BitmapToPng(const TBitmap* bitmap);
// A new GIF image with the GIF options applied and then assigned from the
// bitmap; nullptr for no bitmap.
std::unique_ptr<TGIFImage> BitmapToGif(const TBitmap* bitmap);

// The GIF image's colour-reduction code for a GifPalette choice; none for a
// choice above 7 (the image keeps its own).
std::optional<int> GifColorReductionOf(int gifPalette);
// Dither mode, colour reduction and compression from the settings; a value
// out of its range leaves the image's own.
void ApplyGifOptions(TGIFImage& gif);
void ApplyGifOptions(TGIFImage& gif, const TOutputOptions& options);
// The colour index of the frame's bottom-left pixel (the index a frame
// that hides nothing carries in its control block).
int GifTransparentIndex(TGIFSubImage& frame);

// The pixel format of a BMP output for a BmpColorSetup value (0 32 bits,
// 1 24, 2 16, 3 8, 4 4, 5 1 bit); none for another value.
std::optional<TPixelFormat> BmpOutputFormat(int colorSetup);

// Writes the bitmap in the type its file name's extension names: JPEG,
// GIF, BMP (at the settings' depth, converting a copy), PNG, PCX (24-bit),
// Targa (24-bit), and BMP data for any other extension. The bitmap itself
// is not changed.
void SaveImageFile(const TBitmap& bitmap, const std::string& fileName);

// The GIF-to-GIF path of ProcessFile: an animation keeps its frames (every
// frame or only the first marked) with their places, delays and disposal,
// and its logical screen; one frame or a dropped animation is written as
// one frame with the GIF options. A block without an image is no frame. A
// frame's hidden pixels stay hidden and no visible colour becomes hidden;
// a mark drawn over hidden pixels shows. The marks are placed and blended,
// not rotated or given effects. False when anything failed (a source
// without a picture as well). The GIF options are the mark set's
// OutputOptions, or the settings' when it has none. A symbolic link at dest
// is replaced by the output, as every output of the batch replaces one.
bool ProcessGifFile(const std::string& src, const std::string& dest, const TMark& marks);
