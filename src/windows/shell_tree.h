#pragma once
// The folder tree of the main window and the folder picker: folders only,
// with the desktop's icons, under one node that stands for the computer
// (its children are the file-system roots, "/" here). Built on
// QFileSystemModel, which reads folders in the background; going to a
// path works all the same because the nodes along a path are made at once
// and the view follows the target while the rest of the folder arrives.

#include <QPersistentModelIndex>
#include <QTreeView>

#include <string>

class QFileSystemModel;

// A node of the folder tree: the computer node (Index not valid) or a
// folder. Exists is false for "no node".
struct TShellNode {
  bool Exists = false;
  QPersistentModelIndex Index;

  static TShellNode None() { return {}; }
  static TShellNode Computer() { return {true, QPersistentModelIndex()}; }
  bool IsComputer() const { return Exists && !Index.isValid(); }
};

class TShellTreeView : public QTreeView {
  Q_OBJECT

 public:
  // Starts with the home folder selected.
  explicit TShellTreeView(QWidget* parent = nullptr);

  QFileSystemModel* Model() const { return model_; }

  // The selected folder ("" when none is selected). No "/" at the end
  // except for the root itself. A selected folder that is deleted stays
  // the tree's path (and no other folder is selected in its place) until
  // another is chosen, so that whatever was to go there fails instead of
  // going to a neighbour.
  std::string Path() const;

  TShellNode SelectedNode() const;
  // The node's text as the tree shows it (the computer's name for the
  // computer node) and the folder it stands for ("" for the computer).
  std::string NodeText(const TShellNode& node) const;
  std::string NodePath(const TShellNode& node) const;
  // The node of an existing folder, made at once if its parent was not
  // read yet; None when the path is not a folder the tree shows (a file,
  // a hidden folder).
  TShellNode NodeOfFolder(const std::string& path) const;
  // The parent node (the computer for a root; None for the computer).
  TShellNode ParentNode(const TShellNode& node) const;

  void SelectNode(const TShellNode& node);
  // Opens the node one level.
  void ExpandNode(const TShellNode& node);
  // Reads the selected folder again, so folders made in it show at once.
  void RefreshSelected();

  // While suspended (counted), selection changes are not announced; the
  // last resume announces the folder selected then.
  void SuspendFolderChanged();
  void ResumeFolderChanged();

 signals:
  // The selected folder changed (the attached file list follows it).
  void FolderChanged(const QString& path);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
  void rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) override;

 private:
  // Keeps the folder gone to in view while the model fills in around it.
  void FollowTarget();

  QFileSystemModel* model_;
  int suspended_ = 0;
  bool followTarget_ = false;
  // The folder that was selected when it went away, while none is.
  std::string lostPath_;
  bool losingCurrent_ = false;
};

// Expands and selects the folder path in the tree, one path part after
// the other from the computer node; a part that is not found leaves the
// tree opened as far as it got and selects nothing. The attached list is
// told once, at the end.
void ShellTreeGotoPath(TShellTreeView& tree, const std::string& path);
// The child of node that stands for part, opened one level: a root
// ("/", a part ending in "/") under the computer node, otherwise the
// folder named exactly part. None when there is no such child (or no
// node).
TShellNode FindChildNode(TShellTreeView& tree, const TShellNode& node, const std::string& part);
