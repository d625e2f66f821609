/* BearSSL's P-256 arithmetic on 15-bit limbs, for cores without a fast 32x32 multiplier. */
#include "crypto_names.h"

#include "ec/ec_p256_m15.c"
