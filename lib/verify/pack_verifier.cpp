#include "verify/pack_verifier.h"

#include <algorithm>

#include "common/crc32.h"
#include "common/result_codes.h"
#include "verify/flash_model.h"
#include "verify/flash_player.h"
#include "verify/pack_reader.h"

namespace quarnel::verify {

namespace {

// The header's description of the old image must be the image the device holds.
void checkOldImageFields(const PackHeader &header, const CodeArea &area, const std::vector<uint8_t> &oldBytes,
                         Findings &findings)
{
    const uint32_t oldSize = static_cast<uint32_t>(oldBytes.size());
    if (header.oldStart != area.codeBase)
        addFinding(findings, FOTA_PACK_INVALID, "pack byte %u (oldStart): 0x%08X, the old image starts at 0x%08X",
                   packOldStartOffset, header.oldStart, area.codeBase);
    if (header.oldSize != oldSize)
        addFinding(findings, FOTA_PACK_INVALID, "pack byte %u (oldSize): 0x%08X, the old image holds 0x%08X bytes",
                   packOldSizeOffset, header.oldSize, oldSize);
    const uint32_t crc = packCrc32(oldBytes.data(), oldSize);
    if (header.oldCrc != crc)
        addFinding(findings, FOTA_PACK_INVALID, "pack byte %u (oldCrc): 0x%08X, the old image hashes to 0x%08X",
                   packOldCrcOffset, header.oldCrc, crc);
}

std::string summaryOf(const PackContents &contents, const CodeArea &area, size_t oldSize, size_t newSize)
{
    size_t ownUnit = 0;
    for (const StreamChunk &chunk : contents.chunks)
        ownUnit += readsOwnUnit(chunk) ? 1 : 0;
    return textOf("pack verified: %zu chunks (%s walk, %zu read their own erase unit) turn the 0x%zX-byte old image "
                  "into the 0x%zX-byte new image at 0x%08X",
                  contents.chunks.size(), walkName(walkOf(contents.chunks)), ownUnit, oldSize, newSize, area.codeBase);
}

} // namespace

VerifyResult verifyPack(const std::vector<uint8_t> &packBytes, const CodeArea &area, std::vector<uint8_t> oldBytes,
                        const std::vector<uint8_t> &newBytes)
{
    VerifyResult result;
    PackContents contents;
    readPackHeader(packBytes, contents.header, result.findings);
    // A pack for other images is worth saying so even when its data is damaged too.
    if (packBytes.size() >= packHeaderSize)
        checkOldImageFields(contents.header, area, oldBytes, result.findings);
    if (!result.findings.empty()) {
        result.code = FOTA_PACK_INVALID;
        return result;
    }
    result.code = readPackData(packBytes, streamCapForArea(area.codeSize), contents, result.findings);
    if (result.code != FOTA_OK)
        return result;

    const size_t oldSize = oldBytes.size();
    FlashModel flash(area.codeBase, std::move(oldBytes), static_cast<uint32_t>(newBytes.size()));
    result.code = playChunks(contents, area, static_cast<uint32_t>(oldSize), flash, result.findings);
    if (result.code == FOTA_OK)
        result.code = flash.compareWith(newBytes, result.findings);
    if (result.code == FOTA_OK)
        result.summary = summaryOf(contents, area, oldSize, newBytes.size());
    return result;
}

} // namespace quarnel::verify
