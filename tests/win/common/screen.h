#pragma once
// Pictures of the screen for failed tests.
#include <string>

namespace kn::test {

// The whole screen as a 24-bit BMP file.
bool save_screen(const std::string& path);

// When the running test has failed: the screen, saved once per test as
// <build>/test-output/<program>/<suite>.<test>.bmp. Returns the file or "".
std::string save_screen_if_failed();

}  // namespace kn::test
