#include "message/IdCoderUUE.h"

#include <algorithm>
#include <array>

namespace {

constexpr TIdDecodeTable kUUETable = [] {
    TIdDecodeTable table = BuildDecodeTable(kUUEAlphabet);
    table[' '] = 0;
    return table;
}();

// The most characters a line can ask for: a length of 255 (a length
// character outside the alphabet) needs 85 groups.
constexpr std::size_t kLongestGroups = 255 / 3 * 4 + 4;

}  // namespace

void TIdDecoderUUEBase::DecodeToStream(std::string_view text, ByteSink& destination) {
    if (text.empty()) return;
    const unsigned count = DecodeTable[static_cast<unsigned char>(text.front())];
    text.remove_prefix(1);

    // n div 3 full groups, and one group more for a remainder of 1 or 2
    // bytes, whose last two or last one character are FillChar.
    const std::size_t size = count / 3 * 4 + (count % 3 == 0 ? 0 : 4);
    std::array<char, kLongestGroups> groups;
    const std::size_t carried = std::min(size, text.size());
    std::copy_n(text.begin(), carried, groups.begin());
    std::fill(groups.begin() + static_cast<std::ptrdiff_t>(carried),
              groups.begin() + static_cast<std::ptrdiff_t>(size), FZeroChar);
    if (count % 3 == 1) groups[size - 2] = FillChar;
    if (count % 3 != 0) groups[size - 1] = FillChar;

    writeOut(decodeGroups(std::string_view(groups.data(), size), outputRoom(size / 4 * 3)), destination);
}

TIdDecoderUUE::TIdDecoderUUE() : TIdDecoderUUEBase(kUUETable, '`') {}
