#include "ShownWindow.hpp"

#include <QLineEdit>

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
#include "ZelvaneMac/Widgets/MainWindow/ContentView.hpp"
#include "ZelvaneMac/Widgets/MainWindow/TreeViewTab.hpp"
#include "ZelvaneMac/Widgets/Outline/ContextMenuOutlineView.hpp"
#include "ZelvaneMac/Widgets/Outline/FileTreeOutlineView.hpp"
#include "ZelvaneMac/Window/NodeSelection.hpp"
#include "ZelvaneMac/Window/ContentViewState.hpp"
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

ContentViewState& ShownWindow::state() const { return window_->state(); }
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
    return state().viewModel().scanState().tag() == ScanState::Tag::completed &&
           !state().scanControl().effectiveRoots().empty() && state().scanControl().colorRankReady();
}

bool ShownWindow::waitForResult() { return pumpWidgetsUntil([this] { return finished(); }); }

bool ShownWindow::scan(const std::filesystem::path& folder) {
    state().scanControl().scanChosenFolder(qPath(folder));
    return waitForResult();
}

bool ShownWindow::import(const std::filesystem::path& csv) {
    state().scanControl().importChosenCSV(qPath(csv));
    return waitForResult();
}

bool ShownWindow::waitUntilWatching() const {
    const FileSystemMonitor* monitor = state().liveMonitor().monitor();
    return monitor && monitor->waitUntilWatching(std::chrono::seconds(20));
}

void ShownWindow::renameInOutline(FileNode* node, const QString& name) {
    state().treeSelection().set({node});
    ASSERT_TRUE(pumpWidgetsUntil([&] { return outline().selectedNodes() == std::vector<FileNode*>{node}; }, 20000));
    key(Qt::Key_F2);
    ContextMenuOutlineView& view = outline().outline();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return view.renameField() != nullptr; }, 20000));
    view.renameField()->setText(name);
    QTest::keyClick(view.renameField(), Qt::Key_Return);
}

FileNode* ShownWindow::root(size_t i) const { return state().scanControl().effectiveRoots().at(i).get(); }
FileNode* ShownWindow::node(const std::filesystem::path& path) const { return state().scanControl().node(qPath(path)); }

QImage treemapRedrawnNow(const TreemapCanvasModel& treemap, const ContentViewState& state) {
    const SizeTextFormat format = SizeTextFormat::of(state.preferences());
    TreemapRenderOptions options;
    options.pixelScale = treemap.image().devicePixelRatio();
    options.metric = treemapMetric(treemap.useAllocatedSize());
    options.byteUnitBase = format.base;
    options.byteSizeDisplayMode = format.mode;
    options.gradientEnabled = state.preferences().value(PreferenceKeys::tweakGradientEnabled);
    QImage image = renderTreemapImage(treemap.renderedSize(), treemap.layout(), normalizedPaletteRGB(state.currentPaletteRGB()), options).image;
    image.convertTo(QImage::Format_ARGB32_Premultiplied);
    return image;
}

}  // namespace zelvane::fixtures
