/* BearSSL's P-256 curve constants, which the verifier looks up by curve. */
#include "crypto_names.h"

#include "ec/ec_secp256r1.c"
