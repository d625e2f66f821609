// Writing a whole buffer to a POSIX file descriptor, through short writes and interruptions.
#pragma once

#ifndef _WIN32

#include <cstddef>
#include <cstdint>

namespace quarnel {

// False when a write fails or writes nothing; errno then tells why.
bool writeAllToFd(int fd, const uint8_t *bytes, size_t size);

} // namespace quarnel

#endif
