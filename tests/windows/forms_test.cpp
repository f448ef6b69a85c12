// What every window of the program must hold, tried on each of them on the
// offscreen platform: an editable combo box keeps typed digits as typed,
// never completed into another of its items; at the window's smallest
// size every control has the room its layout needs, and none overlaps
// another; a long path shown in a window does not widen it.

#include <QComboBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStackedWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "formats/registry.h"
#include "windows/main_form.h"
#include "windows/mark_editor/mark_editor.h"
#include "windows/query_over.h"
#include "windows/select_dir.h"
#include "windows/setup.h"
#include "windows/show_info.h"
#include "windows/viewer/view_image.h"
#include "windows/windows_fixture.h"

namespace {

struct TFormMaker {
  const char* Name;
  std::function<std::unique_ptr<QWidget>()> Make;
};

// Every window, made as its command makes it.
std::vector<TFormMaker> Forms() {
  return {
      {"main window", [] { return std::make_unique<TfrmMain>(); }},
      {"mark editor", [] { return std::make_unique<TfrmMakeMark>(false, std::string()); }},
      {"settings", [] { return std::make_unique<TfrmSetup>(); }},
      {"batch log", [] { return std::make_unique<TfrmShowInfo>(); }},
      {"folder picker", [] { return std::make_unique<TfrmSelectDir>(); }},
      {"overwrite question", [] { return std::make_unique<TfrmQueryOver>(); }},
      {"viewer",
       [] {
         TBitmap picture(40, 30, pf24bit);
         return std::make_unique<TfrmViewImage>(nullptr, picture, 2, std::string(), TViewList(),
                                                std::vector<std::string>());
       }},
  };
}

// Shows a control that its page or a switched-off panel hides, as the
// user would by choosing the page and switching the panel on.
void Reveal(QWidget* control, QWidget* form) {
  for (QWidget* w = control; w != nullptr && w != form; w = w->parentWidget()) {
    if (auto* stack = qobject_cast<QStackedWidget*>(w->parentWidget())) stack->setCurrentWidget(w);
    if (w->isHidden()) w->show();
  }
}

class FormsTest : public WindowsTest {
 protected:
  void SetUp() override {
    WindowsTest::SetUp();
    RegisterImageFormats();
  }
};

}  // namespace

TEST_F(FormsTest, EditableComboBoxesKeepTypedDigitsAsTyped) {
  int tried = 0;
  for (const TFormMaker& maker : Forms()) {
    SCOPED_TRACE(maker.Name);
    std::unique_ptr<QWidget> form = maker.Make();
    form->show();
    form->activateWindow();
    // Completion follows typing only in the active window.
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    for (QComboBox* combo : form->findChildren<QComboBox*>()) {
      if (!combo->isEditable() || combo->count() == 0) continue;
      SCOPED_TRACE(combo->objectName().toStdString());
      Reveal(combo, form.get());
      ASSERT_TRUE(combo->isVisible());
      // Every beginning of an item (an item itself too: "50" begins
      // "500"), typed into the emptied box, is what the box then holds.
      for (int i = 0; i < combo->count(); ++i) {
        const QString item = combo->itemText(i);
        for (qsizetype n = 1; n <= std::min<qsizetype>(item.size(), 6); ++n) {
          const QString typed = item.left(n);
          combo->lineEdit()->clear();
          combo->lineEdit()->setFocus();
          ASSERT_TRUE(combo->lineEdit()->hasFocus());
          QTest::keyClicks(combo->lineEdit(), typed);
          EXPECT_EQ(combo->currentText().toStdString(), typed.toStdString());
          ++tried;
        }
      }
    }
  }
  EXPECT_GT(tried, 0);
}

TEST_F(FormsTest, AtTheSmallestSizeNoControlIsSqueezedOrOverlapsAnother) {
  for (const TFormMaker& maker : Forms()) {
    SCOPED_TRACE(maker.Name);
    std::unique_ptr<QWidget> form = maker.Make();
    form->show();
    ASSERT_TRUE(WaitFor([&] { return form->isVisible(); }));
    // As small as the window lets itself be made.
    form->resize(1, 1);
    QCoreApplication::processEvents();
    EXPECT_GE(form->width(), form->minimumWidth());
    if (form->layout() != nullptr) {
      EXPECT_GE(form->width(), form->layout()->totalMinimumSize().width());
      EXPECT_GE(form->height(), form->layout()->totalMinimumSize().height());
    }
    for (QLayout* layout : form->findChildren<QLayout*>()) {
      const QWidget* owner = layout->parentWidget();
      if (owner == nullptr || !owner->isVisible()) continue;
      std::vector<std::pair<QString, QRect>> shown;
      for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem* item = layout->itemAt(i);
        if (item->isEmpty() || item->spacerItem() != nullptr) continue;
        const QString name = item->widget() != nullptr ? item->widget()->objectName() : QStringLiteral("(layout)");
        const QRect r = item->geometry();
        // Each control at least as large as its layout lets it become ...
        EXPECT_GE(r.width(), item->minimumSize().width()) << name.toStdString();
        EXPECT_GE(r.height(), item->minimumSize().height()) << name.toStdString();
        shown.emplace_back(name, r);
      }
      // ... and none lying over another.
      for (std::size_t a = 0; a < shown.size(); ++a) {
        for (std::size_t b = a + 1; b < shown.size(); ++b) {
          EXPECT_FALSE(shown[a].second.intersects(shown[b].second))
              << shown[a].first.toStdString() << " and " << shown[b].first.toStdString();
        }
      }
    }
  }
}

TEST_F(FormsTest, ALongPathShownInAWindowDoesNotWidenIt) {
  std::string path = Dir();
  for (int i = 0; i < 4; ++i) path += std::string(250, static_cast<char>('p' + i)) + "/";
  path += "picture.jpg";
  ASSERT_GT(path.size(), 1000u);
  struct Case {
    const char* Window;
    std::function<std::unique_ptr<QWidget>()> Make;
    std::function<void(QWidget*, const std::string&)> Show;  // the path in the window
  };
  const Case cases[] = {
      {"overwrite question", [] { return std::make_unique<TfrmQueryOver>(); },
       [](QWidget* w, const std::string& p) { static_cast<TfrmQueryOver*>(w)->SetText(p + GetMessageText(9012)); }},
      {"batch log", [] { return std::make_unique<TfrmShowInfo>(); },
       [](QWidget* w, const std::string& p) {
         TStringList lines;
         lines.Add("1. " + p + " => " + p);
         static_cast<TfrmShowInfo*>(w)->SetLines(lines);
       }},
      {"mark editor", [] { return std::make_unique<TfrmMakeMark>(false, std::string()); },
       [](QWidget* w, const std::string& p) {
         static_cast<TfrmMakeMark*>(w)->edtImageFile->setText(QString::fromStdString(p));
         static_cast<TfrmMakeMark*>(w)->edtPreviewFile->setText(QString::fromStdString(p));
       }},
      {"settings", [] { return std::make_unique<TfrmSetup>(); },
       [](QWidget* w, const std::string& p) {
         static_cast<TfrmSetup*>(w)->edtTiledImage->setText(QString::fromStdString(p));
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Window);
    std::unique_ptr<QWidget> form = c.Make();
    // The window as it opens with a short path, then with the long one.
    QSize size[2], least[2];
    for (int i = 0; i < 2; ++i) {
      const std::string shown = i == 0 ? "/in/a.jpg" : path;
      form->hide();
      c.Show(form.get(), shown);
      form->show();
      ASSERT_TRUE(WaitFor([&] { return form->isVisible(); }));
      QCoreApplication::processEvents();
      size[i] = form->size();
      least[i] = form->minimumSizeHint().expandedTo(form->minimumSize());
      if (auto* question = qobject_cast<TfrmQueryOver*>(form.get())) {
        // Every line of the question is shown, the path whole.
        EXPECT_GE(question->lblTitle->height(), question->lblTitle->heightForWidth(question->lblTitle->width()));
        EXPECT_EQ(question->lblTitle->text().toStdString().find(shown), 0u);
      }
    }
    // A window of a fixed design keeps it; one that fits its text (the
    // question) grows by lines, never beyond twice its design's width.
    EXPECT_LE(size[1].width(), size[0].width() * 2);
    EXPECT_LE(least[1].width(), std::max(least[0].width(), size[0].width() * 2));
    if (qobject_cast<TfrmQueryOver*>(form.get()) == nullptr) {
      EXPECT_EQ(least[1].width(), least[0].width());
      EXPECT_EQ(size[1], size[0]);
    }
  }
}
