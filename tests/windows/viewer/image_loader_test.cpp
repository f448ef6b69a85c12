// The viewer's loader thread: it decodes real files into pictures of its
// own while the GUI thread marks and renders other pictures, hands them
// back by path only, and is waited for before anything goes away. These
// tests also run in the ThreadSanitizer tree.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/jpeg.h"
#include "core/streams.h"
#include "formats/png/png_image.h"
#include "imaging/imaging_fixture.h"
#include "imaging/mark.h"
#include "imaging/source_picture.h"
#include "windows/viewer/image_loader.h"
#include "windows/viewer/view_marks.h"
#include "windows/viewer/view_zoom.h"

namespace {

class ViewerLoaderTest : public ImagingTest {
 protected:
  // Pictures of three types whose pixels differ from file to file.
  std::vector<std::string> WritePictures() {
    std::vector<std::string> files;
    TBitmap a = PatternBitmap(64, 48, 1);
    WriteFileAtomic(Dir() + "a.jpg", EncodeJpeg(a, 90));
    files.push_back(Dir() + "a.jpg");
    TBitmap b = PatternBitmap(33, 17, 2);
    b.SaveToFile(Dir() + "b.bmp");
    files.push_back(Dir() + "b.bmp");
    TPNGImage png;
    png.Assign(PatternBitmap(20, 31, 3));
    png.SaveToFile(Dir() + "c.png");
    files.push_back(Dir() + "c.png");
    return files;
  }
};

// A loader that counts its reads and can be held at its start.
struct TGatedLoader {
  std::atomic<int> reads{0};
  std::atomic<int> entered{0};
  std::mutex mutex;
  std::condition_variable opened;
  bool open = true;

  TPictureLoader Loader() {
    return [this](const std::string& name, TBitmap& into) {
      ++entered;
      {
        std::unique_lock<std::mutex> lock(mutex);
        opened.wait(lock, [this] { return open; });
      }
      ++reads;
      LoadSourcePicture(name, into);
    };
  }
  void Close() {
    std::lock_guard<std::mutex> lock(mutex);
    open = false;
  }
  void Open() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      open = true;
    }
    opened.notify_all();
  }
};

// Waits (up to ten seconds) until done() holds.
bool WaitUntil(const std::function<bool()>& done) {
  for (int i = 0; i < 10000; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return done();
}

}  // namespace

TEST_F(ViewerLoaderTest, LoadsThePictureTheSharedRoutineGives) {
  for (const std::string& file : WritePictures()) {
    SCOPED_TRACE(file);
    TLoadImage load(file, SourcePictureLoader());
    EXPECT_EQ(load.FileName(), file);
    TLoadedPicture result = load.Take();
    ASSERT_TRUE(result.Ok) << result.Error;
    EXPECT_EQ(result.FileName, file);
    EXPECT_TRUE(SamePixels(result.Picture, LoadSourcePicture(file)));
    EXPECT_FALSE(load.Take().Ok);  // taken once
  }
  // A damaged file and a missing one fail with the reader's error and no
  // picture.
  testsupport::WriteBytes(Dir() + "bad.png", {0x89, 'P', 'N', 'G', 1, 2, 3});
  for (const std::string& file : {Dir() + "bad.png", Dir() + "missing.jpg"}) {
    TLoadImage load(file, SourcePictureLoader());
    TLoadedPicture result = load.Take();
    EXPECT_FALSE(result.Ok);
    EXPECT_FALSE(result.Error.empty());
    EXPECT_EQ(result.Picture.Width(), 0);
  }
}

TEST_F(ViewerLoaderTest, PicturesAreMatchedByPathAndReadOnce) {
  const std::vector<std::string> files = WritePictures();
  TGatedLoader gate;
  {
    TPrefetcher ahead(gate.Loader());
    ahead.Start(files[0]);
    ahead.Start(files[0]);  // already on its way
    EXPECT_EQ(ahead.Started(), 1);
    EXPECT_EQ(ahead.Pending(), files[0]);
    std::optional<TBitmap> got = ahead.Take(files[0]);
    ASSERT_TRUE(got.has_value());
    EXPECT_TRUE(SamePixels(*got, LoadSourcePicture(files[0])));
    EXPECT_EQ(gate.reads.load(), 1);
    EXPECT_TRUE(ahead.Pending().empty());
    EXPECT_FALSE(ahead.Take(files[0]).has_value());  // used up

    // After the list changed, the picture loaded ahead belongs to another
    // file: it is never shown under this name.
    ahead.Start(files[1]);
    EXPECT_FALSE(ahead.Take(files[2]).has_value());
    EXPECT_TRUE(ahead.Pending().empty());
    // A failed load gives nothing either.
    ahead.Start(Dir() + "missing.bmp");
    EXPECT_FALSE(ahead.Take(Dir() + "missing.bmp").has_value());
  }
  // Another file wanted while a load is held: the GUI thread does not wait
  // for the reader it cannot stop.
  gate.Close();
  {
    TPrefetcher ahead(gate.Loader());
    ahead.Start(files[0]);
    ahead.Start(files[1]);
    EXPECT_EQ(ahead.Pending(), files[1]);
    EXPECT_EQ(ahead.Retired(), 1u);
    gate.Open();
    std::optional<TBitmap> got = ahead.Take(files[1]);
    ASSERT_TRUE(got.has_value());
    EXPECT_TRUE(SamePixels(*got, LoadSourcePicture(files[1])));
    // However fast the files change, only a few readers are left behind.
    for (int i = 0; i < 12; ++i) {
      ahead.Start(files[static_cast<std::size_t>(i) % files.size()]);
      EXPECT_LE(ahead.Retired(), TPrefetcher::MaxRetired);
    }
    ahead.Wait();
    EXPECT_EQ(ahead.Retired(), 0u);
    EXPECT_TRUE(ahead.Pending().empty());
  }
}

TEST_F(ViewerLoaderTest, ClosingWaitsForARunningLoad) {
  const std::vector<std::string> files = WritePictures();
  TGatedLoader gate;
  gate.Close();
  std::atomic<bool> destroyed{false};
  // Opens the gate a while after the load began; going away waits for it.
  std::thread opener([&] {
    while (gate.entered.load() == 0) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_FALSE(destroyed.load());
    gate.Open();
  });
  {
    TPrefetcher ahead(gate.Loader());
    ahead.Start(files[0]);
    while (gate.entered.load() == 0) std::this_thread::yield();
    ahead.Discard();  // at once: the load is set aside, still held
    EXPECT_TRUE(ahead.Pending().empty());
    EXPECT_EQ(ahead.Retired(), 1u);
  }
  destroyed = true;
  opener.join();
  EXPECT_EQ(gate.reads.load(), 1);
}

// The GUI thread marks and renders while the loader decodes: nothing the
// two run is shared (no scratch bitmaps, no settings).
TEST_F(ViewerLoaderTest, LoadingRunsBesideMarkingAndRendering) {
  const std::vector<std::string> files = WritePictures();
  TMark mark;
  mark.AddMark("");
  mark.Records[0].SetPictureType(".bmp");
  mark.Records[0].SetAnchor(4);
  mark.Records[0].SetTransparency(30);
  mark.Records[0].SetAngle(30);  // rotation goes through the scratch bitmap
  mark.MarkPictures[0] = SolidBitmap(9, 5, clRed);
  ASSERT_TRUE(mark.SaveMarkFile(0, Dir() + "m.spm"));
  TViewMarks marks;
  ASSERT_TRUE(marks.Load({Dir() + "m.spm"}));

  TPrefetcher ahead(SourcePictureLoader());
  TBitmap shown = PatternBitmap(80, 60, 9);
  for (int round = 0; round < 12; ++round) {
    const std::string& next = files[static_cast<std::size_t>(round) % files.size()];
    ahead.Start(next);
    TBitmap marked;
    marks.Apply(shown, marked);
    TViewZoom zoom;
    zoom.Picture = TPoint{marked.Width(), marked.Height()};
    zoom.View = TPoint{50, 40};
    TBitmap crop, display;
    RenderPlanInto(marked, zoom.RenderVisiblePart(), crop, display);
    EXPECT_GT(display.Width(), 0);
    std::optional<TBitmap> got = ahead.Take(next);
    ASSERT_TRUE(got.has_value());
    shown = std::move(*got);
  }
}

// The marks keep memory between pictures only while the next picture
// could use it: after large pictures a small one leaves little behind.
TEST_F(ViewerLoaderTest, MarksKeepNoMemoryOfALargePictureForASmallOne) {
  TMark mark;
  mark.AddMark("");
  mark.Records[0].SetPictureType(".bmp");
  mark.Records[0].SetEffectFlags(mfSourceFrame | mfUseMask);
  mark.Records[0].SetFrameWidthX(5);
  mark.Records[0].SetFrameWidthY(5);
  mark.Records[0].SetMaskRect(TRect{0, 0, 50, 50});
  mark.MarkPictures[0] = SolidBitmap(9, 5, clRed);
  mark.Masks[0] = PatternBitmap(4, 4, 1);
  ASSERT_TRUE(mark.SaveMarkFile(0, Dir() + "m.spm"));
  TViewMarks marks;
  ASSERT_TRUE(marks.Load({Dir() + "m.spm"}));
  TBitmap marked;
  marks.Apply(PatternBitmap(1600, 1200, 1), marked);
  marks.Apply(PatternBitmap(1600, 1200, 2), marked);
  const TBitmap small = PatternBitmap(97, 61, 3);
  marks.Apply(small, marked);
  ASSERT_EQ(marked.Width(), 97);
  const auto bytes = [](const TBitmap& b) {
    return static_cast<std::size_t>(b.RowStride()) * static_cast<std::size_t>(b.Height());
  };
  const std::size_t need = std::max(bytes(small), bytes(marked));
  // The marked picture and the three pictures the mark set keeps.
  EXPECT_LE(marks.WorkMemoryBytes() + marked.MemoryBytes(),
            4 * std::max(TPixelBuffer::KeepFactor * need, TPixelBuffer::KeepFloor));
}

// A damaged mark file leaves the pictures unmarked instead of failing them.
TEST_F(ViewerLoaderTest, MarksAreReadOnceAndADamagedFileMarksNothing) {
  testsupport::WriteBytes(Dir() + "bad.spm", {1, 2, 3, 4, 5});
  TViewMarks marks;
  EXPECT_FALSE(marks.Load({Dir() + "bad.spm"}));
  EXPECT_EQ(marks.Count(), 0);
  const TBitmap base = PatternBitmap(10, 10, 4);
  TBitmap out;
  marks.Apply(base, out);
  EXPECT_TRUE(SamePixels(out, base));
}

// A picture the viewer is done with is read into rather than freed and
// taken anew: the loader thread gets its memory, and a load that is no
// longer wanted gives its picture back for the next one.
TEST_F(ViewerLoaderTest, PicturesNoLongerShownAreReadInto) {
  const std::vector<std::string> files = WritePictures();
  TBitmap recycle = PatternBitmap(64, 48, 5);  // the size of a.jpg
  const std::uint8_t* memory = recycle.Bits();
  std::atomic<bool> handedOver{false};
  const TPictureLoader loader = [&](const std::string& name, TBitmap& into) {
    handedOver = into.Bits() == memory;
    LoadSourcePicture(name, into);
  };
  TLoadImage load(files[0], loader, std::move(recycle));
  TLoadedPicture result = load.Take();
  ASSERT_TRUE(result.Ok) << result.Error;
  EXPECT_TRUE(handedOver.load());
  EXPECT_EQ(result.Picture.Bits(), memory);
  EXPECT_TRUE(SamePixels(result.Picture, LoadSourcePicture(files[0])));

  TGatedLoader gate;
  TPrefetcher ahead(gate.Loader());
  // Not done yet: nothing comes back, and the load is set aside.
  gate.Close();
  ahead.Start(files[1]);
  ASSERT_TRUE(WaitUntil([&] { return gate.entered.load() == 1; }));
  EXPECT_EQ(ahead.Drop().Width(), 0);
  EXPECT_TRUE(ahead.Pending().empty());
  gate.Open();
  // Done: its picture comes back, whichever file it read.
  ahead.Start(files[2], std::move(result.Picture));
  ASSERT_TRUE(WaitUntil([&] { return ahead.Ready(); }));
  const TBitmap back = ahead.Drop();
  EXPECT_TRUE(SamePixels(back, LoadSourcePicture(files[2])));
  EXPECT_TRUE(ahead.Pending().empty());
  ahead.Wait();
  EXPECT_EQ(gate.reads.load(), 2);
}
