#include "windows/main_lists.h"

#include <QDir>
#include <QDropEvent>
#include <QFileSystemModel>
#include <QMimeData>
#include <QUrl>

#include "app/routines.h"
#include "core/files.h"

std::vector<std::string> DroppedLocalFiles(const QMimeData& data) {
  std::vector<std::string> names;
  for (const QUrl& url : data.urls()) {
    if (url.isLocalFile()) names.push_back(url.toLocalFile().toStdString());
  }
  return names;
}

// ---------------------------------------------------------------------------

TShellListModel::TShellListModel(QFileSystemModel* source, QObject* parent)
    : QSortFilterProxyModel(parent), files_(source) {
  setSourceModel(source);
  setDynamicSortFilter(true);
}

void TShellListModel::SetFolder(const QString& folder) {
  folder_ = folder;
  invalidateFilter();
}

void TShellListModel::SetOrder(int column, bool descending) {
  column_ = column;
  descending_ = descending;
  invalidate();
  sort(0, Qt::AscendingOrder);
}

TShellEntry TShellListModel::Entry(const QModelIndex& sourceIndex) const {
  const QModelIndex index = sourceIndex.siblingAtColumn(0);
  TShellEntry e;
  e.Name = files_->fileName(index).toStdString();
  e.Size = files_->size(index);
  e.Type = files_->type(index).toStdString();
  e.Modified = files_->lastModified(index).toMSecsSinceEpoch();
  return e;
}

void TShellListModel::SuspendUpdates() {
  if (suspended_++ == 0) files_->setOption(QFileSystemModel::DontWatchForChanges, true);
}

void TShellListModel::ResumeUpdates() {
  if (suspended_ == 0 || --suspended_ > 0) return;
  files_->setOption(QFileSystemModel::DontWatchForChanges, false);
  // The model reads a folder again (and follows it again) when the folder
  // becomes its root anew; the folder's rows and the view's root stay.
  const QString root = files_->rootPath();
  if (root.isEmpty() || root == ".") return;
  files_->setRootPath(root == QDir::rootPath() ? QDir::homePath() : QDir::rootPath());
  files_->setRootPath(root);
}

bool TShellListModel::filterAcceptsRow(int row, const QModelIndex& parent) const {
  // The folders on the way to the shown one stay, or it could not be
  // reached; inside it only image files count.
  if (files_->filePath(parent) != folder_) return true;
  const QModelIndex index = files_->index(row, 0, parent);
  const std::string path = files_->filePath(index).toStdString();
  return !files_->isDir(index) && FileExists(path) && IsImageFile(Trim(path));
}

bool TShellListModel::lessThan(const QModelIndex& left, const QModelIndex& right) const {
  return ShellListCompare(Entry(left), Entry(right), column_, descending_) < 0;
}

// ---------------------------------------------------------------------------

TConvFileList::TConvFileList(QWidget* dragSource, QWidget* parent) : QTreeWidget(parent), dragSource_(dragSource) {
  setAcceptDrops(true);
  setDragDropMode(QAbstractItemView::DropOnly);
}

bool TConvFileList::Accepts(const QDropEvent* event) const {
  if (event->source() == dragSource_) return true;
  return event->source() == nullptr && event->mimeData()->hasUrls();
}

void TConvFileList::dragEnterEvent(QDragEnterEvent* event) { dragMoveEvent(event); }

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
  if (event->source() == dragSource_) {
    emit SourceSelectionDropped();
    return;
  }
  QStringList files;
  for (const std::string& name : DroppedLocalFiles(*event->mimeData())) files << QString::fromStdString(name);
  emit FilesDropped(files);
}

// ---------------------------------------------------------------------------

TLayerListView::TLayerListView(QWidget* parent) : QTreeWidget(parent) {
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
  // The items are moved by the form; the view itself must not copy or
  // remove any.
  event->setDropAction(Qt::CopyAction);
  event->accept();
  emit LayersDropped(event->position().toPoint());
}
