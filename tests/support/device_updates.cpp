#include "support/device_updates.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "lod/code_image.h"
#include "pack/pack_builder.h"
#include "support/split_mix.h"
#include "support/test_files.h"
#include "verify/pack_reader.h"

namespace testsupport {

namespace {

Bytes join(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes &part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

Bytes slice(const Bytes &bytes, size_t from, size_t to)
{
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.begin() + static_cast<std::ptrdiff_t>(to));
}

// Changes a word here and there, as a rebuilt constant or pointer would.
void editWords(Bytes &bytes, uint32_t count, uint64_t seed)
{
    SplitMix random(seed);
    for (uint32_t i = 0; i < count; ++i) {
        const size_t at = random.below(static_cast<uint32_t>(bytes.size() / 4)) * 4;
        for (size_t b = 0; b < 4; ++b)
            bytes[at + b] = static_cast<uint8_t>(random.next());
    }
}

} // namespace

DevicePair makeDevicePair(Bytes oldImage, Bytes newImage, uint32_t codeBase)
{
    DevicePair pair;
    pair.oldImage = std::move(oldImage);
    pair.newImage = std::move(newImage);
    pair.codeBase = codeBase;
    uint32_t oldCrc = 0;
    EXPECT_EQ(quarnel::buildPackBytes(pair.oldImage, pair.newImage, codeBase, codeBase, quarnel::planUpdate,
                                      pair.pack, oldCrc),
              0);
    quarnel::verify::PackContents contents;
    quarnel::verify::Findings findings;
    EXPECT_EQ(quarnel::verify::readPack(pair.pack, quarnel::verify::maxStreamLength, contents, findings), FOTA_OK);
    pair.chunkCount = static_cast<uint32_t>(contents.chunks.size());
    pair.walk = quarnel::verify::walkOf(contents.chunks);
    return pair;
}

const DevicePair &sampleDevicePair()
{
    static const DevicePair pair = [] {
        const std::string examples =
            absolutePath(utf8Of(fsPath(TEST_DATA_DIR).parent_path().parent_path() / "examples"));
        const CodeArea area{0x08000000u, 0x10000u, 0x3F0000u};
        quarnel::LodPacketPtr oldLod, newLod;
        EXPECT_EQ(quarnel::loadImagePair(area, (examples + "/old.lod").c_str(), (examples + "/new.lod").c_str(),
                                         oldLod, newLod),
                  0);
        return makeDevicePair(quarnel::imageBytes(*oldLod), quarnel::imageBytes(*newLod), area.codeBase);
    }();
    return pair;
}

const DevicePair &benchDevicePair(bool contentMovesUp)
{
    static const DevicePair up = [] {
        Bytes old = firmwareLikeBytes(0x40000, 71);
        Bytes fresh = firmwareLikeBytes(0x3000, 72);
        Bytes next = join({slice(old, 0, 0x9000), fresh, slice(old, 0x9000, old.size())});
        editWords(next, 40, 73);
        return makeDevicePair(std::move(old), std::move(next), 0x10000);
    }();
    static const DevicePair down = [] {
        Bytes old = firmwareLikeBytes(0x40000, 81);
        Bytes next = join({slice(old, 0, 0x9000), slice(old, 0xC000, old.size())});
        editWords(next, 40, 83);
        return makeDevicePair(std::move(old), std::move(next), 0x10000);
    }();
    return contentMovesUp ? up : down;
}

const DevicePair &twoMiBDevicePair()
{
    static const DevicePair pair = [] {
        Bytes old = firmwareLikeBytes(0x200000, 91);
        Bytes next = join({slice(old, 0, 0x40000), firmwareLikeBytes(0x5000, 92), slice(old, 0x40000, 0x150000),
                           slice(old, 0x152000, old.size())});
        editWords(next, 400, 93);
        return makeDevicePair(std::move(old), std::move(next), 0x10000);
    }();
    return pair;
}

const DevicePair &sixteenMiBDevicePair()
{
    static const DevicePair pair = [] {
        Bytes old = firmwareLikeBytes(0x1000000, 161);
        Bytes next = join({slice(old, 0, 0x300000), firmwareLikeBytes(0x7000, 162), slice(old, 0x300000, 0xA00000),
                           slice(old, 0xA03000, old.size())});
        editWords(next, 2000, 163);
        return makeDevicePair(std::move(old), std::move(next), 0x10000);
    }();
    return pair;
}

quarnel::powercut::UpdateCase deviceUpdateCase(const DevicePair &pair, uint32_t programUnit)
{
    const uint32_t areaEnd =
        pair.codeBase + static_cast<uint32_t>(std::max(pair.oldImage.size(), pair.newImage.size()));
    Bytes flash(areaEnd, 0xFF);
    std::copy(pair.oldImage.begin(), pair.oldImage.end(), flash.begin() + pair.codeBase);
    return quarnel::powercut::placeSpareArea(pair.pack, std::move(flash), pair.newImage, pair.codeBase, areaEnd,
                                             pair.chunkCount, programUnit);
}

quarnel::powercut::UpdateCase deviceUpdateCase(const DevicePair &pair, uint32_t programUnit,
                                               const std::vector<NorSectorRun> &sectors, uint32_t scratchLength)
{
    const uint32_t areaEnd =
        pair.codeBase + static_cast<uint32_t>(std::max(pair.oldImage.size(), pair.newImage.size()));
    quarnel::powercut::UpdateCase update =
        quarnel::powercut::placeSpareArea(pair.pack, Bytes(areaEnd, 0xFF), pair.newImage, pair.codeBase, areaEnd,
                                          pair.chunkCount, programUnit, sectors, scratchLength);
    SplitMix random(programUnit * 7919u + static_cast<uint32_t>(sectors.size()));
    for (uint8_t &byte : update.flash)
        byte = static_cast<uint8_t>(random.next());
    std::copy(pair.oldImage.begin(), pair.oldImage.end(), update.flash.begin() + pair.codeBase);
    return update;
}

} // namespace testsupport
