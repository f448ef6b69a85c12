#include "imaging/source_picture.h"

#include <cstdint>
#include <vector>

#include "app/routines.h"
#include "core/exceptions.h"
#include "core/graphic.h"
#include "core/jpeg.h"
#include "core/streams.h"
#include "formats/gif/gif_image.h"

namespace {

int FirstFrameWithPixels(const TGIFImage& gif) {
  const TGIFImageList& frames = gif.Images();
  int first = 0;
  while (first < frames.Count() && frames[first]->Empty()) ++first;
  if (first == frames.Count()) throw GIFException("Image is empty");
  return first;
}

}  // namespace

TPoint GifSourceSize(const TGIFImage& gif) {
  const TGIFSubImage& frame = *gif.Images()[FirstFrameWithPixels(gif)];
  return TPoint{gif.Width() > 0 ? gif.Width() : frame.Left() + frame.Width(),
                gif.Height() > 0 ? gif.Height() : frame.Top() + frame.Height()};
}

void PaintFirstGifFrame(const TGIFImage& gif, TBitmap& into) {
  const int first = FirstFrameWithPixels(gif);
  const TPoint size = GifSourceSize(gif);
  into.SetPixelFormat(pf24bit);
  into.SetSize(size.X, size.Y);
  gif.PaintFrame(into, TRect{0, 0, size.X, size.Y}, first, (gif.DrawOptions() & goTransparent) != 0, false);
}

void LoadSourcePicture(const std::string& fileName, TBitmap& into, int* jpegQuality, TCutSource cut) {
  try {
    if (GetImageType(fileName) == itJpeg) {
      const std::vector<std::uint8_t> bytes = ReadFileBytes(fileName);
      TJpegDecodeInfo info;
      DecodeJpeg(bytes.data(), bytes.size(), into, info);
      if (cut == TCutSource::Refuse && !info.EndedEarly.empty()) throw EJPEG(info.EndedEarly);
      if (jpegQuality != nullptr) *jpegQuality = info.Quality;
      return;
    }
    // The picture goes, its memory stays for the one drawn next.
    into.SetSize(0, 0);
    into.SetPixelFormat(pf24bit);
    TPicture holder;
    holder.LoadFromFile(fileName);
    // The other JPEG extensions come through the registry.
    if (const auto* jpeg = dynamic_cast<const TJPEGImage*>(holder.Graphic());
        jpeg != nullptr && cut == TCutSource::Refuse && !jpeg->EndedEarly().empty()) {
      throw EJPEG(jpeg->EndedEarly());
    }
    // A transparent source is drawn over white, never over what the
    // picture held before.
    into.Canvas().Brush.Color = clWhite;
    into.Canvas().Brush.Style = bsSolid;
    if (const auto* gif = dynamic_cast<const TGIFImage*>(holder.Graphic())) {
      // Painted here: drawing an animation would start its painter and
      // show whichever frame it had reached.
      PaintFirstGifFrame(*gif, into);
    } else if (holder.Graphic() != nullptr) {
      into.SetSize(holder.Width(), holder.Height());
      into.Canvas().Draw(0, 0, *holder.Graphic());
    }
  } catch (...) {
    into.Clear();
    throw;
  }
}

TBitmap LoadSourcePicture(const std::string& fileName) {
  TBitmap picture;
  LoadSourcePicture(fileName, picture);
  return picture;
}
