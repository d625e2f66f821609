/* Applying a firmware update pack in place on the device, resumable after a power cut at any flash operation.

   What the library promises its callers, and asks of them:
   - Calls: none may come from an interrupt. The library keeps no state outside its arguments, so calls with
     different flash, spare areas and work memories may run in different threads at once; two calls on the
     same flash or state area may not. Callbacks are called only from within a call, in its thread.
   - Work memory: any address (the parts are aligned inside it), owned by the call while it runs, garbage
     before and after: nothing in it needs to survive between calls, and every call starts afresh.
   - Stack: an unsigned call (FotaApplyPack, FotaApplyQuery) needs about 2 KiB with its callbacks on a
     Cortex-M4, FotaApplySignedPack about 6 KiB (device/README.md gives the measured figures).
   - read (flash and pack): any offset and length (at most 4096 bytes for the flash, 512 for the pack), no
     alignment; out is the call's own memory.
   - program: at most 4096 bytes, offset and length multiples of programUnit, data an 8-byte aligned buffer in
     the work memory, valid until the callback returns.
   - Every flash callback returns only once its operation has ended and the flash is idle and readable, with
     caches that could hold older bytes invalidated.
   - Results: 0 means the new image is in flash. 1 to 13, 19 to 21 and 23 refuse before this call erased or
     programmed anything, and the same pack, flash and spare area refuse again: retrying them is useless,
     except 2 when the pack's storage may answer later (an old image the flash callbacks will not read is
     not there: 13). 14 to 18 and 22 mean the update may have begun (14 also when the state area cannot be
     read): the image may be half written, the update stays pending, and the next call (at the next boot,
     say) goes on from the records. */
#ifndef QUARNEL_APPLY_H
#define QUARNEL_APPLY_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Offsets count from the flash base, as every offset in a pack does. Each callback returns 0 on success. */
typedef struct FotaFlash {
    void *context;
    int (*read)(void *context, uint32_t offset, void *out, uint32_t length);
    /* Without sectorAt: length 4096, 32768 or 65536 at a multiple of it. With it: whole sectors, from a
       sector's start to a sector's end, one or more. */
    int (*erase)(void *context, uint32_t offset, uint32_t length);
    int (*program)(void *context, uint32_t offset, const void *data, uint32_t length);
    /* May be NULL. Called within every call of FotaApplyPack, FotaApplySignedPack and FotaApplyQuery: at least
       once per 4 KiB programmed, per erase and per 64 KiB decoded or hashed, so a watchdog can be fed here.
       done and total count bytes of work (device/README.md, "Progress"); done never decreases within a call and
       never exceeds total, and total is the same in every call for a given pack. */
    void (*progress)(void *context, uint32_t done, uint32_t total);
    /* May be NULL: the flash is then taken to erase 4, 32 and 64 KiB units, and every chunk's unit must be
       whole sectors of it. Otherwise the sector that holds offset: its *start (a multiple of 256, at most
       offset) and *length (a power of two from 256 to 262144 bytes, reaching past offset), or non-zero when
       offset lies in no sector the update may erase. Sectors may differ in size; one larger than a chunk is
       rebuilt whole through the scratch, the bytes of it outside the new image carried over unchanged. */
    int (*sectorAt)(void *context, uint32_t offset, uint32_t *start, uint32_t *length);
} FotaFlash;

typedef struct FotaPackSource {   /* the stored pack, e.g. in a download area */
    void *context;
    uint32_t size;
    int (*read)(void *context, uint32_t offset, void *out, uint32_t length);
} FotaPackSource;

typedef struct FotaSpareArea {
    uint32_t scratchOffset; /* scratchLength bytes outside the old and the new image: without sectorAt at a
                               multiple of 65536, with it whole sectors */
    uint32_t stateOffset;   /* the progress record: stateLength bytes, without sectorAt at a multiple of 4096,
                               with it whole sectors */
    uint32_t stateLength;   /* without sectorAt a multiple of 4096 */
    uint32_t programUnit;   /* 1, 2, 4 ... 256: every program call's offset and length are multiples of it */
    uint32_t scratchLength; /* 0 for 65536, the only length without sectorAt; with it at least the largest
                               group of sectors the update rebuilds (a sector larger than 64 KiB, or a chunk) */
} FotaSpareArea;

/* What a device trusts: the key whose packs it takes, the pack's signature, and where packs may write. */
typedef struct FotaTrust {
    const uint8_t *publicKey;     /* 65 bytes: 0x04, X, Y of the P-256 key whose packs this device takes */
    const uint8_t *signature;     /* the pack's .sig: DER ECDSA over the SHA-256 of the whole pack */
    uint32_t signatureLength;
    uint32_t imageOffset;         /* the code area packs may write: [imageOffset, imageOffset + imageLength) */
    uint32_t imageLength;
} FotaTrust;

/* What FotaApplyQuery finds in flash for a pack. */
typedef struct FotaApplyStatus {
    int state;           /* one of FOTA_STATE_... */
    uint32_t chunksDone; /* chunks whose unit holds its new bytes, as the records say (all of them when done) */
    uint32_t chunkCount; /* the pack's chunks */
} FotaApplyStatus;

#define FOTA_STATE_NOT_STARTED 0    /* the old image is in place and no progress of this pack is recorded */
#define FOTA_STATE_IN_PROGRESS 1    /* this pack's progress is recorded: chunksDone of chunkCount */
#define FOTA_STATE_DONE 2           /* the new image is in place, whether or not the records are still there */
#define FOTA_STATE_NOT_APPLICABLE 3 /* neither image nor this pack's progress: FotaApplyPack would return 13 */

/* Results of FotaApplyPack and FotaApplySignedPack; every code but FOTA_APPLY_OK leaves the flash as the last step that finished left it. */
#define FOTA_APPLY_OK 0
#define FOTA_APPLY_BAD_ARGUMENT 1       /* a null pointer or callback */
#define FOTA_APPLY_PACK_READ_FAILED 2   /* the pack's read callback failed */
#define FOTA_APPLY_BAD_PACK_HEADER 3    /* magic, or data length against the pack's size */
#define FOTA_APPLY_BAD_DATA_CRC 4       /* the data checksum does not match the stored block */
#define FOTA_APPLY_BAD_LZMA_HEADER 5    /* properties byte, or a stated length no memory can hold */
#define FOTA_APPLY_WORK_TOO_SMALL 6     /* workSize below FotaApplyWorkSize */
#define FOTA_APPLY_BAD_LZMA_DATA 7      /* the block does not decode to exactly its stated length within FOTA_APPLY_WINDOW */
#define FOTA_APPLY_BAD_STREAM 8         /* counts and lengths of the patch stream do not add up */
#define FOTA_APPLY_BAD_CHUNK 9          /* a chunk is not an aligned erase unit, or overlaps another */
#define FOTA_APPLY_BAD_SOURCE 10        /* a record reads outside the old and the new image's area */
#define FOTA_APPLY_BAD_SPARE_AREA 11    /* scratch or state misaligned, overlapping, or bad programUnit */
#define FOTA_APPLY_STATE_TOO_SMALL 12   /* the state area cannot hold this pack's progress records */
#define FOTA_APPLY_OLD_IMAGE_MISMATCH 13 /* the flash holds neither the old image nor this pack's progress */
#define FOTA_APPLY_FLASH_READ_FAILED 14
#define FOTA_APPLY_FLASH_ERASE_FAILED 15
#define FOTA_APPLY_FLASH_PROGRAM_FAILED 16 /* a program callback failed, or a record did not read back as written */
#define FOTA_APPLY_CHUNK_CRC_MISMATCH 17 /* a chunk built in the scratch does not match its checksum */
#define FOTA_APPLY_TARGET_MISMATCH 18   /* a unit copied from the scratch, or recorded done, does not hold its chunk */
#define FOTA_APPLY_TOO_MANY_CHUNKS 19   /* more chunks than FOTA_APPLY_MAX_CHUNKS */
#define FOTA_APPLY_BAD_SIGNATURE 20     /* the pack's signature does not verify with the trusted key */
#define FOTA_APPLY_OUTSIDE_IMAGE_AREA 21 /* a chunk's unit or the old image lies outside the trusted image area */
#define FOTA_APPLY_PACK_CHANGED 22      /* once the update was under way, the pack failed to read or no longer
                                           read as the first pass read it: pending, the image may be half written */
#define FOTA_APPLY_BAD_GEOMETRY 23      /* sectorAt's sectors do not fit: a spare area of part sectors, a scratch
                                           smaller than a group to rebuild, a sector shared by the image and the
                                           spare area or reaching outside the trusted image area, a sector of no
                                           valid size */

/* The LZMA window the applier decodes with: no match in a pack may reach further back than this. */
#define FOTA_APPLY_WINDOW 8192u
/* The most chunks a pack may hold: a 16 MiB image in 4 KiB units. */
#define FOTA_APPLY_MAX_CHUNKS 4096u
/* Work memory every readable pack needs, whatever its image size: the I/O block (4096), one length
   code per chunk (FOTA_APPLY_MAX_CHUNKS / 4), three decoders each with its probability table (15980),
   window and input block (512), the checksums of one group's chunks (64 of 4 bytes), and 7 bytes to
   align them. */
#define FOTA_APPLY_WORK_SIZE 79435u
/* Work memory of FotaApplySignedPack: FOTA_APPLY_WORK_SIZE and the digests against which every read of the
   pack after its signature was checked is checked again (2048 of 8 bytes, and 32 for each decoder), for any
   pack up to 32 MiB. */
#define FOTA_APPLY_SIGNED_WORK_SIZE 96587u

size_t FotaApplyWorkSize(const FotaPackSource *pack);   /* FOTA_APPLY_WORK_SIZE for a readable pack; 0 if unreadable */
/* Without a trusted key or image area the pack alone says what is erased and programmed: it may name any
   flash offset, flash offset 0 and the bootloader's own sectors included, and its records make the read
   callback ask for offsets up to 2^32. Its callbacks must therefore refuse (return non-zero for) every offset
   outside the flash the update may touch: the image, the scratch and the state area. Packs that arrive from
   outside the device are for FotaApplySignedPack. */
int FotaApplyPack(const FotaFlash *flash, const FotaPackSource *pack,
                  const FotaSpareArea *spare, void *work, size_t workSize);
/* FotaApplyPack for a pack that must be signed by trust's key and write only inside its image area:
   both are checked on every call, a resume included, before any other check and any flash write, and every
   later read of the pack within the call is checked against digests taken while it was hashed, so only the
   key holder's bytes reach the flash even if the pack's storage changes during the call. workSize must be
   at least FOTA_APPLY_SIGNED_WORK_SIZE. Built only with BearSSL's source (device/README.md). */
int FotaApplySignedPack(const FotaFlash *flash, const FotaPackSource *pack, const FotaTrust *trust,
                        const FotaSpareArea *spare, void *work, size_t workSize);
/* Reads only: never erases or programs (flash's erase and program may be NULL). Returns 0 with *status filled
   (FOTA_STATE_NOT_APPLICABLE included), or the refusal code of a pack or spare area that FotaApplyPack would
   refuse whatever the flash holds; a failed flash read gives 14, a unit recorded done that no longer holds
   its chunk 18, as FotaApplyPack would return. */
int FotaApplyQuery(const FotaFlash *flash, const FotaPackSource *pack, const FotaSpareArea *spare,
                   void *work, size_t workSize, FotaApplyStatus *status);
const char *FotaApplyErrorMsg(int code);

#ifdef __cplusplus
}
#endif

#endif
