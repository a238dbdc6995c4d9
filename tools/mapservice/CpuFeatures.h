#pragma once

// Which vector units the loops of the map service may use, looked up once.

namespace quorvil::mapservice {

// AVX-512 as machines since Skylake servers have it: F, DQ, BW and VL. Setting
// QUORVIL_PLAIN_LOOPS in the environment keeps the plain loops, so that both ways can be
// compared on one machine.
bool HasAvx512Double();

}  // namespace quorvil::mapservice
