#pragma once

#include <QColor>
#include <QProxyStyle>
#include <QWidget>

// A plain filled rectangle, like the original shape control.
class TShape : public QWidget {
  Q_OBJECT
  Q_PROPERTY(QColor brushColor READ BrushColor WRITE SetBrushColor)
 public:
  using QWidget::QWidget;
  QColor BrushColor() const { return brush_; }
  void SetBrushColor(const QColor& c) {
    brush_ = c;
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  QColor brush_ = Qt::white;
};

// The look of the colour bars: position 0 at the top (the channel's 15), as on the original bars,
// with the groove filled below the handle so that a fuller bar reads as more of the colour. The
// bars stay plain sliders; only their painting is turned.
class TColourBarStyle : public QProxyStyle {
 public:
  TColourBarStyle();
  void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                          QPainter* painter, const QWidget* widget) const override;
  // One for the program, built on the application's style.
  static TColourBarStyle* Instance();
};
