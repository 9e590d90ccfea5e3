#include "FileAssociation.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error("Failed to create key " + what);
}

#ifdef _WIN32
void SetDefault(const std::string& key, const std::string& value) {
  HKEY h;
  if (RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h,
                      nullptr) != ERROR_SUCCESS)
    Fail(key);
  const LONG rc =
      RegSetValueExA(h, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>(value.size() + 1));
  RegCloseKey(h);
  if (rc != ERROR_SUCCESS) Fail(key);
}
#else
void WriteFile(const fs::path& path, const std::string& text) {
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) Fail(path.string());
}

bool HaveTool(const char* name) {
  const char* path = std::getenv("PATH");
  if (!path) return false;
  std::string dirs = path;
  size_t start = 0;
  while (start <= dirs.size()) {
    const size_t end = dirs.find(':', start);
    const std::string dir =
        dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!dir.empty() && fs::exists(fs::path(dir) / name)) return true;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return false;
}

std::string Quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}
#endif

}  // namespace

std::string DesktopEntryExec(const std::string& executablePath) {
  // First level: the argument quoted as the Exec key wants it; always quoted, which is allowed.
  std::string argument = "\"";
  for (char c : executablePath) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') argument += '\\';
    argument += c;
    if (c == '%') argument += '%';
  }
  argument += "\" %f";
  // Second level: the escapes of a string value.
  std::string value;
  for (char c : argument) {
    const char* escape = c == '\\'   ? "\\\\"
                         : c == '\n' ? "\\n"
                         : c == '\t' ? "\\t"
                         : c == '\r' ? "\\r"
                                     : nullptr;
    if (escape)
      value += escape;
    else
      value += c;
  }
  return value;
}

void RegisterPatFileType(const std::string& executablePath) {
#ifdef _WIN32
  // Both paths quoted: folders with blanks (Program Files) would otherwise break the command.
  SetDefault(".pat", "Glowsmith2.PAT.File");
  SetDefault("Glowsmith2.PAT.File", "Motorola Funlight File");
  SetDefault("Glowsmith2.PAT.File\\DefaultIcon", "shimgvw.dll,2");
  SetDefault("Glowsmith2.PAT.File\\shell\\open\\command", "\"" + executablePath + "\" \"%1\"");
#else
  const char* xdg = std::getenv("XDG_DATA_HOME");
  const char* home = std::getenv("HOME");
  const fs::path data = xdg && *xdg ? fs::path(xdg) : fs::path(home ? home : ".") / ".local/share";
  const std::string mimeType = "application/x-motorola-funlight";
  WriteFile(data / "mime/packages/glowsmith-pat.xml",
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
            "  <mime-type type=\"" +
                mimeType + "\">\n" +
                "    <comment>Motorola Funlight File</comment>\n"
                "    <glob pattern=\"*.pat\"/>\n"
                "  </mime-type>\n"
                "</mime-info>\n");
  std::string entry =
      "[Desktop Entry]\n"
      "Type=Application\n"
      "Name=Glowsmith\n"
      "Comment=Editor for the funlights of Motorola P2K phones\n";
  entry += "Exec=" + DesktopEntryExec(executablePath) + "\n";
  entry += "MimeType=" + mimeType + ";\n";
  entry += "Terminal=false\nCategories=Utility;\n";
  WriteFile(data / "applications/glowsmith.desktop", entry);
  // Tell the desktop, where its tools are installed; a missing tool is not a failure.
  if (HaveTool("update-mime-database"))
    (void)std::system(
        ("update-mime-database " + Quoted((data / "mime").string()) + " >/dev/null 2>&1").c_str());
  if (HaveTool("update-desktop-database"))
    (void)std::system(
        ("update-desktop-database " + Quoted((data / "applications").string()) + " >/dev/null 2>&1")
            .c_str());
  if (HaveTool("xdg-mime"))
    (void)std::system(
        ("xdg-mime default glowsmith.desktop " + mimeType + " >/dev/null 2>&1").c_str());
#endif
}
