#pragma once

#include "message/IdCoder.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// The value of every byte in a 64-character alphabet, indexed by the byte:
// 0 to 63 for the alphabet's characters, 255 for every other byte (NUL and
// 8-bit bytes included).
using TIdDecodeTable = std::array<std::uint8_t, 256>;

[[nodiscard]] constexpr TIdDecodeTable BuildDecodeTable(std::string_view alphabet) {
    TIdDecodeTable table{};
    table.fill(255);
    for (std::size_t i = 0; i < alphabet.size(); ++i)
        table[static_cast<unsigned char>(alphabet[i])] = static_cast<std::uint8_t>(i);
    return table;
}

// Decodes groups of four characters into three bytes.
//
// Lenient by design: a character outside the alphabet is not rejected but
// decoded with the value 255, whose extra bits are ORed into the
// neighbouring bytes; a group whose third character is FillChar gives one
// byte, one whose fourth is FillChar two, and groups after a short one are
// decoded all the same (there is no end of data).
class TIdDecoder4to3 : public TIdDecoder {
public:
    // Raises EIdException "Uneven size in DecodeToStream." when the length
    // of `text` is no multiple of 4; nothing is written then.
    void DecodeToStream(std::string_view text, ByteSink& destination) override;

    const TIdDecodeTable DecodeTable;
    const char FillChar;

protected:
    TIdDecoder4to3(const TIdDecodeTable& table, char fillChar) : DecodeTable(table), FillChar(fillChar) {}
    // Decodes `text`, whose length is a multiple of 4, to `out`, which has
    // room for three bytes per group; returns the end of what it kept.
    char* decodeGroups(std::string_view text, char* out) const;
};
