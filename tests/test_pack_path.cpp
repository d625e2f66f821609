#include <gtest/gtest.h>

#include "support/platform.h"

#if QUARNEL_TESTS_ON_POSIX
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "quarnel.h"
#include "support/pack_replay.h"
#include "support/run_tool.h"
#include "support/test_files.h"

using testsupport::fsPath;
using testsupport::makeLodText;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

constexpr CodeArea area = {0x08000000, 0x10000, 0x100000};

// A folder with an image pair in it, and packs written beside them.
class PackPath : public ::testing::Test {
protected:
    TempDir dir;
    const std::string oldLod = dir.path("old.lod"), newLod = dir.path("new.lod");
    const Bytes oldBytes = testsupport::firmwareLikeBytes(0x3000, 41);
    const Bytes newBytes = testsupport::firmwareLikeBytes(0x4000, 42);
    const std::string oldText = makeLodText(0x08010000, oldBytes), newText = makeLodText(0x08010000, newBytes);

    void SetUp() override
    {
        writeFile(oldLod, oldText);
        writeFile(newLod, newText);
    }

    int run(const std::string &pack)
    {
        return FotaCreatePack(oldLod.c_str(), newLod.c_str(), pack.c_str(), nullptr, nullptr, nullptr, area);
    }

    // The pack at path turns the old image into the new one.
    ::testing::AssertionResult holdsThePack(const std::string &path)
    {
        return testsupport::replayPackFile(readFile(path), oldBytes, area.codeBase, newBytes);
    }

    ::testing::AssertionResult inputsUntouched()
    {
        if (text(oldLod) != oldText || text(newLod) != newText)
            return ::testing::AssertionFailure() << "an input LOD was changed";
        return ::testing::AssertionSuccess();
    }

    static std::string text(const std::string &path)
    {
        const Bytes bytes = readFile(path);
        return std::string(bytes.begin(), bytes.end());
    }

    // Every name in the folder and below it, sorted, temporary files included.
    std::vector<std::string> names() const
    {
        std::vector<std::string> found;
        for (const auto &entry : fs::recursive_directory_iterator(fsPath(dir.dir())))
            found.push_back(testsupport::utf8Of(entry.path()));
        std::sort(found.begin(), found.end());
        return found;
    }

    // A symbolic link; false where the platform will not make one for this user.
    static bool makeLink(const std::string &target, const std::string &link)
    {
        std::error_code error;
        fs::create_symlink(fsPath(target), fsPath(link), error);
        return !error;
    }
};

} // namespace

TEST_F(PackPath, NoSpellingOfAnInputIsWrittenOver)
{
    fs::create_directory(fsPath(dir.path("sub")));
    fs::create_hard_link(fsPath(oldLod), fsPath(dir.path("hard link.pack")));
    std::vector<std::string> spellings = {
        oldLod, newLod, dir.path("sub/../old.lod"), dir.path("./new.lod"), dir.path("sub/.././sub/../new.lod"),
        dir.path("hard link.pack"),
    };
#if !QUARNEL_TESTS_ON_POSIX
    spellings.push_back(dir.path("OLD.Lod")); // names differ only in case on Windows
    spellings.push_back(dir.path("sub\\..\\new.lod"));
#endif
    // A relative link, an absolute one and a link to a link.
    if (makeLink("old.lod", dir.path("relative.pack")) && makeLink(newLod, dir.path("sub/absolute.pack")) &&
        makeLink("absolute.pack", dir.path("sub/chained.pack"))) {
        spellings.push_back(dir.path("relative.pack"));
        spellings.push_back(dir.path("sub/absolute.pack"));
        spellings.push_back(dir.path("sub/chained.pack"));
    }

    const std::vector<std::string> before = names();
    for (const std::string &spelling : spellings) {
        EXPECT_EQ(run(spelling), FOTA_PACK_WRITE_FAILED) << spelling;
        EXPECT_TRUE(inputsUntouched()) << spelling;
        EXPECT_EQ(names(), before) << spelling;
    }

    // A copy of an input is another file, and takes the pack.
    writeFile(dir.path("copy.lod"), oldText);
    ASSERT_EQ(run(dir.path("copy.lod")), FOTA_OK);
    EXPECT_TRUE(holdsThePack(dir.path("copy.lod")));
    EXPECT_TRUE(inputsUntouched());
}

TEST_F(PackPath, NameAsLongAsTheFileSystemAllows)
{
    // 250 bytes: a temporary name made by adding to it would pass the 255 bytes a name may have.
    const std::string longest = dir.path(std::string(245, 'p') + ".pack");
    ASSERT_EQ(run(longest), FOTA_OK);
    EXPECT_TRUE(holdsThePack(longest));
    writeFile(longest, "the pack of the last release");
    ASSERT_EQ(run(longest), FOTA_OK);
    EXPECT_TRUE(holdsThePack(longest));
    const std::vector<std::string> before = names();
    EXPECT_EQ(before.size(), 3u) << "stray temporary files";

    // A name no file system here can hold is refused before the build, with nothing made.
    EXPECT_EQ(run(dir.path(std::string(252, 'q') + ".pack")), FOTA_PACK_WRITE_FAILED);
    EXPECT_EQ(run(dir.path(std::string(300, 'q'))), FOTA_PACK_WRITE_FAILED);
    EXPECT_EQ(names(), before);
}

TEST_F(PackPath, LinkedPackPathKeepsItsLinkAndItsTargetTakesThePack)
{
    fs::create_directory(fsPath(dir.path("releases")));
    writeFile(dir.path("releases/1.pack"), "the pack of the last release");
    if (!makeLink("releases/1.pack", dir.path("current.pack")))
        GTEST_SKIP() << "this user may not make symbolic links here";

    ASSERT_EQ(run(dir.path("current.pack")), FOTA_OK);
    EXPECT_TRUE(fs::is_symlink(fsPath(dir.path("current.pack"))));
    EXPECT_EQ(fs::read_symlink(fsPath(dir.path("current.pack"))), fsPath("releases/1.pack"));
    EXPECT_TRUE(holdsThePack(dir.path("releases/1.pack")));

    // Through two links, the first one in another folder.
    fs::create_directory(fsPath(dir.path("sub")));
    writeFile(dir.path("releases/1.pack"), "the pack of the last release");
    ASSERT_TRUE(makeLink("../current.pack", dir.path("sub/chained.pack")));
    ASSERT_EQ(run(dir.path("sub/chained.pack")), FOTA_OK);
    EXPECT_TRUE(fs::is_symlink(fsPath(dir.path("sub/chained.pack"))));
    EXPECT_TRUE(fs::is_symlink(fsPath(dir.path("current.pack"))));
    EXPECT_TRUE(holdsThePack(dir.path("releases/1.pack")));

#if QUARNEL_TESTS_ON_POSIX
    // A link to a pack not made yet: the pack is made where it points.
    ASSERT_TRUE(makeLink("releases/2.pack", dir.path("next.pack")));
    ASSERT_EQ(run(dir.path("next.pack")), FOTA_OK);
    EXPECT_TRUE(fs::is_symlink(fsPath(dir.path("next.pack"))));
    EXPECT_TRUE(holdsThePack(dir.path("releases/2.pack")));

    // A loop of links leads nowhere, and is refused before the build.
    ASSERT_TRUE(makeLink("loop b.pack", dir.path("loop a.pack")));
    ASSERT_TRUE(makeLink("loop a.pack", dir.path("loop b.pack")));
    EXPECT_EQ(run(dir.path("loop a.pack")), FOTA_PACK_WRITE_FAILED);
#endif
}

#if QUARNEL_TESTS_ON_POSIX

TEST_F(PackPath, ExistingPackKeepsItsModeAndANewOneFollowsTheUmask)
{
    auto modeOf = [](const std::string &path) {
        struct stat status;
        return stat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0xFFFFu;
    };
    const std::string kept = dir.path("kept.pack");
    for (const mode_t mode : {mode_t{0640}, mode_t{0604}, mode_t{0600}}) {
        writeFile(kept, "the pack of the last release");
        ASSERT_EQ(chmod(kept.c_str(), mode), 0);
        ASSERT_EQ(run(kept), FOTA_OK);
        EXPECT_TRUE(holdsThePack(kept));
        EXPECT_EQ(modeOf(kept), mode);
    }

    const mode_t saved = umask(027);
    EXPECT_EQ(run(dir.path("first.pack")), FOTA_OK);
    umask(002);
    EXPECT_EQ(run(dir.path("second.pack")), FOTA_OK);
    umask(saved);
    EXPECT_EQ(modeOf(dir.path("first.pack")), 0640u);
    EXPECT_EQ(modeOf(dir.path("second.pack")), 0664u);
}

#endif

TEST_F(PackPath, PackReachesTheDiskBeforeItsNameAndTheNameAfterIt)
{
#ifndef SYNC_TRACE_PATH
    GTEST_SKIP() << "the tracing shim is put in with LD_PRELOAD, which only a POSIX loader takes";
#else
    TempDir traceDir;
    const std::string trace = traceDir.path("trace");
    // A sanitized program must let the shim load before its runtime.
    const std::string environment = "ASAN_OPTIONS=\"$ASAN_OPTIONS:verify_asan_link_order=0\" LD_PRELOAD='" +
                                    std::string(SYNC_TRACE_PATH) + "' SYNC_TRACE='" + trace + "'";
    writeFile(dir.path("out.pack"), "the pack of the last release");
    const testsupport::ToolRun tool = testsupport::runTool(
        PACKCLI_PATH, dir.dir(), testsupport::words("0x110000 0x10000 old.lod new.lod out.pack"), environment);
    ASSERT_EQ(tool.status, FOTA_OK) << tool.output;
    EXPECT_TRUE(holdsThePack(dir.path("out.pack")));

    std::vector<std::vector<std::string>> calls;
    std::istringstream lines(text(trace));
    for (std::string line; std::getline(lines, line);)
        calls.push_back(testsupport::words(line));
    ASSERT_EQ(calls.size(), 3u) << text(trace);
    const std::string folder = testsupport::utf8Of(fs::canonical(fsPath(dir.dir())));
    // The temporary file is synced, then moved over the pack, then the folder that holds both is synced.
    ASSERT_EQ(calls[0].size(), 2u);
    EXPECT_EQ(calls[0][0], "fsync");
    const std::string temporary = fsPath(calls[0][1]).filename().string();
    EXPECT_EQ(calls[0][1], folder + "/" + temporary);
    EXPECT_EQ(temporary.size(), 10u) << "a short name, whatever the pack's";
    EXPECT_EQ(calls[1], std::vector<std::string>({"rename", temporary, "out.pack"}));
    EXPECT_EQ(calls[2], std::vector<std::string>({"fsync", folder}));
#endif
}

TEST_F(PackPath, RefusedPathStopsTheRunBeforeTheBuild)
{
#ifndef LZMA_DAMAGE_PATH
    GTEST_SKIP() << "the damaging shim is put in with LD_PRELOAD, which only a POSIX loader takes";
#else
    // With the encoder's output damaged, a build that ran would end in FOTA_PACK_INVALID:
    // FOTA_PACK_WRITE_FAILED shows that none did.
    const std::string environment = "ASAN_OPTIONS=\"$ASAN_OPTIONS:verify_asan_link_order=0\" LD_PRELOAD='" +
                                    std::string(LZMA_DAMAGE_PATH) + "' LZMA_DAMAGE_AT=13";
    auto status = [&](const std::string &pack) {
        return testsupport::runTool(PACKCLI_PATH, dir.dir(), {"0x110000", "0x10000", "old.lod", "new.lod", pack},
                                    environment)
            .status;
    };
    EXPECT_EQ(status("out.pack"), FOTA_PACK_INVALID);
    EXPECT_EQ(status("old.lod"), FOTA_PACK_WRITE_FAILED);
    EXPECT_EQ(status("./new.lod"), FOTA_PACK_WRITE_FAILED);
    EXPECT_EQ(status(std::string(256, 'q')), FOTA_PACK_WRITE_FAILED);
    EXPECT_EQ(status("no folder/out.pack"), FOTA_PACK_WRITE_FAILED);
    EXPECT_TRUE(inputsUntouched());
#endif
}
