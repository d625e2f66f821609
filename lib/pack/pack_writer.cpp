#include "pack/pack_writer.h"

#include <string>

#include "common/file_identity.h"
#include "common/file_target.h"
#include "common/replace_file.h"
#include "common/result_codes.h"
#include "verify/pack_verifier.h"

namespace quarnel {

int checkPackPath(const char *packPath, const char *oldLodPath, const char *newLodPath)
{
    std::string target;
    if (!linkTargetUtf8(packPath, target) || !nameFitsUtf8(target))
        return FOTA_PACK_WRITE_FAILED;
    // The user's only copy of an image must never be replaced by its own pack.
    if (sameFileUtf8(packPath, oldLodPath) || sameFileUtf8(packPath, newLodPath))
        return FOTA_PACK_WRITE_FAILED;
    return FOTA_OK;
}

int writePackFile(const char *packPath, const std::vector<uint8_t> &pack)
{
    return replaceFileUtf8(packPath, pack.data(), pack.size()) ? FOTA_OK : FOTA_PACK_WRITE_FAILED;
}

int writeProvenPack(const char *packPath, const std::vector<uint8_t> &pack, const CodeArea &area,
                    std::vector<uint8_t> oldImage, const std::vector<uint8_t> &newImage)
{
    const verify::VerifyResult proof = verify::verifyPack(pack, area, std::move(oldImage), newImage);
    if (proof.code != FOTA_OK)
        return proof.code;
    return writePackFile(packPath, pack);
}

} // namespace quarnel
