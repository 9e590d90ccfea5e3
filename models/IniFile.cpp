#include "IniFile.h"

#include <fstream>
#include <iterator>

#include "Bytes.h"
#include "DataFiles.h"

namespace IniText {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

std::string_view StripQuotes(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

}  // namespace

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::vector<TSection> Parse(std::string_view text) {
  // Editors that save UTF-8 often put a byte order mark in front of the first section.
  constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
  if (text.substr(0, kUtf8Bom.size()) == kUtf8Bom) text.remove_prefix(kUtf8Bom.size());

  std::vector<TSection> sections;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = TrimBlanks(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);

    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[') {
      line.remove_prefix(1);
      const std::size_t close = line.find(']');
      sections.push_back({std::string(TrimBlanks(line.substr(0, close))), {}});
      continue;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos || sections.empty()) continue;
    sections.back().Entries.push_back(
        {std::string(TrimBlanks(line.substr(0, equals))),
         std::string(StripQuotes(TrimBlanks(line.substr(equals + 1))))});
  }
  return sections;
}

std::optional<int32_t> ParseInteger(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }

  uint32_t magnitude = 0;
  if (!text.empty() && (text.front() == '$' || (text.size() >= 2 && text[0] == '0' &&
                                                (text[1] == 'x' || text[1] == 'X')))) {
    text.remove_prefix(text.front() == '$' ? 1 : 2);
    if (text.empty()) return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
      const int digit = Bytes::HexDigit(c);
      if (digit < 0) return std::nullopt;
      value = value * 16 + static_cast<uint64_t>(digit);
      if (value > 0xFFFFFFFFu) return std::nullopt;
    }
    // Hexadecimal is a 32-bit pattern: $FFFFFFFF is -1, as the original run-time library had it.
    magnitude = static_cast<uint32_t>(value);
  } else {
    if (text.empty()) return std::nullopt;
    const uint64_t limit = negative ? 0x80000000u : 0x7FFFFFFFu;
    uint64_t value = 0;
    for (char c : text) {
      if (c < '0' || c > '9') return std::nullopt;
      value = value * 10 + static_cast<uint64_t>(c - '0');
      if (value > limit) return std::nullopt;
    }
    magnitude = static_cast<uint32_t>(value);
  }
  if (negative) magnitude = 0u - magnitude;
  return static_cast<int32_t>(magnitude);
}

}  // namespace IniText

TIniFile::TIniFile(const std::filesystem::path& path) : Path(FindDataFile(path.string())) {
  std::ifstream in(Path, std::ios::binary);
  if (!in) return;
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return;

  for (IniText::TSection& section : IniText::Parse(text)) {
    // A section named twice is looked up in its first occurrence only; the later one is not merged.
    auto [it, added] = Sections.try_emplace(Bytes::Lower(section.Name));
    if (!added) continue;
    for (IniText::TEntry& entry : section.Entries) {
      if (entry.Value.size() > MaxValueLength) entry.Value.resize(MaxValueLength);
      it->second.try_emplace(Bytes::Lower(entry.Key), std::move(entry.Value));
    }
  }
}

const std::string* TIniFile::Find(std::string_view section, std::string_view key) const {
  const auto s = Sections.find(Bytes::Lower(section));
  if (s == Sections.end()) return nullptr;
  const auto k = s->second.find(Bytes::Lower(key));
  return k == s->second.end() ? nullptr : &k->second;
}

bool TIniFile::SectionExists(std::string_view section) const {
  return Sections.count(Bytes::Lower(section)) != 0;
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 const std::string& defaultValue) const {
  const std::string* value = Find(section, key);
  return value ? *value : defaultValue;
}

int32_t TIniFile::ReadInteger(std::string_view section, std::string_view key,
                              int32_t defaultValue) const {
  const std::string* value = Find(section, key);
  if (!value) return defaultValue;
  return IniText::ParseInteger(*value).value_or(defaultValue);
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool defaultValue) const {
  return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}
