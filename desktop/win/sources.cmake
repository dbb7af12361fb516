# The small Win32 toolkit every window uses: handle owners, the window base, text
# conversion at the system boundary, files, the user's date and time formats, DPI
# awareness, the screen's twips, window placement, the dialogs' controls and their
# modal loop, the tray icon.
if(WIN32)
  list(APPEND KN_SHELL_SRCS
    ${CMAKE_CURRENT_LIST_DIR}/ansi_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/controls_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/date_time_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/files_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dpi_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/modal_loop_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/screen_twips_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tray_icon_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/window_base_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/window_placement_win.cpp)
endif()
