#include "OptionsStore.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

#include "Bytes.h"
#include "SafeReplace.h"

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#endif

IOptionsStore::~IOptionsStore() = default;

// ---- One INI file per user ----

namespace {

bool IsKeyOrBelow(const std::string& section, const std::string& path) {
  if (Bytes::SameText(section, path)) return true;
  return section.size() > path.size() && section[path.size()] == '\\' &&
         Bytes::SameText(std::string_view(section).substr(0, path.size()), path);
}

bool IsIniBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

// The value as a line of the file that reads back as the same value: blanks at either end or a
// pair of enclosing quotes would be lost on reading, so such values are quoted once more. Line
// breaks cannot be kept in a line and become blanks.
std::string EncodeValue(std::string value) {
  for (char& c : value) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  const bool blankAtEnd = !value.empty() && (IsIniBlank(value.front()) || IsIniBlank(value.back()));
  const bool enclosed = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                        value.back() == value.front();
  return (blankAtEnd || enclosed) ? "\"" + value + "\"" : value;
}

}  // namespace

TIniOptionsStore::TIniOptionsStore(std::filesystem::path filePath) : File(std::move(filePath)) {}

std::vector<IniText::TSection> TIniOptionsStore::Load() const {
  std::ifstream in(File, std::ios::binary);
  if (!in) return {};
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return IniText::Parse(text);
}

bool TIniOptionsStore::Save(const std::vector<IniText::TSection>& sections) const {
  std::string text;
  for (const IniText::TSection& section : sections) {
    if (!text.empty()) text += '\n';
    text += "[" + section.Name + "]\n";
    for (const IniText::TEntry& entry : section.Entries) {
      text += entry.Key + "=" + EncodeValue(entry.Value) + "\n";
    }
  }

  std::error_code error;
  if (File.has_parent_path()) std::filesystem::create_directories(File.parent_path(), error);
  if (error) return false;

  try {
    SafeReplace::Replace(File.string(), std::vector<uint8_t>(text.begin(), text.end()));
  } catch (const EInOutError&) {
    return false;
  }
  return true;
}

bool TIniOptionsStore::KeyExists(const std::string& path) {
  for (const IniText::TSection& section : Load()) {
    if (IsKeyOrBelow(section.Name, path)) return true;
  }
  return false;
}

std::optional<std::string> TIniOptionsStore::ReadString(const std::string& path,
                                                        const std::string& name) {
  for (const IniText::TSection& section : Load()) {
    if (!Bytes::SameText(section.Name, path)) continue;
    for (const IniText::TEntry& entry : section.Entries) {
      if (Bytes::SameText(entry.Key, name)) return entry.Value;
    }
    return std::nullopt;  // only the first section of that name counts
  }
  return std::nullopt;
}

void TIniOptionsStore::WriteString(const std::string& path, const std::string& name,
                                   const std::string& value) {
  std::vector<IniText::TSection> sections = Load();
  IniText::TSection* target = nullptr;
  for (IniText::TSection& section : sections) {
    if (Bytes::SameText(section.Name, path)) {
      target = &section;
      break;
    }
  }
  if (!target) target = &sections.emplace_back(IniText::TSection{path, {}});

  bool written = false;
  for (IniText::TEntry& entry : target->Entries) {
    if (Bytes::SameText(entry.Key, name)) {
      entry.Value = value;
      written = true;
      break;
    }
  }
  if (!written) target->Entries.push_back({name, value});
  Save(sections);
}

void TIniOptionsStore::DeleteKeyTree(const std::string& path) {
  std::vector<IniText::TSection> sections = Load();
  const auto removed = std::erase_if(
      sections, [&](const IniText::TSection& section) { return IsKeyOrBelow(section.Name, path); });
  if (removed != 0) Save(sections);
}

#ifndef _WIN32
std::filesystem::path UserOptionsFilePath() {
  std::filesystem::path base;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  // Relative paths in XDG_CONFIG_HOME are to be ignored, like an unset variable.
  if (xdg && *xdg && std::filesystem::path(xdg).is_absolute()) {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (home && *home) {
      base = std::filesystem::path(home) / ".config";
    } else if (const passwd* user = getpwuid(getuid()); user && user->pw_dir && *user->pw_dir) {
      base = std::filesystem::path(user->pw_dir) / ".config";
    } else {
      base = ".config";
    }
  }
  return base / "Glowsmith" / "options.ini";
}
#endif

std::unique_ptr<IOptionsStore> CreateUserOptionsStore() {
#ifdef _WIN32
  return std::make_unique<TRegistryOptionsStore>();
#else
  return std::make_unique<TIniOptionsStore>(UserOptionsFilePath());
#endif
}

// ---- The options themselves ----

namespace {

std::string KeyPath(const char* root, const char* subkey) {
  return std::string(root) + "\\" + subkey;
}

bool ReadFlag(IOptionsStore& store, const std::string& path, const char* name, bool defaultValue) {
  const std::optional<std::string> value = store.ReadString(path, name);
  if (!value) return defaultValue;
  const std::optional<int32_t> number = IniText::ParseInteger(IniText::TrimBlanks(*value));
  return number ? *number != 0 : defaultValue;
}

TStoredOptions ReadFrom(IOptionsStore& store, const char* root) {
  using namespace OptionKeys;
  const std::string settings = KeyPath(root, ProfileSettings);
  const std::string options = KeyPath(root, Options);
  TStoredOptions result;
  result.Language = store.ReadString(settings, Language).value_or(DefaultLanguage);
  result.Profile = store.ReadString(settings, Profile).value_or(DefaultProfile);
  result.HideUnusedSlots = ReadFlag(store, options, HideUnusedSlots, true);
  result.OuterDisplayOnInner = ReadFlag(store, options, OuterDisplayOnInner, false);
  result.AskToSave = ReadFlag(store, options, AskToSave, false);
  return result;
}

}  // namespace

TStoredOptions ReadStoredOptions(IOptionsStore& store) {
  using namespace OptionKeys;
  if (store.KeyExists(FormerRoot)) {
    const TStoredOptions result = ReadFrom(store, FormerRoot);
    SaveStoredOptions(store, result);
    store.DeleteKeyTree(FormerRoot);
    return result;
  }
  TStoredOptions result = ReadFrom(store, CurrentRoot);
  if (result.Language.empty()) result.Language = DefaultLanguage;
  return result;
}

void SaveStoredOptions(IOptionsStore& store, const TStoredOptions& options) {
  using namespace OptionKeys;
  const std::string settings = KeyPath(CurrentRoot, ProfileSettings);
  const std::string flags = KeyPath(CurrentRoot, Options);
  store.WriteString(settings, Language, options.Language);
  store.WriteString(settings, Profile, options.Profile);
  store.WriteString(flags, HideUnusedSlots, options.HideUnusedSlots ? "1" : "0");
  store.WriteString(flags, OuterDisplayOnInner, options.OuterDisplayOnInner ? "1" : "0");
  store.WriteString(flags, AskToSave, options.AskToSave ? "1" : "0");
}
