// Skin and animated preview: the phone picture with the funlight's lights, frame by frame.
#include <QAction>
#include <QCheckBox>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <algorithm>
#include <filesystem>
#include <string>

#include "DXClass.h"
#include "DXDraws.h"
#include "DataFiles.h"
#include "IniFile.h"
#include "Profile.h"
#include "UFunStruct.h"
#include "Unit1.h"

namespace Unit1 {

int16_t PlayPos = 0;

namespace {

using namespace UFunStruct;

// Red 236, green 233, blue 216.
constexpr uint32_t Background = 0xECE9D8;
const char* const DefaultSkin = "Motorola (All Models)";
// Elements 1 to 6 have a lit picture in the image slot of their number; 7 has none.
constexpr int LastSlotElement = 6;
// Shape counts are kept as 8-bit signed numbers.
constexpr int MaxShapes = 127;

bool FileExists(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(FindDataFile(path), error);
}

void LoadSlot(TDXImageList& images, const std::string& name, const std::string& path) {
  TPictureCollectionItem& slot = images.Find(name);
  slot.LoadFromFile(FindDataFile(path));
  slot.Restore();
}

TCoord ReadShape(const TIniFile& skin, const std::string& section, int j) {
  const std::string number = std::to_string(j);
  TCoord shape;
  shape.Left = skin.ReadInteger(section, "Left_" + number, 0);
  shape.Top = skin.ReadInteger(section, "Top_" + number, 0);
  shape.Right = skin.ReadInteger(section, "Right_" + number, 0);
  shape.Bottom = skin.ReadInteger(section, "Bottom_" + number, 0);
  shape.Shape = skin.ReadString(section, "Shape_" + number, "Rectangle");
  shape.Opacity = std::clamp(skin.ReadInteger(section, "Opacity_" + number, 0), 0, 255);
  return shape;
}

void SetEditorLocked(TMForm& form, bool locked) {
  // Disabling a tab disables its page too.
  for (QWidget* page : {form.Tab1, form.Tab2})
    form.PageControl1->setTabEnabled(form.PageControl1->indexOf(page), !locked);
  form.ListBox2->setEnabled(!locked);
  form.File2->setEnabled(!locked);
  form.File2->menuAction()->setEnabled(!locked);
  for (QWidget* w : {form.Tab3, static_cast<QWidget*>(form.DXDraw)}) {
    if (locked)
      w->setCursor(Qt::BusyCursor);
    else
      w->unsetCursor();
  }
}

void StopPlay(TMForm& form) {
  form.Button15->setText(QString::fromStdString(Profile.PlayText));
  SetEditorLocked(form, false);
  form.Timer1->SetEnabled(false);
  form.UpdateEditActions();
}

// The lit picture of single-colour element n at the place of its first shape; with the outer
// display shown on the inner one, element 5 lights element 1's picture at element 1's place.
void DrawLitPicture(TMForm& form, TDirectDrawSurface& surface, int n) {
  const int owner = n == 5 && form.CheckBox5->isChecked() ? 1 : n;
  const auto at = static_cast<size_t>(owner);
  // Only a picture that the current skin loaded: a slot may still hold one of an earlier skin.
  if (owner > LastSlotElement || !Profile.Available[at] || !Profile.HaveImage[at] ||
      Profile.Shapes[at].empty())
    return;
  const TCoord& place = Profile.Shapes[at].front();
  form.ImageList->Find(std::to_string(owner)).Draw(surface, place.Left, place.Top);
}

// Frame k of f, or none past its frames (the last tick of a play).
const TFrame* FrameAt(const TFunlight* f, int k) {
  const int count = f ? std::min<int>(f->FrameCount, static_cast<int>(f->Frames.size())) : 0;
  return k >= 0 && k < count ? &f->Frames[static_cast<size_t>(k)] : nullptr;
}

void DrawShapes(TMForm& form, TDirectDrawSurface& surface, int n, const TFrameCell& cell) {
  const QColor colour = ColorFromWin(ColorOf(cell.R, cell.G, cell.B));
  for (const TCoord& shape : Profile.Shapes[static_cast<size_t>(n)]) {
    const TRect rect{shape.Left, shape.Top, shape.Right, shape.Bottom};
    if (shape.Shape == "Rectangle")
      surface.FillRectAlpha(rect, colour, shape.Opacity);
    else if (shape.Shape == "Circle")
      DrawCircleAlpha(form.ImageList->Find("Circle"), surface, rect, colour, shape.Opacity);
  }
}

// The phone of the current skin with no light on, on the page at once.
void ShowPhone(TMForm& form) {
  // Made now, so that the first showing of the page does not clear the picture again.
  if (!form.DXDraw->Initialized()) form.DXDraw->Initialize();
  TDirectDrawSurface& surface = form.DXDraw->Surface();
  surface.Fill(Background);
  form.ImageList->Find("0").Draw(surface, 0, 0);
  form.DXDraw->Flip();
  form.DXDraw->show();
}

void LoadSkin(TMForm& form) {
  std::string skinPath = AppDir + "Profiles/" + Profile.ProfileName + ".skin";
  std::string defaultImages = Profile.ProfileName;
  if (!FileExists(skinPath)) {
    skinPath = AppDir + "Profiles/" + DefaultSkin + ".skin";
    defaultImages = DefaultSkin;
  }
  const TIniFile skin(skinPath);
  const std::string base =
      AppDir + "Profiles/Images/" + skin.ReadString("Skin", "Images", defaultImages);

  // A picture that cannot be loaded ends the load here; later elements keep the earlier skin.
  LoadSlot(*form.ImageList, "0", base + ".bmp");
  for (int n = 1; n <= 7; ++n) {
    const auto at = static_cast<size_t>(n);
    const std::string section = "Element0" + std::to_string(n);
    Profile.Available[at] = skin.ReadInteger(section, "Available", 0) != 0;
    if (!Profile.Available[at]) continue;
    Profile.HaveImage[at] = skin.ReadInteger(section, "HaveImage", 0) != 0;
    // Element 7 has no slot: the lookup fails with "Image '7' not found".
    if (Profile.HaveImage[at])
      LoadSlot(*form.ImageList, std::to_string(n), base + "_0" + std::to_string(n) + ".bmp");
    const int count = std::clamp(skin.ReadInteger(section, "Count", 1), 0, MaxShapes);
    Profile.ShapeCount[at] = static_cast<int8_t>(count);
    std::vector<TCoord> shapes;
    shapes.reserve(static_cast<size_t>(count));
    for (int j = 1; j <= count; ++j) shapes.push_back(ReadShape(skin, section, j));
    Profile.Shapes[at] = std::move(shapes);
  }
}

}  // namespace

void TMForm::ALoadProfilePicsExecute() {
  Execute(ALoadProfile);
  try {
    LoadSkin(*this);
  } catch (...) {
    // The phone picture may have changed before the failure.
    ShowPhone(*this);
    throw;
  }
  ShowPhone(*this);
}

void TMForm::ListBox2Click() {
  const int row = ListBox2->currentRow();
  if (row < 0) return;
  const QString text = ListBox2->item(row)->text();
  int found = -1;
  for (int i = 0; i < ListBox1->count() && found < 0; ++i)
    if (ListBox1->item(i)->text().compare(text, Qt::CaseInsensitive) == 0) found = i;
  if (found < 0) return;
  CurFun = static_cast<uint8_t>(found);
  {
    const QSignalBlocker block(ListBox1);
    ListBox1->setCurrentRow(found);
  }
  Button15->setEnabled(true);
  const TUpdatingScope updating;
  ListBox1Click();
}

void TMForm::Button15Click() {
  DXDraw->Surface().Fill(Background);
  DXDraw->show();

  const QString caption = Button15->text();
  if (caption == QString::fromStdString(Profile.StopText)) {
    StopPlay(*this);
    return;
  }
  const bool normal = CurFun < FunList.size() && FunList[CurFun].FunType == NormalType;
  if (caption != QString::fromStdString(Profile.PlayText) || !DocActive || !normal) return;

  Button15->setText(QString::fromStdString(Profile.StopText));
  Profile.Lit.fill(false);
  Timer1->SetInterval(100 + TrackBar4->value());
  PlayPos = 0;
  Timer1->SetEnabled(true);
  SetEditorLocked(*this, true);
  UpdateEditActions();
}

void TMForm::DrawFrame(TDirectDrawSurface& surface, const TFunlight* f, int k,
                       std::array<bool, 8>& lit) {
  surface.Fill(Background);
  ImageList->Find("0").Draw(surface, 0, 0);
  const TFrame* frame = FrameAt(f, k);
  for (int n = 1; n <= 7; ++n) {
    const auto at = static_cast<size_t>(n);
    if (!Profile.Available[at]) continue;
    const uint8_t index =
        frame ? CellIndex(*f, static_cast<uint8_t>(n), static_cast<uint8_t>(k)) : NoCell;
    const TFrameCell* cell = index != NoCell ? &frame->Cells[index] : nullptr;
    const int32_t kind = ElementKind(n);
    if (cell && kind == FullColourElement) DrawShapes(*this, surface, n, *cell);
    if (cell && kind >= 0) lit[at] = (cell->B & 1) != 0;
    if (lit[at] && kind >= 0) DrawLitPicture(*this, surface, n);
  }
}

void TMForm::Timer1Timer() {
  const TFunlight* f = CurFun < FunList.size() ? &FunList[CurFun] : nullptr;
  const int k = PlayPos;
  DrawFrame(DXDraw->Surface(), f, k, Profile.Lit);
  DXDraw->Flip();

  // The interval set here is how long this frame stays on screen.
  const TFrame* frame = FrameAt(f, k);
  if (frame && frame->Duration != 0)
    Timer1->SetInterval(frame->Duration * (100 + TrackBar4->value()) / 100);

  PlayPos = static_cast<int16_t>(k + 1);
  if (PlayPos > (f ? f->FrameCount : 0)) {
    StopPlay(*this);
    if (CheckBox4->isChecked()) Button15Click();
  }
}

void TMForm::DXDrawInitializeSurface() {
  DXDraw->Surface().Fill(Background);
}

}  // namespace Unit1
