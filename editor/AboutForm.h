#pragma once

#include <QDialog>

#include "ui_AboutForm.h"

// The about box (AboutForm.ui: Image1, Label2 the version text, Label3 the maker's web address,
// Memo1, Button1). Creating it runs the main window's start-up.
class TAForm : public QDialog, public Ui::TAForm {
  Q_OBJECT
 public:
  explicit TAForm(QWidget* parent = nullptr);
  void FormCreate();
};

namespace AboutForm {
extern TAForm* AForm;
// The maker's web page shown and opened by the about box.
inline const char* const MakerUrl = "http://glowsmith.nerevy.example.org/";
}  // namespace AboutForm
