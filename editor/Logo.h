#pragma once

#include <QImage>

// The program's logo, size by size pixels: the about box's picture and the desktop icon.
QImage ProgramLogo(int size);
