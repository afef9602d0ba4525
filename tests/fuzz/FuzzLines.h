#pragma once

#include <string_view>

// Calls `use` with every piece of `input` between LFs, the LFs dropped.
template <typename Use>
void forEachLine(std::string_view input, Use&& use) {
    while (!input.empty()) {
        const std::size_t lf = input.find('\n');
        use(input.substr(0, lf));
        input.remove_prefix(lf == std::string_view::npos ? input.size() : lf + 1);
    }
}
