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
#include "windows/setup_pages.h"

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

// The form is its six pages (setup_pages.h); their controls are the
// form's, under the names the tests and the language table use.
class TfrmSetup : public QDialog,
                  public TSetupFrame,
                  public TSetupGeneralPage,
                  public TSetupJpgPage,
                  public TSetupGifPage,
                  public TSetupBmpPage,
                  public TSetupViewerPage,
                  public TSetupSlideShowPage {
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

  int StartPage = pgGeneral;
  TColor solidColor_ = 0;
  bool shown_ = false;
  bool accepted_ = false;
};
