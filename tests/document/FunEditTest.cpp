// The document's model and its editing commands: document and selection in, document out.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "DocSupport.h"
#include "FunEdit.h"

using namespace DocSupport;
using namespace FunEdit;

// Element 1 lit, black and lit in frames 0..2; 3 in frames 0..2; 2 in frame 2; frame 3 empty.
static TFunlight Lights() {
  return Normal(
      1, 0, true,
      {Frame(100, {Cell(1, 5, 5, 5), Cell(3, 4, 5, 6)}),
       Frame(200, {Cell(1, 0, 0, 0), Cell(3, 1, 1, 1)}),
       Frame(300, {Cell(2, 2, 2, 2), Cell(3, 3, 0, 0), Cell(1, 15, 0, 0)}), Frame(0, {})});
}

// Four steps; rows for elements 1 and 3; element 3's row read with two cells only.
static TFunlight Rhythm() {
  return Club(3, {Row(1, 9, 2, {{1, 0, 0, 1}, {2, 0, 0, 2}, {0, 0, 0, 3}, {4, 0, 0, 4}}),
                  Row(3, 8, 4, {{0, 5, 0, 5}, {0, 6, 9, 6}})});
}

// The frames and rows as they are.
const std::string L0 = "1:5,5,5 3:4,5,6 | ", L1 = "1:0,0,0 3:1,1,1 | ",
                  L2 = "2:2,2,2 3:3,0,0 1:15,0,0 | ", LightsText = L0 + L1 + L2;
const std::string R1 = "1(9-2): 1,0,0/1 2,0,0/2 0,0,0/3 4,0,0/4 | ", R3 = "3(8-4): 0,5,0/5 0,6,9/6",
                  RhythmText = R1 + R3;

TEST(FunEditTest, ListCommandsKeepCountAndReturnTheNewSelection) {
  // Add, Copy, Delete or Move on funlights 1, 2, 3, ...; null After: as before.
  const std::tuple<char, int, int, int, int, const char*> Cases[] = {
      // clang-format off
      {'D', 3, 0, 0, 0, "23"}, {'D', 3, 1, 0, 1, "13"}, {'D', 3, 2, 0, 1, "12"},
      {'D', 1, 0, 0, -1, nullptr}, {'D', 3, 3, 0, -1, nullptr}, {'D', 3, -1, 0, -1, nullptr},
      {'M', 3, 0, 1, 1, "213"}, {'M', 3, 1, 1, 2, "132"}, {'M', 3, 2, 1, -1, nullptr},
      {'M', 3, 2, -1, 1, "132"}, {'M', 3, 1, -1, 0, "213"}, {'M', 3, 0, -1, -1, nullptr},
      {'M', 3, 3, -1, -1, nullptr}, {'M', 3, -1, 1, -1, nullptr},
      {'C', 3, 1, 0, 1, "1232"}, {'C', 3, 3, 0, 0, nullptr}, {'C', 3, -1, 0, 0, nullptr},
      {'C', 254, 0, 0, 1, nullptr}, {'C', 255, 0, 0, 0, nullptr},
      {'A', 254, 0, 0, 1, nullptr}, {'A', 255, 0, 0, 0, nullptr},
      // clang-format on
  };
  for (const auto& [Command, Size, Index, Delta, Result, After] : Cases) {
    SCOPED_TRACE(testing::Message() << Command << Size << Index << Delta);
    std::vector<TFunlight> List;
    for (int i = 0; i < Size; ++i) List.push_back(Normal(uint8_t(i + 1), 0, false, {}));
    TFunFile File{"x.pat", 7, static_cast<uint8_t>(List.size())};
    const int Got = Command == 'A'   ? AddFunlight(List, File, NormalType)
                    : Command == 'C' ? CopyFunlight(List, File, Index)
                    : Command == 'D' ? DeleteFunlight(List, File, Index)
                                     : MoveFunlight(List, Index, Delta);
    std::string Ids;
    for (const TFunlight& F : List) Ids += char('0' + F.FunID);
    EXPECT_EQ(Got, Result);
    EXPECT_TRUE(Size > 3 || Ids == (After ? After : std::string("123", Size))) << Ids;
    EXPECT_TRUE(Size <= 3 || List.size() == size_t(Size + (Result == 1)));
    EXPECT_TRUE(File.Count == uint8_t(List.size()) && File.TotalSize == 7);
  }
}

TEST(FunEditTest, AddedFunlightsAreEmptyCopiesDeepAndSettingsClamp) {
  std::vector<TFunlight> List = {Rhythm()};
  TFunFile File;
  ASSERT_TRUE(AddFunlight(List, File, ClubType) && AddFunlight(List, File, NormalType) &&
              CopyFunlight(List, File, 0));
  List[0].ClubFrames[0].Cells[1].R = 15;  // the copy shares no data with the original
  EXPECT_EQ(Describe({List[1], List[2], List[3]}),
            Describe({Club(1, {}), Normal(1, 0, false, {}), Rhythm()}));
  // Settings are clamped, not wrapped.
  TFunlight& F = List[0];
  for (int i = 0; int Id : {1,  2,  3,  4,  5,  6,   7,   8,   9,   10,  11, 12,
                            13, 14, 15, 16, 17, 128, 138, 148, 149, 150, 158})
    EXPECT_TRUE(SetFunID(F, i++) && F.FunID == Id) << i;
  EXPECT_TRUE(!SetFunID(F, 23) && !SetFunID(F, -1) && F.FunID == 158);
  for (int In : {4321, 70000, 65535, -5, 0})
    EXPECT_EQ((SetHeadValue(F, In), F.HeadValue), std::clamp(In, 0, 65535)) << In;
}

TEST(FunEditTest, CountResizesFramesOrEvensTheRhythmRows) {
  const std::tuple<TFunlight, int, int, std::string> Cases[] = {
      // clang-format off
      {Lights(), 5, 5, LightsText + " | "}, {Lights(), 0, 1, "1:5,5,5 3:4,5,6"},
      {Lights(), 2, 2, "1:5,5,5 3:4,5,6 | 1:0,0,0 3:1,1,1"}, {Lights(), 1000, 255, ""},
      // The same step count leaves a short row as read; another evens every row out.
      {Rhythm(), 4, 4, RhythmText}, {Rhythm(), 256, 255, ""}, {Other(5, 7, 1, {0xAA}), 9, 9, ""},
      {Rhythm(), 3, 3, "1(9-2): 1,0,0/1 2,0,0/2 0,0,0/3 | " + R3 + " 0,0,0/0"},
      // clang-format on
  };
  for (const auto& [Before, Value, Result, After] : Cases) {
    TFunlight F = Before;
    EXPECT_EQ(SetCount(F, Value), Result) << Value;
    EXPECT_EQ(F.FunType == ClubType ? F.StepCount : F.FrameCount, Before.FunType == 5 ? 1 : Result);
    EXPECT_TRUE(F.FunType != NormalType || F.Frames.size() == static_cast<size_t>(Result));
    EXPECT_TRUE(After.empty() || CellText(F) == After) << CellText(F);
    EXPECT_EQ(F.RawData, Before.RawData);
  }
}

TEST(FunEditTest, DurationTextIsReadLikeValAndClamped) {
  // Typed, shown instead (nullopt: as typed), stored.
  const std::tuple<const char*, std::optional<std::string>, uint16_t> Cases[] = {
      // clang-format off
      {"259", {}, 259}, {"0", {}, 0}, {"65535", {}, 65535}, {"70000", "65535", 65535},
      {"2147483647", "65535", 65535}, {"2147483648", "", 0}, {"99999999999", "", 0},
      {"$1F", {}, 31}, {"x1f", {}, 31}, {"X1F", {}, 31}, {"0x1F", {}, 31}, {"0X1f", {}, 31},
      {"$FFFF", {}, 65535}, {"$10000", "65535", 65535}, {"$aF", {}, 175}, {" 42", {}, 42},
      {"   +7", {}, 7}, {"12a", "", 0}, {"1x2", "", 0}, {"$1G", "", 0}, {"9:", "", 0},
      {"/", "", 0}, {"$g", "", 0}, {"$`", "", 0}, {"$@", "", 0}, {"12 ", "", 0}, {" ", "", 0},
      {"$", "", 0}, {"0x", "", 0}, {"+", "", 0}, {"--1", "", 0}, {"-5", "", 0}, {"-$10", "", 0},
      {"", "", 200},  // deleting every digit keeps the stored duration
      // clang-format on
  };
  for (const auto& [Typed, Shown, Stored] : Cases) {
    TFunlight F = Lights();
    EXPECT_EQ(SetDuration(F, 1, Typed), Shown) << Typed;
    EXPECT_EQ(F.Frames[1].Duration, Stored) << Typed;
    EXPECT_EQ(F.Frames[0].Duration + F.Frames[2].Duration, 400);
  }
  EXPECT_TRUE(ParseInteger("-2147483648") == -2147483648LL && !ParseInteger("-2147483649"));
  // No duration outside the frames, nor on a clublight, whose row takes no text.
  TFunlight F = Lights(), R = Rhythm();
  EXPECT_TRUE(!SetDuration(F, 4, "7") && !SetDuration(F, -1, "7") && CellText(F) == LightsText);
  EXPECT_TRUE(SetDuration(R, 0, "42") == "" && SetDuration(R, 0, "70000") == "");
}

TEST(FunEditTest, CellCommands) {
  const std::tuple<TFunlight (*)(), std::function<void(TFunlight&)>, std::string> Cases[] = {
      // clang-format off
      {Lights, [](auto& F) { AddCell(F, 2, 0); }, "1:5,5,5 3:4,5,6 2:0,0,0 | " + L1 + L2},
      {Lights, [](auto& F) { AddCell(F, 7, 3), AddCell(F, 8, 3), AddCell(F, 2, 4); },
       LightsText + "7:0,0,0"},
      {Lights, [](auto& F) {  // nothing to do
         AddCell(F, 3, 1), RemoveCell(F, 2, 0), AddToAllFrames(F, 0), CopyToElement(F, 3, 8),
         CopyToElement(F, 1, 1), SetUpperFreq(F, 1, 5), TakePreviousColour(F, 3, 0),
         TakePreviousColour(F, 2, 2), TakePreviousColour(F, 1, 3); }, LightsText},
      {Lights, [](auto& F) { RemoveCell(F, 3, 2); }, L0 + L1 + "2:2,2,2 1:15,0,0 | "},
      {Lights, [](auto& F) { AddToAllFrames(F, 2); },
       "1:5,5,5 3:4,5,6 2:0,0,0 | 1:0,0,0 3:1,1,1 2:0,0,0 | " + L2 + "2:0,0,0"},
      {Lights, [](auto& F) { RemoveFromAllFrames(F, 1); }, "3:4,5,6 | 3:1,1,1 | 2:2,2,2 3:3,0,0 | "},
      {Lights, [](auto& F) { ClearAllFrames(F, 3); },
       "1:5,5,5 3:0,0,0 | 1:0,0,0 3:0,0,0 | 2:2,2,2 3:0,0,0 1:15,0,0 | "},
      // The target stays where the source is unlit, and is lit where it was not.
      {Lights, [](auto& F) { CopyToElement(F, 2, 1); }, L0 + L1 + "2:2,2,2 3:3,0,0 1:2,2,2 | "},
      {Lights, [](auto& F) { CopyToElement(F, 1, 2); },
       "1:5,5,5 3:4,5,6 2:5,5,5 | 1:0,0,0 3:1,1,1 2:0,0,0 | 2:15,0,0 3:3,0,0 1:15,0,0 | "},
      {Lights, [](auto& F) { SetChannel(F, 3, 0, 0, 15), SetChannel(F, 3, 0, 2, 0); },
       "1:5,5,5 3:15,5,0 | " + L1 + L2},
      {Lights, [](auto& F) { TakePreviousColour(F, 3, 2); }, L0 + L1 + "2:2,2,2 3:1,1,1 1:15,0,0 | "},
      {Lights, [](auto& F) { ToggleOnOff(F, 1, 0), ToggleOnOff(F, 1, 1), ToggleOnOff(F, 3, 2); },
       "1:0,0,0 3:4,5,6 | 1:15,15,15 3:1,1,1 | 2:2,2,2 3:0,0,0 1:15,0,0 | "},
      // A clublight element takes part in every step or in none.
      {Rhythm, [](auto& F) { AddCell(F, 5, 2); },
       RhythmText + " 0,0,0/0 0,0,0/0 | 5(0-0): 0,0,0/0 0,0,0/0 0,0,0/0 0,0,0/0"},
      {Rhythm, [](auto& F) { RemoveFromAllFrames(F, 1); }, R3},
      {Rhythm, [](auto& F) {  // nothing to do
         AddToAllFrames(F, 3), RemoveFromAllFrames(F, 2), RemoveCell(F, 1, 0), ClearAllFrames(F, 1),
         CopyToElement(F, 1, 3), SetUpperFreq(F, 2, 5), SetLowerFreq(F, 2, 5), SetParam(F, 3, 4, 1),
         TakePreviousColour(F, 3, 2), TakePreviousColour(F, 2, 1); }, RhythmText},
      {Rhythm, [](auto& F) { SetUpperFreq(F, 3, 70000), SetLowerFreq(F, 3, -1); },
       R1 + "3(65535-0): 0,5,0/5 0,6,9/6"},
      // A change to a step the row was read without gives the row every step, so it is saved.
      {Rhythm, [](auto& F) { SetParam(F, 3, 3, 300), SetParam(F, 3, 0, -1); },
       R1 + "3(8-4): 0,5,0/0 0,6,9/6 0,0,0/0 0,0,0/255"},
      {Rhythm, [](auto& F) { SetChannel(F, 3, 2, 1, 7), SetChannel(F, 3, 4, 1, 7); },
       RhythmText + " 0,7,0/0 0,0,0/0"},
      {Rhythm, [](auto& F) { TakePreviousColour(F, 1, 3); },
       "1(9-2): 1,0,0/1 2,0,0/2 0,0,0/3 0,0,0/4 | " + R3},
      {Rhythm, [](auto& F) { ToggleOnOff(F, 1, 2), ToggleOnOff(F, 3, 0), ToggleOnOff(F, 3, 1); },  // Param stays
       "1(9-2): 1,0,0/1 2,0,0/2 15,15,15/3 4,0,0/4 | 3(8-4): 0,0,0/5 0,0,0/6 0,0,0/0 0,0,0/0"},
      // clang-format on
  };
  for (const auto& [Document, Command, After] : Cases) {
    TFunlight F = Document();
    Command(F);
    EXPECT_EQ(CellText(F), After);  // the text expected names the case
  }
}

TEST(FunEditTest, ReadingCellsAndTheirResults) {
  TFunlight F = Lights(), R = Rhythm();
  EXPECT_EQ(std::tuple(ColourAt(F, 3, 2), ColourAt(R, 1, 3), ParamAt(R, 3, 1)),
            std::tuple(TColour{3, 0, 0}, TColour{4, 0, 0}, 6));
  // A step the row was read without shows empty.
  EXPECT_TRUE(!ColourAt(F, 2, 0) && !ColourAt(R, 3, 2) && !ParamAt(R, 3, 2) && !ParamAt(F, 1, 0));
  for (int Col : {-1, 255}) EXPECT_EQ(FindCell(R, 1, Col), NoCell) << Col;
  EXPECT_EQ(TakePreviousColour(F, 3, 1), (TColour{4, 5, 6}));
  EXPECT_TRUE(ToggleOnOff(F, 1, 1) == 15 && ToggleOnOff(F, 1, 1) == 0 && !ToggleOnOff(F, 1, 3));
  EXPECT_TRUE(SetChannel(F, 1, 0, 1, 3) && !SetChannel(F, 1, 0, 3, 3) &&
              !SetChannel(F, 1, 0, -1, 3) && !SetChannel(F, 2, 0, 0, 3));
  EXPECT_TRUE(!ClubStepToChange(R, 3, 4) && !ClubStepToChange(R, 3, -1) &&
              !ClubStepToChange(F, 1, 0));
  EXPECT_EQ(CellText(R), RhythmText) << "asking for a step past the end adds none";
  // Only the last frame of a funlight that stops has no duration.
  EXPECT_TRUE(HasDuration(F, 3) && (F.Repeating = false, HasDuration(F, 2) && !HasDuration(F, 3)));
  // A row whose count names more cells than it holds gives no step beyond them.
  R.ClubFrames[1].CellCount = 4;
  EXPECT_EQ(ClubStepToChange(R, 3, 3), nullptr);
}

// The globals the window and the sample tool work on, as the program starts.
const std::vector<int> AtStart = {
    int(FunList.size()), FunFile.TotalSize, FunFile.Count, CurFun, SelCol, SelCell,
    SelElement,          CopyTarget,        EmptyFlag};

TEST(FunStructTest, StartsEmptyColorOfScalesBy17RedLowAndFindCellGivesTheFirstCell) {
  EXPECT_EQ(AtStart, std::vector<int>(9, 0));
  EXPECT_EQ(ColorOf(1, 2, 15), 0xFF2211u);
  SetDocument({Normal(1, 0, false,
                      {Frame(1, {Cell(3, 1, 1, 1), Cell(1, 2, 2, 2), Cell(3, 0, 0, 0)}),
                       Frame(0, {Cell(2, 0, 0, 0)})}),
               Club(5, {Row(2, 0, 0, {}), Row(4, 0, 0, {}), Row(2, 0, 0, {})})});
  // Funlight, element, column (clublight: not looked at), index.
  const uint8_t Cases[][4] = {{0, 3, 0, 0},   {0, 1, 0, 1},      {0, 2, 0, NoCell},
                              {0, 2, 1, 0},   {0, 1, 2, NoCell}, {1, 2, 254, 0},
                              {1, 4, 200, 1}, {1, 1, 0, NoCell}, {2, 1, 0, NoCell}};
  for (const auto& C : Cases)
    EXPECT_EQ((CurFun = C[0], FindCell(C[1], C[2])), C[3]) << +C[0] << ' ' << +C[1] << ' ' << +C[2];
}

TEST(FunStructTest, OperationsChangeTheList) {
  const TFunlight A = Normal(9, 5, true, {Frame(300, {Cell(1, 2, 3, 4)})}),
                  B = Club(6, {Row(6, 900, 50, {{1, 2, 3, 4}})});
  TFunlight Longer = Normal(9, 5, true, {A.Frames[0], Frame(0, {}), Frame(0, {})}),
            Shorter = Normal(9, 5, true, {}),
            Rows = Club(6, {Row(1, 0, 0, {{1, 2, 3, 4}}), Row(2, 0, 0, {}), Row(3, 0, 0, {})});
  const std::pair<std::function<void()>, std::vector<TFunlight>> Cases[] = {
      {[] { AddFunlight(); }, {A, B, Other(NormalType, 0, 0, {})}},
      {[] { AddFunlightOfType(ClubType); }, {A, B, Club(1, {})}},
      {[] { AddFunlightOfType(NormalType); }, {A, B, Normal(1, 0, false, {})}},
      {[] { FunList[0].FrameCount = 3, SetFrameCount(0); }, {Longer, B}},
      {[] { FunList[0].FrameCount = 0, SetFrameCount(0); }, {Shorter, B}},
      {[] { FunList[1].FrameCount = 3, SetClubFrameCount(1); }, {A, Rows}},  // bands cleared
      {[] { SetFrameCount(2), SetFrameCount(-1), SetClubFrameCount(2), SetClubFrameCount(-1); },
       {A, B}},
      {[] { UpdateSize(2), UpdateSize(-1); }, {A, B}},
      // Clearing resets the selection, not the element or the copy target.
      {[] { CurFun = 1, SelCell = 3, SelCol = 4, SelElement = 5, CopyTarget = 6, ClearFunList(); },
       {}},
  };
  for (const auto& [Operation, Expected] : Cases) {
    SetDocument({A, B});
    Operation();
    EXPECT_EQ(Describe(FunList), Describe(Expected));
    EXPECT_EQ(FunFile.Count, 2) << "the caller counts";
  }
  EXPECT_EQ(std::vector<int>({CurFun, SelCell, SelCol, SelElement, CopyTarget}),
            std::vector<int>({0, 0, 0, 5, 6}));
  // Past the end, where a funlight just removed still lies in memory, there is nothing to count.
  FunList.push_back(Normal(1, 0, false, {})), FunList.pop_back();
  EXPECT_EQ(CalcSize(2) + CalcSize(-1), 0);
}
