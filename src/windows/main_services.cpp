// The main window's default services: the dialogs it opens and the start
// of outside programs. Tests replace them through TfrmMain::Services().

#include <QFileDialog>
#include <QProcess>

#include "app/routines.h"
#include "windows/form_support.h"
#include "windows/main_form.h"
#include "windows/query_over.h"
#include "windows/select_dir.h"
#include "windows/setup.h"
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
