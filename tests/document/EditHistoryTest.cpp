// Undo and redo of the editing commands, and the column commands they record.

#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "DocSupport.h"
#include "EditHistory.h"
#include "FunEdit.h"

using namespace UFunStruct;
using namespace DocSupport;
using namespace FunEdit;
using EditHistory::TEdit;
using EditHistory::THistory;
using EditHistory::TPlace;

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
  const int Count = F.FunType == ClubType ? F.StepCount : F.FrameCount;
  return S + '=' + std::to_string(Count);
}

TEST(ColumnEditTest, InsertDuplicateDeleteMoveCopyAndPaste) {
  const TColumnClip Frame1 = CopyColumn(Lights(), 1), Step0 = CopyColumn(Rhythm(), 0);
  const struct {
    TFunlight (*Document)();
    std::function<bool(TFunlight&)> Command;
    const char* After;  // null: refused, nothing changed
  } Cases[] = {
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
      // clang-format on
  };
  for (size_t i = 0; i < std::size(Cases); ++i) {
    TFunlight F = Cases[i].Document();
    EXPECT_EQ(Cases[i].Command(F), Cases[i].After != nullptr) << i;
    EXPECT_EQ(Columns(F), Cases[i].After ? Cases[i].After : Columns(Cases[i].Document())) << i;
  }
  // A step a row was read without is copied black.
  EXPECT_EQ(CopyColumn(Rhythm(), 2).Steps,
            (decltype(Step0.Steps){{1, {3, 0, 0, 3}}, {3, {}}}));
  // A clip's rows go by element: a row the funlight lacks is added, one the clip lacks is black.
  TFunlight R = Rhythm();
  TColumnClip Clip = Step0;
  Clip.Steps = {{3, {7, 0, 0, 70}}, {5, {8, 0, 0, 80}}};
  EXPECT_TRUE(PasteColumn(R, 1, Clip));
  EXPECT_EQ(Columns(R), "1:1/1 0/0 3/3 3:0/5 7/70 0/0 5:0/0 8/80 0/0 =3");
  // 255 columns are the most.
  TFunlight Long = Lights();
  SetCount(Long, 255);
  EXPECT_FALSE(InsertColumn(Long, 0, 0) || DuplicateColumn(Long, 0));
  EXPECT_EQ(ColumnCount(Long), 255);
  EXPECT_EQ(ColumnCount(Other(5, 1, 3, {1, 2})), 0);
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
  for (const TCommand& C : Commands) {
    SCOPED_TRACE(C.Name);
    std::vector<TFunlight> List = Start();
    TFunFile File{"a.pat", 9, 3};
    THistory History;
    History.Begin(List, C.First, C.Count, {C.Name, {C.First, 2, 3, 4}});
    EXPECT_TRUE(History.Recording());
    C.Run(List, File);
    History.End(List);
    EXPECT_FALSE(History.Recording());
    const std::string After = Describe(List);
    ASSERT_NE(After, Describe(Start()));
    EXPECT_TRUE(History.CanUndo() && !History.CanRedo() && History.Modified());
    EXPECT_EQ(History.UndoLabel(), C.Name);
    EXPECT_EQ(History.Undo(List, File), (TPlace{C.First, 2, 3, 4}));
    EXPECT_EQ(Describe(List), Describe(Start()));
    EXPECT_TRUE(!History.CanUndo() && History.CanRedo() && !History.Modified());
    EXPECT_EQ(std::tuple(History.RedoLabel(), History.UndoLabel()), std::tuple(C.Name, ""));
    History.Redo(List, File);
    EXPECT_EQ(Describe(List), After);
    EXPECT_EQ(File.Count, List.size());
    EXPECT_EQ(File.TotalSize, 9);
  }
}

TEST(EditHistoryTest, RandomEditsUndoneToTheLoadedBytes) {
  TTempDir Dir;
  SetDocument(Start());
  WritePat((Dir / "loaded.pat").string());
  const Bytes Loaded = ReadBytes(Dir / "loaded.pat");
  for (unsigned Seed = 1; Seed <= 20; ++Seed) {
    ASSERT_TRUE(ReadPat((Dir / "loaded.pat").string()));
    std::mt19937 Random(Seed);
    THistory History;
    const int Edits = 1 + int(Random() % 40);
    for (int i = 0; i < Edits; ++i) {
      const TCommand& C = Commands[Random() % std::size(Commands)];
      // Half of the edits go on the same gesture as the one before.
      const TEdit Edit{C.Name, {}, Random() % 2 ? 1u : 0u};
      History.Begin(FunList, C.First, C.Count, Edit);
      if (FunList.size() > 2) C.Run(FunList, FunFile);
      History.End(FunList);
      if (Random() % 5 == 0) History.Seal();
      if (Random() % 7 == 0) History.Undo(FunList, FunFile);
    }
    while (History.CanUndo()) History.Undo(FunList, FunFile);
    EXPECT_FALSE(History.Modified()) << Seed;
    WritePat((Dir / "undone.pat").string());
    EXPECT_EQ(ReadBytes(Dir / "undone.pat"), Loaded) << Seed;
  }
  ResetDocument();
}

TEST(EditHistoryTest, AGestureIsOneStepUntilSealedAndNothingChangedIsNoStep) {
  std::vector<TFunlight> List = Start();
  TFunFile File;
  THistory History;
  const auto Head = [&](int Value, uint64_t Merge) {
    History.Begin(List, 0, 1, {"head", {}, Merge});
    SetHeadValue(List[0], Value);
    History.End(List);
  };
  Head(7, 1);  // the value it has
  EXPECT_FALSE(History.CanUndo());
  for (int v : {10, 20, 30}) Head(v, 1);
  Head(40, 2);  // another gesture
  History.Seal();
  Head(50, 2);
  EXPECT_EQ(History.Count(), 3u);
  for (int Expected : {40, 30, 7}) {
    History.Undo(List, File);
    EXPECT_EQ(List[0].HeadValue, Expected);
  }
  // A gesture that comes back to where it began leaves no step.
  Head(8, 3);
  Head(7, 3);
  EXPECT_TRUE(!History.CanUndo() && !History.CanRedo() && !History.Modified());
  // Merging never reaches into a step undone, nor into one sealed before a step that came to nothing.
  Head(9, 4);
  History.Undo(List, File);
  Head(11, 4);
  EXPECT_EQ(std::tuple(History.Count(), History.CanUndo(), History.CanRedo()),
            std::tuple(1u, true, false));
  History.Seal();
  Head(12, 4);
  Head(11, 4);
  Head(13, 4);
  EXPECT_EQ(History.Count(), 2u);
}

TEST(EditHistoryTest, SavedStateFollowsUndoRedoAndNewEdits) {
  std::vector<TFunlight> List = Start();
  TFunFile File;
  THistory History;
  const auto Edit = [&](int Value, uint64_t Merge = 0) {
    History.Begin(List, 2, 1, {"head", {}, Merge});
    SetHeadValue(List[2], Value);
    History.End(List);
  };
  Edit(1);
  History.MarkSaved();
  EXPECT_FALSE(History.Modified());
  Edit(2, 5);
  EXPECT_TRUE(History.Modified());
  History.Undo(List, File);
  EXPECT_FALSE(History.Modified());
  History.Undo(List, File);
  EXPECT_TRUE(History.Modified());
  History.Redo(List, File);
  Edit(3);  // what could be redone is gone; the saved state is not reached again
  EXPECT_TRUE(History.Modified() && !History.CanRedo());
  History.MarkSaved();
  Edit(4, 6);
  Edit(5, 6);  // merged into a saved step: changed all the same
  History.Seal();
  EXPECT_TRUE(History.Modified());
  History.Clear();
  EXPECT_FALSE(History.Modified() || History.CanUndo() || History.CanRedo() || History.Bytes());
}

TEST(EditHistoryTest, TheOldestStepsGoFirstPastEitherLimit) {
  std::vector<TFunlight> List;
  TFunFile File;
  const auto SixEdits = [&](THistory& History) {
    List = Start();
    for (int v = 1; v <= 6; ++v) {
      History.Begin(List, 2, 1, {"head", {}, 0});
      SetHeadValue(List[2], v);
      History.End(List);
    }
  };
  THistory Unbounded;
  SixEdits(Unbounded);
  const size_t One = Unbounded.Bytes() / 6;
  for (const EditHistory::TLimits Limits :
       {EditHistory::TLimits{3, 1u << 20}, EditHistory::TLimits{500, One * 3}}) {
    THistory History(Limits);
    SixEdits(History);
    EXPECT_EQ(History.Count(), 3u);
    EXPECT_LE(History.Bytes(), Limits.Bytes);
    while (History.CanUndo()) History.Undo(List, File);
    EXPECT_EQ(List[2].HeadValue, 3);
    EXPECT_TRUE(History.Modified()) << "the loaded state cannot be reached any more";
  }
  // A step larger than the bound stays alone.
  THistory Tight({500, 1});
  SixEdits(Tight);
  EXPECT_EQ(Tight.Count(), 1u);
  // The count holds at least what the steps keep: a long row, frames of many cells, raw data.
  List = {Club(1, {Row(1, 0, 0, std::vector<TClubCell>(255))}),
          Normal(2, 0, true, std::vector<TFrame>(255, Frame(1, std::vector<TFrameCell>(7)))),
          Other(5, 3, 0, Bytes(4000, 1))};
  THistory Long;
  for (int v : {1, 2}) {
    Long.Begin(List, 0, 3, {"head"});
    SetHeadValue(List[0], v);
    Long.End(List);
  }
  const size_t Kept = sizeof(TClubFrame) + 255 * sizeof(TClubCell) +
                      255 * (sizeof(TFrame) + 7 * sizeof(TFrameCell)) + 4000;
  EXPECT_EQ(Long.Count(), 2u);
  EXPECT_GE(Long.Bytes(), 2 * 2 * Kept);
  EXPECT_LT(Long.Bytes(), 1u << 20);
}

}  // namespace
