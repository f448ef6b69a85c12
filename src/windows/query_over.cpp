#include "windows/query_over.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "app/messages.h"
#include "windows/form_support.h"
#include "windows/path_labels.h"

TfrmQueryOver::TfrmQueryOver(QWidget* owner) : QDialog(owner) {
  setObjectName("frmQueryOver");
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setWindowTitle(ApplicationTitle());

  imgIcon = new QLabel(this);
  imgIcon->setObjectName("imgIcon");
  const int iconSize = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
  imgIcon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion, nullptr, this).pixmap(iconSize, iconSize));
  imgIcon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

  // The question names the file: a long path is broken into lines
  // rather than widening the window.
  lblTitle = new TWrappedLabel(this);
  lblTitle->setObjectName("lblTitle");
  lblTitle->setWordWrap(true);
  lblTitle->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  lblTitle->setMinimumSize(337, 89);
  lblTitle->setTextFormat(Qt::PlainText);

  btnYes = new QPushButton(this);
  btnYes->setObjectName("btnYes");
  btnNo = new QPushButton(this);
  btnNo->setObjectName("btnNo");
  btnAllYes = new QPushButton(this);
  btnAllYes->setObjectName("btnAllYes");
  btnAllNo = new QPushButton(this);
  btnAllNo->setObjectName("btnAllNo");
  // Enter must never replace a file (often the user's original): No is
  // the default button and has the focus when the question comes up.
  btnNo->setDefault(true);

  auto* top = new QHBoxLayout;
  top->addWidget(imgIcon);
  top->addWidget(lblTitle, 1);
  auto* buttons = new QHBoxLayout;
  for (QPushButton* b : {btnYes, btnNo, btnAllYes, btnAllNo}) buttons->addWidget(b);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 8);
  layout->addLayout(top, 1);
  layout->addLayout(buttons);

  connect(btnYes, &QPushButton::clicked, this, [this] { Guarded([this] { Answered(owYes); }); });
  connect(btnNo, &QPushButton::clicked, this, [this] { Guarded([this] { Answered(owNo); }); });
  connect(btnAllYes, &QPushButton::clicked, this, [this] { Guarded([this] { Answered(owAllYes); }); });
  connect(btnAllNo, &QPushButton::clicked, this, [this] { Guarded([this] { Answered(owAllNo); }); });

  ApplyLanguageFont(static_cast<QWidget*>(this));
  ApplyLanguage();
  resize(389, 134);
}

void TfrmQueryOver::SetText(const std::string& text) { lblTitle->setText(QString::fromStdString(text)); }

void TfrmQueryOver::ApplyLanguage() {
  btnYes->setText(MessageTextOr(msg::OverwriteYes, "&Yes"));
  btnNo->setText(MessageTextOr(msg::OverwriteNo, "&No"));
  btnAllYes->setText(MessageTextOr(msg::OverwriteAllYes, "&All Yes"));
  btnAllNo->setText(MessageTextOr(msg::OverwriteAllNo, "All N&o"));
}

void TfrmQueryOver::showEvent(QShowEvent* event) {
  Guarded([this] {
    ApplyLanguage();
    // Fixed size: the designed one, or larger when the texts need it.
    setFixedSize(sizeHint().expandedTo(QSize(389, 134)));
  });
  QDialog::showEvent(event);
  btnNo->setFocus(Qt::OtherFocusReason);
}

void TfrmQueryOver::Answered(int answer) {
  answer_ = answer;
  accept();
}

int QueryOverwrite(const std::string& text) {
  TfrmQueryOver form(ModalOwner());
  form.SetText(text);
  form.exec();
  return form.Answer();
}
