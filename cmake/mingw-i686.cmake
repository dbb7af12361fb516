# Cross build for 32-bit Windows; tests run under 32-bit Wine through the emulator wrapper.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KN_MINGW_TRIPLE i686-w64-mingw32)
set(KN_WINE_ARCH win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
