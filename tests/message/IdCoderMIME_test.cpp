#include "CoderTestUtil.h"

#include "message/IdCoderMIME.h"

namespace {

const std::string kUneven = "raises: Uneven size in DecodeToStream.";

TEST(DecoderMIME, Lines) {
    TIdDecoderMIME decoder;
    expectRows(decoder, {
        // Well-formed groups and fill characters.
        {"full group", "TWFu", "Man"},
        {"one fill character", "TWE=", "Ma"},
        {"two fill characters", "TQ==", "M"},
        {"short group at the end", "TWFuTQ==", "ManM"},
        {"groups go on after a short one", "TQ==TWFu", "MMan"},
        {"fill in third place keeps one byte", "TQ=x", "M"},
        // Characters outside the alphabet are 255, ORed into the neighbours.
        {"symbol inside a group", "T*Fu", "\x4F\xF1\x6E"},
        {"8-bit character", "TW\xE9u", "\x4D\x7F\xEE"},
        {"NUL character", std::string("TWF\0", 4), "Ma\xFF"},
        {"blank inside a line", "TW u", "\x4D\x7F\xEE"},
        // The length rule, after trailing blanks, tabs and CRs are dropped.
        {"uneven line", "TWF", kUneven},
        {"trailing blank tab and CR ignored", "TWFu \t\r", "Man"},
        {"trailing blank after fill", "TWE= ", "Ma"},
        {"uneven once trailing blanks are gone", "TWF \t", kUneven},
        {"leading blank still counts", " TWFu", kUneven},
        {"only blanks gives nothing", " \t ", ""},
    });
}

}  // namespace
