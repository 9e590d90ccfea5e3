// Files that end early, odd funlights, and saves that fail: the document and the files on disk
// must come out whole.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <future>
#include <thread>

#include "DocTest.h"

using namespace UFunStruct;
using namespace DocSupport;
namespace fs = std::filesystem;

namespace {

class PatSafetyTest : public TDocTest {
 protected:
  // The text of the EInOutError that Action raises, or "" when it raises none.
  template <typename F>
  static std::string ErrorOf(F Action) {
    try {
      Action();
    } catch (const EInOutError& E) {
      return E.what();
    }
    return "";
  }

  std::vector<std::string> FolderEntries(const fs::path& Folder) {
    std::vector<std::string> Names;
    for (const auto& Entry : fs::directory_iterator(Folder))
      Names.push_back(Entry.path().filename().string());
    std::sort(Names.begin(), Names.end());
    return Names;
  }
};

// The header and data of the 18-byte example's funlight: FunID 1, element 1 = (15, 0, 8).
const Bytes ExampleBlock = {0x00, 0x06, 0x01, 0x00, 0x00, 0x01, 0x02,
                            0x00, 0x00, 0x01, 0x01, 0x0F, 0x08};

Bytes PatFile(uint8_t Count, std::initializer_list<Bytes> Blocks) {
  Bytes File = Concat(Blocks);
  const size_t TotalSize = File.size() - Count;
  File.insert(File.begin(), {0x01, 0x01, uint8_t(TotalSize >> 8), uint8_t(TotalSize), Count});
  return File;
}

void ExpectExampleFunlight(const TFunlight& F, const std::string& Name) {
  EXPECT_EQ(F.FunID, 1) << Name;
  EXPECT_EQ(F.FunType, NormalType) << Name;
  ASSERT_EQ(F.Frames.size(), 1u) << Name;
  ASSERT_EQ(F.Frames[0].Cells.size(), 1u) << Name;
  EXPECT_EQ(F.Frames[0].Cells[0].Element, 1) << Name;
  EXPECT_EQ(F.Frames[0].Cells[0].R, 15) << Name;
  EXPECT_EQ(F.Frames[0].Cells[0].B, 8) << Name;
  EXPECT_FALSE(F.Repeating) << Name;
}

std::vector<TFunlight> SomeDocument() {
  TFunlight Uneven = Club(5, {Row(1, 100, 10, {{1, 1, 1, 1}, {2, 2, 2, 2}}), Row(2, 0, 0, {{}})});
  Uneven.ClubFrames[1].Cells.resize(2);
  Uneven.StepCount = 2;
  return {Normal(1, 3, true, {Frame(100, {Cell(1, 15, 0, 0)}), Frame(200, {})}),
          Normal(2, 0, false, {Frame(50, {Cell(2, 1, 2, 3), Cell(3, 4, 5, 6)})}), Uneven,
          Other(6, 17, 2, {9, 8, 7}), Normal(10, 0, true, {})};
}

TEST_F(PatSafetyTest, AFileThatEndsEarlyLeavesTheDocumentAsItWas) {
  SetDocument(SomeDocument());
  const Bytes Full = Written();
  SetDocument({Normal(150, 1, false, {Frame(0, {Cell(4, 4, 4, 4)})}),
               Club(149, {Row(1, 2, 3, {{1, 2, 3, 4}})})});
  FunFile.FileName = "/old.pat";
  FunFile.TotalSize = 1234;
  CurFun = 1;
  SelCol = 2;
  SelCell = 3;
  const std::string Before = Describe(FunList);
  for (size_t Length = 0; Length < Full.size(); ++Length) {
    EXPECT_EQ(ErrorOf([&] { Read(Bytes(Full.begin(), Full.begin() + Length)); }),
              "Read beyond end of file")
        << Length << " of " << Full.size() << " bytes";
    EXPECT_EQ(Describe(FunList), Before) << Length;
    EXPECT_EQ(FunFile.Count, 2) << Length;
    EXPECT_EQ(FunFile.TotalSize, 1234) << Length;
    EXPECT_EQ(FunFile.FileName, "/old.pat") << Length;
    EXPECT_EQ(CurFun, 1) << Length;
    EXPECT_EQ(SelCol, 2) << Length;
    EXPECT_EQ(SelCell, 3) << Length;
  }
  ASSERT_TRUE(Read(Full));
  EXPECT_EQ(FunList.size(), 5u);
}

TEST_F(PatSafetyTest, AFunlightOfAnotherTypeIsKeptByteForByte) {
  const Bytes File =
      PatFile(4, {ExampleBlock,
                  {0x00, 0x06, 0x03, 0x00, 0x00, 0x20, 0x07, 0x01, 0x01, 0x02, 0xFF, 0x00, 0x09},
                  {0x00, 0x00, 0x00, 0x00, 0x00, 0x21, 0x00},
                  {0x00, 0x09, 0x01, 0x00, 0x00, 0x80, 0x01, 0x04, 0x01, 0x00, 0x05, 0x00, 0x06,
                   0x0A, 0xBC, 0x0D}});
  ASSERT_TRUE(Read(File));
  ASSERT_EQ(FunList.size(), 4u);
  ExpectExampleFunlight(FunList[0], "first");
  EXPECT_EQ(FunList[1].FunType, 7);
  EXPECT_EQ(FunList[1].FunID, 0x20);
  EXPECT_EQ(FunList[1].FrameCount, 3);
  EXPECT_EQ(FunList[1].RawData, (Bytes{0x01, 0x01, 0x02, 0xFF, 0x00, 0x09}));
  EXPECT_TRUE(FunList[1].Frames.empty());
  EXPECT_TRUE(FunList[1].ClubFrames.empty());
  EXPECT_EQ(FunList[2].FunType, 0);
  EXPECT_TRUE(FunList[2].RawData.empty());
  ASSERT_EQ(FunList[3].ClubFrames.size(), 1u);
  EXPECT_EQ(FunList[3].ClubFrames[0].Element, 4);
  EXPECT_EQ(FunList[3].ClubFrames[0].UpperFreq, 5);
  EXPECT_EQ(FunList[3].ClubFrames[0].LowerFreq, 6);
  EXPECT_EQ(FunList[3].ClubFrames[0].Cells[0].Param, 0x0D);
  EXPECT_EQ(Written(), File);
}

TEST_F(PatSafetyTest, UnevenClublightRowsAreWrittenWithTheSizeOfTheirCells) {
  const Bytes Rows = {0x01, 0x01, 0x01, 0x00, 0x00, 0x10, 0x0F, 0x00, 0x01,  // one cell
                      0x02, 0x02, 0x02, 0x00, 0x00, 0x20, 0x00, 0xF0, 0x02,  // two cells
                      0x00, 0x0F, 0x03};
  const Bytes Consistent =
      PatFile(2, {{0x00, 0x15, 0x02, 0x00, 0x00, 0x80, 0x01}, Rows, ExampleBlock});
  // The same rows as earlier versions wrote them: Size 2 * (6 + 3 * 2) = 24 for 21 bytes.
  const Bytes Older = PatFile(2, {{0x00, 0x18, 0x02, 0x00, 0x00, 0x80, 0x01}, Rows, ExampleBlock});
  ASSERT_TRUE(Read(Consistent));
  EXPECT_EQ(FunList[0].ClubFrames[0].CellCount, 1);
  EXPECT_EQ(FunList[0].ClubFrames[0].Cells.size(), 2u);
  ExpectExampleFunlight(FunList[1], "after consistent rows");
  EXPECT_EQ(Written(), Consistent);
  EXPECT_EQ(FunList[0].Size, 21);

  ASSERT_TRUE(Read(Older));
  ExpectExampleFunlight(FunList[1], "after older rows");
  EXPECT_EQ(Written(), Consistent);

  // Bytes after the rows that Size covers are passed over.
  Bytes Padded = Rows;
  Padded.insert(Padded.end(), {0xEE, 0xEE});
  ASSERT_TRUE(Read(PatFile(2, {{0x00, 0x17, 0x02, 0x00, 0x00, 0x80, 0x01}, Padded, ExampleBlock})));
  EXPECT_EQ(FunList[0].ClubFrames[1].Cells[1].Param, 3);
  ExpectExampleFunlight(FunList[1], "after padded rows");
  EXPECT_EQ(Written(), Consistent);
}

TEST_F(PatSafetyTest, OddNormalFunlightsDoNotShiftTheNextOne) {
  struct Case {
    const char* Name;
    Bytes Block;
    bool Repeating;
    std::vector<uint16_t> Durations;
    bool ExactRoundTrip;
  };
  const Case Cases[] = {
      {"repeating without frames",
       {0x00, 0x03, 0x00, 0x00, 0x00, 0x05, 0x02, 0x12, 0x34, 0x00},
       true,
       {},
       true},
      {"not repeating without frames",
       {0x00, 0x02, 0x00, 0x00, 0x00, 0x05, 0x02, 0x12, 0x34},
       false,
       {},
       true},
      {"last frame without cells",
       {0x00, 0x09, 0x02, 0x00, 0x00, 0x05, 0x02, 0x12, 0x34, 0x01, 0x02, 0x03, 0x45, 0x00, 0x64,
        0x00},
       false,
       {100, 0},
       true},
      {"repeating, last frame without cells",
       {0x00, 0x0C, 0x02, 0x00, 0x00, 0x05, 0x02, 0x12, 0x34, 0x01, 0x02, 0x03, 0x45, 0x00, 0x64,
        0x00, 0x00, 0xC8, 0x00},
       true,
       {100, 200},
       true},
      {"surplus bytes without frames",
       {0x00, 0x05, 0x00, 0x00, 0x00, 0x05, 0x02, 0x12, 0x34, 0xAA, 0xBB, 0xCC},
       false,
       {},
       false},
      {"surplus bytes after the last duration",
       {0x00, 0x0C, 0x01, 0x00, 0x00, 0x05, 0x02, 0x12, 0x34, 0x01, 0x02, 0x03, 0x45, 0x00, 0x64,
        0xAA, 0xBB, 0xCC, 0xDD},
       false,
       {100},
       false},
      {"a lone closing byte after the last frame",
       {0x00, 0x07, 0x01, 0x00, 0x00, 0x05, 0x02, 0x12, 0x34, 0x01, 0x02, 0x03, 0x45, 0x00},
       true,
       {0},
       false},
      {"Size smaller than the frames",
       {0x00, 0x00, 0x02, 0x00, 0x00, 0x05, 0x02, 0x12, 0x34, 0x01, 0x02, 0x03, 0x45, 0x00, 0x64,
        0x01, 0x03, 0x04, 0x56},
       false,
       {100, 0},
       false},
  };
  for (const Case& C : Cases) {
    ResetDocument();
    const Bytes File = PatFile(2, {C.Block, ExampleBlock});
    ASSERT_TRUE(Read(File)) << C.Name;
    ASSERT_EQ(FunList.size(), 2u) << C.Name;
    const TFunlight& F = FunList[0];
    EXPECT_EQ(F.FunID, 5) << C.Name;
    EXPECT_EQ(F.HeadValue, 0x1234) << C.Name;
    EXPECT_EQ(F.Repeating, C.Repeating) << C.Name;
    std::vector<uint16_t> Durations;
    for (const TFrame& Fr : F.Frames) Durations.push_back(Fr.Duration);
    EXPECT_EQ(Durations, C.Durations) << C.Name;
    ExpectExampleFunlight(FunList[1], C.Name);
    const Bytes Again = Written();
    if (C.ExactRoundTrip) {
      EXPECT_EQ(Again, File) << C.Name;
    }
    ASSERT_TRUE(Read(Again)) << C.Name;
    EXPECT_EQ(Written(), Again) << C.Name;
  }
}

TEST_F(PatSafetyTest, AReadOnlyFileOpens) {
  const auto Path = Dir / "readonly.pat";
  WriteBytes(Path, PatFile(1, {ExampleBlock}));
  fs::permissions(Path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  ASSERT_TRUE(ReadPat(Path.string()));
  ExpectExampleFunlight(FunList.at(0), "read-only");
}

TEST_F(PatSafetyTest, OnlyARegularFileIsRead) {
  fs::create_directory(Dir / "folder");
  ASSERT_EQ(::mkfifo((Dir / "fifo").c_str(), 0600), 0);
  SetDocument(SomeDocument());
  const std::string Before = Describe(FunList);
  for (const fs::path& Path :
       {Dir / "folder", Dir / "fifo", fs::path("/dev/zero"), fs::path("/dev/null")}) {
    std::promise<std::string> Result;
    std::thread Reader([&] { Result.set_value(ErrorOf([&] { ReadPat(Path.string()); })); });
    auto Text = Result.get_future();
    if (Text.wait_for(std::chrono::seconds(5)) == std::future_status::timeout) {
      ADD_FAILURE() << Path << " still being read after 5 s";
      // Give a reader stuck in opening the FIFO its writer and an end of file.
      const int Writer = ::open(Path.c_str(), O_WRONLY | O_NONBLOCK);
      if (Writer >= 0) ::close(Writer);
    }
    Reader.join();
    EXPECT_EQ(Text.get(), "File access denied") << Path;
    EXPECT_EQ(Describe(FunList), Before) << Path;
  }
}

TEST_F(PatSafetyTest, NoFileLongerThanTheLargestPatFileIsRead) {
  // 255 of the longest funlight: a clublight of 255 rows of 255 steps; its Size has wrapped.
  Bytes Largest = {0x01, 0x01, 0x00, 0x00, 0xFF};
  Largest.reserve(MaxPatFileSize + 1);
  for (int f = 0; f < 255; ++f) {
    Largest.insert(Largest.end(),
                   {uint8_t(196605 >> 8), uint8_t(196605 & 0xFF), 255, 0, 0, 128, 1});
    for (int r = 1; r <= 255; ++r) {
      Largest.insert(Largest.end(), {uint8_t(r), 255, 0x03, 0xE8, 0x00, 0x64});
      for (int c = 0; c < 255; ++c) {
        Largest.push_back(uint8_t(c % 16));
        Largest.push_back(0xF0);
        Largest.push_back(uint8_t(r));
      }
    }
  }
  ASSERT_EQ(Largest.size(), MaxPatFileSize);
  ASSERT_TRUE(Read(Largest));
  ASSERT_EQ(FunList.size(), 255u);
  EXPECT_EQ(FunList[254].ClubFrames[254].Cells[254].Param, 255);

  SetDocument(SomeDocument());
  const std::string Before = Describe(FunList);
  std::ofstream(Dir / "in.pat", std::ios::binary | std::ios::app).put(0);
  EXPECT_EQ(ErrorOf([&] { ReadPat((Dir / "in.pat").string()); }), "File too large");
  EXPECT_EQ(Describe(FunList), Before);
}

// Saving over Target fails with Text; the old file and the folder must be as they were.
class FailedSaveTest : public PatSafetyTest {
 protected:
  void ExpectFailedSave(const fs::path& Target, const std::string& Text) {
    SetDocument(SomeDocument());
    FunFile.TotalSize = 4321;
    const fs::path Folder = Target.parent_path();
    const bool Existed = fs::is_regular_file(Target);
    const Bytes Old = Existed ? ReadBytes(Target) : Bytes{};
    const auto Entries = fs::exists(Folder) ? FolderEntries(Folder) : std::vector<std::string>{};
    EXPECT_EQ(ErrorOf([&] { WritePat(Target.string()); }), Text);
    EXPECT_EQ(FunFile.TotalSize, 4321);
    if (Existed) {
      EXPECT_EQ(ReadBytes(Target), Old);
    }
    if (fs::exists(Folder)) {
      EXPECT_EQ(FolderEntries(Folder), Entries);
    }
  }

  // Whether this user is held back by file permissions at all (root is not).
  bool PermissionsApply(const fs::path& ReadOnlyFile) {
    const int Fd = ::open(ReadOnlyFile.c_str(), O_WRONLY);
    if (Fd >= 0) ::close(Fd);
    return Fd < 0;
  }

  const Bytes OldFile = PatFile(1, {ExampleBlock});
};

TEST_F(FailedSaveTest, AMissingFolderIsReported) {
  ExpectFailedSave(Dir / "missing" / "funlight.pat", "File not found");
  EXPECT_FALSE(fs::exists(Dir / "missing"));
}

TEST_F(FailedSaveTest, AFolderInPlaceOfTheFileIsNotReplaced) {
  fs::create_directory(Dir / "funlight.pat");
  ExpectFailedSave(Dir / "funlight.pat", "File access denied");
  EXPECT_TRUE(fs::is_directory(Dir / "funlight.pat"));
}

TEST_F(FailedSaveTest, AFileTooLargeToFinishLeavesTheOldFile) {
  const auto Target = Dir / "funlight.pat";
  WriteBytes(Target, OldFile);
  // Limit the size of files this process may write: the write stops part way with EFBIG, as a
  // full disk would stop it.
  SetDocument(LargestDocument());
  rlimit Saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &Saved), 0);
  rlimit Small = Saved;
  Small.rlim_cur = 4096;
  const auto OldHandler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &Small), 0);
  const std::string Text = ErrorOf([&] { WritePat(Target.string()); });
  setrlimit(RLIMIT_FSIZE, &Saved);
  std::signal(SIGXFSZ, OldHandler);
  EXPECT_EQ(Text, "Disk full");
  EXPECT_EQ(ReadBytes(Target), OldFile);
  EXPECT_EQ(FolderEntries(Dir.Path()), std::vector<std::string>{"funlight.pat"});
}

TEST_F(FailedSaveTest, AReadOnlyFileIsNotOverwritten) {
  const auto Target = Dir / "funlight.pat";
  WriteBytes(Target, OldFile);
  fs::permissions(Target, fs::perms::owner_read | fs::perms::group_read);
  if (!PermissionsApply(Target))
    GTEST_SKIP() << "this user writes read-only files regardless (running as root)";
  ExpectFailedSave(Target, "File access denied");
}

TEST_F(FailedSaveTest, AFileInAReadOnlyFolderIsNotReplaced) {
  fs::create_directory(Dir / "locked");
  const auto Target = Dir / "locked" / "funlight.pat";
  WriteBytes(Target, OldFile);
  fs::permissions(Dir / "locked", fs::perms::owner_read | fs::perms::owner_exec);
  fs::permissions(Target, fs::perms::owner_read | fs::perms::owner_write);
  const int Fd = ::open((Dir / "locked" / "probe").c_str(), O_WRONLY | O_CREAT, 0644);
  if (Fd >= 0) {
    ::close(Fd);
    fs::remove(Dir / "locked" / "probe");
    GTEST_SKIP() << "this user creates files in read-only folders regardless (running as root)";
  }
  ExpectFailedSave(Target, "File access denied");
}

TEST_F(PatSafetyTest, ASaveReplacesTheFileAndKeepsItsPermissions) {
  const auto Target = Dir / "funlight.pat";
  WriteBytes(Target, PatFile(1, {ExampleBlock}));
  const auto Mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
  fs::permissions(Target, Mode);
  SetDocument(SomeDocument());
  const Bytes Expected = Written();
  WritePat(Target.string());
  EXPECT_EQ(ReadBytes(Target), Expected);
  EXPECT_EQ(fs::status(Target).permissions() & fs::perms::all, Mode);
  EXPECT_EQ(FolderEntries(Dir.Path()), (std::vector<std::string>{"funlight.pat", "out.pat"}));
}

TEST_F(PatSafetyTest, ASaveThroughALinkReplacesTheFileItNames) {
  const auto Real = Dir / "real.pat";
  const auto Link = Dir / "link.pat";
  WriteBytes(Real, PatFile(1, {ExampleBlock}));
  fs::create_symlink(Real, Link);
  SetDocument(SomeDocument());
  WritePat(Link.string());
  EXPECT_TRUE(fs::is_symlink(Link));
  EXPECT_EQ(fs::read_symlink(Link), Real);
  const Bytes Saved = ReadBytes(Real);
  EXPECT_EQ(Saved, Written());
}

}  // namespace
