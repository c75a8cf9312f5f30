/* SPDX-License-Identifier: MIT WITH fmt-exception */
/* A C89 caller of the installed library: built with the C compiler alone, so
 * it links only if the library needs nothing of the C++ run-time.
 * use_boardutil DIR: DIR is a scratch directory for its settings file. */
#include <stdio.h>
#include <string.h>

#include <boardutil/boardutil.h>

static int failures = 0;

static void check(int ok, const char* what) {
    if (!ok) {
        printf("FAIL %s\n", what);
        ++failures;
    }
}

int main(int argc, char** argv) {
    char path[512];
    char text[RADIX_TEXT_SIZE];
    char value[SETTING_VALUE_SIZE];
    int number = 255;
    long wide = 0;
    FILE* f;

    if (argc != 2 || strlen(argv[1]) > 400) return 2;
    strcpy(path, argv[1]);
    strcat(path, "/board.conf");
    f = fopen(path, "w");
    if (!f) return 2;
    fputs("speed = 9600 # baud\nbig=3000000000\n", f);
    fclose(f);

    check(settings_load(path) == 2, "settings_load");
    check(strcmp(settings_get_text("speed"), "9600") == 0, "settings_get_text");
    check(settings_read_long("big", &wide) == 0 && wide == 2147483647L, "settings_read_long");
    check(setting_line_parse(" name = a b ", "name", value) == 0 && strcmp(value, "a b") == 0,
          "setting_line_parse");
    check(radix_format(16, text, &number) == 0 && strcmp(text, "FF") == 0, "radix_format");
    check(radix_convert(16, "FF", 2, text) == 0 && strcmp(text, "11111111") == 0, "radix_convert");
    check(bcd_to_decimal(0x1234) == 1234, "bcd_to_decimal");
    check(float_check(1.0f) == 0 && double_check(0.0) == 0, "float_check");
    check(fs_file_size_kb(path) == 0, "fs_file_size_kb");
    check(strcmp(fs_base_name(path), "board.conf") == 0, "fs_base_name");
    remove(path);
    if (failures == 0) printf("boardutil " BOARDUTIL_VERSION " works from C\n");
    return failures == 0 ? 0 : 1;
}
