/* The POSIX owner types that libelf.h names in its archive member header and mingw-w64 lacks. */
#ifndef LIBELF_WINDOWS_TYPES_H
#define LIBELF_WINDOWS_TYPES_H

#include <sys/types.h>

typedef unsigned int uid_t;
typedef unsigned int gid_t;

#endif
