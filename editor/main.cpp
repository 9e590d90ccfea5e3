// Program entry of Glowsmith.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
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
#include <optional>
#include <string>
#include <vector>

#include "Dialogs.h"
#include "OptionsStore.h"
#include "P2KAPI.h"
#include "PatJson.h"
#include "PhonePlatform.h"
#include "Program.h"
#include "SimulatedMachine.h"

namespace {

const char* const kUsage =
    "Usage: glowsmith [OPTIONS] [FILE.pat]\n"
    "Editor for the funlight light patterns (funlight.pat) of Motorola P2K phones.\n"
    "\n"
    "  FILE.pat               open this file at start-up (further files are ignored)\n"
    "  --screenshot FILE.png  start as usual, save a picture of the main window, exit;\n"
    "                         messages go to standard error, and any makes the exit code 1\n"
    "  --simulate-phone DIR   use a simulated phone seeded from DIR instead of USB, and\n"
    "                         connect to it at start-up\n"
    "  --export-gif OUT.gif --funlight ID [--profile NAME] FILE.pat\n"
    "                         write funlight ID (hexadecimal, as in the list: 01, 0A) of\n"
    "                         FILE.pat as an animated GIF of the preview, in profile NAME\n"
    "                         (default: the one chosen in the program), without a display;\n"
    "                         a failure is reported on standard error with exit code 2\n"
    "  --to-json FILE.pat     write the document as JSON to standard output, exit\n"
    "  --from-json IN.json OUT.pat\n"
    "                         write the document of IN.json as the PAT file OUT.pat, exit;\n"
    "                         on an error OUT.pat is left as it was and the exit code is 2\n"
    "  --help                 show this help and exit\n"
    "  --version              show the version and exit\n"
    "  --                     what follows is a file, even when it starts with \"-\"\n"
    "Qt's own options (-style NAME, -platform NAME, ...) are accepted as well.\n";

struct TCommandLine {
  // File names as the system handed them over: bytes, not necessarily valid text.
  std::vector<std::string> Files;
  std::string Screenshot;
  std::string SimulatePhone;
  std::string ExportGif, Funlight, Profile;
  // --to-json FILE.pat, or --from-json IN.json OUT.pat.
  std::vector<std::string> ToJson, FromJson;
};

// Reads the command line. Help and version end the program at once with code 0; an option this
// program does not know, or one without its value, ends it with code 2 and the usage. Run before
// Qt has taken its own options, unknown options are let pass, as they may be Qt's.
std::optional<int> ParseCommandLine(int argc, char** argv, bool qtOptionsTaken, TCommandLine& cmd) {
  bool filesOnly = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (filesOnly || arg.empty() || arg[0] != '-' || arg == "-") {
      cmd.Files.push_back(arg);
    } else if (arg == "--") {
      filesOnly = true;
    } else if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--version") {
      std::puts("Glowsmith " GLOWSMITH_VERSION_TEXT);
      return 0;
    } else if (std::string* value = arg == "--screenshot"       ? &cmd.Screenshot
                                    : arg == "--simulate-phone" ? &cmd.SimulatePhone
                                    : arg == "--export-gif"     ? &cmd.ExportGif
                                    : arg == "--funlight"       ? &cmd.Funlight
                                    : arg == "--profile"        ? &cmd.Profile
                                                                : nullptr) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "glowsmith: %s needs an argument\n%s", arg.c_str(), kUsage);
        return 2;
      }
      *value = argv[++i];
    } else if (arg == "--to-json" || arg == "--from-json") {
      const int n = arg == "--to-json" ? 1 : 2;
      if (i + n >= argc) {
        std::fprintf(stderr, "glowsmith: %s needs %s\n%s", arg.c_str(),
                     n == 1 ? "an argument" : "two arguments", kUsage);
        return 2;
      }
      (arg == "--to-json" ? cmd.ToJson : cmd.FromJson).assign(argv + i + 1, argv + i + 1 + n);
      i += n;
    } else if (qtOptionsTaken) {
      std::fprintf(stderr, "glowsmith: unknown option %s\n%s", arg.c_str(), kUsage);
      return 2;
    }
  }
  return std::nullopt;
}

// The JSON conversions, without Qt and without a display.
int ConvertJson(const TCommandLine& cmd) {
  std::string json, error;
  const bool done = cmd.ToJson.empty()
                        ? PatJson::JsonFileToPat(cmd.FromJson[0], cmd.FromJson[1], error)
                        : PatJson::PatFileToJson(cmd.ToJson[0], json, error);
  if (done && std::fwrite(json.data(), 1, json.size(), stdout) == json.size() &&
      std::fflush(stdout) == 0)
    return 0;
  std::fprintf(stderr, "glowsmith: %s\n",
               done ? "cannot write the standard output" : error.c_str());
  return 2;
}

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
  // A first look decides what is needed before Qt starts: help, version, the offscreen platform.
  TCommandLine early;
  if (const std::optional<int> done = ParseCommandLine(argc, argv, false, early)) return *done;
  const bool exportGif = !early.ExportGif.empty();
  if (!early.ToJson.empty() || !early.FromJson.empty()) return ConvertJson(early);
  const bool screenshot = !early.Screenshot.empty();
  // Nobody to answer: offscreen, and messages to standard error.
  const bool headless = screenshot || exportGif;

  if (headless) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  } else if (!HasDisplay()) {
    std::fputs(
        "glowsmith: no graphical display is available (DISPLAY and WAYLAND_DISPLAY are not set).\n"
        "Start it from a desktop session, or use --screenshot FILE.png.\n",
        stderr);
    return 2;
  }

  // Qt takes its own options out of argv; what is left is ours.
  QApplication app(argc, argv);
  QApplication::setApplicationName("Glowsmith 2");
  TCommandLine cmd;
  if (const std::optional<int> done = ParseCommandLine(argc, argv, true, cmd)) return *done;
  if (exportGif != !cmd.Funlight.empty() || (!exportGif && !cmd.Profile.empty()) ||
      (exportGif && cmd.Files.size() != 1)) {
    std::fprintf(stderr, "glowsmith: --export-gif needs --funlight and one file\n%s", kUsage);
    return 2;
  }

  // The phone the link talks to; it must outlive the windows.
  std::unique_ptr<IPhonePlatform> phone;
  if (!cmd.SimulatePhone.empty()) {
    try {
      phone = CreateSimulatedPhonePlatform(cmd.SimulatePhone);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "glowsmith: --simulate-phone %s: %s\n", cmd.SimulatePhone.c_str(),
                   e.what());
      return 2;
    }
  } else {
    phone = CreateSystemPhonePlatform();
  }

  // With nobody to answer a message box, its text goes to standard error.
  TQtDialogs desktopDialogs;
  TConsoleDialogs consoleDialogs;
  IDialogs& dialogs = headless ? static_cast<IDialogs&>(consoleDialogs) : desktopDialogs;
  const std::unique_ptr<IOptionsStore> options = CreateUserOptionsStore();
  Unit1::TMFormServices services;
  services.Dialogs = &dialogs;
  services.Options = options.get();
  // The export reads its file itself: one that cannot be read is its own error.
  if (!exportGif) services.Arguments = cmd.Files;
  services.Phone = phone.get();
  auto forms = CreateForms(services);
  // A simulated phone is there to be tried: connect to it at once.
  if (!cmd.SimulatePhone.empty()) forms->MForm->Button18->click();

  if (exportGif) {
    if (consoleDialogs.Shown > 0) return 2;
    return forms->MForm->ExportAnimationCommand(cmd.ExportGif, cmd.Funlight, cmd.Profile,
                                                cmd.Files.front());
  }
  if (screenshot) {
    if (!cmd.SimulatePhone.empty()) {
      forms->MForm->PageControl1->setCurrentWidget(forms->MForm->Tab5);
      WaitForPhone(*forms->MForm);
    }
    forms->MForm->show();
    QApplication::processEvents();
    // Light compression: the picture is for a look, and a deep one costs more than the start-up.
    if (!forms->MForm->grab().save(QFile::decodeName(cmd.Screenshot.c_str()), nullptr, 80)) {
      std::fprintf(stderr, "glowsmith: cannot write %s\n", cmd.Screenshot.c_str());
      return 1;
    }
    return consoleDialogs.Shown > 0 ? 1 : 0;
  }
  forms->MForm->show();
  return app.exec();
}
