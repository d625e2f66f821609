/* The LZMA SDK's decoder, compiled from the copy the build machine's lzma-dev installs (its include
   folder is on this file's search path). Kept in a file of its own so that its code gets its own flags. */
#include "lzma_sdk_names.h"

#include "LzmaDec.c"
