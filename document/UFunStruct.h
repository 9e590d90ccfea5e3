#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "InOutError.h"

// The one document of the program: the funlights of one funlight.pat file, the file record and the
// selection that every editing command shares.
namespace UFunStruct {

struct TFrameCell {
  uint8_t Element = 0;
  uint8_t R = 0;
  uint8_t G = 0;
  uint8_t B = 0;
  bool operator==(const TFrameCell&) const = default;
};

struct TFrame {
  uint16_t Duration = 0;
  uint8_t CellCount = 0;
  std::vector<TFrameCell> Cells;
  bool operator==(const TFrame&) const = default;
};

struct TClubCell {
  uint8_t R = 0;
  uint8_t G = 0;
  uint8_t B = 0;
  uint8_t Param = 0;
  bool operator==(const TClubCell&) const = default;
};

struct TClubFrame {
  uint8_t Element = 0;
  uint8_t CellCount = 0;
  uint16_t UpperFreq = 0;
  uint16_t LowerFreq = 0;
  std::vector<TClubCell> Cells;
  bool operator==(const TClubFrame&) const = default;
};

struct TFunlight {
  uint16_t Size = 0;
  uint8_t FrameCount = 0;
  uint8_t StepCount = 0;
  uint8_t FunID = 0;
  uint8_t FunType = 2;  // 1 = clublight, 2 = normal
  std::vector<TFrame> Frames;
  std::vector<TClubFrame> ClubFrames;
  uint16_t HeadValue = 0;
  bool Repeating = false;
  // Data bytes of a funlight of another type, kept as read so that it is written back unchanged.
  std::vector<uint8_t> RawData;
  bool operator==(const TFunlight&) const = default;
};

struct TFunFile {
  std::string FileName;
  uint16_t TotalSize = 0;
  uint8_t Count = 0;
};

constexpr uint8_t ClubType = 1;
constexpr uint8_t NormalType = 2;
constexpr uint8_t NoCell = 255;
constexpr int MaxFunlights = 255;
// The largest PAT file: 255 clublights of 255 rows of 255 steps, the longest funlight there is.
constexpr size_t MaxPatFileSize = 5 + 255 * (7 + 255 * (6 + 3 * 255));

extern std::vector<TFunlight> FunList;
extern TFunFile FunFile;
extern const std::array<uint8_t, 23> FunIDTable;

extern uint8_t CurFun;
extern uint8_t SelCol;
extern uint8_t SelCell;
extern uint8_t SelElement;
extern uint8_t CopyTarget;
extern bool EmptyFlag;

// 24-bit screen colour, red in the low byte (each 4-bit channel times 17).
uint32_t ColorOf(uint8_t R, uint8_t G, uint8_t B);
// Index of Element's cell in frame Col (normal) or of its row (clublight) of F; 255 when none.
uint8_t CellIndex(const TFunlight& F, uint8_t Element, uint8_t Col);
// The same in FunList[CurFun].
uint8_t FindCell(uint8_t Element, uint8_t Col);
void AddFunlight();
void AddFunlightOfType(uint8_t Type);
void ClearFunList();
void SetFrameCount(int Index);
void SetClubFrameCount(int Index);

// The PAT file (PatFile.cpp).
// The data bytes of funlight Index in the file, in 16 bits; UpdateSize stores them in its Size.
uint16_t CalcSize(int Index);
void UpdateSize(int Index);
// Loads the whole document from Path. A file that does not start with 01 01 changes nothing and
// returns false. I/O failures, anything but a regular file and a file longer than MaxPatFileSize
// throw EInOutError and leave the document as it was.
bool ReadPat(const std::string& Path);
// Writes the whole document to Path. A file with one name that belongs to this user is replaced
// by a new one only once that is complete and on disk; any other file (and one in a folder the
// user may not write) is overwritten in place. Mode, owner, group and links are kept.
void WritePat(const std::string& Path);

}  // namespace UFunStruct
