#include "windows/main_form.h"

#include <unistd.h>

#include <QAbstractFileIconProvider>
#include <QActionGroup>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QSignalBlocker>
#include <QToolButton>

#include <algorithm>

#include "app/messages.h"
#include "app/routines.h"
#include "app/settings.h"
#include "core/files.h"
#include "core/scope_exit.h"
#include "imaging/batch.h"
#include "imaging/mark.h"
#include "imaging/process.h"
#include "skin/stored_skins.h"
#include "windows/copy_files.h"
#include "windows/file_finder.h"
#include "windows/form_support.h"
#include "windows/path_labels.h"
#include "windows/position.h"
#include "windows/setup.h"
#include "windows/shared_commands.h"
#include "windows/shell_tree.h"
#include "windows/viewer/view_image.h"

const char* const HomePageAddress = "https://stampwise.example.org/";
const char* const ProgramVersion = "V3.09";
const char* const ReadyText = "Ready";

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }


std::string WithSlash(std::string path) {
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

}  // namespace

// ---------------------------------------------------------------------------
// Creation

TfrmMain::TfrmMain(QWidget* parent) : QMainWindow(parent) {
  setObjectName("frmMain");
  // Files dropped from the file manager land anywhere on the window.
  setAcceptDrops(true);
  // The skin component comes with the form, as it was stored: off, with
  // no skin of its own.
  ssStore = std::make_unique<TSkinStore>();
  LoadStoredSkins(*ssStore);
  sdSkin = std::make_unique<TSkinData>();
  sdSkin->OwnerForm = this;
  sdSkin->BeginLoading();
  sdSkin->Loaded();
  CreateMenus();
  CreateToolBar();
  CreateControls();
  Connect();

  ApplyRunState();

  RefreshMarkList();
  LoadConfigToUI();
  // The list follows the tree from here on; it starts at the tree's folder
  // whether or not the last one was restored.
  tvwPathChange(tvwPath->Path());
  ApplyLanguageFont(static_cast<QWidget*>(this));
  BuildLanguageMenu();
  ApplyLanguage();

  resize(1000, 680);
  // Last: it puts back the bounds the window had last time.
  Position = new TPosition(this);
}

TfrmMain::~TfrmMain() { FormDestroy(); }

void TfrmMain::FormDestroy() {
  try {
    SaveConfigFromUI();
  } catch (...) {
    // Closing goes on; SaveConfig has shown what went wrong.
  }
}

// ---------------------------------------------------------------------------
// Settings, language and skins

void TfrmMain::LoadConfigToUI() {
  TProgramInfo& info = ProgramInfo();
  std::string folder = info.CfgDefPath;
  if (folder.empty()) folder = ProgramDir();
  if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (info.AutoLocateOldPath) ShellTreeGotoPath(*tvwPath, folder);
  mnuAutoFitWindow->setChecked(info.CfgAutoResize);
  pnlPreview->SetAutoFit(info.CfgAutoResize);
  ApplySkin(info.CfgSkin);
}

void TfrmMain::SaveConfigFromUI() {
  TProgramInfo& info = ProgramInfo();
  const std::string folder = tvwPath->Path();
  if (!folder.empty() && DirectoryExists(folder)) info.CfgDefPath = folder;
  info.CfgAutoResize = mnuAutoFitWindow->isChecked();
  info.SaveConfig();
}

void TfrmMain::BuildLanguageMenu() {
  for (QAction* action : languageGroup_->actions()) {
    languageGroup_->removeAction(action);
    delete action;
  }
  mnuLanguagePack->clear();
  const QDir dir(Q(ProgramInfo().LanguageDir));
  for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
    auto* item = new QAction(mnuLanguagePack);
    // A "&" in a file name is a letter, not a keyboard mark.
    item->setText(QString(name).replace("&", "&&"));
    item->setData(name);
    item->setCheckable(true);
    item->setChecked(name.toStdString() == ProgramInfo().LanguagePackNow);
    languageGroup_->addAction(item);
    mnuLanguagePack->addAction(item);
    connect(item, &QAction::triggered, this, [this, item] { Guarded([&] { LanguageMenuClick(item); }); });
  }
}

void TfrmMain::LanguageMenuClick(QAction* item) {
  for (QAction* other : languageGroup_->actions()) other->setChecked(other == item);
  ProgramInfo().LanguagePackNow = item->data().toString().toStdString();
  SaveConfigFromUI();
  LoadConfigToUI();
  ProgramInfo().LoadLanguage();
  ApplyLanguage();
}

void TfrmMain::ApplySkin(int index) {
  if (index < 0 || index > StoredSkinCount) index = 0;
  skinGroup_->actions().at(index)->setChecked(true);
  ProgramInfo().CfgSkin = static_cast<std::uint8_t>(index);
  if (index == 0) {
    sdSkin->SetActive(false);
    return;
  }
  sdSkin->LoadFromCollection(*ssStore, index - 1);
  if (sdSkin->SkinLoaded() && !sdSkin->Active()) sdSkin->SetActive(true);
}

// ---------------------------------------------------------------------------
// Showing and closing

void TfrmMain::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!shown_) {
    shown_ = true;
    Guarded([this] { FormShow(); });
  }
}

void TfrmMain::FormShow() {
  ReadShellExtensionRequest();
  // The tree went to its folder before it had a size to scroll in.
  if (tvwPath->currentIndex().isValid()) tvwPath->scrollTo(tvwPath->currentIndex(), QAbstractItemView::PositionAtCenter);
  LayoutPreview();
}

void TfrmMain::closeEvent(QCloseEvent* event) {
  if (!run_.RequestClose()) {
    // Stop first; the window closes once the run has come back.
    Guarded([this] {
      if (run_.BatchRunning()) mnuStopTranClick();
      if (run_.Searching()) ffFind->Stop();
    });
    event->ignore();
    return;
  }
  QMainWindow::closeEvent(event);
  if (event->isAccepted()) emit Closed();
}

void QuitWithMainWindow(TfrmMain& form) {
  QApplication::setQuitOnLastWindowClosed(false);
  QObject::connect(&form, &TfrmMain::Closed, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

void TfrmMain::FinishPendingClose() {
  if (run_.TakePendingClose()) QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void TfrmMain::dragEnterEvent(QDragEnterEvent* event) {
  if (event->source() == nullptr && event->mimeData()->hasUrls()) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  } else {
    event->ignore();
  }
}

void TfrmMain::dropEvent(QDropEvent* event) {
  if (event->source() != nullptr || !event->mimeData()->hasUrls()) {
    event->ignore();
    return;
  }
  event->setDropAction(Qt::CopyAction);
  event->accept();
  Guarded([&] { WMDropFiles(DroppedLocalFiles(*event->mimeData())); });
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
  const bool inList = watched == lvwFile || watched == lvwConvFile || watched == chkMark;
  if (event->type() == QEvent::KeyRelease && (watched == lvwFile || watched == lvwConvFile)) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_PageUp || key == Qt::Key_PageDown || key == Qt::Key_Up || key == Qt::Key_Down) {
      Guarded([&] { PreviewCurrentOf(static_cast<QAbstractItemView*>(watched)); });
    }
  } else if (event->type() == QEvent::KeyPress && watched == chkMark &&
             static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
    Guarded([this] { mnuDelmark->trigger(); });
    return true;
  } else if (event->type() == QEvent::KeyPress && inList &&
             (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Return ||
              static_cast<QKeyEvent*>(event)->key() == Qt::Key_Enter)) {
    Guarded([&] { ListActivated(watched); });
  } else if (event->type() == QEvent::MouseButtonRelease && watched == imgWebPage) {
    Guarded([this] { mnuMainPageClick(); });
  }
  return QMainWindow::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------
// Viewing

void TfrmMain::mnuBrowseClick() {
  if (previewFile_.empty()) return;
  TViewMode mode = previewSource_;
  if (lvwFile->hasFocus()) mode = vmShellList;
  if (lvwConvFile->hasFocus()) mode = vmConvList;
  TViewList list;
  if (mode == vmShellList) {
    if (!lvwFile->currentIndex().isValid()) return;
    list.Count = [this] { return shellList_->rowCount(lvwFile->rootIndex()); };
    list.FileName = [this](int i) {
      return fileModel_->filePath(shellList_->mapToSource(shellList_->index(i, 0, lvwFile->rootIndex()))).toStdString();
    };
    list.ItemIndex = [this] {
      const QModelIndex current = lvwFile->currentIndex();
      return current.isValid() ? current.row() : -1;
    };
    list.Select = [this](int i) {
      lvwFile->selectionModel()->setCurrentIndex(shellList_->index(i, 0, lvwFile->rootIndex()),
                                                 QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    };
  } else if (mode == vmConvList) {
    if (lvwConvFile->currentItem() == nullptr) return;
    list.Count = [this] { return lvwConvFile->topLevelItemCount(); };
    list.FileName = [this](int i) { return lvwConvFile->topLevelItem(i)->text(0).toStdString(); };
    list.ItemIndex = [this] {
      QTreeWidgetItem* current = lvwConvFile->currentItem();
      return current != nullptr ? lvwConvFile->indexOfTopLevelItem(current) : -1;
    };
    list.Select = [this](int i) {
      lvwConvFile->clearSelection();
      lvwConvFile->setCurrentItem(lvwConvFile->topLevelItem(i));
    };
  } else {
    return;
  }
  const std::string file = previewFile_;
  ViewImage(mode, file, list);
  // The preview follows the picture the viewer ended on.
  PreviewCurrentOf(mode == vmShellList ? static_cast<QAbstractItemView*>(lvwFile) : lvwConvFile);
}

void TfrmMain::actViewPreviewClick() {
  if (PreviewBitmap().Width() <= 0 || PreviewBitmap().Height() <= 0) return;
  ViewImage(vmBitmap, previewFile_, TViewList());
}

void TfrmMain::ViewImage(TViewMode mode, const std::string& file, const TViewList& list) {
  if (!Services().ViewImage) return;
  const bool hide = ProgramInfo().ViewImageViewMain;
  if (hide) this->hide();
  try {
    Services().ViewImage(this, PreviewBitmap(), mode, file, list, LayerMarkFiles());
  } catch (...) {
    if (hide) show();
    throw;
  }
  if (hide) show();
}

void TfrmMain::ListActivated(QObject* list) {
  QAction* command = list == chkMark ? mnuEditmark : mnuBrowse;
  if (command->isEnabled()) command->trigger();
}

// ---------------------------------------------------------------------------
// Browsing

void TfrmMain::tvwPathChange(const std::string& path) {
  edtAddress->setText(Q(path));
  const QString folder = Q(path);
  fileModel_->setRootPath(folder);
  shellList_->SetFolder(folder);
  lvwFile->setRootIndex(path.empty() ? QModelIndex() : shellList_->mapFromSource(fileModel_->index(folder)));
}

std::string TfrmMain::ShellListFolder() const { return tvwPath->Path(); }

void TfrmMain::sbGoClick() { ShellTreeGotoPath(*tvwPath, Trim(edtAddress->text().toStdString())); }

void TfrmMain::sbUPClick() {
  const TShellNode parent = tvwPath->ParentNode(tvwPath->SelectedNode());
  if (parent.Exists && !parent.IsComputer()) tvwPath->SelectNode(parent);
}

void TfrmMain::mnuRefreshClick() { tvwPath->RefreshSelected(); }

void TfrmMain::SortShellList(int column) {
  sortColumn_ = column;
  sortDescending_ = !sortDescending_;
  shellList_->SetOrder(sortColumn_, sortDescending_);
  lvwFile->header()->setSortIndicator(column, sortDescending_ ? Qt::DescendingOrder : Qt::AscendingOrder);
}

std::vector<std::string> TfrmMain::ShellListFiles() const { return FolderImageFiles(ShellListFolder()); }

std::vector<std::string> TfrmMain::FolderImageFiles(const std::string& folder) const {
  if (folder.empty()) return {};
  // Read from the folder itself: the model fills the list in the
  // background, so it may not show every file yet.
  const QDir dir(Q(folder));
  std::vector<TShellEntry> entries;
  for (const QFileInfo& info : dir.entryInfoList(QDir::Files | QDir::NoDotAndDotDot)) {
    const std::string path = info.absoluteFilePath().toStdString();
    if (!FileExists(path) || !IsImageFile(Trim(path))) continue;
    TShellEntry e;
    e.Name = info.fileName().toStdString();
    e.Size = info.size();
    e.Type = fileModel_->iconProvider() ? fileModel_->iconProvider()->type(info).toStdString() : std::string();
    e.Modified = info.lastModified().toMSecsSinceEpoch();
    entries.push_back(std::move(e));
  }
  SortShellEntries(entries, sortColumn_, sortDescending_);
  std::vector<std::string> files;
  for (const TShellEntry& e : entries) files.push_back(WithSlash(folder) + e.Name);
  return files;
}

std::vector<std::string> TfrmMain::SelectedShellListFiles() const {
  QModelIndexList rows = lvwFile->selectionModel()->selectedRows();
  std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
  std::vector<std::string> files;
  for (const QModelIndex& row : rows) files.push_back(fileModel_->filePath(shellList_->mapToSource(row)).toStdString());
  return files;
}

// ---------------------------------------------------------------------------
// Conversion list

std::vector<std::string> TfrmMain::ConvFiles() const {
  std::vector<std::string> files;
  for (int i = 0; i < lvwConvFile->topLevelItemCount(); ++i) {
    files.push_back(lvwConvFile->topLevelItem(i)->text(0).toStdString());
  }
  return files;
}

void TfrmMain::AppendConvFiles(const std::vector<std::string>& files) {
  for (const std::string& file : files) {
    auto* item = new QTreeWidgetItem(lvwConvFile);
    item->setText(0, Q(file));
  }
}

void TfrmMain::AddShellSelection() {
  AppendConvFiles(UnlistedFiles(ConvFiles(), SelectedShellListFiles()));
  UpdateFileSummary();
}

void TfrmMain::tbAddFileClick() { AddShellSelection(); }

void TfrmMain::tbAddAllClick() {
  AppendConvFiles(UnlistedFiles(ConvFiles(), ShellListFiles()));
  UpdateFileSummary();
}

void TfrmMain::tbDelFileClick() {
  for (QTreeWidgetItem* item : lvwConvFile->selectedItems()) delete item;
  // A previewed entry that is gone takes its preview with it.
  if (previewSource_ == vmConvList) {
    const std::vector<std::string> files = ConvFiles();
    if (std::find(files.begin(), files.end(), previewFile_) == files.end()) ShowPreview(vmConvList, "");
  }
  UpdateFileSummary();
}

void TfrmMain::tbDelAllFileClick() {
  lvwConvFile->clear();
  if (previewSource_ == vmConvList) ShowPreview(vmConvList, "");
  UpdateFileSummary();
}

void TfrmMain::WMDropFiles(const std::vector<std::string>& names) {
  AppendConvFiles(DroppedImageFiles(names, ConvFiles()));
  UpdateFileSummary();
}

void TfrmMain::tbAddFolderClick() {
  if (run_.BatchRunning() || run_.Searching()) return;
  const std::string folder = tvwPath->Path();
  if (folder.empty() || !DirectoryExists(folder)) return;
  ffFind->Root = WithSlash(folder);
  foundFiles_.Clear();
  run_.StartSearch();
  ApplyRunState();
  const TScopeExit end([this] {
    // A search that ended without its stop event still ends here.
    if (run_.Searching()) {
      try {
        ffFindStop();
      } catch (...) {
      }
    }
  });
  ffFind->Execute();
}

void TfrmMain::ffFindFileFound(const std::string& directory, int attr, const std::string& name) {
  // Only regular files: a pipe or device with a picture's name would
  // block the batch that opens it.
  if ((attr & faDirectory) != 0 || (attr & faArchive) == 0) return;
  const std::string path = WithSlash(directory) + name;
  foundFiles_.Add(path);
  statusPanels_[1]->SetFullText(Q(path));
}

void TfrmMain::ffFindStop() {
  if (!run_.Searching()) return;
  run_.EndSearch();
  AppendConvFiles(FoundImageFiles(foundFiles_.Lines(), ConvFiles()));
  statusPanels_[1]->SetFullText(QString());
  UpdateFileSummary();
  FinishPendingClose();
}

void TfrmMain::tbStopClick() { ffFind->Stop(); }

void TfrmMain::UpdateFileSummary() {
  const std::vector<std::string> files = ConvFiles();
  const std::int64_t total = TotalFileSize(files);
  lvwConvFile->setHeaderLabel(
      Q(ConversionListCaption(GetMessageText(msg::ConversionListColumn), static_cast<int>(files.size()), total)));
  run_.SetHasFiles(total > 0);
  ApplyRunState();
}

void TfrmMain::ApplyRunState() {
  mnuCreate->setEnabled(run_.ConvertEnabled());
  mnuCreateToNewFolder->setEnabled(run_.ConvertEnabled());
  mnuStopTran->setEnabled(run_.StopBatchEnabled());
  tbAddFolder->setEnabled(run_.AddFolderEnabled());
  tbStop->setEnabled(run_.StopSearchEnabled());
  mnuSetup->setEnabled(run_.SetupEnabled());
}

// ---------------------------------------------------------------------------
// The batch

void TfrmMain::mnuCreateClick() {
  std::string folder = tvwPath->Path();
  if (folder.empty() || !DirectoryExists(folder)) {
    ShowMsg(GetMessageText(msg::OutputFolderMissing), mkInformation, SystemMessageCaption);
    return;
  }
  ConvertFiles(WithSlash(folder));
}

void TfrmMain::mnuCreateToNewFolderClick() {
  std::string folder = ProgramInfo().ExportPath;
  if (!Services().SelectFolder(folder)) return;
  // Remembered now; it reaches config.inf with the next save.
  ProgramInfo().ExportPath = folder;
  ConvertFiles(WithSlash(folder));
}

void TfrmMain::mnuStopTranClick() {
  // The convert commands come back when the run has ended, not before:
  // a run started now would run inside this one.
  run_.RequestStop();
  ApplyRunState();
}

void TfrmMain::ConvertFiles(const std::string& folder) {
  if (run_.BatchRunning() || run_.Searching()) return;
  const std::vector<std::string> sources = ConvFiles();
  if (sources.empty()) {
    ShowMsg(GetMessageText(msg::ConversionListEmpty), mkInformation, SystemMessageCaption);
    return;
  }
  const std::vector<std::string> markFiles = LayerMarkFiles();
  if (markFiles.empty() && ShowMsg(GetMessageText(msg::AskConvertWithoutMark), mkQuestion, SystemMessageCaption) != idYes) {
    return;
  }

  run_.StartBatch();
  ApplyRunState();
  pnlPosition->show();
  const int count = static_cast<int>(sources.size());
  pbPosition->setRange(0, std::max(1, count - 1));
  pbPosition->setValue(0);

  const TScopeExit end([this] {
    try {
      shellList_->ResumeUpdates();
    } catch (...) {
    }
    try {
      pnlPosition->hide();
      statusPanels_[0]->SetFullText(ReadyText);
      run_.EndBatch();
      UpdateFileSummary();
      FinishPendingClose();
    } catch (...) {
    }
  });
  shellList_->SuspendUpdates();

  TBatchHooks hooks;
  hooks.QueryOverwrite = [](const std::string& question) { return Services().QueryOverwrite(question); };
  hooks.StopRequested = [this] { return run_.StopRequested(); };
  hooks.ProcessMessages = [] { ProcessMessages(); };
  hooks.Progress = [this, count](int position, const std::string& outputName) {
    // One file has no range to walk; it is full once done.
    pbPosition->setValue(count == 1 ? 1 : position);
    statusPanels_[0]->SetFullText(Q(outputName));
  };
  const TBatchResult result = RunBatch(markFiles, sources, folder, hooks);
  // A close asked for during the run wants the window gone, not the log.
  if (run_.ShowsLog()) Services().ShowLog(result.Log);
}

// ---------------------------------------------------------------------------
// Preview

TElidedLabel* TfrmMain::StatusPanel(int index) const { return statusPanels_[index == 0 ? 0 : 1]; }

void TfrmMain::PreviewCurrentOf(QAbstractItemView* view) {
  if (view == lvwFile) {
    const QModelIndex current = lvwFile->currentIndex();
    if (current.isValid()) ShowPreview(vmShellList, fileModel_->filePath(shellList_->mapToSource(current)).toStdString());
  } else if (view == lvwConvFile) {
    if (const QTreeWidgetItem* item = lvwConvFile->currentItem()) ShowPreview(vmConvList, item->text(0).toStdString());
  }
}

void TfrmMain::ClearPreview() {
  previewFile_.clear();
  previewSource_ = vmBitmap;
  statusPanels_[1]->SetFullText(QString());
  pnlPreview->Clear();
}

void TfrmMain::ShowPreview(TViewMode source, const std::string& file) {
  if (file.empty()) {
    ClearPreview();
    return;
  }
  // The chosen file is the previewed one even when it does not load: the
  // viewer opens on it (and reports why it does not load), not on the
  // picture the preview still shows.
  previewFile_ = file;
  previewSource_ = source;
  if (!FileExists(file)) return;
  TBitmap picture;
  try {
    picture = LoadPreviewPicture(file);
  } catch (const std::exception&) {
    return;  // a picture that does not load leaves the preview as it was
  }
  const int width = picture.Width();
  const int height = picture.Height();
  pnlPreview->SetPicture(std::move(picture));
  statusPanels_[1]->SetFullText(
      Q(PreviewStatusText(GetMessageText(msg::PreviewFileType), file, GetFileSizeByName(file), width, height)));
  UpdatePreview();
  LayoutPreview();
}

void TfrmMain::UpdatePreview() { pnlPreview->UpdateMarks(LayerMarkFiles()); }

void TfrmMain::LayoutPreview() { pnlPreview->Relayout(); }

void TfrmMain::mnuAutoFitWindowClick() { pnlPreview->SetAutoFit(mnuAutoFitWindow->isChecked()); }

void TfrmMain::mnuSaveAsClick() {
  const TBitmap& preview = pnlPreview->PreviewBitmap();
  if (preview.Width() <= 0 || preview.Height() <= 0) return;
  const std::optional<std::string> name = Services().ChoosePreviewSaveName(this);
  if (!name || name->empty()) return;
  if (FileExists(*name) && ShowMsg(GetMessageText(msg::AskReplaceExisting), mkQuestion, SystemMessageCaption) != idYes) return;
  // The preview itself stays as it is; the writer converts a copy.
  SaveImageFile(preview, *name);
}

// ---------------------------------------------------------------------------
// Help, outside programs and the settings window

void TfrmMain::mnuHelpClick() { HtmlHelp(HelpIndexPage); }

void TfrmMain::tbTutorialClick() { HtmlHelp(HelpTutorialPage); }

void TfrmMain::mnuVeilpaintClick() { StartMaskEditor(Services().StartProgram); }

void TfrmMain::mnuMainPageClick() {
  if (TGuiHandler* handler = GuiHandler()) handler->OpenWithDesktop(HomePageAddress);
}

void TfrmMain::mnuSetupClick() {
  // The settings decide how the running batch writes its files.
  if (!run_.SetupEnabled()) return;
  if (Services().ExecuteSetup(TfrmSetup::pgGeneral)) {
    // The image patterns may have changed.
    shellList_->Refilter();
  }
}

// ---------------------------------------------------------------------------
// Hand-over file

void TfrmMain::ReadShellExtensionRequest() {
  const std::vector<std::string> lines = TakeHandOverLines(HandOverFileName());
  if (lines.empty()) return;
  const THandOverPlan plan = PlanHandOver(lines, ConvFiles(), [this](const std::string& folder) {
    ShellTreeGotoPath(*tvwPath, folder);
    return FolderImageFiles(folder);
  });
  AppendConvFiles(plan.Added);
  if (!plan.Folder.empty()) ShellTreeGotoPath(*tvwPath, plan.Folder);
  if (lvwConvFile->topLevelItemCount() > 0) {
    QTreeWidgetItem* first = lvwConvFile->topLevelItem(0);
    lvwConvFile->setCurrentItem(first);
    lvwConvFile->setFocus();
    ShowPreview(vmConvList, first->text(0).toStdString());
  }
  UpdateFileSummary();
}
