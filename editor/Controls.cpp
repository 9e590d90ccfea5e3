#include "Controls.h"

#include <QApplication>
#include <QPainter>
#include <QStyleFactory>
#include <QStyleOptionSlider>

void TShape::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), brush_);
  p.setPen(Qt::black);
  p.drawRect(rect().adjusted(0, 0, -1, -1));
}

TColourBarStyle::TColourBarStyle()
    : QProxyStyle(QStyleFactory::create(QApplication::style()->name())) {}

TColourBarStyle* TColourBarStyle::Instance() {
  static TColourBarStyle* style = [] {
    auto* s = new TColourBarStyle;
    s->setParent(QCoreApplication::instance());
    return s;
  }();
  return style;
}

void TColourBarStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                         QPainter* painter, const QWidget* widget) const {
  const auto* slider = qstyleoption_cast<const QStyleOptionSlider*>(option);
  if (control != CC_Slider || !slider) {
    QProxyStyle::drawComplexControl(control, option, painter, widget);
    return;
  }
  // Mirror the direction and the value together: the handle stays where it is, the fill turns.
  QStyleOptionSlider opt(*slider);
  opt.upsideDown = !opt.upsideDown;
  opt.sliderPosition = opt.maximum + opt.minimum - opt.sliderPosition;
  opt.sliderValue = opt.maximum + opt.minimum - opt.sliderValue;
  QProxyStyle::drawComplexControl(control, &opt, painter, widget);
}
