list(APPEND KN_CORE_SRCS
  ${CMAKE_CURRENT_LIST_DIR}/history_plot.cpp
  ${CMAKE_CURRENT_LIST_DIR}/line_graph.cpp
  ${CMAKE_CURRENT_LIST_DIR}/stats_view.cpp)
if(WIN32)
  list(APPEND KN_SHELL_SRCS
    ${CMAKE_CURRENT_LIST_DIR}/gdi_surface_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/frm_graph.cpp
    ${CMAKE_CURRENT_LIST_DIR}/frm_plays.cpp)
endif()
