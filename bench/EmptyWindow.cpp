// Start-up reference: an empty Qt window built like the editor, rendered to a PNG as
// `glowsmith --screenshot` does, so the two start-up times can be compared. With --with-text the
// window shows one line of text, so that the font set-up every window with text pays is in both.
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QPixmap>
#include <cstring>

int main(int argc, char* argv[]) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QMainWindow window;
  window.resize(669, 515);
  const bool withText = argc > 2 && std::strcmp(argv[2], "--with-text") == 0;
  if (withText) window.setCentralWidget(new QLabel("Glowsmith"));
  window.show();
  QApplication::processEvents();
  return window.grab().save(argc > 1 ? argv[1] : "/dev/null", "PNG", 80) ? 0 : 1;
}
