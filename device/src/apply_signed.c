/* The signed entry point: the pack's signature first, then every check of FotaApplyPack and the image area. */
#include "quarnel_apply.h"

#include "image_area.h"
#include "meter.h"
#include "pack_signature.h"
#include "work_layout.h"

int FotaApplySignedPack(const FotaFlash *flash, const FotaPackSource *pack, const FotaTrust *trust,
                        const FotaSpareArea *spare, void *work, size_t workSize)
{
    FotaMeter meter;
    int result;
    if (flash == 0 || flash->read == 0 || flash->erase == 0 || flash->program == 0 || pack == 0 ||
        pack->read == 0 || spare == 0 || work == 0 || trust == 0 || trust->publicKey == 0 || trust->signature == 0)
        return FOTA_APPLY_BAD_ARGUMENT;
    fotaMeterOpen(&meter, flash, pack);
    /* Refused as FotaApplyPack would, before a signature is worth checking. */
    if (workSize < FOTA_APPLY_WORK_SIZE)
        return fotaApplyPackWithin(flash, pack, spare, work, workSize, trust, &meter);
    /* The stored pack may have been replaced since the last call, so a resume verifies it again. */
    fotaMeterPhase(&meter, FOTA_PHASE_HASH, 0);
    result = fotaVerifyPackSignature(pack, trust, (uint8_t *)work, FOTA_IO_BYTES, &meter);
    if (result != FOTA_APPLY_OK)
        return result;
    return fotaApplyPackWithin(flash, pack, spare, work, workSize, trust, &meter);
}
