#include "windows/setup.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
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
#include "windows/position.h"
#include "windows/setup_logic.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

QPushButton* NewButton(QWidget* parent, const char* name) {
  auto* b = NewNamed<QPushButton>(parent, name);
  b->setAutoDefault(false);
  return b;
}

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
  services.ChooseColor = [](QWidget* owner, TColor initial) -> std::optional<TColor> {
    const TColor rgb = ColorToRGB(initial);
    const QColor chosen = QColorDialog::getColor(QColor(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb)), owner);
    if (!chosen.isValid()) return std::nullopt;
    return RGB(chosen.red(), chosen.green(), chosen.blue());
  };
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

  pcMain = new QTabWidget(this);
  pcMain->setObjectName("pcMain");
  auto newPage = [this](const char* name) {
    auto* page = new QWidget(pcMain);
    page->setObjectName(name);
    pcMain->addTab(page, QString());
    return page;
  };
  tsGeneral = newPage("tsGeneral");
  tsJPG = newPage("tsJPG");
  tsGIF = newPage("tsGIF");
  tsBMP = newPage("tsBMP");
  tsViewer = newPage("tsViewer");
  tsSlideShow = newPage("tsSlideShow");

  btnOK = new QPushButton(this);
  btnOK->setObjectName("btnOK");
  btnOK->setDefault(true);
  btnExit = NewButton(this, "btnExit");

  // ---- General
  rgOutFileFormat = NewNamed<QGroupBox>(tsGeneral, "rgOutFileFormat");
  outputGroup_ = new QButtonGroup(this);
  rbOutputDefault = NewNamed<QRadioButton>(rgOutFileFormat, "rbOutputDefault");
  rbOutputJpg = NewNamed<QRadioButton>(rgOutFileFormat, "rbOutputJpg");
  rbOutputGif = NewNamed<QRadioButton>(rgOutFileFormat, "rbOutputGif");
  rbOutputBmp = NewNamed<QRadioButton>(rgOutFileFormat, "rbOutputBmp");
  rbOutputPng = NewNamed<QRadioButton>(rgOutFileFormat, "rbOutputPng");
  rbOutputPcx = NewNamed<QRadioButton>(rgOutFileFormat, "rbOutputPcx");
  rbOutputTga = NewNamed<QRadioButton>(rgOutFileFormat, "rbOutputTga");
  {
    auto* grid = new QGridLayout(rgOutFileFormat);
    int id = 0;
    for (QRadioButton* b : {rbOutputDefault, rbOutputJpg, rbOutputGif, rbOutputBmp, rbOutputPng, rbOutputPcx,
                            rbOutputTga}) {
      outputGroup_->addButton(b, id);
      grid->addWidget(b, id / 4, id % 4);
      ++id;
    }
  }
  rbOutputDefault->setChecked(true);

  lblFileFilter = NewNamed<QLabel>(tsGeneral, "lblFileFilter");
  edtFilter = new QComboBox(tsGeneral);
  edtFilter->setObjectName("edtFilter");
  edtFilter->setEditable(true);
  edtFilter->setInsertPolicy(QComboBox::NoInsert);
  // The list holds the whole default filter: completing typed text to it
  // would store every pattern instead of what was typed.
  edtFilter->setCompleter(nullptr);
  edtFilter->addItem(DefaultImageFilter);
  edtFilter->setMinimumContentsLength(30);
  edtFilter->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  lblExt1 = NewNamed<QLabel>(tsGeneral, "lblExt1");
  lblExt2 = NewNamed<QLabel>(tsGeneral, "lblExt2");
  lblExt3 = NewNamed<QLabel>(tsGeneral, "lblExt3");
  chkAutoLocateOldPath = NewNamed<QCheckBox>(tsGeneral, "chkAutoLocateOldPath");
  chkEnabledShellnook = NewNamed<QCheckBox>(tsGeneral, "chkEnabledShellnook");
  btnShowMouse = NewButton(tsGeneral, "btnShowMouse");
  {
    auto* v = new QVBoxLayout(tsGeneral);
    v->addWidget(rgOutFileFormat);
    v->addWidget(lblFileFilter);
    v->addWidget(edtFilter);
    auto* ext = new QHBoxLayout;
    for (QLabel* l : {lblExt1, lblExt2, lblExt3}) ext->addWidget(l);
    ext->addStretch(1);
    v->addLayout(ext);
    v->addWidget(chkAutoLocateOldPath);
    v->addWidget(chkEnabledShellnook);
    auto* h = new QHBoxLayout;
    h->addWidget(btnShowMouse);
    h->addStretch(1);
    v->addLayout(h);
    v->addStretch(1);
  }

  // ---- JPG
  chkKeepJpgCompress = NewNamed<QCheckBox>(tsJPG, "chkKeepJpgCompress");
  tbJpgCompress = new QSlider(Qt::Horizontal, tsJPG);
  tbJpgCompress->setObjectName("tbJpgCompress");
  // Quality 0 would make every JPEG output fail; the scale starts at 1.
  tbJpgCompress->setRange(MinJpgQuality, MaxJpgQuality);
  tbJpgCompress->setValue(MaxJpgQuality);
  tbJpgCompress->setTickInterval(10);
  tbJpgCompress->setTickPosition(QSlider::TicksBelow);
  tbJpgCompress->setPageStep(10);
  lblJpgCompress = NewNamed<QLabel>(tsJPG, "lblJpgCompress");
  lblJpgCompress->setMinimumWidth(fontMetrics().horizontalAdvance("100%") + 8);
  {
    auto* v = new QVBoxLayout(tsJPG);
    v->addWidget(chkKeepJpgCompress);
    auto* h = new QHBoxLayout;
    h->addWidget(tbJpgCompress, 1);
    h->addWidget(lblJpgCompress);
    v->addLayout(h);
    v->addStretch(1);
  }

  // ---- GIF
  chkDither = NewNamed<QCheckBox>(tsGIF, "chkDither");
  gbDither = NewNamed<QGroupBox>(tsGIF, "gbDither");
  ditherGroup_ = new QButtonGroup(this);
  {
    auto* grid = new QGridLayout(gbDither);
    for (int i = 0; i < 7; ++i) {
      rbDither[i] = NewNamed<QRadioButton>(gbDither, QString("rbDither%1").arg(i));
      ditherGroup_->addButton(rbDither[i], i);
      grid->addWidget(rbDither[i], i / 2, i % 2);
    }
  }
  rbDither[0]->setChecked(true);
  chkPalette = NewNamed<QCheckBox>(tsGIF, "chkPalette");
  gbPalette = NewNamed<QGroupBox>(tsGIF, "gbPalette");
  paletteGroup_ = new QButtonGroup(this);
  {
    auto* grid = new QGridLayout(gbPalette);
    for (int i = 0; i < 8; ++i) {
      rbPalette[i] = NewNamed<QRadioButton>(gbPalette, QString("rbPalette%1").arg(i));
      paletteGroup_->addButton(rbPalette[i], i);
      grid->addWidget(rbPalette[i], i / 2, i % 2);
    }
  }
  rbPalette[0]->setChecked(true);
  gbCompress = NewNamed<QGroupBox>(tsGIF, "gbCompress");
  compressGroup_ = new QButtonGroup(this);
  rbLZW = NewNamed<QRadioButton>(gbCompress, "rbLZW");
  rbRLE = NewNamed<QRadioButton>(gbCompress, "rbRLE");
  rbLZW->setText("LZW");
  rbRLE->setText("RLE");
  compressGroup_->addButton(rbLZW, 0);
  compressGroup_->addButton(rbRLE, 1);
  rbLZW->setChecked(true);
  {
    auto* h = new QHBoxLayout(gbCompress);
    h->addWidget(rbLZW);
    h->addWidget(rbRLE);
    h->addStretch(1);
  }
  chkOnlyAddFirst = NewNamed<QCheckBox>(tsGIF, "chkOnlyAddFirst");
  chkDisableAnimate = NewNamed<QCheckBox>(tsGIF, "chkDisableAnimate");
  {
    auto* v = new QVBoxLayout(tsGIF);
    v->addWidget(chkDither);
    v->addWidget(gbDither);
    v->addWidget(chkPalette);
    v->addWidget(gbPalette);
    v->addWidget(gbCompress);
    v->addWidget(chkOnlyAddFirst);
    v->addWidget(chkDisableAnimate);
    v->addStretch(1);
  }

  // ---- BMP
  chkKeepSourceFileColor = NewNamed<QCheckBox>(tsBMP, "chkKeepSourceFileColor");
  gbBmpColorSetup = NewNamed<QGroupBox>(tsBMP, "gbBmpColorSetup");
  cbxBmpColorSetup = new QComboBox(gbBmpColorSetup);
  cbxBmpColorSetup->setObjectName("cbxBmpColorSetup");
  for (const std::string& item : BmpColorSetupItems()) cbxBmpColorSetup->addItem(Q(item));
  cbxBmpColorSetup->setCurrentIndex(1);
  {
    auto* h = new QHBoxLayout(gbBmpColorSetup);
    h->addWidget(cbxBmpColorSetup, 1);
    auto* v = new QVBoxLayout(tsBMP);
    v->addWidget(chkKeepSourceFileColor);
    v->addWidget(gbBmpColorSetup);
    v->addStretch(1);
  }

  // ---- Viewer
  chkHideMainAtViewImage = NewNamed<QCheckBox>(tsViewer, "chkHideMainAtViewImage");
  gbAutoSize = NewNamed<QGroupBox>(tsViewer, "gbAutoSize");
  chkShrinkFit = NewNamed<QCheckBox>(gbAutoSize, "chkShrinkFit");
  chkZoomFit = NewNamed<QCheckBox>(gbAutoSize, "chkZoomFit");
  {
    auto* v = new QVBoxLayout(gbAutoSize);
    v->addWidget(chkShrinkFit);
    v->addWidget(chkZoomFit);
  }
  gbWindowAttributes = NewNamed<QGroupBox>(tsViewer, "gbWindowAttributes");
  chkAlwaysTop = NewNamed<QCheckBox>(gbWindowAttributes, "chkAlwaysTop");
  chkFullScreen = NewNamed<QCheckBox>(gbWindowAttributes, "chkFullScreen");
  chkHideMouse = NewNamed<QCheckBox>(gbWindowAttributes, "chkHideMouse");
  {
    auto* v = new QVBoxLayout(gbWindowAttributes);
    v->addWidget(chkAlwaysTop);
    v->addWidget(chkFullScreen);
    v->addWidget(chkHideMouse);
  }
  gbBackground = NewNamed<QGroupBox>(tsViewer, "gbBackground");
  backgroundGroup_ = new QButtonGroup(this);
  rbSolidColor = NewNamed<QRadioButton>(gbBackground, "rbSolidColor");
  rbTiledImage = NewNamed<QRadioButton>(gbBackground, "rbTiledImage");
  backgroundGroup_->addButton(rbSolidColor, 0);
  backgroundGroup_->addButton(rbTiledImage, 1);
  rbSolidColor->setChecked(true);
  pnlSolidColor = NewNamed<QLabel>(gbBackground, "pnlSolidColor");
  pnlSolidColor->setFrameShape(QFrame::Panel);
  pnlSolidColor->setFrameShadow(QFrame::Sunken);
  pnlSolidColor->setAutoFillBackground(true);
  pnlSolidColor->setMinimumSize(60, 21);
  btnSolidColor = NewButton(gbBackground, "btnSolidColor");
  btnSolidColor->setText("...");
  edtTiledImage = new QLineEdit(gbBackground);
  edtTiledImage->setObjectName("edtTiledImage");
  btnTiledImage = NewButton(gbBackground, "btnTiledImage");
  btnTiledImage->setText("...");
  for (QPushButton* b : {btnSolidColor, btnTiledImage}) b->setMaximumWidth(fontMetrics().horizontalAdvance("....") + 16);
  {
    auto* grid = new QGridLayout(gbBackground);
    grid->addWidget(rbSolidColor, 0, 0);
    grid->addWidget(pnlSolidColor, 0, 1);
    grid->addWidget(btnSolidColor, 0, 2);
    grid->addWidget(rbTiledImage, 1, 0);
    grid->addWidget(edtTiledImage, 1, 1);
    grid->addWidget(btnTiledImage, 1, 2);
    grid->setColumnStretch(1, 1);
  }
  gbShowHide = NewNamed<QGroupBox>(tsViewer, "gbShowHide");
  chkShowToolbar = NewNamed<QCheckBox>(gbShowHide, "chkShowToolbar");
  chkShowFullPath = NewNamed<QCheckBox>(gbShowHide, "chkShowFullPath");
  {
    auto* v = new QVBoxLayout(gbShowHide);
    v->addWidget(chkShowToolbar);
    v->addWidget(chkShowFullPath);
    auto* grid = new QGridLayout(tsViewer);
    grid->addWidget(chkHideMainAtViewImage, 0, 0, 1, 2);
    grid->addWidget(gbAutoSize, 1, 0);
    grid->addWidget(gbWindowAttributes, 1, 1);
    grid->addWidget(gbBackground, 2, 0, 1, 2);
    grid->addWidget(gbShowHide, 3, 0, 1, 2);
    grid->setRowStretch(4, 1);
  }

  // ---- SlideShow
  gbSequence = NewNamed<QGroupBox>(tsSlideShow, "gbSequence");
  sequenceGroup_ = new QButtonGroup(this);
  rbForward = NewNamed<QRadioButton>(gbSequence, "rbForward");
  rbReverse = NewNamed<QRadioButton>(gbSequence, "rbReverse");
  rbRandom = NewNamed<QRadioButton>(gbSequence, "rbRandom");
  sequenceGroup_->addButton(rbForward, 0);
  sequenceGroup_->addButton(rbReverse, 1);
  sequenceGroup_->addButton(rbRandom, 2);
  rbForward->setChecked(true);
  {
    auto* h = new QHBoxLayout(gbSequence);
    h->addWidget(rbForward);
    h->addWidget(rbReverse);
    h->addWidget(rbRandom);
    h->addStretch(1);
  }
  gbDelay = NewNamed<QGroupBox>(tsSlideShow, "gbDelay");
  tbDelay = new QSlider(Qt::Horizontal, gbDelay);
  tbDelay->setObjectName("tbDelay");
  tbDelay->setRange(0, DelayRowCount - 1);
  tbDelay->setSingleStep(1);
  tbDelay->setPageStep(1);
  tbDelay->setTickInterval(1);
  tbDelay->setTickPosition(QSlider::TicksBelow);
  lblDelay = NewNamed<QLabel>(gbDelay, "lblDelay");
  edtDelay = new TDelaySpinEdit(gbDelay);
  edtDelay->setObjectName("edtDelay");
  edtDelay->setMinimumWidth(fontMetrics().horizontalAdvance("8640000000") + 32);
  lblMilliseconds = NewNamed<QLabel>(gbDelay, "lblMilliseconds");
  {
    auto* grid = new QGridLayout(gbDelay);
    grid->addWidget(tbDelay, 0, 0, 1, 3);
    grid->addWidget(lblDelay, 1, 0, 1, 3, Qt::AlignHCenter);
    grid->addWidget(edtDelay, 2, 0);
    grid->addWidget(lblMilliseconds, 2, 1);
    grid->setColumnStretch(2, 1);
    auto* v = new QVBoxLayout(tsSlideShow);
    v->addWidget(gbSequence);
    v->addWidget(gbDelay);
    v->addStretch(1);
  }

  // ---- The window
  {
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnExit);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(pcMain, 1);
    layout->addLayout(buttons);
  }

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
  const TColor rgb = ColorToRGB(color);
  QPalette palette = pnlSolidColor->palette();
  palette.setColor(QPalette::Window, QColor(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb)));
  pnlSolidColor->setPalette(palette);
}

void TfrmSetup::LoadSettings() {
  const TProgramInfo& p = ProgramInfo();
  // A missing or unreadable key leaves the designed choice.
  if (IsNumeric(GetConfigValue("OutputFileType"))) SetChoice(outputGroup_, p.OutputFileType);
  edtFilter->setEditText(Q(ImageFilterText(p.ImageFilter)));
  chkAutoLocateOldPath->setChecked(p.AutoLocateOldPath);
  chkEnabledShellnook->setChecked(p.EnableShellnook);

  chkKeepJpgCompress->setChecked(p.KeepJpgCompress);
  tbJpgCompress->setValue(JpgSliderPosition(p.JpgCompress));

  chkDither->setChecked(p.GifEnableDither);
  if (IsNumeric(GetConfigValue("GifDither"))) SetChoice(ditherGroup_, p.GifDither);
  chkPalette->setChecked(p.GifEnablePalette);
  if (IsNumeric(GetConfigValue("GifPalette"))) SetChoice(paletteGroup_, p.GifPalette);
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

  SetChoice(sequenceGroup_, p.SlideSequence);
  edtDelay->setValue(std::clamp<std::int32_t>(p.SlideDelay, 0, MaxSlideDelay));
  // The track bar follows even when the value did not change.
  edtDelayChange();
}

void TfrmSetup::SaveSettings() {
  TProgramInfo& p = ProgramInfo();
  p.OutputFileType = ChosenOrKept(outputGroup_->checkedId(), p.OutputFileType);
  p.ImageFilter = ImageFilterFromText(edtFilter->currentText().toStdString());
  p.AutoLocateOldPath = chkAutoLocateOldPath->isChecked();
  p.EnableShellnook = chkEnabledShellnook->isChecked();

  p.KeepJpgCompress = chkKeepJpgCompress->isChecked();
  p.JpgCompress = static_cast<std::uint8_t>(JpgSliderPosition(tbJpgCompress->value()));

  p.GifEnableDither = chkDither->isChecked();
  p.GifDither = ChosenOrKept(ditherGroup_->checkedId(), p.GifDither);
  p.GifEnablePalette = chkPalette->isChecked();
  p.GifPalette = ChosenOrKept(paletteGroup_->checkedId(), p.GifPalette);
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

  p.SlideSequence = ChosenOrKept(sequenceGroup_->checkedId(), p.SlideSequence);
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
