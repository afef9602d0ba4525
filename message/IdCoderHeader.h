#pragma once

#include <string>
#include <string_view>

// Decodes the RFC 2047 encoded words ("=?charset?Q?...?=", "=?charset?B?...?=")
// of a header value whose charset name begins with "ISO" or "WINDOWS" (any
// letter case); words in other charsets and everything around the words are
// kept as they are. Decoded bytes are placed into the result unconverted,
// except that ISO-2022-JP text becomes Shift-JIS. NUL bytes are removed from
// the whole result.
//
// Deviations from RFC 2047 that are tolerated or chosen:
// - a word may stand anywhere, also inside a longer token, and the blanks
//   between two adjacent words are kept ("a b" for two words a and b);
// - any encoding letter other than Q/q decodes as base64; characters outside
//   the base64 alphabet count as 0, and the closing "?=" takes part in the
//   last group of four;
// - a word that has no closing "?=", or whose span would contain the start of
//   another word ("=?"), is left undecoded and the search goes on inside it;
// - each word is decoded once: decoded bytes are never searched again.
//
// Throws EConvertError "'$XY' is not a valid integer value" when a Q-encoded
// "=" is followed by two characters XY that are not hexadecimal digits.
[[nodiscard]] std::string DecodeHeaderText(std::string_view text);
