// A funlight as an animated GIF of the preview's pictures, from the File menu and the command line.
#include <QComboBox>
#include <QFile>
#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "DXDraws.h"
#include "GifExport.h"
#include "Profile.h"
#include "SafeReplace.h"
#include "UFunStruct.h"
#include "Unit1.h"

namespace Unit1 {

using namespace UFunStruct;

void TMForm::AExportAnimationExecute() {
  const TFunlight* f = CurrentFunlight();
  if (!f) return;
  if (f->FunType != NormalType)
    return Message(QString::fromStdString(Profile.ExportClubMsg), TMsgIcon::Warning);
  const auto chosen =
      Dialogs().SaveFileName(this, QString::fromStdString(Profile.GifFilterText), "gif");
  if (!chosen) return;
  const QString failure = ExportAnimation(*f, chosen->toStdString());
  if (!failure.isEmpty()) Message(failure, TMsgIcon::Error);
}

QString TMForm::ExportAnimation(const TFunlight& f, const std::string& path) {
  if (f.FunType != NormalType) return QString::fromStdString(Profile.ExportClubMsg);
  // Every light off: the phone as the play's last tick leaves it.
  TDirectDrawSurface surface(TDXDraw::kWidth, TDXDraw::kHeight);
  std::array<bool, 8> lit{};
  DrawFrame(surface, nullptr, 0, lit);
  const QImage backdrop = surface.Image().copy();
  // Each frame at its own duration, single-colour elements lit from frame to frame as in a play.
  std::vector<QImage> pictures;
  std::vector<int> durations;
  const size_t count = std::min<size_t>(f.FrameCount, f.Frames.size());
  for (size_t k = 0; k < count; ++k) {
    DrawFrame(surface, &f, static_cast<int>(k), lit);
    pictures.push_back(surface.Image().copy());
    durations.push_back(f.Frames[k].Duration);
  }
  if (pictures.empty()) pictures.push_back(backdrop), durations.push_back(0);
  try {
    SafeReplace::Replace(path, GifExport::Encode(pictures, durations, backdrop, f.Repeating));
  } catch (const std::exception& e) {
    return QString::fromStdString(Profile.ExportFailedMsg)
               .arg(QFile::decodeName(QByteArray::fromStdString(path))) +
           "\n" + QString::fromLocal8Bit(e.what());
  }
  return {};
}

int TMForm::ExportAnimationCommand(const std::string& out, const std::string& id,
                                   const std::string& profile, const std::string& file) {
  const auto fail = [](const std::string& text) {
    std::fprintf(stderr, "glowsmith: %s\n", text.c_str());
    return 2;
  };
  unsigned value = 0;
  const auto [end, error] = std::from_chars(id.data(), id.data() + id.size(), value, 16);
  if (id.empty() || id.size() > 2 || error != std::errc() || end != id.data() + id.size())
    return fail("--funlight takes the funlight's ID in hexadecimal, as the list shows it: " + id);
  if (!profile.empty()) {
    const int index = ComboBox2->findText(QString::fromStdString(profile), Qt::MatchFixedString);
    if (index < 0) return fail("there is no profile " + profile);
    ComboBox2->setCurrentIndex(index);
    try {
      ComboBox2Change();
    } catch (const std::exception& e) {
      return fail(e.what());
    }
  }
  try {
    if (!ReadPat(file)) return fail(file + " is not a funlight file");
  } catch (const std::exception& e) {
    return fail(file + ": " + e.what());
  }
  for (const TFunlight& f : FunList) {
    if (f.FunID != value) continue;
    const QString failure = ExportAnimation(f, out);
    return failure.isEmpty()
               ? 0
               : fail(QString(failure).replace('\n', ' ').toLocal8Bit().toStdString());
  }
  return fail(file + " has no funlight " + id);
}

}  // namespace Unit1
