#include "lodconvert/elf_file.h"

#include <gelf.h>
#include <libelf.h>

#include <memory>

namespace lodconvert {

namespace {

struct ElfCloser {
    void operator()(Elf *elf) const { elf_end(elf); }
};
using ElfHandle = std::unique_ptr<Elf, ElfCloser>;

Refusal elfRefusal(const std::string &file, const std::string &what)
{
    return {exitMalformed, textOf("%s: %s", file.c_str(), what.c_str())};
}

// libelf's own words for its last error.
std::string libelfError()
{
    const char *message = elf_errmsg(-1);
    return message != nullptr ? message : "unknown libelf error";
}

} // namespace

Failure readElfSegments(std::vector<uint8_t> &content, const std::string &file, Segments &segments)
{
    if (elf_version(EV_CURRENT) == EV_NONE)
        return elfRefusal(file, "libelf does not know the current ELF version: " + libelfError());
    ElfHandle elf(elf_memory(reinterpret_cast<char *>(content.data()), content.size()));
    if (!elf)
        return elfRefusal(file, "libelf cannot read it: " + libelfError());
    if (elf_kind(elf.get()) != ELF_K_ELF)
        return elfRefusal(file, "not an ELF file");
    GElf_Ehdr header;
    if (gelf_getehdr(elf.get(), &header) == nullptr)
        return elfRefusal(file, "its ELF header cannot be read: " + libelfError());
    size_t count = 0;
    if (elf_getphdrnum(elf.get(), &count) != 0)
        return elfRefusal(file, "its program headers cannot be counted: " + libelfError());
    if (count == 0)
        return elfRefusal(file, "no program headers, so nothing says where it is loaded: an object file? "
                                "Convert the linked program");

    segments.clear();
    for (size_t i = 0; i < count; ++i) {
        GElf_Phdr program;
        if (gelf_getphdr(elf.get(), static_cast<int>(i), &program) == nullptr)
            return elfRefusal(file, textOf("program header %zu cannot be read: %s", i, libelfError().c_str()));
        if (program.p_type != PT_LOAD || program.p_filesz == 0)
            continue;
        // libelf checks that the bytes lie inside the file.
        Elf_Data *data = elf_getdata_rawchunk(elf.get(), static_cast<int64_t>(program.p_offset),
                                              static_cast<size_t>(program.p_filesz), ELF_T_BYTE);
        if (data == nullptr)
            return elfRefusal(file, textOf("the %llu bytes of segment %zu at file offset 0x%llX cannot be read: %s",
                                           static_cast<unsigned long long>(program.p_filesz), i,
                                           static_cast<unsigned long long>(program.p_offset),
                                           libelfError().c_str()));
        const auto *bytes = static_cast<const uint8_t *>(data->d_buf);
        segments.push_back({program.p_paddr, {bytes, bytes + data->d_size}, textOf("ELF segment %zu", i)});
    }
    if (segments.empty())
        return elfRefusal(file, "no loadable segment holds any bytes");
    return std::nullopt;
}

} // namespace lodconvert
