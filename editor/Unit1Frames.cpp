// Frame operations: the frame row, one element's cell in one frame or in all frames, and the
// clublight values.
#include <QAction>
#include <QComboBox>
#include <QSpinBox>
#include <cstdint>
#include <optional>
#include <string>

#include "FunEdit.h"
#include "Profile.h"
#include "UFunStruct.h"
#include "Unit1.h"

namespace Unit1 {

namespace {

using namespace UFunStruct;

// Paints the cell that the "Selected frame" page shows and selects it again, so that the page shows
// what it holds now.
void ReselectPageCell(TMForm& form) {
  const int col = SelCol, row = form.CellElement - 1;
  form.EditGridDrawCell(col, row, form.EditGrid->CellRect(col, row), 0);
  bool canSelect = true;
  form.EditGridSelectCell(col, row, canSelect);
}

}  // namespace

void TMForm::FrameGridSetEditText(int ACol, int ARow, const QString& Value) {
  if (!DocActive) return;
  TFunlight* f = CurrentFunlight();
  if (!f) return;
  std::optional<std::string> shown;
  RecordCurrent(
      "s219", [&](TFunlight& fun) { shown = FunEdit::SetDuration(fun, ACol, Value.toStdString()); },
      MergeKey(FrameGrid) ^ static_cast<uint64_t>(ACol));
  if (shown) FrameGrid->SetCell(ACol, ARow, QString::fromStdString(*shown));
}

void TMForm::FrameGridSelectCell(int ACol, int, bool&) {
  if (!DocActive) return;
  const TFunlight* f = CurrentFunlight();
  if (!f || f->FunType != NormalType) return;
  if (!FunEdit::HasDuration(*f, ACol)) {
    Message(QString::fromStdString(Profile.LastFrameWarning), TMsgIcon::Warning);
    FrameGrid->SetEditing(false);
  } else {
    FrameGrid->SetEditing(true);
  }
}

// Add and Remove act on the cell the "Selected frame" page shows, whatever element name was clicked
// since.
void TMForm::AAddNewFrameExecute() {
  TFunlight* f = CurrentFunlight();
  if (!f || !FunEdit::ValidElement(CellElement)) return;
  RecordCurrent("s220", [this](TFunlight& fun) { FunEdit::AddCell(fun, CellElement, SelCol); });
  // The right button adds with Updating set and selects nothing; its on/off switch repaints.
  if (Updating) return;
  if (f->FunType == ClubType) {
    // As "add to all" does: the slot page is refilled (its element may have been given the row),
    // the page of the cell is not.
    bool canSelect = true;
    SlotGridSelectCell(0, SelElement - 1, canSelect);
    EditGrid->update();
  } else if (f->FunType == NormalType && SelCol < f->Frames.size()) {
    ReselectPageCell(*this);
  }
}

void TMForm::ADelFrameExecute() {
  TFunlight* f = CurrentFunlight();
  if (!f || f->FunType != NormalType || !FunEdit::ValidElement(CellElement)) return;
  RecordCurrent("s221", [this](TFunlight& fun) { FunEdit::RemoveCell(fun, CellElement, SelCol); });
  ReselectPageCell(*this);
}

void TMForm::AAddAllFramesExecute() {
  TFunlight* f = CurrentFunlight();
  if (!f) return;
  RecordCurrent("s222", [](TFunlight& fun) { FunEdit::AddToAllFrames(fun, SelElement); });
  // The page follows the element just added to; the names list's own current row can be another
  // element when the cell was picked on the colour grid. The right button adds with Updating set
  // and must select nothing.
  if (!Updating) {
    bool canSelect = true;
    SlotGridSelectCell(0, SelElement - 1, canSelect);
  }
  EditGrid->update();
}

void TMForm::ADelAllFramesExecute() {
  if (!DocActive) return;
  RecordCurrent("s223", [](TFunlight& f) { FunEdit::RemoveFromAllFrames(f, SelElement); });
  EditGrid->update();
}

void TMForm::AClearAllFramesExecute() {
  if (!DocActive) return;
  RecordCurrent("s224", [](TFunlight& f) { FunEdit::ClearAllFrames(f, SelElement); });
  EditGrid->update();
}

void TMForm::ACopyAllFramesExecute() {
  RecordCurrent("s225", [](TFunlight& f) { FunEdit::CopyToElement(f, SelElement, CopyTarget); });
  EditGrid->update();
}

void TMForm::ComboBox3Change() {
  const int index = ComboBox3->currentIndex();
  if (index >= 0 && index < 7) CopyTarget = static_cast<uint8_t>(index + 1);
}

void TMForm::SpinEdit2Change() {
  // The step of the page's cell, looked up again: its row may have moved or gone since.
  RecordCurrent(
      "s226",
      [this](TFunlight& f) { FunEdit::SetParam(f, CellElement, SelCol, SpinEdit2->value()); },
      MergeKey(SpinEdit2));
}

void TMForm::SpinEdit3Change() {
  if (Updating) return;
  RecordCurrent(
      "s227", [this](TFunlight& f) { FunEdit::SetUpperFreq(f, SelElement, SpinEdit3->value()); },
      MergeKey(SpinEdit3));
}

void TMForm::SpinEdit4Change() {
  if (Updating) return;
  RecordCurrent(
      "s228", [this](TFunlight& f) { FunEdit::SetLowerFreq(f, SelElement, SpinEdit4->value()); },
      MergeKey(SpinEdit4));
}

}  // namespace Unit1
