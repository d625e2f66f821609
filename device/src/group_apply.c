#include "group_apply.h"

#include <string.h>

#include "flash_ops.h"
#include "pack_crc.h"
#include "work_layout.h"

/* Flash bytes compared with built ones at a time, through the stack. */
#define FOTA_COMPARE_BYTES 256u

/* Where in the scratch a byte of the group's sectors is rebuilt. */
static uint32_t inScratch(const FotaGroupWork *work, uint64_t offset)
{
    return work->progress->spare->scratchOffset + (uint32_t)(offset - work->group->start);
}

static int programTicked(const FotaProgress *progress, uint32_t offset, const uint8_t *bytes, uint32_t length)
{
    const int result = fotaProgram(progress->flash, offset, bytes, length);
    fotaMeterTick(progress->meter);
    return result;
}

/* Copies length bytes of flash from one offset to another through the I/O block. */
static int copyFlash(const FotaProgress *progress, uint32_t from, uint32_t to, uint64_t length)
{
    uint64_t done;
    for (done = 0; done < length; done += FOTA_IO_BYTES) {
        const uint32_t piece = length - done < FOTA_IO_BYTES ? (uint32_t)(length - done) : FOTA_IO_BYTES;
        int result = fotaRead(progress->flash, from + (uint32_t)done, progress->io, piece);
        if (result == FOTA_APPLY_OK)
            result = programTicked(progress, to + (uint32_t)done, progress->io, piece);
        if (result != FOTA_APPLY_OK)
            return result;
        fotaMeterAdvance(progress->meter, piece);
    }
    return FOTA_APPLY_OK;
}

/* Whether length flash bytes from offset equal bytes. */
static int equalsFlash(const FotaFlash *flash, uint32_t offset, const uint8_t *bytes, uint32_t length, int *equal)
{
    uint8_t piece[FOTA_COMPARE_BYTES];
    uint32_t done;
    *equal = 1;
    for (done = 0; done < length && *equal; done += FOTA_COMPARE_BYTES) {
        const uint32_t size = length - done < FOTA_COMPARE_BYTES ? length - done : FOTA_COMPARE_BYTES;
        const int result = fotaRead(flash, offset + done, piece, size);
        if (result != FOTA_APPLY_OK)
            return result;
        *equal = memcmp(piece, bytes + done, size) == 0;
    }
    return FOTA_APPLY_OK;
}

/* Whether two flash ranges of length bytes hold the same bytes. */
static int rangesEqual(const FotaProgress *progress, uint32_t a, uint32_t b, uint64_t length, int *equal)
{
    uint64_t done;
    *equal = 1;
    for (done = 0; done < length && *equal; done += FOTA_IO_BYTES) {
        const uint32_t piece = length - done < FOTA_IO_BYTES ? (uint32_t)(length - done) : FOTA_IO_BYTES;
        int result = fotaRead(progress->flash, a + (uint32_t)done, progress->io, piece);
        if (result == FOTA_APPLY_OK)
            result = equalsFlash(progress->flash, b + (uint32_t)done, progress->io, piece, equal);
        if (result != FOTA_APPLY_OK)
            return result;
        fotaMeterAdvance(progress->meter, piece);
    }
    return FOTA_APPLY_OK;
}

/* A group's bytes as they are built, a 4 KiB block at a time: compared with the flash while every block so
   far equals it, and from the first that does not, through the scratch. */
typedef struct Builder {
    const FotaGroupWork *work;
    int writing;         /* a block differed: the group goes through the scratch */
    uint64_t builtStart; /* the group's chunks built before the current one */
    uint64_t builtEnd;
    uint32_t chunkStart; /* the current chunk's unit */
    uint32_t block;      /* flash offset of the block in the I/O block */
    uint32_t fill;       /* bytes of it built */
    uint32_t crc;        /* of the current chunk's bytes so far */
} Builder;

/* The first block that differs: the scratch is erased for the group and takes this block, then the blocks
   built before it, which equal the flash they stand for. */
static int startWriting(Builder *builder)
{
    const FotaGroupWork *work = builder->work;
    const FotaProgress *progress = work->progress;
    int result = fotaEraseScratch(progress, (uint32_t)(work->group->end - work->group->start));
    if (result == FOTA_APPLY_OK)
        result = programTicked(progress, inScratch(work, builder->block), progress->io, FOTA_IO_BYTES);
    if (result == FOTA_APPLY_OK)
        result = copyFlash(progress, builder->chunkStart, inScratch(work, builder->chunkStart),
                           builder->block - builder->chunkStart);
    if (result == FOTA_APPLY_OK)
        result = copyFlash(progress, (uint32_t)builder->builtStart, inScratch(work, builder->builtStart),
                           builder->builtEnd - builder->builtStart);
    builder->writing = 1;
    return result;
}

static int flushIfFull(Builder *builder)
{
    const FotaProgress *progress = builder->work->progress;
    int equal = 0;
    int result = FOTA_APPLY_OK;
    if (builder->fill < FOTA_IO_BYTES)
        return FOTA_APPLY_OK;
    builder->crc = fotaCrcUpdate(builder->crc, progress->io, FOTA_IO_BYTES);
    if (builder->writing)
        result = programTicked(progress, inScratch(builder->work, builder->block), progress->io, FOTA_IO_BYTES);
    else if ((result = equalsFlash(progress->flash, builder->block, progress->io, FOTA_IO_BYTES, &equal)) ==
                 FOTA_APPLY_OK &&
             !equal)
        result = startWriting(builder);
    fotaMeterAdvance(progress->meter, FOTA_IO_BYTES);
    builder->block += FOTA_IO_BYTES;
    builder->fill = 0;
    return result;
}

/* Source bytes as the planner saw them: those of the group's chunks built before this one from the scratch
   once it holds them (until then they equal the flash), all others from the flash. */
static int readSource(const Builder *builder, uint32_t source, uint8_t *out, uint32_t length)
{
    while (length > 0) {
        uint32_t piece = length;
        uint32_t from = source;
        int result;
        if (builder->writing && source >= builder->builtStart && source < builder->builtEnd) {
            if (builder->builtEnd - source < piece)
                piece = (uint32_t)(builder->builtEnd - source);
            from = inScratch(builder->work, source);
        } else if (builder->writing && source < builder->builtStart && builder->builtStart - source < piece) {
            piece = (uint32_t)(builder->builtStart - source);
        }
        if ((result = fotaRead(builder->work->progress->flash, from, out, piece)) != FOTA_APPLY_OK)
            return result;
        source += piece;
        out += piece;
        length -= piece;
    }
    return FOTA_APPLY_OK;
}

/* Source bytes plus the next length difference bytes, byte by byte modulo 256. */
static int addDifference(Builder *builder, uint32_t source, uint32_t length)
{
    uint8_t *io = builder->work->progress->io;
    while (length > 0) {
        const uint32_t room = FOTA_IO_BYTES - builder->fill;
        uint8_t *out = io + builder->fill;
        const uint8_t *bytes;
        uint32_t piece;
        uint32_t i;
        int result = fotaCursorTake(&builder->work->reader->diff, length < room ? length : room, &bytes, &piece);
        if (result == FOTA_APPLY_OK)
            result = readSource(builder, source, out, piece);
        if (result != FOTA_APPLY_OK)
            return result;
        for (i = 0; i < piece; ++i)
            out[i] = (uint8_t)(out[i] + bytes[i]);
        builder->fill += piece;
        source += piece;
        length -= piece;
        if ((result = flushIfFull(builder)) != FOTA_APPLY_OK)
            return result;
    }
    return FOTA_APPLY_OK;
}

static int addLiterals(Builder *builder, uint32_t length)
{
    uint8_t *io = builder->work->progress->io;
    while (length > 0) {
        const uint32_t room = FOTA_IO_BYTES - builder->fill;
        const uint8_t *bytes;
        uint32_t piece;
        int result = fotaCursorTake(&builder->work->reader->literal, length < room ? length : room, &bytes, &piece);
        if (result != FOTA_APPLY_OK)
            return result;
        memcpy(io + builder->fill, bytes, piece);
        builder->fill += piece;
        length -= piece;
        if ((result = flushIfFull(builder)) != FOTA_APPLY_OK)
            return result;
    }
    return FOTA_APPLY_OK;
}

/* Every chunk length is a multiple of the I/O block, so its last block comes out full. */
static int buildChunk(Builder *builder, const FotaChunk *chunk)
{
    FotaStreamReader *reader = builder->work->reader;
    uint32_t r;
    int result = fotaCatchUp(reader);
    builder->chunkStart = chunk->target;
    builder->block = chunk->target;
    builder->fill = 0;
    builder->crc = 0;
    for (r = 0; r < chunk->recordCount && result == FOTA_APPLY_OK; ++r) {
        FotaRecord record;
        result = fotaReadRecord(reader, &record);
        if (result == FOTA_APPLY_OK)
            result = addDifference(builder, record.source, record.diffLength);
        if (result == FOTA_APPLY_OK)
            result = addLiterals(builder, record.extraLength);
    }
    if (result == FOTA_APPLY_OK && builder->crc != chunk->crc)
        return FOTA_APPLY_CHUNK_CRC_MISMATCH;
    if (builder->builtStart == builder->builtEnd || chunk->target < builder->builtStart)
        builder->builtStart = chunk->target;
    if ((uint64_t)chunk->target + chunk->length > builder->builtEnd)
        builder->builtEnd = (uint64_t)chunk->target + chunk->length;
    return result;
}

/* The next chunk of the group, its checksum kept. */
static int nextChunk(const FotaGroupWork *work, uint32_t index, FotaChunk *chunk)
{
    int more = 0;
    const int result = fotaReadChunk(work->reader, chunk, &more);
    if (result != FOTA_APPLY_OK)
        return result;
    if (!more || chunk->index != work->group->firstChunk + index)
        return FOTA_APPLY_BAD_STREAM;
    work->crcs[index] = chunk->crc;
    return FOTA_APPLY_OK;
}

/* Builds every chunk of the group; *writing tells whether the scratch holds the group now, the bytes of its
   sectors outside the chunks carried over, or the group was found to hold its new bytes already. */
static int buildGroup(const FotaGroupWork *work, int *writing)
{
    const FotaGroup *group = work->group;
    Builder builder;
    uint32_t i;
    int result = FOTA_APPLY_OK;
    builder.work = work;
    builder.writing = 0;
    builder.builtStart = builder.builtEnd = group->chunksStart;
    for (i = 0; i < group->chunkCount && result == FOTA_APPLY_OK; ++i) {
        FotaChunk chunk;
        if ((result = nextChunk(work, i, &chunk)) == FOTA_APPLY_OK)
            result = buildChunk(&builder, &chunk);
    }
    *writing = builder.writing;
    if (result != FOTA_APPLY_OK || !builder.writing)
        return result;
    result = copyFlash(work->progress, group->start, inScratch(work, group->start), group->chunksStart - group->start);
    if (result == FOTA_APPLY_OK)
        result = copyFlash(work->progress, (uint32_t)group->chunksEnd, inScratch(work, group->chunksEnd),
                           group->end - group->chunksEnd);
    return result;
}

static int passChunks(const FotaGroupWork *work)
{
    uint32_t i;
    for (i = 0; i < work->group->chunkCount; ++i) {
        FotaChunk chunk;
        int result = nextChunk(work, i, &chunk);
        if (result == FOTA_APPLY_OK)
            result = fotaPassChunk(work->reader);
        if (result != FOTA_APPLY_OK)
            return result;
    }
    return FOTA_APPLY_OK;
}

/* Whether each chunk's bytes sum to its checksum, in its unit or where the scratch rebuilds it. */
static int chunksHold(const FotaGroupWork *work, int inTheScratch, int *hold)
{
    const FotaStreamReader *reader = work->reader;
    uint32_t i;
    *hold = 1;
    for (i = 0; i < work->group->chunkCount && *hold; ++i) {
        uint32_t target = 0;
        uint32_t length = 0;
        uint32_t crc = 0;
        int result;
        fotaChunkInGroup(reader->stream, reader->chunkCodes, work->group, i, &target, &length);
        result = fotaFlashCrc(work->progress->flash, inTheScratch ? inScratch(work, target) : target, length,
                              work->progress->io, &crc, work->progress->meter);
        if (result != FOTA_APPLY_OK)
            return result;
        *hold = crc == work->crcs[i];
    }
    return FOTA_APPLY_OK;
}

/* Whether the scratch holds the bytes of the group's sectors outside its chunks as the flash does. */
static int carriedOver(const FotaGroupWork *work, int *same)
{
    const FotaGroup *group = work->group;
    int result = rangesEqual(work->progress, group->start, inScratch(work, group->start),
                             group->chunksStart - group->start, same);
    if (result == FOTA_APPLY_OK && *same)
        result = rangesEqual(work->progress, (uint32_t)group->chunksEnd, inScratch(work, group->chunksEnd),
                             group->end - group->chunksEnd, same);
    return result;
}

static uint64_t chunkBytes(const FotaGroup *group)
{
    return group->chunksEnd - group->chunksStart;
}

/* The scratch is about to become the group's only copy: checked on a resume as well as after building. */
static int checkScratch(const FotaGroupWork *work, int built)
{
    int holds = 0;
    int result = chunksHold(work, 1, &holds);
    if (result == FOTA_APPLY_OK && holds && built)
        result = carriedOver(work, &holds);
    return result == FOTA_APPLY_OK && !holds ? FOTA_APPLY_CHUNK_CRC_MISMATCH : result;
}

/* Erases the group's sectors and copies the scratch into them; then each chunk must sum to its checksum
   there and the carried bytes equal the scratch's. */
static int copyScratchToGroup(const FotaGroupWork *work)
{
    const FotaGroup *group = work->group;
    const uint32_t scratch = work->progress->spare->scratchOffset;
    int holds = 0;
    int result = fotaErase(work->progress->flash, group->start, (uint32_t)(group->end - group->start));
    fotaMeterTick(work->progress->meter);
    if (result == FOTA_APPLY_OK)
        result = copyFlash(work->progress, scratch, group->start, group->end - group->start);
    if (result == FOTA_APPLY_OK)
        result = chunksHold(work, 0, &holds);
    if (result == FOTA_APPLY_OK && holds)
        result = carriedOver(work, &holds);
    return result == FOTA_APPLY_OK && !holds ? FOTA_APPLY_TARGET_MISMATCH : result;
}

int fotaApplyGroup(const FotaGroupWork *work)
{
    const FotaProgress *progress = work->progress;
    const uint32_t first = work->group->firstChunk;
    int done = 0;
    int recordedInScratch = 0;
    int writing = 1;
    int holds = 0;
    int result = fotaRecordWritten(progress, first, FOTA_RECORD_DONE, &done);
    if (result == FOTA_APPLY_OK && (result = fotaRecordWritten(progress, first, FOTA_RECORD_IN_SCRATCH,
                                                               &recordedInScratch)) == FOTA_APPLY_OK &&
        (done || recordedInScratch))
        result = passChunks(work);
    if (result != FOTA_APPLY_OK)
        return result;
    /* Nothing writes a done group again, so it must still read as built; a 0 then means the image is there. */
    if (done) {
        fotaMeterAdvance(progress->meter, 3u * chunkBytes(work->group));
        result = chunksHold(work, 0, &holds);
        return result == FOTA_APPLY_OK && !holds ? FOTA_APPLY_TARGET_MISMATCH : result;
    }
    /* Without its record the scratch may hold anything: the group is still untouched, so its sources are too. */
    if (recordedInScratch)
        fotaMeterAdvance(progress->meter, chunkBytes(work->group));
    else if ((result = buildGroup(work, &writing)) != FOTA_APPLY_OK)
        return result;
    /* Every byte equals the flash already: nothing to erase or program but the record. */
    if (!writing) {
        fotaMeterAdvance(progress->meter, 3u * chunkBytes(work->group));
        return fotaWriteRecord(progress, first, FOTA_RECORD_DONE);
    }
    if ((result = checkScratch(work, !recordedInScratch)) != FOTA_APPLY_OK)
        return result;
    if (!recordedInScratch && (result = fotaWriteRecord(progress, first, FOTA_RECORD_IN_SCRATCH)) != FOTA_APPLY_OK)
        return result;
    if ((result = copyScratchToGroup(work)) != FOTA_APPLY_OK)
        return result;
    return fotaWriteRecord(progress, first, FOTA_RECORD_DONE);
}

int fotaGroupRecordedDone(const FotaGroupWork *work, int *done)
{
    int holds = 0;
    int result = fotaRecordWritten(work->progress, work->group->firstChunk, FOTA_RECORD_DONE, done);
    if (result == FOTA_APPLY_OK)
        result = passChunks(work);
    if (result != FOTA_APPLY_OK || !*done)
        return result;
    fotaMeterAdvance(work->progress->meter, 3u * chunkBytes(work->group));
    result = chunksHold(work, 0, &holds);
    return result == FOTA_APPLY_OK && !holds ? FOTA_APPLY_TARGET_MISMATCH : result;
}
