#include "TextDecoding.h"

#include <cstdint>

#include "Bytes.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>

#include <cerrno>
#endif

namespace {

// Length of the well-formed UTF-8 sequence at bytes[i]; when there is none, 0, and `bad` is the
// length of the ill-formed part to replace: the lead byte and the continuation bytes it accepted.
std::size_t SequenceLength(std::string_view bytes, std::size_t i, std::size_t& bad) {
  const auto lead = static_cast<uint8_t>(bytes[i]);
  bad = 1;
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  uint8_t low = 0x80, high = 0xBF;  // range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
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
    return 0;
  }
  for (std::size_t k = 1; k < length; ++k) {
    if (i + k >= bytes.size()) return 0;
    const auto c = static_cast<uint8_t>(bytes[i + k]);
    const uint8_t min = k == 1 ? low : 0x80, max = k == 1 ? high : 0xBF;
    if (c < min || c > max) return 0;
    bad = k + 1;
  }
  return length;
}

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";    // U+FFFD
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";  // U+FEFF

// Each ill-formed part (a byte that starts no sequence, or a sequence cut short) becomes U+FFFD.
std::string ReplaceInvalidUtf8(std::string_view bytes) {
  std::string result;
  result.reserve(bytes.size());
  std::size_t bad = 0;
  for (std::size_t i = 0; i < bytes.size();) {
    const std::size_t length = SequenceLength(bytes, i, bad);
    if (length == 0) {
      result += kReplacement;
      i += bad;
    } else {
      result.append(bytes.substr(i, length));
      i += length;
    }
  }
  return result;
}

}  // namespace

bool IsValidUtf8(std::string_view bytes) {
  std::size_t bad = 0;
  for (std::size_t i = 0; i < bytes.size();) {
    const std::size_t length = SequenceLength(bytes, i, bad);
    if (length == 0) return false;
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

namespace {

// A code page named by a number, as Windows numbers them: "1251", "CP1251" or "Windows-1251";
// 0 for any other name.
unsigned CodePageNumber(std::string_view name) {
  for (std::string_view prefix : {"CP", "WINDOWS-"}) {
    if (name.size() > prefix.size() && Bytes::SameText(name.substr(0, prefix.size()), prefix)) {
      name.remove_prefix(prefix.size());
      break;
    }
  }
  if (name.empty() || name.size() > 5 || name.find_first_not_of("0123456789") != name.npos)
    return 0;
  unsigned number = 0;
  for (char c : name) number = number * 10 + static_cast<unsigned>(c - '0');
  return number;
}

std::string WithoutBlanks(const std::string& text) {
  std::string name;
  for (char c : text) {
    if (c != ' ' && c != '\t' && c != '\r') name += c;
  }
  return name;
}

}  // namespace

#ifdef _WIN32

namespace {

// The Windows code page of the name a language file gives: a number, or one of the names the
// C library elsewhere knows that are common for language files; 0 when there is none.
UINT WindowsCodePage(const std::string& codepage) {
  const std::string name = WithoutBlanks(codepage);
  UINT number = CodePageNumber(name);
  if (number == 0) {
    static const struct {
      const char* Name;
      UINT Number;
    } kNames[] = {{"UTF-8", CP_UTF8},    {"UTF8", CP_UTF8},     {"KOI8-R", 20866},
                  {"KOI8-U", 21866},     {"ISO-8859-1", 28591}, {"ISO-8859-2", 28592},
                  {"ISO-8859-5", 28595}, {"ISO-8859-15", 28605}};
    for (const auto& known : kNames)
      if (Bytes::SameText(name, known.Name)) number = known.Number;
  }
  return number != 0 && IsValidCodePage(number) ? number : 0;
}

std::string Convert(const std::string& bytes, const std::string& codepage) {
  if (bytes.empty()) return {};
  const UINT from = WindowsCodePage(codepage);
  const UINT page = from != 0 ? from : CP_ACP;
  const int size = static_cast<int>(bytes.size());
  const int wideLength = MultiByteToWideChar(page, 0, bytes.data(), size, nullptr, 0);
  if (wideLength <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
  MultiByteToWideChar(page, 0, bytes.data(), size, wide.data(), wideLength);
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return {};
  std::string result(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, result.data(), length, nullptr, nullptr);
  return result;
}

}  // namespace

#else

namespace {

// The iconv name of a code page given as in a language file: a bare number is a Windows code page.
std::string IconvName(const std::string& codepage) {
  const std::string name = WithoutBlanks(codepage);
  const unsigned number = CodePageNumber(name);
  return number != 0 ? "CP" + std::to_string(number) : name;
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
      // A byte the code page leaves undefined, or a sequence cut short at the end. What the
      // converter holds back comes first.
      Flush(result);
      result += kReplacement;
      ++in;
      --inLeft;
    }
    Flush(result);
    return result;
  }

 private:
  // Hands out a letter the converter still holds (glibc keeps the last one of Windows-1255 and
  // Windows-1258 text back in case a combining mark follows) and returns it to its initial state.
  void Flush(std::string& result) {
    char buffer[64];
    char* out = buffer;
    std::size_t outLeft = sizeof buffer;
    iconv(Handle, nullptr, nullptr, &out, &outLeft);
    result.append(buffer, static_cast<std::size_t>(out - buffer));
  }

  static inline const iconv_t Invalid = reinterpret_cast<iconv_t>(-1);
  iconv_t Handle = Invalid;
};

std::string Convert(const std::string& bytes, const std::string& codepage) {
  return TConverter(IconvName(codepage)).Convert(bytes);
}

}  // namespace

#endif

std::string DecodeLanguageText(const std::string& bytes, const std::string& codepage) {
  // Converters let some ill-formed UTF-8 through, glibc's UTF-8 decoder among them.
  std::string text = IsValidUtf8(bytes) ? bytes : ReplaceInvalidUtf8(Convert(bytes, codepage));
  if (text.starts_with(kByteOrderMark)) text.erase(0, kByteOrderMark.size());
  return text;
}
