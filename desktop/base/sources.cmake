# The ground under core/ and win/: portable pieces both use (twips, rounding, the tray
# shell's interface). Includes nothing from any other folder.
list(APPEND KN_CORE_SRCS
  ${CMAKE_CURRENT_LIST_DIR}/rounding.cpp
  ${CMAKE_CURRENT_LIST_DIR}/twips.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tray_presence.cpp)
