// The LOD reader and the code image checks on arbitrary file contents.
#include <unistd.h>

#include "common/result_codes.h"
#include "lod/code_image.h"
#include "support.h"

using namespace quarnel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const std::string path = fuzzsupport::scratchPath("image.lod");
    fuzzsupport::writeScratch(path, data, size);

    LodFile file;
    if (file.load(path.c_str())) {
        file.mergePackets();
        for (size_t i = 0; i < file.packets.size(); ++i) {
            const LodPacket &packet = *file.packets[i];
            if (packet.words.empty())
                fuzzsupport::fail("a stored section without words");
            if (i > 0) {
                const LodPacket &before = *file.packets[i - 1];
                if (before.address > packet.address)
                    fuzzsupport::fail("sections out of order");
                if (uint32_t(before.address + 4 * before.words.size()) == packet.address)
                    fuzzsupport::fail("two sections left unjoined");
            }
        }
    } else if (size != 0) {
        // Any non-empty file can be read; only the content decides the image checks.
        fuzzsupport::fail("a readable file failed to load");
    }

    for (const CodeArea area : {CodeArea{0x08000000, 0x10000, 0x100000}, CodeArea{0, 0, 0x2000}}) {
        LodPacketPtr image;
        const int result = loadCodeImage(path.c_str(), area, image);
        if (result == FOTA_OK) {
            const uint64_t bytes = 4 * uint64_t(image->words.size());
            if (image->address != area.flashBase + area.codeBase || bytes % sectorSize != 0 || bytes == 0 ||
                bytes > area.codeSize)
                fuzzsupport::fail("an accepted image breaks the code area rules");
        } else if (result != FOTA_OLD_LOD_UNREADABLE &&
                   (result < FOTA_OLD_NOT_CONTIGUOUS || result > FOTA_OLD_TOO_LARGE)) {
            fuzzsupport::fail("an image check returned a foreign code");
        }
    }
    return 0;
}
