#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// Read-only access to an INI file (profiles, element names, skins, languages). The file is read
// once, when the object is made; a missing or unreadable file behaves like an empty one. The file's
// name is matched without regard to case (FindDataFile). Values are the file's raw 8-bit bytes:
// decoding is left to the caller.
class TIniFile {
 public:
  // The longest value handed out; longer values are cut.
  static constexpr std::size_t MaxValueLength = 2047;

  explicit TIniFile(const std::filesystem::path& path);

  // The file read, under its real name.
  const std::filesystem::path& FileName() const { return Path; }

  bool SectionExists(std::string_view section) const;
  std::string ReadString(std::string_view section, std::string_view key,
                         const std::string& defaultValue) const;
  int32_t ReadInteger(std::string_view section, std::string_view key, int32_t defaultValue) const;
  bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) const;

 private:
  const std::string* Find(std::string_view section, std::string_view key) const;

  std::filesystem::path Path;
  // Lower-cased section name -> (lower-cased key -> value); only the first occurrence is kept.
  std::unordered_map<std::string, std::unordered_map<std::string, std::string>> Sections;
};

// The INI text format itself, shared with the per-user options file.
namespace IniText {

struct TEntry {
  std::string Key;
  std::string Value;
};

struct TSection {
  std::string Name;
  std::vector<TEntry> Entries;
};

// Splits INI text into its sections in file order, duplicates included. Keys and section names are
// trimmed; a value is the trimmed text after the first "=", with one pair of enclosing quotes
// removed. Comment lines, lines without "=" and keys before the first section are dropped.
std::vector<TSection> Parse(std::string_view text);

// Integer syntax of INI values: decimal with an optional sign, or hexadecimal after "$", "0x" or
// "0X" taken as 32 bits (so $FFFFFFFF is -1). Empty text, trailing characters or a value outside
// 32 bits give nothing.
std::optional<int32_t> ParseInteger(std::string_view text);

// Removes leading and trailing spaces, tabs and carriage returns.
std::string_view TrimBlanks(std::string_view text);

}  // namespace IniText
