// Feeds arbitrary bytes, line by line, to the uuencode and xxencode line
// decoders. Nothing may raise, and no line yields more than 255 bytes (the
// largest value of a length character).
#include "FuzzLines.h"
#include "message/IdCoderUUE.h"
#include "message/IdCoderXXE.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TIdDecoderUUE uue;
    TIdDecoderXXE xxe;
    forEachLine(std::string_view(reinterpret_cast<const char*>(data), size), [&](std::string_view line) {
        for (TIdDecoder* decoder : {static_cast<TIdDecoder*>(&uue), static_cast<TIdDecoder*>(&xxe)}) {
            MemorySink sink;
            decoder->DecodeToStream(line, sink);
            if (sink.Size() > 255) std::abort();
        }
    });
    return 0;
}
