#pragma once
// The settings window: every user setting on six pages (general, JPEG,
// GIF, BMP, viewer, slideshow). OK stores the settings in "config.inf" and
// registers or removes the file-manager action; Exit changes nothing.
//
// Open it with TfrmSetup::Execute(page): the main window passes
// TfrmSetup::pgGeneral (0), the viewer's options command
// TfrmSetup::pgViewer (4).

#include <QDialog>
#include <QSpinBox>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/types.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QTabWidget;
class QWidget;
class TPosition;

// The spin edit of the slideshow delay. Any run of digits (with a leading
// "-") may be typed; the value is the typed number clamped to
// 0..MaxSlideDelay, and a text that is no number ("", "-") stands for 0.
class TDelaySpinEdit : public QSpinBox {
  Q_OBJECT

 public:
  explicit TDelaySpinEdit(QWidget* parent = nullptr);

 protected:
  QValidator::State validate(QString& input, int& pos) const override;
  int valueFromText(const QString& text) const override;
  void fixup(QString& input) const override;
};

// What the window asks of the desktop. Tests replace these so that no
// dialog blocks and nothing outside the test's folder changes.
struct TSetupServices {
  // The colour dialog: the chosen colour, or nothing when cancelled.
  std::function<std::optional<TColor>(QWidget* owner, TColor initial)> ChooseColor;
  // The open dialog for the tiled background: the chosen file, or nothing.
  std::function<std::optional<std::string>(QWidget* owner, const std::string& initial)> ChooseTiledImage;
  std::function<bool()> RegisterShellnook;
  std::function<bool()> UnregisterShellnook;
};

class TfrmSetup : public QDialog {
  Q_OBJECT

 public:
  enum TPage { pgGeneral = 0, pgJPG, pgGIF, pgBMP, pgViewer, pgSlideShow };

  // Shows the window modally on the page startPage (0..5; anything else
  // opens the first page). True when it was closed with OK.
  static bool Execute(int startPage);

  // The services every new window uses; the default ones show Qt's
  // dialogs and call the shared file-manager routines.
  static TSetupServices& Services();
  static TSetupServices DefaultServices();

  explicit TfrmSetup(QWidget* owner = nullptr);

  void SetStartPage(int page) { StartPage = page; }

  // Every control takes its setting's value.
  void LoadSettings();
  // Every setting takes its control's value; then the file-manager action
  // is registered or removed as the switch says.
  void SaveSettings();
  void ApplyLanguage();
  bool ValidateSettings() const { return true; }
  bool Accepted() const { return accepted_; }

  QTabWidget* pcMain;
  QWidget* tsGeneral;
  QWidget* tsJPG;
  QWidget* tsGIF;
  QWidget* tsBMP;
  QWidget* tsViewer;
  QWidget* tsSlideShow;
  QPushButton* btnOK;
  QPushButton* btnExit;

  // General
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

  // JPG
  QCheckBox* chkKeepJpgCompress;
  QSlider* tbJpgCompress;
  QLabel* lblJpgCompress;

  // GIF
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

  // BMP
  QCheckBox* chkKeepSourceFileColor;
  QGroupBox* gbBmpColorSetup;
  QComboBox* cbxBmpColorSetup;

  // Viewer
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

  // SlideShow
  QGroupBox* gbSequence;
  QRadioButton* rbForward;
  QRadioButton* rbReverse;
  QRadioButton* rbRandom;
  QGroupBox* gbDelay;
  QSlider* tbDelay;
  QLabel* lblDelay;
  TDelaySpinEdit* edtDelay;
  QLabel* lblMilliseconds;

  TPosition* Position;

  // The colour the panel shows (and OK stores).
  TColor SolidColor() const { return solidColor_; }
  void SetSolidColor(TColor color);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FormShow();
  // The window as tall as the page shown needs, whatever the other pages
  // need.
  void FitHeightToPage();
  void chkKeepJpgCompressClick();
  void tbJpgCompressChange();
  void chkDitherClick();
  void chkPaletteClick();
  void chkKeepSourceFileColorClick();
  void btnShowMouseClick();
  void btnSolidColorClick();
  void btnTiledImageClick();
  void tbDelayChange();
  void edtDelayChange();
  void btnOKClick();

  QButtonGroup* outputGroup_;
  QButtonGroup* ditherGroup_;
  QButtonGroup* paletteGroup_;
  QButtonGroup* compressGroup_;
  QButtonGroup* backgroundGroup_;
  QButtonGroup* sequenceGroup_;

  int StartPage = pgGeneral;
  TColor solidColor_ = 0;
  bool shown_ = false;
  bool accepted_ = false;
};
