#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "DXDraws.h"

using testing::ThrowsMessage;
constexpr uint32_t kBack = 0xECE9D8;
const QColor kKey(255, 0, 255), kRed(255, 0, 0);

// A picture, key colour where mask has 'm', else red 10 x, green 20 y, blue 99.
static QImage Picture(const std::vector<std::string>& mask) {
  QImage image(static_cast<int>(mask[0].size()), static_cast<int>(mask.size()),
               QImage::Format_RGB32);
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      image.setPixelColor(x, y, mask[y][x] == 'm' ? kKey : QColor(10 * x, 20 * y, 99));
  return image;
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
    std::function<void(TDirectDrawSurface&)> Draw;
    std::vector<std::vector<int>> Probes;  // x, y and the pixel there
  } cases[] = {
      // clang-format off
      // Each channel moves alpha/255 of the way, rounded; Right and Bottom are outside.
      {fill({10, 5, 20, 15}, kRed, 128), {{10, 5, 0xF6746C}, {19, 14, 0xF6746C}, {20, 10, kBack}, {15, 15, kBack}}},
      {[&](auto& s) { fill({0, 0, 9, 9}, kRed, 128)(s), fill({0, 0, 5, 5}, kRed, 128)(s); },
       {{3, 3, 0xFB3A36}, {7, 7, 0xF6746C}}},
      {[&](auto& s) { fill({0, 0, 5, 5}, kRed, 300)(s), fill({5, 0, 9, 5}, kRed, -7)(s); },
       {{4, 4, 0xFF0000}, {5, 0, kBack}}},
      {[&](auto& s) { for (TRect r : {TRect{-5, -5, 2, 2}, {60, 44, 99, 99}, {5, 1, 3, 4}, {2, 3, 4, 3}})
                        fill(r, Qt::black, 255)(s); },
       {{0, 0, 0}, {1, 1, 0}, {2, 2, kBack}, {63, 47, 0}, {59, 43, kBack}, {4, 2, kBack}, {3, 3, kBack}}},
      // The centre and the middles of the edges are on the ellipse, the corners of its box not.
      {ellipse({20, 10, 60, 40}, kRed, 255), {{40, 25, 0xFF0000}, {40, 10, 0xFF0000}, {40, 39, 0xFF0000},
       {20, 25, 0xFF0000}, {59, 25, 0xFF0000}, {20, 10, kBack}, {59, 39, kBack}, {60, 25, kBack}, {40, 40, kBack}}},
      {ellipse({5, 5, 56, 26}, kRed, 128), {{30, 15, 0xF6746C}, {5, 5, kBack}}},
      {ellipse({20, 10, 60, 40}, QColor(0xCC, 0xBB, 0xAA), 255), {{40, 25, kBack}}},  // the key colour
      // Without area nothing; so thin that the rasteriser would leave pixels out: the whole box.
      {[&](auto& s) { for (TRect r : {TRect{5, 5, 5, 10}, {5, 5, 10, 5}, {10, 10, 5, 5}, {3, 3, 4, 4}, {8, 8, 14, 10}})
                        ellipse(r, Qt::blue, 255)(s); },
       {{3, 3, 0x0000FF}, {8, 8, 0x0000FF}, {13, 9, 0x0000FF}, {14, 9, kBack}, {5, 7, kBack}, {7, 5, kBack}}},
      {[&](auto& s) { none.Draw(s, 0, 0), none.StretchDrawAlpha(s, {0, 0, 9, 9}, 255); }, {{0, 0, kBack}}},
      {[&](auto& s) { slot.Draw(s, 10, 20); }, {{10, 20, kBack}, {12, 20, 0x140063}, {10, 21, 0x001463},
       {11, 21, kBack}, {13, 22, 0xFE00FF}, {9, 20, kBack}, {14, 21, kBack}, {10, 23, kBack}}},
      {[&](auto& s) { slot.Draw(s, -2, -1), slot.Draw(s, 61, 46); }, {{0, 0, kBack}, {1, 0, 0x1E1463},
       {0, 1, 0x142863}, {61, 46, kBack}, {63, 46, 0x140063}, {61, 47, 0x001463}}},
      // Scaled to the nearest pixel, blended, the key left out; clipped at the same scale.
      {[&](auto& s) { stretched.StretchDrawAlpha(s, {10, 10, 20, 20}, 128); }, {{10, 10, kBack},
       {14, 14, kBack}, {15, 10, 0x7B749D}, {10, 19, 0x767E9D}, {19, 19, 0x7B7E9D}, {20, 19, kBack}, {19, 20, kBack}}},
      {[&](auto& s) { stretched.StretchDrawAlpha(s, {-4, 0, 4, 8}, 255); },
       {{0, 4, 0x0A1463}, {3, 0, 0x0A0063}, {0, 0, 0x0A0063}}},
      // clang-format on
  };
  for (const auto& c : cases) {
    TDirectDrawSurface surface(64, 48);
    surface.Fill(kBack);
    c.Draw(surface);
    for (const auto& p : c.Probes)
      EXPECT_EQ(surface.Pixel(p[0], p[1]), static_cast<uint32_t>(p[2]))
          << &c - cases << ": " << p[0] << "," << p[1];
  }
  EXPECT_THROW(TDirectDrawSurface(64, 48).Pixel(64, 0), std::out_of_range);
  EXPECT_THROW(TDirectDrawSurface(64, 48).Pixel(0, -1), std::out_of_range);
}

TEST(DXDrawsTest, SlotsByNameAndFromFile) {
  TDXImageList images;
  images.Add("0", kKey);
  EXPECT_EQ(&images.Find("cIRCLE"), &images.Add("Circle", kKey));
  EXPECT_THAT([&] { images.Find("7"); }, ThrowsMessage<std::runtime_error>("Image '7' not found"));
  QTemporaryDir dir;
  const std::string folder = dir.path().toStdString();
  ASSERT_TRUE(Picture({"m.", ".m"}).save(dir.filePath("good.bmp"), "BMP"));
  std::ofstream(folder + "/bad.bmp") << "BM but not really a bitmap";
  TPictureCollectionItem& slot = images.Find("0");
  slot.LoadFromFile(folder + "/good.bmp");
  for (const auto& [path, reason] : {std::pair{folder + "/gone.bmp", "No such file or directory"},
                                     {folder + "/bad.bmp", "Invalid bitmap"},
                                     {folder, "Is a directory"}})
    EXPECT_THAT([&] { slot.LoadFromFile(path); },
                ThrowsMessage<std::runtime_error>("Cannot open file \"" + path + "\". " + reason));
  TDirectDrawSurface surface(4, 4);  // a failure keeps the picture
  slot.Draw(surface, 0, 0);
  EXPECT_EQ(std::pair(surface.Pixel(0, 0), surface.Pixel(1, 0)), std::pair(0u, 0x0A0063u));
}

TEST(DXDrawsTest, DrawingAreaShowsWhatWasDrawnAtTheFlip) {
  TDXDraw draw;
  int initializations = 0;
  draw.OnInitializeSurface = [&] { ++initializations, draw.Surface().Fill(kBack); };
  EXPECT_EQ(draw.size(), QSize(257, 425));
  draw.show(), draw.hide(), draw.show();
  draw.Surface().FillRectAlpha({10, 20, 30, 40}, kRed, 255);
  EXPECT_EQ(draw.grab().toImage().pixel(15, 25) & 0xFFFFFF, kBack);
  draw.Flip();
  draw.Surface().Fill(0);
  EXPECT_EQ(draw.grab().toImage().pixel(15, 25) & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(draw.FrontPixel(256, 424), kBack);
  draw.Initialize();  // a fresh surface, shown at once
  EXPECT_EQ(initializations, 2);
  EXPECT_EQ(draw.FrontPixel(15, 25), kBack);
}
