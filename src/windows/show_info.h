#pragma once
// The batch log window: the lines of the last run, which can be saved as
// a text file.

#include <QDialog>

#include <string>
#include <utility>
#include <vector>

#include "core/strings.h"

class QFileDialog;
class QPlainTextEdit;
class QToolBar;
class QToolButton;

// A file-dialog filter of "title|patterns|title|patterns..." as pairs.
std::vector<std::pair<std::string, std::string>> ParseDialogFilter(const std::string& filter);
// The same filter as a file dialog's name filters, "text (patterns)", each
// text shown once: a title that ends in its patterns in brackets already
// ("Mark file(*.spm)") is taken as it is.
std::vector<std::string> DialogNameFilters(const std::string& filter);
// The filter of the log's save dialog.
extern const char* const LogSaveFilter;
// The default extension of the log's save dialog for the chosen file type
// (counted from 1): "txt", "log", and none for all files.
std::string LogDefaultExt(int filterIndex);

class TfrmShowInfo : public QDialog {
  Q_OBJECT

 public:
  // Shows the lines modally.
  static void Execute(const TStringList& lines);

  explicit TfrmShowInfo(QWidget* owner = nullptr);

  void SetLines(const TStringList& lines);
  // The memo's lines as they stand (the user may have edited them).
  TStringList Lines() const;

  QToolBar* tbrMain;
  QToolButton* tbSave;
  QToolButton* tbExit;
  QPlainTextEdit* edtInfo;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void ApplyLanguage();
  void tbSaveClick();
  // Makes the save dialog (sdSave) with its filter and the default
  // extension that follows the chosen type.
  void SetUpSaveDialog(QFileDialog& dialog);
};
