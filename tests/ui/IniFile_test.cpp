#include "ui/IniFile.h"

#include "TempDir.h"
#include "net/IdException.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using ui::IniFile;

struct IntegerCase {
    const char* name;
    const char* text;
    std::optional<int> expected;
};

class ParseInteger : public ::testing::TestWithParam<IntegerCase> {};

TEST_P(ParseInteger, ReadsValue) {
    EXPECT_EQ(IniFile::parseInteger(GetParam().text), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Values, ParseInteger,
    ::testing::Values(
        // decimal
        IntegerCase{"Decimal", "185", 185}, IntegerCase{"Negative", "-40", -40},
        IntegerCase{"PlusSign", "+7", 7}, IntegerCase{"BlanksAround", "  12 ", 12},
        IntegerCase{"Zero", "0", 0}, IntegerCase{"Minimum", "-2147483648", INT32_MIN},
        IntegerCase{"Maximum", "2147483647", INT32_MAX},
        // hexadecimal
        IntegerCase{"HexPrefix0x", "0x1F", 31}, IntegerCase{"HexUpperX", "0X10", 16},
        IntegerCase{"HexDollar", "$ff", 255}, IntegerCase{"HexNegative", "-$10", -16},
        IntegerCase{"HexFullPattern", "$FFFFFFFF", -1},
        // malformed
        IntegerCase{"Empty", "", std::nullopt}, IntegerCase{"Letters", "abc", std::nullopt},
        IntegerCase{"TrailingGarbage", "12px", std::nullopt},
        IntegerCase{"InnerBlank", "1 2", std::nullopt},
        IntegerCase{"Overflow", "2147483648", std::nullopt},
        IntegerCase{"HexTooLong", "0x100000000", std::nullopt},
        IntegerCase{"BareHexPrefix", "0x", std::nullopt},
        IntegerCase{"BadHexDigit", "$1G", std::nullopt},
        IntegerCase{"SignOnly", "-", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(IniFileRead, MissingFileGivesDefaults) {
    TempDir dir;
    const IniFile ini(dir.file("absent.ini"));
    EXPECT_EQ(ini.readInteger("POSITION", "TOP", 20), 20);
    EXPECT_TRUE(ini.readBool("FILTER", "SUBJECT_EMPTY", true));
}

TEST(IniFileRead, SectionsAndKeysIgnoreCaseAndBlanks) {
    TempDir dir;
    dir.write("a.ini", "[position]\r\n top = 33 \r\nLeft=-5\r\n[Filter]\r\nSUBJECT_EMPTY=2\r\n");
    const IniFile ini(dir.file("a.ini"));
    EXPECT_EQ(ini.readInteger("POSITION", "TOP", 0), 33);
    EXPECT_EQ(ini.readInteger("POSITION", "LEFT", 0), -5);
    EXPECT_TRUE(ini.readBool("FILTER", "SUBJECT_EMPTY", false));
}

TEST(IniFileRead, KeyOfAnotherSectionIsNotTaken) {
    TempDir dir;
    dir.write("a.ini", "[SIZE]\nTOP=99\n[POSITION]\nLEFT=3\n");
    const IniFile ini(dir.file("a.ini"));
    EXPECT_EQ(ini.readInteger("POSITION", "TOP", 20), 20);
}

TEST(IniFileRead, MalformedValuesAndLinesGiveDefaults) {
    TempDir dir;
    dir.write("a.ini", "garbage line\n[POSITION\nTOP=1\n[SIZE]\nHEIGHT=tall\n=5\nWIDTH\n");
    const IniFile ini(dir.file("a.ini"));
    EXPECT_EQ(ini.readInteger("POSITION", "TOP", 20), 20);  // section line never closed
    EXPECT_EQ(ini.readInteger("SIZE", "HEIGHT", 450), 450);
    EXPECT_EQ(ini.readInteger("SIZE", "WIDTH", 580), 580);
    EXPECT_FALSE(ini.readBool("SIZE", "HEIGHT", false));
}

TEST(IniFileWrite, KeepsEveryOtherLineInPlace) {
    TempDir dir;
    const std::string original =
        "; written by hand\n"
        "[OTHER]\n"
        "name = keep me\n"
        "\n"
        "[POSITION]\n"
        "# the top edge\n"
        "TOP=1\n"
        "EXTRA=x\n"
        "\n"
        "[TAIL]\n"
        "z=1\n";
    dir.write("a.ini", original);
    IniFile ini(dir.file("a.ini"));
    ini.writeInteger("POSITION", "TOP", 44);
    ini.writeInteger("POSITION", "LEFT", 7);
    ini.writeBool("FILTER", "SUBJECT_EMPTY", true);
    ini.save();
    EXPECT_EQ(dir.read("a.ini"),
              "; written by hand\n"
              "[OTHER]\n"
              "name = keep me\n"
              "\n"
              "[POSITION]\n"
              "# the top edge\n"
              "TOP=44\n"
              "EXTRA=x\n"
              "LEFT=7\n"
              "\n"
              "[TAIL]\n"
              "z=1\n"
              "[FILTER]\n"
              "SUBJECT_EMPTY=1\n");
}

TEST(IniFileWrite, KeepsCrLfLineEnds) {
    TempDir dir;
    dir.write("a.ini", "[SIZE]\r\nWIDTH=1\r\n");
    IniFile ini(dir.file("a.ini"));
    ini.writeInteger("SIZE", "HEIGHT", 2);
    ini.save();
    EXPECT_EQ(dir.read("a.ini"), "[SIZE]\r\nWIDTH=1\r\nHEIGHT=2\r\n");
}

TEST(IniFileWrite, CreatesMissingFolder) {
    TempDir dir;
    IniFile ini(dir.file("sub/dir/a.ini"));
    ini.writeInteger("SIZE", "WIDTH", -3);
    ini.save();
    EXPECT_EQ(dir.read("sub/dir/a.ini"), "[SIZE]\nWIDTH=-3\n");
}

TEST(IniFileWrite, FailedWriteKeepsOldFile) {
    if (geteuid() == 0) GTEST_SKIP() << "root ignores folder permissions";
    TempDir dir;
    dir.write("a.ini", "[SIZE]\nWIDTH=1\n");
    IniFile ini(dir.file("a.ini"));
    ini.writeInteger("SIZE", "WIDTH", 2);
    chmod(dir.path().c_str(), 0500);
    EXPECT_THROW(ini.save(), EIdException);
    chmod(dir.path().c_str(), 0700);
    EXPECT_EQ(dir.read("a.ini"), "[SIZE]\nWIDTH=1\n");
}

TEST(IniFileWrite, FailedRenameKeepsOldFileAndLeavesNoTemporary) {
    // The target is a folder: the new file is written, the rename fails.
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "a.ini");
    dir.write("a.ini/inside", "keep");
    IniFile ini(dir.file("a.ini"));
    ini.writeInteger("SIZE", "WIDTH", 2);
    EXPECT_THROW(ini.save(), EIdException);
    EXPECT_EQ(dir.read("a.ini/inside"), "keep");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "a.ini.new"));
}

}  // namespace
