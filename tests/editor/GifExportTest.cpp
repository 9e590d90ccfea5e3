// Animation export: the encoder's delay rule, and GIF files of the preview read back with giflib.
#include <gif_lib.h>

#include <cstring>

#include "EditorSupport.h"
#include "GifExport.h"

TEST(GifStepsTest, RoundsOnTheRunningTotalAndMergesZeroFrames) {
  // clang-format off
  const struct { std::vector<int> Durations; bool Loop; std::vector<GifExport::TStep> Steps; } cases[] = {
      {{150, 150}, true, {{0, 15}, {1, 15}}}, {{4, 4, 4}, true, {{0, 0}, {1, 1}, {2, 0}}},
      {{15, 15, 15, 15}, true, {{0, 2}, {1, 1}, {2, 2}, {3, 1}}},  // 1.5 each: 6 in all, never 8
      {{100, 0, 50}, true, {{0, 10}, {2, 5}}}, {{100, 0}, true, {{0, 10}}},  // merged with the first
      {{100, 0}, false, {{0, 10}, {1, 0}}}, {{100, 1}, false, {{0, 10}, {1, 0}}},  // played once
      {{0, 0}, true, {{1, 0}}}, {{}, false, {}}};
  // clang-format on
  for (const auto& c : cases)
    EXPECT_EQ(GifExport::Steps(c.Durations, c.Loop), c.Steps) << c.Durations.size() << c.Loop;
}

// The delays, the repeat count, the colour at (74, 62) in each frame and at (2, 2) in the first.
using TDecoded = std::tuple<std::vector<int>, std::optional<int>, std::vector<uint32_t>, uint32_t>;

TDecoded Decode(const QString& path) {
  GifFileType* gif = DGifOpenFileName(path.toLocal8Bit().constData(), nullptr);
  TDecoded d;
  auto& [delays, loops, colours, corner] = d;
  if (!gif || DGifSlurp(gif) != GIF_OK) return ADD_FAILURE() << path.toStdString(), d;
  const auto at = [gif](const SavedImage& image, int x, int y) {
    const GifImageDesc& m = image.ImageDesc;
    const GifColorType c =
        gif->SColorMap->Colors[image.RasterBits[(y - m.Top) * m.Width + x - m.Left]];
    return uint32_t(c.Red) << 16 | c.Green << 8 | c.Blue;
  };
  for (int i = 0; i < gif->ImageCount; ++i) {
    GraphicsControlBlock control{};
    DGifSavedExtensionToGCB(gif, i, &control);
    delays.push_back(control.DelayTime);
    const SavedImage& image = gif->SavedImages[i];
    colours.push_back(at(image, 74, 62));
    if (i == 0) corner = at(image, 2, 2);
    for (const ExtensionBlock* b = image.ExtensionBlocks;
         b + 1 < image.ExtensionBlocks + image.ExtensionBlockCount; ++b)
      if (b->Function == APPLICATION_EXT_FUNC_CODE && b[1].ByteCount == 3 &&
          std::memcmp(b->Bytes, "NETSCAPE2.0", 11) == 0)
        loops = b[1].Bytes[1] | b[1].Bytes[2] << 8;
  }
  DGifCloseFile(gif, nullptr);
  return d;
}

class GifExportTest : public EditorTest {
 protected:
  // The shipped phone picture (of many colours) with element 1 an opaque rectangle from (74, 62).
  void SetUp() override {
    EditorTest::SetUp();
    UseShippedAppDir();
    WriteAppFile("Profiles/Gif.prof", "[Colors]\nColor01=-1\n");
    WriteAppFile("Profiles/Gif.skin",
                 "[Skin]\nImages=Motorola (All Models)\n[Element01]\nAvailable=1\nLeft_1=74\n"
                 "Top_1=62\nRight_1=182\nBottom_1=172\nOpacity_1=255\n");
  }
  const std::vector<TFunlight> Doc = {
      Normal(0x0A, 0, true,
             {Frame(15, {Cell(1, 15, 0, 0)}), Frame(0, {Cell(1, 0, 15, 0)}),
              Frame(15, {Cell(1, 0, 0, 15)}), Frame(15, {Cell(1, 8, 8, 8)}),
              Frame(15, {Cell(1, 0, 15, 0)})}),
      Normal(0x10, 0, false, {Frame(30, {Cell(1, 0, 15, 0)}), Frame(0, {Cell(1, 1, 2, 3)})}),
      Club(0x0C, {Row(1, 100, 50, {})})};
  int Export(const char* id, const QString& out, const char* profile = "") {
    return F().ExportAnimationCommand(out.toStdString(), id, profile,
                                      TempPath("doc.pat").toStdString());
  }
};

TEST_F(GifExportTest, WritesEachFrameOfThePreviewWithItsDelay) {
  WriteDocument("doc.pat", Doc);
  Start();
  const std::pair<const char*, TDecoded> cases[] = {
      {"0a", {{2, 1, 2, 1}, 0, {0xFF0000, 0xFF, 0x888888, 0xFF00}, 0xECE9D8}},
      {"10", {{3, 0}, std::nullopt, {0xFF00, 0x112233}, 0xECE9D8}}};
  for (const auto& [id, gif] : cases) {
    ASSERT_EQ(Export(id, TempPath(id), "gif"), 0);
    EXPECT_EQ(Decode(TempPath(id)), gif) << id;
  }
}

TEST_F(GifExportTest, RefusesAClublightAndLeavesTheFile) {
  OpenDocument(Doc);
  dialogs_.SaveAnswers = {TempPath("a.gif"), TempPath("no/a.gif")};
  F().AExportAnimation->trigger();
  F().AExportAnimation->trigger();
  EXPECT_EQ(std::get<0>(Decode(TempPath("a.gif"))), (std::vector<int>{2, 1, 2, 1}));
  F().ListBox1->setCurrentRow(2);
  EXPECT_FALSE(F().AExportAnimation->isEnabled());
  F().AExportAnimationExecute();
  ASSERT_EQ(dialogs_.Messages.size(), 2u);
  EXPECT_EQ(dialogs_.Messages[0].Text.section('\n', 0, 0),
            "The animation could not be written to " + TempPath("no/a.gif") + ".");
  EXPECT_EQ(dialogs_.Messages[1].Text, Profile.ExportClubMsg.c_str());
  WriteFile(TempPath("c.gif").toStdString(), "kept");
  for (const char* id : {"0C", "0D", "1x", "100"}) EXPECT_EQ(Export(id, TempPath("c.gif")), 2);
  EXPECT_EQ(DocSupport::ReadBytes<std::string>(TempPath("c.gif").toStdString()), "kept");
}
