#pragma once

#include <utility>

namespace zelvane {

// Assigns `value` to `field` when they differ; true when it did. State setters announce only a
// real change, so each reads `if (assignIfChanged(x_, value)) emit xChanged(x_);`.
template <class T, class U>
bool assignIfChanged(T& field, U&& value) {
    if (field == value) return false;
    field = std::forward<U>(value);
    return true;
}

}  // namespace zelvane
