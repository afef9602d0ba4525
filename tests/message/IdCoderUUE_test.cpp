#include "CoderTestUtil.h"

#include "message/IdCoderUUE.h"

namespace {

TEST(DecoderUUE, Lines) {
    TIdDecoderUUE decoder;
    expectRows(decoder, {
        {"three bytes", "#0V%T", "Cat"},
        {"full line of 45 bytes", "M5&AE('%U:6-K(&)R;W=N(&9O>\"!J=6UP<R!O=F5R('1H92!L87IY(&1O9R$A",
         "The quick brown fox jumps over the lazy dog!!"},
        {"lone grave accent", "`", ""},
        {"lone blank", " ", ""},
        {"empty line", "", ""},
        {"one byte: group ends in two fill characters", "!0```", "@"},
        {"checksum and blanks beyond the length ignored", "#0V%T extra  ", "Cat"},
        {"blank inside the data is value 0", "#0V T", "C`4"},
        {"short line extended with grave accents", "#0V", std::string("C`\0", 3)},
        {"length character alone asks for 45 zero bytes", "M", std::string(45, '\0')},
        {"8-bit length character asks for 255 bytes", "\xE9", std::string(255, '\0')},
    });
}

}  // namespace
