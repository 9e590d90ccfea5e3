// Reading and writing PAT files byte for byte.

#include "DocTest.h"

using namespace UFunStruct;
using namespace DocSupport;

namespace {

class PatFormatTest : public TDocTest {};

const Bytes File18 = {0x01, 0x01, 0x00, 0x0C, 0x01, 0x00, 0x06, 0x01, 0x00,
                      0x00, 0x01, 0x02, 0x00, 0x00, 0x01, 0x01, 0x0F, 0x08};
const Bytes File21 = {0x01, 0x01, 0x00, 0x0F, 0x01, 0x00, 0x09, 0x01, 0x00, 0x00, 0x01,
                      0x02, 0x00, 0x00, 0x01, 0x01, 0x0F, 0x08, 0x01, 0xF4, 0x00};
const Bytes ClubData = {0x01, 0x02, 0x03, 0xE8, 0x00, 0x64, 0x0F, 0x00, 0x32, 0x00, 0xF0, 0x00};

TFunlight OneCellFunlight(bool Repeating, uint16_t Duration) {
  return Normal(1, 0, Repeating, {Frame(Duration, {Cell(1, 15, 0, 8)})});
}

TFunlight ExampleClub() {
  TFunlight F = Club(150, {Row(1, 1000, 100, {{15, 0, 0, 50}, {0, 15, 0, 0}})});
  F.StepCount = 2;
  return F;
}

TEST_F(PatFormatTest, WritesTheExampleFunlights) {
  struct Case {
    const char* Name;
    TFunlight F;
    Bytes File;
    uint16_t TotalSize;
  };
  const Case Cases[] = {
      {"not repeating", OneCellFunlight(false, 500), File18, 12},
      {"repeating", OneCellFunlight(true, 500), File21, 15},
      {"clublight", ExampleClub(),
       Concat({{0x01, 0x01, 0x00, 0x12, 0x01, 0x00, 0x0C, 0x01, 0x00, 0x00, 150, 0x01}, ClubData}),
       18},
  };
  for (const Case& C : Cases) {
    SetDocument({C.F});
    EXPECT_EQ(Written(), C.File) << C.Name;
    EXPECT_EQ(FunFile.TotalSize, C.TotalSize) << C.Name;
  }
}

TEST_F(PatFormatTest, ReadsTheNotRepeatingExample) {
  ASSERT_TRUE(Read(File18));
  ASSERT_EQ(FunList.size(), 1u);
  EXPECT_EQ(FunFile.Count, 1);
  EXPECT_EQ(FunFile.TotalSize, 12);
  const TFunlight& F = FunList[0];
  EXPECT_EQ(F.Size, 6);
  EXPECT_EQ(F.FunID, 1);
  EXPECT_EQ(F.FunType, NormalType);
  EXPECT_FALSE(F.Repeating);
  EXPECT_EQ(F.StepCount, 0);
  ASSERT_EQ(F.Frames.size(), 1u);
  EXPECT_EQ(F.Frames[0].Duration, 0);
  ASSERT_EQ(F.Frames[0].Cells.size(), 1u);
  EXPECT_EQ(F.Frames[0].CellCount, 1);
  const TFrameCell& C = F.Frames[0].Cells[0];
  EXPECT_EQ(C.Element, 1);
  EXPECT_EQ(C.R, 15);
  EXPECT_EQ(C.G, 0);
  EXPECT_EQ(C.B, 8);
}

TEST_F(PatFormatTest, ReadsTheRepeatingExample) {
  ASSERT_TRUE(Read(File21));
  ASSERT_EQ(FunList.size(), 1u);
  EXPECT_EQ(FunFile.TotalSize, 15);
  EXPECT_TRUE(FunList[0].Repeating);
  EXPECT_EQ(FunList[0].Size, 9);
  ASSERT_EQ(FunList[0].Frames.size(), 1u);
  EXPECT_EQ(FunList[0].Frames[0].Duration, 500);
  EXPECT_EQ(Written(), File21);
}

TEST_F(PatFormatTest, ReadsTheClublightExample) {
  ASSERT_TRUE(Read(
      Concat({{0x01, 0x01, 0x00, 0x12, 0x01, 0x00, 0x0C, 0x01, 0x00, 0x00, 150, 0x01}, ClubData})));
  ASSERT_EQ(FunList.size(), 1u);
  const TFunlight& F = FunList[0];
  EXPECT_EQ(F.FunType, ClubType);
  EXPECT_EQ(F.FunID, 150);
  EXPECT_EQ(F.StepCount, 2);
  EXPECT_FALSE(F.Repeating);
  ASSERT_EQ(F.ClubFrames.size(), 1u);
  const TClubFrame& R = F.ClubFrames[0];
  EXPECT_EQ(R.Element, 1);
  EXPECT_EQ(R.CellCount, 2);
  EXPECT_EQ(R.UpperFreq, 1000);
  EXPECT_EQ(R.LowerFreq, 100);
  ASSERT_EQ(R.Cells.size(), 2u);
  EXPECT_EQ(R.Cells[0].R, 15);
  EXPECT_EQ(R.Cells[0].G, 0);
  EXPECT_EQ(R.Cells[0].B, 0);
  EXPECT_EQ(R.Cells[0].Param, 50);
  EXPECT_EQ(R.Cells[1].R, 0);
  EXPECT_EQ(R.Cells[1].G, 15);
  EXPECT_EQ(R.Cells[1].B, 0);
  EXPECT_EQ(R.Cells[1].Param, 0);
}

TEST_F(PatFormatTest, AnEmptyDocumentIsFiveBytes) {
  SetDocument({OneCellFunlight(true, 1)});
  CurFun = 0;
  ASSERT_TRUE(Read({0x01, 0x01, 0x00, 0x00, 0x00}));
  EXPECT_TRUE(FunList.empty());
  EXPECT_EQ(FunFile.Count, 0);
  EXPECT_EQ(FunFile.TotalSize, 0);
  FunFile.TotalSize = 77;
  EXPECT_EQ(Written(), (Bytes{0x01, 0x01, 0x00, 0x00, 0x00}));
  EXPECT_EQ(FunFile.TotalSize, 0);
}

TEST_F(PatFormatTest, ALastDurationWithoutClosingByteIsDroppedOnWrite) {
  // Two frames; Size 14 ends right after the last frame's duration (300).
  const Bytes File = {0x01, 0x01, 0x00, 0x14, 0x01, 0x00, 0x0E, 0x02, 0x00, 0x00, 0x05, 0x02, 0xAB,
                      0xCD, 0x01, 0x01, 0x0F, 0x08, 0x00, 0x64, 0x01, 0x02, 0x00, 0xF0, 0x01, 0x2C};
  ASSERT_TRUE(Read(File));
  ASSERT_EQ(FunList.size(), 1u);
  const TFunlight& F = FunList[0];
  EXPECT_FALSE(F.Repeating);
  EXPECT_EQ(F.HeadValue, 0xABCD);
  ASSERT_EQ(F.Frames.size(), 2u);
  EXPECT_EQ(F.Frames[0].Duration, 100);
  EXPECT_EQ(F.Frames[1].Duration, 300);
  EXPECT_EQ(Written(),
            (Bytes{0x01, 0x01, 0x00, 0x12, 0x01, 0x00, 0x0C, 0x02, 0x00, 0x00, 0x05, 0x02,
                   0xAB, 0xCD, 0x01, 0x01, 0x0F, 0x08, 0x00, 0x64, 0x01, 0x02, 0x00, 0xF0}));
}

TEST_F(PatFormatTest, UnevenClublightRowsAreExtendedToTheLongest) {
  const Bytes Rows = {0x03, 0x01, 0x00, 0x10, 0x00, 0x01, 0x0F, 0x12, 0x07,  // element 3, 1 cell
                      0x05, 0x03, 0x00, 0x20, 0x00, 0x02, 0x01, 0x23, 0x08,  // element 5, 3 cells
                      0x02, 0x34, 0x09, 0x03, 0x45, 0x0A};
  const Bytes Next = {0x00, 0x02, 0x00, 0x00, 0x00, 0x11, 0x02, 0x12, 0x34};
  // Size counting the cells present, and the larger Size that earlier versions wrote for such
  // rows (FrameCount * (6 + 3 * StepCount) = 30): either way the next funlight follows the rows.
  for (uint8_t Size : {24, 30}) {
    ResetDocument();
    const uint8_t TotalSize = 38;  // taken as it is
    ASSERT_TRUE(
        Read(Concat({{0x01, 0x01, 0x00, TotalSize, 0x02, 0x00, Size, 0x02, 0x00, 0x00, 0x80, 0x01},
                     Rows,
                     Next})))
        << int{Size};
    ASSERT_EQ(FunList.size(), 2u) << int{Size};
    const TFunlight& F = FunList[0];
    EXPECT_EQ(F.StepCount, 3);
    ASSERT_EQ(F.ClubFrames.size(), 2u);
    EXPECT_EQ(F.ClubFrames[0].CellCount, 1);
    EXPECT_EQ(F.ClubFrames[1].CellCount, 3);
    ASSERT_EQ(F.ClubFrames[0].Cells.size(), 3u);
    EXPECT_EQ(F.ClubFrames[0].Cells[0].G, 1);
    EXPECT_EQ(F.ClubFrames[0].Cells[0].B, 2);
    EXPECT_EQ(F.ClubFrames[0].Cells[0].Param, 7);
    for (int c : {1, 2}) {
      const TClubCell& Added = F.ClubFrames[0].Cells[c];
      EXPECT_EQ(Added.R + Added.G + Added.B + Added.Param, 0) << c;
    }
    EXPECT_EQ(F.ClubFrames[1].Cells[2].R, 3);
    EXPECT_EQ(F.ClubFrames[1].Cells[2].Param, 10);
    EXPECT_EQ(FunList[1].FunID, 0x11);
    EXPECT_EQ(FunList[1].HeadValue, 0x1234);
  }
}

TEST_F(PatFormatTest, ChannelBytesAreKeptAsRead) {
  // R bytes 0x20 and 0xFF, G in the high and B in the low half of the next byte.
  const Bytes File = {0x01, 0x01, 0x00, 0x0F, 0x01, 0x00, 0x09, 0x01, 0x00, 0x00, 0x03,
                      0x02, 0x00, 0x00, 0x02, 0x07, 0x20, 0xA5, 0x09, 0xFF, 0x3C};
  ASSERT_TRUE(Read(File));
  const auto& Cells = FunList[0].Frames[0].Cells;
  ASSERT_EQ(Cells.size(), 2u);
  EXPECT_EQ(Cells[0].Element, 7);
  EXPECT_EQ(Cells[0].R, 0x20);
  EXPECT_EQ(Cells[0].G, 0xA);
  EXPECT_EQ(Cells[0].B, 0x5);
  EXPECT_EQ(Cells[1].Element, 9);
  EXPECT_EQ(Cells[1].R, 0xFF);
  EXPECT_EQ(Written(), File);
}

TEST_F(PatFormatTest, AFileWithoutTheMarkChangesNothing) {
  SetDocument({OneCellFunlight(true, 20), ExampleClub()});
  FunFile.FileName = "/some/where.pat";
  FunFile.TotalSize = 99;
  CurFun = 1;
  SelCol = 1;
  SelCell = 0;
  const std::string Before = Describe(FunList);
  for (const Bytes& File :
       {Bytes{0x02, 0x01, 0x00, 0x00, 0x00}, Bytes{0x01, 0x00, 0x00, 0x00, 0x00}, Bytes{0x00, 0x00},
        Bytes{0x01, 0x02}}) {
    EXPECT_FALSE(Read(File));
    EXPECT_EQ(Describe(FunList), Before);
    EXPECT_EQ(FunFile.Count, 2);
    EXPECT_EQ(FunFile.TotalSize, 99);
    EXPECT_EQ(FunFile.FileName, "/some/where.pat");
    EXPECT_EQ(CurFun, 1);
    EXPECT_EQ(SelCol, 1);
  }
}

TEST_F(PatFormatTest, ReadingResetsTheSelectionAndKeepsTheFileName) {
  SetDocument({OneCellFunlight(true, 20), ExampleClub()});
  FunFile.FileName = "/kept.pat";
  CurFun = 1;
  SelCol = 3;
  SelCell = 2;
  ASSERT_TRUE(Read(File18));
  EXPECT_EQ(CurFun, 0);
  EXPECT_EQ(SelCol, 0);
  EXPECT_EQ(SelCell, 0);
  EXPECT_EQ(FunFile.FileName, "/kept.pat");
  EXPECT_EQ(size_t{FunFile.Count}, FunList.size());
}

TEST_F(PatFormatTest, TheHeaderSizeIsTakenAsItIsWhenRead) {
  Bytes File = File18;
  File[2] = 0x12;
  File[3] = 0x34;
  ASSERT_TRUE(Read(File));
  EXPECT_EQ(FunFile.TotalSize, 0x1234);
  EXPECT_EQ(Written(), File18);
  EXPECT_EQ(FunFile.TotalSize, 12);
}

TEST_F(PatFormatTest, WritingRecomputesEverySize) {
  SetDocument({OneCellFunlight(true, 1), ExampleClub(), Normal(3, 0, false, {})});
  for (TFunlight& F : FunList) F.Size = 1000;
  const Bytes File = Written();
  EXPECT_EQ(FunList[0].Size, 9);
  EXPECT_EQ(FunList[1].Size, 12);
  EXPECT_EQ(FunList[2].Size, 2);
  EXPECT_EQ(File.size(), 5u + 3 * 7 + 9 + 12 + 2);
  EXPECT_EQ(FunFile.TotalSize, 9 + 12 + 2 + 3 * 6);
}

TEST_F(PatFormatTest, AMissingFileIsReportedAndChangesNothing) {
  SetDocument({OneCellFunlight(false, 0)});
  const std::string Before = Describe(FunList);
  try {
    ReadPat((Dir / "absent.pat").string());
    FAIL() << "no error";
  } catch (const EInOutError& E) {
    EXPECT_STREQ(E.what(), "File not found");
  }
  EXPECT_EQ(Describe(FunList), Before);
  EXPECT_EQ(FunFile.Count, 1);
}

// Walks a file by its own header fields: every block's Size must lead exactly to the next block
// and the last one to the end of the file, and the header's size must match.
void ExpectSelfConsistent(const Bytes& File, const std::string& Name) {
  ASSERT_GE(File.size(), 5u) << Name;
  const size_t Count = File[4];
  size_t Pos = 5;
  for (size_t i = 0; i < Count; ++i) {
    ASSERT_LE(Pos + 7, File.size()) << Name << " block " << i;
    Pos += 7 + (File[Pos] << 8 | File[Pos + 1]);
  }
  EXPECT_EQ(Pos, File.size()) << Name;
  EXPECT_EQ(size_t(File[2] << 8 | File[3]), (File.size() - 5 - Count) & 0xFFFF) << Name;
}

std::vector<TFunlight> MixedDocument() {
  TFunlight Uneven = Club(138, {Row(1, 65535, 0, {{1, 2, 3, 4}, {5, 6, 7, 8}}),
                                Row(7, 3000, 2000, {{15, 15, 15, 255}, {}})});
  // As read from a file whose second row holds one cell: extended to StepCount, count kept.
  Uneven.ClubFrames[1].CellCount = 1;
  Uneven.StepCount = 2;
  return {
      Normal(1, 0x0102, true,
             {Frame(100, {Cell(1, 15, 0, 0), Cell(2, 0, 15, 0)}), Frame(250, {Cell(3, 0, 0, 15)}),
              Frame(65535, {})}),
      Normal(2, 0, false, {Frame(100, {Cell(4, 1, 2, 3)}), Frame(0, {})}),
      Normal(3, 7, true, {}),
      Normal(4, 0, false, {}),
      Club(128, {Row(1, 1000, 100, {{15, 0, 0, 50}, {0, 15, 0, 0}, {0, 0, 15, 1}}),
                 Row(2, 400, 20, {{1, 1, 1, 1}, {2, 2, 2, 2}, {3, 3, 3, 3}})}),
      Other(3, 9, 2, {0xDE, 0xAD, 0xBE, 0xEF}),
      Club(148, {}),
      Uneven,
      Normal(158, 0xFFFF, false, {Frame(0, {Cell(5, 8, 8, 8), Cell(6, 9, 9, 9)})}),
      Other(0, 10, 0, {}),
  };
}

TEST_F(PatFormatTest, MixedDocumentsRoundTrip) {
  struct Case {
    const char* Name;
    std::vector<TFunlight> List;
    bool SizesFit;  // every Size below 65536
  };
  // The last frame of a funlight that does not repeat has no duration in the file.
  auto LastUntimed = [](std::vector<TFrame> Frames) {
    Frames.back().Duration = 0;
    return Frames;
  };
  std::vector<TFrame> ManyFrames;
  for (int i = 0; i < 255; ++i)
    ManyFrames.push_back(Frame(static_cast<uint16_t>(i * 3), {Cell(1, i % 16, 0, 0)}));
  std::vector<TFrame> WideFrames;  // 255 x 255 cells: Size passes 65535 and wraps
  for (int i = 0; i < 255; ++i) {
    std::vector<TFrameCell> Cells;
    for (int c = 0; c < 255; ++c) Cells.push_back(Cell(c % 7 + 1, c % 16, i % 16, (c + i) % 16));
    WideFrames.push_back(Frame(static_cast<uint16_t>(1000 + i), std::move(Cells)));
  }
  std::vector<TClubFrame> WideRows;
  for (int r = 0; r < 255; ++r) {
    std::vector<TClubCell> Cells;
    for (int c = 0; c < 255; ++c)
      Cells.push_back({uint8_t(c % 16), uint8_t(r % 16), uint8_t((c * r) % 16), uint8_t(c)});
    WideRows.push_back(Row(uint8_t(r % 7 + 1), uint16_t(r * 200), uint16_t(r), std::move(Cells)));
  }
  const Case Cases[] = {
      {"mixed", MixedDocument(), true},
      {"many frames",
       {Normal(5, 0, false, LastUntimed(ManyFrames)), Normal(6, 0, true, ManyFrames)},
       true},
      {"wrapped normal sizes",
       {Normal(1, 1, true, WideFrames), Normal(2, 2, false, LastUntimed(WideFrames)),
        Normal(3, 3, true, {})},
       false},
      {"wrapped clublight size", {Club(1, WideRows), Normal(2, 0, true, {Frame(9, {})})}, false},
  };
  for (const Case& C : Cases) {
    ResetDocument();
    SetDocument(C.List);
    const Bytes First = Written();
    if (C.SizesFit) ExpectSelfConsistent(First, C.Name);
    const std::string Expected = Describe(FunList);
    const uint16_t TotalSize = FunFile.TotalSize;
    FunFile.TotalSize = 0;
    ASSERT_TRUE(Read(First)) << C.Name;
    EXPECT_EQ(size_t{FunFile.Count}, C.List.size()) << C.Name;
    EXPECT_EQ(FunFile.TotalSize, TotalSize) << C.Name;
    EXPECT_EQ(Describe(FunList), Expected) << C.Name;
    EXPECT_EQ(Written(), First) << C.Name;
  }
}

TEST_F(PatFormatTest, TheLargestDocumentRoundTrips) {
  SetDocument(LargestDocument());
  const Bytes First = Written();
  // Per funlight: 7 header bytes, HeadValue, 255 frames of count, 7 cells and duration, 00.
  EXPECT_EQ(First.size(), 5u + 255 * (7 + 2 + 255 * (1 + 21 + 2) + 1));
  ExpectSelfConsistent(First, "largest");
  const std::string Expected = Describe(FunList);
  ASSERT_TRUE(Read(First));
  EXPECT_EQ(Describe(FunList), Expected);
  EXPECT_EQ(Written(), First);
}

}  // namespace
