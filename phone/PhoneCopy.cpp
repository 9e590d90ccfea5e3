#include "PhoneCopy.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "InOutError.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace PhoneCopy {

namespace {

std::string ErrorText(int error) {
  return error == ENOSPC ? "Disk full" : "File access denied";
}

}  // namespace

#ifdef _WIN32

std::string PrivateFolder(const std::string& base, unsigned) {
  const std::string folder = base + "glowsmith";
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) throw EInOutError(ErrorText(error.value()));
  return folder + "\\";
}

std::string PrivateFolder(const std::string& base) {
  return PrivateFolder(base, 0);
}

#else

std::string PrivateFolder(const std::string& base, unsigned owner) {
  const std::string folder = base + "glowsmith-" + std::to_string(owner);
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    throw EInOutError(ErrorText(errno));
  }
  // Checked whether just made or found: a name in a shared folder may have been taken by anyone.
  struct stat info {};
  if (::lstat(folder.c_str(), &info) != 0) throw EInOutError(ErrorText(errno));
  if (!S_ISDIR(info.st_mode) || info.st_uid != owner || (info.st_mode & 077) != 0) {
    throw EUnsafeFolder(folder);
  }
  return folder + "/";
}

std::string PrivateFolder(const std::string& base) {
  return PrivateFolder(base, static_cast<unsigned>(::getuid()));
}

#endif

}  // namespace PhoneCopy
