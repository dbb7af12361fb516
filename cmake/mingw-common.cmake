# Shared by the MinGW toolchain files; they set KN_MINGW_TRIPLE and KN_WINE_ARCH first.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${KN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KN_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# No mingw runtime DLLs to ship.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(KN_WINE_PREFIX_DIR "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH "Wine prefix for the tests")
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_BINARY_DIR}/wine-run.sh")
