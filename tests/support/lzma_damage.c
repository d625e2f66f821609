/* Preloaded into a program, flips one bit of what liblzma's encoder writes:
 * bit 0 of the output byte at the offset LZMA_DAMAGE_AT names. The decoder's
 * output is left alone, so that a check after the encoder sees the damage. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <lzma.h>
#include <stdlib.h>

static lzma_stream *encoder;

lzma_ret lzma_raw_encoder(lzma_stream *strm, const lzma_filter *filters)
{
    lzma_ret (*real)(lzma_stream *, const lzma_filter *) =
        (lzma_ret(*)(lzma_stream *, const lzma_filter *))dlsym(RTLD_NEXT, "lzma_raw_encoder");
    const lzma_ret ret = real(strm, filters);
    encoder = strm;
    return ret;
}

void lzma_end(lzma_stream *strm)
{
    void (*real)(lzma_stream *) = (void (*)(lzma_stream *))dlsym(RTLD_NEXT, "lzma_end");
    if (strm == encoder)
        encoder = NULL;
    real(strm);
}

lzma_ret lzma_code(lzma_stream *strm, lzma_action action)
{
    lzma_ret (*real)(lzma_stream *, lzma_action) =
        (lzma_ret(*)(lzma_stream *, lzma_action))dlsym(RTLD_NEXT, "lzma_code");
    const char *at = getenv("LZMA_DAMAGE_AT");
    uint8_t *out = strm->next_out;
    const uint64_t before = strm->total_out;
    const lzma_ret ret = real(strm, action);
    if (strm == encoder && at != NULL) {
        const uint64_t target = strtoull(at, NULL, 0);
        if (target >= before && target < strm->total_out)
            out[target - before] ^= 1;
    }
    return ret;
}
