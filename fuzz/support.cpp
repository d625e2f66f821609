#include "support.h"

#include <unistd.h>

#include <cstdlib>

namespace fuzzsupport {

std::string scratchPath(const char *name)
{
    const char *dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return std::string(dir) + "/quarnel-fuzz-" + std::to_string(getpid()) + "-" + name;
}

void writeScratch(const std::string &path, const uint8_t *data, size_t size)
{
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        fail("cannot write the scratch file");
    if (size != 0 && std::fwrite(data, size, 1, file) != 1)
        fail("cannot write the scratch file");
    std::fclose(file);
}

void fail(const char *what)
{
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

} // namespace fuzzsupport

namespace fuzzsupport {

bool reportWanted(const char *variable)
{
    const char *value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

} // namespace fuzzsupport
