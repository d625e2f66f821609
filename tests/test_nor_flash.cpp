// The NOR flash model that every power-cut suite runs the applier on: its rules and its torn calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <csetjmp>
#include <vector>

#include "nor_flash.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t sector = 4096;

// Two sectors at flash offset 0x10000, the second one writable.
struct Model {
    Bytes bytes = Bytes(2 * sector, 0xFF);
    Bytes unerased = Bytes(bytes.size() / 8);
    NorFlash flash{};
    FotaFlash callbacks{};

    Model(uint32_t programUnit, uint32_t seed, NorPast past)
    {
        flash.bytes = bytes.data();
        flash.unerased = unerased.data();
        flash.base = 0x10000;
        flash.size = static_cast<uint32_t>(bytes.size());
        flash.writable[0] = {0x10000 + sector, sector};
        flash.programUnit = programUnit;
        flash.cutAt = NOR_NO_CUT;
        flash.random = seed;
        norFlashLoad(&flash, flash.bytes, past);
        callbacks = norFlashInterface(&flash);
    }

    int program(uint32_t offset, const Bytes &data)
    {
        return callbacks.program(callbacks.context, offset, data.data(), static_cast<uint32_t>(data.size()));
    }
    int erase(uint32_t offset, uint32_t length) { return callbacks.erase(callbacks.context, offset, length); }
    Bytes at(uint32_t offset, uint32_t length) const
    {
        return Bytes(bytes.begin() + (offset - 0x10000), bytes.begin() + (offset - 0x10000 + length));
    }
};

// The next erase or program loses power inside; returns whether it did.
bool tornCall(Model &model, bool erase, uint32_t offset, const Bytes &data)
{
    std::jmp_buf lost;
    model.flash.calls = 0;
    model.flash.cutAt = 0;
    model.flash.cutKind = cutInsideCall;
    model.flash.powerLost = &lost;
    if (setjmp(lost) != 0) {
        model.flash.cutAt = NOR_NO_CUT;
        return true;
    }
    if (erase)
        model.erase(offset, sector);
    else
        model.program(offset, data);
    model.flash.cutAt = NOR_NO_CUT;
    return false;
}

constexpr uint32_t writable = 0x10000 + sector;

} // namespace

TEST(NorFlashModel, EveryByteIsProgrammedOnceBetweenErasesAndOnlyWhereAllowed)
{
    Model model(16, 1, norPastUnknown);
    const Bytes erased(16, 0xFF);
    const Bytes data(16, 0x5A);
    // Nothing is known of the bytes loaded: they read 0xFF but were never seen erased.
    EXPECT_EQ(model.program(writable, data), -1);
    EXPECT_EQ(model.at(writable, 16), erased);
    ASSERT_EQ(model.erase(writable, sector), 0);
    // A program of 0xFF changes no byte, yet a second program of those bytes is refused.
    EXPECT_EQ(model.program(writable, erased), 0);
    EXPECT_EQ(model.program(writable, data), -1);
    EXPECT_EQ(model.program(writable + 16, data), 0);
    EXPECT_EQ(model.at(writable + 16, 16), data);
    // Outside the writable sector, off the unit, off the erase unit: refused, nothing changed.
    EXPECT_EQ(model.program(0x10000, data), -1);
    EXPECT_EQ(model.program(writable + sector - 16, Bytes(32, 0)), -1);
    EXPECT_EQ(model.program(writable + 40, data), -1);
    EXPECT_EQ(model.erase(0x10000, sector), -1);
    EXPECT_EQ(model.erase(writable, 2 * sector), -1);
    EXPECT_EQ(model.erase(writable + 512, sector), -1);
    EXPECT_EQ(model.at(0x10000, sector), Bytes(sector, 0xFF));
    EXPECT_EQ(model.flash.faults, 8u);
    EXPECT_NE(std::string(model.flash.fault).find("not erased since it was programmed"), std::string::npos)
        << model.flash.fault;
    // Only the valid calls were counted.
    EXPECT_EQ(model.flash.calls, 3u);
    ASSERT_EQ(model.erase(writable, sector), 0);
    EXPECT_EQ(model.program(writable, data), 0);

    // A copy of an earlier model's flash: what reads erased may be programmed, nothing else.
    Model copy(16, 1, norPastErasedAsRead);
    copy.bytes[sector + 32] = 0x7F;
    norFlashLoad(&copy.flash, copy.bytes.data(), norPastErasedAsRead);
    EXPECT_EQ(copy.program(writable, data), 0);
    EXPECT_EQ(copy.program(writable + 32, data), -1);
}

TEST(NorFlashModel, TornEraseLeavesTheUnitNeitherErasedNorIntactAndUnprogrammable)
{
    for (uint32_t seed = 0; seed < 300; ++seed) {
        SCOPED_TRACE(seed);
        Model model(1, seed, norPastUnknown);
        ASSERT_EQ(model.erase(writable, sector), 0);
        // Half the runs tear an erased unit, the other half one holding data.
        if (seed % 2 == 1) {
            for (uint32_t i = 0; i < sector; i += 256) {
                Bytes data(256);
                for (uint32_t k = 0; k < 256; ++k)
                    data[k] = static_cast<uint8_t>(i + k * 7);
                ASSERT_EQ(model.program(writable + i, data), 0);
            }
        }
        const Bytes before = model.at(writable, sector);
        ASSERT_TRUE(tornCall(model, true, writable, {}));
        const Bytes after = model.at(writable, sector);
        EXPECT_NE(after, before);
        EXPECT_NE(after, Bytes(sector, 0xFF));
        // No byte of the unit may be programmed, even one that reads erased, before a complete erase.
        const auto erasedByte = std::find(after.begin(), after.end(), 0xFF);
        if (erasedByte != after.end()) {
            EXPECT_EQ(model.program(writable + static_cast<uint32_t>(erasedByte - after.begin()), {0}), -1);
        }
        ASSERT_EQ(model.erase(writable, sector), 0);
        EXPECT_EQ(model.program(writable, {0}), 0);
        // The same seed tears the same way.
        if (seed == 7) {
            Model again(1, seed, norPastUnknown);
            ASSERT_EQ(again.erase(writable, sector), 0);
            for (uint32_t i = 0; i < sector; i += 256) {
                Bytes data(256);
                for (uint32_t k = 0; k < 256; ++k)
                    data[k] = static_cast<uint8_t>(i + k * 7);
                ASSERT_EQ(again.program(writable + i, data), 0);
            }
            ASSERT_TRUE(tornCall(again, true, writable, {}));
            EXPECT_EQ(again.at(writable, sector), after);
        }
    }
}

TEST(NorFlashModel, TornProgramLeavesAPrefixAndTheUnitInProgressPartlyProgrammed)
{
    for (const uint32_t unit : {1u, 16u, 256u}) {
        int untouched = 0;
        int weak = 0;
        for (uint32_t seed = 0; seed < 400; ++seed) {
            SCOPED_TRACE(::testing::Message() << "unit " << unit << ", seed " << seed);
            Model model(unit, seed, norPastUnknown);
            ASSERT_EQ(model.erase(writable, sector), 0);
            Bytes data(2 * unit);
            for (size_t i = 0; i < data.size(); ++i)
                data[i] = static_cast<uint8_t>(0x11 * (i % 15));
            ASSERT_TRUE(tornCall(model, false, writable, data));
            const Bytes after = model.at(writable, static_cast<uint32_t>(data.size()));
            // The first byte that is not as programmed: before it the write took, from its unit's end nothing.
            size_t done = 0;
            while (done < data.size() && after[done] == data[done])
                ++done;
            const size_t unitEnd = std::min(data.size(), (done / unit + 1) * unit);
            for (size_t i = done; i < data.size(); ++i) {
                // Bits only go from 1 to 0, and only those the data clears.
                EXPECT_EQ(after[i] & data[i], data[i]) << "byte " << i;
                if (i >= unitEnd) {
                    EXPECT_EQ(after[i], 0xFF) << "byte " << i << " past the unit in progress";
                }
            }
            untouched += std::all_of(after.begin(), after.end(), [](uint8_t b) { return b == 0xFF; });
            weak += std::any_of(after.begin() + static_cast<long>(done), after.begin() + static_cast<long>(unitEnd),
                                [](uint8_t b) { return b != 0xFF; });
            // A slot the tear left reading erased is programmed again, as the applier does.
            const bool slotReadsErased =
                std::all_of(after.begin(), after.begin() + unit, [](uint8_t b) { return b == 0xFF; });
            EXPECT_EQ(model.program(writable, Bytes(unit, 0)), slotReadsErased ? 0 : -1);
        }
        // Both a tear that left the write as it was and one that left weak bits happen.
        EXPECT_GT(untouched, 0) << "unit " << unit;
        EXPECT_GT(weak, 0) << "unit " << unit;
    }
}
