# SPDX-License-Identifier: MIT WITH fmt-exception
# Release packages of a build: Debian packages (two for the board, one for the
# host) and a .tar.gz, named after the build's architecture as dpkg names it
# (armhf for the board, the host's for a host build).

# dpkg's name for the architecture that the compiler builds for: dpkg's own
# answer where it can tell, else one from the compiler's target triplet,
# else the processor's name; never empty.
function(boardtools_dpkg_arch out)
  set(arch "")
  if(NOT CMAKE_CROSSCOMPILING)
    execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE arch OUTPUT_STRIP_TRAILING_WHITESPACE
                    ERROR_QUIET)
  endif()
  set(triplet ${CMAKE_C_COMPILER_TARGET})
  if(NOT arch AND NOT triplet)
    execute_process(COMMAND ${CMAKE_C_COMPILER} -dumpmachine OUTPUT_VARIABLE triplet
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  endif()
  if(NOT arch AND triplet)
    execute_process(COMMAND dpkg-architecture -t${triplet} -qDEB_HOST_ARCH OUTPUT_VARIABLE arch
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  endif()
  if(NOT arch)
    # without dpkg: the common ones (armhf is 32-bit ARM with hard float)
    foreach(pair "^arm.*-(gnu|musl)eabihf$=armhf" "^arm.*-(gnu|musl)eabi$=armel" "^aarch64-=arm64"
                 "^x86_64-=amd64" "^i[3-6]86-=i386" "^riscv64-=riscv64" "^powerpc64le-=ppc64el")
      string(REPLACE "=" ";" pair ${pair})
      list(GET pair 0 pattern)
      list(GET pair 1 name)
      if(triplet MATCHES "${pattern}")
        set(arch ${name})
        break()
      endif()
    endforeach()
  endif()
  if(NOT arch)
    string(TOLOWER "${CMAKE_SYSTEM_PROCESSOR}" arch)
  endif()
  if(NOT arch)
    set(arch unknown)
  endif()
  set(${out} ${arch} PARENT_SCOPE)
endfunction()

if(BOARDTOOLS_DEBIAN_LAYOUT)
  set(arch armhf)
else()
  boardtools_dpkg_arch(arch)
endif()

set(CPACK_PACKAGE_NAME boardtools)
set(CPACK_PACKAGE_VENDOR "Board tools maintainers")
set(CPACK_PACKAGE_CONTACT "Board tools maintainers <maintainers@boardtools.invalid>")
set(tools_summary "service tools for the embedded controller board")
set(tools_description
    "Small command-line programs that a service engineer runs on the controller\nboard: a task page converter, a hex dump, serial line tests, and SPI and\nphysical-memory register tools.")
set(CPACK_GENERATOR DEB TGZ)
if(BOARDTOOLS_DEBIAN_LAYOUT)
  # The board's release is two Debian packages: boardtools, the programs
  # (component programs) with their pages and documents (docs), and
  # libboardutil-dev, the utility library (library). The tarball, for boards
  # without dpkg, holds the programs and their plain-text pages only
  # (cpack-project.cmake).
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL programs docs library)
  set(CPACK_COMPONENT_PROGRAMS_GROUP tools)
  set(CPACK_COMPONENT_DOCS_GROUP tools)
  set(CPACK_COMPONENT_LIBRARY_GROUP dev)
  set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME boardtools)
  set(CPACK_DEBIAN_DEV_PACKAGE_NAME libboardutil-dev)
  set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
  # each description's first line is its package's summary, as long as no
  # summary of the whole release is set
  set(CPACK_DEBIAN_TOOLS_DESCRIPTION "${tools_summary}\n${tools_description}")
  set(CPACK_DEBIAN_DEV_DESCRIPTION
      "static utility library of the board's service tools\nSettings files, single setting lines, radix and BCD conversion,\nfloating-point checks and file-system queries, for C and C++ callers.\nThe static library comes twice: for Debian's cross compiler or an armhf\nsystem, on glibc, in /usr/lib/arm-linux-gnueabihf, and for static\nprograms on musl, as the board's tools are built, in\n/usr/lib/arm-linux-musleabihf. Each folder has its own pkg-config file\nand CMake package.")
else()
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${tools_summary})
  set(CPACK_PACKAGE_DESCRIPTION ${tools_description})
endif()
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
# The source release is scripts/release's; cpack's source package, one
# generator of it, stops in cpack-project.cmake and says so.
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/cpack-tarball.cmake)
set(CPACK_BOARDTOOLS_SOURCE_DIR ${PROJECT_SOURCE_DIR})
# The packages hold the programs stripped; the same step keeps them as built,
# with their symbols, in NAME-debug.tar.gz beside the tarball
# (cpack-tarball.cmake), so that a core dump is read with symbols. The
# stripped and the debug copy of a program carry the same build-id.
get_property(debug_programs GLOBAL PROPERTY BOARDTOOLS_PROGRAMS)
list(TRANSFORM debug_programs REPLACE "(.+)" "$<TARGET_FILE:\\1>")
list(JOIN debug_programs "\n" debug_programs)
# A multi-config generator writes one list for each configuration, where the
# programs lie apart (cpack-tarball.cmake puts cpack -C's in for <CONFIG>).
get_property(multi_config GLOBAL PROPERTY GENERATOR_IS_MULTI_CONFIG)
if(multi_config)
  set(CPACK_BOARDTOOLS_DEBUG_PROGRAMS ${PROJECT_BINARY_DIR}/cpack-debug-programs-<CONFIG>.txt)
  set(list ${PROJECT_BINARY_DIR}/cpack-debug-programs-$<CONFIG>.txt)
  # cpack without -C packs what a build without --config builds
  set(CPACK_BOARDTOOLS_DEFAULT_CONFIG ${CMAKE_DEFAULT_BUILD_TYPE})
  if(NOT CPACK_BOARDTOOLS_DEFAULT_CONFIG)
    list(GET CMAKE_CONFIGURATION_TYPES 0 CPACK_BOARDTOOLS_DEFAULT_CONFIG)
  endif()
else()
  set(CPACK_BOARDTOOLS_DEBUG_PROGRAMS ${PROJECT_BINARY_DIR}/cpack-debug-programs.txt)
  set(list ${CPACK_BOARDTOOLS_DEBUG_PROGRAMS})
endif()
file(GENERATE OUTPUT ${list} CONTENT "${debug_programs}\n")
include(CPack)
