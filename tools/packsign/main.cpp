// packsign: signs packs with an ECDSA P-256 key, and makes such keys.
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "common/result_codes.h"
#include "signing/pack_signing.h"
#include "signing/signing.h"

#ifdef _WIN32
#include "utf8_arguments.h"
#endif

namespace {

using namespace quarnel::signing;

int print(const Outcome &outcome)
{
    for (const std::string &line : outcome.lines)
        std::printf("%s\n", line.c_str());
    return outcome.status;
}

int newKey(const char *path)
{
    Key key;
    std::string error;
    if (!makeKey(key, error))
        return print({statusKeyRefused, {error + "; nothing written"}});
    if (!createPrivateFileUtf8(path, privateKeyPem(key), error))
        return print({FOTA_PACK_WRITE_FAILED, {std::string(path) + ": " + error}});
    return FOTA_OK;
}

int publicKey(const char *path)
{
    Key key;
    std::string error;
    if (!loadKeyFile(path, key, error))
        return print({statusKeyRefused, {error}});
    std::printf("%s", publicKeyCArray(key.point).c_str());
    return FOTA_OK;
}

int run(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--new-key") == 0)
        return newKey(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "--public-key") == 0)
        return publicKey(argv[2]);
    if (argc == 3 && argv[1][0] != '-')
        return print(signPackFile(argv[1], argv[2]));
    const char *name = argv[0] != nullptr ? argv[0] : "";
    std::printf("usage: %s KEY.pem PACK      writes PACK.sig\n"
                "       %s --new-key KEY.pem\n"
                "       %s --public-key KEY.pem\n",
                name, name, name);
    return 255;
}

int runOrReportOutOfMemory(int argc, char **argv)
{
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc &) {
        std::printf("out of memory\n");
        return FOTA_OUT_OF_MEMORY;
    }
}

} // namespace

#ifdef _WIN32
// As in packcli: wmain receives the arguments as Windows keeps them, in UTF-16.
int wmain(int argc, wchar_t **wideArgv)
{
    char **argv = utf8Arguments(argc, wideArgv);
    return argv != nullptr ? runOrReportOutOfMemory(argc, argv) : FOTA_OUT_OF_MEMORY;
}
#else
int main(int argc, char **argv)
{
    return runOrReportOutOfMemory(argc, argv);
}
#endif
