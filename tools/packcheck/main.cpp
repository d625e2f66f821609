// packcheck: verifies a pack against its images, or shows what is inside one.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "lod/code_image.h"
#include "pack/result_codes.h"
#include "packcheck/pack_file.h"
#include "packcheck/pack_info.h"
#include "packcheck/pack_reader.h"
#include "packcheck/pack_verifier.h"
#include "quarnel.h"

namespace {

using namespace quarnel;

int report(const check::Findings &findings, int code)
{
    for (const check::Finding &finding : findings)
        std::printf("%s\n", finding.text.c_str());
    if (code != resultOk)
        std::printf("%s\n", FotaErrorMsg(code));
    return code;
}

// The images as packcli loads them, with its codes and in its order.
int loadImages(const CodeArea &area, const char *oldPath, const char *newPath, LodPacketPtr &oldImage,
               LodPacketPtr &newImage)
{
    if ((area.codeBase & (sectorSize - 1)) != 0)
        return resultCodeBaseMisaligned;
    if ((area.codeSize & (sectorSize - 1)) != 0)
        return resultCodeSizeMisaligned;
    if (const int result = loadCodeImage(oldPath, area, oldImage))
        return result;
    const int result = loadCodeImage(newPath, area, newImage);
    if (result == resultOldLodUnreadable)
        return resultNewLodUnreadable;
    return result == resultOk ? resultOk : result + newImageCodeShift;
}

int verify(char **argv)
{
    CodeArea area;
    area.flashBase = 0x08000000u;
    area.codeBase = static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 0));
    area.codeSize = static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 0)) - area.codeBase;

    LodPacketPtr oldImage;
    LodPacketPtr newImage;
    if (const int result = loadImages(area, argv[3], argv[4], oldImage, newImage))
        return report({}, result);
    std::vector<uint8_t> pack;
    check::Findings findings;
    if (const int result = check::readPackFile(argv[5], pack, findings))
        return report(findings, result);
    const check::VerifyResult result = check::verifyPack(pack, area, *oldImage, *newImage);
    if (result.code == resultOk)
        std::printf("%s\n", result.summary.c_str());
    return report(result.findings, result.code);
}

int info(const char *path)
{
    std::vector<uint8_t> pack;
    check::Findings findings;
    if (const int result = check::readPackFile(path, pack, findings))
        return report(findings, result);
    check::PackContents contents;
    if (const int result = check::readPack(pack, check::maxStreamLength, contents, findings))
        return report(findings, result);
    std::printf("pack: %s, %zu bytes\n%s", path, pack.size(), check::describePack(contents).c_str());
    return resultOk;
}

int run(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--info") == 0)
        return info(argv[2]);
    if (argc == 6)
        return verify(argv);
    const char *name = argv[0] != nullptr ? argv[0] : "";
    std::printf("usage: %s flashsize codebase oldlod newlod pack\n       %s --info pack\n", name, name);
    return -1;
}

} // namespace

int main(int argc, char **argv)
{
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc &) {
        return report({}, resultOutOfMemory);
    }
}
