#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "UFunStruct.h"

// The editing commands of the document: each takes the funlights (or the one funlight) and the
// selection it acts on, changes them and returns what the window needs to show afterwards.
// Elements are numbered from 1 (1..7); a column is a frame of a normal funlight or a step of a
// clublight.
namespace FunEdit {

using UFunStruct::TClubCell;
using UFunStruct::TFrameCell;
using UFunStruct::TFunFile;
using UFunStruct::TFunlight;
using TFunList = std::vector<TFunlight>;

// A light element number: 1 to 7.
bool ValidElement(int Element);

// ---- The funlight list. Each command that adds or removes a funlight keeps File.Count equal.

// No funlight can be added: Count is 8-bit.
bool Full(const TFunList& List);
// Appends a funlight of Type (1 clublight, 2 normal) with identifier 1; false when full.
bool AddFunlight(TFunList& List, TFunFile& File, uint8_t Type);
// Appends a deep copy of funlight Index; false when full or Index names none.
bool CopyFunlight(TFunList& List, TFunFile& File, int Index);
// Removes funlight Index and returns the funlight to select next: the one that took its place, or
// the one before when it was the last. The last funlight of a document stays: -1 when refused.
int DeleteFunlight(TFunList& List, TFunFile& File, int Index);
// Swaps funlight Index with its neighbour above (Delta -1) or below (+1) and returns its new index;
// -1 when there is no neighbour.
int MoveFunlight(TFunList& List, int Index, int Delta);

// ---- The settings of one funlight.

// Takes entry TableIndex of FunIDTable; false when it names none.
bool SetFunID(TFunlight& F, int TableIndex);
void SetHeadValue(TFunlight& F, int Value);  // clamped to 0..65535
// The number of frames of a normal funlight or of steps of a clublight, clamped to 1..255, and
// returned. Only a change of the step count evens the rhythm rows out: a row read with fewer cells
// is written back as read while it is merely shown. A funlight of another type keeps its data.
int SetCount(TFunlight& F, int Value);

// ---- Frames and cells.

// Index of Element's cell in frame Col (normal) or of its rhythm row (clublight, any column);
// NoCell when none.
uint8_t FindCell(const TFunlight& F, int Element, int Col);
// Reads a number as the original run-time's Val did for a 32-bit integer: leading blanks, a sign, a
// "$", "x" or "0x" hexadecimal prefix; anything else, nothing at all or a value that does not fit
// in 32 bits is an error.
std::optional<int64_t> ParseInteger(const std::string& Text);
// Stores the typed duration of frame Col and returns the text the cell must show instead of what
// was typed (nullopt: keep it). An empty text keeps the stored duration.
std::optional<std::string> SetDuration(TFunlight& F, int Col, const std::string& Text);
// Whether frame Col keeps a duration in the file: the last frame of a funlight that does not
// repeat has none.
bool HasDuration(const TFunlight& F, int Col);

// Gives Element a black cell in frame Col; on a clublight a whole row of black steps. Nothing when
// it has one.
void AddCell(TFunlight& F, int Element, int Col);
void RemoveCell(TFunlight& F, int Element, int Col);  // normal funlights only
// A black cell in every frame that lacks one; on a clublight a whole row.
void AddToAllFrames(TFunlight& F, int Element);
// Every cell of Element; on a clublight its row.
void RemoveFromAllFrames(TFunlight& F, int Element);
// Blackens every cell of Element (normal funlights only).
void ClearAllFrames(TFunlight& F, int Element);
// Target takes Source's colour in every frame where Source is lit (normal funlights only).
void CopyToElement(TFunlight& F, int Source, int Target);

// ---- Colours.

struct TColour {
  uint8_t R = 0, G = 0, B = 0;
  bool operator==(const TColour&) const = default;
};
// The colour of Element in column Col; nullopt when it has no cell there.
std::optional<TColour> ColourAt(const TFunlight& F, int Element, int Col);
// The rhythm parameter of Element's step Step; nullopt when there is none.
std::optional<uint8_t> ParamAt(const TFunlight& F, int Element, int Step);
// Step Step of Element's rhythm row, about to be changed; null when there is none. A row read with
// fewer cells than the funlight has steps is given them all first, so that the change is saved.
TClubCell* ClubStepToChange(TFunlight& F, int Element, int Step);
// Channel 0, 1 or 2 (red, green, blue) of Element's cell in column Col; false when there is none.
bool SetChannel(TFunlight& F, int Element, int Col, int Channel, uint8_t Value);
void SetParam(TFunlight& F, int Element, int Step, int Value);  // clamped to 0..255
// The band of Element's rhythm row, clamped to 0..65535.
void SetUpperFreq(TFunlight& F, int Element, int Value);
void SetLowerFreq(TFunlight& F, int Element, int Value);
// Element's cell in column Col takes the colour of its cell in column Col - 1; returns that colour,
// nullopt (and changes nothing) when either cell is missing.
std::optional<TColour> TakePreviousColour(TFunlight& F, int Element, int Col);
// A black cell turns white, any other black; returns the new channel value (0 or 15), nullopt when
// there is no cell. A clublight step keeps its parameter.
std::optional<uint8_t> ToggleOnOff(TFunlight& F, int Element, int Col);

// ---- Whole columns: the frames of a normal funlight, the steps of a clublight. A funlight of
// another type has none to change. Each returns false (or -1) and changes nothing when refused.

// The number of columns: frames or steps.
int ColumnCount(const TFunlight& F);
// An empty column at Col (0 to the count): a frame without cells and with the duration of frame
// From, or a black step in every rhythm row. Refused at 255 columns.
bool InsertColumn(TFunlight& F, int Col, int From);
// A copy of column Col right after it.
bool DuplicateColumn(TFunlight& F, int Col);
// The last column stays.
bool DeleteColumn(TFunlight& F, int Col);
// Swaps column Col with its neighbour on the left (Delta -1) or right (+1); its new index.
int MoveColumn(TFunlight& F, int Col, int Delta);

// One column, copied: a frame's duration and cells, or a step of each rhythm row by element.
struct TColumnClip {
  uint8_t FunType = 0;  // 0: nothing copied
  uint16_t Duration = 0;
  std::vector<TFrameCell> Cells;
  std::vector<std::pair<uint8_t, TClubCell>> Steps;
  bool operator==(const TColumnClip&) const = default;
};
TColumnClip CopyColumn(const TFunlight& F, int Col);
// Column Col takes the clip's cells (and a frame its duration), replacing its own: a rhythm row
// whose element the clip lacks gets a black step, an element without a row gets one. Only onto a
// funlight of the clip's type.
bool PasteColumn(TFunlight& F, int Col, const TColumnClip& Clip);

}  // namespace FunEdit
