#include "formats/registry.h"

#include <mutex>

#include "core/graphic.h"
#include "core/icon.h"
#include "formats/gif/gif_image.h"
#include "formats/png/png_image.h"
#include "formats/reader_family.h"

void RegisterImageFormats() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterCoreGraphics();
    RegisterGIFImage();
    TPicture::RegisterFileFormat("png", "Portable Graphics Network", TPNGImage::StaticClass());
    // The family's reader serves ".png" once it registers; icons keep the
    // codec, which hands them the opacity of every kind of transparency.
    SetIconPngClass(&TPNGImage::StaticClass());
  });
  ReaderFamilyInitialization();
}

void UnregisterImageFormats() { ReaderFamilyFinalization(); }
