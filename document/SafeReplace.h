#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "InOutError.h"

// Files read and replaced without harm: only a regular file is read, and a file is replaced so that
// a save that fails part way leaves the old one as it was. Failures throw EInOutError.
namespace SafeReplace {

// Replaces the file at Path with Data. A file with one name that belongs to this user is replaced
// by a new one only once that is complete and on disk; any other file (and one in a folder the
// user may not write) is overwritten in place, the room it needs taken first. Mode, owner, group
// and links are kept, and a symbolic link keeps naming the file it names.
void Replace(const std::string& Path, const std::vector<uint8_t>& Data);

// Whether a save may write its temporary as a file without a name where the system offers that.
// Tests turn it off to try the named temporaries that other file systems get.
extern bool UnnamedTemporaries;

// A regular file open for reading. Anything else is refused with "File access denied": a FIFO
// would hold the open, a device may never end.
class TInFile {
 public:
  explicit TInFile(const std::string& Path);
  ~TInFile();
  TInFile(const TInFile&) = delete;
  TInFile& operator=(const TInFile&) = delete;
  // The length the file had when it was opened.
  uint64_t Size() const { return Size_; }
  // Reads until n bytes are in or the file ends; the count read.
  size_t Read(uint8_t* p, size_t n);

 private:
  int Fd_;
  uint64_t Size_ = 0;
};

// The run-time text that reports a failed file operation with the given errno value.
std::string InOutErrorText(int ErrorNumber);

}  // namespace SafeReplace
