#pragma once

// A failed property of a fuzz target: says which and aborts, so that the fuzzer keeps the input
// and the replay test fails.
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                                 \
  do {                                                                                        \
    if (!(condition)) {                                                                       \
      std::fprintf(stderr, "%s:%d: fuzz check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                           \
    }                                                                                         \
  } while (false)

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

namespace FuzzSupport {

// A path of this process's own under the temporary folder, for readers that take a file.
inline std::filesystem::path ScratchPath(const std::string& name) {
  return std::filesystem::temp_directory_path() /
         ("glowsmith-fuzz-" + std::to_string(::getpid()) + "-" + name);
}

inline void WriteFile(const std::filesystem::path& path, const std::uint8_t* data,
                      std::size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  FUZZ_CHECK(out.good());
}

// Takes the input a byte or a word at a time; zeros once it runs out.
class TInput {
 public:
  TInput(const std::uint8_t* data, std::size_t size) : Data(data), Size(size) {}
  std::uint8_t Byte() { return Pos < Size ? Data[Pos++] : 0; }
  std::uint16_t Word() { return static_cast<std::uint16_t>(Byte() << 8 | Byte()); }
  bool Empty() const { return Pos >= Size; }

 private:
  const std::uint8_t* Data;
  std::size_t Size;
  std::size_t Pos = 0;
};

}  // namespace FuzzSupport
