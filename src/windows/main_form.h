#pragma once
// The main window: the folder tree and the file list to browse pictures,
// the conversion list, the mark list and the layer list, the marked
// preview, and the commands for marks, the batch run, the view, skins,
// languages and help.
//
// The form is spread over a few files: main_form_controls.cpp builds the
// menus, the tool bar and the controls, connects them and holds the
// language table; main_services.cpp the default dialogs; main_form.cpp the
// operations and handlers. The preview panel (main_preview.h) and the list
// widgets (main_lists.h) are widgets of their own; the rules that need no
// widget live in main_models.h and main_run_state.h.
//
// A command is one QAction: its menu item, its tool button (which takes
// the action as its default action) and its popup item (which follows it,
// see FollowAction) are on, off and checked together.

#include <QMainWindow>
#include <QTreeView>
#include <QTreeWidget>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/strings.h"
#include "skin/package/skin_store.h"
#include "skin/skin_data.h"
#include "windows/main_lists.h"
#include "windows/main_models.h"
#include "windows/main_preview.h"
#include "windows/main_run_state.h"
#include "windows/viewer/view_navigation.h"

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
class TElidedLabel;
class TFileFinder;
class TGLPanel;
class TPosition;
class TShellTreeView;
struct TViewList;

// The address the Help menu and the picture link open.
extern const char* const HomePageAddress;
// The version shown after the product name in the title.
extern const char* const ProgramVersion;
// The batch's status panel while no batch runs.
extern const char* const ReadyText;

// What the window asks of the desktop and of other windows. Tests replace
// these so that no dialog blocks and nothing outside their folder changes.
struct TMainServices {
  // The overwrite question (batch, mark import and export): an answer
  // owNo .. owAllNo.
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
  // The image viewer (TfrmViewImage::Execute).
  std::function<void(QWidget* owner, const TBitmap& bitmap, TViewMode mode, const std::string& fileName,
                     const TViewList& list, const std::vector<std::string>& markFiles)>
      ViewImage;
  // The mark editor for a new mark (false, "") or the mark of a name;
  // true when the mark was saved.
  std::function<bool(bool editExisting, const std::string& name)> ExecuteMarkEditor;
};

class TfrmMain : public QMainWindow {
  Q_OBJECT

 public:
  static TMainServices& Services();
  static TMainServices DefaultServices();

  explicit TfrmMain(QWidget* parent = nullptr);
  ~TfrmMain() override;

  // ---- Menus ----
  // Each command is one action; every control that stands for it follows
  // it (on, off, triggering).
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
  QAction* actViewPreview;

  // ---- Tool bar ----
  // Each button but tbTutorial has its menu command as default action.
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
  // The popup items follow the menu commands of the same name.
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
  // pnlPreview owns the rest; the others are its parts, named here too.
  TPreviewPanel* pnlPreview;
  QWidget* pnlView;
  QScrollBar* sbWidth;
  QScrollBar* sbHeight;
  TGLPanel* opGL;
  TPaintBox* pbPreview;
  QMenu* PopupMenu2;
  QAction* mnuSaveAs;

  // ---- Status ----
  QStatusBar* sbBar;
  QWidget* pnlPosition;
  QProgressBar* pbPosition;

  TPosition* Position;

  // ---- Skins ----
  // The skin component and the store of the four stored skins; the Skin
  // menu drives the component through ApplySkin only.
  std::unique_ptr<TSkinData> sdSkin;
  std::unique_ptr<TSkinStore> ssStore;

  // ---- Operations ----
  void LoadConfigToUI();
  void SaveConfigFromUI();
  void BuildLanguageMenu();
  void LanguageMenuClick(QAction* item);
  void ApplyLanguage();
  void RefreshMarkList();
  void ReadShellExtensionRequest();
  // Previews the file of a list (vmShellList or vmConvList); an empty file
  // clears the preview.
  void ShowPreview(TViewMode source, const std::string& file);
  // Draws the layers onto the loaded picture.
  void UpdatePreview();
  void LayoutPreview();
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
  void mnuNewmarkClick();
  void mnuEditmarkClick();
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
  void SpeedButton3Click();
  void SpeedButton4Click();
  void mnuSaveAsClick();
  void mnuHelpClick();
  void tbTutorialClick();
  void mnuVeilpaintClick();
  void mnuMainPageClick();
  void mnuSetupClick();
  // The viewer for the previewed file walking the focused list (mnuBrowse),
  // or for the marked preview alone (a double click on it).
  void mnuBrowseClick();
  void actViewPreviewClick();

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
  // Status panel 0 (the batch) or 1 (the preview and the search); their
  // texts are elided to the room they get.
  TElidedLabel* StatusPanel(int index) const;
  const std::string& PreviewFile() const { return previewFile_; }
  TViewMode PreviewSource() const { return previewSource_; }
  const TBitmap& PreviewBitmap() const { return pnlPreview->PreviewBitmap(); }
  const TBitmap& DisplayBitmap() const { return pnlPreview->DisplayBitmap(); }
  bool HasMarks() const { return pnlPreview->HasMarks(); }
  const TMainRunState& RunState() const { return run_; }
  bool StopRequested() const { return run_.StopRequested(); }
  bool BatchRunning() const { return run_.BatchRunning(); }
  bool Searching() const { return run_.Searching(); }
  int SortColumn() const { return sortColumn_; }
  bool SortDescending() const { return sortDescending_; }
  void SortShellList(int column);

  // Preview panning, as the paint box reports the mouse.
  void PreviewMouseDown(Qt::MouseButton button, const QPoint& pos) { pnlPreview->MouseDown(button, pos); }
  void PreviewMouseMove(Qt::MouseButtons buttons, const QPoint& pos) { pnlPreview->MouseMove(buttons, pos); }
  void PreviewMouseUp(Qt::MouseButton button) { pnlPreview->MouseUp(button); }

  // Takes the selected files of the file list (a drag onto the
  // conversion list, tbAddFile).
  void AddShellSelection();

 signals:
  // The window has closed for good (not a close put off until a run
  // stops).
  void Closed();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // main_form_controls.cpp
  // The window is built part by part, in this order (the order widgets
  // are made in is the order the Tab key walks them).
  void CreateMenus();
  // The View menu's Skin and Language submenus (the languages are filled
  // from the language folder later).
  void CreateSkinAndLanguageMenus();
  // The marks' popup menu and the preview's.
  void CreatePopupMenus();
  void CreateToolBar();
  void CreateControls();
  // The folder edit with its up and go buttons.
  QWidget* CreateAddressBar(QWidget* central);
  // Left: the folder tree, the file list and the conversion list, and the
  // folder search.
  void CreateBrowsePane(QSplitter* host);
  // Right: the panel switches, then marks, layers and the preview.
  void CreateMarkPane(QSplitter* host);
  // Panel 0 the batch, panel 1 the preview and the search, and the
  // progress bar.
  void CreateStatusBar();
  void Connect();

  void FormShow();
  void FormDestroy();
  void tvwPathChange(const std::string& path);
  void chkMarkClickCheck();
  void ffFindFileFound(const std::string& directory, int attr, const std::string& name);
  void ffFindStop();
  // Sets every command the run state decides.
  void ApplyRunState();
  void SetMarks(const std::vector<TMarkEntry>& marks);
  void SetLayers(const TLayerList& layers);
  void AppendConvFiles(const std::vector<std::string>& files);
  std::string CurrentMarkName() const;
  // The image files of a folder in the file list's order, read from the
  // folder itself.
  std::vector<std::string> FolderImageFiles(const std::string& folder) const;
  std::vector<std::string> LayerMarkFiles() const;
  // Shows the viewer (main window hidden while ViewImageViewMain is on).
  void ViewImage(TViewMode mode, const std::string& file, const TViewList& list);
  void ClearPreview();
  void PreviewCurrentOf(QAbstractItemView* view);
  void FinishPendingClose();
  // A double click or Enter in a list: the command that stands for it,
  // when it is on.
  void ListActivated(QObject* list);

  QFileSystemModel* fileModel_;
  TShellListModel* shellList_;
  QActionGroup* languageGroup_;
  QActionGroup* skinGroup_;
  QSplitter* splMain_;
  QSplitter* splPreview_;
  TElidedLabel* statusPanels_[2];

  std::string previewFile_;
  TViewMode previewSource_ = vmBitmap;
  TStringList foundFiles_;
  bool sortDescending_ = false;
  int sortColumn_ = 0;
  TMainRunState run_;
  bool shown_ = false;
};

// Makes follower stand for leader: triggering it triggers the leader, and
// it is on and visible whenever the leader is. For the popup items that
// repeat a menu command under a name of their own.
void FollowAction(QAction* follower, QAction* leader);

// The program ends when form closes, and only then. Qt would also end it
// when the last window on screen closes: a message box closing while the
// viewer keeps the main window hidden.
void QuitWithMainWindow(TfrmMain& form);
