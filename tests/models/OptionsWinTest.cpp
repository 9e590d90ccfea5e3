// The options cases and the registry store itself, on the registry of the current user. Meant for
// a fresh Wine prefix: it refuses to run where the program's own keys already exist.
#include <windows.h>

#include <cstdio>
#include <string>

#include "OptionsCases.h"
#include "OptionsStore.h"
#include "TextDecoding.h"
#include "WinCheck.h"

namespace {

using WinCheck::Check;
using WinCheck::Failed;

const char* const kOwnKeys[] = {OptionKeys::CurrentRoot, OptionKeys::FormerRoot,
                                "Software\\Glowsmith 2 Beta"};

void MakeKey(const std::string& path) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_WRITE, nullptr, &key, nullptr) == ERROR_SUCCESS) {
    RegCloseKey(key);
  }
}

void SetRawValue(const std::string& path, const char* name, DWORD type, const void* data,
                 DWORD size) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_WRITE, nullptr, &key, nullptr) == ERROR_SUCCESS) {
    RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
  }
}

void RunStoreChecks(TRegistryOptionsStore& store) {
  const std::string root = "Software\\GlowsmithTest-" + std::to_string(GetCurrentProcessId());
  const std::string deep = root + "\\One\\Two";

  Check(!store.KeyExists(root), "scratch key absent at first");
  Check(store.ReadString(deep, "Name") == std::nullopt, "missing key reads as nothing");
  store.WriteString(deep, "Name", "Motorola (All Models)");
  Check(store.KeyExists(root) && store.KeyExists(deep), "writing creates the keys");
  Check(store.KeyExists(root + "\\one"), "key names without regard to case");
  Check(store.ReadString(deep, "Name") == std::string("Motorola (All Models)"), "value read back");
  Check(store.ReadString(deep, "Missing") == std::nullopt, "missing value reads as nothing");
  store.WriteString(deep, "Name", "");
  Check(store.ReadString(deep, "Name") == std::string(), "empty value read back");

  const DWORD number = 1;
  SetRawValue(deep, "Number", REG_DWORD, &number, sizeof number);
  Check(store.ReadString(deep, "Number") == std::nullopt, "a number value reads as missing");
  const char binary[] = {'1'};
  SetRawValue(deep, "Binary", REG_BINARY, binary, sizeof binary);
  Check(store.ReadString(deep, "Binary") == std::nullopt, "a binary value reads as missing");
  const char expand[] = "%TEMP%\\x";
  SetRawValue(deep, "Expand", REG_EXPAND_SZ, expand, sizeof expand);
  Check(store.ReadString(deep, "Expand") == std::string("%TEMP%\\x"), "expandable string as is");
  const char unterminated[] = {'a', 'b'};
  SetRawValue(deep, "Raw", REG_SZ, unterminated, sizeof unterminated);
  Check(store.ReadString(deep, "Raw") == std::string("ab"), "string without its terminator");
  const std::string longValue(5000, 'x');
  store.WriteString(deep, "Long", longValue);
  Check(store.ReadString(deep, "Long") == longValue, "long value read back whole");

  store.DeleteKeyTree(root + "\\One");
  Check(!store.KeyExists(deep) && !store.KeyExists(root + "\\One"), "tree deleted");
  Check(store.KeyExists(root), "parent of the deleted tree kept");
  store.DeleteKeyTree(root);
  Check(!store.KeyExists(root), "scratch key removed");
}

// Language text is decoded in the code page the file names, else in the system's ANSI code page.
void RunDecodingChecks() {
  const std::string settings = "\xD0\x9D\xD0\xB0\xD1\x81\xD1\x82\xD1\x80";  // "Настр"
  const struct {
    const char* Bytes;
    const char* Codepage;
    std::string Expected;
  } named[] = {
      {"Open file", "1251", "Open file"},
      {"\xCD\xE0\xF1\xF2\xF0", "1251", settings},
      {"\xCD\xE0\xF1\xF2\xF0", " Windows-1251 ", settings},
      {"\xEE\xC1\xD3\xD4\xD2", "KOI8-R", settings},
  };
  for (const auto& c : named)
    Check(DecodeLanguageText(c.Bytes, c.Codepage) == c.Expected,
          std::string("decoded in code page ") + c.Codepage);
  // How many U+FFFD stand for a bad sequence is the converter's choice.
  const std::string utf8 = DecodeLanguageText("a\xF4\x90\x80\x80z", "UTF-8");
  Check(IsValidUtf8(utf8) && utf8.starts_with("a\xEF\xBF\xBD") && utf8.ends_with("\xEF\xBF\xBDz"),
        "bad UTF-8 replaced: " + utf8);
  if (GetACP() == 1252) {
    for (const char* none : {"", "99999", "no such page"})
      Check(DecodeLanguageText("Caf\xE9 \x80", none) == "Caf\xC3\xA9 \xE2\x82\xAC",
            std::string("ANSI code page for \"") + none + "\"");
  } else {
    std::printf("ANSI code page %u: the Windows-1252 checks are skipped\n", GetACP());
  }
}

}  // namespace

int main() {
  TRegistryOptionsStore store;
  for (const char* key : kOwnKeys) {
    if (store.KeyExists(key)) {
      std::printf("HKCU\\%s exists: refusing to touch options that are in use\n", key);
      std::printf("0 passed, 1 failed\n");
      return 1;
    }
  }
  const bool hadVendorKey = store.KeyExists("Software\\Nerevy's");

  RunStoreChecks(store);
  RunDecodingChecks();

  for (const OptionsCases::TCase& c : OptionsCases::Cases()) {
    const int failedBefore = Failed;
    OptionsCases::Run(
        store, c,
        [&](bool ok, const std::string& what) { Check(ok, std::string(c.Title) + ": " + what); },
        MakeKey);
    if (Failed == failedBefore) std::printf("ok: %s\n", c.Title);
    for (const char* key : kOwnKeys) store.DeleteKeyTree(key);
  }
  if (!hadVendorKey) store.DeleteKeyTree("Software\\Nerevy's");

  return WinCheck::Report();
}
