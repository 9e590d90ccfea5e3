// Start-up reference: an empty Qt window built like the editor, rendered to a PNG as
// `glowsmith --screenshot` does, so the two start-up times can be compared.
#include <QApplication>
#include <QMainWindow>
#include <QPixmap>

int main(int argc, char* argv[]) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QMainWindow window;
  window.resize(669, 515);
  window.show();
  QApplication::processEvents();
  return window.grab().save(argc > 1 ? argv[1] : "/dev/null", "PNG") ? 0 : 1;
}
