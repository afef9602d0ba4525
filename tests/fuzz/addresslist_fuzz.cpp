// Arbitrary bytes as an address field: only "@ Outside address" may escape,
// and every item of a parsed list must display, and reparse, safely.
#include "message/IdEMailAddress.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    TIdEMailAddressList list;
    try {
        list.ParseAddressList(input);
    } catch (const EIdEmailParseError&) {
    }
    const std::string text = list.AddressListText();
    for (const TIdEMailAddressItem& item : list) {
        TIdEMailAddressItem copy;
        try {
            copy.SetText(item.Text());
        } catch (const EIdEmailParseError&) {
        }
    }
    TIdEMailAddressItem single;
    try {
        single.SetText(input);
    } catch (const EIdEmailParseError&) {
    }
    (void)single.Text();
    return 0;
}
