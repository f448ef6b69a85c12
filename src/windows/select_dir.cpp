#include "windows/select_dir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QEvent>
#include <QGridLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <cstdlib>

#include "app/messages.h"
#include "core/files.h"
#include "windows/form_support.h"
#include "windows/position.h"
#include "windows/shell_tree.h"

std::string AbsoluteFolderPath(const std::string& text) {
  if (text.empty() || text[0] == '/') return text;
  std::string cwd;
  if (char* dir = ::getcwd(nullptr, 0)) {
    cwd = dir;
    std::free(dir);
  }
  if (cwd.empty()) return text;
  if (cwd.back() != '/') cwd += '/';
  return cwd + text;
}

std::optional<std::string> AcceptedFolderPath(const std::string& text) {
  std::string path = AbsoluteFolderPath(text);
  if (path.empty() || !DirectoryExists(path)) return std::nullopt;
  if (path.back() != '/') path += '/';
  return path;
}

// ---------------------------------------------------------------------------

bool TfrmSelectDir::Execute(std::string& path) {
  TfrmSelectDir form(ModalOwner());
  form.SetPath(path);
  form.exec();
  path = form.Path();
  return form.Accepted();
}

TfrmSelectDir::TfrmSelectDir(QWidget* owner) : QDialog(owner) {
  setObjectName("frmSelectDir");
  setSizeGripEnabled(true);

  edtPath = new QLineEdit(this);
  edtPath->setObjectName("edtPath");
  btnGotoPath = new QToolButton(this);
  btnGotoPath->setObjectName("btnGotoPath");
  btnGotoPath->setText(">>");
  btnGotoPath->setAutoRaise(true);
  dirPath = new TShellTreeView(this);
  dirPath->setObjectName("dirPath");
  btnCreateDir = new QPushButton(this);
  btnCreateDir->setObjectName("btnCreateDir");
  btnCreateDir->setAutoDefault(false);
  btnOK = new QPushButton(this);
  btnOK->setObjectName("btnOK");
  btnOK->setDefault(true);
  btnExit = new QPushButton(this);
  btnExit->setObjectName("btnExit");
  btnExit->setAutoDefault(false);

  auto* buttons = new QVBoxLayout;
  buttons->addWidget(btnCreateDir);
  buttons->addStretch(1);
  buttons->addWidget(btnOK);
  buttons->addWidget(btnExit);
  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(8, 8, 8, 8);
  layout->addWidget(edtPath, 0, 0);
  layout->addWidget(btnGotoPath, 0, 1);
  layout->addWidget(dirPath, 1, 0, 1, 2);
  layout->addLayout(buttons, 0, 2, 2, 1);
  layout->setRowStretch(1, 1);
  layout->setColumnStretch(0, 1);

  connect(btnGotoPath, &QToolButton::clicked, this, [this] { Guarded([this] { btnGotoPathClick(); }); });
  connect(btnOK, &QPushButton::clicked, this, [this] { Guarded([this] { btnOKClick(); }); });
  connect(btnCreateDir, &QPushButton::clicked, this, [this] { Guarded([this] { btnCreateDirClick(); }); });
  // Exit leaves the path as it came and Accepted unset.
  connect(btnExit, &QPushButton::clicked, this, &QDialog::reject);
  connect(dirPath, &TShellTreeView::FolderChanged, this, [this] { Guarded([this] { dirPathChange(); }); });
  dirPath->viewport()->installEventFilter(this);

  ApplyLanguageFont(static_cast<QWidget*>(this));
  ApplyLanguage();
  resize(400, 282);
  // Last: it puts back the bounds the picker had last time.
  Position = new TPosition(this);
}

void TfrmSelectDir::ApplyLanguage() {
  setWindowTitle(MessageText(msg::SelectFolderCaption));
  btnCreateDir->setText(MessageText(msg::NewFolderCaption));
  btnOK->setText(MessageText(msg::ButtonOK));
  btnExit->setText(MessageText(msg::ButtonClose));
}

void TfrmSelectDir::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!shown_) {
    shown_ = true;
    Guarded([this] { FormShow(); });
  }
}

void TfrmSelectDir::FormShow() {
  ApplyLanguage();
  const std::string start = DirectoryExists(path_) ? path_ : dirPath->Path();
  edtPath->setText(QString::fromStdString(start));
  btnGotoPathClick();
}

bool TfrmSelectDir::eventFilter(QObject* watched, QEvent* event) {
  if (watched == dirPath->viewport() && event->type() == QEvent::MouseButtonRelease) {
    Guarded([this] { dirPathClick(); });
  }
  return QDialog::eventFilter(watched, event);
}

void TfrmSelectDir::dirPathClick() {
  treeClicked_ = true;
  edtPath->setText(QString::fromStdString(dirPath->Path()));
}

void TfrmSelectDir::dirPathChange() {
  // Until the user has clicked into the tree, the program's own moves
  // (going to the typed path) leave the typed text alone.
  if (treeClicked_) edtPath->setText(QString::fromStdString(dirPath->Path()));
}

void TfrmSelectDir::btnGotoPathClick() {
  ShellTreeGotoPath(*dirPath, AbsoluteFolderPath(edtPath->text().toStdString()));
}

void TfrmSelectDir::btnOKClick() {
  const std::string text = edtPath->text().toStdString();
  const std::optional<std::string> folder = AcceptedFolderPath(text);
  if (!folder) {
    ShowMsg("\"" + text + "\"" + GetMessageText(msg::FolderDoesNotExist), mkInformation, SystemMessageCaption);
    return;
  }
  accepted_ = true;
  path_ = *folder;
  accept();
}

void TfrmSelectDir::btnCreateDirClick() {
  const std::string parent = dirPath->Path();
  if (parent.empty() || !DirectoryExists(parent)) {
    ShowMsg(GetMessageText(msg::FolderDoesNotExist), mkInformation, SystemMessageCaption);
    return;
  }
  QInputDialog input(this);
  input.setObjectName("InputQuery");
  input.setInputMode(QInputDialog::TextInput);
  input.setWindowTitle(MessageText(msg::NewFolderCaption));
  input.setLabelText(MessageText(msg::NewFolderPrompt) + QString::fromStdString(parent) + "       ");
  input.setTextValue(QString());
  if (input.exec() != QDialog::Accepted) return;
  const std::string name = input.textValue().toStdString();
  std::string folder = parent;
  if (folder.back() != '/') folder += '/';
  // A folder that cannot be made is passed over, as the command promises
  // nothing more.
  if (!name.empty()) (void)::mkdir((folder + name).c_str(), 0777);
  dirPath->RefreshSelected();
}
