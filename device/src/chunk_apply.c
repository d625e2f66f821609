#include "chunk_apply.h"

#include <string.h>

#include "flash_ops.h"
#include "work_layout.h"

/* Collects a chunk's new bytes in the I/O block and programs the scratch a full block at a time. */
typedef struct ScratchWriter {
    const FotaFlash *flash;
    FotaMeter *meter;
    uint8_t *io;
    uint32_t scratch; /* flash offset of the next block to program */
    uint32_t fill;    /* bytes collected in the I/O block */
} ScratchWriter;

static int flushIfFull(ScratchWriter *writer)
{
    int result;
    if (writer->fill < FOTA_IO_BYTES)
        return FOTA_APPLY_OK;
    result = fotaProgram(writer->flash, writer->scratch, writer->io, FOTA_IO_BYTES);
    writer->scratch += FOTA_IO_BYTES;
    writer->fill = 0;
    fotaMeterAdvance(writer->meter, FOTA_IO_BYTES);
    return result;
}

/* Old flash bytes from source plus the next length difference bytes, byte by byte modulo 256. */
static int addDifference(ScratchWriter *writer, FotaCursor *diff, uint32_t source, uint32_t length)
{
    while (length > 0) {
        const uint32_t room = FOTA_IO_BYTES - writer->fill;
        uint8_t *out = writer->io + writer->fill;
        const uint8_t *bytes;
        uint32_t piece;
        uint32_t i;
        int result = fotaCursorTake(diff, length < room ? length : room, &bytes, &piece);
        if (result == FOTA_APPLY_OK)
            result = fotaRead(writer->flash, source, out, piece);
        if (result != FOTA_APPLY_OK)
            return result;
        for (i = 0; i < piece; ++i)
            out[i] = (uint8_t)(out[i] + bytes[i]);
        writer->fill += piece;
        source += piece;
        length -= piece;
        result = flushIfFull(writer);
        if (result != FOTA_APPLY_OK)
            return result;
    }
    return FOTA_APPLY_OK;
}

static int addLiterals(ScratchWriter *writer, FotaCursor *literal, uint32_t length)
{
    while (length > 0) {
        const uint32_t room = FOTA_IO_BYTES - writer->fill;
        const uint8_t *bytes;
        uint32_t piece;
        int result = fotaCursorTake(literal, length < room ? length : room, &bytes, &piece);
        if (result != FOTA_APPLY_OK)
            return result;
        memcpy(writer->io + writer->fill, bytes, piece);
        writer->fill += piece;
        length -= piece;
        result = flushIfFull(writer);
        if (result != FOTA_APPLY_OK)
            return result;
    }
    return FOTA_APPLY_OK;
}

/* Every chunk length is a multiple of the I/O block, so the last block comes out full. */
static int buildInScratch(const FotaProgress *progress, FotaStreamReader *reader, const FotaChunk *chunk)
{
    ScratchWriter writer;
    uint32_t r;
    int result = fotaCatchUp(reader);
    if (result == FOTA_APPLY_OK)
        result = fotaErase(progress->flash, progress->spare->scratchOffset, chunk->length);
    fotaMeterTick(progress->meter);
    writer.flash = progress->flash;
    writer.meter = progress->meter;
    writer.io = progress->io;
    writer.scratch = progress->spare->scratchOffset;
    writer.fill = 0;
    for (r = 0; r < chunk->recordCount && result == FOTA_APPLY_OK; ++r) {
        FotaRecord record;
        result = fotaReadRecord(reader, &record);
        if (result == FOTA_APPLY_OK)
            result = addDifference(&writer, &reader->diff, record.source, record.diffLength);
        if (result == FOTA_APPLY_OK)
            result = addLiterals(&writer, &reader->literal, record.extraLength);
    }
    return result;
}

static int copyScratchToTarget(const FotaProgress *progress, const FotaChunk *chunk)
{
    uint32_t done;
    int result = fotaErase(progress->flash, chunk->target, chunk->length);
    fotaMeterTick(progress->meter);
    for (done = 0; done < chunk->length && result == FOTA_APPLY_OK; done += FOTA_IO_BYTES) {
        result = fotaRead(progress->flash, progress->spare->scratchOffset + done, progress->io, FOTA_IO_BYTES);
        if (result == FOTA_APPLY_OK)
            result = fotaProgram(progress->flash, chunk->target + done, progress->io, FOTA_IO_BYTES);
        fotaMeterAdvance(progress->meter, FOTA_IO_BYTES);
    }
    return result;
}

static int holdsChunk(const FotaProgress *progress, uint32_t offset, const FotaChunk *chunk, int *holds)
{
    uint32_t crc = 0;
    const int result = fotaFlashCrc(progress->flash, offset, chunk->length, progress->io, &crc, progress->meter);
    *holds = crc == chunk->crc;
    return result;
}

int fotaApplyChunk(const FotaProgress *progress, FotaStreamReader *reader, const FotaChunk *chunk)
{
    const uint32_t scratch = progress->spare->scratchOffset;
    int done = 0;
    int inScratch = 0;
    int holds = 0;
    int result = fotaRecordWritten(progress, chunk->index, FOTA_RECORD_DONE, &done);
    if (result == FOTA_APPLY_OK && (result = fotaRecordWritten(progress, chunk->index, FOTA_RECORD_IN_SCRATCH,
                                                               &inScratch)) == FOTA_APPLY_OK &&
        (done || inScratch))
        result = fotaPassChunk(reader);
    if (result != FOTA_APPLY_OK)
        return result;
    /* Nothing writes a done unit again, so it must still read as built; a 0 then means the image is there. */
    if (done) {
        fotaMeterAdvance(progress->meter, 3u * (uint64_t)chunk->length);
        result = holdsChunk(progress, chunk->target, chunk, &holds);
        return result == FOTA_APPLY_OK && !holds ? FOTA_APPLY_TARGET_MISMATCH : result;
    }
    /* Without its record the scratch may hold anything: the unit is still untouched, so its sources are too. */
    if (inScratch)
        fotaMeterAdvance(progress->meter, chunk->length);
    else if ((result = buildInScratch(progress, reader, chunk)) != FOTA_APPLY_OK)
        return result;
    /* Checked on a resume as well: the target is about to be erased and the scratch is then its only copy. */
    if ((result = holdsChunk(progress, scratch, chunk, &holds)) != FOTA_APPLY_OK)
        return result;
    if (!holds)
        return FOTA_APPLY_CHUNK_CRC_MISMATCH;
    if (!inScratch && (result = fotaWriteRecord(progress, chunk->index, FOTA_RECORD_IN_SCRATCH)) != FOTA_APPLY_OK)
        return result;
    if ((result = copyScratchToTarget(progress, chunk)) != FOTA_APPLY_OK ||
        (result = holdsChunk(progress, chunk->target, chunk, &holds)) != FOTA_APPLY_OK)
        return result;
    if (!holds)
        return FOTA_APPLY_TARGET_MISMATCH;
    return fotaWriteRecord(progress, chunk->index, FOTA_RECORD_DONE);
}

int fotaCountDoneChunks(const FotaProgress *progress, FotaStreamReader *reader, uint32_t *done)
{
    FotaChunk chunk;
    int more = 1;
    int result;
    *done = 0;
    while ((result = fotaReadChunk(reader, &chunk, &more)) == FOTA_APPLY_OK && more) {
        int written = 0;
        int holds = 0;
        if ((result = fotaRecordWritten(progress, chunk.index, FOTA_RECORD_DONE, &written)) != FOTA_APPLY_OK)
            return result;
        if (!written)
            continue;
        fotaMeterAdvance(progress->meter, 3u * (uint64_t)chunk.length);
        if ((result = holdsChunk(progress, chunk.target, &chunk, &holds)) != FOTA_APPLY_OK)
            return result;
        if (!holds)
            return FOTA_APPLY_TARGET_MISMATCH;
        *done += 1;
    }
    return result;
}
