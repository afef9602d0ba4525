#pragma once

#include "message/IdCoder3to4.h"

#include <string_view>

// The uuencode alphabet: the grave accent for 0, then "!" to "_" for 1 to 63.
inline constexpr std::string_view kUUEAlphabet =
    "`!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_";

// One data line of a uuencoded or xxencoded block: a length character giving
// the byte count n, then the groups of four that carry them.
//
// Tolerated: a line shorter than n asks for is extended with the alphabet's
// value-0 character; characters beyond those n asks for (checksums, trailing
// blanks) are ignored; a length character outside the alphabet counts 255.
// A line yields at most 255 bytes and never raises.
class TIdDecoderUUEBase : public TIdDecoder4to3 {
public:
    void DecodeToStream(std::string_view text, ByteSink& destination) override;

protected:
    // `zeroChar` is the alphabet's character for 0.
    TIdDecoderUUEBase(const TIdDecodeTable& table, char zeroChar) : TIdDecoder4to3(table, '~'), FZeroChar(zeroChar) {}

private:
    const char FZeroChar;
};

// uuencode. Every blank of a line counts as the grave accent (its table has
// 0 for both), so the usual last line, a lone grave accent or blank, yields
// nothing.
class TIdDecoderUUE : public TIdDecoderUUEBase {
public:
    TIdDecoderUUE();
};
