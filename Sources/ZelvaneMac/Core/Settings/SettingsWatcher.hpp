#pragma once

#include <QObject>

#include <utility>

#include "ZelvaneMac/Core/Settings/Preferences.hpp"

namespace zelvane {

// The part every `SettingsWatcher` shares: it hears each change of the preferences and says
// `changed` when what its consumer reads is no longer the same.
class SettingsWatch : public QObject {
    Q_OBJECT
public:
    const Preferences& preferences() const { return preferences_; }

signals:
    void changed();

protected:
    SettingsWatch(const Preferences& preferences, QObject* parent);
    // Reads the snapshot again; true when it differs from the one held, which it then replaces.
    virtual bool reread() = 0;

private:
    const Preferences& preferences_;
};

// Follows what one consumer reads from the preferences as one value: `Snapshot::of(preferences)`
// reads it, `==` compares it. Every change of the preferences reads it again, and `changed` is sent
// only when the new snapshot differs from the last, so a consumer is not told of keys it does not
// read, nor of a value stored again, nor of a stored value that reads as the one before (the
// default, stored for the first time). GUI thread only.
template <typename Snapshot>
class SettingsWatcher final : public SettingsWatch {
public:
    explicit SettingsWatcher(const Preferences& preferences, QObject* parent = nullptr)
        : SettingsWatch(preferences, parent), current_(Snapshot::of(preferences)), previous_(current_) {}

    const Snapshot& current() const { return current_; }
    // What `current()` was until the last `changed`.
    const Snapshot& previous() const { return previous_; }

private:
    bool reread() override {
        Snapshot next = Snapshot::of(preferences());
        if (next == current_) return false;
        previous_ = std::exchange(current_, std::move(next));
        return true;
    }

    Snapshot current_;
    Snapshot previous_;
};

// The snapshot of a consumer that reads one key: its value, as read.
template <const auto& key>
struct PreferenceValue {
    decltype(std::declval<const Preferences&>().value(key)) value;

    static PreferenceValue of(const Preferences& preferences) { return {preferences.value(key)}; }
    bool operator==(const PreferenceValue&) const = default;
};

}  // namespace zelvane
