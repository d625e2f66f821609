/* Measures how deep a call reaches into the stack: the free stack is painted
   with a pattern before the call, and the lowest word it no longer holds
   afterwards marks the depth. */
#ifndef STACK_DEPTH_H
#define STACK_DEPTH_H

#include <stdint.h>

enum { paintedStackBytes = 32768 };

/* The stack pointer where it is called; the depth counts from here. */
uintptr_t stackTop(void);

/* Paints the paintedStackBytes below the caller's stack pointer. */
void paintFreeStack(void);

/* The bytes below top that a call used since the stack was painted. */
uint32_t stackUsedBelow(uintptr_t top);

#endif
