#include "CoderTestUtil.h"

#include "message/IdCoderQuotedPrintable.h"

namespace {

TEST(DecoderQuotedPrintable, Lines) {
    TIdDecoderQuotedPrintable decoder;
    expectRows(decoder, {
        {"plain line keeps its line break", "plain\r\n", "plain\r\n"},
        {"escape", "caf=E9", "caf\xE9"},
        {"lower-case escape", "caf=e9\r\n", "caf\xE9\r\n"},
        {"escaped equals sign", "a=3db", "a=b"},
        {"one digit is an escape of its own", "=4G", "\x04G"},
        {"equals sign before a non-digit is dropped", "a=zz", "azz"},
        {"equals sign at the end is dropped", "abc=", "abc"},
        {"soft line break", "soft=\r\n", "soft"},
        {"soft line break after LF alone", "soft=\n", "soft"},
        {"blanks before the line break dropped", "end  \t \r\n", "end\r\n"},
        {"=20 before the line break keeps its blank", "x =20\r\n", "x  \r\n"},
        {"=20 elsewhere is a blank", "a=20b", "a b"},
        {"8-bit bytes pass", "\xE9t\xE9\r\n", "\xE9t\xE9\r\n"},
        {"soft break alone gives nothing", "=\r\n", ""},
    });
}

}  // namespace
