# The program's top: frmMain (tray, timers, menu) and the hosts it hands to the
# windows of the subsystems. WinMain itself is the executable's own source.
if(WIN32)
  list(APPEND KN_APP_SRCS
    ${CMAKE_CURRENT_LIST_DIR}/frm_main.cpp
    ${CMAKE_CURRENT_LIST_DIR}/konfig_host.cpp
    ${CMAKE_CURRENT_LIST_DIR}/instance_guard_win.cpp)
endif()
