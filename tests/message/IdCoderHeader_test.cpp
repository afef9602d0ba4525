#include "message/IdCoderHeader.h"

#include "message/IdGlobal.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

using namespace std::string_literals;

struct DecodeCase {
    const char* name;
    std::string text;
    std::string expected;
};

void expectDecodes(const DecodeCase* begin, const DecodeCase* end) {
    for (const DecodeCase* c = begin; c != end; ++c) {
        SCOPED_TRACE(c->name);
        EXPECT_EQ(c->expected, DecodeHeaderText(c->text));
    }
}

TEST(DecodeHeaderText, WordsAndEncodings) {
    const DecodeCase cases[] = {
        {"QBytesKeptUnconverted", "=?iso-8859-2?Q?P=F8=EDli=B9_drah=E9?=", "P\xF8\xEDli\xB9 drah\xE9"},
        {"LowerCaseHexAndQ", "=?iso-8859-1?q?caf=e9?=", "caf\xE9"},
        {"Base64PadGivesNoNul", "=?ISO-8859-1?B?SGk=?=", "Hi"},
        {"WindowsLowerCaseB", "=?windows-1250?b?SGVsbG8h?=", "Hello!"},
        {"UnknownLetterIsBase64", "=?ISO-8859-1?X?SGk=?=", "Hi"},
        {"EmptyEncodedText", "=?ISO-8859-1?Q?" "?=", ""},
        {"ShortEscapeKeptLiterally", "=?ISO-8859-1?Q?a=3?=", "a=3"},
        {"TextAroundWordKept", "Re: [x] =?ISO-8859-1?Q?caf=E9?= now", "Re: [x] caf\xE9 now"},
        {"BlankBetweenWordsKept", "=?ISO-8859-1?Q?a?= =?ISO-8859-1?Q?b?=", "a b"},
        {"WindowsWordBeforeIsoWord", "=?windows-1250?Q?x?= =?iso-8859-2?Q?y?=", "x y"},
        {"OtherCharsetUntouched", "Re: =?UTF-8?B?SGk=?=", "Re: =?UTF-8?B?SGk=?="},
        {"AsciiCharsetUntouched", "=?US-ASCII?Q?a?=", "=?US-ASCII?Q?a?="},
        {"PlainTextUnchanged", "Quarterly report", "Quarterly report"},
        {"NulRemovedFromPlainText", "a\0b\0"s, "ab"},
    };
    expectDecodes(std::begin(cases), std::end(cases));
}

TEST(DecodeHeaderText, MalformedWordsStayUnchanged) {
    const DecodeCase cases[] = {
        {"UnclosedWindowsWordThenGoodOne", "=?windows-1250?Q?abc =?windows-1250?Q?def?=",
         "=?windows-1250?Q?abc def"},
        {"UnclosedIsoWordThenGoodOne", "=?ISO-8859-1?Q?abc =?ISO-8859-1?Q?def?=", "=?ISO-8859-1?Q?abc def"},
        {"UnclosedAtEnd", "x =?ISO-8859-1?Q?abc", "x =?ISO-8859-1?Q?abc"},
        {"TooFewQuestionMarks", "=?ISO-8859-1 no more", "=?ISO-8859-1 no more"},
        {"BadEscapeInSkippedWordIsNotRead", "=?windows-1250?Q?=ZZ =?iso-8859-1?Q?a?=", "=?windows-1250?Q?=ZZ a"},
        {"ClosingSharedWithNextStart", "=?ISO-8859-1?Q?a?=?WINDOWS-1250?Q?b?=", "a?WINDOWS-1250?Q?b?="},
    };
    expectDecodes(std::begin(cases), std::end(cases));
}

TEST(DecodeHeaderText, DecodedBytesAreNeverDecodedAgain) {
    const DecodeCase cases[] = {
        {"IsoOutputLooksLikeWord", "=?ISO-8859-1?Q?=3D=3FISO-8859-1=3FQ=3F=3D41=3F=3D?=", "=?ISO-8859-1?Q?=41?="},
        {"WindowsOutputLooksLikeWord", "=?windows-1250?Q?=3D=3Fwindows-1250=3FQ=3F=3D41=3F=3D?=",
         "=?windows-1250?Q?=41?="},
        {"IsoOutputLooksLikeWindowsWord", "=?ISO-8859-1?B?PT93aW5kb3dzLTEyNTA/UT9hPz0=?=", "=?windows-1250?Q?a?="},
    };
    expectDecodes(std::begin(cases), std::end(cases));
}

TEST(DecodeHeaderText, Iso2022JpBecomesShiftJis) {
    const DecodeCase cases[] = {
        {"EvenOddAndHighRows", "=?ISO-2022-JP?B?GyRCMCExIWAhGyhCYQ==?=", "\x88\x9F\x89\x40\xE0\x9F" "a"},
        {"CharsetAnyCase", "=?iso-2022-jp?Q?=1B$B0!=1B(Ba?=", "\x88\x9F" "a"},
        {"UnknownEscapeDropped", "=?ISO-2022-JP?Q?a=1B(Jb?=", "ab"},
        {"LoneLastByteDropped", "=?ISO-2022-JP?Q?=1B$B0!0?=", "\x88\x9F"},
        {"ShortEscapeAtEndDropped", "=?ISO-2022-JP?Q?a=1Bx?=", "ax"},
        {"OtherIsoCharsetNotConverted", "=?ISO-8859-1?Q?=1B$B0!?=", "\x1B$B0!"},
    };
    expectDecodes(std::begin(cases), std::end(cases));
}

TEST(DecodeHeaderText, BadQEscapeIsConversionError) {
    try {
        (void)DecodeHeaderText("Subject =?ISO-8859-1?Q?a=ZZb?=");
        FAIL() << "no exception";
    } catch (const EConvertError& e) {
        EXPECT_STREQ("'$ZZ' is not a valid integer value", e.what());
    }
}

// Hostile input --------------------------------------------------------------

// Decoding may only ever fail with the conversion error.
void decodeSafely(const std::string& text) {
    try {
        (void)DecodeHeaderText(text);
    } catch (const EConvertError&) {
    }
}

TEST(DecodeHeaderTextRobustness, WordsCutAnywhere) {
    const std::string words = "=?iso-8859-2?Q?P=F8=EDli=B9?= =?windows-1250?B?SGVsbG8h?= =?ISO-2022-JP?B?GyRCMCE=?=";
    for (std::size_t cut = 0; cut <= words.size(); ++cut) {
        decodeSafely(words.substr(0, cut));
        decodeSafely(words.substr(cut));
    }
}

TEST(DecodeHeaderTextRobustness, ManyWordsAndLongValues) {
    std::string many;
    for (int i = 0; i < 10000; ++i) many += "=?ISO-8859-1?Q?ab=E9?= ";
    const std::string decoded = DecodeHeaderText(many);
    EXPECT_EQ(10000u * 4u, decoded.size());

    decodeSafely(std::string(1 << 20, '='));
    decodeSafely(std::string(1 << 20, '?'));
    std::string starts;
    while (starts.size() < (1u << 20)) starts += "=?ISO?Q?";
    decodeSafely(starts);
    EXPECT_EQ(std::string(1 << 20, 'x'), DecodeHeaderText(std::string(1 << 20, 'x')));

    std::mt19937 random(11);
    for (int round = 0; round < 200; ++round) {
        std::string noise(random() % 500, '\0');
        static const char kAlphabet[] = "=?ISOWINDOWSQB_ \x1B$(abc09";
        for (char& c : noise) c = kAlphabet[random() % (sizeof kAlphabet - 1)];
        decodeSafely(noise);
    }
}

}  // namespace
