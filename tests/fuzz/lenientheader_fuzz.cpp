// Feeds arbitrary bytes as header lines into the lenient field reading of
// the check run. It must never raise, must keep the lines as received, and
// must name a failure whenever it kept a field's raw text.
#include "message/IdLenientHeader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    TIdMessage msg;
    for (std::size_t start = 0; start < input.size();) {
        std::size_t end = input.find('\n', start);
        if (end == std::string_view::npos) end = input.size();
        msg.HeaderLines.Add(std::string(input.substr(start, end - start)));
        start = end + 1;
    }
    const std::string before = msg.HeaderLines.Text();
    TIdLenientFields fields;
    try {
        fields = ReadHeaderFieldsLeniently(msg);
    } catch (...) {
        std::abort();
    }
    if (msg.HeaderLines.Text() != before) std::abort();
    if (!fields.RawFields.empty() && fields.Error.empty()) std::abort();
    (void)msg.Recipients.AddressListText();
    return 0;
}
