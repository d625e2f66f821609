/* Vector table and fault handler of the test program on QEMU's mps2-an386. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

extern void _start(void);
extern char __stack[];

void reportFault(const uint32_t *frame);

/* A fault ends the run at once with where it happened, instead of hanging until the timeout. */
void reportFault(const uint32_t *frame)
{
    const volatile uint32_t *const faultStatus = (const volatile uint32_t *)0xE000ED28u;
    const volatile uint32_t *const busFaultAddress = (const volatile uint32_t *)0xE000ED38u;
    fprintf(stderr, "FAIL: processor fault at pc 0x%08lx (lr 0x%08lx), fault status 0x%08lx, address 0x%08lx\n",
            (unsigned long)frame[6], (unsigned long)frame[5], (unsigned long)*faultStatus,
            (unsigned long)*busFaultAddress);
    _Exit(2);
}

/* The exception frame lies on the main stack: the program never switches to the process stack. */
__attribute__((naked)) static void faultHandler(void)
{
    __asm__ volatile("mrs r0, msp\n\tb reportFault\n");
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
