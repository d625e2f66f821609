#include <gtest/gtest.h>

#include "support/platform.h"

#if QUARNEL_TESTS_ON_POSIX
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <filesystem>
#include <random>
#include <thread>

#include "quarnel.h"
#include "support/pack_replay.h"
#include "support/sanitizer.h"
#include "support/test_files.h"

using testsupport::makeLodText;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

constexpr CodeArea area = {0x08000000, 0x10000, 0x3F0000};

using testsupport::underAddressSanitizer;

std::vector<uint8_t> shifted(const std::vector<uint8_t> &old, uint32_t seed)
{
    auto next = testsupport::firmwareLikeBytes(0x300, seed);
    next.insert(next.end(), old.begin(), old.end() - 0x300);
    return next;
}

#if QUARNEL_TESTS_ON_POSIX
// Runs packcli in a child process and returns its exit status and peak resident memory in KiB.
std::pair<int, long> runPackcliMeasured(const std::vector<std::string> &arguments)
{
    std::vector<char *> argv = {const_cast<char *>(PACKCLI_PATH)};
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        execv(PACKCLI_PATH, argv.data());
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    wait4(child, &status, 0, &usage);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, usage.ru_maxrss};
}
#endif

} // namespace

TEST(Hardening, HostileLodFilesEndWithAResultCode)
{
    TempDir dir;
    const std::string good = dir.path("good.lod");
    writeFile(good, makeLodText(0x08010000, testsupport::firmwareLikeBytes(0x2000, 1)));
    const std::string pack = dir.path("out.pack");
    auto result = [&](const std::string &oldPath) {
        return FotaCreatePack(oldPath.c_str(), good.c_str(), pack.c_str(), nullptr, nullptr, nullptr, area);
    };

    EXPECT_EQ(result(dir.dir()), FOTA_OLD_LOD_UNREADABLE) << "a directory";
#if QUARNEL_TESTS_ON_POSIX
    EXPECT_EQ(result("/dev/null"), FOTA_OLD_LOD_UNREADABLE) << "an empty device";
    const std::string fifo = dir.path("fifo.lod");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(result(fifo), FOTA_OLD_LOD_UNREADABLE) << "a FIFO without writer must not block";
#else
    EXPECT_EQ(result("NUL"), FOTA_OLD_LOD_UNREADABLE) << "an empty device";
#endif

    std::mt19937 rng(5);
    std::string garbage(1 << 20, '\0');
    for (char &c : garbage)
        c = char(rng());
    garbage[0] = 'x'; // a NUL right at the start would just be an empty text
    writeFile(dir.path("garbage.lod"), garbage);
    const int garbageResult = result(dir.path("garbage.lod"));
    EXPECT_TRUE(garbageResult >= 9 && garbageResult <= 12) << garbageResult;

    // One line of 100 million characters is one data word: a section at 0 of 4 bytes.
    writeFile(dir.path("long.lod"), std::string(100'000'000, '7'));
    EXPECT_EQ(result(dir.path("long.lod")), FOTA_OLD_SIZE_MISALIGNED);
    EXPECT_FALSE(std::filesystem::exists(pack));
}

TEST(Hardening, NonAsciiPathsAndPackOverItsOwnInput)
{
    TempDir dir;
    const auto oldBytes = testsupport::firmwareLikeBytes(0x8000, 2);
    const auto newBytes = shifted(oldBytes, 3);
    const std::string oldLod = dir.path("alte Firmware ü 固件.lod");
    const std::string newLod = dir.path("neue Firmware ß.lod");
    const std::string pack = dir.path("Paket für Gerät.pack");
    writeFile(oldLod, makeLodText(0x08010000, oldBytes));
    writeFile(newLod, makeLodText(0x08010000, newBytes));
    ASSERT_EQ(FotaCreatePack(oldLod.c_str(), newLod.c_str(), pack.c_str(), nullptr, nullptr, nullptr, area), FOTA_OK);
    const auto expected = readFile(pack);
    EXPECT_TRUE(testsupport::replayPackFile(expected, oldBytes, 0x10000, newBytes));

    // A pack never replaces one of its own inputs, whatever the names are made of.
    const auto oldText = readFile(oldLod);
    EXPECT_EQ(FotaCreatePack(oldLod.c_str(), newLod.c_str(), oldLod.c_str(), nullptr, nullptr, nullptr, area),
              FOTA_PACK_WRITE_FAILED);
    EXPECT_EQ(readFile(oldLod), oldText);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.dir()), {}), 3) << "stray temporary files";
}

TEST(Hardening, ConcurrentCallsGiveTheSequentialBytes)
{
    TempDir dir;
    std::vector<std::pair<std::string, std::string>> pairs;
    for (uint32_t i = 0; i < 4; ++i) {
        const auto oldBytes = testsupport::firmwareLikeBytes(0x6000 + 0x1000 * i, 10 + i);
        pairs.emplace_back(dir.path("old" + std::to_string(i) + ".lod"), dir.path("new" + std::to_string(i) + ".lod"));
        writeFile(pairs[i].first, makeLodText(0x08010000, oldBytes));
        writeFile(pairs[i].second, makeLodText(0x08010000, shifted(oldBytes, 20 + i)));
    }
    auto build = [&](uint32_t i, const std::string &tag, int &result) {
        const std::string pack = dir.path(tag + std::to_string(i) + ".pack");
        result = FotaCreatePack(pairs[i].first.c_str(), pairs[i].second.c_str(), pack.c_str(), nullptr, nullptr,
                                nullptr, area);
    };
    int results[8] = {};
    for (uint32_t i = 0; i < 4; ++i)
        build(i, "sequential", results[i]);
    std::vector<std::thread> threads;
    for (uint32_t i = 0; i < 4; ++i)
        threads.emplace_back(build, i, "concurrent", std::ref(results[4 + i]));
    for (std::thread &thread : threads)
        thread.join();
    for (uint32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(results[i], FOTA_OK);
        EXPECT_EQ(results[4 + i], FOTA_OK);
        EXPECT_EQ(readFile(dir.path("concurrent" + std::to_string(i) + ".pack")),
                  readFile(dir.path("sequential" + std::to_string(i) + ".pack")));
    }
}

TEST(Hardening, MemoryFollowsTheImagesNotTheCodeArea)
{
#if !QUARNEL_TESTS_ON_POSIX
    GTEST_SKIP() << "measures the peak memory of a child started with fork and reaped with wait4";
#else
    if (underAddressSanitizer)
        GTEST_SKIP() << "resident memory means nothing under AddressSanitizer";
    TempDir dir;
    const auto oldBytes = testsupport::firmwareLikeBytes(0x40000, 30);
    writeFile(dir.path("old.lod"), makeLodText(0x08001000, oldBytes));
    writeFile(dir.path("new.lod"), makeLodText(0x08001000, shifted(oldBytes, 31)));
    // "0 0x1000" wraps the code size to 0xFFFFF000.
    const auto huge = runPackcliMeasured({"0", "0x1000", dir.path("old.lod"), dir.path("new.lod"), dir.path("a.pack")});
    const auto snug =
        runPackcliMeasured({"0x41000", "0x1000", dir.path("old.lod"), dir.path("new.lod"), dir.path("b.pack")});
    ASSERT_EQ(huge.first, FOTA_OK);
    ASSERT_EQ(snug.first, FOTA_OK);
    EXPECT_LT(huge.second, snug.second + 8 * 1024) << "KiB: " << huge.second << " against " << snug.second;
    EXPECT_EQ(readFile(dir.path("a.pack")), readFile(dir.path("b.pack")));
#endif
}

TEST(Hardening, AllocationFailureIsCodeTwentyFour)
{
#if !QUARNEL_TESTS_ON_POSIX
    GTEST_SKIP() << "caps the address space with setrlimit, which Windows does not have";
#else
    if (underAddressSanitizer)
        GTEST_SKIP() << "an address-space limit cannot be combined with AddressSanitizer's shadow memory";
    TempDir dir;
    const auto oldBytes = testsupport::firmwareLikeBytes(0x10000, 40);
    writeFile(dir.path("old.lod"), makeLodText(0x08010000, oldBytes));
    writeFile(dir.path("new.lod"), makeLodText(0x08010000, shifted(oldBytes, 41)));
    const std::string oldLod = dir.path("old.lod"), newLod = dir.path("new.lod"), pack = dir.path("out.pack");
    // The LZMA encoder's tables alone need about 1.4 MiB at the 8 KiB window; 1 MiB more address
    // space than the process holds cannot hold them.
    auto buildWithin1MiBMore = [&] {
        unsigned long pages = 0;
        if (FILE *statm = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(statm, "%lu", &pages) != 1)
                pages = 0;
            std::fclose(statm);
        }
        rlimit limit{};
        limit.rlim_cur = limit.rlim_max = rlim_t(pages) * 4096 + (1u << 20);
        setrlimit(RLIMIT_AS, &limit);
        _exit(FotaCreatePack(oldLod.c_str(), newLod.c_str(), pack.c_str(), nullptr, nullptr, nullptr, area));
    };
    EXPECT_EXIT(buildWithin1MiBMore(), ::testing::ExitedWithCode(FOTA_OUT_OF_MEMORY), "");
    EXPECT_FALSE(std::filesystem::exists(pack));
#endif
}
