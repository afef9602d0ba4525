#include "message/IdCoderQuotedPrintable.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace {

constexpr bool isLineBreak(char c) { return c == '\r' || c == '\n'; }
constexpr bool isTrailing(char c) { return c == ' ' || c == '\t' || isLineBreak(c); }

// The value of a hexadecimal digit "0"-"9", "A"-"F" or "a"-"f"; -1 otherwise.
constexpr std::array<signed char, 256> kHexValues = [] {
    std::array<signed char, 256> values{};
    values.fill(-1);
    for (int i = 0; i < 10; ++i) values['0' + i] = static_cast<signed char>(i);
    for (int i = 0; i < 6; ++i) {
        values['A' + i] = static_cast<signed char>(10 + i);
        values['a' + i] = static_cast<signed char>(10 + i);
    }
    return values;
}();

constexpr std::size_t kWordSize = 8;

// The offset of the first "=" in the eight bytes of `word` (the first in
// memory lowest), or 8.
int firstEquals(std::uint64_t word) {
    // The high bit of exactly the bytes that are "=" (they are 0 in x).
    constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
    const std::uint64_t x = word ^ 0x3D3D3D3D3D3D3D3DULL;
    const std::uint64_t found = ~(((x & kLow7) + kLow7) | x | kLow7);
    if (found == 0) return 8;
    return (std::endian::native == std::endian::little ? std::countr_zero(found) : std::countl_zero(found)) / 8;
}

// Copies the bytes from `at` up to the next "=" (or `end`) to `out`, eight at
// a time: a word is copied whole and tested for an "=" all at once (runs
// between escapes are too short in prose for memchr to pay). The last few
// bytes are the top of the word that ends at `end`, when the text has eight
// bytes. The output never runs ahead of the input, so `out` has room for a
// word beyond the text's size. Returns the length of the run.
std::size_t copyRun(const char* begin, const char* at, const char* end, char* out) {
    const char* const start = at;
    for (;;) {
        const std::size_t left = static_cast<std::size_t>(end - at);
        std::uint64_t word;
        if (left >= kWordSize) {
            std::memcpy(&word, at, kWordSize);
        } else if (std::endian::native == std::endian::little && end - begin >= 8 && left > 0) {
            std::memcpy(&word, end - kWordSize, kWordSize);
            word >>= 8 * (kWordSize - left);
        } else {
            for (; at != end && *at != '='; ++at) out[at - start] = *at;
            return static_cast<std::size_t>(at - start);
        }
        std::memcpy(out + (at - start), &word, kWordSize);
        const std::size_t found = static_cast<std::size_t>(firstEquals(word));
        if (found < std::min(left, kWordSize)) return static_cast<std::size_t>(at - start) + found;
        if (left <= kWordSize) return static_cast<std::size_t>(at - start) + left;
        at += kWordSize;
    }
}

}  // namespace

void TIdDecoderQuotedPrintable::DecodeToStream(std::string_view text, ByteSink& destination) {
    text = withoutTrailingBlanks(text);
    // A soft line break at the end gives nothing; taken off here, it leaves
    // the escapes inside the line to the loop, which then rarely meets an
    // "=" without digits. ("=" is never part of another escape.)
    const std::size_t size = text.size();
    if (size >= 3 && text[size - 1] == '\n' && text[size - 2] == '\r' && text[size - 3] == '=') text.remove_suffix(3);
    // The result never outgrows the text: an escape of two or three
    // characters gives one byte, "=20" and its line break give three. The
    // room has a word more for copyRun.
    writeOut(decodeEscapes(text, outputRoom(text.size() + kWordSize)), destination);
}

// The text with the blanks and tabs of its trailing run of blanks, tabs, CRs
// and LFs removed; the CRs and LFs stay, in their order.
std::string_view TIdDecoderQuotedPrintable::withoutTrailingBlanks(std::string_view text) {
    std::size_t end = text.size();
    // Most lines end in a printable character and CR LF.
    if (end >= 3 && text[end - 1] == '\n' && text[end - 2] == '\r' && !isTrailing(text[end - 3])) return text;
    bool blanks = false;
    for (; end > 0 && isTrailing(text[end - 1]); --end) blanks = blanks || !isLineBreak(text[end - 1]);
    if (!blanks) return text;
    FTrimmed.assign(text.substr(0, end));
    for (const char c : text.substr(end))
        if (isLineBreak(c)) FTrimmed.push_back(c);
    return FTrimmed;
}

char* TIdDecoderQuotedPrintable::decodeEscapes(std::string_view text, char* out) {
    const char* at = text.data();
    const char* const end = at + text.size();
    const auto hexAt = [&](std::size_t i) { return kHexValues[static_cast<unsigned char>(at[i])]; };
    const auto lineBreakAt = [&] { return at != end && isLineBreak(*at); };
    for (;;) {
        const std::size_t run = copyRun(text.data(), at, end, out);
        at += run;
        out += run;
        if (at == end) return out;
        ++at;  // the "="
        int value;
        if (end - at >= 2 && hexAt(0) >= 0 && hexAt(1) >= 0) {
            value = hexAt(0) * 16 + hexAt(1);
            at += 2;
        } else if (at != end && hexAt(0) >= 0) {
            value = hexAt(0);
            at += 1;
        } else {
            // A soft line break; any other character after "=" stays text.
            for (int i = 0; i < 2 && lineBreakAt(); ++i) ++at;
            continue;
        }
        if (value == ' ' && lineBreakAt()) {
            // "=20" before the line break keeps its blank.
            out = std::copy_n(" \r\n", 3, out);
            for (int i = 0; i < 2 && lineBreakAt(); ++i) ++at;
        } else {
            *out++ = static_cast<char>(value);
        }
    }
}
