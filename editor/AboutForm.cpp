#include "AboutForm.h"

#include <QPainter>
#include <QRadialGradient>

#include "Dialogs.h"
#include "Unit1.h"

namespace AboutForm {
TAForm* AForm = nullptr;
}

namespace {
// The program's logo: a glowing light over a dark phone key.
QPixmap Logo() {
  QPixmap pm(64, 64);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(QColor(40, 44, 52));
  p.setPen(Qt::NoPen);
  p.drawRoundedRect(4, 4, 56, 56, 12, 12);
  QRadialGradient glow(32, 32, 26);
  glow.setColorAt(0, QColor(255, 255, 255));
  glow.setColorAt(0.3, QColor(120, 200, 255));
  glow.setColorAt(1, QColor(120, 200, 255, 0));
  p.setBrush(glow);
  p.drawEllipse(QPoint(32, 32), 26, 26);
  return pm;
}
}  // namespace

TAForm::TAForm(QWidget* parent) : QDialog(parent) {
  setupUi(this);
  Image1->setPixmap(Logo());
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
