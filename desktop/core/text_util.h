#pragma once
// Text helpers of the desktop core. Text is UTF-8; case mapping covers ASCII and
// the Latin-1 letters, which is what station names and German texts use.
#include <string>
#include <string_view>

namespace kn {

std::string replace_all(std::string_view text, std::string_view find, std::string_view replacement);

// -1 for an empty find; overlapping hits count ("aa" occurs twice in "aaa").
// compare 0: exact, 1: ignoring case.
int count_occurrences(std::string_view text, std::string_view find, int compare);

std::string to_lower(std::string_view text);
std::string to_upper(std::string_view text);

// Capital pairs OE, AE, UE become umlauts, in this order; exact case only: how
// station names, which requests spell with pairs, are shown.
std::string umlauts_from_pairs(std::string_view text);

// Removes leading and trailing blanks (spaces only).
std::string trim_blanks(std::string_view text);

bool starts_with(std::string_view text, std::string_view prefix);

// Every byte for which `escape` says so becomes %XX (upper-case hex); the rest stay.
template <class Pred>
std::string percent_escape(std::string_view bytes, Pred escape) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size());
  for (char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if (escape(c)) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += ch;
    }
  }
  return out;
}

// Windows-1252 <-> UTF-8, the portable stand-in for the ANSI code page.
std::string cp1252_to_utf8(std::string_view bytes);
std::string utf8_to_cp1252(std::string_view text);  // unmappable characters become '?'

std::u16string utf8_to_utf16(std::string_view text);
std::string utf16_to_utf8(std::u16string_view text);

}  // namespace kn
