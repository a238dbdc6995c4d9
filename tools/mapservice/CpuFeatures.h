#pragma once

// Which vector units the loops of the map service may use, looked up once.

namespace quorvil::mapservice {

// AVX-512 as machines since Skylake servers have it: F, DQ, BW and VL. Setting
// QUORVIL_PLAIN_LOOPS in the environment keeps the plain loops, so that the ways can be
// compared on one machine: "avx2" keeps them as built for AVX2, any other value as built
// for the baseline.
bool HasAvx512Double();
// AVX2, for the plain loops built for 32-byte vectors.
bool HasAvx2();

}  // namespace quorvil::mapservice
