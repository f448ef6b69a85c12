// The memory the batch keeps from file to file: after a large picture a
// small one leaves the work picture and the scratch pictures of the mark
// set with no more than the keep rule allows for what the small one
// needed, while pictures of one size after another take no new memory.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/routines.h"
#include "core/jpeg.h"
#include "imaging/mark.h"
#include "imaging/process.h"
#include "imaging/source_picture.h"
#include "imaging_fixture.h"

namespace {

struct TMarkCase {
  const char* Name;
  void (*SetUp)(TMark& m);
};

void Plain(TMark& m) {
  m.Records[0].SetAnchor(8);
  m.Records[0].SetTransparency(40);
}

void Framed(TMark& m) {
  TMarkInfo& r = m.Records[0];
  r.SetEffectFlags(mfSourceFrame | mfUseMask | mfSourceBackgroundColor);
  r.SetFrameWidthX(9);
  r.SetFrameWidthY(7);
  r.SetFrameStyle(1);
  r.SetBevelWidth(2);
  r.SetSourceBackColor(RGB(250, 240, 10));
  r.SetMaskRect(TRect{0, 0, 300, 200});
  m.Masks[0] = PatternBitmap(20, 15, 3);
}

// The treated picture is much smaller, then much larger, than the source:
// the work picture and the treated one swap memory of different sizes.
void Shrunk(TMark& m) {
  m.Records[0].SetEffectFlags(mfResizeSource);
  m.Records[0].SetSourceWidth(200);
  m.Records[0].SetSourceHeight(150);
}

void Grown(TMark& m) {
  m.Records[0].SetEffectFlags(mfResizeSource | mfUseMask);
  m.Records[0].SetSourceWidth(2400);
  m.Records[0].SetSourceHeight(1800);
  m.Records[0].SetMaskRect(TRect{0, 0, 100, 100});
  m.Masks[0] = PatternBitmap(5, 5, 1);
}

const TMarkCase kMarks[] = {{"plain", Plain}, {"framed", Framed}, {"shrunk", Shrunk}, {"grown", Grown}};

std::size_t PictureBytes(const TBitmap& b) {
  return static_cast<std::size_t>(b.RowStride()) * static_cast<std::size_t>(b.Height());
}

class WorkMemoryTest : public ImagingTest {
 protected:
  void SetUp() override {
    ImagingTest::SetUp();
    std::filesystem::create_directories(Dir() + "in");
    std::filesystem::create_directories(Dir() + "out");
    ProgramInfo().OutputFileType = otJpeg;
    for (int i = 0; i < 4; ++i) {
      large_.push_back(Source("large" + std::to_string(i) + ".jpg", PatternBitmap(1600, 1200, i)));
    }
    small_ = {Source("small.jpg", PatternBitmap(97, 61, 7)), Source("small.png", PatternBitmap(97, 61, 8))};
    largeBmp_ = Source("large.bmp", PatternBitmap(1600, 1200, 9));
  }

  std::string Source(const std::string& name, const TBitmap& picture) {
    const std::string path = Dir() + "in/" + name;
    if (name.ends_with(".jpg")) {
      testsupport::WriteBytes(path, EncodeJpeg(picture, 90));
    } else {
      SaveImageFile(picture, path);
    }
    return path;
  }

  std::string MarkFile(const TMarkCase& c) {
    TMark m;
    m.AddMark("");
    m.Records[0].SetPictureType(".bmp");
    m.MarkPictures[0] = PatternBitmap(30, 20, 5);
    c.SetUp(m);
    const std::string path = Dir() + c.Name + ".spm";
    EXPECT_TRUE(m.SaveMarkFile(0, path));
    return path;
  }

  // Processes src and gives back the most a picture of the file needed.
  std::size_t Process(TMark& m, const std::string& src) {
    const TBitmap loaded = [&] {
      TBitmap b;
      LoadSourcePicture(src, b);
      return b;
    }();
    EXPECT_TRUE(m.ProcessFile(src, Dir() + "out/" + ExtractFileNameNoExt(ExtractFileName(src)) + ".jpeg")) << src;
    return std::max(PictureBytes(loaded), PictureBytes(m.Composite));
  }

  std::vector<std::string> large_, small_;
  std::string largeBmp_;
};

}  // namespace

TEST_F(WorkMemoryTest, ALargePictureLeavesNoMemoryForTheSmallOnesAfterIt) {
  for (const TMarkCase& c : kMarks) {
    SCOPED_TRACE(c.Name);
    TMark m;
    m.AddMarkFiles(std::vector<std::string>{MarkFile(c)});
    m.LoadMarks();
    // Pictures of one size take turns in the memory they have.
    const std::uint8_t* second = nullptr;
    for (std::size_t i = 0; i < large_.size(); ++i) {
      Process(m, large_[i]);
      if (i == 1) second = m.Composite.Bits();
    }
    EXPECT_EQ(m.Composite.Bits(), second) << "pictures of one size took new memory";
    // A small picture after the large ones, read by the JPEG decoder or
    // through the picture registry.
    for (const std::string& before : {large_[0], largeBmp_}) {
      Process(m, before);
      for (const std::string& small : small_) {
        SCOPED_TRACE(before + " then " + small);
        const std::size_t need = Process(m, small);
        const std::size_t allowed = 3 * std::max(TPixelBuffer::KeepFactor * need, TPixelBuffer::KeepFloor);
        EXPECT_LE(m.WorkMemoryBytes(), allowed) << "the small picture needed " << need << " bytes";
      }
    }
  }
}
