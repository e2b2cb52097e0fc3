#pragma once

#include <QString>
#include <QStringList>

namespace zelvane {

// The names of preference keys as `Preferences::changed` reports them, for a view that follows a
// few keys.
template <typename... Keys>
QStringList preferenceKeyNames(const Keys&... keys) {
    return {QString::fromLatin1(keys.name.data(), qsizetype(keys.name.size()))...};
}

}  // namespace zelvane
