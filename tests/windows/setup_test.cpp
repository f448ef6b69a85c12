// The settings window: controls against keys, the dependencies between
// them, the delay coupling, and what OK and Exit leave behind.

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>

#include <algorithm>
#include <memory>

#include "app/routines.h"
#include "app/settings.h"
#include "windows/form_support.h"
#include "windows/setup.h"
#include "windows/setup_logic.h"
#include "windows/windows_fixture.h"

namespace {

std::string ReadText(const std::string& path) {
  const auto bytes = testsupport::ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

class SetupTest : public WindowsTest {
 protected:
  void SetUp() override {
    WindowsTest::SetUp();
    TSetupServices& services = TfrmSetup::Services();
    services.RegisterShellnook = [this] {
      ++registered_;
      return true;
    };
    services.UnregisterShellnook = [this] {
      ++unregistered_;
      return true;
    };
    services.ChooseColor = [this](QWidget*, TColor initial) {
      offeredColor_ = initial;
      return chosenColor_;
    };
    services.ChooseTiledImage = [this](QWidget*, const std::string& initial) {
      offeredFile_ = initial;
      return chosenFile_;
    };
  }
  void TearDown() override {
    TfrmSetup::Services() = TfrmSetup::DefaultServices();
    WindowsTest::TearDown();
  }

  // A window with the settings loaded, as showing it does.
  std::unique_ptr<TfrmSetup> LoadedForm() {
    auto form = std::make_unique<TfrmSetup>();
    form->LoadSettings();
    return form;
  }

  // Puts a stored value into the settings as if "config.inf" held it.
  void Store(const char* key, const std::string& value) {
    ProgramInfo().ConfigLines.SetValue(key, value);
    ProgramInfo().ReadSettings();
  }

  int registered_ = 0;
  int unregistered_ = 0;
  std::optional<TColor> chosenColor_;
  std::optional<std::string> chosenFile_;
  TColor offeredColor_ = 0;
  std::string offeredFile_;
};

// ---- Delay coupling ----------------------------------------------------------

TEST_F(SetupTest, TypingADelayMovesTheTrackBarAndKeepsTheExactValue) {
  auto form = LoadedForm();
  form->show();
  form->edtDelay->setFocus();
  form->edtDelay->selectAll();
  QTest::keyClicks(form->edtDelay, "2500");
  EXPECT_EQ(form->edtDelay->value(), 2500);
  EXPECT_EQ(form->tbDelay->value(), 6);
  EXPECT_EQ(form->lblDelay->text(), "(3 second)");
  form->SaveSettings();
  EXPECT_EQ(ProgramInfo().SlideDelay, 2500);
}

TEST_F(SetupTest, MovingTheTrackBarSetsTheRowsDelay) {
  auto form = LoadedForm();
  form->tbDelay->setValue(1);
  EXPECT_EQ(form->edtDelay->value(), 30);
  EXPECT_EQ(form->lblDelay->text(), "()");
  form->tbDelay->setValue(36);
  EXPECT_EQ(form->edtDelay->value(), 864000000);
  EXPECT_EQ(form->lblDelay->text(), "(10 day)");
  form->tbDelay->setValue(0);
  EXPECT_EQ(form->edtDelay->value(), 0);
  EXPECT_EQ(form->lblDelay->text(), "(No delay)");
  form->SaveSettings();
  EXPECT_EQ(ProgramInfo().SlideDelay, 0);
}

TEST_F(SetupTest, DelaysBeyondTheTableOrNoNumberAreClamped) {
  auto form = LoadedForm();
  form->show();
  form->edtDelay->setFocus();

  form->edtDelay->selectAll();
  QTest::keyClicks(form->edtDelay, "99999999999");
  EXPECT_EQ(form->edtDelay->value(), 864000000);
  EXPECT_EQ(form->tbDelay->value(), 36);

  // A negative or unfinished number stands for no delay.
  form->edtDelay->selectAll();
  QTest::keyClicks(form->edtDelay, "-7");
  EXPECT_EQ(form->edtDelay->value(), 0);
  EXPECT_EQ(form->tbDelay->value(), 0);
  EXPECT_EQ(form->lblDelay->text(), "(No delay)");

  // Letters and fractions cannot be typed at all.
  form->edtDelay->selectAll();
  QTest::keyClicks(form->edtDelay, "1.5s");
  EXPECT_EQ(form->edtDelay->text(), "15");
  EXPECT_EQ(form->edtDelay->value(), 15);
  EXPECT_EQ(form->tbDelay->value(), 1);

  // A stored delay above the table is shown and saved as the longest one.
  ProgramInfo().SlideDelay = 2000000000;
  form->LoadSettings();
  EXPECT_EQ(form->tbDelay->value(), 36);
  form->SaveSettings();
  EXPECT_EQ(ProgramInfo().SlideDelay, 864000000);
}

TEST_F(SetupTest, LoadingADelayMovesTheTrackBarEvenWhenTheValueIsUnchanged) {
  ProgramInfo().SlideDelay = 0;
  auto form = LoadedForm();
  EXPECT_EQ(form->tbDelay->value(), 0);
  EXPECT_EQ(form->lblDelay->text(), "(No delay)");
  ProgramInfo().SlideDelay = 45000;
  form->LoadSettings();
  EXPECT_EQ(form->tbDelay->value(), 17);
  EXPECT_EQ(form->lblDelay->text(), "(45 second)");
}

// ---- Keys and controls -------------------------------------------------------

// Every Boolean key, flipped alone, comes back through the window while
// every other one keeps its default: a check box wired to the wrong key
// shows up as two keys changed.
TEST_F(SetupTest, EachSwitchRoundTripsThroughItsOwnControl) {
  using Flag = bool TProgramInfo::*;
  const std::vector<std::pair<const char*, Flag>> flags = {
      {"AutoLocateOldPath", &TProgramInfo::AutoLocateOldPath},
      {"EnableShellnook", &TProgramInfo::EnableShellnook},
      {"KeepJpgCompress", &TProgramInfo::KeepJpgCompress},
      {"GifEnableDither", &TProgramInfo::GifEnableDither},
      {"GifEnablePalette", &TProgramInfo::GifEnablePalette},
      {"GifMarkFirst", &TProgramInfo::GifMarkFirst},
      {"GifDisableAnimate", &TProgramInfo::GifDisableAnimate},
      {"BmpKeepColor", &TProgramInfo::BmpKeepColor},
      {"ViewImageViewMain", &TProgramInfo::ViewImageViewMain},
      {"ViewShrinkFit", &TProgramInfo::ViewShrinkFit},
      {"ViewZoomFit", &TProgramInfo::ViewZoomFit},
      {"ViewAlwaysTop", &TProgramInfo::ViewAlwaysTop},
      {"ViewImageFullScreen", &TProgramInfo::ViewImageFullScreen},
      {"ViewHideMouse", &TProgramInfo::ViewHideMouse},
      {"ViewEnableTiledImage", &TProgramInfo::ViewEnableTiledImage},
      {"ViewShowToolbar", &TProgramInfo::ViewShowToolbar},
      {"ViewShowFullPath", &TProgramInfo::ViewShowFullPath},
  };
  TProgramInfo& p = ProgramInfo();
  p.SetDefaults();
  std::vector<bool> defaults;
  for (const auto& f : flags) defaults.push_back(p.*f.second);

  for (std::size_t i = 0; i < flags.size(); ++i) {
    SCOPED_TRACE(flags[i].first);
    p.SetDefaults();
    p.*flags[i].second = !defaults[i];
    auto form = LoadedForm();
    p.SetDefaults();
    form->SaveSettings();
    for (std::size_t k = 0; k < flags.size(); ++k) {
      EXPECT_EQ(p.*flags[k].second, k == i ? !defaults[k] : defaults[k]) << flags[k].first;
    }
  }
}

TEST_F(SetupTest, EveryValueRoundTripsThroughTheWindow) {
  TProgramInfo& p = ProgramInfo();
  p.OutputFileType = 5;
  p.ImageFilter.Clear();
  p.ImageFilter.Add("*.abc");
  p.ImageFilter.Add("*.jpg");
  p.JpgCompress = 37;
  p.GifDither = 4;
  p.GifPalette = 6;
  p.GifCompress = 1;
  p.BmpColorSetup = 4;
  p.ViewSolidColor = 0x00123456;
  p.ViewTiledImage = "/pictures/tile ü.png";
  p.SlideSequence = 2;
  p.SlideDelay = 2500;
  // The radio groups follow only keys that "config.inf" holds.
  ASSERT_TRUE(p.SaveConfig());

  auto form = LoadedForm();
  EXPECT_TRUE(form->rbOutputPcx->isChecked());
  EXPECT_TRUE(form->rbDither[4]->isChecked());
  EXPECT_TRUE(form->rbPalette[6]->isChecked());
  EXPECT_TRUE(form->rbRLE->isChecked());
  EXPECT_EQ(form->cbxBmpColorSetup->currentText(), "4bit(16 Color)");
  EXPECT_TRUE(form->rbRandom->isChecked());
  EXPECT_EQ(form->edtFilter->currentText(), "*.abc;*.jpg");
  EXPECT_EQ(form->lblJpgCompress->text(), "37%");
  EXPECT_EQ(form->tbDelay->value(), 6);

  p.SetDefaults();
  form->SaveSettings();
  EXPECT_EQ(p.OutputFileType, 5);
  EXPECT_EQ(JoinStrings(p.ImageFilter, ';'), "*.abc;*.jpg");
  EXPECT_EQ(p.JpgCompress, 37);
  EXPECT_EQ(p.GifDither, 4);
  EXPECT_EQ(p.GifPalette, 6);
  EXPECT_EQ(p.GifCompress, 1);
  EXPECT_EQ(p.BmpColorSetup, 4);
  EXPECT_EQ(p.ViewSolidColor, 0x00123456u);
  EXPECT_EQ(p.ViewTiledImage, "/pictures/tile ü.png");
  EXPECT_EQ(p.SlideSequence, 2);
  EXPECT_EQ(p.SlideDelay, 2500);
}

TEST_F(SetupTest, RadioGroupsFollowOnlyStoredNumbers) {
  // No key in the file: the designed choice stays, whatever the field says.
  ProgramInfo().OutputFileType = 3;
  ProgramInfo().GifDither = 2;
  ProgramInfo().GifPalette = 5;
  auto form = LoadedForm();
  EXPECT_TRUE(form->rbOutputDefault->isChecked());
  EXPECT_TRUE(form->rbDither[0]->isChecked());
  EXPECT_TRUE(form->rbPalette[0]->isChecked());

  Store("OutputFileType", "3");
  Store("GifDither", "2");
  Store("GifPalette", "5");
  form = LoadedForm();
  EXPECT_TRUE(form->rbOutputBmp->isChecked());
  EXPECT_TRUE(form->rbDither[2]->isChecked());
  EXPECT_TRUE(form->rbPalette[5]->isChecked());
}

// Each output button stands for the number its type is stored as, both
// ways: the stored type checks its button, and the checked button is what
// is stored.
TEST_F(SetupTest, EachOutputButtonStandsForItsStoredType) {
  const struct {
    const char* Button;
    TOutputType Type;
  } buttons[] = {{"rbOutputDefault", otSameAsSource}, {"rbOutputJpg", otJpeg}, {"rbOutputGif", otGif},
                 {"rbOutputBmp", otBmp},              {"rbOutputPng", otPng},  {"rbOutputPcx", otPcx},
                 {"rbOutputTga", otTarga}};
  for (const auto& b : buttons) {
    SCOPED_TRACE(b.Button);
    Store("OutputFileType", std::to_string(static_cast<int>(b.Type)));
    auto form = LoadedForm();
    auto* button = form->findChild<QRadioButton*>(b.Button);
    ASSERT_NE(button, nullptr);
    EXPECT_TRUE(button->isChecked());

    Store("OutputFileType", "9");
    form = LoadedForm();
    form->findChild<QRadioButton*>(b.Button)->setChecked(true);
    form->SaveSettings();
    EXPECT_EQ(ProgramInfo().OutputFileType, b.Type);
  }
}

TEST_F(SetupTest, StoredValuesOutsideTheirGroupSurviveSaving) {
  Store("OutputFileType", "9");
  Store("GifDither", "7");
  Store("GifPalette", "8");
  Store("BmpColorSetup", "6");
  Store("SlideSequence", "3");
  auto form = LoadedForm();
  for (QRadioButton* b : form->findChildren<QRadioButton*>()) {
    const QString name = b->objectName();
    if (name.startsWith("rbOutput") || name.startsWith("rbDither") || name.startsWith("rbPalette") ||
        name == "rbForward" || name == "rbReverse" || name == "rbRandom") {
      EXPECT_FALSE(b->isChecked()) << name.toStdString();
    }
  }
  EXPECT_EQ(form->cbxBmpColorSetup->currentIndex(), -1);

  form->SaveSettings();
  const TProgramInfo& p = ProgramInfo();
  EXPECT_EQ(p.OutputFileType, 9);
  EXPECT_EQ(p.GifDither, 7);
  EXPECT_EQ(p.GifPalette, 8);
  EXPECT_EQ(p.BmpColorSetup, 6);
  EXPECT_EQ(p.SlideSequence, 3);

  // Choosing one afterwards works as ever.
  form->rbOutputGif->setChecked(true);
  form->cbxBmpColorSetup->setCurrentIndex(0);
  form->SaveSettings();
  EXPECT_EQ(p.OutputFileType, 2);
  EXPECT_EQ(p.BmpColorSetup, 0);
}

TEST_F(SetupTest, TheFilterIsTrimmedAndAnEmptyOneRestoresTheDefaults) {
  auto form = LoadedForm();
  EXPECT_EQ(form->edtFilter->currentText().toStdString(), DefaultImageFilter);
  form->edtFilter->setEditText("*.jpg; *.png");
  form->SaveSettings();
  ASSERT_EQ(ProgramInfo().ImageFilter.Count(), 2);
  EXPECT_TRUE(IsImageFile("photo.png"));
  EXPECT_FALSE(IsImageFile("photo.gif"));
  form->edtFilter->setEditText("  ");
  form->SaveSettings();
  EXPECT_EQ(JoinStrings(ProgramInfo().ImageFilter, ';'), DefaultImageFilter);
}

// What is typed is stored, never the list's default filter it begins like.
TEST_F(SetupTest, TheFilterStoresExactlyWhatWasTyped) {
  auto form = LoadedForm();
  form->show();
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  QLineEdit* edit = form->edtFilter->lineEdit();
  ASSERT_NE(edit, nullptr);
  for (const char* typed : {"*.jpg", "*.png", "*.j"}) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, typed);
    EXPECT_EQ(form->edtFilter->currentText().toStdString(), typed);
    QTest::keyClick(edit, Qt::Key_Tab);
    form->SaveSettings();
    EXPECT_EQ(JoinStrings(ProgramInfo().ImageFilter, ';'), typed);
  }
}

// ---- Dependencies ------------------------------------------------------------

TEST_F(SetupTest, KeptJpegQualityHidesTheSliderButStoresItsValue) {
  ProgramInfo().KeepJpgCompress = true;
  ProgramInfo().JpgCompress = 55;
  auto form = LoadedForm();
  EXPECT_TRUE(form->tbJpgCompress->isHidden());
  EXPECT_TRUE(form->lblJpgCompress->isHidden());
  EXPECT_EQ(form->lblJpgCompress->text(), "55%");
  form->SaveSettings();
  EXPECT_EQ(ProgramInfo().JpgCompress, 55);
  EXPECT_TRUE(ProgramInfo().KeepJpgCompress);

  form->chkKeepJpgCompress->setChecked(false);
  EXPECT_FALSE(form->tbJpgCompress->isHidden());
  EXPECT_FALSE(form->lblJpgCompress->isHidden());
  form->tbJpgCompress->setValue(80);
  EXPECT_EQ(form->lblJpgCompress->text(), "80%");
}

TEST_F(SetupTest, JpegQualityZeroBecomesOne) {
  ProgramInfo().JpgCompress = 0;
  auto form = LoadedForm();
  EXPECT_EQ(form->tbJpgCompress->minimum(), 1);
  EXPECT_EQ(form->tbJpgCompress->maximum(), 100);
  EXPECT_EQ(form->tbJpgCompress->value(), 1);
  EXPECT_EQ(form->lblJpgCompress->text(), "1%");
  form->SaveSettings();
  EXPECT_EQ(ProgramInfo().JpgCompress, 1);
}

TEST_F(SetupTest, GroupsShowAsTheirSwitchesSay) {
  TfrmSetup designed;
  EXPECT_TRUE(designed.chkKeepJpgCompress->isChecked());
  EXPECT_TRUE(designed.chkPalette->isChecked());
  EXPECT_TRUE(designed.tbJpgCompress->isHidden());
  EXPECT_TRUE(designed.gbDither->isHidden());
  EXPECT_FALSE(designed.gbPalette->isHidden());
  EXPECT_FALSE(designed.gbBmpColorSetup->isHidden());
  EXPECT_EQ(designed.lblJpgCompress->text(), "100%");

  ProgramInfo().GifEnableDither = true;
  ProgramInfo().GifEnablePalette = false;
  ProgramInfo().BmpKeepColor = true;
  auto form = LoadedForm();
  EXPECT_FALSE(form->gbDither->isHidden());
  EXPECT_TRUE(form->gbPalette->isHidden());
  EXPECT_TRUE(form->gbBmpColorSetup->isHidden());
  form->chkDither->setChecked(false);
  form->chkPalette->setChecked(true);
  form->chkKeepSourceFileColor->setChecked(false);
  EXPECT_TRUE(form->gbDither->isHidden());
  EXPECT_FALSE(form->gbPalette->isHidden());
  EXPECT_FALSE(form->gbBmpColorSetup->isHidden());
}

TEST_F(SetupTest, BackgroundChoosersPickTheirRadioAndTakeTheChoice) {
  ProgramInfo().ViewEnableTiledImage = true;
  ProgramInfo().ViewTiledImage = "/old/tile.png";
  auto form = LoadedForm();
  EXPECT_TRUE(form->rbTiledImage->isChecked());

  chosenColor_.reset();
  ClickChild(form.get(), "btnSolidColor");
  EXPECT_TRUE(form->rbSolidColor->isChecked());
  EXPECT_EQ(offeredColor_, 9855488u);
  EXPECT_EQ(form->SolidColor(), 9855488u);

  chosenColor_ = RGB(10, 20, 30);
  ClickChild(form.get(), "btnSolidColor");
  EXPECT_EQ(form->SolidColor(), RGB(10, 20, 30));
  EXPECT_EQ(form->pnlSolidColor->palette().color(QPalette::Window), QColor(10, 20, 30));

  chosenFile_.reset();
  ClickChild(form.get(), "btnTiledImage");
  EXPECT_TRUE(form->rbTiledImage->isChecked());
  EXPECT_EQ(offeredFile_, "/old/tile.png");
  EXPECT_EQ(form->edtTiledImage->text(), "/old/tile.png");
  chosenFile_ = "/new/stone.jpg";
  ClickChild(form.get(), "btnTiledImage");
  EXPECT_EQ(form->edtTiledImage->text(), "/new/stone.jpg");

  form->SaveSettings();
  EXPECT_TRUE(ProgramInfo().ViewEnableTiledImage);
  EXPECT_EQ(ProgramInfo().ViewSolidColor, RGB(10, 20, 30));
  EXPECT_EQ(ProgramInfo().ViewTiledImage, "/new/stone.jpg");
  EXPECT_TRUE(handler_.Boxes.empty());
}

TEST_F(SetupTest, ShowMouseTakesBackEveryHiddenPointer) {
  QWidget viewer;
  viewer.setCursor(Qt::BlankCursor);
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  QGuiApplication::setOverrideCursor(Qt::BlankCursor);
  QGuiApplication::setOverrideCursor(Qt::BlankCursor);
  auto form = LoadedForm();
  ClickChild(form.get(), "btnShowMouse");
  ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
  // The program's own busy pointer is not the viewer's to take back.
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
  QGuiApplication::restoreOverrideCursor();
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_NE(viewer.cursor().shape(), Qt::BlankCursor);
}

TEST_F(SetupTest, CaptionsComeFromTheLanguageAndTableTextsStayEnglish) {
  SetText(715, "Betrachter");
  SetText(1165, "Millisekunden");
  TfrmSetup form;
  for (const TSetupCaption& caption : SetupCaptions()) {
    if (std::string(caption.Name) == "frmSetup") continue;
    EXPECT_NE(form.findChild<QObject*>(caption.Name), nullptr) << caption.Name;
  }
  EXPECT_EQ(form.windowTitle(), MessageText(710));
  EXPECT_EQ(form.pcMain->tabText(4), "Betrachter");
  EXPECT_EQ(form.lblMilliseconds->text(), "Millisekunden");
  EXPECT_EQ(form.rbDither[6]->text(), MessageText(768));
  EXPECT_EQ(form.gbBmpColorSetup->title(), MessageText(791));
  EXPECT_EQ(form.btnOK->text(), MessageText(101));
  EXPECT_EQ(form.cbxBmpColorSetup->itemText(2), "16bit(65536 Color)");
  form.tbDelay->setValue(31);
  EXPECT_EQ(form.lblDelay->text(), "(1 hour)");
  const char* pages[] = {"tsGeneral", "tsJPG", "tsGIF", "tsBMP", "tsViewer", "tsSlideShow"};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(form.pcMain->widget(i)->objectName(), pages[i]);
}

// The labels under the filter show an example of the pattern syntax, once.
TEST_F(SetupTest, TheFilterExampleIsShownOnce) {
  TfrmSetup form;
  const std::string example = form.lblExt1->text().toStdString();
  EXPECT_EQ(example, GetMessageText(741));
  EXPECT_NE(example.find("*.jpg;*.png"), std::string::npos) << example;
  EXPECT_TRUE(form.lblExt1->isVisibleTo(&form));
  EXPECT_FALSE(form.lblExt2->isVisibleTo(&form));
  EXPECT_FALSE(form.lblExt3->isVisibleTo(&form));
}

TEST_F(SetupTest, EachPageIsAsTallAsItNeeds) {
  // The GIF page at its tallest, with both groups shown.
  ProgramInfo().GifEnableDither = true;
  ProgramInfo().GifEnablePalette = true;
  TfrmSetup form;
  form.show();
  ASSERT_TRUE(WaitFor([&] { return form.isVisible(); }));
  // The room below the lowest control of the page shown.
  const auto band = [&form] {
    QCoreApplication::processEvents();
    QWidget* page = form.pcMain->currentWidget();
    int bottom = 0;
    for (QWidget* w : page->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
      if (w->isVisible()) bottom = std::max(bottom, w->geometry().bottom() + 1);
    }
    return page->height() - bottom - page->layout()->contentsMargins().bottom();
  };
  const int gif = TfrmSetup::pgGIF;
  for (const int page : {gif, 1, gif, 3, 0, 4, 5, gif}) {
    SCOPED_TRACE(page);
    form.pcMain->setCurrentIndex(page);
    EXPECT_LE(band(), 12);
  }
  const int tallest = form.height();
  // A group switched off takes its room with it.
  form.chkDither->setChecked(false);
  EXPECT_LE(band(), 12);
  EXPECT_LT(form.height(), tallest);
}

// ---- Execute, OK and Exit ----------------------------------------------------

TEST_F(SetupTest, ExecuteOpensOnTheAskedPage) {
  for (const auto& [page, expected] : std::vector<std::pair<int, const char*>>{
           {4, "tsViewer"}, {0, "tsGeneral"}, {5, "tsSlideShow"}, {9, "tsGeneral"}, {-1, "tsGeneral"}}) {
    QString shown;
    WhenModal<TfrmSetup>([&shown](TfrmSetup* form) {
      shown = form->pcMain->currentWidget()->objectName();
      ClickChild(form, "btnExit");
    });
    EXPECT_FALSE(TfrmSetup::Execute(page));
    EXPECT_EQ(shown.toStdString(), expected) << page;
  }
}

TEST_F(SetupTest, OkStoresTheFileAndRegistersOnEveryConfirmation) {
  // Unchanged and off: the action is taken away once more.
  WhenModal<TfrmSetup>([](TfrmSetup* form) { ClickChild(form, "btnOK"); });
  EXPECT_TRUE(TfrmSetup::Execute(TfrmSetup::pgGeneral));
  EXPECT_EQ(registered_, 0);
  EXPECT_EQ(unregistered_, 1);
  ASSERT_TRUE(FileExists(Dir() + "config.inf"));

  // Switched on, with other changes on the way.
  WhenModal<TfrmSetup>([](TfrmSetup* form) {
    form->chkEnabledShellnook->setChecked(true);
    form->rbOutputPng->setChecked(true);
    form->tbDelay->setValue(8);
    ClickChild(form, "btnOK");
  });
  EXPECT_TRUE(TfrmSetup::Execute(TfrmSetup::pgGeneral));
  EXPECT_EQ(registered_, 1);
  EXPECT_EQ(unregistered_, 1);

  // Unchanged and on: registered again.
  WhenModal<TfrmSetup>([](TfrmSetup* form) { ClickChild(form, "btnOK"); });
  EXPECT_TRUE(TfrmSetup::Execute(TfrmSetup::pgGeneral));
  EXPECT_EQ(registered_, 2);
  EXPECT_EQ(unregistered_, 1);

  // Switched off.
  WhenModal<TfrmSetup>([](TfrmSetup* form) {
    form->chkEnabledShellnook->setChecked(false);
    ClickChild(form, "btnOK");
  });
  EXPECT_TRUE(TfrmSetup::Execute(TfrmSetup::pgGeneral));
  EXPECT_EQ(registered_, 2);
  EXPECT_EQ(unregistered_, 2);

  // What the next start reads.
  FreeProgramInfo();
  CreateProgramInfo();
  EXPECT_FALSE(ProgramInfo().EnableShellnook);
  EXPECT_EQ(ProgramInfo().OutputFileType, 4);
  EXPECT_EQ(ProgramInfo().SlideDelay, 5000);
  EXPECT_TRUE(handler_.Boxes.empty());
}

TEST_F(SetupTest, ExitLeavesSettingsAndFileUntouched) {
  ProgramInfo().SlideDelay = 7000;
  ASSERT_TRUE(ProgramInfo().SaveConfig());
  const std::string before = ReadText(Dir() + "config.inf");

  WhenModal<TfrmSetup>([](TfrmSetup* form) {
    form->chkEnabledShellnook->setChecked(true);
    form->rbOutputGif->setChecked(true);
    form->tbDelay->setValue(2);
    form->edtFilter->setEditText("*.xyz");
    ClickChild(form, "btnExit");
  });
  EXPECT_FALSE(TfrmSetup::Execute(TfrmSetup::pgGeneral));
  EXPECT_EQ(ReadText(Dir() + "config.inf"), before);
  EXPECT_FALSE(ProgramInfo().EnableShellnook);
  EXPECT_EQ(ProgramInfo().OutputFileType, 0);
  EXPECT_EQ(ProgramInfo().SlideDelay, 7000);
  EXPECT_EQ(ProgramInfo().ImageFilter.Count(), 40);
  EXPECT_EQ(registered_ + unregistered_, 0);
}

TEST_F(SetupTest, ExitWithoutAFileWritesNone) {
  WhenModal<TfrmSetup>([](TfrmSetup* form) { form->reject(); });
  EXPECT_FALSE(TfrmSetup::Execute(TfrmSetup::pgViewer));
  EXPECT_FALSE(FileExists(Dir() + "config.inf"));
}

}  // namespace
