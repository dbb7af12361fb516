if(WIN32)
  list(APPEND KN_SHELL_SRCS ${CMAKE_CURRENT_LIST_DIR}/frm_about.cpp)
endif()
