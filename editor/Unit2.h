#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// The funlight type dialog: Normal (Yes), Clublight (No) or Cancel.
class TSForm : public QDialog {
  Q_OBJECT
 public:
  explicit TSForm(QWidget* parent = nullptr);
  // Widens the three buttons alike to the longest text, and the dialog with them; run after the
  // texts change.
  void FitButtons();
  QLabel* Label1;
  QPushButton* Button1;
  QPushButton* Button2;
  QPushButton* Button3;
};

namespace Unit2 {
extern TSForm* SForm;
}
