// Names for temporary files beside the files they will replace.
#pragma once

#include <string>

namespace quarnel {

// ".~" and eight letters or digits: short enough to fit beside any name a
// file system accepts, and drawn afresh on every call from the process, the
// call and the clock. Two may still meet, so a caller creates the file
// exclusively and asks again when the name is taken.
std::string temporaryName();

// How many names to try before giving up: enough for any run of taken names, however unlucky.
constexpr int temporaryNameAttempts = 100;

// The path of name in the folder that holds path ("dir/a.pack" gives "dir/name").
std::string pathBeside(const std::string &path, const std::string &name);

} // namespace quarnel
