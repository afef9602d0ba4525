#include "message/IdCoderXXE.h"

namespace {

constexpr TIdDecodeTable kXXETable = BuildDecodeTable(kXXEAlphabet);

}  // namespace

TIdDecoderXXE::TIdDecoderXXE() : TIdDecoderUUEBase(kXXETable, '+') {}
