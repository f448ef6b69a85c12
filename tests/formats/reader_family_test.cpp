#include "formats/reader_family.h"

#include <gtest/gtest.h>

#include "core/bitmap.h"
#include "core/exceptions.h"
#include "core/icon.h"
#include "core/jpeg.h"
#include "formats/gif/gif_image.h"
#include "formats/png/png_image.h"
#include "formats/png_reader/png_graphic.h"
#include "formats/registry.h"
#include "support/test_support.h"

namespace {

std::string PlatformDescription(const std::string& ext) {
  std::string found = "(none)";
  for (const TFileFormatInfo& f : TPicture::FileFormats()) {
    if (f.Extension == ext) found = f.Description;
  }
  return found;
}

struct Row {
  const char* Extension;
  const char* ClassName;
  const char* Description;  // as the picture registry has it
};

// In registration order.
const Row kRows[] = {
    {"bmp", "TBitmap", "Windows bitmaps"},
    {"ico", "TIcon", "Windows icons"},
    {"wmf", "TMetafile", "Windows metafiles"},
    {"emf", "TMetafile", "Windows enhanced meta files"},
    {"jfif", "TJPEGImage", "JFIF images"},
    {"jpg", "TJPEGImage", "JPG images"},
    {"jpe", "TJPEGImage", "JPE images"},
    {"jpeg", "TJPEGImage", "JPEG images"},
    {"rle", "TBitmap", "Run length encoded Windows bitmaps"},
    {"dib", "TBitmap", "Device independant Windows bitmaps"},
    {"win", "TTargaGraphic", "Truevision images"},
    {"vst", "TTargaGraphic", "Truevision images"},
    {"vda", "TTargaGraphic", "Truevision images"},
    {"tga", "TTargaGraphic", "Truevision images"},
    {"icb", "TTargaGraphic", "Truevision images"},
    {"tiff", "TTIFFGraphic", "Macintosh TIFF images"},
    {"tif", "TTIFFGraphic", "PC TIF images"},
    {"fax", "TTIFFGraphic", "GFI fax images"},
    {"eps", "TEPSGraphic", "Encapsulated Postscript images"},
    {"pcx", "TPCXGraphic", "ZSoft Paintbrush images"},
    {"pcc", "TPCXGraphic", "ZSoft Paintbrush images"},
    {"scr", "TPCXGraphic", "Word 5.x screen capture images"},
    {"rpf", "TRLAGraphic", "Alias/Wavefront images"},
    {"rla", "TRLAGraphic", "Alias/Wavefront images"},
    {"sgi", "TSGIGraphic", "SGI true color images"},
    {"rgba", "TSGIGraphic", "SGI true color images with alpha"},
    {"rgb", "TSGIGraphic", "SGI true color images"},
    {"bw", "TSGIGraphic", "SGI black/white images"},
    {"psd", "TPSDGraphic", "Photoshop images"},
    {"pdd", "TPSDGraphic", "Photoshop images"},
    {"ppm", "TPPMGraphic", "Portable pixel map images"},
    {"pgm", "TPPMGraphic", "Portable gray map images"},
    {"pbm", "TPPMGraphic", "Portable bitmap images"},
    {"cel", "TAutodeskGraphic", "Autodesk images"},
    {"pic", "TAutodeskGraphic", "Autodesk images"},
    {"pcd", "TPCDGraphic", "Kodak Photo-CD images"},
    {"cut", "TCUTGraphic", "Dr. Halo images"},
    {"psp", "TPSPGraphic", "Paintshop Pro images"},
    {"png", "TPNGGraphic", "Portable network graphic images"},
};

bool SameClassName(const TGraphicClass* cls, const std::string& name) { return cls && name == cls->Name; }

TEST(ReaderFamily, RegistersItsRowsInOrder) {
  RegisterImageFormats();
  ASSERT_NE(FileFormatList(), nullptr);
  const auto extensions = FileFormatList()->Extensions();
  ASSERT_EQ(extensions.size(), std::size(kRows));
  ASSERT_EQ(ReaderFamilyRegistrations().size(), std::size(kRows));
  for (std::size_t i = 0; i < std::size(kRows); ++i) {
    const Row& row = kRows[i];
    EXPECT_EQ(extensions[i].Extension, row.Extension);
    EXPECT_TRUE(SameClassName(extensions[i].GraphicClass, row.ClassName)) << row.Extension;
    EXPECT_TRUE(SameClassName(TPicture::FindFileFormat(row.Extension), row.ClassName)) << row.Extension;
    EXPECT_EQ(PlatformDescription(row.Extension), row.Description) << row.Extension;
  }
  // 13 reader classes and the core's four.
  EXPECT_EQ(FileFormatList()->Classes().size(), 17u);
  EXPECT_EQ(TPicture::FindFileFormat("gif"), &TGIFImage::StaticClass()) << "the family registers no gif";
  EXPECT_EQ(TPicture::FindFileFormat("jpg"), &TJPEGImage::StaticClass());
  EXPECT_EQ(TPicture::FindFileFormat("x"), nullptr);
  RegisterImageFormats();
  EXPECT_EQ(FileFormatList()->Extensions().size(), std::size(kRows)) << "registering again changes nothing";
}

TEST(ReaderFamily, LoadsByNameThroughTheRegisteredClass) {
  RegisterImageFormats();
  testsupport::TempDir dir;
  TBitmap bmp(3, 2);
  bmp.SaveToFile(dir.File("a.DIB"));
  TPicture picture;
  picture.LoadFromFile(dir.File("a.DIB"));
  ASSERT_NE(picture.Graphic(), nullptr);
  EXPECT_EQ(&picture.Graphic()->ClassType(), &TBitmap::StaticClass());
  EXPECT_EQ(picture.Width(), 3);
}

TEST(ReaderFamily, RegisteringAnExtensionTwice) {
  RegisterImageFormats();
  TFileFormatList& list = *FileFormatList();
  const TGraphicClass& targa = *TPicture::FindFileFormat("tga");
  const auto before = TPicture::FileFormats().size();
  try {
    list.RegisterFileFormat("tga", "", "", false, TBitmap::StaticClass());
    FAIL();
  } catch (const EInvalidGraphic& e) {
    EXPECT_STREQ(e.what(), "Attempt to register tga twice.");
  }
  EXPECT_EQ(TPicture::FileFormats().size(), before);
  EXPECT_EQ(list.Extensions()[13].GraphicClass, &targa);

  const TGraphicClass other{"TOther", [] { return std::unique_ptr<TGraphic>(new TBitmap); }};
  list.RegisterFileFormat("tga", "Other images", "", true, other);
  EXPECT_EQ(TPicture::FindFileFormat("tga"), &other);
  EXPECT_EQ(PlatformDescription("tga"), "Other images") << "an extension without its own takes the class's";
  list.RegisterFileFormat("tga", "", "", true, targa);
  EXPECT_EQ(TPicture::FindFileFormat("tga"), &targa);
  TPicture::UnregisterGraphicClass(other);
}

TEST(ReaderFamily, ShutDownAndStartAgain) {
  RegisterImageFormats();
  ReaderFamilyFinalization();
  EXPECT_EQ(FileFormatList(), nullptr);
  for (const char* ext : {"tga", "tif", "eps", "bmp", "jpg", "ico", "psd"}) {
    EXPECT_EQ(TPicture::FindFileFormat(ext), nullptr) << ext;
  }
  EXPECT_EQ(TPicture::FindFileFormat("gif"), &TGIFImage::StaticClass());
  EXPECT_EQ(TPicture::FindFileFormat("png"), &TPNGImage::StaticClass()) << "the codec's own registration stays";
  ReaderFamilyFinalization();  // a second time does nothing

  RegisterImageFormats();
  ASSERT_NE(FileFormatList(), nullptr);
  EXPECT_EQ(FileFormatList()->Extensions().size(), std::size(kRows));
  EXPECT_EQ(TPicture::FindFileFormat("bmp"), &TBitmap::StaticClass());
  EXPECT_EQ(TPicture::FindFileFormat("png"), &TPNGGraphic::StaticClass());
}

}  // namespace
