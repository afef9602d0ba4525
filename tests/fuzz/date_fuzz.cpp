// Arbitrary bytes as a "Date" value: the parser must return without
// throwing, and the zone parser must stay within a day.
#include "message/IdGlobal.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string_view rest = input;
    const TDateTime raw = ParseInternetDateRaw(rest);
    if (!std::isfinite(raw) || rest.size() > input.size()) std::abort();
    if (raw != 0) {
        const TDateTimeParts parts = DecodeDateTime(raw);
        if (parts.Year < 1 || parts.Year > 9999) std::abort();
    }
    if (std::abs(ParseZoneOffset(input)) >= 1.0) std::abort();
    (void)InternetDateToLocal(input);
    return 0;
}
