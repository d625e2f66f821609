#include <gtest/gtest.h>

#include <lzma.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#ifdef __linux__
#include <sys/resource.h>
#endif

#include "common/crc32.h"
#include "common/result_codes.h"
#include "container/lzma_adapter.h"
#include "container/mem_streams.h"
#include "container/pack_header.h"
#include "support/pack_replay.h"
#include "support/platform.h"
#include "support/sanitizer.h"
#include "verify/lzma_block.h"

namespace {

using quarnel::CInMemStream;
using quarnel::COutMemStream;
using Bytes = std::vector<uint8_t>;

Bytes bytesOf(const std::string &text)
{
    return Bytes(text.begin(), text.end());
}

Bytes randomBytes(size_t size, uint32_t seed)
{
    std::mt19937 rng(seed);
    Bytes bytes(size);
    for (auto &byte : bytes)
        byte = static_cast<uint8_t>(rng());
    return bytes;
}

// Mostly zeros with scattered random bytes, like a patch stream's diff bytes.
Bytes sparseBytes(size_t size, uint32_t seed)
{
    std::mt19937 rng(seed);
    Bytes bytes(size, 0);
    for (size_t i = 0; i < size; i += 1 + rng() % 16)
        bytes[i] = static_cast<uint8_t>(rng());
    return bytes;
}

// Empty when equal, else where the two first differ.
std::string difference(const Bytes &expected, const Bytes &actual)
{
    const auto where = std::mismatch(expected.begin(), expected.end(), actual.begin(), actual.end());
    if (where.first == expected.end() && where.second == actual.end())
        return "";
    return "first difference at offset " + std::to_string(where.first - expected.begin()) + " (sizes " +
           std::to_string(expected.size()) + " and " + std::to_string(actual.size()) + ")";
}

uint32_t loadU32(const Bytes &bytes, size_t at)
{
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | uint32_t(bytes[at + 3]) << 24;
}

Bytes compressed(const Bytes &input)
{
    Bytes block;
    EXPECT_EQ(quarnel::compressPatchStream(input.data(), int32_t(input.size()), block), FOTA_OK);
    return block;
}

#if QUARNEL_TESTS_ON_POSIX
// Runs the xz program's .lzma decoder over a block; exit status in status. With raw, its raw LZMA1
// decoder with the device's 8 KiB window reads the data after the header (it reports the missing
// end marker in its status, so only the bytes tell).
Bytes decodeWithXz(const Bytes &block, int &status, bool raw = false)
{
    const std::string path = ::testing::TempDir() + "quarnel_container_block.lzma";
    const size_t skip = raw ? quarnel::lzmaHeaderSize : 0;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(block.data() + skip), static_cast<std::streamsize>(block.size() - skip));
    const std::string command =
        raw ? "xz --format=raw --lzma1=lc=3,lp=0,pb=2,dict=8KiB --decompress --stdout '" + path + "' 2>/dev/null"
            : "xz --format=lzma --decompress --stdout '" + path + "'";
    Bytes decoded;
    FILE *pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        status = -1;
        return decoded;
    }
    uint8_t buffer[4096];
    size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        decoded.insert(decoded.end(), buffer, buffer + count);
    status = pclose(pipe);
    std::remove(path.c_str());
    return decoded;
}
#endif

} // namespace

TEST(PackCrc32, CheckValues)
{
    const Bytes digits = bytesOf("123456789");
    const Bytes abc = bytesOf("abc");
    EXPECT_EQ(quarnel::packCrc32(digits.data(), 9), 0x2DFD2D88u);
    EXPECT_EQ(quarnel::packCrc32(abc.data(), 3), 0xCA6598D0u);
    EXPECT_EQ(quarnel::packCrc32(nullptr, 0), 0u);
}

TEST(PackCrc32, IsTheCommonCrcWithoutItsInversions)
{
    for (size_t size : {1u, 7u, 255u, 4096u, 70001u}) {
        const Bytes data = randomBytes(size, uint32_t(size));
        const uint32_t crc = quarnel::packCrc32(data.data(), uint32_t(size));
        // liblzma's common CRC-32 starts from ~initial and inverts at the end.
        EXPECT_EQ(crc, ~lzma_crc32(data.data(), size, 0xFFFFFFFFu)) << "size " << size;
        EXPECT_NE(crc, lzma_crc32(data.data(), size, 0)) << "size " << size;
    }
}

TEST(BuildPack, HandComputedBytes)
{
    const Bytes data = bytesOf("abc");
    const Bytes pack = quarnel::buildPack(0x00010000u, 0x003F0000u, 0x12345678u, data.data(), 3);
    const Bytes expected = {
        'V', 'Y', 'N', 'O', 'T', 'A', '0', '1', // magic
        0x78, 0x56, 0x34, 0x12,                 // oldCrc
        0x00, 0x00, 0x01, 0x00,                 // oldStart
        0x00, 0x00, 0x3F, 0x00,                 // oldSize
        0xD0, 0x98, 0x65, 0xCA,                 // dataCrc of "abc"
        0x03, 0x00, 0x00, 0x00,                 // dataLength
        'a', 'b', 'c',                          // data
    };
    EXPECT_EQ(difference(expected, pack), "");
}

TEST(BuildPack, SizesAndOldImageFields)
{
    for (uint32_t n : {0u, 1u, 13u, 5000u}) {
        const Bytes data = randomBytes(n, n + 1);
        const Bytes pack = quarnel::buildPack(0x20000, 0x10000, 0xCAFEF00D, data.data(), n);
        ASSERT_EQ(pack.size(), 28u + n);
        EXPECT_EQ(loadU32(pack, 24), n);
        EXPECT_EQ(loadU32(pack, 20), quarnel::packCrc32(data.data(), n));
        EXPECT_EQ(Bytes(pack.begin(), pack.begin() + 8), bytesOf("VYNOTA01"));
        EXPECT_EQ(Bytes(pack.begin() + 12, pack.begin() + 20), (Bytes{0, 0, 2, 0, 0, 0, 1, 0}));
        EXPECT_EQ(loadU32(pack, 8), 0xCAFEF00Du);
        EXPECT_EQ(difference(data, Bytes(pack.begin() + 28, pack.end())), "");
    }
}

TEST(BuildPack, EveryDataBitFlipChangesDataCrc)
{
    Bytes data = randomBytes(64, 3);
    const uint32_t original = loadU32(quarnel::buildPack(0, 0, 0, data.data(), 64), 20);
    for (size_t bit = 0; bit < data.size() * 8; ++bit) {
        data[bit / 8] ^= uint8_t(1u << (bit % 8));
        EXPECT_NE(loadU32(quarnel::buildPack(0, 0, 0, data.data(), 64), 20), original) << "bit " << bit;
        data[bit / 8] ^= uint8_t(1u << (bit % 8));
    }
}

TEST(InMemStream, ReadsUpToTheEnd)
{
    const Bytes data = bytesOf("hello");
    CInMemStream in(data.data(), 5);
    uint8_t buffer[8] = {};
    uint32_t count = 99;
    EXPECT_EQ(in.read(buffer, 2, &count), quarnel::streamOk);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(std::memcmp(buffer, "he", 2), 0);
    // More than remain: the rest.
    EXPECT_EQ(in.read(buffer, 8, &count), quarnel::streamOk);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(std::memcmp(buffer, "llo", 3), 0);
    // At the end: success with nothing.
    EXPECT_EQ(in.read(buffer, 8, &count), quarnel::streamOk);
    EXPECT_EQ(count, 0u);
    // A size that would wrap a 32-bit sum still stops at the end.
    in.seek(1, quarnel::seekSet, nullptr);
    EXPECT_EQ(in.read(buffer, UINT32_MAX, nullptr), quarnel::streamOk);
    EXPECT_EQ(std::memcmp(buffer, "ello", 4), 0);
    uint64_t size = 0;
    EXPECT_EQ(in.getSize(&size), quarnel::streamOk);
    EXPECT_EQ(size, 5u);
}

TEST(InMemStream, SeekClampsAndRejectsUnknownOrigin)
{
    const Bytes data = bytesOf("0123456789");
    CInMemStream in(data.data(), 10);
    uint64_t position = 99;
    uint8_t byte = 0;
    EXPECT_EQ(in.seek(4, quarnel::seekSet, &position), quarnel::streamOk);
    EXPECT_EQ(position, 4u);
    EXPECT_EQ(in.seek(3, quarnel::seekCurrent, &position), quarnel::streamOk);
    EXPECT_EQ(position, 7u);
    EXPECT_EQ(in.seek(-2, quarnel::seekCurrent, &position), quarnel::streamOk);
    EXPECT_EQ(position, 5u);
    // Past the end with origin 1: the data length.
    EXPECT_EQ(in.seek(100, quarnel::seekCurrent, &position), quarnel::streamOk);
    EXPECT_EQ(position, 10u);
    EXPECT_EQ(in.seek(-3, quarnel::seekEnd, &position), quarnel::streamOk);
    EXPECT_EQ(position, 7u);
    // Only the low 32 bits of the offset take part.
    EXPECT_EQ(in.seek(0x100000002LL, quarnel::seekSet, &position), quarnel::streamOk);
    EXPECT_EQ(position, 2u);
    // An unknown origin changes nothing.
    position = 99;
    EXPECT_EQ(in.seek(6, 3, &position), quarnel::streamInvalidFunction);
    EXPECT_EQ(uint32_t(quarnel::streamInvalidFunction), 0x80030001u);
    EXPECT_EQ(position, 99u);
    in.read(&byte, 1, nullptr);
    EXPECT_EQ(byte, '2');
}

TEST(OutMemStream, WriteSeekOverwriteAndSetSize)
{
    COutMemStream out;
    Bytes gathered;
    uint32_t count = 0;
    EXPECT_EQ(out.write("abcdef", 6, &count), quarnel::streamOk);
    EXPECT_EQ(count, 6u);
    // Back into the data: overwrites, and grows only by what passes the end.
    uint64_t position = 0;
    EXPECT_EQ(out.seek(4, quarnel::seekSet, &position), quarnel::streamOk);
    EXPECT_EQ(position, 4u);
    EXPECT_EQ(out.write("XYZ", 3, nullptr), quarnel::streamOk);
    out.copyTo(gathered);
    EXPECT_EQ(gathered, bytesOf("abcdXYZ"));
    EXPECT_EQ(out.seek(1, quarnel::seekSet, nullptr), quarnel::streamOk);
    EXPECT_EQ(out.write("-", 1, nullptr), quarnel::streamOk);
    out.copyTo(gathered);
    EXPECT_EQ(gathered, bytesOf("a-cdXYZ"));
    // Seeks never pass the end, and an unknown origin changes nothing.
    EXPECT_EQ(out.seek(50, quarnel::seekSet, &position), quarnel::streamOk);
    EXPECT_EQ(position, 7u);
    EXPECT_EQ(out.seek(0, 7, &position), quarnel::streamInvalidFunction);
    EXPECT_EQ(position, 7u);
    // Growing fills with zeros and keeps the position.
    EXPECT_EQ(out.setSize(10), quarnel::streamOk);
    EXPECT_EQ(out.write("!", 1, nullptr), quarnel::streamOk);
    out.copyTo(gathered);
    EXPECT_EQ(gathered, (Bytes{'a', '-', 'c', 'd', 'X', 'Y', 'Z', '!', 0, 0}));
    // Cutting lowers the position to the new end.
    EXPECT_EQ(out.setSize(3), quarnel::streamOk);
    EXPECT_EQ(out.write("Q", 1, nullptr), quarnel::streamOk);
    out.copyTo(gathered);
    EXPECT_EQ(gathered, bytesOf("a-cQ"));
    // Only the low 32 bits of the size take part.
    EXPECT_EQ(out.setSize(0x100000002LL), quarnel::streamOk);
    out.copyTo(gathered);
    EXPECT_EQ(gathered, bytesOf("a-"));
}

TEST(OutMemStream, CopyReplacesAndWritePastFourGiBFails)
{
    COutMemStream out;
    Bytes gathered(100, 0xAA);
    out.copyTo(gathered);
    EXPECT_TRUE(gathered.empty());
    out.write("xy", 2, nullptr);
    // A 32-bit position cannot reach beyond 4 GiB; the write is refused whole.
    uint32_t count = 99;
    uint8_t byte = 0;
    out.seek(1, quarnel::seekSet, nullptr);
    EXPECT_EQ(out.write(&byte, UINT32_MAX, &count), quarnel::streamMediumFull);
    EXPECT_EQ(count, 0u);
    out.copyTo(gathered);
    EXPECT_EQ(gathered, bytesOf("xy"));
}

TEST(CompressPatchStream, HeaderBytes)
{
    const Bytes block = compressed(Bytes(1000, 'q'));
    ASSERT_GE(block.size(), 13u);
    const Bytes expected = {0x5D, 0x00, 0x00, 0x00, 0x02, 0xE8, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(Bytes(block.begin(), block.begin() + 13), expected);
}

namespace {

// Empty, one byte, text, random and sparse inputs.
std::vector<Bytes> sampleInputs()
{
    return {
        {},
        {0x42},
        bytesOf(std::string(400, 'a') + "patch stream text, patch stream text, and more text"),
        randomBytes(300000, 11),
        sparseBytes(1u << 20, 12),
    };
}

} // namespace

TEST(CompressPatchStream, DecodesWithoutEndMarker)
{
    for (const Bytes &input : sampleInputs()) {
        SCOPED_TRACE("input of " + std::to_string(input.size()) + " bytes");
        const Bytes block = compressed(input);
        EXPECT_EQ(loadU32(block, 5), input.size());
        EXPECT_EQ(loadU32(block, 9), 0u);
        // The verifier's decoder ends exactly at the stated length with all data consumed and
        // refuses an end marker; the tests' own decoder must agree.
        quarnel::verify::LzmaBlockHeader header;
        quarnel::verify::Findings findings;
        ASSERT_EQ(quarnel::verify::readLzmaHeader(block.data(), block.size(), UINT64_MAX, 0, header, findings),
                  FOTA_OK);
        Bytes decoded;
        EXPECT_EQ(quarnel::verify::decodeLzmaBlock(block.data(), block.size(), header, 0, decoded, findings), FOTA_OK)
            << (findings.empty() ? "" : findings.front().text);
        EXPECT_EQ(difference(input, decoded), "");
        EXPECT_TRUE(testsupport::decodeLzmaBlock(block, decoded));
        EXPECT_EQ(difference(input, decoded), "");
    }
}

TEST(CompressPatchStream, XzProgramDecodesTheBlocks)
{
#if !QUARNEL_TESTS_ON_POSIX
    GTEST_SKIP() << "runs the build machine's xz program, which is no Windows program";
#else
    for (const Bytes &input : sampleInputs()) {
        SCOPED_TRACE("input of " + std::to_string(input.size()) + " bytes");
        int status = 0;
        const Bytes viaXz = decodeWithXz(compressed(input), status);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(difference(input, viaXz), "");
        static_assert(quarnel::lzmaWindowSize == 8192, "the raw decoder below is given the window");
        Bytes viaRawXz = decodeWithXz(compressed(input), status, true);
        // Knowing no length, the raw decoder may go on past the data; the stated length is what counts.
        ASSERT_GE(viaRawXz.size(), input.size());
        viaRawXz.resize(input.size());
        EXPECT_EQ(difference(input, viaRawXz), "");
    }
    // The same decoder refuses a match one byte beyond the window, so it does hold the encoder to it.
    Bytes far = randomBytes(8193 + 4096, 13);
    std::copy(far.begin(), far.begin() + 4096, far.begin() + 8193);
    int status = 0;
    EXPECT_EQ(difference(far, decodeWithXz(testsupport::encodeWithWindow(far, 1u << 20), status)), "");
    EXPECT_LT(decodeWithXz(testsupport::encodeWithWindow(far, 1u << 20), status, true).size(), far.size());
#endif
}

TEST(CompressPatchStream, OutputHoldsOnlyTheNewBlock)
{
    const Bytes input = bytesOf("abcdefgh abcdefgh");
    const Bytes fresh = compressed(input);
    Bytes reused(5000, 0xEE);
    EXPECT_EQ(quarnel::compressPatchStream(input.data(), int32_t(input.size()), reused), FOTA_OK);
    EXPECT_EQ(difference(fresh, reused), "");
}

TEST(CompressPatchStream, RejectsInvalidInputWithEmptyOutput)
{
    const uint8_t byte = 1;
    Bytes output(10, 0xEE);
    EXPECT_EQ(quarnel::compressPatchStream(&byte, -1, output), FOTA_COMPRESS_FAILED);
    EXPECT_TRUE(output.empty());
    output.assign(10, 0xEE);
    EXPECT_EQ(quarnel::compressPatchStream(nullptr, 5, output), FOTA_COMPRESS_FAILED);
    EXPECT_TRUE(output.empty());
}

#ifdef __linux__
namespace {

// Caps the address space at what is mapped now plus headroom.
void limitAddressSpace(size_t headroom)
{
    unsigned long pages = 0;
    if (FILE *statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%lu", &pages) != 1)
            pages = 0;
        std::fclose(statm);
    }
    const rlim_t limit = rlim_t(pages) * 4096 + headroom;
    const rlimit cap = {limit, limit};
    setrlimit(RLIMIT_AS, &cap);
}

} // namespace
#endif

TEST(CompressPatchStreamDeathTest, OutOfMemoryIsReported)
{
#ifndef __linux__
    GTEST_SKIP() << "caps the address space with setrlimit from the size in /proc/self/statm, both Linux's own";
#else
    if (testsupport::underAddressSanitizer)
        GTEST_SKIP() << "an address-space limit cannot be combined with AddressSanitizer's shadow memory";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const Bytes small = bytesOf("small input");
    // The encoder's tables (about 1.4 MiB at the 8 KiB window) do not fit: liblzma reports it.
    EXPECT_EXIT(
        {
            limitAddressSpace(size_t{512} << 10);
            Bytes output(3, 1);
            const int result = quarnel::compressPatchStream(small.data(), int32_t(small.size()), output);
            std::_Exit(output.empty() ? result : 100);
        },
        ::testing::ExitedWithCode(FOTA_OUT_OF_MEMORY), "");
    // Not even the copy of the input fits: the allocation failure is caught.
    const Bytes large(size_t{48} << 20, 7);
    EXPECT_EXIT(
        {
            limitAddressSpace(size_t{16} << 20);
            Bytes output(3, 1);
            const int result = quarnel::compressPatchStream(large.data(), int32_t(large.size()), output);
            std::_Exit(output.empty() ? result : 100);
        },
        ::testing::ExitedWithCode(FOTA_OUT_OF_MEMORY), "");
#endif
}
