#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "DXDraws.h"

namespace {

constexpr uint32_t kBack = 0xECE9D8;
const QColor kKey(255, 0, 255);
const QColor kRed(255, 0, 0);

struct TProbe {
  int X, Y;
  uint32_t Pixel;
};

// Draws on a fresh 64 x 48 surface of the background and checks the probes.
void ExpectPixels(const std::function<void(TDirectDrawSurface&)>& draw,
                  const std::vector<TProbe>& probes) {
  TDirectDrawSurface surface(64, 48);
  surface.Fill(kBack);
  draw(surface);
  for (const TProbe& p : probes) EXPECT_EQ(surface.Pixel(p.X, p.Y), p.Pixel) << p.X << "," << p.Y;
}

// A picture, key colour where mask has 'm', else red 10 x, green 20 y, blue 99.
QImage Picture(const std::vector<std::string>& mask) {
  QImage image(static_cast<int>(mask[0].size()), static_cast<int>(mask.size()),
               QImage::Format_RGB32);
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      image.setPixelColor(x, y, mask[y][x] == 'm' ? kKey : QColor(10 * x, 20 * y, 99));
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

TEST(DXDrawsTest, DrawsBlendedShapesAndPicturesWithoutTheKeyColour) {
  EXPECT_EQ(ColorFromWin(0xFFAABBCC), QColor(0xCC, 0xBB, 0xAA));  // red in the low byte
  TPictureCollectionItem circle("Circle", ColorFromWin(0xAABBCC)), none("5", kKey), slot("1", kKey),
      stretched("2", kKey);
  QImage picture = Picture({"mm.m", ".mm.", "...m"});
  picture.setPixelColor(3, 2, QColor(254, 0, 255));  // near the key is not the key
  slot.Assign(Picture({"....", "....", "...."}));
  slot.Restore();
  slot.Assign(picture);  // not prepared again: drawing does it
  stretched.Assign(Picture({"m.", ".."}));
  const auto fill = [](TRect r, QColor c, int alpha) {
    return [=](TDirectDrawSurface& s) { s.FillRectAlpha(r, c, alpha); };
  };
  const auto ellipse = [&](TRect r, QColor c, int alpha) {
    return [=, &circle](TDirectDrawSurface& s) { DrawCircleAlpha(circle, s, r, c, alpha); };
  };
  const struct {
    const char* Title;
    std::function<void(TDirectDrawSurface&)> Draw;
    std::vector<TProbe> Probes;
  } cases[] = {
      // clang-format off
      // Each channel moves alpha/255 of the way, rounded; Right and Bottom are outside.
      {"rectangle", fill({10, 5, 20, 15}, kRed, 128),
       {{10, 5, 0xF6746C}, {19, 14, 0xF6746C}, {20, 10, kBack}, {15, 15, kBack}, {9, 10, kBack},
        {15, 4, kBack}}},
      {"black", fill({10, 5, 20, 15}, Qt::black, 100), {{15, 10, 0x8F8E83}}},
      {"over what is there", [&](auto& s) { fill({0, 0, 9, 9}, kRed, 128)(s), fill({0, 0, 5, 5}, kRed, 128)(s); },
       {{3, 3, 0xFB3A36}, {7, 7, 0xF6746C}}},
      {"alpha clamped", [&](auto& s) { fill({0, 0, 5, 5}, kRed, 300)(s), fill({5, 0, 9, 5}, kRed, -7)(s); },
       {{4, 4, 0xFF0000}, {5, 0, kBack}}},
      {"clipped or empty", [&](auto& s) {
         for (TRect r : {TRect{-5, -5, 2, 2}, {60, 44, 99, 99}, {5, 1, 3, 4}, {2, 3, 4, 3}})
           fill(r, Qt::black, 255)(s); },
       {{0, 0, 0}, {1, 1, 0}, {2, 2, kBack}, {63, 47, 0}, {59, 43, kBack}, {4, 2, kBack}, {3, 3, kBack}}},
      // The centre and the middles of the edges are on the ellipse, the corners of its box not.
      {"circle", ellipse({20, 10, 60, 40}, kRed, 255),
       {{40, 25, 0xFF0000}, {40, 10, 0xFF0000}, {40, 39, 0xFF0000}, {20, 25, 0xFF0000},
        {59, 25, 0xFF0000}, {20, 10, kBack}, {59, 39, kBack}, {60, 25, kBack}, {40, 40, kBack},
        {19, 25, kBack}, {40, 9, kBack}}},
      {"blended circle", ellipse({5, 5, 56, 26}, kRed, 128), {{30, 15, 0xF6746C}, {5, 5, kBack}}},
      {"circle in the key colour", ellipse({20, 10, 60, 40}, QColor(0xCC, 0xBB, 0xAA), 255), {{40, 25, kBack}}},
      // Without area nothing; so thin that the rasteriser would leave pixels out: the whole box.
      {"thin circles", [&](auto& s) {
         for (TRect r : {TRect{5, 5, 5, 10}, {5, 5, 10, 5}, {10, 10, 5, 5}, {3, 3, 4, 4}, {8, 8, 14, 10}})
           ellipse(r, Qt::blue, 255)(s); },
       {{3, 3, 0x0000FF}, {8, 8, 0x0000FF}, {13, 9, 0x0000FF}, {14, 9, kBack}, {5, 7, kBack}, {7, 5, kBack}}},
      {"no picture", [&](auto& s) { none.Draw(s, 0, 0), none.StretchDrawAlpha(s, {0, 0, 9, 9}, 255); },
       {{0, 0, kBack}, {8, 8, kBack}}},
      {"picture", [&](auto& s) { slot.Draw(s, 10, 20); },
       {{10, 20, kBack}, {12, 20, 0x140063}, {10, 21, 0x001463}, {11, 21, kBack}, {13, 22, 0xFE00FF},
        {9, 20, kBack}, {14, 21, kBack}, {10, 23, kBack}}},
      {"picture clipped", [&](auto& s) { slot.Draw(s, -2, -1), slot.Draw(s, 61, 46); },
       {{0, 0, kBack}, {1, 0, 0x1E1463}, {0, 1, 0x142863}, {61, 46, kBack}, {63, 46, 0x140063}, {61, 47, 0x001463}}},
      // Scaled to the nearest pixel, blended, the key left out; clipped at the same scale.
      {"stretched", [&](auto& s) { stretched.StretchDrawAlpha(s, {10, 10, 20, 20}, 128); },
       {{10, 10, kBack}, {14, 14, kBack}, {15, 10, 0x7B749D}, {10, 19, 0x767E9D}, {19, 19, 0x7B7E9D}, {20, 19, kBack},
        {19, 20, kBack}}},
      {"stretched and clipped", [&](auto& s) { stretched.StretchDrawAlpha(s, {-4, 0, 4, 8}, 255); },
       {{0, 4, 0x0A1463}, {3, 0, 0x0A0063}, {0, 0, 0x0A0063}}},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Title);
    ExpectPixels(c.Draw, c.Probes);
  }
  TDirectDrawSurface surface(64, 48);
  EXPECT_THROW(surface.Pixel(64, 0), std::out_of_range);
  EXPECT_THROW(surface.Pixel(0, -1), std::out_of_range);
}

TEST(DXDrawsTest, SlotsByNameAndFromFile) {
  TDXImageList images;
  images.Add("0", kKey);
  TPictureCollectionItem& circle = images.Add("Circle", ColorFromWin(0xAABBCC));
  EXPECT_EQ(&images.Find("cIRCLE"), &circle);
  EXPECT_EQ(ErrorText([&] { images.Find("7"); }), "Image '7' not found");

  QTemporaryDir dir;
  const std::string folder = dir.path().toStdString(), good = folder + "/phone_01.bmp";
  ASSERT_TRUE(Picture({"m.", ".m"}).save(QString::fromStdString(good), "BMP"));
  std::FILE* f = std::fopen((folder + "/bad.bmp").c_str(), "wb");
  std::fputs("BM but not really a bitmap", f);
  std::fclose(f);
  TPictureCollectionItem& slot = images.Find("0");
  slot.LoadFromFile(good);
  ExpectPixels([&](auto& s) { slot.Draw(s, 0, 0); }, {{0, 0, kBack}, {1, 0, 0x0A0063}});
  for (const auto& [path, reason] : {std::pair{folder + "/gone.bmp", "No such file or directory"},
                                     {folder + "/bad.bmp", "Invalid bitmap"},
                                     {folder, "Is a directory"}})
    EXPECT_EQ(ErrorText([&] { slot.LoadFromFile(path); }),
              "Cannot open file \"" + path + "\". " + reason);
  EXPECT_EQ(slot.Width(), 2);  // a failure keeps the picture
}

TEST(DXDrawsTest, DrawingAreaShowsWhatWasDrawnAtTheFlip) {
  TDXDraw draw;
  int initializations = 0;
  draw.OnInitializeSurface = [&] { ++initializations, draw.Surface().Fill(kBack); };
  EXPECT_EQ(draw.size(), QSize(257, 425));
  EXPECT_EQ(draw.objectName(), "DXDraw");
  draw.show();
  draw.hide();
  draw.show();
  EXPECT_EQ(initializations, 1);
  draw.Surface().FillRectAlpha({10, 20, 30, 40}, kRed, 255);
  EXPECT_EQ(draw.grab().toImage().pixel(15, 25) & 0xFFFFFF, kBack);
  draw.Flip();
  EXPECT_EQ(draw.grab().toImage().pixel(15, 25) & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(draw.FrontPixel(256, 424), kBack);
  draw.Surface().Fill(0);
  EXPECT_EQ(draw.FrontPixel(15, 25), 0xFF0000u);
  draw.Initialize();  // a fresh surface, shown at once
  EXPECT_EQ(initializations, 2);
  EXPECT_EQ(draw.FrontPixel(15, 25), kBack);
}

}  // namespace
