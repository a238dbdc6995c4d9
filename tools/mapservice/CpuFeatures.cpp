#include "mapservice/CpuFeatures.h"

#include <cstdlib>
#include <cstring>

namespace quorvil::mapservice {

bool HasAvx512Double() {
  static const bool has = [] {
    if (std::getenv("QUORVIL_PLAIN_LOOPS") != nullptr) return false;
#if defined(__x86_64__)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
           __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl");
#else
    return false;
#endif
  }();
  return has;
}

bool HasAvx2() {
  static const bool has = [] {
    const char* plain = std::getenv("QUORVIL_PLAIN_LOOPS");
    if (plain != nullptr && std::strcmp(plain, "avx2") != 0) return false;
#if defined(__x86_64__)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
#else
    return false;
#endif
  }();
  return has;
}

}  // namespace quorvil::mapservice
