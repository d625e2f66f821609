/* The decoder's external names, prefixed so that firmware carrying its own copy of the LZMA SDK links with this library. */
#ifndef FOTA_LZMA_SDK_NAMES_H
#define FOTA_LZMA_SDK_NAMES_H

#define LzmaDec_Allocate fotaLzmaDec_Allocate
#define LzmaDec_AllocateProbs fotaLzmaDec_AllocateProbs
#define LzmaDec_DecodeToBuf fotaLzmaDec_DecodeToBuf
#define LzmaDec_DecodeToDic fotaLzmaDec_DecodeToDic
#define LzmaDec_Free fotaLzmaDec_Free
#define LzmaDec_FreeProbs fotaLzmaDec_FreeProbs
#define LzmaDec_Init fotaLzmaDec_Init
#define LzmaDec_InitDicAndState fotaLzmaDec_InitDicAndState
#define LzmaDecode fotaLzmaDecode
#define LzmaProps_Decode fotaLzmaProps_Decode

#endif
