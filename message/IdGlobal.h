#pragma once

#include "net/IdException.h"

#include <string>
#include <string_view>

// The integer conversion error, shared by every layer that turns received or
// stored text into a number: "'%s' is not a valid integer value".
class EConvertError : public EIdException {
public:
    explicit EConvertError(const std::string& message) : EIdException(message) {}
};

// Raises EConvertError for `text`, with the text quoted as given.
[[noreturn]] void RaiseNotAnInteger(std::string_view text);

// The strict conversion: optional leading blanks, an optional sign, then
// decimal digits, or hexadecimal digits after "$", "0x" or "0X"; nothing may
// follow, and the value must fit in 32 bits (hexadecimal up to FFFFFFFF, read
// as the 32-bit pattern). Anything else raises EConvertError with `text`.
[[nodiscard]] int StrToInt(std::string_view text);

// The same conversion, giving `defaultValue` instead of raising.
[[nodiscard]] int StrToIntDef(std::string_view text, int defaultValue);
