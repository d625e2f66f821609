// What is inside a pack, for people: header, LZMA sizes, walk and chunk table.
#pragma once

#include <string>

#include "packcheck/pack_reader.h"

namespace quarnel::check {

// The --info report of a pack that readPack accepted, one line per item.
std::string describePack(const PackContents &contents);

} // namespace quarnel::check
