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

// `assignIfChanged` for a field seeded from a stored key: a change is also stored, so the next
// window starts from it while the windows already open keep their own.
template <class Store, class Key, class T>
bool assignAndStoreIfChanged(Store& store, const Key& key, T& field, const T& value) {
    if (!assignIfChanged(field, value)) return false;
    store.set(key, value);
    return true;
}

}  // namespace zelvane
