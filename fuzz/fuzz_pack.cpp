// The pack reader and the in-place player of packcheck on arbitrary bytes.
#include <vector>

#include "common/result_codes.h"
#include "lod/code_image.h"
#include "packcheck/pack_info.h"
#include "support.h"
#include "verify/flash_player.h"
#include "verify/pack_verifier.h"

using namespace quarnel;

namespace {

const CodeArea area = {0x08000000, 0x10000, 0x10000};

// The image pair the seed packs were made for, so that mutations reach the player.
LodPacketPtr loadImage(const char *name)
{
    LodPacketPtr image;
    const std::string path = std::string(FUZZ_DATA_DIR) + "/" + name;
    if (loadCodeImage(path.c_str(), area, image) != FOTA_OK)
        fuzzsupport::fail("cannot load the fuzz images");
    return image;
}

// A raw patch stream: the checksums around it would stop nearly every mutation
// before the parser and the player, so they are skipped here.
void playStream(const uint8_t *data, size_t size, const LodPacket &oldImage, const LodPacket &newImage)
{
    verify::PackContents contents;
    contents.stream.assign(data, data + size);
    verify::Findings findings;
    if (verify::parsePatchStream(contents.stream, contents.chunks, findings) != FOTA_OK)
        return;
    const std::vector<uint8_t> oldBytes = imageBytes(oldImage);
    const std::vector<uint8_t> newBytes = imageBytes(newImage);
    verify::FlashModel flash(area.codeBase, oldBytes, uint32_t(newBytes.size()));
    const int played = verify::playChunks(contents, area, uint32_t(oldBytes.size()), flash, findings);
    if (played != FOTA_OK && played != FOTA_UPGRADE_FAILED)
        fuzzsupport::fail("playChunks returned a foreign code");
    if (played == FOTA_OK)
        (void)flash.compareWith(newBytes, findings);
}

} // namespace

// An input that starts with 'S' is a patch stream; anything else is a whole pack.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const LodPacketPtr oldImage = loadImage("old.lod");
    static const LodPacketPtr newImage = loadImage("new.lod");
    if (size > 0 && data[0] == 'S') {
        playStream(data + 1, size - 1, *oldImage, *newImage);
        return 0;
    }

    const std::vector<uint8_t> pack(data, data + size);
    const verify::VerifyResult verified = verify::verifyPack(pack, area, imageBytes(*oldImage), imageBytes(*newImage));
    switch (verified.code) {
    case FOTA_OK:
    case FOTA_PACK_INVALID:
    case FOTA_UPGRADE_FAILED:
    case FOTA_NEW_MISMATCH:
        break;
    default:
        fuzzsupport::fail("verifyPack returned a foreign code");
    }
    if ((verified.code == FOTA_OK) != verified.findings.empty())
        fuzzsupport::fail("findings disagree with the result");

    verify::PackContents contents;
    verify::Findings findings;
    if (verify::readPack(pack, verify::maxStreamLength, contents, findings) == FOTA_OK)
        (void)verify::describePack(contents);
    return 0;
}
