#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TextDecoding.h"

const std::string kOpen = "\xD0\x9E\xD1\x82\xD0\xBA\xD1\x80\xD1\x8B\xD1\x82\xD1\x8C";  // "Открыть"
const std::string kBad = "\xEF\xBF\xBD";                                               // U+FFFD

TEST(TextDecodingTest, DecodesLanguageText) {
  const std::tuple<std::string, const char*, std::string> cases[] = {
      // bytes, code page, text
      {"Open file", "", "Open file"},
      {kOpen, "1251", kOpen},  // UTF-8 is kept whatever the file says
      {"\xEF\xBB\xBFGlowsmith", "", "Glowsmith"},
      {" \xCE\xF2\xEA\xF0\xFB\xF2\xFC\t", " 1251 ", " " + kOpen + "\t"},
      {"\xA8\xB8", "cp1251", "\xD0\x81\xD1\x91"},  // "Ёё"
      {"\xCE", "Windows-1251", "\xD0\x9E"},
      {"\xF2\xD2", "KOI8-R", "\xD0\xA0\xD1\x80"},  // "Рр"
      {"Caf\xE9", "", "Caf\xC3\xA9"},              // Windows-1252 where no code page is named,
      {"Caf\xE9", "99999", "Caf\xC3\xA9"},         // or none that is known
      {"Caf\xE9", "no such page", "Caf\xC3\xA9"},
      {"\x80\x93\x94", "1252", "\xE2\x82\xAC\xE2\x80\x9C\xE2\x80\x9D"},
      // Converters that wait for a combining mark still hand out the last letter.
      {"\xD0\xE8n Xanh", "1258", "\xC4\x90\xC3\xA8n Xanh"},
      {"\xF9\xEC\xE5\xED", "1255", "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D"},  // "שלום"
      {"\xE0\xFF!", "1255", "\xD7\x90" + kBad + "!"},
      {"a\x81z", "1252", "a" + kBad + "z"},
      // A code page of UTF-8 still gives well-formed UTF-8 only.
      {"a\xF4\x90\x80\x80z", "UTF-8", "a" + kBad + kBad + kBad + kBad + "z"},
      {"\xC3\xA9\xE2\x82", "UTF-8", "\xC3\xA9" + kBad + kBad},
      {"\xC0\xAF", "1252", "\xC3\x80\xC2\xAF"},  // overlong UTF-8 is not UTF-8
      {"ab\xD0", "1251", "ab\xD0\xA0"},          // nor is UTF-8 cut short
      {"", "1251", ""},
  };
  for (const auto& [bytes, codepage, text] : cases)
    EXPECT_EQ(DecodeLanguageText(bytes, codepage), text) << bytes;
}

TEST(TextDecodingTest, RecognisesUtf8) {
  for (const char* good : {"", "plain", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80",
                           "\xF4\x8F\xBF\xBF", "\xED\x9F\xBF", "\xE0\xA0\x80", "\xF0\x90\x80\x80"})
    EXPECT_TRUE(IsValidUtf8(good)) << testing::PrintToString(good);
  for (const char* bad :
       {"\xF4\x90\x80\x80", "\xED\xA0\x80", "\xE0\x80\xAF", "\xC1\xBF", "\x80", "\xE2\x82",
        "\xF0\x8F\xBF\xBF", "\xF5\x80\x80\x80", "\xC3\xC3", "\xCF\xF0"})
    EXPECT_FALSE(IsValidUtf8(bad)) << testing::PrintToString(bad);
  EXPECT_FALSE(IsValidUtf8(std::string_view("\xE2\x82\xAC", 2)));  // nothing read past the end
}

TEST(TextDecodingTest, SplitsLines) {
  using TLines = std::vector<std::string>;
  EXPECT_EQ(SplitLines("one\r\ntwo\rthree\n\nb\r\n\r\n"),
            (TLines{"one", "two", "three", "", "b", ""}));
  EXPECT_EQ(std::pair(SplitLines(""), SplitLines("\n")), std::pair(TLines{}, TLines{""}));
}
