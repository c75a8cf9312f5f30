/* SPDX-License-Identifier: MIT WITH fmt-exception */
/* The cross compiler's C++ headers were configured for glibc and test its
   version with __GLIBC_PREREQ; against musl no glibc version is met. */
#include_next <features.h>
#ifndef __GLIBC_PREREQ
#define __GLIBC_PREREQ(major, minor) 0
#endif
