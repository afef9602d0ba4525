#pragma once

#include "message/IdCharsets.h"

#include <optional>
#include <string>
#include <string_view>

// What a header value holds, for the decoding of its encoded words.
enum class TIdHeaderText {
    // A subject or a file name: decoded text stands as it is.
    Unstructured,
    // An address field ("From", "To", "Cc"): decoded text that holds a comma,
    // a bracket, a colon, a semicolon, a quote or a backslash is put in
    // double quotes (escaped when it stands inside quotes already), so that
    // the address parser reads it as part of a name, never as a separator
    // or an address of its own.
    Addresses,
};

// Decodes the RFC 2047 encoded words ("=?charset?Q?...?=" and
// "=?charset?B?...?=", charset in any case, optionally followed by "*" and a
// language) of a header value into UTF-8 through the C library's converters.
// The result is always UTF-8 without NUL bytes:
// - whitespace between two adjacent words that were both decoded is
//   dropped, and the bytes of adjacent words in the same charset are
//   converted together, so that a character split across two words
//   survives;
// - a word in a charset the converters do not know, one whose bytes are not
//   valid in its charset, and a malformed one (an "=" not followed by two
//   hexadecimal digits in Q, a character outside the alphabet or a cut
//   group in B) stays as received;
// - text outside the words that is valid UTF-8 stays; otherwise all of it is
//   read as Windows-1250, byte by byte, the way the display would show it.
// Deviations from RFC 2047 that are tolerated: a word may stand anywhere,
// also inside a longer token or a quoted string, and may be longer than 75
// characters; Q text may hold any byte but whitespace and "?".
// Never throws.
[[nodiscard]] std::string DecodeHeaderTextToUtf8(std::string_view text,
                                                 TIdHeaderText kind = TIdHeaderText::Unstructured);

// The decoding that `mode` asks for: DecodeHeaderText (which may throw its
// EConvertError) or DecodeHeaderTextToUtf8.
[[nodiscard]] std::string DecodeHeaderValue(std::string_view text, TIdCharsetDecoding mode,
                                            TIdHeaderText kind = TIdHeaderText::Unstructured);

// The value of the parameter `name` (any case) of a structured field such as
// ‘attachment; filename*=utf-8''%E2%82%AC.txt’ when the field gives it in
// the extended form of RFC 2231: "name*" alone, or the continuations
// "name*0", "name*1" ... (each with or without its own trailing "*"), taken
// in order from 0 up to the first number missing. Extended pieces are
// percent-decoded and the text is converted to UTF-8 from the charset
// named before the first "'" (a language between the two "'" is ignored);
// a charset that is missing, unknown or does not fit the bytes leaves them
// to the rule for raw bytes of DecodeHeaderTextToUtf8. Continuations without
// any extended piece are joined and decoded as a header value. Nothing when
// the field has neither form of the parameter.
[[nodiscard]] std::optional<std::string> ExtendedParameterValue(std::string_view field, std::string_view name);
