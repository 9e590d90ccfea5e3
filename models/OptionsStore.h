#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "IniFile.h"

// Per-user store of string values under key paths written with backslashes, shaped after the
// registry of the current user ("Software\\Nerevy's\\Glowsmith 2\\Options").
class IOptionsStore {
 public:
  virtual ~IOptionsStore();
  // True when the key or any key below it exists.
  virtual bool KeyExists(const std::string& path) = 0;
  // The string value, or nothing when the key, the value or a string of that name is missing.
  virtual std::optional<std::string> ReadString(const std::string& path,
                                                const std::string& name) = 0;
  // Creates the key and its parents when they are missing.
  virtual void WriteString(const std::string& path, const std::string& name,
                           const std::string& value) = 0;
  // Deletes the key with every key below it.
  virtual void DeleteKeyTree(const std::string& path) = 0;
};

// The store as one INI file whose sections are named by full key paths. The file is read afresh by
// every call and rewritten whole with SafeReplace::Replace, so a crash never leaves half a file.
// Failures to write are not reported: the options are then simply not kept.
class TIniOptionsStore : public IOptionsStore {
 public:
  explicit TIniOptionsStore(std::filesystem::path filePath);

  const std::filesystem::path& FilePath() const { return File; }

  bool KeyExists(const std::string& path) override;
  std::optional<std::string> ReadString(const std::string& path, const std::string& name) override;
  void WriteString(const std::string& path, const std::string& name,
                   const std::string& value) override;
  void DeleteKeyTree(const std::string& path) override;

 private:
  std::vector<IniText::TSection> Load() const;
  bool Save(const std::vector<IniText::TSection>& sections) const;

  std::filesystem::path File;
};

#ifdef _WIN32
// The registry of the current user; only string values (REG_SZ, REG_EXPAND_SZ unexpanded) are read.
class TRegistryOptionsStore : public IOptionsStore {
 public:
  bool KeyExists(const std::string& path) override;
  std::optional<std::string> ReadString(const std::string& path, const std::string& name) override;
  void WriteString(const std::string& path, const std::string& name,
                   const std::string& value) override;
  void DeleteKeyTree(const std::string& path) override;
};
#else
// $XDG_CONFIG_HOME/Glowsmith/options.ini, with ~/.config when XDG_CONFIG_HOME is unset, empty or
// not an absolute path.
std::filesystem::path UserOptionsFilePath();
#endif

// The store of the user running the program: the registry on Windows, the options file elsewhere.
std::unique_ptr<IOptionsStore> CreateUserOptionsStore();

// The options that outlive a run.
struct TStoredOptions {
  std::string Language;
  std::string Profile;
  bool HideUnusedSlots = true;
  bool OuterDisplayOnInner = false;
  bool AskToSave = false;

  bool operator==(const TStoredOptions&) const = default;
};

namespace OptionKeys {
inline constexpr const char* CurrentRoot = "Software\\Nerevy's\\Glowsmith 2";
inline constexpr const char* FormerRoot = "Software\\Glowsmith 2";
inline constexpr const char* ProfileSettings = "Profile settings";
inline constexpr const char* Options = "Options";
inline constexpr const char* Language = "Language";
inline constexpr const char* Profile = "Profile";
inline constexpr const char* HideUnusedSlots = "HideUnusedSlots";
inline constexpr const char* OuterDisplayOnInner = "OuterDisplayOnInner";
inline constexpr const char* AskToSave = "AskToSaveChanges";
inline constexpr const char* DefaultLanguage = "English";
inline constexpr const char* DefaultProfile = "Motorola (All Models)";
}  // namespace OptionKeys

// Reads the options at start-up. Options under the former key path are taken once and the former
// key is deleted; they are copied to the current path before that, so they are not lost should the
// program end before its next save. Otherwise the current path is read, an empty language there
// becoming "English". Missing values give "English", "Motorola (All Models)", checked, unchecked; a
// flag that is not an integer counts as missing.
TStoredOptions ReadStoredOptions(IOptionsStore& store);

// Writes the four options under the current key path, flags as "1" or "0".
void SaveStoredOptions(IOptionsStore& store, const TStoredOptions& options);
