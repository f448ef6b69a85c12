#include "formats/common/file_format_list.h"

#include <gtest/gtest.h>

#include "core/bitmap.h"
#include "core/exceptions.h"

namespace {

// Classes of their own, for extensions nobody else registers, so these
// tests and the program's registrations never meet.
std::unique_ptr<TGraphic> MakeBitmap() { return std::make_unique<TBitmap>(); }
const TGraphicClass kAlpha{"TAlpha", &MakeBitmap};
const TGraphicClass kBeta{"TBeta", &MakeBitmap};

// The description the picture registry's newest entry of an extension has.
std::string PlatformDescription(const std::string& ext) {
  std::string found = "(none)";
  for (const TFileFormatInfo& f : TPicture::FileFormats()) {
    if (f.Extension == ext) found = f.Description;
  }
  return found;
}

class FileFormatListTest : public ::testing::Test {
 protected:
  void TearDown() override {
    list_.reset();
    TPicture::UnregisterGraphicClass(kAlpha);
    TPicture::UnregisterGraphicClass(kBeta);
  }
  std::unique_ptr<TFileFormatList> list_ = std::make_unique<TFileFormatList>();
};

TEST_F(FileFormatListTest, RegistersAndMirrorsWithTheRightDescription) {
  TFileFormatList& list = *list_;
  list.RegisterFileFormat("qa1", "Alpha images", "", false, kAlpha);
  list.RegisterFileFormat("QA2", "", "Second alpha images", false, kAlpha);
  list.RegisterFileFormat("qa3", "", "", false, kAlpha);
  EXPECT_EQ(TPicture::FindFileFormat("qa1"), &kAlpha);
  EXPECT_EQ(TPicture::FindFileFormat("qa2"), &kAlpha) << "the picture registry lower-cases";
  EXPECT_EQ(PlatformDescription("qa1"), "Alpha images");
  EXPECT_EQ(PlatformDescription("qa2"), "Second alpha images");
  EXPECT_EQ(PlatformDescription("qa3"), "Alpha images");
  EXPECT_EQ(list.FindExtension("qa2"), 1);
  EXPECT_EQ(list.FindExtension("Qa3"), 2);
  EXPECT_EQ(list.FindExtension(""), -1);
  EXPECT_EQ(list.FindExtension("qa4"), -1);
  ASSERT_EQ(list.Classes().size(), 1u);
  EXPECT_EQ(list.Classes()[0].Count, 3);
  EXPECT_EQ(list.FindGraphicClass(kBeta), -1);

  // A second registration without replacing changes neither registry.
  const auto before = TPicture::FileFormats().size();
  try {
    list.RegisterFileFormat("QA1", "Beta images", "", false, kBeta);
    FAIL();
  } catch (const EInvalidGraphic& e) {
    EXPECT_STREQ(e.what(), "Attempt to register QA1 twice.");
  }
  EXPECT_EQ(TPicture::FileFormats().size(), before);
  EXPECT_EQ(list.Classes().size(), 1u);
  EXPECT_EQ(TPicture::FindFileFormat("qa1"), &kAlpha);

  // Replacing moves the extension; its own description stays.
  list.RegisterFileFormat("qa2", "Beta images", "ignored", true, kBeta);
  EXPECT_EQ(TPicture::FindFileFormat("qa2"), &kBeta);
  EXPECT_EQ(PlatformDescription("qa2"), "Second alpha images");
  auto classes = list.Classes();
  ASSERT_EQ(classes.size(), 2u);
  EXPECT_EQ(classes[0].Count, 2);
  EXPECT_EQ(classes[1].GraphicClass, &kBeta);
  EXPECT_EQ(classes[1].Description, "Beta images");
  EXPECT_EQ(list.Extensions()[1].Description, "Second alpha images");

  // The last extension of a class moved away drops the class.
  list.RegisterFileFormat("qa1", "", "", true, kBeta);
  list.RegisterFileFormat("qa3", "", "", true, kBeta);
  classes = list.Classes();
  ASSERT_EQ(classes.size(), 1u);
  EXPECT_EQ(classes[0].Count, 3);
  EXPECT_EQ(PlatformDescription("qa3"), "Beta images");

  // The empty extension does nothing at all.
  const auto count = TPicture::FileFormats().size();
  list.RegisterFileFormat("", "X", "Y", false, kAlpha);
  EXPECT_EQ(TPicture::FileFormats().size(), count);
  EXPECT_EQ(list.Extensions().size(), 3u);
}

TEST_F(FileFormatListTest, UnregistersByExtensionAndByClass) {
  TFileFormatList& list = *list_;
  list.RegisterFileFormat("qb1", "Alpha", "", false, kAlpha);
  list.RegisterFileFormat("qb2", "", "", false, kAlpha);
  list.RegisterFileFormat("qb3", "", "", false, kAlpha);
  list.RegisterFileFormat("qb4", "Beta", "", false, kBeta);
  list.RegisterFileFormat("qb5", "", "", false, kBeta);

  // While the class keeps an extension, the picture registry keeps all.
  list.UnregisterFileFormat("QB2", kAlpha);
  EXPECT_EQ(list.FindExtension("qb2"), -1);
  EXPECT_EQ(list.Classes()[0].Count, 2);
  EXPECT_EQ(TPicture::FindFileFormat("qb2"), &kAlpha);
  list.UnregisterFileFormat("qb3", kAlpha);
  EXPECT_EQ(TPicture::FindFileFormat("qb1"), &kAlpha);
  list.UnregisterFileFormat("qb1", kAlpha);
  EXPECT_EQ(list.FindGraphicClass(kAlpha), -1);
  EXPECT_EQ(TPicture::FindFileFormat("qb1"), nullptr);
  EXPECT_EQ(TPicture::FindFileFormat("qb2"), nullptr);

  // Never registered: nothing happens.
  list.UnregisterFileFormat("qb9", kBeta);
  list.UnregisterFileFormat("", kAlpha);
  EXPECT_EQ(list.Extensions().size(), 2u);

  list.UnregisterFileFormat("", kBeta);
  EXPECT_TRUE(list.Extensions().empty());
  EXPECT_TRUE(list.Classes().empty());
  EXPECT_EQ(TPicture::FindFileFormat("qb5"), nullptr);
}

TEST_F(FileFormatListTest, ClearTakesEveryClassOutOfThePictureRegistry) {
  list_->RegisterFileFormat("qc1", "Alpha", "", false, kAlpha);
  list_->RegisterFileFormat("qc2", "Beta", "", false, kBeta);
  list_.reset();
  EXPECT_EQ(TPicture::FindFileFormat("qc1"), nullptr);
  EXPECT_EQ(TPicture::FindFileFormat("qc2"), nullptr);
}

}  // namespace
