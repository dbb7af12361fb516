# The Win32 adapters of what the core needs from the system, one file each: the
# WinINet transport and its worker threads, the settings store, title files, the
# poll's answer files, the taskbar, the logon start, the full-screen watcher and the
# updater's launch.
if(WIN32)
  list(APPEND KN_SHELL_SRCS
    ${CMAKE_CURRENT_LIST_DIR}/http_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/download_workers_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/answer_files_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/settings_store_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/title_files_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/history_store_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/taskbar_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/autostart_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/fullscreen_watch_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/poll_io_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/updater_win.cpp)
endif()
