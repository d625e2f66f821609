/* The decoder's external names, prefixed FotaApply as all of the library's are, so that firmware carrying its
   own copy of the LZMA SDK links with this library. */
#ifndef FOTA_LZMA_SDK_NAMES_H
#define FOTA_LZMA_SDK_NAMES_H

#define LzmaDec_Allocate FotaApplyLzmaDec_Allocate
#define LzmaDec_AllocateProbs FotaApplyLzmaDec_AllocateProbs
#define LzmaDec_DecodeToBuf FotaApplyLzmaDec_DecodeToBuf
#define LzmaDec_DecodeToDic FotaApplyLzmaDec_DecodeToDic
#define LzmaDec_Free FotaApplyLzmaDec_Free
#define LzmaDec_FreeProbs FotaApplyLzmaDec_FreeProbs
#define LzmaDec_Init FotaApplyLzmaDec_Init
#define LzmaDec_InitDicAndState FotaApplyLzmaDec_InitDicAndState
#define LzmaDecode FotaApplyLzmaDecode
#define LzmaProps_Decode FotaApplyLzmaProps_Decode

#endif
