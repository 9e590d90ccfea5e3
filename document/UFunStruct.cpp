#include "UFunStruct.h"

// The document's globals and the operations that do not touch a file.
namespace UFunStruct {

std::vector<TFunlight> FunList;
TFunFile FunFile;
const std::array<uint8_t, 23> FunIDTable = {1,  2,  3,  4,  5,  6,   7,   8,   9,   10,  11, 12,
                                            13, 14, 15, 16, 17, 128, 138, 148, 149, 150, 158};

uint8_t CurFun = 0;
uint8_t SelCol = 0;
uint8_t SelCell = 0;
uint8_t SelElement = 0;
uint8_t CopyTarget = 0;
bool EmptyFlag = false;

namespace {

bool ValidIndex(int Index) {
  return Index >= 0 && static_cast<size_t>(Index) < FunList.size();
}

}  // namespace

uint32_t ColorOf(uint8_t R, uint8_t G, uint8_t B) {
  return uint32_t{R} * 17 + uint32_t{G} * 17 * 256 + uint32_t{B} * 17 * 65536;
}

uint8_t FindCell(uint8_t Element, uint8_t Col) {
  return CurFun < FunList.size() ? CellIndex(FunList[CurFun], Element, Col) : NoCell;
}

uint8_t CellIndex(const TFunlight& F, uint8_t Element, uint8_t Col) {
  if (F.FunType == ClubType) {
    for (size_t i = 0; i < F.ClubFrames.size() && i < NoCell; ++i)
      if (F.ClubFrames[i].Element == Element) return static_cast<uint8_t>(i);
    return NoCell;
  }
  if (Col >= F.Frames.size()) return NoCell;
  const std::vector<TFrameCell>& Cells = F.Frames[Col].Cells;
  for (size_t i = 0; i < Cells.size() && i < NoCell; ++i)
    if (Cells[i].Element == Element) return static_cast<uint8_t>(i);
  return NoCell;
}

void AddFunlight() {
  TFunlight F;
  F.FunType = NormalType;
  FunList.push_back(std::move(F));
}

void AddFunlightOfType(uint8_t Type) {
  AddFunlight();
  FunList.back().FunType = Type;
  FunList.back().FunID = 1;
}

void ClearFunList() {
  FunList.clear();
  CurFun = 0;
  SelCell = 0;
  SelCol = 0;
}

void SetFrameCount(int Index) {
  if (!ValidIndex(Index)) return;
  TFunlight& F = FunList[Index];
  F.Frames.resize(F.FrameCount);
}

void SetClubFrameCount(int Index) {
  if (!ValidIndex(Index)) return;
  TFunlight& F = FunList[Index];
  F.ClubFrames.resize(F.FrameCount);
  for (size_t k = 0; k < F.ClubFrames.size(); ++k) {
    F.ClubFrames[k].Element = static_cast<uint8_t>(k + 1);
    F.ClubFrames[k].UpperFreq = 0;
    F.ClubFrames[k].LowerFreq = 0;
  }
}

}  // namespace UFunStruct
