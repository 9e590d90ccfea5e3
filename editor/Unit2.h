#pragma once

#include <QDialog>

#include "ui_Unit2.h"

// The funlight type dialog: Normal (Yes), Clublight (No) or Cancel. Its controls (Label1, Button1
// to Button3) come from Unit2.ui.
class TSForm : public QDialog, public Ui::TSForm {
  Q_OBJECT
 public:
  explicit TSForm(QWidget* parent = nullptr);
  // Widens the three buttons alike to the longest text, and the dialog with them; run after the
  // texts change.
  void FitButtons();
};

namespace Unit2 {
extern TSForm* SForm;
}
