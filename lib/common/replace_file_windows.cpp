#ifdef _WIN32

#include "common/replace_file.h"

#include <windows.h>

#include <string>

#include "common/file_target.h"
#include "common/temporary_name.h"
#include "common/wide_path.h"

namespace quarnel {

namespace {

bool writeAll(HANDLE file, const uint8_t *bytes, size_t size)
{
    while (size > 0) {
        const DWORD portion = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(file, bytes, portion, &written, nullptr) || written == 0)
            return false;
        bytes += written;
        size -= written;
    }
    return true;
}

// Created exclusively, as mkstemp would, under a name that fits wherever the target's does.
HANDLE createBeside(const std::string &target, std::unique_ptr<wchar_t[]> &temporary)
{
    for (int attempt = 0; attempt < temporaryNameAttempts; ++attempt) {
        temporary = widen(pathBeside(target, temporaryName()).c_str());
        if (!temporary)
            return INVALID_HANDLE_VALUE;
        const HANDLE file =
            CreateFileW(temporary.get(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS)
            return file;
    }
    return INVALID_HANDLE_VALUE;
}

} // namespace

bool replaceFileUtf8(const char *path, const uint8_t *bytes, size_t size)
{
    std::string target;
    if (!linkTargetUtf8(path, target))
        return false;
    const auto wideTarget = widen(target.c_str());
    if (!wideTarget)
        return false;
    const DWORD attributes = GetFileAttributesW(wideTarget.get());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return false;

    std::unique_ptr<wchar_t[]> temporary;
    const HANDLE file = createBeside(target, temporary);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    // The content reaches the disk before the name does, so that a crash cannot leave the name on a short file.
    bool sound = writeAll(file, bytes, size) && FlushFileBuffers(file) != 0;
    sound = CloseHandle(file) != 0 && sound;
    // Write-through: the move returns only once it is on the disk, as a synced folder would be.
    if (!sound ||
        !MoveFileExW(temporary.get(), wideTarget.get(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(temporary.get());
        return false;
    }
    return true;
}

} // namespace quarnel

#endif
