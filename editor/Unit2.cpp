#include "Unit2.h"

#include <QLabel>
#include <QPushButton>

#include "Dialogs.h"

namespace Unit2 {
TSForm* SForm = nullptr;
}

TSForm::TSForm(QWidget* parent) : QDialog(parent) {
  setObjectName("SForm");
  setWindowTitle("Funlight type");
  setFixedSize(305, 97);
  Label1 = new QLabel("Select funlight type", this);
  Label1->setObjectName("Label1");
  QFont bold = Label1->font();
  bold.setBold(true);
  Label1->setFont(bold);
  Label1->setAlignment(Qt::AlignCenter);
  Label1->setGeometry(8, 12, 289, 20);
  auto button = [this](const char* name, const QString& text, int left, int result) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(name);
    b->setGeometry(left, 52, 89, 25);
    connect(b, &QPushButton::clicked, this, [this, result] { done(result); });
    return b;
  };
  Button1 = button("Button1", "Normal", 8, mrYes);
  Button2 = button("Button2", "Clublight", 108, mrNo);
  Button3 = button("Button3", "Cancel", 208, mrCancel);
  Button1->setDefault(true);
  MakeFixedDialog(this);
}
