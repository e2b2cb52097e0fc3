#include "ZelvaneMac/Window/FileViewTabModel.hpp"

#include <utility>

#include "ZelvaneMac/Core/Settings/Preferences.hpp"

namespace zelvane {

DuplicateMethod storedDuplicateMethod(const Preferences& preferences) {
    const int64_t raw = preferences.value(PreferenceKeys::fileDupMethod);
    return raw == 1 ? DuplicateMethod::nameSize : raw == 2 ? DuplicateMethod::nameSizeDate : DuplicateMethod::none;
}

FileViewTabSettings FileViewTabSettings::of(const Preferences& p) {
    namespace K = PreferenceKeys;
    FileViewTabSettings s;
    s.sizes = SizeTextFormat::of(p);
    s.decimalPlaces = int(p.value(K::tweakDecimalPlaces));
    s.matchEntirePath = p.value(K::fileMatchEntirePath);
    s.includeFolders = p.value(K::fileIncludeFolders);
    s.maxFiles = maxFilesOptionOrDefault(p.value(K::fileMaxFilesOption));
    s.dupMethod = storedDuplicateMethod(p);
    s.dupsOnly = p.value(K::fileDupsOnly);
    s.showHorizontalLines = p.value(K::tweakShowHorizontalLines);
    s.altRowColors = p.value(K::tweakAltRowColors);
    s.enableDragDrop = p.value(K::tweakEnableDragDrop);
    s.enableDoubleClickOpen = p.value(K::tweakEnableDoubleClickOpen);
    return s;
}

FileListInputs FileViewTabModel::listInputs(std::vector<RootRef> roots, const QString& filterText, bool active) const {
    const FileViewTabSettings& s = settings();
    FileListInputs in;
    in.roots = std::move(roots);
    in.byteUnitBase = s.sizes.base;
    in.byteSizeDisplayMode = s.sizes.mode;
    in.decimalPlaces = s.decimalPlaces;
    in.filterText = filterText;
    in.matchEntirePath = s.matchEntirePath;
    in.includeFolders = s.includeFolders;
    in.maxFiles = maxFilesCap(s.maxFiles);
    in.dupMethod = s.dupMethod;
    in.dupsOnly = s.dupsOnly;
    in.isActive = active;
    return in;
}

}  // namespace zelvane
