/* BearSSL's external names in this library, prefixed so that firmware carrying its own BearSSL links with it. */
#ifndef FOTA_CRYPTO_NAMES_H
#define FOTA_CRYPTO_NAMES_H

#define br_ccopy fota_br_ccopy
#define br_ec_p256_m15 fota_br_ec_p256_m15
#define br_ecdsa_asn1_to_raw fota_br_ecdsa_asn1_to_raw
#define br_ecdsa_i15_bits2int fota_br_ecdsa_i15_bits2int
#define br_ecdsa_i15_vrfy_asn1 fota_br_ecdsa_i15_vrfy_asn1
#define br_ecdsa_i15_vrfy_raw fota_br_ecdsa_i15_vrfy_raw
#define br_i15_add fota_br_i15_add
#define br_i15_bit_length fota_br_i15_bit_length
#define br_i15_decode fota_br_i15_decode
#define br_i15_decode_mod fota_br_i15_decode_mod
#define br_i15_encode fota_br_i15_encode
#define br_i15_from_monty fota_br_i15_from_monty
#define br_i15_iszero fota_br_i15_iszero
#define br_i15_modpow fota_br_i15_modpow
#define br_i15_montymul fota_br_i15_montymul
#define br_i15_muladd_small fota_br_i15_muladd_small
#define br_i15_ninv15 fota_br_i15_ninv15
#define br_i15_rshift fota_br_i15_rshift
#define br_i15_sub fota_br_i15_sub
#define br_i15_to_monty fota_br_i15_to_monty
#define br_range_dec32be fota_br_range_dec32be
#define br_range_enc32be fota_br_range_enc32be
#define br_secp256r1 fota_br_secp256r1
#define br_secp384r1 fota_br_secp384r1
#define br_secp521r1 fota_br_secp521r1
#define br_sha224_IV fota_br_sha224_IV
#define br_sha224_init fota_br_sha224_init
#define br_sha224_out fota_br_sha224_out
#define br_sha224_set_state fota_br_sha224_set_state
#define br_sha224_state fota_br_sha224_state
#define br_sha224_update fota_br_sha224_update
#define br_sha224_vtable fota_br_sha224_vtable
#define br_sha256_IV fota_br_sha256_IV
#define br_sha256_init fota_br_sha256_init
#define br_sha256_out fota_br_sha256_out
#define br_sha256_vtable fota_br_sha256_vtable
#define br_sha2small_round fota_br_sha2small_round

#endif
