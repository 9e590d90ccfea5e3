#include "FunEdit.h"

#include <algorithm>
#include <utility>

namespace FunEdit {

using namespace UFunStruct;

bool ValidElement(int Element) {
  return Element >= 1 && Element <= 7;
}

namespace {

void AppendBlackCell(TFrame& Frame, int Element) {
  TFrameCell Cell;
  Cell.Element = static_cast<uint8_t>(Element);
  Frame.Cells.push_back(Cell);
  Frame.CellCount = static_cast<uint8_t>(Frame.Cells.size());
}

void EraseCell(TFrame& Frame, uint8_t Index) {
  if (Index >= Frame.Cells.size()) return;
  Frame.Cells.erase(Frame.Cells.begin() + Index);
  Frame.CellCount = static_cast<uint8_t>(Frame.Cells.size());
}

// A clublight element takes part in every step or in none: a missing element gets a whole row of
// black steps, and every row is brought to the step count on the way.
void AddClubRow(TFunlight& F, int Element) {
  if (FindCell(F, Element, 0) != NoCell) return;
  for (TClubFrame& Row : F.ClubFrames) {
    Row.Cells.resize(F.StepCount);
    Row.CellCount = F.StepCount;
  }
  TClubFrame Row;
  Row.Element = static_cast<uint8_t>(Element);
  Row.CellCount = F.StepCount;
  Row.Cells.resize(F.StepCount);
  F.ClubFrames.push_back(std::move(Row));
  F.FrameCount = static_cast<uint8_t>(F.ClubFrames.size());
}

// Frames a column loop may visit: a column is 8-bit, 255 meaning none.
size_t Columns(const TFunlight& F) {
  return std::min<size_t>(F.Frames.size(), NoCell);
}

// The record of Element in frame Col of a normal funlight, to read or to change.
const TFrameCell* FrameCellAt(const TFunlight& F, int Element, int Col) {
  if (F.FunType != NormalType) return nullptr;
  const uint8_t Index = FindCell(F, Element, Col);
  return Index == NoCell ? nullptr : &F.Frames[static_cast<size_t>(Col)].Cells[Index];
}
TFrameCell* FrameCellAt(TFunlight& F, int Element, int Col) {
  return const_cast<TFrameCell*>(FrameCellAt(std::as_const(F), Element, Col));
}

const TClubCell* ClubStepAt(const TFunlight& F, int Element, int Step) {
  if (F.FunType != ClubType) return nullptr;
  const uint8_t Index = FindCell(F, Element, Step);
  if (Index == NoCell || static_cast<size_t>(Step) >= F.ClubFrames[Index].Cells.size())
    return nullptr;
  return &F.ClubFrames[Index].Cells[static_cast<size_t>(Step)];
}

// The three channels of a cell record, whichever kind of funlight holds it.
struct TChannels {
  uint8_t* C[3] = {nullptr, nullptr, nullptr};
  explicit operator bool() const { return C[0] != nullptr; }
  TColour Colour() const { return {*C[0], *C[1], *C[2]}; }
  void Set(TColour Value) const { *C[0] = Value.R, *C[1] = Value.G, *C[2] = Value.B; }
};

TChannels ToChange(TFunlight& F, int Element, int Col) {
  if (TFrameCell* Cell = FrameCellAt(F, Element, Col)) return {{&Cell->R, &Cell->G, &Cell->B}};
  if (TClubCell* Cell = ClubStepToChange(F, Element, Col)) return {{&Cell->R, &Cell->G, &Cell->B}};
  return {};
}

void SetBand(TFunlight& F, int Element, int Value, uint16_t TClubFrame::*Field) {
  if (F.FunType != ClubType) return;
  const uint8_t Index = FindCell(F, Element, 0);
  if (Index == NoCell) return;
  F.ClubFrames[Index].*Field = static_cast<uint16_t>(std::clamp(Value, 0, 65535));
}

}  // namespace

bool Full(const TFunList& List) {
  return List.size() >= static_cast<size_t>(MaxFunlights);
}

bool AddFunlight(TFunList& List, TFunFile& File, uint8_t Type) {
  if (Full(List)) return false;
  TFunlight F;
  F.FunType = Type;
  F.FunID = 1;
  List.push_back(std::move(F));
  File.Count = static_cast<uint8_t>(List.size());
  return true;
}

bool CopyFunlight(TFunList& List, TFunFile& File, int Index) {
  if (Full(List) || Index < 0 || static_cast<size_t>(Index) >= List.size()) return false;
  TFunlight Copy = List[static_cast<size_t>(Index)];  // the vectors copy every frame, row and cell
  List.push_back(std::move(Copy));
  File.Count = static_cast<uint8_t>(List.size());
  return true;
}

int DeleteFunlight(TFunList& List, TFunFile& File, int Index) {
  // The last funlight of a document stays: the list and the editor always need one to show.
  if (List.size() < 2 || Index < 0 || static_cast<size_t>(Index) >= List.size()) return -1;
  List.erase(List.begin() + Index);
  File.Count = static_cast<uint8_t>(List.size());
  return std::min(Index, static_cast<int>(List.size()) - 1);
}

int MoveFunlight(TFunList& List, int Index, int Delta) {
  const int To = Index + Delta;
  const int Size = static_cast<int>(List.size());
  if (Index < 0 || Index >= Size || To < 0 || To >= Size) return -1;
  std::swap(List[static_cast<size_t>(Index)], List[static_cast<size_t>(To)]);
  return To;
}

bool SetFunID(TFunlight& F, int TableIndex) {
  if (TableIndex < 0 || TableIndex >= static_cast<int>(FunIDTable.size())) return false;
  F.FunID = FunIDTable[static_cast<size_t>(TableIndex)];
  return true;
}

void SetHeadValue(TFunlight& F, int Value) {
  F.HeadValue = static_cast<uint16_t>(std::clamp(Value, 0, 65535));
}

int SetCount(TFunlight& F, int Value) {
  const int Count = std::clamp(Value, 1, 255);
  if (F.FunType == NormalType) {
    F.FrameCount = static_cast<uint8_t>(Count);
    F.Frames.resize(static_cast<size_t>(Count));
  } else if (F.FunType == ClubType && Count != F.StepCount) {
    F.StepCount = static_cast<uint8_t>(Count);
    for (TClubFrame& Row : F.ClubFrames) {
      Row.CellCount = static_cast<uint8_t>(Count);
      Row.Cells.resize(static_cast<size_t>(Count));
    }
  }
  return Count;
}

uint8_t FindCell(const TFunlight& F, int Element, int Col) {
  if (!ValidElement(Element) || Col < 0 || Col >= NoCell) return NoCell;
  return CellIndex(F, static_cast<uint8_t>(Element), static_cast<uint8_t>(Col));
}

std::optional<int64_t> ParseInteger(const std::string& Text) {
  size_t i = 0;
  const size_t n = Text.size();
  while (i < n && Text[i] == ' ') ++i;
  bool Negative = false;
  if (i < n && (Text[i] == '+' || Text[i] == '-')) {
    Negative = Text[i] == '-';
    ++i;
  }
  int Base = 10;
  if (i < n && (Text[i] == '$' || Text[i] == 'x' || Text[i] == 'X')) {
    Base = 16;
    ++i;
  } else if (i + 1 < n && Text[i] == '0' && (Text[i + 1] == 'x' || Text[i + 1] == 'X')) {
    Base = 16;
    i += 2;
  }
  if (i >= n) return std::nullopt;
  const int64_t Limit = Negative ? int64_t{1} << 31 : (int64_t{1} << 31) - 1;
  int64_t Value = 0;
  for (; i < n; ++i) {
    const char c = Text[i];
    int Digit;
    if (c >= '0' && c <= '9') {
      Digit = c - '0';
    } else if (Base == 16 && c >= 'a' && c <= 'f') {
      Digit = c - 'a' + 10;
    } else if (Base == 16 && c >= 'A' && c <= 'F') {
      Digit = c - 'A' + 10;
    } else {
      return std::nullopt;
    }
    Value = Value * Base + Digit;
    if (Value > Limit) return std::nullopt;
  }
  return Negative ? -Value : Value;
}

std::optional<std::string> SetDuration(TFunlight& F, int Col, const std::string& Text) {
  const std::optional<int64_t> Parsed = ParseInteger(Text);
  int64_t Value = Parsed.value_or(0);
  std::optional<std::string> Shown;
  if (Parsed && Value > 65535) {
    Value = 65535;
    Shown = "65535";
  }
  // A duration is unsigned: a negative number is no more a duration than any other text.
  if (!Parsed || Value < 0 || F.FunType == ClubType) {
    Value = 0;
    Shown = std::string();
  }
  if (F.FunType == NormalType && !Text.empty() && Col >= 0 &&
      static_cast<size_t>(Col) < F.Frames.size())
    F.Frames[static_cast<size_t>(Col)].Duration = static_cast<uint16_t>(Value);
  return Shown;
}

bool HasDuration(const TFunlight& F, int Col) {
  return F.Repeating || Col != F.FrameCount - 1;
}

void AddCell(TFunlight& F, int Element, int Col) {
  if (!ValidElement(Element)) return;
  if (F.FunType == ClubType) {
    AddClubRow(F, Element);
  } else if (F.FunType == NormalType && Col >= 0 && static_cast<size_t>(Col) < F.Frames.size()) {
    // The command can still be offered for a cell that "add to all" has just filled.
    if (FindCell(F, Element, Col) == NoCell)
      AppendBlackCell(F.Frames[static_cast<size_t>(Col)], Element);
  }
}

void RemoveCell(TFunlight& F, int Element, int Col) {
  if (F.FunType != NormalType) return;
  const uint8_t Index = FindCell(F, Element, Col);
  if (Index != NoCell) EraseCell(F.Frames[static_cast<size_t>(Col)], Index);
}

void AddToAllFrames(TFunlight& F, int Element) {
  if (!ValidElement(Element)) return;
  if (F.FunType == NormalType) {
    for (size_t Col = 0; Col < Columns(F); ++Col)
      if (FindCell(F, Element, static_cast<int>(Col)) == NoCell)
        AppendBlackCell(F.Frames[Col], Element);
  } else if (F.FunType == ClubType) {
    AddClubRow(F, Element);
  }
}

void RemoveFromAllFrames(TFunlight& F, int Element) {
  if (F.FunType == NormalType) {
    for (size_t Col = 0; Col < Columns(F); ++Col)
      EraseCell(F.Frames[Col], FindCell(F, Element, static_cast<int>(Col)));
  } else if (F.FunType == ClubType) {
    const uint8_t Index = FindCell(F, Element, 0);
    if (Index == NoCell) return;
    F.ClubFrames.erase(F.ClubFrames.begin() + Index);
    F.FrameCount = static_cast<uint8_t>(F.ClubFrames.size());
  }
}

void ClearAllFrames(TFunlight& F, int Element) {
  for (size_t Col = 0; Col < Columns(F); ++Col)
    if (TFrameCell* Cell = FrameCellAt(F, Element, static_cast<int>(Col)))
      Cell->R = Cell->G = Cell->B = 0;
}

void CopyToElement(TFunlight& F, int Source, int Target) {
  if (F.FunType != NormalType || !ValidElement(Target)) return;
  for (size_t Col = 0; Col < Columns(F); ++Col) {
    TFrame& Frame = F.Frames[Col];
    const uint8_t From = FindCell(F, Source, static_cast<int>(Col));
    if (From == NoCell) continue;
    uint8_t To = FindCell(F, Target, static_cast<int>(Col));
    if (To == NoCell) {
      AppendBlackCell(Frame, Target);
      To = static_cast<uint8_t>(Frame.Cells.size() - 1);
    }
    Frame.Cells[To].R = Frame.Cells[From].R;
    Frame.Cells[To].G = Frame.Cells[From].G;
    Frame.Cells[To].B = Frame.Cells[From].B;
  }
}

std::optional<TColour> ColourAt(const TFunlight& F, int Element, int Col) {
  if (const TFrameCell* Cell = FrameCellAt(F, Element, Col))
    return TColour{Cell->R, Cell->G, Cell->B};
  if (const TClubCell* Cell = ClubStepAt(F, Element, Col))
    return TColour{Cell->R, Cell->G, Cell->B};
  return std::nullopt;
}

std::optional<uint8_t> ParamAt(const TFunlight& F, int Element, int Step) {
  if (const TClubCell* Cell = ClubStepAt(F, Element, Step)) return Cell->Param;
  return std::nullopt;
}

TClubCell* ClubStepToChange(TFunlight& F, int Element, int Step) {
  if (F.FunType != ClubType || Step < 0 || Step >= F.StepCount) return nullptr;
  const uint8_t Index = FindCell(F, Element, Step);
  if (Index == NoCell) return nullptr;
  TClubFrame& Row = F.ClubFrames[Index];
  // The file keeps CellCount cells of a row; the steps after them are shown but would not be saved.
  if (Row.CellCount < F.StepCount) {
    Row.Cells.resize(std::max<size_t>(Row.Cells.size(), F.StepCount));
    Row.CellCount = F.StepCount;
  }
  if (static_cast<size_t>(Step) >= Row.Cells.size()) return nullptr;
  return &Row.Cells[static_cast<size_t>(Step)];
}

bool SetChannel(TFunlight& F, int Element, int Col, int Channel, uint8_t Value) {
  const TChannels Cell = ToChange(F, Element, Col);
  if (!Cell || Channel < 0 || Channel > 2) return false;
  *Cell.C[Channel] = Value;
  return true;
}

void SetParam(TFunlight& F, int Element, int Step, int Value) {
  if (TClubCell* Cell = ClubStepToChange(F, Element, Step))
    Cell->Param = static_cast<uint8_t>(std::clamp(Value, 0, 255));
}

void SetUpperFreq(TFunlight& F, int Element, int Value) {
  SetBand(F, Element, Value, &TClubFrame::UpperFreq);
}

void SetLowerFreq(TFunlight& F, int Element, int Value) {
  SetBand(F, Element, Value, &TClubFrame::LowerFreq);
}

std::optional<TColour> TakePreviousColour(TFunlight& F, int Element, int Col) {
  // Nothing to take in the first column or where the element was not lit before.
  if (Col <= 0 || !ColourAt(F, Element, Col)) return std::nullopt;
  const std::optional<TColour> Previous = ColourAt(F, Element, Col - 1);
  if (!Previous) return std::nullopt;
  const TChannels Cell = ToChange(F, Element, Col);
  if (!Cell) return std::nullopt;
  Cell.Set(*Previous);
  return Previous;
}

std::optional<uint8_t> ToggleOnOff(TFunlight& F, int Element, int Col) {
  const TChannels Cell = ToChange(F, Element, Col);
  if (!Cell) return std::nullopt;
  const TColour Was = Cell.Colour();
  const uint8_t Value = (Was.R == 0 && Was.G == 0 && Was.B == 0) ? 15 : 0;
  Cell.Set({Value, Value, Value});
  return Value;
}

namespace {

// Every rhythm row with a cell for every step, as a column operation needs them.
void EvenRows(TFunlight& F) {
  for (TClubFrame& Row : F.ClubFrames) {
    Row.Cells.resize(F.StepCount);
    Row.CellCount = F.StepCount;
  }
}

bool HasColumns(const TFunlight& F) {
  return F.FunType == NormalType || F.FunType == ClubType;
}

bool IsColumn(const TFunlight& F, int Col) {
  return HasColumns(F) && Col >= 0 && Col < ColumnCount(F);
}

// Sets the count of columns after a change of Frames or of the rows' cells.
void Recount(TFunlight& F, int Count) {
  if (F.FunType == NormalType) F.FrameCount = static_cast<uint8_t>(Count);
  if (F.FunType != ClubType) return;
  F.StepCount = static_cast<uint8_t>(Count);
  for (TClubFrame& Row : F.ClubFrames) Row.CellCount = static_cast<uint8_t>(Row.Cells.size());
}

// Puts a column at Col: Frame for a normal funlight, the step Step(row) in each rhythm row.
template <typename TStepOf>
void PutColumn(TFunlight& F, int Col, TFrame Frame, TStepOf Step) {
  const int Count = ColumnCount(F) + 1;
  if (F.FunType == NormalType) {
    F.Frames.insert(F.Frames.begin() + Col, std::move(Frame));
  } else {
    EvenRows(F);
    for (TClubFrame& Row : F.ClubFrames) Row.Cells.insert(Row.Cells.begin() + Col, Step(Row));
  }
  Recount(F, Count);
}

}  // namespace

int ColumnCount(const TFunlight& F) {
  if (F.FunType == NormalType) return static_cast<int>(F.Frames.size());
  return F.FunType == ClubType ? F.StepCount : 0;
}

bool InsertColumn(TFunlight& F, int Col, int From) {
  if (!HasColumns(F) || Col < 0 || Col > ColumnCount(F) || ColumnCount(F) >= 255) return false;
  TFrame Frame;
  if (F.FunType == NormalType && IsColumn(F, From))
    Frame.Duration = F.Frames[static_cast<size_t>(From)].Duration;
  PutColumn(F, Col, std::move(Frame), [](const TClubFrame&) { return TClubCell{}; });
  return true;
}

bool DuplicateColumn(TFunlight& F, int Col) {
  if (!IsColumn(F, Col) || ColumnCount(F) >= 255) return false;
  EvenRows(F);
  const TFrame Frame = F.FunType == NormalType ? F.Frames[static_cast<size_t>(Col)] : TFrame{};
  PutColumn(F, Col + 1, Frame,
            [Col](const TClubFrame& Row) { return Row.Cells[static_cast<size_t>(Col)]; });
  return true;
}

bool DeleteColumn(TFunlight& F, int Col) {
  if (!IsColumn(F, Col) || ColumnCount(F) < 2) return false;
  const int Count = ColumnCount(F) - 1;
  if (F.FunType == NormalType) {
    F.Frames.erase(F.Frames.begin() + Col);
  } else {
    EvenRows(F);
    for (TClubFrame& Row : F.ClubFrames) Row.Cells.erase(Row.Cells.begin() + Col);
  }
  Recount(F, Count);
  return true;
}

int MoveColumn(TFunlight& F, int Col, int Delta) {
  const int To = Col + Delta;
  if (!IsColumn(F, Col) || !IsColumn(F, To)) return -1;
  if (F.FunType == NormalType) {
    std::swap(F.Frames[static_cast<size_t>(Col)], F.Frames[static_cast<size_t>(To)]);
  } else {
    EvenRows(F);
    for (TClubFrame& Row : F.ClubFrames)
      std::swap(Row.Cells[static_cast<size_t>(Col)], Row.Cells[static_cast<size_t>(To)]);
  }
  return To;
}

TColumnClip CopyColumn(const TFunlight& F, int Col) {
  TColumnClip Clip;
  if (!IsColumn(F, Col)) return Clip;
  Clip.FunType = F.FunType;
  if (F.FunType == NormalType) {
    const TFrame& Frame = F.Frames[static_cast<size_t>(Col)];
    Clip.Duration = Frame.Duration;
    Clip.Cells = Frame.Cells;
  } else {
    for (const TClubFrame& Row : F.ClubFrames) {
      const auto Step = static_cast<size_t>(Col);
      Clip.Steps.emplace_back(Row.Element, Step < Row.Cells.size() ? Row.Cells[Step] : TClubCell{});
    }
  }
  return Clip;
}

bool PasteColumn(TFunlight& F, int Col, const TColumnClip& Clip) {
  if (!IsColumn(F, Col) || Clip.FunType != F.FunType) return false;
  const auto At = static_cast<size_t>(Col);
  if (F.FunType == NormalType) {
    TFrame& Frame = F.Frames[At];
    Frame.Duration = Clip.Duration;
    Frame.Cells = Clip.Cells;
    Frame.CellCount = static_cast<uint8_t>(Frame.Cells.size());
    return true;
  }
  for (const auto& [Element, Step] : Clip.Steps) AddCell(F, Element, Col);
  EvenRows(F);
  for (TClubFrame& Row : F.ClubFrames) {
    Row.Cells[At] = TClubCell{};
    for (const auto& [Element, Step] : Clip.Steps)
      if (Element == Row.Element) Row.Cells[At] = Step;
  }
  return true;
}

}  // namespace FunEdit
