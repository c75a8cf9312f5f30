/* SPDX-License-Identifier: MIT WITH fmt-exception */
/* What brantle's output is defined by: one byte read from a text stream and
   one "%02x" printed at a time. The armhf figures compare brantle with it.
     brantle-per-byte FILE */
#include <stdio.h>

int main(int argc, char** argv) {
    FILE* f = argc == 2 ? fopen(argv[1], "r") : NULL;
    int c;
    if (!f) return 1;
    while ((c = fgetc(f)) != EOF) printf("%02x", c);
    return 0;
}
