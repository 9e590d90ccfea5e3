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

#include "DXDraws.h"
#include "Profile.h"
#include "UFunStruct.h"
#include "Unit1.h"

namespace Unit1 {

namespace {

using namespace UFunStruct;

// The channels of one cell record, whichever kind of funlight holds it.
struct TCellRef {
  uint8_t* R = nullptr;
  uint8_t* G = nullptr;
  uint8_t* B = nullptr;
  uint8_t* Param = nullptr;
  explicit operator bool() const { return R != nullptr; }
  uint8_t* Channel(int i) const { return i == 0 ? R : i == 1 ? G : B; }
};

enum class TUse { Read, Change };

// The record of element Element in column Col of the current funlight, looked up afresh: cells
// and rhythm rows move when others are removed, so a remembered index cannot be trusted.
TCellRef CellAt(int Element, int Col, TUse use) {
  if (CurFun >= FunList.size() || Element < 1 || Element > 7 || Col < 0 || Col >= NoCell) return {};
  TFunlight& f = FunList[CurFun];
  const uint8_t idx = FindCell(static_cast<uint8_t>(Element), static_cast<uint8_t>(Col));
  if (idx == NoCell) return {};
  if (f.FunType == ClubType) {
    TClubCell* c = nullptr;
    if (use == TUse::Change) {
      c = ClubCellToChange(Element, Col);
    } else if (static_cast<size_t>(Col) < f.ClubFrames[idx].Cells.size()) {
      c = &f.ClubFrames[idx].Cells[static_cast<size_t>(Col)];
    }
    if (!c) return {};
    return {&c->R, &c->G, &c->B, &c->Param};
  }
  if (f.FunType != NormalType) return {};
  TFrameCell& c = f.Frames[static_cast<size_t>(Col)].Cells[idx];
  return {&c.R, &c.G, &c.B, nullptr};
}

// The cell that the "Selected frame" page shows: its column and element were set by the cell
// click, and an element name clicked since does not change them.
TCellRef PageCell(const TMForm& form, TUse use) {
  return CellAt(form.CellElement, SelCol, use);
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
    if (const TCellRef cell = PageCell(form, TUse::Change))
      *cell.Channel(channel) = static_cast<uint8_t>(value);
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
  const TCellRef cell = PageCell(*this, TUse::Read);
  if (IsSingleColour(CellElement)) {
    GroupBox9->show();
    GroupBox6->hide();
  } else {
    GroupBox9->hide();
    GroupBox6->show();
    if (cell) ShowColour(*this, *cell.R, *cell.G, *cell.B);
  }
  Button2->setEnabled(true);
  const bool club = CurFun < FunList.size() && FunList[CurFun].FunType == ClubType;
  ADelFrame->setEnabled(!club);
  SpinEdit2->setEnabled(club);
  if (club && cell.Param) {
    const QSignalBlocker block(SpinEdit2);
    SpinEdit2->setValue(*cell.Param);
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
  // Nothing to take in the first column or where the element was not lit before.
  if (SelCol == 0 || !PageCell(*this, TUse::Read)) return;
  const TCellRef previous = CellAt(CellElement, SelCol - 1, TUse::Read);
  if (!previous) return;
  const uint8_t r = *previous.R, g = *previous.G, b = *previous.B;
  const TCellRef cell = PageCell(*this, TUse::Change);
  if (!cell) return;
  *cell.R = r;
  *cell.G = g;
  *cell.B = b;
  ShowColour(*this, r, g, b);
  RepaintPageCell(*this);
}

void TMForm::AMakeOn_OffExecute() {
  const TCellRef cell = PageCell(*this, TUse::Change);
  if (!cell) return;
  const uint8_t v = (*cell.R == 0 && *cell.G == 0 && *cell.B == 0) ? 15 : 0;
  *cell.R = *cell.G = *cell.B = v;
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
  if (!inside || row > 6 || col >= NoCell || HiddenElement(*this, row)) return;
  TRedirectedSelection redirect(*this, col, row);
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
    if (SelCell != NoCell) AMakeOn_OffExecute();
  }
  LastPaintedCol = col;
  LastPaintedRow = row;
}

}  // namespace Unit1
