#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "DXDraws.h"

namespace {

constexpr uint32_t kBackground = 0xECE9D8;
const QColor kMagenta(255, 0, 255);

int Red(uint32_t p) {
  return (p >> 16) & 0xFF;
}
int Green(uint32_t p) {
  return (p >> 8) & 0xFF;
}
int Blue(uint32_t p) {
  return p & 0xFF;
}

int BlendExpected(int bg, int c, int alpha) {
  return bg + (c - bg) * alpha / 255;
}

// Each channel within 1 of bg blended towards c.
::testing::AssertionResult IsBlend(uint32_t pixel, uint32_t bg, const QColor& c, int alpha) {
  const int want[3] = {BlendExpected(Red(bg), c.red(), alpha),
                       BlendExpected(Green(bg), c.green(), alpha),
                       BlendExpected(Blue(bg), c.blue(), alpha)};
  const int got[3] = {Red(pixel), Green(pixel), Blue(pixel)};
  for (int i = 0; i < 3; ++i) {
    if (std::abs(want[i] - got[i]) > 1) {
      return ::testing::AssertionFailure()
             << "pixel " << std::hex << pixel << " channel " << i << " is " << std::dec << got[i]
             << ", expected " << want[i];
    }
  }
  return ::testing::AssertionSuccess();
}

uint32_t Rgb(const QColor& c) {
  return c.rgb() & 0xFFFFFF;
}

// A picture whose pixels are magenta where mask has 'm', else a colour that depends on x and y.
QImage Picture(const std::vector<std::string>& mask) {
  QImage image(static_cast<int>(mask[0].size()), static_cast<int>(mask.size()),
               QImage::Format_RGB32);
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      image.setPixelColor(x, y, mask[y][x] == 'm' ? kMagenta : QColor(10 * x, 20 * y, 99));
    }
  }
  return image;
}

std::string ErrorText(const std::function<void()>& f) {
  try {
    f();
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "(nothing thrown)";
}

}  // namespace

TEST(ColorFromWin, RedIsTheLowByte) {
  const struct {
    uint32_t win;
    int r, g, b;
  } cases[] = {{0x0000FF, 255, 0, 0},
               {0x00FF00, 0, 255, 0},
               {0xFF0000, 0, 0, 255},
               {0xAABBCC, 0xCC, 0xBB, 0xAA},
               {0xFFAABBCC, 0xCC, 0xBB, 0xAA}};
  for (const auto& c : cases) {
    const QColor colour = ColorFromWin(c.win);
    EXPECT_EQ(colour, QColor(c.r, c.g, c.b)) << std::hex << c.win;
  }
}

TEST(Surface, FillSetsEveryPixelToTheValue) {
  TDirectDrawSurface surface(257, 425);
  surface.Fill(kBackground);
  for (auto [x, y] : {std::pair{0, 0}, {256, 0}, {0, 424}, {256, 424}, {128, 200}}) {
    EXPECT_EQ(surface.Pixel(x, y), kBackground) << x << "," << y;
  }
  EXPECT_EQ(Red(surface.Pixel(5, 5)), 236);
  EXPECT_EQ(Green(surface.Pixel(5, 5)), 233);
  EXPECT_EQ(Blue(surface.Pixel(5, 5)), 216);
  EXPECT_THROW(surface.Pixel(257, 0), std::out_of_range);
  EXPECT_THROW(surface.Pixel(0, -1), std::out_of_range);
}

TEST(Surface, FillRectAlphaBlendsOverTheBackground) {
  const struct {
    QColor colour;
    int alpha;
    int effectiveAlpha;
  } cases[] = {
      {QColor(255, 0, 0), 128, 128},     {QColor(0, 0, 0), 100, 100},   {QColor(17, 34, 51), 1, 1},
      {QColor(255, 255, 255), 254, 254}, {QColor(0, 255, 0), 255, 255}, {QColor(0, 0, 255), 0, 0},
      {QColor(12, 200, 99), 300, 255},   {QColor(12, 200, 99), -7, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.colour.name().toStdString() << " alpha " << c.alpha);
    TDirectDrawSurface surface(40, 30);
    surface.Fill(kBackground);
    surface.FillRectAlpha(TRect{10, 5, 20, 15}, c.colour, c.alpha);
    for (auto [x, y] : {std::pair{10, 5}, {19, 14}, {15, 10}}) {
      EXPECT_TRUE(IsBlend(surface.Pixel(x, y), kBackground, c.colour, c.effectiveAlpha));
    }
    if (c.effectiveAlpha == 0) {
      EXPECT_EQ(surface.Pixel(15, 10), kBackground);
    }
    if (c.effectiveAlpha == 255) {
      EXPECT_EQ(surface.Pixel(15, 10), Rgb(c.colour));
    }
    // Right and Bottom are outside, as are the neighbours of Left and Top.
    for (auto [x, y] : {std::pair{20, 10}, {15, 15}, {9, 10}, {15, 4}, {20, 15}}) {
      EXPECT_EQ(surface.Pixel(x, y), kBackground) << x << "," << y;
    }
  }
}

TEST(Surface, BlendsStackOnWhatIsThere) {
  TDirectDrawSurface surface(10, 10);
  surface.Fill(0x000000);
  surface.FillRectAlpha(TRect{0, 0, 10, 10}, QColor(200, 100, 50), 128);
  const uint32_t once = surface.Pixel(3, 3);
  surface.FillRectAlpha(TRect{0, 0, 5, 10}, QColor(200, 100, 50), 128);
  EXPECT_TRUE(IsBlend(surface.Pixel(3, 3), once, QColor(200, 100, 50), 128));
  EXPECT_EQ(surface.Pixel(7, 3), once);
}

TEST(Surface, FillRectAlphaClipsAndIgnoresEmptyRectangles) {
  TDirectDrawSurface surface(8, 6);
  surface.Fill(kBackground);
  surface.FillRectAlpha(TRect{-5, -5, 2, 2}, Qt::black, 255);
  surface.FillRectAlpha(TRect{6, 4, 100, 100}, Qt::black, 255);
  surface.FillRectAlpha(TRect{5, 1, 3, 4}, Qt::black, 255);  // Right before Left
  surface.FillRectAlpha(TRect{2, 3, 4, 3}, Qt::black, 255);  // no height
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 8; ++x) {
      const bool inside = (x < 2 && y < 2) || (x >= 6 && y >= 4);
      EXPECT_EQ(surface.Pixel(x, y), inside ? 0u : kBackground) << x << "," << y;
    }
  }
}

TEST(Circle, InTheKeyColourIsInvisibleWhileARectangleIsNot) {
  TDXImageList images;
  TPictureCollectionItem& circle = images.Add("Circle", ColorFromWin(0xAABBCC));
  const QColor key(0xCC, 0xBB, 0xAA);  // R 12, G 11, B 10 times 17
  ASSERT_EQ(key, QColor(12 * 17, 11 * 17, 10 * 17));

  TDirectDrawSurface surface(100, 100);
  surface.Fill(kBackground);
  DrawCircleAlpha(circle, surface, TRect{10, 10, 50, 50}, key, 255);
  for (int y = 0; y < 100; y += 3) {
    for (int x = 0; x < 100; x += 3) ASSERT_EQ(surface.Pixel(x, y), kBackground) << x << "," << y;
  }
  surface.FillRectAlpha(TRect{10, 10, 50, 50}, key, 255);
  EXPECT_EQ(surface.Pixel(30, 30), Rgb(key));
  EXPECT_EQ(surface.Pixel(10, 10), Rgb(key));
}

TEST(Circle, FillsTheEllipseAndLeavesTheCorners) {
  const struct {
    TRect rect;
    int alpha;
  } cases[] = {{TRect{20, 30, 60, 70}, 255},
               {TRect{20, 30, 60, 70}, 128},
               {TRect{5, 5, 56, 26}, 200},
               {TRect{0, 0, 9, 9}, 255}};
  const QColor c(255, 0, 0);
  for (const auto& t : cases) {
    const TRect& r = t.rect;
    SCOPED_TRACE(testing::Message() << r.Left << "," << r.Top << "," << r.Right << "," << r.Bottom
                                    << " alpha " << t.alpha);
    TDXImageList images;
    TPictureCollectionItem& circle = images.Add("Circle", ColorFromWin(0xAABBCC));
    TDirectDrawSurface surface(100, 100);
    surface.Fill(kBackground);
    DrawCircleAlpha(circle, surface, r, c, t.alpha);
    const int cx = (r.Left + r.Right) / 2;
    const int cy = (r.Top + r.Bottom) / 2;
    // The centre and the middles of the four edges of the box are on the ellipse.
    for (auto [x, y] :
         {std::pair{cx, cy}, {cx, r.Top}, {cx, r.Bottom - 1}, {r.Left, cy}, {r.Right - 1, cy}}) {
      EXPECT_TRUE(IsBlend(surface.Pixel(x, y), kBackground, c, t.alpha)) << x << "," << y;
    }
    // The corners of the box and everything outside it keep the background.
    for (auto [x, y] : {std::pair{r.Left, r.Top},
                        {r.Right - 1, r.Top},
                        {r.Left, r.Bottom - 1},
                        {r.Right - 1, r.Bottom - 1},
                        {cx, r.Bottom},
                        {r.Right, cy}}) {
      EXPECT_EQ(surface.Pixel(x, y), kBackground) << x << "," << y;
    }
    if (r.Top > 0) {
      EXPECT_EQ(surface.Pixel(cx, r.Top - 1), kBackground);
    }
    if (r.Left > 0) {
      EXPECT_EQ(surface.Pixel(r.Left - 1, cy), kBackground);
    }
  }
}

TEST(Circle, WithoutAreaDrawsNothingAndThinOnesFillTheirBox) {
  TDXImageList images;
  TPictureCollectionItem& circle = images.Add("Circle", ColorFromWin(0xAABBCC));
  TDirectDrawSurface surface(20, 20);
  surface.Fill(kBackground);
  DrawCircleAlpha(circle, surface, TRect{5, 5, 5, 10}, Qt::blue, 255);
  DrawCircleAlpha(circle, surface, TRect{5, 5, 10, 5}, Qt::blue, 255);
  DrawCircleAlpha(circle, surface, TRect{10, 10, 5, 5}, Qt::blue, 255);
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 20; ++x) ASSERT_EQ(surface.Pixel(x, y), kBackground) << x << "," << y;
  }
  DrawCircleAlpha(circle, surface, TRect{3, 3, 4, 4}, Qt::blue, 255);
  DrawCircleAlpha(circle, surface, TRect{8, 8, 14, 10}, Qt::blue, 255);
  EXPECT_EQ(surface.Pixel(3, 3), 0x0000FFu);
  EXPECT_EQ(surface.Pixel(8, 8), 0x0000FFu);
  EXPECT_EQ(surface.Pixel(13, 9), 0x0000FFu);
  EXPECT_EQ(surface.Pixel(14, 9), kBackground);
}

TEST(ImageSlot, DrawLeavesKeyPixelsUntouched) {
  const std::vector<std::string> mask = {"mm.m", ".mm.", "...m"};
  TPictureCollectionItem slot("1", kMagenta);
  QImage picture = Picture(mask);
  picture.setPixelColor(2, 2, QColor(254, 0, 255));  // near the key is not the key
  slot.Assign(picture);
  slot.Restore();
  TDirectDrawSurface surface(30, 30);
  surface.Fill(kBackground);
  slot.Draw(surface, 10, 20);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 4; ++x) {
      const uint32_t want = mask[y][x] == 'm' ? kBackground : Rgb(picture.pixelColor(x, y));
      EXPECT_EQ(surface.Pixel(10 + x, 20 + y), want) << x << "," << y;
    }
  }
  EXPECT_EQ(surface.Pixel(9, 20), kBackground);
  EXPECT_EQ(surface.Pixel(14, 20), kBackground);
  EXPECT_EQ(surface.Pixel(10, 23), kBackground);
}

TEST(ImageSlot, DrawClipsAtEveryEdge) {
  TPictureCollectionItem slot("0", kMagenta);
  slot.Assign(Picture({"....", "....", "...."}));
  slot.Restore();
  for (auto [x, y] : {std::pair{-2, -1}, {4, 3}, {-10, 0}, {0, 50}}) {
    TDirectDrawSurface surface(6, 5);
    surface.Fill(kBackground);
    slot.Draw(surface, x, y);
    for (int sy = 0; sy < 5; ++sy) {
      for (int sx = 0; sx < 6; ++sx) {
        const int px = sx - x;
        const int py = sy - y;
        const bool covered = px >= 0 && px < 4 && py >= 0 && py < 3;
        EXPECT_EQ(surface.Pixel(sx, sy), covered ? Rgb(QColor(10 * px, 20 * py, 99)) : kBackground)
            << "at " << x << "," << y << " pixel " << sx << "," << sy;
      }
    }
  }
}

TEST(ImageSlot, WithoutPictureDrawsNothing) {
  TPictureCollectionItem slot("5", kMagenta);
  TDirectDrawSurface surface(10, 10);
  surface.Fill(kBackground);
  slot.Restore();
  slot.Draw(surface, 0, 0);
  slot.StretchDrawAlpha(surface, TRect{0, 0, 10, 10}, 255);
  EXPECT_FALSE(slot.HasPicture());
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 10; ++x) ASSERT_EQ(surface.Pixel(x, y), kBackground);
  }
}

TEST(ImageSlot, ANewPictureReplacesThePreparedOne) {
  TPictureCollectionItem slot("2", kMagenta);
  slot.Assign(Picture({"..", ".."}));
  slot.Restore();
  slot.Assign(Picture({"mm", "m."}));  // not restored: drawing prepares it
  TDirectDrawSurface surface(4, 4);
  surface.Fill(kBackground);
  slot.Draw(surface, 0, 0);
  EXPECT_EQ(surface.Pixel(0, 0), kBackground);
  EXPECT_EQ(surface.Pixel(1, 0), kBackground);
  EXPECT_EQ(surface.Pixel(0, 1), kBackground);
  EXPECT_EQ(surface.Pixel(1, 1), Rgb(QColor(10, 20, 99)));
}

TEST(ImageSlot, StretchDrawAlphaScalesBlendsAndKeepsTheKey) {
  // 2 x 2 picture: top-left is key, the others are colours.
  QImage picture(2, 2, QImage::Format_RGB32);
  picture.setPixelColor(0, 0, kMagenta);
  picture.setPixelColor(1, 0, QColor(255, 0, 0));
  picture.setPixelColor(0, 1, QColor(0, 255, 0));
  picture.setPixelColor(1, 1, QColor(0, 0, 255));
  for (int alpha : {255, 128}) {
    SCOPED_TRACE(alpha);
    TPictureCollectionItem slot("3", kMagenta);
    slot.Assign(picture);
    slot.Restore();
    TDirectDrawSurface surface(30, 30);
    surface.Fill(kBackground);
    slot.StretchDrawAlpha(surface, TRect{10, 10, 20, 20}, alpha);
    for (int y = 10; y < 20; ++y) {
      for (int x = 10; x < 20; ++x) {
        const QColor source = picture.pixelColor(x < 15 ? 0 : 1, y < 15 ? 0 : 1);
        if (source == kMagenta) {
          EXPECT_EQ(surface.Pixel(x, y), kBackground) << x << "," << y;
        } else {
          EXPECT_TRUE(IsBlend(surface.Pixel(x, y), kBackground, source, alpha)) << x << "," << y;
        }
      }
    }
    EXPECT_EQ(surface.Pixel(20, 19), kBackground);
    EXPECT_EQ(surface.Pixel(19, 20), kBackground);
    EXPECT_EQ(surface.Pixel(9, 12), kBackground);
  }
}

TEST(ImageSlot, StretchDrawAlphaClipsAndKeepsItsScale) {
  // A 4-pixel-wide gradient stretched to 8 pixels, half of it off the surface.
  QImage picture(4, 1, QImage::Format_RGB32);
  for (int x = 0; x < 4; ++x) picture.setPixelColor(x, 0, QColor(50 * x, 0, 0));
  TPictureCollectionItem slot("4", kMagenta);
  slot.Assign(picture);
  TDirectDrawSurface surface(4, 1);
  surface.Fill(kBackground);
  slot.StretchDrawAlpha(surface, TRect{-4, 0, 4, 1}, 255);
  EXPECT_EQ(surface.Pixel(0, 0), Rgb(QColor(100, 0, 0)));
  EXPECT_EQ(surface.Pixel(1, 0), Rgb(QColor(100, 0, 0)));
  EXPECT_EQ(surface.Pixel(2, 0), Rgb(QColor(150, 0, 0)));
  EXPECT_EQ(surface.Pixel(3, 0), Rgb(QColor(150, 0, 0)));
}

TEST(ImageList, FindsSlotsByNameAndNamesTheMissingOne) {
  TDXImageList images;
  images.Add("0", kMagenta);
  TPictureCollectionItem& circle = images.Add("Circle", ColorFromWin(0xAABBCC));
  EXPECT_EQ(&images.Find("Circle"), &circle);
  EXPECT_EQ(&images.Find("circle"), &circle);
  EXPECT_EQ(images.Find("0").Name(), "0");
  EXPECT_EQ(images.Count(), 2);
  EXPECT_EQ(circle.TransparentColor(), QColor(0xCC, 0xBB, 0xAA));
  EXPECT_EQ(ErrorText([&] { images.Find("7"); }), "Image '7' not found");
  EXPECT_EQ(ErrorText([&] { images.Find(""); }), "Image '' not found");
}

class LoadFromFile : public ::testing::Test {
 protected:
  std::string Path(const char* name) { return (dir_.path() + "/" + name).toStdString(); }
  QTemporaryDir dir_;
};

TEST_F(LoadFromFile, ReadsAWindowsBitmapWithItsKey) {
  const std::vector<std::string> mask = {"m..m", "....", "mmmm"};
  const QImage picture = Picture(mask);
  const std::string path = Path("phone_01.bmp");
  ASSERT_TRUE(
      picture.convertToFormat(QImage::Format_RGB888).save(QString::fromStdString(path), "BMP"));
  TPictureCollectionItem slot("1", kMagenta);
  slot.LoadFromFile(path);
  slot.Restore();
  ASSERT_EQ(slot.Width(), 4);
  ASSERT_EQ(slot.Height(), 3);
  TDirectDrawSurface surface(4, 3);
  surface.Fill(kBackground);
  slot.Draw(surface, 0, 0);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 4; ++x) {
      EXPECT_EQ(surface.Pixel(x, y),
                mask[y][x] == 'm' ? kBackground : Rgb(picture.pixelColor(x, y)))
          << x << "," << y;
    }
  }
}

TEST_F(LoadFromFile, FailuresNameThePathAndTheReasonAndKeepThePicture) {
  TPictureCollectionItem slot("0", kMagenta);
  slot.Assign(Picture({".."}));
  const std::string missing = Path("Motorola (All Models).bmp");
  EXPECT_EQ(ErrorText([&] { slot.LoadFromFile(missing); }),
            "Cannot open file \"" + missing + "\". No such file or directory");

  const std::string text = Path("not a picture.bmp");
  std::FILE* f = std::fopen(text.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fputs("BM but not really a bitmap", f);
  std::fclose(f);
  EXPECT_EQ(ErrorText([&] { slot.LoadFromFile(text); }),
            "Cannot open file \"" + text + "\". Invalid bitmap");

  const std::string folder = dir_.path().toStdString();
  EXPECT_EQ(ErrorText([&] { slot.LoadFromFile(folder); }),
            "Cannot open file \"" + folder + "\". Is a directory");

  EXPECT_EQ(slot.Width(), 2);
  EXPECT_EQ(slot.Height(), 1);
}

class DrawingArea : public ::testing::Test {
 protected:
  void SetUp() override {
    draw_.OnInitializeSurface = [this] {
      ++initializations_;
      draw_.Surface().Fill(kBackground);
    };
  }
  TDXDraw draw_;
  int initializations_ = 0;
};

TEST_F(DrawingArea, HasTheSizeOfThePhonePicture) {
  EXPECT_EQ(draw_.width(), 257);
  EXPECT_EQ(draw_.height(), 425);
  EXPECT_EQ(draw_.Surface().Width(), 257);
  EXPECT_EQ(draw_.Surface().Height(), 425);
  EXPECT_EQ(draw_.objectName(), "DXDraw");
}

TEST_F(DrawingArea, InitializingRunsTheHandlerOnAFreshSurfaceAndShowsIt) {
  draw_.Surface().Fill(0x123456);
  draw_.Initialize();
  EXPECT_EQ(initializations_, 1);
  EXPECT_EQ(draw_.Surface().Pixel(100, 100), kBackground);
  EXPECT_EQ(draw_.FrontPixel(100, 100), kBackground);
  draw_.show();  // already initialised: not again
  EXPECT_EQ(initializations_, 1);
}

TEST_F(DrawingArea, ShowingInitializesOnce) {
  draw_.show();
  draw_.hide();
  draw_.show();
  EXPECT_EQ(initializations_, 1);
  EXPECT_EQ(draw_.FrontPixel(0, 0), kBackground);
}

TEST_F(DrawingArea, FlipShowsTheBackBufferAndKeepsIt) {
  draw_.show();
  draw_.Surface().FillRectAlpha(TRect{10, 20, 30, 40}, QColor(255, 0, 0), 255);
  EXPECT_EQ(draw_.FrontPixel(15, 25), kBackground);
  QImage shown = draw_.grab().toImage();
  EXPECT_EQ(shown.pixelColor(15, 25), QColor(236, 233, 216));

  draw_.Flip();
  EXPECT_EQ(draw_.FrontPixel(15, 25), 0xFF0000u);
  shown = draw_.grab().toImage();
  EXPECT_EQ(shown.pixelColor(15, 25), QColor(255, 0, 0));
  EXPECT_EQ(shown.pixelColor(9, 25), QColor(236, 233, 216));
  EXPECT_EQ(shown.pixelColor(256, 424), QColor(236, 233, 216));
  EXPECT_EQ(draw_.Surface().Pixel(15, 25), 0xFF0000u);

  // Drawing after the flip stays hidden until the next one.
  draw_.Surface().Fill(0x000000);
  EXPECT_EQ(draw_.grab().toImage().pixelColor(15, 25), QColor(255, 0, 0));
}
