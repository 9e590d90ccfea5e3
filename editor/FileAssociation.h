#pragma once

#include <string>

// Makes the desktop open .pat files with this program. On Windows: the four keys under the file
// classes root; elsewhere: a shared-mime-info type and a .desktop entry in the user's data folder
// ($XDG_DATA_HOME, default ~/.local/share), registered with the desktop's tools when present.
// Throws std::runtime_error when a key or file cannot be created.
void RegisterPatFileType(const std::string& executablePath);

// The value of the Exec key of the .desktop entry that opens a file with the program. The program
// is one quoted argument (with ", `, $ and \ escaped by a backslash and % doubled), and the
// whole is then written as a string value, whose escaping doubles each backslash.
std::string DesktopEntryExec(const std::string& executablePath);
