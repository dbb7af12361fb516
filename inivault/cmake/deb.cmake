# Debian packages of the native build: `cpack -G DEB` in the build folder gives
# libinivault1 (the library), libinivault-dev (header, CMake package, .pc, import
# link) and inivault-tools (the program and its manual page). The tool has a package
# of its own so that a later libinivault2 can be installed beside libinivault1.
set(INIVAULT_DEB_MAINTAINER "Klangnetz DesktopTool contributors" CACHE STRING
    "Maintainer field of the Debian packages")

set(iv_runtime_pkg libinivault${PROJECT_VERSION_MAJOR})
# Each package carries the licence where Debian looks for it; a plain install (no
# component named) leaves these out.
foreach(pair ${iv_runtime_pkg}:runtime libinivault-dev:development inivault-tools:tools)
  string(REPLACE ":" ";" pair ${pair})
  list(GET pair 0 pkg)
  list(GET pair 1 component)
  install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${pkg}
          RENAME copyright COMPONENT ${component} EXCLUDE_FROM_ALL)
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME inivault)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Klangnetz)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL runtime development tools)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${INIVAULT_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${iv_runtime_pkg})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# Lets packages built against the library depend on this version or later (only the
# runtime package holds a shared object, so only it gets a shlibs file).
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# dpkg runs ldconfig once after all packages of a run through its trigger.
file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/deb/triggers CONTENT "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_BINARY_DIR}/deb/triggers)
string(CONCAT CPACK_COMPONENT_RUNTIME_DESCRIPTION
    "settings-file library with a C interface\n"
    "Inivault keeps one INI document per process that a program reads from a\n"
    "file, queries, changes and writes back safely, plus a cipher that scrambles\n"
    "strings and whole files. Settings files scrambled with the built-in file key\n"
    "are read transparently.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libinivault-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "${iv_runtime_pkg} (= ${PROJECT_VERSION})")
string(CONCAT CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION
    "settings-file library with a C interface - development files\n"
    "The header inivault.h, the link to the library, the CMake package\n"
    "(find_package(Inivault), target Inivault::Inivault) and the pkg-config file\n"
    "inivault.pc.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME inivault-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
string(CONCAT CPACK_COMPONENT_TOOLS_DESCRIPTION
    "inspect and edit Inivault settings files from the shell\n"
    "The inivault program prints, reads and sets values of settings files,\n"
    "scrambled or not, and scrambles or unscrambles whole files.")

include(CPack)
