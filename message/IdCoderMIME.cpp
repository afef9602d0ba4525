#include "message/IdCoderMIME.h"

namespace {

constexpr TIdDecodeTable kBase64Table = BuildDecodeTable(kBase64Alphabet);

}  // namespace

TIdDecoderMIME::TIdDecoderMIME() : TIdDecoder4to3(kBase64Table, '=') {}

void TIdDecoderMIME::DecodeToStream(std::string_view text, ByteSink& destination) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
    TIdDecoder4to3::DecodeToStream(text, destination);
}
