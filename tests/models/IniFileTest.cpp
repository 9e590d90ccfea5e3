#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>

#include "DocSupport.h"
#include "IniFile.h"

TEST(IniFileTest, IntegerSyntax) {
  const std::pair<const char*, std::optional<int32_t>> cases[] = {// clang-format off
      {"5", 5}, {"+42", 42}, {"-1", -1}, {"0", 0}, {"$FF", 255}, {"0xFF", 255}, {"0XfF", 255},
      {"-$10", -16}, {"$0000000001", 1}, {"$FFFFFFFF", -1}, {"0x80000000", INT32_MIN},
      {"-2147483648", INT32_MIN}, {"2147483647", INT32_MAX}, {"2147483648", {}},
      {"-2147483649", {}}, {"99999999999999999999", {}}, {"$100000000", {}}, {"$", {}},
      {"0x", {}}, {"$FG", {}}, {"abc", {}}, {"12abc", {}}, {"1 2", {}}, {"", {}}, {"-", {}}};
  // clang-format on
  for (const auto& [text, value] : cases) EXPECT_EQ(IniText::ParseInteger(text), value) << text;
}

TEST(IniFileTest, LooksUpValuesAsWindowsDoes) {
  DocSupport::TTempDir folder;
  const TIniFile ini(folder.Write(
      "case.ini",
      "\xEF\xBB\xBF; comment\r\nOrphan=1\n[Strings]\n  s1 =  Open file \t\r\n"
      "S2=\"Quoted  \"\ns3='Single'\ns4=\"Unbalanced'\ns5=\"\ns6=a=b=c\ns7=\"\"\n"
      "s8=\"In\"side\"\n  ;s9=commented\n#s10=x\nno equals sign\ns11=\ns1=second\n"
      "n1=$10\nn2=\"12\"\nn3=x\nraw=\xCF\xF0\xE8\n[ Spaced ]\nk=w\n[strings]\nExtra=1\n[L]\n"
      "Plain=" +
          std::string(3000, 'p') + "\nQuoted=\"" + std::string(2100, 'q') + "\"\n"));
  const TIniFile none(folder.Path() / "missing.ini");
  // Section, key, value; "?" is the default.
  const std::tuple<const char*, const char*, std::string> cases[] = {
      // clang-format off
      {"STRINGS", "S1", "Open file"},  // names without regard to case; the first one counts
      {"Strings", "s2", "Quoted  "}, {"Strings", "s3", "Single"}, {"Strings", "s5", "\""},
      {"Strings", "s4", "\"Unbalanced'"}, {"Strings", "s6", "a=b=c"}, {"Strings", "s7", ""},
      {"Strings", "s8", "In\"side"}, {"Strings", ";s9", "?"}, {"Strings", "#s10", "?"},
      {"Strings", "no equals sign", "?"}, {"Strings", "s11", ""}, {"Spaced", "K", "w"},
      {"Strings", "raw", "\xCF\xF0\xE8"}, {"Strings", "Extra", "?"}, {"", "Orphan", "?"},
      {"Nothing", "s1", "?"}, {"L", "Plain", std::string(2047, 'p')},
      {"L", "Quoted", std::string(2047, 'q')}};
  // clang-format on
  for (const auto& [section, key, value] : cases) {
    EXPECT_EQ(ini.ReadString(section, key, "?"), value) << key;
    EXPECT_EQ(none.ReadString(section, key, "?"), "?") << key;
  }
  EXPECT_EQ(
      std::tuple(ini.ReadInteger("Strings", "n1", 0), ini.ReadInteger("Strings", "n2", 0),
                 ini.ReadInteger("Strings", "n3", -2), ini.ReadInteger("Strings", "none", -2)),
      std::tuple(16, 12, -2, -2));  // the quotes go first
  EXPECT_TRUE(ini.ReadBool("Strings", "n1", false) && !ini.ReadBool("Strings", "n3", false) &&
              ini.ReadBool("Strings", "n3", true));
  EXPECT_TRUE(ini.SectionExists("spaced") && !ini.SectionExists("Nothing") &&
              !none.SectionExists("Strings"));
}

TEST(IniFileTest, ReadsTheFileOnce) {
  DocSupport::TTempDir folder;
  const TIniFile ini(folder.Write("once.ini", "[A]\nK=first\nZ=0\n"));
  folder.Write("once.ini", "[A]\nK=second\n");
  EXPECT_TRUE(ini.ReadString("A", "K", "") == "first" && !ini.ReadBool("A", "Z", true));
}
