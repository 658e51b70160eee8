#pragma once
// The instruction-set extensions that the decoders' fast paths use when the processor has them.
// Callers pass a mask of the ones a decode may use; the decoders take what is both allowed and
// present, so that tests can run the portable paths, and each one between, on any machine.
#include <cstdint>

inline constexpr uint32_t CPU_SSE2 = 1u << 0;
inline constexpr uint32_t CPU_SSSE3 = 1u << 1;
inline constexpr uint32_t CPU_AVX2 = 1u << 2;
inline constexpr uint32_t CPU_BMI2 = 1u << 3;
inline constexpr uint32_t CPU_PORTABLE = 0;       // none: plain C++ only
inline constexpr uint32_t CPU_ANY = 0xFFFFFFFFu;  // whatever the processor has

// The extensions of this processor (and operating system), of those above.
uint32_t cpu_features();

// The masks worth testing: portable, then each extension the processor has added to those before.
inline constexpr uint32_t CPU_LEVELS[] = {CPU_PORTABLE, CPU_SSE2, CPU_SSE2 | CPU_SSSE3,
                                          CPU_SSE2 | CPU_SSSE3 | CPU_AVX2, CPU_ANY};
