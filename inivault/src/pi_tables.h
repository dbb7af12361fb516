#pragma once

#include <cstdint>

namespace inivault {

// Blowfish's initial P-array and S-boxes (pi's fractional hex digits), generated
// by tools/gen_pi_tables.cpp.
extern const std::uint32_t kInitialP[18];
extern const std::uint32_t kInitialS[4][256];

}  // namespace inivault
