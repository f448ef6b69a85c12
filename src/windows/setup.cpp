#include "windows/setup.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "app/routines.h"
#include "app/settings.h"
#include "app/text_routines.h"
#include "windows/form_support.h"
#include "windows/image_convert.h"
#include "windows/position.h"
#include "windows/setup_logic.h"
#include "windows/shared_commands.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// Checks the button of value in the group, or none when the group has no
// such button (the stored value is then kept on saving).
void SetChoice(QButtonGroup* group, int value) {
  if (QAbstractButton* button = group->button(value)) {
    button->setChecked(true);
    return;
  }
  group->setExclusive(false);
  for (QAbstractButton* b : group->buttons()) b->setChecked(false);
  group->setExclusive(true);
}

// The file-dialog filter of the image patterns the program accepts.
QString ImageDialogFilter() {
  QStringList patterns;
  for (const std::string& p : ProgramInfo().ImageFilter) {
    if (!Trim(p).empty()) patterns << Q(Trim(p));
  }
  QString filter;
  if (!patterns.isEmpty()) filter = "Images (" + patterns.join(' ') + ");;";
  return filter + "All files (*)";
}

}  // namespace

// ---------------------------------------------------------------------------

TDelaySpinEdit::TDelaySpinEdit(QWidget* parent) : QSpinBox(parent) {
  setRange(0, MaxSlideDelay);
  setSingleStep(100);
  setAccelerated(true);
}

QValidator::State TDelaySpinEdit::validate(QString& input, int& /*pos*/) const {
  for (qsizetype i = 0; i < input.size(); ++i) {
    const QChar c = input[i];
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) continue;
    if (c == QLatin1Char('-') && i == 0) continue;
    return QValidator::Invalid;
  }
  return QValidator::Acceptable;
}

int TDelaySpinEdit::valueFromText(const QString& text) const { return DelayFromText(text.toStdString()); }

void TDelaySpinEdit::fixup(QString& input) const { input = QString::number(DelayFromText(input.toStdString())); }

// ---------------------------------------------------------------------------

TSetupServices TfrmSetup::DefaultServices() {
  TSetupServices services;
  services.ChooseColor = [](QWidget* owner, TColor initial) { return ChooseColorDialog(owner, initial); };
  services.ChooseTiledImage = [](QWidget* owner, const std::string& initial) -> std::optional<std::string> {
    const QString start = initial.empty() ? QString() : QFileInfo(Q(initial)).absolutePath();
    const QString file = QFileDialog::getOpenFileName(owner, QString(), start, ImageDialogFilter());
    if (file.isEmpty()) return std::nullopt;
    return file.toStdString();
  };
  services.RegisterShellnook = [] { return ::RegisterShellnook(); };
  services.UnregisterShellnook = [] { return ::UnregisterShellnook(); };
  return services;
}

TSetupServices& TfrmSetup::Services() {
  static TSetupServices services = DefaultServices();
  return services;
}

bool TfrmSetup::Execute(int startPage) {
  TfrmSetup form(ModalOwner());
  form.SetStartPage(startPage);
  form.exec();
  return form.Accepted();
}

TfrmSetup::TfrmSetup(QWidget* owner) : QDialog(owner) {
  setObjectName("frmSetup");
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

  BuildSetupFrame(this, *this);
  BuildGeneralPage(tsGeneral, this, *this);
  BuildJpgPage(tsJPG, *this);
  BuildGifPage(tsGIF, this, *this);
  BuildBmpPage(tsBMP, *this);
  BuildViewerPage(tsViewer, this, *this);
  BuildSlideShowPage(tsSlideShow, this, *this);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(btnOK);
  buttons->addWidget(btnExit);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 8);
  layout->addWidget(pcMain, 1);
  layout->addLayout(buttons);

  auto on = [this](auto member) { return [this, member] { Guarded([this, member] { (this->*member)(); }); }; };
  connect(chkKeepJpgCompress, &QCheckBox::toggled, this, on(&TfrmSetup::chkKeepJpgCompressClick));
  connect(tbJpgCompress, &QSlider::valueChanged, this, on(&TfrmSetup::tbJpgCompressChange));
  connect(chkDither, &QCheckBox::toggled, this, on(&TfrmSetup::chkDitherClick));
  connect(chkPalette, &QCheckBox::toggled, this, on(&TfrmSetup::chkPaletteClick));
  connect(chkKeepSourceFileColor, &QCheckBox::toggled, this, on(&TfrmSetup::chkKeepSourceFileColorClick));
  connect(btnShowMouse, &QPushButton::clicked, this, on(&TfrmSetup::btnShowMouseClick));
  connect(btnSolidColor, &QPushButton::clicked, this, on(&TfrmSetup::btnSolidColorClick));
  connect(btnTiledImage, &QPushButton::clicked, this, on(&TfrmSetup::btnTiledImageClick));
  connect(tbDelay, &QSlider::valueChanged, this, on(&TfrmSetup::tbDelayChange));
  connect(edtDelay, &QSpinBox::valueChanged, this, on(&TfrmSetup::edtDelayChange));
  connect(btnOK, &QPushButton::clicked, this, on(&TfrmSetup::btnOKClick));
  connect(pcMain, &QTabWidget::currentChanged, this, on(&TfrmSetup::FitHeightToPage));
  connect(btnExit, &QPushButton::clicked, this, &QDialog::reject);

  // The designed state: the labels filled and the groups shown to match
  // the designed switches.
  SetSolidColor(RGB(0, 98, 150));
  tbJpgCompressChange();
  chkKeepJpgCompress->setChecked(true);
  chkPalette->setChecked(true);
  chkKeepJpgCompressClick();
  chkDitherClick();
  chkPaletteClick();
  chkKeepSourceFileColorClick();
  edtDelayChange();
  ApplyLanguageFont(static_cast<QWidget*>(this));
  ApplyLanguage();
  resize(470, 430);
  // Last: it puts back the bounds the window had last time.
  Position = new TPosition(this);
}

void TfrmSetup::SetSolidColor(TColor color) {
  solidColor_ = color;
  QPalette palette = pnlSolidColor->palette();
  palette.setColor(QPalette::Window, ToQColor(color));
  pnlSolidColor->setPalette(palette);
}

void TfrmSetup::LoadSettings() {
  const TProgramInfo& p = ProgramInfo();
  // A missing or unreadable key leaves the designed choice.
  if (IsNumeric(GetConfigValue("OutputFileType"))) SetChoice(OutputGroup, p.OutputFileType);
  edtFilter->setEditText(Q(ImageFilterText(p.ImageFilter)));
  chkAutoLocateOldPath->setChecked(p.AutoLocateOldPath);
  chkEnabledShellnook->setChecked(p.EnableShellnook);

  chkKeepJpgCompress->setChecked(p.KeepJpgCompress);
  tbJpgCompress->setValue(JpgSliderPosition(p.JpgCompress));

  chkDither->setChecked(p.GifEnableDither);
  if (IsNumeric(GetConfigValue("GifDither"))) SetChoice(DitherGroup, p.GifDither);
  chkPalette->setChecked(p.GifEnablePalette);
  if (IsNumeric(GetConfigValue("GifPalette"))) SetChoice(PaletteGroup, p.GifPalette);
  (p.GifCompress == 1 ? rbRLE : rbLZW)->setChecked(true);
  chkOnlyAddFirst->setChecked(p.GifMarkFirst);
  chkDisableAnimate->setChecked(p.GifDisableAnimate);

  chkKeepSourceFileColor->setChecked(p.BmpKeepColor);
  cbxBmpColorSetup->setCurrentIndex(p.BmpColorSetup < cbxBmpColorSetup->count() ? p.BmpColorSetup : -1);

  chkHideMainAtViewImage->setChecked(p.ViewImageViewMain);
  chkShrinkFit->setChecked(p.ViewShrinkFit);
  chkZoomFit->setChecked(p.ViewZoomFit);
  chkAlwaysTop->setChecked(p.ViewAlwaysTop);
  chkFullScreen->setChecked(p.ViewImageFullScreen);
  chkHideMouse->setChecked(p.ViewHideMouse);
  (p.ViewEnableTiledImage ? rbTiledImage : rbSolidColor)->setChecked(true);
  SetSolidColor(p.ViewSolidColor);
  edtTiledImage->setText(Q(p.ViewTiledImage));
  chkShowToolbar->setChecked(p.ViewShowToolbar);
  chkShowFullPath->setChecked(p.ViewShowFullPath);

  SetChoice(SequenceGroup, p.SlideSequence);
  edtDelay->setValue(std::clamp<std::int32_t>(p.SlideDelay, 0, MaxSlideDelay));
  // The track bar follows even when the value did not change.
  edtDelayChange();
}

void TfrmSetup::SaveSettings() {
  TProgramInfo& p = ProgramInfo();
  p.OutputFileType = ChosenOrKept(OutputGroup->checkedId(), p.OutputFileType);
  p.ImageFilter = ImageFilterFromText(edtFilter->currentText().toStdString());
  p.AutoLocateOldPath = chkAutoLocateOldPath->isChecked();
  p.EnableShellnook = chkEnabledShellnook->isChecked();

  p.KeepJpgCompress = chkKeepJpgCompress->isChecked();
  p.JpgCompress = static_cast<std::uint8_t>(JpgSliderPosition(tbJpgCompress->value()));

  p.GifEnableDither = chkDither->isChecked();
  p.GifDither = ChosenOrKept(DitherGroup->checkedId(), p.GifDither);
  p.GifEnablePalette = chkPalette->isChecked();
  p.GifPalette = ChosenOrKept(PaletteGroup->checkedId(), p.GifPalette);
  p.GifCompress = rbLZW->isChecked() ? 0 : 1;
  p.GifMarkFirst = chkOnlyAddFirst->isChecked();
  p.GifDisableAnimate = chkDisableAnimate->isChecked();

  p.BmpKeepColor = chkKeepSourceFileColor->isChecked();
  p.BmpColorSetup = ChosenOrKept(cbxBmpColorSetup->currentIndex(), p.BmpColorSetup);

  p.ViewImageViewMain = chkHideMainAtViewImage->isChecked();
  p.ViewShrinkFit = chkShrinkFit->isChecked();
  p.ViewZoomFit = chkZoomFit->isChecked();
  p.ViewAlwaysTop = chkAlwaysTop->isChecked();
  p.ViewImageFullScreen = chkFullScreen->isChecked();
  p.ViewHideMouse = chkHideMouse->isChecked();
  p.ViewEnableTiledImage = rbTiledImage->isChecked();
  p.ViewSolidColor = solidColor_;
  p.ViewTiledImage = edtTiledImage->text().toStdString();
  p.ViewShowToolbar = chkShowToolbar->isChecked();
  p.ViewShowFullPath = chkShowFullPath->isChecked();

  p.SlideSequence = ChosenOrKept(SequenceGroup->checkedId(), p.SlideSequence);
  p.SlideDelay = std::clamp<std::int32_t>(edtDelay->value(), 0, MaxSlideDelay);

  // On every OK, changed or not, so that a lost registration is mended by
  // confirming the settings once more.
  const TSetupServices& services = Services();
  if (p.EnableShellnook) {
    if (services.RegisterShellnook) services.RegisterShellnook();
  } else {
    if (services.UnregisterShellnook) services.UnregisterShellnook();
  }
}

void TfrmSetup::ApplyLanguage() {
  for (const TSetupCaption& caption : SetupCaptions()) {
    const QString text = MessageText(caption.Number);
    if (objectName() == caption.Name) {
      setWindowTitle(text);
      continue;
    }
    SetControlCaption(findChild<QObject*>(caption.Name), pcMain, text);
  }
  // The three example labels share one text: it is shown once.
  lblExt2->setVisible(lblExt2->text() != lblExt1->text());
  lblExt3->setVisible(lblExt3->text() != lblExt2->text());
}

void TfrmSetup::showEvent(QShowEvent* event) {
  if (!shown_) {
    shown_ = true;
    Guarded([this] { FormShow(); });
  }
  QDialog::showEvent(event);
}

void TfrmSetup::FormShow() {
  LoadSettings();
  ApplyLanguage();
  pcMain->setCurrentIndex(StartPage >= 0 && StartPage < pcMain->count() ? StartPage : pgGeneral);
  FitHeightToPage();
}

void TfrmSetup::FitHeightToPage() {
  // A page of pages is as tall as its tallest page; the pages not shown
  // ask for no height, and the window takes what the page shown needs, so
  // a short page leaves no empty band below its controls.
  QWidget* shown = pcMain->currentWidget();
  for (int i = 0; i < pcMain->count(); ++i) {
    QWidget* page = pcMain->widget(i);
    page->setSizePolicy(QSizePolicy::Preferred, page == shown ? QSizePolicy::Preferred : QSizePolicy::Ignored);
  }
  pcMain->updateGeometry();
  layout()->activate();
  if (shown == nullptr || !isVisible()) return;
  const int need = std::max(shown->sizeHint().height(), shown->minimumSizeHint().height());
  resize(width(), std::max(minimumHeight(), height() + need - shown->height()));
}

void TfrmSetup::chkKeepJpgCompressClick() {
  const bool keep = chkKeepJpgCompress->isChecked();
  tbJpgCompress->setHidden(keep);
  lblJpgCompress->setHidden(keep);
  FitHeightToPage();
}

void TfrmSetup::tbJpgCompressChange() { lblJpgCompress->setText(Q(JpgCompressCaption(tbJpgCompress->value()))); }

void TfrmSetup::chkDitherClick() {
  gbDither->setVisible(chkDither->isChecked());
  FitHeightToPage();
}

void TfrmSetup::chkPaletteClick() {
  gbPalette->setVisible(chkPalette->isChecked());
  FitHeightToPage();
}

void TfrmSetup::chkKeepSourceFileColorClick() {
  gbBmpColorSetup->setHidden(chkKeepSourceFileColor->isChecked());
  FitHeightToPage();
}

void TfrmSetup::btnShowMouseClick() {
  // The viewer hides the pointer with a blank cursor, on the application
  // or on one of its widgets; take every such hiding back.
  while (const QCursor* cursor = QGuiApplication::overrideCursor()) {
    if (cursor->shape() != Qt::BlankCursor) break;
    QGuiApplication::restoreOverrideCursor();
  }
  for (QWidget* widget : QApplication::allWidgets()) {
    if (widget->testAttribute(Qt::WA_SetCursor) && widget->cursor().shape() == Qt::BlankCursor) widget->unsetCursor();
  }
}

void TfrmSetup::btnSolidColorClick() {
  rbSolidColor->setChecked(true);
  const TSetupServices& services = Services();
  if (!services.ChooseColor) return;
  if (const std::optional<TColor> color = services.ChooseColor(this, solidColor_)) SetSolidColor(*color);
}

void TfrmSetup::btnTiledImageClick() {
  rbTiledImage->setChecked(true);
  const TSetupServices& services = Services();
  if (!services.ChooseTiledImage) return;
  if (const std::optional<std::string> file = services.ChooseTiledImage(this, edtTiledImage->text().toStdString())) {
    edtTiledImage->setText(Q(*file));
  }
}

void TfrmSetup::tbDelayChange() {
  const int row = tbDelay->value();
  {
    const QSignalBlocker detached(edtDelay);
    edtDelay->setValue(DelayMilliseconds(row));
  }
  lblDelay->setText(Q(DelayCaption(row)));
}

void TfrmSetup::edtDelayChange() {
  const int row = DelayRowOf(edtDelay->value());
  {
    const QSignalBlocker detached(tbDelay);
    tbDelay->setValue(row);
  }
  lblDelay->setText(Q(DelayCaption(row)));
}

void TfrmSetup::btnOKClick() {
  if (!ValidateSettings()) return;
  SaveSettings();
  ProgramInfo().SaveConfig();
  accepted_ = true;
  accept();
}
