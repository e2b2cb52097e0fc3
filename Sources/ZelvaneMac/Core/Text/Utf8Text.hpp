#pragma once

#include <QString>

#include <string_view>

namespace zelvane {

// Text the engine hands over as UTF-8 (names, paths for display, formatted sizes) as a QString.
// Bytes that are no UTF-8 become replacement characters: for display only; a path that must
// reach the disk again goes through qStringFromPathBytes instead.
inline QString qStringFromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

}  // namespace zelvane
