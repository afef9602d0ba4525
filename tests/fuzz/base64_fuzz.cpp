// Feeds arbitrary bytes, line by line, to the Base64 decoder. A line either
// raises the uneven-size error having written nothing, or yields at most
// three quarters of its length plus 3 bytes.
#include "FuzzLines.h"
#include "message/IdCoderMIME.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TIdDecoderMIME decoder;
    MemorySink sink;
    forEachLine(std::string_view(reinterpret_cast<const char*>(data), size), [&](std::string_view line) {
        const std::uint64_t before = sink.Size();
        try {
            decoder.DecodeToStream(line, sink);
        } catch (const EIdException&) {
            if (sink.Size() != before) std::abort();
            return;
        }
        if (sink.Size() - before > line.size() * 3 / 4 + 3) std::abort();
    });
    if (sink.Size() != sink.Data().size()) std::abort();
    return 0;
}
