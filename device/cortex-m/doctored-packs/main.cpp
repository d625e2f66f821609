// doctored_packs: the packs the emulated board must refuse, and the foreign pack its signed run swaps in,
// made at test time from the sample pack and its images.
//
//   doctored_packs PACK OLD_IMAGE NEW_IMAGE OUTPUT_DIR
//
// Writes into OUTPUT_DIR:
//   damaged-table-1.pack .. damaged-table-4.pack   LZMA data damaged where it decodes the chunk table, the
//                                                  data checksum made to fit: the decoder fails in the table
//   empty-records.pack    the sample's first chunk with 1000 records of no bytes
//   overlong-stream.pack  one 4 KiB chunk, then 16 MiB of zeros that no chunk accounts for
//   no-chunks.pack        a stream of no chunks
//   foreign.pack          a valid pack of the sample's size that writes one byte otherwise
//   foreign.site          that byte: "OFFSET VALUE", both in hexadecimal
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "common/crc32.h"
#include "container/lzma_adapter.h"
#include "container/pack_header.h"
#include "stream_sites.h"
#include "verify/lzma_block.h"
#include "verify/pack_reader.h"

namespace {

using doctored::Bytes;
using doctored::le32;
using doctored::putLe32;

constexpr int damagedPacks = 4;

bool readFile(const std::string &path, Bytes &bytes)
{
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return in.good() || in.eof();
}

bool writeFile(const std::string &path, const Bytes &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return out.good();
}

// The block of a pack decoded with the device's window; its output stops where the decoder failed.
bool decodeBlock(const Bytes &block, Bytes &stream)
{
    quarnel::verify::LzmaBlockHeader header;
    quarnel::verify::Findings findings;
    if (quarnel::verify::readLzmaHeader(block.data(), block.size(), quarnel::verify::maxStreamLength,
                                        quarnel::packHeaderSize, header, findings) != 0)
        return false;
    return quarnel::verify::decodeLzmaBlock(block.data(), block.size(), header, quarnel::packHeaderSize, stream,
                                            findings) == 0;
}

// A pack of data whose header describes the sample's old image.
Bytes packOfData(const Bytes &sample, const Bytes &data)
{
    return quarnel::buildPack(le32(sample, quarnel::packOldStartOffset), le32(sample, quarnel::packOldSizeOffset),
                              le32(sample, quarnel::packOldCrcOffset), data.data(),
                              static_cast<uint32_t>(data.size()));
}

// A pack of stream, compressed as the library compresses: a pack whose stream alone was made wrong.
Bytes packOfStream(const Bytes &sample, const Bytes &stream)
{
    Bytes block;
    if (quarnel::compressPatchStream(stream.data(), static_cast<int32_t>(stream.size()), block) != 0)
        return {};
    return packOfData(sample, block);
}

// One bit flipped at a spread of block bytes; kept where the decoder fails inside the table, past its first
// entry, so that the table walk has begun.
std::vector<Bytes> damagedTablePacks(const Bytes &sample, size_t table)
{
    const Bytes block(sample.begin() + quarnel::packHeaderSize, sample.end());
    std::vector<Bytes> packs;
    for (size_t at = quarnel::lzmaHeaderSize; at < block.size() && packs.size() < damagedPacks; at += 211) {
        Bytes damaged = block;
        damaged[at] ^= static_cast<uint8_t>(1u << (at % 8));
        Bytes decoded;
        if (!decodeBlock(damaged, decoded) && decoded.size() > 16 && decoded.size() < table) {
            std::printf("damaged-table-%zu.pack: block byte %zu, the decoder fails after %zu of the table's %zu bytes\n",
                        packs.size() + 1, at, decoded.size(), table);
            packs.push_back(packOfData(sample, damaged));
        }
    }
    return packs;
}

Bytes emptyRecordsStream(const Bytes &stream)
{
    const uint32_t records = le32(stream, 12);
    Bytes empty(stream.begin(), stream.begin() + 16);
    putLe32(empty, 12, records + 1000);
    empty.resize(empty.size() + 12 * 1000, 0);
    for (size_t r = 0; r < 1000; ++r)
        putLe32(empty, 16 + 12 * r, le32(stream, 4));
    empty.insert(empty.end(), stream.begin() + 16, stream.end());
    return empty;
}

Bytes overlongStream(uint32_t target)
{
    Bytes literal(4096);
    for (size_t i = 0; i < literal.size(); ++i)
        literal[i] = static_cast<uint8_t>(i * 13 + 5);
    Bytes overlong(4 + 12 + 12);
    putLe32(overlong, 0, 1);
    putLe32(overlong, 4, target);
    putLe32(overlong, 8, quarnel::packCrc32(literal.data(), 4096));
    putLe32(overlong, 12, 1);
    putLe32(overlong, 16, target);
    putLe32(overlong, 24, 4096);
    overlong.insert(overlong.end(), literal.begin(), literal.end());
    overlong.resize(overlong.size() + (16u << 20), 0);
    return overlong;
}

struct ForeignPack {
    Bytes pack;
    uint32_t flashAt = 0;
    uint8_t value = 0;
};

// The sample with one literal byte changed and its chunk's checksum with it, of exactly the sample's size;
// the byte is one the old image does not hold there either, so no stage of a true update has it.
bool foreignPack(const Bytes &sample, const Bytes &stream, const Bytes &oldImage, const Bytes &newImage,
                 ForeignPack &foreign)
{
    const uint32_t newStart = le32(sample, quarnel::packOldStartOffset);
    const std::vector<doctored::ChunkPlace> places = doctored::chunkPlaces(stream);
    const std::vector<doctored::LiteralSite> sites = doctored::literalSites(stream, places);
    for (size_t s = sites.size() / 2; s < sites.size(); s += 97) {
        const doctored::LiteralSite &site = sites[s];
        const doctored::ChunkPlace &chunk = places[site.chunk];
        if (chunk.target - newStart + uint64_t{chunk.length} > newImage.size())
            return false;
        for (const uint8_t flip : {uint8_t{0x01}, uint8_t{0x80}, uint8_t{0x10}, uint8_t{0x42}}) {
            Bytes changed = stream;
            changed[site.streamAt] ^= flip;
            const uint32_t image = site.flashAt - newStart;
            if (image < oldImage.size() && oldImage[image] == changed[site.streamAt])
                continue;
            Bytes unit(newImage.begin() + (chunk.target - newStart),
                       newImage.begin() + (chunk.target - newStart) + chunk.length);
            unit[site.flashAt - chunk.target] = changed[site.streamAt];
            putLe32(changed, chunk.entry + 4, quarnel::packCrc32(unit.data(), static_cast<uint32_t>(unit.size())));
            Bytes pack = packOfStream(sample, changed);
            if (pack.size() == sample.size()) {
                foreign = {std::move(pack), site.flashAt, changed[site.streamAt]};
                return true;
            }
        }
    }
    return false;
}

int fail(const char *message)
{
    std::fprintf(stderr, "doctored_packs: %s\n", message);
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 5)
        return fail("usage: doctored_packs PACK OLD_IMAGE NEW_IMAGE OUTPUT_DIR");
    Bytes sample, oldImage, newImage, stream;
    if (!readFile(argv[1], sample) || !readFile(argv[2], oldImage) || !readFile(argv[3], newImage))
        return fail("cannot read the pack or its images");
    if (sample.size() <= quarnel::packHeaderSize ||
        !decodeBlock(Bytes(sample.begin() + quarnel::packHeaderSize, sample.end()), stream))
        return fail("the sample pack does not decode");
    const std::vector<doctored::ChunkPlace> places = doctored::chunkPlaces(stream);
    if (places.empty())
        return fail("the sample pack's chunk table does not add up");
    const std::string dir = std::string(argv[4]) + "/";

    const std::vector<Bytes> damaged = damagedTablePacks(sample, doctored::tableLength(places));
    if (damaged.size() != damagedPacks)
        return fail("too few bytes of the sample's LZMA data fail its decoder inside the chunk table");
    for (size_t i = 0; i < damaged.size(); ++i)
        if (!writeFile(dir + "damaged-table-" + std::to_string(i + 1) + ".pack", damaged[i]))
            return fail("cannot write a damaged pack");

    const std::pair<const char *, Bytes> streams[] = {
        {"empty-records.pack", emptyRecordsStream(stream)},
        {"overlong-stream.pack", overlongStream(places.front().target)},
        {"no-chunks.pack", Bytes(4, 0)},
    };
    for (const auto &made : streams) {
        const Bytes pack = packOfStream(sample, made.second);
        if (pack.empty() || !writeFile(dir + made.first, pack))
            return fail("cannot compress or write a doctored stream");
    }

    ForeignPack foreign;
    if (!foreignPack(sample, stream, oldImage, newImage, foreign))
        return fail("no literal byte changes the sample pack and keeps its size");
    char site[32];
    const int siteLength = std::snprintf(site, sizeof site, "0x%x 0x%02x\n", static_cast<unsigned>(foreign.flashAt),
                                         static_cast<unsigned>(foreign.value));
    if (!writeFile(dir + "foreign.pack", foreign.pack) || !writeFile(dir + "foreign.site", Bytes(site, site + siteLength)))
        return fail("cannot write the foreign pack");
    return 0;
}
