#include "DataFiles.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "Bytes.h"

std::string FileBaseName(const std::string& name) {
  const std::size_t slash = name.find_last_of("/\\");
  const std::string file = slash == std::string::npos ? name : name.substr(slash + 1);
  return file.substr(0, file.find('.'));
}

std::vector<std::string> ListBaseNames(const std::string& dir, const std::string& extension) {
  const std::string suffix = "." + (extension.starts_with('.') ? extension.substr(1) : extension);
  std::vector<std::string> names;

  std::error_code error;
  std::filesystem::directory_iterator it(dir, error);
  for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
    std::error_code typeError;
    if (!it->is_regular_file(typeError)) continue;
    const std::string file = it->path().filename().string();
    if (file.size() <= suffix.size() ||
        !Bytes::SameText(std::string_view(file).substr(file.size() - suffix.size()), suffix)) {
      continue;
    }
    // A name such as ".prof" has an empty base name, which no list can offer.
    std::string base = FileBaseName(file);
    if (!base.empty()) names.push_back(std::move(base));
  }

  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    const std::string la = Bytes::Lower(a), lb = Bytes::Lower(b);
    return la != lb ? la < lb : a < b;
  });
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return names;
}

std::string FindDataFile(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code error;
  if (fs::is_regular_file(path, error)) return path;
  const fs::path wanted(path);
  const std::string name = wanted.filename().string();
  const fs::path folder = wanted.has_parent_path() ? wanted.parent_path() : fs::path(".");
  std::string found;
  fs::directory_iterator it(folder, error);
  for (; !error && it != fs::directory_iterator(); it.increment(error)) {
    const std::string file = it->path().filename().string();
    std::error_code typeError;
    if (!Bytes::SameText(file, name) || !it->is_regular_file(typeError)) continue;
    if (found.empty() || file < found) found = file;
  }
  return found.empty() ? path : (wanted.parent_path() / found).string();
}

std::string DataFolder(const std::string& exeDir) {
  namespace fs = std::filesystem;
  const fs::path dir(exeDir);
  const fs::path shared = (dir / ".." / "share" / "glowsmith").lexically_normal();
  std::error_code error;
  if (fs::is_directory(dir / "Languages", error) || !fs::is_directory(shared / "Languages", error))
    return exeDir;
  return shared.string();
}
