// Replacing a file: by a renamed new file where that keeps all the old one had, in place elsewhere;
// a failure part way leaves the old file and no temporaries.

#include <dlfcn.h>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <set>

#include "DocSupport.h"
#include "SafeReplace.h"

using namespace DocSupport;

static bool FailClose = false;

// While FailClose is set every close reports EIO (and closes all the same), as a file system does
// that learns only then that a write was lost.
extern "C" int close(int Fd) {
  static const auto Real = reinterpret_cast<int (*)(int)>(::dlsym(RTLD_NEXT, "close"));
  const int Result = Real(Fd);
  return FailClose ? (errno = EIO, -1) : Result;
}

constexpr uid_t Nobody = 65534;
constexpr gid_t SecondGroup = 100;  // as root: a further group given to the saving user

const bool Root = ::geteuid() == 0;
const bool UnnamedByDefault = SafeReplace::UnnamedTemporaries;  // before any test changes it

static std::set<std::string> Entries(const fs::path& Folder) {
  std::set<std::string> Names;
  for (const auto& Entry : fs::directory_iterator(Folder)) Names.insert(Entry.path().filename());
  return Names;
}

class SafeReplaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::permissions(Dir.Path(), fs::perms::owner_all | fs::perms::others_exec);
    if (Root && Save({}) == "cannot become nobody") GTEST_SKIP() << "root cannot become nobody";
  }
  void TearDown() override { SafeReplace::UnnamedTemporaries = UnnamedByDefault; }

  // The error text of replacing Target with New, or "", from a child whose descriptor 0 is free, as
  // for a program started without input; as root a "nobody" child: root passes every check.
  std::string Save(const fs::path& Target) {
    int Pipe[2];
    if (::pipe(Pipe) != 0) return "no pipe";
    if (::fork() == 0) {
      std::string Text = "cannot become nobody";
      const gid_t Groups[] = {SecondGroup};
      if (!Root ||
          (::setgroups(1, Groups) == 0 && ::setgid(Nobody) == 0 && ::setuid(Nobody) == 0)) {
        ::close(0);
        Text = Target.empty() ? "" : ErrorOf([&] { SafeReplace::Replace(Target.string(), New); });
        if (::fcntl(0, F_GETFD) != -1) Text += " (descriptor 0 left open)";
      }
      ::_exit(::write(Pipe[1], Text.data(), Text.size()) == ssize_t(Text.size()) ? 0 : 1);
    }
    ::close(Pipe[1]);
    std::string Text(256, 0);
    Text.resize(std::max<ssize_t>(0, ::read(Pipe[0], Text.data(), Text.size())));
    ::close(Pipe[0]);
    int Status = 0;
    ::wait(&Status);
    EXPECT_EQ(Status, 0) << "the saving child failed";
    return Text;
  }

  TTempDir Dir;
  Bytes New = Bytes(8192, 0x3C);
};

TEST_F(SafeReplaceTest, ASaveKeepsAllTheFileHadOrFailsLeavingIt) {
  enum TLink { None, Hard, Symbolic };
  enum TFault { Fine, ReadOnlyFile, FullDisk, FailedClose };
  // Link: a second name or a symbolic link to the file; Writable: the folder; OthersFile: another
  // user's, group-writable; Group: own, a further one of the user's, one the user is not in; Named:
  // the temporary from the start; Shorter: the old file; the error; SameFile: its inode kept.
  // clang-format off
  const std::tuple<const char*, TLink, bool, bool, int, bool, bool, TFault, const char*, bool> Cases[] = {
      {"own file", None, true, false, 0, false, false, Fine, "", false},
      {"own file, named temporary", None, true, false, 0, true, true, Fine, "", false},
      {"own file of a further group", None, true, false, 1, false, false, Fine, "", false},
      {"own file of a group the user is not in", None, true, false, 2, false, true, Fine, "", true},
      {"hard-linked file", Hard, true, false, 0, false, true, Fine, "", true},
      {"symbolic link", Symbolic, true, false, 0, false, false, Fine, "", false},
      {"read-only folder", None, false, false, 0, false, true, Fine, "", true},
      {"read-only folder, named temporary", None, false, false, 0, true, false, Fine, "", true},
      {"another user's file", None, true, true, 0, false, false, Fine, "", true},
      {"read-only file", None, true, false, 0, false, false, ReadOnlyFile, "File access denied", true},
      {"full disk", None, true, false, 0, false, false, FullDisk, "Disk full", true},
      {"full disk, named temporary", None, true, false, 0, true, true, FullDisk, "Disk full", true},
      {"full disk, in place", Hard, true, false, 0, false, true, FullDisk, "Disk full", true},
      {"failed close", None, true, false, 0, false, false, FailedClose, "File I/O error", true},
      {"failed close, in place", Hard, true, false, 0, false, false, FailedClose, "File I/O error", true},
  };
  // clang-format on
  using P = fs::perms;
  const gid_t Groups[] = {Nobody, SecondGroup, 0};
  std::signal(SIGXFSZ, SIG_IGN);  // a write past the size limit fails with EFBIG instead
  rlimit Saved{};
  ::getrlimit(RLIMIT_FSIZE, &Saved);
  const rlimit Small{4096, Saved.rlim_max};
  for (const auto& [Name, Link, Writable, OthersFile, Group, Named, Shorter, Fault, Error,
                    SameFile] : Cases) {
    if (!Root && (OthersFile || Group != 0)) continue;  // only root can give files away
    SCOPED_TRACE(Name);
    const fs::path Folder = Dir / Name, Real = Folder / "funlight.pat";
    const fs::path Target = Link == Symbolic ? Folder / "l" : Real;
    fs::create_directory(Folder);
    WriteBytes(Real, Bytes(Shorter ? 10 : 9000, 0x5A));
    const Bytes Old = ReadBytes(Real);
    if (Link == Hard) fs::create_hard_link(Real, Folder / "l");
    if (Link == Symbolic) fs::create_symlink("funlight.pat", Target);
    ASSERT_TRUE(!Root || (::chown(Folder.c_str(), Nobody, Nobody) == 0 &&
                          ::chown(Real.c_str(), OthersFile ? 0 : Nobody, Groups[Group]) == 0));
    fs::permissions(Real, P::owner_read | P::group_read |
                              (Fault == ReadOnlyFile ? P::none : P::owner_write) |
                              (OthersFile ? P::group_write : P::none));
    fs::permissions(Folder, Writable ? P::owner_all : P::owner_read | P::owner_exec);
    const auto Names = Entries(Folder);
    struct stat Before = {}, After = {};
    ASSERT_EQ(::stat(Real.c_str(), &Before), 0);
    SafeReplace::UnnamedTemporaries = !Named;
    ASSERT_EQ(Fault == FullDisk ? ::setrlimit(RLIMIT_FSIZE, &Small) : 0, 0);
    FailClose = Fault == FailedClose;
    const std::string Text = Save(Target);
    FailClose = false;
    ::setrlimit(RLIMIT_FSIZE, &Saved);
    EXPECT_EQ(Text, Error);
    ASSERT_EQ(::stat(Real.c_str(), &After), 0);
    // Overwritten in place, a file whose close fails has the new bytes, which may not last.
    EXPECT_EQ(ReadBytes(Target),
              Text.empty() || (Fault == FailedClose && Link == Hard) ? New : Old);
    EXPECT_EQ(ReadBytes(Folder / "l"), Link == None ? Bytes{} : ReadBytes(Real));
    EXPECT_EQ(std::tuple(After.st_ino == Before.st_ino, fs::is_symlink(Target), Entries(Folder)),
              std::tuple(SameFile, Link == Symbolic, Names));
    EXPECT_EQ(std::tie(After.st_mode, After.st_uid, After.st_gid, After.st_nlink),
              std::tie(Before.st_mode, Before.st_uid, Before.st_gid, Before.st_nlink));
  }
}

TEST_F(SafeReplaceTest, ASaveRemovesTheTemporariesThatSavesCutShortLeft) {
  // clang-format off
  std::set<std::string> Kept = {"funlight.pat", "funlight.pat~", ".funlight.pat.swp",
      ".funlight.pat.0123456789ab", ".funlight.pat.0123456789abc~", ".funlight.pat.0123456789AB~",
      ".other.pat.0123456789ab~"};
  // clang-format on
  for (const std::string& Name : Kept) WriteBytes(Dir / Name, {1});
  // Saves killed part way, at the size limit: by default nothing is left behind (the temporary
  // is unnamed); a named temporary stays until the next save.
  for (const bool Named : {false, true}) {
    SafeReplace::UnnamedTemporaries = UnnamedByDefault && !Named;
    if (::fork() == 0) {
      const rlimit Small{4096, 4096};
      std::signal(SIGXFSZ, SIG_DFL), ::setrlimit(RLIMIT_FSIZE, &Small);
      SafeReplace::Replace((Dir / "funlight.pat").string(), New), ::_exit(0);
    }
    int Status = 0;
    ::wait(&Status);
    // A file system without unnamed files gets a named temporary all the same.
    const int Probe = ::open(Dir.Path().c_str(), O_TMPFILE | O_WRONLY, 0600);
    const bool Unnamed = Probe >= 0 && ::close(Probe) == 0;
    EXPECT_EQ(std::pair(WTERMSIG(Status), Entries(Dir.Path()).size()),
              std::pair(SIGXFSZ, Kept.size() + (Named || !Unnamed)));
  }
  fs::create_directory(Dir / *Kept.insert(".funlight.pat.aaaaaaaaaaaa~").first);
  fs::create_directory(Dir / *Kept.insert("ro").first);
  fs::create_symlink("funlight.pat", Dir / *Kept.insert(".funlight.pat.cccccccccccc~").first);
  // One that another save is still writing.
  const int Writing = ::open((Dir / *Kept.insert(".funlight.pat.bbbbbbbbbbbb~").first).c_str(),
                             O_RDWR | O_CREAT, 0600);
  ASSERT_EQ(::flock(Writing, LOCK_EX), 0);
  SafeReplace::Replace((Dir / "funlight.pat").string(), {7});
  ::close(Writing);
  EXPECT_EQ(Entries(Dir.Path()), Kept);
  EXPECT_EQ(ReadBytes(Dir / "funlight.pat"), Bytes{7});
  // A folder in place of the file is not replaced; nor is a new file made where the user may not.
  EXPECT_EQ(Save(Dir / ".funlight.pat.aaaaaaaaaaaa~"), "File access denied");
  fs::permissions(Dir / "ro",
                  fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_exec);
  EXPECT_EQ(Save(Dir / "ro" / "new.pat"), "File access denied");
}
