#include "message/IdHeaderWords.h"

#include "message/IdCoderHeader.h"
#include "message/IdGlobal.h"

#include <algorithm>
#include <vector>

namespace {

constexpr std::size_t npos = std::string_view::npos;
// A charset name with a language suffix; longer names are never real.
constexpr std::size_t kMaxCharsetField = 80;
// Continuations of one parameter taken at most ("name*0" ... "name*999").
constexpr int kMaxContinuations = 1000;

constexpr TByteSet kWordBlanks(" \t\r\n");
// What makes decoded text in an address field something else than a name.
constexpr TByteSet kAddressSpecials(",;:<>()[]\"\\");
constexpr TByteSet kQuoting("\"\\");

int base64Digit(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// Q: "_" is a space, "=XY" a byte; a "=" without two hexadecimal digits
// makes the word malformed.
std::optional<std::string> decodeQ(std::string_view encoded) {
    std::string out;
    out.reserve(encoded.size());
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] == '_') {
            out += ' ';
        } else if (encoded[i] != '=') {
            out += encoded[i];
        } else {
            if (i + 2 >= encoded.size()) return std::nullopt;
            const int high = HexDigitValue(encoded[i + 1]);
            const int low = HexDigitValue(encoded[i + 2]);
            if (high < 0 || low < 0) return std::nullopt;
            out += static_cast<char>(high * 16 + low);
            i += 2;
        }
    }
    return out;
}

// B: the base64 alphabet, then nothing but pad characters; the pads may be
// missing. A group of a single character is malformed.
std::optional<std::string> decodeB(std::string_view encoded) {
    std::string out;
    out.reserve(encoded.size() / 4 * 3 + 2);
    unsigned bits = 0;
    int count = 0;
    std::size_t i = 0;
    for (; i < encoded.size() && encoded[i] != '='; ++i) {
        const int value = base64Digit(encoded[i]);
        if (value < 0) return std::nullopt;
        bits = (bits << 6 | static_cast<unsigned>(value)) & 0xFFFFFF;
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    if (i % 4 == 1) return std::nullopt;
    for (; i < encoded.size(); ++i)
        if (encoded[i] != '=') return std::nullopt;
    return out;
}

// One word that decoded into bytes, from its "=?" up to past its "?=".
struct EncodedWord {
    std::size_t Begin;
    std::size_t End;
    std::string Charset;
    std::string Bytes;
};

// encoded-word = "=?" charset ["*" language] "?" ("Q" / "B") "?" encoded-text "?="
// The encoded text holds no "?" and no whitespace, so a scan for the word's
// end stops at the first of them.
std::optional<EncodedWord> wordAt(std::string_view text, std::size_t begin) {
    const std::size_t charsetEnd = text.find('?', begin + 2);
    if (charsetEnd == npos || charsetEnd - begin - 2 > kMaxCharsetField || charsetEnd + 2 >= text.size() ||
        text[charsetEnd + 2] != '?')
        return std::nullopt;
    const std::string_view charset = text.substr(begin + 2, charsetEnd - begin - 2);
    if (charset.empty() || kWordBlanks.FindIn(charset) != npos) return std::nullopt;
    const char encoding = UpperCaseAZ(text[charsetEnd + 1]);
    const std::size_t textStart = charsetEnd + 3;
    std::size_t close = textStart;
    while (close < text.size() && text[close] != '?' && !kWordBlanks.Contains(text[close])) ++close;
    if (close + 1 >= text.size() || text[close] != '?' || text[close + 1] != '=') return std::nullopt;
    const std::string_view encoded = text.substr(textStart, close - textStart);
    std::optional<std::string> bytes;
    if (encoding == 'Q') bytes = decodeQ(encoded);
    if (encoding == 'B') bytes = decodeB(encoded);
    if (!bytes) return std::nullopt;
    return EncodedWord{begin, close + 2, NormalizeCharsetName(charset), std::move(*bytes)};
}

std::vector<EncodedWord> findWords(std::string_view text) {
    std::vector<EncodedWord> words;
    std::size_t from = 0;
    for (std::size_t at = text.find("=?"); at != npos; at = text.find("=?", from)) {
        if (std::optional<EncodedWord> word = wordAt(text, at)) {
            from = word->End;
            words.push_back(std::move(*word));
        } else {
            from = at + 1;
        }
    }
    return words;
}

bool isBlankRun(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return kWordBlanks.Contains(c); });
}

// The UTF-8 text of each word, or nothing for a word that stays as
// received. Adjacent words of one charset are converted together; the text
// of such a run goes to its first word, the others get an empty text.
std::vector<std::optional<std::string>> convertWords(std::string_view text, const std::vector<EncodedWord>& words) {
    std::vector<std::optional<std::string>> converted(words.size());
    std::size_t i = 0;
    while (i < words.size()) {
        std::size_t last = i;
        std::string joined;
        while (last + 1 < words.size() && words[last + 1].Charset == words[i].Charset &&
               isBlankRun(text.substr(words[last].End, words[last + 1].Begin - words[last].End))) {
            if (joined.empty()) joined = words[i].Bytes;
            joined += words[++last].Bytes;
        }
        if (std::optional<std::string> all = ConvertToUtf8(words[i].Charset, last > i ? joined : words[i].Bytes)) {
            converted[i] = std::move(all);
            for (std::size_t k = i + 1; k <= last; ++k) converted[k] = std::string();
        } else if (last > i) {
            for (std::size_t k = i; k <= last; ++k) converted[k] = ConvertToUtf8(words[k].Charset, words[k].Bytes);
        }
        i = last + 1;
    }
    return converted;
}

// Writes the pieces of a value: raw text (kept words included), read as
// UTF-8 or all of it as Windows-1250, and decoded text, quoted as an
// address field needs it. Follows the raw text's double quotes to know
// whether decoded text stands inside a quoted string.
class ValueWriter {
public:
    ValueWriter(TIdHeaderText kind, bool rawIsUtf8, std::size_t expectedSize) : FKind(kind), FRawIsUtf8(rawIsUtf8) {
        FOut.reserve(expectedSize);
    }

    void Raw(std::string_view raw) {
        if (FRawIsUtf8) {
            FOut += raw;
        } else {
            FOut += Windows1250ToUtf8(raw);
        }
        if (FKind == TIdHeaderText::Unstructured) return;
        std::size_t i = FEscaped && !raw.empty() ? 1 : 0;
        FEscaped = false;
        for (i = kQuoting.FindIn(raw, i); i != npos; i = kQuoting.FindIn(raw, i + 1)) {
            if (raw[i] == '"') {
                FInQuotes = !FInQuotes;
            } else if (i + 1 < raw.size()) {
                ++i;  // the byte after a backslash stands for itself
            } else {
                FEscaped = true;
            }
        }
    }

    void Decoded(std::string_view decoded) {
        if (FKind == TIdHeaderText::Unstructured || (!FInQuotes && kAddressSpecials.FindIn(decoded) == npos)) {
            FOut += decoded;
            return;
        }
        if (!FInQuotes) FOut += '"';
        for (const char c : decoded) {
            if (c == '"' || c == '\\') FOut += '\\';
            FOut += c;
        }
        if (!FInQuotes) FOut += '"';
    }

    [[nodiscard]] std::string Take() {
        std::erase(FOut, '\0');
        return std::move(FOut);
    }

private:
    TIdHeaderText FKind;
    bool FRawIsUtf8;
    bool FInQuotes = false;
    bool FEscaped = false;
    std::string FOut;
};

// Whether everything of the value that stays as received is valid UTF-8.
// The pieces meet at ASCII bytes, so checking them one by one is the same
// as checking them joined.
bool rawIsUtf8(std::string_view text, const std::vector<EncodedWord>& words,
               const std::vector<std::optional<std::string>>& converted) {
    std::size_t position = 0;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (!converted[i]) continue;
        if (!IsValidUtf8(text.substr(position, words[i].Begin - position))) return false;
        position = words[i].End;
    }
    return IsValidUtf8(text.substr(position));
}

}  // namespace

std::string DecodeHeaderTextToUtf8(std::string_view text, TIdHeaderText kind) {
    const std::vector<EncodedWord> words = findWords(text);
    if (words.empty()) {
        // Most values hold no encoded word.
        std::string plain = RawBytesToUtf8(text);
        std::erase(plain, '\0');
        return plain;
    }
    const std::vector<std::optional<std::string>> converted = convertWords(text, words);
    ValueWriter out(kind, rawIsUtf8(text, words, converted), text.size());
    std::size_t position = 0;
    bool afterDecoded = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (!converted[i]) continue;
        const std::string_view gap = text.substr(position, words[i].Begin - position);
        // Whitespace between two decoded words only separates them.
        if (!(afterDecoded && isBlankRun(gap))) out.Raw(gap);
        out.Decoded(*converted[i]);
        position = words[i].End;
        afterDecoded = true;
    }
    out.Raw(text.substr(position));
    return out.Take();
}

std::string DecodeHeaderValue(std::string_view text, TIdCharsetDecoding mode, TIdHeaderText kind) {
    if (mode == TIdCharsetDecoding::Written) return DecodeHeaderText(text);
    return DecodeHeaderTextToUtf8(text, kind);
}

// ---------------------------------------------------------------------------
// Extended parameters

namespace {

struct Parameter {
    std::string_view Attribute;
    std::string Value;
};

// The value at the front of `rest`: a quoted string (its escapes undone, up
// to the closing quote or the end) or a token up to the next ";".
std::string parameterValue(std::string_view& rest) {
    rest = TrimLeft(rest);
    std::string value;
    if (!rest.starts_with('"')) {
        const std::size_t end = std::min(rest.find(';'), rest.size());
        value = Trim(rest.substr(0, end));
        rest.remove_prefix(end);
        return value;
    }
    std::size_t i = 1;
    for (; i < rest.size() && rest[i] != '"'; ++i) {
        if (rest[i] == '\\' && i + 1 < rest.size()) ++i;
        value += rest[i];
    }
    rest.remove_prefix(std::min(rest.size(), i + 1));
    rest.remove_prefix(std::min(rest.find(';'), rest.size()));
    return value;
}

// parameters = type *(";" attribute "=" value)
std::vector<Parameter> parameters(std::string_view field) {
    std::vector<Parameter> found;
    std::string_view rest = field.substr(std::min(field.find(';'), field.size()));
    while (!rest.empty()) {
        rest.remove_prefix(1);  // the ";"
        const std::size_t equals = rest.find('=');
        const std::size_t semicolon = rest.find(';');
        if (equals == npos || (semicolon != npos && semicolon < equals)) {
            rest.remove_prefix(std::min(semicolon, rest.size()));
            continue;
        }
        const std::string_view attribute = Trim(rest.substr(0, equals));
        rest.remove_prefix(equals + 1);
        found.push_back(Parameter{attribute, parameterValue(rest)});
    }
    return found;
}

// One piece of a parameter: its number (-1 for "name*") and whether it is
// extended (percent-encoded).
struct Piece {
    int Number;
    bool Extended;
    std::string Value;
};

// What follows "name*" in an attribute: nothing, or a number without
// leading zeros, optionally followed by "*".
std::optional<Piece> pieceOf(std::string_view suffix, std::string value) {
    if (suffix.empty()) return Piece{-1, true, std::move(value)};
    const bool extended = suffix.ends_with('*');
    if (extended) suffix.remove_suffix(1);
    if (suffix.empty() || suffix.size() > 3 || (suffix.size() > 1 && suffix.front() == '0')) return std::nullopt;
    int number = 0;
    for (const char c : suffix) {
        if (c < '0' || c > '9') return std::nullopt;
        number = number * 10 + (c - '0');
    }
    return Piece{number, extended, std::move(value)};
}

std::string percentDecoded(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int high = text[i] == '%' && i + 2 < text.size() ? HexDigitValue(text[i + 1]) : -1;
        const int low = high >= 0 ? HexDigitValue(text[i + 2]) : -1;
        if (low >= 0) {
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The pieces of `name` in the order they join: "name*" alone, else the
// numbered ones from 0 up to the first missing number.
std::vector<Piece> orderedPieces(std::string_view field, std::string_view name) {
    std::vector<Piece> pieces;
    for (Parameter& parameter : parameters(field)) {
        const std::string_view attribute = parameter.Attribute;
        if (attribute.size() <= name.size() || attribute[name.size()] != '*' ||
            !SameText(attribute.substr(0, name.size()), name))
            continue;
        std::optional<Piece> piece = pieceOf(attribute.substr(name.size() + 1), std::move(parameter.Value));
        if (!piece) continue;
        if (piece->Number < 0) return {std::move(*piece)};
        pieces.push_back(std::move(*piece));
    }
    std::stable_sort(pieces.begin(), pieces.end(), [](const Piece& a, const Piece& b) { return a.Number < b.Number; });
    std::vector<Piece> ordered;
    for (Piece& piece : pieces) {
        const int expected = static_cast<int>(ordered.size());
        if (piece.Number > expected || expected >= kMaxContinuations) break;
        if (piece.Number == expected) ordered.push_back(std::move(piece));
    }
    return ordered;
}

}  // namespace

std::optional<std::string> ExtendedParameterValue(std::string_view field, std::string_view name) {
    const std::vector<Piece> pieces = orderedPieces(field, name);
    if (pieces.empty()) return std::nullopt;
    std::string charset;
    std::string bytes;
    bool extended = false;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        std::string_view value = pieces[i].Value;
        if (!pieces[i].Extended) {
            bytes += value;
            continue;
        }
        extended = true;
        // The first piece begins with charset "'" language "'".
        if (i == 0) {
            const std::size_t first = value.find('\'');
            const std::size_t second = first == npos ? npos : value.find('\'', first + 1);
            if (second != npos) {
                charset = value.substr(0, first);
                value.remove_prefix(second + 1);
            }
        }
        bytes += percentDecoded(value);
    }
    if (!extended) return DecodeHeaderTextToUtf8(bytes);
    std::optional<std::string> text = charset.empty() ? std::nullopt : ConvertToUtf8(charset, bytes);
    std::string result = text ? std::move(*text) : RawBytesToUtf8(bytes);
    std::erase(result, '\0');
    return result;
}
