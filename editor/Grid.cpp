#include "Grid.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>

namespace {
constexpr int kLine = 1;  // grid line width
// Room a cell's text leaves on each side; the in-place editor keeps as much, and its caret needs
// one more pixel after the last character.
constexpr int kTextMargin = 2;
constexpr int kCaret = 1;
}  // namespace

TGrid::TGrid(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setAutoFillBackground(false);
  hbar_ = new QScrollBar(Qt::Horizontal, this);
  hbar_->hide();
  connect(hbar_, &QScrollBar::valueChanged, this, [this](int v) { SetLeftCol(v); });
  GrowCells();
}

void TGrid::GrowCells() {
  cells_.resize(static_cast<size_t>(colCount_));
  for (auto& c : cells_) c.resize(static_cast<size_t>(rowCount_));
}

void TGrid::SetColCount(int n) {
  n = std::max(n, 1);
  if (n == colCount_) return;
  // An editor over a column that goes away would type into whichever column takes its index.
  if (col_ >= n) CloseEditor();
  colCount_ = n;
  GrowCells();
  if (col_ >= colCount_) col_ = colCount_ - 1;
  // Fewer columns: scroll back so that the last one ends the view instead of standing alone.
  if (leftCol_ > std::max(0, colCount_ - VisibleColCount()))
    SetLeftCol(std::max(0, colCount_ - VisibleColCount()));
  UpdateScrollBar();
  update();
}

void TGrid::SetRowCount(int n) {
  n = std::max(n, 1);
  if (n == rowCount_) return;
  if (row_ >= n) CloseEditor();
  rowCount_ = n;
  GrowCells();
  if (row_ >= rowCount_) row_ = rowCount_ - 1;
  if (topRow_ >= rowCount_) SetTopRow(std::max(fixedRows_, rowCount_ - 1));
  update();
}

void TGrid::SetDefaultColWidth(int w) {
  colWidth_ = w;
  ApplyDigitFit();
  UpdateScrollBar();
  update();
}

void TGrid::SetDefaultRowHeight(int h) {
  rowHeight_ = h;
  update();
}

void TGrid::SetFixedRows(int n) {
  fixedRows_ = n;
  topRow_ = std::max(topRow_, n);
  row_ = std::max(row_, n);
  update();
}

void TGrid::SetEditing(bool on) {
  editing_ = on;
  if (!on) CloseEditor();
}

void TGrid::SetBorder(bool on) {
  border_ = on ? 2 : 0;
  UpdateScrollBar();
  update();
}

void TGrid::SetHorizontalScrollBar(bool on) {
  hbar_->setVisible(on);
  UpdateScrollBar();
}

void TGrid::SetBackground(const QColor& c) {
  QPalette p = palette();
  p.setColor(QPalette::Base, c);
  setPalette(p);
}

int TGrid::ScrollAreaHeight() const {
  return height() - 2 * border_ - (hbar_->isVisible() ? hbar_->height() : 0);
}

int TGrid::VisibleColCount() const {
  return std::max(1, (width() - 2 * border_ + kLine) / (colWidth_ + kLine));
}

void TGrid::UpdateScrollBar() {
  const int extent = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  hbar_->setGeometry(border_, height() - border_ - extent, width() - 2 * border_, extent);
  const QSignalBlocker block(hbar_);
  hbar_->setRange(0, std::max(0, colCount_ - VisibleColCount()));
  hbar_->setPageStep(VisibleColCount());
  hbar_->setValue(leftCol_);
}

void TGrid::SetLeftCol(int c) {
  c = std::clamp(c, 0, std::max(0, colCount_ - 1));
  if (c == leftCol_) return;
  leftCol_ = c;
  CloseEditor();
  UpdateScrollBar();
  update();
  if (OnTopLeftChanged) OnTopLeftChanged();
}

void TGrid::SetTopRow(int r) {
  r = std::clamp(r, fixedRows_, std::max(fixedRows_, rowCount_ - 1));
  if (r == topRow_) return;
  topRow_ = r;
  CloseEditor();
  update();
  if (OnTopLeftChanged) OnTopLeftChanged();
}

QString TGrid::Cell(int col, int row) const {
  if (col < 0 || row < 0 || col >= colCount_ || row >= rowCount_) return {};
  return cells_[static_cast<size_t>(col)][static_cast<size_t>(row)];
}

void TGrid::SetCell(int col, int row, const QString& text) {
  if (col < 0 || row < 0 || col >= colCount_ || row >= rowCount_) return;
  cells_[static_cast<size_t>(col)][static_cast<size_t>(row)] = text;
  if (editor_ && editor_->isVisible() && col == col_ && row == row_ && editor_->text() != text)
    editor_->setText(text);
  InvalidateCell(col, row);
}

QRect TGrid::CellRect(int col, int row) const {
  if (col < leftCol_ || col >= colCount_ || row < 0 || row >= rowCount_) return {};
  int y;
  if (row < fixedRows_) {
    y = row * (rowHeight_ + kLine);
  } else {
    if (row < topRow_) return {};
    y = (fixedRows_ + row - topRow_) * (rowHeight_ + kLine);
  }
  const int x = (col - leftCol_) * (colWidth_ + kLine);
  return QRect(border_ + x, border_ + y, colWidth_, rowHeight_);
}

bool TGrid::MouseToCell(int x, int y, int& col, int& row) const {
  col = -1;
  row = -1;
  const int gx = x - border_, gy = y - border_;
  if (gx < 0 || gy < 0 || gx >= width() - 2 * border_ || gy >= ScrollAreaHeight()) return false;
  const int c = leftCol_ + gx / (colWidth_ + kLine);
  int r = gy / (rowHeight_ + kLine);
  if (r >= fixedRows_) r = topRow_ + r - fixedRows_;
  if (c >= colCount_ || r >= rowCount_) return false;
  col = c;
  row = r;
  return true;
}

void TGrid::InvalidateCell(int col, int row) {
  const QRect r = CellRect(col, row);
  if (!r.isEmpty()) update(r.adjusted(-kLine, -kLine, kLine, kLine));
}

bool TGrid::SetCurrent(int col, int row) {
  if (col < 0 || row < fixedRows_ || col >= colCount_ || row >= rowCount_) return false;
  bool can = true;
  if (OnSelectCell) OnSelectCell(col, row, can);
  if (!can) return false;
  MoveCurrent(col, row);
  return true;
}

void TGrid::MoveCurrent(int col, int row) {
  if (col < 0 || row < fixedRows_ || col >= colCount_ || row >= rowCount_) return;
  CloseEditor();
  const int oldCol = col_, oldRow = row_;
  col_ = col;
  row_ = row;
  EnsureVisible(col, row);
  InvalidateCell(oldCol, oldRow);
  InvalidateCell(col, row);
  if (rowSelect_) update();
}

void TGrid::EnsureVisible(int col, int /*row*/) {
  if (col < leftCol_) {
    SetLeftCol(col);
  } else {
    const int full = std::max(1, (width() - 2 * border_ + kLine) / (colWidth_ + kLine));
    if (col >= leftCol_ + full) SetLeftCol(col - full + 1);
  }
}

void TGrid::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRect inner = rect().adjusted(border_, border_, -border_, -border_);
  p.fillRect(rect(), palette().color(QPalette::Base));
  p.setClipRect(QRect(inner.left(), inner.top(), inner.width(), ScrollAreaHeight()));
  const QColor lineColor = palette().color(QPalette::Mid);
  for (int r = 0; r < rowCount_; ++r) {
    for (int c = leftCol_; c < colCount_; ++c) {
      const QRect cell = CellRect(c, r);
      if (cell.isEmpty()) continue;
      if (cell.left() > inner.right() || cell.top() > inner.top() + ScrollAreaHeight()) continue;
      const bool fixed = r < fixedRows_;
      const bool current = rowSelect_ ? r == row_ : (c == col_ && r == row_);
      TGridDrawState state = 0;
      if (fixed) state |= gdFixed;
      if (current && !fixed) state |= gdSelected | (hasFocus() ? gdFocused : 0);
      if (gridLines_) {
        p.fillRect(QRect(cell.right() + 1, cell.top(), kLine, cell.height() + kLine), lineColor);
        p.fillRect(QRect(cell.left(), cell.bottom() + 1, cell.width(), kLine), lineColor);
      }
      if (OnDrawCell && !fixed) {
        canvas_ = &p;
        p.save();
        OnDrawCell(c, r, cell, state);
        p.restore();
        canvas_ = nullptr;
        continue;
      }
      if (fixed) {
        p.fillRect(cell, palette().color(QPalette::Button));
      } else if (current) {
        p.fillRect(cell, palette().color(QPalette::Highlight));
      }
      p.setPen(current && !fixed ? palette().color(QPalette::HighlightedText)
                                 : palette().color(QPalette::Text));
      p.drawText(cell.adjusted(kTextMargin, 0, -kTextMargin, 0), Qt::AlignLeft | Qt::AlignVCenter,
                 Cell(c, r));
    }
  }
  p.setClipping(false);
  if (border_ > 0) {
    p.setPen(palette().color(QPalette::Dark));
    p.drawLine(0, 0, width() - 1, 0);
    p.drawLine(0, 0, 0, height() - 1);
    p.setPen(palette().color(QPalette::Light));
    p.drawLine(0, height() - 1, width() - 1, height() - 1);
    p.drawLine(width() - 1, 0, width() - 1, height() - 1);
    p.setPen(palette().color(QPalette::Shadow));
    p.drawLine(1, 1, width() - 2, 1);
    p.drawLine(1, 1, 1, height() - 2);
  }
}

void TGrid::mousePressEvent(QMouseEvent* e) {
  const QPoint pos = e->position().toPoint();
  if (e->button() == Qt::LeftButton) {
    setFocus(Qt::MouseFocusReason);
    int c, r;
    if (MouseToCell(pos.x(), pos.y(), c, r) && r >= fixedRows_) {
      if (c == col_ && r == row_ && editing_) {
        StartEditing(Cell(c, r), false);
      } else {
        SetCurrent(c, r);
      }
    }
  }
  if (OnMouseDown) OnMouseDown(e->button(), e->modifiers(), e->buttons(), pos.x(), pos.y());
}

void TGrid::mouseMoveEvent(QMouseEvent* e) {
  const QPoint pos = e->position().toPoint();
  if (OnMouseMove) OnMouseMove(e->modifiers(), e->buttons(), pos.x(), pos.y());
}

void TGrid::keyPressEvent(QKeyEvent* e) {
  int c = col_, r = row_;
  switch (e->key()) {
    case Qt::Key_Left:
      --c;
      break;
    case Qt::Key_Right:
      ++c;
      break;
    case Qt::Key_Up:
      --r;
      break;
    case Qt::Key_Down:
      ++r;
      break;
    case Qt::Key_Home:
      c = 0;
      break;
    case Qt::Key_End:
      c = colCount_ - 1;
      break;
    case Qt::Key_F2:
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (editing_) StartEditing(Cell(col_, row_), false);
      return;
    default:
      if (editing_ && !e->text().isEmpty() && e->text().at(0).isPrint()) {
        StartEditing(e->text(), true);
        return;
      }
      QWidget::keyPressEvent(e);
      return;
  }
  if (c != col_ || r != row_) SetCurrent(c, r);
}

void TGrid::wheelEvent(QWheelEvent* e) {
  if (hbar_->isVisible()) SetLeftCol(leftCol_ + (e->angleDelta().y() < 0 ? 1 : -1));
}

void TGrid::resizeEvent(QResizeEvent*) {
  UpdateScrollBar();
}

bool TGrid::eventFilter(QObject* watched, QEvent* event) {
  // The line edit lets Return through to its parent, where it would open the editor again.
  if (watched == editor_ && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      CloseEditor();
      setFocus();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TGrid::FitDigits(int digits) {
  if (digits == fitDigits_) return;
  if (fitDigits_ == 0) fitFont_ = font();
  fitDigits_ = digits;
  ApplyDigitFit();
}

void TGrid::ApplyDigitFit() {
  if (fitDigits_ <= 0) return;
  const QString widest(fitDigits_, QChar('0'));
  const int room = colWidth_ - 2 * kTextMargin - kCaret;
  QFont f = fitFont_;
  while (f.pointSizeF() > 4 && QFontMetrics(f).horizontalAdvance(widest) > room)
    f.setPointSizeF(f.pointSizeF() - 0.5);
  setFont(f);
}

void TGrid::StartEditing(const QString& initial, bool replace) {
  if (!editing_) return;
  if (!editor_) {
    editor_ = new QLineEdit(this);
    editor_->setFrame(false);
    connect(editor_, &QLineEdit::textEdited, this, [this](const QString& text) {
      const int c = col_, r = row_;
      cells_[static_cast<size_t>(c)][static_cast<size_t>(r)] = text;
      if (OnSetEditText) OnSetEditText(c, r, text);
      // The handler may have replaced the text (clamped or emptied it).
      if (editor_ && editor_->text() != Cell(c, r)) editor_->setText(Cell(c, r));
      InvalidateCell(c, r);
    });
    editor_->installEventFilter(this);
  }
  editor_->setGeometry(CellRect(col_, row_));
  editor_->setText(Cell(col_, row_));
  editor_->show();
  editor_->setFocus();
  // The whole text is selected, so that what is typed replaces it.
  editor_->selectAll();
  if (replace) {
    editor_->insert(initial);
    emit editor_->textEdited(editor_->text());
  }
}

void TGrid::CloseEditor() {
  if (editor_ && editor_->isVisible()) {
    editor_->hide();
    InvalidateCell(col_, row_);
  }
}
