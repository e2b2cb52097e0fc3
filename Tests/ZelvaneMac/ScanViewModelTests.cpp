// Runs under ThreadSanitizer too: each run works on a thread of its own and reports back.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

#include "ScanEngine/CSVTestSupport.hpp"
#include "ZelvaneMac/Core/Diagnostics/DebugTimingLog.hpp"
#include "ZelvaneMac/Core/Text/PathText.hpp"
#include "QtTestApp.hpp"
#include "TempFolder.hpp"
#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"

using namespace zelvane;
namespace fs = std::filesystem;

namespace {

struct TempTree {
    testsupport::TempFolder dir{"zelvane-scan-model"};
    fs::path root() const { return dir.fsPath(); }
    QString path(const char* rel = "") const { return QString::fromStdString((root() / rel).string()); }
    void file(const std::string& rel, size_t bytes) {
        fs::create_directories((root() / rel).parent_path());
        std::ofstream(root() / rel) << std::string(bytes, 'x');
    }
};

// Every terminal state the model publishes, in order.
struct Outcomes {
    std::vector<ScanState> states;
    explicit Outcomes(ScanViewModel& m) {
        QObject::connect(&m, &ScanViewModel::scanStateChanged, [this](const ScanState& s) {
            if (s.tag() != ScanState::Tag::scanning && s.tag() != ScanState::Tag::idle) states.push_back(s);
        });
    }
};

bool finished(const ScanViewModel& m) {
    auto t = m.scanState().tag();
    return t != ScanState::Tag::scanning && t != ScanState::Tag::idle;
}

}  // namespace

TEST(ScanViewModel, ScansASelectedFolderToCompletion) {
    qtTestApp();
    TempTree t;
    t.file("a/one.txt", 100);
    t.file("a/b/two.bin", 2000);
    t.file("three", 3);

    ScanViewModel m;
    int capacityChanges = 0;
    QObject::connect(&m, &ScanViewModel::rootCapacitiesChanged, [&] { ++capacityChanges; });
    m.selectRoot(t.path(), "Temp");
    EXPECT_EQ(m.rootLabel(), "Temp");
    EXPECT_EQ(m.scanState().tag(), ScanState::Tag::idle);
    ASSERT_EQ(m.rootCapacities().size(), 1u);
    EXPECT_TRUE(m.totalCapacity().has_value());
    EXPECT_EQ(m.totalCapacity(), m.rootCapacities()[0].total);
    EXPECT_EQ(capacityChanges, 1);

    std::vector<ScanState::Tag> seen;
    QObject::connect(&m, &ScanViewModel::scanStateChanged, [&](const ScanState& s) { seen.push_back(s.tag()); });
    m.startScan(std::nullopt, false, true);
    EXPECT_EQ(m.scanState().tag(), ScanState::Tag::scanning);
    ASSERT_TRUE(pumpUntil([&] { return finished(m); }));
    ASSERT_EQ(m.scanState().tag(), ScanState::Tag::completed);
    EXPECT_EQ(seen.front(), ScanState::Tag::scanning);
    EXPECT_EQ(seen.back(), ScanState::Tag::completed);
    const auto& roots = m.scanState().roots();
    ASSERT_EQ(roots.size(), 1u);
    EXPECT_EQ(roots[0]->subFolderTotSize(), 2103);
    EXPECT_EQ(roots[0]->subFolderFileCount(), 3);
    EXPECT_EQ(roots[0]->subFolderDirCount(), 2);
    EXPECT_TRUE(m.lastScanDuration().has_value());
    EXPECT_TRUE(m.lastScanAccessDeniedPaths().isEmpty());
    EXPECT_FALSE(m.lastScanWasCSVImport());

    // The timing log holds a closed "Scan" entry that kept its label as detail.
    ASSERT_TRUE(pumpUntil([] {
        const auto& e = DebugTimingLog::shared().entries();
        return !e.isEmpty() && e.back().label == "Scan" && e.back().endedAt.has_value();
    }));
    EXPECT_EQ(DebugTimingLog::shared().entries().back().detail, "Temp");
}

TEST(ScanViewModel, AnnouncesAStateOnlyWhenItChanged) {
    qtTestApp();
    TempTree t;
    for (int i = 0; i < 200; ++i) t.file("d" + std::to_string(i % 7) + "/f" + std::to_string(i), 10);
    ScanViewModel m;
    std::vector<ScanState> seen;
    QObject::connect(&m, &ScanViewModel::scanStateChanged, [&](const ScanState& s) { seen.push_back(s); });
    m.selectRoot(t.path(), "Temp");
    m.selectRoot(t.path(), "Temp");
    EXPECT_TRUE(seen.empty()) << "idle stays idle: nothing to report";

    m.startScan(std::nullopt, false, false);
    ASSERT_TRUE(pumpUntil([&] { return finished(m); }));
    ASSERT_GE(seen.size(), 2u);
    for (size_t i = 1; i < seen.size(); ++i) {
        const ScanState& a = seen[i - 1];
        const ScanState& b = seen[i];
        const bool sameProgress = a.isScanning() && b.isScanning() &&
                                  std::get<ScanState::Scanning>(a.value).progress == std::get<ScanState::Scanning>(b.value).progress;
        EXPECT_FALSE(sameProgress) << "report " << i << " repeats the one before";
    }
    // A new selection after the run is a change (the result is put away).
    const size_t before = seen.size();
    m.selectRoot(t.path(), "Temp");
    EXPECT_EQ(seen.size(), before + 1);
    EXPECT_EQ(seen.back().tag(), ScanState::Tag::idle);
}

TEST(ScanViewModel, MissingFolderFailsAndEmptySelectionStartsNothing) {
    qtTestApp();
    ScanViewModel m;
    m.startScan(std::nullopt, false, false);  // nothing selected yet
    EXPECT_EQ(m.scanState().tag(), ScanState::Tag::idle);

    m.selectPaths({});
    EXPECT_EQ(m.rootLabel(), "");
    EXPECT_TRUE(m.rootCapacities().empty());
    EXPECT_FALSE(m.totalCapacity().has_value());
    m.startScan(std::nullopt, false, false);
    EXPECT_EQ(m.scanState().tag(), ScanState::Tag::idle);

    m.selectPaths({"/nonexistent/zelvane-a", "/nonexistent/zelvane-b"});
    EXPECT_EQ(m.rootLabel(), "[/nonexistent/zelvane-a] [/nonexistent/zelvane-b]");
    EXPECT_FALSE(m.totalCapacity().has_value());  // unreadable volumes make the totals absent
    m.startScan(std::nullopt, false, false);
    ASSERT_TRUE(pumpUntil([&] { return finished(m); }));
    ASSERT_EQ(m.scanState().tag(), ScanState::Tag::failed);
    EXPECT_EQ(std::get<ScanState::Failed>(m.scanState().value).message,
              "Could not read [/nonexistent/zelvane-a] [/nonexistent/zelvane-b]");
}

// Roots on one volume share its space: the totals count the volume once, each root keeps its entry.
TEST(ScanViewModel, TwoRootsOnOneVolumeCountItOnce) {
    qtTestApp();
    TempTree t;
    t.file("x/f", 1);
    t.file("y/f", 1);
    ScanViewModel m;
    m.selectPaths({t.path("x"), t.path("y")});
    ASSERT_EQ(m.rootCapacities().size(), 2u);
    EXPECT_EQ(m.rootCapacities()[0].total, m.rootCapacities()[1].total);
    EXPECT_EQ(*m.totalCapacity(), *m.rootCapacities()[0].total);
    EXPECT_LE(*m.availableCapacity(), *m.totalCapacity());
    m.refreshCapacityForLiveChange();
    EXPECT_EQ(m.rootCapacities().size(), 2u);
    EXPECT_EQ(*m.totalCapacity(), *m.rootCapacities()[0].total);
}

TEST(ScanViewModel, CancelEndsCancelledAndANewerRunAloneDecides) {
    qtTestApp();
    TempTree t;
    for (int i = 0; i < 300; ++i) t.file("big/d" + std::to_string(i % 30) + "/f" + std::to_string(i), 10);
    t.file("small/only", 7);

    {
        ScanViewModel m;
        m.selectRoot(t.path("big"), "big");
        m.startScan(std::nullopt, false, false);
        m.cancelScan();
        ASSERT_TRUE(pumpUntil([&] { return finished(m); }));
        EXPECT_EQ(m.scanState().tag(), ScanState::Tag::cancelled);
        ASSERT_TRUE(pumpUntil([] {
            const auto& e = DebugTimingLog::shared().entries();
            return !e.isEmpty() && e.back().endedAt.has_value();
        }));
        EXPECT_EQ(DebugTimingLog::shared().entries().back().detail, "cancelled");
    }

    // A second start while the first runs: only the second run's outcome is published.
    ScanViewModel m;
    Outcomes outcomes(m);
    m.selectRoot(t.path("big"), "big");
    m.startScan(std::nullopt, false, false);
    m.selectRoot(t.path("small"), "small");
    m.startScan(std::nullopt, false, false);
    ASSERT_TRUE(pumpUntil([&] { return finished(m); }));
    // Let any late delivery of the first job arrive.
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_EQ(outcomes.states.size(), 1u);
    ASSERT_EQ(outcomes.states[0].tag(), ScanState::Tag::completed);
    EXPECT_EQ(outcomes.states[0].roots()[0]->subFolderTotSize(), 7);
}

TEST(ScanViewModel, ImportsAnExportAndReportsBrokenOrCancelledImports) {
    qtTestApp();
    TempTree t;
    t.file("data/a.txt", 10);
    t.file("data/sub/b.txt", 20);
    ScanViewModel scan;
    scan.selectRoot(t.path("data"), "data");
    scan.startScan(std::nullopt, false, false);
    ASSERT_TRUE(pumpUntil([&] { return finished(scan); }));
    ASSERT_EQ(scan.scanState().tag(), ScanState::Tag::completed);

    const std::string csv = (t.root() / "scan.csv").string();
    const CSVExportOptions options = zelvane::testing::everyColumn();
    auto capacity = [](const FileNode&) { return VolumeCapacity{1000, 250}; };
    ASSERT_FALSE(exportToCSV(std::span<const RootRef>(scan.scanState().roots()), options, false, capacity, csv));

    ScanViewModel m;
    m.selectRoot(t.path("data"), "data");
    m.startCSVImport(QString::fromStdString(csv), true);
    EXPECT_TRUE(m.lastScanWasCSVImport());
    EXPECT_EQ(m.rootLabel(), "[" + QString::fromStdString(csv) + "]");
    ASSERT_TRUE(pumpUntil([&] { return finished(m); }));
    ASSERT_EQ(m.scanState().tag(), ScanState::Tag::completed);
    ASSERT_EQ(m.scanState().roots().size(), 1u);
    EXPECT_EQ(m.scanState().roots()[0]->subFolderTotSize(), 30);
    EXPECT_EQ(m.totalCapacity(), 1000);
    EXPECT_EQ(m.availableCapacity(), 250);
    ASSERT_EQ(m.rootCapacities().size(), 1u);
    EXPECT_EQ(m.rootCapacities()[0].path.toStdString(), m.scanState().roots()[0]->name());

    // After an import the selection is gone: a scan starts nothing.
    m.startScan(std::nullopt, false, false);
    EXPECT_EQ(m.scanState().tag(), ScanState::Tag::completed);

    const std::string broken = (t.root() / "broken.csv").string();
    std::ofstream(broken) << "\x01\x02 not a scan\n,,,\n";
    m.startCSVImport(QString::fromStdString(broken), false);
    ASSERT_TRUE(pumpUntil([&] { return finished(m); }));
    ASSERT_EQ(m.scanState().tag(), ScanState::Tag::failed);
    EXPECT_EQ(std::get<ScanState::Failed>(m.scanState().value).message,
              "Could not import [" + QString::fromStdString(broken) + "]");
    EXPECT_EQ(m.totalCapacity(), 1000);  // capacities untouched by a failure

    // A scan asked for while an import runs, with nothing selected, leaves the import alone.
    m.startCSVImport(QString::fromStdString(csv), false);
    m.startScan(std::nullopt, false, false);
    EXPECT_TRUE(m.lastScanWasCSVImport());
    ASSERT_TRUE(pumpUntil([&] { return finished(m); }));
    EXPECT_EQ(m.scanState().tag(), ScanState::Tag::completed);

    m.startCSVImport(QString::fromStdString(csv), false);
    m.cancelScan();
    ASSERT_TRUE(pumpUntil([&] { return finished(m); }));
    EXPECT_EQ(m.scanState().tag(), ScanState::Tag::cancelled);
    EXPECT_TRUE(m.lastScanAccessDeniedPaths().isEmpty());
}

TEST(ScanViewModel, FolderNamesThatAreNotUTF8ReachTheScannerAsTheirBytes) {
    qtTestApp();
    TempTree t;
    const std::string odd = "na\xEFve\xFF";
    t.file(odd + "/f", 11);
    ScanViewModel m;
    const QString path = qStringFromPathBytes((t.root() / odd).string());
    m.selectRoot(path, path);
    ASSERT_TRUE(m.totalCapacity().has_value());  // the volume query reached the folder too
    m.startScan(std::nullopt, false, false);
    ASSERT_TRUE(pumpUntil([&] { return finished(m); }));
    ASSERT_EQ(m.scanState().tag(), ScanState::Tag::completed);
    EXPECT_EQ(m.scanState().roots()[0]->subFolderTotSize(), 11);
    EXPECT_EQ(m.scanState().roots()[0]->nameBytes(), (t.root() / odd).string());
}
