// The pack reader and the in-place player of packcheck on arbitrary pack bytes.
#include <vector>

#include "lod/code_image.h"
#include "packcheck/pack_info.h"
#include "packcheck/pack_verifier.h"
#include "pack/result_codes.h"
#include "support.h"

using namespace quarnel;

namespace {

const CodeArea area = {0x08000000, 0x10000, 0x10000};

// The image pair the seed packs were made for, so that mutations reach the player.
LodPacketPtr loadImage(const char *name)
{
    LodPacketPtr image;
    const std::string path = std::string(FUZZ_DATA_DIR) + "/" + name;
    if (loadCodeImage(path.c_str(), area, image) != resultOk)
        fuzzsupport::fail("cannot load the fuzz images");
    return image;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const LodPacketPtr oldImage = loadImage("old.lod");
    static const LodPacketPtr newImage = loadImage("new.lod");
    const std::vector<uint8_t> pack(data, data + size);

    const check::VerifyResult verified = check::verifyPack(pack, area, *oldImage, *newImage);
    switch (verified.code) {
    case resultOk:
    case resultPackInvalid:
    case resultUpgradeFailed:
    case resultNewMismatch:
        break;
    default:
        fuzzsupport::fail("verifyPack returned a foreign code");
    }
    if ((verified.code == resultOk) != verified.findings.empty())
        fuzzsupport::fail("findings disagree with the result");

    check::PackContents contents;
    check::Findings findings;
    if (check::readPack(pack, check::maxStreamLength, contents, findings) == resultOk)
        (void)check::describePack(contents);
    return 0;
}
