#include "formats/reader_family.h"

#include <memory>
#include <mutex>

#include "core/bitmap.h"
#include "core/icon.h"
#include "core/jpeg.h"
#include "formats/common/reader_texts.h"
#include "formats/reader_classes.h"

namespace {

namespace t = readertext;

// The first ten rows register the core's classes again: being the newest
// registrations of their extensions changes nothing but the description.
const TReaderRegistration kRegistrations[] = {
    {"bmp", &TBitmap::StaticClass, t::WindowsBitmaps, ""},
    {"ico", &TIcon::StaticClass, t::WindowsIcons, ""},
    {"wmf", &TMetafile::StaticClass, t::WindowsMetafiles, ""},
    {"emf", &TMetafile::StaticClass, t::WindowsMetafiles, t::EnhancedMetafiles},
    {"jfif", &TJPEGImage::StaticClass, t::JPGImages, t::JFIFImages},
    {"jpg", &TJPEGImage::StaticClass, "", t::JPGImages},
    {"jpe", &TJPEGImage::StaticClass, "", t::JPEImages},
    {"jpeg", &TJPEGImage::StaticClass, "", t::JPEGImages},
    {"rle", &TBitmap::StaticClass, t::WindowsBitmaps, t::RLEBitmaps},
    {"dib", &TBitmap::StaticClass, "", t::DIBBitmaps},
    {"win", &TargaGraphicClass, t::TruevisionImages, ""},
    {"vst", &TargaGraphicClass, "", ""},
    {"vda", &TargaGraphicClass, "", ""},
    {"tga", &TargaGraphicClass, "", ""},
    {"icb", &TargaGraphicClass, "", ""},
    {"tiff", &TIFFGraphicClass, t::TIFFImages, t::MacTIFFImages},
    {"tif", &TIFFGraphicClass, "", t::PCTIFImages},
    {"fax", &TIFFGraphicClass, "", t::FaxImages},
    {"eps", &EPSGraphicClass, t::EPSImages, ""},
    {"pcx", &PCXGraphicClass, t::PCXImages, ""},
    {"pcc", &PCXGraphicClass, "", ""},
    {"scr", &PCXGraphicClass, "", t::WordScreenCapture},
    {"rpf", &RLAGraphicClass, t::AliasImages, ""},
    {"rla", &RLAGraphicClass, "", ""},
    {"sgi", &SGIGraphicClass, t::SGIImages, t::SGITrueColor},
    {"rgba", &SGIGraphicClass, "", t::SGITrueColorAlpha},
    {"rgb", &SGIGraphicClass, "", t::SGITrueColor},
    {"bw", &SGIGraphicClass, "", t::SGIBlackWhite},
    {"psd", &PSDGraphicClass, t::PhotoshopImages, ""},
    {"pdd", &PSDGraphicClass, "", ""},
    {"ppm", &PPMGraphicClass, t::PortableMaps, t::PortablePixmaps},
    {"pgm", &PPMGraphicClass, "", t::PortableGraymaps},
    {"pbm", &PPMGraphicClass, "", t::PortableBitmaps},
    {"cel", &AutodeskGraphicClass, t::AutodeskImages, ""},
    {"pic", &AutodeskGraphicClass, t::AutodeskImages, ""},
    {"pcd", &PCDGraphicClass, t::PhotoCDImages, ""},
    {"cut", &CUTGraphicClass, t::HaloImages, ""},
    {"psp", &PSPGraphicClass, t::PaintShopProImages, ""},
    {"png", &PNGGraphicClass, t::PNGImages, ""},
};
static_assert(std::size(kRegistrations) == 39);

std::mutex& FamilyMutex() {
  static std::mutex mutex;
  return mutex;
}

std::unique_ptr<TFileFormatList>& TheList() {
  static std::unique_ptr<TFileFormatList> list;
  return list;
}

}  // namespace

std::span<const TReaderRegistration> ReaderFamilyRegistrations() { return kRegistrations; }

TFileFormatList* FileFormatList() {
  std::lock_guard<std::mutex> lock(FamilyMutex());
  return TheList().get();
}

void ReaderFamilyInitialization() {
  std::lock_guard<std::mutex> lock(FamilyMutex());
  if (TheList()) return;
  auto list = std::make_unique<TFileFormatList>();
  for (const TReaderRegistration& row : kRegistrations) {
    list->RegisterFileFormat(row.Extension, row.Common, row.Individual, false, row.GraphicClass());
  }
  TheList() = std::move(list);
}

void ReaderFamilyFinalization() {
  std::lock_guard<std::mutex> lock(FamilyMutex());
  std::unique_ptr<TFileFormatList> list = std::move(TheList());
  if (!list) return;
  for (const TGraphicClass& (*cls)() :
       {&PSPGraphicClass, &PSDGraphicClass, &TargaGraphicClass, &TIFFGraphicClass, &SGIGraphicClass, &PCXGraphicClass,
        &AutodeskGraphicClass, &PCDGraphicClass, &PPMGraphicClass, &CUTGraphicClass, &RLAGraphicClass}) {
    list->UnregisterFileFormat("", cls());
  }
  list->UnregisterFileFormat("rle", TBitmap::StaticClass());
  list->UnregisterFileFormat("dib", TBitmap::StaticClass());
  list->UnregisterFileFormat("", PNGGraphicClass());
  list.reset();
}
