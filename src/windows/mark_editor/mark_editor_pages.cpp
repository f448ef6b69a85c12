#include "windows/mark_editor/mark_editor_pages.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScrollArea>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <initializer_list>
#include <string>

#include "windows/form_support.h"
#include "windows/gl_panel.h"
#include "windows/mark_editor/mark_editor_model.h"
#include "windows/mark_editor/mark_editor_widgets.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

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

}  // namespace

QWidget* BuildMarkToolBar(QWidget* form, TMarkToolBar& c) {
  auto* toolbar = NewNamed<QWidget>(form, "tbrMain");
  c.tbOK = NewToolButton(toolbar, "tbOK", QStyle::SP_DialogApplyButton);
  c.tbSave = NewToolButton(toolbar, "tbSave", QStyle::SP_DialogSaveButton);
  c.tbHelp = NewToolButton(toolbar, "tbHelp", QStyle::SP_DialogHelpButton);
  c.tbExit = NewToolButton(toolbar, "tbExit", QStyle::SP_DialogCloseButton);
  c.tbVeilpaint = NewToolButton(toolbar, "tbVeilpaint", QStyle::SP_DesktopIcon);
  c.tbBrowseImage = NewToolButton(toolbar, "tbBrowseImage", QStyle::SP_FileDialogContentsView);
  c.tbVeilpaint->setToolButtonStyle(Qt::ToolButtonIconOnly);
  c.tbBrowseImage->setToolButtonStyle(Qt::ToolButtonIconOnly);
  auto* h = new QHBoxLayout(toolbar);
  h->setContentsMargins(0, 0, 0, 0);
  for (QToolButton* b : {c.tbOK, c.tbSave, c.tbHelp, c.tbExit, c.tbVeilpaint, c.tbBrowseImage}) h->addWidget(b);
  h->addStretch(1);
  return toolbar;
}

QWidget* BuildMarkPanel(QWidget* form, TMarkPanel& c) {
  auto* markSide = NewNamed<QWidget>(form, "pnlMark");
  c.lblmarkName = NewNamed<QLabel>(markSide, "lblmarkName");
  c.edtName = NewNamed<QLineEdit>(markSide, "edtName");
  c.rbImage = NewNamed<QRadioButton>(markSide, "rbImage");
  c.rbText = NewNamed<QRadioButton>(markSide, "rbText");

  c.pnlImage = NewNamed<QWidget>(markSide, "pnlImage");
  c.lblPicFile = NewNamed<QLabel>(c.pnlImage, "lblPicFile");
  c.edtImageFile = NewNamed<QLineEdit>(c.pnlImage, "edtImageFile");
  c.edtImageFile->setReadOnly(true);
  c.SpeedButton1 = NewButton(c.pnlImage, "SpeedButton1");
  c.SpeedButton1->setText("...");
  {
    auto* h = new QHBoxLayout(c.pnlImage);
    h->setContentsMargins(0, 0, 0, 0);
    h->addWidget(c.lblPicFile);
    h->addWidget(c.edtImageFile, 1);
    h->addWidget(c.SpeedButton1);
  }

  c.pnlText = NewNamed<QWidget>(markSide, "pnlText");
  c.lblText1 = NewNamed<QLabel>(c.pnlText, "lblText1");
  c.edtText = NewNamed<QPlainTextEdit>(c.pnlText, "edtText");
  c.edtText->setFixedHeight(72);
  c.edtText->setLineWrapMode(QPlainTextEdit::NoWrap);
  c.sbF = NewButton(c.pnlText, "sbF");
  c.sbB = NewButton(c.pnlText, "sbB");
  {
    auto* v = new QVBoxLayout(c.pnlText);
    v->setContentsMargins(0, 0, 0, 0);
    auto* h = new QHBoxLayout;
    h->addWidget(c.lblText1);
    h->addStretch(1);
    h->addWidget(c.sbF);
    h->addWidget(c.sbB);
    v->addLayout(h);
    v->addWidget(c.edtText);
  }

  c.pnlFrame = NewNamed<QFrame>(markSide, "pnlFrame");
  c.pnlFrame->setFrameShape(QFrame::StyledPanel);
  c.pnlFrame->setFrameShadow(QFrame::Sunken);
  c.pnlFrame->setMinimumHeight(120);
  c.ScrollBox1 = NewNamed<QScrollArea>(c.pnlFrame, "ScrollBox1");
  c.ScrollBox1->setFrameShape(QFrame::NoFrame);
  c.ScrollBox1->setWidgetResizable(false);
  auto* viewHost = NewNamed<QWidget>(c.ScrollBox1, "imgPic");
  c.pbView = NewNamed<TPaintBox>(viewHost, "pbView");
  // The colour read-out follows the mouse without a button pressed.
  c.pbView->setMouseTracking(true);
  c.ScrollBox1->setWidget(viewHost);
  {
    auto* v = new QVBoxLayout(c.pnlFrame);
    v->setContentsMargins(1, 1, 1, 1);
    v->addWidget(c.ScrollBox1);
  }

  // The pages are filled by their own builders.
  c.pcOptions = NewNamed<QTabWidget>(markSide, "pcOptions");
  auto newPage = [&c](const char* name) {
    auto* page = NewNamed<QWidget>(c.pcOptions, name);
    c.pcOptions->addTab(page, QString());
    return page;
  };
  c.TabSheet1 = newPage("TabSheet1");
  c.TabSheet2 = newPage("TabSheet2");
  c.TabSheet3 = newPage("TabSheet3");
  c.TabSheet4 = newPage("TabSheet4");

  auto* v = new QVBoxLayout(markSide);
  v->setContentsMargins(0, 0, 0, 0);
  auto* name = new QHBoxLayout;
  name->addWidget(c.lblmarkName);
  name->addWidget(c.edtName, 1);
  v->addLayout(name);
  auto* kind = new QHBoxLayout;
  kind->addWidget(c.rbImage);
  kind->addWidget(c.rbText);
  kind->addStretch(1);
  v->addLayout(kind);
  // The picture and the text take the same place; one of them shows.
  v->addWidget(c.pnlImage);
  v->addWidget(c.pnlText);
  v->addWidget(c.pnlFrame, 1);
  v->addWidget(c.pcOptions);
  markSide->setFixedWidth(440);
  return markSide;
}

void BuildPlacingPage(QWidget* page, TPlacingPage& c) {
  c.gbLocate = NewNamed<QGroupBox>(page, "gbLocate");
  c.gbLocate->setFixedSize(84, 90);
  c.lblExcursionX = NewNamed<QLabel>(page, "lblExcursionX");
  c.edtXEX = NewSpin(page, nfXOffset);
  c.lblExcursionY = NewNamed<QLabel>(page, "lblExcursionY");
  c.edtYEX = NewSpin(page, nfYOffset);
  c.chkFlag = NewNamed<QCheckBox>(page, "chkFlag");
  c.pnlColor = NewNamed<TColorSwatch>(page, "pnlColor");
  c.lblEclosion = NewNamed<QLabel>(page, "lblEclosion");
  c.edtEclosion = NewSpin(page, nfTolerance);
  c.lblRotate = NewNamed<QLabel>(page, "lblRotate");
  c.edtRotate = NewSpin(page, nfAngle);
  c.pnlRotateBackColor = NewNamed<TColorSwatch>(page, "pnlRotateBackColor");
  c.pnlRotateBackColor->setMinimumWidth(80);
  c.lblClarity = NewNamed<QLabel>(page, "lblClarity");
  c.tbClarity = NewNamed<QSlider>(page, "tbClarity");
  c.tbClarity->setOrientation(Qt::Horizontal);
  c.tbClarity->setRange(0, 100);
  c.tbClarity->setPageStep(10);
  c.lblClartiyPer = NewNamed<QLabel>(page, "lblClartiyPer");
  c.lblClartiyPer->setMinimumWidth(FormFontMetrics(page).horizontalAdvance("100%") + 4);
  c.chkAuto = NewNamed<QCheckBox>(page, "chkAuto");
  c.chkTilePic = NewNamed<QCheckBox>(page, "chkTilePic");

  auto* offsets = new QGridLayout;
  offsets->addWidget(c.lblExcursionX, 0, 0);
  offsets->addWidget(c.edtXEX, 0, 1);
  offsets->addWidget(c.lblExcursionY, 1, 0);
  offsets->addWidget(c.edtYEX, 1, 1);
  offsets->setRowStretch(2, 1);
  auto* top = new QHBoxLayout;
  top->addWidget(c.gbLocate);
  top->addLayout(offsets, 1);
  auto* grid = new QGridLayout;
  grid->addWidget(c.chkFlag, 0, 0);
  grid->addWidget(c.pnlColor, 0, 1);
  grid->addWidget(c.lblEclosion, 0, 2);
  grid->addWidget(c.edtEclosion, 0, 3);
  grid->addWidget(c.lblRotate, 1, 0);
  grid->addWidget(c.edtRotate, 1, 1);
  grid->addWidget(c.pnlRotateBackColor, 1, 2, 1, 2);
  grid->addWidget(c.lblClarity, 2, 0);
  grid->addWidget(c.tbClarity, 2, 1, 1, 2);
  grid->addWidget(c.lblClartiyPer, 2, 3);
  auto* v = new QVBoxLayout(page);
  v->addLayout(top);
  v->addLayout(grid);
  for (QWidget* w : {c.chkAuto, c.chkTilePic}) v->addWidget(w);
  v->addStretch(1);
}

QButtonGroup* BuildPositionButtons(QWidget* groupOwner, TPlacingPage& c) {
  auto* group = new QButtonGroup(groupOwner);
  group->setExclusive(true);
  for (int i = 0; i < 9; ++i) {
    auto* b = new TPositionButton(i, c.gbLocate);
    b->setObjectName(QString("PositionButton%1").arg(i));
    b->setGeometry((i % 3) * 20 + 10, (i / 3) * 20 + 20, 20, 20);
    b->setCheckable(true);
    b->setAutoRaise(true);
    b->setProperty("Tag", i);
    group->addButton(b, i);
    c.PositionButtons[i] = b;
  }
  return group;
}

void BuildEffectsPage(QWidget* page, TEffectsPage& c) {
  c.chkMosaic = NewNamed<QCheckBox>(page, "chkMosaic");
  c.pnlMosaic = NewNamed<QWidget>(page, "pnlMosaic");
  c.lblMosaicX = NewNamed<QLabel>(c.pnlMosaic, "lblMosaicX");
  c.edtMosaicX = NewSpin(c.pnlMosaic, nfMosaicX);
  c.lblMosaicY = NewNamed<QLabel>(c.pnlMosaic, "lblMosaicY");
  c.edtMosaicY = NewSpin(c.pnlMosaic, nfMosaicY);
  Row(c.pnlMosaic, {c.lblMosaicX, c.edtMosaicX, c.lblMosaicY, c.edtMosaicY}, 20);
  c.chkExposal = NewNamed<QCheckBox>(page, "chkExposal");
  c.chkReSize = NewNamed<QCheckBox>(page, "chkReSize");
  c.pnlReSize = NewNamed<QWidget>(page, "pnlReSize");
  c.lblReSizeX = NewNamed<QLabel>(c.pnlReSize, "lblReSizeX");
  c.edtReSizeX = NewSpin(c.pnlReSize, nfResizeX);
  c.lblReSizeY = NewNamed<QLabel>(c.pnlReSize, "lblReSizeY");
  c.edtReSizeY = NewSpin(c.pnlReSize, nfResizeY);
  c.sbFitToCurrBackground = NewButton(c.pnlReSize, "sbFitToCurrBackground");
  {
    auto* grid = new QGridLayout(c.pnlReSize);
    grid->setContentsMargins(20, 0, 0, 0);
    grid->addWidget(c.lblReSizeX, 0, 0);
    grid->addWidget(c.edtReSizeX, 0, 1);
    grid->addWidget(c.lblReSizeY, 0, 2);
    grid->addWidget(c.edtReSizeY, 0, 3);
    grid->addWidget(c.sbFitToCurrBackground, 1, 0, 1, 4, Qt::AlignLeft);
    grid->setColumnStretch(4, 1);
  }
  c.chkMix = NewNamed<QCheckBox>(page, "chkMix");
  Column(page, {c.chkMosaic, c.pnlMosaic, c.chkExposal, c.chkReSize, c.pnlReSize, c.chkMix});
}

namespace {

// The new size of the source picture: by scale, or a width and height
// typed or taken from the presets.
void BuildSourceSize(QWidget* page, TSourcePage& c) {
  c.chkResizeSourceImage = NewNamed<QCheckBox>(page, "chkResizeSourceImage");
  c.pnlResizeSourceImage = NewNamed<QWidget>(page, "pnlResizeSourceImage");
  c.chkResizeSourceImageOfScale = NewNamed<QCheckBox>(c.pnlResizeSourceImage, "chkResizeSourceImageOfScale");
  c.cbxResizeSourceImageOfScale = NewNamed<QComboBox>(c.pnlResizeSourceImage, "cbxResizeSourceImageOfScale");
  c.cbxResizeSourceImageOfScale->setEditable(true);
  c.cbxResizeSourceImageOfScale->setInsertPolicy(QComboBox::NoInsert);
  // Typed digits stay as typed: completing "50" to the item "500" would
  // scale by another number than the one typed.
  c.cbxResizeSourceImageOfScale->setCompleter(nullptr);
  for (const std::string& item : ScaleItems()) c.cbxResizeSourceImageOfScale->addItem(Q(item));
  c.pnlCustomSourceSize = NewNamed<QWidget>(c.pnlResizeSourceImage, "pnlCustomSourceSize");
  c.lblResizeSourceImageSizeX = NewNamed<QLabel>(c.pnlCustomSourceSize, "lblResizeSourceImageSizeX");
  c.edtResizeSourceImageSizeX = NewSpin(c.pnlCustomSourceSize, nfSourceWidth);
  c.lblResizeSourceImageSizeY = NewNamed<QLabel>(c.pnlCustomSourceSize, "lblResizeSourceImageSizeY");
  c.edtResizeSourceImageSizeY = NewSpin(c.pnlCustomSourceSize, nfSourceHeight);
  Row(c.pnlCustomSourceSize,
      {c.lblResizeSourceImageSizeX, c.edtResizeSourceImageSizeX, c.lblResizeSourceImageSizeY,
       c.edtResizeSourceImageSizeY},
      0);
  c.cbxDefaultSize = NewNamed<QComboBox>(c.pnlResizeSourceImage, "cbxDefaultSize");
  for (const std::string& item : DefaultSizeItems()) c.cbxDefaultSize->addItem(Q(item));
  c.cbxDefaultSize->setCurrentIndex(-1);
  auto* v = new QVBoxLayout(c.pnlResizeSourceImage);
  v->setContentsMargins(20, 0, 0, 0);
  auto* h = new QHBoxLayout;
  h->addWidget(c.chkResizeSourceImageOfScale);
  h->addWidget(c.cbxResizeSourceImageOfScale);
  h->addStretch(1);
  v->addLayout(h);
  v->addWidget(c.pnlCustomSourceSize);
  v->addWidget(c.cbxDefaultSize, 0, Qt::AlignLeft);
}

// The background behind the picture: a colour, or a tiled picture.
void BuildSourceBackground(QWidget* page, TSourcePage& c) {
  c.chkEnableSourceImageBackgroupColor = NewNamed<QCheckBox>(page, "chkEnableSourceImageBackgroupColor");
  c.pnlEnableSourceImageBackgroupColor = NewNamed<QWidget>(page, "pnlEnableSourceImageBackgroupColor");
  QWidget* panel = c.pnlEnableSourceImageBackgroupColor;
  c.pnlSourceImageBackgroupColor = NewNamed<TColorSwatch>(panel, "pnlSourceImageBackgroupColor");
  c.pnlSourceImageBackgroupColor->setMinimumWidth(110);
  c.pnlSourceImageBackgroupColor->SetCaptionFollowsColor(true);
  c.chkSourceImageBackgroundImage = NewNamed<QCheckBox>(panel, "chkSourceImageBackgroundImage");
  c.btnSourceImageBackgroundImage = NewButton(panel, "btnSourceImageBackgroundImage");
  auto* grid = new QGridLayout(panel);
  grid->setContentsMargins(20, 0, 0, 0);
  grid->addWidget(c.pnlSourceImageBackgroupColor, 0, 0, 1, 2, Qt::AlignLeft);
  grid->addWidget(c.chkSourceImageBackgroundImage, 1, 0);
  grid->addWidget(c.btnSourceImageBackgroundImage, 1, 1);
  grid->setColumnStretch(2, 1);
}

// The frame around the picture: widths, colour or picture, bevels, style.
void BuildSourceFrame(QWidget* page, TSourcePage& c) {
  c.chkSourceImageFrame = NewNamed<QCheckBox>(page, "chkSourceImageFrame");
  c.pnlSourceImageFrame = NewNamed<QWidget>(page, "pnlSourceImageFrame");
  QWidget* fp = c.pnlSourceImageFrame;
  c.lblSourceImageFrameX = NewNamed<QLabel>(fp, "lblSourceImageFrameX");
  c.edtSourceImageFrameX = NewSpin(fp, nfFrameX);
  c.lblSourceImageFrameY = NewNamed<QLabel>(fp, "lblSourceImageFrameY");
  c.edtSourceImageFrameY = NewSpin(fp, nfFrameY);
  c.pnlSourceImageFrameColor = NewNamed<TColorSwatch>(fp, "pnlSourceImageFrameColor");
  c.pnlSourceImageFrameColor->SetCaptionFollowsColor(true);
  c.chkSourceImageFrameFile = NewNamed<QCheckBox>(fp, "chkSourceImageFrameFile");
  c.btnSourceImageFrameFile = NewButton(fp, "btnSourceImageFrameFile");
  c.lblSourceImageFrameBevelInner = NewNamed<QLabel>(fp, "lblSourceImageFrameBevelInner");
  c.cbxSourceImageFrameBevelInner = NewNamed<QComboBox>(fp, "cbxSourceImageFrameBevelInner");
  c.lblSourceImageFrameBevelOuter = NewNamed<QLabel>(fp, "lblSourceImageFrameBevelOuter");
  c.cbxSourceImageFrameBevelOuter = NewNamed<QComboBox>(fp, "cbxSourceImageFrameBevelOuter");
  c.lblSourceImageFrameBevelWidth = NewNamed<QLabel>(fp, "lblSourceImageFrameBevelWidth");
  c.edtSourceImageFrameBevelWidth = NewSpin(fp, nfBevelWidth);
  c.lblSourceImageFrameStyle = NewNamed<QLabel>(fp, "lblSourceImageFrameStyle");
  c.cbxSourceImageFrameStyle = NewNamed<QComboBox>(fp, "cbxSourceImageFrameStyle");
  c.lblSourceImageFrameColorContrast = NewNamed<QLabel>(fp, "lblSourceImageFrameColorContrast");
  c.edtSourceImageFrameColorContrast = NewSpin(fp, nfContrast);
  // The items' texts come with the language.
  for (int i = 0; i < BevelItemCount; ++i) {
    c.cbxSourceImageFrameBevelInner->addItem(QString());
    c.cbxSourceImageFrameBevelOuter->addItem(QString());
  }
  for (int i = 0; i < FrameStyleItemCount; ++i) c.cbxSourceImageFrameStyle->addItem(QString());
  auto* grid = new QGridLayout(fp);
  grid->setContentsMargins(20, 0, 0, 0);
  grid->addWidget(c.lblSourceImageFrameX, 0, 0);
  grid->addWidget(c.edtSourceImageFrameX, 0, 1);
  grid->addWidget(c.lblSourceImageFrameY, 0, 2);
  grid->addWidget(c.edtSourceImageFrameY, 0, 3);
  grid->addWidget(c.pnlSourceImageFrameColor, 1, 0, 1, 2);
  grid->addWidget(c.chkSourceImageFrameFile, 2, 0, 1, 2);
  grid->addWidget(c.btnSourceImageFrameFile, 2, 2, 1, 2, Qt::AlignLeft);
  grid->addWidget(c.lblSourceImageFrameBevelInner, 3, 0);
  grid->addWidget(c.cbxSourceImageFrameBevelInner, 3, 1);
  grid->addWidget(c.lblSourceImageFrameBevelOuter, 3, 2);
  grid->addWidget(c.cbxSourceImageFrameBevelOuter, 3, 3);
  grid->addWidget(c.lblSourceImageFrameBevelWidth, 4, 0);
  grid->addWidget(c.edtSourceImageFrameBevelWidth, 4, 1);
  grid->addWidget(c.lblSourceImageFrameColorContrast, 4, 2);
  grid->addWidget(c.edtSourceImageFrameColorContrast, 4, 3);
  grid->addWidget(c.lblSourceImageFrameStyle, 5, 0);
  grid->addWidget(c.cbxSourceImageFrameStyle, 5, 1, 1, 3);
  grid->setColumnStretch(4, 1);
}

}  // namespace

void BuildSourcePage(QWidget* page, TSourcePage& c) {
  BuildSourceSize(page, c);
  BuildSourceBackground(page, c);
  BuildSourceFrame(page, c);
  auto* inner = new QWidget;
  const std::initializer_list<QWidget*> parts = {c.chkResizeSourceImage,
                                                 c.pnlResizeSourceImage,
                                                 c.chkEnableSourceImageBackgroupColor,
                                                 c.pnlEnableSourceImageBackgroupColor,
                                                 c.chkSourceImageFrame,
                                                 c.pnlSourceImageFrame};
  for (QWidget* w : parts) w->setParent(inner);
  Column(inner, parts);
  // The frame's controls need more room than the other pages.
  auto* scroll = new QScrollArea(page);
  scroll->setObjectName("sbSourcePage");
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setWidgetResizable(true);
  scroll->setWidget(inner);
  auto* v = new QVBoxLayout(page);
  v->setContentsMargins(0, 0, 0, 0);
  v->addWidget(scroll);
}

void BuildMaskPage(QWidget* page, TMaskPage& c) {
  c.chkUseMask = NewNamed<QCheckBox>(page, "chkUseMask");
  c.pnlUseMask = NewNamed<QWidget>(page, "pnlUseMask");
  c.btnSelectMaskFile = NewButton(c.pnlUseMask, "btnSelectMaskFile");
  c.lblMaskLeft = NewNamed<QLabel>(c.pnlUseMask, "lblMaskLeft");
  c.edtMaskLeft = NewSpin(c.pnlUseMask, nfMaskLeft);
  c.lblMaskTop = NewNamed<QLabel>(c.pnlUseMask, "lblMaskTop");
  c.edtMaskTop = NewSpin(c.pnlUseMask, nfMaskTop);
  c.lblMaskWidth = NewNamed<QLabel>(c.pnlUseMask, "lblMaskWidth");
  c.edtMaskWidth = NewSpin(c.pnlUseMask, nfMaskWidth);
  c.lblMaskHeight = NewNamed<QLabel>(c.pnlUseMask, "lblMaskHeight");
  c.edtMaskHeight = NewSpin(c.pnlUseMask, nfMaskHeight);
  c.btnMaskFitOrigi = NewToolButton(c.pnlUseMask, "btnMaskFitOrigi", QStyle::SP_TitleBarNormalButton);
  c.btnMaskFitBackground = NewToolButton(c.pnlUseMask, "btnMaskFitBackground", QStyle::SP_TitleBarMaxButton);
  c.btnMaskBlur = NewToolButton(c.pnlUseMask, "btnMaskBlur", QStyle::SP_BrowserReload);
  for (QToolButton* b : {c.btnMaskFitOrigi, c.btnMaskFitBackground, c.btnMaskBlur}) {
    b->setToolButtonStyle(Qt::ToolButtonIconOnly);
  }
  c.chkMaskTurn = NewNamed<QCheckBox>(c.pnlUseMask, "chkMaskTurn");
  auto* grid = new QGridLayout(c.pnlUseMask);
  grid->setContentsMargins(20, 0, 0, 0);
  grid->addWidget(c.btnSelectMaskFile, 0, 0, 1, 2, Qt::AlignLeft);
  grid->addWidget(c.lblMaskLeft, 1, 0);
  grid->addWidget(c.edtMaskLeft, 1, 1);
  grid->addWidget(c.lblMaskTop, 1, 2);
  grid->addWidget(c.edtMaskTop, 1, 3);
  grid->addWidget(c.lblMaskWidth, 2, 0);
  grid->addWidget(c.edtMaskWidth, 2, 1);
  grid->addWidget(c.lblMaskHeight, 2, 2);
  grid->addWidget(c.edtMaskHeight, 2, 3);
  auto* tools = new QHBoxLayout;
  tools->addWidget(c.btnMaskFitOrigi);
  tools->addWidget(c.btnMaskFitBackground);
  tools->addWidget(c.btnMaskBlur);
  tools->addStretch(1);
  grid->addLayout(tools, 3, 0, 1, 4);
  grid->addWidget(c.chkMaskTurn, 4, 0, 1, 4);
  grid->setColumnStretch(4, 1);
  Column(page, {c.chkUseMask, c.pnlUseMask});
}

QWidget* BuildSamplePanel(QWidget* form, TSamplePanel& c) {
  auto* sampleSide = NewNamed<QWidget>(form, "pnlSample");
  c.pnlPreview = NewNamed<QWidget>(sampleSide, "pnlPreview");
  c.pnlPreview->setMinimumSize(1, 1);
  c.opGL = NewNamed<TGLPanel>(c.pnlPreview, "opGL");
  c.pbPreview = NewNamed<TPaintBox>(c.opGL, "pbPreview");
  c.pbPreview->setMouseTracking(true);
  c.pbPreview->setCursor(Qt::CrossCursor);
  c.lblPreviewMessage = NewNamed<QLabel>(c.pnlPreview, "lblPreviewMessage");
  c.lblPreviewMessage->setAlignment(Qt::AlignCenter);
  c.lblPreviewMessage->setWordWrap(true);
  c.lblPreviewMessage->hide();
  c.lblPreviewFile = NewNamed<QLabel>(sampleSide, "lblPreviewFile");
  c.edtPreviewFile = NewNamed<QLineEdit>(sampleSide, "edtPreviewFile");
  c.SpeedButton3 = NewButton(sampleSide, "SpeedButton3");
  c.SpeedButton3->setText("...");
  c.sbClear = NewButton(sampleSide, "sbClear");
  c.chkDrag = NewNamed<QCheckBox>(sampleSide, "chkDrag");
  c.lblSaveAs = NewNamed<TLinkLabel>(sampleSide, "lblSaveAs");
  c.lblColor = NewNamed<QLabel>(sampleSide, "lblColor");
  c.lblColor->setMinimumWidth(FormFontMetrics(form).horizontalAdvance(" RGB:255,255,255 ") + 4);
  c.lblLocate = NewNamed<QLabel>(sampleSide, "lblLocate");
  c.lblVer = NewNamed<QLabel>(sampleSide, "lblVer");

  auto* v = new QVBoxLayout(sampleSide);
  v->setContentsMargins(0, 0, 0, 0);
  v->addWidget(c.pnlPreview, 1);
  auto* file = new QHBoxLayout;
  file->addWidget(c.lblPreviewFile);
  file->addWidget(c.edtPreviewFile, 1);
  file->addWidget(c.SpeedButton3);
  file->addWidget(c.sbClear);
  v->addLayout(file);
  auto* commands = new QHBoxLayout;
  commands->addWidget(c.chkDrag);
  commands->addStretch(1);
  commands->addWidget(c.lblSaveAs);
  v->addLayout(commands);
  auto* readouts = new QHBoxLayout;
  readouts->addWidget(c.lblColor);
  readouts->addWidget(c.lblLocate);
  readouts->addStretch(1);
  readouts->addWidget(c.lblVer);
  v->addLayout(readouts);
  return sampleSide;
}
