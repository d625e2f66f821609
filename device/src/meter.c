#include "meter.h"

#include "le_fields.h"
#include "pack_header.h"

static void report(const FotaMeter *meter)
{
    if (meter->flash->progress != 0)
        meter->flash->progress(meter->flash->context, (uint32_t)(meter->done >> meter->shift),
                               (uint32_t)(meter->total >> meter->shift));
}

void fotaMeterOpen(FotaMeter *meter, const FotaFlash *flash, const FotaPackSource *pack)
{
    uint8_t header[FOTA_PACK_HEADER_SIZE + FOTA_LZMA_HEADER_SIZE];
    uint64_t stream = 0;
    unsigned p;
    meter->flash = flash;
    meter->parts[FOTA_PHASE_OLD_IMAGE] = 0;
    if (pack->size >= sizeof header && pack->read(pack->context, 0, header, sizeof header) == 0) {
        meter->parts[FOTA_PHASE_OLD_IMAGE] = fotaLoadLe32(header + 16);
        /* A stated length of 4 GiB or more is refused; until then it counts as the largest that is not. */
        stream = fotaLoadLe32(header + FOTA_PACK_HEADER_SIZE + 9) != 0
                     ? 0xFFFFFFFFu
                     : fotaLoadLe32(header + FOTA_PACK_HEADER_SIZE + 5);
    }
    meter->parts[FOTA_PHASE_CHECK] = stream;
    meter->parts[FOTA_PHASE_APPLY] = 4u * stream;
    meter->total = 0;
    for (p = 0; p <= FOTA_PHASE_APPLY; ++p)
        meter->total += meter->parts[p];
    meter->shift = 0;
    while (meter->total >> meter->shift > 0xFFFFFFFFu)
        meter->shift += 1;
    meter->done = 0;
    meter->phaseStart = 0;
    meter->phaseLength = meter->parts[FOTA_PHASE_CHECK];
    meter->phaseWork = meter->phaseLength;
    meter->position = 0;
    meter->followsDecoder = 0;
    report(meter);
}

static void moveTo(FotaMeter *meter, uint64_t done)
{
    if (done > meter->total)
        done = meter->total;
    if (done > meter->done)
        meter->done = done;
    report(meter);
}

void fotaMeterPhase(FotaMeter *meter, enum FotaMeterPhase phase, uint64_t work)
{
    unsigned p;
    meter->phaseStart = 0;
    for (p = 0; p < (unsigned)phase; ++p)
        meter->phaseStart += meter->parts[p];
    meter->phaseLength = meter->parts[phase];
    meter->phaseWork = work != 0 ? work : meter->phaseLength;
    meter->position = 0;
    meter->followsDecoder = phase == FOTA_PHASE_CHECK;
    moveTo(meter, meter->phaseStart);
}

void fotaMeterAt(FotaMeter *meter, uint64_t position)
{
    uint64_t share = meter->phaseLength;
    if (position > meter->position)
        meter->position = position;
    /* Only applying is scaled: its chunks hold at most 2^28 bytes, so the product stays below 2^64. */
    if (meter->position < meter->phaseWork)
        share = meter->phaseWork == meter->phaseLength ? meter->position
                                                       : meter->position * meter->phaseLength / meter->phaseWork;
    moveTo(meter, meter->phaseStart + share);
}

void fotaMeterAdvance(FotaMeter *meter, uint64_t bytes)
{
    fotaMeterAt(meter, meter->position + bytes);
}

void fotaMeterTick(FotaMeter *meter)
{
    report(meter);
}

void fotaMeterDecoded(FotaMeter *meter, uint32_t decoded)
{
    if (meter->followsDecoder)
        fotaMeterAt(meter, decoded);
    else
        report(meter);
}

void fotaMeterFinish(FotaMeter *meter)
{
    moveTo(meter, meter->total);
}
