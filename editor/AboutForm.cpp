#include "AboutForm.h"

#include <QPixmap>

#include "Dialogs.h"
#include "Logo.h"
#include "Unit1.h"

namespace AboutForm {
TAForm* AForm = nullptr;
}

TAForm::TAForm(QWidget* parent) : QDialog(parent) {
  setupUi(this);
  Image1->setPixmap(QPixmap::fromImage(ProgramLogo(64)));
  Label2->setText(GLOWSMITH_VERSION_TEXT);
  // Two points above the dialog's font, whatever that is here.
  QFont large = Label2->font();
  large.setPointSize(large.pointSize() + 2);
  Label2->setFont(large);
  Label3->setText(QString("<a href=\"%1\">%1</a>").arg(AboutForm::MakerUrl));
  connect(Label3, &QLabel::linkActivated, this, [](const QString& url) {
    if (Unit1::MForm) Unit1::MForm->Dialogs().OpenUrl(url);
  });
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
  MakeFixedDialog(this);
}

void TAForm::FormCreate() {
  using Unit1::MForm;
  // The main window exists by now: the start-up proper runs here. An error ends it, and the
  // caption then keeps no version text.
  MForm->Guard([this] {
    MForm->Execute(MForm->AMFormCreate);
    MForm->setWindowTitle(MForm->windowTitle() + " " + Label2->text());
  });
}
