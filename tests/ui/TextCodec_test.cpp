#include "ui/TextCodec.h"

#include <gtest/gtest.h>

namespace {

struct Utf8Case {
    const char* name;
    std::string bytes;
    bool valid;
};

class Utf8Validity : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8Validity, Classifies) { EXPECT_EQ(ui::isValidUtf8(GetParam().bytes), GetParam().valid); }

INSTANTIATE_TEST_SUITE_P(
    Sequences, Utf8Validity,
    ::testing::Values(Utf8Case{"Ascii", "plain", true}, Utf8Case{"Empty", "", true},
                      Utf8Case{"TwoByte", "\xC5\xBE", true},            // ž
                      Utf8Case{"ThreeByte", "\xE2\x82\xAC", true},      // €
                      Utf8Case{"FourByte", "\xF0\x9F\x98\x80", true},   // emoji
                      Utf8Case{"LoneContinuation", "\x80", false},
                      Utf8Case{"TruncatedTwoByte", "a\xC5", false},
                      Utf8Case{"OverlongSlash", "\xC0\xAF", false},
                      Utf8Case{"OverlongThreeByte", "\xE0\x80\xAF", false},
                      Utf8Case{"Surrogate", "\xED\xA0\x80", false},
                      Utf8Case{"AboveUnicode", "\xF4\x90\x80\x80", false},
                      Utf8Case{"LatinByte", "P\xF8\xEDli\xB9", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ToQString, ValidUtf8ShowsAsUtf8) {
    EXPECT_EQ(ui::toQString("\xC5\xBElu\xC5\xA5ou\xC4\x8Dk\xC3\xBD"), QStringLiteral(u"žluťoučký"));
}

TEST(ToQString, OtherBytesShowAsWindows1250) {
    // "Příliš" in Windows-1250, which is not valid UTF-8.
    EXPECT_EQ(ui::toQString("P\xF8\xEDli\x9A"), QStringLiteral(u"Příliš"));
    EXPECT_EQ(ui::toQString("\x80\x8A\x9E\xFF"), QStringLiteral(u"€Šž˙"));
}

TEST(ToQString, EveryByteValueMapsToOneCharacter) {
    std::string all;
    for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
    const QString text = ui::toQString(all);
    ASSERT_EQ(text.size(), 255);
    EXPECT_EQ(text.at(0x41 - 1), QChar('A'));
    EXPECT_EQ(text.at(0x81 - 1), QChar(0x81));  // undefined in the code page
}

TEST(ToQString, EmbeddedNulIsKept) {
    EXPECT_EQ(ui::toQString(std::string("a\0b", 3)).size(), 3);
}

TEST(FromQString, StoresUtf8) {
    EXPECT_EQ(ui::fromQString(QStringLiteral(u"Šárka €")), "\xC5\xA0\xC3\xA1rka \xE2\x82\xAC");
    EXPECT_EQ(ui::fromQString(QString()), "");
}

TEST(FromQString, RoundTripsThroughToQString) {
    const QString text = QStringLiteral(u"Ostrava – Žďár");
    EXPECT_EQ(ui::toQString(ui::fromQString(text)), text);
}

TEST(CaptionText, DoublesAmpersands) {
    EXPECT_EQ(ui::captionText("Check Messages (Tom & Jerry)"),
              QStringLiteral("Check Messages (Tom && Jerry)"));
}

}  // namespace
