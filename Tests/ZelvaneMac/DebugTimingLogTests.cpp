// Runs under ThreadSanitizer too: entries are opened and closed from worker threads.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "ZelvaneMac/Core/Diagnostics/DebugTimingLog.hpp"
#include "QtTestApp.hpp"

using namespace zelvane;

namespace {
qsizetype indexOf(const QUuid& id) {
    const auto& e = DebugTimingLog::shared().entries();
    for (qsizetype i = 0; i < e.size(); ++i)
        if (e[i].id == id) return i;
    return -1;
}
}  // namespace

TEST(DebugTimingLog, KeepsTheLast300AndPairsBeginAndEndAcrossThreads) {
    qtTestApp();
    std::vector<QUuid> tokens(305);
    std::vector<std::thread> threads;
    for (int t = 0; t < 5; ++t)
        threads.emplace_back([&tokens, t] {
            for (int i = t * 61; i < (t + 1) * 61; ++i) tokens[i] = DebugTimingLog::begin("Scan", QString::number(i));
        });
    for (auto& t : threads) t.join();
    ASSERT_TRUE(pumpUntil([&] { return indexOf(tokens[304]) >= 0 || DebugTimingLog::shared().entries().size() == 300; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(DebugTimingLog::shared().entries().size(), 300);

    int present = 0;
    for (const QUuid& id : tokens) present += indexOf(id) >= 0;
    EXPECT_EQ(present, 300);  // exactly five were dropped

    QUuid kept;
    for (const QUuid& id : tokens)
        if (indexOf(id) >= 0) kept = id;
    std::thread([kept] { DebugTimingLog::end(kept); }).join();
    ASSERT_TRUE(pumpUntil([&] { return DebugTimingLog::shared().entries()[indexOf(kept)].endedAt.has_value(); }));
    const auto& e = DebugTimingLog::shared().entries()[indexOf(kept)];
    EXPECT_TRUE(e.detail.has_value());  // absent detail keeps the one given at begin
    EXPECT_GE(*e.endedAt, e.startedAt);

    DebugTimingLog::end(kept, QStringLiteral("failed"));
    ASSERT_TRUE(pumpUntil([&] { return DebugTimingLog::shared().entries()[indexOf(kept)].detail == "failed"; }));

    // Tokens that were dropped or never issued change nothing.
    const auto recorded = [] {
        QStringList lines;
        for (const DebugTimingLog::Entry& entry : DebugTimingLog::shared().entries())
            lines << entry.id.toString() + entry.detail.value_or(QString()) +
                         (entry.endedAt ? entry.endedAt->toString(Qt::ISODateWithMs) : QString());
        return lines;
    };
    const QStringList before = recorded();
    for (const QUuid& id : tokens)
        if (indexOf(id) < 0) DebugTimingLog::end(id, QStringLiteral("x"));
    DebugTimingLog::end(QUuid::createUuid());
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(recorded(), before);
}
