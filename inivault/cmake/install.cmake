# Install rules, the CMake package, the pkg-config file and (Linux) the Debian
# packages. Components: runtime (what a program needs to run), development (what a
# caller needs to build), tools (the inivault program and its manual page).
include(CMakePackageConfigHelpers)

set(iv_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Inivault)
set(iv_doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/inivault)

install(TARGETS Inivault EXPORT InivaultTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
install(FILES include/inivault.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)
if(INIVAULT_LLVM_DLLTOOL)
  install(FILES $<TARGET_LINKER_FILE_DIR:Inivault>/Inivault.lib
          DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
endif()
if(NOT WIN32)
  install(TARGETS inivault RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
  install(FILES ${iv_man_gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
endif()
install(FILES README.md ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION ${iv_doc_dir} COMPONENT development)

install(EXPORT InivaultTargets NAMESPACE Inivault:: DESTINATION ${iv_cmake_dir} COMPONENT development)
configure_package_config_file(cmake/InivaultConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/InivaultConfig.cmake
  INSTALL_DESTINATION ${iv_cmake_dir})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/InivaultConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/InivaultConfig.cmake ${CMAKE_CURRENT_BINARY_DIR}/InivaultConfigVersion.cmake
        DESTINATION ${iv_cmake_dir} COMPONENT development)

# The .pc file finds the prefix from where it lies, so an unpacked tree works anywhere.
set(iv_pc_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
if(IS_ABSOLUTE "${iv_pc_dir}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  message(FATAL_ERROR "inivault.pc needs CMAKE_INSTALL_LIBDIR and CMAKE_INSTALL_INCLUDEDIR relative to the prefix")
endif()
file(RELATIVE_PATH iv_pc_to_prefix /prefix/${iv_pc_dir} /prefix)
string(REGEX REPLACE "/$" "" iv_pc_to_prefix "${iv_pc_to_prefix}")
if(WIN32)
  set(iv_pc_libs "-lInivault -loleaut32")
else()
  set(iv_pc_libs "-lInivault")
endif()
configure_file(cmake/inivault.pc.in ${CMAKE_CURRENT_BINARY_DIR}/inivault.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/inivault.pc DESTINATION ${iv_pc_dir} COMPONENT development)

if(NOT WIN32)
  include(cmake/deb.cmake)
endif()
