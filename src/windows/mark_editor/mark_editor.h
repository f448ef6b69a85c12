#pragma once
// The mark editor: the modal window in which a new mark is made or an
// existing one changed and saved as a mark file. It holds one mark set
// with one mark; every option control maps onto a field or flag of that
// mark's record (mark_editor_model.h), and every change re-renders the
// marked sample through the mark set's own drawing, so the preview shows
// exactly what a batch produces.
//
// Open it with TfrmMakeMark::Execute(false, "") for a new mark and
// TfrmMakeMark::Execute(true, name) to edit the mark of that name; the
// result tells whether the mark was saved.

#include <QDialog>

#include <functional>
#include <optional>
#include <string>

#include "core/bitmap.h"
#include "imaging/mark.h"
#include "windows/mark_editor/mark_editor_model.h"
#include "windows/mark_editor/mark_editor_pages.h"

class QButtonGroup;
class QTimer;
class TPaintBox;
class TPosition;

// What the window asks of the desktop and of other windows. Tests replace
// these so that no dialog blocks.
struct TMakeMarkServices {
  // The open dialog for a picture (title, first folder): the file, or
  // nothing when cancelled.
  std::function<std::optional<std::string>(QWidget* owner, const std::string& title, const std::string& folder)>
      ChoosePicture;
  // The save dialog starting with a name: the file, or nothing.
  std::function<std::optional<std::string>(QWidget* owner, const std::string& initialName)> ChooseSaveName;
  std::function<std::optional<TColor>(QWidget* owner, TColor initial)> ChooseColor;
  std::function<std::optional<TMarkFont>(QWidget* owner, const TMarkFont& initial)> ChooseFont;
  std::function<bool(const std::string& program, const std::string& folder)> StartProgram;
  // Views the marked sample (the viewer with one picture); when empty the
  // command is off.
  std::function<void(QWidget* owner, const TBitmap& picture)> ViewPicture;
};

// The form is its parts (mark_editor_pages.h): the tool bar, the mark
// with its four option pages, and the marked sample; their controls are
// the form's, under the names the tests and the language table use.
class TfrmMakeMark : public QDialog,
                     public TMarkToolBar,
                     public TMarkPanel,
                     public TPlacingPage,
                     public TEffectsPage,
                     public TSourcePage,
                     public TMaskPage,
                     public TSamplePanel {
  Q_OBJECT

 public:
  // Shows the window modally; true when the mark was saved.
  static bool Execute(bool editExisting, const std::string& markName);

  static TMakeMarkServices& Services();
  static TMakeMarkServices DefaultServices();

  TfrmMakeMark(bool editExisting, const std::string& markName, QWidget* owner = nullptr);
  ~TfrmMakeMark() override;

  TPosition* Position;

  // ---- Operations ----
  void ApplyLanguage();
  void LoadMark();
  // The record shown in the controls, and the controls as options.
  void MarkToForm(const TMarkInfo& record);
  TMarkOptions FormOptions() const;
  void FormToMark(TMarkInfo& record) const;
  // The check of the number boxes once typing in one has ended, and at
  // OK: a number outside its bounds is set to the nearer one in its box;
  // false at a text that is no number.
  bool ValidateOptions();
  bool ValidateBeforeSave();
  bool SaveMark();
  // Asks for a build and paint of the preview; requests made before the
  // next turn of the event loop are served by one build.
  void RefreshPreview();
  // Serves the pending requests now.
  void ProcessPendingRefresh();
  void BuildMarkImage();
  void BuildPreview();
  void PaintPreview();
  void ShowPixelInfo(TPaintBox* box, int x, int y);
  void PickColorAt(TPaintBox* box, Qt::MouseButton button, int x, int y);

  // ---- State, for the tests ----
  bool Ready() const { return ready_; }
  bool Saved() const { return saved_; }
  int Anchor() const { return position_; }
  const TBitmap& MarkPicture() const { return markPicture_; }
  const TBitmap& Composite() const { return markSet_.Composite; }
  const TBitmap& WorkBitmap() const { return workBitmap_; }
  const TBitmap& ViewBitmap() const { return viewBitmap_; }
  const TMark& MarkSet() const { return markSet_; }
  const TMarkFont& MarkFont() const { return font_; }
  TColor TextBackColor() const { return textBackColor_; }
  bool Dragging() const { return drag_.Active(); }
  // How many previews were built.
  int BuildCount() const { return builds_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateControls();
  void Connect();
  void FormShow();
  void ShowOptions(const TMarkOptions& options);
  void ShowNumbers(const TMarkOptions& options);
  void ApplyFontToMemo();
  void InterpretNumbers();
  QWidget* NumberControl(TNumberField field) const;
  void SetNumber(TNumberField field, long long value);
  void LayoutMarkView();
  bool SampleInUse() const;
  TBitmap LoadPicture(const std::string& fileName, bool quiet);

  // Handlers.
  void tbOKClick();
  void tbSaveClick();
  void tbHelpClick();
  void tbVeilpaintClick();
  void tbBrowseImageClick();
  void lblSaveAsClick();
  void SpeedButton1Click();
  void SpeedButton3Click();
  void sbClearClick();
  void edtPreviewFileChange();
  void rbImageClick();
  void rbTextClick();
  void sbFClick();
  void sbBClick();
  void edtTextChange();
  void chkAutoClick();
  void chkFlagClick();
  void tbClarityChange();
  void chkTilePicClick();
  void PanelBoxClick();
  void chkResizeSourceImageOfScaleClick();
  void cbxDefaultSizeChange(int index);
  void PositionButtonClick(int tag);
  // The colour dialog starting at color; true when one was chosen.
  bool ChooseColor(TColor& color);
  void SwatchClick(TColorSwatch* swatch, bool rebuildMark);
  void ChooseCompanionPicture(TBitmap& picture, std::string& folder, bool mask);
  void btnMaskFitOrigiClick();
  void btnMaskFitBackgroundClick();
  void btnMaskBlurClick();
  void sbFitToCurrBackgroundClick();
  void chkDragClick();
  void pbPreviewMouseDown(Qt::MouseButton button, QPoint pos);
  void pbPreviewMouseMove(Qt::MouseButtons buttons, QPoint pos);
  void pbPreviewMouseUp(Qt::MouseButton button);

  bool editExisting_;
  std::string oldName_;
  bool ready_ = false;
  bool saved_ = false;
  bool shown_ = false;
  int position_ = 0;
  TMark markSet_;
  TBitmap workBitmap_;
  TBitmap markPicture_;    // the mark picture ("imgTemp")
  TBitmap loadedPicture_;  // the picture of a picture mark
  TBitmap viewBitmap_;     // the mark picture as the mark view shows it
  TBitmap sample_;         // the sample picture ("imgPreviewTemp")
  std::string sampleName_;  // the file sample_ was loaded from
  TMarkFont font_;
  TColor textBackColor_ = clWhite;
  TOffsetDrag drag_;
  QButtonGroup* positionGroup_;
  QTimer* refreshTimer_;
  bool markImagePending_ = false;
  bool previewPending_ = false;
  int builds_ = 0;
};
