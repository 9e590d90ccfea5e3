// Renders every page of the main window and both dialogs, in English and in Russian, to PNG files,
// with a document loaded so that the pages show content. Used to compare the forms before and
// after a change pixel by pixel. Usage: glowsmith_screenshots OUTDIR FILE.pat
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstdio>
#include <vector>

#include "OptionsStore.h"
#include "Program.h"
#include "SimulatedMachine.h"

namespace {

bool Save(QWidget* w, const QString& dir, const QString& name) {
  w->show();
  QApplication::processEvents();
  const bool ok = w->grab().save(dir + "/" + name + ".png");
  if (!ok) std::fprintf(stderr, "cannot write %s/%s.png\n", qPrintable(dir), qPrintable(name));
  return ok;
}

// Every widget and action under a window, in child order, and the window's focus chain: what the
// pictures cannot show (hidden widgets, focus order, fonts, enabled states).
void Describe(QWidget* window, QTextStream& out) {
  for (QObject* o : window->findChildren<QObject*>()) {
    out << o->metaObject()->className() << " " << o->objectName();
    if (auto* w = qobject_cast<QWidget*>(o)) {
      const QRect g = w->geometry();
      out << " " << g.x() << "," << g.y() << " " << g.width() << "x" << g.height()
          << (w->isVisibleTo(window) ? " shown" : " hidden") << (w->isEnabled() ? "" : " disabled")
          << " focus=" << w->focusPolicy() << " font=" << w->font().toString()
          << " fg=" << w->palette().color(QPalette::WindowText).name();
    }
    for (const char* p : {"text", "title", "windowTitle", "checked", "value", "minimum", "maximum",
                          "singleStep", "alignment", "readOnly", "wordWrap", "enabled"}) {
      const QVariant v = o->property(p);
      if (v.isValid()) out << " " << p << "=" << v.toString();
    }
    out << "\n";
  }
  out << "focus chain:";
  for (QWidget* w = window->nextInFocusChain(); w && w != window; w = w->nextInFocusChain())
    out << " " << w->objectName();
  out << "\n";
}

bool Describe(const std::vector<QWidget*>& windows, const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) return false;
  QTextStream out(&file);
  for (QWidget* w : windows) {
    out << "== " << w->objectName() << " " << w->windowTitle() << " " << w->width() << "x"
        << w->height() << "\n";
    Describe(w, out);
  }
  return true;
}

}  // namespace

int main(int argc, char* argv[]) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setApplicationName("Glowsmith 2");
  if (argc != 3) {
    std::fputs("Usage: glowsmith_screenshots OUTDIR FILE.pat\n", stderr);
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(out);
  // Nothing of the user's: fresh options, and a phone that is never plugged in.
  QTemporaryDir temp;
  TIniOptionsStore options(temp.filePath("options.ini").toStdString());
  auto phone = CreateSimulatedPhonePlatform(temp.path().toStdString());
  TConsoleDialogs dialogs;
  Unit1::TMFormServices services;
  services.Dialogs = &dialogs;
  services.Options = &options;
  services.Phone = phone.get();
  services.Arguments = {argv[2]};
  auto forms = CreateForms(services);
  Unit1::TMForm& f = *forms->MForm;

  bool ok = Describe({&f, forms->SForm.get(), forms->AForm.get()}, out + "/widgets-start.txt");
  for (const char* language : {"English", "Russian"}) {
    f.ComboBox1->setCurrentIndex(f.ComboBox1->findText(language));
    f.Guard([&] { f.ComboBox1Change(); });
    const QString p = QString(language).toLower() + "-";
    f.PageControl1->setCurrentWidget(f.Tab1);
    ok &= Save(&f, out, p + "1-setup");
    f.PageControl1->setCurrentWidget(f.Tab2);
    const std::pair<QWidget*, const char*> sheets[] = {{f.TabSheet3, "2-edit-options"},
                                                       {f.TabSheet1, "3-edit-slots"},
                                                       {f.TabSheet2, "4-edit-frame"}};
    for (const auto& [sheet, name] : sheets) {
      f.PageControl2->setCurrentWidget(sheet);
      ok &= Save(&f, out, p + name);
    }
    // A selected cell shows the colour tools of the frame page.
    f.Guard([&] { f.EditGrid->SetCurrent(1, 1); });
    ok &= Save(&f, out, p + "5-edit-cell");
    f.PageControl2->setCurrentWidget(f.TabSheet3);
    f.PageControl1->setCurrentWidget(f.Tab3);
    f.ListBox2->setCurrentRow(0);
    f.Guard([&] { f.ListBox2Click(); });
    ok &= Save(&f, out, p + "6-preview");
    f.PageControl1->setCurrentWidget(f.Tab5);
    ok &= Save(&f, out, p + "7-phone");
    ok &= Save(forms->SForm.get(), out, p + "8-type-dialog");
    forms->SForm->hide();
    ok &= Save(forms->AForm.get(), out, p + "9-about");
    forms->AForm->hide();
    ok &= Describe({&f, forms->SForm.get(), forms->AForm.get()},
                   out + "/widgets-" + language + ".txt");
  }
  if (dialogs.Shown > 0) ok = false;
  return ok ? 0 : 1;
}
