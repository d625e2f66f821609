/* The BearSSL parts that verify a pack's signature: SHA-256 and ECDSA verification with 15-bit
   integers, compiled from Debian's bearssl source (its inc/ and src/ folders are on this file's
   search path). The two files below that share static names with these are units of their own. */
#include "crypto_names.h"

#include "codec/ccopy.c"
#include "codec/dec32be.c"
#include "codec/enc32be.c"
#include "ec/ec_secp384r1.c"
#include "ec/ec_secp521r1.c"
#include "ec/ecdsa_atr.c"
#include "ec/ecdsa_i15_bits.c"
#include "ec/ecdsa_i15_vrfy_asn1.c"
#include "ec/ecdsa_i15_vrfy_raw.c"
#include "hash/sha2small.c"
#include "int/i15_add.c"
#include "int/i15_bitlen.c"
#include "int/i15_decmod.c"
#include "int/i15_decode.c"
#include "int/i15_encode.c"
#include "int/i15_fmont.c"
#include "int/i15_iszero.c"
#include "int/i15_modpow.c"
#include "int/i15_montmul.c"
#include "int/i15_ninv15.c"
#include "int/i15_rshift.c"
#include "int/i15_sub.c"
#include "int/i15_tmont.c"

/* The one overlapping copy in these files, written out so that the library needs no memmove; the
   files above have already included <string.h>, so the name below changes only this last one. */
static void *fotaMoveBytes(void *to, const void *from, size_t length)
{
    unsigned char *out = (unsigned char *)to;
    const unsigned char *in = (const unsigned char *)from;
    if (out < in)
        while (length-- > 0)
            *out++ = *in++;
    else
        while (length-- > 0)
            out[length] = in[length];
    return to;
}
#define memmove fotaMoveBytes

#include "int/i15_muladd.c"
