// Feeds arbitrary bytes to the header list as lines, looks fields up and
// stores them back; every lookup must return and nothing may crash.
#include "message/IdHeaderList.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    TIdHeaderList list;
    std::size_t start = 0;
    while (start < input.size()) {
        std::size_t end = input.find('\n', start);
        if (end == std::string_view::npos) end = input.size();
        list.Add(std::string(input.substr(start, end - start)));
        start = end + 1;
    }
    // Names taken from the input itself reach the matching paths.
    for (int i = 0; i < list.Count() && i < 8; ++i) {
        const std::string name = list.FieldNameAt(i);
        const std::string value = list.GetFieldValue(name);
        list.SetFieldValue(name, value);
        (void)list.FieldValueAt(i);
    }
    list.SetFieldValue("Content-Type", input);
    (void)list.GetFieldValue("content-type");
    list.SetFieldValue("Content-Type", "");
    (void)TIdHeaderList::WrapFoldText(input, "\r\n ", "\t ,", 20);
    (void)list.Text();
    return 0;
}
