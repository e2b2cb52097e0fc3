#pragma once

// A real main window, shown and active, for tests that drive it as a user would: keys, menus, a
// scan of a real folder.

#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <filesystem>
#include <optional>
#include <vector>

#include "QtWidgetTestApp.hpp"
#include "ScanEngine/Monitor/FileSystemMonitor.hpp"
#include "ZelvaneMac/Core/Text/PathText.hpp"
#include "ZelvaneMac/Core/Scanning/LiveMonitorController.hpp"
#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Widgets/MainWindow/ContentView.hpp"
#include "ZelvaneMac/Widgets/MainWindow/MainWindow.hpp"
#include "ZelvaneMac/Widgets/MainWindow/TreeViewTab.hpp"
#include "ZelvaneMac/Widgets/Outline/FileTreeOutlineView.hpp"
#include "ZelvaneMac/Window/ContentViewState.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"
#include "ZelvaneMac/Window/WindowStartup.hpp"

namespace zelvane::fixtures {

inline QString qPath(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

// A main window on preferences of its own, whose start-up lists no volume and asks for no access;
// `arguments` are its command line (folders it scans at once, as `ZelvaneMac a b` does). It can be
// closed and opened again on the same preferences.
class ShownWindow {
public:
    explicit ShownWindow(QStringList arguments = {}, QSize size = {1400, 900}) { open(std::move(arguments), size); }

    void open(QStringList arguments = {}, QSize size = {1400, 900}) {
        window_.emplace(prefs_, CLIAutomation::Options{});
        WindowStartupHooks hooks;
        hooks.enumerateVolumes = [] { return std::vector<VolumeInfo>{}; };
        hooks.hasFullDiskAccess = [] { return true; };
        std::vector<std::string> bytes;
        for (const QString& argument : arguments) bytes.push_back(pathBytesFromQString(argument));
        hooks.commandLine = commandLineTargets(bytes, std::filesystem::current_path().string());
        window_->setStartupHooks(std::move(hooks));
        window_->resize(size);
        window_->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&*window_));
        activate();
    }
    void close() { window_.reset(); }

    MainWindow& window() { return *window_; }
    ContentViewState& state() const { return window_->state(); }
    Preferences& prefs() { return prefs_; }
    TreeViewTab& tree() const { return *window_->contentView()->treeViewTab(); }
    FileTreeOutlineView& outline() const { return *tree().outline(); }

    // Shortcuts need the window active, and a modal panel that closed may leave none active.
    void activate() {
        window_->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&*window_));
    }
    void key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        activate();
        QTest::keyClick(&*window_, Qt::Key(key), modifiers);
    }

    // The last scan or import completed with roots, and their colour ranks are in.
    bool finished() const {
        return state().viewModel().scanState().tag() == ScanState::Tag::completed &&
               !state().scanControl().effectiveRoots().empty() && state().scanControl().colorRankReady();
    }
    bool waitForResult() { return pumpWidgetsUntil([this] { return finished(); }); }
    bool scan(const std::filesystem::path& folder) {
        state().scanControl().scanChosenFolder(qPath(folder));
        return waitForResult();
    }
    bool import(const std::filesystem::path& csv) {
        state().scanControl().importChosenCSV(qPath(csv));
        return waitForResult();
    }
    // Monitoring starts with a result; its watches are in place a moment later.
    bool waitUntilWatching() const {
        const FileSystemMonitor* monitor = state().liveMonitor().monitor();
        return monitor && monitor->waitUntilWatching(std::chrono::seconds(20));
    }

    FileNode* root(size_t i = 0) const { return state().scanControl().effectiveRoots().at(i).get(); }
    FileNode* node(const std::filesystem::path& path) const { return state().scanControl().node(qPath(path)); }

private:
    bool appReady_ = (qtWidgetApp(), true);
    QTemporaryDir prefsDir_;
    Preferences prefs_{prefsDir_.filePath("prefs.plist")};
    std::optional<MainWindow> window_;
};

}  // namespace zelvane::fixtures
