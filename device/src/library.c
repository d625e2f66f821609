/* The library as one translation unit: the functions its files share are static here (internal.h), so
   the archive's external names are the API's and the decoder's and BearSSL's, all prefixed FotaApply. The
   decoder and BearSSL stay units of their own (lzma_sdk.c, crypto_*.c), built with their own warnings.
   The signed entry point and its guard come with BearSSL's source alone (FOTA_APPLY_SIGNED). */
#include "apply.c"
#ifdef FOTA_APPLY_SIGNED
#include "apply_signed.c"
#include "pack_guard.c"
#endif
#include "error_messages.c"
#include "flash_ops.c"
#include "group_apply.c"
#include "image_area.c"
#include "meter.c"
#include "pack_crc.c"
#include "pack_header.c"
#include "pack_source.c"
#include "progress.c"
#include "sector_groups.c"
#include "sector_map.c"
#include "spare_area.c"
#include "stream_check.c"
#include "stream_cursor.c"
#include "stream_layout.c"
#include "work_layout.c"
