#include "packcheck/pack_info.h"

#include "container/lzma_adapter.h"

namespace quarnel::verify {

namespace {

using ull = unsigned long long;

struct Totals {
    uint64_t records = 0;
    uint64_t diffBytes = 0;
    uint64_t extraBytes = 0;
    size_t ownUnit = 0;
};

Totals totalsOf(const std::vector<StreamChunk> &chunks)
{
    Totals totals;
    for (const StreamChunk &chunk : chunks) {
        totals.records += chunk.records.size();
        totals.diffBytes += chunk.diffBytes;
        totals.extraBytes += chunk.extraBytes;
        totals.ownUnit += readsOwnUnit(chunk) ? 1 : 0;
    }
    return totals;
}

} // namespace

std::string describePack(const PackContents &contents)
{
    const PackHeader &header = contents.header;
    const LzmaBlockHeader &lzma = contents.lzma;
    const uint64_t compressed = header.dataLength - lzmaHeaderSize;
    const Totals totals = totalsOf(contents.chunks);

    std::string text =
        textOf("header: magic \"VYNOTA01\", oldCrc 0x%08X, oldStart 0x%08X, oldSize 0x%08X (%u bytes), dataCrc 0x%08X, "
               "dataLength %u\n",
               header.oldCrc, header.oldStart, header.oldSize, header.oldSize, header.dataCrc, header.dataLength);
    text += textOf("lzma: properties 0x%02X (lc %u, lp %u, pb %u), dictionary %u bytes, %llu compressed bytes decode "
                   "to %llu stream bytes, ratio %.2f:1\n",
                   lzma.properties, lzma.properties % 9u, lzma.properties / 9u % 5u, lzma.properties / 45u,
                   lzma.dictionarySize, static_cast<ull>(compressed), static_cast<ull>(lzma.statedLength),
                   compressed == 0 ? 0.0 : double(lzma.statedLength) / double(compressed));
    text += textOf("stream: %zu chunks, %llu records, %llu difference bytes, %llu literal bytes, walk %s\n",
                   contents.chunks.size(), static_cast<ull>(totals.records), static_cast<ull>(totals.diffBytes),
                   static_cast<ull>(totals.extraBytes), walkName(walkOf(contents.chunks)));
    text += "chunk  target      length  records  difference  literal  crc         own unit\n";
    for (size_t i = 0; i < contents.chunks.size(); ++i) {
        const StreamChunk &chunk = contents.chunks[i];
        text += textOf("%5zu  0x%08X  %6llu  %7zu  %10llu  %7llu  0x%08X  %s\n", i, chunk.targetOffset,
                       static_cast<ull>(chunk.length()), chunk.records.size(), static_cast<ull>(chunk.diffBytes),
                       static_cast<ull>(chunk.extraBytes), chunk.chunkCrc, readsOwnUnit(chunk) ? "reads" : "-");
    }
    text += textOf("chunks reading their own erase unit: %zu of %zu (a device must buffer those before erasing)\n",
                   totals.ownUnit, contents.chunks.size());
    return text;
}

} // namespace quarnel::verify
