#pragma once

#include <windows.h>

#include <cstdint>

// Calls `function` with `count` pointer-sized arguments as a caller of the
// standard convention does and answers its result. `left_bytes` receives the
// bytes the call left on the stack: 0 when the callee removed exactly its
// arguments. One file per processor (the 64-bit one has a single calling
// convention, with nothing to check).
std::uintptr_t call_checked(FARPROC function, const std::uintptr_t* arguments, int count,
                           std::int32_t& left_bytes);
