#pragma once

#include <stdexcept>
#include <string>

// Where the program keeps its local copy of the phone's funlight.pat: a folder private to the
// user, so that nobody else can plant a file or a link where the copy is written.
namespace PhoneCopy {

// A folder that cannot be trusted with the copy.
class EUnsafeFolder : public std::runtime_error {
 public:
  explicit EUnsafeFolder(const std::string& folder)
      : std::runtime_error("Unsafe folder " + folder), Folder(folder) {}
  std::string Folder;
};

// The folder "glowsmith-<user id>" in base (a path ending in a separator), with a trailing
// separator. It is created with mode 0700 when missing; an existing one must be a real folder,
// not a link, owned by the user and closed to group and others, or EUnsafeFolder is thrown. A
// folder that cannot be created raises EInOutError. On Windows the temporary folder is the user's
// own, and the folder is "glowsmith" in it.
std::string PrivateFolder(const std::string& base);
// The same, with the owner the folder must have.
std::string PrivateFolder(const std::string& base, unsigned owner);

}  // namespace PhoneCopy
