// Arbitrary bytes as a header value to decode: only the conversion error may
// escape, the result never holds a NUL byte and never grows beyond the input
// (decoding only shrinks words; Shift-JIS keeps two bytes per pair).
#include "message/IdCoderHeader.h"
#include "message/IdGlobal.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    try {
        const std::string decoded = DecodeHeaderText(input);
        if (decoded.find('\0') != std::string::npos) std::abort();
        if (decoded.size() > input.size()) std::abort();
    } catch (const EConvertError&) {
    }
    return 0;
}
