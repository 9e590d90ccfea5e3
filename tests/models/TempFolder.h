#pragma once

#include "DocSupport.h"

// The document tests' temporary folder, with files written below it as text.
struct TTempFolder : DocSupport::TTempDir {
  // Writes bytes to a file below the folder, making its folders, and returns its path.
  std::filesystem::path Write(const std::string& name, const std::string& bytes) const {
    const std::filesystem::path file = *this / name;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
    return file;
  }
};

inline std::string ReadWholeFile(const std::filesystem::path& file) {
  const DocSupport::Bytes data = DocSupport::ReadBytes(file);
  return {data.begin(), data.end()};
}
