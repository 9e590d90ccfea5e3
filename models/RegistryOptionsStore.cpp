// The options store over the registry of the current user (Windows only).
#include <windows.h>

#include <vector>

#include "OptionsStore.h"

namespace {

// Closes an opened key when it goes out of scope.
class TKey {
 public:
  TKey() = default;
  TKey(const TKey&) = delete;
  TKey& operator=(const TKey&) = delete;
  ~TKey() {
    if (Handle) RegCloseKey(Handle);
  }
  HKEY Handle = nullptr;
};

}  // namespace

bool TRegistryOptionsStore::KeyExists(const std::string& path) {
  TKey key;
  return RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key.Handle) == ERROR_SUCCESS;
}

std::optional<std::string> TRegistryOptionsStore::ReadString(const std::string& path,
                                                             const std::string& name) {
  TKey key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_QUERY_VALUE, &key.Handle) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  // The value may grow between asking its size and reading it; ask again then.
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key.Handle, name.c_str(), nullptr, &type, nullptr, &size) !=
        ERROR_SUCCESS) {
      return std::nullopt;
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
    std::vector<char> data(size + 1, '\0');
    DWORD got = size;
    const LONG result = RegQueryValueExA(key.Handle, name.c_str(), nullptr, &type,
                                         reinterpret_cast<BYTE*>(data.data()), &got);
    if (result == ERROR_MORE_DATA) continue;
    if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::nullopt;
    // A stored string need not end with its terminator, and may carry more than one.
    std::string value(data.data(), got);
    const std::size_t end = value.find('\0');
    if (end != std::string::npos) value.resize(end);
    return value;
  }
  return std::nullopt;
}

void TRegistryOptionsStore::WriteString(const std::string& path, const std::string& name,
                                        const std::string& value) {
  TKey key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_SET_VALUE, nullptr, &key.Handle, nullptr) != ERROR_SUCCESS) {
    return;
  }
  RegSetValueExA(key.Handle, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>(value.size() + 1));
}

void TRegistryOptionsStore::DeleteKeyTree(const std::string& path) {
  // RegDeleteTree empties the key and, given a subkey name, removes that key too.
  RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
}
