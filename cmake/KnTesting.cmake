# Test framework and the kn_gtest() helper for both presets.
if(NOT KN_BUILD_TESTS)
  return()
endif()

if(CMAKE_CROSSCOMPILING)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  if(NOT TARGET GTest::gtest_main)
    add_library(GTest::gtest_main ALIAS gtest_main)
    add_library(GTest::gtest ALIAS gtest)
  endif()
  set(KN_WINE_EXTRA_ENV "")
  configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                  WORLD_READ WORLD_EXECUTE @ONLY)
  # The same at 200 % (192 dots per inch), in a prefix of its own.
  set(KN_WINE_EXTRA_ENV "export KN_WINE_DPI=192")
  set(KN_WINE_PREFIX_DIR_SAVED "${KN_WINE_PREFIX_DIR}")
  set(KN_WINE_PREFIX_DIR "${CMAKE_BINARY_DIR}/wineprefix-192dpi")
  configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run-192dpi.sh
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                  WORLD_READ WORLD_EXECUTE @ONLY)
  set(KN_WINE_PREFIX_DIR "${KN_WINE_PREFIX_DIR_SAVED}")
else()
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()

# kn_gtest(<target> [GUI]): registers a GoogleTest program. Natively each test case
# becomes a ctest test; under Wine the program is one ctest test (discovery would
# start Wine once more per build).
function(kn_gtest target)
  cmake_parse_arguments(ARG "GUI" "" "" ${ARGN})
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${target} COMMAND ${target})
    set_tests_properties(${target} PROPERTIES LABELS "wine")
    if(ARG_GUI)
      set_property(TEST ${target} APPEND PROPERTY LABELS "gui")
    endif()
  else()
    gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "native")
  endif()
endfunction()
