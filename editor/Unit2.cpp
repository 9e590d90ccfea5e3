#include "Unit2.h"

#include <QLabel>
#include <QPushButton>
#include <algorithm>

#include "Dialogs.h"

namespace Unit2 {
TSForm* SForm = nullptr;
}

TSForm::TSForm(QWidget* parent) : QDialog(parent) {
  setObjectName("SForm");
  setWindowTitle("Funlight type");
  Label1 = new QLabel("Select funlight type", this);
  Label1->setObjectName("Label1");
  QFont bold = Label1->font();
  bold.setBold(true);
  Label1->setFont(bold);
  Label1->setAlignment(Qt::AlignCenter);
  auto button = [this](const char* name, const QString& text, int result) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(name);
    connect(b, &QPushButton::clicked, this, [this, result] { done(result); });
    return b;
  };
  Button1 = button("Button1", "Normal", mrYes);
  Button2 = button("Button2", "Clublight", mrNo);
  Button3 = button("Button3", "Cancel", mrCancel);
  Button1->setDefault(true);
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
