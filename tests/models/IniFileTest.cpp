#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "IniFile.h"
#include "TempFolder.h"

namespace {

const std::string kMain =
    "; comment line\n"
    "#Color01=77\n"
    "Orphan=1\n"
    "[Colors]\n"
    "Color01=5\n"
    "  color02 = -1 \t\n"
    "Color03=$FF\n"
    "Color04=0xFF\n"
    "Color05=0XfF\n"
    "Color06=abc\n"
    "Color07=12abc\n"
    "Empty=\n"
    "Plus=+42\n"
    "Zero=0\n"
    "Min=-2147483648\n"
    "Max=2147483647\n"
    "TooBig=2147483648\n"
    "TooSmall=-2147483649\n"
    "HexAll=$FFFFFFFF\n"
    "Hex80=0x80000000\n"
    "Hex9=$100000000\n"
    "HexZeros=$0000000001\n"
    "HexEmpty=$\n"
    "HexBad=$FG\n"
    "Hex0x=0x\n"
    "NegHex=-$10\n"
    "Inner=1 2\n"
    "Quoted=\"12\"\n"
    "Huge=99999999999999999999\n"
    "[colors]\n"
    "Color01=99\n"
    "Extra=1\n"
    "[Strings]\n"
    "s1=  Open file  \n"
    "S2=\"Quoted  \"\n"
    "s3='Single'\n"
    "s4=\"Unbalanced'\n"
    "s5=\"\n"
    "s6=a=b=c\n"
    "s7=\"\"\n"
    "s8=\"In\"side\"\n"
    "s9=\ttabbed\t\n"
    "s1=second\n"
    "Key With Spaces = v\n"
    "  ;s10=commented\n"
    "no equals sign here\n"
    "s11=' padded '\n"
    "[ Spaced ]\n"
    "k=w\n";

const std::string kCrLf = "[A]\r\nK=v \r\nN=$10\r\nQ=\"x\"\r\n\r\n[B]\r\nK=b\r\n";
const std::string kBom = "\xEF\xBB\xBF[Language]\nExt=rus\n";
const std::string kLong = "[L]\nPlain=" + std::string(3000, 'p') + "\nQuoted=\"" +
                          std::string(2100, 'q') + "\"\nEdge=" + std::string(2047, 'e') + "\n";

enum class TKind { String, Integer, Flag };

struct TIniCase {
  const char* Title;
  const std::string* File;  // nullptr: no file at all
  const char* Section;
  const char* Key;
  TKind Kind;
  std::string Default;  // string default, or integer/flag default written in decimal
  std::string Expected;
};

std::string Repeat(char c, std::size_t n) {
  return std::string(n, c);
}

const std::vector<TIniCase>& Cases() {
  static const std::vector<TIniCase> cases = {
      {"decimal", &kMain, "Colors", "Color01", TKind::Integer, "-2", "5"},
      {"names case-blind, value trimmed", &kMain, "COLORS", "COLOR02", TKind::Integer, "-2", "-1"},
      {"$ hex", &kMain, "Colors", "Color03", TKind::Integer, "-2", "255"},
      {"0x hex", &kMain, "Colors", "Color04", TKind::Integer, "-2", "255"},
      {"0X hex, mixed digits", &kMain, "Colors", "Color05", TKind::Integer, "-2", "255"},
      {"letters", &kMain, "Colors", "Color06", TKind::Integer, "-2", "-2"},
      {"trailing garbage", &kMain, "Colors", "Color07", TKind::Integer, "-2", "-2"},
      {"empty value", &kMain, "Colors", "Empty", TKind::Integer, "-2", "-2"},
      {"plus sign", &kMain, "Colors", "Plus", TKind::Integer, "-2", "42"},
      {"zero", &kMain, "Colors", "Zero", TKind::Integer, "-2", "0"},
      {"smallest", &kMain, "Colors", "Min", TKind::Integer, "-2", std::to_string(INT32_MIN)},
      {"largest", &kMain, "Colors", "Max", TKind::Integer, "-2", std::to_string(INT32_MAX)},
      {"overflow up", &kMain, "Colors", "TooBig", TKind::Integer, "-2", "-2"},
      {"overflow down", &kMain, "Colors", "TooSmall", TKind::Integer, "-2", "-2"},
      {"far overflow", &kMain, "Colors", "Huge", TKind::Integer, "-2", "-2"},
      {"hex is 32 bits", &kMain, "Colors", "HexAll", TKind::Integer, "-2", "-1"},
      {"hex top bit", &kMain, "Colors", "Hex80", TKind::Integer, "-2", std::to_string(INT32_MIN)},
      {"hex past 32 bits", &kMain, "Colors", "Hex9", TKind::Integer, "-2", "-2"},
      {"hex leading zeros", &kMain, "Colors", "HexZeros", TKind::Integer, "-2", "1"},
      {"$ alone", &kMain, "Colors", "HexEmpty", TKind::Integer, "-2", "-2"},
      {"bad hex digit", &kMain, "Colors", "HexBad", TKind::Integer, "-2", "-2"},
      {"0x alone", &kMain, "Colors", "Hex0x", TKind::Integer, "-2", "-2"},
      {"signed hex", &kMain, "Colors", "NegHex", TKind::Integer, "-2", "-16"},
      {"inner blank", &kMain, "Colors", "Inner", TKind::Integer, "-2", "-2"},
      {"quotes removed before the number", &kMain, "Colors", "Quoted", TKind::Integer, "-2", "12"},
      {"first of two sections counts", &kMain, "colors", "Color01", TKind::Integer, "-2", "5"},
      {"later section not merged", &kMain, "Colors", "Extra", TKind::Integer, "7", "7"},
      {"commented key not read", &kMain, "Colors", "#Color01", TKind::Integer, "-2", "-2"},
      {"key before any section", &kMain, "", "Orphan", TKind::Integer, "-2", "-2"},
      {"missing key", &kMain, "Colors", "Color08", TKind::Integer, "-2", "-2"},
      {"missing section", &kMain, "Nothing", "Color01", TKind::Integer, "3", "3"},
      {"missing file", nullptr, "Colors", "Color01", TKind::Integer, "-2", "-2"},

      {"flag set", &kMain, "Colors", "Color01", TKind::Flag, "0", "1"},
      {"flag zero over default true", &kMain, "Colors", "Zero", TKind::Flag, "1", "0"},
      {"flag negative", &kMain, "Colors", "Color02", TKind::Flag, "0", "1"},
      {"flag not a number keeps true", &kMain, "Colors", "Color06", TKind::Flag, "1", "1"},
      {"flag not a number keeps false", &kMain, "Colors", "Color06", TKind::Flag, "0", "0"},
      {"flag missing file", nullptr, "Colors", "Zero", TKind::Flag, "1", "1"},

      {"blanks trimmed", &kMain, "Strings", "s1", TKind::String, "dflt", "Open file"},
      {"double quotes removed, inside kept", &kMain, "strings", "s2", TKind::String, "dflt",
       "Quoted  "},
      {"single quotes removed", &kMain, "Strings", "S3", TKind::String, "dflt", "Single"},
      {"unbalanced quotes kept", &kMain, "Strings", "s4", TKind::String, "dflt", "\"Unbalanced'"},
      {"lone quote kept", &kMain, "Strings", "s5", TKind::String, "dflt", "\""},
      {"value after the first =", &kMain, "Strings", "s6", TKind::String, "dflt", "a=b=c"},
      {"empty quotes give empty", &kMain, "Strings", "s7", TKind::String, "dflt", ""},
      {"only the outer pair goes", &kMain, "Strings", "s8", TKind::String, "dflt", "In\"side"},
      {"tabs trimmed", &kMain, "Strings", "s9", TKind::String, "dflt", "tabbed"},
      {"blanks inside quotes kept", &kMain, "Strings", "s11", TKind::String, "dflt", " padded "},
      {"key with blanks", &kMain, "Strings", "key with spaces", TKind::String, "dflt", "v"},
      {"indented comment", &kMain, "Strings", ";s10", TKind::String, "dflt", "dflt"},
      {"line without =", &kMain, "Strings", "no equals sign here", TKind::String, "dflt", "dflt"},
      {"section name trimmed", &kMain, "spaced", "K", TKind::String, "dflt", "w"},
      {"empty value is not missing", &kMain, "Colors", "Empty", TKind::String, "dflt", ""},
      {"default on missing file", nullptr, "Strings", "s1", TKind::String, "dflt", "dflt"},

      {"CRLF value", &kCrLf, "A", "K", TKind::String, "dflt", "v"},
      {"CRLF number", &kCrLf, "A", "N", TKind::Integer, "0", "16"},
      {"CRLF quotes", &kCrLf, "A", "Q", TKind::String, "dflt", "x"},
      {"CRLF next section", &kCrLf, "b", "k", TKind::String, "dflt", "b"},
      {"byte order mark before the first section", &kBom, "Language", "Ext", TKind::String, "",
       "rus"},

      {"long value cut", &kLong, "L", "Plain", TKind::String, "", Repeat('p', 2047)},
      {"long quoted value cut after the quotes", &kLong, "L", "Quoted", TKind::String, "",
       Repeat('q', 2047)},
      {"value of exactly the limit", &kLong, "L", "Edge", TKind::String, "", Repeat('e', 2047)},
  };
  return cases;
}

TEST(IniFileTest, FollowsTheIniRules) {
  TTempFolder folder;
  for (const TIniCase& c : Cases()) {
    SCOPED_TRACE(c.Title);
    const std::filesystem::path file =
        c.File ? folder.Write("case.ini", *c.File) : folder.Path() / "missing.ini";
    const TIniFile ini(file);
    std::string got;
    switch (c.Kind) {
      case TKind::String:
        got = ini.ReadString(c.Section, c.Key, c.Default);
        break;
      case TKind::Integer:
        got = std::to_string(ini.ReadInteger(c.Section, c.Key, std::stoi(c.Default)));
        break;
      case TKind::Flag:
        got = std::to_string(ini.ReadBool(c.Section, c.Key, c.Default == "1") ? 1 : 0);
        break;
    }
    EXPECT_EQ(got, c.Expected);
  }
}

TEST(IniFileTest, SectionExists) {
  TTempFolder folder;
  const TIniFile ini(folder.Write("s.ini", kMain + "[EmptyOne]\n"));
  EXPECT_TRUE(ini.SectionExists("COLORS"));
  EXPECT_TRUE(ini.SectionExists("Spaced"));
  EXPECT_TRUE(ini.SectionExists("emptyone"));
  EXPECT_FALSE(ini.SectionExists("Nothing"));
  EXPECT_FALSE(TIniFile(folder.Path() / "none.ini").SectionExists("Colors"));
}

TEST(IniFileTest, ReadsTheFileOnlyOnce) {
  TTempFolder folder;
  const std::filesystem::path file = folder.Write("once.ini", "[A]\nK=first\n");
  const TIniFile ini(file);
  folder.Write("once.ini", "[A]\nK=second\n");
  EXPECT_EQ(ini.ReadString("A", "K", ""), "first");
  EXPECT_EQ(ReadWholeFile(file), "[A]\nK=second\n");  // and never writes it
}

TEST(IniFileTest, ValuesAreRawBytes) {
  TTempFolder folder;
  const std::string cp1251 = "\xCF\xF0\xE8\xE2\xE5\xF2";  // "Привет" in Windows-1251
  const TIniFile ini(folder.Write("raw.ini", "[Strings]\ns1=" + cp1251 + "\n"));
  EXPECT_EQ(ini.ReadString("Strings", "s1", ""), cp1251);
}

}  // namespace
