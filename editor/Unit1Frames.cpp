// Frame operations: the frame row, one element's cell in one frame or in all frames, and the
// clublight values.
#include <QAction>
#include <QComboBox>
#include <QSpinBox>
#include <algorithm>
#include <cstdint>
#include <optional>

#include "Profile.h"
#include "UFunStruct.h"
#include "Unit1.h"

namespace Unit1 {

namespace {

using namespace UFunStruct;

bool ValidElement(int e) {
  return e >= 1 && e <= 7;
}

uint8_t Find(int element, int col) {
  if (!ValidElement(element) || col < 0 || col >= NoCell) return NoCell;
  return FindCell(static_cast<uint8_t>(element), static_cast<uint8_t>(col));
}

// Reads a number the way the original run-time's Val did for a 32-bit integer: leading blanks, a
// sign, a "$", "x" or "0x" hexadecimal prefix; anything else, nothing at all or a value that does
// not fit in 32 bits is an error.
std::optional<int64_t> ParseInteger(const QString& text) {
  qsizetype i = 0;
  const qsizetype n = text.size();
  while (i < n && text[i] == u' ') ++i;
  bool negative = false;
  if (i < n && (text[i] == u'+' || text[i] == u'-')) {
    negative = text[i] == u'-';
    ++i;
  }
  int base = 10;
  if (i < n && (text[i] == u'$' || text[i] == u'x' || text[i] == u'X')) {
    base = 16;
    ++i;
  } else if (i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
    base = 16;
    i += 2;
  }
  if (i >= n) return std::nullopt;
  const int64_t limit = negative ? int64_t{1} << 31 : (int64_t{1} << 31) - 1;
  int64_t value = 0;
  for (; i < n; ++i) {
    const char16_t c = text[i].unicode();
    int digit;
    if (c >= u'0' && c <= u'9') {
      digit = c - u'0';
    } else if (base == 16 && c >= u'a' && c <= u'f') {
      digit = c - u'a' + 10;
    } else if (base == 16 && c >= u'A' && c <= u'F') {
      digit = c - u'A' + 10;
    } else {
      return std::nullopt;
    }
    value = value * base + digit;
    if (value > limit) return std::nullopt;
  }
  return negative ? -value : value;
}

void AppendBlackCell(TFrame& frame, int element) {
  TFrameCell cell;
  cell.Element = static_cast<uint8_t>(element);
  frame.Cells.push_back(cell);
  frame.CellCount = static_cast<uint8_t>(frame.Cells.size());
}

// Paints the cell that the "Selected frame" page shows and selects it again, so that the page shows
// what it holds now.
void ReselectPageCell(TMForm& form) {
  const int col = SelCol, row = form.CellElement - 1;
  form.EditGridDrawCell(col, row, form.EditGrid->CellRect(col, row), 0);
  bool canSelect = true;
  form.EditGridSelectCell(col, row, canSelect);
}

// A clublight element takes part in every step or in none: a missing element gets a whole row of
// black steps.
void AddClubRow(TFunlight& f, int element) {
  if (Find(element, 0) != NoCell) return;
  for (TClubFrame& row : f.ClubFrames) {
    row.Cells.resize(f.StepCount);
    row.CellCount = f.StepCount;
  }
  TClubFrame row;
  row.Element = static_cast<uint8_t>(element);
  row.CellCount = f.StepCount;
  row.Cells.resize(f.StepCount);
  f.ClubFrames.push_back(std::move(row));
  f.FrameCount = static_cast<uint8_t>(f.ClubFrames.size());
}

void RemoveCell(TFrame& frame, uint8_t index) {
  if (index >= frame.Cells.size()) return;
  frame.Cells.erase(frame.Cells.begin() + index);
  frame.CellCount = static_cast<uint8_t>(frame.Cells.size());
}

}  // namespace

TClubCell* ClubCellToChange(int Element, int Step) {
  TFunlight* f = CurrentFunlight();
  if (!f || f->FunType != ClubType || Step < 0 || Step >= f->StepCount) return nullptr;
  const uint8_t idx = Find(Element, Step);
  if (idx == NoCell) return nullptr;
  TClubFrame& row = f->ClubFrames[idx];
  // The file keeps CellCount cells of a row; the steps after them are shown but would not be saved.
  if (row.CellCount < f->StepCount) {
    row.Cells.resize(std::max<size_t>(row.Cells.size(), f->StepCount));
    row.CellCount = f->StepCount;
  }
  if (static_cast<size_t>(Step) >= row.Cells.size()) return nullptr;
  return &row.Cells[static_cast<size_t>(Step)];
}

void TMForm::FrameGridSetEditText(int ACol, int ARow, const QString& Value) {
  if (!DocActive) return;
  TFunlight* f = CurrentFunlight();
  if (!f) return;
  const std::optional<int64_t> parsed = ParseInteger(Value);
  int64_t value = parsed.value_or(0);
  if (parsed && value > 65535) {
    value = 65535;
    FrameGrid->SetCell(ACol, ARow, "65535");
  }
  // A duration is unsigned: a negative number is no more a duration than any other text.
  if (!parsed || value < 0 || f->FunType == ClubType) {
    value = 0;
    FrameGrid->SetCell(ACol, ARow, QString());
  }
  if (f->FunType == NormalType && !Value.isEmpty() && ACol >= 0 &&
      static_cast<size_t>(ACol) < f->Frames.size())
    f->Frames[static_cast<size_t>(ACol)].Duration = static_cast<uint16_t>(value);
}

void TMForm::FrameGridSelectCell(int ACol, int, bool&) {
  if (!DocActive) return;
  const TFunlight* f = CurrentFunlight();
  if (!f || f->FunType != NormalType) return;
  // The last frame of a funlight that does not repeat is stored without a duration.
  if (!f->Repeating && ACol == f->FrameCount - 1) {
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
  if (!f || !ValidElement(CellElement)) return;
  if (f->FunType == ClubType) {
    AddClubRow(*f, CellElement);
    // As "add to all" does: the slot page is refilled (its element may have been given the row),
    // the page of the cell is not. The right button adds with Updating set and selects nothing.
    if (!Updating) {
      bool canSelect = true;
      SlotGridSelectCell(0, SelElement - 1, canSelect);
    }
    EditGrid->update();
    return;
  }
  if (f->FunType != NormalType || SelCol >= f->Frames.size()) return;
  // The action can still be enabled for a cell that "add to all" has just filled.
  if (Find(CellElement, SelCol) == NoCell) AppendBlackCell(f->Frames[SelCol], CellElement);
  if (Updating) return;
  ReselectPageCell(*this);
}

void TMForm::ADelFrameExecute() {
  TFunlight* f = CurrentFunlight();
  if (!f || f->FunType != NormalType || !ValidElement(CellElement)) return;
  const uint8_t idx = Find(CellElement, SelCol);
  if (idx != NoCell) RemoveCell(f->Frames[SelCol], idx);
  ReselectPageCell(*this);
}

void TMForm::AAddAllFramesExecute() {
  TFunlight* f = CurrentFunlight();
  if (!f || !ValidElement(SelElement)) return;
  if (f->FunType == NormalType) {
    for (size_t col = 0; col < f->Frames.size() && col < NoCell; ++col)
      if (Find(SelElement, static_cast<int>(col)) == NoCell)
        AppendBlackCell(f->Frames[col], SelElement);
  } else if (f->FunType == ClubType) {
    AddClubRow(*f, SelElement);
  }
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
  TFunlight* f = CurrentFunlight();
  if (!f) return;
  if (f->FunType == NormalType) {
    for (size_t col = 0; col < f->Frames.size() && col < NoCell; ++col)
      RemoveCell(f->Frames[col], Find(SelElement, static_cast<int>(col)));
  } else if (f->FunType == ClubType) {
    const uint8_t idx = Find(SelElement, 0);
    if (idx == NoCell) return;
    f->ClubFrames.erase(f->ClubFrames.begin() + idx);
    f->FrameCount = static_cast<uint8_t>(f->ClubFrames.size());
  }
  EditGrid->update();
}

void TMForm::AClearAllFramesExecute() {
  if (!DocActive) return;
  TFunlight* f = CurrentFunlight();
  if (!f || f->FunType != NormalType) return;
  for (size_t col = 0; col < f->Frames.size() && col < NoCell; ++col) {
    const uint8_t idx = Find(SelElement, static_cast<int>(col));
    if (idx == NoCell) continue;
    TFrameCell& cell = f->Frames[col].Cells[idx];
    cell.R = cell.G = cell.B = 0;
  }
  EditGrid->update();
}

void TMForm::ACopyAllFramesExecute() {
  TFunlight* f = CurrentFunlight();
  if (!f || f->FunType != NormalType || !ValidElement(CopyTarget)) return;
  for (size_t col = 0; col < f->Frames.size() && col < NoCell; ++col) {
    TFrame& frame = f->Frames[col];
    const uint8_t source = Find(SelElement, static_cast<int>(col));
    if (source == NoCell) continue;
    uint8_t target = Find(CopyTarget, static_cast<int>(col));
    if (target == NoCell) {
      AppendBlackCell(frame, CopyTarget);
      target = static_cast<uint8_t>(frame.Cells.size() - 1);
    }
    frame.Cells[target].R = frame.Cells[source].R;
    frame.Cells[target].G = frame.Cells[source].G;
    frame.Cells[target].B = frame.Cells[source].B;
  }
  EditGrid->update();
}

void TMForm::ComboBox3Change() {
  const int index = ComboBox3->currentIndex();
  if (index >= 0 && index < 7) CopyTarget = static_cast<uint8_t>(index + 1);
}

void TMForm::SpinEdit2Change() {
  // The step of the page's cell, looked up again: its row may have moved or gone since.
  if (TClubCell* cell = ClubCellToChange(CellElement, SelCol))
    cell->Param = static_cast<uint8_t>(std::clamp(SpinEdit2->value(), 0, 255));
}

void TMForm::SpinEdit3Change() {
  if (Updating) return;
  TFunlight* f = CurrentFunlight();
  if (!f || f->FunType != ClubType) return;
  const uint8_t idx = Find(SelElement, 0);
  if (idx == NoCell) return;
  f->ClubFrames[idx].UpperFreq = static_cast<uint16_t>(std::clamp(SpinEdit3->value(), 0, 65535));
}

void TMForm::SpinEdit4Change() {
  if (Updating) return;
  TFunlight* f = CurrentFunlight();
  if (!f || f->FunType != ClubType) return;
  const uint8_t idx = Find(SelElement, 0);
  if (idx == NoCell) return;
  f->ClubFrames[idx].LowerFreq = static_cast<uint16_t>(std::clamp(SpinEdit4->value(), 0, 65535));
}

}  // namespace Unit1
