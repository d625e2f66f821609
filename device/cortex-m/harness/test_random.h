/* A small seeded generator for torn bytes, flash filler and garbage work memory. */
#ifndef TEST_RANDOM_H
#define TEST_RANDOM_H

#include <stdint.h>

/* xorshift32: the state must never be 0. */
static inline uint32_t nextRandom(uint32_t *state)
{
    uint32_t x = *state;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    *state = x;
    return x;
}

static inline void fillRandom(uint8_t *bytes, uint32_t length, uint32_t *state)
{
    for (uint32_t i = 0; i < length; i++)
        bytes[i] = (uint8_t)(nextRandom(state) >> 24);
}

#endif
