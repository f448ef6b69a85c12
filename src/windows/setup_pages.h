#pragma once
// The settings window's controls, page by page. Each struct holds the
// widgets of one page (and the radio groups whose ids are the stored
// values) and its builder makes them, named as the language table and the
// tests know them, and lays them out; the form derives from all of them
// and keeps the wiring, loading and saving.
//
// The builders run in the order of the pages: the order widgets are made
// in is the order the Tab key walks them. Radio groups belong to the
// form (groupOwner), so that they live as long as it does.

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QObject;
class QPushButton;
class QRadioButton;
class QSlider;
class QTabWidget;
class QWidget;
class TDelaySpinEdit;

// The pages and the window's two buttons.
struct TSetupFrame {
  QTabWidget* pcMain;
  QWidget* tsGeneral;
  QWidget* tsJPG;
  QWidget* tsGIF;
  QWidget* tsBMP;
  QWidget* tsViewer;
  QWidget* tsSlideShow;
  QPushButton* btnOK;
  QPushButton* btnExit;
};

struct TSetupGeneralPage {
  QGroupBox* rgOutFileFormat;
  QRadioButton* rbOutputDefault;
  QRadioButton* rbOutputJpg;
  QRadioButton* rbOutputGif;
  QRadioButton* rbOutputBmp;
  QRadioButton* rbOutputPng;
  QRadioButton* rbOutputPcx;
  QRadioButton* rbOutputTga;
  QLabel* lblFileFilter;
  QComboBox* edtFilter;
  QLabel* lblExt1;
  QLabel* lblExt2;
  QLabel* lblExt3;
  QCheckBox* chkAutoLocateOldPath;
  QCheckBox* chkEnabledShellnook;
  QPushButton* btnShowMouse;
  // Id = the stored output type.
  QButtonGroup* OutputGroup;
};

struct TSetupJpgPage {
  QCheckBox* chkKeepJpgCompress;
  QSlider* tbJpgCompress;
  QLabel* lblJpgCompress;
};

struct TSetupGifPage {
  QCheckBox* chkDither;
  QGroupBox* gbDither;
  QRadioButton* rbDither[7];
  QCheckBox* chkPalette;
  QGroupBox* gbPalette;
  QRadioButton* rbPalette[8];
  QGroupBox* gbCompress;
  QRadioButton* rbLZW;
  QRadioButton* rbRLE;
  QCheckBox* chkOnlyAddFirst;
  QCheckBox* chkDisableAnimate;
  // Ids = the stored dither, palette and compression codes.
  QButtonGroup* DitherGroup;
  QButtonGroup* PaletteGroup;
  QButtonGroup* CompressGroup;
};

struct TSetupBmpPage {
  QCheckBox* chkKeepSourceFileColor;
  QGroupBox* gbBmpColorSetup;
  QComboBox* cbxBmpColorSetup;
};

struct TSetupViewerPage {
  QCheckBox* chkHideMainAtViewImage;
  QGroupBox* gbAutoSize;
  QCheckBox* chkShrinkFit;
  QCheckBox* chkZoomFit;
  QGroupBox* gbWindowAttributes;
  QCheckBox* chkAlwaysTop;
  QCheckBox* chkFullScreen;
  QCheckBox* chkHideMouse;
  QGroupBox* gbBackground;
  QRadioButton* rbSolidColor;
  QRadioButton* rbTiledImage;
  QLabel* pnlSolidColor;
  QPushButton* btnSolidColor;
  QLineEdit* edtTiledImage;
  QPushButton* btnTiledImage;
  QGroupBox* gbShowHide;
  QCheckBox* chkShowToolbar;
  QCheckBox* chkShowFullPath;
  // Id 0 solid colour, 1 tiled picture.
  QButtonGroup* BackgroundGroup;
};

struct TSetupSlideShowPage {
  QGroupBox* gbSequence;
  QRadioButton* rbForward;
  QRadioButton* rbReverse;
  QRadioButton* rbRandom;
  QGroupBox* gbDelay;
  QSlider* tbDelay;
  QLabel* lblDelay;
  TDelaySpinEdit* edtDelay;
  QLabel* lblMilliseconds;
  // Id = the stored slideshow order.
  QButtonGroup* SequenceGroup;
};

// The page control with its six empty pages, OK and Exit.
void BuildSetupFrame(QWidget* form, TSetupFrame& c);
void BuildGeneralPage(QWidget* page, QObject* groupOwner, TSetupGeneralPage& c);
void BuildJpgPage(QWidget* page, TSetupJpgPage& c);
void BuildGifPage(QWidget* page, QObject* groupOwner, TSetupGifPage& c);
void BuildBmpPage(QWidget* page, TSetupBmpPage& c);
void BuildViewerPage(QWidget* page, QObject* groupOwner, TSetupViewerPage& c);
void BuildSlideShowPage(QWidget* page, QObject* groupOwner, TSetupSlideShowPage& c);
