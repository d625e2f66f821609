#include "packcheck/power_cut_command.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "common/result_codes.h"
#include "lod/code_image.h"
#include "packcheck/chunk_groups.h"
#include "packcheck/pack_file.h"
#include "packcheck/power_cuts.h"
#include "packcheck/sector_map.h"
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

// The old image in a simulated flash, the spare area after the images (with a sector map, whole sectors after
// their last one); problem says why not when the map ends before them.
UpdateCase updateOnFlash(std::vector<uint8_t> pack, const std::vector<uint8_t> &oldBytes, std::vector<uint8_t> newBytes,
                         uint32_t codeBase, uint32_t chunkCount, const SimulatedFlash &simulated, std::string &problem)
{
    const uint32_t areaEnd = codeBase + static_cast<uint32_t>(std::max(oldBytes.size(), newBytes.size()));
    std::vector<uint8_t> flash(areaEnd, 0xFF);
    std::copy(oldBytes.begin(), oldBytes.end(), flash.begin() + codeBase);
    const uint64_t mapEnd = sectorMapEnd(simulated.sectors);
    if (!simulated.sectors.empty() && mapEnd < areaEnd) {
        problem = verify::textOf("--sectors: the map ends at 0x%08llX, before the images end at 0x%08X",
                         static_cast<unsigned long long>(mapEnd), areaEnd);
        return {};
    }
    try {
        return placeSpareArea(std::move(pack), std::move(flash), std::move(newBytes), codeBase, areaEnd, chunkCount,
                              simulated.programUnit, simulated.sectors, simulated.scratchLength);
    } catch (const std::invalid_argument &) {
        problem = verify::textOf("--sectors: the map ends at 0x%08llX, too soon after the images' last sector (ending at "
                         "0x%08X) to hold the scratch and the state area",
                         static_cast<unsigned long long>(mapEnd), sectorOf(simulated.sectors, areaEnd - 1).end);
        return {};
    }
}

// Where the spare area went; with a sector map also the sectors the images occupy and the groups the
// applier rebuilds in them, the largest of which the scratch must hold.
void printPlacement(const UpdateCase &update, uint32_t codeBase, const SimulatedFlash &simulated,
                    const std::vector<verify::StreamChunk> &chunks)
{
    const FotaSpareArea &spare = update.spare;
    if (simulated.sectors.empty()) {
        std::printf("scratch at 0x%08X, state at 0x%08X (%u bytes), program unit %u\n", spare.scratchOffset,
                    spare.stateOffset, spare.stateLength, simulated.programUnit);
        return;
    }
    const uint32_t first = sectorOf(simulated.sectors, codeBase).start;
    const std::vector<ChunkGroup> groups = chunkGroups(chunks, simulated.sectors);
    uint32_t largest = 0;
    for (const ChunkGroup &group : groups)
        largest = std::max(largest, group.sectors.end - group.sectors.start);
    std::printf("images in the sectors from 0x%08X to 0x%08X", first, spare.scratchOffset);
    // Bytes the update erases and writes back unchanged: a bootloader there would not survive a cut.
    if (first < codeBase)
        std::printf(", the %u bytes below the code base rewritten with them", codeBase - first);
    std::printf(": %zu groups of sectors to rebuild, the largest %u bytes\n", groups.size(), largest);
    std::printf("scratch at 0x%08X (%u bytes), state at 0x%08X (%u bytes), program unit %u\n", spare.scratchOffset,
                spare.scratchLength, spare.stateOffset, spare.stateLength, simulated.programUnit);
}

} // namespace

int powerCutCommand(const CodeArea &area, const char *oldPath, const char *newPath, const char *packPath,
                    const SimulatedFlash &simulated)
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

    std::string problem;
    const UpdateCase update = updateOnFlash(std::move(pack), imageBytes(*oldImage), imageBytes(*newImage),
                                            area.codeBase, static_cast<uint32_t>(contents.chunks.size()), simulated,
                                            problem);
    if (!problem.empty()) {
        std::printf("%s\n", problem.c_str());
        return badArguments;
    }
    printPlacement(update, area.codeBase, simulated, contents.chunks);
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
