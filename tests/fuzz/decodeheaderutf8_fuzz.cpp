// Arbitrary bytes as a header value, and as a structured field, decoded into
// UTF-8: nothing escapes, the result is always valid UTF-8 without NUL bytes
// and stays within a few bytes for each byte of the input.
#include "message/IdCharsets.h"
#include "message/IdHeaderWords.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void check(const std::string& decoded, std::size_t inputSize) {
    if (!IsValidUtf8(decoded) || decoded.find('\0') != std::string::npos) std::abort();
    if (decoded.size() > 4 * inputSize + 2) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    check(DecodeHeaderTextToUtf8(input), size);
    check(DecodeHeaderTextToUtf8(input, TIdHeaderText::Addresses), size);
    if (const auto value = ExtendedParameterValue(input, "filename")) check(*value, size);
    return 0;
}
