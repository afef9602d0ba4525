#pragma once

#include "message/IdCoder.h"

#include <string>
#include <string_view>

// Quoted-printable (RFC 2045), one line and its line break at a time.
//
// Blanks and tabs before the line break are dropped; "=" before the line
// break joins the line with the next (a soft line break); "=" and one or two
// hexadecimal digits, either letter case, give that byte, and "=20" before a
// line break keeps its blank. Deviations from RFC 2045 that are tolerated:
// a single digit is an escape of its own ("=4G" is the byte 4 and "G"); an
// "=" before anything else is dropped and the character kept ("a=zz" gives
// "azz"); an "=" that ends the text is dropped. Every other byte, 8-bit ones
// included, passes unchanged; nothing raises.
class TIdDecoderQuotedPrintable : public TIdDecoder {
public:
    TIdDecoderQuotedPrintable() = default;
    void DecodeToStream(std::string_view text, ByteSink& destination) override;

private:
    [[nodiscard]] std::string_view withoutTrailingBlanks(std::string_view text);
    // Decodes `text` to `out`; returns the end of the result.
    static char* decodeEscapes(std::string_view text, char* out);

    // The text with its trailing blanks gone, when it had any.
    std::string FTrimmed;
};
