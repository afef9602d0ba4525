#pragma once

#include "message/IdCoder3to4.h"

#include <string_view>

inline constexpr std::string_view kBase64Alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Base64 (RFC 2045), one received line at a time; FillChar "=".
//
// Deviations from RFC 2045 that are tolerated: blanks, tabs and CRs at the
// end of a line are dropped (mailers and gateways add them); a line may go
// on after "=" groups; characters outside the alphabet inside a line are
// decoded as 255 (see TIdDecoder4to3), not skipped. A line whose remaining
// length is no multiple of 4 raises "Uneven size in DecodeToStream.".
class TIdDecoderMIME : public TIdDecoder4to3 {
public:
    TIdDecoderMIME();
    void DecodeToStream(std::string_view text, ByteSink& destination) override;
};
