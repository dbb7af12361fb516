# Cross build for 64-bit Windows; tests run under 64-bit Wine through the emulator wrapper.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KN_MINGW_TRIPLE x86_64-w64-mingw32)
set(KN_WINE_ARCH win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
