#pragma once
// The main window's list widgets: the file list's model (the folder's
// image files in the chosen order), the conversion list that takes drags
// from the file list and files dropped from outside, and the layer list
// whose layers are dragged within it. They report what was dropped; the
// form decides what it does.

#include <QSortFilterProxyModel>
#include <QStringList>
#include <QTreeWidget>

#include <string>
#include <vector>

#include "windows/main_models.h"

class QFileSystemModel;
class QMimeData;

// The local files of a drop, in its order.
std::vector<std::string> DroppedLocalFiles(const QMimeData& data);

// The file list's view of the folder model: inside the shown folder only
// its image files, sorted by ShellListCompare.
class TShellListModel : public QSortFilterProxyModel {
  Q_OBJECT

 public:
  TShellListModel(QFileSystemModel* source, QObject* parent);

  void SetFolder(const QString& folder);
  void SetOrder(int column, bool descending);
  // The image patterns changed.
  void Refilter() { invalidateFilter(); }
  // The entry of a source row with the values of its columns.
  TShellEntry Entry(const QModelIndex& sourceIndex) const;
  // While a batch writes, the folders are not followed: every file landing
  // in the shown one would have the list read it again and sort it anew.
  // The last ResumeUpdates reads the shown folder once. Nested calls pair.
  void SuspendUpdates();
  void ResumeUpdates();

 protected:
  bool filterAcceptsRow(int row, const QModelIndex& parent) const override;
  bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

 private:
  QFileSystemModel* files_;
  QString folder_;
  int column_ = 0;
  bool descending_ = false;
  int suspended_ = 0;
};

// The conversion list: takes drags from one list (the file list) and files
// dropped from outside the program.
class TConvFileList : public QTreeWidget {
  Q_OBJECT

 public:
  TConvFileList(QWidget* dragSource, QWidget* parent);

 signals:
  // The drag from the file list was dropped: its selection is wanted.
  void SourceSelectionDropped();
  // Files of another program were dropped.
  void FilesDropped(const QStringList& files);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  bool Accepts(const QDropEvent* event) const;
  QWidget* dragSource_;
};

// The layer list: its layers are dragged within it.
class TLayerListView : public QTreeWidget {
  Q_OBJECT

 public:
  explicit TLayerListView(QWidget* parent);

 signals:
  // The selected layers were dropped at pos (viewport coordinates).
  void LayersDropped(const QPoint& pos);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
};
