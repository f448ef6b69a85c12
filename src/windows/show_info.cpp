#include "windows/show_info.h"

#include <QFileDialog>
#include <QPlainTextEdit>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/messages.h"
#include "core/files.h"
#include "windows/form_support.h"

const char* const LogSaveFilter = "Text File(*.txt)|*.txt|Log File(*.log)|*.log|All File(*.*)|*.*";

std::vector<std::pair<std::string, std::string>> ParseDialogFilter(const std::string& filter) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t bar = filter.find('|', start);
    fields.push_back(filter.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  std::vector<std::pair<std::string, std::string>> pairs;
  for (std::size_t i = 0; i + 1 < fields.size(); i += 2) pairs.emplace_back(fields[i], fields[i + 1]);
  return pairs;
}

std::vector<std::string> DialogNameFilters(const std::string& filter) {
  std::vector<std::string> names;
  for (const auto& [title, patterns] : ParseDialogFilter(filter)) {
    const std::string bracketed = "(" + patterns + ")";
    const bool shown = title.size() >= bracketed.size() &&
                       title.compare(title.size() - bracketed.size(), bracketed.size(), bracketed) == 0;
    names.push_back(shown ? title : title + " " + bracketed);
  }
  return names;
}

std::string LogDefaultExt(int filterIndex) {
  switch (filterIndex) {
    case 1:
      return "txt";
    case 2:
      return "log";
    default:
      return std::string();
  }
}

// ---------------------------------------------------------------------------

void TfrmShowInfo::Execute(const TStringList& lines) {
  TfrmShowInfo form(ModalOwner());
  form.SetLines(lines);
  form.exec();
}

TfrmShowInfo::TfrmShowInfo(QWidget* owner) : QDialog(owner) {
  setObjectName("frmShowInfo");
  setSizeGripEnabled(true);
  setWindowFlag(Qt::WindowMaximizeButtonHint, true);

  tbrMain = new QToolBar(this);
  tbrMain->setObjectName("tbrMain");
  tbrMain->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  tbrMain->setMovable(false);
  tbSave = new QToolButton(tbrMain);
  tbSave->setObjectName("tbSave");
  tbSave->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton, nullptr, this));
  tbExit = new QToolButton(tbrMain);
  tbExit->setObjectName("tbExit");
  tbExit->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton, nullptr, this));
  for (QToolButton* b : {tbSave, tbExit}) {
    b->setAutoRaise(true);
    b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    tbrMain->addWidget(b);
  }

  edtInfo = new QPlainTextEdit(this);
  edtInfo->setObjectName("edtInfo");
  edtInfo->setLineWrapMode(QPlainTextEdit::NoWrap);
  edtInfo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  edtInfo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(tbrMain);
  layout->addWidget(edtInfo, 1);

  connect(tbSave, &QToolButton::clicked, this, [this] { Guarded([this] { tbSaveClick(); }); });
  connect(tbExit, &QToolButton::clicked, this, &QDialog::reject);

  ApplyLanguageFont(static_cast<QWidget*>(this));
  ApplyLanguage();
  resize(566, 400);
}

void TfrmShowInfo::ApplyLanguage() {
  setWindowTitle(MessageText(msg::LogWindowCaption));
  tbSave->setText(MessageText(msg::ButtonSave));
  tbExit->setText(MessageText(msg::ButtonClose));
}

void TfrmShowInfo::showEvent(QShowEvent* event) {
  Guarded([this] { ApplyLanguage(); });
  QDialog::showEvent(event);
}

void TfrmShowInfo::SetLines(const TStringList& lines) {
  QStringList text;
  for (const std::string& line : lines) text << QString::fromStdString(line);
  edtInfo->setPlainText(text.join('\n'));
}

TStringList TfrmShowInfo::Lines() const {
  TStringList lines;
  const QString text = edtInfo->toPlainText();
  if (text.isEmpty()) return lines;
  for (const QString& line : text.split('\n')) lines.Add(line.toStdString());
  return lines;
}

void TfrmShowInfo::SetUpSaveDialog(QFileDialog& dialog) {
  dialog.setObjectName("sdSave");
  // Qt's own dialog: it tells which file type is chosen while it is open.
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  QStringList filters;
  for (const std::string& name : DialogNameFilters(LogSaveFilter)) filters << QString::fromStdString(name);
  dialog.setNameFilters(filters);
  dialog.selectNameFilter(filters.front());
  dialog.setDefaultSuffix(QString::fromStdString(LogDefaultExt(1)));
  connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, filters](const QString& filter) {
    Guarded([&] {
      dialog.setDefaultSuffix(QString::fromStdString(LogDefaultExt(static_cast<int>(filters.indexOf(filter)) + 1)));
    });
  });
}

void TfrmShowInfo::tbSaveClick() {
  QFileDialog dialog(this);
  SetUpSaveDialog(dialog);
  if (dialog.exec() != QDialog::Accepted) return;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return;
  const std::string fileName = chosen.front().toStdString();
  if (FileExists(fileName) && ShowMsg(GetMessageText(msg::AskReplaceFile), mkQuestion, SystemMessageCaption) != idYes) return;
  // Written to a temporary file and renamed, so a failed save keeps the
  // old file; the failure itself is shown by the guard.
  Lines().SaveToFile(fileName);
}
