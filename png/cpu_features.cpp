#include "png/cpu_features.h"

uint32_t cpu_features() {
#if defined(__x86_64__) || defined(__i386__)
  static const uint32_t features = [] {
    __builtin_cpu_init();
    uint32_t f = 0;
    if (__builtin_cpu_supports("sse2")) f |= CPU_SSE2;
    if (__builtin_cpu_supports("ssse3")) f |= CPU_SSSE3;
    if (__builtin_cpu_supports("avx2")) f |= CPU_AVX2;  // the compiler's check covers the OS's saving of the registers
    if (__builtin_cpu_supports("bmi2")) f |= CPU_BMI2;
    return f;
  }();
  return features;
#else
  return 0;
#endif
}
