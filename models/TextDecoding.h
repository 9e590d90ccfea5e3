#pragma once

#include <string>
#include <string_view>
#include <vector>

// Turns the 8-bit text of a language file or about text into UTF-8, by the same rule on every
// system. Text that is valid UTF-8 is kept as it is; other text is decoded in the code page named
// by `codepage` ("1251", "CP1251", "Windows-1251", or a name such as "KOI8-R"), or in the system's
// ANSI code page when that names none the system knows (Windows-1252 where there is no such code
// page). A byte that the code page does not define, and any ill-formed UTF-8 in the result, become
// U+FFFD. A leading byte order mark is dropped.
std::string DecodeLanguageText(const std::string& bytes, const std::string& codepage);

// True when the bytes are well-formed UTF-8 (no overlong forms, surrogates or values past
// U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

// The lines of a text, split at CR LF, LF or a lone CR; a final line break does not start another
// line, so an empty text has no lines.
std::vector<std::string> SplitLines(std::string_view text);
