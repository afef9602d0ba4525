#include "message/IdCoder3to4.h"

void TIdDecoder4to3::DecodeToStream(std::string_view text, ByteSink& destination) {
    if (text.size() % 4 != 0) throw EIdException("Uneven size in DecodeToStream.");
    writeOut(decodeGroups(text, outputRoom(text.size() / 4 * 3)), destination);
}

char* TIdDecoder4to3::decodeGroups(std::string_view text, char* out) const {
    const std::uint8_t* table = DecodeTable.data();
    const auto* in = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = in + text.size();
    const auto fill = static_cast<unsigned char>(FillChar);
    for (; in != end; in += 4) {
        // OR, not addition: the bits of a value 255 spill into the
        // neighbouring bytes instead of carrying.
        const std::uint32_t group = std::uint32_t{table[in[0]]} << 18 | std::uint32_t{table[in[1]]} << 12 |
                                    std::uint32_t{table[in[2]]} << 6 | std::uint32_t{table[in[3]]};
        out[0] = static_cast<char>(group >> 16);
        out[1] = static_cast<char>(group >> 8);
        out[2] = static_cast<char>(group);
        // All three bytes are stored; a short group keeps fewer of them and
        // the next group overwrites the rest.
        out += in[2] == fill ? 1 : in[3] == fill ? 2 : 3;
    }
    return out;
}
