// The document's model: colours, the identifiers offered, cell lookup, adding
// funlights, frame and row counts.

#include <gtest/gtest.h>

#include <functional>

#include "DocSupport.h"

using namespace DocSupport;

namespace {

// The document and the selection as the program starts, before any test changes
// them.
const std::vector<int> AtStart = {
    int(FunList.size()), FunFile.TotalSize, FunFile.Count, CurFun, SelCol, SelCell,
    SelElement,          CopyTarget,        EmptyFlag};

TEST(FunStructTest, TheProgramStartsWithAnEmptyDocumentAndNoSelection) {
  EXPECT_EQ(AtStart, std::vector<int>(9, 0));
  EXPECT_EQ(FunFile.FileName, "");
}

TEST(FunStructTest, ColorOfScalesChannelsBy17WithRedInTheLowByte) {
  EXPECT_EQ(ColorOf(15, 15, 15), 0xFFFFFFu);
  EXPECT_EQ(ColorOf(15, 0, 0), 0x0000FFu);
  EXPECT_EQ(ColorOf(1, 2, 3), 0x332211u);
}

// The identifiers of the phone's events, in the order the editor offers them.
TEST(FunStructTest, FunIDTableHoldsThePhonesEvents) {
  EXPECT_EQ(FunIDTable,
            (std::array<uint8_t, 23>{1,  2,  3,  4,  5,  6,   7,   8,   9,   10,  11, 12,
                                     13, 14, 15, 16, 17, 128, 138, 148, 149, 150, 158}));
}

TEST(FunStructTest, FindCellGivesTheFirstCellOfTheElement) {
  SetDocument({Normal(1, 0, false,
                      {Frame(1, {Cell(3, 1, 1, 1), Cell(1, 2, 2, 2), Cell(3, 0, 0, 0)}),
                       Frame(0, {Cell(2, 0, 0, 0)})}),
               Club(5, {Row(2, 0, 0, {}), Row(4, 0, 0, {}), Row(2, 0, 0, {})})});
  // Funlight, element, column (clublight: not looked at), index.
  const uint8_t Cases[][4] = {{0, 3, 0, 0},      {0, 1, 0, 1},      {0, 2, 0, NoCell},
                              {0, 2, 1, 0},      {0, 3, 1, NoCell}, {0, 1, 2, NoCell},
                              {1, 2, 0, 0},      {1, 4, 200, 1},    {1, 2, 254, 0},
                              {1, 1, 0, NoCell}, {1, 0, 0, NoCell}, {2, 1, 0, NoCell}};
  for (const auto& C : Cases) {
    CurFun = C[0];
    EXPECT_EQ(FindCell(C[1], C[2]), C[3]) << +C[0] << ' ' << +C[1] << ' ' << +C[2];
  }
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
  };
  for (const auto& [Operation, Expected] : Cases) {
    SetDocument({A, B});
    Operation();
    EXPECT_EQ(Describe(FunList), Describe(Expected));
    EXPECT_EQ(FunFile.Count, 2) << "the caller counts";
  }
  // Past the end, where a funlight just removed still lies in memory, there is nothing to count.
  FunList.push_back(Normal(1, 0, false, {})), FunList.pop_back();
  EXPECT_EQ(CalcSize(2) + CalcSize(-1), 0);
}

TEST(FunStructTest, ClearFunListEmptiesTheListAndResetsTheSelection) {
  SetDocument({Normal(1, 0, false, {})});
  CurFun = 1, SelCell = 3, SelCol = 4, SelElement = 5, CopyTarget = 6;
  ClearFunList();
  EXPECT_EQ(Describe(FunList), "");
  EXPECT_EQ(std::vector<int>({CurFun, SelCell, SelCol, SelElement, CopyTarget}),
            std::vector<int>({0, 0, 0, 5, 6}));
}

}  // namespace
