#include "ZelvaneMac/Window/FileViewTabModel.hpp"

#include <utility>

#include "ZelvaneMac/Core/Settings/Preferences.hpp"

namespace zelvane {
namespace {

// The duplicate method the stored preference names (0, 1 or 2; anything else is none).
DuplicateMethod storedDuplicateMethod(const Preferences& preferences) {
    const int64_t raw = preferences.value(PreferenceKeys::fileDupMethod);
    return raw == 1 ? DuplicateMethod::nameSize : raw == 2 ? DuplicateMethod::nameSizeDate : DuplicateMethod::none;
}

}  // namespace

FileSearchOptions FileSearchOptions::of(const Preferences& p) {
    namespace K = PreferenceKeys;
    return {p.value(K::fileMatchEntirePath), p.value(K::fileIncludeFolders),
            maxFilesOptionOrDefault(p.value(K::fileMaxFilesOption)), storedDuplicateMethod(p), p.value(K::fileDupsOnly)};
}

FileSearchBarSettings FileSearchBarSettings::of(const Preferences& p) {
    return {FileSearchOptions::of(p), FilterFieldHistory::decode(p.value(PreferenceKeys::fileSearchHistoryJSON))};
}

FileViewTabSettings FileViewTabSettings::of(const Preferences& p) {
    namespace K = PreferenceKeys;
    FileViewTabSettings s;
    s.search = FileSearchOptions::of(p);
    s.sizes = SizeTextFormat::of(p);
    s.decimalPlaces = int(p.value(K::tweakDecimalPlaces));
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
    in.matchEntirePath = s.search.matchEntirePath;
    in.includeFolders = s.search.includeFolders;
    in.maxFiles = maxFilesCap(s.search.maxFiles);
    in.dupMethod = s.search.dupMethod;
    in.dupsOnly = s.search.dupsOnly;
    in.isActive = active;
    return in;
}

}  // namespace zelvane
