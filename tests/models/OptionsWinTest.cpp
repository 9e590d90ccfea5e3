// The registry store and the reading of the options on it, on the registry of the current user.
// Meant for a fresh Wine prefix: it refuses to run where the program's own keys already exist.
#include <windows.h>

#include <cstdio>
#include <string>

#include "OptionsStore.h"
#include "TextDecoding.h"
#include "WinCheck.h"

namespace {

using WinCheck::Check;

void SetValue(const std::string& path, const char* name, DWORD type, const void* data, DWORD size) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return;
  RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
  RegCloseKey(key);
}

void RunStoreChecks(TRegistryOptionsStore& store) {
  const std::string root = "Software\\GlowsmithTest-" + std::to_string(GetCurrentProcessId());
  const std::string deep = root + "\\One\\Two";
  Check(!store.KeyExists(root) && !store.ReadString(deep, "Name"), "nothing there at first");
  store.WriteString(deep, "Name", "Motorola (All Models)");
  Check(store.KeyExists(root + "\\one"), "writing creates the keys, named without regard to case");
  Check(store.ReadString(deep, "Name") == std::string("Motorola (All Models)"), "value read back");
  Check(!store.ReadString(deep, "Missing"), "missing value reads as nothing");
  const DWORD number = 1;
  SetValue(deep, "Number", REG_DWORD, &number, sizeof number);
  SetValue(deep, "Binary", REG_BINARY, "1", 1);
  SetValue(deep, "Expand", REG_EXPAND_SZ, "%TEMP%\\x", 9);
  SetValue(deep, "Raw", REG_SZ, "ab", 2);  // without its terminator
  store.WriteString(deep, "Long", std::string(5000, 'x'));
  store.WriteString(deep, "Empty", "");
  Check(!store.ReadString(deep, "Number") && !store.ReadString(deep, "Binary"), "only strings");
  Check(store.ReadString(deep, "Expand") == std::string("%TEMP%\\x"), "expandable string as is");
  Check(store.ReadString(deep, "Raw") == std::string("ab"), "string without its terminator");
  Check(store.ReadString(deep, "Long") == std::string(5000, 'x'), "long value read back whole");
  Check(store.ReadString(deep, "Empty") == std::string(), "empty value read back");
  store.DeleteKeyTree(root + "\\One");
  Check(!store.KeyExists(root + "\\One") && store.KeyExists(root), "tree deleted, parent kept");
  store.DeleteKeyTree(root);
}

// Language text is decoded in the code page the file names, else in the system's ANSI code page.
void RunDecodingChecks() {
  const std::string settings = "\xD0\x9D\xD0\xB0\xD1\x81";  // "Нас"
  for (const auto& [bytes, codepage] : {std::pair{"\xCD\xE0\xF1", "1251"},
                                        {"\xCD\xE0\xF1", " Windows-1251 "},
                                        {"\xEE\xC1\xD3", "KOI8-R"}})
    Check(DecodeLanguageText(bytes, codepage) == settings, std::string("code page ") + codepage);
  // How many U+FFFD stand for a bad sequence is the converter's choice.
  const std::string utf8 = DecodeLanguageText("a\xF4\x90\x80\x80z", "UTF-8");
  Check(IsValidUtf8(utf8) && utf8.starts_with("a\xEF\xBF\xBD") && utf8.ends_with("\xEF\xBF\xBDz"),
        "bad UTF-8 replaced: " + utf8);
  if (GetACP() != 1252) {
    std::printf("ANSI code page %u: the Windows-1252 checks are skipped\n", GetACP());
    return;
  }
  for (const char* none : {"", "99999", "no such page"})
    Check(DecodeLanguageText("Caf\xE9 \x80", none) == "Caf\xC3\xA9 \xE2\x82\xAC",
          std::string("ANSI code page for \"") + none + "\"");
}

}  // namespace

int main() {
  TRegistryOptionsStore store;
  const char* const ownKeys[] = {OptionKeys::CurrentRoot, OptionKeys::FormerRoot,
                                 "Software\\Glowsmith 2 Beta"};
  for (const char* key : ownKeys) {
    if (store.KeyExists(key)) {
      std::printf("HKCU\\%s exists: refusing to touch options that are in use\n", key);
      return 1;
    }
  }
  const bool hadVendorKey = store.KeyExists("Software\\Nerevy's");
  RunStoreChecks(store);
  RunDecodingChecks();
  // The former key, its names in another case, is read once, moved and deleted; a neighbour stays.
  store.WriteString("SOFTWARE\\glowsmith 2\\OPTIONS", "outerdisplayoninner", "2");
  store.WriteString("Software\\Glowsmith 2 Beta", "Language", "German");
  const TStoredOptions read = ReadStoredOptions(store);
  Check(read == TStoredOptions{"English", "Motorola (All Models)", true, true},
        "former options read");
  Check(!store.KeyExists(OptionKeys::FormerRoot) && store.KeyExists("Software\\Glowsmith 2 Beta"),
        "former key deleted, its neighbour kept");
  Check(ReadStoredOptions(store) == read, "moved to the current path");
  for (const char* key : ownKeys) store.DeleteKeyTree(key);
  if (!hadVendorKey) store.DeleteKeyTree("Software\\Nerevy's");
  return WinCheck::Report();
}
