#pragma once

#include <string>
#include <string_view>
#include <vector>

// Turns the 8-bit text of a language file or about text into UTF-8. On Windows the text is in the
// system's ANSI code page. Elsewhere text that is valid UTF-8 is kept as it is (without a leading
// byte order mark); other text is decoded in the Windows code page named by `codepage` ("1251", or
// a name the C library knows such as "KOI8-R"), Windows-1252 when that is empty or unknown. A byte
// that the code page does not define becomes U+FFFD.
std::string DecodeLanguageText(const std::string& bytes, const std::string& codepage);

// True when the bytes are well-formed UTF-8 (no overlong forms, surrogates or values past
// U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

// The lines of a text, split at CR LF, LF or a lone CR; a final line break does not start another
// line, so an empty text has no lines.
std::vector<std::string> SplitLines(std::string_view text);
