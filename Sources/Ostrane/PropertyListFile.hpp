#pragma once

#include <QString>

#include <plist/plist.h>

namespace ostrane {

// A property list (XML or binary) read from a file and owned until destruction. The root is null
// when the file is missing, unreadable, too large for a settings or strings file, or not a list.
class PropertyListFile final {
public:
    static PropertyListFile read(const QString& path);

    PropertyListFile(PropertyListFile&& other) noexcept : root_(other.root_) { other.root_ = nullptr; }
    PropertyListFile(const PropertyListFile&) = delete;
    PropertyListFile& operator=(const PropertyListFile&) = delete;
    PropertyListFile& operator=(PropertyListFile&&) = delete;
    ~PropertyListFile();

    plist_t root() const { return root_; }

private:
    explicit PropertyListFile(plist_t root) : root_(root) {}
    plist_t root_ = nullptr;
};

}  // namespace ostrane
