// The main window's marks and layers: the mark list read from the mark
// folder, the checked marks as layers, the commands on marks (new, edit,
// delete, import, export) and on layers (order, clear, drop).

#include <QListWidget>
#include <QSignalBlocker>
#include <QToolButton>
#include <QTreeWidget>

#include <set>
#include <string>
#include <vector>

#include "app/messages.h"
#include "app/routines.h"
#include "app/settings.h"
#include "core/files.h"
#include "imaging/mark.h"
#include "windows/copy_files.h"
#include "windows/form_support.h"
#include "windows/main_form.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

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

void TfrmMain::mnuNewmarkClick() {
  if (Services().ExecuteMarkEditor(false, std::string())) RefreshMarkList();
}

void TfrmMain::mnuEditmarkClick() {
  const std::string name = CurrentMarkName();
  if (name.empty()) return;
  if (!Services().ExecuteMarkEditor(true, name)) return;
  // The edited mark may be a layer of the preview, or have a new name.
  UpdatePreview();
  LayoutPreview();
  RefreshMarkList();
}

void TfrmMain::miDelMarkClick() {
  const std::string name = CurrentMarkName();
  if (name.empty()) return;
  if (ShowMsg(GetMessageText(msg::AskDeleteMark), mkQuestion, SystemMessageCaption) != idYes) return;
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
