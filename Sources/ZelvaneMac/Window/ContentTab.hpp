#pragma once

#include <QString>

namespace zelvane {

// The tabs of a main window, in strip order. Only the first two are ever stored in "selectedTab".
enum class ContentTab { treeView, fileView, about };

inline QString rawValue(ContentTab tab) {
    switch (tab) {
    case ContentTab::treeView: return QStringLiteral("treeView");
    case ContentTab::fileView: return QStringLiteral("fileView");
    case ContentTab::about: return QStringLiteral("about");
    }
    return QStringLiteral("treeView");
}

// The tab a window restores from the stored value: "fileView" gives the File View, every other
// value (the About tab, an unknown text) the Tree View.
inline ContentTab restoredTab(const QString& stored) {
    return stored == QLatin1String("fileView") ? ContentTab::fileView : ContentTab::treeView;
}

}  // namespace zelvane
