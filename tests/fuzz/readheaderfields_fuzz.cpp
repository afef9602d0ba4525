// Feeds arbitrary bytes as header lines into header processing, twice over
// the same message as a header fetch followed by a whole-message fetch
// does. The parsers may raise their documented errors; nothing may crash,
// and the boundary stack never holds an empty or repeated top.
#include "message/IdMessage.h"
#include "message/IdMessageClient.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void readFields(TIdMessage& msg) {
    try {
        TIdMessageClient::ReadHeaderFields(msg);
    } catch (const EIdException&) {
        // "@ Outside address", the conversion error and the time-zone error
        // are the failures header processing lets through.
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    TIdMessage msg;
    std::size_t start = 0;
    while (start < input.size()) {
        std::size_t end = input.find('\n', start);
        if (end == std::string_view::npos) end = input.size();
        msg.HeaderLines.Add(std::string(input.substr(start, end - start)));
        start = end + 1;
    }
    readFields(msg);
    readFields(msg);
    if (msg.BoundaryStack.Count() > 1) std::abort();
    (void)ParsePriority(input);
    (void)BoundaryFromContentType(input);
    (void)CharSetFromContentType(input);
    (void)msg.Recipients.AddressListText();
    (void)msg.From.Text();
    return 0;
}
