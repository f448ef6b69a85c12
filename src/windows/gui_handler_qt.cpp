#include "windows/gui_handler_qt.h"

#include <QApplication>
#include <QByteArray>
#include <QClipboard>
#include <QDesktopServices>
#include <QFont>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QMimeData>
#include <QScreen>
#include <QSpacerItem>
#include <QStringList>
#include <QUrl>
#include <QWidget>

#include <algorithm>
#include <cctype>

namespace {

QMessageBox::Icon IconOf(TMsgIcon icon) {
  switch (icon) {
    case TMsgIcon::Error:
      return QMessageBox::Critical;
    case TMsgIcon::Warning:
      return QMessageBox::Warning;
    case TMsgIcon::Question:
      return QMessageBox::Question;
    case TMsgIcon::Information:
      break;
  }
  return QMessageBox::Information;
}

bool HasScheme(const std::string& text) {
  // "scheme:" of two or more letters (a single letter would be a drive).
  std::size_t i = 0;
  while (i < text.size() && (std::isalnum(static_cast<unsigned char>(text[i])) || text[i] == '+' ||
                             text[i] == '-' || text[i] == '.')) {
    ++i;
  }
  return i >= 2 && i < text.size() && text[i] == ':' && std::isalpha(static_cast<unsigned char>(text[0]));
}

// Room a title bar takes besides its caption: the window's icon and its
// buttons.
constexpr int kTitleBarExtra = 160;

// A short message must not cut its caption: the box is made at least as
// wide as the caption needs in the title-bar font (within the screen).
void KeepCaptionVisible(QMessageBox& box) {
  auto* grid = qobject_cast<QGridLayout*>(box.layout());
  if (grid == nullptr) return;
  const QFontMetrics metrics(QApplication::font("QMdiSubWindowTitleBar"));
  int width = metrics.horizontalAdvance(box.windowTitle()) + kTitleBarExtra;
  if (const QScreen* screen = box.screen()) width = std::min(width, screen->availableGeometry().width() * 9 / 10);
  grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                grid->columnCount());
}

QPointer<QWidget>& BoxOwner() {
  static QPointer<QWidget> owner;
  return owner;
}

}  // namespace

TMessageBoxOwner::TMessageBoxOwner(QWidget* window) : previous_(BoxOwner()) { BoxOwner() = window; }

TMessageBoxOwner::~TMessageBoxOwner() { BoxOwner() = previous_; }

QWidget* MessageBoxParent() {
  if (QWidget* modal = QApplication::activeModalWidget(); modal != nullptr && modal->isVisible()) return modal;
  if (QWidget* owner = BoxOwner(); owner != nullptr && owner->isVisible()) return owner;
  return QApplication::activeWindow();
}

int TQtGuiHandler::ShowMsg(const std::string& text, int kind, const std::string& caption) {
  const TMsgStyle style = MsgStyleOfKind(kind);
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return style.DefaultAnswer;

  QMessageBox box(IconOf(style.Icon), QString::fromStdString(caption), QString::fromStdString(text),
                  QMessageBox::NoButton, MessageBoxParent());
  switch (style.Buttons) {
    case TMsgButtons::OK:
      box.setStandardButtons(QMessageBox::Ok);
      box.setEscapeButton(QMessageBox::Ok);
      break;
    case TMsgButtons::OKCancel:
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      box.setDefaultButton(QMessageBox::Ok);
      box.setEscapeButton(QMessageBox::Cancel);
      break;
    case TMsgButtons::YesNo:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setDefaultButton(QMessageBox::Yes);
      box.setEscapeButton(QMessageBox::No);
      break;
  }
  KeepCaptionVisible(box);
  box.exec();
  QAbstractButton* clicked = box.clickedButton();
  switch (clicked ? box.standardButton(clicked) : QMessageBox::NoButton) {
    case QMessageBox::Ok:
      return idOK;
    case QMessageBox::Cancel:
      return idCancel;
    case QMessageBox::Yes:
      return idYes;
    case QMessageBox::No:
      return idNo;
    default:
      return style.DefaultAnswer;
  }
}

void TQtGuiHandler::ProcessMessages() {
  if (QCoreApplication::instance()) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

bool TQtGuiHandler::SetClipboard(const std::vector<TClipboardFormat>& formats) {
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return false;
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (!clipboard) return false;
  auto* data = new QMimeData;
  for (const TClipboardFormat& f : formats) {
    data->setData(QString::fromStdString(f.MimeType),
                  QByteArray(f.Data.data(), static_cast<qsizetype>(f.Data.size())));
  }
  clipboard->setMimeData(data);  // the clipboard owns it now
  return true;
}

void TQtGuiHandler::ApplyFont(void* form, const TFontChoice& font) {
  auto* widget = static_cast<QWidget*>(form);
  if (!widget) return;
  QStringList families;
  for (const std::string& f : font.Families) families << QString::fromStdString(f);
  QFont f = widget->font();
  f.setFamilies(families);
  if (font.PointSize > 0) f.setPointSize(font.PointSize);
  widget->setFont(f);
}

bool TQtGuiHandler::OpenWithDesktop(const std::string& pathOrUrl) {
  if (pathOrUrl.empty()) return false;
  const QUrl url = HasScheme(pathOrUrl) ? QUrl(QString::fromStdString(pathOrUrl))
                                        : QUrl::fromLocalFile(QString::fromStdString(pathOrUrl));
  return url.isValid() && QDesktopServices::openUrl(url);
}

TQtGuiHandler& InstallGuiHandler() {
  static TQtGuiHandler handler;
  SetGuiHandler(&handler);
  return handler;
}
