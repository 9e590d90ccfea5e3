#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "DataFiles.h"
#include "DocSupport.h"

using TNames = std::vector<std::string>;

TEST(DataFilesTest, BaseNameIsTheNameBeforeTheFirstDot) {
  const char* const cases[][2] = {{"Motorola (All Models).prof", "Motorola (All Models)"},
                                  {"A.B.prof", "A"},
                                  {"noext", "noext"},
                                  {".prof", ""},
                                  {"/opt/a.dir/Russian.lng", "Russian"},
                                  {"Profiles\\V3.skin", "V3"}};
  for (const auto& c : cases) EXPECT_EQ(FileBaseName(c[0]), c[1]) << c[0];
}

TEST(DataFilesTest, ListsBaseNamesSortedWithoutRegardToCase) {
  DocSupport::TTempDir folder;
  for (const char* name : {"B.prof", "A.prof", "c.PROF", "A.B.prof", "Motorola (All Models).prof",
                           "notes.txt", "prof", ".prof", "x.profile", "B.prof.bak", "Langs/I.prof"})
    folder.Write(std::string("Profiles/") + name, "");
  std::filesystem::create_directories(folder.Path() / "Profiles" / "Images.prof");
  const std::string dir = (folder.Path() / "Profiles").string();
  for (const char* extension : {"prof", ".prof", "PROF"})
    EXPECT_EQ(ListBaseNames(dir, extension), (TNames{"A", "B", "c", "Motorola (All Models)"}));
  EXPECT_EQ(ListBaseNames((folder.Path() / "Missing").string(), "prof"), TNames{});
  EXPECT_EQ(ListBaseNames(dir + "/B.prof", "prof"), TNames{});
}

TEST(DataFilesTest, FindsADataFileWhateverTheCaseOfItsName) {
  DocSupport::TTempDir folder;
  for (const char* name : {"Shout.LNG", "Exact.prof", "EXACT.prof", "b.Skin", "B.SKIN"})
    folder.Write(std::string("Data/") + name, "");
  std::filesystem::create_directories(folder.Path() / "Data" / "Dir.prof");
  const std::string dir = (folder.Path() / "Data").string() + "/";
  // The exact name first, else the first in order.
  const char* const cases[][2] = {
      {"shout.lng", "Shout.LNG"},          {"b.skin", "B.SKIN"},     {"Exact.prof", "Exact.prof"},
      {"exact.PROF", "EXACT.prof"},        {"dir.prof", "dir.prof"}, {"Missing.lng", "Missing.lng"},
      {"Gone/Shout.lng", "Gone/Shout.lng"}};
  for (const auto& c : cases) EXPECT_EQ(FindDataFile(dir + c[0]), dir + c[1]) << c[0];
}

TEST(DataFilesTest, DataLiesBesideTheProgramOrInstalledInShare) {
  DocSupport::TTempDir folder;
  for (const char* dir : {"build/Languages", "usr/bin", "usr/share/glowsmith/Languages",
                          "both/bin/Languages", "both/share/glowsmith/Languages", "bare/bin"})
    std::filesystem::create_directories(folder.Path() / dir);
  const std::string root = folder.Path().string() + "/";
  const char* const cases[][2] = {{"build", "build"},
                                  {"usr/bin", "usr/share/glowsmith"},
                                  {"usr/bin/", "usr/share/glowsmith"},
                                  {"both/bin", "both/bin"},
                                  {"bare/bin", "bare/bin"}};
  for (const auto& c : cases) EXPECT_EQ(DataFolder(root + c[0]), root + c[1]) << c[0];
}
