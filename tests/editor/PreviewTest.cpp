// The preview: loading skins, choosing and playing a funlight, and what each tick draws on the
// phone picture, read back pixel by pixel from the drawing area.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <array>
#include <filesystem>
#include <fstream>

#include "DXClass.h"
#include "DXDraws.h"
#include "EditorSupport.h"
#include "Profile.h"
#include "Unit1.h"

using namespace UFunStruct;
namespace fs = std::filesystem;

namespace {

constexpr uint32_t Backdrop = 0xECE9D8;
constexpr uint32_t PhoneBlock = 0x323232;  // the one opaque block of the test phone picture
const QColor Key(255, 0, 255);

// The test phone picture: all key colour but for a dark block in the lower right corner.
QImage PhonePicture() {
  QImage image(257, 425, QImage::Format_RGB32);
  image.fill(Key);
  for (int y = 400; y < 420; ++y)
    for (int x = 200; x < 250; ++x) image.setPixel(x, y, 0xFF000000u | PhoneBlock);
  return image;
}

// A lit picture: one colour, with the key colour in its top-left pixel.
QImage LitPicture(int width, int height, uint32_t rgb) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(QColor::fromRgb(0xFF000000u | rgb));
  image.setPixelColor(0, 0, Key);
  return image;
}

// Seven full-colour elements.
const char* const AllFullColour =
    "[Colors]\nColor01=-1\nColor02=-1\nColor03=-1\nColor04=-1\nColor05=-1\nColor06=-1\n"
    "Color07=-1\n";

// The skin's head, naming the test pictures.
const std::string SkinHead = "[Skin]\nImages=Test\n";

// A skin section placing element n in one box; extra holds further keys of the box.
std::string Element(int n, int left, int top, int right, int bottom,
                    const std::string& extra = "") {
  const auto key = [](const char* name, int value) {
    return std::string(name) + "_1=" + std::to_string(value) + "\n";
  };
  return "[Element0" + std::to_string(n) + "]\nAvailable=1\n" + key("Left", left) +
         key("Top", top) + key("Right", right) + key("Bottom", bottom) + extra;
}

class PreviewTest : public EditorTest {
 protected:
  // A program folder of our own: one language, and the default profile with the given colours
  // and skin; the phone picture is Images/Test.bmp unless the skin names another.
  void MakeAppDir(const std::string& colours = AllFullColour, const std::string& skin = SkinHead) {
    app_ = fs::path(TempPath("app").toStdString());
    services_.AppDir = QString::fromStdString(app_.string());
    WriteAppFile("Languages/English.lng",
                 "[Language]\nExt=eng\n[Strings]\ns25=Repeat\ns51=Play\ns57=Stop\n");
    WriteAppFile("Languages/About.eng", "About\n");
    AddProfile("Motorola (All Models)", colours, skin);
    WritePicture("Profiles/Images/Test.bmp", PhonePicture());
  }

  void AddProfile(const std::string& name, const std::string& colours, const std::string& skin) {
    WriteAppFile("Profiles/" + name + ".prof", colours);
    if (!skin.empty()) WriteAppFile("Profiles/" + name + ".skin", skin);
  }

  void WritePicture(const std::string& relative, const QImage& image) {
    fs::create_directories((app_ / relative).parent_path());
    ASSERT_TRUE(image.save(QString::fromStdString((app_ / relative).string()), "BMP"));
  }

  void Open(const std::vector<TFunlight>& funlights) {
    Start({WriteDocument("doc.pat", funlights)});
    ASSERT_TRUE(dialogs_.Messages.empty()) << dialogs_.Messages.front().Text.toStdString();
  }

  // Chooses the first funlight of the preview list and presses play.
  void Play() {
    Form().ListBox2->setCurrentRow(0);
    ASSERT_TRUE(Form().Button15->isEnabled());
    Form().Button15->click();
    ASSERT_EQ(Form().Button15->text(), "Stop");
  }

  void Tick() { Form().Timer1->Tick(); }
  uint32_t Front(int x, int y) { return Form().DXDraw->FrontPixel(x, y); }
  bool Playing() { return Form().Timer1->Enabled(); }

  fs::path app_;
};

// ---------------------------------------------------------------------------------------------
// Drawing the elements

TEST_F(PreviewTest, RectangleIsBlendedAtItsOpacityOverThePicture) {
  MakeAppDir(AllFullColour, SkinHead + Element(1, 10, 10, 20, 20, "Opacity_1=128\n"));
  Open({NormalFunlight(10, {Frame(100, {Cell(1, 15, 0, 0)})})});
  Play();
  Tick();
  // Red at 128 of 255 over the backdrop (236, 233, 216): each channel moves 128/255 of the way.
  EXPECT_EQ(Front(10, 10), 0xF6746Cu);
  EXPECT_EQ(Front(19, 19), 0xF6746Cu);
  // Right and bottom edges are outside.
  EXPECT_EQ(Front(20, 15), Backdrop);
  EXPECT_EQ(Front(15, 20), Backdrop);
  EXPECT_EQ(Front(9, 15), Backdrop);
  // The phone picture lies under the lights, its key colour showing the backdrop.
  EXPECT_EQ(Front(210, 410), PhoneBlock);
  EXPECT_EQ(Front(100, 100), Backdrop);
}

TEST_F(PreviewTest, CircleInTheKeyColourIsInvisibleButARectangleInItIsNot) {
  MakeAppDir(AllFullColour, SkinHead +
                                Element(1, 10, 10, 40, 40, "Shape_1=Circle\nOpacity_1=255\n") +
                                Element(2, 50, 10, 80, 40, "Shape_1=Rectangle\nOpacity_1=255\n") +
                                Element(3, 90, 10, 120, 40, "Shape_1=Circle\nOpacity_1=255\n"));
  // R 12, G 11, B 10 is 0xAABBCC, the key colour of the circle slot.
  Open({NormalFunlight(
      10, {Frame(100, {Cell(1, 12, 11, 10), Cell(2, 12, 11, 10), Cell(3, 0, 15, 0)})})});
  Play();
  Tick();
  EXPECT_EQ(Front(25, 25), Backdrop);
  EXPECT_EQ(Front(65, 25), 0xCCBBAAu);
  // Another colour shows as an ellipse: its centre is lit, the corners of its box are not.
  EXPECT_EQ(Front(105, 25), 0x00FF00u);
  EXPECT_EQ(Front(90, 10), Backdrop);
  EXPECT_EQ(Front(119, 39), Backdrop);
}

TEST_F(PreviewTest, ShapesThatDrawNothing) {
  struct TCase {
    const char* Shape;
    const char* Opacity;  // nullptr: key missing
    bool Visible;
  };
  const std::vector<TCase> cases = {
      {"Rectangle", "255", true}, {"Rectangle", "0", false},  {"Rectangle", nullptr, false},
      {"Circle", "255", true},    {"circle", "255", false},   {"RECTANGLE", "255", false},
      {"Triangle", "255", false}, {"Rectangle", "-5", false}, {"Rectangle", "300", true},
      {nullptr, "255", true},  // no Shape_ key: a rectangle
  };
  std::string skin =
      "[Skin]\nImages=Test\n[Element01]\nAvailable=1\nCount=" + std::to_string(cases.size()) + "\n";
  for (size_t i = 0; i < cases.size(); ++i) {
    const std::string j = std::to_string(i + 1);
    const int left = 10 + 20 * static_cast<int>(i);
    skin += "Left_" + j + "=" + std::to_string(left) + "\nTop_" + j + "=10\nRight_" + j + "=" +
            std::to_string(left + 16) + "\nBottom_" + j + "=26\n";
    if (cases[i].Shape) skin += "Shape_" + j + "=" + cases[i].Shape + "\n";
    if (cases[i].Opacity) skin += "Opacity_" + j + "=" + cases[i].Opacity + "\n";
  }
  MakeAppDir(AllFullColour, skin);
  Open({NormalFunlight(10, {Frame(100, {Cell(1, 0, 0, 15)})})});
  Play();
  Tick();
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(Front(18 + 20 * static_cast<int>(i), 18), cases[i].Visible ? 0x0000FFu : Backdrop);
  }
  // Opacity is kept within 0..255.
  EXPECT_EQ(Profile.Shapes[1][7].Opacity, 0);
  EXPECT_EQ(Profile.Shapes[1][8].Opacity, 255);
}

TEST_F(PreviewTest, FullColourElementWithoutACellIsNotDrawnAndSingleColourKeepsItsState) {
  MakeAppDir("[Colors]\nColor01=-1\nColor02=$0000FF\n",
             SkinHead + Element(1, 10, 10, 20, 20, "Opacity_1=255\n") +
                 Element(2, 30, 10, 40, 20, "HaveImage=1\n"));
  WritePicture("Profiles/Images/Test_02.bmp", LitPicture(10, 10, 0x00FF00));
  Open({NormalFunlight(10, {Frame(100, {Cell(1, 15, 0, 0), Cell(2, 0, 0, 1)}), Frame(100, {}),
                            Frame(100, {Cell(2, 15, 15, 14)})})});
  Play();
  struct TStep {
    uint32_t Element1, Element2;
  };
  // Element 2 is lit by bit 0 of blue alone; the other channels do not count.
  const std::vector<TStep> steps = {
      {0xFF0000, 0x00FF00}, {Backdrop, 0x00FF00}, {Backdrop, Backdrop}, {Backdrop, Backdrop}};
  for (size_t i = 0; i < steps.size(); ++i) {
    SCOPED_TRACE(i);
    Tick();
    EXPECT_EQ(Front(15, 15), steps[i].Element1);
    EXPECT_EQ(Front(35, 15), steps[i].Element2);
    EXPECT_EQ(Front(30, 10), Backdrop);  // the key colour of the lit picture
  }
}

TEST_F(PreviewTest, OuterDisplayOnInnerShowsElementOnesPictureForElementFive) {
  MakeAppDir("[Colors]\nColor01=$FFFFFF\nColor05=$FF0000\n",
             SkinHead + Element(1, 10, 10, 30, 30, "HaveImage=1\n") +
                 Element(5, 50, 10, 60, 20, "HaveImage=1\n"));
  WritePicture("Profiles/Images/Test_01.bmp", LitPicture(20, 20, 0xFFFFFF));
  WritePicture("Profiles/Images/Test_05.bmp", LitPicture(10, 10, 0x0000FF));
  Open({NormalFunlight(10, {Frame(100, {Cell(5, 0, 0, 1)})})});
  struct TCase {
    bool OuterOnInner;
    uint32_t AtElement1, AtElement5;
  };
  for (const TCase& c : {TCase{false, Backdrop, 0x0000FF}, TCase{true, 0xFFFFFF, Backdrop}}) {
    SCOPED_TRACE(c.OuterOnInner);
    Form().CheckBox5->setChecked(c.OuterOnInner);
    Play();
    Tick();
    EXPECT_EQ(Front(20, 20), c.AtElement1);
    EXPECT_EQ(Front(55, 15), c.AtElement5);
    Form().Button15->click();
  }
}

TEST_F(PreviewTest, ShippedDefaultSkinShowsThePhoneAndItsLights) {
  Open({NormalFunlight(10, {Frame(100, {Cell(1, 0, 15, 0)})})});
  // Element 1 of the default skin: a rectangle of opacity 140 over the display.
  const TCoord display = Profile.Shapes[1].at(0);
  const int x = (display.Left + display.Right) / 2, y = (display.Top + display.Bottom) / 2;
  Play();
  Tick();
  const uint32_t lit = Front(x, y);
  EXPECT_EQ(Front(0, 0), Backdrop);
  Form().Button15->click();  // stop
  FunList[0].Frames[0].Cells.clear();
  Form().Button15->click();  // and again, with the light off
  Tick();
  const uint32_t unlit = Front(x, y);
  EXPECT_NE(unlit, Backdrop);  // the phone picture is there
  EXPECT_NE(lit, unlit);
  EXPECT_GT((lit >> 8) & 0xFF, (unlit >> 8) & 0xFF);  // greener
}

// ---------------------------------------------------------------------------------------------
// Mended cases

TEST_F(PreviewTest, LitElementWithoutItsOwnPictureDrawsNoPictureOfAnEarlierSkin) {
  const std::string withPicture = SkinHead + Element(2, 30, 10, 40, 20, "HaveImage=1\n");
  const std::string withoutPicture = SkinHead + Element(2, 30, 10, 40, 20, "HaveImage=0\n");
  MakeAppDir("[Colors]\nColor02=$0000FF\n", withPicture);
  AddProfile("Plain", "[Colors]\nColor02=$0000FF\n", withoutPicture);
  WritePicture("Profiles/Images/Test_02.bmp", LitPicture(10, 10, 0x00FF00));
  Open({NormalFunlight(10, {Frame(100, {Cell(2, 0, 0, 1)})})});
  Play();
  Tick();
  EXPECT_EQ(Front(35, 15), 0x00FF00u);
  Form().Button15->click();

  Choose(Form().ComboBox2, "Plain");
  ASSERT_EQ(Profile.ProfileName, "Plain");
  EXPECT_FALSE(Profile.HaveImage[2]);
  Play();
  Tick();
  EXPECT_TRUE(Profile.Lit[2]);
  EXPECT_EQ(Front(35, 15), Backdrop);
  EXPECT_TRUE(dialogs_.Messages.empty());
}

TEST_F(PreviewTest, OuterDisplayOnInnerDrawsNothingWhenTheSkinHasNoElementOne) {
  const std::string colours = "[Colors]\nColor01=$FFFFFF\nColor05=$FF0000\n";
  MakeAppDir(colours, SkinHead + Element(1, 10, 10, 30, 30, "HaveImage=1\n"));
  // The second skin places only element 5: element 1's place and picture are the first skin's.
  AddProfile("Outer", colours, SkinHead + Element(5, 50, 10, 60, 20, "HaveImage=1\n"));
  WritePicture("Profiles/Images/Test_01.bmp", LitPicture(20, 20, 0xFFFFFF));
  WritePicture("Profiles/Images/Test_05.bmp", LitPicture(10, 10, 0x0000FF));
  Open({NormalFunlight(10, {Frame(100, {Cell(5, 0, 0, 1)})})});
  Choose(Form().ComboBox2, "Outer");
  ASSERT_FALSE(Profile.Available[1]);
  Form().CheckBox5->setChecked(true);
  Play();
  Tick();
  EXPECT_EQ(Front(20, 20), Backdrop);
  EXPECT_EQ(Front(55, 15), Backdrop);
  EXPECT_TRUE(dialogs_.Messages.empty());
}

TEST_F(PreviewTest, LitSingleColourElementSevenDrawsNothing) {
  MakeAppDir("[Colors]\nColor07=$00FF00\n",
             SkinHead + Element(7, 10, 10, 20, 20, "Opacity_1=255\n"));
  // A skin that asks for a picture of element 7 fails to load after setting HaveImage.
  AddProfile("Seven", "[Colors]\nColor07=$00FF00\n",
             "[Skin]\nImages=Test\n[Element07]\nAvailable=1\nHaveImage=1\n");
  WritePicture("Profiles/Images/Test_07.bmp", LitPicture(10, 10, 0xFFFFFF));
  Open({NormalFunlight(10, {Frame(100, {Cell(7, 15, 15, 15)})})});
  for (const char* profile : {"Motorola (All Models)", "Seven"}) {
    SCOPED_TRACE(profile);
    Choose(Form().ComboBox2, profile);
    Play();
    Tick();
    EXPECT_TRUE(Profile.Lit[7]);
    EXPECT_EQ(Front(15, 15), Backdrop);
    EXPECT_EQ(Front(10, 10), Backdrop);
    Form().Button15->click();
  }
  EXPECT_TRUE(Profile.HaveImage[7]);
  // Only the failed load is reported: drawing element 7 never fails.
  ASSERT_EQ(dialogs_.Messages.size(), 1u);
  EXPECT_EQ(dialogs_.Messages[0].Text, "Image '7' not found");
}

TEST_F(PreviewTest, ShapeCountIsKeptWithinZeroTo127) {
  struct TCase {
    const char* Count;
    int Expected;
  };
  for (const TCase& c :
       {TCase{nullptr, 1}, TCase{"0", 0}, TCase{"-3", 0}, TCase{"3", 3}, TCase{"127", 127},
        TCase{"128", 127}, TCase{"500", 127}, TCase{"abc", 1}}) {
    SCOPED_TRACE(c.Count ? c.Count : "missing");
    ResetGlobals();
    dialogs_.Messages.clear();
    MakeAppDir(AllFullColour, std::string("[Skin]\nImages=Test\n[Element01]\nAvailable=1\n") +
                                  (c.Count ? std::string("Count=") + c.Count + "\n" : "") +
                                  "Left_3=7\n");
    Start();
    EXPECT_EQ(Profile.ShapeCount[1], c.Expected);
    ASSERT_EQ(Profile.Shapes[1].size(), static_cast<size_t>(c.Expected));
    if (c.Expected >= 3) {
      EXPECT_EQ(Profile.Shapes[1][2].Left, 7);
    }
    forms_.reset();
  }
}

TEST_F(PreviewTest, PageShowsTheUnlitPhoneAtOnceAndAfterEveryProfileChange) {
  const std::string colours = "[Colors]\nColor02=$0000FF\n";
  MakeAppDir(colours, SkinHead + Element(2, 30, 10, 40, 20, "HaveImage=1\n"));
  WritePicture("Profiles/Images/Test_02.bmp", LitPicture(10, 10, 0x00FF00));
  // Another model, its dark block in the upper half.
  QImage other(257, 425, QImage::Format_RGB32);
  other.fill(Key);
  for (int y = 100; y < 120; ++y)
    for (int x = 100; x < 150; ++x) other.setPixel(x, y, 0xFF000000u | PhoneBlock);
  WritePicture("Profiles/Images/Other.bmp", other);
  AddProfile("Other", colours, "[Skin]\nImages=Other\n" + Element(2, 30, 10, 40, 20));
  Open({NormalFunlight(10, {Frame(100, {Cell(2, 0, 0, 1)})})});
  Form().show();
  Form().PageControl1->setCurrentWidget(Form().Tab3);
  QApplication::processEvents();
  // What the page shows: the block of the test phone, the block of the other one, element 2.
  const auto shown = [this] {
    const QImage image = Form().DXDraw->grab().toImage();
    std::vector<uint32_t> pixels;
    for (const QPoint p : {QPoint(210, 410), QPoint(120, 110), QPoint(35, 15)})
      pixels.push_back(image.pixel(p) & 0xFFFFFFu);
    return pixels;
  };
  const std::vector<uint32_t> testPhone = {PhoneBlock, Backdrop, Backdrop};
  const std::vector<uint32_t> otherPhone = {Backdrop, PhoneBlock, Backdrop};
  ASSERT_TRUE(Form().DXDraw->isVisible());
  EXPECT_EQ(shown(), testPhone);
  // A play ends with the single-colour element still lit; a profile change shows the phone unlit.
  Play();
  Tick();
  Tick();
  ASSERT_FALSE(Playing());
  EXPECT_EQ(shown(), (std::vector<uint32_t>{PhoneBlock, Backdrop, 0x00FF00}));
  Choose(Form().ComboBox2, "Other");
  EXPECT_EQ(shown(), otherPhone);
  Choose(Form().ComboBox2, "Motorola (All Models)");
  EXPECT_EQ(shown(), testPhone);
  EXPECT_TRUE(dialogs_.Messages.empty());
}

// ---------------------------------------------------------------------------------------------
// Loading the skin

TEST_F(PreviewTest, SkinKeysAndDefaults) {
  MakeAppDir(AllFullColour, R"([Skin]
Images=Test
[Element01]
Available=1
Count=2
Left_1=1
Top_1=2
Right_1=3
Bottom_1=4
Shape_1=Circle
Opacity_1=$80
Left_2=x
[Element02]
Available=0
Count=4
[Element03]
Available=7
HaveImage=0
)");
  Start();
  ASSERT_TRUE(dialogs_.Messages.empty());
  EXPECT_EQ((std::array<bool, 8>{false, true, false, true, false, false, false, false}),
            Profile.Available);
  ASSERT_EQ(Profile.Shapes[1].size(), 2u);
  const TCoord& first = Profile.Shapes[1][0];
  EXPECT_EQ((std::vector<int>{first.Left, first.Top, first.Right, first.Bottom, first.Opacity}),
            (std::vector<int>{1, 2, 3, 4, 128}));
  EXPECT_EQ(first.Shape, "Circle");
  const TCoord& second = Profile.Shapes[1][1];
  EXPECT_EQ(
      (std::vector<int>{second.Left, second.Top, second.Right, second.Bottom, second.Opacity}),
      (std::vector<int>{0, 0, 0, 0, 0}));
  EXPECT_EQ(second.Shape, "Rectangle");
  EXPECT_EQ(Profile.ShapeCount[2], 0);  // not available: untouched
  EXPECT_EQ(Profile.Shapes[3].size(), 1u);
}

TEST_F(PreviewTest, MissingSkinFallsBackToTheDefaultSkinAndImagesToTheProfileName) {
  // The default skin names no pictures: they are looked for under the default profile's name.
  MakeAppDir(AllFullColour, "[Element04]\nAvailable=1\nLeft_1=44\n");
  WritePicture("Profiles/Images/Motorola (All Models).bmp", PhonePicture());
  // A profile without a skin of its own.
  AddProfile("Other", AllFullColour, "");
  // A profile whose skin has no Images key: its pictures carry the profile's name.
  AddProfile("Named", AllFullColour, "[Element06]\nAvailable=1\nLeft_1=66\n");
  QImage named = PhonePicture();
  named.setPixel(0, 0, 0xFF123456);
  WritePicture("Profiles/Images/Named.bmp", named);
  Start();
  struct TCase {
    const char* Profile;  // nullptr: the one chosen at start-up
    bool Element4, Element6;
    uint32_t PictureCorner;  // pixel (0, 0) of slot "0" drawn over black
  };
  for (const TCase& c : {TCase{nullptr, true, false, 0}, TCase{"Named", false, true, 0x123456},
                         TCase{"Other", true, false, 0}}) {
    SCOPED_TRACE(c.Profile ? c.Profile : "start-up");
    if (c.Profile) {
      Choose(Form().ComboBox2, c.Profile);
    }
    ASSERT_TRUE(dialogs_.Messages.empty()) << dialogs_.Messages.front().Text.toStdString();
    EXPECT_EQ(Profile.Available[4], c.Element4);
    EXPECT_EQ(Profile.Available[6], c.Element6);
    if (c.Element4) {
      EXPECT_EQ(Profile.Shapes[4].at(0).Left, 44);
    }
    if (c.Element6) {
      EXPECT_EQ(Profile.Shapes[6].at(0).Left, 66);
    }
    TDirectDrawSurface& surface = Form().DXDraw->Surface();
    surface.Fill(0);
    Form().ImageList->Find("0").Draw(surface, 0, 0);
    EXPECT_EQ(surface.Pixel(0, 0), c.PictureCorner);
    EXPECT_EQ(surface.Pixel(210, 410), PhoneBlock);
  }
}

TEST_F(PreviewTest, MissingPictureAtStartUpEndsTheStartUp) {
  struct TCase {
    const char* Name;
    std::string Skin;
    std::string Missing;  // the picture that cannot be opened
  };
  const std::vector<TCase> cases = {
      {"phone picture", "[Skin]\nImages=Gone\n[Element01]\nAvailable=1\n",
       "Profiles/Images/Gone.bmp"},
      {"lit picture", "[Skin]\nImages=Test\n[Element01]\nAvailable=1\nHaveImage=1\n",
       "Profiles/Images/Test_01.bmp"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    ResetGlobals();
    dialogs_.Messages.clear();
    fs::remove(TempPath("options.ini").toStdString());
    MakeAppDir(AllFullColour, c.Skin + "[Element02]\nAvailable=1\n");
    Start();
    ASSERT_EQ(dialogs_.Messages.size(), 1u);
    const std::string path = (app_ / c.Missing).string();
    EXPECT_EQ(dialogs_.Messages[0].Text.toStdString(),
              "Cannot open file \"" + path + "\". No such file or directory");
    EXPECT_EQ(dialogs_.Messages[0].Icon, TMsgIcon::Error);
    // The load stopped there, and so did the start-up: no options saved, no version in the title.
    EXPECT_FALSE(Profile.Available[2]);
    EXPECT_FALSE(QFile::exists(TempPath("options.ini")));
    EXPECT_FALSE(Form().windowTitle().contains(About().Label2->text()));
    forms_.reset();
  }
}

TEST_F(PreviewTest, FailedSkinLoadKeepsTheEarlierSkinAfterTheFailure) {
  MakeAppDir(AllFullColour, R"([Skin]
Images=Test
[Element01]
Available=1
Left_1=1
[Element03]
Available=1
Left_1=3
)");
  AddProfile("Broken", AllFullColour, R"([Skin]
Images=Test
[Element01]
Available=1
Left_1=11
[Element02]
Available=1
HaveImage=1
Left_1=12
[Element03]
Available=1
Left_1=13
)");
  Start();
  ASSERT_TRUE(dialogs_.Messages.empty());
  EXPECT_EQ(Profile.Shapes[3].at(0).Left, 3);
  Choose(Form().ComboBox2, "Broken");
  ASSERT_EQ(dialogs_.Messages.size(), 1u);
  EXPECT_EQ(dialogs_.Messages[0].Text.toStdString(),
            "Cannot open file \"" + (app_ / "Profiles/Images/Test_02.bmp").string() +
                "\". No such file or directory");
  EXPECT_EQ(Profile.Shapes[1].at(0).Left, 11);
  EXPECT_TRUE(Profile.HaveImage[2]);
  EXPECT_TRUE(Profile.Shapes[2].empty());
  EXPECT_EQ(Profile.Shapes[3].at(0).Left, 3);
}

TEST_F(PreviewTest, PictureForElementSevenFailsAsImageNotFound) {
  MakeAppDir(AllFullColour, "[Skin]\nImages=Test\n[Element07]\nAvailable=1\nHaveImage=1\n");
  WritePicture("Profiles/Images/Test_07.bmp", LitPicture(4, 4, 0xFFFFFF));
  Start();
  ASSERT_EQ(dialogs_.Messages.size(), 1u);
  EXPECT_EQ(dialogs_.Messages[0].Text, "Image '7' not found");
}

// ---------------------------------------------------------------------------------------------
// Playing

TEST_F(PreviewTest, TickIntervalsFollowTheFrameDurationsAndTheSpeed) {
  struct TCase {
    int Speed;
    std::vector<int> Intervals;  // at the start, then after each tick
  };
  MakeAppDir();
  Open({NormalFunlight(10, {Frame(200, {}), Frame(0, {}), Frame(500, {})}, true)});
  // Duration 0 keeps the interval of the frame before; the end tick has no frame.
  for (const TCase& c : {TCase{0, {100, 200, 200, 500, 500}}, TCase{50, {150, 300, 300, 750, 750}},
                         TCase{33, {133, 266, 266, 665, 665}}}) {
    SCOPED_TRACE(c.Speed);
    Form().TrackBar4->setValue(c.Speed);
    Play();
    EXPECT_EQ(Form().Timer1->Interval(), c.Intervals[0]);
    for (size_t i = 1; i < c.Intervals.size(); ++i) {
      SCOPED_TRACE(i);
      ASSERT_TRUE(Playing());
      Tick();
      EXPECT_EQ(Form().Timer1->Interval(), c.Intervals[i]);
      EXPECT_EQ(Unit1::PlayPos, static_cast<int>(i));
    }
    // Three frames take four ticks.
    EXPECT_FALSE(Playing());
    EXPECT_EQ(Form().Button15->text(), "Play");
  }
}

TEST_F(PreviewTest, SpeedIsReadAnewAtEveryTick) {
  MakeAppDir();
  Open({NormalFunlight(10, {Frame(200, {}), Frame(200, {}), Frame(0, {})}, true)});
  Play();
  Tick();
  EXPECT_EQ(Form().Timer1->Interval(), 200);
  Form().TrackBar4->setValue(100);
  Tick();
  EXPECT_EQ(Form().Timer1->Interval(), 400);
}

TEST_F(PreviewTest, FunlightWithoutFramesEndsAfterOneTickAndRepeatsWithRepeatOn) {
  MakeAppDir();
  Open({NormalFunlight(10, {Frame(300, {})})});
  Form().TrackBar4->setValue(20);
  Play();
  // Selecting a funlight gives it one frame; one without any is made here by hand.
  FunList[0].Frames.clear();
  FunList[0].FrameCount = 0;
  Tick();
  EXPECT_FALSE(Playing());
  EXPECT_EQ(Form().Button15->text(), "Play");
  EXPECT_EQ(Front(210, 410), PhoneBlock);

  Form().CheckBox4->setChecked(true);
  Form().Button15->click();
  for (int i = 0; i < 3; ++i) {
    Tick();
    EXPECT_TRUE(Playing());
    EXPECT_EQ(Form().Button15->text(), "Stop");
    EXPECT_EQ(Form().Timer1->Interval(), 120);
    EXPECT_EQ(Unit1::PlayPos, 0);
  }
}

TEST_F(PreviewTest, RepeatStartsOverWithSingleColourElementsUnlit) {
  MakeAppDir("[Colors]\nColor02=$0000FF\n", SkinHead + Element(2, 30, 10, 40, 20, "HaveImage=1\n"));
  WritePicture("Profiles/Images/Test_02.bmp", LitPicture(10, 10, 0x00FF00));
  // Frame 0 has no cell for element 2, frame 1 lights it.
  Open({NormalFunlight(10, {Frame(100, {}), Frame(100, {Cell(2, 0, 0, 1)})}, true)});
  Form().CheckBox4->setChecked(true);
  Play();
  // Frame 0, frame 1, the end tick (still lit), then frame 0 of the second round.
  const std::vector<uint32_t> shown = {Backdrop, 0x00FF00, 0x00FF00, Backdrop, 0x00FF00};
  for (size_t i = 0; i < shown.size(); ++i) {
    SCOPED_TRACE(i);
    Tick();
    EXPECT_EQ(Front(35, 15), shown[i]);
    EXPECT_TRUE(Playing());
  }
  EXPECT_EQ(Unit1::PlayPos, 2);
}

TEST_F(PreviewTest, PlayAndStopLockAndUnlockTheEditor) {
  MakeAppDir();
  Open({NormalFunlight(10, {Frame(100, {}), Frame(100, {})})});
  auto& f = Form();
  const int tab1 = f.PageControl1->indexOf(f.Tab1), tab2 = f.PageControl1->indexOf(f.Tab2);
  EXPECT_TRUE(f.Timer1->ActiveOnly());
  EXPECT_FALSE(Playing());
  Play();
  EXPECT_TRUE(f.DXDraw->isVisibleTo(f.Tab3));
  EXPECT_TRUE(Playing());
  EXPECT_FALSE(f.PageControl1->isTabEnabled(tab1));
  EXPECT_FALSE(f.PageControl1->isTabEnabled(tab2));
  EXPECT_FALSE(f.Tab1->isEnabled());
  EXPECT_FALSE(f.Tab2->isEnabled());
  EXPECT_FALSE(f.ListBox2->isEnabled());
  EXPECT_FALSE(f.File2->isEnabled());
  EXPECT_FALSE(f.File2->menuAction()->isEnabled());
  EXPECT_TRUE(f.Tab3->isEnabled());
  EXPECT_TRUE(f.Tab5->isEnabled());
  EXPECT_EQ(f.Tab3->cursor().shape(), Qt::BusyCursor);
  EXPECT_EQ(f.DXDraw->cursor().shape(), Qt::BusyCursor);

  f.Button15->click();
  EXPECT_EQ(f.Button15->text(), "Play");
  EXPECT_FALSE(Playing());
  EXPECT_TRUE(f.PageControl1->isTabEnabled(tab1));
  EXPECT_TRUE(f.PageControl1->isTabEnabled(tab2));
  EXPECT_TRUE(f.Tab1->isEnabled());
  EXPECT_TRUE(f.Tab2->isEnabled());
  EXPECT_TRUE(f.ListBox2->isEnabled());
  EXPECT_TRUE(f.File2->isEnabled());
  EXPECT_TRUE(f.File2->menuAction()->isEnabled());
  EXPECT_EQ(f.Tab3->cursor().shape(), Qt::ArrowCursor);
  EXPECT_EQ(f.DXDraw->cursor().shape(), Qt::ArrowCursor);

  // The end of the funlight unlocks the same way.
  Play();
  for (int i = 0; i < 3; ++i) Tick();
  EXPECT_FALSE(Playing());
  EXPECT_TRUE(f.PageControl1->isTabEnabled(tab1));
  EXPECT_TRUE(f.ListBox2->isEnabled());
  EXPECT_TRUE(f.File2->isEnabled());
  EXPECT_EQ(f.DXDraw->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(PreviewTest, PlayIsRefusedForAClublightAndWithoutADocument) {
  MakeAppDir();
  Start();
  auto& f = Form();
  f.Button15Click();
  EXPECT_FALSE(Playing());
  EXPECT_EQ(f.Button15->text(), "Play");
  ResetGlobals();
  forms_.reset();

  Open({Clublight(3, {ClubRow(1, 0, 0, {{15, 0, 0, 0}})}), NormalFunlight(10, {Frame(100, {})})});
  ASSERT_EQ(CurFun, 0);
  Form().Button15Click();
  EXPECT_FALSE(Playing());
  EXPECT_EQ(Form().Button15->text(), "Play");
  EXPECT_TRUE(Form().ListBox2->isEnabled());
  // It only shows the drawing area, cleared to the backdrop.
  EXPECT_TRUE(Form().DXDraw->isVisibleTo(Form().Tab3));
  EXPECT_EQ(Form().DXDraw->Surface().Pixel(128, 200), Backdrop);
}

TEST_F(PreviewTest, EqualPlayAndStopTextsNeverStart) {
  MakeAppDir();
  Open({NormalFunlight(10, {Frame(100, {})})});
  for (const char* text : {"Play", ""}) {
    SCOPED_TRACE(text);
    Profile.PlayText = Profile.StopText = text;
    Form().Button15->setText(text);
    Form().Button15Click();
    EXPECT_FALSE(Playing());
    EXPECT_EQ(Form().Button15->text(), text);
    EXPECT_TRUE(Form().ListBox2->isEnabled());
  }
}

TEST_F(PreviewTest, ChoosingInThePreviewListSelectsTheFirstFunlightWithThatText) {
  MakeAppDir();
  Open({Clublight(3, {ClubRow(1, 0, 0, {{15, 0, 0, 0}})}), NormalFunlight(10, {Frame(100, {})}),
        NormalFunlight(20, {}), NormalFunlight(10, {Frame(100, {})})});
  auto& f = Form();
  ASSERT_EQ(f.ListBox2->count(), 3);
  EXPECT_FALSE(f.Button15->isEnabled());
  f.ListBox2->setCurrentRow(2);
  EXPECT_EQ(CurFun, 1);
  EXPECT_EQ(f.ListBox1->currentRow(), 1);
  EXPECT_EQ(f.ListBox2->currentRow(), 2);  // not moved back by the editor's list
  EXPECT_TRUE(f.Button15->isEnabled());
  EXPECT_FALSE(Unit1::Updating);
  f.ListBox2->setCurrentRow(1);
  EXPECT_EQ(CurFun, 2);
  EXPECT_EQ(f.ListBox1->currentRow(), 2);
}

TEST_F(PreviewTest, TheTimerPlaysTheFunlightInTheEventLoop) {
  MakeAppDir(AllFullColour, SkinHead + Element(1, 10, 10, 20, 20, "Opacity_1=255\n"));
  Open({NormalFunlight(10, {Frame(20, {Cell(1, 15, 0, 0)}), Frame(20, {Cell(1, 0, 15, 0)})})});
  Form().Timer1->ApplicationStateChanged(Qt::ApplicationActive);
  Play();
  const long long before = Form().Timer1->TickCount();
  QTRY_VERIFY_WITH_TIMEOUT(!Playing(), 2000);
  EXPECT_EQ(Form().Timer1->TickCount() - before, 3);
  EXPECT_EQ(Form().Button15->text(), "Play");
  // The end tick shows the bare picture.
  EXPECT_EQ(Front(15, 15), Backdrop);
  EXPECT_EQ(Front(210, 410), PhoneBlock);
}

TEST_F(PreviewTest, DrawingAreaStartsWithTheBackdrop) {
  MakeAppDir();
  Start();
  Form().DXDraw->Initialize();
  EXPECT_EQ(Form().DXDraw->FrontPixel(0, 0), Backdrop);
  EXPECT_EQ(Form().DXDraw->FrontPixel(256, 424), Backdrop);
}

}  // namespace
