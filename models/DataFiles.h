#pragma once

#include <string>
#include <vector>

// Base name of a data file: its name cut before the first "." ("A.B.prof" gives "A"). Any folder
// part in front of the name is dropped first.
std::string FileBaseName(const std::string& name);

// Base names of the files matching dir/*.extension (extension with or without its dot, matched
// without regard to case), sorted without regard to case, each name once. A missing or empty
// folder gives an empty list.
std::vector<std::string> ListBaseNames(const std::string& dir, const std::string& extension);

// The data file at path as the file system spells it: path itself when it names a file, else the
// file of the same folder whose name equals path's without regard to case (the first in sorted
// order when several do), as Windows finds them; path unchanged when there is none.
std::string FindDataFile(const std::string& path);

// The folder holding Profiles/ and Languages/ for the program in exeDir: exeDir itself when its
// Languages/ is there (the build, a copied folder), else the installed ../share/glowsmith beside
// bin/ when that has one, else exeDir. Without a trailing separator.
std::string DataFolder(const std::string& exeDir);
