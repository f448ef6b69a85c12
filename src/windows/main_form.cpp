#include "windows/main_form.h"

#include <unistd.h>

#include <QAbstractFileIconProvider>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QProcess>
#include <QProgressBar>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <set>

#include "app/messages.h"
#include "app/routines.h"
#include "app/settings.h"
#include "core/files.h"
#include "imaging/batch.h"
#include "imaging/mark.h"
#include "imaging/process.h"
#include "windows/copy_files.h"
#include "windows/file_finder.h"
#include "windows/form_support.h"
#include "windows/gl_panel.h"
#include "windows/image_convert.h"
#include "windows/position.h"
#include "windows/query_over.h"
#include "windows/select_dir.h"
#include "windows/setup.h"
#include "windows/shell_tree.h"
#include "windows/show_info.h"

const char* const HomePageAddress = "https://stampwise.example.org/";
const char* const ProgramVersion = "V3.09";
const char* const MaskEditorName = "Veilpaint";

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

const char* const MarkImportFilter = "Mark file(*.spm)|*.spm";
const char* const MarkImportTitle = "Select mark file ...";
const char* const ReadyText = "Ready";

// The captions (C) and hints (H) of the window by message number; a
// suffix follows the text.
struct TLanguageTarget {
  int Number;
  const char* Name;
  char Kind;
  const char* Suffix;
};

constexpr TLanguageTarget LanguageTable[] = {
    {210, "mnuFile", 'C', ""},
    {103, "mnuExit", 'C', ""},
    {103, "tbExit", 'C', ""},
    {212, "mnuVeilpaint", 'C', ""},
    {220, "mnuMakemark", 'C', ""},
    {221, "mnuCreate", 'C', ""},
    {221, "tbMakeCurrently", 'C', ""},
    {222, "mnuCreateToNewFolder", 'C', ""},
    {222, "tbCreateToNewFolder", 'H', ""},
    {223, "mnuStopTran", 'C', ""},
    {223, "tbStopTran", 'H', ""},
    {230, "mnuS0", 'C', ""},
    {231, "mnuNewmark", 'C', ""},
    {231, "miAddMark", 'C', ""},
    {232, "mnuEditmark", 'C', ""},
    {232, "miEditMark", 'C', ""},
    {233, "mnuDelmark", 'C', ""},
    {233, "miDelMark", 'C', ""},
    {234, "mnuInportMark", 'C', ""},
    {234, "miInportMark", 'C', ""},
    {235, "mnuExportMark", 'C', ""},
    {235, "miExportMark", 'C', ""},
    {240, "mnuView", 'C', ""},
    {243, "mnuBrowse", 'C', ""},
    {105, "mnuRefresh", 'C', ""},
    {105, "mnuRefreshMark", 'C', ""},
    {241, "mnuAutoFitWindow", 'C', ""},
    {242, "mnuLanguagePack", 'C', ""},
    {244, "mnuSkin", 'C', ""},
    {245, "mnuSkinDefault", 'C', ""},
    {246, "mnuSkin1", 'C', " &1"},
    {246, "mnuSkin2", 'C', " &2"},
    {246, "mnuSkin3", 'C', " &3"},
    {246, "mnuSkin4", 'C', " &4"},
    {250, "mnuTools", 'C', ""},
    {251, "mnuSetup", 'C', ""},
    {251, "tbSetup", 'C', ""},
    {260, "mnuH0", 'C', ""},
    {261, "mnuHelp", 'C', ""},
    {262, "mnuMainPage", 'C', ""},
    {355, "mnuSaveAs", 'C', ""},
    {330, "tbMakeCurrently", 'H', ""},
    {334, "tbNewmark", 'H', ""},
    {335, "tbEditmark", 'H', ""},
    {336, "tbDelmark", 'H', ""},
    {340, "tbSetup", 'H', ""},
    {341, "tbAutoFitWindow", 'H', ""},
    {342, "tbTutorial", 'H', ""},
    {343, "tbBrowse", 'H', ""},
    {345, "tbExit", 'H', ""},
    {300, "tbTutorial", 'C', ""},
    {301, "lblAddress", 'C', ""},
    {302, "sbGo", 'C', ""},
    {303, "pnlSelectFile", 'C', ""},
    {305, "tbAddFile", 'H', ""},
    {306, "tbAddAll", 'H', ""},
    {307, "tbDelFile", 'H', ""},
    {308, "tbDelAllFile", 'H', ""},
    {309, "tbAddFolder", 'H', ""},
    {310, "tbStop", 'H', ""},
    {320, "pnlmarkList", 'C', ""},
    {321, "pnlSelectmark", 'C', ""},
    {307, "btnClear", 'H', ""},
    {308, "btnClearAll", 'H', ""},
};

void SetCaption(QObject* target, const QString& text) {
  if (auto* menu = qobject_cast<QMenu*>(target)) {
    menu->setTitle(text);
  } else if (auto* action = qobject_cast<QAction*>(target)) {
    action->setText(text);
  } else if (auto* button = qobject_cast<QAbstractButton*>(target)) {
    button->setText(text);
  } else if (auto* label = qobject_cast<QLabel*>(target)) {
    label->setText(text);
  }
}

void SetHint(QObject* target, const QString& text) {
  if (auto* action = qobject_cast<QAction*>(target)) {
    action->setToolTip(text);
  } else if (auto* widget = qobject_cast<QWidget*>(target)) {
    widget->setToolTip(text);
  }
}

std::string WithSlash(std::string path) {
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

// The local files of a drop.
std::vector<std::string> DroppedNames(const QMimeData& data) {
  std::vector<std::string> names;
  for (const QUrl& url : data.urls()) {
    if (url.isLocalFile()) names.push_back(url.toLocalFile().toStdString());
  }
  return names;
}

template <class F>
QAction* NewAction(QObject* owner, const char* name, F&& handler, QObject* context) {
  auto* action = new QAction(owner);
  action->setObjectName(name);
  QObject::connect(action, &QAction::triggered, context, [handler] { Guarded(handler); });
  return action;
}

}  // namespace

// ---------------------------------------------------------------------------
// The file list's view of the folder: only the folder's image files, in
// the order the window chose.

class TShellListModel : public QSortFilterProxyModel {
 public:
  TShellListModel(QFileSystemModel* source, QObject* parent) : QSortFilterProxyModel(parent), files_(source) {
    setSourceModel(source);
    setDynamicSortFilter(true);
  }

  void SetFolder(const QString& folder) {
    folder_ = folder;
    invalidateFilter();
  }
  void SetOrder(int column, bool descending) {
    column_ = column;
    descending_ = descending;
    invalidate();
    sort(0, Qt::AscendingOrder);
  }
  void Refilter() { invalidateFilter(); }

  TShellEntry Entry(const QModelIndex& sourceIndex) const {
    const QModelIndex index = sourceIndex.siblingAtColumn(0);
    TShellEntry e;
    e.Name = files_->fileName(index).toStdString();
    e.Size = files_->size(index);
    e.Type = files_->type(index).toStdString();
    e.Modified = files_->lastModified(index).toMSecsSinceEpoch();
    return e;
  }

 protected:
  bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
    // The folders on the way to the shown one stay, or it could not be
    // reached; inside it only image files count.
    if (files_->filePath(parent) != folder_) return true;
    const QModelIndex index = files_->index(row, 0, parent);
    const std::string path = files_->filePath(index).toStdString();
    return !files_->isDir(index) && FileExists(path) && IsImageFile(Trim(path));
  }

  bool lessThan(const QModelIndex& left, const QModelIndex& right) const override {
    return ShellListCompare(Entry(left), Entry(right), column_, descending_) < 0;
  }

 private:
  QFileSystemModel* files_;
  QString folder_;
  int column_ = 0;
  bool descending_ = false;
};

// ---------------------------------------------------------------------------

TPreviewBox::TPreviewBox(TfrmMain* form, QWidget* parent) : QWidget(parent), form_(form) {
  setObjectName("pbPreview");
  setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void TPreviewBox::paintEvent(QPaintEvent*) {
  Guarded([this] { form_->PaintPreview(*this); });
}

void TPreviewBox::mousePressEvent(QMouseEvent* event) {
  Guarded([&] { form_->PreviewMouseDown(event->button(), event->position().toPoint()); });
}

void TPreviewBox::mouseMoveEvent(QMouseEvent* event) {
  Guarded([&] { form_->PreviewMouseMove(event->buttons(), event->position().toPoint()); });
}

void TPreviewBox::mouseReleaseEvent(QMouseEvent* event) {
  Guarded([&] { form_->PreviewMouseUp(event->button()); });
}

void TPreviewBox::mouseDoubleClickEvent(QMouseEvent* event) {
  // The viewer would open here; until it exists a double click is only a
  // press.
  QWidget::mouseDoubleClickEvent(event);
}

void TPreviewBox::contextMenuEvent(QContextMenuEvent* event) {
  Guarded([&] { form_->PopupMenu2->popup(event->globalPos()); });
}

// ---------------------------------------------------------------------------

TConvFileList::TConvFileList(TfrmMain* form, QWidget* parent) : QTreeWidget(parent), form_(form) {
  setAcceptDrops(true);
  setDragDropMode(QAbstractItemView::DropOnly);
}

bool TConvFileList::Accepts(const QDropEvent* event) const {
  if (event->source() == form_->lvwFile) return true;
  return event->source() == nullptr && event->mimeData()->hasUrls();
}

void TConvFileList::dragEnterEvent(QDragEnterEvent* event) {
  if (!Accepts(event)) {
    event->ignore();
    return;
  }
  event->setDropAction(Qt::CopyAction);
  event->accept();
}

void TConvFileList::dragMoveEvent(QDragMoveEvent* event) {
  if (!Accepts(event)) {
    event->ignore();
    return;
  }
  event->setDropAction(Qt::CopyAction);
  event->accept();
}

void TConvFileList::dropEvent(QDropEvent* event) {
  if (!Accepts(event)) {
    event->ignore();
    return;
  }
  // A copy: the file list must not remove what was dragged.
  event->setDropAction(Qt::CopyAction);
  event->accept();
  if (event->source() == form_->lvwFile) {
    Guarded([this] { form_->AddShellSelection(); });
    return;
  }
  Guarded([&] { form_->WMDropFiles(DroppedNames(*event->mimeData())); });
}

// ---------------------------------------------------------------------------

TLayerListView::TLayerListView(TfrmMain* form, QWidget* parent) : QTreeWidget(parent), form_(form) {
  setDragEnabled(true);
  setAcceptDrops(true);
  setDragDropMode(QAbstractItemView::DragDrop);
  setDefaultDropAction(Qt::CopyAction);
  setAutoScroll(true);
}

void TLayerListView::dragEnterEvent(QDragEnterEvent* event) {
  if (event->source() != this) {
    event->ignore();
    return;
  }
  event->setDropAction(Qt::CopyAction);
  event->accept();
}

void TLayerListView::dragMoveEvent(QDragMoveEvent* event) {
  if (event->source() != this) {
    event->ignore();
    return;
  }
  // The base class scrolls the list near its edges.
  QTreeWidget::dragMoveEvent(event);
  event->setDropAction(Qt::CopyAction);
  event->accept();
}

void TLayerListView::dropEvent(QDropEvent* event) {
  if (event->source() != this) {
    event->ignore();
    return;
  }
  // The items are moved here; the view itself must not copy or remove any.
  event->setDropAction(Qt::CopyAction);
  event->accept();
  const QPoint pos = event->position().toPoint();
  Guarded([&] { form_->lvwSelectMarkDragDrop(pos); });
}

// ---------------------------------------------------------------------------
// Services

TMainServices TfrmMain::DefaultServices() {
  TMainServices s;
  s.QueryOverwrite = [](const std::string& text) { return ::QueryOverwrite(text); };
  s.ShowLog = [](const TStringList& lines) { TfrmShowInfo::Execute(lines); };
  s.SelectFolder = [](std::string& path) { return TfrmSelectDir::Execute(path); };
  s.ChooseMarkFiles = [](QWidget* owner) {
    QFileDialog dialog(owner);
    dialog.setObjectName("odMark");
    dialog.setWindowTitle(MarkImportTitle);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    QStringList filters;
    for (const auto& [title, patterns] : ParseDialogFilter(MarkImportFilter)) {
      filters << Q(title + " (" + patterns + ")");
    }
    dialog.setNameFilters(filters);
    std::vector<std::string> files;
    if (dialog.exec() != QDialog::Accepted) return files;
    for (const QString& f : dialog.selectedFiles()) files.push_back(f.toStdString());
    return files;
  };
  s.ChoosePreviewSaveName = [](QWidget* owner) -> std::optional<std::string> {
    QFileDialog dialog(owner);
    dialog.setObjectName("spdSave");
    // Qt's own dialog: it tells which file type is chosen while it is open.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    // An existing file is asked about by the window itself.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    QStringList filters;
    for (const auto& [title, patterns] : ParseDialogFilter(PreviewSaveFilter)) filters << Q(title);
    dialog.setNameFilters(filters);
    dialog.selectNameFilter(filters.front());
    dialog.setDefaultSuffix(Q(PreviewSaveDefaultExt(1)));
    dialog.selectFile("sample");
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, filters](const QString& filter) {
      Guarded([&] { dialog.setDefaultSuffix(Q(PreviewSaveDefaultExt(static_cast<int>(filters.indexOf(filter)) + 1))); });
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().front().toStdString();
  };
  s.ExecuteSetup = [](int page) { return TfrmSetup::Execute(page); };
  s.StartProgram = [](const std::string& program, const std::string& folder) {
    return QProcess::startDetached(Q(program), {}, Q(folder));
  };
  return s;
}

TMainServices& TfrmMain::Services() {
  static TMainServices services = DefaultServices();
  return services;
}

// ---------------------------------------------------------------------------
// Creation

TfrmMain::TfrmMain(QWidget* parent) : QMainWindow(parent) {
  setObjectName("frmMain");
  // Files dropped from the file manager land anywhere on the window.
  setAcceptDrops(true);
  CreateMenus();
  CreateToolBar();
  CreateControls();
  Connect();

  mnuStopTran->setEnabled(false);
  tbStopTran->setEnabled(false);
  tbStop->setEnabled(false);
  previewBitmap_.SetPixelFormat(pf24bit);
  displayBitmap_.SetPixelFormat(pf24bit);
  SetConvertCommandsEnabled(false);

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

void TfrmMain::CreateMenus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName("mmMain");

  mnuFile = bar->addMenu(QString());
  mnuFile->setObjectName("mnuFile");
  mnuVeilpaint = NewAction(this, "mnuVeilpaint", [this] { mnuVeilpaintClick(); }, this);
  mnuInportMark = NewAction(this, "mnuInportMark", [this] { miInportMarkClick(); }, this);
  mnuExportMark = NewAction(this, "mnuExportMark", [this] { miExportMarkClick(); }, this);
  mnuExit = NewAction(this, "mnuExit", [this] { close(); }, this);
  mnuFile->addAction(mnuVeilpaint);
  mnuFile->addSeparator();
  mnuFile->addAction(mnuInportMark);
  mnuFile->addAction(mnuExportMark);
  mnuFile->addSeparator();
  mnuFile->addAction(mnuExit);

  mnuMakemark = bar->addMenu(QString());
  mnuMakemark->setObjectName("mnuMakemark");
  mnuCreate = NewAction(this, "mnuCreate", [this] { mnuCreateClick(); }, this);
  mnuCreateToNewFolder = NewAction(this, "mnuCreateToNewFolder", [this] { mnuCreateToNewFolderClick(); }, this);
  mnuStopTran = NewAction(this, "mnuStopTran", [this] { mnuStopTranClick(); }, this);
  mnuMakemark->addAction(mnuCreate);
  mnuMakemark->addAction(mnuCreateToNewFolder);
  mnuMakemark->addAction(mnuStopTran);
  mnuMakemark->addSeparator();
  mnuS0 = mnuMakemark->addMenu(QString());
  mnuS0->setObjectName("mnuS0");
  // The mark editor is not part of the program yet: its commands are
  // there, but off.
  mnuNewmark = NewAction(this, "mnuNewmark", [] {}, this);
  mnuEditmark = NewAction(this, "mnuEditmark", [] {}, this);
  mnuDelmark = NewAction(this, "mnuDelmark", [this] { miDelMarkClick(); }, this);
  mnuNewmark->setEnabled(false);
  mnuEditmark->setEnabled(false);
  mnuS0->addAction(mnuNewmark);
  mnuS0->addAction(mnuEditmark);
  mnuS0->addAction(mnuDelmark);

  mnuView = bar->addMenu(QString());
  mnuView->setObjectName("mnuView");
  // The viewer is not part of the program yet.
  mnuBrowse = NewAction(this, "mnuBrowse", [] {}, this);
  mnuBrowse->setEnabled(false);
  mnuRefresh = NewAction(this, "mnuRefresh", [this] { mnuRefreshClick(); }, this);
  mnuAutoFitWindow = NewAction(this, "mnuAutoFitWindow", [this] { mnuAutoFitWindowClick(); }, this);
  mnuAutoFitWindow->setCheckable(true);
  mnuView->addAction(mnuBrowse);
  mnuView->addAction(mnuRefresh);
  mnuView->addAction(mnuAutoFitWindow);
  mnuView->addSeparator();
  mnuSkin = mnuView->addMenu(QString());
  mnuSkin->setObjectName("mnuSkin");
  skinGroup_ = new QActionGroup(this);
  skinGroup_->setExclusive(true);
  const char* skinNames[] = {"mnuSkinDefault", "mnuSkin1", "mnuSkin2", "mnuSkin3", "mnuSkin4"};
  QAction* skins[5];
  for (int i = 0; i < 5; ++i) {
    skins[i] = NewAction(this, skinNames[i], [this, i] { ApplySkin(i); }, this);
    skins[i]->setCheckable(true);
    skins[i]->setData(i);
    // Only the plain look can be drawn until the skin engine is there.
    skins[i]->setEnabled(i == 0);
    skinGroup_->addAction(skins[i]);
    mnuSkin->addAction(skins[i]);
  }
  mnuSkinDefault = skins[0];
  mnuSkin1 = skins[1];
  mnuSkin2 = skins[2];
  mnuSkin3 = skins[3];
  mnuSkin4 = skins[4];
  mnuLanguagePack = mnuView->addMenu(QString());
  mnuLanguagePack->setObjectName("mnuLanguagePack");
  languageGroup_ = new QActionGroup(this);
  languageGroup_->setExclusive(true);

  mnuTools = bar->addMenu(QString());
  mnuTools->setObjectName("mnuTools");
  mnuSetup = NewAction(this, "mnuSetup", [this] { mnuSetupClick(); }, this);
  mnuTools->addAction(mnuSetup);

  mnuH0 = bar->addMenu(QString());
  mnuH0->setObjectName("mnuH0");
  mnuHelp = NewAction(this, "mnuHelp", [this] { mnuHelpClick(); }, this);
  mnuMainPage = NewAction(this, "mnuMainPage", [this] { mnuMainPageClick(); }, this);
  mnuH0->addAction(mnuHelp);
  mnuH0->addAction(mnuMainPage);

  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName("PopupMenu1");
  miAddMark = NewAction(this, "miAddMark", [] {}, this);
  miEditMark = NewAction(this, "miEditMark", [] {}, this);
  miAddMark->setEnabled(false);
  miEditMark->setEnabled(false);
  miDelMark = NewAction(this, "miDelMark", [this] { miDelMarkClick(); }, this);
  miInportMark = NewAction(this, "miInportMark", [this] { miInportMarkClick(); }, this);
  miExportMark = NewAction(this, "miExportMark", [this] { miExportMarkClick(); }, this);
  mnuRefreshMark = NewAction(this, "mnuRefreshMark", [this] { mnuRefreshMarkClick(); }, this);
  PopupMenu1->addAction(miAddMark);
  PopupMenu1->addAction(miEditMark);
  PopupMenu1->addAction(miDelMark);
  PopupMenu1->addSeparator();
  PopupMenu1->addAction(miInportMark);
  PopupMenu1->addAction(miExportMark);
  PopupMenu1->addSeparator();
  PopupMenu1->addAction(mnuRefreshMark);

  PopupMenu2 = new QMenu(this);
  PopupMenu2->setObjectName("PopupMenu2");
  mnuSaveAs = NewAction(this, "mnuSaveAs", [this] { mnuSaveAsClick(); }, this);
  PopupMenu2->addAction(mnuSaveAs);
}

void TfrmMain::CreateToolBar() {
  tbrMain = addToolBar(QString());
  tbrMain->setObjectName("tbrMain");
  tbrMain->setMovable(false);
  QStyle* st = style();
  const auto button = [this, st](const char* name, QStyle::StandardPixmap icon, bool withText) {
    auto* b = new QToolButton(this);
    b->setObjectName(name);
    b->setIcon(st->standardIcon(icon));
    b->setAutoRaise(true);
    b->setToolButtonStyle(withText ? Qt::ToolButtonTextBesideIcon : Qt::ToolButtonIconOnly);
    tbrMain->addWidget(b);
    return b;
  };
  tbMakeCurrently = button("tbMakeCurrently", QStyle::SP_DialogApplyButton, true);
  tbCreateToNewFolder = button("tbCreateToNewFolder", QStyle::SP_FileDialogNewFolder, false);
  tbStopTran = button("tbStopTran", QStyle::SP_MediaStop, false);
  tbrMain->addSeparator();
  tbNewmark = button("tbNewmark", QStyle::SP_FileIcon, false);
  tbEditmark = button("tbEditmark", QStyle::SP_FileDialogDetailedView, false);
  tbDelmark = button("tbDelmark", QStyle::SP_TrashIcon, false);
  tbNewmark->setEnabled(false);
  tbEditmark->setEnabled(false);
  tbrMain->addSeparator();
  tbSetup = button("tbSetup", QStyle::SP_FileDialogContentsView, true);
  tbBrowse = button("tbBrowse", QStyle::SP_DesktopIcon, false);
  tbBrowse->setEnabled(false);
  tbAutoFitWindow = button("tbAutoFitWindow", QStyle::SP_TitleBarMaxButton, false);
  tbAutoFitWindow->setCheckable(true);
  tbrMain->addSeparator();
  tbTutorial = button("tbTutorial", QStyle::SP_DialogHelpButton, true);
  tbExit = button("tbExit", QStyle::SP_DialogCloseButton, true);

  auto* spacer = new QWidget(this);
  spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  tbrMain->addWidget(spacer);
  imgWebPage = new QLabel(this);
  imgWebPage->setObjectName("imgWebPage");
  imgWebPage->setPixmap(st->standardIcon(QStyle::SP_DriveNetIcon).pixmap(24, 24));
  imgWebPage->setCursor(Qt::PointingHandCursor);
  imgWebPage->setToolTip(HomePageAddress);
  tbrMain->addWidget(imgWebPage);
}

void TfrmMain::CreateControls() {
  QStyle* st = style();
  auto* central = new QWidget(this);
  central->setObjectName("pnlClient");
  setCentralWidget(central);
  auto* mainLayout = new QVBoxLayout(central);
  mainLayout->setContentsMargins(4, 4, 4, 4);
  mainLayout->setSpacing(4);

  // Address bar.
  pnlAddress = new QWidget(central);
  pnlAddress->setObjectName("pnlAddress");
  auto* address = new QHBoxLayout(pnlAddress);
  address->setContentsMargins(0, 0, 0, 0);
  lblAddress = new QLabel(pnlAddress);
  lblAddress->setObjectName("lblAddress");
  edtAddress = new QLineEdit(pnlAddress);
  edtAddress->setObjectName("edtAddress");
  sbUP = new QToolButton(pnlAddress);
  sbUP->setObjectName("sbUP");
  sbUP->setIcon(st->standardIcon(QStyle::SP_FileDialogToParent));
  sbUP->setAutoRaise(true);
  sbGo = new QToolButton(pnlAddress);
  sbGo->setObjectName("sbGo");
  sbGo->setIcon(st->standardIcon(QStyle::SP_ArrowForward));
  sbGo->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  sbGo->setAutoRaise(true);
  address->addWidget(lblAddress);
  address->addWidget(edtAddress, 1);
  address->addWidget(sbUP);
  address->addWidget(sbGo);
  mainLayout->addWidget(pnlAddress);

  splMain_ = new QSplitter(Qt::Horizontal, central);
  splMain_->setObjectName("splMain");
  mainLayout->addWidget(splMain_, 1);

  // Left: the folder tree, the file list and the conversion list.
  auto* left = new QSplitter(Qt::Vertical, splMain_);
  left->setObjectName("splBrowse");
  tvwPath = new TShellTreeView(left);
  tvwPath->setObjectName("tvwPath");

  fileModel_ = new QFileSystemModel(this);
  fileModel_->setObjectName("lvwFileModel");
  fileModel_->setReadOnly(true);
  fileModel_->setFilter(QDir::Files | QDir::AllDirs | QDir::NoDotAndDotDot);
  shellList_ = new TShellListModel(fileModel_, this);
  lvwFile = new QTreeView(left);
  lvwFile->setObjectName("lvwFile");
  lvwFile->setModel(shellList_);
  lvwFile->setRootIsDecorated(false);
  lvwFile->setItemsExpandable(false);
  lvwFile->setUniformRowHeights(true);
  lvwFile->setSelectionMode(QAbstractItemView::ExtendedSelection);
  lvwFile->setSelectionBehavior(QAbstractItemView::SelectRows);
  lvwFile->setDragEnabled(true);
  lvwFile->setDragDropMode(QAbstractItemView::DragOnly);
  lvwFile->setDefaultDropAction(Qt::CopyAction);
  lvwFile->setSortingEnabled(false);
  lvwFile->header()->setSectionsClickable(true);
  lvwFile->header()->setSortIndicatorShown(true);
  lvwFile->header()->setSortIndicator(0, Qt::AscendingOrder);
  lvwFile->header()->resizeSection(0, 220);
  shellList_->SetOrder(sortColumn_, sortDescending_);

  auto* conv = new QWidget(left);
  conv->setObjectName("pnlConvFile");
  auto* convLayout = new QVBoxLayout(conv);
  convLayout->setContentsMargins(0, 0, 0, 0);
  convLayout->setSpacing(2);
  pnlSelectFile = new QLabel(conv);
  pnlSelectFile->setObjectName("pnlSelectFile");
  pnlSelectFile->setFrameShape(QFrame::StyledPanel);
  lvwConvFile = new TConvFileList(this, conv);
  lvwConvFile->setObjectName("lvwConvFile");
  lvwConvFile->setColumnCount(1);
  lvwConvFile->setRootIsDecorated(false);
  lvwConvFile->setSelectionMode(QAbstractItemView::ExtendedSelection);
  auto* convButtons = new QHBoxLayout;
  const auto convButton = [conv, convButtons, st](const char* name, QStyle::StandardPixmap icon) {
    auto* b = new QToolButton(conv);
    b->setObjectName(name);
    b->setIcon(st->standardIcon(icon));
    b->setAutoRaise(true);
    convButtons->addWidget(b);
    return b;
  };
  tbAddFile = convButton("tbAddFile", QStyle::SP_ArrowDown);
  tbAddAll = convButton("tbAddAll", QStyle::SP_FileDialogListView);
  tbDelFile = convButton("tbDelFile", QStyle::SP_DialogDiscardButton);
  tbDelAllFile = convButton("tbDelAllFile", QStyle::SP_DialogResetButton);
  tbAddFolder = convButton("tbAddFolder", QStyle::SP_DirIcon);
  tbStop = convButton("tbStop", QStyle::SP_BrowserStop);
  convButtons->addStretch(1);
  convLayout->addWidget(pnlSelectFile);
  convLayout->addWidget(lvwConvFile, 1);
  convLayout->addLayout(convButtons);
  left->setStretchFactor(0, 2);
  left->setStretchFactor(1, 3);
  left->setStretchFactor(2, 2);

  ffFind = new TFileFinder(this);
  ffFind->setObjectName("ffFind");
  ffFind->Filename = "*.*";
  ffFind->FuzzySearch = true;
  ffFind->IgnoreCase = true;

  // Right: the panel switches, then marks, layers and the preview.
  auto* right = new QWidget(splMain_);
  right->setObjectName("pnlRight");
  auto* rightLayout = new QVBoxLayout(right);
  rightLayout->setContentsMargins(0, 0, 0, 0);
  rightLayout->setSpacing(2);
  auto* switches = new QHBoxLayout;
  SpeedButton3 = new QToolButton(right);
  SpeedButton3->setObjectName("SpeedButton3");
  SpeedButton3->setIcon(st->standardIcon(QStyle::SP_FileDialogListView));
  SpeedButton3->setCheckable(true);
  SpeedButton3->setChecked(true);
  SpeedButton3->setAutoRaise(true);
  SpeedButton4 = new QToolButton(right);
  SpeedButton4->setObjectName("SpeedButton4");
  SpeedButton4->setIcon(st->standardIcon(QStyle::SP_FileDialogDetailedView));
  SpeedButton4->setCheckable(true);
  SpeedButton4->setChecked(true);
  SpeedButton4->setAutoRaise(true);
  switches->addWidget(SpeedButton3);
  switches->addWidget(SpeedButton4);
  switches->addStretch(1);
  rightLayout->addLayout(switches);

  splPreview_ = new QSplitter(Qt::Horizontal, right);
  splPreview_->setObjectName("splPreview");
  rightLayout->addWidget(splPreview_, 1);

  pnlmark = new QWidget(splPreview_);
  pnlmark->setObjectName("pnlmark");
  auto* markLayout = new QVBoxLayout(pnlmark);
  markLayout->setContentsMargins(0, 0, 0, 0);
  markLayout->setSpacing(2);
  pnlmarkList = new QLabel(pnlmark);
  pnlmarkList->setObjectName("pnlmarkList");
  pnlmarkList->setFrameShape(QFrame::StyledPanel);
  chkMark = new QListWidget(pnlmark);
  chkMark->setObjectName("chkMark");
  chkMark->setContextMenuPolicy(Qt::CustomContextMenu);
  markLayout->addWidget(pnlmarkList);
  markLayout->addWidget(chkMark, 1);

  pnlSelectModel = new QWidget(splPreview_);
  pnlSelectModel->setObjectName("pnlSelectModel");
  auto* layerLayout = new QVBoxLayout(pnlSelectModel);
  layerLayout->setContentsMargins(0, 0, 0, 0);
  layerLayout->setSpacing(2);
  pnlSelectmark = new QLabel(pnlSelectModel);
  pnlSelectmark->setObjectName("pnlSelectmark");
  pnlSelectmark->setFrameShape(QFrame::StyledPanel);
  lvwSelectMark = new TLayerListView(this, pnlSelectModel);
  lvwSelectMark->setObjectName("lvwSelectMark");
  lvwSelectMark->setColumnCount(1);
  lvwSelectMark->setRootIsDecorated(false);
  lvwSelectMark->setSelectionMode(QAbstractItemView::ExtendedSelection);
  auto* layerButtons = new QHBoxLayout;
  const auto layerButton = [this, layerButtons, st](const char* name, QStyle::StandardPixmap icon) {
    auto* b = new QToolButton(pnlSelectModel);
    b->setObjectName(name);
    b->setIcon(st->standardIcon(icon));
    b->setAutoRaise(true);
    layerButtons->addWidget(b);
    return b;
  };
  btnUp = layerButton("btnUp", QStyle::SP_ArrowUp);
  btnDown = layerButton("btnDown", QStyle::SP_ArrowDown);
  btnClear = layerButton("btnClear", QStyle::SP_DialogDiscardButton);
  btnClearAll = layerButton("btnClearAll", QStyle::SP_DialogResetButton);
  layerButtons->addStretch(1);
  layerLayout->addWidget(pnlSelectmark);
  layerLayout->addWidget(lvwSelectMark, 1);
  layerLayout->addLayout(layerButtons);

  pnlPreview = new QWidget(splPreview_);
  pnlPreview->setObjectName("pnlPreview");
  // Never smaller than this, so the window can always be resized.
  pnlPreview->setMinimumSize(PreviewMinimumSize, PreviewMinimumSize);
  pnlView = new QWidget(pnlPreview);
  pnlView->setObjectName("pnlView");
  sbWidth = new QScrollBar(Qt::Horizontal, pnlPreview);
  sbWidth->setObjectName("sbWidth");
  sbHeight = new QScrollBar(Qt::Vertical, pnlPreview);
  sbHeight->setObjectName("sbHeight");
  sbWidth->hide();
  sbHeight->hide();
  opGL = new TGLPanel(pnlView);
  opGL->setObjectName("opGL");
  pbPreview = new TPreviewBox(this, opGL);
  splPreview_->setStretchFactor(0, 0);
  splPreview_->setStretchFactor(1, 0);
  splPreview_->setStretchFactor(2, 1);
  splPreview_->setCollapsible(2, false);
  splPreview_->setSizes({150, 150, 400});

  splMain_->setStretchFactor(0, 2);
  splMain_->setStretchFactor(1, 3);
  splMain_->setSizes({380, 620});

  // Status bar: panel 0 the batch, panel 1 the preview and the search.
  sbBar = new QStatusBar(this);
  sbBar->setObjectName("sbBar");
  setStatusBar(sbBar);
  statusPanels_[0] = new QLabel(sbBar);
  statusPanels_[0]->setObjectName("sbBarPanel0");
  statusPanels_[0]->setMinimumWidth(220);
  statusPanels_[1] = new QLabel(sbBar);
  statusPanels_[1]->setObjectName("sbBarPanel1");
  sbBar->addWidget(statusPanels_[0]);
  sbBar->addWidget(statusPanels_[1], 1);
  pnlPosition = new QWidget(sbBar);
  pnlPosition->setObjectName("pnlPosition");
  auto* positionLayout = new QHBoxLayout(pnlPosition);
  positionLayout->setContentsMargins(0, 0, 0, 0);
  pbPosition = new QProgressBar(pnlPosition);
  pbPosition->setObjectName("pbPosition");
  pbPosition->setMinimumWidth(200);
  positionLayout->addWidget(pbPosition);
  sbBar->addPermanentWidget(pnlPosition);
  pnlPosition->hide();
  statusPanels_[0]->setText(ReadyText);
}

void TfrmMain::Connect() {
  const auto on = [this](auto* sender, auto signal, void (TfrmMain::*handler)()) {
    connect(sender, signal, this, [this, handler] { Guarded([this, handler] { (this->*handler)(); }); });
  };
  on(tbMakeCurrently, &QToolButton::clicked, &TfrmMain::mnuCreateClick);
  on(tbCreateToNewFolder, &QToolButton::clicked, &TfrmMain::mnuCreateToNewFolderClick);
  on(tbStopTran, &QToolButton::clicked, &TfrmMain::mnuStopTranClick);
  on(tbDelmark, &QToolButton::clicked, &TfrmMain::miDelMarkClick);
  on(tbSetup, &QToolButton::clicked, &TfrmMain::mnuSetupClick);
  on(tbAutoFitWindow, &QToolButton::clicked, &TfrmMain::tbAutoFitWindowClick);
  on(tbTutorial, &QToolButton::clicked, &TfrmMain::tbTutorialClick);
  connect(tbExit, &QToolButton::clicked, this, [this] { Guarded([this] { close(); }); });
  on(sbGo, &QToolButton::clicked, &TfrmMain::sbGoClick);
  on(sbUP, &QToolButton::clicked, &TfrmMain::sbUPClick);
  on(edtAddress, &QLineEdit::returnPressed, &TfrmMain::sbGoClick);
  on(tbAddFile, &QToolButton::clicked, &TfrmMain::tbAddFileClick);
  on(tbAddAll, &QToolButton::clicked, &TfrmMain::tbAddAllClick);
  on(tbDelFile, &QToolButton::clicked, &TfrmMain::tbDelFileClick);
  on(tbDelAllFile, &QToolButton::clicked, &TfrmMain::tbDelAllFileClick);
  on(tbAddFolder, &QToolButton::clicked, &TfrmMain::tbAddFolderClick);
  on(tbStop, &QToolButton::clicked, &TfrmMain::tbStopClick);
  on(btnUp, &QToolButton::clicked, &TfrmMain::btnUpClick);
  on(btnDown, &QToolButton::clicked, &TfrmMain::btnDownClick);
  on(btnClear, &QToolButton::clicked, &TfrmMain::btnClearClick);
  on(btnClearAll, &QToolButton::clicked, &TfrmMain::btnClearAllClick);
  on(SpeedButton3, &QToolButton::clicked, &TfrmMain::SpeedButton3Click);
  on(SpeedButton4, &QToolButton::clicked, &TfrmMain::SpeedButton4Click);

  connect(tvwPath, &TShellTreeView::FolderChanged, this,
          [this](const QString& path) { Guarded([&] { tvwPathChange(path.toStdString()); }); });
  connect(lvwFile->header(), &QHeaderView::sectionClicked, this,
          [this](int column) { Guarded([&] { SortShellList(column); }); });
  connect(lvwFile, &QAbstractItemView::pressed, this, [this](const QModelIndex& index) {
    Guarded([&] {
      if (lvwFile->selectionModel()->selectedRows().size() >= 2) return;
      ShowPreview(0, fileModel_->filePath(shellList_->mapToSource(index)).toStdString());
    });
  });
  connect(lvwConvFile, &QTreeWidget::itemPressed, this, [this](QTreeWidgetItem* item) {
    Guarded([&] { ShowPreview(1, item->text(0).toStdString()); });
  });
  connect(chkMark, &QListWidget::itemChanged, this, [this] { Guarded([this] { chkMarkClickCheck(); }); });
  connect(chkMark, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    Guarded([&] { PopupMenu1->popup(chkMark->viewport()->mapToGlobal(pos)); });
  });
  connect(sbWidth, &QScrollBar::valueChanged, pbPreview, [this] { Guarded([this] { pbPreview->update(); }); });
  connect(sbHeight, &QScrollBar::valueChanged, pbPreview, [this] { Guarded([this] { pbPreview->update(); }); });

  ffFind->OnFileFound = [this](TFileFinder&, const std::string& directory, const TSearchRec& rec, bool&) {
    ffFindFileFound(directory, rec.Attr, rec.Name);
  };
  ffFind->OnStop = [this](TFileFinder&) { ffFindStop(); };

  lvwFile->installEventFilter(this);
  lvwConvFile->installEventFilter(this);
  chkMark->installEventFilter(this);
  imgWebPage->installEventFilter(this);
  pnlPreview->installEventFilter(this);
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
  {
    const QSignalBlocker blocker(tbAutoFitWindow);
    tbAutoFitWindow->setChecked(mnuAutoFitWindow->isChecked());
  }
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

void TfrmMain::ApplyLanguage() {
  const QString title = MessageText(msg::ProductTitle) + " " + ProgramVersion;
  // The title is the program's name for the desktop too; Qt then adds
  // nothing to the window's own title.
  QApplication::setApplicationDisplayName(title);
  setWindowTitle(title);
  for (const TLanguageTarget& t : LanguageTable) {
    QObject* target = findChild<QObject*>(t.Name);
    if (target == nullptr) continue;
    const QString text = MessageText(t.Number) + t.Suffix;
    if (t.Kind == 'C') {
      SetCaption(target, text);
    } else {
      SetHint(target, text);
    }
  }
  lvwSelectMark->setHeaderLabel(MessageText(322));
  UpdateFileSummary();
}

void TfrmMain::ApplySkin(int index) {
  if (index < 0 || index > 4) index = 0;
  if (index == 0) {
    mnuSkinDefault->setChecked(true);
    ProgramInfo().CfgSkin = 0;
    return;
  }
  // A stored skin cannot be drawn yet: the plain look shows and the choice
  // stays stored for the day it can.
  mnuSkinDefault->setChecked(true);
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
  if (batchRunning_ || searching_) {
    // Stop first; the window closes once the run has come back.
    closePending_ = true;
    Guarded([this] {
      if (batchRunning_) mnuStopTranClick();
      if (searching_) ffFind->Stop();
    });
    event->ignore();
    return;
  }
  QMainWindow::closeEvent(event);
}

void TfrmMain::FinishPendingClose() {
  if (!closePending_ || batchRunning_ || searching_) return;
  closePending_ = false;
  QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
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
  Guarded([&] { WMDropFiles(DroppedNames(*event->mimeData())); });
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyRelease && (watched == lvwFile || watched == lvwConvFile)) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_PageUp || key == Qt::Key_PageDown || key == Qt::Key_Up || key == Qt::Key_Down) {
      Guarded([&] { PreviewCurrentOf(static_cast<QAbstractItemView*>(watched)); });
    }
  } else if (event->type() == QEvent::KeyPress && watched == chkMark &&
             static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
    Guarded([this] { miDelMarkClick(); });
    return true;
  } else if (event->type() == QEvent::MouseButtonRelease && watched == imgWebPage) {
    Guarded([this] { mnuMainPageClick(); });
  } else if (event->type() == QEvent::Resize && watched == pnlPreview) {
    Guarded([this] { LayoutPreview(); });
  }
  return QMainWindow::eventFilter(watched, event);
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
  if (previewSource_ == 1) {
    const std::vector<std::string> files = ConvFiles();
    if (std::find(files.begin(), files.end(), previewFile_) == files.end()) ShowPreview(1, "");
  }
  UpdateFileSummary();
}

void TfrmMain::tbDelAllFileClick() {
  lvwConvFile->clear();
  if (previewSource_ == 1) ShowPreview(1, "");
  UpdateFileSummary();
}

void TfrmMain::WMDropFiles(const std::vector<std::string>& names) {
  AppendConvFiles(DroppedImageFiles(names, ConvFiles()));
  UpdateFileSummary();
}

void TfrmMain::tbAddFolderClick() {
  if (searching_ || batchRunning_) return;
  const std::string folder = tvwPath->Path();
  if (folder.empty() || !DirectoryExists(folder)) return;
  ffFind->Root = WithSlash(folder);
  foundFiles_.Clear();
  searching_ = true;
  tbAddFolder->setEnabled(false);
  tbStop->setEnabled(true);
  SetConvertCommandsEnabled(false);
  struct TEnd {
    TfrmMain* form;
    ~TEnd() {
      // A search that ended without its stop event still ends here.
      if (form->searching_) {
        try {
          form->ffFindStop();
        } catch (...) {
        }
      }
    }
  } end{this};
  ffFind->Execute();
}

void TfrmMain::ffFindFileFound(const std::string& directory, int attr, const std::string& name) {
  // Only regular files: a pipe or device with a picture's name would
  // block the batch that opens it.
  if ((attr & faDirectory) != 0 || (attr & faArchive) == 0) return;
  const std::string path = WithSlash(directory) + name;
  foundFiles_.Add(path);
  statusPanels_[1]->setText(Q(path));
}

void TfrmMain::ffFindStop() {
  if (!searching_) return;
  searching_ = false;
  AppendConvFiles(FoundImageFiles(foundFiles_.Lines(), ConvFiles()));
  statusPanels_[1]->clear();
  tbAddFolder->setEnabled(!batchRunning_);
  tbStop->setEnabled(false);
  UpdateFileSummary();
  FinishPendingClose();
}

void TfrmMain::tbStopClick() { ffFind->Stop(); }

void TfrmMain::UpdateFileSummary() {
  const std::vector<std::string> files = ConvFiles();
  const std::int64_t total = TotalFileSize(files);
  lvwConvFile->setHeaderLabel(
      Q(ConversionListCaption(GetMessageText(msg::ConversionListColumn), static_cast<int>(files.size()), total)));
  // While a batch or a search runs, its end decides; enabling here would
  // let a second run start inside the first.
  SetConvertCommandsEnabled(total > 0 && !batchRunning_ && !searching_);
}

void TfrmMain::SetConvertCommandsEnabled(bool enabled) {
  mnuCreate->setEnabled(enabled);
  mnuCreateToNewFolder->setEnabled(enabled);
  tbMakeCurrently->setEnabled(enabled);
  tbCreateToNewFolder->setEnabled(enabled);
}

void TfrmMain::SetStopCommandsEnabled(bool enabled) {
  mnuStopTran->setEnabled(enabled);
  tbStopTran->setEnabled(enabled);
}

// ---------------------------------------------------------------------------
// The batch

void TfrmMain::mnuCreateClick() {
  std::string folder = tvwPath->Path();
  if (folder.empty() || !DirectoryExists(folder)) {
    ShowMsg(GetMessageText(msg::OutputFolderMissing), 1, SystemMessageCaption);
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
  SetStopCommandsEnabled(false);
  stopRequested_ = true;
}

void TfrmMain::ConvertFiles(const std::string& folder) {
  if (batchRunning_) return;
  const std::vector<std::string> sources = ConvFiles();
  if (sources.empty()) {
    ShowMsg(GetMessageText(msg::ConversionListEmpty), 1, SystemMessageCaption);
    return;
  }
  const std::vector<std::string> markFiles = LayerMarkFiles();
  if (markFiles.empty() && ShowMsg(GetMessageText(msg::AskConvertWithoutMark), 5, SystemMessageCaption) != idYes) {
    return;
  }

  batchRunning_ = true;
  stopRequested_ = false;
  pnlPosition->show();
  SetStopCommandsEnabled(true);
  SetConvertCommandsEnabled(false);
  tbAddFolder->setEnabled(false);
  mnuSetup->setEnabled(false);
  tbSetup->setEnabled(false);
  const int count = static_cast<int>(sources.size());
  pbPosition->setRange(0, std::max(1, count - 1));
  pbPosition->setValue(0);

  struct TEnd {
    TfrmMain* form;
    ~TEnd() {
      try {
        form->pnlPosition->hide();
        form->statusPanels_[0]->setText(ReadyText);
        form->SetStopCommandsEnabled(false);
        form->stopRequested_ = false;
        form->batchRunning_ = false;
        form->tbAddFolder->setEnabled(!form->searching_);
        form->mnuSetup->setEnabled(true);
        form->tbSetup->setEnabled(true);
        form->UpdateFileSummary();
        form->FinishPendingClose();
      } catch (...) {
      }
    }
  } end{this};

  TBatchHooks hooks;
  hooks.QueryOverwrite = [](const std::string& question) { return Services().QueryOverwrite(question); };
  hooks.StopRequested = [this] { return stopRequested_; };
  hooks.ProcessMessages = [] { ProcessMessages(); };
  hooks.Progress = [this, count](int position, const std::string& outputName) {
    // One file has no range to walk; it is full once done.
    pbPosition->setValue(count == 1 ? 1 : position);
    statusPanels_[0]->setText(Q(outputName));
  };
  const TBatchResult result = RunBatch(markFiles, sources, folder, hooks);
  // A close asked for during the run wants the window gone, not the log.
  if (!closePending_) Services().ShowLog(result.Log);
}

// ---------------------------------------------------------------------------
// Marks and layers

std::vector<TMarkEntry> TfrmMain::MarkEntries() const {
  std::vector<TMarkEntry> marks;
  for (int i = 0; i < chkMark->count(); ++i) {
    const QListWidgetItem* item = chkMark->item(i);
    marks.push_back({item->text().toStdString(), item->checkState() == Qt::Checked});
  }
  return marks;
}

void TfrmMain::SetMarks(const std::vector<TMarkEntry>& marks) {
  const QSignalBlocker blocker(chkMark);
  const int current = chkMark->currentRow();
  chkMark->clear();
  for (const TMarkEntry& mark : marks) {
    auto* item = new QListWidgetItem(Q(mark.Name), chkMark);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(mark.Checked ? Qt::Checked : Qt::Unchecked);
  }
  if (current >= 0 && current < chkMark->count()) chkMark->setCurrentRow(current);
}

TLayerList TfrmMain::Layers() const {
  TLayerList layers;
  for (int i = 0; i < lvwSelectMark->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = lvwSelectMark->topLevelItem(i);
    layers.Items.push_back({item->text(0).toStdString(), item->isSelected()});
  }
  return layers;
}

void TfrmMain::SetLayers(const TLayerList& layers) {
  const QSignalBlocker blocker(lvwSelectMark);
  lvwSelectMark->clear();
  for (const TLayerItem& layer : layers.Items) {
    auto* item = new QTreeWidgetItem(lvwSelectMark);
    item->setText(0, Q(layer.Name));
    item->setFlags(item->flags() & ~Qt::ItemIsDropEnabled);
    item->setSelected(layer.Selected);
  }
}

std::vector<std::string> TfrmMain::LayerMarkFiles() const {
  std::vector<std::string> files;
  for (const std::string& name : Layers().NamesBottomFirst()) {
    const std::string file = GetMarkFileName(name);
    if (!file.empty()) files.push_back(file);
  }
  return files;
}

std::string TfrmMain::CurrentMarkName() const {
  const QListWidgetItem* item = chkMark->currentItem();
  return item != nullptr ? item->text().toStdString() : std::string();
}

void TfrmMain::RefreshMarkList() {
  std::set<std::string> checked;
  for (const TMarkEntry& mark : MarkEntries()) {
    if (mark.Checked) checked.insert(mark.Name);
  }
  std::vector<TMarkEntry> marks;
  for (const std::string& name : MarkNamesInFolder(ProgramInfo().GetMarkDir())) {
    marks.push_back({name, checked.count(name) > 0});
  }
  {
    const QSignalBlocker blocker(chkMark);
    SetMarks(marks);
    if (chkMark->count() > 0) chkMark->setCurrentRow(0);
  }
  // Marks gone from the folder take their layers with them.
  const TLayerList before = Layers();
  SyncLayers(true);
  if (!(Layers().Items == before.Items)) {
    UpdatePreview();
    LayoutPreview();
  }
}

void TfrmMain::SetMarkChecked(const std::string& name, bool checked) {
  for (int i = 0; i < chkMark->count(); ++i) {
    QListWidgetItem* item = chkMark->item(i);
    if (item->text().toStdString() == name) item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
  }
}

void TfrmMain::chkMarkClickCheck() {
  SyncLayers(true);
  UpdatePreview();
  LayoutPreview();
}

void TfrmMain::SyncLayers(bool fromChecks) {
  if (fromChecks) {
    TLayerList layers = Layers();
    SyncLayersFromChecks(MarkEntries(), layers);
    SetLayers(layers);
  } else {
    std::vector<TMarkEntry> marks = MarkEntries();
    SyncChecksFromLayers(marks, Layers());
    SetMarks(marks);
  }
}

void TfrmMain::miDelMarkClick() {
  const std::string name = CurrentMarkName();
  if (name.empty()) return;
  if (ShowMsg(GetMessageText(msg::AskDeleteMark), 5, SystemMessageCaption) != idYes) return;
  const std::string file = GetMarkFileName(name);
  if (!file.empty()) DeleteFile(file);
  RefreshMarkList();
  SyncLayers(true);
  UpdatePreview();
  LayoutPreview();
}

void TfrmMain::miInportMarkClick() {
  const std::vector<std::string> files = Services().ChooseMarkFiles(this);
  if (!files.empty()) {
    const std::string folder = ProgramInfo().GetMarkDir();
    ForceDirectories(folder);
    TStringList list;
    for (const std::string& file : files) list.Add(file);
    CopyFilesTo(list, folder, Services().QueryOverwrite);
  }
  RefreshMarkList();
}

void TfrmMain::miExportMarkClick() {
  const std::string name = CurrentMarkName();
  if (name.empty()) return;
  std::string folder;
  if (!Services().SelectFolder(folder)) return;
  const std::string file = GetMarkFileName(name);
  if (file.empty()) return;
  TStringList list;
  list.Add(file);
  CopyFilesTo(list, folder, Services().QueryOverwrite);
}

void TfrmMain::mnuRefreshMarkClick() { RefreshMarkList(); }

void TfrmMain::btnClearClick() {
  TLayerList layers = Layers();
  DeleteSelectedLayers(layers);
  SetLayers(layers);
  SyncLayers(false);
  UpdatePreview();
  LayoutPreview();
}

void TfrmMain::btnClearAllClick() {
  SetLayers(TLayerList());
  std::vector<TMarkEntry> marks = MarkEntries();
  for (TMarkEntry& mark : marks) mark.Checked = false;
  SetMarks(marks);
  UpdatePreview();
  LayoutPreview();
}

void TfrmMain::btnUpClick() {
  TLayerList layers = Layers();
  MoveSelectedLayers(layers, -1);
  SetLayers(layers);
  UpdatePreview();
  LayoutPreview();
}

void TfrmMain::btnDownClick() {
  TLayerList layers = Layers();
  MoveSelectedLayers(layers, 1);
  SetLayers(layers);
  UpdatePreview();
  LayoutPreview();
}

void TfrmMain::lvwSelectMarkDragDrop(const QPoint& pos) {
  QTreeWidgetItem* target = lvwSelectMark->itemAt(pos);
  if (target == nullptr) return;
  TLayerList layers = Layers();
  if (!DropSelectedLayers(layers, lvwSelectMark->indexOfTopLevelItem(target))) return;
  SetLayers(layers);
  UpdatePreview();
  LayoutPreview();
}

void TfrmMain::SpeedButton3Click() {
  pnlmark->setVisible(!pnlmark->isVisible());
  SpeedButton3->setChecked(pnlmark->isVisible());
}

void TfrmMain::SpeedButton4Click() {
  pnlSelectModel->setVisible(!pnlSelectModel->isVisible());
  SpeedButton4->setChecked(pnlSelectModel->isVisible());
}

// ---------------------------------------------------------------------------
// Preview

QLabel* TfrmMain::StatusPanel(int index) const { return statusPanels_[index == 0 ? 0 : 1]; }

void TfrmMain::PreviewCurrentOf(QAbstractItemView* view) {
  if (view == lvwFile) {
    const QModelIndex current = lvwFile->currentIndex();
    if (current.isValid()) ShowPreview(0, fileModel_->filePath(shellList_->mapToSource(current)).toStdString());
  } else if (view == lvwConvFile) {
    if (const QTreeWidgetItem* item = lvwConvFile->currentItem()) ShowPreview(1, item->text(0).toStdString());
  }
}

void TfrmMain::ClearPreview() {
  imgTemp_ = TBitmap();
  hasPicture_ = false;
  previewBitmap_ = TBitmap();
  previewBitmap_.SetPixelFormat(pf24bit);
  displayBitmap_ = TBitmap();
  displayBitmap_.SetPixelFormat(pf24bit);
  hasMarks_ = false;
  previewFile_.clear();
  previewSource_ = 2;
  statusPanels_[1]->clear();
  LayoutPreview();
}

void TfrmMain::ShowPreview(int source, const std::string& file) {
  if (file.empty()) {
    ClearPreview();
    return;
  }
  if (!FileExists(file)) return;
  TBitmap picture;
  try {
    picture = LoadPreviewPicture(file);
  } catch (const std::exception&) {
    return;  // a picture that does not load leaves the preview as it was
  }
  imgTemp_ = std::move(picture);
  hasPicture_ = true;
  previewFile_ = file;
  previewSource_ = source;
  statusPanels_[1]->setText(Q(PreviewStatusText(GetMessageText(msg::PreviewFileType), file, GetFileSizeByName(file),
                                                imgTemp_.Width(), imgTemp_.Height())));
  UpdatePreview();
  LayoutPreview();
}

void TfrmMain::UpdatePreview() {
  if (!hasPicture_) return;
  sbWidth->setValue(0);
  sbHeight->setValue(0);
  TBitmap marked(imgTemp_);
  marked.SetPixelFormat(pf24bit);
  const std::vector<std::string> files = LayerMarkFiles();
  hasMarks_ = !files.empty();
  if (hasMarks_) TMark::ApplyMarksToPicture(marked, files);
  previewBitmap_ = std::move(marked);
}

void TfrmMain::LayoutPreview() {
  const TPoint panel{pnlPreview->width(), pnlPreview->height()};
  if (previewBitmap_.Width() <= 0 || previewBitmap_.Height() <= 0) {
    sbWidth->hide();
    sbHeight->hide();
    pnlView->setGeometry(0, 0, panel.X, panel.Y);
    opGL->setGeometry(0, 0, 0, 0);
    pbPreview->setGeometry(0, 0, 0, 0);
    displayBitmap_ = TBitmap();
    displayBitmap_.SetPixelFormat(pf24bit);
    pbPreview->update();
    return;
  }
  const bool autoFit = mnuAutoFitWindow->isChecked();
  const TPoint picture{previewBitmap_.Width(), previewBitmap_.Height()};
  const int barWidth = sbHeight->sizeHint().width();
  const int barHeight = sbWidth->sizeHint().height();
  const TPreviewLayout layout = LayoutPreviewArea(autoFit, panel, picture, barWidth, barHeight);

  if (autoFit) {
    sbWidth->hide();
    sbHeight->hide();
    TBitmap fitted;
    fitted.SetPixelFormat(pf24bit);
    if (layout.DisplaySize.X > 0 && layout.DisplaySize.Y > 0) {
      fitted.SetSize(layout.DisplaySize.X, layout.DisplaySize.Y);
      fitted.Canvas().StretchDraw(TRect{0, 0, layout.DisplaySize.X, layout.DisplaySize.Y}, previewBitmap_);
    }
    displayBitmap_ = std::move(fitted);
  } else {
    displayBitmap_ = previewBitmap_;
    const auto setUp = [](QScrollBar* bar, const TScrollSetup& s) {
      const QSignalBlocker blocker(bar);
      bar->setRange(0, s.Max);
      bar->setPageStep(std::max(1, s.PageStep));
      bar->setSingleStep(std::max(1, s.LineStep));
      bar->setValue(0);
    };
    setUp(sbWidth, layout.Horizontal);
    setUp(sbHeight, layout.Vertical);
    sbWidth->setGeometry(0, layout.ViewSize.Y, layout.ViewSize.X, barHeight);
    sbHeight->setGeometry(layout.ViewSize.X, 0, barWidth, layout.ViewSize.Y);
    sbWidth->show();
    sbHeight->show();
  }
  pnlView->setGeometry(0, 0, layout.ViewSize.X, layout.ViewSize.Y);
  const TRect& r = layout.PictureRect;
  opGL->setGeometry(r.Left, r.Top, r.Width(), r.Height());
  pbPreview->setGeometry(0, 0, r.Width(), r.Height());
  pbPreview->update();
}

void TfrmMain::PaintPreview(QWidget& box) {
  QPainter painter(&box);
  painter.fillRect(box.rect(), box.palette().window());
  if (displayBitmap_.Width() <= 0 || displayBitmap_.Height() <= 0) return;
  const QImage image = WrapBitmap(displayBitmap_);
  const bool autoFit = mnuAutoFitWindow->isChecked();
  const int x = autoFit ? 0 : -sbWidth->value();
  const int y = autoFit ? 0 : -sbHeight->value();
  painter.drawImage(x, y, image);
}

void TfrmMain::PreviewMouseDown(Qt::MouseButton button, const QPoint& pos) {
  if (button != Qt::LeftButton || mnuAutoFitWindow->isChecked()) return;
  panning_ = true;
  panStart_ = pos;
  panStartPosX_ = sbWidth->value();
  panStartPosY_ = sbHeight->value();
}

void TfrmMain::PreviewMouseMove(Qt::MouseButtons buttons, const QPoint& pos) {
  if (!panning_ || buttons != Qt::LeftButton) return;
  sbWidth->setValue(panStartPosX_ - (pos.x() - panStart_.x()));
  sbHeight->setValue(panStartPosY_ - (pos.y() - panStart_.y()));
}

void TfrmMain::PreviewMouseUp(Qt::MouseButton button) {
  if (button == Qt::LeftButton) panning_ = false;
}

void TfrmMain::mnuAutoFitWindowClick() {
  {
    const QSignalBlocker blocker(tbAutoFitWindow);
    tbAutoFitWindow->setChecked(mnuAutoFitWindow->isChecked());
  }
  sbWidth->setValue(0);
  sbHeight->setValue(0);
  LayoutPreview();
}

void TfrmMain::tbAutoFitWindowClick() {
  {
    const QSignalBlocker blocker(mnuAutoFitWindow);
    mnuAutoFitWindow->setChecked(tbAutoFitWindow->isChecked());
  }
  sbWidth->setValue(0);
  sbHeight->setValue(0);
  LayoutPreview();
}

void TfrmMain::mnuSaveAsClick() {
  if (previewBitmap_.Width() <= 0 || previewBitmap_.Height() <= 0) return;
  const std::optional<std::string> name = Services().ChoosePreviewSaveName(this);
  if (!name || name->empty()) return;
  if (FileExists(*name) && ShowMsg(GetMessageText(msg::AskReplaceExisting), 5, SystemMessageCaption) != idYes) return;
  // The preview itself stays as it is; the writer converts a copy.
  SaveImageFile(previewBitmap_, *name);
}

// ---------------------------------------------------------------------------
// Help, outside programs and the settings window

void TfrmMain::mnuHelpClick() { HtmlHelp(HelpFileName()); }

void TfrmMain::tbTutorialClick() { HtmlHelp(HelpFileName() + "::/实例教程.htm"); }

void TfrmMain::mnuVeilpaintClick() {
  const std::string program = ProgramDir() + MaskEditorName;
  if (FileExists(program) && ::access(program.c_str(), X_OK) == 0 &&
      Services().StartProgram(program, ProgramDir())) {
    return;
  }
  ShowMsg(GetMessageText(msg::MaskEditorMissing) + "\n" + program, 1, SystemMessageCaption);
}

void TfrmMain::mnuMainPageClick() {
  if (TGuiHandler* handler = GuiHandler()) handler->OpenWithDesktop(HomePageAddress);
}

void TfrmMain::mnuSetupClick() {
  // The settings decide how the running batch writes its files.
  if (batchRunning_) return;
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
    ShowPreview(1, first->text(0).toStdString());
  }
  UpdateFileSummary();
}
