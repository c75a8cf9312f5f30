# SPDX-License-Identifier: MIT WITH fmt-exception
# Read by cpack before it makes each package. The packages are reproducible:
# every time in them is SOURCE_DATE_EPOCH, which the environment may give and
# is otherwise the time of the last commit of the tree: in a source release,
# which is no git checkout, as commit-time holds it (git archive writes it).
# CPackSourceConfig.cmake, alone in setting CPACK_INSTALLED_DIRECTORIES, would
# pack the folder as it lies, build folders and all
if(CPACK_INSTALLED_DIRECTORIES)
  message(FATAL_ERROR "The source release is made by scripts/release, from a commit: boardtools-VERSION.tar.gz")
endif()
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/commit-time epoch LIMIT_COUNT 1)
  if(NOT epoch MATCHES "^[0-9]+$")
    execute_process(COMMAND git -C ${CPACK_BOARDTOOLS_SOURCE_DIR} log -1 --format=%ct
                    OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  endif()
  if(epoch)
    set(ENV{SOURCE_DATE_EPOCH} ${epoch})
  else()
    message(WARNING "no SOURCE_DATE_EPOCH and no commit: the packages carry today's times")
  endif()
endif()

if(NOT CPACK_BUILD_CONFIG AND CPACK_BOARDTOOLS_DEFAULT_CONFIG)
  set(CPACK_BUILD_CONFIG ${CPACK_BOARDTOOLS_DEFAULT_CONFIG})
endif()

# A package is unpacked and used anywhere (dpkg-deb -x, the tarball), so its
# pkg-config file finds the prefix from where it lies (write-pc.cmake).
set(ENV{BOARDTOOLS_PC_RELOCATABLE} 1)

# The board's tarball, in the build whose Debian packages are split, is for
# boards without dpkg: the programs and their plain-text pages
# (packaging.cmake).
if(CPACK_GENERATOR STREQUAL "TGZ" AND CPACK_DEB_COMPONENT_INSTALL)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_COMPONENTS_ALL programs)
endif()
