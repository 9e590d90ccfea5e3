#pragma once

// What the fuzz targets share: a property check that says which failed and aborts, so that the
// fuzzer keeps the input and the replay test fails; scratch files; the input taken piecewise.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#define FUZZ_CHECK(condition) \
  ((condition) ? void() : FuzzSupport::Fail(__FILE__, __LINE__, #condition))

namespace FuzzSupport {

[[noreturn]] inline void Fail(const char* file, int line, const char* condition) {
  std::fprintf(stderr, "%s:%d: fuzz check failed: %s\n", file, line, condition);
  std::abort();
}

// A path of this process's own under the temporary folder, for readers that take a file.
inline std::filesystem::path ScratchPath(const std::string& name) {
  return std::filesystem::temp_directory_path() /
         ("glowsmith-fuzz-" + std::to_string(::getpid()) + "-" + name);
}

// Takes the input a byte or a word at a time; zeros once it runs out.
struct TInput {
  const std::uint8_t* Data;
  std::size_t Size, Pos = 0;
  std::uint8_t Byte() { return Pos < Size ? Data[Pos++] : 0; }
  std::uint16_t Word() { return static_cast<std::uint16_t>(Byte() << 8 | Byte()); }
  bool Empty() const { return Pos >= Size; }
};

}  // namespace FuzzSupport
