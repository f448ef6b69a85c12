#pragma once
// The main window: the folder tree and the file list to browse pictures,
// the conversion list, the mark list and the layer list, the marked
// preview, and the commands for marks, the batch run, the view, skins,
// languages and help. The rules that need no widget live in
// main_models.h; this form keeps its widgets in step with them.

#include <QMainWindow>
#include <QTreeView>
#include <QTreeWidget>
#include <QWidget>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/strings.h"
#include "windows/main_models.h"

class QAction;
class QActionGroup;
class QFileSystemModel;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QProgressBar;
class QScrollBar;
class QSplitter;
class QStatusBar;
class QToolBar;
class QToolButton;
class TFileFinder;
class TGLPanel;
class TPosition;
class TShellListModel;
class TShellTreeView;
class TfrmMain;

// The address the Help menu and the picture link open.
extern const char* const HomePageAddress;
// The version shown after the product name in the title.
extern const char* const ProgramVersion;
// The mask editor started from the program folder.
extern const char* const MaskEditorName;

// What the window asks of the desktop and of other windows. Tests replace
// these so that no dialog blocks and nothing outside their folder changes.
struct TMainServices {
  // The overwrite question (batch, mark import and export): an answer
  // oaNo .. oaAllNo.
  std::function<int(const std::string& text)> QueryOverwrite;
  // Shows the batch log.
  std::function<void(const TStringList& lines)> ShowLog;
  // The folder picker starting at path; true with path set on OK.
  std::function<bool(std::string& path)> SelectFolder;
  // The open dialog for mark files to import (empty when cancelled).
  std::function<std::vector<std::string>(QWidget* owner)> ChooseMarkFiles;
  // The save dialog of the preview (nothing when cancelled).
  std::function<std::optional<std::string>(QWidget* owner)> ChoosePreviewSaveName;
  // The settings window on a page; true when closed with OK.
  std::function<bool(int page)> ExecuteSetup;
  // Starts a program in a folder without waiting for it.
  std::function<bool(const std::string& program, const std::string& folder)> StartProgram;
};

// The paint box of the preview.
class TPreviewBox : public QWidget {
  Q_OBJECT

 public:
  explicit TPreviewBox(TfrmMain* form, QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  TfrmMain* form_;
};

// The conversion list: takes drags from the file list and files dropped
// from outside.
class TConvFileList : public QTreeWidget {
  Q_OBJECT

 public:
  explicit TConvFileList(TfrmMain* form, QWidget* parent);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  bool Accepts(const QDropEvent* event) const;
  TfrmMain* form_;
};

// The layer list: its layers are dragged within it.
class TLayerListView : public QTreeWidget {
  Q_OBJECT

 public:
  explicit TLayerListView(TfrmMain* form, QWidget* parent);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  TfrmMain* form_;
};

class TfrmMain : public QMainWindow {
  Q_OBJECT

 public:
  static TMainServices& Services();
  static TMainServices DefaultServices();

  explicit TfrmMain(QWidget* parent = nullptr);
  ~TfrmMain() override;

  // ---- Menus ----
  QMenu* mnuFile;
  QAction* mnuVeilpaint;
  QAction* mnuInportMark;
  QAction* mnuExportMark;
  QAction* mnuExit;
  QMenu* mnuMakemark;
  QAction* mnuCreate;
  QAction* mnuCreateToNewFolder;
  QAction* mnuStopTran;
  QMenu* mnuS0;
  QAction* mnuNewmark;
  QAction* mnuEditmark;
  QAction* mnuDelmark;
  QMenu* mnuView;
  QAction* mnuBrowse;
  QAction* mnuRefresh;
  QAction* mnuAutoFitWindow;
  QMenu* mnuSkin;
  QAction* mnuSkinDefault;
  QAction* mnuSkin1;
  QAction* mnuSkin2;
  QAction* mnuSkin3;
  QAction* mnuSkin4;
  QMenu* mnuLanguagePack;
  QMenu* mnuTools;
  QAction* mnuSetup;
  QMenu* mnuH0;
  QAction* mnuHelp;
  QAction* mnuMainPage;

  // ---- Tool bar ----
  QToolBar* tbrMain;
  QToolButton* tbMakeCurrently;
  QToolButton* tbCreateToNewFolder;
  QToolButton* tbStopTran;
  QToolButton* tbNewmark;
  QToolButton* tbEditmark;
  QToolButton* tbDelmark;
  QToolButton* tbSetup;
  QToolButton* tbBrowse;
  QToolButton* tbAutoFitWindow;
  QToolButton* tbTutorial;
  QToolButton* tbExit;
  QLabel* imgWebPage;

  // ---- Browsing ----
  QWidget* pnlAddress;
  QLabel* lblAddress;
  QLineEdit* edtAddress;
  QToolButton* sbUP;
  QToolButton* sbGo;
  TShellTreeView* tvwPath;
  QTreeView* lvwFile;

  // ---- Conversion list ----
  QLabel* pnlSelectFile;
  TConvFileList* lvwConvFile;
  QToolButton* tbAddFile;
  QToolButton* tbAddAll;
  QToolButton* tbDelFile;
  QToolButton* tbDelAllFile;
  QToolButton* tbAddFolder;
  QToolButton* tbStop;
  TFileFinder* ffFind;

  // ---- Marks and layers ----
  QWidget* pnlmark;
  QLabel* pnlmarkList;
  QListWidget* chkMark;
  QMenu* PopupMenu1;
  QAction* miAddMark;
  QAction* miEditMark;
  QAction* miDelMark;
  QAction* miInportMark;
  QAction* miExportMark;
  QAction* mnuRefreshMark;
  QWidget* pnlSelectModel;
  QLabel* pnlSelectmark;
  TLayerListView* lvwSelectMark;
  QToolButton* btnUp;
  QToolButton* btnDown;
  QToolButton* btnClear;
  QToolButton* btnClearAll;
  QToolButton* SpeedButton3;
  QToolButton* SpeedButton4;

  // ---- Preview ----
  QWidget* pnlPreview;
  QWidget* pnlView;
  QScrollBar* sbWidth;
  QScrollBar* sbHeight;
  TGLPanel* opGL;
  TPreviewBox* pbPreview;
  QMenu* PopupMenu2;
  QAction* mnuSaveAs;

  // ---- Status ----
  QStatusBar* sbBar;
  QWidget* pnlPosition;
  QProgressBar* pbPosition;

  TPosition* Position;

  // ---- Operations ----
  void LoadConfigToUI();
  void SaveConfigFromUI();
  void BuildLanguageMenu();
  void LanguageMenuClick(QAction* item);
  void ApplyLanguage();
  void RefreshMarkList();
  void ReadShellExtensionRequest();
  // Previews the file of a list (0 the file list, 1 the conversion list);
  // an empty file clears the preview.
  void ShowPreview(int source, const std::string& file);
  void UpdatePreview();
  void LayoutPreview();
  void PaintPreview(QWidget& box);
  void SyncLayers(bool fromChecks);
  void ApplySkin(int index);
  // The files dropped onto the window.
  void WMDropFiles(const std::vector<std::string>& names);
  void ConvertFiles(const std::string& folder);
  void UpdateFileSummary();

  // ---- Command handlers ----
  void mnuCreateClick();
  void mnuCreateToNewFolderClick();
  void mnuStopTranClick();
  void tbAddFileClick();
  void tbAddAllClick();
  void tbDelFileClick();
  void tbDelAllFileClick();
  void tbAddFolderClick();
  void tbStopClick();
  void sbGoClick();
  void sbUPClick();
  void mnuRefreshClick();
  void miDelMarkClick();
  void miInportMarkClick();
  void miExportMarkClick();
  void mnuRefreshMarkClick();
  void btnUpClick();
  void btnDownClick();
  void btnClearClick();
  void btnClearAllClick();
  void lvwSelectMarkDragDrop(const QPoint& pos);
  void mnuAutoFitWindowClick();
  void tbAutoFitWindowClick();
  void SpeedButton3Click();
  void SpeedButton4Click();
  void mnuSaveAsClick();
  void mnuHelpClick();
  void tbTutorialClick();
  void mnuVeilpaintClick();
  void mnuMainPageClick();
  void mnuSetupClick();

  // ---- State, for the lists and the tests ----
  std::vector<std::string> ConvFiles() const;
  std::vector<TMarkEntry> MarkEntries() const;
  TLayerList Layers() const;
  // Checks or unchecks a mark as a click in the list does.
  void SetMarkChecked(const std::string& name, bool checked);
  // The files of the file list's folder, in its order.
  std::vector<std::string> ShellListFiles() const;
  std::vector<std::string> SelectedShellListFiles() const;
  // The folder the file list shows.
  std::string ShellListFolder() const;
  QLabel* StatusPanel(int index) const;
  const std::string& PreviewFile() const { return previewFile_; }
  int PreviewSource() const { return previewSource_; }
  const TBitmap& PreviewBitmap() const { return previewBitmap_; }
  const TBitmap& DisplayBitmap() const { return displayBitmap_; }
  bool HasMarks() const { return hasMarks_; }
  bool StopRequested() const { return stopRequested_; }
  bool BatchRunning() const { return batchRunning_; }
  bool Searching() const { return searching_; }
  int SortColumn() const { return sortColumn_; }
  bool SortDescending() const { return sortDescending_; }
  void SortShellList(int column);

  // Preview panning, as the paint box reports the mouse.
  void PreviewMouseDown(Qt::MouseButton button, const QPoint& pos);
  void PreviewMouseMove(Qt::MouseButtons buttons, const QPoint& pos);
  void PreviewMouseUp(Qt::MouseButton button);

  // Takes the selected files of the file list (a drag onto the
  // conversion list, tbAddFile).
  void AddShellSelection();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateMenus();
  void CreateToolBar();
  void CreateControls();
  void Connect();
  void FormShow();
  void FormDestroy();
  void tvwPathChange(const std::string& path);
  void chkMarkClickCheck();
  void ffFindFileFound(const std::string& directory, int attr, const std::string& name);
  void ffFindStop();
  void SetConvertCommandsEnabled(bool enabled);
  void SetStopCommandsEnabled(bool enabled);
  void SetMarks(const std::vector<TMarkEntry>& marks);
  void SetLayers(const TLayerList& layers);
  void AppendConvFiles(const std::vector<std::string>& files);
  std::string CurrentMarkName() const;
  // The image files of a folder in the file list's order, read from the
  // folder itself.
  std::vector<std::string> FolderImageFiles(const std::string& folder) const;
  std::vector<std::string> LayerMarkFiles() const;
  void ClearPreview();
  void PreviewCurrentOf(QAbstractItemView* view);
  void FinishPendingClose();

  QFileSystemModel* fileModel_;
  TShellListModel* shellList_;
  QActionGroup* languageGroup_;
  QActionGroup* skinGroup_;
  QSplitter* splMain_;
  QSplitter* splPreview_;
  QLabel* statusPanels_[2];

  std::string previewFile_;
  int previewSource_ = 2;
  bool hasPicture_ = false;  // the loaded picture ("imgTemp") holds one
  TBitmap imgTemp_;
  TBitmap previewBitmap_;
  TBitmap displayBitmap_;
  bool hasMarks_ = false;
  TStringList foundFiles_;
  bool stopRequested_ = false;
  bool panning_ = false;
  QPoint panStart_;
  int panStartPosX_ = 0;
  int panStartPosY_ = 0;
  bool sortDescending_ = false;
  int sortColumn_ = 0;

  bool batchRunning_ = false;
  bool searching_ = false;
  bool closePending_ = false;
  bool shown_ = false;
};
