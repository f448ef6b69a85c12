#include "windows/setup_pages.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <QVBoxLayout>

#include <initializer_list>
#include <string>
#include <utility>

#include "app/routines.h"
#include "app/settings.h"
#include "windows/form_support.h"
#include "windows/setup.h"
#include "windows/setup_logic.h"

namespace {

QPushButton* NewButton(QWidget* parent, const char* name) {
  auto* b = NewNamed<QPushButton>(parent, name);
  b->setAutoDefault(false);
  return b;
}

// Radio buttons named prefix0, prefix1, ... in a group box, two to a row;
// a button's id is its index.
void RadioGrid(QGroupBox* box, QButtonGroup* group, const char* prefix, QRadioButton** buttons, int count) {
  auto* grid = new QGridLayout(box);
  for (int i = 0; i < count; ++i) {
    buttons[i] = NewNamed<QRadioButton>(box, QString("%1%2").arg(prefix).arg(i));
    group->addButton(buttons[i], i);
    grid->addWidget(buttons[i], i / 2, i % 2);
  }
  buttons[0]->setChecked(true);
}

}  // namespace

void BuildSetupFrame(QWidget* form, TSetupFrame& c) {
  c.pcMain = new QTabWidget(form);
  c.pcMain->setObjectName("pcMain");
  auto newPage = [&c](const char* name) {
    auto* page = new QWidget(c.pcMain);
    page->setObjectName(name);
    c.pcMain->addTab(page, QString());
    return page;
  };
  c.tsGeneral = newPage("tsGeneral");
  c.tsJPG = newPage("tsJPG");
  c.tsGIF = newPage("tsGIF");
  c.tsBMP = newPage("tsBMP");
  c.tsViewer = newPage("tsViewer");
  c.tsSlideShow = newPage("tsSlideShow");

  c.btnOK = new QPushButton(form);
  c.btnOK->setObjectName("btnOK");
  c.btnOK->setDefault(true);
  c.btnExit = NewButton(form, "btnExit");
}

void BuildGeneralPage(QWidget* page, QObject* groupOwner, TSetupGeneralPage& c) {
  c.rgOutFileFormat = NewNamed<QGroupBox>(page, "rgOutFileFormat");
  c.OutputGroup = new QButtonGroup(groupOwner);
  c.rbOutputDefault = NewNamed<QRadioButton>(c.rgOutFileFormat, "rbOutputDefault");
  c.rbOutputJpg = NewNamed<QRadioButton>(c.rgOutFileFormat, "rbOutputJpg");
  c.rbOutputGif = NewNamed<QRadioButton>(c.rgOutFileFormat, "rbOutputGif");
  c.rbOutputBmp = NewNamed<QRadioButton>(c.rgOutFileFormat, "rbOutputBmp");
  c.rbOutputPng = NewNamed<QRadioButton>(c.rgOutFileFormat, "rbOutputPng");
  c.rbOutputPcx = NewNamed<QRadioButton>(c.rgOutFileFormat, "rbOutputPcx");
  c.rbOutputTga = NewNamed<QRadioButton>(c.rgOutFileFormat, "rbOutputTga");
  {
    // A button's id is the output type it stands for, the number stored.
    const std::pair<QRadioButton*, TOutputType> choices[] = {
        {c.rbOutputDefault, otSameAsSource}, {c.rbOutputJpg, otJpeg}, {c.rbOutputGif, otGif},
        {c.rbOutputBmp, otBmp},              {c.rbOutputPng, otPng},  {c.rbOutputPcx, otPcx},
        {c.rbOutputTga, otTarga}};
    auto* grid = new QGridLayout(c.rgOutFileFormat);
    int place = 0;
    for (const auto& [button, type] : choices) {
      c.OutputGroup->addButton(button, type);
      grid->addWidget(button, place / 4, place % 4);
      ++place;
    }
  }
  c.rbOutputDefault->setChecked(true);

  c.lblFileFilter = NewNamed<QLabel>(page, "lblFileFilter");
  c.edtFilter = new QComboBox(page);
  c.edtFilter->setObjectName("edtFilter");
  c.edtFilter->setEditable(true);
  c.edtFilter->setInsertPolicy(QComboBox::NoInsert);
  // The list holds the whole default filter: completing typed text to it
  // would store every pattern instead of what was typed.
  c.edtFilter->setCompleter(nullptr);
  c.edtFilter->addItem(DefaultImageFilter);
  c.edtFilter->setMinimumContentsLength(30);
  c.edtFilter->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  c.lblExt1 = NewNamed<QLabel>(page, "lblExt1");
  c.lblExt2 = NewNamed<QLabel>(page, "lblExt2");
  c.lblExt3 = NewNamed<QLabel>(page, "lblExt3");
  c.chkAutoLocateOldPath = NewNamed<QCheckBox>(page, "chkAutoLocateOldPath");
  c.chkEnabledShellnook = NewNamed<QCheckBox>(page, "chkEnabledShellnook");
  c.btnShowMouse = NewButton(page, "btnShowMouse");

  auto* v = new QVBoxLayout(page);
  v->addWidget(c.rgOutFileFormat);
  v->addWidget(c.lblFileFilter);
  v->addWidget(c.edtFilter);
  auto* ext = new QHBoxLayout;
  for (QLabel* l : {c.lblExt1, c.lblExt2, c.lblExt3}) ext->addWidget(l);
  ext->addStretch(1);
  v->addLayout(ext);
  v->addWidget(c.chkAutoLocateOldPath);
  v->addWidget(c.chkEnabledShellnook);
  auto* h = new QHBoxLayout;
  h->addWidget(c.btnShowMouse);
  h->addStretch(1);
  v->addLayout(h);
  v->addStretch(1);
}

void BuildJpgPage(QWidget* page, TSetupJpgPage& c) {
  c.chkKeepJpgCompress = NewNamed<QCheckBox>(page, "chkKeepJpgCompress");
  c.tbJpgCompress = new QSlider(Qt::Horizontal, page);
  c.tbJpgCompress->setObjectName("tbJpgCompress");
  // Quality 0 would make every JPEG output fail; the scale starts at 1.
  c.tbJpgCompress->setRange(MinJpgQuality, MaxJpgQuality);
  c.tbJpgCompress->setValue(MaxJpgQuality);
  c.tbJpgCompress->setTickInterval(10);
  c.tbJpgCompress->setTickPosition(QSlider::TicksBelow);
  c.tbJpgCompress->setPageStep(10);
  c.lblJpgCompress = NewNamed<QLabel>(page, "lblJpgCompress");
  c.lblJpgCompress->setMinimumWidth(FormFontMetrics(page).horizontalAdvance("100%") + 8);

  auto* v = new QVBoxLayout(page);
  v->addWidget(c.chkKeepJpgCompress);
  auto* h = new QHBoxLayout;
  h->addWidget(c.tbJpgCompress, 1);
  h->addWidget(c.lblJpgCompress);
  v->addLayout(h);
  v->addStretch(1);
}

void BuildGifPage(QWidget* page, QObject* groupOwner, TSetupGifPage& c) {
  c.chkDither = NewNamed<QCheckBox>(page, "chkDither");
  c.gbDither = NewNamed<QGroupBox>(page, "gbDither");
  c.DitherGroup = new QButtonGroup(groupOwner);
  RadioGrid(c.gbDither, c.DitherGroup, "rbDither", c.rbDither, 7);
  c.chkPalette = NewNamed<QCheckBox>(page, "chkPalette");
  c.gbPalette = NewNamed<QGroupBox>(page, "gbPalette");
  c.PaletteGroup = new QButtonGroup(groupOwner);
  RadioGrid(c.gbPalette, c.PaletteGroup, "rbPalette", c.rbPalette, 8);

  c.gbCompress = NewNamed<QGroupBox>(page, "gbCompress");
  c.CompressGroup = new QButtonGroup(groupOwner);
  c.rbLZW = NewNamed<QRadioButton>(c.gbCompress, "rbLZW");
  c.rbRLE = NewNamed<QRadioButton>(c.gbCompress, "rbRLE");
  c.rbLZW->setText("LZW");
  c.rbRLE->setText("RLE");
  c.CompressGroup->addButton(c.rbLZW, 0);
  c.CompressGroup->addButton(c.rbRLE, 1);
  c.rbLZW->setChecked(true);
  {
    auto* h = new QHBoxLayout(c.gbCompress);
    h->addWidget(c.rbLZW);
    h->addWidget(c.rbRLE);
    h->addStretch(1);
  }
  c.chkOnlyAddFirst = NewNamed<QCheckBox>(page, "chkOnlyAddFirst");
  c.chkDisableAnimate = NewNamed<QCheckBox>(page, "chkDisableAnimate");

  auto* v = new QVBoxLayout(page);
  for (QWidget* w : std::initializer_list<QWidget*>{c.chkDither, c.gbDither, c.chkPalette, c.gbPalette, c.gbCompress,
                                                    c.chkOnlyAddFirst, c.chkDisableAnimate}) {
    v->addWidget(w);
  }
  v->addStretch(1);
}

void BuildBmpPage(QWidget* page, TSetupBmpPage& c) {
  c.chkKeepSourceFileColor = NewNamed<QCheckBox>(page, "chkKeepSourceFileColor");
  c.gbBmpColorSetup = NewNamed<QGroupBox>(page, "gbBmpColorSetup");
  c.cbxBmpColorSetup = new QComboBox(c.gbBmpColorSetup);
  c.cbxBmpColorSetup->setObjectName("cbxBmpColorSetup");
  for (const std::string& item : BmpColorSetupItems()) c.cbxBmpColorSetup->addItem(QString::fromStdString(item));
  c.cbxBmpColorSetup->setCurrentIndex(1);

  auto* h = new QHBoxLayout(c.gbBmpColorSetup);
  h->addWidget(c.cbxBmpColorSetup, 1);
  auto* v = new QVBoxLayout(page);
  v->addWidget(c.chkKeepSourceFileColor);
  v->addWidget(c.gbBmpColorSetup);
  v->addStretch(1);
}

namespace {

// The viewer's background: a solid colour or a tiled picture.
void BuildViewerBackground(QWidget* page, QObject* groupOwner, TSetupViewerPage& c) {
  c.gbBackground = NewNamed<QGroupBox>(page, "gbBackground");
  c.BackgroundGroup = new QButtonGroup(groupOwner);
  c.rbSolidColor = NewNamed<QRadioButton>(c.gbBackground, "rbSolidColor");
  c.rbTiledImage = NewNamed<QRadioButton>(c.gbBackground, "rbTiledImage");
  c.BackgroundGroup->addButton(c.rbSolidColor, 0);
  c.BackgroundGroup->addButton(c.rbTiledImage, 1);
  c.rbSolidColor->setChecked(true);
  c.pnlSolidColor = NewNamed<QLabel>(c.gbBackground, "pnlSolidColor");
  c.pnlSolidColor->setFrameShape(QFrame::Panel);
  c.pnlSolidColor->setFrameShadow(QFrame::Sunken);
  c.pnlSolidColor->setAutoFillBackground(true);
  c.pnlSolidColor->setMinimumSize(60, 21);
  c.btnSolidColor = NewButton(c.gbBackground, "btnSolidColor");
  c.btnSolidColor->setText("...");
  c.edtTiledImage = new QLineEdit(c.gbBackground);
  c.edtTiledImage->setObjectName("edtTiledImage");
  c.btnTiledImage = NewButton(c.gbBackground, "btnTiledImage");
  c.btnTiledImage->setText("...");
  for (QPushButton* b : {c.btnSolidColor, c.btnTiledImage}) {
    b->setMaximumWidth(FormFontMetrics(page).horizontalAdvance("....") + 16);
  }
  auto* grid = new QGridLayout(c.gbBackground);
  grid->addWidget(c.rbSolidColor, 0, 0);
  grid->addWidget(c.pnlSolidColor, 0, 1);
  grid->addWidget(c.btnSolidColor, 0, 2);
  grid->addWidget(c.rbTiledImage, 1, 0);
  grid->addWidget(c.edtTiledImage, 1, 1);
  grid->addWidget(c.btnTiledImage, 1, 2);
  grid->setColumnStretch(1, 1);
}

// A group box of check boxes one under the other.
QGroupBox* CheckGroup(QWidget* page, const char* name, std::initializer_list<std::pair<QCheckBox**, const char*>> boxes) {
  auto* group = NewNamed<QGroupBox>(page, name);
  for (const auto& [box, boxName] : boxes) *box = NewNamed<QCheckBox>(group, boxName);
  auto* v = new QVBoxLayout(group);
  for (const auto& box : boxes) v->addWidget(*box.first);
  return group;
}

}  // namespace

void BuildViewerPage(QWidget* page, QObject* groupOwner, TSetupViewerPage& c) {
  c.chkHideMainAtViewImage = NewNamed<QCheckBox>(page, "chkHideMainAtViewImage");
  c.gbAutoSize = CheckGroup(page, "gbAutoSize", {{&c.chkShrinkFit, "chkShrinkFit"}, {&c.chkZoomFit, "chkZoomFit"}});
  c.gbWindowAttributes = CheckGroup(
      page, "gbWindowAttributes",
      {{&c.chkAlwaysTop, "chkAlwaysTop"}, {&c.chkFullScreen, "chkFullScreen"}, {&c.chkHideMouse, "chkHideMouse"}});
  BuildViewerBackground(page, groupOwner, c);
  c.gbShowHide =
      CheckGroup(page, "gbShowHide", {{&c.chkShowToolbar, "chkShowToolbar"}, {&c.chkShowFullPath, "chkShowFullPath"}});

  auto* grid = new QGridLayout(page);
  grid->addWidget(c.chkHideMainAtViewImage, 0, 0, 1, 2);
  grid->addWidget(c.gbAutoSize, 1, 0);
  grid->addWidget(c.gbWindowAttributes, 1, 1);
  grid->addWidget(c.gbBackground, 2, 0, 1, 2);
  grid->addWidget(c.gbShowHide, 3, 0, 1, 2);
  grid->setRowStretch(4, 1);
}

void BuildSlideShowPage(QWidget* page, QObject* groupOwner, TSetupSlideShowPage& c) {
  c.gbSequence = NewNamed<QGroupBox>(page, "gbSequence");
  c.SequenceGroup = new QButtonGroup(groupOwner);
  c.rbForward = NewNamed<QRadioButton>(c.gbSequence, "rbForward");
  c.rbReverse = NewNamed<QRadioButton>(c.gbSequence, "rbReverse");
  c.rbRandom = NewNamed<QRadioButton>(c.gbSequence, "rbRandom");
  c.SequenceGroup->addButton(c.rbForward, 0);
  c.SequenceGroup->addButton(c.rbReverse, 1);
  c.SequenceGroup->addButton(c.rbRandom, 2);
  c.rbForward->setChecked(true);
  {
    auto* h = new QHBoxLayout(c.gbSequence);
    h->addWidget(c.rbForward);
    h->addWidget(c.rbReverse);
    h->addWidget(c.rbRandom);
    h->addStretch(1);
  }

  c.gbDelay = NewNamed<QGroupBox>(page, "gbDelay");
  c.tbDelay = new QSlider(Qt::Horizontal, c.gbDelay);
  c.tbDelay->setObjectName("tbDelay");
  c.tbDelay->setRange(0, DelayRowCount - 1);
  c.tbDelay->setSingleStep(1);
  c.tbDelay->setPageStep(1);
  c.tbDelay->setTickInterval(1);
  c.tbDelay->setTickPosition(QSlider::TicksBelow);
  c.lblDelay = NewNamed<QLabel>(c.gbDelay, "lblDelay");
  c.edtDelay = new TDelaySpinEdit(c.gbDelay);
  c.edtDelay->setObjectName("edtDelay");
  c.edtDelay->setMinimumWidth(FormFontMetrics(page).horizontalAdvance("8640000000") + 32);
  c.lblMilliseconds = NewNamed<QLabel>(c.gbDelay, "lblMilliseconds");
  auto* grid = new QGridLayout(c.gbDelay);
  grid->addWidget(c.tbDelay, 0, 0, 1, 3);
  grid->addWidget(c.lblDelay, 1, 0, 1, 3, Qt::AlignHCenter);
  grid->addWidget(c.edtDelay, 2, 0);
  grid->addWidget(c.lblMilliseconds, 2, 1);
  grid->setColumnStretch(2, 1);

  auto* v = new QVBoxLayout(page);
  v->addWidget(c.gbSequence);
  v->addWidget(c.gbDelay);
  v->addStretch(1);
}
