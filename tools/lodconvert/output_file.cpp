#include "lodconvert/output_file.h"

#include <cerrno>
#include <cstring>

#include "common/file_identity.h"
#include "common/replace_file.h"

namespace lodconvert {

Failure checkNotInput(const std::string &input, const std::string &output)
{
    if (quarnel::sameFileUtf8(input.c_str(), output.c_str()))
        return Refusal{exitNotWritten, textOf("%s is the input file %s itself", output.c_str(), input.c_str())};
    return std::nullopt;
}

Failure writeOutputFile(const std::string &path, const uint8_t *bytes, size_t size)
{
    errno = 0;
    if (quarnel::replaceFileUtf8(path.c_str(), bytes, size))
        return std::nullopt;
    const int error = errno;
    if (error == 0)
        return Refusal{exitNotWritten, textOf("%s cannot be written", path.c_str())};
    return Refusal{exitNotWritten, textOf("%s cannot be written: %s", path.c_str(), std::strerror(error))};
}

Report refused(Report report, const Refusal &refusal)
{
    report.status = refusal.status;
    report.lines.push_back(refusal.message + "; nothing written");
    return report;
}

} // namespace lodconvert
