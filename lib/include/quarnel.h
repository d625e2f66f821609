/* Public interface of the FOTA pack builder library. Valid C and C++. */
#ifndef QUARNEL_H
#define QUARNEL_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#  if defined(QUARNEL_BUILDING)
#    define QUARNEL_API __declspec(dllexport)
#  elif defined(QUARNEL_STATIC) /* linked from the static library, not through the DLL */
#    define QUARNEL_API
#  else
#    define QUARNEL_API __declspec(dllimport)
#  endif
#else
#  define QUARNEL_API __attribute__((visibility("default")))
#endif

/* Where the device maps its flash, and the code area inside it. */
typedef struct CodeArea {
    uint32_t flashBase; /* address at which the device maps its flash */
    uint32_t codeBase;  /* offset of the code area from flashBase; multiple of 4096 */
    uint32_t codeSize;  /* length of the code area in bytes; multiple of 4096 */
} CodeArea;

/*
 * Result codes of FotaCreatePack, with what FotaErrorMsg says for each.
 * 23 is reserved; it and any other value, negative ones included, read
 * "unknown error". Both functions take and give an int, so that no
 * compiler's choice of an enum's size reaches the exported interface.
 */
typedef enum FotaResult {
    FOTA_OK = 0,                       /* "no error" */
    FOTA_INVALID_SECTOR_SIZE = 1,      /* "invalid sector size" (never returned) */
    FOTA_CODE_BASE_MISALIGNED = 2,     /* codeBase not a multiple of 4096 ("unknown error") */
    FOTA_CODE_SIZE_MISALIGNED = 3,     /* codeSize not a multiple of 4096 ("unknown error") */
    FOTA_END_NOT_BLOCK_ALIGNED = 4,    /* "fota end address not block aligned" (never returned) */
    FOTA_START_NOT_SECTOR_ALIGNED = 5, /* "fota start address not sector aligned" (never returned) */
    FOTA_AREA_OUTSIDE_FLASH = 6,       /* "fota area outside flash" (never returned) */
    FOTA_OLD_LOD_UNREADABLE = 7,       /* "failed to read old lod" */
    FOTA_NEW_LOD_UNREADABLE = 8,       /* "failed to read new lod" */
    FOTA_OLD_NOT_CONTIGUOUS = 9,       /* "old lod is not contiguous" */
    FOTA_OLD_SIZE_MISALIGNED = 10,     /* "old size not sector aligned" */
    FOTA_OLD_ADDRESS_MISMATCH = 11,    /* "old address does not match code flash base" */
    FOTA_OLD_TOO_LARGE = 12,           /* "old size larger than code flash size" */
    FOTA_NEW_NOT_CONTIGUOUS = 13,      /* "new lod is not contiguous" */
    FOTA_NEW_SIZE_MISALIGNED = 14,     /* "new size not sector aligned" */
    FOTA_NEW_ADDRESS_MISMATCH = 15,    /* "new address does not match code flash base" */
    FOTA_NEW_TOO_LARGE = 16,           /* "new size larger than code flash size" */
    /* (the two TOO_LARGE codes also for an image above 0x7FFFF000 bytes, whatever codeSize) */
    FOTA_PACK_WRITE_FAILED = 17,       /* "failed to write pack": packPath names the old or the
                                          new LOD file (by any spelling or link) or has a name
                                          longer than its file system allows, both found before
                                          the build; or the pack cannot be created, written or
                                          put in place */
    FOTA_PACK_READ_FAILED = 18,        /* "failed to read pack" (never returned) */
    FOTA_PACK_INVALID = 19,            /* "invalid pack at verify": the pack just built does
                                          not read back */
    FOTA_UPGRADE_FAILED = 20,          /* "failed to upgrade at verify": a chunk of it cannot
                                          be applied */
    FOTA_CLEAN_FAILED = 21,            /* "failed to clean after upgrade" (never returned) */
    FOTA_NEW_MISMATCH = 22,            /* "failed to match new lod after upgrade": played on
                                          the old image, the pack does not give the new one */
    FOTA_OUT_OF_MEMORY = 24,           /* "out of memory": an allocation failed anywhere in
                                          the call */
    FOTA_COMPRESS_FAILED = 25          /* "failed to compress pack": the LZMA encoder reported
                                          an error */
} FotaResult;

/*
 * Builds one pack that turns the old image into the new one in place.
 * Before anything is written, the pack is decoded and played, chunk by chunk,
 * on a model of the code flash that holds the old image, and the result is
 * compared with the new image; a pack that fails gives FOTA_PACK_INVALID,
 * FOTA_UPGRADE_FAILED or FOTA_NEW_MISMATCH and is not written. Paths are
 * NUL-terminated UTF-8. An existing file at packPath is replaced only by a
 * proven pack, in one step that lasts through a power loss, and is left
 * untouched on any failure; a symbolic link at packPath stays and its target
 * receives the pack, and an existing pack keeps its mode.
 * The three out-values (old image start relative to flashBase, its size in
 * bytes, its checksum) are written only on success; each pointer may be null.
 * Returns FOTA_OK or another FotaResult.
 */
QUARNEL_API int FotaCreatePack(const char *oldLodPath, const char *newLodPath,
                               const char *packPath, uint32_t *outOldStart,
                               uint32_t *outOldSize, uint32_t *outOldCrc,
                               CodeArea area);

/* Static, never-null English text for any result code. */
QUARNEL_API const char *FotaErrorMsg(int code);

#ifdef __cplusplus
}
#endif

#endif /* QUARNEL_H */
