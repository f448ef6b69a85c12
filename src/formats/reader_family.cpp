#include "formats/reader_family.h"

#include <memory>
#include <mutex>

#include "core/bitmap.h"
#include "core/icon.h"
#include "core/jpeg.h"
#include "formats/autodesk/autodesk_graphic.h"
#include "formats/common/reader_texts.h"
#include "formats/cut/cut_graphic.h"
#include "formats/pcd/pcd_graphic.h"
#include "formats/pcx/pcx_graphic.h"
#include "formats/png_reader/png_graphic.h"
#include "formats/ppm/ppm_graphic.h"
#include "formats/psd/psd_graphic.h"
#include "formats/psp/psp_graphic.h"
#include "formats/rla/rla_graphic.h"
#include "formats/sgi/sgi_graphic.h"
#include "formats/tga/tga_graphic.h"
#include "formats/tiff/tiff_graphic.h"

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
    {"win", &TTargaGraphic::StaticClass, t::TruevisionImages, ""},
    {"vst", &TTargaGraphic::StaticClass, "", ""},
    {"vda", &TTargaGraphic::StaticClass, "", ""},
    {"tga", &TTargaGraphic::StaticClass, "", ""},
    {"icb", &TTargaGraphic::StaticClass, "", ""},
    {"tiff", &TTIFFGraphic::StaticClass, t::TIFFImages, t::MacTIFFImages},
    {"tif", &TTIFFGraphic::StaticClass, "", t::PCTIFImages},
    {"fax", &TTIFFGraphic::StaticClass, "", t::FaxImages},
    {"eps", &TEPSGraphic::StaticClass, t::EPSImages, ""},
    {"pcx", &TPCXGraphic::StaticClass, t::PCXImages, ""},
    {"pcc", &TPCXGraphic::StaticClass, "", ""},
    {"scr", &TPCXGraphic::StaticClass, "", t::WordScreenCapture},
    {"rpf", &TRLAGraphic::StaticClass, t::AliasImages, ""},
    {"rla", &TRLAGraphic::StaticClass, "", ""},
    {"sgi", &TSGIGraphic::StaticClass, t::SGIImages, t::SGITrueColor},
    {"rgba", &TSGIGraphic::StaticClass, "", t::SGITrueColorAlpha},
    {"rgb", &TSGIGraphic::StaticClass, "", t::SGITrueColor},
    {"bw", &TSGIGraphic::StaticClass, "", t::SGIBlackWhite},
    {"psd", &TPSDGraphic::StaticClass, t::PhotoshopImages, ""},
    {"pdd", &TPSDGraphic::StaticClass, "", ""},
    {"ppm", &TPPMGraphic::StaticClass, t::PortableMaps, t::PortablePixmaps},
    {"pgm", &TPPMGraphic::StaticClass, "", t::PortableGraymaps},
    {"pbm", &TPPMGraphic::StaticClass, "", t::PortableBitmaps},
    {"cel", &TAutodeskGraphic::StaticClass, t::AutodeskImages, ""},
    {"pic", &TAutodeskGraphic::StaticClass, t::AutodeskImages, ""},
    {"pcd", &TPCDGraphic::StaticClass, t::PhotoCDImages, ""},
    {"cut", &TCUTGraphic::StaticClass, t::HaloImages, ""},
    {"psp", &TPSPGraphic::StaticClass, t::PaintShopProImages, ""},
    {"png", &TPNGGraphic::StaticClass, t::PNGImages, ""},
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
       {&TPSPGraphic::StaticClass, &TPSDGraphic::StaticClass, &TTargaGraphic::StaticClass, &TTIFFGraphic::StaticClass,
        &TSGIGraphic::StaticClass, &TPCXGraphic::StaticClass, &TAutodeskGraphic::StaticClass, &TPCDGraphic::StaticClass,
        &TPPMGraphic::StaticClass, &TCUTGraphic::StaticClass, &TRLAGraphic::StaticClass}) {
    list->UnregisterFileFormat("", cls());
  }
  list->UnregisterFileFormat("rle", TBitmap::StaticClass());
  list->UnregisterFileFormat("dib", TBitmap::StaticClass());
  list->UnregisterFileFormat("", TPNGGraphic::StaticClass());
  list.reset();
}
