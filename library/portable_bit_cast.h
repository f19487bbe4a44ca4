#pragma once

#include <bit>
#include <type_traits>

namespace tambelo {

// std::bit_cast where the standard library has it; older libraries (the
// WebAssembly toolchain's libc++ 13) lack it, and the compiler's built-in,
// which std::bit_cast is made of, does the same at compile time.
template <class To, class From>
    requires(sizeof(To) == sizeof(From) && std::is_trivially_copyable_v<To> &&
             std::is_trivially_copyable_v<From>)
constexpr To bit_cast(const From& from) noexcept
{
#if defined(__cpp_lib_bit_cast)
    return std::bit_cast<To>(from);
#else
    return __builtin_bit_cast(To, from);
#endif
}

}  // namespace tambelo
