// Undo and redo of the editing commands, and the column commands they record.

#include <gtest/gtest.h>

#include <functional>

#include "DocSupport.h"
#include "EditHistory.h"
#include "FunEdit.h"

using namespace DocSupport;
using namespace FunEdit;
using namespace EditHistory;

namespace {

TFunlight Lights() {
  return Normal(1, 7, false,
                {Frame(100, {Cell(1, 5, 5, 5), Cell(3, 4, 5, 6)}), Frame(200, {Cell(2, 1, 1, 1)}),
                 Frame(300, {})});
}

// Element 3's row was read with two of the three steps.
TFunlight Rhythm() {
  return Other(ClubType, 3, 2, {}, {},
               {Row(1, 9, 2, {{1, 0, 0, 1}, {2, 0, 0, 2}, {3, 0, 0, 3}}),
                Row(3, 8, 4, {{0, 5, 0, 5}, {0, 6, 9, 6}})});
}

// Frames as "duration:element,element", steps as "element:R/Param ..." per row.
std::string Columns(const TFunlight& F) {
  std::string S;
  for (const TFrame& Fr : F.Frames) {
    S += std::to_string(Fr.Duration) + ':';
    for (const TFrameCell& C : Fr.Cells) S += std::to_string(C.Element);
    S += Fr.CellCount == Fr.Cells.size() ? " " : "# ";
  }
  for (const TClubFrame& R : F.ClubFrames) {
    S += std::to_string(R.Element) + ':';
    for (const TClubCell& C : R.Cells)
      S += std::to_string(C.R) + '/' + std::to_string(C.Param) + ' ';
    if (R.CellCount != R.Cells.size()) S += "# ";
  }
  return S + '=' + std::to_string(F.FunType == ClubType ? F.StepCount : F.FrameCount);
}

TEST(ColumnEditTest, InsertDuplicateDeleteMoveCopyAndPaste) {
  const TColumnClip Frame1 = CopyColumn(Lights(), 1), Step0 = CopyColumn(Rhythm(), 0);
  TColumnClip Clip = Step0;
  Clip.Steps = {{3, {7, 0, 0, 70}}, {5, {8, 0, 0, 80}}};
  // A document, a command, the columns after (null: refused, nothing changed).
  const std::tuple<TFunlight (*)(), std::function<bool(TFunlight&)>, const char*> Cases[] = {
      // clang-format off
      {Lights, [](TFunlight& F) { return InsertColumn(F, 1, 2); }, "100:13 300: 200:2 300: =4"},
      {Lights, [](TFunlight& F) { return InsertColumn(F, 3, 0); }, "100:13 200:2 300: 100: =4"},
      {Lights, [](TFunlight& F) { return InsertColumn(F, 4, 0) || InsertColumn(F, -1, 0); }, nullptr},
      {Lights, [](TFunlight& F) { return DuplicateColumn(F, 0); }, "100:13 100:13 200:2 300: =4"},
      {Lights, [](TFunlight& F) { return DuplicateColumn(F, 3); }, nullptr},
      {Lights, [](TFunlight& F) { return DeleteColumn(F, 1); }, "100:13 300: =2"},
      {Lights, [](TFunlight& F) { return DeleteColumn(F, 3) || DeleteColumn(F, -1); }, nullptr},
      {Lights, [](TFunlight& F) { return MoveColumn(F, 0, 1) == 1; }, "200:2 100:13 300: =3"},
      {Lights, [](TFunlight& F) { return MoveColumn(F, 2, -1) == 1; }, "100:13 300: 200:2 =3"},
      {Lights, [](TFunlight& F) { return MoveColumn(F, 2, 1) >= 0 || MoveColumn(F, 0, -1) >= 0; }, nullptr},
      {Lights, [&](TFunlight& F) { return PasteColumn(F, 2, Frame1); }, "100:13 200:2 200:2 =3"},
      {Lights, [&](TFunlight& F) { return PasteColumn(F, 0, Step0) || PasteColumn(F, 3, Frame1); }, nullptr},
      // Steps: a row read short is evened out first.
      {Rhythm, [](TFunlight& F) { return InsertColumn(F, 0, 1); }, "1:0/0 1/1 2/2 3/3 3:0/0 0/5 0/6 0/0 =4"},
      {Rhythm, [](TFunlight& F) { return DuplicateColumn(F, 1); }, "1:1/1 2/2 2/2 3/3 3:0/5 0/6 0/6 0/0 =4"},
      {Rhythm, [](TFunlight& F) { return DeleteColumn(F, 0); }, "1:2/2 3/3 3:0/6 0/0 =2"},
      {Rhythm, [](TFunlight& F) { return MoveColumn(F, 1, 1) == 2; }, "1:1/1 3/3 2/2 3:0/5 0/0 0/6 =3"},
      {Rhythm, [&](TFunlight& F) { return PasteColumn(F, 2, Step0); }, "1:1/1 2/2 1/1 3:0/5 0/6 0/5 =3"},
      {Rhythm, [&](TFunlight& F) { return PasteColumn(F, 0, Frame1) || PasteColumn(F, 0, {}); }, nullptr},
      // A clip's rows go by element: a row the funlight lacks is added, one the clip lacks is black.
      {Rhythm, [&](TFunlight& F) { return PasteColumn(F, 1, Clip); }, "1:1/1 0/0 3/3 3:0/5 7/70 0/0 5:0/0 8/80 0/0 =3"},
      // 255 columns are the most; a funlight of another type has none.
      {[] { TFunlight F = Lights(); return SetCount(F, 255), F; },
       [](TFunlight& F) { return InsertColumn(F, 0, 0) || DuplicateColumn(F, 0) || ColumnCount(F) != 255; }, nullptr},
      {[] { return Other(5, 1, 3, {1, 2}); }, [](TFunlight& F) { return ColumnCount(F) != 0; }, nullptr},
      // clang-format on
  };
  for (int i = 0; const auto& [Document, Command, After] : Cases) {
    SCOPED_TRACE(i++);
    TFunlight F = Document();
    EXPECT_EQ(Command(F), After != nullptr);
    EXPECT_EQ(Columns(F), After ? After : Columns(Document()));
  }
  // A step a row was read without is copied black.
  EXPECT_EQ(CopyColumn(Rhythm(), 2).Steps, (decltype(Step0.Steps){{1, {3, 0, 0, 3}}, {3, {}}}));
}

// The list of the document before the commands below: a funlight, a clublight and a third one.
std::vector<TFunlight> Start() {
  return {Lights(), Rhythm(), Normal(4, 0, true, {Frame(5, {Cell(7, 1, 2, 3)})})};
}

// One command, where it acts and what it does: the range of the list that it changes.
struct TCommand {
  const char* Name;
  int First, Count;
  std::function<void(std::vector<TFunlight>&, TFunFile&)> Run;
};

const TCommand Commands[] = {
    {"add", 255, 0, [](auto& L, auto& File) { AddFunlight(L, File, ClubType); }},
    {"copy", 255, 0, [](auto& L, auto& File) { CopyFunlight(L, File, 1); }},
    {"delete", 1, 1, [](auto& L, auto& File) { DeleteFunlight(L, File, 1); }},
    {"move", 0, 2, [](auto& L, auto&) { MoveFunlight(L, 0, 1); }},
    {"type", 0, 1, [](auto& L, auto&) { L[0].FunType = ClubType; }},
    {"id", 0, 1, [](auto& L, auto&) { SetFunID(L[0], 5); }},
    {"head", 0, 1, [](auto& L, auto&) { SetHeadValue(L[0], 999); }},
    {"count", 1, 1, [](auto& L, auto&) { SetCount(L[1], 5); }},
    {"duration", 0, 1, [](auto& L, auto&) { SetDuration(L[0], 1, "70000"); }},
    {"cell", 0, 1, [](auto& L, auto&) { AddCell(L[0], 6, 2); }},
    {"row", 1, 1, [](auto& L, auto&) { AddToAllFrames(L[1], 6); }},
    {"clear", 0, 1, [](auto& L, auto&) { ClearAllFrames(L[0], 1); }},
    {"param", 1, 1, [](auto& L, auto&) { SetParam(L[1], 3, 2, 77); }},
    {"band", 1, 1, [](auto& L, auto&) { SetLowerFreq(L[1], 1, 0); }},
    {"toggle", 2, 9, [](auto& L, auto&) { ToggleOnOff(L[2], 7, 0); }},  // to the end
    {"insert", 1, 1, [](auto& L, auto&) { InsertColumn(L[1], 0, 0); }},
    {"paste", 0, 1, [](auto& L, auto&) { PasteColumn(L[0], 0, CopyColumn(L[2], 0)); }},
};

TEST(EditHistoryTest, EachCommandIsUndoneAndRedoneExactly) {
  const std::string Before = Describe(Start());
  for (const TCommand& C : Commands) {
    SCOPED_TRACE(C.Name);
    std::vector<TFunlight> List = Start();
    TFunFile File{"a.pat", 9, 3};
    THistory History;
    History.Begin(List, C.First, C.Count, {C.Name, {C.First, 2, 3, 4}});
    C.Run(List, File);
    History.End(List);
    const std::string After = Describe(List);
    ASSERT_NE(After, Before);
    EXPECT_EQ(std::tuple(History.Recording(), History.CanUndo(), History.CanRedo(),
                         History.Modified(), History.UndoLabel()),
              std::tuple(false, true, false, true, C.Name));
    EXPECT_EQ(History.Undo(List, File), (TPlace{C.First, 2, 3, 4}));
    EXPECT_EQ(std::tuple(Describe(List), History.CanUndo(), History.CanRedo(), History.Modified(),
                         History.UndoLabel(), History.RedoLabel()),
              std::tuple(Before, false, true, false, "", C.Name));
    History.Redo(List, File);
    EXPECT_EQ(std::tuple(Describe(List), +File.Count, File.TotalSize),
              std::tuple(After, int(List.size()), 9));
  }
}

// Plays Script on Start()[0]'s head value: "v" edits it to v ("v.g": on gesture g), "u" undoes,
// "r" redoes, "s" seals, "m" marks saved, "c" clears; "?" notes steps, U(ndo) R(edo) M(odified) v.
std::string Play(THistory& History, const std::string& Script) {
  std::vector<TFunlight> List = Start();
  TFunFile File;
  std::string Notes;
  std::istringstream In(Script);
  for (std::string Op; In >> Op;) {
    if (Op == "u") History.Undo(List, File);
    if (Op == "r") History.Redo(List, File);
    if (Op == "s") History.Seal();
    if (Op == "m") History.MarkSaved();
    if (Op == "c") History.Clear();
    if (Op == "?")
      Notes += std::to_string(History.Count()) + "-U"[History.CanUndo()] + "-R"[History.CanRedo()] +
               "-M"[History.Modified()] + std::to_string(List[0].HeadValue) + ' ';
    if (!std::isdigit(Op[0])) continue;
    size_t Dot = 0;
    const int Value = std::stoi(Op, &Dot);
    History.Begin(List, 0, 1, {"head", {}, Dot < Op.size() ? std::stoull(Op.substr(Dot + 1)) : 0});
    SetHeadValue(List[0], Value);
    History.End(List);
  }
  return Notes;
}

TEST(EditHistoryTest, GesturesSavedStateAndLimits) {
  THistory Unbounded;
  Play(Unbounded, "1 2 3 4 5 6");
  const size_t One = Unbounded.Bytes() / 6;  // every step here keeps the same
  // clang-format off
  const std::tuple<TLimits, const char*, const char*> Cases[] = {
      // A gesture is one step until sealed; one that comes back to where it began is none.
      {{}, "7.1 ? 10.1 20.1 30.1 40.2 s 50.2 ? u ? u ? u ? 8.3 7.3 ?", "0---7 3U-M50 3URM40 3URM30 3-R-7 0---7 "},
      // Merging never reaches into a step undone, nor into one sealed by a step that came to nothing.
      {{}, "9.4 u 11.4 ? s 12.4 11.4 13.4 ?", "1U-M11 2U-M13 "},
      // A new edit drops what could be redone; merged into a saved step, it is changed all the same.
      {{}, "1 m ? 2.5 ? u ? u ? r 3 ? m 4.6 5.6 s ? c ?", "1U--1 2U-M2 2UR-1 2-RM7 2U-M3 3U-M5 0---5 "},
      // The oldest steps go first past either limit; the loaded state cannot be reached any more.
      {{3, 1u << 20}, "1 2 3 4 5 6 ? u u u ?", "3U-M6 3-RM3 "},
      {{500, One * 3}, "1 2 3 4 5 6 ? u u u ?", "3U-M6 3-RM3 "},
      {{500, 1}, "1 2 ?", "1U-M2 "},  // a step larger than the bound stays alone
  };
  // clang-format on
  for (const auto& [Limits, Script, Notes] : Cases) {
    THistory History(Limits);
    EXPECT_EQ(Play(History, Script), Notes) << Script;
    EXPECT_EQ(History.Bytes(), History.Count() * One) << Script;
  }
  // The count holds at least what a step keeps: a long row, frames of many cells, raw data.
  THistory Long;
  Long.Begin({Club(1, {Row(1, 0, 0, std::vector<TClubCell>(255))}),
              Normal(2, 0, true, std::vector<TFrame>(255, Frame(1, std::vector<TFrameCell>(7)))),
              Other(5, 3, 0, Bytes(4000, 1))},
             0, 3, {});
  Long.End({});  // all three removed
  const size_t Kept = sizeof(TClubFrame) + 255 * sizeof(TClubCell) +
                      255 * (sizeof(TFrame) + 7 * sizeof(TFrameCell)) + 4000;
  EXPECT_TRUE(Long.Bytes() >= Kept && Long.Bytes() < 1u << 20) << Long.Bytes();
}

}  // namespace
