// The main window's default services: the dialogs it opens and the start
// of outside programs. Tests replace them through TfrmMain::Services().

#include <QFileDialog>

#include "app/routines.h"
#include "windows/form_support.h"
#include "windows/main_form.h"
#include "windows/mark_editor/mark_editor.h"
#include "windows/query_over.h"
#include "windows/select_dir.h"
#include "windows/setup.h"
#include "windows/shared_commands.h"
#include "windows/show_info.h"
#include "windows/viewer/view_image.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

const char* const MarkImportFilter = "Mark file(*.spm)|*.spm";
const char* const MarkImportTitle = "Select mark file ...";

}  // namespace

TMainServices TfrmMain::DefaultServices() {
  TMainServices s;
  s.ViewImage = &TfrmViewImage::Execute;
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
    for (const std::string& name : DialogNameFilters(MarkImportFilter)) filters << Q(name);
    dialog.setNameFilters(filters);
    std::vector<std::string> files;
    if (dialog.exec() != QDialog::Accepted) return files;
    for (const QString& f : dialog.selectedFiles()) files.push_back(f.toStdString());
    return files;
  };
  s.ChoosePreviewSaveName = [](QWidget* owner) { return ChoosePictureSaveName(owner, "sample"); };
  s.ExecuteSetup = [](int page) { return TfrmSetup::Execute(page); };
  s.StartProgram = [](const std::string& program, const std::string& folder) {
    return StartProgramDetached(program, folder);
  };
  s.ExecuteMarkEditor = [](bool editExisting, const std::string& name) {
    return TfrmMakeMark::Execute(editExisting, name);
  };
  return s;
}

TMainServices& TfrmMain::Services() {
  static TMainServices services = DefaultServices();
  return services;
}
