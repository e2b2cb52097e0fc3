#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>
#include <span>

#include "ZelvaneMac/Core/Scanning/VolumeEnumerator.hpp"

namespace zelvane {

// The list behind the multi-root selection sheet: the mounted volumes, then the user's own
// folders (kept in "selectMultipleCustomFoldersJSON"), each with a check mark. Paths are
// compared case-sensitively, canonically equivalent spellings as equal.
//
// Invariant: no two items share an id; volume items come first, in volume order.
class MultiRootSelection final {
public:
    struct Item {
        QString id;  // absolute path
        QString displayName;
        bool isUserFolder = false;
        bool isChecked = false;
        bool operator==(const Item&) const = default;
    };

    // Builds the list afresh: volumes, then the stored folders not already listed.
    void load(std::span<const VolumeInfo> volumes, const QStringList& storedFolders, const QStringList& initiallyChecked);

    const QVector<Item>& items() const { return items_; }
    const std::optional<QString>& listSelection() const { return listSelection_; }

    // A click on a row: highlights it and flips its check mark.
    void clickRow(int row);
    // The keyboard's halves of a click: the arrow keys move the highlight (a row out of range
    // takes it away), Space flips the mark of the highlighted row.
    void highlightRow(int row);
    void toggleHighlightedRow();
    // A folder chosen in the panel goes to the end, unchecked; a path already listed changes nothing.
    bool addFolder(const QString& path);
    bool canRemoveListSelection() const;
    void removeSelectedFolder();
    void setAllChecked(bool checked);

    // The outcome of OK: the overlap message (the sheet stays open), or the checked paths in
    // list order with the user folders to store.
    struct Confirmation {
        std::optional<QString> overlapWarning;
        QStringList checkedPaths;
        QStringList userFolders;
    };
    Confirmation attemptOK() const;

private:
    int indexOf(const QString& id) const;

    QVector<Item> items_;
    std::optional<QString> listSelection_;
};

}  // namespace zelvane
