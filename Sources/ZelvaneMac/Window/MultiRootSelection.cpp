#include "ZelvaneMac/Window/MultiRootSelection.hpp"

#include "ZelvaneMac/Core/Text/Localization.hpp"

namespace zelvane {

namespace {

QString canonical(const QString& path) { return path.normalized(QString::NormalizationForm_C); }

QString withSlash(const QString& path) {
    QString p = canonical(path);
    if (!p.endsWith(QLatin1Char('/'))) p += QLatin1Char('/');
    return p;
}

}  // namespace

int MultiRootSelection::indexOf(const QString& id) const {
    const QString key = canonical(id);
    for (int i = 0; i < items_.size(); ++i)
        if (canonical(items_[i].id) == key) return i;
    return -1;
}

void MultiRootSelection::load(std::span<const VolumeInfo> volumes, const QStringList& storedFolders,
                              const QStringList& initiallyChecked) {
    QStringList checked;
    for (const QString& p : initiallyChecked) checked << canonical(p);
    items_.clear();
    for (const VolumeInfo& v : volumes) {
        if (indexOf(v.path) >= 0) continue;
        items_.push_back({v.path, v.displayName, false, checked.contains(canonical(v.path))});
    }
    for (const QString& path : storedFolders) {
        if (indexOf(path) >= 0) continue;
        items_.push_back({path, path, true, checked.contains(canonical(path))});
    }
}

void MultiRootSelection::clickRow(int row) {
    if (row < 0 || row >= items_.size()) return;
    listSelection_ = items_[row].id;
    items_[row].isChecked = !items_[row].isChecked;
}

void MultiRootSelection::highlightRow(int row) {
    if (row < 0 || row >= items_.size()) listSelection_.reset();
    else listSelection_ = items_[row].id;
}

void MultiRootSelection::toggleHighlightedRow() {
    if (!listSelection_) return;
    const int i = indexOf(*listSelection_);
    if (i >= 0) items_[i].isChecked = !items_[i].isChecked;
}

bool MultiRootSelection::addFolder(const QString& path) {
    if (path.isEmpty() || indexOf(path) >= 0) return false;
    items_.push_back({path, path, true, false});
    return true;
}

bool MultiRootSelection::canRemoveListSelection() const {
    if (!listSelection_) return false;
    const int i = indexOf(*listSelection_);
    return i >= 0 && items_[i].isUserFolder;
}

void MultiRootSelection::removeSelectedFolder() {
    if (!canRemoveListSelection()) return;
    const QString key = canonical(*listSelection_);
    items_.removeIf([&](const Item& item) { return canonical(item.id) == key; });
    listSelection_.reset();
}

void MultiRootSelection::setAllChecked(bool checked) {
    for (Item& item : items_) item.isChecked = checked;
}

MultiRootSelection::Confirmation MultiRootSelection::attemptOK() const {
    Confirmation c;
    QVector<const Item*> checked;
    for (const Item& item : items_)
        if (item.isChecked) checked.push_back(&item);
    for (const Item* candidate : checked) {
        const QString inner = withSlash(candidate->id);
        for (const Item* container : checked) {
            if (container == candidate) continue;
            // The slash keeps /home/ab from counting as inside /home/a.
            if (inner.startsWith(withSlash(container->id))) {
                c.overlapWarning = fillPlaceholders(
                    localized("\"%@\"\nis included within\n\"%@\"\n\nThey cannot both be selected."),
                    {candidate->id, container->id});
                return c;
            }
        }
    }
    for (const Item* item : checked) c.checkedPaths << item->id;
    for (const Item& item : items_)
        if (item.isUserFolder) c.userFolders << item.id;
    return c;
}

}  // namespace zelvane
