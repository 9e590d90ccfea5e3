#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <string>

#include "OptionsCases.h"
#include "OptionsStore.h"
#include "TempFolder.h"

namespace {

namespace fs = std::filesystem;

TEST(OptionsStoreTest, OptionCasesOnTheOptionsFile) {
  for (const OptionsCases::TCase& c : OptionsCases::Cases()) {
    SCOPED_TRACE(c.Title);
    TTempFolder folder;
    const fs::path file = folder.Path() / "Glowsmith" / "options.ini";
    TIniOptionsStore store(file);
    OptionsCases::Run(
        store, c, [](bool ok, const std::string& what) { EXPECT_TRUE(ok) << what; },
        [&](const std::string& path) {
          folder.Write("Glowsmith/options.ini", "[" + path + "]\n");
        });
  }
}

TEST(OptionsStoreTest, FirstSaveWritesThisFileAndNothingElse) {
  TTempFolder folder;
  const fs::path file = folder.Path() / "deep" / "er" / "options.ini";
  TIniOptionsStore store(file);
  EXPECT_FALSE(store.KeyExists("Software"));
  store.DeleteKeyTree("Software");
  EXPECT_FALSE(fs::exists(file.parent_path()));  // reading and deleting create nothing
  SaveStoredOptions(store, ReadStoredOptions(store));
  EXPECT_EQ(ReadWholeFile(file),
            "[Software\\Nerevy's\\Glowsmith 2\\Profile settings]\nLanguage=English\n"
            "Profile=Motorola (All Models)\n\n[Software\\Nerevy's\\Glowsmith 2\\Options]\n"
            "HideUnusedSlots=1\nOuterDisplayOnInner=0\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), fs::directory_iterator()), 1);
}

TEST(OptionsStoreTest, ValuesReadBackExactly) {
  TTempFolder folder;
  TIniOptionsStore store(folder.Path() / "options.ini");
  for (const char* value :
       {"Motorola (All Models)", "", "  padded\t", "\"quoted\"", "'single'", "\"", "a=b",
        "; not a comment", "[not a section]", "\xD0\xA0\xD1\x83"}) {
    store.WriteString("Software\\Test", "Value", value);
    store.WriteString("Software\\Test", "After", "next");
    EXPECT_EQ(store.ReadString("Software\\Test", "Value"), std::string(value)) << value;
    EXPECT_EQ(store.ReadString("Software\\Test", "After"), std::string("next")) << value;
  }
  store.WriteString("Software\\Test", "Value", "two\r\nlines");  // a line break cannot be kept
  EXPECT_EQ(store.ReadString("Software\\Test", "Value"), std::string("two  lines"));
}

TEST(OptionsStoreTest, KeysAndValuesOfTheFile) {
  TTempFolder folder;
  TIniOptionsStore store(
      folder.Write("options.ini",
                   "[Software\\A\\B]\nName=first\nname=second\n[software\\a\\b]\n"
                   "Other=x\n[Software\\AB]\nName=ab\n[Software\\C\\D\\E]\nName=e\n"));
  EXPECT_EQ(store.ReadString("SOFTWARE\\a\\b", "NAME"), std::string("first"));
  EXPECT_EQ(store.ReadString("Software\\A\\B", "Other"), std::nullopt);  // first section only
  EXPECT_EQ(store.ReadString("Software\\A\\B", "Missing"), std::nullopt);
  EXPECT_EQ(store.ReadString("Software\\A", "Name"), std::nullopt);
  for (const char* key : {"Software\\A", "software\\a\\b", "Software\\C\\D", "Software"})
    EXPECT_TRUE(store.KeyExists(key)) << key;
  for (const char* key : {"Software\\A\\B\\C", "Software\\C\\D\\E\\F", "Software\\C\\", "Soft"})
    EXPECT_FALSE(store.KeyExists(key)) << key;

  store.WriteString("Software\\a\\B", "name", "changed");
  EXPECT_EQ(store.ReadString("Software\\A\\B", "Name"), std::string("changed"));
  store.DeleteKeyTree("software\\a");
  EXPECT_FALSE(store.KeyExists("Software\\A"));
  EXPECT_EQ(store.ReadString("Software\\AB", "Name"), std::string("ab"));
  EXPECT_EQ(store.ReadString("Software\\C\\D\\E", "Name"), std::string("e"));
}

TEST(OptionsStoreTest, UnwritablePlaceLosesTheValueQuietly) {
  TTempFolder folder;
  // The folder of the options file would have to be where a plain file already is.
  const fs::path blocker = folder.Write("blocker", "x");
  TIniOptionsStore store(blocker / "options.ini");
  store.WriteString("Software\\A", "Name", "v");
  EXPECT_EQ(store.ReadString("Software\\A", "Name"), std::nullopt);
  EXPECT_EQ(ReadWholeFile(blocker), "x");
}

TEST(OptionsStoreTest, OptionsFileFollowsXdgConfigHome) {
  TTempFolder folder;
  const std::string home = (folder.Path() / "home").string();
  const std::string config = (folder.Path() / "config").string();
  const std::string fallback = home + "/.config/Glowsmith/options.ini";
  const char* oldHome = getenv("HOME");
  const std::string savedHome = oldHome ? oldHome : "";
  setenv("HOME", home.c_str(), 1);
  for (const char* xdg : {"", "relative/config", config.c_str()}) {
    setenv("XDG_CONFIG_HOME", xdg, 1);
    EXPECT_EQ(UserOptionsFilePath(), *xdg == '/' ? config + "/Glowsmith/options.ini" : fallback);
  }
  SaveStoredOptions(*CreateUserOptionsStore(), {"Russian", "Motorola V3", false, true});
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(UserOptionsFilePath(), fallback);
  TIniOptionsStore direct(fs::path(config) / "Glowsmith" / "options.ini");
  EXPECT_EQ(ReadStoredOptions(direct), (TStoredOptions{"Russian", "Motorola V3", false, true}));
  EXPECT_FALSE(fs::exists(home));
  oldHome ? setenv("HOME", savedHome.c_str(), 1) : unsetenv("HOME");
}

}  // namespace
