/* The signed entry point: the pack's signature first, then every check of FotaApplyPack and the image area,
   and every later read of the pack checked against what the signature covered. */
#include "quarnel_apply.h"

#include "apply_call.h"
#include "meter.h"
#include "pack_guard.h"
#include "work_layout.h"

int FotaApplySignedPack(const FotaFlash *flash, const FotaPackSource *pack, const FotaTrust *trust,
                        const FotaSpareArea *spare, void *work, size_t workSize)
{
    FotaFlash flashCopy;
    FotaSpareArea spareCopy;
    FotaTrust trustCopy;
    FotaMeter meter;
    FotaWork parts;
    FotaSignedGuard guard;
    FotaPack reading;
    int result;
    if (flash == 0 || flash->read == 0 || flash->erase == 0 || flash->program == 0 || pack == 0 ||
        pack->read == 0 || spare == 0 || work == 0 || trust == 0 || trust->publicKey == 0 || trust->signature == 0)
        return FOTA_APPLY_BAD_ARGUMENT;
    /* The caller's records are read once: what the call checks is what it uses. */
    flashCopy = *flash;
    spareCopy = *spare;
    trustCopy = *trust;
    /* The stored pack may have been replaced since the last call, so a resume verifies it again. */
    fotaPackOpen(&reading, pack, &guard.base);
    fotaMeterOpen(&meter, &flashCopy, &reading.source);
    /* Refused as FotaApplyPack would, before a signature is worth checking. */
    if (workSize < FOTA_APPLY_SIGNED_WORK_SIZE)
        return fotaWorkTooSmall(&reading.source);
    fotaCarveWork(work, &parts, 1);
    if ((result = fotaOpenSignedGuard(&guard, &trustCopy, reading.source.size, parts.blockDigests)) != FOTA_APPLY_OK)
        return result;
    return fotaApplyWithin(&flashCopy, &reading, &spareCopy, &parts, &trustCopy, &meter);
}
