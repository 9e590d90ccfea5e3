#pragma once

#include <QFont>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <vector>

class QLineEdit;
class QPainter;
class QScrollBar;

// Grid state flags handed to the draw handler, after the names of the original grid.
enum TGridDrawStateFlag { gdSelected = 1, gdFocused = 2, gdFixed = 4 };
using TGridDrawState = int;

// A small draw/string grid: fixed-size columns and rows, an optional fixed first row, a current
// cell, horizontal scrolling by whole columns, optional in-place editing, and the events of the
// original grids (draw cell, select cell, set edit text, top-left changed, mouse).
class TGrid : public QWidget {
  Q_OBJECT
 public:
  explicit TGrid(QWidget* parent = nullptr);

  int ColCount() const { return colCount_; }
  int RowCount() const { return rowCount_; }
  void SetColCount(int n);
  void SetRowCount(int n);
  int DefaultColWidth() const { return colWidth_; }
  int DefaultRowHeight() const { return rowHeight_; }
  void SetDefaultColWidth(int w);
  void SetDefaultRowHeight(int h);
  int FixedRows() const { return fixedRows_; }
  void SetFixedRows(int n);

  // Options.
  bool Editing() const { return editing_; }
  void SetEditing(bool on);
  void SetRowSelect(bool on) {
    rowSelect_ = on;
    update();
  }
  void SetGridLines(bool on) {
    gridLines_ = on;
    update();
  }
  void SetHorizontalScrollBar(bool on);
  // The sunken 2-pixel border (on by default); a borderless grid starts its cells at its edge.
  void SetBorder(bool on);
  void SetBackground(const QColor& c);

  // Current cell. SetCurrent asks OnSelectCell first, like a click; MoveCurrent only marks the
  // cell, for a caller that has already done what selecting it means.
  int Col() const { return col_; }
  int Row() const { return row_; }
  bool SetCurrent(int col, int row);
  void MoveCurrent(int col, int row);

  // First visible scrollable column and row.
  int LeftCol() const { return leftCol_; }
  int TopRow() const { return topRow_; }
  void SetLeftCol(int c);
  void SetTopRow(int r);
  int VisibleColCount() const;

  QString Cell(int col, int row) const;
  void SetCell(int col, int row, const QString& text);

  QRect CellRect(int col, int row) const;  // empty when the cell is not visible
  bool MouseToCell(int x, int y, int& col, int& row) const;
  void InvalidateCell(int col, int row);
  // The painter while the grid paints (for the draw handler), otherwise null.
  QPainter* Canvas() const { return canvas_; }
  QLineEdit* InplaceEditor() const { return editor_; }
  // Closes the in-place editor. What was typed is already in the cell: every change is handed to
  // OnSetEditText as it is typed.
  void CloseEditor();
  // Makes the grid's text, and the editor's, small enough for a number of this many digits to fit
  // a column whole.
  void FitDigits(int digits);

  std::function<void(int ACol, int ARow, const QRect& Rect, TGridDrawState State)> OnDrawCell;
  std::function<void(int ACol, int ARow, bool& CanSelect)> OnSelectCell;
  std::function<void(int ACol, int ARow, const QString& Value)> OnSetEditText;
  std::function<void()> OnTopLeftChanged;
  std::function<void(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, Qt::MouseButtons Buttons,
                     int X, int Y)>
      OnMouseDown;
  std::function<void(Qt::KeyboardModifiers Shift, Qt::MouseButtons Buttons, int X, int Y)>
      OnMouseMove;

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent*) override;
  void mouseMoveEvent(QMouseEvent*) override;
  void keyPressEvent(QKeyEvent*) override;
  void resizeEvent(QResizeEvent*) override;
  void wheelEvent(QWheelEvent*) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  int ScrollAreaHeight() const;
  void UpdateScrollBar();
  void EnsureVisible(int col, int row);
  void StartEditing(const QString& initial, bool replace);
  void GrowCells();
  void ApplyDigitFit();

  int colCount_ = 5, rowCount_ = 5, colWidth_ = 64, rowHeight_ = 24, fixedRows_ = 0;
  int col_ = 0, row_ = 0, leftCol_ = 0, topRow_ = 0;
  int border_ = 2;
  int fitDigits_ = 0;
  QFont fitFont_;  // the font the digit fit starts from
  bool editing_ = false, rowSelect_ = false, gridLines_ = true;
  std::vector<std::vector<QString>> cells_;  // [col][row]
  QScrollBar* hbar_ = nullptr;
  QLineEdit* editor_ = nullptr;
  QPainter* canvas_ = nullptr;
};
