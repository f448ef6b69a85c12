#pragma once
// The mark editor's controls, part by part. Each struct holds the widgets
// of one part of the window and its builder makes them (each named as the
// language table and the tests know it) and lays them out; the form
// derives from all of them, so it reads as the window looks and keeps
// nothing but wiring and handlers.
//
// The builders run in the order the window is put together (tool bar,
// the mark, the four option pages, the sample, the position buttons): the
// order widgets are made in is the order the Tab key walks them.

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QRadioButton;
class QScrollArea;
class QSlider;
class QSpinBox;
class QTabWidget;
class QToolButton;
class QWidget;
class TColorSwatch;
class TGLPanel;
class TLinkLabel;
class TPaintBox;

// OK, Save, Help, Close, the mask editor and the viewer of the sample.
struct TMarkToolBar {
  QToolButton* tbOK;
  QToolButton* tbSave;
  QToolButton* tbHelp;
  QToolButton* tbExit;
  QToolButton* tbVeilpaint;
  QToolButton* tbBrowseImage;
};

// The mark itself: its name and kind, the picture file or the text, the
// view of the mark picture, and the page control the options go on.
struct TMarkPanel {
  QLabel* lblmarkName;
  QLineEdit* edtName;
  QRadioButton* rbImage;
  QRadioButton* rbText;
  QWidget* pnlImage;
  QLabel* lblPicFile;
  QLineEdit* edtImageFile;
  QToolButton* SpeedButton1;
  QWidget* pnlText;
  QLabel* lblText1;
  QPlainTextEdit* edtText;
  QToolButton* sbF;
  QToolButton* sbB;
  QFrame* pnlFrame;
  QScrollArea* ScrollBox1;
  TPaintBox* pbView;

  QTabWidget* pcOptions;
  QWidget* TabSheet1;
  QWidget* TabSheet2;
  QWidget* TabSheet3;
  QWidget* TabSheet4;
};

// Page 1: where the mark goes and how it blends.
struct TPlacingPage {
  QGroupBox* gbLocate;
  QToolButton* PositionButtons[9];
  QLabel* lblExcursionX;
  QSpinBox* edtXEX;
  QLabel* lblExcursionY;
  QSpinBox* edtYEX;
  QCheckBox* chkFlag;
  TColorSwatch* pnlColor;
  QLabel* lblEclosion;
  QSpinBox* edtEclosion;
  QLabel* lblRotate;
  QSpinBox* edtRotate;
  TColorSwatch* pnlRotateBackColor;
  QLabel* lblClarity;
  QSlider* tbClarity;
  QLabel* lblClartiyPer;
  QCheckBox* chkAuto;
  QCheckBox* chkTilePic;
};

// Page 2: the effects on the mark.
struct TEffectsPage {
  QCheckBox* chkMosaic;
  QWidget* pnlMosaic;
  QLabel* lblMosaicX;
  QSpinBox* edtMosaicX;
  QLabel* lblMosaicY;
  QSpinBox* edtMosaicY;
  QCheckBox* chkExposal;
  QCheckBox* chkReSize;
  QWidget* pnlReSize;
  QLabel* lblReSizeX;
  QSpinBox* edtReSizeX;
  QLabel* lblReSizeY;
  QSpinBox* edtReSizeY;
  QToolButton* sbFitToCurrBackground;
  QCheckBox* chkMix;
};

// Page 3: the picture the mark is made of, its size, background and
// frame.
struct TSourcePage {
  QCheckBox* chkResizeSourceImage;
  QWidget* pnlResizeSourceImage;
  QCheckBox* chkResizeSourceImageOfScale;
  QComboBox* cbxResizeSourceImageOfScale;
  QWidget* pnlCustomSourceSize;
  QLabel* lblResizeSourceImageSizeX;
  QSpinBox* edtResizeSourceImageSizeX;
  QLabel* lblResizeSourceImageSizeY;
  QSpinBox* edtResizeSourceImageSizeY;
  QComboBox* cbxDefaultSize;
  QCheckBox* chkEnableSourceImageBackgroupColor;
  QWidget* pnlEnableSourceImageBackgroupColor;
  TColorSwatch* pnlSourceImageBackgroupColor;
  QCheckBox* chkSourceImageBackgroundImage;
  QToolButton* btnSourceImageBackgroundImage;
  QCheckBox* chkSourceImageFrame;
  QWidget* pnlSourceImageFrame;
  QLabel* lblSourceImageFrameX;
  QSpinBox* edtSourceImageFrameX;
  QLabel* lblSourceImageFrameY;
  QSpinBox* edtSourceImageFrameY;
  TColorSwatch* pnlSourceImageFrameColor;
  QCheckBox* chkSourceImageFrameFile;
  QToolButton* btnSourceImageFrameFile;
  QLabel* lblSourceImageFrameBevelInner;
  QComboBox* cbxSourceImageFrameBevelInner;
  QLabel* lblSourceImageFrameBevelOuter;
  QComboBox* cbxSourceImageFrameBevelOuter;
  QLabel* lblSourceImageFrameBevelWidth;
  QSpinBox* edtSourceImageFrameBevelWidth;
  QLabel* lblSourceImageFrameStyle;
  QComboBox* cbxSourceImageFrameStyle;
  QLabel* lblSourceImageFrameColorContrast;
  QSpinBox* edtSourceImageFrameColorContrast;
};

// Page 4: the mask the mark is blended through.
struct TMaskPage {
  QCheckBox* chkUseMask;
  QWidget* pnlUseMask;
  QToolButton* btnSelectMaskFile;
  QLabel* lblMaskLeft;
  QSpinBox* edtMaskLeft;
  QLabel* lblMaskTop;
  QSpinBox* edtMaskTop;
  QLabel* lblMaskWidth;
  QSpinBox* edtMaskWidth;
  QLabel* lblMaskHeight;
  QSpinBox* edtMaskHeight;
  QToolButton* btnMaskFitOrigi;
  QToolButton* btnMaskFitBackground;
  QToolButton* btnMaskBlur;
  QCheckBox* chkMaskTurn;
};

// The marked sample, its file and the read-outs under it.
struct TSamplePanel {
  QWidget* pnlPreview;
  TGLPanel* opGL;
  TPaintBox* pbPreview;
  QLabel* lblPreviewMessage;
  QLabel* lblPreviewFile;
  QLineEdit* edtPreviewFile;
  QToolButton* SpeedButton3;
  QToolButton* sbClear;
  QCheckBox* chkDrag;
  TLinkLabel* lblSaveAs;
  QLabel* lblColor;
  QLabel* lblLocate;
  QLabel* lblVer;
};

// Each gives the widget that holds its part; the pages are filled in
// place.
QWidget* BuildMarkToolBar(QWidget* form, TMarkToolBar& c);
QWidget* BuildMarkPanel(QWidget* form, TMarkPanel& c);
void BuildPlacingPage(QWidget* page, TPlacingPage& c);
void BuildEffectsPage(QWidget* page, TEffectsPage& c);
void BuildSourcePage(QWidget* page, TSourcePage& c);
void BuildMaskPage(QWidget* page, TMaskPage& c);
QWidget* BuildSamplePanel(QWidget* form, TSamplePanel& c);
// The nine position buttons in the place box, in one exclusive group
// owned by groupOwner; a button's id is its anchor.
QButtonGroup* BuildPositionButtons(QWidget* groupOwner, TPlacingPage& c);
