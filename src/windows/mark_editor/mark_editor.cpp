#include "windows/mark_editor/mark_editor.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

#include "app/messages.h"
#include "app/routines.h"
#include "app/settings.h"
#include "core/files.h"
#include "core/strings.h"
#include "imaging/bitmap_ops.h"
#include "imaging/process.h"
#include "imaging/source_picture.h"
#include "windows/form_support.h"
#include "windows/gl_panel.h"
#include "windows/image_convert.h"
#include "windows/mark_editor/mark_editor_captions.h"
#include "windows/mark_editor/mark_editor_pages.h"
#include "windows/mark_editor/mark_editor_widgets.h"
#include "windows/mark_editor/mark_text.h"
#include "windows/position.h"
#include "windows/shared_commands.h"
#include "windows/viewer/view_image.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

// ---------------------------------------------------------------------------

TMakeMarkServices TfrmMakeMark::DefaultServices() {
  TMakeMarkServices s;
  s.ChoosePicture = [](QWidget* owner, const std::string& title, const std::string& folder) {
    return ChoosePictureToOpen(owner, title, folder);
  };
  s.ChooseSaveName = [](QWidget* owner, const std::string& initialName) {
    return ChoosePictureSaveName(owner, initialName);
  };
  s.ChooseColor = [](QWidget* owner, TColor initial) { return ChooseColorDialog(owner, initial); };
  s.ChooseFont = [](QWidget* owner, const TMarkFont& initial) -> std::optional<TMarkFont> {
    TMarkFontDialog dialog(initial, owner);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.ChosenFont();
  };
  s.StartProgram = [](const std::string& program, const std::string& folder) {
    return StartProgramDetached(program, folder);
  };
  // The marked sample alone, as the viewer shows one picture.
  s.ViewPicture = [](QWidget* owner, const TBitmap& picture) { TfrmViewImage::Execute(owner, picture, vmBitmap, ""); };
  return s;
}

TMakeMarkServices& TfrmMakeMark::Services() {
  static TMakeMarkServices services = DefaultServices();
  return services;
}

bool TfrmMakeMark::Execute(bool editExisting, const std::string& markName) {
  TfrmMakeMark form(editExisting, markName, ModalOwner());
  form.exec();
  return form.Saved();
}

TfrmMakeMark::TfrmMakeMark(bool editExisting, const std::string& markName, QWidget* owner)
    : QDialog(owner), editExisting_(editExisting), oldName_(markName) {
  setObjectName("frmMakeMark");
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowMaximizeButtonHint);
  workBitmap_.SetPixelFormat(pf24bit);
  markPicture_.SetPixelFormat(pf24bit);
  refreshTimer_ = new QTimer(this);
  refreshTimer_->setSingleShot(true);
  refreshTimer_->setInterval(0);
  connect(refreshTimer_, &QTimer::timeout, this, [this] { Guarded([this] { ProcessPendingRefresh(); }); });

  CreateControls();
  Connect();

  // The creation state: the controls of a new mark with no name, the
  // first position, the sample of the last time.
  lblClartiyPer->setText("0%");
  ShowOptions(CreationOptions());
  edtName->clear();
  lblVer->clear();
  PositionButtons[0]->setChecked(true);
  PositionButtonClick(0);
  edtPreviewFile->setText(Q(ProgramInfo().MarkMakeImageFile));
  pcOptions->setCurrentIndex(0);
  PanelBoxClick();
  chkResizeSourceImageOfScaleClick();
  // Viewing the sample needs a viewer (tests may leave it out).
  tbBrowseImage->setEnabled(static_cast<bool>(Services().ViewPicture));
  ApplyLanguageFont(static_cast<QWidget*>(this));
  ApplyLanguage();
  resize(980, 680);
  // Last: it puts back the bounds the window had last time.
  Position = new TPosition(this);
}

TfrmMakeMark::~TfrmMakeMark() {
  ready_ = false;
  // A box that loses the focus while the window goes away ends its typing;
  // that must not call back into a form that is half destroyed.
  for (QObject* child : findChildren<QObject*>()) disconnect(child, nullptr, this, nullptr);
  if (ProgramInfoExists()) ProgramInfo().MarkMakeImageFile = edtPreviewFile->text().toStdString();
}

void TfrmMakeMark::CreateControls() {
  QWidget* toolbar = BuildMarkToolBar(this, *this);
  QWidget* markSide = BuildMarkPanel(this, *this);
  BuildPlacingPage(TabSheet1, *this);
  BuildEffectsPage(TabSheet2, *this);
  BuildSourcePage(TabSheet3, *this);
  BuildMaskPage(TabSheet4, *this);
  QWidget* sampleSide = BuildSamplePanel(this, *this);

  auto* body = new QHBoxLayout;
  body->addWidget(markSide);
  body->addWidget(sampleSide, 1);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 6);
  layout->addWidget(toolbar);
  layout->addLayout(body, 1);
  // The window is never smaller than its controls need, so none of them
  // is squeezed over another, and never narrower than 300 or lower than
  // 200 pixels.
  layout->setSizeConstraint(QLayout::SetMinimumSize);
  layout->addStrut(300);
  body->addStrut(200);

  pnlPreview->installEventFilter(this);
  ScrollBox1->viewport()->installEventFilter(this);

  pbView->OnPaint = [this](QPainter& painter) {
    if (!viewBitmap_.Empty()) painter.drawImage(0, 0, WrapBitmap(viewBitmap_));
  };
  pbView->OnMouseDown = [this](Qt::MouseButton button, Qt::MouseButtons, QPoint pos) {
    PickColorAt(pbView, button, pos.x(), pos.y());
  };
  pbView->OnMouseMove = [this](Qt::MouseButtons, QPoint pos) { ShowPixelInfo(pbView, pos.x(), pos.y()); };
  pbPreview->OnPaint = [this](QPainter& painter) {
    if (!workBitmap_.Empty()) painter.drawImage(0, 0, WrapBitmap(workBitmap_));
  };
  pbPreview->OnMouseDown = [this](Qt::MouseButton button, Qt::MouseButtons, QPoint pos) {
    pbPreviewMouseDown(button, pos);
  };
  pbPreview->OnMouseMove = [this](Qt::MouseButtons buttons, QPoint pos) { pbPreviewMouseMove(buttons, pos); };
  pbPreview->OnMouseUp = [this](Qt::MouseButton button, QPoint) { pbPreviewMouseUp(button); };

  // Last, as they always were: the Tab key reaches them after the rest.
  positionGroup_ = BuildPositionButtons(this, *this);
}

void TfrmMakeMark::Connect() {
  auto on = [this](auto member) { return [this, member] { Guarded([this, member] { (this->*member)(); }); }; };
  auto refresh = [this] { Guarded([this] { RefreshPreview(); }); };
  connect(tbOK, &QToolButton::clicked, this, on(&TfrmMakeMark::tbOKClick));
  connect(tbSave, &QToolButton::clicked, this, on(&TfrmMakeMark::tbSaveClick));
  connect(tbHelp, &QToolButton::clicked, this, on(&TfrmMakeMark::tbHelpClick));
  connect(tbExit, &QToolButton::clicked, this, &QDialog::reject);
  connect(tbVeilpaint, &QToolButton::clicked, this, on(&TfrmMakeMark::tbVeilpaintClick));
  connect(tbBrowseImage, &QToolButton::clicked, this, on(&TfrmMakeMark::tbBrowseImageClick));
  connect(lblSaveAs, &QLabel::linkActivated, this, on(&TfrmMakeMark::lblSaveAsClick));
  connect(SpeedButton1, &QToolButton::clicked, this, on(&TfrmMakeMark::SpeedButton1Click));
  connect(SpeedButton3, &QToolButton::clicked, this, on(&TfrmMakeMark::SpeedButton3Click));
  connect(sbClear, &QToolButton::clicked, this, on(&TfrmMakeMark::sbClearClick));
  connect(edtPreviewFile, &QLineEdit::textChanged, this, on(&TfrmMakeMark::edtPreviewFileChange));
  connect(rbImage, &QRadioButton::toggled, this, [this](bool on) {
    if (on) Guarded([this] { rbImageClick(); });
  });
  connect(rbText, &QRadioButton::toggled, this, [this](bool on) {
    if (on) Guarded([this] { rbTextClick(); });
  });
  connect(sbF, &QToolButton::clicked, this, on(&TfrmMakeMark::sbFClick));
  connect(sbB, &QToolButton::clicked, this, on(&TfrmMakeMark::sbBClick));
  connect(edtText, &QPlainTextEdit::textChanged, this, on(&TfrmMakeMark::edtTextChange));
  connect(chkAuto, &QCheckBox::toggled, this, on(&TfrmMakeMark::chkAutoClick));
  connect(chkFlag, &QCheckBox::toggled, this, on(&TfrmMakeMark::chkFlagClick));
  connect(tbClarity, &QSlider::valueChanged, this, on(&TfrmMakeMark::tbClarityChange));
  connect(chkTilePic, &QCheckBox::toggled, this, on(&TfrmMakeMark::chkTilePicClick));
  for (QCheckBox* box : {chkMosaic, chkReSize, chkResizeSourceImage, chkSourceImageFrame,
                         chkEnableSourceImageBackgroupColor, chkUseMask, chkSourceImageBackgroundImage,
                         chkSourceImageFrameFile}) {
    connect(box, &QCheckBox::toggled, this, on(&TfrmMakeMark::PanelBoxClick));
  }
  for (QCheckBox* box : {chkExposal, chkMix, chkMaskTurn}) connect(box, &QCheckBox::toggled, this, refresh);
  connect(chkResizeSourceImageOfScale, &QCheckBox::toggled, this,
          on(&TfrmMakeMark::chkResizeSourceImageOfScaleClick));
  connect(cbxDefaultSize, &QComboBox::activated, this,
          [this](int index) { Guarded([this, index] { cbxDefaultSizeChange(index); }); });
  connect(cbxResizeSourceImageOfScale, &QComboBox::editTextChanged, this, refresh);
  // The number edits show their nearest bound themselves once typing ends;
  // the scale box is checked then.
  connect(cbxResizeSourceImageOfScale->lineEdit(), &QLineEdit::editingFinished, this,
          [this] { Guarded([this] { ValidateOptions(); }); });
  for (QComboBox* combo : {cbxSourceImageFrameBevelInner, cbxSourceImageFrameBevelOuter, cbxSourceImageFrameStyle}) {
    connect(combo, &QComboBox::currentIndexChanged, this, refresh);
  }
  for (int f = 0; f < nfCount; ++f) {
    if (auto* spin = qobject_cast<QSpinBox*>(NumberControl(static_cast<TNumberField>(f)))) {
      connect(spin, &QSpinBox::valueChanged, this, refresh);
    }
  }
  connect(positionGroup_, &QButtonGroup::idClicked, this,
          [this](int id) { Guarded([this, id] { PositionButtonClick(id); }); });
  connect(pnlColor, &TColorSwatch::clicked, this, [this] { Guarded([this] { SwatchClick(pnlColor, true); }); });
  connect(pnlRotateBackColor, &TColorSwatch::clicked, this,
          [this] { Guarded([this] { SwatchClick(pnlRotateBackColor, true); }); });
  connect(pnlSourceImageBackgroupColor, &TColorSwatch::clicked, this,
          [this] { Guarded([this] { SwatchClick(pnlSourceImageBackgroupColor, false); }); });
  connect(pnlSourceImageFrameColor, &TColorSwatch::clicked, this,
          [this] { Guarded([this] { SwatchClick(pnlSourceImageFrameColor, false); }); });
  connect(btnSourceImageBackgroundImage, &QToolButton::clicked, this, [this] {
    Guarded([this] { ChooseCompanionPicture(markSet_.Backgrounds[0], ProgramInfo().DefaultSourceBackgroundPath, false); });
  });
  connect(btnSourceImageFrameFile, &QToolButton::clicked, this, [this] {
    Guarded([this] { ChooseCompanionPicture(markSet_.Frames[0], ProgramInfo().DefaultSourceFramePath, false); });
  });
  connect(btnSelectMaskFile, &QToolButton::clicked, this, [this] {
    Guarded([this] { ChooseCompanionPicture(markSet_.Masks[0], ProgramInfo().DefaultMaskPath, true); });
  });
  connect(btnMaskFitOrigi, &QToolButton::clicked, this, on(&TfrmMakeMark::btnMaskFitOrigiClick));
  connect(btnMaskFitBackground, &QToolButton::clicked, this, on(&TfrmMakeMark::btnMaskFitBackgroundClick));
  connect(btnMaskBlur, &QToolButton::clicked, this, on(&TfrmMakeMark::btnMaskBlurClick));
  connect(sbFitToCurrBackground, &QToolButton::clicked, this, on(&TfrmMakeMark::sbFitToCurrBackgroundClick));
  connect(chkDrag, &QCheckBox::toggled, this, on(&TfrmMakeMark::chkDragClick));
}

// ---------------------------------------------------------------------------
// Language

void TfrmMakeMark::ApplyLanguage() {
  setWindowTitle(MessageText(msg::MarkEditorCaption));
  for (const TControlCaption& caption : MarkEditorCaptions()) {
    const QString text = MessageText(caption.Number);
    SetControlCaption(findChild<QObject*>(caption.Name), pcOptions, text);
  }
  for (const TControlCaption& hint : MarkEditorHints()) {
    if (auto* w = findChild<QWidget*>(hint.Name)) w->setToolTip(MessageText(hint.Number));
  }
  // A swatch with a caption is as wide as its caption.
  for (TColorSwatch* swatch : {pnlRotateBackColor, pnlSourceImageBackgroupColor, pnlSourceImageFrameColor}) {
    swatch->setMinimumWidth(swatch->fontMetrics().horizontalAdvance(swatch->text()) + 16);
  }
  lblSaveAs->SetLink("save", MessageText(2531));
  // The outer bevel shows the inner one's items.
  for (int i = 0; i < BevelItemCount; ++i) {
    cbxSourceImageFrameBevelInner->setItemText(i, MessageText(msg::BevelLowered + i));
    cbxSourceImageFrameBevelOuter->setItemText(i, cbxSourceImageFrameBevelInner->itemText(i));
  }
  for (int i = 0; i < FrameStyleItemCount; ++i) {
    cbxSourceImageFrameStyle->setItemText(i, MessageText(msg::FrameStyleFirst + i));
  }
}

// ---------------------------------------------------------------------------
// Showing, loading and the record

void TfrmMakeMark::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!shown_) {
    shown_ = true;
    Guarded([this] { FormShow(); });
  }
}

void TfrmMakeMark::FormShow() {
  ApplyLanguage();
  LoadMark();
  ready_ = true;
  BuildMarkImage();
  RefreshPreview();
  pcOptions->setCurrentIndex(0);
}

void TfrmMakeMark::LoadMark() {
  const std::string file = GetMarkFileName(oldName_);
  if (editExisting_) {
    bool loaded = false;
    try {
      // A mark whose file has gone cannot be edited either.
      if (file.empty() || !FileExists(file)) throw EFOpenError("No mark file for " + oldName_);
      markSet_.AddMark(file);
      markSet_.LoadMarks();
      markPicture_ = markSet_.MarkPictures[0];
      markPicture_.SetPixelFormat(pf24bit);
      loaded = true;
    } catch (const std::exception&) {
      ShowMsg(FormatText(GetMessageText(msg::MarkNotRead), {"\n", "\n", "\n"}), mkInformation, SystemMessageCaption);
    }
    if (markSet_.Count() == 0) markSet_.AddMark(file);
    if (loaded) {
      if (!markSet_.Records[0].TextMark()) loadedPicture_ = markPicture_;
      MarkToForm(markSet_.Records[0]);
    }
    // The name is the file's: a mark imported or renamed outside keeps
    // its file on saving.
    edtName->setText(Q(oldName_));
  } else {
    markSet_.AddMark("");
    MarkToForm(markSet_.Records[0]);
  }
  chkResizeSourceImageOfScaleClick();
}

void TfrmMakeMark::MarkToForm(const TMarkInfo& record) {
  TMarkOptions options = FormOptions();
  ::MarkToForm(record, options);
  lblVer->setText(Q(VersionCaption(GetMessageText(msg::MarkVersionLabel), record.Version())));
  ShowOptions(options);
}

void TfrmMakeMark::ShowOptions(const TMarkOptions& o) {
  edtName->setText(Q(o.Name));
  if (o.TextMark) {
    rbText->setChecked(true);
    {
      // The text is the record's; it is drawn once the window is ready.
      const QSignalBlocker blocker(edtText);
      edtText->setPlainText(Q(MemoLineBreaks(o.Text)));
    }
    font_ = o.Font;
    textBackColor_ = o.TextBackColor;
  } else {
    rbImage->setChecked(true);
    edtImageFile->setText(Q(o.PictureFile));
  }
  ApplyFontToMemo();
  ShowNumbers(o);
  chkFlag->setChecked(o.ColorKeyOn);
  pnlColor->SetColor(o.KeyColor);
  tbClarity->setValue(o.Transparency);
  chkAuto->setChecked(o.AutoFit);
  pnlRotateBackColor->SetColor(o.RotateBackColor);
  pnlRotateBackColor->SetFontColor(ContrastColor(o.RotateBackColor));
  PositionButtons[std::clamp(o.Position, 0, 8)]->setChecked(true);
  PositionButtonClick(std::clamp(o.Position, 0, 8));
  pnlSourceImageBackgroupColor->SetColor(o.SourceBackColor);
  pnlSourceImageFrameColor->SetColor(o.FrameColor);
  cbxSourceImageFrameBevelInner->setCurrentIndex(o.BevelInner);
  cbxSourceImageFrameBevelOuter->setCurrentIndex(o.BevelOuter);
  cbxSourceImageFrameStyle->setCurrentIndex(o.FrameStyle);
  // The check boxes last: the mixing box after the key and the
  // transparency, which would uncheck it.
  for (const TFlagBox& box : FlagBoxes()) findChild<QCheckBox*>(box.Control)->setChecked(o.Has(box.Flag));
  // The position the tiling box leaves is the record's.
  PositionButtons[std::clamp(o.Position, 0, 8)]->setChecked(true);
  position_ = std::clamp(o.Position, 0, 8);
}

void TfrmMakeMark::ShowNumbers(const TMarkOptions& o) {
  for (int f = 0; f < nfCount; ++f) {
    const auto field = static_cast<TNumberField>(f);
    const std::string& text = o.Number(field);
    QWidget* control = NumberControl(field);
    if (auto* spin = qobject_cast<QSpinBox*>(control)) {
      if (spin->cleanText().toStdString() == text) continue;
      const std::optional<std::int64_t> value = ParseInteger(text);
      spin->setValue(static_cast<int>(std::clamp<std::int64_t>(value.value_or(spin->minimum()), spin->minimum(),
                                                               spin->maximum())));
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
      if (combo->currentText().toStdString() != text) combo->setEditText(Q(text));
    }
  }
}

QWidget* TfrmMakeMark::NumberControl(TNumberField field) const {
  return findChild<QWidget*>(NumberRule(field).Control);
}

void TfrmMakeMark::SetNumber(TNumberField field, long long value) {
  if (auto* spin = qobject_cast<QSpinBox*>(NumberControl(field))) {
    spin->setValue(static_cast<int>(std::clamp<long long>(value, spin->minimum(), spin->maximum())));
  }
}

TMarkOptions TfrmMakeMark::FormOptions() const {
  TMarkOptions o;
  o.Name = edtName->text().toStdString();
  o.TextMark = rbText->isChecked();
  o.PictureFile = edtImageFile->text().toStdString();
  o.Text = StoredLineBreaks(edtText->toPlainText().toStdString());
  o.Font = font_;
  o.TextBackColor = textBackColor_;
  o.Position = position_;
  o.ColorKeyOn = chkFlag->isChecked();
  o.KeyColor = pnlColor->Color();
  o.RotateBackColor = pnlRotateBackColor->Color();
  o.Transparency = tbClarity->value();
  o.AutoFit = chkAuto->isChecked();
  o.Flags = 0;
  for (const TFlagBox& box : FlagBoxes()) o.Set(box.Flag, findChild<QCheckBox*>(box.Control)->isChecked());
  o.SourceBackColor = pnlSourceImageBackgroupColor->Color();
  o.FrameColor = pnlSourceImageFrameColor->Color();
  o.BevelInner = cbxSourceImageFrameBevelInner->currentIndex();
  o.BevelOuter = cbxSourceImageFrameBevelOuter->currentIndex();
  o.FrameStyle = cbxSourceImageFrameStyle->currentIndex();
  for (int f = 0; f < nfCount; ++f) {
    const auto field = static_cast<TNumberField>(f);
    QWidget* control = NumberControl(field);
    if (auto* spin = qobject_cast<QSpinBox*>(control)) {
      o.Number(field) = spin->cleanText().toStdString();
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
      o.Number(field) = combo->currentText().toStdString();
    }
  }
  return o;
}

void TfrmMakeMark::FormToMark(TMarkInfo& record) const { ::FormToMark(FormOptions(), record); }

bool TfrmMakeMark::ValidateOptions() {
  TMarkOptions options = FormOptions();
  const bool valid = ::ValidateOptions(options);
  ShowNumbers(options);
  return valid;
}

bool TfrmMakeMark::ValidateBeforeSave() {
  TMarkOptions options = FormOptions();
  const TSaveCheck check = ::ValidateBeforeSave(options, markPicture_.Empty());
  ShowNumbers(options);
  if (check.Ok) return true;
  if (check.Message != 0) ShowMsg(GetMessageText(check.Message), mkInformation, SystemMessageCaption);
  if (check.Focus == sfName) edtName->setFocus();
  if (check.Focus == sfText) edtText->setFocus();
  return false;
}

bool TfrmMakeMark::SaveMark() {
  const bool wasReady = ready_;
  ready_ = true;
  bool saved = false;
  try {
    FormToMark(markSet_.Records[0]);
    saved = ::SaveMark(markSet_, TSaveTarget{editExisting_, oldName_, Trim(edtName->text().toStdString())});
  } catch (const std::exception&) {
    saved = false;
  }
  // A failed save leaves the preview as it was.
  ready_ = wasReady;
  return saved;
}

void TfrmMakeMark::InterpretNumbers() {
  // Each box shows the number it stands for; a half-typed one goes back
  // to the value it had.
  for (int f = 0; f < nfCount; ++f) {
    if (auto* spin = qobject_cast<QSpinBox*>(NumberControl(static_cast<TNumberField>(f)))) spin->interpretText();
  }
}

void TfrmMakeMark::tbOKClick() {
  // The checks of OK see the numbers as they were typed: a tolerance typed
  // below 0 is set to 0 there, and a second OK saves.
  if (!ValidateBeforeSave()) return;
  // OK ends the typing: the boxes show the numbers that are saved.
  InterpretNumbers();
  ValidateOptions();
  markSet_.MarkPictures[0] = markPicture_;
  if (SaveMark()) {
    saved_ = true;
    accept();
  }
}

// ---------------------------------------------------------------------------
// The mark picture

void TfrmMakeMark::ApplyFontToMemo() {
  QPalette p = edtText->palette();
  p.setColor(QPalette::Text, ToQColor(font_.Color));
  p.setColor(QPalette::Base, ToQColor(textBackColor_));
  edtText->setPalette(p);
}

void TfrmMakeMark::BuildMarkImage() {
  if (!ready_) return;
  markImagePending_ = false;
  if (!rbImage->isChecked()) {
    markPicture_ = TBitmap();
    markPicture_.SetPixelFormat(pf24bit);
    const std::string text = edtText->toPlainText().toStdString();
    markPicture_ = RenderMarkText(SplitLines(text), font_, textBackColor_);
  }
  LayoutMarkView();
}

void TfrmMakeMark::LayoutMarkView() {
  QWidget* host = ScrollBox1->widget();
  const QSize area = ScrollBox1->viewport()->size();
  const TPoint picture{markPicture_.Width(), markPicture_.Height()};
  const TRect r = MarkViewRect(chkAuto->isChecked(), TPoint{area.width(), area.height()}, picture);
  if (chkAuto->isChecked()) {
    host->resize(area);
  } else {
    host->resize(std::max(r.Width(), 1), std::max(r.Height(), 1));
  }
  pbView->setGeometry(r.Left, r.Top, r.Width(), r.Height());
  viewBitmap_ = TBitmap();
  viewBitmap_.SetPixelFormat(pf24bit);
  if (r.Width() > 0 && r.Height() > 0 && !markPicture_.Empty()) {
    viewBitmap_.SetSize(r.Width(), r.Height());
    viewBitmap_.Canvas().StretchDraw(TRect{0, 0, r.Width(), r.Height()}, markPicture_);
  }
  pbView->update();
}

void TfrmMakeMark::rbImageClick() {
  pnlText->hide();
  pnlImage->show();
  markPicture_ = loadedPicture_;
  markPicture_.SetPixelFormat(pf24bit);
  BuildMarkImage();
  RefreshPreview();
}

void TfrmMakeMark::rbTextClick() {
  pnlImage->hide();
  pnlText->show();
  BuildMarkImage();
  RefreshPreview();
}

void TfrmMakeMark::edtTextChange() {
  if (!ready_) return;
  markImagePending_ = true;
  RefreshPreview();
}

void TfrmMakeMark::sbFClick() {
  const TMakeMarkServices& services = Services();
  if (!services.ChooseFont) return;
  const std::optional<TMarkFont> font = services.ChooseFont(this, font_);
  if (!font) return;
  font_ = *font;
  ApplyFontToMemo();
  BuildMarkImage();
  RefreshPreview();
}

bool TfrmMakeMark::ChooseColor(TColor& color) {
  const TMakeMarkServices& services = Services();
  if (!services.ChooseColor) return false;
  const std::optional<TColor> chosen = services.ChooseColor(this, color);
  if (chosen) color = *chosen;
  return chosen.has_value();
}

void TfrmMakeMark::sbBClick() {
  if (!ChooseColor(textBackColor_)) return;
  ApplyFontToMemo();
  BuildMarkImage();
  RefreshPreview();
}

void TfrmMakeMark::SwatchClick(TColorSwatch* swatch, bool rebuildMark) {
  TColor color = swatch->Color();
  if (!ChooseColor(color)) return;
  swatch->SetColor(color);
  if (swatch == pnlRotateBackColor) swatch->SetFontColor(ContrastColor(color));
  if (rebuildMark) BuildMarkImage();
  RefreshPreview();
}

TBitmap TfrmMakeMark::LoadPicture(const std::string& fileName, bool quiet) {
  try {
    return LoadSourcePicture(fileName);
  } catch (const std::exception& e) {
    if (!quiet) {
      ShowMsg(GetMessageText(msg::PictureNotRead) + "\n" + fileName + "\n" + e.what(), mkInformation, SystemMessageCaption);
    }
  }
  TBitmap none;
  none.SetPixelFormat(pf24bit);
  return none;
}

void TfrmMakeMark::SpeedButton1Click() {
  const TMakeMarkServices& services = Services();
  if (!services.ChoosePicture) return;
  TProgramInfo& settings = ProgramInfo();
  const std::optional<std::string> file =
      services.ChoosePicture(this, GetMessageText(msg::ChoosePicture), settings.DefaultMarkPath);
  if (!file) return;
  settings.DefaultMarkPath = ExtractFilePathSlash(*file);
  // The record keeps 255 bytes of the name; say so rather than cut it
  // silently.
  if (file->size() > PictureFileBytes) ShowMsg(GetMessageText(msg::PicturePathCut), mkInformation, SystemMessageCaption);
  edtImageFile->setText(Q(*file));
  loadedPicture_ = LoadPicture(*file, false);
  markPicture_ = loadedPicture_;
  BuildMarkImage();
  RefreshPreview();
}

void TfrmMakeMark::chkAutoClick() {
  LayoutMarkView();
  RefreshPreview();
}

// ---------------------------------------------------------------------------
// Options

void TfrmMakeMark::PositionButtonClick(int tag) {
  position_ = std::clamp(tag, 0, 8);
  RefreshPreview();
}

void TfrmMakeMark::chkTilePicClick() {
  if (chkTilePic->isChecked()) {
    PositionButtons[0]->setChecked(true);
    position_ = 0;
  }
  RefreshPreview();
}

void TfrmMakeMark::chkFlagClick() {
  {
    const QSignalBlocker detached(chkMix);
    chkMix->setChecked(false);
  }
  RefreshPreview();
}

void TfrmMakeMark::tbClarityChange() {
  lblClartiyPer->setText(QString::number(tbClarity->value()) + "%");
  if (tbClarity->value() != 0) {
    const QSignalBlocker detached(chkMix);
    chkMix->setChecked(false);
  }
  RefreshPreview();
}

void TfrmMakeMark::PanelBoxClick() {
  pnlMosaic->setVisible(chkMosaic->isChecked());
  pnlReSize->setVisible(chkReSize->isChecked());
  pnlResizeSourceImage->setVisible(chkResizeSourceImage->isChecked());
  pnlSourceImageFrame->setVisible(chkSourceImageFrame->isChecked());
  pnlEnableSourceImageBackgroupColor->setVisible(chkEnableSourceImageBackgroupColor->isChecked());
  pnlUseMask->setVisible(chkUseMask->isChecked());
  btnSourceImageBackgroundImage->setEnabled(chkSourceImageBackgroundImage->isChecked());
  btnSourceImageFrameFile->setEnabled(chkSourceImageFrameFile->isChecked());
  RefreshPreview();
}

void TfrmMakeMark::chkResizeSourceImageOfScaleClick() {
  const bool byScale = chkResizeSourceImageOfScale->isChecked();
  cbxDefaultSize->setVisible(!byScale);
  pnlCustomSourceSize->setVisible(!byScale);
  cbxResizeSourceImageOfScale->setVisible(byScale);
  RefreshPreview();
}

void TfrmMakeMark::cbxDefaultSizeChange(int index) {
  if (index < 0) return;
  const std::optional<TPoint> size = ParseSizePreset(cbxDefaultSize->itemText(index).toStdString());
  if (!size) return;
  {
    const QSignalBlocker detachedX(edtResizeSourceImageSizeX);
    const QSignalBlocker detachedY(edtResizeSourceImageSizeY);
    SetNumber(nfSourceWidth, size->X);
    SetNumber(nfSourceHeight, size->Y);
  }
  RefreshPreview();
}

void TfrmMakeMark::sbFitToCurrBackgroundClick() {
  const TBitmap& composite = markSet_.Composite;
  const std::optional<TPoint> percent =
      FitToBackgroundPercent(TPoint{composite.Width(), composite.Height()},
                             TPoint{markPicture_.Width(), markPicture_.Height()});
  if (!percent) return;
  {
    const QSignalBlocker detachedX(edtReSizeX);
    const QSignalBlocker detachedY(edtReSizeY);
    SetNumber(nfResizeX, percent->X);
    SetNumber(nfResizeY, percent->Y);
  }
  PositionButtons[0]->setChecked(true);
  position_ = 0;
  RefreshPreview();
}

void TfrmMakeMark::ChooseCompanionPicture(TBitmap& picture, std::string& folder, bool mask) {
  const TMakeMarkServices& services = Services();
  if (!services.ChoosePicture) return;
  const std::optional<std::string> file = services.ChoosePicture(this, GetMessageText(msg::ChoosePicture), folder);
  if (!file) return;
  folder = ExtractFilePathSlash(*file);
  if (!FileExists(*file)) {
    picture = TBitmap();
    picture.SetPixelFormat(pf24bit);
  } else {
    picture = LoadPicture(*file, false);
    if (mask) {
      // The width without its handler: the preview follows once, from
      // the height.
      const QSignalBlocker detached(edtMaskWidth);
      SetNumber(nfMaskWidth, picture.Width());
    }
    if (mask) SetNumber(nfMaskHeight, picture.Height());
  }
  RefreshPreview();
}

void TfrmMakeMark::btnMaskFitOrigiClick() {
  const TBitmap& mask = markSet_.Masks[0];
  if (mask.Empty()) return;
  {
    const QSignalBlocker detached(edtMaskWidth);
    SetNumber(nfMaskWidth, mask.Width());
  }
  SetNumber(nfMaskHeight, mask.Height());
  RefreshPreview();
}

void TfrmMakeMark::btnMaskFitBackgroundClick() {
  const TBitmap& composite = markSet_.Composite;
  {
    const QSignalBlocker detached(edtMaskWidth);
    SetNumber(nfMaskWidth, composite.Width());
  }
  SetNumber(nfMaskHeight, composite.Height());
  RefreshPreview();
}

void TfrmMakeMark::btnMaskBlurClick() {
  Filter3x3(markSet_.Masks[0]);
  RefreshPreview();
}

// ---------------------------------------------------------------------------
// Secondary commands

void TfrmMakeMark::tbSaveClick() {
  if (markPicture_.Empty()) return;
  const TMakeMarkServices& services = Services();
  if (!services.ChooseSaveName) return;
  const std::optional<std::string> file = services.ChooseSaveName(this, Trim(edtName->text().toStdString()));
  if (!file) return;
  if (FileExists(*file) &&
      ShowMsg(GetMessageText(msg::AskReplaceExisting), mkQuestion, SystemMessageCaption) != idYes) {
    return;
  }
  TBitmap picture(markPicture_);
  picture.SetPixelFormat(pf24bit);
  SaveImageFile(picture, *file);
}

void TfrmMakeMark::tbHelpClick() { HtmlHelp(HelpMakingAMarkPage); }

void TfrmMakeMark::tbVeilpaintClick() { StartMaskEditor(Services().StartProgram); }
