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
 * Result codes of FotaCreatePack and their messages (FotaErrorMsg):
 *   0  "no error"
 *   1  "invalid sector size"                          (never returned)
 *   2  codeBase not a multiple of 4096                 ("unknown error")
 *   3  codeSize not a multiple of 4096                 ("unknown error")
 *   4  "fota end address not block aligned"           (never returned)
 *   5  "fota start address not sector aligned"        (never returned)
 *   6  "fota area outside flash"                      (never returned)
 *   7  "failed to read old lod"
 *   8  "failed to read new lod"
 *   9  "old lod is not contiguous"
 *  10  "old size not sector aligned"
 *  11  "old address does not match code flash base"
 *  12  "old size larger than code flash size"
 *  13  "new lod is not contiguous"
 *  14  "new size not sector aligned"
 *  15  "new address does not match code flash base"
 *  16  "new size larger than code flash size"
 *      (12 and 16 also for an image above 0x7FFFF000 bytes, whatever codeSize)
 *  17  "failed to write pack": packPath names the old or the new LOD file
 *      (by any spelling or link) or has a name longer than its file
 *      system allows, both found before the build; or the pack cannot be
 *      created, written or put in place
 *  18  "failed to read pack"                          (never returned)
 *  19  "invalid pack at verify": the pack just built does not read back
 *  20  "failed to upgrade at verify": a chunk of it cannot be applied
 *  21  "failed to clean after upgrade"                (never returned)
 *  22  "failed to match new lod after upgrade": played on the old image,
 *      the pack does not give the new one
 *  23  reserved                                       ("unknown error")
 *  24  "out of memory": an allocation failed anywhere in the call
 *  25  "failed to compress pack": the LZMA encoder reported an error
 * Any other value, negative ones included, reads "unknown error".
 */

/*
 * Builds one pack that turns the old image into the new one in place.
 * Before anything is written, the pack is decoded and played, chunk by chunk,
 * on a model of the code flash that holds the old image, and the result is
 * compared with the new image; a pack that fails gives 19, 20 or 22 and is
 * not written. Paths are NUL-terminated UTF-8. An existing file at packPath
 * is replaced only by a proven pack, in one step that lasts through a power
 * loss, and is left untouched on any failure; a symbolic link at packPath
 * stays and its target receives the pack, and an existing pack keeps its mode.
 * The three out-values (old image start relative to flashBase, its size in
 * bytes, its checksum) are written only on success; each pointer may be null.
 * Returns 0 or a code listed above.
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
