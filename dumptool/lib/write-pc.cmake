# SPDX-License-Identifier: MIT WITH fmt-exception
# Run by the install (CMakeLists.txt sets boardutil_pc_*): writes the
# pkg-config file for the prefix that this install goes to, then installs it
# as install(FILES) would, under DESTDIR where one is given. With
# BOARDTOOLS_PC_RELOCATABLE in the environment the prefix is found from where
# the file lies instead, for a tree that is unpacked and used anywhere.
if(DEFINED ENV{BOARDTOOLS_PC_RELOCATABLE} AND NOT IS_ABSOLUTE "${boardutil_pc_libdir}")
  file(RELATIVE_PATH up "/prefix/${boardutil_pc_libdir}/pkgconfig" "/prefix")
  string(REGEX REPLACE "(.)/$" "\\1" pc_prefix "\${pcfiledir}/${up}")
else()
  set(pc_prefix "${CMAKE_INSTALL_PREFIX}")
endif()
# absolute DIR BASE OUT: DIR where it is absolute, else BASE/DIR
function(absolute dir base out)
  string(REGEX REPLACE "/$" "" base "${base}")
  if(NOT IS_ABSOLUTE "${dir}")
    set(dir "${base}/${dir}")
  endif()
  set(${out} "${dir}" PARENT_SCOPE)
endfunction()
absolute("${boardutil_pc_libdir}" "\${prefix}" pc_libdir)
absolute("${boardutil_pc_includedir}" "\${prefix}" pc_includedir)
set(pc_version "${boardutil_pc_version}")
file(READ "${boardutil_pc_template}" text)
string(CONFIGURE "${text}" text @ONLY)
file(WRITE "${boardutil_pc_file}" "${text}")
absolute("${boardutil_pc_libdir}" "${CMAKE_INSTALL_PREFIX}" libdir)
file(INSTALL DESTINATION "${libdir}/pkgconfig" TYPE FILE FILES "${boardutil_pc_file}")
