/* Reset of the example part: the functions that run while the flash is busy
   and the initialised data are copied to RAM, .bss is cleared, then main. */
#include <stdint.h>

extern uint32_t __ramfunc_start[], __ramfunc_end[], __ramfunc_load[];
extern uint32_t __data_start[], __data_end[], __data_load[];
extern uint32_t __bss_start[], __bss_end[];
extern char __stack_top[];

int main(void);
void resetHandler(void);

static void copyWords(uint32_t *to, const uint32_t *end, const uint32_t *from)
{
    while (to < end)
        *to++ = *from++;
}

void resetHandler(void)
{
    uint32_t *word;
    copyWords(__ramfunc_start, __ramfunc_end, __ramfunc_load);
    copyWords(__data_start, __data_end, __data_load);
    for (word = __bss_start; word < __bss_end; word++)
        *word = 0;
    main();
    for (;;) {
    }
}

typedef void (*VectorEntry)(void);

/* The initial stack pointer and the reset handler; the bootloader runs with interrupts off and needs no more. */
__attribute__((section(".vectors"), used)) static const VectorEntry vectors[] = {
    (VectorEntry)(uintptr_t)__stack_top,
    resetHandler,
};
