// Files that end early, odd funlights, and saves that fail: the document and the files on disk
// must come out whole.

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <future>
#include <iostream>
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

// Saves as a user whom file permissions hold back. Root passes every permission check, so when the
// tests run as root a child process that has become "nobody" saves; otherwise this process does.
class SaveTest : public PatSafetyTest {
 protected:
  using FileStat = struct stat;
  static constexpr uid_t Nobody = 65534;
  // As root: a further group that the saving user is given, and one it is not in.
  static constexpr gid_t SecondGroup = 100, RootGroup = 0;

  void SetUp() override {
    PatSafetyTest::SetUp();
    if (!Root()) return;
    fs::permissions(Dir.Path(),
                    fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    if (SaveAsUser({}) == CannotBecomeNobody) GTEST_SKIP() << "root cannot become nobody here";
  }
  void TearDown() override {
    UnnamedTemporaries = true;
    PatSafetyTest::TearDown();
  }

  static bool Root() { return ::geteuid() == 0; }

  // Makes Path the saving user's.
  static void GiveToUser(const fs::path& Path) {
    if (Root()) {
      ASSERT_EQ(::chown(Path.c_str(), Nobody, Nobody), 0) << Path;
    }
  }

  // The text of the EInOutError that saving the document over Target raises as the user, or "".
  std::string SaveAsUser(const fs::path& Target) {
    if (!Root()) return ErrorOf([&] { WritePat(Target.string()); });
    int Pipe[2];
    if (::pipe(Pipe) != 0) return "no pipe";
    const pid_t Child = ::fork();
    if (Child == 0) {
      ::close(Pipe[0]);
      std::string Text = CannotBecomeNobody;
      const gid_t Groups[] = {SecondGroup};
      if (::setgroups(1, Groups) == 0 && ::setgid(Nobody) == 0 && ::setuid(Nobody) == 0)
        Text = Target.empty() ? "" : ErrorOf([&] { WritePat(Target.string()); });
      const bool Sent = ::write(Pipe[1], Text.data(), Text.size()) == ssize_t(Text.size());
      ::_exit(Sent ? 0 : 1);
    }
    ::close(Pipe[1]);
    std::string Text;
    char Buffer[256];
    for (ssize_t n; (n = ::read(Pipe[0], Buffer, sizeof Buffer)) > 0;) Text.append(Buffer, n);
    ::close(Pipe[0]);
    int Status = 0;
    ::waitpid(Child, &Status, 0);
    EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0) << "the saving child failed";
    return Text;
  }

  static constexpr const char* CannotBecomeNobody = "cannot become nobody";
  const Bytes OldFile = PatFile(1, {ExampleBlock});
};

TEST_F(SaveTest, ASaveKeepsTheFileItReplaces) {
  using P = fs::perms;
  enum TGroup { Primary, Second, Foreign };
  struct Case {
    const char* Name;
    P FolderMode;
    bool Linked;      // the file has a second name
    bool OthersFile;  // the file is another user's, who lets the group write it
    TGroup Group;     // the file's group: the user's own, a further one of the user's, or another
    bool Named;       // the temporary has a name from the start
    bool LongOld;     // the old file is longer than the new one
    bool InPlace;     // so it must be overwritten in place, not replaced by a renamed new file
  };
  const P Writable = P::owner_all, ReadOnly = P::owner_read | P::owner_exec;
  const Case Cases[] = {
      {"own file", Writable, false, false, Primary, false, false, false},
      {"own file, named temporary", Writable, false, false, Primary, true, true, false},
      {"own file of a further group", Writable, false, false, Second, false, false, false},
      {"own file of a group the user is not in", Writable, false, false, Foreign, false, true,
       true},
      {"hard-linked file", Writable, true, false, Primary, false, false, true},
      {"read-only folder", ReadOnly, false, false, Primary, false, true, true},
      {"read-only folder, named temporary", ReadOnly, false, false, Primary, true, false, true},
      {"another user's file", Writable, false, true, Primary, false, false, true},
  };
  // Only root can give a file to another user or group; a user may have no further group.
  std::vector<gid_t> Further(::getgroups(0, nullptr) + 1);
  Further.resize(std::max(0, ::getgroups(int(Further.size()), Further.data())));
  std::erase(Further, ::getegid());
  const gid_t Groups[] = {Root() ? Nobody : ::getegid(),
                          Root()            ? SecondGroup
                          : Further.empty() ? 0
                                            : Further[0],
                          RootGroup};
  SetDocument(SomeDocument());
  const Bytes New = Written();
  for (const Case& C : Cases) {
    if (!Root() && (C.OthersFile || C.Group == Foreign || (C.Group == Second && Further.empty()))) {
      std::cout << "[  SKIPPED ] " << C.Name << ": needs root\n";
      continue;
    }
    const fs::path Folder = Dir / C.Name;
    const fs::path Target = Folder / "funlight.pat";
    fs::create_directory(Folder);
    WriteBytes(Target, C.LongOld ? Bytes(New.size() + 100, 0x5A) : OldFile);
    std::vector<std::string> Names = {"funlight.pat"};
    if (C.Linked) {
      fs::create_hard_link(Target, Folder / "second.pat");
      Names.push_back("second.pat");
    }
    GiveToUser(Folder);
    const uid_t Owner = !Root() ? uid_t(-1) : C.OthersFile ? 0 : Nobody;
    ASSERT_EQ(::chown(Target.c_str(), Owner, Groups[C.Group]), 0) << C.Name;
    fs::permissions(Target, P::owner_read | P::owner_write | P::group_read |
                                (C.OthersFile ? P::group_write : P::none));
    fs::permissions(Folder, C.FolderMode);
    FileStat Before{}, After{};
    ASSERT_EQ(::stat(Target.c_str(), &Before), 0);

    UnnamedTemporaries = !C.Named;
    EXPECT_EQ(SaveAsUser(Target), "") << C.Name;
    ASSERT_EQ(::stat(Target.c_str(), &After), 0);
    EXPECT_EQ(ReadBytes(Target), New) << C.Name;
    EXPECT_EQ(After.st_ino == Before.st_ino, C.InPlace) << C.Name;
    EXPECT_EQ(After.st_mode, Before.st_mode) << C.Name;
    EXPECT_EQ(After.st_uid, Before.st_uid) << C.Name;
    EXPECT_EQ(After.st_gid, Before.st_gid) << C.Name;
    if (C.Linked) {
      EXPECT_EQ(After.st_nlink, 2u) << C.Name;
      EXPECT_EQ(ReadBytes(Folder / "second.pat"), New) << C.Name;
    }
    EXPECT_EQ(FolderEntries(Folder), Names) << C.Name;
  }
}

// Saving over Target fails with Text; the old file and the folder must be as they were.
class FailedSaveTest : public SaveTest {
 protected:
  void ExpectFailedSave(const fs::path& Target, const std::string& Text, bool AsUser = false) {
    SetDocument(SomeDocument());
    FunFile.TotalSize = 4321;
    const fs::path Folder = Target.parent_path();
    const bool Existed = fs::is_regular_file(Target);
    const Bytes Old = Existed ? ReadBytes(Target) : Bytes{};
    const auto Entries = fs::exists(Folder) ? FolderEntries(Folder) : std::vector<std::string>{};
    EXPECT_EQ(AsUser ? SaveAsUser(Target) : ErrorOf([&] { WritePat(Target.string()); }), Text);
    EXPECT_EQ(FunFile.TotalSize, 4321);
    if (Existed) {
      EXPECT_EQ(ReadBytes(Target), Old);
    }
    if (fs::exists(Folder)) {
      EXPECT_EQ(FolderEntries(Folder), Entries);
    }
  }
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

TEST_F(FailedSaveTest, AReadOnlyFileIsNotOverwritten) {
  fs::create_directory(Dir / "folder");
  const auto Target = Dir / "folder" / "funlight.pat";
  WriteBytes(Target, OldFile);
  GiveToUser(Dir / "folder");
  GiveToUser(Target);
  fs::permissions(Target, fs::perms::owner_read | fs::perms::group_read);
  ExpectFailedSave(Target, "File access denied", true);
}

TEST_F(FailedSaveTest, AFileTooLargeToFinishLeavesTheOldFile) {
  // Limit the size of files this process may write: the write stops part way with EFBIG, as a
  // full disk would stop it. A hard-linked file is overwritten in place; the room it needs is
  // taken before its first byte is.
  struct Case {
    const char* Name;
    bool Linked;
    bool Named;
  };
  SetDocument(LargestDocument());
  for (const Case& C : {Case{"unnamed temporary", false, false},
                        Case{"named temporary", false, true}, Case{"in place", true, false}}) {
    const fs::path Folder = Dir / C.Name;
    const auto Target = Folder / "funlight.pat";
    fs::create_directory(Folder);
    WriteBytes(Target, OldFile);
    if (C.Linked) fs::create_hard_link(Target, Folder / "second.pat");
    const auto Entries = FolderEntries(Folder);
    UnnamedTemporaries = !C.Named;
    rlimit Saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &Saved), 0);
    rlimit Small = Saved;
    Small.rlim_cur = 4096;
    const auto OldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &Small), 0);
    const std::string Text = ErrorOf([&] { WritePat(Target.string()); });
    setrlimit(RLIMIT_FSIZE, &Saved);
    std::signal(SIGXFSZ, OldHandler);
    EXPECT_EQ(Text, "Disk full") << C.Name;
    EXPECT_EQ(ReadBytes(Target), OldFile) << C.Name;
    EXPECT_EQ(FolderEntries(Folder), Entries) << C.Name;
  }
}

TEST_F(PatSafetyTest, ASaveRemovesTheTemporariesThatSavesCutShortLeft) {
  const auto Target = Dir / "funlight.pat";
  WriteBytes(Target, PatFile(1, {ExampleBlock}));
  for (const char* Abandoned : {".funlight.pat.0123456789ab~", ".funlight.pat.fedcba987654~"})
    WriteBytes(Dir / Abandoned, Bytes(100, 0xAA));
  std::vector<std::string> Kept = {"funlight.pat",
                                   "funlight.pat~",
                                   ".funlight.pat.swp",
                                   ".funlight.pat.0123456789ab",
                                   ".funlight.pat.0123456789abc~",
                                   ".funlight.pat.0123456789AB~",
                                   ".other.pat.0123456789ab~"};
  for (const std::string& Name : Kept)
    if (Name != "funlight.pat") WriteBytes(Dir / Name, Bytes(10, 0x55));
  fs::create_directory(Dir / ".funlight.pat.aaaaaaaaaaaa~");
  Kept.push_back(".funlight.pat.aaaaaaaaaaaa~");
  // One that another save is still writing.
  const int Writing = ::open((Dir / ".funlight.pat.bbbbbbbbbbbb~").c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_GE(Writing, 0);
  ASSERT_EQ(::flock(Writing, LOCK_EX), 0);
  Kept.push_back(".funlight.pat.bbbbbbbbbbbb~");
  std::sort(Kept.begin(), Kept.end());

  SetDocument(SomeDocument());
  WritePat(Target.string());
  ::close(Writing);
  EXPECT_EQ(FolderEntries(Dir.Path()), Kept);
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
