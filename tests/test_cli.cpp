#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "quarnel.h"
#include "support/exported_names.h"
#include "support/pack_replay.h"
#include "support/platform.h"
#include "support/run_tool.h"
#include "support/test_files.h"

using testsupport::makeLodText;
using testsupport::readFile;
using testsupport::runTool;
using testsupport::ToolRun;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

std::string imageText(uint32_t address, uint32_t size, uint32_t seed)
{
    return makeLodText(address, testsupport::firmwareLikeBytes(size, seed));
}

} // namespace

TEST(Cli, WrongArgumentCountPrintsUsage)
{
    TempDir dir;
    const std::string usage = std::string("usage: ") + PACKCLI_PATH + " flashsize codebase oldlod newlod pack\n";
    for (const char *arguments : {"", "1 2 3 4", "1 2 3 4 5 6"}) {
        const ToolRun run = runTool(PACKCLI_PATH, dir.dir(), testsupport::words(arguments));
        EXPECT_EQ(run.output, usage) << "arguments: " << arguments;
        EXPECT_EQ(run.status, testsupport::statusOfMinusOne) << "arguments: " << arguments;
    }
}

TEST(Cli, GoldenCases)
{
    TempDir dir;
    writeFile(dir.path("old.lod"), imageText(0x08010000, 0x4000, 1));
    writeFile(dir.path("new.lod"), imageText(0x08010000, 0x5000, 2));
    writeFile(dir.path("at0.lod"), imageText(0x08000000, 0x1000, 3));
    writeFile(dir.path("big.lod"), imageText(0x08010000, 0x8000, 4));
    writeFile(dir.path("gap.lod"), imageText(0x08010000, 0x1000, 5) + imageText(0x08012000, 0x1000, 6));
    writeFile(dir.path("ragged.lod"), imageText(0x08010000, 0x1004, 7));
    writeFile(dir.path("empty.lod"), "");

    struct Case {
        const char *arguments;
        const char *output;
        int status;
    };
    const Case cases[] = {
        {"0x400000 0x10000 old.lod new.lod out.pack", "", FOTA_OK},
        {"0x400000 0200000 old.lod new.lod octal.pack", "", FOTA_OK},
        {"4194304 65536 old.lod new.lod decimal.pack", "", FOTA_OK},
        {"0x400000 0x10800 old.lod new.lod x.pack", "unknown error\n", FOTA_CODE_BASE_MISALIGNED},
        {"0x400800 0x10000 old.lod new.lod x.pack", "unknown error\n", FOTA_CODE_SIZE_MISALIGNED},
        {"0 0 at0.lod new.lod x.pack", "old size larger than code flash size\n", FOTA_OLD_TOO_LARGE},
        {"zero none at0.lod new.lod x.pack", "old size larger than code flash size\n", FOTA_OLD_TOO_LARGE},
        {"0x400000 0x10000 missing.lod new.lod x.pack", "failed to read old lod\n", FOTA_OLD_LOD_UNREADABLE},
        {"0x400000 0x10000 empty.lod new.lod x.pack", "failed to read old lod\n", FOTA_OLD_LOD_UNREADABLE},
        {"0x400000 0x10000 old.lod missing.lod x.pack", "failed to read new lod\n", FOTA_NEW_LOD_UNREADABLE},
        {"0x400000 0x10000 gap.lod new.lod x.pack", "old lod is not contiguous\n", FOTA_OLD_NOT_CONTIGUOUS},
        {"0x400000 0x10000 ragged.lod new.lod x.pack", "old size not sector aligned\n", FOTA_OLD_SIZE_MISALIGNED},
        {"0x400000 0x10000 at0.lod new.lod x.pack", "old address does not match code flash base\n",
         FOTA_OLD_ADDRESS_MISMATCH},
        {"0x16000 0x10000 big.lod new.lod x.pack", "old size larger than code flash size\n", FOTA_OLD_TOO_LARGE},
        {"0x400000 0x10000 old.lod gap.lod x.pack", "new lod is not contiguous\n", FOTA_NEW_NOT_CONTIGUOUS},
        {"0x400000 0x10000 old.lod ragged.lod x.pack", "new size not sector aligned\n", FOTA_NEW_SIZE_MISALIGNED},
        {"0x400000 0x10000 old.lod at0.lod x.pack", "new address does not match code flash base\n",
         FOTA_NEW_ADDRESS_MISMATCH},
        {"0x16000 0x10000 old.lod big.lod x.pack", "new size larger than code flash size\n", FOTA_NEW_TOO_LARGE},
        {"0x400000 0x10000 old.lod new.lod no/such/dir/x.pack", "failed to write pack\n", FOTA_PACK_WRITE_FAILED},
    };
    for (const Case &c : cases) {
        const ToolRun run = runTool(PACKCLI_PATH, dir.dir(), testsupport::words(c.arguments));
        EXPECT_EQ(run.output, c.output) << "arguments: " << c.arguments;
        EXPECT_EQ(run.status, c.status) << "arguments: " << c.arguments;
    }
    EXPECT_TRUE(testsupport::replayPackFile(testsupport::readFile(dir.path("out.pack")),
                                            testsupport::firmwareLikeBytes(0x4000, 1), 0x10000,
                                            testsupport::firmwareLikeBytes(0x5000, 2)));
    EXPECT_FALSE(std::filesystem::exists(dir.path("x.pack")));
    EXPECT_EQ(testsupport::readFile(dir.path("octal.pack")), testsupport::readFile(dir.path("out.pack")));
    EXPECT_EQ(testsupport::readFile(dir.path("decimal.pack")), testsupport::readFile(dir.path("out.pack")));
}

TEST(Cli, NonAsciiPathsReachTheLibraryUnchanged)
{
    // On Windows the arguments arrive in UTF-16 and must reach the library as UTF-8 unchanged.
    TempDir dir;
    const std::string folder = "Prüfung 测试";
    std::filesystem::create_directory(testsupport::fsPath(dir.path(folder)));
    const auto oldBytes = testsupport::firmwareLikeBytes(0x6000, 21);
    auto newBytes = testsupport::firmwareLikeBytes(0x400, 22);
    newBytes.insert(newBytes.end(), oldBytes.begin(), oldBytes.end() - 0x400);
    writeFile(dir.path(folder + "/alt ü.lod"), makeLodText(0x08010000, oldBytes));
    writeFile(dir.path(folder + "/neu ü.lod"), makeLodText(0x08010000, newBytes));
    writeFile(dir.path(folder + "/Paket ü.pack"), "the pack of the last release");
    const std::vector<std::string> arguments = {"0x400000", "0x10000", folder + "/alt ü.lod", folder + "/neu ü.lod",
                                                folder + "/Paket ü.pack"};

    const ToolRun made = runTool(PACKCLI_PATH, dir.dir(), arguments);
    ASSERT_EQ(made.status, FOTA_OK) << made.output;
    const auto pack = readFile(dir.path(folder + "/Paket ü.pack"));
    EXPECT_TRUE(testsupport::replayPackFile(pack, oldBytes, 0x10000, newBytes));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(testsupport::fsPath(dir.path(folder))), {}), 3)
        << "stray temporary files";
    // The same bytes as the library writes from plain names.
    writeFile(dir.path("old.lod"), makeLodText(0x08010000, oldBytes));
    writeFile(dir.path("new.lod"), makeLodText(0x08010000, newBytes));
    const CodeArea area = {0x08000000, 0x10000, 0x3F0000};
    ASSERT_EQ(FotaCreatePack(dir.path("old.lod").c_str(), dir.path("new.lod").c_str(), dir.path("plain.pack").c_str(),
                             nullptr, nullptr, nullptr, area),
              0);
    EXPECT_EQ(pack, readFile(dir.path("plain.pack")));

    const ToolRun checked = runTool(PACKCHECK_PATH, dir.dir(), arguments);
    EXPECT_EQ(checked.status, FOTA_OK) << checked.output;
    const ToolRun info = runTool(PACKCHECK_PATH, dir.dir(), {"--info", folder + "/Paket ü.pack"});
    EXPECT_EQ(info.status, FOTA_OK);
    EXPECT_EQ(info.output.rfind("pack: " + folder + "/Paket ü.pack, ", 0), 0u) << info.output;

    // Names that do not resolve still give their own codes.
    const std::string missing = folder + "/fehlt ü.lod";
    EXPECT_EQ(runTool(PACKCLI_PATH, dir.dir(), {"0x400000", "0x10000", missing, arguments[3], "x.pack"}).status,
              FOTA_OLD_LOD_UNREADABLE);
    EXPECT_EQ(runTool(PACKCLI_PATH, dir.dir(), {"0x400000", "0x10000", arguments[2], missing, "x.pack"}).status,
              FOTA_NEW_LOD_UNREADABLE);
    const std::string noFolder = folder + "/kein 目录/x.pack";
    EXPECT_EQ(runTool(PACKCLI_PATH, dir.dir(), {"0x400000", "0x10000", arguments[2], arguments[3], noFolder}).status,
              FOTA_PACK_WRITE_FAILED);
    EXPECT_EQ(runTool(PACKCHECK_PATH, dir.dir(), {"--info", folder + "/fehlt ü.pack"}).status, FOTA_PACK_READ_FAILED);
}

TEST(Cli, DamagedEncoderOutputIsNeverWritten)
{
#ifndef LZMA_DAMAGE_PATH
    GTEST_SKIP() << "the damaging shim is put in with LD_PRELOAD, which only a POSIX loader takes";
#else
    // The encoder's output is damaged after it left liblzma, as a faulty library or bad memory would.
    TempDir dir;
    writeFile(dir.path("old.lod"), imageText(0x08010000, 0x8000, 5));
    writeFile(dir.path("new.lod"), imageText(0x08010000, 0x9000, 6));
    writeFile(dir.path("out.pack"), "the pack of the last release");
    const std::vector<std::string> arguments = testsupport::words("0x100000 0x10000 old.lod new.lod out.pack");
    // A sanitized program must let the shim load before its runtime.
    const std::string preload = std::string("ASAN_OPTIONS=\"$ASAN_OPTIONS:verify_asan_link_order=0\" LD_PRELOAD='") +
                                LZMA_DAMAGE_PATH + "'";

    // The first data byte of every LZMA block is zero.
    ToolRun run = runTool(PACKCLI_PATH, dir.dir(), arguments, preload + " LZMA_DAMAGE_AT=13");
    EXPECT_EQ(run.status, FOTA_PACK_INVALID);
    EXPECT_EQ(run.output, "invalid pack at verify\n");
    for (const char *at : {"100", "2000", "5000"}) {
        run = runTool(PACKCLI_PATH, dir.dir(), arguments, preload + " LZMA_DAMAGE_AT=" + at);
        EXPECT_TRUE(run.status == FOTA_PACK_INVALID || run.status == FOTA_UPGRADE_FAILED ||
                    run.status == FOTA_NEW_MISMATCH)
            << "byte " << at << ": " << run.status;
        EXPECT_EQ(run.output, std::string(FotaErrorMsg(run.status)) + "\n") << "byte " << at;
    }
    const std::vector<uint8_t> kept = testsupport::readFile(dir.path("out.pack"));
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "the pack of the last release");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.dir()), {}), 3);

    // The shim itself changes nothing when told no offset.
    run = runTool(PACKCLI_PATH, dir.dir(), arguments, preload);
    EXPECT_EQ(run.status, FOTA_OK) << run.output;
#endif
}

TEST(Cli, SharedLibraryExportsExactlyTwoFunctions)
{
    const std::vector<std::string> expected = {"FotaCreatePack", "FotaErrorMsg"};
    EXPECT_EQ(testsupport::exportedNames(QUARNEL_SO_PATH), expected);
}

TEST(Cli, SharedLibraryHoldsNoReferenceCode)
{
#if !QUARNEL_TESTS_ON_POSIX
    GTEST_SKIP() << "reads the symbol table with the build machine's nm; the Linux run checks the same objects";
#else
    // The slow planner and suffix sort exist to check the fast ones; the shipped library runs neither.
    FILE *pipe = popen("nm -C '" QUARNEL_SO_PATH "' | grep -cE 'planUpdateReference|diffBuffers|suffixSort|splitGroup'",
                       "r");
    ASSERT_NE(pipe, nullptr);
    char count[32] = {};
    const size_t n = fread(count, 1, sizeof count - 1, pipe);
    pclose(pipe);
    EXPECT_EQ(std::string(count, n), "0\n");
#endif
}
