// The main window on the offscreen platform, in a program folder of its
// own: gathering files, marks and layers, the marked preview, the batch
// with its overwrite question, Stop and log, the hand-over file, drops,
// languages, skins and closing. Dialogs are answered by the recording
// window side and the replaced services, never by waiting on them.

#include <sys/stat.h>

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QDir>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QScrollBar>
#include <QToolButton>
#include <QUrl>

#include <filesystem>
#include <memory>
#include <set>

#include "app/messages.h"
#include "core/jpeg.h"
#include "formats/registry.h"
#include "imaging/mark.h"
#include "skin/skin_form.h"
#include "skin/skin_manager.h"
#include "windows/main_form.h"
#include "windows/path_labels.h"
#include "windows/query_over.h"
#include "windows/shell_tree.h"
#include "windows/viewer/view_image.h"
#include "support/pictures.h"
#include "windows/windows_fixture.h"

namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

using testsupport::PatternPicture;
using testsupport::SolidPicture;

// The marks are blended at transparency 0, which may leave a channel one
// step short of the mark's colour.
::testing::AssertionResult Near(TColor actual, TColor expected) {
  const auto diff = [](int a, int b) { return a > b ? a - b : b - a; };
  if (diff(GetRValue(actual), GetRValue(expected)) <= 2 && diff(GetGValue(actual), GetGValue(expected)) <= 2 &&
      diff(GetBValue(actual), GetBValue(expected)) <= 2) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << std::hex << actual << " is not near " << expected;
}

class MainFormTest : public WindowsTest {
 protected:
  void SetUp() override {
    WindowsTest::SetUp();
    RegisterImageFormats();
    fs::create_directories(Dir() + "in");
    fs::create_directories(Dir() + "out");
    TMainServices& s = TfrmMain::Services();
    s.QueryOverwrite = [this](const std::string& text) {
      questions_.push_back(text);
      const int a = answers_.empty() ? owNo : answers_.front();
      if (!answers_.empty()) answers_.erase(answers_.begin());
      return a;
    };
    s.ShowLog = [this](const TStringList& lines) { logs_.push_back(lines); };
    s.SelectFolder = [this](std::string& path) {
      offeredFolder_ = path;
      if (chosenFolder_.empty()) return false;
      path = chosenFolder_;
      return true;
    };
    s.ChooseMarkFiles = [this](QWidget*) { return importFiles_; };
    s.ChoosePreviewSaveName = [this](QWidget*) { return saveName_; };
    s.ExecuteSetup = [this](int page) {
      setupPages_.push_back(page);
      return false;
    };
    s.StartProgram = [this](const std::string& program, const std::string& folder) {
      started_.push_back(program + "|" + folder);
      return true;
    };
    s.ViewImage = [this](QWidget* owner, const TBitmap& bitmap, int mode, const std::string& file, const TViewList& list,
                         const std::vector<std::string>& marks) {
      TViewing v{owner, bitmap, mode, file, {}, -1, marks, owner->isVisible()};
      if (list.Valid()) {
        for (int i = 0; i < list.Count(); ++i) v.Files.push_back(list.FileName(i));
        v.Index = list.ItemIndex();
        if (list.Count() > 1) list.Select(list.Count() - 1);  // as the viewer leaves it
      }
      viewings_.push_back(v);
    };
    s.ExecuteMarkEditor = [this](bool editExisting, const std::string& name) {
      editorCalls_.push_back((editExisting ? "edit " : "new ") + name);
      if (onEditor_) onEditor_(editExisting, name);
      return editorSaves_;
    };
    ProgramInfo().CfgDefPath = Dir() + "in";
    ProgramInfo().AutoLocateOldPath = true;
  }

  void TearDown() override {
    handler_.OnPump = nullptr;
    form_.reset();
    // A test that skinned the window leaves no skin manager behind.
    DestroySkinManager();
    SetSkinManagerFactory(nullptr);
    TfrmMain::Services() = TfrmMain::DefaultServices();
    WindowsTest::TearDown();
  }

  TfrmMain& Form() {
    if (!form_) form_ = std::make_unique<TfrmMain>();
    return *form_;
  }
  TfrmMain& ShownForm() {
    TfrmMain& form = Form();
    form.show();
    EXPECT_TRUE(WaitFor([&] { return form.isVisible(); }));
    return form;
  }

  // A mark of one colour in the top-left corner, drawn fully opaque.
  std::string WriteMark(const std::string& name, int w, int h, TColor color) {
    return WriteOneColourMark(Dir(), name, w, h, color);
  }
  std::string WriteBmp(const std::string& relative, int seed, int w = 12, int h = 8) {
    const std::string path = Dir() + relative;
    fs::create_directories(fs::path(path).parent_path());
    TBitmap b = PatternPicture(w, h, seed);
    b.SaveToFile(path);
    return path;
  }
  std::string WriteJpeg(const std::string& relative, int seed) {
    const std::string path = Dir() + relative;
    testsupport::WriteBytes(path, EncodeJpeg(PatternPicture(16, 10, seed), 90));
    return path;
  }
  void GoTo(TfrmMain& form, const std::string& folder) {
    ShellTreeGotoPath(*form.tvwPath, folder);
    ASSERT_EQ(form.ShellListFolder(), folder);
  }
  void ClickConvItem(TfrmMain& form, int index) {
    QTreeWidgetItem* item = form.lvwConvFile->topLevelItem(index);
    ASSERT_NE(item, nullptr);
    const QRect r = form.lvwConvFile->visualItemRect(item);
    QTest::mouseClick(form.lvwConvFile->viewport(), Qt::LeftButton, {}, r.center());
  }
  bool HasBox(int number, int kind) const {
    for (const auto& box : handler_.Boxes) {
      if (box.Text.rfind(GetMessageText(number), 0) == 0 && box.Kind == kind) return true;
    }
    return false;
  }

  std::unique_ptr<TfrmMain> form_;
  std::vector<int> answers_;
  std::vector<std::string> questions_;
  std::vector<TStringList> logs_;
  std::string offeredFolder_;
  std::string chosenFolder_;
  std::vector<std::string> importFiles_;
  std::optional<std::string> saveName_;
  std::vector<int> setupPages_;
  std::vector<std::string> started_;
  // What the viewer was opened with.
  struct TViewing {
    QWidget* Owner;
    TBitmap Bitmap;
    int Mode;
    std::string File;
    std::vector<std::string> Files;
    int Index;
    std::vector<std::string> Marks;
    bool OwnerVisible;
  };
  std::vector<TViewing> viewings_;
  // The mark editor's calls, what it does meanwhile and its answer.
  std::vector<std::string> editorCalls_;
  std::function<void(bool, const std::string&)> onEditor_;
  bool editorSaves_ = false;
};

// ---- The form and its texts --------------------------------------------------------

TEST_F(MainFormTest, EveryControlOfTheLanguageTableIsOnTheForm) {
  TfrmMain& form = Form();
  for (const char* name :
       {"mnuFile", "mnuExit", "tbExit", "mnuVeilpaint", "mnuMakemark", "mnuCreate", "tbMakeCurrently",
        "mnuCreateToNewFolder", "tbCreateToNewFolder", "mnuStopTran", "tbStopTran", "mnuS0", "mnuNewmark",
        "miAddMark", "mnuEditmark", "miEditMark", "mnuDelmark", "miDelMark", "mnuInportMark", "miInportMark",
        "mnuExportMark", "miExportMark", "mnuView", "mnuBrowse", "mnuRefresh", "mnuRefreshMark", "mnuAutoFitWindow",
        "mnuLanguagePack", "mnuSkin", "mnuSkinDefault", "mnuSkin1", "mnuSkin2", "mnuSkin3", "mnuSkin4", "mnuTools",
        "mnuSetup", "tbSetup", "mnuH0", "mnuHelp", "mnuMainPage", "mnuSaveAs", "tbNewmark", "tbEditmark",
        "tbDelmark", "tbAutoFitWindow", "tbTutorial", "tbBrowse", "lblAddress", "sbGo", "pnlSelectFile",
        "lvwConvFile", "tbAddFile", "tbAddAll", "tbDelFile", "tbDelAllFile", "tbAddFolder", "tbStop", "pnlmarkList",
        "pnlSelectmark", "lvwSelectMark", "btnClear", "btnClearAll",
        // The rest of the window's named parts.
        "tvwPath", "lvwFile", "pnlAddress", "edtAddress", "sbUP", "ffFind", "chkMark", "pnlmark", "PopupMenu1",
        "pnlSelectModel", "btnUp", "btnDown", "SpeedButton3", "SpeedButton4", "pnlPreview", "pnlView", "sbWidth",
        "sbHeight", "opGL", "pbPreview", "PopupMenu2", "sbBar", "pnlPosition", "pbPosition", "imgWebPage"}) {
    EXPECT_NE(form.findChild<QObject*>(name), nullptr) << name;
  }
  EXPECT_EQ(form.objectName(), "frmMain");
  EXPECT_EQ(form.windowTitle().toStdString(), GetMessageText(99) + " V3.09");
  EXPECT_EQ(form.mnuFile->title().toStdString(), GetMessageText(210));
  EXPECT_EQ(form.tbMakeCurrently->text().toStdString(), GetMessageText(221));
  EXPECT_EQ(form.tbMakeCurrently->toolTip().toStdString(), GetMessageText(330));
  EXPECT_EQ(form.mnuSkin3->text().toStdString(), GetMessageText(246) + " &3");
  EXPECT_EQ(form.btnClearAll->toolTip().toStdString(), GetMessageText(308));
  EXPECT_EQ(form.lvwSelectMark->headerItem()->text(0).toStdString(), GetMessageText(322));
  EXPECT_EQ(form.lvwConvFile->headerItem()->text(0).toStdString(), GetMessageText(304));
  for (int n : {105, 210, 212, 220, 221, 222, 223, 230, 231, 232, 233, 234, 235, 240, 241, 242, 243, 244, 245, 246,
                250, 251, 260, 261, 262, 300, 301, 302, 303, 305, 306, 307, 308, 309, 310, 320, 321, 322, 330, 334,
                335, 336, 340, 341, 342, 343, 345, 355}) {
    EXPECT_FALSE(Trim(GetMessageText(n)).empty()) << n;
  }
  // Every command is there and on: the viewer, the mark editor and the
  // stored skins too.
  EXPECT_TRUE(form.tbBrowse->isEnabled());
  for (QToolButton* on : {form.tbNewmark, form.tbEditmark}) {
    EXPECT_TRUE(on->isEnabled()) << on->objectName().toStdString();
  }
  for (QAction* on : {form.mnuNewmark, form.mnuEditmark, form.miAddMark, form.miEditMark, form.mnuDelmark,
                      form.miDelMark, form.mnuInportMark, form.mnuExportMark, form.mnuSetup, form.mnuSkinDefault,
                      form.mnuSkin1, form.mnuSkin2, form.mnuSkin3, form.mnuSkin4, form.mnuHelp, form.mnuMainPage,
                      form.mnuVeilpaint, form.mnuBrowse, form.actViewPreview}) {
    EXPECT_TRUE(on->isEnabled()) << on->objectName().toStdString();
  }
  EXPECT_FALSE(form.mnuStopTran->isEnabled());
  EXPECT_FALSE(form.mnuCreate->isEnabled());
}

// A command waiting for its window is one action: switched on and connected,
// its tool button, its popup item and the list gestures that stand for it
// follow.
TEST_F(MainFormTest, PendingCommandsAreOneActionEachThatTheirControlsFollow) {
  WriteMark("A", 2, 2, clRed);
  const std::string a = WriteBmp("in/a.bmp", 1);
  TfrmMain& form = ShownForm();
  form.WMDropFiles({a});
  struct TCommand {
    QAction* Action;
    QToolButton* Button;
    QAction* Popup;
    // A double click that stands for the command (nullptr: none).
    QAbstractItemView* List;
  };
  const std::vector<TCommand> commands = {
      {form.mnuNewmark, form.tbNewmark, form.miAddMark, nullptr},
      {form.mnuEditmark, form.tbEditmark, form.miEditMark, form.chkMark},
  };
  for (const TCommand& c : commands) {
    const std::string name = c.Action->objectName().toStdString();
    int fired = 0;
    QObject::connect(c.Action, &QAction::triggered, &form, [&fired] { ++fired; });
    // Switched on or not yet, each command is tried off first.
    c.Action->setEnabled(false);
    const auto gestures = [&] {
      if (c.Button != nullptr) QTest::mouseClick(c.Button, Qt::LeftButton);
      if (c.Popup != nullptr) c.Popup->trigger();
      if (c.List != nullptr) {
        const QModelIndex first = c.List->model()->index(0, 0);
        ASSERT_TRUE(first.isValid()) << name;
        QTest::mouseDClick(c.List->viewport(), Qt::LeftButton, {}, c.List->visualRect(first).center());
      }
    };
    gestures();
    EXPECT_EQ(fired, 0) << name << " is off";
    c.Action->setEnabled(true);
    EXPECT_TRUE(c.Button == nullptr || c.Button->isEnabled()) << name;
    EXPECT_TRUE(c.Popup == nullptr || c.Popup->isEnabled()) << name;
    gestures();
    EXPECT_EQ(fired, (c.Button != nullptr) + (c.Popup != nullptr) + (c.List != nullptr)) << name;
    c.Action->setEnabled(false);
    EXPECT_TRUE(c.Button == nullptr || !c.Button->isEnabled()) << name;
    EXPECT_TRUE(c.Popup == nullptr || !c.Popup->isEnabled()) << name;
  }
}

// The View command, Enter or a double click in a list, and a double click
// on the preview open the viewer; the main window hides meanwhile while
// ViewImageViewMain is on.
TEST_F(MainFormTest, ViewCommandsOpenTheViewerOnTheFocusedListOrThePreview) {
  const std::string markA = WriteMark("A", 2, 2, clRed);
  const std::string a = WriteBmp("in/a.bmp", 1);
  const std::string b = WriteBmp("in/b.bmp", 2);
  TfrmMain& form = ShownForm();
  form.SetMarkChecked("A", true);
  QTest::mouseClick(form.tbBrowse, Qt::LeftButton);
  EXPECT_TRUE(viewings_.empty());  // nothing previewed yet
  form.WMDropFiles({a, b});
  ClickConvItem(form, 0);
  ASSERT_EQ(form.PreviewFile(), a);

  QTest::mouseClick(form.tbBrowse, Qt::LeftButton);
  ASSERT_EQ(viewings_.size(), 1u);
  EXPECT_EQ(viewings_[0].Owner, &form);
  EXPECT_EQ(viewings_[0].Mode, vmConvList);
  EXPECT_EQ(viewings_[0].File, a);
  EXPECT_EQ(viewings_[0].Files, (Names{a, b}));
  EXPECT_EQ(viewings_[0].Index, 0);
  EXPECT_EQ(viewings_[0].Marks, (Names{markA}));
  EXPECT_FALSE(viewings_[0].OwnerVisible);
  EXPECT_TRUE(form.isVisible());
  // The preview follows the picture the viewer ended on.
  EXPECT_EQ(form.PreviewFile(), b);

  ProgramInfo().ViewImageViewMain = false;
  const QModelIndex first = form.lvwConvFile->model()->index(0, 0);
  QTest::mouseDClick(form.lvwConvFile->viewport(), Qt::LeftButton, {}, form.lvwConvFile->visualRect(first).center());
  ASSERT_EQ(viewings_.size(), 2u);
  EXPECT_TRUE(viewings_[1].OwnerVisible);
  EXPECT_EQ(viewings_[1].Mode, vmConvList);

  // The preview alone: its marked picture, mode 2.
  QTest::mouseDClick(form.pbPreview, Qt::LeftButton);
  ASSERT_EQ(viewings_.size(), 3u);
  EXPECT_EQ(viewings_[2].Mode, vmBitmap);
  EXPECT_EQ(viewings_[2].File, form.PreviewFile());
  EXPECT_EQ(viewings_[2].Bitmap.Width(), form.PreviewBitmap().Width());
  EXPECT_TRUE(Near(viewings_[2].Bitmap.Canvas().Pixel(0, 0), clRed));
}

// Only closing the main window ends the program: while it is hidden (the
// viewer hides it), another window closing as the last one on screen, as a
// message box without a parent does, leaves the program running.
TEST_F(MainFormTest, OnlyClosingTheMainWindowEndsTheProgram) {
  TfrmMain& form = ShownForm();
  QuitWithMainWindow(form);
  std::vector<std::string> seen;
  QTimer::singleShot(0, qApp, [&] {
    form.hide();
    QWidget alone;
    alone.show();
    alone.close();
    QTimer::singleShot(50, qApp, [&] {
      seen.push_back("still running");
      form.show();
      form.close();
    });
  });
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, qApp, [&] {
    seen.push_back("main window still open");
    QCoreApplication::quit();
  });
  guard.start(10000);
  QCoreApplication::exec();
  QApplication::setQuitOnLastWindowClosed(true);
  EXPECT_EQ(seen, (std::vector<std::string>{"still running"}));
  EXPECT_FALSE(form.isVisible());
}

// A file of the list that does not load is still the one chosen: the
// preview keeps the picture before, but the viewer opens on that file and
// steps on from its place in the list.
TEST_F(MainFormTest, TheViewerOpensOnTheChosenFileEvenWhenItDoesNotLoad) {
  const std::string b = WriteBmp("in/b.bmp", 2);
  const std::string damaged = Dir() + "in/damaged.jpg";
  testsupport::WriteBytes(damaged, {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F'});
  const std::string c = WriteBmp("in/c.bmp", 3);
  TfrmMain& form = ShownForm();
  form.WMDropFiles({b, damaged, c});
  ClickConvItem(form, 0);
  ASSERT_EQ(form.PreviewFile(), b);
  const int shownWidth = form.PreviewBitmap().Width();
  ClickConvItem(form, 1);
  EXPECT_EQ(form.PreviewFile(), damaged);
  EXPECT_EQ(form.PreviewBitmap().Width(), shownWidth);  // the picture before stays
  QTest::keyClick(form.lvwConvFile, Qt::Key_Return);
  ASSERT_EQ(viewings_.size(), 1u);
  EXPECT_EQ(viewings_[0].File, damaged);
  EXPECT_EQ(viewings_[0].Mode, vmConvList);
  EXPECT_EQ(viewings_[0].Index, 1);
}

// ---- Gathering, marks, preview and the batch --------------------------------------------

TEST_F(MainFormTest, GatherCheckPreviewAndConvertLikeProcessFileAlone) {
  const std::string a = WriteBmp("in/a.bmp", 1);
  const std::string b = WriteBmp("in/b.bmp", 2);
  const std::string c = WriteJpeg("in/c.jpg", 3);
  testsupport::WriteBytes(Dir() + "in/notes.txt", {'x'});
  const std::string markA = WriteMark("A", 4, 3, clRed);
  const std::string markB = WriteMark("B", 2, 1, clBlue);

  TfrmMain& form = ShownForm();
  GoTo(form, Dir() + "in");
  EXPECT_EQ(form.edtAddress->text().toStdString(), Dir() + "in");
  QTest::mouseClick(form.tbAddAll, Qt::LeftButton);
  EXPECT_EQ(form.ConvFiles(), (Names{a, b, c}));
  EXPECT_EQ(form.lvwConvFile->headerItem()->text(0).toStdString(),
            ConversionListCaption(GetMessageText(304), 3, TotalFileSize({a, b, c})));
  EXPECT_TRUE(form.mnuCreate->isEnabled());
  EXPECT_TRUE(form.tbCreateToNewFolder->isEnabled());

  ASSERT_EQ(form.chkMark->count(), 2);
  form.SetMarkChecked("A", true);
  form.SetMarkChecked("B", true);
  EXPECT_EQ(form.Layers().Names(), (Names{"B", "A"}));

  ClickConvItem(form, 0);
  EXPECT_EQ(form.PreviewFile(), a);
  EXPECT_EQ(form.PreviewSource(), vmConvList);
  EXPECT_TRUE(form.HasMarks());
  const TBitmap& preview = form.PreviewBitmap();
  ASSERT_EQ(preview.Width(), 12);
  // A is drawn first, B (the top layer) over it.
  EXPECT_TRUE(Near(preview.Canvas().Pixel(0, 0), clBlue));
  EXPECT_TRUE(Near(preview.Canvas().Pixel(3, 2), clRed));
  const TBitmap source = PatternPicture(12, 8, 1);
  EXPECT_EQ(preview.Canvas().Pixel(8, 6), source.Canvas().Pixel(8, 6));
  EXPECT_FALSE(form.StatusPanel(1)->text().isEmpty());

  // b.bmp is there already; the question is answered Yes.
  const std::string out = Dir() + "out/";
  testsupport::WriteBytes(out + "b.bmp", {'o', 'l', 'd'});
  answers_ = {owYes};
  chosenFolder_ = out;
  ProgramInfo().ExportPath = Dir();
  QTest::mouseClick(form.tbCreateToNewFolder, Qt::LeftButton);
  EXPECT_EQ(offeredFolder_, Dir());
  EXPECT_EQ(ProgramInfo().ExportPath, out);
  EXPECT_EQ(questions_, (Names{out + "b.bmp" + GetMessageText(msg::OverwriteQuestion)}));
  ASSERT_EQ(logs_.size(), 1u);
  const TStringList& log = logs_[0];
  ASSERT_EQ(log.Count(), 6);
  EXPECT_EQ(log[0], GetMessageText(9024));
  EXPECT_EQ(log[1], GetMessageText(9025) + "3/3");
  EXPECT_EQ(log[3], "1. " + a + " => " + out + "a.bmp");

  // Each output is what processing the file alone with the same marks,
  // bottom layer first, writes.
  fs::create_directories(Dir() + "ref");
  TMark marks;
  marks.AddMarkFiles(std::vector<std::string>{markA, markB});
  marks.LoadMarks();
  for (const std::string name : {"a.bmp", "b.bmp", "c.jpg"}) {
    ASSERT_TRUE(marks.ProcessFile(Dir() + "in/" + name, Dir() + "ref/" + name)) << name;
    EXPECT_EQ(testsupport::ReadBytes(out + name), testsupport::ReadBytes(Dir() + "ref/" + name)) << name;
  }

  EXPECT_FALSE(form.pnlPosition->isVisible());
  EXPECT_EQ(form.StatusPanel(0)->text(), "Ready");
  EXPECT_TRUE(form.mnuCreate->isEnabled());
  EXPECT_FALSE(form.mnuStopTran->isEnabled());
  EXPECT_FALSE(form.BatchRunning());
  EXPECT_EQ(form.pbPosition->value(), 2);
}

TEST_F(MainFormTest, StopDuringTheSecondOfFiveFilesAndNoSecondRunInside) {
  Names sources;
  for (int i = 0; i < 5; ++i) sources.push_back(WriteBmp("in/f" + std::to_string(i) + ".bmp", i));
  const std::string extra = WriteBmp("more/extra.bmp", 9);
  WriteMark("A", 2, 2, clRed);
  TfrmMain& form = ShownForm();
  GoTo(form, Dir() + "out");
  form.WMDropFiles(sources);
  ASSERT_EQ(form.ConvFiles(), sources);
  form.SetMarkChecked("A", true);

  bool checkedDuringRun = false;
  const int start = handler_.Pumps;
  handler_.OnPump = [&](int pump) {
    if (pump - start == 1) {
      checkedDuringRun = true;
      EXPECT_TRUE(form.BatchRunning());
      EXPECT_TRUE(form.pnlPosition->isVisible());
      EXPECT_TRUE(form.tbStopTran->isEnabled());
      EXPECT_FALSE(form.mnuSetup->isEnabled());
      // A change of the list does not bring the convert commands back.
      form.WMDropFiles({extra});
      EXPECT_FALSE(form.mnuCreate->isEnabled());
      EXPECT_FALSE(form.tbMakeCurrently->isEnabled());
      form.mnuCreate->trigger();
      form.mnuSetup->trigger();
    }
    if (pump - start == 2) QTest::mouseClick(form.tbStopTran, Qt::LeftButton);
  };
  form.mnuCreate->trigger();
  handler_.OnPump = nullptr;

  EXPECT_TRUE(checkedDuringRun);
  EXPECT_TRUE(setupPages_.empty());
  ASSERT_EQ(logs_.size(), 1u);
  const TStringList& log = logs_[0];
  EXPECT_EQ(log[1], GetMessageText(9025) + "2/5");
  EXPECT_EQ(log[log.Count() - 1], "Stop Convert");
  EXPECT_EQ(log.Count(), 3 + 2 + 1);
  EXPECT_TRUE(FileExists(Dir() + "out/f1.bmp"));
  EXPECT_FALSE(FileExists(Dir() + "out/f2.bmp"));
  EXPECT_FALSE(form.StopRequested());
  EXPECT_TRUE(form.mnuCreate->isEnabled());
  EXPECT_FALSE(form.tbStopTran->isEnabled());
  EXPECT_TRUE(form.mnuSetup->isEnabled());
}

TEST_F(MainFormTest, ClosingDuringABatchStopsItThenCloses) {
  for (int i = 0; i < 3; ++i) WriteBmp("in/f" + std::to_string(i) + ".bmp", i);
  TfrmMain& form = ShownForm();
  GoTo(form, Dir() + "in");
  form.tbAddAllClick();
  const int start = handler_.Pumps;
  bool refused = false;
  handler_.OnPump = [&](int pump) {
    if (pump - start == 1) refused = !form.close();
  };
  handler_.Answer = idYes;  // convert without a mark
  chosenFolder_ = Dir() + "out/";
  form.mnuCreateToNewFolderClick();
  handler_.OnPump = nullptr;
  EXPECT_TRUE(refused);
  EXPECT_TRUE(logs_.empty());
  EXPECT_TRUE(FileExists(Dir() + "out/f0.bmp"));
  EXPECT_FALSE(FileExists(Dir() + "out/f1.bmp"));
  EXPECT_TRUE(WaitFor([&] { return !form.isVisible(); }));
}

// A batch into the folder the file list shows: the list does not follow
// the outputs as they land (each would have it read and sort the folder
// again), and shows them all, in its order, once the batch has ended.
TEST_F(MainFormTest, BatchIntoTheShownFolderRefreshesTheFileListOnceAtTheEnd) {
  const std::vector<std::string> sources = {WriteBmp("in/c.bmp", 1), WriteBmp("in/a.bmp", 2),
                                            WriteBmp("in/b.bmp", 3)};
  WriteBmp("out/old.bmp", 4);
  TfrmMain& form = ShownForm();
  GoTo(form, Dir() + "out");
  const QAbstractItemModel& list = *form.lvwFile->model();
  auto rows = [&] { return list.rowCount(form.lvwFile->rootIndex()); };
  ASSERT_TRUE(WaitFor([&] { return rows() == 1; }));
  form.WMDropFiles(sources);

  // Each file is given time to show in the list before the next one.
  int mostDuring = 0;
  handler_.OnPump = [&](int) {
    QTest::qWait(300);
    mostDuring = std::max(mostDuring, rows());
  };
  handler_.Answer = idYes;  // convert without a mark
  form.ConvertFiles(Dir() + "out/");
  handler_.OnPump = nullptr;
  ASSERT_EQ(logs_.size(), 1u);
  EXPECT_EQ(mostDuring, 1);
  ASSERT_TRUE(WaitFor([&] { return rows() == 4; })) << rows();
  std::vector<std::string> shown;
  for (int i = 0; i < rows(); ++i) shown.push_back(list.index(i, 0, form.lvwFile->rootIndex()).data().toString().toStdString());
  EXPECT_EQ(shown, (Names{"a.bmp", "b.bmp", "c.bmp", "old.bmp"}));

  // The list follows the folder again after the batch.
  WriteBmp("out/new.bmp", 5);
  EXPECT_TRUE(WaitFor([&] { return rows() == 5; })) << rows();
}

TEST_F(MainFormTest, NoMarkIsAskedAboutAndEmptyListsAndMissingFoldersAreReported) {
  const std::string a = WriteBmp("in/a.bmp", 4);
  TfrmMain& form = ShownForm();
  GoTo(form, Dir() + "out");
  form.ConvertFiles(Dir() + "out/");
  EXPECT_TRUE(HasBox(402, mkInformation));

  form.WMDropFiles({a});
  handler_.Answer = idNo;
  form.mnuCreateClick();
  EXPECT_TRUE(HasBox(403, mkQuestion));
  EXPECT_TRUE(logs_.empty());
  EXPECT_FALSE(FileExists(Dir() + "out/a.bmp"));

  handler_.Answer = idYes;
  form.mnuCreateClick();
  ASSERT_EQ(logs_.size(), 1u);
  // No mark: the picture is written as it came.
  TBitmap written;
  written.LoadFromFile(Dir() + "out/a.bmp");
  EXPECT_EQ(written.Canvas().Pixel(5, 5), PatternPicture(12, 8, 4).Canvas().Pixel(5, 5));

  fs::create_directories(Dir() + "gone");
  GoTo(form, Dir() + "gone");
  fs::remove(Dir() + "gone");
  handler_.Boxes.clear();
  form.mnuCreateClick();
  EXPECT_TRUE(HasBox(401, mkInformation));
  EXPECT_EQ(logs_.size(), 1u);
}

// The tree notices a deleted output folder after a while; it keeps that
// folder rather than moving to a neighbour, so the batch reports it and
// writes nothing anywhere.
TEST_F(MainFormTest, ADeletedOutputFolderIsReportedAndNothingIsWritten) {
  const std::string a = WriteBmp("in/a.bmp", 4);
  for (const char* name : {"out/a", "out/gone", "out/z"}) fs::create_directories(Dir() + name);
  TfrmMain& form = ShownForm();
  form.WMDropFiles({a});
  GoTo(form, Dir() + "out/gone");
  ASSERT_TRUE(form.tvwPath->currentIndex().isValid());
  fs::remove(Dir() + "out/gone");
  ASSERT_TRUE(WaitFor([&] { return !form.tvwPath->currentIndex().isValid(); }))
      << "the tree went to " << form.tvwPath->Path();
  EXPECT_EQ(form.tvwPath->Path(), Dir() + "out/gone");
  EXPECT_EQ(form.edtAddress->text().toStdString(), Dir() + "out/gone");
  handler_.Answer = idYes;  // convert without a mark, if it came to that
  form.mnuCreate->trigger();
  EXPECT_TRUE(HasBox(msg::OutputFolderMissing, mkInformation));
  EXPECT_TRUE(logs_.empty());
  for (const char* name : {"out/a/a.bmp", "out/z/a.bmp", "out/a.bmp"}) EXPECT_FALSE(FileExists(Dir() + name)) << name;

  // Choosing a folder again ends it.
  GoTo(form, Dir() + "out/z");
  form.mnuCreate->trigger();
  EXPECT_TRUE(FileExists(Dir() + "out/z/a.bmp"));
}

TEST_F(MainFormTest, DamagedMarkEndsTheRunBeforeAnyFileWithoutALog) {
  const std::string a = WriteBmp("in/a.bmp", 4);
  fs::create_directories(Dir() + "spm");
  testsupport::WriteBytes(Dir() + "spm/bad.spm", {1, 2, 3, 4, 5, 6, 7, 8});
  TfrmMain& form = ShownForm();
  GoTo(form, Dir() + "out");
  form.WMDropFiles({a});
  form.SetMarkChecked("bad", true);
  ASSERT_EQ(form.Layers().Names(), (Names{"bad"}));
  QTest::mouseClick(form.tbMakeCurrently, Qt::LeftButton);
  EXPECT_TRUE(HasBox(msg::MarkFileDamaged, mkError));
  EXPECT_TRUE(logs_.empty());
  EXPECT_FALSE(FileExists(Dir() + "out/a.bmp"));
  EXPECT_FALSE(form.BatchRunning());
  EXPECT_FALSE(form.pnlPosition->isVisible());
  EXPECT_TRUE(form.mnuCreate->isEnabled());
  EXPECT_FALSE(form.mnuStopTran->isEnabled());
}

// ---- Marks and layers ----------------------------------------------------------------------

TEST_F(MainFormTest, DeletingAMarkAsksAndDropsItsLayer) {
  const std::string dotted = WriteMark("logo.v2", 2, 2, clRed);
  WriteMark("logo", 2, 2, clBlue);
  TfrmMain& form = ShownForm();
  std::vector<std::string> names;
  for (const TMarkEntry& m : form.MarkEntries()) names.push_back(m.Name);
  EXPECT_EQ(names, (Names{"logo", "logo.v2"}));
  form.SetMarkChecked("logo", true);
  form.SetMarkChecked("logo.v2", true);
  EXPECT_EQ(form.Layers().Names(), (Names{"logo.v2", "logo"}));

  form.chkMark->setCurrentRow(1);
  handler_.Answer = idNo;
  form.miDelMarkClick();
  EXPECT_TRUE(HasBox(400, mkQuestion));
  EXPECT_TRUE(FileExists(dotted));

  handler_.Answer = idYes;
  form.miDelMarkClick();
  EXPECT_FALSE(FileExists(dotted));
  EXPECT_TRUE(FileExists(Dir() + "spm/logo.spm"));
  EXPECT_EQ(form.Layers().Names(), (Names{"logo"}));
  ASSERT_EQ(form.chkMark->count(), 1);
  EXPECT_EQ(form.chkMark->item(0)->checkState(), Qt::Checked);

  // A mark file removed behind the window's back loses its layer at the
  // next refresh.
  fs::remove(Dir() + "spm/logo.spm");
  form.mnuRefreshMark->trigger();
  EXPECT_EQ(form.chkMark->count(), 0);
  EXPECT_EQ(form.Layers().Count(), 0);
}

TEST_F(MainFormTest, MarkEditorCommandsOpenItAndTheListFollowsWhatItSaved) {
  WriteMark("A", 2, 2, clRed);
  const std::string a = WriteBmp("in/a.bmp", 1);
  TfrmMain& form = ShownForm();
  form.WMDropFiles({a});
  form.SetMarkChecked("A", true);
  ClickConvItem(form, 0);
  ASSERT_TRUE(Near(form.PreviewBitmap().Canvas().Pixel(0, 0), clRed));

  // Cancelled: asked, nothing changes.
  QTest::mouseClick(form.tbNewmark, Qt::LeftButton);
  EXPECT_EQ(editorCalls_, (Names{"new "}));
  EXPECT_EQ(form.chkMark->count(), 1);

  // Saved: the new mark is listed, the checks are kept.
  editorSaves_ = true;
  onEditor_ = [this](bool, const std::string&) { WriteMark("B", 1, 1, clBlue); };
  form.miAddMark->trigger();
  ASSERT_EQ(form.chkMark->count(), 2);
  EXPECT_EQ(form.chkMark->item(0)->checkState(), Qt::Checked);

  // Every way of editing asks for the current mark.
  editorCalls_.clear();
  onEditor_ = nullptr;
  editorSaves_ = false;
  form.chkMark->setCurrentRow(0);
  QTest::mouseClick(form.tbEditmark, Qt::LeftButton);
  form.miEditMark->trigger();
  // A double click is a click and a second press on the same item.
  const QPoint item = form.chkMark->visualItemRect(form.chkMark->item(0)).center();
  QTest::mouseClick(form.chkMark->viewport(), Qt::LeftButton, {}, item);
  QTest::mouseDClick(form.chkMark->viewport(), Qt::LeftButton, {}, item);
  form.chkMark->setFocus();
  QTest::keyClick(form.chkMark, Qt::Key_Return);
  EXPECT_EQ(editorCalls_, (Names{"edit A", "edit A", "edit A", "edit A"}));

  // An edit that saves redraws the preview with the changed mark.
  editorSaves_ = true;
  onEditor_ = [this](bool, const std::string&) { WriteMark("A", 2, 2, clLime); };
  form.mnuEditmark->trigger();
  EXPECT_TRUE(Near(form.PreviewBitmap().Canvas().Pixel(0, 0), clLime));

  // A rename takes the old name's layer away.
  onEditor_ = [this](bool, const std::string&) {
    WriteMark("A2", 2, 2, clLime);
    fs::remove(Dir() + "spm/A.spm");
  };
  form.chkMark->setCurrentRow(0);
  form.mnuEditmark->trigger();
  EXPECT_EQ(form.chkMark->item(0)->text(), "A2");
  EXPECT_EQ(form.Layers().Count(), 0);

  // Without marks there is nothing to edit.
  fs::remove(Dir() + "spm/A2.spm");
  fs::remove(Dir() + "spm/B.spm");
  form.mnuRefreshMark->trigger();
  editorCalls_.clear();
  form.mnuEditmark->trigger();
  EXPECT_TRUE(editorCalls_.empty());
}

TEST_F(MainFormTest, AMarkNamedWithDotsInARowIsListedLayeredConvertedAndDeleted) {
  const std::string file = WriteMark("v1..2", 3, 2, clRed);
  const std::string a = WriteBmp("in/a.bmp", 1);
  TfrmMain& form = ShownForm();
  ASSERT_EQ(form.chkMark->count(), 1);
  EXPECT_EQ(form.chkMark->item(0)->text(), "v1..2");
  form.SetMarkChecked("v1..2", true);
  EXPECT_EQ(form.Layers().Names(), (Names{"v1..2"}));
  form.WMDropFiles({a});
  ClickConvItem(form, 0);
  EXPECT_TRUE(form.HasMarks());
  EXPECT_TRUE(Near(form.PreviewBitmap().Canvas().Pixel(2, 1), clRed));

  chosenFolder_ = Dir() + "out/";
  QTest::mouseClick(form.tbCreateToNewFolder, Qt::LeftButton);
  TBitmap out;
  out.LoadFromFile(Dir() + "out/a.bmp");
  EXPECT_TRUE(Near(out.Canvas().Pixel(2, 1), clRed));
  EXPECT_FALSE(Near(out.Canvas().Pixel(3, 2), clRed));

  chosenFolder_ = Dir() + "export/";
  fs::create_directories(chosenFolder_);
  form.chkMark->setCurrentRow(0);
  form.miExportMark->trigger();
  EXPECT_TRUE(FileExists(chosenFolder_ + "v1..2.spm"));
  handler_.Answer = idYes;
  form.miDelMarkClick();
  EXPECT_FALSE(FileExists(file));
  EXPECT_EQ(form.chkMark->count(), 0);
}

TEST_F(MainFormTest, ClearUpAndDownKeepChecksAndPreviewInStep) {
  WriteBmp("in/a.bmp", 5);
  WriteMark("A", 3, 3, clRed);
  WriteMark("B", 2, 2, clBlue);
  WriteMark("C", 1, 1, clLime);
  TfrmMain& form = ShownForm();
  form.WMDropFiles({Dir() + "in/a.bmp"});
  ClickConvItem(form, 0);
  for (const char* name : {"A", "B", "C"}) form.SetMarkChecked(name, true);
  EXPECT_EQ(form.Layers().Names(), (Names{"C", "B", "A"}));
  EXPECT_TRUE(Near(form.PreviewBitmap().Canvas().Pixel(0, 0), clLime));

  // C to the bottom: B is on top at (0, 0) now.
  form.lvwSelectMark->topLevelItem(0)->setSelected(true);
  QTest::mouseClick(form.btnDown, Qt::LeftButton);
  QTest::mouseClick(form.btnDown, Qt::LeftButton);
  QTest::mouseClick(form.btnDown, Qt::LeftButton);
  EXPECT_EQ(form.Layers().Names(), (Names{"B", "A", "C"}));
  EXPECT_TRUE(Near(form.PreviewBitmap().Canvas().Pixel(0, 0), clBlue));
  EXPECT_TRUE(Near(form.PreviewBitmap().Canvas().Pixel(2, 2), clRed));

  // Dropping C (selected) on the top layer takes it to the top again.
  const QRect top = form.lvwSelectMark->visualItemRect(form.lvwSelectMark->topLevelItem(0));
  form.lvwSelectMarkDragDrop(top.center());
  EXPECT_EQ(form.Layers().Names(), (Names{"C", "B", "A"}));
  EXPECT_TRUE(Near(form.PreviewBitmap().Canvas().Pixel(0, 0), clLime));
  form.lvwSelectMarkDragDrop(QPoint(-50, -50));
  EXPECT_EQ(form.Layers().Names(), (Names{"C", "B", "A"}));

  QTest::mouseClick(form.btnClear, Qt::LeftButton);
  EXPECT_EQ(form.Layers().Names(), (Names{"B", "A"}));
  const std::vector<TMarkEntry> marks = form.MarkEntries();
  EXPECT_TRUE(marks[0].Checked);
  EXPECT_TRUE(marks[1].Checked);
  EXPECT_FALSE(marks[2].Checked);

  QTest::mouseClick(form.btnClearAll, Qt::LeftButton);
  EXPECT_EQ(form.Layers().Count(), 0);
  for (const TMarkEntry& m : form.MarkEntries()) EXPECT_FALSE(m.Checked);
  EXPECT_FALSE(form.HasMarks());
  EXPECT_EQ(form.PreviewBitmap().Canvas().Pixel(0, 0), PatternPicture(12, 8, 5).Canvas().Pixel(0, 0));
}

TEST_F(MainFormTest, ImportAndExportCopyMarkFiles) {
  fs::create_directories(Dir() + "elsewhere");
  TMark m;
  m.AddMark("");
  m.MarkPictures[0] = SolidPicture(2, 2, clRed);
  m.Records[0].SetPictureType(".bmp");
  ASSERT_TRUE(m.SaveMarkFile(0, Dir() + "elsewhere/new.spm"));
  TfrmMain& form = ShownForm();
  EXPECT_EQ(form.chkMark->count(), 0);
  importFiles_ = {Dir() + "elsewhere/new.spm"};
  form.miInportMark->trigger();
  ASSERT_EQ(form.chkMark->count(), 1);
  EXPECT_EQ(form.chkMark->item(0)->text(), "new");

  chosenFolder_ = Dir() + "out/";
  form.mnuExportMark->trigger();
  EXPECT_EQ(offeredFolder_, "");
  EXPECT_EQ(testsupport::ReadBytes(Dir() + "out/new.spm"), testsupport::ReadBytes(Dir() + "spm/new.spm"));
}

// ---- Files ---------------------------------------------------------------------------------

TEST_F(MainFormTest, DroppedFilesAreAddedOnceAndOnlyPictures) {
  const std::string a = WriteBmp("in/a.bmp", 1);
  testsupport::WriteBytes(Dir() + "in/readme.txt", {'x'});
  TfrmMain& form = ShownForm();
  const auto drop = [&](const Names& files) {
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const std::string& f : files) urls << QUrl::fromLocalFile(QString::fromStdString(f));
    data->setUrls(urls);
    // A drop goes to the widget that took the drag's entry.
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&form, &enter);
    QDropEvent event(QPointF(20, 20), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&form, &event);
    delete data;
  };
  drop({a});
  EXPECT_EQ(form.ConvFiles(), (Names{a}));
  drop({a, Dir() + "in/readme.txt"});
  EXPECT_EQ(form.ConvFiles(), (Names{a}));
  EXPECT_TRUE(form.mnuCreate->isEnabled());

  form.lvwConvFile->topLevelItem(0)->setSelected(true);
  ClickConvItem(form, 0);
  EXPECT_EQ(form.PreviewFile(), a);
  QTest::mouseClick(form.tbDelFile, Qt::LeftButton);
  EXPECT_TRUE(form.ConvFiles().empty());
  EXPECT_FALSE(form.mnuCreate->isEnabled());
  // The entry is gone, and its preview with it.
  EXPECT_EQ(form.PreviewBitmap().Width(), 0);
  EXPECT_EQ(form.lvwConvFile->headerItem()->text(0).toStdString(), GetMessageText(304));
}

TEST_F(MainFormTest, HandOverFileIsTakenOnFirstShow) {
  const std::string one = WriteBmp("shots/one.bmp", 1);
  const std::string two = WriteBmp("shots/two.bmp", 2);
  const std::string x = WriteBmp("more/x.bmp", 3);
  const std::string y = WriteBmp("more/y.bmp", 4);
  const std::string text = Dir() + "shots/" + "a.txt";
  testsupport::WriteBytes(text, {'x'});
  const std::string lines = Dir() + "shots\n" + x + "\n" + y + "\n" + one + "\n";
  testsupport::WriteBytes(Dir() + "~righ.dat", std::vector<std::uint8_t>(lines.begin(), lines.end()));

  TfrmMain& form = ShownForm();
  EXPECT_FALSE(FileExists(Dir() + "~righ.dat"));
  EXPECT_EQ(form.ConvFiles(), (Names{one, two, x, y}));
  EXPECT_EQ(form.ShellListFolder(), Dir() + "shots");
  EXPECT_EQ(form.PreviewFile(), one);
  EXPECT_TRUE(form.mnuCreate->isEnabled());
}

TEST_F(MainFormTest, FolderSearchAddsPicturesOfSubfoldersAndHoldsTheBatchBack) {
  const std::string top = WriteBmp("in/top.bmp", 1);
  const std::string deep = WriteBmp("in/sub/deeper/deep.bmp", 2);
  testsupport::WriteBytes(Dir() + "in/sub/notes.txt", {'x'});
  fs::create_directories(Dir() + "in/sub/folder.bmp");
  TfrmMain& form = ShownForm();
  GoTo(form, Dir() + "in");
  form.WMDropFiles({top});
  bool checked = false;
  handler_.OnPump = [&](int) {
    if (!form.Searching() || checked) return;
    checked = true;
    EXPECT_FALSE(form.tbAddFolder->isEnabled());
    EXPECT_TRUE(form.tbStop->isEnabled());
    EXPECT_FALSE(form.mnuCreate->isEnabled());
  };
  QTest::mouseClick(form.tbAddFolder, Qt::LeftButton);
  handler_.OnPump = nullptr;
  EXPECT_TRUE(checked);
  EXPECT_EQ(form.ConvFiles(), (Names{top, deep}));
  EXPECT_TRUE(form.tbAddFolder->isEnabled());
  EXPECT_FALSE(form.tbStop->isEnabled());
  EXPECT_TRUE(form.mnuCreate->isEnabled());
  EXPECT_TRUE(form.StatusPanel(1)->text().isEmpty());
}

TEST_F(MainFormTest, LongPathsInTheStatusPanelsNeverWidenTheWindow) {
  // A picture 1,200 characters deep, with a file name of 205.
  std::string folder = "in";
  for (const char c : {'p', 'q', 'r', 's'}) folder += "/" + std::string(250, c);
  const std::string name = "long-" + std::string(200, 'n') + ".bmp";
  const std::string deep = WriteBmp(folder + "/" + name, 1);
  ASSERT_GT(deep.size(), 1200u);
  WriteMark("M", 2, 2, clRed);

  TfrmMain& form = ShownForm();
  form.resize(1000, 680);
  QCoreApplication::processEvents();
  const QSize size = form.size();
  // The least width without and with the batch's progress bar.
  const int least = form.minimumSizeHint().width();
  form.pnlPosition->show();
  QCoreApplication::processEvents();
  const int leastInBatch = form.minimumSizeHint().width();
  form.pnlPosition->hide();
  GoTo(form, Dir() + "in");
  // The window as the user sees it while a panel shows a long path.
  int widest = 0, widestLeast = 0;
  bool elided = false;
  const auto look = [&](TElidedLabel* panel) {
    QCoreApplication::processEvents();
    widest = std::max(widest, form.width());
    widestLeast = std::max(widestLeast, std::max(form.minimumSizeHint().width(), form.minimumWidth()));
    if (panel->FullText().size() > 200) {
      elided = true;
      EXPECT_LT(panel->text().size(), panel->FullText().size());
      EXPECT_EQ(panel->toolTip(), panel->FullText());
      EXPECT_LE(panel->width(), form.width());
    }
  };
  handler_.OnPump = [&](int) {
    if (form.Searching() && form.StatusPanel(1)->FullText().toStdString() == deep) look(form.StatusPanel(1));
  };
  QTest::mouseClick(form.tbAddFolder, Qt::LeftButton);
  EXPECT_TRUE(elided);
  EXPECT_EQ(form.ConvFiles(), (Names{deep}));
  EXPECT_LE(widestLeast, least);

  // The batch names each output in panel 0.
  elided = false;
  widestLeast = 0;
  handler_.OnPump = [&](int) {
    if (form.BatchRunning() && form.StatusPanel(0)->FullText().toStdString() == name) look(form.StatusPanel(0));
  };
  form.SetMarkChecked("M", true);
  chosenFolder_ = Dir() + "out";
  QTest::mouseClick(form.tbCreateToNewFolder, Qt::LeftButton);
  handler_.OnPump = nullptr;
  EXPECT_TRUE(elided);
  EXPECT_TRUE(FileExists(Dir() + "out/" + name));

  QCoreApplication::processEvents();
  EXPECT_LE(widestLeast, leastInBatch);
  EXPECT_EQ(widest, size.width());
  EXPECT_EQ(form.size(), size);
}

TEST_F(MainFormTest, ClosingDuringASearchStopsItThenCloses) {
  for (int i = 0; i < 20; ++i) WriteBmp("in/d" + std::to_string(i) + "/p.bmp", i, 2, 2);
  TfrmMain& form = ShownForm();
  GoTo(form, Dir() + "in");
  bool refused = false;
  int pumpsAfterClose = -1;
  handler_.OnPump = [&](int) {
    if (pumpsAfterClose >= 0) ++pumpsAfterClose;
    if (form.Searching() && pumpsAfterClose < 0) {
      refused = !form.close();
      pumpsAfterClose = 0;
    }
  };
  form.tbAddFolderClick();
  handler_.OnPump = nullptr;
  EXPECT_TRUE(refused);
  // The search ends at its next entry, not after the whole tree.
  EXPECT_LE(pumpsAfterClose, 1);
  EXPECT_LT(form.ConvFiles().size(), 20u);
  EXPECT_FALSE(form.Searching());
  EXPECT_TRUE(WaitFor([&] { return !form.isVisible(); }));
}

TEST_F(MainFormTest, ShellListSortsByTheClickedColumnFlippingEachTime) {
  const std::string big = Dir() + "in/a.bmp";
  WriteBmp("in/a.bmp", 1, 40, 40);
  WriteBmp("in/b.bmp", 2, 4, 4);
  WriteBmp("in/C.bmp", 3, 10, 10);
  TfrmMain& form = ShownForm();
  GoTo(form, Dir() + "in");
  EXPECT_EQ(form.ShellListFiles(), (Names{big, Dir() + "in/b.bmp", Dir() + "in/C.bmp"}));
  form.SortShellList(1);
  EXPECT_TRUE(form.SortDescending());
  EXPECT_EQ(form.ShellListFiles(), (Names{big, Dir() + "in/C.bmp", Dir() + "in/b.bmp"}));
  form.SortShellList(1);
  EXPECT_FALSE(form.SortDescending());
  EXPECT_EQ(form.ShellListFiles(), (Names{Dir() + "in/b.bmp", Dir() + "in/C.bmp", big}));

  // The list shows the same order once the folder is read.
  ASSERT_TRUE(WaitFor([&] {
    const QModelIndex root = form.lvwFile->rootIndex();
    return form.lvwFile->model()->rowCount(root) == 3;
  }));
  const QModelIndex root = form.lvwFile->rootIndex();
  EXPECT_EQ(form.lvwFile->model()->index(0, 0, root).data().toString(), "b.bmp");
  EXPECT_EQ(form.lvwFile->model()->index(2, 0, root).data().toString(), "a.bmp");
}

// ---- Preview ----------------------------------------------------------------------------------

TEST_F(MainFormTest, AutoFitMirrorsAndOneToOneScrollsAndPans) {
  WriteBmp("in/wide.bmp", 1, 2000, 60);
  TfrmMain& form = ShownForm();
  form.WMDropFiles({Dir() + "in/wide.bmp"});
  ClickConvItem(form, 0);
  ASSERT_TRUE(form.mnuAutoFitWindow->isChecked());
  EXPECT_TRUE(form.tbAutoFitWindow->isChecked());
  EXPECT_FALSE(form.sbWidth->isVisible());
  EXPECT_LT(form.DisplayBitmap().Width(), 2000);
  EXPECT_LE(form.DisplayBitmap().Width(), form.pnlPreview->width() - 4);

  QTest::mouseClick(form.tbAutoFitWindow, Qt::LeftButton);
  EXPECT_FALSE(form.mnuAutoFitWindow->isChecked());
  EXPECT_TRUE(form.sbWidth->isVisible());
  EXPECT_EQ(form.DisplayBitmap().Width(), 2000);
  EXPECT_EQ(form.sbWidth->maximum(), 2000 - form.pnlView->width());
  EXPECT_EQ(form.sbWidth->pageStep(), form.pnlView->width());
  EXPECT_EQ(form.sbWidth->singleStep(), form.pnlView->width() / 10);
  EXPECT_EQ(form.pnlView->width() + form.sbHeight->width(), form.pnlPreview->width());

  form.PreviewMouseDown(Qt::LeftButton, QPoint(100, 10));
  form.PreviewMouseMove(Qt::LeftButton, QPoint(40, 10));
  EXPECT_EQ(form.sbWidth->value(), 60);
  form.PreviewMouseUp(Qt::LeftButton);
  form.PreviewMouseMove(Qt::LeftButton, QPoint(0, 10));
  EXPECT_EQ(form.sbWidth->value(), 60);

  form.mnuAutoFitWindow->trigger();
  EXPECT_TRUE(form.tbAutoFitWindow->isChecked());
  EXPECT_EQ(form.sbWidth->value(), 0);
  EXPECT_FALSE(form.sbWidth->isVisible());
  // The preview never gets too small to resize the window again.
  EXPECT_GE(form.pnlPreview->minimumWidth(), 101);
  EXPECT_GE(form.pnlPreview->minimumHeight(), 101);
}

TEST_F(MainFormTest, SavingThePreviewAsBmpLeavesThePreviewAlone) {
  WriteBmp("in/a.bmp", 6);
  WriteMark("A", 3, 3, clRed);
  ProgramInfo().BmpKeepColor = false;
  ProgramInfo().BmpColorSetup = 5;  // 1 bit
  TfrmMain& form = ShownForm();
  form.WMDropFiles({Dir() + "in/a.bmp"});
  ClickConvItem(form, 0);
  form.SetMarkChecked("A", true);
  const TBitmap before = form.PreviewBitmap();

  saveName_ = Dir() + "out/sample.bmp";
  form.mnuSaveAs->trigger();
  ASSERT_TRUE(FileExists(*saveName_));
  EXPECT_EQ(form.PreviewBitmap().PixelFormat(), pf24bit);
  EXPECT_EQ(testsupport::ReadBytes(*saveName_).size() < 200u, true);
  for (int y = 0; y < before.Height(); ++y) {
    for (int x = 0; x < before.Width(); ++x) {
      ASSERT_EQ(form.PreviewBitmap().Canvas().Pixel(x, y), before.Canvas().Pixel(x, y)) << x << "," << y;
    }
  }

  // Over an existing file only after a Yes.
  const auto saved = testsupport::ReadBytes(*saveName_);
  ProgramInfo().BmpKeepColor = true;
  handler_.Answer = idNo;
  form.mnuSaveAs->trigger();
  EXPECT_TRUE(HasBox(1551, mkQuestion));
  EXPECT_EQ(testsupport::ReadBytes(*saveName_), saved);
  handler_.Answer = idYes;
  form.mnuSaveAs->trigger();
  EXPECT_NE(testsupport::ReadBytes(*saveName_), saved);
}

// ---- Settings, languages, skins, help ------------------------------------------------------------

TEST_F(MainFormTest, ClosingStoresTheFolderAndTheFitSwitch) {
  TfrmMain& form = ShownForm();
  GoTo(form, Dir() + "out");
  form.mnuAutoFitWindow->trigger();
  form.close();
  form_.reset();
  FreeProgramInfo();
  CreateProgramInfo();
  EXPECT_EQ(ProgramInfo().CfgDefPath, Dir() + "out");
  EXPECT_FALSE(ProgramInfo().CfgAutoResize);

  // The next window starts there.
  TfrmMain& again = Form();
  EXPECT_EQ(again.ShellListFolder(), Dir() + "out");
  EXPECT_FALSE(again.tbAutoFitWindow->isChecked());
}

TEST_F(MainFormTest, TheTreeShowsTheRestoredFolderOnceItsParentsAreRead) {
  // Deep enough that the folder lies below the first screenful of the
  // tree once the folders above it have been read and sorted.
  fs::create_directories(Dir() + "a/b/c/d/e");
  ProgramInfo().CfgDefPath = Dir() + "a/b/c/d/e";
  // Every folder from the root down to the restored one is read in the
  // background; the reading has settled once each has been loaded.
  TfrmMain& unshown = Form();
  std::set<std::string> waiting;
  for (fs::path p = Dir() + "a/b/c/d"; !p.empty(); p = p.parent_path()) {
    waiting.insert(p.string());
    if (p == p.root_path()) break;
  }
  QObject::connect(unshown.tvwPath->Model(), &QFileSystemModel::directoryLoaded, &unshown,
                   [&waiting](const QString& path) { waiting.erase(QDir::cleanPath(path).toStdString()); });
  TfrmMain& form = ShownForm();
  ASSERT_EQ(form.tvwPath->Path(), Dir() + "a/b/c/d/e");
  QTreeView& tree = *form.tvwPath;
  const auto shown = [&] { return tree.viewport()->rect().contains(tree.visualRect(tree.currentIndex())); };
  ASSERT_TRUE(WaitFor([&] { return waiting.empty(); })) << "still reading " << *waiting.begin();
  // The folder is in view once the rows the reading brought are placed.
  EXPECT_TRUE(WaitFor(shown));
  EXPECT_EQ(form.tvwPath->Path(), Dir() + "a/b/c/d/e");
}

TEST_F(MainFormTest, LanguageMenuListsTheFolderAndSwitchesTexts) {
  testsupport::WriteBytes(Dir() + "language/deutsch", {'2', '1', '0', '=', '&', 'D', 'a', 't', 'e', 'i', '\n'});
  TfrmMain& form = Form();
  const QList<QAction*> items = form.mnuLanguagePack->actions();
  ASSERT_EQ(items.size(), 2);
  EXPECT_EQ(items[0]->text(), "deutsch");
  EXPECT_FALSE(items[0]->isChecked());
  EXPECT_TRUE(items[1]->isChecked());
  items[0]->trigger();
  EXPECT_EQ(ProgramInfo().LanguagePackNow, "deutsch");
  EXPECT_EQ(form.mnuFile->title(), "&Datei");
  EXPECT_TRUE(items[0]->isChecked());
  EXPECT_FALSE(items[1]->isChecked());
  EXPECT_TRUE(FileExists(Dir() + "config.inf"));
}

TEST_F(MainFormTest, TheSkinMenuLoadsAStoredSkinOrSwitchesSkinningOff) {
  ProgramInfo().CfgSkin = 3;
  TfrmMain& form = Form();
  // The stored choice is put back at start.
  EXPECT_TRUE(form.mnuSkin3->isChecked());
  EXPECT_TRUE(form.sdSkin->Active());
  EXPECT_EQ(form.sdSkin->SkinName(), "Meadow");
  EXPECT_EQ(form.ssStore->Store().Count(), 4);

  struct Step {
    QAction* Item;
    int Skin;
    const char* Name;  // the loaded skin; nullptr while skinning is off
  };
  const Step steps[] = {{form.mnuSkin1, 1, "Slate"}, {form.mnuSkinDefault, 0, nullptr}, {form.mnuSkin4, 4, "Rosewood"},
                        {form.mnuSkin2, 2, "Graphite"}};
  for (const Step& s : steps) {
    s.Item->trigger();
    EXPECT_EQ(ProgramInfo().CfgSkin, s.Skin);
    EXPECT_TRUE(s.Item->isChecked());
    EXPECT_EQ(form.sdSkin->Active(), s.Name != nullptr);
    if (s.Name) {
      EXPECT_EQ(form.sdSkin->SkinName(), s.Name);
    }
  }
  for (QAction* other : {form.mnuSkinDefault, form.mnuSkin1, form.mnuSkin3, form.mnuSkin4}) {
    EXPECT_FALSE(other->isChecked());
  }
}

TEST_F(MainFormTest, TheStoredSkinsDrawTheWindowAndSwitchWhileItIsShown) {
  InstallSkinManager();
  ProgramInfo().CfgSkin = 1;
  TfrmMain& form = ShownForm();
  QTest::qWait(20);
  QCoreApplication::processEvents();
  const QSize client = form.size() - QSize(form.contentsMargins().left() + form.contentsMargins().right(),
                                           form.contentsMargins().top() + form.contentsMargins().bottom());
  struct Step {
    QAction* Item;
    bool Skinned;
  };
  const Step steps[] = {{nullptr, true}, {form.mnuSkinDefault, false}, {form.mnuSkin3, true}, {form.mnuSkin2, true}};
  for (const Step& s : steps) {
    if (s.Item != nullptr) {
      s.Item->trigger();
      // The action runs from the manager's 250 ms timer, which a loaded
      // machine may fire late.
      TSkinManage* waiting = TSkinManage::Instance();
      ASSERT_NE(waiting, nullptr);
      EXPECT_TRUE(QTest::qWaitFor([&] { return !waiting->ActionTimerActive(); }, 5000));
      QCoreApplication::processEvents();
    }
    TSkinManage* manager = TSkinManage::Instance();
    ASSERT_NE(manager, nullptr);
    TWinSkinForm* skinned = manager->SkinnedWindow(&form);
    EXPECT_EQ(skinned != nullptr, s.Skinned);
    EXPECT_EQ((form.windowFlags() & Qt::FramelessWindowHint) != 0, s.Skinned);
    EXPECT_TRUE(form.isVisible());
    if (skinned != nullptr) {
      const TFrameSizes f = SkinFrameSizes(form.sdSkin->Skin(), fkFramed);
      EXPECT_GT(f.Top, 0);
      EXPECT_EQ(form.contentsMargins(), f.Margins());
      // Shaped unless no edge has a transparent colour (Graphite).
      const TSkinDescription& skin = form.sdSkin->Skin();
      const bool shaped = skin.Left.Trans || skin.Right.Trans || skin.Top.Trans || skin.Bottom.Trans;
      EXPECT_EQ(!form.mask().isEmpty(), shaped) << form.sdSkin->SkinName();
    } else {
      EXPECT_EQ(form.contentsMargins(), QMargins());
    }
    // The client area keeps its size whatever frame it has.
    EXPECT_EQ(form.contentsRect().size(), client);
  }
}

TEST_F(MainFormTest, HelpMaskEditorHomePageAndSettings) {
  TfrmMain& form = Form();
  form.mnuVeilpaint->trigger();
  EXPECT_TRUE(HasBox(msg::MaskEditorMissing, mkInformation));
  EXPECT_TRUE(started_.empty());

  const std::string editor = Dir() + "Veilpaint";
  testsupport::WriteBytes(editor, {'#', '!'});
  ::chmod(editor.c_str(), 0755);
  form.mnuVeilpaint->trigger();
  EXPECT_EQ(started_, (Names{editor + "|" + Dir()}));

  handler_.Boxes.clear();
  form.mnuHelp->trigger();
  EXPECT_TRUE(HasBox(msg::HelpFileMissing, mkInformation));
  EXPECT_TRUE(handler_.Opened.empty());
  // With the help beside the program, Help opens its contents and
  // Tutorial the tutorial, in the desktop's browser.
  fs::copy(testsupport::SourceDir() + "/help", Dir() + "help");
  handler_.Boxes.clear();
  form.mnuHelp->trigger();
  QTest::mouseClick(form.tbTutorial, Qt::LeftButton);
  EXPECT_TRUE(handler_.Boxes.empty());
  EXPECT_EQ(handler_.Opened, (Names{Dir() + "help/index.html", Dir() + "help/tutorial.html"}));
  form.mnuMainPage->trigger();
  EXPECT_EQ(handler_.Opened.back(), HomePageAddress);

  form.tbSetup->click();
  EXPECT_EQ(setupPages_, (std::vector<int>{0}));
}

}  // namespace

