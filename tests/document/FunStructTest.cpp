// The document's operations: colours, cell lookup, adding funlights, resizing and sizes.

#include <gtest/gtest.h>

#include <cerrno>

#include "DocTest.h"

using namespace UFunStruct;
using namespace DocSupport;

namespace {

class FunStructTest : public TDocTest {};

TEST(ColorOfTest, ChannelsScaleBy17WithRedInTheLowByte) {
  struct Case {
    uint8_t R, G, B;
    uint32_t Colour;
  };
  const Case Cases[] = {
      {15, 15, 15, 0xFFFFFF}, {15, 0, 0, 0x0000FF}, {0, 15, 0, 0x00FF00}, {0, 0, 15, 0xFF0000},
      {0, 0, 0, 0x000000},    {1, 2, 3, 0x332211},  {8, 0, 1, 0x110088},
  };
  for (const Case& C : Cases)
    EXPECT_EQ(ColorOf(C.R, C.G, C.B), C.Colour) << int{C.R} << ' ' << int{C.G} << ' ' << int{C.B};
}

TEST_F(FunStructTest, FindCellInANormalFunlightLooksInTheFrameOfTheColumn) {
  SetDocument({Normal(1, 0, false,
                      {Frame(100, {Cell(3, 1, 1, 1), Cell(1, 2, 2, 2), Cell(3, 4, 4, 4)}),
                       Frame(0, {Cell(2, 0, 0, 0)})}),
               Normal(2, 0, false, {Frame(0, {Cell(7, 0, 0, 0)})})});
  struct Case {
    uint8_t Fun, Element, Col, Expected;
  };
  const Case Cases[] = {
      {0, 3, 0, 0},  // an element with two cells gives the first
      {0, 1, 0, 1},      {0, 2, 0, NoCell}, {0, 2, 1, 0},
      {0, 3, 1, NoCell}, {0, 1, 2, NoCell},                     // no such frame
      {1, 7, 0, 0},      {1, 1, 0, NoCell}, {5, 1, 0, NoCell},  // no such funlight
  };
  for (const Case& C : Cases) {
    CurFun = C.Fun;
    EXPECT_EQ(FindCell(C.Element, C.Col), C.Expected)
        << "fun " << int{C.Fun} << " element " << int{C.Element} << " col " << int{C.Col};
  }
}

TEST_F(FunStructTest, FindCellInAClublightIgnoresTheColumn) {
  SetDocument({Club(5, {Row(2, 0, 0, {{}, {}}), Row(4, 0, 0, {{}, {}}), Row(2, 0, 0, {{}, {}})})});
  CurFun = 0;
  for (uint8_t Col : {0, 1, 2, 200, 254}) {
    EXPECT_EQ(FindCell(2, Col), 0) << int{Col};
    EXPECT_EQ(FindCell(4, Col), 1) << int{Col};
    EXPECT_EQ(FindCell(1, Col), NoCell) << int{Col};
  }
}

TEST_F(FunStructTest, AddFunlightAppendsAZeroNormalRecordAndLeavesCountAlone) {
  SetDocument({Normal(9, 5, true, {Frame(1, {})})});
  AddFunlight();
  ASSERT_EQ(FunList.size(), 2u);
  const TFunlight& F = FunList[1];
  EXPECT_EQ(F.FunType, NormalType);
  EXPECT_EQ(F.FunID, 0);
  EXPECT_EQ(F.Size, 0);
  EXPECT_EQ(F.FrameCount, 0);
  EXPECT_EQ(F.StepCount, 0);
  EXPECT_EQ(F.HeadValue, 0);
  EXPECT_FALSE(F.Repeating);
  EXPECT_TRUE(F.Frames.empty());
  EXPECT_TRUE(F.ClubFrames.empty());
  EXPECT_EQ(FunFile.Count, 1);
  EXPECT_EQ(FunList[0].FunID, 9);
}

TEST_F(FunStructTest, AddFunlightOfTypeSetsTypeAndIdentifierOne) {
  for (uint8_t Type : {ClubType, NormalType}) {
    AddFunlightOfType(Type);
    const TFunlight& F = FunList.back();
    EXPECT_EQ(F.FunType, Type);
    EXPECT_EQ(F.FunID, 1);
    EXPECT_EQ(F.StepCount, 0);
    EXPECT_TRUE(F.ClubFrames.empty());
    EXPECT_TRUE(F.Frames.empty());
  }
  EXPECT_EQ(FunList.size(), 2u);
  EXPECT_EQ(FunFile.Count, 0);
}

TEST_F(FunStructTest, ClearFunListEmptiesTheListAndResetsTheSelection) {
  SetDocument({Normal(1, 0, false, {}), Normal(2, 0, false, {})});
  CurFun = 1;
  SelCell = 3;
  SelCol = 4;
  SelElement = 5;
  CopyTarget = 6;
  ClearFunList();
  EXPECT_TRUE(FunList.empty());
  EXPECT_EQ(CurFun, 0);
  EXPECT_EQ(SelCell, 0);
  EXPECT_EQ(SelCol, 0);
  EXPECT_EQ(SelElement, 5);
  EXPECT_EQ(CopyTarget, 6);
}

TEST_F(FunStructTest, SetFrameCountKeepsExistingFramesAndAddsEmptyOnes) {
  SetDocument({Normal(1, 0, false, {Frame(300, {Cell(1, 2, 3, 4)})})});
  FunList[0].FrameCount = 3;
  SetFrameCount(0);
  ASSERT_EQ(FunList[0].Frames.size(), 3u);
  EXPECT_EQ(FunList[0].Frames[0].Duration, 300);
  EXPECT_EQ(FunList[0].Frames[0].Cells.size(), 1u);
  for (int i : {1, 2}) {
    EXPECT_EQ(FunList[0].Frames[i].Duration, 0);
    EXPECT_EQ(FunList[0].Frames[i].CellCount, 0);
    EXPECT_TRUE(FunList[0].Frames[i].Cells.empty());
  }
  FunList[0].FrameCount = 1;
  SetFrameCount(0);
  EXPECT_EQ(FunList[0].Frames.size(), 1u);
  EXPECT_EQ(FunList[0].Frames[0].Duration, 300);
}

TEST_F(FunStructTest, SetClubFrameCountNumbersTheRowsAndClearsTheirBands) {
  SetDocument({Club(1, {Row(6, 900, 50, {{1, 2, 3, 4}})})});
  FunList[0].FrameCount = 3;
  SetClubFrameCount(0);
  const TFunlight& F = FunList[0];
  ASSERT_EQ(F.ClubFrames.size(), 3u);
  for (uint8_t k = 0; k < 3; ++k) {
    EXPECT_EQ(F.ClubFrames[k].Element, k + 1);
    EXPECT_EQ(F.ClubFrames[k].UpperFreq, 0);
    EXPECT_EQ(F.ClubFrames[k].LowerFreq, 0);
  }
  // Cells are left as they are.
  ASSERT_EQ(F.ClubFrames[0].Cells.size(), 1u);
  EXPECT_EQ(F.ClubFrames[0].Cells[0].Param, 4);
  EXPECT_TRUE(F.ClubFrames[2].Cells.empty());
}

TEST_F(FunStructTest, CalcSizeCountsTheDataBytesInSixteenBits) {
  std::vector<TFrame> Big;
  for (int i = 0; i < 255; ++i) Big.push_back(Frame(1, std::vector<TFrameCell>(255)));
  std::vector<TClubFrame> BigRows;
  for (int i = 0; i < 255; ++i) BigRows.push_back(Row(1, 0, 0, std::vector<TClubCell>(255)));
  TFunlight Uneven = Club(3, {Row(1, 0, 0, {{}}), Row(2, 0, 0, {{}, {}, {}})});
  Uneven.StepCount = 3;

  struct Case {
    const char* Name;
    TFunlight F;
    uint16_t Size;
  };
  const Case Cases[] = {
      {"normal without frames", Normal(1, 0, false, {}), 2},
      {"repeating without frames", Normal(1, 0, true, {}), 3},
      {"one frame one cell", Normal(1, 0, false, {Frame(5, {Cell(1, 15, 0, 8)})}), 6},
      {"repeating one frame one cell", Normal(1, 0, true, {Frame(5, {Cell(1, 15, 0, 8)})}), 9},
      {"two frames", Normal(1, 0, false, {Frame(1, {{}}), Frame(1, {{}, {}})}), 15},
      {"repeating two frames", Normal(1, 0, true, {Frame(1, {{}}), Frame(1, {{}, {}})}), 18},
      {"frame without cells", Normal(1, 0, false, {Frame(1, {{}}), Frame(1, {})}), 9},
      {"clublight", Club(1, {Row(1, 1000, 100, {{15, 0, 0, 50}, {0, 15, 0, 0}})}), 12},
      {"three rows of four", Club(1, std::vector<TClubFrame>(3, Row(1, 0, 0, {{}, {}, {}, {}}))),
       54},
      {"uneven rows count their own cells", Uneven, 6 + 3 + 6 + 9},
      {"other type keeps its bytes", Other(9, 1, 4, {1, 2, 3, 4, 5}), 5},
      {"other type without data", Other(0, 1, 0, {}), 0},
      {"normal beyond 16 bits", Normal(1, 0, true, Big),
       static_cast<uint16_t>(3 * 255 + 3 * 255 * 255 + 3)},
      {"clublight beyond 16 bits", Club(1, BigRows), static_cast<uint16_t>(255 * (6 + 3 * 255))},
  };
  for (const Case& C : Cases) {
    SetDocument({Normal(1, 0, false, {}), C.F});
    FunList[1].Size = 4321;
    EXPECT_EQ(CalcSize(1), C.Size) << C.Name;
    EXPECT_EQ(FunList[1].Size, 4321) << C.Name << ": CalcSize only computes";
    UpdateSize(1);
    EXPECT_EQ(FunList[1].Size, C.Size) << C.Name;
  }
}

TEST(InOutErrorTextTest, MapsSystemErrorsToRunTimeTexts) {
  struct Case {
    int Error;
    const char* Text;
  };
  const Case Cases[] = {
      {ENOENT, "File not found"},    {EACCES, "File access denied"}, {EPERM, "File access denied"},
      {EROFS, "File access denied"}, {ENOSPC, "Disk full"},          {EFBIG, "Disk full"},
      {EIO, "File I/O error"},       {EINVAL, "File I/O error"},
  };
  for (const Case& C : Cases) EXPECT_EQ(InOutErrorText(C.Error), C.Text) << C.Error;
}

}  // namespace
