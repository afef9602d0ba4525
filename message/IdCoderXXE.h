#pragma once

#include "message/IdCoderUUE.h"

#include <string_view>

inline constexpr std::string_view kXXEAlphabet =
    "+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

// xxencode: the line rules of TIdDecoderUUEBase over the xxencode alphabet;
// a blank is outside the alphabet.
class TIdDecoderXXE : public TIdDecoderUUEBase {
public:
    TIdDecoderXXE();
};
