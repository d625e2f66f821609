// packcheck: verifies a pack against its images, or shows what is inside one.
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "code_area_arguments.h"
#include "common/result_codes.h"
#include "lod/code_image.h"
#include "packcheck/pack_file.h"
#include "packcheck/pack_info.h"
#include "packcheck/power_cut_arguments.h"
#include "packcheck/power_cut_command.h"
#include "quarnel.h"
#include "signing/pack_signing.h"
#include "verify/pack_reader.h"
#include "verify/pack_verifier.h"

#ifdef _WIN32
#include "utf8_arguments.h"
#endif

namespace {

using namespace quarnel;

int report(const verify::Findings &findings, int code)
{
    for (const verify::Finding &finding : findings)
        std::printf("%s\n", finding.text.c_str());
    if (code != FOTA_OK)
        std::printf("%s\n", FotaErrorMsg(code));
    return code;
}

int verifyCommand(char **argv)
{
    const CodeArea area = codeAreaFromArguments(argv[1], argv[2]);
    LodPacketPtr oldImage;
    LodPacketPtr newImage;
    if (const int result = loadImagePair(area, argv[3], argv[4], oldImage, newImage))
        return report({}, result);
    std::vector<uint8_t> pack;
    verify::Findings findings;
    if (const int result = verify::readPackFile(argv[5], pack, findings))
        return report(findings, result);
    const verify::VerifyResult result = verify::verifyPack(pack, area, imageBytes(*oldImage), imageBytes(*newImage));
    if (result.code == FOTA_OK)
        std::printf("%s\n", result.summary.c_str());
    return report(result.findings, result.code);
}

int info(const char *path)
{
    std::vector<uint8_t> pack;
    verify::Findings findings;
    if (const int result = verify::readPackFile(path, pack, findings))
        return report(findings, result);
    verify::PackContents contents;
    if (const int result = verify::readPack(pack, verify::maxStreamLength, contents, findings))
        return report(findings, result);
    std::printf("pack: %s, %zu bytes\n%s", path, pack.size(), verify::describePack(contents).c_str());
    return FOTA_OK;
}

int verifySignature(const char *keyPath, const char *packPath)
{
    const signing::Outcome outcome = signing::verifyPackFile(keyPath, packPath);
    for (const std::string &line : outcome.lines)
        std::printf("%s\n", line.c_str());
    return outcome.status;
}

int run(int argc, char **argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--verify-signature") == 0)
        return verifySignature(argv[2], argv[3]);
    if (argc == 3 && std::strcmp(argv[1], "--info") == 0)
        return info(argv[2]);
    if (argc == 6)
        return verifyCommand(argv);
    if (argc >= 2 && std::strcmp(argv[1], "--power-cuts") == 0) {
        powercut::PowerCutArguments arguments;
        std::string problem;
        if (powercut::readPowerCutArguments({argv + 2, argv + argc}, arguments, problem)) {
            const char *const *operand = arguments.operands.data();
            return powercut::powerCutCommand(codeAreaFromArguments(operand[0], operand[1]), operand[2], operand[3],
                                             operand[4], arguments.flash);
        }
        if (!problem.empty()) {
            std::printf("%s\n", problem.c_str());
            return powercut::badArguments;
        }
    }
    const char *name = argv[0] != nullptr ? argv[0] : "";
    std::printf("usage: %s flashsize codebase oldlod newlod pack\n       %s --info pack\n"
                "       %s --power-cuts flashsize codebase oldlod newlod pack [programunit] [--sectors map] "
                "[--scratch size]\n"
                "       %s --verify-signature key.pem pack\n",
                name, name, name, name);
    return powercut::badArguments;
}

// Exhausted memory ends the run with the library's code for it.
int runOrReportOutOfMemory(int argc, char **argv)
{
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc &) {
        return report({}, FOTA_OUT_OF_MEMORY);
    }
}

} // namespace

#ifdef _WIN32
// main would receive the arguments in the ANSI code page, which cannot spell
// most paths; wmain receives them as Windows keeps them, in UTF-16.
int wmain(int argc, wchar_t **wideArgv)
{
    char **argv = utf8Arguments(argc, wideArgv);
    return argv != nullptr ? runOrReportOutOfMemory(argc, argv) : report({}, FOTA_OUT_OF_MEMORY);
}
#else
int main(int argc, char **argv)
{
    return runOrReportOutOfMemory(argc, argv);
}
#endif
