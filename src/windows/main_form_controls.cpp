// The main window's construction: its menus, tool bar and controls, their
// connections, and the captions from its language table
// (main_form_captions.cpp).

#include <QAbstractButton>
#include <QActionGroup>
#include <QApplication>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/messages.h"
#include "windows/file_finder.h"
#include "windows/form_support.h"
#include "windows/gl_panel.h"
#include "windows/main_form.h"
#include "windows/main_form_captions.h"
#include "windows/path_labels.h"
#include "windows/shell_tree.h"

namespace {

void SetCaption(QObject* target, const QString& text) {
  if (auto* menu = qobject_cast<QMenu*>(target)) {
    menu->setTitle(text);
  } else if (auto* action = qobject_cast<QAction*>(target)) {
    action->setText(text);
  } else if (auto* tool = qobject_cast<QToolButton*>(target); tool && tool->defaultAction()) {
    // The button shows its command's icon text; the menu keeps the text.
    tool->defaultAction()->setIconText(text);
  } else if (auto* button = qobject_cast<QAbstractButton*>(target)) {
    button->setText(text);
  } else if (auto* label = qobject_cast<QLabel*>(target)) {
    label->setText(text);
  } else if (auto* bar = qobject_cast<QToolBar*>(target)) {
    bar->setWindowTitle(text);
  }
}

void SetHint(QObject* target, const QString& text) {
  if (auto* tool = qobject_cast<QToolButton*>(target); tool && tool->defaultAction()) {
    tool->defaultAction()->setToolTip(text);
  } else if (auto* action = qobject_cast<QAction*>(target)) {
    action->setToolTip(text);
  } else if (auto* widget = qobject_cast<QWidget*>(target)) {
    widget->setToolTip(text);
  }
}

// A command: an action with its handler.
template <class F>
QAction* NewAction(TfrmMain* form, const char* name, F&& handler) {
  auto* action = new QAction(form);
  action->setObjectName(name);
  QObject::connect(action, &QAction::triggered, form, [handler] { Guarded(handler); });
  return action;
}

}  // namespace

void FollowAction(QAction* follower, QAction* leader) {
  const auto follow = [follower, leader] {
    follower->setEnabled(leader->isEnabled());
    follower->setVisible(leader->isVisible());
  };
  follow();
  QObject::connect(leader, &QAction::changed, follower, follow);
  QObject::connect(follower, &QAction::triggered, leader, [leader] { leader->trigger(); });
}

void TfrmMain::CreateMenus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName("mmMain");

  mnuFile = bar->addMenu(QString());
  mnuFile->setObjectName("mnuFile");
  mnuVeilpaint = NewAction(this, "mnuVeilpaint", [this] { mnuVeilpaintClick(); });
  mnuInportMark = NewAction(this, "mnuInportMark", [this] { miInportMarkClick(); });
  mnuExportMark = NewAction(this, "mnuExportMark", [this] { miExportMarkClick(); });
  mnuExit = NewAction(this, "mnuExit", [this] { close(); });
  mnuFile->addAction(mnuVeilpaint);
  mnuFile->addSeparator();
  mnuFile->addAction(mnuInportMark);
  mnuFile->addAction(mnuExportMark);
  mnuFile->addSeparator();
  mnuFile->addAction(mnuExit);

  mnuMakemark = bar->addMenu(QString());
  mnuMakemark->setObjectName("mnuMakemark");
  mnuCreate = NewAction(this, "mnuCreate", [this] { mnuCreateClick(); });
  mnuCreateToNewFolder = NewAction(this, "mnuCreateToNewFolder", [this] { mnuCreateToNewFolderClick(); });
  mnuStopTran = NewAction(this, "mnuStopTran", [this] { mnuStopTranClick(); });
  mnuMakemark->addAction(mnuCreate);
  mnuMakemark->addAction(mnuCreateToNewFolder);
  mnuMakemark->addAction(mnuStopTran);
  mnuMakemark->addSeparator();
  mnuS0 = mnuMakemark->addMenu(QString());
  mnuS0->setObjectName("mnuS0");
  mnuNewmark = NewAction(this, "mnuNewmark", [this] { mnuNewmarkClick(); });
  mnuEditmark = NewAction(this, "mnuEditmark", [this] { mnuEditmarkClick(); });
  mnuDelmark = NewAction(this, "mnuDelmark", [this] { miDelMarkClick(); });
  mnuS0->addAction(mnuNewmark);
  mnuS0->addAction(mnuEditmark);
  mnuS0->addAction(mnuDelmark);

  mnuView = bar->addMenu(QString());
  mnuView->setObjectName("mnuView");
  mnuBrowse = NewAction(this, "mnuBrowse", [this] { mnuBrowseClick(); });
  actViewPreview = NewAction(this, "actViewPreview", [this] { actViewPreviewClick(); });
  mnuRefresh = NewAction(this, "mnuRefresh", [this] { mnuRefreshClick(); });
  mnuAutoFitWindow = NewAction(this, "mnuAutoFitWindow", [this] { mnuAutoFitWindowClick(); });
  mnuAutoFitWindow->setCheckable(true);
  mnuView->addAction(mnuBrowse);
  mnuView->addAction(mnuRefresh);
  mnuView->addAction(mnuAutoFitWindow);
  mnuView->addSeparator();
  CreateSkinAndLanguageMenus();

  mnuTools = bar->addMenu(QString());
  mnuTools->setObjectName("mnuTools");
  mnuSetup = NewAction(this, "mnuSetup", [this] { mnuSetupClick(); });
  mnuTools->addAction(mnuSetup);

  mnuH0 = bar->addMenu(QString());
  mnuH0->setObjectName("mnuH0");
  mnuHelp = NewAction(this, "mnuHelp", [this] { mnuHelpClick(); });
  mnuMainPage = NewAction(this, "mnuMainPage", [this] { mnuMainPageClick(); });
  mnuH0->addAction(mnuHelp);
  mnuH0->addAction(mnuMainPage);
  CreatePopupMenus();
}

void TfrmMain::CreateSkinAndLanguageMenus() {
  mnuSkin = mnuView->addMenu(QString());
  mnuSkin->setObjectName("mnuSkin");
  skinGroup_ = new QActionGroup(this);
  skinGroup_->setExclusive(true);
  const char* skinNames[] = {"mnuSkinDefault", "mnuSkin1", "mnuSkin2", "mnuSkin3", "mnuSkin4"};
  QAction* skins[5];
  for (int i = 0; i < 5; ++i) {
    skins[i] = NewAction(this, skinNames[i], [this, i] { ApplySkin(i); });
    skins[i]->setCheckable(true);
    skins[i]->setData(i);
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
}

void TfrmMain::CreatePopupMenus() {
  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName("PopupMenu1");
  const auto popupItem = [this](const char* name, QAction* leader) {
    auto* item = new QAction(this);
    item->setObjectName(name);
    FollowAction(item, leader);
    return item;
  };
  miAddMark = popupItem("miAddMark", mnuNewmark);
  miEditMark = popupItem("miEditMark", mnuEditmark);
  miDelMark = popupItem("miDelMark", mnuDelmark);
  miInportMark = popupItem("miInportMark", mnuInportMark);
  miExportMark = popupItem("miExportMark", mnuExportMark);
  mnuRefreshMark = NewAction(this, "mnuRefreshMark", [this] { mnuRefreshMarkClick(); });
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
  mnuSaveAs = NewAction(this, "mnuSaveAs", [this] { mnuSaveAsClick(); });
  PopupMenu2->addAction(mnuSaveAs);
}

void TfrmMain::CreateToolBar() {
  tbrMain = addToolBar(QString());
  tbrMain->setObjectName("tbrMain");
  tbrMain->setMovable(false);
  QStyle* st = style();
  const auto button = [this, st](const char* name, QStyle::StandardPixmap icon, bool withText, QAction* command) {
    auto* b = new QToolButton(this);
    b->setObjectName(name);
    b->setAutoRaise(true);
    b->setToolButtonStyle(withText ? Qt::ToolButtonTextBesideIcon : Qt::ToolButtonIconOnly);
    if (command != nullptr) {
      // The menu shows the command without the button's picture.
      command->setIcon(st->standardIcon(icon));
      command->setIconVisibleInMenu(false);
      b->setDefaultAction(command);
    } else {
      b->setIcon(st->standardIcon(icon));
    }
    tbrMain->addWidget(b);
    return b;
  };
  tbMakeCurrently = button("tbMakeCurrently", QStyle::SP_DialogApplyButton, true, mnuCreate);
  tbCreateToNewFolder = button("tbCreateToNewFolder", QStyle::SP_FileDialogNewFolder, false, mnuCreateToNewFolder);
  tbStopTran = button("tbStopTran", QStyle::SP_MediaStop, false, mnuStopTran);
  tbrMain->addSeparator();
  tbNewmark = button("tbNewmark", QStyle::SP_FileIcon, false, mnuNewmark);
  tbEditmark = button("tbEditmark", QStyle::SP_FileDialogDetailedView, false, mnuEditmark);
  tbDelmark = button("tbDelmark", QStyle::SP_TrashIcon, false, mnuDelmark);
  tbrMain->addSeparator();
  tbSetup = button("tbSetup", QStyle::SP_FileDialogContentsView, true, mnuSetup);
  tbBrowse = button("tbBrowse", QStyle::SP_DesktopIcon, false, mnuBrowse);
  tbAutoFitWindow = button("tbAutoFitWindow", QStyle::SP_TitleBarMaxButton, false, mnuAutoFitWindow);
  tbrMain->addSeparator();
  tbTutorial = button("tbTutorial", QStyle::SP_DialogHelpButton, true, nullptr);
  tbExit = button("tbExit", QStyle::SP_DialogCloseButton, true, mnuExit);

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
  auto* central = new QWidget(this);
  central->setObjectName("pnlClient");
  setCentralWidget(central);
  auto* mainLayout = new QVBoxLayout(central);
  mainLayout->setContentsMargins(4, 4, 4, 4);
  mainLayout->setSpacing(4);
  mainLayout->addWidget(CreateAddressBar(central));

  splMain_ = new QSplitter(Qt::Horizontal, central);
  splMain_->setObjectName("splMain");
  mainLayout->addWidget(splMain_, 1);
  CreateBrowsePane(splMain_);
  CreateMarkPane(splMain_);
  splMain_->setStretchFactor(0, 2);
  splMain_->setStretchFactor(1, 3);
  splMain_->setSizes({380, 620});

  CreateStatusBar();
}

QWidget* TfrmMain::CreateAddressBar(QWidget* central) {
  QStyle* st = style();
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
  return pnlAddress;
}

void TfrmMain::CreateBrowsePane(QSplitter* host) {
  QStyle* st = style();
  auto* left = new QSplitter(Qt::Vertical, host);
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
  lvwConvFile = new TConvFileList(lvwFile, conv);
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
}

void TfrmMain::CreateMarkPane(QSplitter* host) {
  QStyle* st = style();
  auto* right = new QWidget(host);
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
  lvwSelectMark = new TLayerListView(pnlSelectModel);
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

  pnlPreview = new TPreviewPanel(splPreview_);
  pnlView = pnlPreview->pnlView;
  sbWidth = pnlPreview->sbWidth;
  sbHeight = pnlPreview->sbHeight;
  opGL = pnlPreview->opGL;
  pbPreview = pnlPreview->pbPreview;
  splPreview_->setStretchFactor(0, 0);
  splPreview_->setStretchFactor(1, 0);
  splPreview_->setStretchFactor(2, 1);
  splPreview_->setCollapsible(2, false);
  splPreview_->setSizes({150, 150, 400});
}

void TfrmMain::CreateStatusBar() {
  sbBar = new QStatusBar(this);
  sbBar->setObjectName("sbBar");
  setStatusBar(sbBar);
  // A panel shows file names and paths; it never widens the window.
  statusPanels_[0] = new TElidedLabel(sbBar);
  statusPanels_[0]->setObjectName("sbBarPanel0");
  statusPanels_[0]->setMinimumWidth(220);
  statusPanels_[1] = new TElidedLabel(sbBar);
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
  statusPanels_[0]->SetFullText(ReadyText);
}

void TfrmMain::Connect() {
  const auto on = [this](auto* sender, auto signal, void (TfrmMain::*handler)()) {
    connect(sender, signal, this, [this, handler] { Guarded([this, handler] { (this->*handler)(); }); });
  };
  // The other tool buttons trigger their commands.
  on(tbTutorial, &QToolButton::clicked, &TfrmMain::tbTutorialClick);
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
      ShowPreview(vmShellList, fileModel_->filePath(shellList_->mapToSource(index)).toStdString());
    });
  });
  connect(lvwConvFile, &QTreeWidget::itemPressed, this, [this](QTreeWidgetItem* item) {
    Guarded([&] { ShowPreview(vmConvList, item->text(0).toStdString()); });
  });
  connect(chkMark, &QListWidget::itemChanged, this, [this] { Guarded([this] { chkMarkClickCheck(); }); });
  connect(chkMark, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    Guarded([&] { PopupMenu1->popup(chkMark->viewport()->mapToGlobal(pos)); });
  });
  for (QAbstractItemView* list : {static_cast<QAbstractItemView*>(chkMark), static_cast<QAbstractItemView*>(lvwFile),
                                  static_cast<QAbstractItemView*>(lvwConvFile)}) {
    connect(list, &QAbstractItemView::doubleClicked, this, [this, list] { Guarded([&] { ListActivated(list); }); });
  }
  connect(lvwConvFile, &TConvFileList::SourceSelectionDropped, this, [this] { Guarded([this] { AddShellSelection(); }); });
  connect(lvwConvFile, &TConvFileList::FilesDropped, this, [this](const QStringList& files) {
    Guarded([&] {
      std::vector<std::string> names;
      for (const QString& f : files) names.push_back(f.toStdString());
      WMDropFiles(names);
    });
  });
  connect(lvwSelectMark, &TLayerListView::LayersDropped, this,
          [this](const QPoint& pos) { Guarded([&] { lvwSelectMarkDragDrop(pos); }); });
  connect(pnlPreview, &TPreviewPanel::ContextMenuRequested, this,
          [this](const QPoint& pos) { Guarded([&] { PopupMenu2->popup(pos); }); });
  connect(pnlPreview, &TPreviewPanel::DoubleClicked, this, [this] {
    Guarded([this] {
      if (actViewPreview->isEnabled()) actViewPreview->trigger();
    });
  });

  ffFind->OnFileFound = [this](TFileFinder&, const std::string& directory, const TSearchRec& rec, bool&) {
    ffFindFileFound(directory, rec.Attr, rec.Name);
  };
  ffFind->OnStop = [this](TFileFinder&) { ffFindStop(); };

  lvwFile->installEventFilter(this);
  lvwConvFile->installEventFilter(this);
  chkMark->installEventFilter(this);
  imgWebPage->installEventFilter(this);
}

void TfrmMain::ApplyLanguage() {
  const QString title = MessageText(msg::ProductTitle) + " " + ProgramVersion;
  SetApplicationTitle(title);
  setWindowTitle(title);
  for (const TLanguageTarget& t : MainFormCaptions()) {
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

