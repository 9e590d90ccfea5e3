// The document as JSON: PAT files through JSON and back byte for byte, the format itself, and JSON
// that is refused with its place and rule, the PAT file left alone.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <optional>

#include "DocSupport.h"
#include "PatJson.h"

using namespace DocSupport;

class PatJsonTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetDocument(); }
  std::string Path(const char* Name) { return (Dir / Name).string(); }
  TTempDir Dir;
  std::string Json, Error;
};

TEST_F(PatJsonTest, PatFilesComeBackByteForByte) {
  std::vector<TFunlight> Many;
  for (int i = 0; i < 255; ++i)
    Many.push_back(Normal(i, i * 257, i % 2, {Frame(i, {Cell(i, i, 3, 4)})}));
  const std::pair<const char*, std::vector<TFunlight>> Documents[] = {
      {"normal",
       {Normal(1, 0x1234, true, {Frame(500, {Cell(1, 200, 15, 8)}), Frame(65535, {})}),
        Normal(0x94, 65535, false, {Frame(7, {Cell(7, 0, 1, 2), Cell(255, 15, 0, 15)})}),
        Normal(0x0A, 9, true, {}), Normal(2, 0, false, {})}},
      {"uneven clublight",
       {Club(0x0A, {Row(1, 1000, 100, {{15, 0, 0, 50}, {0, 15, 9, 0}}),
                    Row(3, 65535, 0, {{1, 2, 3, 255}}), Row(4, 0, 7, {})})}},
      {"unknown types",
       {Other(7, 0x80, 3, {0x00, 0xFF, 0x12}), Other(0, 1, 0, {}),
        Other(255, 0xFF, 255, Bytes(65535, 0xA5))}},
      {"no funlights", {}},
      {"255 funlights", Many}};
  const auto BackAgain = [&](const std::string& File) {
    SCOPED_TRACE(File);
    ASSERT_TRUE(PatJson::PatFileToJson(File, Json, Error)) << Error;
    Dir.Write("in.json", Json);
    ASSERT_TRUE(PatJson::JsonFileToPat(Path("in.json"), Path("out.pat"), Error)) << Error;
    EXPECT_EQ(ReadBytes(Path("out.pat")), ReadBytes(File));
  };
  BackAgain(GLOWSMITH_SAMPLES "/funlight.pat");
  for (const auto& [Name, List] : Documents) {
    SetDocument(List);
    WritePat(Path(Name));
    BackAgain(Path(Name));
  }
  EXPECT_FALSE(PatJson::JsonFileToPat(Path("in.json"), Path("no/out.pat"), Error));
  EXPECT_EQ(Error, Path("no/out.pat") + ": File not found");
}

// Names and their order; a cell or step on a line of its own.
TEST_F(PatJsonTest, WritesReadableNamesOneCellALine) {
  // A count that promises more frames or cells than there are gives them as the PAT writer does.
  const std::string Text = PatJson::Write(
      {Other(NormalType, 0x0A, 2, {}, {{500, 2, {Cell(1, 15, 0, 8)}}}),
       Club(0x94, {Row(2, 1000, 100, {{15, 0, 0, 50}, {}})}), Other(7, 1, 3, {0xAB, 0x01})});
  EXPECT_EQ(nlohmann::ordered_json::parse(Text).dump(),
            R"({"funlights":[{"id":"0A","type":"normal","headValue":0,"repeat":false,"frames":[)"
            R"({"duration":500,"cells":[{"element":1,"r":15,"g":0,"b":8},{"element":0,"r":0,)"
            R"("g":0,"b":0}]},{"duration":0,"cells":[]}]},{"id":"94","type":)"
            R"("clublight","rows":[{"element":2,"upperFrequency":1000,"lowerFrequency":100,)"
            R"("steps":[{"r":15,"g":0,"b":0,"param":50},{"r":0,"g":0,"b":0,"param":0}]}]},)"
            R"({"id":"01","type":7,"frameCount":3,"data":"AB01"}]})");
  EXPECT_NE(Text.find("\n            {\"r\": 15, \"g\": 0, \"b\": 0, \"param\": 50},\n"),
            Text.npos);
  std::vector<TFunlight> Read;
  ASSERT_TRUE(PatJson::Read(
      R"({"funlights": [{"id": "af", "type": 0, "frameCount": 1, "data": "0a"}]})", Read, Error));
  EXPECT_EQ(Describe(Read), Describe({Other(0, 0xAF, 1, {0x0A})}));
}

// Each case changes one value of a good document (removes it when there is no new value); an empty
// place stands for the whole text (no value: no file).
TEST_F(PatJsonTest, RefusesJsonWithItsPlaceAndRuleAndLeavesThePatFile) {
  using nlohmann::ordered_json;
  const ordered_json Good = ordered_json::parse(
      PatJson::Write({Normal(1, 0, false, {Frame(1, {Cell(1, 2, 3, 4)})}),
                      Club(2, {Row(1, 1, 2, {{1, 0, 0, 0}})}), Other(3, 3, 0, {0})}));
  std::string Many = "[";
  for (int i = 0; i < 256; ++i) Many += Good["funlights"][2].dump() + (i < 255 ? "," : "]");
  const std::string Type =
      R"(must be "normal", "clublight" or the number of another type (0, 3 to 255))";
  const std::string Word = "must be a whole number from 0 to 65535",
                    Hex = "must be two hexadecimal digits";
  const std::string Byte = "must be a whole number from 0 to 255";
  const std::tuple<std::string, std::optional<std::string>, std::string> Cases[] = {
      {"", "{",
       "line 1, column 2: syntax error while parsing object key - unexpected end of "
       "input; expected string literal"},
      {"", "[]", "/: must be an object"},
      {"", {}, "File not found"},
      {"/a~1b~0", "1", "is not a known key"},
      {"/funlights", {}, "missing"},
      {"/funlights", "{}", "must be an array"},
      {"/funlights", Many, "must have at most 255 entries"},
      {"/funlights/0/frames", Many, "must have at most 255 entries"},
      {"/funlights/0/frames/0/cells", Many, "must have at most 255 entries"},
      {"/funlights/1/rows", Many, "must have at most 255 entries"},
      {"/funlights/1/rows/0/steps", Many, "must have at most 255 entries"},
      {"/funlights/0", "1", "must be an object"},
      {"/funlights/0/type", "1", Type},
      {"/funlights/2/type", "256", Type},
      {"/funlights/0/id", R"("1G")", Hex},
      {"/funlights/1/id", R"("0102")", Hex},
      {"/funlights/0/headValue", "65536", Word},
      {"/funlights/0/repeat", "0", "must be true or false"},
      {"/funlights/0/frames/0/duration", "1.0", Word},
      {"/funlights/0/frames/0/cells/0/element", "256", Byte},
      {"/funlights/0/frames/0/cells/0/g", "16", "must be a whole number from 0 to 15"},
      {"/funlights/0/frames/0/cells/0/b", {}, "missing"},
      {"/funlights/1/rows/0/steps/0/param", "256", Byte},
      {"/funlights/2/data", R"("ABC")", "must be hexadecimal digits, two per byte"},
      {"/funlights/2/data", '"' + std::string(131072, 'F') + '"', "must hold at most 65535 bytes"}};
  const Bytes Old = {1, 1, 0, 0, 0};
  WriteBytes(Dir / "out.pat", Old);
  for (const auto& [Place, Value, Rule] : Cases) {
    ordered_json Doc = Good;
    const ordered_json::json_pointer At(Place);
    if (!Place.empty() && Value) Doc[At] = ordered_json::parse(*Value);
    if (!Place.empty() && !Value) Doc[At.parent_pointer()].erase(At.back());
    fs::remove(Dir / "in.json");
    if (!Place.empty()) Dir.Write("in.json", Doc.dump());
    if (Place.empty() && Value) Dir.Write("in.json", *Value);
    // Neither an existing PAT file nor a new one is touched.
    EXPECT_FALSE(PatJson::JsonFileToPat(Path("in.json"), Path("out.pat"), Error) ||
                 PatJson::JsonFileToPat(Path("in.json"), Path("new.pat"), Error));
    EXPECT_EQ(std::tuple(Error, ReadBytes(Path("out.pat")), fs::exists(Dir / "new.pat")),
              std::tuple(Path("in.json") + ": " + (Place.empty() ? "" : Place + ": ") + Rule, Old,
                         false));
  }
}
