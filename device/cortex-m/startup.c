/* Vector table and fault handlers of the test program on QEMU's mps2-an386. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

extern void _start(void);
extern char __stack[];

/* A fault ends the run with a failure at once instead of hanging until the timeout. */
static void faultHandler(void)
{
    static const char message[] = "FAIL: processor fault\n";
    fwrite(message, 1, sizeof message - 1, stderr);
    _Exit(2);
}

typedef void (*VectorEntry)(void);

/* Initial stack pointer, reset, then NMI, HardFault, MemManage, BusFault and UsageFault. */
__attribute__((section(".vectors"), used)) static const VectorEntry vectors[] = {
    (VectorEntry)(uintptr_t)__stack,
    _start,
    faultHandler,
    faultHandler,
    faultHandler,
    faultHandler,
    faultHandler,
};
