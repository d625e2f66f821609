/* What elfutils' configure would find for mingw-w64, for libelf alone. */
#define HAVE_VISIBILITY 1
#define HAVE_ERROR_H 1
#define HAVE_DECL_MEMPCPY 0
#define HAVE_DECL_POWEROF2 0
#define HAVE_DECL_REALLOCARRAY 0
#include <eu-config.h>
