// The mark editor on the offscreen platform, in a program folder of its
// own: making a text mark and a picture mark, editing, renaming, the
// questions and failures of saving, the marked sample and what a batch
// makes of the mark, dragging and colour picking, the rules between the
// options, and the text picture. Dialogs are answered by the replaced
// services and the recording window side.

#include <sys/stat.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>

#include <algorithm>
#include <array>
#include <filesystem>
#include <memory>

#include "app/messages.h"
#include "core/files.h"
#include "core/numbers.h"
#include "formats/registry.h"
#include "skin/skin_child.h"
#include "skin/skin_controls.h"
#include "skin/skin_data.h"
#include "skin/skin_manager.h"
#include "skin/stored_skins.h"
#include "windows/gl_panel.h"
#include "windows/mark_editor/mark_editor.h"
#include "windows/mark_editor/mark_editor_captions.h"
#include "windows/mark_editor/mark_editor_fixture.h"
#include "windows/mark_editor/mark_editor_widgets.h"
#include "windows/mark_editor/mark_text.h"
#include "support/pictures.h"
#include "windows/windows_fixture.h"

namespace {

namespace fs = std::filesystem;

using testsupport::PatternPicture;
using testsupport::SolidPicture;

bool SamePixels(const TBitmap& a, const TBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  for (int y = 0; y < a.Height(); ++y) {
    for (int x = 0; x < a.Width(); ++x) {
      if (a.Canvas().Pixel(x, y) != b.Canvas().Pixel(x, y)) return false;
    }
  }
  return true;
}

// A mouse event on a widget with the buttons held, as the platform sends it.
void SendMouse(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons) {
  QMouseEvent event(type, QPointF(pos), w->mapToGlobal(QPointF(pos)), button, buttons, Qt::NoModifier);
  QApplication::sendEvent(w, &event);
}

class MarkEditorFormTest : public WindowsTest {
 protected:
  void SetUp() override {
    WindowsTest::SetUp();
    RegisterImageFormats();
    TMakeMarkServices& s = TfrmMakeMark::Services();
    s.ChoosePicture = [this](QWidget*, const std::string& title, const std::string& folder)
        -> std::optional<std::string> {
      pictureAsks_.push_back(title + "|" + folder);
      if (pictures_.empty()) return std::nullopt;
      const std::string file = pictures_.front();
      pictures_.erase(pictures_.begin());
      return file;
    };
    s.ChooseSaveName = [this](QWidget*, const std::string& name) {
      saveOffered_ = name;
      return saveName_;
    };
    s.ChooseColor = [this](QWidget*, TColor initial) {
      colorOffered_ = initial;
      return color_;
    };
    s.ChooseFont = [this](QWidget*, const TMarkFont& initial) {
      fontOffered_ = initial;
      return font_;
    };
    s.StartProgram = [this](const std::string& program, const std::string&) {
      started_.push_back(program);
      return true;
    };
    s.ViewPicture = [this](QWidget*, const TBitmap& picture) { viewed_.push_back(picture); };
    fs::create_directories(Dir() + "spm");
  }
  void TearDown() override {
    form_.reset();
    TfrmMakeMark::Services() = TfrmMakeMark::DefaultServices();
    WindowsTest::TearDown();
  }

  TfrmMakeMark& Open(bool edit, const std::string& name) {
    form_ = std::make_unique<TfrmMakeMark>(edit, name);
    form_->resize(980, 680);
    form_->show();
    EXPECT_TRUE(WaitFor([&] { return form_->Ready(); }));
    form_->ProcessPendingRefresh();
    return *form_;
  }
  std::string WriteBmp(const std::string& name, TBitmap b) {
    const std::string path = Dir() + name;
    b.SaveToFile(path);
    return path;
  }
  // A picture mark of the editor's making, chosen through its picture
  // button.
  void ChoosePicture(TfrmMakeMark& form, const TBitmap& picture) {
    pictures_ = {WriteBmp("mark.bmp", picture)};
    QTest::mouseClick(form.SpeedButton1, Qt::LeftButton);
    form.ProcessPendingRefresh();
  }
  std::string MarkFile(const std::string& name) { return Dir() + "spm/" + name + ".spm"; }
  bool HasBox(int number, int kind) const {
    for (const auto& box : handler_.Boxes) {
      if (box.Text.rfind(GetMessageText(number), 0) == 0 && box.Kind == kind) return true;
    }
    return false;
  }
  static std::unique_ptr<TMark> Load(const std::string& file) {
    auto m = std::make_unique<TMark>();
    m->AddMark(file);
    m->LoadMarks();
    return m;
  }

  std::unique_ptr<TfrmMakeMark> form_;
  std::vector<std::string> pictures_;
  std::vector<std::string> pictureAsks_;
  std::string saveOffered_;
  std::optional<std::string> saveName_;
  TColor colorOffered_ = 0;
  std::optional<TColor> color_;
  TMarkFont fontOffered_;
  std::optional<TMarkFont> font_;
  std::vector<std::string> started_;
  std::vector<TBitmap> viewed_;
};

}  // namespace

// ---- Making, editing and saving -----------------------------------------------------------

TEST_F(MarkEditorFormTest, ATextMarkMadeThroughTheWindowLoadsBackWithItsFieldsAndPixels) {
  TBitmap shown;
  bool opened = false;
  WhenModal<TfrmMakeMark>([&](TfrmMakeMark* f) {
    opened = true;
    EXPECT_EQ(f->windowTitle().toStdString(), GetMessageText(msg::MarkEditorCaption));
    f->edtName->clear();
    QTest::keyClicks(f->edtName, " Hello ");
    QTest::mouseClick(f->rbText, Qt::LeftButton);
    EXPECT_TRUE(f->pnlText->isVisible());
    EXPECT_FALSE(f->pnlImage->isVisible());
    f->edtText->setFocus();
    QTest::keyClicks(f->edtText, "a");
    QTest::keyClick(f->edtText, Qt::Key_Return);
    QTest::keyClick(f->edtText, Qt::Key_Return);
    QTest::keyClicks(f->edtText, "b");
    f->ProcessPendingRefresh();
    shown = f->MarkPicture();
    ClickChild(f, "tbOK");
  });
  EXPECT_TRUE(TfrmMakeMark::Execute(false, ""));
  ASSERT_TRUE(opened);
  EXPECT_TRUE(handler_.Boxes.empty());

  // The name was trimmed once, for the file and the record alike.
  ASSERT_TRUE(FileExists(MarkFile("Hello")));
  const auto m = Load(MarkFile("Hello"));
  const TMarkInfo& r = m->Records[0];
  EXPECT_EQ(r.Name(), "Hello");
  EXPECT_TRUE(r.TextMark());
  EXPECT_EQ(JoinMarkText(r), "a\r\n\r\nb");
  EXPECT_EQ(r.FontName(), "Arial");
  EXPECT_EQ(r.FontSize(), 9);
  EXPECT_EQ(r.TextBackColor(), clWhite);
  EXPECT_EQ(r.PictureType(), ".bmp");
  EXPECT_TRUE(SamePixels(m->MarkPictures[0], shown));
  // Three lines, the empty one as high as the others.
  QFont font("Arial");
  font.setPixelSize(12);
  EXPECT_EQ(shown.Height(), 3 * QFontMetrics(font).height());
}

TEST_F(MarkEditorFormTest, EditingShowsEveryFieldUnderTheFileNameAndSavesItBack) {
  TMark original;
  original.AddMark("");
  original.Records[0] = FullTextRecord();
  original.Records[0].SetName("internal");  // the file's name wins
  original.Records[0].SetPictureType(".bmp");
  original.MarkPictures[0] = SolidPicture(4, 3, clRed);
  original.Backgrounds[0] = PatternPicture(5, 4);
  original.Frames[0] = SolidPicture(3, 3, clBlue);
  original.Masks[0] = PatternPicture(6, 2);
  ASSERT_TRUE(original.SaveMarkFile(0, MarkFile("orig")));
  const TMarkInfo stored = Load(MarkFile("orig"))->Records[0];

  TfrmMakeMark& form = Open(true, "orig");
  EXPECT_TRUE(handler_.Boxes.empty());
  EXPECT_EQ(form.edtName->text(), "orig");
  EXPECT_TRUE(form.rbText->isChecked());
  EXPECT_EQ(form.edtText->toPlainText(), "line one\n\nline three");
  EXPECT_EQ(form.edtXEX->value(), -1234);
  EXPECT_EQ(form.edtYEX->value(), 65537);
  EXPECT_EQ(form.Anchor(), 7);
  EXPECT_TRUE(form.PositionButtons[7]->isChecked());
  EXPECT_EQ(form.tbClarity->value(), 42);
  EXPECT_EQ(form.lblClartiyPer->text(), "42%");
  EXPECT_TRUE(form.chkMix->isChecked());
  EXPECT_TRUE(form.chkFlag->isChecked());
  EXPECT_FALSE(form.chkAuto->isChecked());
  EXPECT_EQ(form.edtMaskWidth->value(), 30);
  EXPECT_EQ(form.cbxResizeSourceImageOfScale->currentText(), "12.5");
  EXPECT_FALSE(form.cbxResizeSourceImageOfScale->isHidden());
  EXPECT_TRUE(form.cbxDefaultSize->isHidden());
  EXPECT_EQ(form.cbxSourceImageFrameStyle->currentIndex(), 5);
  EXPECT_EQ(form.lblVer->text().toStdString(), GetMessageText(msg::MarkVersionLabel) + ":V3.09");
  EXPECT_EQ(form.MarkFont().Name, "DejaVu Serif");

  ClickChild(&form, "tbOK");
  EXPECT_TRUE(form.Saved());
  const auto saved = Load(MarkFile("orig"));
  TMarkInfo expected = stored;
  expected.SetName("orig");
  ExpectSameFields(saved->Records[0], expected);
  // The companion pictures stay with the mark.
  EXPECT_TRUE(SamePixels(saved->Backgrounds[0], original.Backgrounds[0]));
  EXPECT_TRUE(SamePixels(saved->Frames[0], original.Frames[0]));
  EXPECT_TRUE(SamePixels(saved->Masks[0], original.Masks[0]));
  EXPECT_TRUE(handler_.Boxes.empty());

  // Under a new name the old file goes.
  TfrmMakeMark& again = Open(true, "orig");
  again.edtName->setText(" v1..2 ");
  ClickChild(&again, "tbOK");
  EXPECT_TRUE(again.Saved());
  EXPECT_TRUE(FileExists(MarkFile("v1..2")));
  EXPECT_FALSE(FileExists(MarkFile("orig")));
  EXPECT_TRUE(handler_.Boxes.empty());
}

TEST_F(MarkEditorFormTest, ARefusedOrFailedSaveKeepsTheWindowAndItsPreview) {
  // A new mark over an existing one asks; No writes nothing and keeps
  // the window open.
  testsupport::WriteBytes(MarkFile("taken"), {1, 2, 3});
  {
    TfrmMakeMark& form = Open(false, "");
    ChoosePicture(form, SolidPicture(2, 2, clBlue));
    form.edtName->setText("taken");
    handler_.Answer = idNo;
    ClickChild(&form, "tbOK");
    EXPECT_TRUE(HasBox(msg::AskReplaceExisting, mkQuestion));
    EXPECT_FALSE(form.Saved());
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(testsupport::ReadBytes(MarkFile("taken")), (std::vector<std::uint8_t>{1, 2, 3}));

    // A write that fails says so, keeps the window, and the preview still
    // follows the options.
    fs::create_directories(MarkFile("blocked"));
    form.edtName->setText("blocked");
    handler_.Boxes.clear();
    ClickChild(&form, "tbOK");
    EXPECT_TRUE(HasBox(msg::MarkFileNotWritten, mkInformation));
    EXPECT_FALSE(form.Saved());
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(form.Ready());
    const int builds = form.BuildCount();
    form.edtXEX->setValue(5);
    form.ProcessPendingRefresh();
    EXPECT_EQ(form.BuildCount(), builds + 1);
  }
}

TEST_F(MarkEditorFormTest, ChecksBeforeSavingShowTheirMessages) {
  struct Case {
    const char* What;
    std::function<void(TfrmMakeMark&)> Change;
    int Message;
  };
  const Case cases[] = {
      {"no picture yet", [](TfrmMakeMark&) {}, msg::MarkPictureMissing},
      {"a path for a name", [this](TfrmMakeMark& f) { ChoosePicture(f, SolidPicture(2, 2, clRed)); f.edtName->setText("../x"); },
       msg::MarkNameNotPlain},
      {"a text too long", [](TfrmMakeMark& f) {
         f.rbText->setChecked(true);
         f.edtText->setPlainText(QString(2550, 'a') + "\n" + QString(2549, 'b'));
       }, msg::MarkTextTooLong},
      {"an empty text mark", [](TfrmMakeMark& f) { f.rbText->setChecked(true); }, msg::MarkPictureMissing},
      // 5100 bytes, but no letter is split, so the first piece holds 99.
      {"5100 bytes of accented letters", [](TfrmMakeMark& f) {
         f.rbText->setChecked(true);
         f.edtText->setPlainText("a" + QString(2549, QChar(0xE9)) + "b");
         ASSERT_EQ(f.edtText->toPlainText().toUtf8().size(), 5100);
       }, msg::MarkTextTooLong},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    handler_.Boxes.clear();
    TfrmMakeMark& form = Open(false, "");
    c.Change(form);
    form.ProcessPendingRefresh();
    ClickChild(&form, "tbOK");
    EXPECT_FALSE(form.Saved());
    ASSERT_EQ(handler_.Boxes.size(), 1u);
    EXPECT_EQ(handler_.Boxes[0].Text, GetMessageText(c.Message));
    EXPECT_EQ(handler_.Boxes[0].Kind, mkInformation);
  }
  // The message says why such a text does not fit rather than giving a
  // limit it keeps.
  EXPECT_NE(GetMessageText(msg::MarkTextTooLong).find("51 pieces of 100 bytes"), std::string::npos);
  // 5100 bytes of text, its line break counted as two, are saved.
  TfrmMakeMark& form = Open(false, "");
  form.rbText->setChecked(true);
  form.edtText->setPlainText(QString(2550, 'a') + "\n" + QString(2548, 'b'));
  form.edtName->setText("full");
  form.ProcessPendingRefresh();
  handler_.Boxes.clear();
  ClickChild(&form, "tbOK");
  EXPECT_TRUE(form.Saved());
  EXPECT_EQ(JoinMarkText(Load(MarkFile("full"))->Records[0]).size(), 5100u);
}

TEST_F(MarkEditorFormTest, AMarkFileThatCannotBeReadStartsANewMarkUnderItsName) {
  testsupport::WriteBytes(MarkFile("bad"), {1, 2, 3, 4, 5, 6, 7, 8});
  for (const char* name : {"bad", "gone"}) {
    SCOPED_TRACE(name);
    handler_.Boxes.clear();
    TfrmMakeMark& form = Open(true, name);
    ASSERT_EQ(handler_.Boxes.size(), 1u);
    EXPECT_EQ(handler_.Boxes[0].Text, FormatText(GetMessageText(msg::MarkNotRead), {"\n", "\n", "\n"}));
    EXPECT_EQ(handler_.Boxes[0].Kind, mkInformation);
    EXPECT_EQ(std::count(handler_.Boxes[0].Text.begin(), handler_.Boxes[0].Text.end(), '\n'), 3);
    EXPECT_EQ(form.edtName->text().toStdString(), name);
    EXPECT_TRUE(form.MarkPicture().Empty());
    EXPECT_EQ(form.edtMosaicX->value(), 10);  // the creation state
    EXPECT_EQ(form.MarkSet().Count(), 1);
  }
}

// ---- The marked sample ------------------------------------------------------------

TEST_F(MarkEditorFormTest, ThePreviewIsWhatABatchMakesOfTheSample) {
  TfrmMakeMark& form = Open(false, "");
  ChoosePicture(form, SolidPicture(20, 10, clRed));
  // No sample: the checkerboard at the panel's size, the mark at the top left.
  const TBitmap& composite = form.Composite();
  EXPECT_EQ(composite.Width(), form.pnlPreview->width());
  EXPECT_EQ(composite.Height(), form.pnlPreview->height());
  EXPECT_EQ(composite.Canvas().Pixel(19, 9), RGB(254, 0, 0));
  EXPECT_EQ(composite.Canvas().Pixel(24, 3), RGB(206, 206, 206));
  EXPECT_EQ(composite.Canvas().Pixel(20, 3), clWhite);
  // Shown at its own size, centred.
  EXPECT_EQ(form.WorkBitmap().Width(), composite.Width() - 2);

  // With a sample and options, the composite is the batch's output.
  const std::string sample = WriteBmp("sample.bmp", PatternPicture(300, 200));
  form.edtPreviewFile->setText(QString::fromStdString(sample));
  form.PositionButtons[4]->click();
  form.tbClarity->setValue(30);
  form.edtRotate->setValue(30);
  form.chkSourceImageFrame->setChecked(true);
  form.edtName->setText("batch");
  form.ProcessPendingRefresh();
  const TBitmap preview = form.Composite();
  EXPECT_EQ(preview.Width(), 300);
  ClickChild(&form, "tbOK");
  ASSERT_TRUE(form.Saved());
  const auto batch = Load(MarkFile("batch"));
  ASSERT_TRUE(batch->ProcessFile(sample, Dir() + "out.bmp"));
  TBitmap out;
  out.LoadFromFile(Dir() + "out.bmp");
  EXPECT_TRUE(SamePixels(out, preview));
  // The sample is remembered for next time.
  form_.reset();
  EXPECT_EQ(ProgramInfo().MarkMakeImageFile, sample);
}

TEST_F(MarkEditorFormTest, DraggingMovesTheOffsetsPixelForPixelAtAnyScale) {
  for (const TPoint size : {TPoint{4000, 300}, TPoint{120, 60}}) {
    SCOPED_TRACE(size.X);
    TfrmMakeMark& form = Open(false, "");
    ChoosePicture(form, SolidPicture(8, 8, clRed));
    form.edtPreviewFile->setText(QString::fromStdString(WriteBmp("s.bmp", PatternPicture(size.X, size.Y))));
    form.edtXEX->setValue(7);
    form.ProcessPendingRefresh();
    const bool scaled = form.WorkBitmap().Width() < size.X;
    EXPECT_EQ(scaled, size.X == 4000);
    QTest::mouseClick(form.chkDrag, Qt::LeftButton);
    EXPECT_EQ(form.pbPreview->cursor().shape(), Qt::PointingHandCursor);
    TPaintBox* box = form.pbPreview;
    SendMouse(box, QEvent::MouseButtonPress, {10, 10}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_TRUE(form.Dragging());
    SendMouse(box, QEvent::MouseMove, {25, 12}, Qt::NoButton, Qt::LeftButton);
    SendMouse(box, QEvent::MouseMove, {40, 5}, Qt::NoButton, Qt::LeftButton);
    SendMouse(box, QEvent::MouseButtonRelease, {40, 5}, Qt::LeftButton, Qt::NoButton);
    EXPECT_FALSE(form.Dragging());
    EXPECT_EQ(form.edtXEX->value(), 37);
    EXPECT_EQ(form.edtYEX->value(), -5);
    // A move without the button held moves nothing.
    SendMouse(box, QEvent::MouseMove, {60, 20}, Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(form.edtXEX->value(), 37);
    form.ProcessPendingRefresh();
    EXPECT_EQ(form.MarkSet().Records[0].XOffset(), 37);
  }
}

TEST_F(MarkEditorFormTest, ClicksPickColoursAndTheReadoutsComeFromThePictures) {
  TfrmMakeMark& form = Open(false, "");
  ChoosePicture(form, SolidPicture(10, 10, RGB(120, 0, 0)));
  TPaintBox* box = form.pbPreview;
  const TColor markPixel = form.WorkBitmap().Canvas().Pixel(2, 2);
  SendMouse(box, QEvent::MouseMove, {2, 2}, Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(form.lblColor->text().toStdString(), ReadPixel(form.WorkBitmap(), 2, 2)->ColorText);
  EXPECT_EQ(form.lblColor->palette().color(QPalette::WindowText), QColor(0, 0, 0));
  EXPECT_EQ(form.lblLocate->text(), "X:Y 2:2");

  // Left with the key off, and right without an angle, pick nothing.
  const TColor key = form.pnlColor->Color();
  const TColor corners = form.pnlRotateBackColor->Color();
  SendMouse(box, QEvent::MouseButtonPress, {2, 2}, Qt::LeftButton, Qt::LeftButton);
  SendMouse(box, QEvent::MouseButtonPress, {40, 2}, Qt::RightButton, Qt::RightButton);
  EXPECT_EQ(form.pnlColor->Color(), key);
  EXPECT_EQ(form.pnlRotateBackColor->Color(), corners);
  // With the key on the left button takes the key colour; with an angle
  // the right button takes the corners' colour.
  form.chkFlag->setChecked(true);
  SendMouse(box, QEvent::MouseButtonPress, {2, 2}, Qt::LeftButton, Qt::LeftButton);
  EXPECT_EQ(form.pnlColor->Color(), markPixel);
  form.edtRotate->setValue(45);
  form.ProcessPendingRefresh();
  const TColor boardPixel = form.WorkBitmap().Canvas().Pixel(40, 2);
  SendMouse(box, QEvent::MouseButtonPress, {40, 2}, Qt::RightButton, Qt::RightButton);
  EXPECT_EQ(form.pnlRotateBackColor->Color(), boardPixel);
  EXPECT_EQ(form.pnlRotateBackColor->FontColor(), ContrastColor(boardPixel));
  // The mark view picks from the mark picture as it shows it.
  SendMouse(form.pbView, QEvent::MouseButtonPress, {1, 1}, Qt::LeftButton, Qt::LeftButton);
  EXPECT_EQ(form.pnlColor->Color(), RGB(120, 0, 0));
}

// ---- Options ----------------------------------------------------------------------

TEST_F(MarkEditorFormTest, TheRulesBetweenTheOptions) {
  TfrmMakeMark& form = Open(false, "");
  ChoosePicture(form, SolidPicture(4, 4, clRed));
  // Tiling starts at the top left.
  form.PositionButtons[4]->click();
  EXPECT_EQ(form.Anchor(), 4);
  form.chkTilePic->setChecked(true);
  EXPECT_EQ(form.Anchor(), 0);
  EXPECT_TRUE(form.PositionButtons[0]->isChecked());
  // The key and a transparency take mixing away; the label follows.
  form.chkMix->setChecked(true);
  form.chkFlag->setChecked(true);
  EXPECT_FALSE(form.chkMix->isChecked());
  form.chkMix->setChecked(true);
  form.tbClarity->setValue(0);
  EXPECT_TRUE(form.chkMix->isChecked());
  form.tbClarity->setValue(30);
  EXPECT_FALSE(form.chkMix->isChecked());
  EXPECT_EQ(form.lblClartiyPer->text(), "30%");
  // Panels show with their boxes.
  for (auto [box, panel] : {std::pair{form.chkMosaic, form.pnlMosaic}, std::pair{form.chkReSize, form.pnlReSize},
                            std::pair{form.chkUseMask, form.pnlUseMask},
                            std::pair{form.chkSourceImageFrame, form.pnlSourceImageFrame}}) {
    box->setChecked(true);
    EXPECT_FALSE(panel->isHidden()) << panel->objectName().toStdString();
    box->setChecked(false);
    EXPECT_TRUE(panel->isHidden()) << panel->objectName().toStdString();
  }
  // Presets and the scale combo.
  form.chkResizeSourceImage->setChecked(true);
  const int preset = form.cbxDefaultSize->findText("250x360(4x5 inch)");
  ASSERT_EQ(preset, 16);
  emit form.cbxDefaultSize->activated(preset);
  EXPECT_EQ(form.edtResizeSourceImageSizeX->value(), 250);
  EXPECT_EQ(form.edtResizeSourceImageSizeY->value(), 360);
  form.ProcessPendingRefresh();
  EXPECT_EQ(form.Composite().Width(), 250);
  form.chkResizeSourceImageOfScale->setChecked(true);
  for (auto [typed, kept] : {std::pair{"0.5", "1"}, std::pair{"2000", "1000"}, std::pair{"abc", "1"}}) {
    form.cbxResizeSourceImageOfScale->setEditText(typed);
    form.ProcessPendingRefresh();
    // What is typed stays until the typing ends.
    EXPECT_EQ(form.cbxResizeSourceImageOfScale->currentText().toStdString(), typed);
    QTest::keyClick(form.cbxResizeSourceImageOfScale->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(form.cbxResizeSourceImageOfScale->currentText().toStdString(), kept) << typed;
  }
  // A size beyond the pixel cap is said in the preview, not drawn.
  form.chkResizeSourceImageOfScale->setChecked(false);
  form.edtResizeSourceImageSizeX->setValue(65535);
  form.edtResizeSourceImageSizeY->setValue(65535);
  form.ProcessPendingRefresh();
  EXPECT_TRUE(form.Composite().Empty());
  EXPECT_TRUE(form.lblPreviewMessage->isVisible());
  EXPECT_EQ(form.lblPreviewMessage->text().toStdString(), GetMessageText(msg::PreviewTooLarge));
  form.edtResizeSourceImageSizeX->setValue(100);
  form.ProcessPendingRefresh();
  EXPECT_FALSE(form.lblPreviewMessage->isVisible());
  EXPECT_EQ(form.Composite().Width(), 100);

  // Fitting the mark to the sample sets the percentages.
  form.chkResizeSourceImage->setChecked(false);
  form.ProcessPendingRefresh();
  form.PositionButtons[8]->click();
  QTest::mouseClick(form.sbFitToCurrBackground, Qt::LeftButton);
  EXPECT_EQ(form.edtReSizeX->value(), std::clamp(static_cast<int>(Round(form.Composite().Width() * 25.0L)), 1, 4096));
  EXPECT_EQ(form.Anchor(), 0);
}

TEST_F(MarkEditorFormTest, TypedNumbersStayUntilTypingEndsThenShowTheNearestBound) {
  struct Case {
    const char* Control;
    const char* Typed;
    const char* Shown;  // once typing has ended
    std::function<std::int64_t(const TMarkInfo&)> Previewed;
  };
  const Case cases[] = {
      {"edtXEX", "70000", "65537", [](const TMarkInfo& r) { return r.XOffset(); }},
      {"edtYEX", "-70000", "-65537", [](const TMarkInfo& r) { return r.YOffset(); }},
      {"edtEclosion", "300", "255", [](const TMarkInfo& r) { return r.KeyTolerance(); }},
      {"edtEclosion", "-1", "0", [](const TMarkInfo& r) { return r.KeyTolerance(); }},
      {"edtRotate", "99999", "65535", [](const TMarkInfo& r) { return r.Angle(); }},
      {"edtMosaicX", "0", "1", [](const TMarkInfo& r) { return r.MosaicWidth(); }},
      {"edtReSizeY", "5000", "4096", [](const TMarkInfo& r) { return r.ResizeY(); }},
      {"edtSourceImageFrameBevelWidth", "256", "255", [](const TMarkInfo& r) { return r.BevelWidth(); }},
      {"edtMaskLeft", "-99999", "-65535", [](const TMarkInfo& r) { return r.MaskRect().Left; }},
  };
  TfrmMakeMark& form = Open(false, "");
  ChoosePicture(form, SolidPicture(4, 4, clRed));
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.Control) + " " + c.Typed);
    auto* box = form.findChild<QSpinBox*>(c.Control);
    ASSERT_NE(box, nullptr);
    box->selectAll();
    QTest::keyClicks(box, c.Typed);
    form.ProcessPendingRefresh();
    // The preview already takes the nearest bound; the box keeps the text.
    EXPECT_EQ(box->cleanText().toStdString(), c.Typed);
    EXPECT_EQ(c.Previewed(form.MarkSet().Records[0]), std::stoll(c.Shown));
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(box->cleanText().toStdString(), c.Shown);
  }
}

TEST_F(MarkEditorFormTest, ANegativeToleranceIsSetToZeroByOkAndTheSecondOkSaves) {
  TfrmMakeMark& form = Open(false, "");
  ChoosePicture(form, SolidPicture(4, 4, clRed));
  form.edtName->setText("keyed");
  form.edtXEX->selectAll();
  QTest::keyClicks(form.edtXEX, "70000");
  form.edtEclosion->selectAll();
  QTest::keyClicks(form.edtEclosion, "-1");
  form.ProcessPendingRefresh();
  ASSERT_EQ(form.edtEclosion->cleanText(), "-1");
  handler_.Boxes.clear();
  ClickChild(&form, "tbOK");
  EXPECT_FALSE(form.Saved());
  EXPECT_TRUE(handler_.Boxes.empty());
  EXPECT_EQ(form.edtEclosion->cleanText(), "0");
  EXPECT_FALSE(FileExists(MarkFile("keyed")));
  ClickChild(&form, "tbOK");
  ASSERT_TRUE(form.Saved());
  EXPECT_TRUE(handler_.Boxes.empty());
  // What was saved is what the boxes show once OK has ended the typing.
  EXPECT_EQ(form.edtXEX->cleanText(), "65537");
  const auto saved = Load(MarkFile("keyed"));
  EXPECT_EQ(saved->Records[0].KeyTolerance(), 0);
  EXPECT_EQ(saved->Records[0].XOffset(), 65537);
}

TEST_F(MarkEditorFormTest, RefreshesAreServedOncePerTurn) {
  TfrmMakeMark& form = Open(false, "");
  ChoosePicture(form, SolidPicture(4, 4, clRed));
  const int builds = form.BuildCount();
  form.edtXEX->setValue(1);
  form.edtYEX->setValue(2);
  form.edtEclosion->setValue(3);
  form.chkExposal->setChecked(true);
  form.PositionButtons[2]->click();
  EXPECT_EQ(form.BuildCount(), builds);
  EXPECT_TRUE(WaitFor([&] { return form.BuildCount() > builds; }));
  QTest::qWait(20);
  EXPECT_EQ(form.BuildCount(), builds + 1);
  EXPECT_EQ(form.MarkSet().Records[0].Anchor(), 2);
}

TEST_F(MarkEditorFormTest, FontColoursAndCompanionPictures) {
  TfrmMakeMark& form = Open(false, "");
  form.rbText->setChecked(true);
  form.edtText->setPlainText("Ab");
  font_ = TMarkFont{"DejaVu Sans", 24, mfsBold, RGB(0, 0, 200)};
  QTest::mouseClick(form.sbF, Qt::LeftButton);
  EXPECT_EQ(fontOffered_, (TMarkFont{"Arial", 9, 0, clBlack}));
  color_ = RGB(250, 250, 0);
  QTest::mouseClick(form.sbB, Qt::LeftButton);
  form.ProcessPendingRefresh();
  EXPECT_EQ(form.MarkFont(), *font_);
  EXPECT_EQ(form.TextBackColor(), RGB(250, 250, 0));
  EXPECT_EQ(form.edtText->palette().color(QPalette::Base), QColor(250, 250, 0));
  const TBitmap& picture = form.MarkPicture();
  EXPECT_EQ(picture.Canvas().Pixel(picture.Width() - 1, 0), RGB(250, 250, 0));
  QFont big("DejaVu Sans");
  big.setPixelSize(32);
  big.setBold(true);
  EXPECT_EQ(picture.Height(), QFontMetrics(big).height());

  // Swatches choose from their own colour.
  color_ = RGB(1, 2, 3);
  QTest::mouseClick(form.pnlSourceImageFrameColor, Qt::LeftButton);
  EXPECT_EQ(colorOffered_, clWhite);
  EXPECT_EQ(form.pnlSourceImageFrameColor->Color(), RGB(1, 2, 3));
  // A captioned swatch writes its caption in white on a dark colour and in
  // black on a light one.
  EXPECT_EQ(form.pnlSourceImageFrameColor->palette().color(QPalette::WindowText), QColor(255, 255, 255));
  color_ = RGB(0, 0, 140);
  form.chkEnableSourceImageBackgroupColor->setChecked(true);
  QTest::mouseClick(form.pnlSourceImageBackgroupColor, Qt::LeftButton);
  EXPECT_EQ(form.pnlSourceImageBackgroupColor->palette().color(QPalette::WindowText), QColor(255, 255, 255));
  color_ = RGB(250, 240, 120);
  QTest::mouseClick(form.pnlSourceImageBackgroupColor, Qt::LeftButton);
  EXPECT_EQ(form.pnlSourceImageBackgroupColor->palette().color(QPalette::WindowText), QColor(0, 0, 0));

  // The mask: its folder is kept, its size goes to the rectangle, and a
  // name that does not exist clears it.
  ProgramInfo().DefaultMaskPath = Dir();
  form.chkUseMask->setChecked(true);
  pictures_ = {WriteBmp("masks_mask.bmp", PatternPicture(33, 21))};
  QTest::mouseClick(form.btnSelectMaskFile, Qt::LeftButton);
  EXPECT_EQ(pictureAsks_.back(), GetMessageText(msg::ChoosePicture) + "|" + Dir());
  EXPECT_EQ(form.MarkSet().Masks[0].Width(), 33);
  EXPECT_EQ(form.edtMaskWidth->value(), 33);
  EXPECT_EQ(form.edtMaskHeight->value(), 21);
  form.ProcessPendingRefresh();
  QTest::mouseClick(form.btnMaskFitBackground, Qt::LeftButton);
  EXPECT_EQ(form.edtMaskWidth->value(), form.Composite().Width());
  QTest::mouseClick(form.btnMaskFitOrigi, Qt::LeftButton);
  EXPECT_EQ(form.edtMaskWidth->value(), 33);
  pictures_ = {Dir() + "no such mask.bmp"};
  QTest::mouseClick(form.btnSelectMaskFile, Qt::LeftButton);
  EXPECT_TRUE(form.MarkSet().Masks[0].Empty());
}

TEST_F(MarkEditorFormTest, SaveHelpMaskEditorAndViewCommands) {
  TfrmMakeMark& form = Open(false, "");
  ChoosePicture(form, SolidPicture(5, 3, clBlue));
  form.edtName->setText("logo");
  saveName_ = Dir() + "logo.bmp";
  QTest::mouseClick(form.tbSave, Qt::LeftButton);
  EXPECT_EQ(saveOffered_, "logo");
  TBitmap written;
  written.LoadFromFile(Dir() + "logo.bmp");
  EXPECT_TRUE(SamePixels(written, SolidPicture(5, 3, clBlue)));
  // An existing file needs a Yes.
  handler_.Answer = idNo;
  testsupport::WriteBytes(Dir() + "sample.bmp", {'o', 'l', 'd'});
  saveName_ = Dir() + "sample.bmp";
  emit form.lblSaveAs->linkActivated("save");
  EXPECT_EQ(saveOffered_, "sample");
  EXPECT_TRUE(HasBox(msg::AskReplaceExisting, mkQuestion));
  EXPECT_EQ(testsupport::ReadBytes(Dir() + "sample.bmp").size(), 3u);
  handler_.Answer = idYes;
  emit form.lblSaveAs->linkActivated("save");
  written.LoadFromFile(Dir() + "sample.bmp");
  EXPECT_TRUE(SamePixels(written, form.Composite()));

  handler_.Boxes.clear();
  QTest::mouseClick(form.tbHelp, Qt::LeftButton);
  EXPECT_TRUE(HasBox(msg::HelpFileMissing, mkInformation));
  // The help on making a mark, when it is beside the program.
  fs::copy(testsupport::SourceDir() + "/help", Dir() + "help");
  handler_.Boxes.clear();
  QTest::mouseClick(form.tbHelp, Qt::LeftButton);
  EXPECT_TRUE(handler_.Boxes.empty());
  EXPECT_EQ(handler_.Opened, (std::vector<std::string>{Dir() + "help/making-a-mark.html"}));
  handler_.Boxes.clear();
  QTest::mouseClick(form.tbVeilpaint, Qt::LeftButton);
  EXPECT_TRUE(HasBox(msg::MaskEditorMissing, mkInformation));
  EXPECT_TRUE(started_.empty());
  testsupport::WriteBytes(Dir() + "Veilpaint", {'#', '!'});
  ::chmod((Dir() + "Veilpaint").c_str(), 0755);
  QTest::mouseClick(form.tbVeilpaint, Qt::LeftButton);
  EXPECT_EQ(started_, (std::vector<std::string>{Dir() + "Veilpaint"}));
  // The marked sample goes to the viewer.
  ASSERT_TRUE(form.tbBrowseImage->isEnabled());
  QTest::mouseClick(form.tbBrowseImage, Qt::LeftButton);
  ASSERT_EQ(viewed_.size(), 1u);
  EXPECT_TRUE(SamePixels(viewed_[0], form.Composite()));
}

TEST_F(MarkEditorFormTest, SavingTheMarkPictureWritesTheChosenTypeUnderItsExtension) {
  if (!testsupport::HavePillow()) GTEST_SKIP() << "Pillow is needed to read the files back";
  // The real save dialog: the name typed, the file type picked.
  TfrmMakeMark::Services().ChooseSaveName = TfrmMakeMark::DefaultServices().ChooseSaveName;
  struct Case {
    const char* Typed;
    int Type;  // the row of the file-type list
    const char* Written;
    const char* Format;  // as Pillow reads it
  };
  const Case cases[] = {
      {"v1..2", 0, "v1..2.jpg", "JPEG"},
      {"v1..2", 2, "v1..2.gif", "GIF"},
      {"v1..2", 4, "v1..2.png", "PNG"},
      {"plain", 3, "plain.bmp", "BMP"},
      {"typed.png", 0, "typed.png", "PNG"},
  };
  TfrmMakeMark& form = Open(false, "");
  ChoosePicture(form, SolidPicture(6, 4, clBlue));
  form.edtName->setText("v1..2");
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.Typed) + " " + std::to_string(c.Type));
    const std::string name = Dir() + c.Typed;
    WhenModal<QFileDialog>([&](QFileDialog* dialog) {
      EXPECT_EQ(dialog->objectName(), "spdSave");
      auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
      auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
      ASSERT_TRUE(types != nullptr && edit != nullptr);
      for (int i = 0; i < c.Type; ++i) QTest::keyClick(types, Qt::Key_Down);
      EXPECT_EQ(types->currentIndex(), c.Type);
      edit->setText(QString::fromStdString(name));
      static_cast<QDialog*>(dialog)->accept();
    });
    QTest::mouseClick(form.tbSave, Qt::LeftButton);
    const std::string written = Dir() + c.Written;
    ASSERT_TRUE(FileExists(written));
    if (written != name) {
      EXPECT_FALSE(FileExists(name));
    }
    const testsupport::CommandResult r = testsupport::Run(
        {"/usr/bin/python3", "-c", "import sys; from PIL import Image; im = Image.open(sys.argv[1]); "
                                   "print(im.format, im.size[0], im.size[1])",
         written});
    EXPECT_EQ(r.Out, std::string(c.Format) + " 6 4\n");
  }
  EXPECT_TRUE(handler_.Boxes.empty());
}

TEST_F(MarkEditorFormTest, EveryCaptionHasItsText) {
  TfrmMakeMark& form = Open(false, "");
  EXPECT_EQ(form.chkMaskTurn->text().toStdString(), GetMessageText(1636));
  EXPECT_EQ(form.pnlRotateBackColor->text().toStdString(), GetMessageText(1516));
  EXPECT_TRUE(form.lblSaveAs->text().contains(QString::fromStdString(GetMessageText(2531))));
  for (int i = 0; i < 4; ++i) EXPECT_EQ(form.pcOptions->tabText(i).toStdString(), GetMessageText(2541 + i));
  EXPECT_EQ(form.cbxSourceImageFrameBevelOuter->itemText(2).toStdString(), GetMessageText(msg::BevelRaised));
  EXPECT_EQ(form.cbxSourceImageFrameStyle->itemText(5).toStdString(), GetMessageText(1616));
  EXPECT_EQ(form.cbxDefaultSize->count(), 28);
  for (const char* name : {"tbOK", "tbVeilpaint", "tbBrowseImage", "btnMaskBlur", "sbF"}) {
    EXPECT_FALSE(form.findChild<QWidget*>(name)->toolTip().isEmpty()) << name;
  }
  // The window keeps a least size: what its controls need, and never
  // below 300 x 200.
  EXPECT_GE(form.minimumWidth(), 300);
  EXPECT_GE(form.minimumHeight(), 200);
  EXPECT_EQ(form.minimumSize(), form.layout()->totalMinimumSize());
  // The preview sits in the GL panel, as the main window's does.
  EXPECT_EQ(form.pbPreview->parentWidget(), form.opGL);
}

// ---- Links and glyphs on a dark face -------------------------------------------------

namespace {

// The contrast of two screen pixels (1 to 21).
double Contrast(QRgb a, QRgb b) {
  return ContrastRatio(RGB(qRed(a), qGreen(a), qBlue(a)), RGB(qRed(b), qGreen(b), qBlue(b)));
}

QImage Grabbed(QWidget& w) { return w.grab().toImage().convertToFormat(QImage::Format_RGB32); }

// The pixels of a colour a widget shows.
int Inked(QWidget& w, const QColor& colour) {
  const QImage image = Grabbed(w);
  int count = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) count += QColor(image.pixel(x, y)) == colour;
  }
  return count;
}

// How a button's glyph stands out from what it is drawn on: of the pixels
// where the button differs from itself with a clear glyph, how many reach
// 3:1 (the edges' smoothing may not).
struct TGlyphInk {
  int Pixels = 0;
  int StandingOut = 0;
};
TGlyphInk GlyphInk(QToolButton& b) {
  const QImage with = Grabbed(b);
  const QIcon glyph = b.icon();
  QPixmap clear(b.iconSize());
  clear.fill(Qt::transparent);
  b.setIcon(QIcon(clear));
  const QImage without = Grabbed(b);
  b.setIcon(glyph);
  TGlyphInk ink;
  for (int y = 0; y < with.height(); ++y) {
    for (int x = 0; x < with.width(); ++x) {
      if (with.pixel(x, y) == without.pixel(x, y)) continue;
      ++ink.Pixels;
      ink.StandingOut += Contrast(with.pixel(x, y), without.pixel(x, y)) >= 3.0;
    }
  }
  return ink;
}

}  // namespace

// A link takes its label's link colour, whatever Qt's rich text would
// take, and follows a change of it; without one of its own it looks as it
// always did.
TEST(MarkEditorWidgets, ALinkTakesItsLabelsLinkColour) {
  TLinkLabel label;
  label.SetLink("save", "Save the <marked> sample");
  label.resize(label.sizeHint());
  const QColor plain = QApplication::palette().color(QPalette::Link);
  EXPECT_GT(Inked(label, plain), 0);
  EXPECT_TRUE(label.text().contains("Save the &lt;marked&gt; sample"));
  const QColor accent(240, 145, 75);
  QPalette p = label.palette();
  p.setColor(QPalette::Link, accent);
  label.setPalette(p);
  EXPECT_GT(Inked(label, accent), 0);
  EXPECT_EQ(Inked(label, plain), 0);
}

// The glyph of a position button keeps its grey frame and blue place
// where they stand out from the button, else takes the button's text and
// highlight colours (the text's when the highlight does not stand out
// either).
TEST(MarkEditorWidgets, PositionGlyphsStandOutFromTheirButton) {
  const QColor grey(110, 110, 110), blue(0, 70, 160), light(237, 237, 237), dark(47, 50, 55), orange(240, 145, 75);
  // Button, text and highlight colours; the frame's and the place's.
  const std::array<QColor, 5> cases[] = {
      {QColor(239, 239, 239), Qt::black, QColor(48, 140, 198), grey, blue},
      {dark, light, orange, light, orange},
      {dark, light, QColor(20, 60, 140), light, light},
  };
  for (const auto& [button, text, highlight, frame, place] : cases) {
    QPalette p;
    p.setColor(QPalette::Button, button);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::Highlight, highlight);
    for (int anchor : {0, 4, 8}) {
      const QImage glyph = PositionGlyph(anchor, p).pixmap(16, 16).toImage();
      EXPECT_EQ(QColor(glyph.pixel(1, 1)), frame) << anchor;
      EXPECT_EQ(QColor(glyph.pixel(4 + (anchor % 3) * 4, 4 + (anchor / 3) * 4)), place) << anchor;
      EXPECT_EQ(qAlpha(glyph.pixel(7, 0)), 0);
    }
  }
}

// Under every stored skin the editor's link is drawn in the skin's accent
// and no longer in the system's blue, and the glyphs of the place buttons
// and of the mask page's buttons stand out from what they are drawn on.
TEST_F(MarkEditorFormTest, TheLinkAndTheGlyphsStandOutUnderEveryStoredSkin) {
  TSkinStore store;
  LoadStoredSkins(store);
  for (int i = 0; i < StoredSkinCount; ++i) {
    InstallSkinManager();
    InstallSkinControls();
    auto skin = std::make_unique<TSkinData>();
    skin->LoadFromCollection(store, i);
    ASSERT_TRUE(skin->SkinLoaded());
    SCOPED_TRACE(skin->SkinName());
    skin->SetActive(true);
    TfrmMakeMark& form = Open(false, "");
    ASSERT_NE(TSkinManage::Instance()->SkinnedWindow(&form), nullptr);
    EXPECT_GT(Inked(*form.lblSaveAs, skin->Colours().Hilight), 0);
    EXPECT_EQ(Inked(*form.lblSaveAs, QApplication::palette().color(QPalette::Link)), 0);
    form.chkUseMask->setChecked(true);
    for (int page : {0, 3}) {
      form.pcOptions->setCurrentIndex(page);
      QCoreApplication::processEvents();
      std::vector<QToolButton*> buttons = {form.btnMaskFitBackground};
      if (page == 0) buttons.assign(std::begin(form.PositionButtons), std::end(form.PositionButtons));
      for (QToolButton* b : buttons) {
        SCOPED_TRACE(b->objectName().toStdString());
        const TGlyphInk ink = GlyphInk(*b);
        EXPECT_GT(ink.Pixels, 20);
        EXPECT_GE(ink.StandingOut, ink.Pixels / 2);
      }
    }
    form_.reset();
    skin.reset();
    DestroySkinManager();
    SetSkinManagerFactory(nullptr);
    SetSkinChildFactory(nullptr);
  }
}

// ---- The text picture -------------------------------------------------------------

TEST(MarkText, LinesAreStackedAndEmptyLinesKeepTheirHeight) {
  const TMarkFont font{"DejaVu Sans", 18, 0, RGB(0, 0, 255)};
  QFont q("DejaVu Sans");
  q.setPixelSize(24);
  const QFontMetrics metrics(q);
  struct Case {
    std::vector<std::string> Lines;
    int Rows;
    QString Widest;
  };
  const Case cases[] = {
      {{"a", "", "b"}, 3, "a"},
      {{"narrow", "a wider line"}, 2, "a wider line"},
      {{""}, 1, " "},
  };
  for (const Case& c : cases) {
    const TBitmap picture = RenderMarkText(c.Lines, font, RGB(0, 255, 0));
    EXPECT_EQ(picture.Height(), c.Rows * metrics.height());
    EXPECT_EQ(picture.Width(), metrics.horizontalAdvance(c.Widest));
    // What no text covers is the back colour.
    EXPECT_EQ(picture.Canvas().Pixel(picture.Width() - 1, picture.Height() - 1), RGB(0, 255, 0));
  }
  EXPECT_TRUE(RenderMarkText({}, font, clWhite).Empty());
  // The text is drawn in its colour.
  const TBitmap big = RenderMarkText({"W"}, TMarkFont{"DejaVu Sans", 48, 0, RGB(0, 0, 255)}, clWhite);
  bool blue = false;
  for (int y = 0; y < big.Height() && !blue; ++y) {
    for (int x = 0; x < big.Width() && !blue; ++x) blue = big.Canvas().Pixel(x, y) == RGB(0, 0, 255);
  }
  EXPECT_TRUE(blue);
  // The font's round trip keeps the size in points and the style bits.
  const TMarkFont styled{"DejaVu Serif", 13, mfsItalic | mfsUnderline, RGB(9, 9, 9)};
  EXPECT_EQ(MarkFontOf(MarkQFont(styled), styled.Color), styled);
}

TEST(MarkText, AnEmptyLineStaysEmptyWhateverTheStyle) {
  for (const std::uint32_t style : {std::uint32_t{mfsUnderline}, std::uint32_t{mfsStrikeOut},
                                    std::uint32_t{mfsUnderline | mfsStrikeOut | mfsBold}}) {
    SCOPED_TRACE(style);
    const TMarkFont font{"DejaVu Sans", 24, style, RGB(0, 0, 0)};
    const TBitmap picture = RenderMarkText({"ab", "", "cd"}, font, RGB(255, 255, 255));
    ASSERT_EQ(picture.Height() % 3, 0);
    const int line = picture.Height() / 3;
    // The lines around it carry their underline or stroke ...
    int inked = 0;
    for (int y = 0; y < line; ++y) {
      for (int x = 0; x < picture.Width(); ++x) inked += picture.Canvas().Pixel(x, y) != RGB(255, 255, 255);
    }
    EXPECT_GT(inked, 0);
    // ... the empty one between them is all back colour.
    for (int y = line; y < 2 * line; ++y) {
      for (int x = 0; x < picture.Width(); ++x) {
        ASSERT_EQ(picture.Canvas().Pixel(x, y), RGB(255, 255, 255)) << x << "," << y;
      }
    }
  }
}

// The builders make every control the language table names, each option
// on its own page, and in the window's order, which is the order the Tab
// key walks them.
TEST_F(MarkEditorFormTest, TheBuildersMakeEveryNamedControlOnItsPageInTheWindowsOrder) {
  TfrmMakeMark form(false, "");
  for (const auto& table : {MarkEditorCaptions(), MarkEditorHints()}) {
    for (const TControlCaption& caption : table) {
      EXPECT_NE(form.findChild<QWidget*>(caption.Name), nullptr) << caption.Name;
    }
  }
  const struct {
    QWidget* Page;
    std::vector<const char*> Controls;
  } pages[] = {
      {form.TabSheet1, {"gbLocate", "edtXEX", "chkFlag", "pnlRotateBackColor", "tbClarity", "chkTilePic", "PositionButton8"}},
      {form.TabSheet2, {"chkMosaic", "edtMosaicY", "sbFitToCurrBackground", "chkMix"}},
      {form.TabSheet3, {"chkResizeSourceImage", "cbxDefaultSize", "btnSourceImageBackgroundImage",
                        "edtSourceImageFrameColorContrast", "cbxSourceImageFrameStyle"}},
      {form.TabSheet4, {"chkUseMask", "edtMaskHeight", "btnMaskBlur", "chkMaskTurn"}},
  };
  for (const auto& page : pages) {
    for (const char* name : page.Controls) {
      auto* control = form.findChild<QWidget*>(name);
      ASSERT_NE(control, nullptr) << name;
      EXPECT_TRUE(page.Page->isAncestorOf(control)) << name << " on " << page.Page->objectName().toStdString();
    }
  }
  std::vector<QWidget*> chain;
  for (QWidget* w = form.nextInFocusChain(); w != &form && chain.size() < 1000; w = w->nextInFocusChain()) {
    chain.push_back(w);
  }
  const char* const order[] = {"tbOK",       "tbBrowseImage", "edtName",         "rbText",
                               "edtImageFile", "edtText",     "pcOptions",       "edtXEX",
                               "chkTilePic", "chkMosaic",     "chkMix",          "chkResizeSourceImage",
                               "chkSourceImageFrame",         "chkUseMask",      "chkMaskTurn",
                               "edtPreviewFile",              "chkDrag",         "PositionButton0"};
  std::ptrdiff_t last = -1;
  for (const char* name : order) {
    const auto at = std::find(chain.begin(), chain.end(), form.findChild<QWidget*>(name));
    ASSERT_NE(at, chain.end()) << name;
    EXPECT_GT(at - chain.begin(), last) << name;
    last = at - chain.begin();
  }
}
