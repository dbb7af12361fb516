# Screen units and the rounding they need: twips and pixels at any scale, rounding
# half to even. Portable, and the ground under core/ and win/: includes nothing from
# any other folder.
list(APPEND KN_CORE_SRCS
  ${CMAKE_CURRENT_LIST_DIR}/rounding.cpp
  ${CMAKE_CURRENT_LIST_DIR}/twips.cpp)
