// Colour tools.
// PLACEHOLDER: filled in by its own change.
#include "Unit1.h"

namespace Unit1 {

void TMForm::TrackBar1Change() {}
void TMForm::TrackBar2Change() {}
void TMForm::TrackBar3Change() {}
void TMForm::APreColorExecute() {}
void TMForm::AMakeSelectExecute() {}
void TMForm::AMakeEmptyExecute() {}
void TMForm::AMakePrevColExecute() {}
void TMForm::AMakeOn_OffExecute() {}
void TMForm::EditGridMouseDown(Qt::MouseButton, Qt::KeyboardModifiers, Qt::MouseButtons, int, int) {}
void TMForm::EditGridMouseMove(Qt::KeyboardModifiers, Qt::MouseButtons, int, int) {}

}  // namespace Unit1
