#include "json/number_scan.h"

namespace kn::json::detail {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool IsLargeMagnitude(std::string_view number) {
  std::size_t i = number.front() == '-' ? 1 : 0;
  long long place = 0;  // decimal exponent of the first significant digit
  bool found = false;
  long long int_digits = 0;
  for (; i < number.size() && IsDigit(number[i]); ++i) {
    if (!found && number[i] != '0') found = true;
    if (found) ++int_digits;
  }
  if (found) {
    place = int_digits - 1;
  } else if (i < number.size() && number[i] == '.') {
    for (++i; i < number.size() && IsDigit(number[i]); ++i) {
      --place;
      if (number[i] != '0') {
        found = true;
        break;
      }
    }
  }
  if (!found) return false;
  const std::size_t e = number.find_first_of("eE");
  if (e == std::string_view::npos) return place > 0;
  long long exponent = 0;
  bool negative = false;
  for (std::size_t j = e + 1; j < number.size(); ++j) {
    if (number[j] == '-') negative = true;
    if (IsDigit(number[j]) && exponent < 100000000) exponent = exponent * 10 + (number[j] - '0');
  }
  return place + (negative ? -exponent : exponent) > 0;
}

}  // namespace kn::json::detail
