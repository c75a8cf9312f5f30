// SPDX-License-Identifier: MIT WITH fmt-exception
#include <boardutil/setting_line.h>

#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace {

// The value that line gives key, or "<miss>" (and then the output must be
// as it was).
std::string parse(const std::string& line, const char* key) {
    char value[SETTING_VALUE_SIZE + 8];
    std::memset(value, '@', sizeof value);
    value[sizeof value - 1] = '\0';
    std::string before(value);
    if (setting_line_parse(line.c_str(), key, value) != 0) return before == value ? "<miss>" : "<miss, output changed>";
    return value;
}

TEST(SettingLine, MatchesTheKeyAndTrimsTheValue) {
    EXPECT_EQ(parse(" speed = 9600 ", "speed"), "9600");
    EXPECT_EQ(parse("speed=9600 # baud", "speed"), "9600");
    EXPECT_EQ(parse("name = a b", "name"), "a b");
    EXPECT_EQ(parse("my key = 1", "my key"), "1");
    EXPECT_EQ(parse("my key = 1", "my"), "<miss>");
    EXPECT_EQ(parse("path=a=b", "path"), "a=b");
    EXPECT_EQ(parse("speed=9600\r\n", "speed"), "9600");
    EXPECT_EQ(parse("sp\reed=96\n00", "speed"), "9600");  // removed wherever they stand
    EXPECT_EQ(parse("k=", "k"), "");
    EXPECT_EQ(parse("k = \x01v\x01 ", "k"), "\x01v\x01");  // a control byte is text, not a blank
}

TEST(SettingLine, MissesOtherKeysAndLeavesTheOutputAlone) {
    EXPECT_EQ(parse("Speed=9600", "speed"), "<miss>");
    EXPECT_EQ(parse("# speed=1", "speed"), "<miss>");
    EXPECT_EQ(parse("\tspeed=1", "speed"), "<miss>");
    EXPECT_EQ(parse("speed=1", " speed"), "<miss>");
    EXPECT_EQ(parse("speed=1", "speed "), "<miss>");
    EXPECT_EQ(parse("speed 9600", "speed"), "<miss>");
}

TEST(SettingLine, ALineWithoutEqualsMatchesOnlyTheEmptyKey) {
    EXPECT_EQ(parse("speed 9600", ""), "");
    EXPECT_EQ(parse("", ""), "");
    EXPECT_EQ(parse("=x", ""), "x");
}

TEST(SettingLine, NeverChangesTheCallersLine) {
    char line[] = " speed = 9600 # baud\r\n";
    char value[SETTING_VALUE_SIZE];
    ASSERT_EQ(setting_line_parse(line, "speed", value), 0);
    EXPECT_STREQ(line, " speed = 9600 # baud\r\n");
}

TEST(SettingLine, CutsOverlongPartsToTheirAreas) {
    // the line copy holds 255 characters: the '=' beyond them is gone
    EXPECT_EQ(parse(std::string(255, 'k') + "=1", ""), "");
    // the key part holds 63 characters
    std::string key63(63, 'k');
    EXPECT_EQ(parse(key63 + "=1", key63.c_str()), "1");
    EXPECT_EQ(parse(key63 + "k=1", key63.c_str()), "1");
    // the value part holds 191, the trim 127 after its leading spaces
    EXPECT_EQ(parse("k=" + std::string(200, 'v'), "k"), std::string(127, 'v'));
    EXPECT_EQ(parse("k=" + std::string(60, ' ') + std::string(100, 'v') + std::string(40, ' '), "k"),
              std::string(100, 'v'));
    EXPECT_EQ(parse("k=" + std::string(150, ' ') + "v", "k"), "v");
}

TEST(SettingLineTrim, RemovesOnlySpacesAtTheEnds) {
    EXPECT_STREQ(setting_line_trim(""), "");
    EXPECT_STREQ(setting_line_trim("    "), "");
    EXPECT_STREQ(setting_line_trim("  a b  "), "a b");
    EXPECT_STREQ(setting_line_trim("\ta\t "), "\ta\t");
    EXPECT_STREQ(setting_line_trim((std::string(5, ' ') + std::string(300, 'x')).c_str()), std::string(127, 'x').c_str());
}

TEST(SettingLineTrim, ReturnsOneAreaThatTheNextCallOverwrites) {
    const char* first = setting_line_trim(" one ");
    const char* second = setting_line_trim("two");
    EXPECT_EQ(first, second);
    EXPECT_STREQ(first, "two");
    char value[SETTING_VALUE_SIZE];
    ASSERT_EQ(setting_line_parse("key = val", "key", value), 0);
    EXPECT_STREQ(first, "val");  // the trimmed value is left there
    ASSERT_EQ(setting_line_parse("key = val", "other", value), -1);
    EXPECT_STREQ(first, "key");
}

}  // namespace
