// The functions a shared library exports, read the way each platform's loader sees them.
#pragma once

#include <string>
#include <vector>

namespace testsupport {

// The exported names of the library at path, sorted; for a DLL, an entry
// exported by ordinal only reads "#ordinal". Empty when it cannot be read.
std::vector<std::string> exportedNames(const std::string &path);

} // namespace testsupport
