#pragma once

#include <optional>
#include <string>
#include <string_view>

// How header processing and body reception treat the character sets of what
// they receive.
enum class TIdCharsetDecoding {
    // Encoded words only of charsets named "ISO..." or "WINDOWS...", their
    // bytes kept unconverted (ISO-2022-JP made Shift-JIS); part names and
    // text parts as received.
    Written,
    // Encoded words, extended parameters (RFC 2231) and text parts of every
    // charset the C library converts turned into UTF-8.
    AllToUtf8,
};

// The name by which a charset is looked up: a language suffix ("*" and what
// follows, RFC 2231) cut off, letters upper-cased. Empty when the name holds
// anything but letters, digits and "-_.:+()", or more than 40 of them, so
// that nothing but a plain name ever reaches the converter.
[[nodiscard]] std::string NormalizeCharsetName(std::string_view name);

// Whether a charset name (any form NormalizeCharsetName takes) stands for
// UTF-8 or US-ASCII, whose texts need no conversion when they are valid.
[[nodiscard]] bool IsUtf8Charset(std::string_view name);

// `bytes` in `charset` as UTF-8; nothing when the charset is unknown or the
// bytes are not a complete, valid text in it. The converters of the last
// charsets used stay open for the calls that follow (per thread).
[[nodiscard]] std::optional<std::string> ConvertToUtf8(std::string_view charset, std::string_view bytes);

// True when the bytes are well-formed UTF-8 (no overlong forms, no
// surrogates, nothing above U+10FFFF).
[[nodiscard]] bool IsValidUtf8(std::string_view bytes);

// The code point the display gives a byte of no known charset: Windows-1250,
// with the five bytes it leaves undefined kept as the C1 control of the same
// number.
[[nodiscard]] char16_t Windows1250CodePoint(unsigned char byte);

// Bytes read one by one as Windows-1250 (see Windows1250CodePoint), as UTF-8.
[[nodiscard]] std::string Windows1250ToUtf8(std::string_view bytes);

// Bytes of no declared charset as UTF-8: valid UTF-8 stays, anything else is
// read byte by byte as Windows-1250, the way the display shows such bytes.
[[nodiscard]] std::string RawBytesToUtf8(std::string_view bytes);
