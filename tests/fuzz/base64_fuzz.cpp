// Feeds arbitrary bytes, line by line, to the Base64 decoder. A line either
// raises the uneven-size error having written nothing, or yields at most
// three quarters of its length plus 3 bytes.
#include "message/IdCoderMIME.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    TIdDecoderMIME decoder;
    MemorySink sink;
    while (!input.empty()) {
        const std::size_t lf = input.find('\n');
        const std::string_view line = input.substr(0, lf);
        input.remove_prefix(lf == std::string_view::npos ? input.size() : lf + 1);
        const std::uint64_t before = sink.Size();
        try {
            decoder.DecodeToStream(line, sink);
        } catch (const EIdException&) {
            if (sink.Size() != before) std::abort();
            continue;
        }
        if (sink.Size() - before > line.size() * 3 / 4 + 3) std::abort();
    }
    if (sink.Size() != sink.Data().size()) std::abort();
    return 0;
}
