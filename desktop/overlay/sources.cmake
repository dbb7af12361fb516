list(APPEND KN_CORE_SRCS
  ${CMAKE_CURRENT_LIST_DIR}/layout.cpp
  ${CMAKE_CURRENT_LIST_DIR}/monitors.cpp
  ${CMAKE_CURRENT_LIST_DIR}/fullscreen.cpp)
if(WIN32)
  list(APPEND KN_SHELL_SRCS
    ${CMAKE_CURRENT_LIST_DIR}/monitors_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/text_renderer_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/frm_text.cpp)
endif()
