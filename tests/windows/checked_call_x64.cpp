#include "tests/windows/checked_call.h"

std::uintptr_t call_checked(FARPROC function, const std::uintptr_t* arguments, int count,
                           std::int32_t& left_bytes)
{
    left_bytes = 0;
    using Call = std::uintptr_t (*)(std::uintptr_t, std::uintptr_t);
    const std::uintptr_t first = count > 0 ? arguments[0] : 0;
    const std::uintptr_t second = count > 1 ? arguments[1] : 0;
    return (reinterpret_cast<Call>(reinterpret_cast<void*>(function))(first, second));
}
