#include "flash_ops.h"

#include "pack_crc.h"
#include "work_layout.h"

int fotaRead(const FotaFlash *flash, uint32_t offset, void *out, uint32_t length)
{
    return flash->read(flash->context, offset, out, length) == 0 ? FOTA_APPLY_OK : FOTA_APPLY_FLASH_READ_FAILED;
}

int fotaErase(const FotaFlash *flash, uint32_t offset, uint32_t length)
{
    return flash->erase(flash->context, offset, length) == 0 ? FOTA_APPLY_OK : FOTA_APPLY_FLASH_ERASE_FAILED;
}

int fotaProgram(const FotaFlash *flash, uint32_t offset, const void *data, uint32_t length)
{
    return flash->program(flash->context, offset, data, length) == 0 ? FOTA_APPLY_OK
                                                                     : FOTA_APPLY_FLASH_PROGRAM_FAILED;
}

int fotaFlashCrc(const FotaFlash *flash, uint32_t offset, uint32_t length, uint8_t *io, uint32_t *crc,
                 FotaMeter *meter)
{
    uint32_t sum = 0;
    uint32_t done = 0;
    while (done < length) {
        const uint32_t rest = length - done;
        const uint32_t piece = rest < FOTA_IO_BYTES ? rest : FOTA_IO_BYTES;
        const int result = fotaRead(flash, offset + done, io, piece);
        if (result != FOTA_APPLY_OK)
            return result;
        sum = fotaCrcUpdate(sum, io, piece);
        done += piece;
        fotaMeterAdvance(meter, piece);
    }
    *crc = sum;
    return FOTA_APPLY_OK;
}
