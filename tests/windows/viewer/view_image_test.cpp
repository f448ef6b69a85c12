// The viewer window on the offscreen platform: pictures of a list shown
// marked, the title, keys, the prefetching loader, effects, file commands,
// the slideshow and the GIF timer.

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QFileDialog>
#include <QLineEdit>
#include <QGuiApplication>
#include <QImage>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QSignalSpy>
#include <QToolButton>
#include <QWindow>

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>

#include "core/files.h"
#include "core/jpeg.h"
#include "core/streams.h"
#include "formats/gif/gif_image.h"
#include "formats/registry.h"
#include "imaging/mark.h"
#include "imaging/source_picture.h"
#include "windows/main_gif_timer.h"
#include "windows/gl_panel.h"
#include "windows/gui_handler_qt.h"
#include "windows/main_models.h"
#include "windows/setup.h"
#include "support/view_list.h"
#include "windows/viewer/view_image.h"
#include "windows/windows_fixture.h"

namespace fs = std::filesystem;

namespace {

TBitmap Pattern(int w, int h, int seed) {
  TBitmap b(w, h, pf24bit);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      std::uint8_t* p = b.ScanLine(y) + 3 * x;
      p[0] = static_cast<std::uint8_t>(x * 3 + seed * 50);
      p[1] = static_cast<std::uint8_t>(y * 5 + seed * 20);
      p[2] = static_cast<std::uint8_t>(100 + seed * 30);
    }
  }
  return b;
}

bool Same(const TBitmap& a, const TBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  for (int y = 0; y < a.Height(); ++y) {
    for (int x = 0; x < a.Width(); ++x) {
      if (a.GetPixelColor(x, y) != b.GetPixelColor(x, y)) return false;
    }
  }
  return true;
}

class ViewerTest : public WindowsTest {
 protected:
  void SetUp() override {
    WindowsTest::SetUp();
    RegisterImageFormats();
    saved_ = TfrmViewImage::Services();
    TViewerServices& s = TfrmViewImage::Services();
    s.LoadPicture = [this](const std::string& name, TBitmap& into) {
      ++reads_;
      LoadSourcePicture(name, into);
    };
    s.ExecuteSetup = [this](int page) {
      setupPages_.push_back(page);
      return false;
    };
    s.ChooseSaveName = [this](QWidget*, const std::string& start, int& filter) -> std::optional<std::string> {
      saveStarts_.push_back(start);
      filter = saveFilter_;
      return saveAnswer_;
    };
    s.RandomIndex = [](int) { return 0; };
    ProgramInfo().ViewAlwaysTop = false;
  }
  void TearDown() override {
    viewer_.reset();
    TfrmViewImage::Services() = saved_;
    WindowsTest::TearDown();
  }

  std::string WriteBmp(const std::string& name, int w, int h, int seed) {
    Pattern(w, h, seed).SaveToFile(Dir() + name);
    return Dir() + name;
  }
  std::string WriteMark(int w, int h, TColor color) { return WriteOneColourMark(Dir(), "m", w, h, color); }
  TfrmViewImage& Open(int mode, const std::string& file, const std::vector<std::string>& marks = {},
                      const TBitmap& bitmap = TBitmap()) {
    viewer_ = std::make_unique<TfrmViewImage>(nullptr, bitmap, mode, file, list_.View(), marks);
    viewer_->show();
    viewer_->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(viewer_.get()));
    return *viewer_;
  }
  QAction* Action(const char* name) { return viewer_->findChild<QAction*>(name); }
  void Key(int key, Qt::KeyboardModifiers m = Qt::NoModifier) { QTest::keyClick(viewer_->pbPreview, Qt::Key(key), m); }

  TViewerServices saved_;
  std::atomic<int> reads_{0};
  std::vector<int> setupPages_;
  std::vector<std::string> saveStarts_;
  std::optional<std::string> saveAnswer_;
  int saveFilter_ = 1;
  testsupport::TFileViewList list_;
  std::unique_ptr<TfrmViewImage> viewer_;
};

}  // namespace

TEST_F(ViewerTest, ShowsThePictureMarkedWithItsTitleAndCaptions) {
  list_.Files = {WriteBmp("p.bmp", 800, 600, 1)};
  TfrmViewImage& v = Open(vmShellList, list_.Files[0], {WriteMark(5, 4, clRed)});
  ASSERT_EQ(v.PictureBitmap().Width(), 800);
  EXPECT_TRUE(Same(v.BasePicture(), Pattern(800, 600, 1)));
  // Marked as the batch marks: the mark's red over its corner alone.
  TBitmap marked = Pattern(800, 600, 1);
  TMark::ApplyMarksToPicture(marked, {Dir() + "spm/m.spm"});
  EXPECT_TRUE(Same(v.PictureBitmap(), marked));
  EXPECT_GE(GetRValue(v.PictureBitmap().GetPixelColor(2, 2)), 250);
  EXPECT_EQ(v.PictureBitmap().GetPixelColor(6, 6), Pattern(800, 600, 1).GetPixelColor(6, 6));
  // The title at 100 %: zoom, size, name and the product title.
  v.FormKeyDown(Qt::Key_Slash, Qt::KeypadModifier);
  EXPECT_EQ(v.windowTitle().toStdString(), "100% - 800x600 - p.bmp - Stampwise V3.09");
  ProgramInfo().ViewShowFullPath = true;
  v.UpdateTitle();
  EXPECT_EQ(v.windowTitle().toStdString(), "100% - 800x600 - " + list_.Files[0] + " - Stampwise V3.09");
  // Every command and hint has its text.
  for (QAction* a : v.findChildren<QAction*>()) {
    if (!a->objectName().startsWith("mnu")) continue;
    EXPECT_FALSE(a->text().trimmed().isEmpty()) << a->objectName().toStdString();
  }
  for (QMenu* m : {v.mnuEdit, v.mnuRotate, v.mnuEffect}) EXPECT_FALSE(m->title().isEmpty());
  for (QToolButton* b : v.findChildren<QToolButton*>()) {
    if (b->objectName().startsWith("tb")) {
      EXPECT_FALSE(b->toolTip().isEmpty()) << b->objectName().toStdString();
    }
  }
  EXPECT_EQ(v.mnuDisplaypertain->text(), "Display pertain");
}

// The QTest road: three pictures, Page Down, zoom with the keypad, pan
// with the mouse; the next picture comes from the loader thread.
TEST_F(ViewerTest, PageDownZoomAndPanOnThreePictures) {
  list_.Files = {WriteBmp("a.bmp", 300, 200, 1), WriteBmp("b.bmp", 320, 240, 2), WriteBmp("c.bmp", 200, 100, 3)};
  TfrmViewImage& v = Open(vmShellList, list_.Files[0]);
  EXPECT_EQ(v.DirectLoads(), 1);
  // The next picture is read ahead at once.
  EXPECT_EQ(v.PrefetchPending(), list_.Files[1]);
  ASSERT_TRUE(WaitFor([&] { return reads_.load() == 2; }));
  EXPECT_FALSE(v.mnuPrevious->isEnabled());

  Key(Qt::Key_PageDown);
  EXPECT_EQ(v.FileName(), list_.Files[1]);
  EXPECT_EQ(list_.Index, 1);
  EXPECT_TRUE(Same(v.PictureBitmap(), Pattern(320, 240, 2)));
  EXPECT_EQ(v.PrefetchHits(), 1);
  // Read once on the GUI thread and once ahead; the third is on its way.
  ASSERT_TRUE(WaitFor([&] { return reads_.load() == 3; }));
  EXPECT_EQ(v.DirectLoads(), 1);
  EXPECT_TRUE(v.mnuPrevious->isEnabled());

  Key(Qt::Key_Plus, Qt::KeypadModifier);
  EXPECT_EQ(v.ZoomModel().Zoom, 1500);
  Key(Qt::Key_Plus, Qt::KeypadModifier);
  EXPECT_EQ(v.ZoomModel().Zoom, 2000);
  Key(Qt::Key_Minus, Qt::KeypadModifier);
  EXPECT_EQ(v.ZoomModel().Zoom, 1500);
  Key(Qt::Key_Plus, Qt::KeypadModifier);
  // Make the view smaller than the zoomed picture so there is room to pan.
  v.resize(200, 150);
  QCoreApplication::processEvents();
  const TPoint before{v.ZoomModel().CenterX, v.ZoomModel().CenterY};
  QTest::mousePress(v.pbPreview, Qt::LeftButton, Qt::NoModifier, QPoint(60, 60));
  QTest::mouseMove(v.pbPreview, QPoint(40, 50));
  QTest::mouseRelease(v.pbPreview, Qt::LeftButton, Qt::NoModifier, QPoint(40, 50));
  // Dragging left by 20 and up by 10 at 2:1 moves the centre right 10 and down 5.
  EXPECT_EQ(v.ZoomModel().CenterX, std::clamp(before.X + 10, 0, 320));
  EXPECT_EQ(v.ZoomModel().CenterY, std::clamp(before.Y + 5, 0, 240));
  EXPECT_EQ(v.ZoomModel().Zoom, 2000);

  Key(Qt::Key_End);
  EXPECT_EQ(v.FileName(), list_.Files[2]);
  Key(Qt::Key_End);  // stays at the last
  EXPECT_EQ(list_.Index, 2);
  EXPECT_FALSE(v.mnuNext->isEnabled());
  Key(Qt::Key_PageUp);
  Key(Qt::Key_PageUp);
  Key(Qt::Key_PageUp);  // stays at the first
  EXPECT_EQ(list_.Index, 0);
}

TEST_F(ViewerTest, SpaceWrapsAndLocksKeepZoomAndCentre) {
  list_.Files = {WriteBmp("a.bmp", 60, 40, 1), WriteBmp("b.bmp", 60, 40, 2), WriteBmp("c.bmp", 60, 40, 3)};
  list_.Index = 2;
  TfrmViewImage& v = Open(vmConvList, list_.Files[2]);
  Key(Qt::Key_Space);
  EXPECT_EQ(list_.Index, 0);
  EXPECT_TRUE(Same(v.PictureBitmap(), Pattern(60, 40, 1)));
  ProgramInfo().SlideSequence = ssBackward;
  Key(Qt::Key_Space);
  EXPECT_EQ(list_.Index, 2);

  v.mnuZoomLock->trigger();
  v.mnuLocationLock->trigger();
  EXPECT_TRUE(v.tbZoomLock->isChecked());
  Key(Qt::Key_Plus, Qt::KeypadModifier);
  Key(Qt::Key_Plus, Qt::KeypadModifier);
  const TViewZoom z = v.ZoomModel();
  Key(Qt::Key_PageUp);
  EXPECT_EQ(v.ZoomModel().Zoom, z.Zoom);
  EXPECT_EQ(v.ZoomModel().CenterX, z.CenterX);
  EXPECT_EQ(v.ZoomModel().CenterY, z.CenterY);
  v.close();
  viewer_.reset();
  EXPECT_TRUE(ProgramInfo().ZoomLock);
  EXPECT_TRUE(ProgramInfo().LocationLock);
}

TEST_F(ViewerTest, OneBitmapIsShownWithoutNavigationOrFileCommands) {
  const TBitmap given = Pattern(40, 30, 4);
  list_.Files = {WriteBmp("a.bmp", 10, 10, 1)};
  TfrmViewImage& v = Open(vmBitmap, "", {WriteMark(4, 4, clRed)}, given);
  EXPECT_TRUE(Same(v.PictureBitmap(), given));  // no marks in mode 2
  for (int key : {Qt::Key_PageDown, Qt::Key_Space, Qt::Key_End, Qt::Key_Delete}) Key(key);
  EXPECT_EQ(list_.Index, 0);
  EXPECT_TRUE(Same(v.PictureBitmap(), given));
  for (QAction* a : {v.mnuNext, v.mnuPrevious, v.mnuCopy, v.mnuCopyFileTo, v.mnuSave, v.mnuDelete}) {
    EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
  }
  v.mnuSave->trigger();
  saveAnswer_ = Dir() + "out.png";
  saveFilter_ = 5;
  v.mnuSaveAs->trigger();
  ASSERT_EQ(saveStarts_.size(), 1u);
  EXPECT_EQ(saveStarts_[0], "newfile1");
  EXPECT_TRUE(Same(LoadSourcePicture(Dir() + "out.png"), given));
  v.mnuCopyToClip->trigger();
  const QImage clip = QGuiApplication::clipboard()->image();
  EXPECT_EQ(clip.size(), QSize(40, 30));
}

TEST_F(ViewerTest, EffectsWorkOnTheUnmarkedPictureAndTheFileWaitsForSave) {
  list_.Files = {WriteBmp("a.bmp", 30, 20, 1), WriteBmp("b.bmp", 30, 20, 2)};
  const auto original = testsupport::ReadBytes(list_.Files[0]);
  TfrmViewImage& v = Open(vmShellList, list_.Files[0], {WriteMark(3, 3, RGB(250, 250, 250))});
  QTest::keyClick(v.pbPreview, Qt::Key_BracketRight, Qt::ControlModifier);
  const TBitmap source = Pattern(30, 20, 1);
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 30; ++x) {
      const TColor want = source.GetPixelColor(x, y);
      const auto up = [](int c) { return std::min(c + 10, 255); };
      ASSERT_EQ(v.BasePicture().GetPixelColor(x, y),
                RGB(up(GetRValue(want)), up(GetGValue(want)), up(GetBValue(want))));
    }
  }
  // The mark is drawn once, on the result: not brightened, not stamped twice.
  TBitmap marked = v.BasePicture();
  TMark::ApplyMarksToPicture(marked, {Dir() + "spm/m.spm"});
  EXPECT_TRUE(Same(v.PictureBitmap(), marked));
  EXPECT_EQ(testsupport::ReadBytes(list_.Files[0]), original);
  // Rotating turns the picture; Save asks before it writes over the file.
  v.mnuRotate90->trigger();
  EXPECT_EQ(v.PictureBitmap().Width(), 20);
  handler_.Answer = idNo;
  v.mnuSave->trigger();
  EXPECT_EQ(testsupport::ReadBytes(list_.Files[0]), original);
  handler_.Answer = idYes;
  v.mnuSave->trigger();
  TBitmap saved;
  saved.LoadFromFile(list_.Files[0]);
  EXPECT_TRUE(Same(saved, v.PictureBitmap()));
  // The next picture is its own, not the effect's.
  Key(Qt::Key_PageDown);
  EXPECT_TRUE(Same(v.BasePicture(), Pattern(30, 20, 2)));
}

TEST_F(ViewerTest, DeleteAsksAndShowsTheNextPicture) {
  list_.Files = {WriteBmp("a.bmp", 30, 20, 1), WriteBmp("b.bmp", 30, 20, 2)};
  TfrmViewImage& v = Open(vmShellList, list_.Files[0]);
  handler_.Answer = idNo;
  Key(Qt::Key_Delete);
  EXPECT_TRUE(FileExists(list_.Files[0]));
  EXPECT_EQ(v.FileName(), list_.Files[0]);
  ASSERT_EQ(handler_.Boxes.size(), 1u);
  EXPECT_EQ(handler_.Boxes[0].Text, "Delete the file " + list_.Files[0] + "?");
  EXPECT_EQ(handler_.Boxes[0].Kind, mkQuestion);
  handler_.Answer = idYes;
  v.mnuDelete->trigger();
  EXPECT_FALSE(FileExists(list_.Files[0]));
  EXPECT_EQ(v.FileName(), list_.Files[1]);
  EXPECT_TRUE(Same(v.PictureBitmap(), Pattern(30, 20, 2)));
  // The last file: gone, and nothing new is shown.
  v.mnuDelete->trigger();
  EXPECT_FALSE(FileExists(list_.Files[1]));
  EXPECT_EQ(v.FileName(), list_.Files[1]);
}

TEST_F(ViewerTest, CopyFileToNeverRemovesTheFileAndTypesWithoutAWriterGoThroughSaveAs) {
  list_.Files = {WriteBmp("a.bmp", 12, 10, 1)};
  // ".jpe" is read as JPEG but is no type the program writes.
  WriteFileAtomic(Dir() + "pic.jpe", EncodeJpeg(Pattern(16, 8, 2), 90));
  list_.Files.push_back(Dir() + "pic.jpe");
  TfrmViewImage& v = Open(vmShellList, list_.Files[0]);
  const auto original = testsupport::ReadBytes(list_.Files[0]);
  handler_.Answer = idYes;
  saveAnswer_ = list_.Files[0];  // onto itself
  v.mnuCopyFileTo->trigger();
  EXPECT_EQ(testsupport::ReadBytes(list_.Files[0]), original);
  saveAnswer_ = Dir() + "copy.bmp";
  v.mnuCopyFileTo->trigger();
  EXPECT_EQ(testsupport::ReadBytes(Dir() + "copy.bmp"), original);
  EXPECT_EQ(saveStarts_.back(), "a.bmp");
  // An existing target stays without Yes.
  handler_.Answer = idNo;
  WriteBmp("copy.bmp", 3, 3, 5);
  const auto other = testsupport::ReadBytes(Dir() + "copy.bmp");
  v.mnuCopyFileTo->trigger();
  EXPECT_EQ(testsupport::ReadBytes(Dir() + "copy.bmp"), other);

  Key(Qt::Key_PageDown);
  EXPECT_EQ(v.FileName(), Dir() + "pic.jpe");
  EXPECT_EQ(v.PictureBitmap().Width(), 16);
  EXPECT_FALSE(v.mnuSave->isEnabled());
  saveAnswer_ = Dir() + "pic-marked.tif";
  saveFilter_ = 5;
  handler_.Answer = idYes;
  v.mnuSaveAs->trigger();
  EXPECT_FALSE(FileExists(Dir() + "pic-marked.tif"));
  EXPECT_TRUE(FileExists(Dir() + "pic-marked.tif.png"));
}

TEST_F(ViewerTest, SlideshowStepsStopsOnEnterAndOptionsPauseIt) {
  list_.Files = {WriteBmp("a.bmp", 20, 10, 1), WriteBmp("b.bmp", 20, 10, 2), WriteBmp("c.bmp", 20, 10, 3)};
  ProgramInfo().SlideDelay = 0;  // never a busy loop: the shortest wait is kept
  TfrmViewImage& v = Open(vmShellList, list_.Files[0]);
  Key(Qt::Key_Pause);
  EXPECT_TRUE(v.SlideshowRunning());
  EXPECT_TRUE(v.mnuSlideshow->isChecked());
  EXPECT_EQ(v.timSlideshow->interval(), MinSlideInterval);
  ASSERT_TRUE(WaitFor([&] { return list_.Index == 2; }));
  ASSERT_TRUE(WaitFor([&] { return list_.Index == 0; }));  // wraps

  v.mnuOptions->trigger();
  EXPECT_EQ(setupPages_, std::vector<int>{4});
  EXPECT_TRUE(v.SlideshowRunning());  // given back after the dialog

  Key(Qt::Key_Return);
  EXPECT_FALSE(v.SlideshowRunning());
  EXPECT_FALSE(v.tbSlideshow->isChecked());
  EXPECT_TRUE(v.isVisible());
  Key(Qt::Key_Escape);
  EXPECT_FALSE(v.isVisible());
}

TEST_F(ViewerTest, TheGifTimerRedrawsOnlyAnimations) {
  InstallGIFAnimationTimers();
  // One frame, and two frames of different colours.
  TBitmap red(8, 6, pf24bit), blue(8, 6, pf24bit);
  red.Canvas().Brush.Color = clRed;
  red.Canvas().FillRect(TRect{0, 0, 8, 6});
  blue.Canvas().Brush.Color = clBlue;
  blue.Canvas().FillRect(TRect{0, 0, 8, 6});
  red.SetPixelFormat(pf8bit);
  blue.SetPixelFormat(pf8bit);
  {
    TGIFImage one;
    one.Add(red);
    one.SaveToFile(Dir() + "one.gif");
    TGIFImage two;
    two.Add(red);
    two.Add(blue);
    two.SaveToFile(Dir() + "two.gif");
  }
  list_.Files = {Dir() + "one.gif", Dir() + "two.gif"};
  TfrmViewImage& v = Open(vmShellList, list_.Files[0], {WriteMark(2, 2, clLime)});
  EXPECT_FALSE(v.Animating());
  QTest::qWait(400);
  EXPECT_EQ(v.GifRedraws(), 0);
  EXPECT_EQ(v.PictureBitmap().GetPixelColor(0, 0), clLime - 0x100);  // the blend's 254
  EXPECT_TRUE(v.PrefetchPending().empty());  // GIF files are never loaded ahead

  Key(Qt::Key_PageDown);
  EXPECT_TRUE(v.Animating());
  ASSERT_TRUE(WaitFor([&] { return v.GifRedraws() >= 3; }));
  EXPECT_EQ(v.timGIF->interval(), 50);
  // Every sampled frame carries the mark.
  EXPECT_EQ(v.PictureBitmap().GetPixelColor(0, 0), clLime - 0x100);
  RemoveGIFAnimationTimers();
}

// Batch, preview and viewer give one picture for a GIF whose logical
// screen has no size: its frame's.
TEST_F(ViewerTest, BatchPreviewAndViewerLoadOneSourceAlike) {
  TBitmap frame = Pattern(6, 5, 1);
  frame.SetPixelFormat(pf8bit);
  TGIFImage gif;
  gif.Add(frame);
  gif.SaveToFile(Dir() + "sized.gif");
  auto bytes = testsupport::ReadBytes(Dir() + "sized.gif");
  std::fill(bytes.begin() + 6, bytes.begin() + 10, 0);  // logical screen 0 x 0
  testsupport::WriteBytes(Dir() + "unsized.gif", bytes);
  list_.Files = {Dir() + "unsized.gif"};
  TfrmViewImage& v = Open(vmShellList, list_.Files[0]);
  const TBitmap preview = LoadPreviewPicture(Dir() + "unsized.gif");
  TMark batch;
  ASSERT_TRUE(batch.ProcessFile(Dir() + "unsized.gif", Dir() + "out.bmp"));
  TBitmap converted;
  converted.LoadFromFile(Dir() + "out.bmp");
  EXPECT_EQ(preview.Width(), 6);
  EXPECT_TRUE(Same(preview, converted));
  EXPECT_TRUE(Same(v.BasePicture(), converted));
}

// The road of a user with "Always on top": Options, tick it, OK; Options,
// OK again; Save As, Cancel. Through all of it the viewer stays open and
// modal (its exec() runs on), top-most again after each dialog.
TEST_F(ViewerTest, AlwaysOnTopKeepsTheViewerOpenAndModalAroundItsDialogs) {
  list_.Files = {WriteBmp("a.bmp", 40, 30, 1), WriteBmp("b.bmp", 40, 30, 2)};
  const TSetupServices savedSetup = TfrmSetup::Services();
  TfrmSetup::Services().RegisterShellnook = [] { return true; };
  TfrmSetup::Services().UnregisterShellnook = [] { return true; };
  TfrmViewImage::Services().ExecuteSetup = [](int page) { return TfrmSetup::Execute(page); };
  const auto okSettings = [](bool tickAlwaysTop) {
    WhenModal<TfrmSetup>([tickAlwaysTop](TfrmSetup* setup) {
      if (tickAlwaysTop) setup->chkAlwaysTop->setChecked(true);
      ClickChild(setup, "btnOK");
    });
  };
  // What the viewer is after each step: open, the modal window, top-most.
  std::vector<std::string> states;
  const auto state = [&states](const char* step, TfrmViewImage* v) {
    const bool onTop = (v->windowFlags() & Qt::WindowStaysOnTopHint) && v->windowHandle() != nullptr &&
                       (v->windowHandle()->flags() & Qt::WindowStaysOnTopHint);
    states.push_back(std::string(step) + (v->isVisible() ? " open" : " gone") +
                     (QApplication::activeModalWidget() == v ? " modal" : " not modal") + (onTop ? " on top" : ""));
  };
  WhenModal<TfrmViewImage>([&](TfrmViewImage* v) {
    okSettings(true);
    v->mnuOptions->trigger();
    state("options", v);
    okSettings(false);
    v->mnuOptions->trigger();
    state("options again", v);
    saveAnswer_ = std::nullopt;
    v->mnuSaveAs->trigger();
    state("save as", v);
    v->mnuCopyFileTo->trigger();
    state("copy to", v);
    // Back in the viewer's own exec(): it is still the modal window.
    WhenModal<TfrmViewImage>(
        [&](TfrmViewImage* again) {
          state("afterwards", again);
          QTest::keyClick(again, Qt::Key_Escape);
        },
        3000);
  });
  TfrmViewImage::Execute(nullptr, TBitmap(), vmShellList, list_.Files[0], list_.View(), {});
  TfrmSetup::Services() = savedSetup;
  EXPECT_TRUE(ProgramInfo().ViewAlwaysTop);
  EXPECT_EQ(states, (std::vector<std::string>{"options open modal on top", "options again open modal on top",
                                              "save as open modal on top", "copy to open modal on top",
                                              "afterwards open modal on top"}));
  EXPECT_EQ(saveStarts_.size(), 2u);
}

// F4 onto an existing file answered No, then Yes; Save As onto an existing
// file answered No; Save As into a folder that cannot be written, OK on
// the error. Each question comes right after Qt's file dialog closed, while
// the main window is hidden: each sits on the viewer, and none ends the
// application.
TEST_F(ViewerTest, QuestionsAfterAFileDialogSitOnTheViewerAndEndNothing) {
  SetGuiHandler(&InstallGuiHandler());
  TfrmViewImage::Services().ChooseSaveName = TfrmViewImage::DefaultServices().ChooseSaveName;
  list_.Files = {WriteBmp("a.bmp", 24, 16, 1)};
  const std::string there = WriteBmp("there.bmp", 5, 5, 2);
  const auto before = testsupport::ReadBytes(there);
  testsupport::WriteBytes(Dir() + "plain-file", {'x'});
  const std::string unwritable = Dir() + "plain-file/out.bmp";

  struct TStep {
    QAction* TfrmViewImage::*Command;
    std::string Target;
    QMessageBox::StandardButton Answer;
  };
  const std::vector<TStep> steps = {{&TfrmViewImage::mnuCopyFileTo, there, QMessageBox::No},
                                    {&TfrmViewImage::mnuCopyFileTo, there, QMessageBox::Yes},
                                    {&TfrmViewImage::mnuSaveAs, there, QMessageBox::No},
                                    {&TfrmViewImage::mnuSaveAs, unwritable, QMessageBox::Ok}};
  std::vector<std::string> seen;
  QWidget mainWindow;
  QSignalSpy lastWindowClosed(qApp, &QGuiApplication::lastWindowClosed);
  QTimer::singleShot(0, qApp, [&] {
    mainWindow.show();
    mainWindow.hide();  // as the main window hides while the viewer shows
    WhenModal<TfrmViewImage>([&](TfrmViewImage* v) {
      for (const TStep& step : steps) {
        WhenModal<QFileDialog>([&step](QFileDialog* dialog) {
          // The dialog leaves its name box alone while that has the focus
          // (from a dialog before): the name is typed into it instead.
          dialog->selectFile(QString::fromStdString(step.Target));
          if (auto* name = dialog->findChild<QLineEdit*>("fileNameEdit")) {
            name->setText(QString::fromStdString(step.Target));
          }
          QMetaObject::invokeMethod(dialog, "accept");
        });
        WhenModal<QMessageBox>([&seen, &step, v](QMessageBox* box) {
          seen.push_back(box->parentWidget() == v ? "on the viewer" : "elsewhere");
          QTest::mouseClick(box->button(step.Answer), Qt::LeftButton);
        });
        (v->*step.Command)->trigger();
      }
      WhenModal<TfrmViewImage>(
          [&seen](TfrmViewImage* again) {
            seen.push_back("viewer still open");
            QTest::keyClick(again, Qt::Key_Escape);
          },
          3000);
    });
    TfrmViewImage::Execute(&mainWindow, TBitmap(), 0, list_.Files[0], list_.View(), {});
    seen.push_back("viewer closed");
    // Quitting closes the windows on screen: none is left to close.
    QCoreApplication::quit();
  });
  QCoreApplication::exec();
  EXPECT_EQ(seen, (std::vector<std::string>{"on the viewer", "on the viewer", "on the viewer", "on the viewer",
                                            "viewer still open", "viewer closed"}));
  EXPECT_EQ(lastWindowClosed.count(), 0);
  // No kept the file; Yes copied over it; the second No kept the copy.
  EXPECT_NE(testsupport::ReadBytes(there), before);
  EXPECT_EQ(testsupport::ReadBytes(there), testsupport::ReadBytes(list_.Files[0]));
}

// Keys as the keyboard sends them (to whatever has the focus) with the
// tool bar shown: the arrows pan by the step, Space goes on by the slide
// order, Enter closes; also after a tool button and the picture were
// clicked, and no tool button ever takes the focus.
TEST_F(ViewerTest, TheKeyTableHoldsWhateverWasClicked) {
  // Larger than the screen at 1:1, so that the arrows have room.
  list_.Files = {WriteBmp("a.bmp", 1600, 1200, 1), WriteBmp("b.bmp", 1600, 1200, 2),
                 WriteBmp("c.bmp", 1600, 1200, 3)};
  list_.Index = 1;
  ProgramInfo().ViewShowToolbar = true;
  ProgramInfo().SlideSequence = ssForward;
  TfrmViewImage& v = Open(vmConvList, list_.Files[1]);
  ASSERT_TRUE(v.cbTools->isVisible());
  const auto focusIsNoButton = [] { return qobject_cast<QToolButton*>(QApplication::focusWidget()) == nullptr; };
  EXPECT_TRUE(focusIsNoButton());
  const auto press = [&](Qt::Key key) {
    QTest::keyClick(v.windowHandle(), key);
    QCoreApplication::processEvents();
  };
  struct Case {
    Qt::Key Key;
    int Dx, Dy;
  };
  const auto panByTheTable = [&](const char* after) {
    SCOPED_TRACE(after);
    const int step = v.ZoomModel().ArrowStep();
    for (const Case& c : {Case{Qt::Key_Right, 1, 0}, Case{Qt::Key_Down, 0, 1}, Case{Qt::Key_Left, -1, 0},
                          Case{Qt::Key_Up, 0, -1}}) {
      const TPoint before{v.ZoomModel().CenterX, v.ZoomModel().CenterY};
      press(c.Key);
      EXPECT_EQ(v.ZoomModel().CenterX, before.X + c.Dx * step) << c.Key;
      EXPECT_EQ(v.ZoomModel().CenterY, before.Y + c.Dy * step) << c.Key;
      EXPECT_TRUE(focusIsNoButton());
    }
  };
  press(Qt::Key_Slash);  // 1:1
  ASSERT_LT(v.pbPreview->width(), 1600);
  panByTheTable("opened");
  QTest::mouseClick(v.tbZoomIn, Qt::LeftButton);
  EXPECT_EQ(v.ZoomModel().Zoom, 1500);
  EXPECT_TRUE(focusIsNoButton());
  QTest::mouseClick(v.pbPreview, Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
  EXPECT_TRUE(focusIsNoButton());
  panByTheTable("a tool button and the picture clicked");
  press(Qt::Key_Space);
  EXPECT_EQ(list_.Index, 2);
  press(Qt::Key_Space);
  EXPECT_EQ(list_.Index, 0);  // wraps
  EXPECT_TRUE(v.isVisible());
  press(Qt::Key_Return);
  EXPECT_FALSE(v.isVisible());
}

// Opened on a file that does not load: the viewer stays on it, says why,
// and steps on from it, the next picture read ahead meanwhile.
TEST_F(ViewerTest, OpenedOnADamagedFileItSaysWhyAndStepsOnFromIt) {
  const std::string damaged = Dir() + "damaged.jpg";
  testsupport::WriteBytes(damaged, {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F'});
  list_.Files = {WriteBmp("a.bmp", 30, 20, 1), damaged, WriteBmp("c.bmp", 30, 20, 3)};
  list_.Index = 1;
  TfrmViewImage& v = Open(vmConvList, damaged);
  ASSERT_TRUE(WaitFor([&] { return !handler_.Boxes.empty(); }));
  ASSERT_EQ(handler_.Boxes.size(), 1u);
  EXPECT_EQ(handler_.Boxes[0].Kind, mkError);
  EXPECT_FALSE(handler_.Boxes[0].Text.empty());
  EXPECT_EQ(v.FileName(), damaged);
  EXPECT_EQ(v.PictureBitmap().Width(), 0);
  EXPECT_NE(v.windowTitle().toStdString().find("damaged.jpg"), std::string::npos);
  EXPECT_EQ(v.PrefetchPending(), list_.Files[2]);
  Key(Qt::Key_PageDown);
  EXPECT_EQ(list_.Index, 2);
  EXPECT_EQ(v.FileName(), list_.Files[2]);
  EXPECT_TRUE(Same(v.PictureBitmap(), Pattern(30, 20, 3)));
  EXPECT_EQ(v.PrefetchHits(), 1);
  // Stepping onto it again shows nothing and asks nothing.
  Key(Qt::Key_PageUp);
  EXPECT_EQ(v.FileName(), damaged);
  EXPECT_EQ(v.PictureBitmap().Width(), 0);
  QCoreApplication::processEvents();
  EXPECT_EQ(handler_.Boxes.size(), 1u);
}

// Stepping through pictures with marks, read ahead or not, past a file
// that does not load and faster than the loader: files are read into the
// memory of pictures no longer shown, and the viewer never holds more
// than four pictures.
TEST_F(ViewerTest, StepsReadIntoPicturesNoLongerShownAndHoldAtMostFour) {
  const std::string damaged = Dir() + "damaged.jpg";
  testsupport::WriteBytes(damaged, {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F'});
  for (int i = 0; i < 6; ++i) list_.Files.push_back(WriteBmp("p" + std::to_string(i) + ".bmp", 64, 48, i));
  list_.Files.insert(list_.Files.begin() + 3, damaged);
  // Each read: the file, and whether it came with a picture's memory.
  std::vector<std::string> reads;
  std::mutex mutex;
  TfrmViewImage::Services().LoadPicture = [&](const std::string& name, TBitmap& into) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      reads.push_back(ExtractFileName(name) + (into.Width() > 0 && into.Height() > 0 ? " into memory" : " fresh"));
    }
    LoadSourcePicture(name, into);
  };
  TfrmViewImage& v = Open(vmConvList, list_.Files[0], {WriteMark(5, 4, clRed)});
  const auto step = [&](Qt::Key key, bool waitForTheLoader) {
    if (waitForTheLoader) {
      ASSERT_TRUE(WaitFor([&] { return v.PrefetchPending().empty() || v.PrefetchReady(); }));
    }
    Key(key);
    EXPECT_LE(v.PicturesHeld(), 4) << key << " onto " << v.FileName();
    // What is shown is the file's picture with the mark.
    if (v.FileName() != damaged) {
      TBitmap marked = LoadSourcePicture(v.FileName());
      TMark::ApplyMarksToPicture(marked, {Dir() + "spm/m.spm"});
      EXPECT_TRUE(Same(v.PictureBitmap(), marked)) << v.FileName();
    } else {
      EXPECT_EQ(v.PictureBitmap().Width(), 0);
    }
  };
  EXPECT_LE(v.PicturesHeld(), 4);
  for (Qt::Key key : {Qt::Key_PageDown, Qt::Key_PageDown, Qt::Key_PageDown, Qt::Key_PageDown, Qt::Key_End,
                      Qt::Key_Home}) {
    step(key, true);
  }
  ASSERT_TRUE(WaitFor([&] { return v.PrefetchReady(); }));
  {
    std::lock_guard<std::mutex> lock(mutex);
    // Only the first picture, the first read ahead and the two read
    // after the damaged file (whose reads gave their memory back) take
    // memory of their own.
    EXPECT_EQ(reads, (std::vector<std::string>{
                         "p0.bmp fresh", "p1.bmp fresh", "p2.bmp into memory", "damaged.jpg into memory",
                         "damaged.jpg into memory", "p3.bmp fresh", "p4.bmp fresh", "p5.bmp into memory",
                         "p4.bmp into memory", "p0.bmp into memory", "p1.bmp into memory"}));
  }
  // Faster than the loader.
  for (Qt::Key key : {Qt::Key_PageDown, Qt::Key_PageDown, Qt::Key_End, Qt::Key_PageUp, Qt::Key_Home,
                      Qt::Key_PageDown}) {
    step(key, false);
  }
  v.close();
  EXPECT_EQ(v.PicturesHeld(), 1);  // the picture shown
}

// A picture as tall as the screen, or zoomed to 200 % and more: the whole
// window, its frame and title bar included, stays on the screen.
TEST_F(ViewerTest, TheWindowFrameFitsTheScreen) {
  QScreen* screen = QGuiApplication::primaryScreen();
  ASSERT_NE(screen, nullptr);
  const QRect avail = screen->availableGeometry();
  struct Case {
    const char* Name;
    int Width, Height;
    int ZoomIns;
  };
  const Case cases[] = {
      {"as tall as the screen", avail.width() / 3, avail.height(), 0},
      {"as wide as the screen", avail.width(), avail.height() / 3, 0},
      {"zoomed to 200 %", avail.width() / 2, avail.height() / 2, 2},
      {"zoomed to 500 %", 200, 150, 5},
  };
  int seed = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    list_.Files = {WriteBmp("p" + std::to_string(seed) + ".bmp", c.Width, c.Height, seed)};
    ++seed;
    TfrmViewImage& v = Open(vmShellList, list_.Files[0]);
    for (int i = 0; i < c.ZoomIns; ++i) v.FormKeyDown(Qt::Key_Plus, Qt::KeypadModifier);
    QCoreApplication::processEvents();
    EXPECT_NE(v.frameGeometry(), v.geometry());  // the platform draws a frame
    EXPECT_TRUE(avail.contains(v.frameGeometry())) << v.frameGeometry().top() << " " << v.frameGeometry().height();
    v.close();
    viewer_.reset();
  }
}

// Under a window manager the frame is known only once the window has been
// framed, after the viewer first fitted it: the viewer fits it again then,
// so that the title bar is on the screen. Runs on a virtual display with
// openbox (windows_viewer_wm_xvfb); skipped elsewhere.
TEST_F(ViewerTest, UnderAWindowManagerTheFramedWindowFitsTheScreen) {
  if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs an X display";
  if (!FileExists("/usr/bin/openbox")) GTEST_SKIP() << "needs openbox";
  QProcess wm;
  wm.start("/usr/bin/openbox", {});
  ASSERT_TRUE(wm.waitForStarted());
  // A window of its own tells when the window manager frames windows.
  {
    QWidget probe;
    probe.resize(100, 100);
    probe.show();
    ASSERT_TRUE(WaitFor([&] { return !probe.windowHandle()->frameMargins().isNull(); }))
        << "openbox framed no window";
  }
  const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
  list_.Files = {WriteBmp("tall.bmp", avail.width() / 3, avail.height(), 1)};
  TfrmViewImage& v = Open(vmShellList, list_.Files[0]);
  EXPECT_TRUE(WaitFor([&] {
    QCoreApplication::processEvents();
    return !v.windowHandle()->frameMargins().isNull() && avail.contains(v.frameGeometry());
  })) << v.frameGeometry().top() << " " << v.frameGeometry().height() << " on " << avail.height();
  EXPECT_EQ(v.PictureBitmap().Height(), avail.height());
  v.close();
  viewer_.reset();
  wm.terminate();
  wm.waitForFinished();
}

// Hiding the tool bar from Options gives its band to the picture at once,
// and showing it again takes the band back, with the picture painted anew
// in the view's new size.
TEST_F(ViewerTest, TheToolBarShownOrHiddenFromOptionsLaysTheViewOutAtOnce) {
  list_.Files = {WriteBmp("a.bmp", 300, 200, 1)};
  ProgramInfo().ViewShowToolbar = true;
  TfrmViewImage& v = Open(vmShellList, list_.Files[0]);
  bool show = false;
  TfrmViewImage::Services().ExecuteSetup = [&show](int) {
    ProgramInfo().ViewShowToolbar = show;
    return true;
  };
  const int band = v.cbTools->height();
  ASSERT_GT(band, 0);
  for (bool shown : {false, true}) {
    SCOPED_TRACE(shown ? "shown again" : "hidden");
    show = shown;
    v.mnuOptions->trigger();
    EXPECT_EQ(v.cbTools->isVisible(), shown);
    const QRect client = v.contentsRect();
    const int top = shown ? band : 0;
    EXPECT_EQ(v.opGL->geometry(), QRect(client.left(), client.top() + top, client.width(), client.height() - top));
    EXPECT_EQ(v.pbPreview->size(), v.opGL->size());
    EXPECT_EQ(v.BackBuffer().Height(), v.pbPreview->height());
    EXPECT_LE(v.Plan().Dest.Bottom, v.pbPreview->height());
    EXPECT_GT(v.Plan().Dest.Bottom, 0);
  }
}

// The picture without marks is read again from the file for the first
// effect: a file gone meanwhile is said so, and the picture stays.
TEST_F(ViewerTest, AnEffectOnAPictureWhoseFileIsGoneSaysWhyAndChangesNothing) {
  list_.Files = {WriteBmp("a.bmp", 30, 20, 1)};
  TfrmViewImage& v = Open(vmShellList, list_.Files[0], {WriteMark(3, 3, clRed)});
  const TBitmap shown = v.PictureBitmap();
  fs::remove(list_.Files[0]);
  QTest::keyClick(v.pbPreview, Qt::Key_BracketRight, Qt::ControlModifier);
  ASSERT_EQ(handler_.Boxes.size(), 1u);
  EXPECT_EQ(handler_.Boxes[0].Kind, mkError);
  EXPECT_TRUE(Same(v.PictureBitmap(), shown));
}

// Until a picture is shown the view is the background colour of the
// settings; a system colour there is the colour it stands for, as the
// settings window shows it.
TEST_F(ViewerTest, TheViewWithoutAPictureShowsTheBackgroundColourOfTheSettings) {
  const struct {
    TColor Setting;
    QColor Shown;
  } cases[] = {{RGB(0, 98, 150), QColor(0, 98, 150)}, {clBtnFace, QColor(212, 208, 200)}};
  for (const auto& c : cases) {
    ProgramInfo().ViewSolidColor = c.Setting;
    viewer_ = std::make_unique<TfrmViewImage>(nullptr, Pattern(8, 8, 1), 2, std::string(), list_.View(),
                                              std::vector<std::string>{});
    viewer_->pbPreview->resize(4, 4);
    EXPECT_EQ(viewer_->pbPreview->grab().toImage().pixelColor(1, 1), c.Shown) << std::hex << c.Setting;
  }
}

// The slideshow pauses while a command shows a dialog, and runs on after
// it, also when the command fails.
TEST_F(ViewerTest, ASlideshowPausedForADialogRunsOnWhenTheCommandFails) {
  list_.Files = {WriteBmp("a.bmp", 20, 10, 1), WriteBmp("b.bmp", 20, 10, 2)};
  ProgramInfo().SlideDelay = 60000;
  TfrmViewImage& v = Open(vmShellList, list_.Files[0]);
  Key(Qt::Key_Pause);
  ASSERT_TRUE(v.SlideshowRunning());
  bool pausedMeanwhile = false;
  TfrmViewImage::Services().ExecuteSetup = [&](int) -> bool {
    pausedMeanwhile = !v.SlideshowRunning();
    throw std::runtime_error("The settings could not be read.");
  };
  v.mnuOptions->trigger();
  EXPECT_TRUE(pausedMeanwhile);
  ASSERT_EQ(handler_.Boxes.size(), 1u);
  EXPECT_EQ(handler_.Boxes[0].Text, "The settings could not be read.");
  EXPECT_TRUE(v.SlideshowRunning());
  EXPECT_TRUE(v.mnuSlideshow->isChecked());
  EXPECT_TRUE(v.timSlideshow->isActive());
}

// The locks are the zoom model's: read when the viewer opens, switched by
// the menu items and the tool button alike, shown by both, and stored when
// the viewer closes.
TEST_F(ViewerTest, TheLocksAreTheZoomModelsAndTheMenuAndTheButtonShowThem) {
  list_.Files = {WriteBmp("a.bmp", 60, 40, 1)};
  ProgramInfo().ZoomLock = true;
  ProgramInfo().LocationLock = false;
  TfrmViewImage& v = Open(vmShellList, list_.Files[0]);
  EXPECT_TRUE(v.ZoomModel().ZoomLock);
  EXPECT_FALSE(v.ZoomModel().LocationLock);
  const struct {
    const char* Command;
    bool ZoomLocked, LocationLocked;
  } steps[] = {{"tbZoomLock", false, false},
               {"mnuZoomLock", true, false},
               {"mnuLocationLock", true, true},
               {"tbZoomLock", false, true},
               {"tbZoomLock", true, true},
               {"mnuLocationLock", true, false}};
  for (const auto& s : steps) {
    if (QString(s.Command).startsWith("tb")) {
      v.findChild<QToolButton*>(s.Command)->click();
    } else {
      Action(s.Command)->trigger();
    }
    EXPECT_EQ(v.ZoomModel().ZoomLock, s.ZoomLocked) << s.Command;
    EXPECT_EQ(v.ZoomModel().LocationLock, s.LocationLocked) << s.Command;
    EXPECT_EQ(v.mnuZoomLock->isChecked(), s.ZoomLocked) << s.Command;
    EXPECT_EQ(v.tbZoomLock->isChecked(), s.ZoomLocked) << s.Command;
    EXPECT_EQ(v.mnuLocationLock->isChecked(), s.LocationLocked) << s.Command;
  }
  // With the zoom locked the window is fitted around the zoomed picture.
  Key(Qt::Key_Plus, Qt::KeypadModifier);
  EXPECT_EQ(v.ZoomModel().WindowPictureSize(), v.ZoomModel().ZoomedSize());
  v.close();
  viewer_.reset();
  EXPECT_TRUE(ProgramInfo().ZoomLock);
  EXPECT_FALSE(ProgramInfo().LocationLock);
}
