#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "DataFiles.h"
#include "TempFolder.h"

namespace {

using TNames = std::vector<std::string>;

TEST(DataFilesTest, FileBaseNameCutsBeforeTheFirstDot) {
  const struct {
    const char* Name;
    const char* Expected;
  } cases[] = {
      {"Motorola (All Models).prof", "Motorola (All Models)"},
      {"A.B.prof", "A"},
      {"English.lng", "English"},
      {"About.eng", "About"},
      {"noext", "noext"},
      {".prof", ""},
      {"/opt/some.dir/Russian.lng", "Russian"},
      {"Profiles\\V3.skin", "V3"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FileBaseName(c.Name), c.Expected) << c.Name;
  }
}

TEST(DataFilesTest, ListsBaseNamesSortedWithoutRegardToCase) {
  TTempFolder folder;
  for (const char* name : {"B.prof", "A.prof", "c.PROF", "A.B.prof", "Motorola (All Models).prof",
                           "notes.txt", "prof", ".prof", "x.profile", "y.pro", "B.prof.bak"}) {
    folder.Write(std::string("Profiles/") + name, "[Colors]\n");
  }
  std::filesystem::create_directories(folder.Path() / "Profiles" / "Images.prof");
  std::filesystem::create_directories(folder.Path() / "Profiles" / "Langs");
  folder.Write("Profiles/Langs/Inner.prof", "");

  const TNames expected = {"A", "B", "c", "Motorola (All Models)"};
  const std::string dir = (folder.Path() / "Profiles").string();
  EXPECT_EQ(ListBaseNames(dir, "prof"), expected);
  EXPECT_EQ(ListBaseNames(dir, ".prof"), expected);
  EXPECT_EQ(ListBaseNames(dir, "PROF"), expected);
}

TEST(DataFilesTest, TwoFilesListedAsAThenB) {
  TTempFolder folder;
  folder.Write("Languages/B.lng", "");
  folder.Write("Languages/A.lng", "");
  EXPECT_EQ(ListBaseNames((folder.Path() / "Languages").string(), "lng"), (TNames{"A", "B"}));
}

TEST(DataFilesTest, FileWithTwoDotsListedByItsFirstPart) {
  TTempFolder folder;
  folder.Write("Profiles/A.B.prof", "");
  EXPECT_EQ(ListBaseNames((folder.Path() / "Profiles").string(), "prof"), (TNames{"A"}));
}

TEST(DataFilesTest, EmptyOrMissingFolderGivesEmptyList) {
  TTempFolder folder;
  std::filesystem::create_directories(folder.Path() / "Empty");
  EXPECT_TRUE(ListBaseNames((folder.Path() / "Empty").string(), "prof").empty());
  EXPECT_TRUE(ListBaseNames((folder.Path() / "Missing").string(), "prof").empty());
  const std::filesystem::path file = folder.Write("plain.txt", "x");
  EXPECT_TRUE(ListBaseNames(file.string(), "prof").empty());
}

TEST(DataFilesTest, FindsADataFileWhateverTheCaseOfItsName) {
  TTempFolder folder;
  for (const char* name : {"Shout.LNG", "Exact.prof", "EXACT.prof", "b.Skin", "B.SKIN"})
    folder.Write(std::string("Data/") + name, "");
  std::filesystem::create_directories(folder.Path() / "Data" / "Dir.prof");
  const std::string dir = (folder.Path() / "Data").string() + "/";
  const struct {
    const char* Asked;
    const char* Found;  // nullptr: the path asked for
  } cases[] = {
      {"Shout.lng", "Shout.LNG"},   {"shout.lng", "Shout.LNG"},
      {"Exact.prof", "Exact.prof"},                         // the exact name first
      {"exact.PROF", "EXACT.prof"},                         // else the first in sorted order
      {"b.skin", "B.SKIN"},         {"dir.prof", nullptr},  // a folder is no data file
      {"Missing.lng", nullptr},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FindDataFile(dir + c.Asked), dir + (c.Found ? c.Found : c.Asked)) << c.Asked;
  }
  EXPECT_EQ(FindDataFile(dir + "Gone/Shout.lng"), dir + "Gone/Shout.lng");
}

}  // namespace
