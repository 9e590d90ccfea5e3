#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

// The about box. Creating it runs the main window's start-up.
class TAForm : public QDialog {
  Q_OBJECT
 public:
  explicit TAForm(QWidget* parent = nullptr);
  void FormCreate();

  QLabel* Image1;
  QLabel* Label2;  // the version text
  QLabel* Label3;  // the maker's web address
  QPlainTextEdit* Memo1;
  QPushButton* Button1;
};

namespace AboutForm {
extern TAForm* AForm;
// The maker's web page shown and opened by the about box.
inline const char* const MakerUrl = "http://glowsmith.nerevy.example.org/";
}  // namespace AboutForm
