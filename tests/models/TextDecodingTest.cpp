#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TextDecoding.h"

namespace {

TEST(TextDecodingTest, DecodesLanguageText) {
  const struct {
    const char* Title;
    std::string Bytes;
    const char* Codepage;
    std::string Expected;
  } cases[] = {
      {"ASCII", "Open file", "", "Open file"},
      {"UTF-8 kept", "\xD0\x9E\xD1\x82\xD0\xBA\xD1\x80\xD1\x8B\xD1\x82\xD1\x8C", "1251",
       "\xD0\x9E\xD1\x82\xD0\xBA\xD1\x80\xD1\x8B\xD1\x82\xD1\x8C"},  // "Открыть"
      {"UTF-8 byte order mark dropped", "\xEF\xBB\xBFGlowsmith", "", "Glowsmith"},
      {"Windows-1251", "\xCE\xF2\xEA\xF0\xFB\xF2\xFC", "1251",
       "\xD0\x9E\xD1\x82\xD0\xBA\xD1\x80\xD1\x8B\xD1\x82\xD1\x8C"},  // "Открыть"
      {"Windows-1251 with blanks", " \xCE\xF2\xEA\xF0\xFB\xF2\xFC\t", " 1251 ",
       " \xD0\x9E\xD1\x82\xD0\xBA\xD1\x80\xD1\x8B\xD1\x82\xD1\x8C\t"},
      {"Windows-1251 yo", "\xA8\xB8", "1251", "\xD0\x81\xD1\x91"},  // "Ёё"
      {"Windows-1252 by default", "Caf\xE9", "", "Caf\xC3\xA9"},
      {"Windows-1252 for an unknown code page", "Caf\xE9", "99999", "Caf\xC3\xA9"},
      {"Windows-1252 for a garbled name", "Caf\xE9", "no such page", "Caf\xC3\xA9"},
      {"Windows-1252 euro and quotes", "\x80\x93\x94", "1252",
       "\xE2\x82\xAC\xE2\x80\x9C\xE2\x80\x9D"},
      {"code page by name", "\xF2\xD2", "KOI8-R", "\xD0\xA0\xD1\x80"},  // "Рр"
      {"code page by Windows name", "\xCE", "Windows-1251", "\xD0\x9E"},
      {"code page with its prefix", "\xCE", "cp1251", "\xD0\x9E"},
      // Converters that wait for a combining mark still hand out the last letter.
      {"Windows-1258 last letter", "\xD0\xE8n Xanh", "1258", "\xC4\x90\xC3\xA8n Xanh"},
      {"Windows-1255 last letter", "\xF9\xEC\xE5\xED", "1255",
       "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D"},  // "שלום"
      {"Windows-1255 letter before an undefined byte", "\xE0\xFF!", "1255",
       "\xD7\x90\xEF\xBF\xBD!"},
      // A code page of UTF-8 still gives well-formed UTF-8 only.
      {"UTF-8 past U+10FFFF", "a\xF4\x90\x80\x80z", "UTF-8",
       "a\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBDz"},
      {"UTF-8 cut short", "\xC3\xA9\xE2\x82", "UTF-8", "\xC3\xA9\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"undefined byte replaced", "a\x81z", "1252", "a\xEF\xBF\xBDz"},
      {"overlong UTF-8 is not UTF-8", "\xC0\xAF", "1252", "\xC3\x80\xC2\xAF"},
      {"cut-off UTF-8 is not UTF-8", "ab\xD0", "1251", "ab\xD0\xA0"},
      {"empty", "", "1251", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DecodeLanguageText(c.Bytes, c.Codepage), c.Expected) << c.Title;
  }
}

TEST(TextDecodingTest, RecognisesUtf8) {
  const struct {
    std::string Bytes;
    bool Valid;
  } cases[] = {
      {"", true},
      {"plain", true},
      {"\xC3\xA9", true},
      {"\xE2\x82\xAC", true},
      {"\xF0\x9F\x98\x80", true},
      {"\xF4\x8F\xBF\xBF", true},   // U+10FFFF
      {"\xF4\x90\x80\x80", false},  // past U+10FFFF
      {"\xED\xA0\x80", false},      // surrogate
      {"\xE0\x80\xAF", false},      // overlong
      {"\xC1\xBF", false},          // overlong
      {"\x80", false},              // lone continuation
      {"\xE2\x82", false},          // cut short
      {"\xCF\xF0\xE8\xE2\xE5\xF2", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsValidUtf8(c.Bytes), c.Valid) << ::testing::PrintToString(c.Bytes);
  }
}

TEST(TextDecodingTest, SplitsLines) {
  using TLines = std::vector<std::string>;
  const struct {
    std::string Text;
    TLines Expected;
  } cases[] = {
      {"", {}},
      {"one", {"one"}},
      {"one\r\ntwo\r\n", {"one", "two"}},
      {"one\ntwo", {"one", "two"}},
      {"one\rtwo\r", {"one", "two"}},
      {"a\n\nb", {"a", "", "b"}},
      {"a\r\n\r\n", {"a", ""}},
      {"\n", {""}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SplitLines(c.Text), c.Expected) << ::testing::PrintToString(c.Text);
  }
}

}  // namespace
