# The program's top: the composition root (Program), the hidden main window, the tray
# and its menu, the hosts it hands the windows of the subsystems, and the guard of one
# program per folder. WinMain itself is the executable's own source.
if(WIN32)
  list(APPEND KN_APP_SRCS
    ${CMAKE_CURRENT_LIST_DIR}/program.cpp
    ${CMAKE_CURRENT_LIST_DIR}/program_menu.cpp
    ${CMAKE_CURRENT_LIST_DIR}/program_history.cpp
    ${CMAKE_CURRENT_LIST_DIR}/frm_main.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tray.cpp
    ${CMAKE_CURRENT_LIST_DIR}/konfig_host.cpp
    ${CMAKE_CURRENT_LIST_DIR}/instance_guard_win.cpp)
endif()
