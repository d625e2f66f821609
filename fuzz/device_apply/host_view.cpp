#include "device_apply/host_view.h"

#include "common/byte_order.h"
#include "common/result_codes.h"
#include "container/lzma_adapter.h"
#include "verify/flash_player.h"

namespace devicefuzz {

using namespace quarnel;

namespace {

// Decodes and splits the block as the device would take it: it never looks at the dictionary field.
bool readData(const std::vector<uint8_t> &pack, verify::PackContents &contents, verify::Findings &findings)
{
    const size_t blockSize = pack.size() - packHeaderSize;
    const uint8_t *block = pack.data() + packHeaderSize;
    if (blockSize < lzmaHeaderSize || block[0] != lzmaPropertiesByte)
        return false;
    contents.lzma.properties = block[0];
    contents.lzma.dictionarySize = loadLe32(block + 1);
    contents.lzma.statedLength = loadLe64(block + 5);
    // No update of the modelled flash needs a longer stream; a longer one is not decoded here.
    if (contents.lzma.statedLength > verify::streamCapForArea(flashSize))
        return false;
    return verify::decodeLzmaBlock(block, blockSize, contents.lzma, packHeaderSize, contents.stream, findings) ==
               FOTA_OK &&
           verify::parsePatchStream(contents.stream, contents.chunks, findings) == FOTA_OK;
}

} // namespace

HostView viewPack(const std::vector<uint8_t> &pack)
{
    HostView view;
    verify::Findings findings;
    if (verify::readPackHeader(pack, view.contents.header, findings) != FOTA_OK ||
        !readData(pack, view.contents, findings))
        return view;
    view.readable = true;
    for (const verify::StreamChunk &chunk : view.contents.chunks) {
        view.units.push_back({chunk.targetOffset, chunk.targetOffset + chunk.length()});
        view.records += chunk.records.size();
        for (const verify::StreamRecord &record : chunk.records)
            view.emptyRecord = view.emptyRecord || (record.diffLength == 0 && record.extraLength == 0);
    }
    return view;
}

const char *mustRefuse(const HostView &view)
{
    if (!view.readable)
        return nullptr;
    // Either would make any flash look finished.
    if (view.contents.chunks.empty())
        return "a pack with no chunks was not refused";
    // Records with no bytes let a small pack state a stream of hours, past what its chunks can need.
    if (view.emptyRecord)
        return "a stream with an empty record was not refused";
    return nullptr;
}

std::optional<std::vector<uint8_t>> replayPack(const HostView &view, const std::vector<uint8_t> &codeBytes)
{
    if (!view.readable)
        return std::nullopt;
    // The whole code area stands in for the old image: the replay reads the very bytes the device reads.
    verify::FlashModel flash(codeBase, codeBytes, codeSize);
    const CodeArea area{0, codeBase, codeSize};
    verify::Findings findings;
    if (verify::playChunks(view.contents, area, codeSize, flash, findings) != FOTA_OK)
        return std::nullopt;
    std::vector<uint8_t> result(codeSize);
    for (uint32_t i = 0; i < codeSize; ++i)
        result[i] = flash.at(uint64_t{codeBase} + i);
    return result;
}

} // namespace devicefuzz
