// FotaCreatePack on small arbitrary LOD pairs: every pack it writes must verify.
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "common/result_codes.h"
#include "lod/code_image.h"
#include "packcheck/pack_file.h"
#include "quarnel.h"
#include "support.h"
#include "verify/pack_verifier.h"

using namespace quarnel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const std::string oldPath = fuzzsupport::scratchPath("old.lod");
    static const std::string newPath = fuzzsupport::scratchPath("new.lod");
    static const std::string packPath = fuzzsupport::scratchPath("out.pack");
    if (size < 3)
        return 0;
    // The first two bytes give the old text's length; the rest is the new text.
    const size_t split = std::min<size_t>(size_t(data[0]) << 8 | data[1], size - 2);
    fuzzsupport::writeScratch(oldPath, data + 2, split);
    fuzzsupport::writeScratch(newPath, data + 2 + split, size - 2 - split);
    std::remove(packPath.c_str());

    // A small code area keeps every run fast; the base byte picks one of a few placements.
    const CodeArea area = {0x08000000, (data[0] & 1) ? 0x1000u : 0u, 0x20000};
    const int result = FotaCreatePack(oldPath.c_str(), newPath.c_str(), packPath.c_str(), nullptr, nullptr, nullptr, area);
    const bool packWritten = access(packPath.c_str(), F_OK) == 0;
    if (result != FOTA_OK) {
        if (packWritten)
            fuzzsupport::fail("a failed call left a pack behind");
        if (result < FOTA_OLD_LOD_UNREADABLE || result > FOTA_NEW_TOO_LARGE)
            fuzzsupport::fail("an unexpected result code");
        return 0;
    }
    if (!packWritten)
        fuzzsupport::fail("success without a pack");

    LodPacketPtr oldImage, newImage;
    if (loadImagePair(area, oldPath.c_str(), newPath.c_str(), oldImage, newImage) != FOTA_OK)
        fuzzsupport::fail("images accepted by FotaCreatePack fail to load again");
    std::vector<uint8_t> pack;
    verify::Findings findings;
    if (verify::readPackFile(packPath.c_str(), pack, findings) != FOTA_OK)
        fuzzsupport::fail("the written pack cannot be read");
    const verify::VerifyResult verified = verify::verifyPack(pack, area, imageBytes(*oldImage), imageBytes(*newImage));
    if (verified.code != FOTA_OK) {
        for (const verify::Finding &finding : verified.findings)
            std::fprintf(stderr, "%s\n", finding.text.c_str());
        fuzzsupport::fail("a pack FotaCreatePack wrote does not verify");
    }
    return 0;
}
