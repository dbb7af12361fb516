#pragma once
// Numeric conversions of settings values and platform answers.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "units/rounding.h"

namespace kn {

// A whole text that is a decimal number (sign, digits, optional fraction and
// exponent), white space around it allowed.
std::optional<double> parse_number(std::string_view text);

// The number at the start of a text, blanks skipped, "." as decimal point; 0 when
// the text does not start with one. Never fails.
double leading_number(std::string_view text);

// Round half to even; nullopt when the result does not fit the width.
std::optional<int16_t> round_to_int16(double value);
std::optional<int32_t> round_to_int32(double value);

// Whole text as a number, rounded half to even into the width.
std::optional<int16_t> strict_int16(std::string_view text);
std::optional<int32_t> strict_int32(std::string_view text);

// A number (0 false, others true) or True/False in any letter case.
std::optional<bool> strict_bool(std::string_view text);

// Number pattern "0000": numbers become integers of at least four digits (halves
// away from zero, like the pattern does), anything else comes back unchanged.
std::string format_0000(std::string_view text);

// Formats an integer with the "0000" pattern: 42 -> "0042", -3 -> "-0003".
std::string format_0000(int64_t value);

}  // namespace kn
