#pragma once

#include <array>
#include <cstddef>
#include <string_view>
#include <utility>

namespace zelvane {

// A table's sort keys with the column identifiers that name them (the names stored header layouts
// carry), and the key an identifier no column bears reads as. Every key has a name.
template <typename Key, std::size_t N>
struct SortKeyTable {
    std::array<std::pair<Key, std::string_view>, N> names;
    Key unnamed;

    constexpr Key keyFor(std::string_view identifier) const {
        for (const auto& [key, name] : names)
            if (name == identifier) return key;
        return unnamed;
    }
    constexpr std::string_view identifierOf(Key key) const {
        for (const auto& [k, name] : names)
            if (k == key) return name;
        return {};
    }
};

}  // namespace zelvane
