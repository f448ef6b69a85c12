#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/exceptions.h"
#include "core/files.h"
#include "core/graphic.h"
#include "core/icon.h"
#include "core/jpeg.h"
#include "core/streams.h"
#include "support/test_support.h"

using testsupport::TempDir;

namespace {

// Picture classes that remember what they loaded. The first byte of a
// file decides: 'x' fails the load half-way.
template <int N>
class TFake : public TGraphic {
 public:
  static const TGraphicClass& StaticClass() {
    static const std::string name = "TFake" + std::to_string(N);
    static const TGraphicClass cls{name.c_str(), &CreateInstance};
    return cls;
  }
  static std::unique_ptr<TGraphic> CreateInstance() { return std::make_unique<TFake>(); }
  const TGraphicClass& ClassType() const override { return StaticClass(); }
  int Width() const override { return static_cast<int>(content_.size()); }
  int Height() const override { return 1; }
  void LoadFromStream(TStream& stream) override {
    Progress(TProgressStage::psStarting, 0, "Loading...");
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(stream.Size()));
    stream.ReadBuffer(bytes.data(), stream.Size());
    if (!bytes.empty() && bytes[0] == 'x') throw EInvalidGraphic("broken fake");
    content_.assign(bytes.begin(), bytes.end());
    Progress(TProgressStage::psEnding, 100, "");
  }
  void SaveToStream(TStream& stream) override {
    stream.WriteBuffer(content_.data(), static_cast<std::int64_t>(content_.size()));
    if (!content_.empty() && content_[0] == 'x') throw EWriteError("broken half-way");
  }
  std::string content_;
};

using TFakeA = TFake<1>;
using TFakeB = TFake<2>;

void WriteText(const std::string& name, const std::string& text) {
  testsupport::WriteBytes(name, std::vector<std::uint8_t>(text.begin(), text.end()));
}

// Leaves the registry as it found it.
class Registry : public ::testing::Test {
 protected:
  void TearDown() override {
    TPicture::UnregisterGraphicClass(TFakeA::StaticClass());
    TPicture::UnregisterGraphicClass(TFakeB::StaticClass());
  }
  TempDir dir_;
};

}  // namespace

TEST_F(Registry, ExtensionsAreLowerCasedAndTheNewestRegistrationWins) {
  TPicture::RegisterFileFormat("SWA", "fake A", TFakeA::StaticClass());
  EXPECT_EQ(TPicture::FindFileFormat("swa"), &TFakeA::StaticClass());
  EXPECT_EQ(TPicture::FindFileFormat("SwA"), &TFakeA::StaticClass());
  TPicture::RegisterFileFormat("swa", "fake B", TFakeB::StaticClass());
  EXPECT_EQ(TPicture::FindFileFormat("SWA"), &TFakeB::StaticClass());
  TPicture::RegisterFileFormat("swb", "fake B", TFakeB::StaticClass());

  std::vector<TFileFormatInfo> formats = TPicture::FileFormats();
  int seen = 0;
  for (const TFileFormatInfo& f : formats) {
    if (f.Extension == "swa" && f.GraphicClass == &TFakeA::StaticClass()) {
      EXPECT_EQ(f.Description, "fake A");
      EXPECT_EQ(seen, 0) << "oldest first";
      seen = 1;
    } else if (f.Extension == "swa") {
      EXPECT_EQ(seen, 1);
      seen = 2;
    }
  }
  EXPECT_EQ(seen, 2);

  // Removing a class removes every registration of it; the older one of
  // the extension serves again.
  TPicture::UnregisterGraphicClass(TFakeB::StaticClass());
  EXPECT_EQ(TPicture::FindFileFormat("swa"), &TFakeA::StaticClass());
  EXPECT_EQ(TPicture::FindFileFormat("swb"), nullptr);
  TPicture::UnregisterGraphicClass(TFakeA::StaticClass());
  EXPECT_EQ(TPicture::FindFileFormat("swa"), nullptr);
  EXPECT_EQ(TPicture::FindFileFormat(""), nullptr);
}

TEST_F(Registry, LoadFromFilePicksTheClassByTheExtensionAfterTheLastDot) {
  TPicture::RegisterFileFormat("swa", "fake A", TFakeA::StaticClass());
  TPicture::RegisterFileFormat("swb", "fake B", TFakeB::StaticClass());
  WriteText(dir_.File("photo.swb.SWA"), "abc");
  TPicture picture;
  std::vector<std::string> messages;
  picture.OnProgress = [&](TGraphic&, TProgressStage, int, const std::string& text) { messages.push_back(text); };
  picture.LoadFromFile(dir_.File("photo.swb.SWA"));
  ASSERT_NE(picture.Graphic(), nullptr);
  EXPECT_EQ(&picture.Graphic()->ClassType(), &TFakeA::StaticClass());
  EXPECT_EQ(picture.Width(), 3);
  EXPECT_EQ(picture.Height(), 1);
  EXPECT_EQ(messages, (std::vector<std::string>{"Loading...", ""}));
}

TEST_F(Registry, UnknownExtensionsRaiseInvalidGraphicNamingThem) {
  struct Case {
    std::string File;
    std::string Message;
  };
  ASSERT_TRUE(ForceDirectories(dir_.File("folder.swa")));
  const Case cases[] = {
      {dir_.File("picture.Unknown"), "Unknown picture file extension (.unknown)"},
      {dir_.File("no_extension"), "Unknown picture file extension (.)"},
      {dir_.File("trailing."), "Unknown picture file extension (.)"},
      {dir_.File("folder.swa/file"), "Unknown picture file extension (.)"},  // the dot is the folder's
  };
  TPicture::RegisterFileFormat("swa", "fake A", TFakeA::StaticClass());
  for (const Case& k : cases) {
    TPicture picture;
    try {
      picture.LoadFromFile(k.File);
      ADD_FAILURE() << k.File << ": no exception";
    } catch (const EInvalidGraphic& e) {
      EXPECT_EQ(e.Message(), k.Message);
    }
    EXPECT_EQ(picture.Graphic(), nullptr);
  }
}

TEST_F(Registry, AFailedLoadLeavesTheOldGraphicInPlace) {
  TPicture::RegisterFileFormat("swa", "fake A", TFakeA::StaticClass());
  WriteText(dir_.File("good.swa"), "good");
  WriteText(dir_.File("bad.swa"), "xbad");
  TPicture picture;
  picture.LoadFromFile(dir_.File("good.swa"));
  TGraphic* old = picture.Graphic();
  EXPECT_THROW(picture.LoadFromFile(dir_.File("bad.swa")), EInvalidGraphic);
  EXPECT_EQ(picture.Graphic(), old);
  EXPECT_THROW(picture.LoadFromFile(dir_.File("missing.swa")), EFOpenError);
  EXPECT_THROW(picture.LoadFromFile(dir_.File("good.unknown")), EInvalidGraphic);
  EXPECT_EQ(picture.Graphic(), old);
  EXPECT_EQ(static_cast<TFakeA*>(picture.Graphic())->content_, "good");
}

TEST_F(Registry, SavingAGraphicThatFailsHalfWayKeepsTheOldFile) {
  const std::string name = dir_.File("out.swa");
  WriteText(name, "previous");
  TFakeA graphic;
  graphic.content_ = "xx written in part";
  EXPECT_THROW(graphic.SaveToFile(name), EWriteError);
  EXPECT_EQ(testsupport::ReadBytes(name), std::vector<std::uint8_t>({'p', 'r', 'e', 'v', 'i', 'o', 'u', 's'}));
  graphic.content_ = "fine";
  graphic.SaveToFile(name);
  EXPECT_EQ(testsupport::ReadBytes(name), std::vector<std::uint8_t>({'f', 'i', 'n', 'e'}));
}

TEST_F(Registry, TheCoreRegistersItsOwnPictureClasses) {
  RegisterCoreGraphics();
  RegisterCoreGraphics();  // twice is harmless
  for (const char* ext : {"bmp", "dib", "rle"}) EXPECT_EQ(TPicture::FindFileFormat(ext), &TBitmap::StaticClass());
  EXPECT_EQ(TPicture::FindFileFormat("ICO"), &TIcon::StaticClass());
  for (const char* ext : {"emf", "wmf"}) EXPECT_EQ(TPicture::FindFileFormat(ext), &TMetafile::StaticClass());
  for (const char* ext : {"jpg", "jpeg", "jpe", "jfif"})
    EXPECT_EQ(TPicture::FindFileFormat(ext), &TJPEGImage::StaticClass());
  int bitmaps = 0;
  for (const TFileFormatInfo& f : TPicture::FileFormats()) bitmaps += f.GraphicClass == &TBitmap::StaticClass();
  EXPECT_EQ(bitmaps, 3);
}

TEST_F(Registry, GraphicsWithoutAConversionRefuseToBeAssigned) {
  TFakeA a;
  TBitmap b;
  try {
    b.Assign(a);
    FAIL() << "no exception";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "Cannot assign a TFake1 to a TBitmap");
  }
  EXPECT_THROW(a.Assign(b), EConvertError);
}

TEST(ProgramFolder, IsTheExecutablesFolderUnlessATestPointsItElsewhere) {
  SetProgramDir("");
  const std::string dir = ProgramDir();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.back(), '/');
  EXPECT_TRUE(FileExists(dir + ProgramName()));
  char exe[PATH_MAX + 1] = {};
  ASSERT_GT(::readlink("/proc/self/exe", exe, PATH_MAX), 0);
  EXPECT_EQ(dir + ProgramName(), std::string(exe));

  SetProgramDir("/tmp/elsewhere");
  EXPECT_EQ(ProgramDir(), "/tmp/elsewhere/");
  SetProgramDir("/tmp/other/");
  EXPECT_EQ(ProgramDir(), "/tmp/other/");
  SetProgramDir("");
  EXPECT_EQ(ProgramDir(), dir);
}

TEST(FileHelpers, TellFilesFromFoldersAndMakeFolderChains) {
  TempDir dir;
  const std::string file = dir.File("a.txt");
  WriteText(file, "12345");
  EXPECT_TRUE(FileExists(file));
  EXPECT_FALSE(DirectoryExists(file));
  EXPECT_FALSE(FileExists(dir.Path()));
  EXPECT_TRUE(DirectoryExists(dir.Path()));
  EXPECT_FALSE(DirectoryExists(""));
  EXPECT_EQ(FileSize(file), 5);
  EXPECT_EQ(FileSize(dir.Path()), -1);
  EXPECT_EQ(FileSize(dir.File("missing")), -1);

  EXPECT_TRUE(ForceDirectories(dir.File("x/y/z/")));
  EXPECT_TRUE(DirectoryExists(dir.File("x/y/z")));
  EXPECT_TRUE(ForceDirectories(dir.File("x/y")));      // already there
  EXPECT_FALSE(ForceDirectories(dir.File("a.txt/sub")));  // through a file
  EXPECT_FALSE(ForceDirectories(""));

  EXPECT_TRUE(DeleteFile(file));
  EXPECT_FALSE(DeleteFile(file));
  EXPECT_FALSE(FileExists(file));
}
