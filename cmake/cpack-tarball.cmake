# SPDX-License-Identifier: MIT WITH fmt-exception
# Run by cpack after it has made the packages. This CMake's archive generator
# writes the builder's own user as every entry's owner, so the tarball is
# written again with GNU tar: owned by root, in name order, every time
# SOURCE_DATE_EPOCH (cpack-project.cmake has set it), and gzip without a name
# or time of its own. Beside it, written the same way, NAME-debug.tar.gz
# holds the programs as built, unstripped, where the tarball has them
# (packaging.cmake), and the copyright file.
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
  execute_process(COMMAND tar -xzpf ${package} -C ${unpacked} COMMAND_ERROR_IS_FATAL ANY)
  file(GLOB top RELATIVE ${unpacked} ${unpacked}/*)
  execute_process(COMMAND tar --sort=name --format=gnu --owner=root:0 --group=root:0
                          ${mtime} -C ${unpacked} -cf - ${top}
                  COMMAND gzip -9n
                  OUTPUT_FILE ${package} COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${unpacked})

  set(debug ${CPACK_PACKAGE_FILE_NAME}-debug)
  set(staging ${package}.debug)
  file(REMOVE_RECURSE ${staging})
  file(STRINGS ${CPACK_BOARDTOOLS_DEBUG_PROGRAMS} programs)
  file(COPY ${programs} DESTINATION ${staging}/${debug}${CPACK_PACKAGING_INSTALL_PREFIX}/bin)
  # the license goes wherever the programs go
  file(COPY ${CPACK_BOARDTOOLS_SOURCE_DIR}/docs/copyright
       DESTINATION ${staging}/${debug}${CPACK_PACKAGING_INSTALL_PREFIX}/share/doc/boardtools)
  # the modes too are fixed: the build's own follow the builder's umask
  execute_process(COMMAND tar --sort=name --format=gnu --owner=root:0 --group=root:0 --mode=u=rwX,go=rX
                          ${mtime} -C ${staging} -cf - ${debug}
                  COMMAND gzip -9n
                  OUTPUT_FILE ${CPACK_PACKAGE_DIRECTORY}/${debug}.tar.gz COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${staging})
endforeach()
