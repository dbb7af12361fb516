list(APPEND KN_CORE_SRCS
  ${CMAKE_CURRENT_LIST_DIR}/konfig_controls.cpp
  ${CMAKE_CURRENT_LIST_DIR}/konfig_logic.cpp)
if(WIN32)
  list(APPEND KN_SHELL_SRCS
    ${CMAKE_CURRENT_LIST_DIR}/frm_konfig_position.cpp
    ${CMAKE_CURRENT_LIST_DIR}/frm_konfig.cpp
    ${CMAKE_CURRENT_LIST_DIR}/frm_konfig_controls.cpp)
endif()
