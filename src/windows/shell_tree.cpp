#include "windows/shell_tree.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>

#include <vector>

#include "app/routines.h"
#include "core/scope_exit.h"
#include "windows/form_support.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

TShellTreeView::TShellTreeView(QWidget* parent) : QTreeView(parent), model_(new QFileSystemModel(this)) {
  model_->setFilter(QDir::AllDirs | QDir::Drives | QDir::NoDotAndDotDot);
  model_->setReadOnly(true);
  model_->setRootPath(QString());
  setModel(model_);
  for (int column = 1; column < model_->columnCount(); ++column) hideColumn(column);
  setHeaderHidden(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setUniformRowHeights(true);
  setAnimated(false);
  // Folders arrive from the background and are sorted a moment later,
  // each time shifting the rows below them; the target is followed after
  // every such change until the user moves the tree.
  const auto follow = [this] { Guarded([this] { FollowTarget(); }); };
  connect(model_, &QFileSystemModel::directoryLoaded, this, follow, Qt::QueuedConnection);
  connect(model_, &QAbstractItemModel::rowsInserted, this, follow, Qt::QueuedConnection);
  connect(model_, &QAbstractItemModel::layoutChanged, this, follow, Qt::QueuedConnection);
  for (QScrollBar* bar : {verticalScrollBar(), horizontalScrollBar()}) {
    connect(bar, &QAbstractSlider::actionTriggered, this, [this] { Guarded([this] { followTarget_ = false; }); });
  }
  // A new tree starts at the user's home folder, the desktop's place here.
  ShellTreeGotoPath(*this, QDir::homePath().toStdString());
}

std::string TShellTreeView::Path() const {
  const TShellNode node = SelectedNode();
  return node.Exists ? NodePath(node) : lostPath_;
}

TShellNode TShellTreeView::SelectedNode() const {
  const QModelIndex current = currentIndex();
  if (!current.isValid()) return TShellNode::None();
  return {true, QPersistentModelIndex(current.siblingAtColumn(0))};
}

std::string TShellTreeView::NodeText(const TShellNode& node) const {
  if (!node.Exists) return std::string();
  if (node.IsComputer()) return GetMyComputerName();
  return model_->data(node.Index, Qt::DisplayRole).toString().toStdString();
}

std::string TShellTreeView::NodePath(const TShellNode& node) const {
  if (!node.Exists || node.IsComputer()) return std::string();
  return model_->filePath(node.Index).toStdString();
}

TShellNode TShellTreeView::NodeOfFolder(const std::string& path) const {
  // Asking the model for a file would put it into the folder tree; hidden
  // folders are not part of it either.
  const QFileInfo info(Q(path));
  if (path.empty() || !info.isDir()) return TShellNode::None();
  if (info.fileName().startsWith('.') && !(model_->filter() & QDir::Hidden)) return TShellNode::None();
  const QModelIndex index = model_->index(Q(path));
  if (!index.isValid()) return TShellNode::None();
  return {true, QPersistentModelIndex(index)};
}

TShellNode TShellTreeView::ParentNode(const TShellNode& node) const {
  if (!node.Exists || node.IsComputer()) return TShellNode::None();
  const QModelIndex parent = node.Index.parent();
  if (!parent.isValid()) return TShellNode::Computer();
  return {true, QPersistentModelIndex(parent)};
}

void TShellTreeView::SelectNode(const TShellNode& node) {
  if (!node.Exists || node.IsComputer()) return;
  setCurrentIndex(node.Index);
  scrollTo(node.Index);
  followTarget_ = true;
}

void TShellTreeView::ExpandNode(const TShellNode& node) {
  if (!node.Exists || node.IsComputer()) return;  // the computer is the view's root, always open
  expand(node.Index);
}

void TShellTreeView::RefreshSelected() {
  const std::string folder = Path();
  if (folder.empty()) return;
  // Every sub-folder gets its node now, whether the model has noticed it
  // yet or not.
  const QDir dir(Q(folder));
  for (const QString& name : dir.entryList(QDir::AllDirs | QDir::NoDotAndDotDot)) {
    model_->index(dir.filePath(name));
  }
}

void TShellTreeView::SuspendFolderChanged() { ++suspended_; }

void TShellTreeView::ResumeFolderChanged() {
  if (suspended_ > 0 && --suspended_ == 0) emit FolderChanged(Q(Path()));
}

void TShellTreeView::mousePressEvent(QMouseEvent* event) {
  followTarget_ = false;  // the user takes over
  // A right click selects the folder under the mouse as well.
  if (event->button() == Qt::RightButton) {
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid()) setCurrentIndex(index);
  }
  QTreeView::mousePressEvent(event);
}

void TShellTreeView::keyPressEvent(QKeyEvent* event) {
  followTarget_ = false;  // the user takes over
  QTreeView::keyPressEvent(event);
}

void TShellTreeView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTreeView::currentChanged(current, previous);
  // The view moves off a folder that goes away; that is no choice.
  if (losingCurrent_) return;
  if (current.isValid()) lostPath_.clear();
  if (suspended_ == 0) emit FolderChanged(Q(Path()));
}

void TShellTreeView::rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) {
  // Is the selected folder, or a folder above it, among the rows going?
  bool losing = false;
  for (QModelIndex i = currentIndex(); i.isValid() && !losing; i = i.parent()) {
    losing = i.parent() == parent && i.row() >= start && i.row() <= end;
  }
  if (!losing) {
    QTreeView::rowsAboutToBeRemoved(parent, start, end);
    return;
  }
  const std::string path = Path();
  losingCurrent_ = true;
  const TScopeExit done([this] { losingCurrent_ = false; });
  QTreeView::rowsAboutToBeRemoved(parent, start, end);
  selectionModel()->clear();
  lostPath_ = path;
  followTarget_ = false;
}

void TShellTreeView::FollowTarget() {
  if (followTarget_ && currentIndex().isValid()) scrollTo(currentIndex(), QAbstractItemView::PositionAtCenter);
}

// ---------------------------------------------------------------------------

TShellNode FindChildNode(TShellTreeView& tree, const TShellNode& node, const std::string& part) {
  if (!node.Exists || part.empty()) return TShellNode::None();
  TShellNode child;
  if (part.back() == '/' && node.IsComputer()) {
    // A root: the child whose folder is exactly part.
    const TShellNode root = tree.NodeOfFolder(part);
    if (root.Exists && tree.ParentNode(root).IsComputer() && tree.NodePath(root) == part) child = root;
  }
  if (!child.Exists && part.find('/') == std::string::npos && part != "." && part != ".." && !node.IsComputer()) {
    std::string parentPath = tree.NodePath(node);
    if (parentPath.empty() || parentPath.back() != '/') parentPath += '/';
    const TShellNode folder = tree.NodeOfFolder(parentPath + part);
    // Names are compared exactly, letter case included.
    if (folder.Exists && tree.NodeText(folder) == part && tree.ParentNode(folder).Index == node.Index) child = folder;
  }
  if (child.Exists) tree.ExpandNode(child);
  return child;
}

void ShellTreeGotoPath(TShellTreeView& tree, const std::string& path) {
  tree.SuspendFolderChanged();
  const TScopeExit resume([&tree] { tree.ResumeFolderChanged(); });

  // Everything hangs below the computer node.
  TShellNode node = TShellNode::Computer();
  tree.ExpandNode(node);

  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t slash = path.find('/', start);
    parts.push_back(path.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  parts[0] += '/';  // the root the path starts from
  for (const std::string& part : parts) {
    if (part.empty()) continue;
    node = FindChildNode(tree, node, part);
  }
  if (node.Exists) tree.SelectNode(node);
  tree.RefreshSelected();
}
