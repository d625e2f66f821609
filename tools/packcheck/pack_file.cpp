#include "packcheck/pack_file.h"

#include <cstdio>

#include "common/open_file.h"
#include "common/result_codes.h"

namespace quarnel::verify {

int readPackFile(const char *path, std::vector<uint8_t> &bytes, Findings &findings)
{
    const char *name = path != nullptr ? path : "(no path)";
    FileHandle file(openFileUtf8(path, "rb"));
    if (!file) {
        addFinding(findings, FOTA_PACK_READ_FAILED, "%s: cannot be opened", name);
        return FOTA_PACK_READ_FAILED;
    }
    // Read in blocks rather than by a size from seeking: folders and pipes report none that can be trusted.
    bytes.clear();
    uint8_t block[1 << 16];
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, file.get())) > 0) {
        if (bytes.size() + got > maxPackFileSize) {
            addFinding(findings, FOTA_PACK_INVALID, "%s: more than %llu bytes, larger than any pack", name,
                       static_cast<unsigned long long>(maxPackFileSize));
            return FOTA_PACK_INVALID;
        }
        bytes.insert(bytes.end(), block, block + got);
    }
    if (std::ferror(file.get())) {
        addFinding(findings, FOTA_PACK_READ_FAILED, "%s: read failed after %zu bytes", name, bytes.size());
        return FOTA_PACK_READ_FAILED;
    }
    return FOTA_OK;
}

} // namespace quarnel::verify
