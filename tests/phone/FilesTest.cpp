// Phone files, the file list, seem bytes and restart.
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include "InOutError.h"
#include "PhoneCopy.h"
#include "PhoneTestSupport.h"

namespace fs = std::filesystem;

namespace {

const std::string kPat = "/a/funlight.pat";

Bytes ReadLocal(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteLocal(const fs::path& path, const Bytes& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

std::vector<long> SubCommands(const std::vector<TPhoneCommand>& commands) {
  std::vector<long> subs;
  for (const auto& c : commands) subs.push_back(c.SubCommand());
  return subs;
}

// A search-next answer listing the given names with the given claimed count.
Bytes Listing(int claimed, const std::vector<std::string>& names, std::uint32_t size = 77) {
  Bytes b(4 + 268 * names.size(), 0);
  b[1] = static_cast<std::uint8_t>(claimed);
  for (std::size_t i = 0; i < names.size(); ++i) {
    std::uint8_t* entry = &b[4 + 268 * i];
    std::memcpy(entry, names[i].data(), std::min<std::size_t>(names[i].size(), 260));
    entry[264] = static_cast<std::uint8_t>(size >> 24);
    entry[265] = static_cast<std::uint8_t>(size >> 16);
    entry[266] = static_cast<std::uint8_t>(size >> 8);
    entry[267] = static_cast<std::uint8_t>(size);
  }
  return b;
}

}  // namespace

class PhoneFilesTest : public PhoneLinkTest {
 protected:
  void SetUp() override {
    PhoneLinkTest::SetUp();
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(name.begin(), name.end(), '/', '_');
    Dir =
        fs::temp_directory_path() / ("glowsmith-phone-" + std::to_string(::getpid()) + "-" + name);
    fs::remove_all(Dir);
    fs::create_directories(Dir);
    ConnectDirect();
  }

  void TearDown() override {
    fs::remove_all(Dir);
    PhoneLinkTest::TearDown();
  }

  fs::path Dir;
};

// --------------------------------------------------------------------------- read and write

struct ChunkCase {
  std::size_t size;
  std::vector<std::uint32_t> chunks;
};

class FileChunks : public PhoneFilesTest, public ::testing::WithParamInterface<ChunkCase> {};

TEST_P(FileChunks, ReadCopiesThePhoneFileInChunksOf1024) {
  const ChunkCase c = GetParam();
  const Bytes content = Pattern(c.size);
  Sim.Phone().AddFile(kPat, content);
  const fs::path local = Dir / "funlight.pat";
  WriteLocal(local, Bytes(5000, 0x11));  // an older, longer copy is replaced

  ASSERT_TRUE(Link->ReadPhoneFile(local.string(), kPat, static_cast<std::uint32_t>(c.size)));

  EXPECT_EQ(ReadLocal(local), content);
  const auto commands = Sim.Commands();
  std::vector<long> expected = {0};
  expected.insert(expected.end(), c.chunks.size(), 1);
  expected.push_back(4);
  EXPECT_EQ(SubCommands(commands), expected);
  std::vector<int> progress = {0};
  std::uint32_t done = 0;
  for (std::size_t i = 0; i < c.chunks.size(); ++i) {
    const auto& read = commands[1 + i];
    EXPECT_EQ(read.Data.size(), 8u);
    EXPECT_EQ(BE32At(read.Data, 4), c.chunks[i]);
    done += c.chunks[i];
    progress.push_back(static_cast<int>(std::lround(done * 100.0 / c.size)));
  }
  progress.push_back(0);
  EXPECT_EQ(Progress, progress);
  EXPECT_EQ(Link->FileSize, c.size);
}

TEST_P(FileChunks, WriteSendsEveryChunkIn1032DataBytes) {
  const ChunkCase c = GetParam();
  Sim.Phone().AddFile(kPat, Pattern(3000, 9));
  const Bytes content = Pattern(c.size, 3);
  const fs::path local = Dir / "funlight.pat";
  WriteLocal(local, content);
  int processed = 0;
  Link->ProcessMessages = [&] { ++processed; };
  Link->FileSize = 7;  // from an earlier read: a write opens with size 0

  ASSERT_TRUE(Link->WritePhoneFile(local.string(), kPat, true, 0xFF));

  EXPECT_EQ(Sim.Phone().File(kPat), content);
  const auto commands = Sim.Commands();
  std::vector<long> expected = {0};
  expected.insert(expected.end(), c.chunks.size(), 2);
  expected.push_back(4);
  EXPECT_EQ(SubCommands(commands), expected);
  std::size_t offset = 0;
  std::vector<int> progress = {0};
  for (std::size_t i = 0; i < c.chunks.size(); ++i) {
    const Bytes& data = commands[1 + i].Data;
    ASSERT_EQ(data.size(), 1032u);
    EXPECT_EQ(BE32At(data, 4), c.chunks[i]);
    const auto n = static_cast<long>(c.chunks[i]);
    EXPECT_EQ(Bytes(data.begin() + 8, data.begin() + 8 + n),
              Bytes(content.begin() + static_cast<long>(offset),
                    content.begin() + static_cast<long>(offset) + n));
    EXPECT_EQ(Bytes(data.begin() + 8 + n, data.end()), Bytes(1024 - c.chunks[i], 0));
    offset += c.chunks[i];
    progress.push_back(static_cast<int>(std::lround(offset * 100.0 / c.size)));
  }
  progress.push_back(0);
  EXPECT_EQ(Progress, progress);
  EXPECT_EQ(processed, static_cast<int>(c.chunks.size()));
  EXPECT_EQ(Link->FileSize, 0u);
}

INSTANTIATE_TEST_SUITE_P(Phone, FileChunks,
                         ::testing::Values(ChunkCase{2500, {1024, 1024, 452}},
                                           ChunkCase{1024, {1024}}, ChunkCase{1025, {1024, 1}},
                                           ChunkCase{1, {1}},
                                           ChunkCase{65536, std::vector<std::uint32_t>(64, 1024)}));

TEST_F(PhoneFilesTest, WriteGivesTheListedFileItsNewSize) {
  Sim.Phone().AddFile(kPat, Pattern(3000));
  Files.Add({"/c/other.pat", 10});
  ASSERT_TRUE(Link->FindPhoneFiles(P2KAPI::FunlightPattern1, false));
  const fs::path local = Dir / "funlight.pat";

  for (const std::size_t size : {1500u, 4000u}) {
    const Bytes content = Pattern(size, 5);
    WriteLocal(local, content);
    ASSERT_TRUE(Link->WritePhoneFile(local.string(), kPat, false, 0xFF));
    EXPECT_EQ(Files.Items(0).Size, 10u);
    EXPECT_EQ(Files.Items(1).Size, size);

    // A read with the listed size now gets the whole file, no more and no less.
    fs::remove(local);
    EXPECT_TRUE(Link->ReadPhoneFile(local.string(), kPat, Files.Items(1).Size));
    EXPECT_EQ(ReadLocal(local), content);
  }

  // A failed write leaves the listing alone.
  Sim.InjectIoFault({TRequestKind::Command, TIoFaultKind::Fail, 0, 1});
  EXPECT_FALSE(Link->WritePhoneFile(local.string(), kPat, false, 0xFF));
  EXPECT_EQ(Files.Items(1).Size, 4000u);
}

TEST_F(PhoneFilesTest, WriteOfAnEmptyFileSendsOneWriteOfNoBytes) {
  Sim.Phone().AddFile(kPat, Pattern(100));
  const fs::path local = Dir / "empty.pat";
  WriteLocal(local, {});
  int processed = 0;
  Link->ProcessMessages = [&] { ++processed; };

  ASSERT_TRUE(Link->WritePhoneFile(local.string(), kPat, false, 0xFF));

  EXPECT_EQ(SubCommands(Sim.Commands()), (std::vector<long>{0, 2, 4}));
  EXPECT_EQ(BE32At(Sim.Commands()[1].Data, 4), 0u);
  EXPECT_EQ(Sim.Phone().File(kPat), Bytes{});
  EXPECT_EQ(processed, 0);  // not asked to process messages
}

struct ShortCase {
  std::size_t phoneBytes;
  std::uint32_t claimedSize;
  std::vector<long> subCommands;
};

class ShortReads : public PhoneFilesTest, public ::testing::WithParamInterface<ShortCase> {};

TEST_P(ShortReads, KeepOnlyTheBytesThePhoneSentAndFail) {
  const ShortCase c = GetParam();
  const Bytes content = Pattern(c.phoneBytes);
  Sim.Phone().AddFile(kPat, content);
  const fs::path local = Dir / "funlight.pat";

  EXPECT_FALSE(Link->ReadPhoneFile(local.string(), kPat, c.claimedSize));

  EXPECT_EQ(ReadLocal(local), content);
  EXPECT_EQ(SubCommands(Sim.Commands()), c.subCommands);
  EXPECT_EQ(Link->LastFailure, P2KAPI::TFailure::BadAnswer);
}

INSTANTIATE_TEST_SUITE_P(Phone, ShortReads,
                         ::testing::Values(ShortCase{1000, 2500, {0, 1, 4}},
                                           ShortCase{1500, 2500, {0, 1, 1, 4}},
                                           ShortCase{2048, 2500, {0, 1, 1, 1, 4}},
                                           // An empty file gives an empty first answer.
                                           ShortCase{0, 100, {0, 1, 4}}));

TEST_F(PhoneFilesTest, FailedReadCommandClosesThePhoneFile) {
  Sim.Phone().AddFile(kPat, Pattern(3000));
  Sim.InjectIoFault({TRequestKind::Command, TIoFaultKind::Fail, 0, 2});
  EXPECT_FALSE(Link->ReadPhoneFile((Dir / "x.pat").string(), kPat, 3000));
  EXPECT_EQ(SubCommands(Sim.Commands()), (std::vector<long>{0, 1, 4}));
  EXPECT_EQ(ReadLocal(Dir / "x.pat"), Pattern(1024));
}

TEST_F(PhoneFilesTest, FailedWriteCommandClosesThePhoneFile) {
  Sim.Phone().AddFile(kPat, Pattern(10));
  WriteLocal(Dir / "x.pat", Pattern(3000));
  Sim.InjectIoFault({TRequestKind::Command, TIoFaultKind::Fail, 0, 2});
  EXPECT_FALSE(Link->WritePhoneFile((Dir / "x.pat").string(), kPat, false, 0xFF));
  EXPECT_EQ(SubCommands(Sim.Commands()), (std::vector<long>{0, 2, 4}));
}

TEST_F(PhoneFilesTest, LocalFileErrorsRaiseTheRunTimeTextAfterClosingThePhoneFile) {
  Sim.Phone().AddFile(kPat, Pattern(10));
  try {
    Link->ReadPhoneFile((Dir / "missing" / "x.pat").string(), kPat, 10);
    FAIL() << "no error raised";
  } catch (const EInOutError& e) {
    EXPECT_STREQ(e.what(), "File access denied");
  }
  EXPECT_EQ(SubCommands(Sim.Commands()), (std::vector<long>{0, 4}));

  Sim.ClearCommands();
  try {
    Link->WritePhoneFile((Dir / "absent.pat").string(), kPat, false, 0xFF);
    FAIL() << "no error raised";
  } catch (const EInOutError& e) {
    EXPECT_STREQ(e.what(), "File not found");
  }
  EXPECT_EQ(SubCommands(Sim.Commands()), (std::vector<long>{0, 4}));
  EXPECT_EQ(Sim.Phone().File(kPat), Pattern(10));
}

TEST_F(PhoneFilesTest, ReadNeverWritesThroughALinkInThePlaceOfTheLocalFile) {
  Sim.Phone().AddFile(kPat, Pattern(10));
  const fs::path victim = Dir / "victim.txt";
  WriteLocal(victim, Bytes{'k', 'e', 'e', 'p'});
  for (const fs::path& target : {victim, Dir / "absent.txt"}) {
    const fs::path link = Dir / "link.pat";
    fs::remove(link);
    fs::create_symlink(target, link);
    EXPECT_THROW(Link->ReadPhoneFile(link.string(), kPat, 10), EInOutError) << target;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_FALSE(fs::exists(Dir / "absent.txt"));
  }
  EXPECT_EQ(ReadLocal(victim), (Bytes{'k', 'e', 'e', 'p'}));

  // A fresh copy is the user's alone.
  ASSERT_TRUE(Link->ReadPhoneFile((Dir / "new.pat").string(), kPat, 10));
  EXPECT_EQ(fs::status(Dir / "new.pat").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
}

// --------------------------------------------------------------------------- the private folder

struct FolderCase {
  const char* name;
  std::function<void(const fs::path&)> prepare;  // makes what is found at the folder's name
  int ownerOffset;                               // added to the user's id as the owner wanted
  bool accepted;
};

void PrintTo(const FolderCase& c, std::ostream* out) {
  *out << c.name;
}

class PrivateFolder : public PhoneFilesTest, public ::testing::WithParamInterface<FolderCase> {};

TEST_P(PrivateFolder, IsTheUsersAloneOrRefused) {
  const FolderCase c = GetParam();
  const unsigned user = static_cast<unsigned>(::getuid());
  const fs::path folder = Dir / ("glowsmith-" + std::to_string(user + c.ownerOffset));
  c.prepare(folder);
  const std::string base = Dir.string() + "/";
  if (!c.accepted) {
    EXPECT_THROW(PhoneCopy::PrivateFolder(base, user + c.ownerOffset), PhoneCopy::EUnsafeFolder);
    return;
  }
  EXPECT_EQ(PhoneCopy::PrivateFolder(base), folder.string() + "/");
  EXPECT_TRUE(fs::is_directory(fs::symlink_status(folder)));
  EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all);
}

INSTANTIATE_TEST_SUITE_P(
    Phone, PrivateFolder,
    ::testing::Values(
        FolderCase{"Missing", [](const fs::path&) {}, 0, true},
        FolderCase{"Private",
                   [](const fs::path& f) {
                     fs::create_directory(f);
                     fs::permissions(f, fs::perms::owner_all);
                   },
                   0, true},
        FolderCase{"GroupReadable",
                   [](const fs::path& f) {
                     fs::create_directory(f);
                     fs::permissions(
                         f, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
                   },
                   0, false},
        FolderCase{"OthersMayEnter",
                   [](const fs::path& f) {
                     fs::create_directory(f);
                     fs::permissions(f, fs::perms::owner_all | fs::perms::others_exec);
                   },
                   0, false},
        FolderCase{"LinkToAPrivateFolder",
                   [](const fs::path& f) {
                     const fs::path real = f.parent_path() / "real";
                     fs::create_directory(real);
                     fs::permissions(real, fs::perms::owner_all);
                     fs::create_directory_symlink(real, f);
                   },
                   0, false},
        FolderCase{"AFile", [](const fs::path& f) { std::ofstream(f) << "x"; }, 0, false},
        // Another user's folder: the user's own folder stands in, asked for with another owner.
        FolderCase{"SomeoneElses",
                   [](const fs::path& f) {
                     fs::create_directory(f);
                     fs::permissions(f, fs::perms::owner_all);
                   },
                   1, false}),
    [](const ::testing::TestParamInfo<FolderCase>& info) { return std::string(info.param.name); });

// --------------------------------------------------------------------------- open and close

// An answer with the given status byte; without one, an answer without data.
TAnswerTweak StatusAnswer(std::optional<std::uint8_t> status) {
  return status ? TAnswerTweak{.Status = status} : TAnswerTweak{.Data = Bytes{}};
}

struct OpenCase {
  std::optional<std::uint8_t> status;  // unset: an answer without data
  bool ok;
  std::vector<long> subCommands;
};

class OpenStatus : public PhoneFilesTest, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(OpenStatus, DecidesWhetherTheFileIsOpen) {
  const OpenCase c = GetParam();
  Sim.Phone().AddFile(kPat, Pattern(10));
  TAnswerTweak t = StatusAnswer(c.status);
  t.Command = 0x4A;
  t.SubCommand = 0;
  Sim.QueueTweak(t);
  Link->FileSize = 99;

  EXPECT_EQ(Link->OpenPhoneFile(kPat, 1234, 0xFF), c.ok);

  EXPECT_EQ(Link->FileSize, c.ok ? 1234u : 0u);
  EXPECT_EQ(Link->LastFailure, c.ok ? P2KAPI::TFailure::None : P2KAPI::TFailure::Refused);
  const auto commands = Sim.Commands();
  EXPECT_EQ(SubCommands(commands), c.subCommands);
  EXPECT_EQ(commands.front().Data, commands.back().Data);  // a reopen repeats the open
}

INSTANTIATE_TEST_SUITE_P(Phone, OpenStatus,
                         ::testing::Values(OpenCase{0, true, {0, 4, 0}}, OpenCase{9, false, {0}},
                                           OpenCase{1, true, {0}}, OpenCase{0xFF, true, {0}},
                                           OpenCase{std::nullopt, true, {0}}));

TEST_F(PhoneFilesTest, FailedReopenLeavesNoFileSize) {
  Sim.Phone().AddFile(kPat, Pattern(10));
  Sim.QueueTweak({.Command = 0x4A, .SubCommand = 0, .Status = 0});
  Sim.InjectIoFault({TRequestKind::Command, TIoFaultKind::Fail, 0, 2});
  EXPECT_FALSE(Link->OpenPhoneFile(kPat, 50, 0xFF));
  EXPECT_EQ(Link->FileSize, 0u);
}

struct OpenDataCase {
  std::string name;
  std::uint8_t attribute;
  Bytes attributeBytes;
};

class OpenData : public PhoneFilesTest, public ::testing::WithParamInterface<OpenDataCase> {};

TEST_P(OpenData, Is262BytesWithAttributeAndName) {
  const OpenDataCase c = GetParam();
  Link->OpenPhoneFile(c.name, 0, c.attribute);
  const Bytes data = Sim.Commands().at(0).Data;
  ASSERT_EQ(data.size(), 262u);
  EXPECT_EQ(Bytes(data.begin(), data.begin() + 4), (Bytes{0, 0, 0, 0}));
  EXPECT_EQ(Bytes(data.begin() + 4, data.begin() + 8), c.attributeBytes);
  const std::size_t n = std::min<std::size_t>(c.name.size(), 254);
  EXPECT_EQ(std::string(data.begin() + 8, data.begin() + 8 + static_cast<long>(n)),
            c.name.substr(0, n));
  EXPECT_EQ(Bytes(data.begin() + 8 + static_cast<long>(n), data.end()), Bytes(254 - n, 0));
}

INSTANTIATE_TEST_SUITE_P(
    Phone, OpenData,
    ::testing::Values(OpenDataCase{kPat, 0xFF, {0xFF, 0xFF, 0xFF, 0xFF}},
                      OpenDataCase{kPat, 0x20, {0, 0, 0, 0x20}},
                      OpenDataCase{kPat, 0x00, {0, 0, 0, 0}},
                      OpenDataCase{"/a/" + std::string(300, 'n'), 0xFF, {0xFF, 0xFF, 0xFF, 0xFF}}));

struct CloseCase {
  std::optional<std::uint8_t> status;
  bool ok;
};

class CloseStatus : public PhoneFilesTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(CloseStatus, FailsOnlyOnStatusOne) {
  const CloseCase c = GetParam();
  Sim.QueueTweak(StatusAnswer(c.status));
  EXPECT_EQ(Link->ClosePhoneFile(), c.ok);
  EXPECT_EQ(Sim.Commands().at(0).Data, (Bytes{0, 0, 0, 4}));
}

INSTANTIATE_TEST_SUITE_P(Phone, CloseStatus,
                         ::testing::Values(CloseCase{0, true}, CloseCase{1, false},
                                           CloseCase{2, true}, CloseCase{9, true},
                                           CloseCase{std::nullopt, true}));

// --------------------------------------------------------------------------- file search

TEST_F(PhoneFilesTest, SearchPatternsAreTheTwoFunlightNames) {
  const Bytes first = {0x00, 0x2F, 0x00, 0x61, 0x00, 0x2F, 0xFF, 0xFE, 0x00, 0x66, 0x00, 0x75,
                       0x00, 0x6E, 0x00, 0x6C, 0x00, 0x69, 0x00, 0x67, 0x00, 0x68, 0x00, 0x74,
                       0x00, 0x2E, 0x00, 0x70, 0x00, 0x61, 0x00, 0x74, 0x00, 0x00};
  Bytes second = first;
  second[3] = 0x63;
  EXPECT_EQ(Bytes(P2KAPI::FunlightPattern1.begin(), P2KAPI::FunlightPattern1.end()), first);
  EXPECT_EQ(Bytes(P2KAPI::FunlightPattern2.begin(), P2KAPI::FunlightPattern2.end()), second);
}

TEST_F(PhoneFilesTest, SevenFilesAreListedInThreeAnswers) {
  for (int i = 1; i <= 7; ++i) {
    Sim.Phone().AddFile("/a/f" + std::to_string(i) + ".pat", Pattern(100u * i));
  }
  Sim.Phone().AddFile("/a/other.txt", Pattern(5));
  Sim.Phone().AddFile("/c/f8.pat", Pattern(5));
  Files.Add({"stale", 1});
  const std::string pattern = P2KAPI::MakeSearchPattern("/a/|*.pat");

  ASSERT_TRUE(Link->FindPhoneFiles(pattern, true));

  ASSERT_EQ(Files.Count(), 7);
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(Files.Items(i).Name, "/a/f" + std::to_string(i + 1) + ".pat");
    EXPECT_EQ(Files.Items(i).Size, 100u * (i + 1));
  }
  const auto commands = Sim.Commands();
  ASSERT_EQ(commands.size(), 4u);
  Bytes search = {0, 0, 0, 7};
  search.insert(search.end(), pattern.begin(), pattern.end());
  EXPECT_EQ(commands[0].Data, search);
  for (int i = 1; i < 4; ++i) EXPECT_EQ(commands[i].Data, (Bytes{0, 0, 0, 8, 3}));
  EXPECT_EQ(Progress, (std::vector<int>{43, 86, 100, 0}));
}

struct PatternCase {
  std::string stored;
  bool firstFinds;
  bool secondFinds;
};

class FunlightSearch : public PhoneFilesTest, public ::testing::WithParamInterface<PatternCase> {};

TEST_P(FunlightSearch, FindsTheFileOnItsDrive) {
  const PatternCase c = GetParam();
  Sim.Phone().AddFile(c.stored, Pattern(321));
  EXPECT_EQ(Link->FindPhoneFiles(P2KAPI::FunlightPattern1, true), c.firstFinds);
  EXPECT_EQ(Link->FindPhoneFiles(P2KAPI::FunlightPattern2, true), c.secondFinds);
  if (c.secondFinds) {
    ASSERT_EQ(Files.Count(), 1);
    EXPECT_EQ(Files.Items(0).Name, c.stored);
    EXPECT_EQ(Files.Items(0).Size, 321u);
  }
}

INSTANTIATE_TEST_SUITE_P(Phone, FunlightSearch,
                         ::testing::Values(PatternCase{"/a/funlight.pat", true, false},
                                           PatternCase{"/c/funlight.pat", false, true},
                                           PatternCase{"/c/FunLight.pat", false, true},
                                           PatternCase{"/c/funlight.pat.bak", false, false},
                                           PatternCase{"/a/sub/funlight.pat", false, false}));

struct EmptySearchCase {
  bool clear;
  int left;
};

class EmptySearch : public PhoneFilesTest, public ::testing::WithParamInterface<EmptySearchCase> {};

TEST_P(EmptySearch, ReturnsFalseWithoutListing) {
  const EmptySearchCase c = GetParam();
  Files.Add({"/a/funlight.pat", 10});
  EXPECT_FALSE(Link->FindPhoneFiles(P2KAPI::FunlightPattern1, c.clear));
  EXPECT_EQ(Files.Count(), c.left);
  EXPECT_EQ(Sim.Commands().size(), 1u);  // no search-next
}

INSTANTIATE_TEST_SUITE_P(Phone, EmptySearch,
                         ::testing::Values(EmptySearchCase{true, 0}, EmptySearchCase{false, 1}));

struct SearchOutcomeCase {
  bool fileThere;
  int failingCommand;  // the search's command that fails: 0 search, 1 first search-next; -1 none
  P2KAPI::TSearchResult result;
};

class SearchOutcome : public PhoneFilesTest,
                      public ::testing::WithParamInterface<SearchOutcomeCase> {};

TEST_P(SearchOutcome, TellsAFailedSearchFromAnEmptyOne) {
  const SearchOutcomeCase c = GetParam();
  if (c.fileThere) Sim.Phone().AddFile(kPat, Pattern(10));
  if (c.failingCommand >= 0) {
    Sim.InjectIoFault({TRequestKind::Command, TIoFaultKind::Fail, 0, c.failingCommand});
  }
  EXPECT_EQ(Link->SearchPhoneFiles(P2KAPI::FunlightPattern1, true), c.result);
  EXPECT_EQ(Link->FindPhoneFiles(P2KAPI::FunlightPattern1, true), c.fileThere);
}

INSTANTIATE_TEST_SUITE_P(
    Phone, SearchOutcome,
    ::testing::Values(SearchOutcomeCase{true, -1, P2KAPI::TSearchResult::Found},
                      SearchOutcomeCase{false, -1, P2KAPI::TSearchResult::NotFound},
                      SearchOutcomeCase{false, 0, P2KAPI::TSearchResult::Failed},
                      SearchOutcomeCase{true, 0, P2KAPI::TSearchResult::Failed},
                      SearchOutcomeCase{true, 1, P2KAPI::TSearchResult::Failed}));

struct ListingCase {
  int claimed;
  std::vector<std::string> names;
  std::vector<std::string> listed;
  std::size_t searchNexts;
};

class ListingAnswers : public PhoneFilesTest, public ::testing::WithParamInterface<ListingCase> {};

TEST_P(ListingAnswers, YieldTrimmedNamesFromTheEntriesHeld) {
  const ListingCase c = GetParam();
  Sim.Phone().AddFile(kPat, Pattern(1));
  // The search reports as many files as the listing claims.
  Sim.QueueTweak({.SubCommand = 7, .Data = Bytes{0, static_cast<std::uint8_t>(c.claimed), 0, 0}});
  Sim.QueueTweak({.SubCommand = 8, .Data = Listing(c.claimed, c.names)});

  EXPECT_EQ(Link->FindPhoneFiles(P2KAPI::FunlightPattern1, true), !c.listed.empty());

  std::vector<std::string> listed;
  for (int i = 0; i < Files.Count(); ++i) {
    listed.push_back(Files.Items(i).Name);
    EXPECT_EQ(Files.Items(i).Size, 77u);
  }
  EXPECT_EQ(listed, c.listed);
  EXPECT_EQ(Sim.Commands().size(), 1 + c.searchNexts);
}

const std::string kLong259 = "/a/" + std::string(256, 'L');

INSTANTIATE_TEST_SUITE_P(
    Phone, ListingAnswers,
    ::testing::Values(
        ListingCase{1, {"/a/funlight.pat"}, {"/a/funlight.pat"}, 1},
        ListingCase{1, {"  /a/funlight.pat \t"}, {"/a/funlight.pat"}, 1},
        // Only the first 259 bytes of the name field are read, then 255 are kept.
        ListingCase{1, {kLong259 + "XYZ"}, {kLong259.substr(0, 255)}, 1},
        // A claimed count beyond what the answer holds reads only the entries it holds.
        ListingCase{5, {"/a/one.pat"}, {"/a/one.pat"}, 1},
        ListingCase{255, {"/a/1", "/a/2", "/a/3"}, {"/a/1", "/a/2", "/a/3"}, 1},
        ListingCase{2, {}, {}, 1}));

// --------------------------------------------------------------------------- seems and restart

struct SeemReadCase {
  std::uint16_t count;
  std::uint16_t size;
  bool ok;
  std::uint16_t sizeOut;
  std::string error;
  P2KAPI::TFailure failure;
};

class SeemRead : public PhoneFilesTest, public ::testing::WithParamInterface<SeemReadCase> {};

TEST_P(SeemRead, DeliversTheBytesOrTheNeededSize) {
  const SeemReadCase c = GetParam();
  Bytes record(128, 0);
  record[99] = 0x08;
  record[100] = 0x44;
  Sim.Phone().SetSeem(0x32, 1, record);
  Link->LastError = "earlier";
  Bytes buffer(4, 0xEE);
  std::uint16_t size = c.size;

  EXPECT_EQ(Link->ReadSeem(0x32, 1, 99, c.count, buffer.data(), size), c.ok);

  EXPECT_EQ(size, c.sizeOut);
  EXPECT_EQ(Link->LastError, c.error);
  EXPECT_EQ(Link->LastFailure, c.failure);
  EXPECT_EQ(Sim.Commands().at(0).Command, P2KAPI::RDELEM);
  EXPECT_EQ(Sim.Commands().at(0).Data,
            (Bytes{0x00, 0x32, 0x00, 0x01, 0x00, 0x63, 0x00, static_cast<std::uint8_t>(c.count)}));
  if (c.ok) {
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + c.count),
              Bytes(record.begin() + 99, record.begin() + 99 + c.count));
  }
  EXPECT_EQ(buffer.back(), 0xEE);
}

INSTANTIATE_TEST_SUITE_P(
    Phone, SeemRead,
    ::testing::Values(SeemReadCase{1, 1, true, 1, "earlier", P2KAPI::TFailure::None},
                      SeemReadCase{2, 3, true, 2, "earlier", P2KAPI::TFailure::None},
                      SeemReadCase{2, 1, false, 2, "Buffer too small", P2KAPI::TFailure::BadAnswer},
                      SeemReadCase{40, 3, false, 3, "RDELEM answer: no seem or access denided",
                                   P2KAPI::TFailure::Refused}));

TEST_F(PhoneFilesTest, SeemReadWithoutStatusByteFails) {
  Sim.Phone().SetSeem(0x32, 1, Bytes(128, 0));
  Sim.QueueTweak({.Data = Bytes{}});
  std::uint8_t byte = 0x5A;
  std::uint16_t size = 1;
  EXPECT_FALSE(Link->ReadSeem(0x32, 1, 99, 1, &byte, size));
  EXPECT_EQ(byte, 0x5A);
  EXPECT_EQ(Link->LastError, "RDELEM answer: no seem or access denided");
  EXPECT_EQ(Link->LastFailure, P2KAPI::TFailure::BadAnswer);
}

TEST_F(PhoneFilesTest, SeemWriteSendsTheBytesAndKeepsTheLastError) {
  Sim.Phone().SetSeem(0x32, 1, Bytes(128, 0));
  const std::uint8_t value = 0x0C;
  ASSERT_TRUE(Link->WriteSeem(0x32, 1, 89, 1, &value));
  EXPECT_EQ(Sim.Commands().at(0).Command, P2KAPI::WRELEM);
  EXPECT_EQ(Sim.Commands().at(0).Data,
            (Bytes{0x00, 0x32, 0x00, 0x01, 0x00, 0x59, 0x00, 0x01, 0x0C}));
  EXPECT_EQ(Sim.Phone().Seem(0x32, 1)->at(89), 0x0C);
  Sim.InjectIoFault({TRequestKind::Command, TIoFaultKind::Fail});
  EXPECT_FALSE(Link->WriteSeem(0x32, 1, 89, 1, &value));

  EXPECT_FALSE(Link->WriteSeem(0x33, 1, 89, 1, &value));
  EXPECT_EQ(Link->LastError, "No seem or access denided");
  EXPECT_EQ(Link->LastFailure, P2KAPI::TFailure::Refused);
  EXPECT_TRUE(Link->WriteSeem(0x32, 1, 90, 1, &value));
  EXPECT_EQ(Link->LastError, "No seem or access denided");

  const Bytes tooMany(1025, 1);
  EXPECT_FALSE(Link->WriteSeem(0x32, 1, 0, 1025, tooMany.data()));
  EXPECT_EQ(Sim.Commands().size(), 3u);
}

TEST_F(PhoneFilesTest, RestartIsSentOnlyWhenConnected) {
  Link->Connected = false;
  EXPECT_TRUE(Link->RestartPhone());
  EXPECT_TRUE(Sim.Commands().empty());

  Link->Connected = true;
  EXPECT_TRUE(Link->RestartPhone());
  const auto commands = Sim.Commands();
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands[0].Command, 0x22);
  EXPECT_TRUE(commands[0].Data.empty());
  EXPECT_EQ(Sim.Phone().Restarts(), 1);
  EXPECT_FALSE(Sim.Phone().Plugged());
  Sim.Advance(2000);
  EXPECT_TRUE(Sim.Phone().Plugged());
  EXPECT_EQ(Sim.Phone().Mode(), TPhoneMode::Modem);
}
