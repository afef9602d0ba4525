// Feeds arbitrary bytes to the quoted-printable decoder, whole and as lines
// with CR LF the way body reception passes them. Nothing may raise, and no
// text yields more bytes than it has.
#include "FuzzLines.h"
#include "message/IdCoderQuotedPrintable.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void decodeBounded(TIdDecoderQuotedPrintable& decoder, std::string_view text) {
    MemorySink sink;
    decoder.DecodeToStream(text, sink);
    if (sink.Size() > text.size()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    TIdDecoderQuotedPrintable decoder;
    decodeBounded(decoder, input);
    forEachLine(input, [&](std::string_view line) { decodeBounded(decoder, std::string(line) + "\r\n"); });
    return 0;
}
