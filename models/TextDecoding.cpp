#include "TextDecoding.h"

#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>

#include <cerrno>
#endif

bool IsValidUtf8(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<uint8_t>(bytes[i]);
    std::size_t length = 0;
    uint8_t low = 0x80, high = 0xBF;  // range of the second byte
    if (lead < 0x80) {
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;   // overlong
      if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;   // overlong
      if (lead == 0xF4) high = 0x8F;  // past U+10FFFF
    } else {
      return false;
    }
    if (bytes.size() - i < length) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto c = static_cast<uint8_t>(bytes[i + k]);
      const uint8_t min = k == 1 ? low : 0x80, max = k == 1 ? high : 0xBF;
      if (c < min || c > max) return false;
    }
    i += length;
  }
  return true;
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.emplace_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

#ifdef _WIN32

std::string DecodeLanguageText(const std::string& bytes, const std::string& /*codepage*/) {
  if (bytes.empty()) return {};
  const int wideLength =
      MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  if (wideLength <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(),
                      wideLength);
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return {};
  std::string result(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, result.data(), length, nullptr, nullptr);
  return result;
}

#else

namespace {

// The iconv name of a code page given as in a language file: a bare number is a Windows code page.
std::string IconvName(const std::string& codepage) {
  std::string name;
  for (char c : codepage) {
    if (c != ' ' && c != '\t' && c != '\r') name += c;
  }
  if (!name.empty() && name.find_first_not_of("0123456789") == std::string::npos) {
    return "CP" + name;
  }
  return name;
}

class TConverter {
 public:
  explicit TConverter(const std::string& from) {
    if (!from.empty()) Handle = iconv_open("UTF-8", from.c_str());
    if (Handle == Invalid) Handle = iconv_open("UTF-8", "CP1252");
  }
  TConverter(const TConverter&) = delete;
  TConverter& operator=(const TConverter&) = delete;
  ~TConverter() {
    if (Handle != Invalid) iconv_close(Handle);
  }

  std::string Convert(const std::string& bytes) {
    std::string result;
    if (Handle == Invalid) return result;
    std::string input = bytes;
    char* in = input.data();
    std::size_t inLeft = input.size();
    char buffer[1024];
    while (inLeft > 0) {
      char* out = buffer;
      std::size_t outLeft = sizeof buffer;
      const std::size_t done = iconv(Handle, &in, &inLeft, &out, &outLeft);
      result.append(buffer, static_cast<std::size_t>(out - buffer));
      if (done != static_cast<std::size_t>(-1)) break;
      if (errno == E2BIG) continue;
      // A byte the code page leaves undefined, or a sequence cut short at the end.
      result += "\xEF\xBF\xBD";
      ++in;
      --inLeft;
      iconv(Handle, nullptr, nullptr, nullptr, nullptr);
    }
    return result;
  }

 private:
  static inline const iconv_t Invalid = reinterpret_cast<iconv_t>(-1);
  iconv_t Handle = Invalid;
};

}  // namespace

std::string DecodeLanguageText(const std::string& bytes, const std::string& codepage) {
  if (IsValidUtf8(bytes)) {
    constexpr std::string_view kBom = "\xEF\xBB\xBF";
    return bytes.starts_with(kBom) ? bytes.substr(kBom.size()) : bytes;
  }
  return TConverter(IconvName(codepage)).Convert(bytes);
}

#endif
