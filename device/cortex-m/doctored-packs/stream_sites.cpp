#include "stream_sites.h"

namespace doctored {

uint32_t le32(const Bytes &bytes, size_t at)
{
    return static_cast<uint32_t>(bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16) |
           static_cast<uint32_t>(bytes[at + 3]) << 24;
}

void putLe32(Bytes &bytes, size_t at, uint32_t value)
{
    for (size_t i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

std::vector<ChunkPlace> chunkPlaces(const Bytes &stream)
{
    std::vector<ChunkPlace> places;
    if (stream.size() < 4)
        return {};
    size_t at = 4;
    for (uint32_t c = le32(stream, 0); c > 0; --c) {
        if (stream.size() - at < 12)
            return {};
        ChunkPlace place{at, le32(stream, at), 0, le32(stream, at + 8)};
        if ((stream.size() - at - 12) / 12 < place.records)
            return {};
        for (uint32_t r = 0; r < place.records; ++r)
            place.length += le32(stream, at + 12 * (r + 1) + 4) + le32(stream, at + 12 * (r + 1) + 8);
        places.push_back(place);
        at += 12 * (size_t{place.records} + 1);
    }
    return places;
}

size_t tableLength(const std::vector<ChunkPlace> &places)
{
    return places.empty() ? 4 : places.back().entry + 12 * (size_t{places.back().records} + 1);
}

std::vector<LiteralSite> literalSites(const Bytes &stream, const std::vector<ChunkPlace> &places)
{
    // Every record's difference bytes come first, then every record's literal bytes, both in table order.
    size_t diffTotal = 0;
    for (const ChunkPlace &place : places)
        for (uint32_t r = 0; r < place.records; ++r)
            diffTotal += le32(stream, place.entry + 12 * (r + 1) + 4);
    size_t extra = tableLength(places) + diffTotal;
    std::vector<LiteralSite> sites;
    for (size_t c = 0; c < places.size(); ++c) {
        uint32_t offset = places[c].target;
        for (uint32_t r = 0; r < places[c].records; ++r) {
            const uint32_t d = le32(stream, places[c].entry + 12 * (r + 1) + 4);
            const uint32_t e = le32(stream, places[c].entry + 12 * (r + 1) + 8);
            for (uint32_t i = 0; i < e; ++i)
                sites.push_back({extra + i, offset + d + i, c});
            extra += e;
            offset += d + e;
        }
    }
    return sites;
}

} // namespace doctored
