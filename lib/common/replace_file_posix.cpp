#ifndef _WIN32

#include "common/replace_file.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "common/file_target.h"
#include "common/temporary_name.h"
#include "common/write_all.h"

namespace quarnel {

namespace {

// Created exclusively with 0666, so that the kernel applies the umask as to any new file.
int createBeside(const std::string &target, std::string &temporary)
{
    for (int attempt = 0; attempt < temporaryNameAttempts; ++attempt) {
        temporary = pathBeside(target, temporaryName());
        const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// Makes the folder's new entry last; a file system that cannot sync folders says EINVAL, and has nothing to make last.
bool syncFolderOf(const std::string &target)
{
    const std::string folder = pathBeside(target, "");
    const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = fsync(fd) == 0 || errno == EINVAL;
    close(fd);
    return synced;
}

} // namespace

bool replaceFileUtf8(const char *path, const uint8_t *bytes, size_t size)
{
    std::string target;
    if (!linkTargetUtf8(path, target))
        return false;
    struct stat existing;
    const bool exists = stat(target.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode))
        return false;

    std::string temporary;
    const int fd = createBeside(target, temporary);
    if (fd < 0)
        return false;
    bool sound = writeAllToFd(fd, bytes, size) && (!exists || fchmod(fd, existing.st_mode & 07777) == 0);
    // The content reaches the disk before the name does, so that a crash cannot leave the name on a short file.
    sound = sound && fsync(fd) == 0;
    sound = close(fd) == 0 && sound;
    if (!sound || std::rename(temporary.c_str(), target.c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    return syncFolderOf(target);
}

} // namespace quarnel

#endif
