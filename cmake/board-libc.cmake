# SPDX-License-Identifier: MIT WITH fmt-exception
# With BOARDTOOLS_MUSL the programs, the utility library and the fake board
# preloaded into the programs are built against musl, the board's C library:
# with Debian's cross compiler, run through musl-dev:armhf's wrapper
# arm-linux-musleabihf-gcc (board-libc/with-musl). The test tools (GoogleTest,
# the case runner, the line's far end) stay on the cross compiler's glibc:
# they need the C++ run-time, which Debian builds for glibc only. The programs
# use none of it, only header-only parts of the C++ library, whose
# glibc-configured headers need two things from here: __GLIBC_PREREQ
# (board-libc/features.h) and the kernel's headers, which musl does not carry
# (linux/spi/spidev.h).
include(CheckCSourceCompiles)
set(CMAKE_REQUIRED_QUIET ON)
check_c_source_compiles("#if !defined(__arm__) || !defined(__ARM_PCS_VFP) || defined(__ARMEB__)
#error not armhf
#endif
int main(void) { return 0; }" BOARDTOOLS_MUSL_TARGET_ARMHF)
unset(CMAKE_REQUIRED_QUIET)
if(NOT BOARDTOOLS_MUSL_TARGET_ARMHF)
  message(FATAL_ERROR "BOARDTOOLS_MUSL builds for 32-bit ARM hard-float (armhf) alone, and this compiler builds for another processor: configure without it")
endif()
find_program(BOARDTOOLS_MUSL_GCC arm-linux-musleabihf-gcc)
if(NOT BOARDTOOLS_MUSL_GCC)
  message(FATAL_ERROR "BOARDTOOLS_MUSL needs musl for armhf: arm-linux-musleabihf-gcc is missing (Debian: musl-dev:armhf)")
endif()
set(musl_launcher ${CMAKE_CURRENT_LIST_DIR}/board-libc/with-musl)

# The wrapper replaces every system include folder with musl's: for C++
# sources the C++ library's folders come back first, then the features.h
# above. C sources need neither.
set(cxx_folders)
set(kernel_headers)
foreach(folder IN LISTS CMAKE_CXX_IMPLICIT_INCLUDE_DIRECTORIES)
  if(folder MATCHES "/c\\+\\+/")
    list(APPEND cxx_folders "$<$<COMPILE_LANGUAGE:CXX>:SHELL:-isystem ${folder}>")
  elseif(EXISTS ${folder}/linux/spi/spidev.h AND NOT kernel_headers)
    # the cross compiler's own come before the build machine's /usr/include
    set(kernel_headers ${folder})
  endif()
endforeach()
if(NOT cxx_folders OR NOT kernel_headers)
  message(FATAL_ERROR "The cross compiler's C++ or kernel header folders were not found")
endif()

# only the kernel's own folders, after musl's, so that nothing of glibc's
# headers can stand in for one that musl lacks
set(kernel_folder ${PROJECT_BINARY_DIR}/board-libc/kernel)
file(MAKE_DIRECTORY ${kernel_folder})
foreach(part linux asm asm-generic)
  file(CREATE_LINK ${kernel_headers}/${part} ${kernel_folder}/${part} SYMBOLIC)
endforeach()

set(BOARDTOOLS_BOARD_LIBC_COMPILE
    ${cxx_folders}
    "$<$<COMPILE_LANGUAGE:CXX>:SHELL:-isystem ${CMAKE_CURRENT_LIST_DIR}/board-libc>"
    "SHELL:-idirafter ${kernel_folder}")

# Builds target against the board's C library.
function(boardtools_board_libc target)
  set_target_properties(${target} PROPERTIES CXX_COMPILER_LAUNCHER ${musl_launcher}
                                              CXX_LINKER_LAUNCHER ${musl_launcher}
                                              C_COMPILER_LAUNCHER ${musl_launcher}
                                              C_LINKER_LAUNCHER ${musl_launcher})
  target_compile_options(${target} PRIVATE ${BOARDTOOLS_BOARD_LIBC_COMPILE})
  # a dynamic link must not reach the glibc-built libstdc++.so: the static
  # one is only searched, and nothing of it is used
  target_link_options(${target} PRIVATE -static-libstdc++)
  # the wrapper's own link rules replace Debian's, which pass --build-id:
  # without the note a core dump from the board matches no program's symbols
  target_link_options(${target} PRIVATE -Wl,--build-id=sha1)
endfunction()
