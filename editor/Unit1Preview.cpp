// Skin and animated preview.
// PLACEHOLDER: filled in by its own change.
#include "Unit1.h"

namespace Unit1 {

void TMForm::ALoadProfilePicsExecute() { Execute(ALoadProfile); }
void TMForm::ListBox2Click() {}
void TMForm::Button15Click() {}
void TMForm::Timer1Timer() {}
void TMForm::DXDrawInitializeSurface() {}

}  // namespace Unit1
