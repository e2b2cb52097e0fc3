#include "ZelvaneMac/Window/TreeViewTabModel.hpp"

#include <algorithm>

#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Core/Text/Utf8Text.hpp"
#include "ZelvaneMac/Window/ContentViewState.hpp"
#include "ZelvaneMac/Window/ResultTabSetup.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"

namespace zelvane {

TreeViewTabModel::Arrangement TreeViewTabModel::arrangement() const {
    return {state_.hasEverShownScanResults() && state_.showFileTypes(), state_.showTreemap()};
}

TreeViewTabModel::Placeholder TreeViewTabModel::placeholder() const {
    const ScanState& s = state_.viewModel().scanState();
    switch (s.tag()) {
    case ScanState::Tag::scanning:
        return {false, localized("Scanning…"), localized("This may take a moment for large volumes."),
                QStringLiteral("system-search")};
    case ScanState::Tag::completed: return {true, {}, {}, {}};
    case ScanState::Tag::failed:
        return {false, localized("Scan Failed"), std::get<ScanState::Failed>(s.value).message,
                QStringLiteral("dialog-warning")};
    case ScanState::Tag::cancelled:
        if (!s.roots().empty()) return {true, {}, {}, {}};
        return {false, localized("Scan Cancelled"), localized("Click Scan to try again."), QStringLiteral("process-stop")};
    case ScanState::Tag::idle: break;
    }
    return {false, localized("Ready to Scan"), firstStepsDescription(), {}};
}

std::vector<FileNode*> TreeViewTabModel::effectiveRoots() const {
    std::vector<FileNode*> out;
    const std::vector<RootRef>& roots = state_.scanControl().effectiveRoots();
    out.reserve(roots.size());
    for (const RootRef& r : roots) out.push_back(r.get());
    return out;
}

QString TreeViewTabModel::rootDisplayLabel(const FileNode& node) const {
    const QString name = qStringFromUtf8(node.name());
    if (state_.viewModel().lastScanWasCSVImport()) return name;
    for (const VolumeInfo& v : state_.volumes())
        if (v.path == name) return name + QStringLiteral(" (") + v.displayName + QLatin1Char(')');
    return name;
}

FileNode* TreeViewTabModel::validatedZoomNode() const {
    FileNode* z = state_.treemapRoot();
    if (!z) return nullptr;
    const std::vector<FileNode*> roots = effectiveRoots();
    FileNode* top = z;
    while (top->parent()) top = top->parent();
    return std::find(roots.begin(), roots.end(), top) != roots.end() ? z : nullptr;
}

FileNode* TreeViewTabModel::zoomOutTarget() const {
    FileNode* z = validatedZoomNode();
    return z && z->parent() ? z->parent() : nullptr;
}

QStringList TreeViewTabModel::infoStripTexts(ByteUnitBase base, ByteSizeDisplayMode mode) const {
    const auto bytes = [&](int64_t n) { return qStringFromUtf8(humanBytes(n, base, mode, 1)); };
    const std::vector<FileNode*> roots = effectiveRoots();
    if (FileNode* z = validatedZoomNode()) return {qStringFromUtf8(z->fullPath()), localized("—"), bytes(z->effectiveAllocSize())};
    if (roots.size() == 1) return {rootDisplayLabel(*roots[0]), localized("—"), bytes(roots[0]->effectiveAllocSize())};
    if (roots.size() > 1) {
        int64_t total = 0;
        for (const FileNode* r : roots) total += r->effectiveAllocSize();
        return {state_.viewModel().rootLabel(), localized("—"), bytes(total)};
    }
    return {localized("Treemap")};
}

}  // namespace zelvane
