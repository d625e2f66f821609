// What the system says about a file that a run could not read or write, asked
// after the run without changing anything.
#ifndef PACKGUI_PATH_PROBLEM_H
#define PACKGUI_PATH_PROBLEM_H

#include <string>

// Why the file at this UTF-8 path cannot be read as a LOD file ("No such file
// or directory", "Is a directory", ...); empty when nothing is found against it.
std::string readProblem(const std::string &path);

// Why a pack cannot be put at this UTF-8 path: it is a folder, or its folder is
// missing or cannot be written; empty when nothing is found against it.
std::string writeProblem(const std::string &path);

#endif
