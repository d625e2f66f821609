#include "pack_source.h"

#include "pack_crc.h"
#include "pack_header.h"

/* The first pass reports at least this often while it only reads. */
#define FOTA_TAKE_TICK_BYTES 65536u

void fotaPackOpen(FotaPack *pack, const FotaPackSource *source, FotaPackGuard *guard)
{
    pack->source = *source;
    pack->guard = guard;
    pack->taken = 0;
    pack->dataCrc = 0;
}

uint32_t fotaGranuleCount(const FotaPack *pack)
{
    return (uint32_t)(((uint64_t)pack->source.size + FOTA_GRANULE_BYTES - 1u) / FOTA_GRANULE_BYTES);
}

uint32_t fotaGranuleLength(const FotaPack *pack, uint32_t granule)
{
    const uint64_t start = (uint64_t)granule * FOTA_GRANULE_BYTES;
    const uint64_t rest = start < pack->source.size ? pack->source.size - start : 0;
    return rest < FOTA_GRANULE_BYTES ? (uint32_t)rest : FOTA_GRANULE_BYTES;
}

static int readPlain(const FotaPackSource *source, uint32_t granule, uint8_t *out, uint32_t length)
{
    if (length > 0 && source->read(source->context, granule * FOTA_GRANULE_BYTES, out, length) != 0)
        return FOTA_APPLY_PACK_READ_FAILED;
    return FOTA_APPLY_OK;
}

int fotaPackTakeNext(FotaPack *pack, uint8_t *out, uint32_t *length)
{
    const uint32_t granule = pack->taken;
    /* The data checksum leaves out the pack header, the first granule's first bytes. */
    const uint32_t headerPart = granule == 0 ? FOTA_PACK_HEADER_SIZE : 0;
    const int result = readPlain(&pack->source, granule, out, *length = fotaGranuleLength(pack, granule));
    if (result != FOTA_APPLY_OK)
        return result;
    if (*length > headerPart)
        pack->dataCrc = fotaCrcUpdate(pack->dataCrc, out + headerPart, *length - headerPart);
    if (pack->guard != 0)
        pack->guard->take(pack->guard, granule, out, *length);
    pack->taken += 1;
    return FOTA_APPLY_OK;
}

int fotaPackTakeRest(FotaPack *pack, uint8_t *buffer, FotaMeter *meter)
{
    uint32_t sinceTick = 0;
    while (pack->taken < fotaGranuleCount(pack)) {
        uint32_t length;
        const int result = fotaPackTakeNext(pack, buffer, &length);
        if (result != FOTA_APPLY_OK)
            return result;
        if ((sinceTick += length) >= FOTA_TAKE_TICK_BYTES) {
            fotaMeterTick(meter);
            sinceTick = 0;
        }
    }
    return FOTA_APPLY_OK;
}

int fotaPackRead(FotaPack *pack, FotaGranuleCache *cache, uint32_t granule, uint8_t *out, uint32_t *length)
{
    *length = fotaGranuleLength(pack, granule);
    if (pack->guard != 0)
        return pack->guard->read(pack->guard, cache, &pack->source, granule, out, *length);
    return readPlain(&pack->source, granule, out, *length);
}
