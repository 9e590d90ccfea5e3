#pragma once

#include <stdexcept>
#include <string>

// A file input/output failure, carrying the run-time text the user sees in the error box
// ("File not found", "File access denied", "Read beyond end of file", "Disk full").
class EInOutError : public std::runtime_error {
 public:
  explicit EInOutError(const std::string& text) : std::runtime_error(text) {}
};
