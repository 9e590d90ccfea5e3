// Animation export: the delay rule of the encoder, and GIF files of the preview's pictures read
// back with giflib.
#include <gif_lib.h>

#include <cstring>

#include "EditorSupport.h"
#include "GifExport.h"

using GifExport::TStep;

TEST(GifStepsTest, RoundsOnTheRunningTotalAndMergesZeroFrames) {
  // clang-format off
  const struct {
    std::vector<int> Durations;
    bool Loop;
    std::vector<TStep> Steps;
  } cases[] = {
      {{150, 150}, true, {{0, 15}, {1, 15}}},
      {{15, 15, 15, 15}, true, {{0, 2}, {1, 1}, {2, 2}, {3, 1}}},  // 1.5 each: 6, never 8
      {{4, 4, 4}, true, {{0, 0}, {1, 1}, {2, 0}}},
      {{100, 0, 50}, true, {{0, 10}, {2, 5}}},
      {{100, 0}, true, {{0, 10}}},            // the next of the last is the first again
      {{100, 0}, false, {{0, 10}, {1, 0}}},   // played once, the last stays
      {{0, 0}, true, {{1, 0}}}, {{}, false, {}}};
  // clang-format on
  for (const auto& c : cases)
    EXPECT_EQ(GifExport::Steps(c.Durations, c.Loop), c.Steps) << c.Durations.size() << c.Loop;
}

struct TDecoded {
  std::vector<int> Delays;
  std::optional<int> Loops;
  std::vector<uint32_t> Colours;  // of the pixel at (100, 100), 0xRRGGBB, frame by frame
};

TDecoded Decode(const QString& path) {
  int error = 0;
  GifFileType* gif = DGifOpenFileName(path.toLocal8Bit().constData(), &error);
  TDecoded d;
  if (!gif || DGifSlurp(gif) != GIF_OK) {
    ADD_FAILURE() << path.toStdString();
    return d;
  }
  for (int i = 0; i < gif->ImageCount; ++i) {
    const SavedImage& image = gif->SavedImages[i];
    GraphicsControlBlock control{};
    DGifSavedExtensionToGCB(gif, i, &control);
    d.Delays.push_back(control.DelayTime);
    const GifColorType c = gif->SColorMap->Colors[image.RasterBits[100 * gif->SWidth + 100]];
    d.Colours.push_back(uint32_t(c.Red) << 16 | c.Green << 8 | c.Blue);
    for (int e = 0; e + 1 < image.ExtensionBlockCount; ++e) {
      const ExtensionBlock* b = image.ExtensionBlocks + e;
      if (b[0].Function == APPLICATION_EXT_FUNC_CODE && b[0].ByteCount == 11 &&
          std::memcmp(b[0].Bytes, "NETSCAPE2.0", 11) == 0 && b[1].ByteCount == 3)
        d.Loops = b[1].Bytes[1] | b[1].Bytes[2] << 8;
    }
  }
  DGifCloseFile(gif, &error);
  return d;
}

class GifExportTest : public EditorTest {
 protected:
  // The shipped program's folder with a profile of its own: the phone picture of many colours,
  // element 1 an opaque rectangle around (100, 100).
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
      Normal(0x0B, 0, false, {Frame(30, {Cell(1, 0, 15, 0)}), Frame(0, {Cell(1, 1, 2, 3)})}),
      Club(0x0C, {Row(1, 100, 50, {})})};
};

TEST_F(GifExportTest, WritesEachFrameOfThePreviewWithItsDelay) {
  const QString doc = WriteDocument("doc.pat", Doc);
  Start();
  const std::tuple<const char*, std::vector<int>, std::optional<int>, std::vector<uint32_t>>
      cases[] = {{"0a", {2, 1, 2, 1}, 0, {0xFF0000, 0xFF, 0x888888, 0xFF00}},
                 {"B", {3, 0}, std::nullopt, {0xFF00, 0x112233}}};
  for (const auto& [id, delays, loops, colours] : cases) {
    const QString out = TempPath(id);
    ASSERT_EQ(Form().ExportAnimationCommand(out.toStdString(), id, "gif", doc.toStdString()), 0);
    const TDecoded gif = Decode(out);
    EXPECT_EQ(std::tuple(gif.Delays, gif.Loops, gif.Colours), std::tuple(delays, loops, colours));
  }
}

TEST_F(GifExportTest, RefusesAClublightAndLeavesTheFile) {
  OpenDocument(Doc);
  dialogs_.SaveAnswers = {TempPath("a.gif")};
  EXPECT_TRUE(Form().AExportAnimation->isEnabled());
  Form().AExportAnimation->trigger();
  EXPECT_EQ(Decode(TempPath("a.gif")).Delays, (std::vector<int>{2, 1, 2, 1}));
  Form().ListBox1->setCurrentRow(2);
  Form().ListBox1Click();
  EXPECT_FALSE(Form().AExportAnimation->isEnabled());
  Form().AExportAnimationExecute();
  EXPECT_EQ(dialogs_.Messages.back().Text, Profile.ExportClubMsg.c_str());
  WriteFile(TempPath("c.gif").toStdString(), "kept");
  for (const char* id : {"0C", "0D", "1x", "100"}) {
    const std::string out = TempPath("c.gif").toStdString(),
                      doc = TempPath("doc.pat").toStdString();
    EXPECT_EQ(Form().ExportAnimationCommand(out, id, "", doc), 2) << id;
  }
  EXPECT_EQ(DocSupport::ReadBytes<std::string>(TempPath("c.gif").toStdString()), "kept");
}
