// Counts the pixels of a picture that show the phone page's status colours, for the end-to-end
// check of the program's screenshot: "green=N red=M".
#include <QColor>
#include <QImage>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  const QImage image(argc == 2 ? QString::fromLocal8Bit(argv[1]) : QString());
  if (image.isNull())
    return std::fputs("usage: glowsmith_screenshot_colours FILE.png\n", stderr), 2;
  const auto near = [](QColor c, int r, int g, int b, int tolerance) {
    return std::abs(c.red() - r) < tolerance && std::abs(c.green() - g) < tolerance &&
           std::abs(c.blue() - b) < tolerance;
  };
  int green = 0, red = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      green += near(image.pixelColor(x, y), 0, 128, 0, 40);
      red += near(image.pixelColor(x, y), 255, 0, 0, 60);
    }
  }
  std::printf("green=%d red=%d\n", green, red);
}
