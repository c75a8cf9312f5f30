// SPDX-License-Identifier: MIT WITH fmt-exception
#include <boardutil/settings_store.h>

#include <climits>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

#include "scratch.h"

namespace {

int load(const Scratch& s, const std::string& text) {
    unlink(s.path("settings").c_str());
    s.write("settings", 0, text);
    return settings_load(s.path("settings").c_str());
}

// Runs first in its own process, as CTest runs every test on its own.
TEST(SettingsStore, FindsNothingBeforeAnyLoad) {
    int value = 7;
    EXPECT_STREQ(settings_get_text(""), "");
    EXPECT_EQ(settings_read_int("", &value), -1);
    EXPECT_EQ(value, 0);
}

TEST(SettingsStore, DropsSpacesAndCommentsAndSplitsAtTheFirstEquals) {
    Scratch s;
    ASSERT_EQ(load(s, "name=5\n"
                      "other = 6\n"
                      "my key = a b c\n"
                      "a=b=c\n"
                      "speed=9600 # baud\n"
                      "tab\tkey=\tx\n"
                      "# comment\n"
                      "\n"
                      "flag\n"
                      "k=\n"),
              7);
    EXPECT_EQ(settings_get_int("name"), 5);
    EXPECT_EQ(settings_get_int("other"), 6);
    EXPECT_STREQ(settings_get_text("my"), "abc");
    EXPECT_STREQ(settings_get_text("my key"), "");
    EXPECT_STREQ(settings_get_text("a"), "bc");
    EXPECT_STREQ(settings_get_text("speed"), "9600");
    EXPECT_STREQ(settings_get_text("tab\tkey"), "\tx");
    EXPECT_STREQ(settings_get_text("flag"), "");
    int value = 9;
    EXPECT_EQ(settings_read_int("k", &value), 0);
    EXPECT_EQ(value, 0);
    EXPECT_STREQ(settings_get_text("k"), "");
    value = 9;
    EXPECT_EQ(settings_read_int("flag", &value), -1);
    EXPECT_EQ(value, 0);
}

TEST(SettingsStore, KeysAreCaseSensitiveAndTheEarliestEntryWins) {
    Scratch s;
    ASSERT_EQ(load(s, "Mode=1\nmode=2\nmode=3\n"), 3);
    EXPECT_EQ(settings_get_int("Mode"), 1);
    EXPECT_EQ(settings_get_int("mode"), 2);
    EXPECT_EQ(settings_get_int("MODE"), 0);
    EXPECT_EQ(settings_get_int("mod"), 0);  // lengths differ
}

TEST(SettingsStore, LinesThatStartWithASpaceHashOrEqualsHaveTheEmptyKey) {
    Scratch s;
    ASSERT_EQ(load(s, "first=1\n  name=5\n# x=1\n=7\n"), 4);
    EXPECT_EQ(settings_get_int("name"), 0);
    EXPECT_STREQ(settings_get_text(""), "5");  // the first of three with an empty key
    ASSERT_EQ(load(s, "# x=1\n  name=5\n"), 2);
    EXPECT_STREQ(settings_get_text(""), "");
}

TEST(SettingsStore, RemovesOneCarriageReturnFromTheText) {
    Scratch s;
    ASSERT_EQ(load(s, "k=v\r\nn=42\r\ntwo=x\r\r\nempty=\r\n"), 4);
    EXPECT_STREQ(settings_get_text("k"), "v");
    EXPECT_STREQ(settings_get_text("empty"), "");
    EXPECT_EQ(settings_get_int("n"), 42);
    long value = 0;
    EXPECT_EQ(settings_read_long("n", &value), 0);
    EXPECT_EQ(value, 42);
    EXPECT_STREQ(settings_get_text("two"), "x\r");
}

TEST(SettingsStore, LoadsAtMost1024Entries) {
    Scratch s;
    std::string text;
    for (int i = 0; i < 1030; ++i) text += "key" + std::to_string(i) + "=" + std::to_string(i) + "\nnot an entry\n";
    ASSERT_EQ(load(s, text), 1024);
    EXPECT_EQ(settings_get_int("key1023"), 1023);
    int value = 5;
    EXPECT_EQ(settings_read_int("key1024", &value), -1);
    EXPECT_EQ(value, 0);
}

TEST(SettingsStore, AFailedLoadEmptiesTheTable) {
    Scratch s;
    ASSERT_EQ(load(s, "k=1\n"), 1);
    EXPECT_EQ(settings_load(s.path("missing").c_str()), -1);
    long value = 3;
    EXPECT_EQ(settings_read_long("k", &value), -1);
    EXPECT_EQ(value, 0);
    // a directory opens but cannot be read: a failure too, not an empty file
    ASSERT_EQ(load(s, "k=1\n"), 1);
    s.mkdirs("dir");
    EXPECT_EQ(settings_load(s.path("dir").c_str()), -1);
    EXPECT_STREQ(settings_get_text("k"), "");
}

TEST(SettingsStore, ALaterLoadReplacesTheTable) {
    Scratch s;
    ASSERT_EQ(load(s, "a=1\nb=2\n"), 2);
    s.write("other", 0, "b=3\n");
    ASSERT_EQ(settings_load(s.path("other").c_str()), 1);
    EXPECT_EQ(settings_get_int("a"), 0);
    EXPECT_EQ(settings_get_int("b"), 3);
}

TEST(SettingsStore, ReadsAFinalLineWithoutNewline) {
    Scratch s;
    ASSERT_EQ(load(s, "a=1\nlast=2"), 2);
    EXPECT_EQ(settings_get_int("last"), 2);
    ASSERT_EQ(load(s, "only"), 0);
}

TEST(SettingsStore, ScansTheFirst2047CharactersOfALongLineAndDropsTheRest) {
    Scratch s;
    // key and value fill the read; the rest holds '=' and text that would
    // be an entry of its own if the line were split
    std::string value(2047 - 4, 'v');
    std::string text = "key=" + value + "tail=x\nnext=1\n";
    ASSERT_EQ(load(s, text), 2);
    EXPECT_EQ(settings_get_text("key"), value);
    EXPECT_EQ(settings_get_int("next"), 1);
    EXPECT_EQ(settings_get_int("tail"), 0);
    EXPECT_STREQ(settings_get_text(""), "");

    // the longest line taken whole: 2046 characters and its newline, with the
    // next line a line of its own
    std::string whole(2046 - 2, 'w');
    ASSERT_EQ(load(s, "k=" + whole + "\nnext=1\n"), 2);
    EXPECT_EQ(settings_get_text("k"), whole);
    EXPECT_EQ(settings_get_int("next"), 1);

    // the longest key fills the slot but for its terminating zero; a line
    // whose '=' lies past its first 2047 characters is no entry
    std::string key(2046, 'k');
    ASSERT_EQ(load(s, key + "=\n" + std::string(5000, 'x') + "=1\n"), 1);
    int found = 9;
    EXPECT_EQ(settings_read_int(key.c_str(), &found), 0);
}

TEST(SettingsStore, StoresTabsAndOtherBytesAsTheyAre) {
    Scratch s;
    ASSERT_EQ(load(s, "t=\ta\xff\n"), 1);
    EXPECT_STREQ(settings_get_text("t"), "\ta\xff");
}

// The board's int and long are 32 bits: atoi and atol clamp there, and the
// host gives the same results.
TEST(SettingsStore, NumbersReadAsTheBoardReadsThem) {
    Scratch s;
    ASSERT_EQ(load(s, "big=3000000000\nsmall=-3000000000\nwrap=4294967301\nmax=2147483647\nmin=-2147483648\n"
                      "x=12abc\nneg=-5\nplus=+7\nno=abc\nws=\t9\n"),
              10);
    EXPECT_EQ(settings_get_int("big"), INT_MAX);
    EXPECT_EQ(settings_get_long("big"), 2147483647L);
    EXPECT_EQ(settings_get_int("small"), INT_MIN);
    EXPECT_EQ(settings_get_long("small"), -2147483647L - 1);
    EXPECT_EQ(settings_get_int("wrap"), INT_MAX);
    EXPECT_EQ(settings_get_long("wrap"), 2147483647L);
    EXPECT_EQ(settings_get_int("max"), INT_MAX);
    EXPECT_EQ(settings_get_int("min"), INT_MIN);
    EXPECT_EQ(settings_get_int("x"), 12);
    EXPECT_EQ(settings_get_long("neg"), -5L);
    EXPECT_EQ(settings_get_int("plus"), 7);
    EXPECT_EQ(settings_get_int("no"), 0);
    EXPECT_EQ(settings_get_int("ws"), 9);
    long l = 0;
    EXPECT_EQ(settings_read_long("small", &l), 0);
    EXPECT_EQ(l, -2147483647L - 1);
    int i = 0;
    EXPECT_EQ(settings_read_int("big", &i), 0);
    EXPECT_EQ(i, INT_MAX);
}

}  // namespace
