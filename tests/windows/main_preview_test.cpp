// The main window's preview keeps the memory of its pictures from one
// preview to the next only while the next picture could use it.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "imaging/imaging_fixture.h"
#include "imaging/mark.h"
#include "windows/main_preview.h"
#include "windows/windows_fixture.h"

namespace {

class PreviewMemoryTest : public WindowsTest {};

std::size_t PictureBytes(const TBitmap& b) {
  return static_cast<std::size_t>(b.RowStride()) * static_cast<std::size_t>(b.Height());
}

}  // namespace

// After huge pictures a small one leaves the panel's pictures (the loaded
// one, the marked one, the scratch it is drawn in and what is shown)
// within the keep rule of the small one, fitted or 1:1, with a mark or
// none.
TEST_F(PreviewMemoryTest, ALargePictureLeavesNoMemoryForASmallOne) {
  TMark mark;
  mark.AddMark("");
  mark.Records[0].SetPictureType(".bmp");
  mark.Records[0].SetAnchor(4);
  mark.Records[0].SetTransparency(30);
  mark.MarkPictures[0] = SolidBitmap(9, 5, clRed);
  ASSERT_TRUE(mark.SaveMarkFile(0, Dir() + "m.spm"));
  for (const bool autoFit : {true, false}) {
    for (const bool marked : {true, false}) {
      SCOPED_TRACE(testing::Message() << (autoFit ? "fitted" : "1:1") << (marked ? ", marked" : ", no mark"));
      const std::vector<std::string> marks = marked ? std::vector<std::string>{Dir() + "m.spm"} : std::vector<std::string>{};
      TPreviewPanel panel(nullptr);
      panel.resize(400, 300);
      panel.SetAutoFit(autoFit);
      for (int seed = 0; seed < 2; ++seed) {
        panel.SetPicture(PatternBitmap(1600, 1200, seed));
        panel.UpdateMarks(marks);
        panel.Relayout();
      }
      panel.SetPicture(PatternBitmap(97, 61, 5));
      panel.UpdateMarks(marks);
      panel.Relayout();
      ASSERT_EQ(panel.PreviewBitmap().Width(), 97);
      const std::size_t need = PictureBytes(panel.PreviewBitmap());
      EXPECT_LE(panel.PictureMemoryBytes(), 4 * std::max(TPixelBuffer::KeepFactor * need, TPixelBuffer::KeepFloor));
    }
  }
}
