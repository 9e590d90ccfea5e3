// Counts the pixels of a picture that show the phone page's status colours, for the end-to-end
// check of the program's screenshot: "green=N red=M".
#include <QColor>
#include <QImage>
#include <cstdio>
#include <cstdlib>

namespace {

bool Near(const QColor& c, int r, int g, int b, int tolerance) {
  return std::abs(c.red() - r) < tolerance && std::abs(c.green() - g) < tolerance &&
         std::abs(c.blue() - b) < tolerance;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: glowsmith_screenshot_colours FILE.png\n", stderr);
    return 2;
  }
  const QImage image(QString::fromLocal8Bit(argv[1]));
  if (image.isNull()) {
    std::fprintf(stderr, "cannot read %s\n", argv[1]);
    return 1;
  }
  int green = 0;
  int red = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      green += Near(c, 0, 128, 0, 40);
      red += Near(c, 255, 0, 0, 60);
    }
  }
  std::printf("green=%d red=%d\n", green, red);
  return 0;
}
