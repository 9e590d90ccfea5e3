#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "Bytes.h"
#include "InOutError.h"
#include "P2KAPI.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#endif

// The file-system, seem and restart commands.
namespace P2KAPI {

TFileList* PhoneFiles = nullptr;
std::function<void(int)> OnProgress;

std::string MakeSearchPattern(const std::string& text) {
  std::string pattern;
  for (char c : text) {
    if (c == '|') {
      pattern += '\xFF';
      pattern += '\xFE';
    } else {
      pattern += '\0';
      pattern += c;
    }
  }
  pattern += std::string(2, '\0');
  return pattern;
}

const std::string FunlightPattern1 = MakeSearchPattern("/a/|funlight.pat");
const std::string FunlightPattern2 = MakeSearchPattern("/c/|funlight.pat");

namespace {

int Percent(std::uint64_t done, std::uint64_t total) {
  if (total == 0) return 100;
  const double p = std::round(static_cast<double>(done) * 100.0 / static_cast<double>(total));
  return static_cast<int>(std::clamp(p, 0.0, 100.0));
}

void Progress(int percent) {
  if (OnProgress) OnProgress(percent);
}

// The local file of a read, created or emptied. It is never opened through a symbolic link: a link
// planted in its place must not steer the phone's bytes into another file.
class TLocalFile {
 public:
  explicit TLocalFile(const std::string& path) {
#ifdef _WIN32
    Out.open(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
#else
    Fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
#endif
  }
  ~TLocalFile() {
#ifndef _WIN32
    if (Fd >= 0) ::close(Fd);
#endif
  }
  TLocalFile(const TLocalFile&) = delete;
  TLocalFile& operator=(const TLocalFile&) = delete;

  bool IsOpen() const {
#ifdef _WIN32
    return Out.is_open();
#else
    return Fd >= 0;
#endif
  }

  bool Write(const std::uint8_t* data, std::size_t size) {
#ifdef _WIN32
    Out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return static_cast<bool>(Out);
#else
    while (size > 0) {
      const ssize_t n = ::write(Fd, data, size);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      data += n;
      size -= static_cast<std::size_t>(n);
    }
    return true;
#endif
  }

 private:
#ifdef _WIN32
  std::ofstream Out;
#else
  int Fd = -1;
#endif
};

}  // namespace

bool TP2KAPI::OpenPhoneFile(const std::string& name, std::uint32_t size, std::uint8_t attribute) {
  std::uint8_t data[262] = {};
  Bytes::PutBE32(data, kFileOpen);
  if (attribute == 0xFF) {
    Bytes::PutBE32(data + 4, 0xFFFFFFFFu);
  } else {
    data[7] = attribute;
  }
  std::memcpy(data + 8, name.data(), std::min<size_t>(name.size(), 254));
  std::uint8_t status = 0xFF;
  std::uint16_t length = 0;
  if (!SendCommand(kCommandFileSystem, data, sizeof data, &status, 1, length)) {
    FileSize = 0;
    return false;
  }
  if (status == 9) {
    LastFailure = TFailure::Refused;
    FileSize = 0;
    return false;
  }
  if (status == 0) {
    ClosePhoneFile();
    status = 0xFF;
    if (!SendCommand(kCommandFileSystem, data, sizeof data, &status, 1, length)) {
      FileSize = 0;
      return false;
    }
  }
  FileSize = size;
  return true;
}

bool TP2KAPI::ClosePhoneFile() {
  std::uint8_t data[4];
  Bytes::PutBE32(data, kFileClose);
  std::uint8_t status = 0xFF;
  std::uint16_t length = 0;
  return SendCommand(kCommandFileSystem, data, sizeof data, &status, 1, length) && status != 1;
}

bool TP2KAPI::ReadPhoneFile(const std::string& localPath, const std::string& phoneName,
                            std::uint32_t size) {
  if (!OpenPhoneFile(phoneName, size, 0xFF)) return false;
  TLocalFile local(localPath);
  if (!local.IsOpen()) {
    ClosePhoneFile();
    throw EInOutError("File access denied");
  }
  std::uint32_t remaining = FileSize;
  Progress(0);
  std::vector<std::uint8_t> answer(kChunkSize, 0);
  do {
    const std::uint32_t n = std::min(remaining, kChunkSize);
    std::uint8_t data[8];
    Bytes::PutBE32(data, kFileRead);
    Bytes::PutBE32(data + 4, n);
    std::uint16_t length = 0;
    if (!SendCommand(kCommandFileSystem, data, sizeof data, answer.data(), kChunkSize, length)) {
      ClosePhoneFile();
      return false;
    }
    if (length == 0) {
      LastFailure = TFailure::BadAnswer;
      ClosePhoneFile();
      return false;
    }
    // Only the bytes the phone sent go into the file; a short answer ends the read as failed.
    const std::uint32_t received = std::min<std::uint32_t>(length, n);
    if (!local.Write(answer.data(), received)) {
      ClosePhoneFile();
      throw EInOutError("Disk full");
    }
    if (received < n) {
      LastFailure = TFailure::BadAnswer;
      ClosePhoneFile();
      return false;
    }
    remaining -= n;
    Progress(Percent(FileSize - remaining, FileSize));
  } while (remaining > 0);
  Progress(0);
  ClosePhoneFile();
  return true;
}

bool TP2KAPI::WritePhoneFile(const std::string& localPath, const std::string& phoneName,
                             bool processMessages, std::uint8_t attribute) {
  if (!OpenPhoneFile(phoneName, 0, attribute)) return false;
  const std::filesystem::path path(localPath);
  std::ifstream local(path, std::ios::binary);
  std::error_code error;
  const auto fileSize = std::filesystem::file_size(path, error);
  if (!local || error) {
    ClosePhoneFile();
    throw EInOutError(std::filesystem::exists(path, error) ? "File access denied"
                                                           : "File not found");
  }
  const std::uint64_t total = fileSize;
  std::uint64_t remaining = total;
  Progress(0);
  std::vector<std::uint8_t> data(kWriteDataLength, 0);
  do {
    const std::uint32_t n =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(remaining, kChunkSize));
    std::fill(data.begin(), data.end(), 0);
    Bytes::PutBE32(&data[0], kFileWrite);
    Bytes::PutBE32(&data[4], n);
    local.read(reinterpret_cast<char*>(&data[8]), n);
    if (static_cast<std::uint32_t>(local.gcount()) != n) {
      ClosePhoneFile();
      throw EInOutError("Read beyond end of file");
    }
    std::uint8_t status = 0;
    std::uint16_t length = 0;
    if (!SendCommand(kCommandFileSystem, data.data(), kWriteDataLength, &status, 1, length)) {
      local.close();
      ClosePhoneFile();
      return false;
    }
    remaining -= n;
    Progress(Percent(total - remaining, total));
    if (processMessages && ProcessMessages) ProcessMessages();
  } while (remaining > 0);
  Progress(0);
  local.close();
  ClosePhoneFile();
  // The listing made at connection time now names a file of this size.
  if (PhoneFiles) PhoneFiles->SetSize(phoneName, static_cast<std::uint32_t>(total));
  return true;
}

bool TP2KAPI::FindPhoneFiles(const std::string& pattern, bool clear) {
  return SearchPhoneFiles(pattern, clear) == TSearchResult::Found;
}

TSearchResult TP2KAPI::SearchPhoneFiles(const std::string& pattern, bool clear) {
  if (pattern.size() + 4 > kMaxCommandData) return TSearchResult::Failed;
  std::vector<std::uint8_t> data(4 + pattern.size(), 0);
  Bytes::PutBE32(&data[0], kFileSearch);
  std::memcpy(&data[4], pattern.data(), pattern.size());
  std::vector<std::uint8_t> answer(kChunkSize, 0);
  std::uint16_t length = 0;
  if (!SendCommand(kCommandFileSystem, data.data(), static_cast<std::uint16_t>(data.size()),
                   answer.data(), kChunkSize, length)) {
    return TSearchResult::Failed;
  }
  const int total = static_cast<int>(Bytes::BE16(&answer[0]));
  int remaining = total;
  if (clear && PhoneFiles) PhoneFiles->Clear();
  if (total == 0) return TSearchResult::NotFound;

  bool appended = false;
  do {
    std::fill(answer.begin(), answer.end(), 0);
    std::uint8_t next[5];
    Bytes::PutBE32(next, kFileSearchNext);
    next[4] = 3;
    if (!SendCommand(kCommandFileSystem, next, sizeof next, answer.data(), kChunkSize, length)) {
      return TSearchResult::Failed;
    }
    const int listed = answer[1];
    // An answer never holds more entries than fit in what arrived of it.
    const std::uint32_t received = std::min<std::uint32_t>(length, kChunkSize);
    const int held = received >= 4 ? static_cast<int>((received - 4) / kSearchEntrySize) : 0;
    const int count = std::min(listed, held);
    for (int i = 0; i < count; ++i) {
      const std::uint8_t* entry = &answer[4 + kSearchEntrySize * static_cast<std::uint32_t>(i)];
      std::string name = Bytes::Trim(std::string(reinterpret_cast<const char*>(entry), 259));
      if (name.size() > 255) name.resize(255);
      if (PhoneFiles) {
        PhoneFiles->Add({name, Bytes::BE32(entry + 264)});
        appended = true;
      }
    }
    remaining -= listed;
    Progress(Percent(static_cast<std::uint64_t>(std::max(total - remaining, 0)),
                     static_cast<std::uint64_t>(total)));
    if (count == 0) break;
  } while (remaining > 0);
  Progress(0);
  return appended ? TSearchResult::Found : TSearchResult::NotFound;
}

bool TP2KAPI::ReadSeem(std::uint16_t seem, std::uint16_t record, std::uint16_t offset,
                       std::uint16_t count, std::uint8_t* buffer, std::uint16_t& size) {
  std::uint8_t data[8];
  Bytes::PutBE16(data, seem);
  Bytes::PutBE16(data + 2, record);
  Bytes::PutBE16(data + 4, offset);
  Bytes::PutBE16(data + 6, count);
  std::vector<std::uint8_t> answer(65536, 0);
  std::uint16_t length = 0;
  if (!SendCommand(RDELEM, data, sizeof data, answer.data(), 65536, length)) return false;
  // An answer without its status byte counts as refused.
  if (length == 0 || answer[0] != 0) {
    LastFailure = length == 0 ? TFailure::BadAnswer : TFailure::Refused;
    LastError = "RDELEM answer: no seem or access denided";
    return false;
  }
  const std::uint16_t received = static_cast<std::uint16_t>(length - 1);
  if (received > size) {
    size = received;
    LastFailure = TFailure::BadAnswer;
    LastError = "Buffer too small";
    return false;
  }
  size = received;
  std::memcpy(buffer, &answer[1], received);
  return true;
}

bool TP2KAPI::WriteSeem(std::uint16_t seem, std::uint16_t record, std::uint16_t offset,
                        std::uint16_t count, const std::uint8_t* source) {
  if (count + 8u > kMaxCommandData) {
    LastFailure = TFailure::TransferFailed;
    return false;
  }
  std::vector<std::uint8_t> data(8u + count, 0);
  Bytes::PutBE16(&data[0], seem);
  Bytes::PutBE16(&data[2], record);
  Bytes::PutBE16(&data[4], offset);
  Bytes::PutBE16(&data[6], count);
  if (count > 0) std::memcpy(&data[8], source, count);
  std::vector<std::uint8_t> answer(65536, 0);
  std::uint16_t length = 0;
  if (!SendCommand(WRELEM, data.data(), static_cast<std::uint16_t>(data.size()), answer.data(),
                   65536, length)) {
    return false;
  }
  if (length == 0 || answer[0] != 0) {
    LastFailure = length == 0 ? TFailure::BadAnswer : TFailure::Refused;
    LastError = "No seem or access denided";
    return false;
  }
  return true;
}

bool TP2KAPI::RestartPhone() {
  if (Connected) {
    std::uint8_t answer[4] = {};
    std::uint16_t length = 0;
    SendCommand(kCommandRestart, nullptr, 0, answer, sizeof answer, length);
  }
  return true;
}

}  // namespace P2KAPI
