// What is inside a pack, for people: header, LZMA sizes, walk and chunk table.
#pragma once

#include <string>

#include "verify/pack_reader.h"

namespace quarnel::verify {

// The --info report of a pack that readPack accepted, one line per item.
std::string describePack(const PackContents &contents);

} // namespace quarnel::verify
