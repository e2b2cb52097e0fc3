#include "ZelvaneMac/Core/Diagnostics/DebugTimingLog.hpp"

#include <QCoreApplication>
#include <QThread>

#include "ZelvaneMac/Core/Support/QueueHandOff.hpp"

namespace zelvane {

DebugTimingLog& DebugTimingLog::shared() {
    static DebugTimingLog* log = [] {
        auto* l = new DebugTimingLog();
        // First use may come from a worker: the log belongs to the main thread all the same.
        if (auto* app = QCoreApplication::instance()) l->moveToThread(app->thread());
        return l;
    }();
    return *log;
}

QUuid DebugTimingLog::begin(const QString& label, const std::optional<QString>& detail) {
    Entry e{QUuid::createUuid(), label, QDateTime::currentDateTimeUtc(), std::nullopt, detail};
    QUuid id = e.id;
    DebugTimingLog& log = shared();
    // Workers time their jobs as well: what they post goes through the queue's hand-off.
    [[maybe_unused]] const QueuePosting posting;
    QMetaObject::invokeMethod(
        &log,
        [&log, e = std::move(e)]() mutable {
            queuePostTaken();
            log.append(std::move(e));
        },
        Qt::QueuedConnection);
    return id;
}

void DebugTimingLog::end(const QUuid& token, const std::optional<QString>& detail) {
    QDateTime endedAt = QDateTime::currentDateTimeUtc();
    DebugTimingLog& log = shared();
    [[maybe_unused]] const QueuePosting posting;
    QMetaObject::invokeMethod(
        &log,
        [&log, token, endedAt, detail] {
            queuePostTaken();
            log.close(token, endedAt, detail);
        },
        Qt::QueuedConnection);
}

void DebugTimingLog::append(Entry e) {
    entries_.push_back(std::move(e));
    if (entries_.size() > kMaxEntries) entries_.remove(0, entries_.size() - kMaxEntries);
}

void DebugTimingLog::close(const QUuid& token, const QDateTime& endedAt, const std::optional<QString>& detail) {
    for (Entry& e : entries_) {
        if (e.id != token) continue;
        e.endedAt = endedAt;
        if (detail) e.detail = detail;
        return;
    }
}

}  // namespace zelvane
