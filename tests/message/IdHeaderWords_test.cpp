#include "message/IdHeaderWords.h"

#include "message/IdMessageClient.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;

struct Row {
    const char* name;
    std::string text;
    std::string expected;
};

TEST(DecodeHeaderTextToUtf8, EveryCharsetFamilyBecomesUtf8) {
    const Row rows[] = {
        {"Iso2022Jp", "=?ISO-2022-JP?B?GyRCRnxLXDhsGyhC?=", "日本語"},
        {"ShiftJis", "=?shift_jis?B?k/qWe4zq?=", "日本語"},
        {"EucJp", "=?EUC-JP?B?xvzL3Ljs?=", "日本語"},
        {"Gb2312", "=?GB2312?B?1tDOxA==?=", "中文"},
        {"Gbk", "=?gbk?B?1tDOxA==?=", "中文"},
        {"Big5", "=?Big5?B?pKSk5Q==?=", "中文"},
        {"EucKr", "=?EUC-KR?B?x9Gxub7u?=", "한국어"},
        {"Koi8R", "=?koi8-r?B?8NLJ18XU?=", "Привет"},
        {"Windows1251", "=?windows-1251?B?z/Do4uXy?=", "Привет"},
        {"Windows1250Q", "=?windows-1250?Q?P=F8=EDli=9A?=", "Příliš"},
        {"Iso88592LowerQ", "=?iso-8859-2?q?P=F8=EDli=B9_drah=E9?=", "Příliš drahé"},
        {"Iso885915", "=?ISO-8859-15?B?pA==?=", "€"},
        {"Utf8B", "Re: =?UTF-8?B?UMWZw61sacWh?=", "Re: Příliš"},
        {"Utf16WithByteOrderMark", "=?UTF-16?B?//5hAGIA?=", "ab"},
        {"LanguageSuffixCut", "=?utf-8*cs?Q?P=C5=99=C3=ADli=C5=A1?=", "Příliš"},
        {"AsciiCharset", "=?US-ASCII?Q?a_b?=", "a b"},
    };
    for (const Row& row : rows) EXPECT_EQ(DecodeHeaderTextToUtf8(row.text), row.expected) << row.name;
}

TEST(DecodeHeaderTextToUtf8, AdjacentWordsFailuresAndRawBytes) {
    const Row rows[] = {
        // Adjacent words
        {"BlanksBetweenDecodedWordsDropped", "=?utf-8?q?a?= \t =?iso-8859-2?q?b?= c", "ab c"},
        {"CharacterSplitAcrossTwoWords", "=?utf-8?b?xQ==?= =?UTF-8?B?mQ==?=", "ř"},
        {"TextBetweenWordsKept", "=?utf-8?q?a?= - =?utf-8?q?b?=", "a - b"},
        {"WordInsideAToken", "x=?utf-8?q?=C5=99?=y", "xřy"},
        // Words that stay as received, with the blanks next to them
        {"UnknownCharset", "=?x-unknown?Q?abc?= =?utf-8?q?d?=", "=?x-unknown?Q?abc?= d"},
        {"CharsetWithConverterOrders", "=?ISO-8859-1//TRANSLIT?Q?=E9?=", "=?ISO-8859-1//TRANSLIT?Q?=E9?="},
        {"InvalidUtf8Sequence", "=?utf-8?q?=FF?=", "=?utf-8?q?=FF?="},
        {"SequenceCutOff", "=?ISO-2022-JP?B?GyRCRnxL?=", "=?ISO-2022-JP?B?GyRCRnxL?="},
        {"BadQEscape", "=?utf-8?q?bad=ZZ?= =?utf-8?q?ok?=", "=?utf-8?q?bad=ZZ?= ok"},
        {"ShortQEscape", "=?utf-8?q?a=3?=", "=?utf-8?q?a=3?="},
        {"CharacterOutsideBase64", "=?utf-8?b?SG*k?=", "=?utf-8?b?SG*k?="},
        {"LoneBase64Character", "=?utf-8?b?SGVsb?=", "=?utf-8?b?SGVsb?="},
        {"OtherEncodingLetter", "=?utf-8?x?SGk=?=", "=?utf-8?x?SGk=?="},
        {"BlankInsideWord", "=?utf-8?q?a b?=", "=?utf-8?q?a b?="},
        {"Unclosed", "=?utf-8?q?abc =?utf-8?q?d?=", "=?utf-8?q?abc d"},
        {"EmptyCharset", "=??q?a?=", "=??q?a?="},
        // Raw bytes
        {"RawUtf8Stays", "Příliš =?utf-8?q?=C5=BE?=", "Příliš ž"},
        {"RawBytesReadAsWindows1250", "P\xF8\xEDli\x9A =?utf-8?q?=C5=BE?=", "Příliš ž"},
        {"RawBytesWithoutWords", "caf\xE9", "café"},
        {"NulRemoved", "a\0b =?utf-8?q?c=00d?="s, "ab cd"},
        {"DecodedBytesNeverDecodedAgain", "=?utf-8?q?=3D=3Futf-8=3Fq=3Fa=3F=3D?=", "=?utf-8?q?a?="},
    };
    for (const Row& row : rows) EXPECT_EQ(DecodeHeaderTextToUtf8(row.text), row.expected) << row.name;
}

TEST(DecodeHeaderTextToUtf8, AddressFieldsKeepDecodedSpecialsInsideNames) {
    const Row rows[] = {
        {"CommaQuoted", "=?utf-8?q?Nov=C3=A1k=2C_Jan?= <jan@x.cz>", "\"Novák, Jan\" <jan@x.cz>"},
        {"BracketsQuoted", "=?utf-8?q?=3Cboss=40bank=3E?= <s@x>", "\"<boss@bank>\" <s@x>"},
        {"PlainNameUnquoted", "=?utf-8?q?Jan_Nov=C3=A1k?= <jan@x.cz>", "Jan Novák <jan@x.cz>"},
        {"InsideQuotesEscaped", "\"=?utf-8?q?a=22b?=\" <a@x>", "\"a\\\"b\" <a@x>"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(DecodeHeaderTextToUtf8(row.text, TIdHeaderText::Addresses), row.expected) << row.name;
    TIdMessage msg;
    msg.HeaderLines.Add("To: =?utf-8?q?Nov=C3=A1k=2C_Jan?= <jan@x.cz>, b@x");
    TIdMessageClient::ReadHeaderFields(msg, TIdCharsetDecoding::AllToUtf8);
    ASSERT_EQ(msg.Recipients.Count(), 2);
    EXPECT_EQ(msg.Recipients[0].Name(), "Novák, Jan");
}

TEST(ReadHeaderFields, BothModes) {
    TIdMessage written, utf8;
    for (TIdMessage* msg : {&written, &utf8}) {
        msg->HeaderLines.Add("Subject: =?UTF-8?B?UMWZw61sacWh?= =?iso-8859-2?q?_=BEe?=");
        msg->HeaderLines.Add("From: =?koi8-r?B?8NLJ18XU?= <p@x>");
    }
    TIdMessageClient::ReadHeaderFields(written);
    TIdMessageClient::ReadHeaderFields(utf8, TIdCharsetDecoding::AllToUtf8);
    EXPECT_EQ(written.Subject, "=?UTF-8?B?UMWZw61sacWh?=  \xBE" "e");
    EXPECT_EQ(utf8.Subject, "Příliš že");
    EXPECT_EQ(written.From.Name(), "=?koi8-r?B?8NLJ18XU?=");
    EXPECT_EQ(utf8.From.Name(), "Привет");
}

TEST(ExtendedParameterValue, Rfc2231Forms) {
    struct ParameterRow {
        const char* name;
        std::string field;
        std::optional<std::string> expected;
    };
    const ParameterRow rows[] = {
        {"Single", "attachment; filename*=utf-8''%C5%BElu%C5%A5.txt", "žluť.txt"},
        {"LanguageIgnored", "attachment; FILENAME*=iso-8859-2'cs'%BEe.txt", "že.txt"},
        {"ContinuationsInAnyOrder",
         "attachment; filename*1=\"part two\"; filename*0*=windows-1250''P%F8%EDli%9A_; filename*2*=%9A.pdf",
         "Příliš_part twoš.pdf"},
        {"StopsAtMissingNumber", "a; filename*0=one; filename*2=three", "one"},
        {"PlainContinuationsDecodeWords", "a; filename*0=\"=?utf-8?q?=C5=99?=\"; filename*1=\".txt\"", "ř.txt"},
        {"UnknownCharsetKeepsBytes", "a; filename*=x-none''caf%E9", "café"},
        {"NoCharsetPrefix", "a; filename*=%C5%99", "ř"},
        {"OtherParameterOnly", "a; name*=utf-8''x; filename=y", std::nullopt},
        {"PlainParameterOnly", "a; filename=\"x.txt\"", std::nullopt},
        {"LeadingZeroIsNoNumber", "a; filename*01=x", std::nullopt},
    };
    for (const ParameterRow& row : rows)
        EXPECT_EQ(ExtendedParameterValue(row.field, "filename"), row.expected) << row.name;
}

TEST(ConvertToUtf8, ManyCharsetsInTurnStayCorrect) {
    // More charsets than the converters kept open, asked again and again.
    const char* charsets[] = {"ISO-8859-1", "ISO-8859-2", "ISO-8859-3", "ISO-8859-4", "ISO-8859-9", "ISO-8859-13",
                              "ISO-8859-15", "WINDOWS-1250", "WINDOWS-1252", "WINDOWS-1254", "WINDOWS-1257", "CP850",
                              "IBM437", "MAC", "LATIN1", "L2", "CP1250", "x-none", "UTF-8//IGNORE"};
    for (int round = 0; round < 3; ++round) {
        for (const char* charset : charsets) {
            const bool known = std::string(charset) != "x-none" && std::string(charset) != "UTF-8//IGNORE";
            EXPECT_EQ(ConvertToUtf8(charset, "abc"), known ? std::optional<std::string>("abc") : std::nullopt)
                << charset;
        }
    }
    EXPECT_EQ(ConvertToUtf8("latin1", "\xE9"), "é");
}

// The common single-byte charsets convert through a table; an alias of each
// goes through the converter, and both agree on every byte.
TEST(ConvertToUtf8, TablesAgreeWithTheConverter) {
    const std::pair<const char*, const char*> pairs[] = {
        {"ISO-8859-2", "LATIN2"}, {"ISO-8859-3", "LATIN3"}, {"WINDOWS-1250", "CP1250"}, {"KOI8-R", "CSKOI8R"}};
    for (const auto& [table, alias] : pairs) {
        std::string all;
        for (int b = 0; b < 256; ++b) {
            const std::string one(1, static_cast<char>(b));
            EXPECT_EQ(ConvertToUtf8(table, one), ConvertToUtf8(alias, one)) << table << " " << b;
            if (ConvertToUtf8(alias, one)) all += one;
        }
        EXPECT_GT(all.size(), 240u) << table;
        EXPECT_EQ(ConvertToUtf8(table, all), ConvertToUtf8(alias, all)) << table;
    }
}

}  // namespace
