#include "tests/windows/checked_call.h"

// Pushes the arguments from right to left and calls; afterwards the stack
// pointer is compared with its value before the pushes (edi keeps it, being
// preserved by every callee) and put back whatever the callee did.
std::uintptr_t call_checked(FARPROC function, const std::uintptr_t* arguments, int count,
                           std::int32_t& left_bytes)
{
    std::uintptr_t result = 0;
    std::int32_t left = 0;
    asm volatile(
        "movl %%esp, %%edi\n\t"
        "movl %[count], %%ecx\n\t"
        "1:\n\t"
        "testl %%ecx, %%ecx\n\t"
        "jz 2f\n\t"
        "pushl -4(%[arguments],%%ecx,4)\n\t"
        "decl %%ecx\n\t"
        "jmp 1b\n\t"
        "2:\n\t"
        "call *%[function]\n\t"
        "movl %%edi, %%edx\n\t"
        "subl %%esp, %%edx\n\t"
        "movl %%edi, %%esp\n\t"
        : "=&a"(result), "=&d"(left)
        : [function] "b"(function), [arguments] "S"(arguments), [count] "m"(count)
        : "ecx", "edi", "memory", "cc");
    left_bytes = left;
    return result;
}
