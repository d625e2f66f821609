#include "lodconvert/input_file.h"

#include "common/open_file.h"

namespace lodconvert {

Failure readInputFile(const std::string &path, std::vector<uint8_t> &bytes)
{
    quarnel::FileHandle file(quarnel::openRegularFileUtf8(path.c_str()));
    if (!file)
        return Refusal{exitInputUnreadable, textOf("%s cannot be opened as a file", path.c_str())};
    bytes.clear();
    uint8_t block[1 << 16];
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, file.get())) > 0)
        bytes.insert(bytes.end(), block, block + got);
    if (std::ferror(file.get()))
        return Refusal{exitInputUnreadable, textOf("%s: read failed after %zu bytes", path.c_str(), bytes.size())};
    if (bytes.empty())
        return Refusal{exitInputUnreadable, textOf("%s is empty", path.c_str())};
    return std::nullopt;
}

} // namespace lodconvert
