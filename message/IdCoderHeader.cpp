#include "message/IdCoderHeader.h"

#include "message/IdGlobal.h"

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

namespace {

constexpr std::size_t npos = std::string_view::npos;

// First occurrence of a fixed pattern at or after a position, for queries
// whose positions never decrease: a repeated query that the last answer still
// covers costs nothing, so a whole pass over the text stays linear even when
// every candidate word searches far ahead for its end.
class ForwardFinder {
public:
    ForwardFinder(std::string_view text, std::string_view pattern) : FText(text), FPattern(pattern) {}

    std::size_t find(std::size_t from) {
        if (from >= FFrom && (FFound == npos || from <= FFound)) return FFound;
        FFrom = from;
        FFound = from > FText.size() ? npos : FText.find(FPattern, from);
        return FFound;
    }

private:
    std::string_view FText;
    std::string_view FPattern;
    std::size_t FFrom = std::numeric_limits<std::size_t>::max();
    std::size_t FFound = npos;
};

// One decoded word: the bytes that replace text[Begin, End).
struct DecodedWord {
    std::size_t Begin;
    std::size_t End;
    std::string Bytes;
};

// Q encoding: "_" is a space, "=XY" a hexadecimal byte when both digits lie
// before the closing "?="; everything else, a short "=" included, is literal.
std::string decodeQ(std::string_view encoded) {
    std::string out;
    out.reserve(encoded.size());
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        const char c = encoded[i];
        if (c == '_') {
            out += ' ';
        } else if (c == '=' && i + 2 < encoded.size()) {
            const int high = HexDigitValue(encoded[i + 1]);
            const int low = HexDigitValue(encoded[i + 2]);
            if (high < 0 || low < 0) RaiseNotAnInteger("$" + std::string(encoded.substr(i + 1, 2)));
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

unsigned base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return static_cast<unsigned>(c - 'A');
    if (c >= 'a' && c <= 'z') return static_cast<unsigned>(c - 'a' + 26);
    if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0' + 52);
    if (c == '+') return 62;
    if (c == '/') return 63;
    return 0;  // the pad "=" and every stray character
}

// Base64 in whole groups of four; a shorter tail is ignored. Pads give NUL
// bytes, which the caller removes.
std::string decodeB(std::string_view encoded) {
    std::string out;
    out.reserve(encoded.size() / 4 * 3);
    for (std::size_t i = 0; i + 4 <= encoded.size(); i += 4) {
        const unsigned a = base64Value(encoded[i]);
        const unsigned b = base64Value(encoded[i + 1]);
        const unsigned c = base64Value(encoded[i + 2]);
        const unsigned d = base64Value(encoded[i + 3]);
        out += static_cast<char>((a << 2 | b >> 4) & 0xFF);
        out += static_cast<char>(((b & 0x0F) << 4 | c >> 2) & 0xFF);
        out += static_cast<char>(((c & 0x03) << 6 | d) & 0xFF);
    }
    return out;
}

// JIS X 0208 row/cell pair to its Shift-JIS bytes, in 8-bit arithmetic.
void appendShiftJis(std::string& out, std::uint8_t c1, std::uint8_t c2) {
    const auto s1 = static_cast<std::uint8_t>(static_cast<std::uint8_t>(c1 - 1) / 2 + (c1 < 0x5F ? 0x71 : 0xB1));
    std::uint8_t s2 = 0;
    if (c1 % 2 == 0) {
        s2 = static_cast<std::uint8_t>(c2 + 0x7E);
    } else {
        s2 = static_cast<std::uint8_t>(c2 + (c2 >= 0x60 ? 0x20 : 0x1F));
    }
    out += static_cast<char>(s1);
    out += static_cast<char>(s2);
}

// ISO-2022-JP to Shift-JIS: ESC "$B" enters double-byte mode, ESC "(B"
// leaves it, other two-character escapes are dropped; a lone last byte in
// double-byte mode is dropped.
std::string iso2022JpToShiftJis(std::string_view in) {
    enum class Mode { SingleByte, DoubleByte };
    Mode mode = Mode::SingleByte;
    std::string out;
    out.reserve(in.size());
    std::size_t i = 0;
    while (i < in.size()) {
        if (in[i] == '\x1B') {
            if (in.size() - i - 1 < 2) {
                ++i;
                continue;
            }
            const std::string_view sequence = in.substr(i + 1, 2);
            if (sequence == "$B") mode = Mode::DoubleByte;
            if (sequence == "(B") mode = Mode::SingleByte;
            i += 3;
        } else if (mode == Mode::SingleByte) {
            out += in[i++];
        } else if (i + 1 < in.size()) {
            appendShiftJis(out, static_cast<std::uint8_t>(in[i]), static_cast<std::uint8_t>(in[i + 1]));
            i += 2;
        } else {
            ++i;
        }
    }
    return out;
}

// Finds and decodes, left to right, the words that start with `prefix`
// (upper case) in `upper`, the upper-cased copy of `text`. Words that would
// overlap one of `taken` (sorted, from an earlier pass) are not decoded.
class WordScanner {
public:
    WordScanner(std::string_view text, std::string_view upper)
        : FText(text), FUpper(upper), FCharsetEnd(upper, "?"), FEncodingEnd(upper, "?"),
          FClose(upper, "?="), FNextStart(upper, "=?") {}

    std::vector<DecodedWord> scan(std::string_view prefix, const std::vector<DecodedWord>& taken) {
        std::vector<DecodedWord> words;
        std::size_t next = 0;
        std::size_t takenIndex = 0;
        for (std::size_t a = FUpper.find(prefix); a != npos; a = FUpper.find(prefix, next)) {
            next = a + 1;
            const std::optional<WordSpan> span = locate(a);
            if (!span) continue;
            while (takenIndex < taken.size() && taken[takenIndex].End <= a) ++takenIndex;
            if (takenIndex < taken.size() && taken[takenIndex].Begin < span->End) continue;
            words.push_back(decode(*span));
            next = span->End;
        }
        return words;
    }

private:
    // Positions of one word: "=?" charset "?" encoding ... "?" text "?=".
    struct WordSpan {
        std::size_t Begin;
        std::size_t CharsetEnd;
        std::size_t EncodingEnd;
        std::size_t Close;
        std::size_t End;
    };

    std::optional<WordSpan> locate(std::size_t a) {
        const std::size_t charsetEnd = FCharsetEnd.find(a + 5);
        if (charsetEnd == npos) return std::nullopt;
        const std::size_t encodingEnd = FEncodingEnd.find(charsetEnd + 1);
        if (encodingEnd == npos) return std::nullopt;
        const std::size_t close = FClose.find(encodingEnd + 1);
        if (close == npos) return std::nullopt;
        // Another "=?" before the closing "?=" means this word is cut short
        // and the closing belongs to a later word ("=" right before the
        // closing "?=", as in a base64 pad, is no such start).
        const std::size_t inner = FNextStart.find(a + 1);
        if (inner != npos && inner + 1 < close) return std::nullopt;
        return WordSpan{a, charsetEnd, encodingEnd, close, close + 2};
    }

    DecodedWord decode(const WordSpan& span) const {
        const std::string_view charset = FText.substr(span.Begin + 2, span.CharsetEnd - span.Begin - 2);
        const char encoding = FText[span.CharsetEnd + 1];
        const std::size_t textStart = span.EncodingEnd + 1;
        std::string bytes = encoding == 'Q' || encoding == 'q'
                                ? decodeQ(FText.substr(textStart, span.Close - textStart))
                                : decodeB(FText.substr(textStart, span.End - textStart));
        if (SameText(charset, "ISO-2022-JP")) bytes = iso2022JpToShiftJis(bytes);
        return DecodedWord{span.Begin, span.End, std::move(bytes)};
    }

    std::string_view FText;
    std::string_view FUpper;
    ForwardFinder FCharsetEnd;
    ForwardFinder FEncodingEnd;
    ForwardFinder FClose;
    ForwardFinder FNextStart;
};

}  // namespace

std::string DecodeHeaderText(std::string_view text) {
    // Every encoded word starts with "=?"; most values hold none, and then
    // only the NUL bytes go.
    if (text.find("=?") == std::string_view::npos) {
        std::string result(text);
        std::erase(result, '\0');
        return result;
    }
    const std::string upper = UpperCaseAZ(text);
    // ISO words first, then WINDOWS words among what the first pass left;
    // both passes look only at the received text, never at decoded bytes.
    const std::vector<DecodedWord> iso = WordScanner(text, upper).scan("=?ISO", {});
    const std::vector<DecodedWord> windows = WordScanner(text, upper).scan("=?WINDOWS", iso);

    std::string result;
    result.reserve(text.size());
    std::size_t position = 0;
    std::size_t i = 0;
    std::size_t w = 0;
    while (i < iso.size() || w < windows.size()) {
        const bool takeIso = w == windows.size() || (i < iso.size() && iso[i].Begin < windows[w].Begin);
        const DecodedWord& word = takeIso ? iso[i++] : windows[w++];
        assert(word.Begin >= position);
        result.append(text.substr(position, word.Begin - position));
        result.append(word.Bytes);
        position = word.End;
    }
    result.append(text.substr(position));
    // Base64 pads decode to NUL bytes; no NUL survives anywhere in the value.
    std::erase(result, '\0');
    return result;
}
