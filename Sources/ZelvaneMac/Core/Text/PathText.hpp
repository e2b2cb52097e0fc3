#pragma once

#include <QString>
#include <string>
#include <string_view>

#include "ScanEngine/Tree/NameCoding.hpp"

namespace zelvane {

// Paths travel through the application as QString but are bytes on disk. They are decoded the way
// node names are (bytes that are not UTF-8 become lone surrogates), so that converting back gives
// the exact bytes and a folder with such a name can still be scanned.
inline QString qStringFromPathBytes(std::string_view bytes) {
    std::u16string units = decodeNameUTF8(bytes);
    return QString(reinterpret_cast<const QChar*>(units.data()), qsizetype(units.size()));
}

inline std::string pathBytesFromQString(const QString& path) {
    return encodeNameBytes(std::u16string_view(reinterpret_cast<const char16_t*>(path.utf16()), size_t(path.size())));
}

}  // namespace zelvane
