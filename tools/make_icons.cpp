// Writes the program's icon in the hicolor theme's sizes: glowsmith_make_icons DIR writes
// DIR/<n>x<n>/apps/glowsmith.png. Run by `cmake --install`; needs no display.
#include <QDir>
#include <QString>
#include <cstdio>

#include "Logo.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: glowsmith_make_icons DIR\n", stderr);
    return 2;
  }
  const QString root = QString::fromLocal8Bit(argv[1]);
  for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    const QString dir = QString("%1/%2x%2/apps").arg(root).arg(size);
    if (!QDir().mkpath(dir) || !ProgramLogo(size).save(dir + "/glowsmith.png")) {
      std::fprintf(stderr, "glowsmith_make_icons: cannot write %s\n", qPrintable(dir));
      return 1;
    }
  }
  return 0;
}
