#pragma once
// Byte order and ASCII text helpers shared by the readers of outside bytes: the PAT file, the
// phone's packets, the INI files. Header-only, standard C++.

#include <cstdint>
#include <string>
#include <string_view>

namespace Bytes {

inline std::uint32_t BE16(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 8) | p[1];
}
inline std::uint32_t BE32(const std::uint8_t* p) {
  return (BE16(p) << 16) | BE16(p + 2);
}
inline std::uint32_t LE16(const std::uint8_t* p) {
  return p[0] | (std::uint32_t{p[1]} << 8);
}
inline std::uint32_t LE32(const std::uint8_t* p) {
  return LE16(p) | (LE16(p + 2) << 16);
}

inline void PutBE16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 8);
  p[1] = static_cast<std::uint8_t>(v);
}
inline void PutBE32(std::uint8_t* p, std::uint32_t v) {
  PutBE16(p, v >> 16);
  PutBE16(p + 2, v);
}
inline void PutLE16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void PutLE32(std::uint8_t* p, std::uint32_t v) {
  PutLE16(p, v);
  PutLE16(p + 2, v >> 16);
}

// ASCII only: names in these formats are compared without regard to case whatever the locale.
inline char LowerChar(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
inline std::string Lower(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = LowerChar(c);
  return result;
}
inline bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerChar(a[i]) != LowerChar(b[i])) return false;
  }
  return true;
}
// Without leading and trailing blanks and control characters (NUL padding among them).
inline std::string Trim(std::string_view text) {
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && static_cast<unsigned char>(text[first]) <= ' ') ++first;
  while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ') --last;
  return std::string(text.substr(first, last - first));
}
inline int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace Bytes
