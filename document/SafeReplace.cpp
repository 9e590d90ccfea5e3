#include "SafeReplace.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>
#ifdef _WIN32
#include <io.h>
#else
#include <sys/file.h>
#include <unistd.h>
#endif

namespace SafeReplace {

bool UnnamedTemporaries = true;

namespace {

const char* const AccessDenied = "File access denied";

#ifdef _WIN32
using TStat = struct _stat64;
int StatPath(const std::string& Path, TStat& St) {
  return ::_stat64(Path.c_str(), &St);
}
int StatFile(int Fd, TStat& St) {
  return ::_fstat64(Fd, &St);
}
bool IsRegular(const TStat& St) {
  return (St.st_mode & _S_IFMT) == _S_IFREG;
}
// Windows knows only a read-only attribute; a new file is always writable.
int OpenFile(const std::string& Path, int Flags, int = 0) {
  return ::_open(Path.c_str(), Flags | _O_BINARY, _S_IREAD | _S_IWRITE);
}
constexpr int ReadOnly = _O_RDONLY;
constexpr int WriteOnly = _O_WRONLY;
constexpr int CreateNew = _O_WRONLY | _O_CREAT | _O_EXCL;
long ReadSome(int Fd, uint8_t* p, size_t n) {
  return ::_read(Fd, p, static_cast<unsigned>(std::min<size_t>(n, 1u << 30)));
}
long WriteSome(int Fd, const uint8_t* p, size_t n) {
  return ::_write(Fd, p, static_cast<unsigned>(std::min<size_t>(n, 1u << 30)));
}
int CloseFile(int Fd) {
  return ::_close(Fd);
}
#else
using TStat = struct stat;
int StatPath(const std::string& Path, TStat& St) {
  return ::stat(Path.c_str(), &St);
}
int StatFile(int Fd, TStat& St) {
  return ::fstat(Fd, &St);
}
bool IsRegular(const TStat& St) {
  return S_ISREG(St.st_mode);
}
int OpenFile(const std::string& Path, int Flags, mode_t Mode = 0666) {
  return ::open(Path.c_str(), Flags | O_CLOEXEC | O_NOCTTY, Mode);
}
// Non-blocking so that a FIFO put in place of the file cannot hold the open.
constexpr int ReadOnly = O_RDONLY | O_NONBLOCK;
constexpr int WriteOnly = O_WRONLY | O_NONBLOCK;
constexpr int CreateNew = O_WRONLY | O_CREAT | O_EXCL;
long ReadSome(int Fd, uint8_t* p, size_t n) {
  return ::read(Fd, p, n);
}
long WriteSome(int Fd, const uint8_t* p, size_t n) {
  return ::write(Fd, p, n);
}
int CloseFile(int Fd) {
  return ::close(Fd);
}
#endif

// An open file descriptor, closed when it goes out of scope.
class TFile {
 public:
  explicit TFile(int Fd) : Fd_(Fd) {}
  ~TFile() {
    if (Fd_ >= 0) CloseFile(Fd_);
  }
  TFile(const TFile&) = delete;
  TFile& operator=(const TFile&) = delete;
  int Fd() const { return Fd_; }
  int Release() {
    const int Fd = Fd_;
    Fd_ = -1;
    return Fd;
  }
  // Closes now, so that a failure to close can be reported; the errno value, or 0.
  int Close() {
    if (Fd_ < 0) return 0;
    const int Result = CloseFile(Fd_);
    Fd_ = -1;
    return Result == 0 ? 0 : errno;
  }

 private:
  int Fd_;
};

[[noreturn]] void FailWith(int ErrorNumber) {
  throw EInOutError(InOutErrorText(ErrorNumber));
}

namespace fs = std::filesystem;

#ifdef _WIN32
int SyncFile(int Fd) {
  return ::_commit(Fd);
}
int ResizeFile(int Fd, size_t Size) {
  return ::_chsize_s(Fd, static_cast<__int64>(Size)) == 0 ? 0 : -1;
}
#else
int SyncFile(int Fd) {
  return ::fsync(Fd);
}
int ResizeFile(int Fd, size_t Size) {
  return ::ftruncate(Fd, static_cast<off_t>(Size));
}
// A save keeps its temporary locked while it writes it; a save that died has let go.
void Hold(int Fd) {
  while (::flock(Fd, LOCK_EX) != 0 && errno == EINTR) {
  }
}
#endif

// Writes all of Data at the file position; the errno value, or 0.
int WriteAll(int Fd, const std::vector<uint8_t>& Data) {
  const uint8_t* p = Data.data();
  size_t Left = Data.size();
  while (Left > 0) {
    const long n = WriteSome(Fd, p, Left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return ENOSPC;
    p += n;
    Left -= static_cast<size_t>(n);
  }
  return 0;
}

fs::path FolderOf(const fs::path& Target) {
  return Target.has_parent_path() ? Target.parent_path() : fs::path(".");
}

// Temporaries are named ".<file name>.<12 hex digits>~" beside the file they replace.
std::string TempName(const fs::path& Target) {
  static std::mt19937_64 Random(
      std::random_device{}() ^
      static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
  char Suffix[24];
  std::snprintf(Suffix, sizeof Suffix, ".%012llx~",
                static_cast<unsigned long long>(Random() & 0xFFFFFFFFFFFFull));
  std::string Name(1, '.');
  Name += Target.filename().string();
  Name += Suffix;
  return (FolderOf(Target) / Name).string();
}

bool IsTempOf(const std::string& Entry, const std::string& Name) {
  const std::string Prefix = "." + Name + ".";
  return Entry.size() == Prefix.size() + 13 && Entry.compare(0, Prefix.size(), Prefix) == 0 &&
         Entry.back() == '~' &&
         std::all_of(Entry.begin() + Prefix.size(), Entry.end() - 1,
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// Removes the temporaries that saves of Target cut short (killed, power lost) left behind.
void RemoveAbandonedTemps(const fs::path& Target) {
  const std::string Name = Target.filename().string();
  std::error_code Error;
  for (fs::directory_iterator It(FolderOf(Target), Error), End; !Error && It != End;
       It.increment(Error)) {
    const fs::path Temp = It->path();
    if (!IsTempOf(Temp.filename().string(), Name)) continue;
#ifdef _WIN32
    // One that a save is still writing is open, and Windows does not remove an open file.
    std::error_code Ignored;
    fs::remove(Temp, Ignored);
#else
    TFile File(OpenFile(Temp.string(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK));
    TStat Held{}, Now{};
    if (File.Fd() >= 0 && StatFile(File.Fd(), Held) == 0 && IsRegular(Held) &&
        Held.st_uid == ::geteuid() && ::flock(File.Fd(), LOCK_EX | LOCK_NB) == 0 &&
        ::lstat(Temp.c_str(), &Now) == 0 && Now.st_ino == Held.st_ino && Now.st_dev == Held.st_dev)
      ::unlink(Temp.c_str());
#endif
  }
}

// A new empty temporary beside Target, held while it is written. Name is left empty when the file
// has none yet; -1 with errno set when none can be made.
int OpenTemp(const fs::path& Target, int Mode, std::string& Name) {
  Name.clear();
#ifdef O_TMPFILE
  // A file without a name cannot outlive a save that dies; it is named just before the rename.
  static const bool CanName = ::access("/proc/self/fd", X_OK) == 0;
  if (CanName && UnnamedTemporaries) {
    const int Fd = ::open(FolderOf(Target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, Mode);
    if (Fd >= 0) {
      Hold(Fd);
      return Fd;
    }
    if (errno != EOPNOTSUPP && errno != EISDIR) return -1;
  }
#endif
  for (int Attempt = 0; Attempt < 100; ++Attempt) {
    Name = TempName(Target);
    const int Fd = OpenFile(Name, CreateNew, Mode);
    if (Fd < 0) {
      if (errno == EEXIST) continue;
      Name.clear();
      return -1;
    }
#ifndef _WIN32
    Hold(Fd);
    // Another save may have taken it for abandoned in the instant before it was held.
    TStat St{};
    if (StatFile(Fd, St) == 0 && St.st_nlink == 0) {
      CloseFile(Fd);
      continue;
    }
#endif
    return Fd;
  }
  Name.clear();
  errno = EEXIST;
  return -1;
}

#ifdef O_TMPFILE
// Gives the unnamed temporary Fd a temporary name beside Target; the errno value, or 0.
int NameTemp(int Fd, const fs::path& Target, std::string& Name) {
  const std::string Self = "/proc/self/fd/" + std::to_string(Fd);
  for (int Attempt = 0; Attempt < 100; ++Attempt) {
    Name = TempName(Target);
    if (::linkat(AT_FDCWD, Self.c_str(), AT_FDCWD, Name.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
    if (errno != EEXIST) break;
  }
  const int Error = errno;
  Name.clear();
  return Error;
}
#endif

int RenameFile(const std::string& From, const fs::path& To) {
#ifdef _WIN32
  std::error_code Error;
  fs::rename(From, To, Error);
  if (!Error) return 0;
  const std::error_condition Condition = Error.default_error_condition();
  return Condition.category() == std::generic_category() ? Condition.value() : EIO;
#else
  return ::rename(From.c_str(), To.c_str()) == 0 ? 0 : errno;
#endif
}

// Makes the rename of a file in it last through a power loss.
void SyncFolder([[maybe_unused]] const fs::path& Target) {
#ifndef _WIN32
  TFile Folder(OpenFile(FolderOf(Target).string(), O_RDONLY | O_DIRECTORY));
  if (Folder.Fd() >= 0) ::fsync(Folder.Fd());
#endif
}

// A rename replaces the file with another one: the same to the user only when the old file has
// one name and belongs to this user. Elsewhere the file is overwritten in place.
bool MayRename([[maybe_unused]] const TStat& Old) {
#ifdef _WIN32
  return true;
#else
  return Old.st_nlink == 1 && Old.st_uid == ::geteuid();
#endif
}

// Writes Data to a temporary beside Target and renames it over Target once it is complete and on
// disk, so a failed save leaves the old file (Old, or none when null) as it was. False, having
// changed nothing, when no new file can take the old one's place with its group.
bool ReplaceAtomically(const fs::path& Target, const std::vector<uint8_t>& Data, const TStat* Old) {
  std::string Name;
  // A temporary that replaces a file stays private until it has the old one's mode.
  TFile Temp(OpenTemp(Target, Old ? 0600 : 0666, Name));
  if (Temp.Fd() < 0) {
    // A folder that the user may not write: the file itself may still be.
    if (Old && (errno == EACCES || errno == EPERM)) return false;
    FailWith(errno);
  }
  const auto Discard = [&] {
    Temp.Close();
    std::error_code Ignored;
    if (!Name.empty()) fs::remove(Name, Ignored);
  };
#ifndef _WIN32
  // The new file must have the old one's group too; where it cannot, the old file is overwritten.
  TStat St{};
  if (Old && (StatFile(Temp.Fd(), St) != 0 ||
              (St.st_gid != Old->st_gid && ::fchown(Temp.Fd(), -1, Old->st_gid) != 0))) {
    Discard();
    return false;
  }
#endif
  int Error = WriteAll(Temp.Fd(), Data);
#ifndef _WIN32
  if (Error == 0 && Old && ::fchmod(Temp.Fd(), Old->st_mode & 07777) != 0) Error = errno;
#endif
  if (Error == 0 && SyncFile(Temp.Fd()) != 0) Error = errno;
#ifdef O_TMPFILE
  if (Error == 0 && Name.empty()) Error = NameTemp(Temp.Fd(), Target, Name);
#endif
  if (Error == 0) Error = Temp.Close();
  if (Error == 0) Error = RenameFile(Name, Target);
  if (Error != 0) {
    Discard();
    FailWith(Error);
  }
  SyncFolder(Target);
  return true;
}

// Overwrites Target from its start with Data and cuts it to that length: the file keeps its owner,
// links and mode, but a failure part way leaves it damaged.
void OverwriteInPlace(const fs::path& Target, const std::vector<uint8_t>& Data,
                      [[maybe_unused]] const TStat& Old) {
  TFile File(OpenFile(Target.string(), WriteOnly));
  if (File.Fd() < 0) FailWith(errno);
#ifdef __linux__
  // Room first, so that a full disk stops the save before a byte of the old file is overwritten.
  if (static_cast<uint64_t>(Old.st_size) < Data.size() &&
      ::fallocate(File.Fd(), 0, 0, static_cast<off_t>(Data.size())) != 0 && errno != EOPNOTSUPP) {
    const int Error = errno;
    ResizeFile(File.Fd(), static_cast<size_t>(Old.st_size));
    FailWith(Error);
  }
#endif
  int Error = WriteAll(File.Fd(), Data);
  if (Error == 0 && ResizeFile(File.Fd(), Data.size()) != 0) Error = errno;
  if (Error == 0 && SyncFile(File.Fd()) != 0) Error = errno;
  const int Closed = File.Close();
  if (Error == 0) Error = Closed;
  if (Error != 0) FailWith(Error);
}

}  // namespace

TInFile::TInFile(const std::string& Path) {
  TStat St{};
  if (StatPath(Path, St) != 0) FailWith(errno);
  if (!IsRegular(St)) throw EInOutError(AccessDenied);
  TFile File(OpenFile(Path, ReadOnly));
  if (File.Fd() < 0) FailWith(errno);
  // The name may have been given to something else since it was looked at.
  if (StatFile(File.Fd(), St) != 0) FailWith(errno);
  if (!IsRegular(St)) throw EInOutError(AccessDenied);
  Size_ = static_cast<uint64_t>(St.st_size);
  Fd_ = File.Release();
}

TInFile::~TInFile() {
  CloseFile(Fd_);
}

size_t TInFile::Read(uint8_t* p, size_t n) {
  size_t Have = 0;
  while (Have < n) {
    const long Got = ReadSome(Fd_, p + Have, n - Have);
    if (Got < 0) {
      if (errno == EINTR) continue;
      FailWith(errno);
    }
    if (Got == 0) break;
    Have += static_cast<size_t>(Got);
  }
  return Have;
}

void Replace(const std::string& Path, const std::vector<uint8_t>& Data) {
  fs::path Target(Path);
  std::error_code Ignored;
  // Keep a symbolic link and replace the file it names.
  if (fs::is_symlink(Target, Ignored)) {
    const fs::path Real = fs::canonical(Target, Ignored);
    if (!Ignored) Target = Real;
  }
  TStat Old{};
  const bool Exists = StatPath(Target.string(), Old) == 0;
  if (!Exists && errno != ENOENT) FailWith(errno);
  if (Exists) {
    // Only a regular file that we may write is replaced, as a plain overwrite would demand.
    if (!IsRegular(Old)) throw EInOutError(AccessDenied);
    TFile Probe(OpenFile(Target.string(), WriteOnly));
    if (Probe.Fd() < 0) FailWith(errno);
  }
  RemoveAbandonedTemps(Target);
  if (Exists && !MayRename(Old))
    OverwriteInPlace(Target, Data, Old);
  else if (!ReplaceAtomically(Target, Data, Exists ? &Old : nullptr))
    OverwriteInPlace(Target, Data, Old);
}

std::string InOutErrorText(int ErrorNumber) {
  switch (ErrorNumber) {
    case ENOENT:
    case ENOTDIR:
      return "File not found";
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return "File access denied";
    case ENOSPC:
    case EFBIG:
#ifdef EDQUOT
    case EDQUOT:
#endif
      return "Disk full";
    default:
      return "File I/O error";
  }
}

}  // namespace SafeReplace
