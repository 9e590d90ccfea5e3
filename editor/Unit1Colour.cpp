// Colour tools: the sliders, the on/off and previous-colour buttons, and painting cells on and off
// with the right mouse button.
#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <cstdint>
#include <optional>

#include "DXDraws.h"
#include "FunEdit.h"
#include "Profile.h"
#include "UFunStruct.h"
#include "Unit1.h"

namespace Unit1 {

namespace {

using namespace UFunStruct;

// The cell that the "Selected frame" page shows: its column and element were set by the cell
// click, and an element name clicked since does not change them. Cells and rhythm rows move when
// others are removed, so it is looked up afresh every time.
std::optional<FunEdit::TColour> PageColour(const TMForm& form) {
  const TFunlight* f = CurrentFunlight();
  return f ? FunEdit::ColourAt(*f, form.CellElement, SelCol) : std::nullopt;
}

int SliderValue(const QSlider* s) {
  return 15 - s->value();
}

QColor ScreenColour(int r, int g, int b) {
  const uint32_t c =
      ColorOf(static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b));
  return ColorFromWin(c);
}

// While the right button paints, the page's cell points at the painted cell; this is the cell that
// the "Selected frame" page shows meanwhile.
struct TPageSelection {
  bool Redirected = false;
  uint8_t Col = 0;
  uint8_t Element = 0;
};
TPageSelection PageSelection;

// Points the selection and the page's cell at one cell for the duration of a right-button toggle
// and puts them back.
class TRedirectedSelection {
 public:
  TRedirectedSelection(TMForm& form, int col, int row)
      : form_(form),
        savedCell_(SelCell),
        savedCol_(SelCol),
        savedElement_(SelElement),
        savedCellElement_(form.CellElement) {
    PageSelection = {true, savedCol_, savedCellElement_};
    Point(col, row);
  }
  ~TRedirectedSelection() {
    SelCell = savedCell_;
    SelCol = savedCol_;
    SelElement = savedElement_;
    form_.CellElement = savedCellElement_;
    PageSelection.Redirected = false;
  }
  void Point(int col, int row) {
    SelCol = static_cast<uint8_t>(col);
    SelElement = form_.CellElement = static_cast<uint8_t>(row + 1);
    SelCell = FindCell(SelElement, SelCol);
  }

 private:
  TMForm& form_;
  uint8_t savedCell_, savedCol_, savedElement_, savedCellElement_;
};

void SliderMoved(TMForm& form, QSlider* slider, QLineEdit* edit, int channel) {
  const int value = SliderValue(slider);
  edit->setText(QString::number(value));
  if (!EmptyFlag) {
    form.RecordCurrent(
        "s229",
        [&](TFunlight& f) {
          FunEdit::SetChannel(f, form.CellElement, SelCol, channel, static_cast<uint8_t>(value));
        },
        form.MergeKey(slider));
  }
  form.APreColorExecute();
}

void RepaintPageCell(TMForm& form) {
  const int row = form.CellElement - 1;
  form.EditGridDrawCell(SelCol, row, form.EditGrid->CellRect(SelCol, row), 0);
}

// Shows a colour on the sliders, their edits and the preview patch without writing it anywhere. A
// red above 15 read from a file puts its slider at the top and shows its own number.
void ShowColour(TMForm& form, int r, int g, int b) {
  QSlider* sliders[] = {form.TrackBar1, form.TrackBar2, form.TrackBar3};
  QLineEdit* edits[] = {form.Edit2, form.Edit3, form.Edit4};
  const int values[] = {r, g, b};
  for (int i = 0; i < 3; ++i) {
    const QSignalBlocker block(sliders[i]);
    sliders[i]->setValue(15 - values[i]);
    edits[i]->setText(QString::number(values[i]));
  }
  form.Shape1->SetBrushColor(ScreenColour(r, g, b));
}

bool HiddenElement(const TMForm& form, int row) {
  return IsAbsent(row + 1) && form.CheckBox2->isChecked();
}

}  // namespace

void TMForm::TrackBar1Change() {
  SliderMoved(*this, TrackBar1, Edit2, 0);
}
void TMForm::TrackBar2Change() {
  SliderMoved(*this, TrackBar2, Edit3, 1);
}
void TMForm::TrackBar3Change() {
  SliderMoved(*this, TrackBar3, Edit4, 2);
}

void TMForm::APreColorExecute() {
  Shape1->SetBrushColor(
      ScreenColour(SliderValue(TrackBar1), SliderValue(TrackBar2), SliderValue(TrackBar3)));
  RepaintPageCell(*this);
}

// Loading shows the cell and writes nothing: a value the controls cannot show (a red above 15)
// stays as read until the user changes that channel.
void TMForm::AMakeSelectExecute() {
  EmptyFlag = false;
  AAddNewFrame->setEnabled(false);
  ADelFrame->setEnabled(true);
  if (IsSingleColour(CellElement)) {
    GroupBox9->show();
    GroupBox6->hide();
  } else {
    GroupBox9->hide();
    GroupBox6->show();
    if (const auto c = PageColour(*this)) ShowColour(*this, c->R, c->G, c->B);
  }
  Button2->setEnabled(true);
  const TFunlight* f = CurrentFunlight();
  const bool club = f && f->FunType == ClubType;
  ADelFrame->setEnabled(!club);
  SpinEdit2->setEnabled(club);
  if (const auto param = club ? FunEdit::ParamAt(*f, CellElement, SelCol) : std::nullopt) {
    const QSignalBlocker block(SpinEdit2);
    SpinEdit2->setValue(*param);
  }
}

void TMForm::AMakeEmptyExecute() {
  EmptyFlag = true;
  GroupBox9->hide();
  GroupBox6->hide();
  Button2->setEnabled(false);
  SpinEdit2->setEnabled(false);
  ADelFrame->setEnabled(false);
  AAddNewFrame->setEnabled(true);
}

void TMForm::AMakePrevColExecute() {
  std::optional<FunEdit::TColour> c;
  RecordCurrent("s230",
                [&](TFunlight& f) { c = FunEdit::TakePreviousColour(f, CellElement, SelCol); });
  if (!c) return;
  ShowColour(*this, c->R, c->G, c->B);
  RepaintPageCell(*this);
}

void TMForm::AMakeOn_OffExecute() {
  std::optional<uint8_t> toggled;
  RecordCurrent("s231",
                [&](TFunlight& f) { toggled = FunEdit::ToggleOnOff(f, CellElement, SelCol); });
  if (!toggled) return;
  const uint8_t v = *toggled;
  RepaintPageCell(*this);
  // The page keeps showing its cell: when that is the one just toggled, show its new colour.
  const uint8_t pageCol = PageSelection.Redirected ? PageSelection.Col : SelCol;
  const uint8_t pageElement = PageSelection.Redirected ? PageSelection.Element : CellElement;
  if (!EmptyFlag && pageCol == SelCol && pageElement == CellElement) ShowColour(*this, v, v, v);
}

void TMForm::EditGridMouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers, Qt::MouseButtons,
                               int X, int Y) {
  if (!DocActive || Button != Qt::RightButton) return;
  int col, row;
  const bool inside = EditGrid->MouseToCell(X, Y, col, row);
  LastPaintedCol = col;
  LastPaintedRow = row;
  // The grid reports only its own cells: seven rows, at most 255 columns.
  if (!inside || HiddenElement(*this, row)) return;
  TRedirectedSelection redirect(*this, col, row);
  // The whole drag is one step.
  static uint64_t drags = 0;
  gesture_ = ++drags | uint64_t{1} << 63;
  Record(
      "s232", CurFun, 1,
      [&] {
        if (SelCell == NoCell) {
          // A missing cell is made first; with Updating set the add selects nothing.
          const bool wasEnabled = AAddNewFrame->isEnabled();
          const bool wasUpdating = Updating;
          AAddNewFrame->setEnabled(true);
          Updating = true;
          struct TRestore {
            QAction* action;
            bool enabled, updating;
            ~TRestore() {
              Updating = updating;
              action->setEnabled(enabled);
            }
          } restore{AAddNewFrame, wasEnabled, wasUpdating};
          Execute(AAddNewFrame);
          // Look the new record up.
          redirect.Point(col, row);
        }
        if (SelCell != NoCell) AMakeOn_OffExecute();
      },
      gesture_);
}

void TMForm::EditGridMouseMove(Qt::KeyboardModifiers Shift, Qt::MouseButtons Buttons, int X,
                               int Y) {
  if (!DocActive || Buttons != Qt::RightButton || Shift != Qt::NoModifier) return;
  int col, row;
  EditGrid->MouseToCell(X, Y, col, row);
  if (col == LastPaintedCol && row == LastPaintedRow) return;
  if (col >= 0 && col < NoCell && row >= 0 && row <= 6 && !HiddenElement(*this, row)) {
    const TRedirectedSelection redirect(*this, col, row);
    // Dragging only switches existing cells; it never creates one.
    if (SelCell != NoCell)
      Record(
          "s232", CurFun, 1, [this] { AMakeOn_OffExecute(); }, gesture_);
  }
  LastPaintedCol = col;
  LastPaintedRow = row;
}

}  // namespace Unit1
