#include "Unit2.h"

#include <algorithm>

#include "Dialogs.h"

namespace Unit2 {
TSForm* SForm = nullptr;
}

TSForm::TSForm(QWidget* parent) : QDialog(parent) {
  setupUi(this);
  const std::pair<QPushButton*, int> results[] = {
      {Button1, mrYes}, {Button2, mrNo}, {Button3, mrCancel}};
  for (const auto& [button, result] : results)
    connect(button, &QPushButton::clicked, this, [this, result = result] { done(result); });
  FitButtons();
  MakeFixedDialog(this);
}

void TSForm::FitButtons() {
  constexpr int Margin = 8, Gap = 11, Top = 52, Height = 25;
  int width = 89;
  for (QPushButton* b : {Button1, Button2, Button3}) width = std::max(width, b->sizeHint().width());
  int left = Margin;
  for (QPushButton* b : {Button1, Button2, Button3}) {
    b->setGeometry(left, Top, width, Height);
    left += width + Gap;
  }
  const int dialogWidth = left - Gap + Margin;
  setFixedSize(dialogWidth, 97);
  Label1->setGeometry(Margin, 12, dialogWidth - 2 * Margin, 20);
  CentreOnDesktop(this);
}
