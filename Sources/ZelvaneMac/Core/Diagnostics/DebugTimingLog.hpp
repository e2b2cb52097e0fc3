#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QUuid>
#include <QVector>
#include <optional>

namespace zelvane {

// An in-memory record of how long the slower operations took. `begin` and `end` may be called from
// any thread: they take their timestamp at once and hand the change of `entries` to the main
// thread, so they never block and queueing delays do not distort durations.
class DebugTimingLog final : public QObject {
    Q_OBJECT
public:
    struct Entry {
        QUuid id;
        QString label;
        QDateTime startedAt;
        std::optional<QDateTime> endedAt;
        std::optional<QString> detail;
    };
    static constexpr int kMaxEntries = 300;

    // The process-wide log, living on the application's main thread.
    static DebugTimingLog& shared();

    static QUuid begin(const QString& label, const std::optional<QString>& detail = std::nullopt);
    static void end(const QUuid& token, const std::optional<QString>& detail = std::nullopt);

    // Main thread only.
    const QVector<Entry>& entries() const { return entries_; }

private:
    DebugTimingLog() = default;
    void append(Entry e);
    void close(const QUuid& token, const QDateTime& endedAt, const std::optional<QString>& detail);
    QVector<Entry> entries_;
};

}  // namespace zelvane
