// Program entry of Glowsmith.
#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPixmap>
#include <QPushButton>
#include <QTabWidget>
#include <QThread>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include "Dialogs.h"
#include "OptionsStore.h"
#include "P2KAPI.h"
#include "PhonePlatform.h"
#include "Program.h"
#include "SimulatedPhone.h"

namespace {

const char* const kUsage =
    "Usage: glowsmith [OPTIONS] [FILE.pat]\n"
    "Editor for the funlight light patterns (funlight.pat) of Motorola P2K phones.\n"
    "\n"
    "  FILE.pat               open this file at start-up (further files are ignored)\n"
    "  --screenshot FILE.png  start as usual, save a picture of the main window, exit\n"
    "  --simulate-phone DIR   use a simulated phone seeded from DIR instead of USB, and\n"
    "                         connect to it at start-up\n"
    "  --help                 show this help and exit\n"
    "  --version              show the version and exit\n";

struct TCommandLine {
  QStringList Files;
  QString Screenshot;
  QString SimulatePhone;
};

bool HasDisplay() {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform && *platform && std::strncmp(platform, "xcb", 3) != 0 &&
      std::strncmp(platform, "wayland", 7) != 0)
    return true;
  const char* x = std::getenv("DISPLAY");
  const char* w = std::getenv("WAYLAND_DISPLAY");
  return (x && *x) || (w && *w);
}

// Lets the simulated phone connect before a picture is taken: the status notices arrive through
// the event loop. Bounded, so that a phone that never answers cannot hold the program.
void WaitForPhone(Unit1::TMForm& form) {
  QElapsedTimer clock;
  clock.start();
  while (!(form.Phone() && form.Phone()->Connected) && clock.elapsed() < 5000) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(10);
  }
  QApplication::processEvents();
}

}  // namespace

int main(int argc, char* argv[]) {
  TCommandLine cmd;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--version") {
      std::puts("Glowsmith 2.2.8 beta");
      return 0;
    }
    if (arg == "--screenshot" || arg == "--simulate-phone") {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "glowsmith: %s needs an argument\n%s", arg.c_str(), kUsage);
        return 2;
      }
      (arg == "--screenshot" ? cmd.Screenshot : cmd.SimulatePhone) = QString::fromLocal8Bit(argv[++i]);
      continue;
    }
    cmd.Files << QString::fromLocal8Bit(argv[i]);
  }

  // The phone the link talks to; it must outlive the windows.
  std::unique_ptr<IPhonePlatform> phone;
  if (!cmd.SimulatePhone.isEmpty()) {
    try {
      phone = CreateSimulatedPhonePlatform(cmd.SimulatePhone.toStdString());
    } catch (const std::exception& e) {
      std::fprintf(stderr, "glowsmith: --simulate-phone %s: %s\n", qPrintable(cmd.SimulatePhone),
                   e.what());
      return 2;
    }
  } else {
    phone = CreateSystemPhonePlatform();
  }

  if (!cmd.Screenshot.isEmpty()) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  } else if (!HasDisplay()) {
    std::fputs("glowsmith: no graphical display is available (DISPLAY and WAYLAND_DISPLAY are not set).\n"
               "Start it from a desktop session, or use --screenshot FILE.png.\n",
               stderr);
    return 2;
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName("Glowsmith 2");

  TQtDialogs dialogs;
  const std::unique_ptr<IOptionsStore> options = CreateUserOptionsStore();
  Unit1::TMFormServices services;
  services.Dialogs = &dialogs;
  services.Options = options.get();
  services.Arguments = cmd.Files;
  services.Phone = phone.get();
  auto forms = CreateForms(services);
  // A simulated phone is there to be tried: connect to it at once.
  if (!cmd.SimulatePhone.isEmpty()) forms->MForm->Button18->click();

  if (!cmd.Screenshot.isEmpty()) {
    if (!cmd.SimulatePhone.isEmpty()) {
      forms->MForm->PageControl1->setCurrentWidget(forms->MForm->Tab5);
      WaitForPhone(*forms->MForm);
    }
    forms->MForm->show();
    QApplication::processEvents();
    // Light compression: the picture is for a look, and a deep one costs more than the start-up.
    if (!forms->MForm->grab().save(cmd.Screenshot, nullptr, 80)) {
      std::fprintf(stderr, "glowsmith: cannot write %s\n", qPrintable(cmd.Screenshot));
      return 1;
    }
    return 0;
  }
  forms->MForm->show();
  return app.exec();
}
