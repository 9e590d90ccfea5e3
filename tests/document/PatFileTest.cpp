// PAT files byte for byte both ways; the files the reader refuses leave the document as it was.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <future>

#include "DocSupport.h"

using namespace DocSupport;

// The document without the sizes, which the reader takes from the file and the writer works out.
static std::string Content(std::vector<TFunlight> List) {
  for (TFunlight& F : List) F.Size = 0;
  return Describe(List);
}

class PatFileTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetDocument(); }
  Bytes Written() {
    WritePat((Dir / "out.pat").string());
    return ReadBytes(Dir / "out.pat");
  }
  bool Read(const Bytes& Data) {
    WriteBytes(Dir / "in.pat", Data);
    return ReadPat((Dir / "in.pat").string());
  }
  // Reading File gives Document; both are written as Canonical (the file itself when empty).
  void BothWays(const char* Name, const Bytes& File, const std::vector<TFunlight>& Document,
                Bytes Canonical = {}) {
    if (Canonical.empty()) Canonical = File;
    SCOPED_TRACE(Name);
    ResetDocument();
    ASSERT_TRUE(Read(File));
    EXPECT_EQ(std::tuple(Content(FunList), +FunFile.Count, +FunFile.TotalSize),
              std::tuple(Content(Document), int(Document.size()), File[2] << 8 | File[3]));
    EXPECT_EQ(Written(), Canonical);
    SetDocument(Document);
    EXPECT_EQ(Written(), Canonical);
    EXPECT_EQ(FunFile.TotalSize, Canonical[2] << 8 | Canonical[3]);
  }
  TTempDir Dir;
};

static Bytes Hex(const std::string& Text) {
  Bytes Data;
  for (size_t i = 0; i < Text.size(); ++i)
    if (Text[i] != ' ') Data.push_back(std::stoi(Text.substr(i++, 2), nullptr, 16));
  return Data;
}

// A file of Count funlight blocks, given in hex, with its header.
static Bytes Pat(uint8_t Count, const std::string& Blocks) {
  Bytes File = Hex(Blocks);
  const size_t TotalSize = File.size() - Count;
  File.insert(File.begin(), {1, 1, uint8_t(TotalSize >> 8), uint8_t(TotalSize), Count});
  return File;
}

// The example funlight: FunID 1, one frame lighting element 1 in (15, 0, 8).
const std::string Ex = " 0006 01 0000 01 02 0000 01 01 0F 08";
const TFunlight ExFun = Normal(1, 0, false, {Frame(0, {Cell(1, 15, 0, 8)})});

TEST_F(PatFileTest, BytesAndDocumentsBothWays) {
  TFunlight Uneven = Club(128, {Row(3, 16, 1, {{15, 1, 2, 7}, {}, {}}),
                                Row(5, 32, 2, {{1, 2, 3, 8}, {2, 3, 4, 9}, {3, 4, 5, 10}})});
  Uneven.ClubFrames[0].CellCount = 1;  // extended to the longest row, its count kept
  // Two rows (FunID 128, clublight): element 3 with one cell, element 5 with three.
  const std::string Rows = " 02 0000 80 01 03 01 0010 0001 0F 12 07 05 03 0020 0002 01 23 08" +
                           std::string(" 02 34 09 03 45 0A");
  // A normal funlight with FunID 5 and HeadValue 0x1234, then the example.
  const auto Fun5 = [](bool Repeating, std::vector<TFrame> Frames) {
    return std::vector<TFunlight>{Normal(5, 0x1234, Repeating, Frames), ExFun};
  };
  const std::string Fun5Head = " 0000 05 02 1234", Cell1 = " 01 02 03 45";
  const TFrame F100 = Frame(100, {Cell(2, 3, 4, 5)});  // Cell1 0064
  BothWays("clublight", Hex("0101 0012 01 000C 01 0000 96 01 01 02 03E8 0064 0F 00 32 00 F0 00"),
           {Club(150, {Row(1, 1000, 100, {{15, 0, 0, 50}, {0, 15, 0, 0}})})});
  BothWays("empty", Hex("0101 0000 00"), {});
  BothWays("clublight without rows", Pat(1, "0000 00 0000 94 01"), {Club(148, {})});
  BothWays("header size taken as it is", Hex("0101 1234 01" + Ex), {ExFun},
           Hex("0101 000C 01" + Ex));
  BothWays("channel bytes kept", Pat(1, "0009 01 0000 03 02 0000 02 07 20 A5 09 FF 3C"),
           {Normal(3, 0, false, {Frame(0, {Cell(7, 0x20, 0xA, 5), Cell(9, 0xFF, 3, 0xC)})})});
  BothWays("last duration without the closing byte",
           Pat(1, "000E 02 0000 05 02 ABCD 01 01 0F 08 0064 01 02 00 F0 012C"),
           {Normal(5, 0xABCD, false,
                   {Frame(100, {Cell(1, 15, 0, 8)}), Frame(300, {Cell(2, 0, 15, 0)})})},
           Pat(1, "000C 02 0000 05 02 ABCD 01 01 0F 08 0064 01 02 00 F0"));
  BothWays("uneven rows", Pat(2, "0018" + Rows + Ex), {Uneven, ExFun});
  BothWays("uneven rows, Size of whole rows as earlier versions wrote", Pat(2, "001E" + Rows + Ex),
           {Uneven, ExFun}, Pat(2, "0018" + Rows + Ex));
  BothWays("uneven rows, bytes after them", Pat(2, "001A" + Rows + " EEEE" + Ex), {Uneven, ExFun},
           Pat(2, "0018" + Rows + Ex));
  BothWays("other types kept",
           Pat(3, "0006 03 0000 20 07 01 01 02 FF 00 09 0000 00 0000 21 00" + Ex),
           {Other(7, 0x20, 3, {1, 1, 2, 0xFF, 0, 9}), Other(0, 0x21, 0, {}), ExFun});
  BothWays("repeating without frames", Pat(2, "0003 00" + Fun5Head + " 00" + Ex), Fun5(true, {}));
  BothWays("without frames", Pat(2, "0002 00" + Fun5Head + Ex), Fun5(false, {}));
  BothWays("surplus without frames", Pat(2, "0005 00" + Fun5Head + " AABBCC" + Ex), Fun5(false, {}),
           Pat(2, "0002 00" + Fun5Head + Ex));
  BothWays("last frame without cells", Pat(2, "0009 02" + Fun5Head + Cell1 + " 0064 00" + Ex),
           Fun5(false, {F100, Frame(0, {})}));
  BothWays("repeating, last frame without cells",
           Pat(2, "000C 02" + Fun5Head + Cell1 + " 0064 00 00C8 00" + Ex),
           Fun5(true, {F100, Frame(200, {})}));
  BothWays("surplus after the last duration",
           Pat(2, "000C 01" + Fun5Head + Cell1 + " 0064 AABBCCDD" + Ex), Fun5(false, {F100}),
           Pat(2, "0006 01" + Fun5Head + Cell1 + Ex));
  BothWays("a lone closing byte", Pat(2, "0007 01" + Fun5Head + Cell1 + " 00" + Ex),
           Fun5(true, {Frame(0, {Cell(2, 3, 4, 5)})}),
           Pat(2, "0009 01" + Fun5Head + Cell1 + " 0000 00" + Ex));
  BothWays("Size smaller than the frames",
           Pat(2, "0000 02" + Fun5Head + Cell1 + " 0064 01 03 04 56" + Ex),
           Fun5(false, {F100, Frame(0, {Cell(3, 4, 5, 6)})}),
           Pat(2, "000C 02" + Fun5Head + Cell1 + " 0064 01 03 04 56" + Ex));
}

// Frames, rows and cells that the counts promise but the arrays lack are written as zeros.
TEST_F(PatFileTest, MissingFramesRowsAndCellsAreWrittenAsZeros) {
  SetDocument({Normal(1, 0, false, {Frame(0, {})}), Club(2, {Row(1, 0, 0, {})})});
  FunList[0].FrameCount = FunList[1].FrameCount = 2;
  FunList[0].Frames[0].CellCount = FunList[1].ClubFrames[0].CellCount = 1;
  EXPECT_EQ(Written(), Pat(2,
                           "0009 02 0000 01 02 0000 01 000000 0000 00 000F 02 0000 02 01 01 01 "
                           "0000 0000 000000 00 00 0000 0000"));
}

// The largest file (255 clublights, their Sizes wrapped) reads back; one byte more is refused.
TEST_F(PatFileTest, TheLargestFileRoundTrips) {
  const TFunlight Longest = Club(
      128,
      std::vector<TClubFrame>(255, Row(7, 1000, 100, std::vector<TClubCell>(255, {1, 2, 3, 4}))));
  SetDocument(std::vector<TFunlight>(255, Longest));
  Bytes File = Written();
  ASSERT_EQ(File.size(), MaxPatFileSize);
  SetDocument({});
  ASSERT_TRUE(Read(File) && FunList.size() == 255);
  EXPECT_EQ(Content({FunList[254]}), Content({Longest}));
  File.push_back(0);
  EXPECT_EQ(ErrorOf([&] { Read(File); }), "File too large");
  // A repeating funlight whose Size wraps keeps its last duration and closing byte.
  const std::vector<TFunlight> Wrapped = {
      Normal(1, 2, true, std::vector<TFrame>(255, Frame(7, std::vector<TFrameCell>(255)))), ExFun};
  SetDocument(Wrapped);
  BothWays("wrapped Size", Written(), Wrapped);
}

// A file that cannot be read or is not a PAT file, and a failed save, change nothing.
TEST_F(PatFileTest, RefusedFilesChangeNothing) {
  fs::create_directory(Dir / "folder");
  ASSERT_EQ(::mkfifo((Dir / "fifo").c_str(), 0600), 0);
  std::vector<std::pair<fs::path, std::string>> Cases = {{"absent.pat", "File not found"}};
  for (const char* Denied : {"folder", "fifo", "/dev/zero", "/dev/null"})
    Cases.push_back({Denied, "File access denied"});
  for (const char* NoMark : {"0201 0000 00", "0100 0000 00", "0102"}) {
    Cases.push_back({NoMark, ""});
    WriteBytes(Dir / NoMark, Hex(NoMark));
  }
  SetDocument({Normal(1, 3, true, {Frame(100, {Cell(1, 15, 0, 0)}), Frame(200, {})}),
               Club(5, {Row(1, 100, 10, {{1, 1, 1, 1}, {2, 2, 2, 2}})}), Other(6, 17, 2, {9, 8, 7}),
               Normal(2, 0, false, {Frame(50, {Cell(2, 1, 2, 3), Cell(3, 4, 5, 6)})})});
  const Bytes Full = Written();
  for (size_t Length = 0; Length < Full.size(); ++Length) {
    Cases.push_back({"cut" + std::to_string(Length), "Read beyond end of file"});
    WriteBytes(Dir / Cases.back().first, Bytes(Full.begin(), Full.begin() + Length));
  }
  SetDocument({ExFun, Club(149, {Row(1, 2, 3, {{1, 2, 3, 4}})})});
  FunFile = {"/old.pat", 1234, 2};
  CurFun = 1, SelCol = 2, SelCell = 3;
  const auto State = [] {  // a save works out the sizes
    return Content(FunList) + FunFile.FileName + std::to_string(FunFile.TotalSize) +
           std::to_string(FunFile.Count + CurFun * 10 + SelCol * 100 + SelCell * 1000);
  };
  const std::string Before = State();
  for (const auto& [Path, Error] : Cases) {
    bool Result = false;
    auto Text = std::async(std::launch::async, [&] {
      return ErrorOf([&] { Result = ReadPat((Dir / Path).string()); });
    });
    if (Text.wait_for(std::chrono::seconds(5)) == std::future_status::timeout) {
      ADD_FAILURE() << Path << " still being read after 5 s";
      ::close(::open((Dir / "fifo").c_str(), O_WRONLY | O_NONBLOCK));  // let the FIFO go
    }
    EXPECT_EQ(Text.get(), Error) << Path;
    EXPECT_EQ(std::pair(Result, State()), std::pair(false, Before)) << Path;
  }
  EXPECT_EQ(ErrorOf([&] { WritePat((Dir / "absent" / "x.pat").string()); }), "File not found");
  EXPECT_EQ(State(), Before) << "failed save";
  WriteBytes(Dir / "readonly.pat", Full);
  fs::permissions(Dir / "readonly.pat", fs::perms::owner_read);
  EXPECT_TRUE(ReadPat((Dir / "readonly.pat").string()));  // opened for reading only
}
