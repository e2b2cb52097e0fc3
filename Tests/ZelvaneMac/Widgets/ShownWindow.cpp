#include "ShownWindow.hpp"

#include <QLineEdit>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "ScanEngine/Monitor/FileSystemMonitor.hpp"
#include "ZelvaneMac/Core/Scanning/LiveMonitorController.hpp"
#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Core/Settings/SizeTextFormat.hpp"
#include "ZelvaneMac/Core/Text/PathText.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapPicture.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapRendering.hpp"
#include "ZelvaneMac/Models/FileTreeOutlineModel.hpp"
#include "ZelvaneMac/Widgets/MainWindow/ContentView.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Tabs/TreeViewTab.hpp"
#include "ZelvaneMac/Widgets/Outline/ContextMenuOutlineView.hpp"
#include "ZelvaneMac/Widgets/Outline/FileTreeOutlineView.hpp"
#include "ZelvaneMac/Widgets/Treemap/TreemapCanvas.hpp"
#include "ZelvaneMac/Window/NodeSelection.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapColorPreferences.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"
#include "ZelvaneMac/Window/Treemap/TreemapCanvasModel.hpp"
#include "ZelvaneMac/Window/WindowStartup.hpp"

namespace zelvane::fixtures {

void ShownWindow::open(QStringList arguments, QSize size) {
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

TreeViewTab& ShownWindow::tree() const { return *window_->contentView()->treeViewTab(); }
FileTreeOutlineView& ShownWindow::outline() const { return *tree().outline(); }

void ShownWindow::activate() {
    window_->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&*window_));
}

void ShownWindow::key(int key, Qt::KeyboardModifiers modifiers) {
    activate();
    QTest::keyClick(&*window_, Qt::Key(key), modifiers);
}

bool ShownWindow::finished() const {
    const ScanController& scans = window_->scanControl();
    if (window_->viewModel().scanState().tag() != ScanState::Tag::completed || scans.effectiveRoots().empty() ||
        !scans.colorRankReady())
        return false;
    // The tab takes new roots in a later turn of the event loop than the one they came in, or
    // later still on a busy machine: rows opened before then would be made anew and shut.
    const std::vector<RootRef>& roots = scans.effectiveRoots();
    const std::vector<FileNode*>& shown = outline().model().roots();
    return std::equal(roots.begin(), roots.end(), shown.begin(), shown.end(),
                      [](const RootRef& root, const FileNode* row) { return root.get() == row; });
}

bool ShownWindow::waitForResult() { return pumpWidgetsUntil([this] { return finished(); }); }

bool ShownWindow::scan(const std::filesystem::path& folder) {
    window_->scanControl().scanChosenFolder(qPath(folder));
    return waitForResult();
}

bool ShownWindow::import(const std::filesystem::path& csv) {
    window_->scanControl().importChosenCSV(qPath(csv));
    return waitForResult();
}

bool ShownWindow::waitUntilWatching() const {
    const FileSystemMonitor* monitor = window_->liveMonitor().monitor();
    return monitor && monitor->waitUntilWatching(std::chrono::seconds(20));
}

bool ShownWindow::changesShown() const { return !window_->liveMonitor().hasPendingRefresh() && !tree().updateScheduled(); }

bool ShownWindow::waitUntilChangesShown() const { return pumpWidgetsUntil([this] { return changesShown(); }); }

bool ShownWindow::treemapDrawn() const {
    const TreemapCanvasModel& treemap = tree().treemapCanvas()->model();
    return changesShown() && treemap.hasPicture() && !treemap.isStale() && treemap.busyRegenerationCount() == 0 &&
           !treemap.isRegenerationScheduled();
}

void ShownWindow::renameInOutline(FileNode* node, const QString& name) {
    window_->treeSelection().set({node});
    ASSERT_TRUE(pumpWidgetsUntil([&] { return outline().selectedNodes() == std::vector<FileNode*>{node}; }, 20000));
    key(Qt::Key_F2);
    ContextMenuOutlineView& view = outline().outline();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return view.renameField() != nullptr; }, 20000));
    view.renameField()->setText(name);
    QTest::keyClick(view.renameField(), Qt::Key_Return);
}

FileNode* ShownWindow::root(size_t i) const { return window_->scanControl().effectiveRoots().at(i).get(); }
FileNode* ShownWindow::node(const std::filesystem::path& path) const { return window_->scanControl().node(qPath(path)); }

QImage treemapRedrawnNow(const TreemapCanvasModel& treemap, const Preferences& preferences) {
    const SizeTextFormat format = SizeTextFormat::of(preferences);
    TreemapRenderOptions options;
    options.pixelScale = treemap.image().devicePixelRatio();
    options.metric = treemapMetric(treemap.useAllocatedSize());
    options.byteUnitBase = format.base;
    options.byteSizeDisplayMode = format.mode;
    options.gradientEnabled = preferences.value(PreferenceKeys::tweakGradientEnabled);
    QImage image = renderTreemapImage(treemap.renderedSize(), treemap.layout(), normalizedPaletteRGB(TreemapColorSettings::storedPaletteRGB(preferences)), options).image;
    image.convertTo(QImage::Format_ARGB32_Premultiplied);
    return image;
}

}  // namespace zelvane::fixtures
