#pragma once
// The boundary between the core's UTF-8 and the system's ANSI code page.
#include <string>
#include <string_view>

namespace kn {

std::string utf8_to_ansi(std::string_view utf8);
std::string ansi_to_utf8(std::string_view ansi);
std::wstring utf8_to_wide(std::string_view utf8);
std::string wide_to_utf8(std::wstring_view wide);

}  // namespace kn
