# The Win32 adapters of what the core needs from the system, one file each: the
# WinINet transport, the settings store, title files, the taskbar, the logon start.
if(WIN32)
  list(APPEND KN_SHELL_SRCS
    ${CMAKE_CURRENT_LIST_DIR}/download_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ini_module_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/title_files_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/taskbar_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/autostart_win.cpp)
endif()
