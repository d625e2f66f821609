#include "support/exported_names.h"

#include <algorithm>
#include <cstdio>

#ifdef _WIN32
#include <windows.h>

#include "support/test_files.h"
#endif

namespace testsupport {

#ifdef _WIN32

// Walks the export directory of the DLL as loaded; every used entry of the address table counts.
std::vector<std::string> exportedNames(const std::string &path)
{
    std::vector<std::string> names;
    const HMODULE module = LoadLibraryW(fsPath(absolutePath(path)).c_str());
    if (module == nullptr)
        return names;
    const auto *base = reinterpret_cast<const unsigned char *>(module);
    const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
    const auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY &entry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (entry.Size != 0) {
        const auto *exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY *>(base + entry.VirtualAddress);
        const auto *functionRvas = reinterpret_cast<const DWORD *>(base + exports->AddressOfFunctions);
        const auto *nameRvas = reinterpret_cast<const DWORD *>(base + exports->AddressOfNames);
        const auto *ordinals = reinterpret_cast<const WORD *>(base + exports->AddressOfNameOrdinals);
        std::vector<bool> named(exports->NumberOfFunctions, false);
        for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
            names.emplace_back(reinterpret_cast<const char *>(base + nameRvas[i]));
            if (ordinals[i] < named.size())
                named[ordinals[i]] = true;
        }
        for (DWORD i = 0; i < exports->NumberOfFunctions; ++i)
            if (!named[i] && functionRvas[i] != 0) // a zero address is a gap in the ordinals
                names.push_back("#" + std::to_string(exports->Base + i));
    }
    FreeLibrary(module);
    std::sort(names.begin(), names.end());
    return names;
}

#else

std::vector<std::string> exportedNames(const std::string &path)
{
    std::vector<std::string> names;
    const std::string command = "nm -D --defined-only '" + path + "' | awk '$2 ~ /^[TDBRVW]$/ {print $3}'";
    FILE *pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return names;
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::string name(line);
        name.erase(name.find_last_not_of('\n') + 1);
        names.push_back(name);
    }
    pclose(pipe);
    std::sort(names.begin(), names.end());
    return names;
}

#endif

} // namespace testsupport
