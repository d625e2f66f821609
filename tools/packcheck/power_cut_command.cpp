#include "packcheck/power_cut_command.h"

#include <algorithm>
#include <cstdio>

#include "common/result_codes.h"
#include "lod/code_image.h"
#include "packcheck/pack_file.h"
#include "packcheck/power_cuts.h"
#include "verify/pack_reader.h"

namespace quarnel::powercut {

namespace {

int reportFindings(const verify::Findings &findings, int code)
{
    for (const verify::Finding &finding : findings)
        std::printf("%s\n", finding.text.c_str());
    std::printf("%s\n", FotaErrorMsg(code));
    return code;
}

// Failures past this many are counted, not listed.
constexpr size_t listedFailures = 20;

} // namespace

int powerCutCommand(const CodeArea &area, const char *oldPath, const char *newPath, const char *packPath,
                    uint32_t programUnit)
{
    LodPacketPtr oldImage;
    LodPacketPtr newImage;
    if (const int result = loadImagePair(area, oldPath, newPath, oldImage, newImage))
        return reportFindings({}, result);
    std::vector<uint8_t> pack;
    verify::Findings findings;
    if (const int result = verify::readPackFile(packPath, pack, findings))
        return reportFindings(findings, result);
    verify::PackContents contents;
    if (const int result = verify::readPack(pack, verify::maxStreamLength, contents, findings))
        return reportFindings(findings, result);

    const std::vector<uint8_t> oldBytes = imageBytes(*oldImage);
    std::vector<uint8_t> newBytes = imageBytes(*newImage);
    const uint32_t areaEnd = area.codeBase + static_cast<uint32_t>(std::max(oldBytes.size(), newBytes.size()));
    std::vector<uint8_t> flash(areaEnd, 0xFF);
    std::copy(oldBytes.begin(), oldBytes.end(), flash.begin() + area.codeBase);
    const UpdateCase update = placeSpareArea(std::move(pack), std::move(flash), std::move(newBytes), area.codeBase,
                                             areaEnd, static_cast<uint32_t>(contents.chunks.size()), programUnit);

    std::printf("scratch at 0x%08X, state at 0x%08X (%u bytes), program unit %u\n", update.spare.scratchOffset,
                update.spare.stateOffset, update.spare.stateLength, programUnit);
    const SweepResult sweep = sweepEveryCut(update, 1);
    if (sweep.operations == 0) {
        std::printf("%s\n", sweep.failures.front().c_str());
        return reportFindings({}, FOTA_UPGRADE_FAILED);
    }
    for (size_t i = 0; i < std::min(sweep.failures.size(), listedFailures); ++i)
        std::printf("%s\n", sweep.failures[i].c_str());
    std::printf("power cuts: %llu cut points (before, inside and after each of %llu erase and program calls): ",
                static_cast<unsigned long long>(sweep.cutPoints), static_cast<unsigned long long>(sweep.operations));
    if (!sweep.failures.empty()) {
        std::printf("%zu did not end with the new image\n", sweep.failures.size());
        return reportFindings({}, FOTA_NEW_MISMATCH);
    }
    std::printf("every one ended with the new image\n");
    return FOTA_OK;
}

} // namespace quarnel::powercut
