#include "core/number_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace kn {
namespace {

// The smallest int64 has no positive counterpart; its magnitude must not be negated
// in signed arithmetic.
TEST(Numbers, Format0000CoversTheWholeInt64Range) {
  EXPECT_EQ(format_0000(std::numeric_limits<int64_t>::min()), "-9223372036854775808");
  EXPECT_EQ(format_0000(std::numeric_limits<int64_t>::min() + 1), "-9223372036854775807");
  EXPECT_EQ(format_0000(std::numeric_limits<int64_t>::max()), "9223372036854775807");
  EXPECT_EQ(format_0000(int64_t{0}), "0000");
  EXPECT_EQ(format_0000(int64_t{-1}), "-0001");
}

}  // namespace
}  // namespace kn
