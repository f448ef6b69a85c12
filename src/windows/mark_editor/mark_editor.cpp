#include "windows/mark_editor/mark_editor.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
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
#include "windows/mark_editor/mark_editor_widgets.h"
#include "windows/mark_editor/mark_text.h"
#include "windows/position.h"
#include "windows/shared_commands.h"
#include "windows/viewer/view_image.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

QColor ToQColor(TColor c) {
  const TColor rgb = ColorToRGB(c);
  return QColor(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
}

// Captions: control name and message number.
struct TCaption {
  const char* Name;
  int Number;
};

constexpr TCaption kCaptions[] = {
    {"tbOK", 101},
    {"tbSave", 109},
    {"tbHelp", 110},
    {"tbExit", 103},
    {"lblmarkName", 1503},
    {"rbImage", 1504},
    {"rbText", 1505},
    {"lblPicFile", 1506},
    {"lblText1", 1507},
    {"sbF", 1508},
    {"sbB", 1509},
    {"gbLocate", 1510},
    {"lblExcursionX", 1511},
    {"lblExcursionY", 1512},
    {"chkFlag", 1513},
    {"lblEclosion", 1514},
    {"lblRotate", 1515},
    {"pnlRotateBackColor", 1516},
    {"lblClarity", 1517},
    {"chkAuto", 1518},
    {"chkTilePic", 1519},
    {"chkMosaic", 1520},
    {"lblMosaicX", 1521},
    {"lblMosaicY", 1522},
    {"chkExposal", 1523},
    {"chkReSize", 1524},
    {"lblReSizeX", 1525},
    {"lblReSizeY", 1526},
    {"sbFitToCurrBackground", 1527},
    {"lblPreviewFile", 1528},
    {"lblSaveAs", 2531},
    {"chkMix", 1529},
    {"chkDrag", 2529},
    {"sbClear", 2530},
    {"TabSheet1", 2541},
    {"TabSheet2", 2542},
    {"TabSheet3", 2543},
    {"TabSheet4", 2544},
    {"chkResizeSourceImage", 1580},
    {"lblResizeSourceImageSizeX", 1581},
    {"lblResizeSourceImageSizeY", 1582},
    {"pnlSourceImageBackgroupColor", 1583},
    {"chkSourceImageBackgroundImage", 1584},
    {"btnSourceImageBackgroundImage", 1585},
    {"chkEnableSourceImageBackgroupColor", 1586},
    {"chkSourceImageFrame", 1588},
    {"lblSourceImageFrameX", 1589},
    {"lblSourceImageFrameY", 1590},
    {"pnlSourceImageFrameColor", 1591},
    {"lblSourceImageFrameBevelInner", 1592},
    {"lblSourceImageFrameBevelOuter", 1593},
    {"chkSourceImageFrameFile", 1594},
    {"btnSourceImageFrameFile", 1595},
    {"lblSourceImageFrameBevelWidth", 1596},
    {"lblSourceImageFrameStyle", 1610},
    {"lblSourceImageFrameColorContrast", 1620},
    {"chkResizeSourceImageOfScale", 1621},
    {"chkUseMask", 1630},
    {"btnSelectMaskFile", 1631},
    {"lblMaskLeft", 1632},
    {"lblMaskTop", 1633},
    {"lblMaskWidth", 1634},
    {"lblMaskHeight", 1635},
    {"chkMaskTurn", 1636},
};

constexpr TCaption kHints[] = {
    {"tbOK", 2010},
    {"tbSave", 2011},
    {"tbHelp", 2012},
    {"tbExit", 2013},
    {"tbVeilpaint", 2014},
    {"tbBrowseImage", 2015},
    {"sbF", 1540},
    {"sbB", 1541},
    {"btnMaskFitOrigi", 1637},
    {"btnMaskFitBackground", 1638},
    {"btnMaskBlur", 1639},
};

QToolButton* NewButton(QWidget* parent, const char* name) {
  auto* b = NewNamed<QToolButton>(parent, name);
  b->setToolButtonStyle(Qt::ToolButtonTextOnly);
  return b;
}

QToolButton* NewToolButton(QWidget* parent, const char* name, QStyle::StandardPixmap icon) {
  auto* b = NewNamed<QToolButton>(parent, name);
  b->setIcon(parent->style()->standardIcon(icon));
  b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  b->setAutoRaise(true);
  return b;
}

QSpinBox* NewSpin(QWidget* parent, TNumberField field) {
  const TNumberRule& rule = NumberRule(field);
  auto* spin = NewNamed<TNumberEdit>(parent, rule.Control);
  spin->setRange(static_cast<int>(rule.Min()), static_cast<int>(rule.Max()));
  spin->setAccelerated(true);
  spin->setMaximumWidth(spin->fontMetrics().horizontalAdvance("-655370") + 40);
  return spin;
}

// A page's widgets one under the other, pushed to the top.
void Column(QWidget* page, std::initializer_list<QWidget*> widgets) {
  auto* v = new QVBoxLayout(page);
  for (QWidget* w : widgets) v->addWidget(w);
  v->addStretch(1);
}

// A panel's widgets side by side, indented under the box that shows it.
void Row(QWidget* panel, std::initializer_list<QWidget*> widgets, int indent) {
  auto* h = new QHBoxLayout(panel);
  h->setContentsMargins(indent, 0, 0, 0);
  for (QWidget* w : widgets) h->addWidget(w);
  h->addStretch(1);
}

void SetLabelColor(QLabel* label, TColor back, TColor font) {
  QPalette p = label->palette();
  p.setColor(QPalette::Window, ToQColor(back));
  p.setColor(QPalette::WindowText, ToQColor(font));
  label->setPalette(p);
  label->setAutoFillBackground(true);
}

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
  s.ViewPicture = [](QWidget* owner, const TBitmap& picture) { TfrmViewImage::Execute(owner, picture, 2, ""); };
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
  CreatePositionButtons();
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
  // ---- Tool bar
  auto* toolbar = NewNamed<QWidget>(this, "tbrMain");
  tbOK = NewToolButton(toolbar, "tbOK", QStyle::SP_DialogApplyButton);
  tbSave = NewToolButton(toolbar, "tbSave", QStyle::SP_DialogSaveButton);
  tbHelp = NewToolButton(toolbar, "tbHelp", QStyle::SP_DialogHelpButton);
  tbExit = NewToolButton(toolbar, "tbExit", QStyle::SP_DialogCloseButton);
  tbVeilpaint = NewToolButton(toolbar, "tbVeilpaint", QStyle::SP_DesktopIcon);
  tbBrowseImage = NewToolButton(toolbar, "tbBrowseImage", QStyle::SP_FileDialogContentsView);
  tbVeilpaint->setToolButtonStyle(Qt::ToolButtonIconOnly);
  tbBrowseImage->setToolButtonStyle(Qt::ToolButtonIconOnly);
  {
    auto* h = new QHBoxLayout(toolbar);
    h->setContentsMargins(0, 0, 0, 0);
    for (QToolButton* b : {tbOK, tbSave, tbHelp, tbExit, tbVeilpaint, tbBrowseImage}) h->addWidget(b);
    h->addStretch(1);
  }

  // ---- The mark
  auto* markSide = NewNamed<QWidget>(this, "pnlMark");
  lblmarkName = NewNamed<QLabel>(markSide, "lblmarkName");
  edtName = NewNamed<QLineEdit>(markSide, "edtName");
  rbImage = NewNamed<QRadioButton>(markSide, "rbImage");
  rbText = NewNamed<QRadioButton>(markSide, "rbText");
  pnlImage = NewNamed<QWidget>(markSide, "pnlImage");
  lblPicFile = NewNamed<QLabel>(pnlImage, "lblPicFile");
  edtImageFile = NewNamed<QLineEdit>(pnlImage, "edtImageFile");
  edtImageFile->setReadOnly(true);
  SpeedButton1 = NewButton(pnlImage, "SpeedButton1");
  SpeedButton1->setText("...");
  {
    auto* h = new QHBoxLayout(pnlImage);
    h->setContentsMargins(0, 0, 0, 0);
    h->addWidget(lblPicFile);
    h->addWidget(edtImageFile, 1);
    h->addWidget(SpeedButton1);
  }
  pnlText = NewNamed<QWidget>(markSide, "pnlText");
  lblText1 = NewNamed<QLabel>(pnlText, "lblText1");
  edtText = NewNamed<QPlainTextEdit>(pnlText, "edtText");
  edtText->setFixedHeight(72);
  edtText->setLineWrapMode(QPlainTextEdit::NoWrap);
  sbF = NewButton(pnlText, "sbF");
  sbB = NewButton(pnlText, "sbB");
  {
    auto* v = new QVBoxLayout(pnlText);
    v->setContentsMargins(0, 0, 0, 0);
    auto* h = new QHBoxLayout;
    h->addWidget(lblText1);
    h->addStretch(1);
    h->addWidget(sbF);
    h->addWidget(sbB);
    v->addLayout(h);
    v->addWidget(edtText);
  }
  pnlFrame = NewNamed<QFrame>(markSide, "pnlFrame");
  pnlFrame->setFrameShape(QFrame::StyledPanel);
  pnlFrame->setFrameShadow(QFrame::Sunken);
  pnlFrame->setMinimumHeight(120);
  ScrollBox1 = NewNamed<QScrollArea>(pnlFrame, "ScrollBox1");
  ScrollBox1->setFrameShape(QFrame::NoFrame);
  ScrollBox1->setWidgetResizable(false);
  auto* viewHost = NewNamed<QWidget>(ScrollBox1, "imgPic");
  pbView = NewNamed<TPaintBox>(viewHost, "pbView");
  ScrollBox1->setWidget(viewHost);
  {
    auto* v = new QVBoxLayout(pnlFrame);
    v->setContentsMargins(1, 1, 1, 1);
    v->addWidget(ScrollBox1);
  }

  // ---- Option pages
  pcOptions = NewNamed<QTabWidget>(markSide, "pcOptions");
  auto newPage = [this](const char* name) {
    auto* page = NewNamed<QWidget>(pcOptions, name);
    pcOptions->addTab(page, QString());
    return page;
  };
  TabSheet1 = newPage("TabSheet1");
  TabSheet2 = newPage("TabSheet2");
  TabSheet3 = newPage("TabSheet3");
  TabSheet4 = newPage("TabSheet4");

  // Placing
  gbLocate = NewNamed<QGroupBox>(TabSheet1, "gbLocate");
  gbLocate->setFixedSize(84, 90);
  lblExcursionX = NewNamed<QLabel>(TabSheet1, "lblExcursionX");
  edtXEX = NewSpin(TabSheet1, nfXOffset);
  lblExcursionY = NewNamed<QLabel>(TabSheet1, "lblExcursionY");
  edtYEX = NewSpin(TabSheet1, nfYOffset);
  chkFlag = NewNamed<QCheckBox>(TabSheet1, "chkFlag");
  pnlColor = NewNamed<TColorSwatch>(TabSheet1, "pnlColor");
  lblEclosion = NewNamed<QLabel>(TabSheet1, "lblEclosion");
  edtEclosion = NewSpin(TabSheet1, nfTolerance);
  lblRotate = NewNamed<QLabel>(TabSheet1, "lblRotate");
  edtRotate = NewSpin(TabSheet1, nfAngle);
  pnlRotateBackColor = NewNamed<TColorSwatch>(TabSheet1, "pnlRotateBackColor");
  pnlRotateBackColor->setMinimumWidth(80);
  lblClarity = NewNamed<QLabel>(TabSheet1, "lblClarity");
  tbClarity = NewNamed<QSlider>(TabSheet1, "tbClarity");
  tbClarity->setOrientation(Qt::Horizontal);
  tbClarity->setRange(0, 100);
  tbClarity->setPageStep(10);
  lblClartiyPer = NewNamed<QLabel>(TabSheet1, "lblClartiyPer");
  lblClartiyPer->setMinimumWidth(fontMetrics().horizontalAdvance("100%") + 4);
  chkAuto = NewNamed<QCheckBox>(TabSheet1, "chkAuto");
  chkTilePic = NewNamed<QCheckBox>(TabSheet1, "chkTilePic");
  {
    auto* offsets = new QGridLayout;
    offsets->addWidget(lblExcursionX, 0, 0);
    offsets->addWidget(edtXEX, 0, 1);
    offsets->addWidget(lblExcursionY, 1, 0);
    offsets->addWidget(edtYEX, 1, 1);
    offsets->setRowStretch(2, 1);
    auto* top = new QHBoxLayout;
    top->addWidget(gbLocate);
    top->addLayout(offsets, 1);
    auto* grid = new QGridLayout;
    grid->addWidget(chkFlag, 0, 0);
    grid->addWidget(pnlColor, 0, 1);
    grid->addWidget(lblEclosion, 0, 2);
    grid->addWidget(edtEclosion, 0, 3);
    grid->addWidget(lblRotate, 1, 0);
    grid->addWidget(edtRotate, 1, 1);
    grid->addWidget(pnlRotateBackColor, 1, 2, 1, 2);
    grid->addWidget(lblClarity, 2, 0);
    grid->addWidget(tbClarity, 2, 1, 1, 2);
    grid->addWidget(lblClartiyPer, 2, 3);
    auto* v = new QVBoxLayout(TabSheet1);
    v->addLayout(top);
    v->addLayout(grid);
    for (QWidget* w : {chkAuto, chkTilePic}) v->addWidget(w);
    v->addStretch(1);
  }

  // Effects
  chkMosaic = NewNamed<QCheckBox>(TabSheet2, "chkMosaic");
  pnlMosaic = NewNamed<QWidget>(TabSheet2, "pnlMosaic");
  lblMosaicX = NewNamed<QLabel>(pnlMosaic, "lblMosaicX");
  edtMosaicX = NewSpin(pnlMosaic, nfMosaicX);
  lblMosaicY = NewNamed<QLabel>(pnlMosaic, "lblMosaicY");
  edtMosaicY = NewSpin(pnlMosaic, nfMosaicY);
  Row(pnlMosaic, {lblMosaicX, edtMosaicX, lblMosaicY, edtMosaicY}, 20);
  chkExposal = NewNamed<QCheckBox>(TabSheet2, "chkExposal");
  chkReSize = NewNamed<QCheckBox>(TabSheet2, "chkReSize");
  pnlReSize = NewNamed<QWidget>(TabSheet2, "pnlReSize");
  lblReSizeX = NewNamed<QLabel>(pnlReSize, "lblReSizeX");
  edtReSizeX = NewSpin(pnlReSize, nfResizeX);
  lblReSizeY = NewNamed<QLabel>(pnlReSize, "lblReSizeY");
  edtReSizeY = NewSpin(pnlReSize, nfResizeY);
  sbFitToCurrBackground = NewButton(pnlReSize, "sbFitToCurrBackground");
  {
    auto* grid = new QGridLayout(pnlReSize);
    grid->setContentsMargins(20, 0, 0, 0);
    grid->addWidget(lblReSizeX, 0, 0);
    grid->addWidget(edtReSizeX, 0, 1);
    grid->addWidget(lblReSizeY, 0, 2);
    grid->addWidget(edtReSizeY, 0, 3);
    grid->addWidget(sbFitToCurrBackground, 1, 0, 1, 4, Qt::AlignLeft);
    grid->setColumnStretch(4, 1);
  }
  chkMix = NewNamed<QCheckBox>(TabSheet2, "chkMix");
  Column(TabSheet2, {chkMosaic, pnlMosaic, chkExposal, chkReSize, pnlReSize, chkMix});

  // The source picture
  chkResizeSourceImage = NewNamed<QCheckBox>(TabSheet3, "chkResizeSourceImage");
  pnlResizeSourceImage = NewNamed<QWidget>(TabSheet3, "pnlResizeSourceImage");
  chkResizeSourceImageOfScale = NewNamed<QCheckBox>(pnlResizeSourceImage, "chkResizeSourceImageOfScale");
  cbxResizeSourceImageOfScale = NewNamed<QComboBox>(pnlResizeSourceImage, "cbxResizeSourceImageOfScale");
  cbxResizeSourceImageOfScale->setEditable(true);
  cbxResizeSourceImageOfScale->setInsertPolicy(QComboBox::NoInsert);
  // Typed digits stay as typed: completing "50" to the item "500" would
  // scale by another number than the one typed.
  cbxResizeSourceImageOfScale->setCompleter(nullptr);
  for (const std::string& item : ScaleItems()) cbxResizeSourceImageOfScale->addItem(Q(item));
  pnlCustomSourceSize = NewNamed<QWidget>(pnlResizeSourceImage, "pnlCustomSourceSize");
  lblResizeSourceImageSizeX = NewNamed<QLabel>(pnlCustomSourceSize, "lblResizeSourceImageSizeX");
  edtResizeSourceImageSizeX = NewSpin(pnlCustomSourceSize, nfSourceWidth);
  lblResizeSourceImageSizeY = NewNamed<QLabel>(pnlCustomSourceSize, "lblResizeSourceImageSizeY");
  edtResizeSourceImageSizeY = NewSpin(pnlCustomSourceSize, nfSourceHeight);
  Row(pnlCustomSourceSize,
      {lblResizeSourceImageSizeX, edtResizeSourceImageSizeX, lblResizeSourceImageSizeY, edtResizeSourceImageSizeY}, 0);
  cbxDefaultSize = NewNamed<QComboBox>(pnlResizeSourceImage, "cbxDefaultSize");
  for (const std::string& item : DefaultSizeItems()) cbxDefaultSize->addItem(Q(item));
  cbxDefaultSize->setCurrentIndex(-1);
  {
    auto* v = new QVBoxLayout(pnlResizeSourceImage);
    v->setContentsMargins(20, 0, 0, 0);
    auto* h = new QHBoxLayout;
    h->addWidget(chkResizeSourceImageOfScale);
    h->addWidget(cbxResizeSourceImageOfScale);
    h->addStretch(1);
    v->addLayout(h);
    v->addWidget(pnlCustomSourceSize);
    v->addWidget(cbxDefaultSize, 0, Qt::AlignLeft);
  }
  chkEnableSourceImageBackgroupColor = NewNamed<QCheckBox>(TabSheet3, "chkEnableSourceImageBackgroupColor");
  pnlEnableSourceImageBackgroupColor = NewNamed<QWidget>(TabSheet3, "pnlEnableSourceImageBackgroupColor");
  pnlSourceImageBackgroupColor = NewNamed<TColorSwatch>(pnlEnableSourceImageBackgroupColor,
                                                        "pnlSourceImageBackgroupColor");
  pnlSourceImageBackgroupColor->setMinimumWidth(110);
  pnlSourceImageBackgroupColor->SetCaptionFollowsColor(true);
  chkSourceImageBackgroundImage = NewNamed<QCheckBox>(pnlEnableSourceImageBackgroupColor,
                                                      "chkSourceImageBackgroundImage");
  btnSourceImageBackgroundImage = NewButton(pnlEnableSourceImageBackgroupColor, "btnSourceImageBackgroundImage");
  {
    auto* grid = new QGridLayout(pnlEnableSourceImageBackgroupColor);
    grid->setContentsMargins(20, 0, 0, 0);
    grid->addWidget(pnlSourceImageBackgroupColor, 0, 0, 1, 2, Qt::AlignLeft);
    grid->addWidget(chkSourceImageBackgroundImage, 1, 0);
    grid->addWidget(btnSourceImageBackgroundImage, 1, 1);
    grid->setColumnStretch(2, 1);
  }
  chkSourceImageFrame = NewNamed<QCheckBox>(TabSheet3, "chkSourceImageFrame");
  pnlSourceImageFrame = NewNamed<QWidget>(TabSheet3, "pnlSourceImageFrame");
  QWidget* fp = pnlSourceImageFrame;
  lblSourceImageFrameX = NewNamed<QLabel>(fp, "lblSourceImageFrameX");
  edtSourceImageFrameX = NewSpin(fp, nfFrameX);
  lblSourceImageFrameY = NewNamed<QLabel>(fp, "lblSourceImageFrameY");
  edtSourceImageFrameY = NewSpin(fp, nfFrameY);
  pnlSourceImageFrameColor = NewNamed<TColorSwatch>(fp, "pnlSourceImageFrameColor");
  pnlSourceImageFrameColor->SetCaptionFollowsColor(true);
  chkSourceImageFrameFile = NewNamed<QCheckBox>(fp, "chkSourceImageFrameFile");
  btnSourceImageFrameFile = NewButton(fp, "btnSourceImageFrameFile");
  lblSourceImageFrameBevelInner = NewNamed<QLabel>(fp, "lblSourceImageFrameBevelInner");
  cbxSourceImageFrameBevelInner = NewNamed<QComboBox>(fp, "cbxSourceImageFrameBevelInner");
  lblSourceImageFrameBevelOuter = NewNamed<QLabel>(fp, "lblSourceImageFrameBevelOuter");
  cbxSourceImageFrameBevelOuter = NewNamed<QComboBox>(fp, "cbxSourceImageFrameBevelOuter");
  lblSourceImageFrameBevelWidth = NewNamed<QLabel>(fp, "lblSourceImageFrameBevelWidth");
  edtSourceImageFrameBevelWidth = NewSpin(fp, nfBevelWidth);
  lblSourceImageFrameStyle = NewNamed<QLabel>(fp, "lblSourceImageFrameStyle");
  cbxSourceImageFrameStyle = NewNamed<QComboBox>(fp, "cbxSourceImageFrameStyle");
  lblSourceImageFrameColorContrast = NewNamed<QLabel>(fp, "lblSourceImageFrameColorContrast");
  edtSourceImageFrameColorContrast = NewSpin(fp, nfContrast);
  for (int i = 0; i < BevelItemCount; ++i) {
    cbxSourceImageFrameBevelInner->addItem(QString());
    cbxSourceImageFrameBevelOuter->addItem(QString());
  }
  for (int i = 0; i < FrameStyleItemCount; ++i) cbxSourceImageFrameStyle->addItem(QString());
  {
    auto* grid = new QGridLayout(fp);
    grid->setContentsMargins(20, 0, 0, 0);
    grid->addWidget(lblSourceImageFrameX, 0, 0);
    grid->addWidget(edtSourceImageFrameX, 0, 1);
    grid->addWidget(lblSourceImageFrameY, 0, 2);
    grid->addWidget(edtSourceImageFrameY, 0, 3);
    grid->addWidget(pnlSourceImageFrameColor, 1, 0, 1, 2);
    grid->addWidget(chkSourceImageFrameFile, 2, 0, 1, 2);
    grid->addWidget(btnSourceImageFrameFile, 2, 2, 1, 2, Qt::AlignLeft);
    grid->addWidget(lblSourceImageFrameBevelInner, 3, 0);
    grid->addWidget(cbxSourceImageFrameBevelInner, 3, 1);
    grid->addWidget(lblSourceImageFrameBevelOuter, 3, 2);
    grid->addWidget(cbxSourceImageFrameBevelOuter, 3, 3);
    grid->addWidget(lblSourceImageFrameBevelWidth, 4, 0);
    grid->addWidget(edtSourceImageFrameBevelWidth, 4, 1);
    grid->addWidget(lblSourceImageFrameColorContrast, 4, 2);
    grid->addWidget(edtSourceImageFrameColorContrast, 4, 3);
    grid->addWidget(lblSourceImageFrameStyle, 5, 0);
    grid->addWidget(cbxSourceImageFrameStyle, 5, 1, 1, 3);
    grid->setColumnStretch(4, 1);
  }
  {
    auto* inner = new QWidget;
    const std::initializer_list<QWidget*> parts = {chkResizeSourceImage, pnlResizeSourceImage, chkEnableSourceImageBackgroupColor,
                        pnlEnableSourceImageBackgroupColor, chkSourceImageFrame, pnlSourceImageFrame};
    for (QWidget* w : parts) w->setParent(inner);
    Column(inner, parts);
    // The frame's controls need more room than the other pages.
    auto* scroll = new QScrollArea(TabSheet3);
    scroll->setObjectName("sbSourcePage");
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(inner);
    auto* page = new QVBoxLayout(TabSheet3);
    page->setContentsMargins(0, 0, 0, 0);
    page->addWidget(scroll);
  }

  // Mask
  chkUseMask = NewNamed<QCheckBox>(TabSheet4, "chkUseMask");
  pnlUseMask = NewNamed<QWidget>(TabSheet4, "pnlUseMask");
  btnSelectMaskFile = NewButton(pnlUseMask, "btnSelectMaskFile");
  lblMaskLeft = NewNamed<QLabel>(pnlUseMask, "lblMaskLeft");
  edtMaskLeft = NewSpin(pnlUseMask, nfMaskLeft);
  lblMaskTop = NewNamed<QLabel>(pnlUseMask, "lblMaskTop");
  edtMaskTop = NewSpin(pnlUseMask, nfMaskTop);
  lblMaskWidth = NewNamed<QLabel>(pnlUseMask, "lblMaskWidth");
  edtMaskWidth = NewSpin(pnlUseMask, nfMaskWidth);
  lblMaskHeight = NewNamed<QLabel>(pnlUseMask, "lblMaskHeight");
  edtMaskHeight = NewSpin(pnlUseMask, nfMaskHeight);
  btnMaskFitOrigi = NewToolButton(pnlUseMask, "btnMaskFitOrigi", QStyle::SP_TitleBarNormalButton);
  btnMaskFitBackground = NewToolButton(pnlUseMask, "btnMaskFitBackground", QStyle::SP_TitleBarMaxButton);
  btnMaskBlur = NewToolButton(pnlUseMask, "btnMaskBlur", QStyle::SP_BrowserReload);
  for (QToolButton* b : {btnMaskFitOrigi, btnMaskFitBackground, btnMaskBlur}) {
    b->setToolButtonStyle(Qt::ToolButtonIconOnly);
  }
  chkMaskTurn = NewNamed<QCheckBox>(pnlUseMask, "chkMaskTurn");
  {
    auto* grid = new QGridLayout(pnlUseMask);
    grid->setContentsMargins(20, 0, 0, 0);
    grid->addWidget(btnSelectMaskFile, 0, 0, 1, 2, Qt::AlignLeft);
    grid->addWidget(lblMaskLeft, 1, 0);
    grid->addWidget(edtMaskLeft, 1, 1);
    grid->addWidget(lblMaskTop, 1, 2);
    grid->addWidget(edtMaskTop, 1, 3);
    grid->addWidget(lblMaskWidth, 2, 0);
    grid->addWidget(edtMaskWidth, 2, 1);
    grid->addWidget(lblMaskHeight, 2, 2);
    grid->addWidget(edtMaskHeight, 2, 3);
    auto* tools = new QHBoxLayout;
    tools->addWidget(btnMaskFitOrigi);
    tools->addWidget(btnMaskFitBackground);
    tools->addWidget(btnMaskBlur);
    tools->addStretch(1);
    grid->addLayout(tools, 3, 0, 1, 4);
    grid->addWidget(chkMaskTurn, 4, 0, 1, 4);
    grid->setColumnStretch(4, 1);
    Column(TabSheet4, {chkUseMask, pnlUseMask});
  }

  {
    auto* v = new QVBoxLayout(markSide);
    v->setContentsMargins(0, 0, 0, 0);
    auto* name = new QHBoxLayout;
    name->addWidget(lblmarkName);
    name->addWidget(edtName, 1);
    v->addLayout(name);
    auto* kind = new QHBoxLayout;
    kind->addWidget(rbImage);
    kind->addWidget(rbText);
    kind->addStretch(1);
    v->addLayout(kind);
    // The picture and the text take the same place; one of them shows.
    v->addWidget(pnlImage);
    v->addWidget(pnlText);
    v->addWidget(pnlFrame, 1);
    v->addWidget(pcOptions);
  }
  markSide->setFixedWidth(440);

  // ---- The marked sample
  auto* sampleSide = NewNamed<QWidget>(this, "pnlSample");
  pnlPreview = NewNamed<QWidget>(sampleSide, "pnlPreview");
  pnlPreview->setMinimumSize(1, 1);
  opGL = NewNamed<TGLPanel>(pnlPreview, "opGL");
  pbPreview = NewNamed<TPaintBox>(opGL, "pbPreview");
  pbPreview->setCursor(Qt::CrossCursor);
  lblPreviewMessage = NewNamed<QLabel>(pnlPreview, "lblPreviewMessage");
  lblPreviewMessage->setAlignment(Qt::AlignCenter);
  lblPreviewMessage->setWordWrap(true);
  lblPreviewMessage->hide();
  lblPreviewFile = NewNamed<QLabel>(sampleSide, "lblPreviewFile");
  edtPreviewFile = NewNamed<QLineEdit>(sampleSide, "edtPreviewFile");
  SpeedButton3 = NewButton(sampleSide, "SpeedButton3");
  SpeedButton3->setText("...");
  sbClear = NewButton(sampleSide, "sbClear");
  chkDrag = NewNamed<QCheckBox>(sampleSide, "chkDrag");
  lblSaveAs = NewNamed<TLinkLabel>(sampleSide, "lblSaveAs");
  lblColor = NewNamed<QLabel>(sampleSide, "lblColor");
  lblColor->setMinimumWidth(fontMetrics().horizontalAdvance(" RGB:255,255,255 ") + 4);
  lblLocate = NewNamed<QLabel>(sampleSide, "lblLocate");
  lblVer = NewNamed<QLabel>(sampleSide, "lblVer");
  {
    auto* v = new QVBoxLayout(sampleSide);
    v->setContentsMargins(0, 0, 0, 0);
    v->addWidget(pnlPreview, 1);
    auto* file = new QHBoxLayout;
    file->addWidget(lblPreviewFile);
    file->addWidget(edtPreviewFile, 1);
    file->addWidget(SpeedButton3);
    file->addWidget(sbClear);
    v->addLayout(file);
    auto* commands = new QHBoxLayout;
    commands->addWidget(chkDrag);
    commands->addStretch(1);
    commands->addWidget(lblSaveAs);
    v->addLayout(commands);
    auto* readouts = new QHBoxLayout;
    readouts->addWidget(lblColor);
    readouts->addWidget(lblLocate);
    readouts->addStretch(1);
    readouts->addWidget(lblVer);
    v->addLayout(readouts);
  }

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
}

void TfrmMakeMark::CreatePositionButtons() {
  positionGroup_ = new QButtonGroup(this);
  positionGroup_->setExclusive(true);
  for (int i = 0; i < 9; ++i) {
    auto* b = new TPositionButton(i, gbLocate);
    b->setObjectName(QString("PositionButton%1").arg(i));
    b->setGeometry((i % 3) * 20 + 10, (i / 3) * 20 + 20, 20, 20);
    b->setCheckable(true);
    b->setAutoRaise(true);
    b->setProperty("Tag", i);
    positionGroup_->addButton(b, i);
    PositionButtons[i] = b;
  }
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
  for (const TCaption& caption : kCaptions) {
    const QString text = MessageText(caption.Number);
    SetControlCaption(findChild<QObject*>(caption.Name), pcOptions, text);
  }
  for (const TCaption& hint : kHints) {
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
      ShowMsg(FormatText(GetMessageText(msg::MarkNotRead), {"\n", "\n", "\n"}), 1, SystemMessageCaption);
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
  if (check.Message != 0) ShowMsg(GetMessageText(check.Message), 1, SystemMessageCaption);
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
      ShowMsg(GetMessageText(msg::PictureNotRead) + "\n" + fileName + "\n" + e.what(), 1, SystemMessageCaption);
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
  if (file->size() > PictureFileBytes) ShowMsg(GetMessageText(msg::PicturePathCut), 1, SystemMessageCaption);
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
// The sample and the preview

bool TfrmMakeMark::SampleInUse() const {
  const std::string name = edtPreviewFile->text().toStdString();
  return !name.empty() && name == sampleName_ && !sample_.Empty() && FileExists(name);
}

void TfrmMakeMark::SpeedButton3Click() {
  const TMakeMarkServices& services = Services();
  if (!services.ChoosePicture) return;
  TProgramInfo& settings = ProgramInfo();
  const std::optional<std::string> file = services.ChoosePicture(this, std::string(), settings.DefaultPreviewPath);
  if (!file) return;
  settings.DefaultPreviewPath = ExtractFilePathSlash(*file);
  edtPreviewFile->setText(Q(*file));
}

void TfrmMakeMark::edtPreviewFileChange() {
  const std::string name = edtPreviewFile->text().toStdString();
  if (!name.empty() && FileExists(name)) {
    // A sample that does not load is left out, as previews do.
    sample_ = LoadPicture(name, true);
    sampleName_ = sample_.Empty() ? std::string() : name;
  }
  RefreshPreview();
}

void TfrmMakeMark::sbClearClick() {
  edtPreviewFile->clear();
  RefreshPreview();
}

void TfrmMakeMark::RefreshPreview() {
  if (!ready_) return;
  previewPending_ = true;
  refreshTimer_->start();
}

void TfrmMakeMark::ProcessPendingRefresh() {
  refreshTimer_->stop();
  if (!ready_) {
    markImagePending_ = previewPending_ = false;
    return;
  }
  if (markImagePending_) BuildMarkImage();
  if (previewPending_) {
    previewPending_ = false;
    BuildPreview();
    PaintPreview();
  }
}

void TfrmMakeMark::BuildPreview() {
  if (!ready_) return;
  // The preview takes every number at its nearest bound; the boxes keep
  // what is being typed until the typing ends.
  TMarkOptions options = FormOptions();
  if (!::ValidateOptions(options)) return;
  ++builds_;
  const bool haveSample = SampleInUse();
  const TCompositePlan plan = PlanComposite(
      options.Has(mfResizeSource),
      TPoint{static_cast<int>(NumberValue(options, nfSourceWidth)), static_cast<int>(NumberValue(options, nfSourceHeight))},
      haveSample, TPoint{sample_.Width(), sample_.Height()}, TPoint{pnlPreview->width(), pnlPreview->height()});
  TBitmap& composite = markSet_.Composite;
  lblPreviewMessage->clear();
  composite = TBitmap();
  composite.SetPixelFormat(pf24bit);
  if (!plan.Fits) {
    lblPreviewMessage->setText(MessageText(msg::PreviewTooLarge));
    return;
  }
  try {
    if (plan.UseSample) {
      composite = sample_;
      composite.SetPixelFormat(pf24bit);
    } else {
      composite.SetSize(plan.Size.X, plan.Size.Y);
      DrawCheckerboard(composite);
    }
    markSet_.MarkPictures[0] = markPicture_;
    ::FormToMark(options, markSet_.Records[0]);
    markSet_.DrawMarks(plan.Base.X, plan.Base.Y);
  } catch (const EOutOfResources&) {
    composite = TBitmap();
    lblPreviewMessage->setText(MessageText(msg::PreviewTooLarge));
  } catch (const std::exception& e) {
    // A preview that cannot be drawn says why instead.
    composite = TBitmap();
    lblPreviewMessage->setText(Q(e.what()));
  }
}

void TfrmMakeMark::PaintPreview() {
  if (!ready_) return;
  const TBitmap& composite = markSet_.Composite;
  const QSize panel = pnlPreview->size();
  lblPreviewMessage->setGeometry(0, 0, panel.width(), panel.height());
  lblPreviewMessage->setVisible(!lblPreviewMessage->text().isEmpty());
  workBitmap_ = TBitmap();
  workBitmap_.SetPixelFormat(pf24bit);
  const TRect r = composite.Empty() ? TRect{} : PreviewRect(TPoint{panel.width(), panel.height()},
                                                            TPoint{composite.Width(), composite.Height()});
  opGL->setGeometry(r.Left, r.Top, r.Width(), r.Height());
  pbPreview->setGeometry(0, 0, r.Width(), r.Height());
  if (r.Width() > 0 && r.Height() > 0) {
    workBitmap_.SetSize(r.Width(), r.Height());
    workBitmap_.Canvas().StretchDraw(TRect{0, 0, r.Width(), r.Height()}, composite);
  }
  pbPreview->update();
}

void TfrmMakeMark::ShowPixelInfo(TPaintBox* box, int x, int y) {
  const std::optional<TPixelReadout> readout = ReadPixel(box == pbView ? viewBitmap_ : workBitmap_, x, y);
  if (!readout) return;
  lblColor->setText(Q(readout->ColorText));
  SetLabelColor(lblColor, readout->Color, readout->FontColor);
  lblLocate->setText(Q(readout->LocateText));
}

void TfrmMakeMark::PickColorAt(TPaintBox* box, Qt::MouseButton button, int x, int y) {
  const std::optional<TPixelReadout> readout = ReadPixel(box == pbView ? viewBitmap_ : workBitmap_, x, y);
  if (!readout) return;
  const bool angleSet = NumberValue(FormOptions(), nfAngle) != 0;
  switch (PickTarget(button == Qt::LeftButton, button == Qt::RightButton, angleSet, chkFlag->isChecked())) {
    case ptRotateBack:
      pnlRotateBackColor->SetColor(readout->Color);
      pnlRotateBackColor->SetFontColor(ContrastColor(readout->Color));
      break;
    case ptKeyColor:
      pnlColor->SetColor(readout->Color);
      break;
    case ptNone:
      break;
  }
  RefreshPreview();
}

void TfrmMakeMark::pbPreviewMouseDown(Qt::MouseButton button, QPoint pos) {
  if (chkDrag->isChecked() && button == Qt::LeftButton) {
    drag_.Begin(TPoint{pos.x(), pos.y()}, TPoint{edtXEX->value(), edtYEX->value()});
    return;
  }
  PickColorAt(pbPreview, button, pos.x(), pos.y());
}

void TfrmMakeMark::pbPreviewMouseMove(Qt::MouseButtons buttons, QPoint pos) {
  if (drag_.Active() && buttons == Qt::LeftButton) {
    const TPoint offsets = drag_.OffsetsAt(TPoint{pos.x(), pos.y()});
    {
      // Both offsets first, then one build.
      const QSignalBlocker detachedX(edtXEX);
      const QSignalBlocker detachedY(edtYEX);
      edtXEX->setValue(offsets.X);
      edtYEX->setValue(offsets.Y);
    }
    RefreshPreview();
  }
  ShowPixelInfo(pbPreview, pos.x(), pos.y());
}

void TfrmMakeMark::pbPreviewMouseUp(Qt::MouseButton button) {
  if (button == Qt::LeftButton) drag_.End();
}

void TfrmMakeMark::chkDragClick() {
  pbPreview->setCursor(chkDrag->isChecked() ? Qt::PointingHandCursor : Qt::CrossCursor);
}

void TfrmMakeMark::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  if (isVisible()) RefreshPreview();
}

bool TfrmMakeMark::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Resize) {
    Guarded([&] {
      if (watched == pnlPreview) {
        RefreshPreview();
      } else if (watched == ScrollBox1->viewport() && ready_) {
        LayoutMarkView();
      }
    });
  }
  return QDialog::eventFilter(watched, event);
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
      ShowMsg(GetMessageText(msg::AskReplaceExisting), 5, SystemMessageCaption) != idYes) {
    return;
  }
  TBitmap picture(markPicture_);
  picture.SetPixelFormat(pf24bit);
  SaveImageFile(picture, *file);
}

void TfrmMakeMark::lblSaveAsClick() {
  if (markSet_.Composite.Empty()) return;
  const TMakeMarkServices& services = Services();
  if (!services.ChooseSaveName) return;
  const std::optional<std::string> file = services.ChooseSaveName(this, "sample");
  if (!file) return;
  if (FileExists(*file) &&
      ShowMsg(GetMessageText(msg::AskReplaceExisting), 5, SystemMessageCaption) != idYes) {
    return;
  }
  SaveImageFile(markSet_.Composite, *file);
}

void TfrmMakeMark::tbHelpClick() { HtmlHelp(HelpMakingAMarkPage); }

void TfrmMakeMark::tbVeilpaintClick() { StartMaskEditor(Services().StartProgram); }

void TfrmMakeMark::tbBrowseImageClick() {
  const TMakeMarkServices& services = Services();
  if (services.ViewPicture && !markSet_.Composite.Empty()) services.ViewPicture(this, markSet_.Composite);
}
