#include "CoderTestUtil.h"

#include "message/IdCoderXXE.h"

namespace {

TEST(DecoderXXE, Lines) {
    TIdDecoderXXE decoder;
    expectRows(decoder, {
        {"three bytes", "1Eq3o", "Cat"},
        {"full line of 45 bytes", "hJ4VZ653pOKBf647mPrRi64NjS0-eRKpkQm-jRaJm65FcNG-gMLdt64FjNm2V",
         "The quick brown fox jumps over the lazy dog!!"},
        {"lone plus", "+", ""},
        {"short line extended with plus signs", "1Eq", std::string("C`\0", 3)},
        {"blank is outside the alphabet", "1Eq o", "\x43\x7F\xF4"},
    });
}

}  // namespace
