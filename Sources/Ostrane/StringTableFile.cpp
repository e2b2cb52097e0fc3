#include "Ostrane/StringTableFile.hpp"

#include "Ostrane/PropertyListFile.hpp"

#include <cstdlib>

namespace ostrane {

std::optional<StringTable> readStringTable(const QString& path) {
    const PropertyListFile file = PropertyListFile::read(path);
    plist_t root = file.root();
    if (!root || plist_get_node_type(root) != PLIST_DICT) return std::nullopt;
    StringTable table;
    plist_dict_iter it = nullptr;
    plist_dict_new_iter(root, &it);
    bool allStrings = true;
    while (it) {
        char* key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(root, it, &key, &value);
        if (!key) break;
        if (plist_get_node_type(value) == PLIST_STRING) {
            uint64_t length = 0;
            const char* text = plist_get_string_ptr(value, &length);
            table.insert(QString::fromUtf8(key), QString::fromUtf8(text, qsizetype(length)));
        } else {
            allStrings = false;
        }
        std::free(key);
        if (!allStrings) break;
    }
    std::free(it);
    if (!allStrings) return std::nullopt;
    return table;
}

}  // namespace ostrane
