#include "windows/shared_commands.h"

#include <unistd.h>

#include <QColorDialog>
#include <QFileDialog>
#include <QProcess>
#include <QStringList>

#include <set>

#include "app/messages.h"
#include "app/routines.h"
#include "app/settings.h"
#include "core/files.h"
#include "core/graphic.h"
#include "windows/form_support.h"
#include "windows/image_convert.h"
#include "windows/main_models.h"
#include "windows/show_info.h"

const char* const MaskEditorName = "Veilpaint";

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// "Pictures (*.bmp *.jpg ...)" of every registered extension, then all
// files.
QString PictureOpenFilter() {
  std::set<std::string> extensions;
  for (const TFileFormatInfo& format : TPicture::FileFormats()) extensions.insert(format.Extension);
  QStringList patterns;
  for (const std::string& ext : extensions) patterns << "*." + Q(ext);
  QString filter;
  if (!patterns.isEmpty()) filter = "Pictures (" + patterns.join(' ') + ");;";
  return filter + "All files (*)";
}

}  // namespace

bool StartMaskEditor(const TStartProgram& start) {
  const std::string program = ProgramDir() + MaskEditorName;
  if (FileExists(program) && ::access(program.c_str(), X_OK) == 0 && start && start(program, ProgramDir())) {
    return true;
  }
  ShowMsg(GetMessageText(msg::MaskEditorMissing) + "\n" + program, mkInformation, SystemMessageCaption);
  return false;
}

bool StartProgramDetached(const std::string& program, const std::string& folder) {
  return QProcess::startDetached(Q(program), {}, Q(folder));
}

std::optional<std::string> ChoosePictureToOpen(QWidget* owner, const std::string& title, const std::string& folder) {
  const QString file = QFileDialog::getOpenFileName(owner, Q(title), Q(folder), PictureOpenFilter());
  if (file.isEmpty()) return std::nullopt;
  return file.toStdString();
}

std::optional<std::string> ChoosePictureSaveName(QWidget* owner, const std::string& initialName) {
  QFileDialog dialog(owner);
  dialog.setObjectName("spdSave");
  // Qt's own dialog: it tells which file type is chosen while it is open.
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  // An existing file is asked about by the window itself.
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  QStringList filters;
  for (const std::string& name : DialogNameFilters(PreviewSaveFilter)) filters << Q(name);
  dialog.setNameFilters(filters);
  dialog.selectNameFilter(filters.front());
  dialog.setDefaultSuffix(Q(PreviewSaveDefaultExt(1)));
  dialog.selectFile(Q(initialName));
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, filters](const QString& filter) {
    Guarded([&] { dialog.setDefaultSuffix(Q(PreviewSaveDefaultExt(static_cast<int>(filters.indexOf(filter)) + 1))); });
  });
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  // The dialog adds its suffix only to a name without a dot; "v1..2"
  // would be written as a bitmap under that very name.
  const int type = static_cast<int>(filters.indexOf(dialog.selectedNameFilter())) + 1;
  return PictureSaveName(dialog.selectedFiles().front().toStdString(), type);
}

std::optional<TColor> ChooseColorDialog(QWidget* owner, TColor initial) {
  const QColor chosen = QColorDialog::getColor(ToQColor(initial), owner);
  if (!chosen.isValid()) return std::nullopt;
  return RGB(chosen.red(), chosen.green(), chosen.blue());
}
