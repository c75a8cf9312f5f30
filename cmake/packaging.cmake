# Release packages of a build: a Debian package and a .tar.gz, both named
# after the build's architecture (armhf for the board, the host's otherwise).
if(CMAKE_CROSSCOMPILING)
  set(arch armhf)
else()
  execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE arch OUTPUT_STRIP_TRAILING_WHITESPACE)
endif()

set(CPACK_PACKAGE_NAME boardtools)
set(CPACK_PACKAGE_VENDOR "Board tools maintainers")
set(CPACK_PACKAGE_CONTACT "Board tools maintainers <maintainers@boardtools.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "service tools for the embedded controller board")
set(CPACK_PACKAGE_DESCRIPTION
    "Small command-line programs that a service engineer runs on the controller\nboard: a task page converter, a hex dump, serial line tests, and SPI and\nphysical-memory register tools.")
set(CPACK_GENERATOR DEB TGZ)
set(CPACK_STRIP_FILES ON)
set(CPACK_SYSTEM_NAME ${arch})
set(CPACK_PACKAGE_FILE_NAME boardtools-${PROJECT_VERSION}-${arch})
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${arch})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
if(NOT CMAKE_CROSSCOMPILING)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Reproducible packages: every time in them is the last commit's
# (cpack-project.cmake), and the tarball's entries are root's, in name order
# (cpack-tarball.cmake); the build maps its folders out of what it compiles.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/cpack-project.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/cpack-tarball.cmake)
set(CPACK_BOARDTOOLS_SOURCE_DIR ${PROJECT_SOURCE_DIR})
# The packages hold the programs stripped; the same step keeps them as built,
# with their symbols, in NAME-debug.tar.gz beside the tarball
# (cpack-tarball.cmake), so that a core dump is read with symbols. The
# stripped and the debug copy of a program carry the same build-id.
get_property(debug_programs GLOBAL PROPERTY SUITE_PROGRAMS)
list(TRANSFORM debug_programs REPLACE "(.+)" "$<TARGET_FILE:\\1>")
list(JOIN debug_programs "\n" debug_programs)
set(CPACK_BOARDTOOLS_DEBUG_PROGRAMS ${CMAKE_BINARY_DIR}/cpack-debug-programs.txt)
file(GENERATE OUTPUT ${CPACK_BOARDTOOLS_DEBUG_PROGRAMS} CONTENT "${debug_programs}\n")
include(CPack)
