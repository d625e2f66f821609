#include "stack_depth.h"

#define PAINT 0xC5A5C5A5u

__attribute__((noinline)) uintptr_t stackTop(void)
{
    uintptr_t pointer;
    __asm__ volatile("mov %0, sp" : "=r"(pointer));
    return pointer;
}

/* Everything below this function's own stack pointer is free. */
__attribute__((noinline)) void paintFreeStack(void)
{
    volatile uint32_t *word = (volatile uint32_t *)((stackTop() - paintedStackBytes) & ~(uintptr_t)3);
    volatile uint32_t *const end = (volatile uint32_t *)((stackTop() - 64) & ~(uintptr_t)3);
    while (word < end)
        *word++ = PAINT;
}

uint32_t stackUsedBelow(uintptr_t top)
{
    const volatile uint32_t *word = (const volatile uint32_t *)((top - paintedStackBytes) & ~(uintptr_t)3);
    while ((uintptr_t)word < top && *word == PAINT)
        word++;
    return (uint32_t)(top - (uintptr_t)word);
}
