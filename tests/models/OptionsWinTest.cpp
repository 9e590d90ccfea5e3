// The registry store, on the registry of the current user, under a key of its own; and the decoding
// of language text on Windows. Moving the options from the former key is tested on the INI store.
#include <windows.h>

#include <cstdio>
#include <string>

#include "OptionsStore.h"
#include "TextDecoding.h"
#include "WinCheck.h"

using WinCheck::Check;

static void SetValue(const std::string& path, const char* name, DWORD type, const void* data,
                     DWORD size) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return;
  RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
  RegCloseKey(key);
}

static void RunStoreChecks(TRegistryOptionsStore& store) {
  const std::string root = "Software\\GlowsmithTest-" + std::to_string(GetCurrentProcessId());
  const std::string deep = root + "\\One\\Two";
  Check(!store.KeyExists(root) && !store.ReadString(deep, "Name"), "nothing there at first");
  store.WriteString(deep, "Name", "Motorola (All Models)");
  Check(store.KeyExists(root + "\\one"), "writing creates the keys, named without regard to case");
  Check(store.ReadString(deep, "NAME") == std::string("Motorola (All Models)"),
        "value read back, named without regard to case");
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
static void RunDecodingChecks() {
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

int main() {
  TRegistryOptionsStore store;
  RunStoreChecks(store);
  RunDecodingChecks();
  return WinCheck::Report();
}
