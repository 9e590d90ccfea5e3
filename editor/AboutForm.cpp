#include "AboutForm.h"

#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
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
  setObjectName("AForm");
  setWindowTitle("About");
  setFixedSize(353, 305);
  Image1 = new QLabel(this);
  Image1->setObjectName("Image1");
  Image1->setPixmap(Logo());
  Image1->setGeometry(16, 12, 64, 64);
  Label2 = new QLabel("2.2.8 beta", this);
  Label2->setObjectName("Label2");
  QFont bold = Label2->font();
  bold.setBold(true);
  bold.setPointSize(bold.pointSize() + 2);
  Label2->setFont(bold);
  Label2->setAlignment(Qt::AlignCenter);
  Label2->setGeometry(88, 20, 249, 24);
  Label3 = new QLabel(this);
  Label3->setObjectName("Label3");
  Label3->setText(QString("<a href=\"%1\">%1</a>").arg(AboutForm::MakerUrl));
  Label3->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
  Label3->setCursor(Qt::PointingHandCursor);
  Label3->setAlignment(Qt::AlignCenter);
  Label3->setGeometry(88, 52, 249, 20);
  connect(Label3, &QLabel::linkActivated, this, [](const QString& url) {
    if (Unit1::MForm) Unit1::MForm->Dialogs().OpenUrl(url);
  });
  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName("Memo1");
  Memo1->setReadOnly(true);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setGeometry(16, 84, 321, 169);
  Button1 = new QPushButton("OK", this);
  Button1->setObjectName("Button1");
  Button1->setGeometry(139, 264, 75, 25);
  Button1->setDefault(true);
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
