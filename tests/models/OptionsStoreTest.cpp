#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <string>

#include "DocSupport.h"
#include "OptionsStore.h"

namespace fs = std::filesystem;

const std::string kFormer = "[Software\\Glowsmith 2\\";
const std::string kCurrent = "[Software\\Nerevy's\\Glowsmith 2\\";

// The options as they are kept: "Language|Profile|1|0|0".
static std::string Text(const TStoredOptions& o) {
  return o.Language + "|" + o.Profile + (o.HideUnusedSlots ? "|1" : "|0") +
         (o.OuterDisplayOnInner ? "|1" : "|0") + (o.AskToSave ? "|1" : "|0");
}

TEST(OptionsStoreTest, ReadsTheOptionsOnceFromTheFormerPathAndSavesThemToTheCurrentOne) {
  const std::string settings = "Profile settings]\n", options = "Options]\n";
  // The options file before the start, the options read.
  const std::pair<std::string, std::string> cases[] = {
      // clang-format off
      {"", "English|Motorola (All Models)|1|0|0"},
      {kFormer + settings + "Language=Russian\nProfile=Motorola V3\n" + kFormer + options +
       "HideUnusedSlots=0\nOuterDisplayOnInner=1\nAskToSaveChanges=1\n", "Russian|Motorola V3|0|1|1"},
      {kCurrent + settings + "Language=Russian\n" + kCurrent + options + "OuterDisplayOnInner=0\n" + kFormer +
       settings + "Language=German\n" + kFormer + options + "OuterDisplayOnInner=1\n", "German|Motorola (All Models)|1|1|0"},
      // An empty language becomes English on the current path only; a flag yes counts as missing.
      {kCurrent + settings + "Language=\nProfile=\n" + kCurrent + options + "HideUnusedSlots=yes\n"
       "OuterDisplayOnInner=yes\n", "English||1|0|0"},
      {kFormer + settings + "Language=\n" + kFormer + options + "HideUnusedSlots=yes\nOuterDisplayOnInner=\" -1 \"\n",
       "|Motorola (All Models)|1|1|0"},
      {"[Software\\Glowsmith 2]\n", "English|Motorola (All Models)|1|0|0"},
      {"[SOFTWARE\\glowsmith 2\\OPTIONS]\nouterdisplayoninner=1\n", "English|Motorola (All Models)|1|1|0"},
      {"[Software\\Glowsmith 2 Beta\\Options]\nHideUnusedSlots=0\n", "English|Motorola (All Models)|1|0|0"},
      // clang-format on
  };
  for (const auto& [file, expected] : cases) {
    SCOPED_TRACE(file);
    DocSupport::TTempDir folder;
    TIniOptionsStore store(folder.Write("options.ini", file));
    const bool hadFormer = store.KeyExists("Software\\Glowsmith 2");
    const TStoredOptions read = ReadStoredOptions(store);
    EXPECT_EQ(Text(read), expected);
    EXPECT_FALSE(store.KeyExists("Software\\Glowsmith 2"));
    EXPECT_EQ(store.KeyExists("Software\\Glowsmith 2 Beta"),
              file.find("Beta") != std::string::npos);
    // Moved to the current path at once; otherwise reading alone writes nothing. The next start
    // reads back what was moved or saved; an empty language becomes English then.
    EXPECT_EQ(DocSupport::ReadBytes<std::string>(folder / "options.ini") == file, !hadFormer);
    if (!hadFormer) SaveStoredOptions(store, read);
    EXPECT_EQ(Text(ReadStoredOptions(store)), (read.Language.empty() ? "English" : "") + expected);
  }
}

TEST(OptionsStoreTest, FirstSaveWritesThisFileAndNothingElse) {
  DocSupport::TTempDir folder;
  const fs::path file = folder.Path() / "deep" / "er" / "options.ini";
  TIniOptionsStore store(file);
  store.DeleteKeyTree("Software");  // reading and deleting create nothing
  EXPECT_TRUE(!store.KeyExists("Software") && !fs::exists(file.parent_path()));
  SaveStoredOptions(store, ReadStoredOptions(store));
  EXPECT_EQ(DocSupport::ReadBytes<std::string>(file),
            "[Software\\Nerevy's\\Glowsmith 2\\Profile settings]\nLanguage=English\n"
            "Profile=Motorola (All Models)\n\n[Software\\Nerevy's\\Glowsmith 2\\Options]\n"
            "HideUnusedSlots=1\nOuterDisplayOnInner=0\nAskToSaveChanges=0\n");
  // The folder of the options file would have to be where a plain file is: the value is lost.
  TIniOptionsStore blocked(folder.Write("blocker", "x") / "options.ini");
  blocked.WriteString("Software\\A", "Name", "v");
  EXPECT_EQ(blocked.ReadString("Software\\A", "Name"), std::nullopt);
  EXPECT_EQ(DocSupport::ReadBytes<std::string>(folder.Path() / "blocker"), "x");
}

TEST(OptionsStoreTest, KeysAndValuesOfTheFile) {
  DocSupport::TTempDir folder;
  TIniOptionsStore store(
      folder.Write("options.ini",
                   "[Software\\A\\B]\nName=first\nname=second\n[software\\a\\b]\nOther=x\n"
                   "[Software\\AB]\nName=ab\n[Software\\C\\D\\E]\nName=e\n"));
  EXPECT_EQ(store.ReadString("SOFTWARE\\a\\b", "NAME"), std::string("first"));
  for (const char* name : {"Other", "Missing"})  // the first section only
    EXPECT_EQ(store.ReadString("Software\\A\\B", name), std::nullopt);
  EXPECT_EQ(store.ReadString("Software\\A", "Name"), std::nullopt);
  for (const char* key : {"Software\\A", "software\\a\\b", "Software\\C\\D", "Software"})
    EXPECT_TRUE(store.KeyExists(key)) << key;
  for (const char* key : {"Software\\A\\B\\C", "Software\\C\\D\\E\\F", "Software\\C\\", "Soft"})
    EXPECT_FALSE(store.KeyExists(key)) << key;
  for (const char* value :
       {"Motorola (All Models)", "", "\ttab", "space ", "\"quoted\"", "\"\"", "'single'", "\"",
        "a=b", "; not a comment", "[not a section]", "\xD0\xA0"}) {
    store.WriteString("Software\\a\\B", "name", value);
    EXPECT_EQ(store.ReadString("Software\\A\\B", "Name"), std::string(value)) << value;
  }
  store.WriteString("Software\\A\\B", "Name", "two\r\nlines");  // one line per value
  EXPECT_EQ(store.ReadString("Software\\A\\B", "Name"), std::string("two  lines"));
  store.DeleteKeyTree("software\\a");
  EXPECT_TRUE(!store.KeyExists("Software\\A") && store.ReadString("Software\\AB", "Name") == "ab" &&
              store.ReadString("Software\\C\\D\\E", "Name") == "e");
}

TEST(OptionsStoreTest, OptionsFileFollowsXdgConfigHome) {
  DocSupport::TTempDir folder;
  const std::string home = (folder / "home").string(), config = (folder / "config").string();
  const char* oldHome = getenv("HOME");
  const std::string savedHome = oldHome ? oldHome : "";
  setenv("HOME", home.c_str(), 1);
  for (const char* xdg : {"", "relative/config", config.c_str()}) {
    setenv("XDG_CONFIG_HOME", xdg, 1);
    EXPECT_EQ(UserOptionsFilePath(),
              (*xdg == '/' ? config : home + "/.config") + "/Glowsmith/options.ini");
  }
  SaveStoredOptions(*CreateUserOptionsStore(), {"Russian", "Motorola V3", false, true});
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(UserOptionsFilePath(), home + "/.config/Glowsmith/options.ini");
  TIniOptionsStore direct(fs::path(config) / "Glowsmith" / "options.ini");
  EXPECT_EQ(Text(ReadStoredOptions(direct)), "Russian|Motorola V3|0|1|0");
  EXPECT_FALSE(fs::exists(home));
  oldHome ? setenv("HOME", savedHome.c_str(), 1) : unsetenv("HOME");
}
