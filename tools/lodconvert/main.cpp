// lodconvert: firmware images from the files toolchains write, as LOD files; and LOD files as flash bytes.
#include <cstdio>
#include <new>

#include "lodconvert/convert_command.h"
#include "lodconvert/options.h"
#include "lodconvert/to_bin_command.h"

#ifdef _WIN32
#include "utf8_arguments.h"
#endif

namespace {

using namespace lodconvert;

int print(const Report &report)
{
    for (const std::string &line : report.lines)
        std::fprintf(stderr, "lodconvert: %s\n", line.c_str());
    return report.status;
}

int run(int argc, char **argv)
{
    Command command;
    const char *name = argc > 0 && argv[0] != nullptr ? argv[0] : "lodconvert";
    if (Failure failure = parseCommand(argc - 1, argv + 1, command)) {
        std::fprintf(stderr, "lodconvert: %s\n%s", failure->message.c_str(), usageText(name).c_str());
        return failure->status;
    }
    return print(command.toBin ? toBinCommand(command.bin) : convertCommand(command.convert));
}

int runOrReportOutOfMemory(int argc, char **argv)
{
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc &) {
        std::fprintf(stderr, "lodconvert: out of memory; nothing written\n");
        return exitOutOfMemory;
    }
}

} // namespace

#ifdef _WIN32
// As in packcli: wmain receives the arguments as Windows keeps them, in UTF-16.
int wmain(int argc, wchar_t **wideArgv)
{
    char **argv = utf8Arguments(argc, wideArgv);
    return argv != nullptr ? runOrReportOutOfMemory(argc, argv) : exitOutOfMemory;
}
#else
int main(int argc, char **argv)
{
    return runOrReportOutOfMemory(argc, argv);
}
#endif
