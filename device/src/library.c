/* The library as one translation unit: the functions its files share are static here (internal.h), so
   the archive's external names are the API's and the decoder's and BearSSL's, all prefixed FotaApply. The
   decoder and BearSSL stay units of their own (lzma_sdk.c, crypto_*.c), built with their own warnings. */
#include "apply.c"
#include "apply_signed.c"
#include "chunk_apply.c"
#include "error_messages.c"
#include "flash_ops.c"
#include "image_area.c"
#include "meter.c"
#include "pack_crc.c"
#include "pack_header.c"
#include "pack_signature.c"
#include "progress.c"
#include "spare_area.c"
#include "stream_check.c"
#include "stream_cursor.c"
#include "stream_layout.c"
#include "work_layout.c"
