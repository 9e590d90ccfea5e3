// What the window's preview does: loading the skin, play and stop, the editor locked while it
// plays, the pacing of the ticks, and what each tick paints, read back from the drawing area.

#include "DXClass.h"
#include "DXDraws.h"
#include "EditorSupport.h"

constexpr uint32_t Back = 0xECE9D8, Block = 0x323232, Red = 0xFF0000, Green = 0xFF00, Blue = 0xFF;

// Element n in the 10-pixel box at (left, 10); extra holds further keys of the section.
std::string Element(int n, int left, const std::string& extra, int size = 10) {
  return "[Element0" + std::to_string(n) + "]\nAvailable=1\nLeft_1=" + std::to_string(left) +
         "\nTop_1=10\nRight_1=" + std::to_string(left + size) +
         "\nBottom_1=" + std::to_string(10 + size) + "\n" + extra;
}

const std::string Colours =
    "[Colors]\nColor01=-1\nColor02=$FF\nColor03=-1\nColor05=0\nColor06=0\nColor07=1\n";

class PreviewTest : public EditorTest {
 protected:
  // A program folder of our own with the default profile, phone pictures of the key colour with a
  // dark block (at the bottom of Test.bmp, the top of Other.bmp), and lit pictures of elements 1
  // (white), 2 (green) and 5 (blue), the key colour in their top-left pixel.
  void SetUp() override {
    EditorTest::SetUp();
    services_.AppDir = TempPath("app");
    WriteAppFile("Languages/English.lng", "[Language]\nExt=eng\n[Strings]\ns51=Play\ns57=Stop\n");
    WriteAppFile("Languages/About.eng", "About\n");
    AddProfile("Motorola (All Models)",
               "[Skin]\nImages=Test\n" + Element(1, 10, "HaveImage=1\nOpacity_1=128\nCount=3\n") +
                   "Shape_2=Circle\nLeft_2=30\nTop_2=10\nRight_2=60\nBottom_2=40\nOpacity_2=255\n"
                   "Shape_3=circle\nRight_3=9\nBottom_3=9\nOpacity_3=255\n" +
                   Element(2, 100, "HaveImage=1\n") +
                   Element(3, 120, "Shape_1=Circle\nOpacity_1=255\n", 30) +
                   Element(5, 180, "HaveImage=1\n") + Element(6, 210, "HaveImage=1\n"));
    QDir().mkpath(services_.AppDir + "/Profiles/Images");
    // clang-format off
    for (const auto& [name, rgb, top] : {std::tuple{"Test", Block, 400}, {"Other", Block, 100},
                                         {"Test_01", 0xFFFFFFu, 0}, {"Test_02", Green, 0}, {"Test_05", Blue, 0}, {"Test_06", Red, 0}}) {
      QImage image(top ? 257 : 10, top ? 425 : 10, QImage::Format_RGB32);
      image.fill(top ? 0xFFFF00FF : 0xFF000000 | rgb);
      image.setPixel(0, 0, 0xFFFF00FF);
      for (int y = top; top && y < top + 20; ++y) for (int x = 200; x < 250; ++x) image.setPixel(x, y, 0xFF000000 | rgb);
      ASSERT_TRUE(image.save(services_.AppDir + "/Profiles/Images/" + name + ".bmp"));
    }
    // clang-format on
  }
  void AddProfile(const std::string& name, const std::string& skin) {
    WriteAppFile("Profiles/" + name + ".prof", Colours);
    WriteAppFile("Profiles/" + name + ".skin", skin);
  }
  void Open(const std::vector<TFunlight>& f) { Start({WriteDocument("doc.pat", f)}); }
  void Play() {
    F().ListBox2->setCurrentRow(0);
    F().Button15->click();
  }
  // After a tick: element 1's rectangle, circle, its corner, lower-case "circle"; 2's picture and
  // key pixel; 3's circle in the circle slot's key colour; 5's picture; two phones; 6's picture.
  std::vector<uint32_t> Tick() {
    F().Timer1->Tick();
    std::vector<uint32_t> pixels;
    // clang-format off
    for (auto [x, y] : {std::pair{15, 15}, {45, 25}, {30, 10}, {5, 5}, {105, 15}, {100, 10}, {135, 25}, {185, 15},
                        {200, 400}, {200, 100}, {215, 15}}) pixels.push_back(F().DXDraw->FrontPixel(x, y));
    // clang-format on
    return pixels;
  }
  bool Playing() { return F().Timer1->Enabled(); }
};

TEST_F(PreviewTest, PaintsEachFrameOnThePhonePicture) {
  Open({Normal(10, 0, false,
               {Frame(100, {Cell(1, 15, 0, 0), Cell(2, 0, 0, 1), Cell(3, 12, 11, 10),
                            Cell(5, 0, 0, 1), Cell(6, 0, 0, 1)}),
                Frame(100, {Cell(1, 0, 15, 0), Cell(2, 15, 15, 14)}), Frame(100, {})})});
  const std::vector<std::vector<uint32_t>> ticks[2] = {
      {{0xF6746C, Red, Back, Back, Green, Back, Back, Blue, Block, Back, Red},   // blended at 128
       {0x76F46C, Green, Back, Back, Back, Back, Back, Blue, Block, Back, Red},  // lit until unlit
       {Back, Back, Back, Back, Back, Back, Back, Blue, Block, Back, Red},
       {Back, Back, Back, Back, Back, Back, Back, Blue, Block, Back, Red}},
      // The outer display on the inner one: element 5 lights element 1's picture at its place.
      {{0xFFFFFF, Red, Back, Back, Green, Back, Back, Back, Block, Back, Red}}};
  for (bool outer : {false, true}) {
    F().CheckBox5->setChecked(outer);
    Play();
    for (const std::vector<uint32_t>& pixels : ticks[outer]) EXPECT_EQ(Tick(), pixels) << outer;
  }
}

TEST_F(PreviewTest, PlayLocksTheEditorAndPacesTheFramesUntilTheEnd) {
  Open({Normal(10, 0, true, {Frame(200, {}), Frame(0, {Cell(2, 0, 0, 1)}), Frame(500, {})})});
  const auto locked = [&] {  // how many of the eight signs of a locked editor show
    return !F().Tab1->isEnabled() + !F().Tab2->isEnabled() + !F().ListBox2->isEnabled() +
           !F().File2->isEnabled() + !F().File2->menuAction()->isEnabled() +
           (F().Tab3->cursor().shape() == Qt::BusyCursor) +
           (F().DXDraw->cursor().shape() == Qt::BusyCursor) + (F().Button15->text() == "Stop");
  };
  EXPECT_TRUE(locked() == 0 && F().Timer1->ActiveOnly());  // paused in the background
  F().TrackBar4->setValue(50);
  Play();
  EXPECT_EQ(locked(), 8);
  // Duration 0 keeps the interval of the frame before; the speed is read at every tick.
  for (int interval : {150, 300, 300, 500}) {
    EXPECT_EQ(F().Timer1->Interval(), interval);
    if (Unit1::PlayPos == 2) F().TrackBar4->setValue(0);
    Tick();
  }
  EXPECT_TRUE(!Playing() && locked() == 0);  // three frames, four ticks
  // Repeat starts over at once, with the element unlit again.
  F().CheckBox4->setChecked(true);
  Play();
  for (uint32_t shown : {Back, Green, Green, Green, Back}) EXPECT_EQ(Tick()[4], shown);
  EXPECT_EQ(Unit1::PlayPos, 1);
  F().Button15->click();
  // The play button only clears the page then, and starts only from the caption PlayText.
  Profile.PlayText = "Spiel";
  F().Button15->click();
  EXPECT_TRUE(!Playing() && F().DXDraw->FrontPixel(200, 400) == Block &&
              F().DXDraw->Surface().Pixel(200, 400) == Back);
}

TEST_F(PreviewTest, PlaysOnlyANormalFunlightOfAnOpenDocumentChosenByItsName) {
  Open({});
  F().Button15Click();
  F().Timer1->Tick();  // no funlight: the bare phone
  EXPECT_FALSE(Playing() || F().DXDraw->FrontPixel(200, 400) != Block);
  forms_.reset();
  ResetGlobals();
  Open({Club(3, {Row(1, 0, 0, {{15, 0, 0, 0}})}), Normal(10, 0, false, {Frame(100, {})}),
        Normal(20, 0, false, {Frame(20, {Cell(1, 15, 0, 0)}), Frame(20, {})}),
        Normal(10, 0, false, {Frame(100, {})})});
  F().Button15Click();  // the clublight is current
  EXPECT_FALSE(Playing() || F().Button15->isEnabled());
  F().ListBox2->setCurrentRow(2);  // the first funlight of that name
  EXPECT_EQ(std::vector<int>({CurFun, F().ListBox1->currentRow(), F().ListBox2->currentRow()}),
            std::vector<int>({1, 1, 2}));
  EXPECT_TRUE(F().Button15->isEnabled() && !Unit1::Updating);
  F().ListBox2->setCurrentRow(1);
  ASSERT_EQ(CurFun, 2);
}

TEST_F(PreviewTest, ReadsTheSkinKeysWithTheirDefaultsAndLimits) {
  AddProfile("Motorola (All Models)",
             "[Skin]\nImages=Test\n[Element01]\nAvailable=1\nCount=2\nLeft_1=1\nTop_1=2\n"
             "Right_1=3\nBottom_1=4\nShape_1=Circle\nOpacity_1=$80\nOpacity_2=300\n"
             "[Element02]\nAvailable=1\nCount=500\nOpacity_1=-5\n[Element03]\nAvailable=1\n"
             "Count=-3\n[Element04]\nAvailable=7\nCount=abc\n[Element05]\nAvailable=0\nCount=4\n");
  // A profile without a skin takes the default skin; a skin without Images the profile's name.
  WriteAppFile("Profiles/Bare.prof", Colours);
  AddProfile("Other", "[Element06]\nAvailable=1\n");
  Start();
  EXPECT_EQ(Profile.Available, (std::array<bool, 8>{false, true, true, true, true, false}));
  EXPECT_EQ(Profile.ShapeCount, (std::array<int8_t, 8>{0, 2, 127, 0, 1, 0, 0, 0}));
  const TCoord &a = Profile.Shapes[1][0], &b = Profile.Shapes[1][1], &c = Profile.Shapes[4][0];
  EXPECT_EQ(
      (std::vector<int>{a.Left, a.Top, a.Right, a.Bottom, a.Opacity, b.Opacity, c.Left, c.Top,
                        c.Right, c.Bottom, c.Opacity, int(Profile.Shapes[2].size()),
                        Profile.Shapes[2][0].Opacity, a.Shape == "Circle", c.Shape == "Rectangle"}),
      (std::vector<int>{1, 2, 3, 4, 128, 255, 0, 0, 0, 0, 0, 127, 0, 1, 1}));
  // Shown at once, and not cleared when the page is first shown.
  F().show();
  F().PageControl1->setCurrentWidget(F().Tab3);
  EXPECT_EQ(F().DXDraw->grab().toImage().pixel(200, 400) & 0xFFFFFF, Block);
  Choose(F().ComboBox2, "Other");
  EXPECT_TRUE(Profile.Available[6] && F().DXDraw->FrontPixel(200, 100) == Block);
  Choose(F().ComboBox2, "Bare");
  EXPECT_TRUE(!Profile.Available[6] && F().DXDraw->FrontPixel(200, 400) == Block &&
              dialogs_.Messages.empty());
}

// Mended: a failed load shows the new phone unlit and draws no picture left by an earlier skin,
// nor any for element 7.
TEST_F(PreviewTest, PictureLeftOutOrMissingIsNeverDrawn) {
  AddProfile("Plain", "[Skin]\nImages=Other\n" + Element(2, 100, "") + Element(5, 180, "") +
                          "[Element07]\nAvailable=1\nHaveImage=1\n");
  Open(
      {Normal(10, 0, false, {Frame(100, {Cell(2, 0, 0, 1), Cell(5, 0, 0, 1), Cell(7, 0, 0, 1)})})});
  Play();
  EXPECT_EQ(Tick()[4], Green);
  F().Button15->click();
  Choose(F().ComboBox2, "Plain");
  EXPECT_EQ(OnlyMessage(), "Image '7' not found");
  EXPECT_TRUE(F().DXDraw->FrontPixel(105, 15) == Back && F().DXDraw->FrontPixel(200, 100) == Block);
  F().CheckBox5->setChecked(true);
  Play();
  std::vector<uint32_t> bare(11, Back);
  bare[9] = Block;  // the other phone, nothing lit on it
  EXPECT_EQ(Tick(), bare);
  EXPECT_TRUE(Profile.Lit[2] && Profile.Lit[5] && Profile.Lit[7]);
}
