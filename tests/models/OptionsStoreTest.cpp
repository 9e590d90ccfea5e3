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
          // A key without values is a section without entries.
          fs::create_directories(file.parent_path());
          std::ofstream(file, std::ios::app) << "[" << path << "]\n";
        });
  }
}

TEST(OptionsStoreTest, FirstSaveWritesThisFile) {
  TTempFolder folder;
  const fs::path file = folder.Path() / "deep" / "er" / "options.ini";
  TIniOptionsStore store(file);
  SaveStoredOptions(store, ReadStoredOptions(store));
  EXPECT_EQ(ReadWholeFile(file),
            "[Software\\Nerevy's\\Glowsmith 2\\Profile settings]\n"
            "Language=English\n"
            "Profile=Motorola (All Models)\n"
            "\n"
            "[Software\\Nerevy's\\Glowsmith 2\\Options]\n"
            "HideUnusedSlots=1\n"
            "OuterDisplayOnInner=0\n");
  // Nothing but the file itself is left in its folder.
  int entries = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(file.parent_path())) ++entries;
  EXPECT_EQ(entries, 1);
}

TEST(OptionsStoreTest, ValuesReadBackExactly) {
  TTempFolder folder;
  TIniOptionsStore store(folder.Path() / "options.ini");
  const struct {
    const char* Value;
    const char* ReadBack;
  } cases[] = {
      {"Motorola (All Models)", "Motorola (All Models)"},
      {"", ""},
      {"  padded\t", "  padded\t"},
      {"\"quoted\"", "\"quoted\""},
      {"'single'", "'single'"},
      {"\"", "\""},
      {"a=b", "a=b"},
      {"; not a comment", "; not a comment"},
      {"[not a section]", "[not a section]"},
      {"\xD0\xA0\xD1\x83\xD1\x81\xD1\x81\xD0\xBA\xD0\xB8\xD0\xB9",
       "\xD0\xA0\xD1\x83\xD1\x81\xD1\x81\xD0\xBA\xD0\xB8\xD0\xB9"},
      {"two\nlines", "two lines"},  // a line break cannot live in one line
  };
  for (const auto& c : cases) {
    store.WriteString("Software\\Test", "Value", c.Value);
    store.WriteString("Software\\Test", "After", "next");
    EXPECT_EQ(store.ReadString("Software\\Test", "Value"), std::string(c.ReadBack)) << c.Value;
    EXPECT_EQ(store.ReadString("Software\\Test", "After"), std::string("next")) << c.Value;
  }
}

TEST(OptionsStoreTest, KeysAndValuesOfTheFile) {
  TTempFolder folder;
  const fs::path file =
      folder.Write("options.ini",
                   "[Software\\A\\B]\nName=first\nname=second\n[software\\a\\b]\nOther=x\n"
                   "[Software\\AB]\nName=ab\n[Software\\C\\D\\E]\nName=e\n");
  TIniOptionsStore store(file);

  EXPECT_EQ(store.ReadString("SOFTWARE\\a\\b", "NAME"), std::string("first"));
  EXPECT_EQ(store.ReadString("Software\\A\\B", "Other"), std::nullopt);  // first section only
  EXPECT_EQ(store.ReadString("Software\\A\\B", "Missing"), std::nullopt);
  EXPECT_EQ(store.ReadString("Software\\A", "Name"), std::nullopt);

  EXPECT_TRUE(store.KeyExists("Software\\A"));
  EXPECT_TRUE(store.KeyExists("software\\a\\b"));
  EXPECT_TRUE(store.KeyExists("Software\\C\\D"));  // a key between two sections
  EXPECT_TRUE(store.KeyExists("Software"));
  EXPECT_FALSE(store.KeyExists("Software\\A\\B\\C"));
  EXPECT_FALSE(store.KeyExists("Software\\C\\D\\E\\F"));
  EXPECT_FALSE(store.KeyExists("Software\\C\\"));
  EXPECT_FALSE(store.KeyExists("Soft"));

  store.WriteString("Software\\a\\B", "name", "changed");
  EXPECT_EQ(store.ReadString("Software\\A\\B", "Name"), std::string("changed"));

  store.DeleteKeyTree("software\\a");
  EXPECT_FALSE(store.KeyExists("Software\\A"));
  EXPECT_FALSE(store.KeyExists("Software\\A\\B"));
  EXPECT_EQ(store.ReadString("Software\\AB", "Name"), std::string("ab"));
  EXPECT_EQ(store.ReadString("Software\\C\\D\\E", "Name"), std::string("e"));

  store.DeleteKeyTree("Software\\Missing");
  EXPECT_TRUE(store.KeyExists("Software\\AB"));
}

TEST(OptionsStoreTest, MissingFileCreatesNothingUntilWritten) {
  TTempFolder folder;
  const fs::path file = folder.Path() / "sub" / "options.ini";
  TIniOptionsStore store(file);
  EXPECT_FALSE(store.KeyExists("Software"));
  EXPECT_EQ(store.ReadString("Software", "x"), std::nullopt);
  store.DeleteKeyTree("Software");
  EXPECT_FALSE(fs::exists(file.parent_path()));
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

// Sets an environment variable for the life of the object and restores it afterwards.
class TEnvironment {
 public:
  TEnvironment(const char* name, const char* value) : Name(name) {
    if (const char* old = getenv(name)) Old = old;
    value ? setenv(name, value, 1) : unsetenv(name);
  }
  ~TEnvironment() { Old ? setenv(Name, Old->c_str(), 1) : unsetenv(Name); }

 private:
  const char* Name;
  std::optional<std::string> Old;
};

TEST(OptionsStoreTest, OptionsFileFollowsXdgConfigHome) {
  TTempFolder folder;
  const std::string home = (folder.Path() / "home").string();
  const std::string config = (folder.Path() / "config").string();
  TEnvironment homeVariable("HOME", home.c_str());

  const struct {
    const char* Title;
    const char* Xdg;  // nullptr: unset
    std::string Expected;
  } cases[] = {
      {"set", config.c_str(), config + "/Glowsmith/options.ini"},
      {"unset", nullptr, home + "/.config/Glowsmith/options.ini"},
      {"empty", "", home + "/.config/Glowsmith/options.ini"},
      {"relative", "relative/config", home + "/.config/Glowsmith/options.ini"},
  };
  for (const auto& c : cases) {
    TEnvironment xdg("XDG_CONFIG_HOME", c.Xdg);
    EXPECT_EQ(UserOptionsFilePath().string(), c.Expected) << c.Title;
  }

  TEnvironment xdg("XDG_CONFIG_HOME", config.c_str());
  std::unique_ptr<IOptionsStore> store = CreateUserOptionsStore();
  SaveStoredOptions(*store, {"Russian", "Motorola V3", false, true});
  TIniOptionsStore direct(fs::path(config) / "Glowsmith" / "options.ini");
  EXPECT_EQ(ReadStoredOptions(direct), (TStoredOptions{"Russian", "Motorola V3", false, true}));
  EXPECT_FALSE(fs::exists(home));
}

}  // namespace
