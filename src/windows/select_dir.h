#pragma once
// The folder picker: a path edit, the folder tree, and a command to make
// a new folder.

#include <QDialog>

#include <optional>
#include <string>

class QLineEdit;
class QPushButton;
class QToolButton;
class TPosition;
class TShellTreeView;

// The path as typed, made absolute against the current folder when it is
// relative; "" stays "".
std::string AbsoluteFolderPath(const std::string& text);
// What OK accepts for the text of the path edit: the absolute path with
// one "/" at the end (a root "/" stays as it is), or nothing when it is
// not an existing folder.
std::optional<std::string> AcceptedFolderPath(const std::string& text);

class TfrmSelectDir : public QDialog {
  Q_OBJECT

 public:
  // Shows the picker starting at path. True when a folder was accepted;
  // path then holds it with a "/" at the end. Otherwise path is unchanged.
  static bool Execute(std::string& path);

  explicit TfrmSelectDir(QWidget* owner = nullptr);

  void SetPath(const std::string& path) { path_ = path; }
  const std::string& Path() const { return path_; }
  bool Accepted() const { return accepted_; }

  QLineEdit* edtPath;
  QToolButton* btnGotoPath;
  TShellTreeView* dirPath;
  QPushButton* btnCreateDir;
  QPushButton* btnOK;
  QPushButton* btnExit;
  TPosition* Position;

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ApplyLanguage();
  void FormShow();
  void dirPathClick();
  void dirPathChange();
  void btnGotoPathClick();
  void btnOKClick();
  void btnCreateDirClick();

  bool treeClicked_ = false;
  bool accepted_ = false;
  bool shown_ = false;
  std::string path_;
};
