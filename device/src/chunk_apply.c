#include "chunk_apply.h"

#include <string.h>

#include "flash_ops.h"
#include "work_layout.h"

/* Collects a chunk's new bytes in the I/O block and programs the scratch a full block at a time. */
typedef struct ScratchWriter {
    const FotaFlash *flash;
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
    return result;
}

/* Old flash bytes from source plus the difference bytes, byte by byte modulo 256. */
static int addDifference(ScratchWriter *writer, uint32_t source, const uint8_t *diff, uint32_t length)
{
    while (length > 0) {
        const uint32_t room = FOTA_IO_BYTES - writer->fill;
        const uint32_t piece = length < room ? length : room;
        uint8_t *out = writer->io + writer->fill;
        uint32_t i;
        int result = fotaRead(writer->flash, source, out, piece);
        if (result != FOTA_APPLY_OK)
            return result;
        for (i = 0; i < piece; ++i)
            out[i] = (uint8_t)(out[i] + diff[i]);
        writer->fill += piece;
        source += piece;
        diff += piece;
        length -= piece;
        result = flushIfFull(writer);
        if (result != FOTA_APPLY_OK)
            return result;
    }
    return FOTA_APPLY_OK;
}

static int addLiterals(ScratchWriter *writer, const uint8_t *literals, uint32_t length)
{
    while (length > 0) {
        const uint32_t room = FOTA_IO_BYTES - writer->fill;
        const uint32_t piece = length < room ? length : room;
        int result;
        memcpy(writer->io + writer->fill, literals, piece);
        writer->fill += piece;
        literals += piece;
        length -= piece;
        result = flushIfFull(writer);
        if (result != FOTA_APPLY_OK)
            return result;
    }
    return FOTA_APPLY_OK;
}

/* Every chunk length is a multiple of the I/O block, so the last block comes out full. */
static int buildInScratch(const FotaProgress *progress, const FotaStream *stream, const FotaChunk *chunk)
{
    ScratchWriter writer;
    const uint8_t *diff = stream->bytes + chunk->diffPos;
    const uint8_t *literals = stream->bytes + chunk->extraPos;
    uint32_t r;
    int result = fotaErase(progress->flash, progress->spare->scratchOffset, chunk->length);
    writer.flash = progress->flash;
    writer.io = progress->io;
    writer.scratch = progress->spare->scratchOffset;
    writer.fill = 0;
    for (r = 0; r < chunk->recordCount && result == FOTA_APPLY_OK; ++r) {
        FotaRecord record;
        fotaReadRecord(stream, chunk, r, &record);
        result = addDifference(&writer, record.source, diff, record.diffLength);
        if (result == FOTA_APPLY_OK)
            result = addLiterals(&writer, literals, record.extraLength);
        diff += record.diffLength;
        literals += record.extraLength;
    }
    return result;
}

static int copyScratchToTarget(const FotaProgress *progress, const FotaChunk *chunk)
{
    uint32_t done;
    int result = fotaErase(progress->flash, chunk->target, chunk->length);
    for (done = 0; done < chunk->length && result == FOTA_APPLY_OK; done += FOTA_IO_BYTES) {
        result = fotaRead(progress->flash, progress->spare->scratchOffset + done, progress->io, FOTA_IO_BYTES);
        if (result == FOTA_APPLY_OK)
            result = fotaProgram(progress->flash, chunk->target + done, progress->io, FOTA_IO_BYTES);
    }
    return result;
}

static int holdsChunk(const FotaProgress *progress, uint32_t offset, const FotaChunk *chunk, int *holds)
{
    uint32_t crc = 0;
    const int result = fotaFlashCrc(progress->flash, offset, chunk->length, progress->io, &crc);
    *holds = crc == chunk->crc;
    return result;
}

int fotaApplyChunk(const FotaProgress *progress, const FotaStream *stream, const FotaChunk *chunk)
{
    const uint32_t scratch = progress->spare->scratchOffset;
    int done = 0;
    int inScratch = 0;
    int holds = 0;
    int result = fotaRecordWritten(progress, chunk->index, FOTA_RECORD_DONE, &done);
    if (result != FOTA_APPLY_OK)
        return result;
    /* Nothing writes a done unit again, so it must still read as built; a 0 then means the image is there. */
    if (done) {
        result = holdsChunk(progress, chunk->target, chunk, &holds);
        return result == FOTA_APPLY_OK && !holds ? FOTA_APPLY_TARGET_MISMATCH : result;
    }
    result = fotaRecordWritten(progress, chunk->index, FOTA_RECORD_IN_SCRATCH, &inScratch);
    if (result != FOTA_APPLY_OK)
        return result;
    /* Without its record the scratch may hold anything: the unit is still untouched, so its sources are too. */
    if (!inScratch && (result = buildInScratch(progress, stream, chunk)) != FOTA_APPLY_OK)
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
