# SPDX-License-Identifier: MIT WITH fmt-exception
# Run by cpack after it has made the packages. This CMake's archive generator
# writes the builder's own user as every entry's owner, so the tarball is
# written again with GNU tar: owned by root, in name order, every time
# SOURCE_DATE_EPOCH (cpack-project.cmake has set it), and gzip without a name
# or time of its own. Beside it, written the same way, NAME-debug.tar.gz
# holds the programs as built, unstripped, where the tarball has them
# (packaging.cmake), and the copyright file.

# run COMMAND...: execute_process that stops cpack when a command fails
# (COMMAND_ERROR_IS_FATAL came with CMake 3.19)
function(run)
  execute_process(${ARGN} RESULTS_VARIABLE results)
  foreach(result IN LISTS results)
    if(NOT result STREQUAL 0)
      message(FATAL_ERROR "${ARGN}: ${results}")
    endif()
  endforeach()
endfunction()

set(mtime)
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(mtime --mtime=@$ENV{SOURCE_DATE_EPOCH})
endif()
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(NOT package MATCHES "\\.tar\\.gz$")
    continue()
  endif()
  set(unpacked ${package}.unpacked)
  file(REMOVE_RECURSE ${unpacked})
  file(MAKE_DIRECTORY ${unpacked})
  run(COMMAND tar -xzpf ${package} -C ${unpacked})
  file(GLOB top RELATIVE ${unpacked} ${unpacked}/*)
  run(COMMAND tar --sort=name --format=gnu --owner=root:0 --group=root:0
              ${mtime} -C ${unpacked} -cf - ${top}
      COMMAND gzip -9n
      OUTPUT_FILE ${package})
  file(REMOVE_RECURSE ${unpacked})

  set(debug ${CPACK_PACKAGE_FILE_NAME}-debug)
  set(staging ${package}.debug)
  file(REMOVE_RECURSE ${staging})
  # a multi-config build has a list for each configuration, cpack -C's
  string(REPLACE "<CONFIG>" "${CPACK_BUILD_CONFIG}" list ${CPACK_BOARDTOOLS_DEBUG_PROGRAMS})
  file(STRINGS ${list} programs)
  file(COPY ${programs} DESTINATION ${staging}/${debug}${CPACK_PACKAGING_INSTALL_PREFIX}/bin)
  # the license goes wherever the programs go
  file(COPY ${CPACK_BOARDTOOLS_SOURCE_DIR}/docs/copyright
       DESTINATION ${staging}/${debug}${CPACK_PACKAGING_INSTALL_PREFIX}/share/doc/boardtools)
  # the modes too are fixed: the build's own follow the builder's umask
  run(COMMAND tar --sort=name --format=gnu --owner=root:0 --group=root:0 --mode=u=rwX,go=rX
              ${mtime} -C ${staging} -cf - ${debug}
      COMMAND gzip -9n
      OUTPUT_FILE ${CPACK_PACKAGE_DIRECTORY}/${debug}.tar.gz)
  file(REMOVE_RECURSE ${staging})
endforeach()
