#pragma once
// The overwrite question asked before a file is replaced.

#include <QDialog>

#include <string>

#include "app/routines.h"

class QLabel;
class QPushButton;

class TfrmQueryOver : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmQueryOver(QWidget* owner = nullptr);

  void SetText(const std::string& text);
  // The answer so far: set by the buttons, No when closed any other way.
  int Answer() const { return answer_; }

  QLabel* imgIcon;
  QLabel* lblTitle;
  QPushButton* btnYes;
  QPushButton* btnNo;
  QPushButton* btnAllYes;
  QPushButton* btnAllNo;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void ApplyLanguage();
  void Answered(int answer);

  int answer_ = owNo;
};

// Shows the question modally with text and returns the answer (owNo,
// owYes, owAllYes, owAllNo).
int QueryOverwrite(const std::string& text);
