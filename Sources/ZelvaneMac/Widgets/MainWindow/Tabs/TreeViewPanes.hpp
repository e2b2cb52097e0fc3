#pragma once

#include <QObject>
#include <QPointer>

#include <optional>

#include "ZelvaneMac/Widgets/Common/AutosavingSplitter.hpp"
#include "ZelvaneMac/Window/TreeViewTabModel.hpp"

class QVBoxLayout;
class QWidget;

namespace zelvane {

class PaneToggles;
class Preferences;

// Puts the Tree View's three panes (the tree, the file types, the treemap) into the tab as an
// arrangement asks. The splits exist only while both of their panes are shown and are made anew
// each time, so each takes its remembered divider then; the panes themselves outlive every split.
class TreeViewPanes final : public QObject {
    Q_OBJECT
public:
    struct Panes {
        QWidget* tree;
        QWidget* types;
        QWidget* treemap;
    };
    TreeViewPanes(QWidget& tab, Panes panes, Preferences& preferences, const PaneToggles& paneToggles);

    // True when the panes were put together anew (an unchanged arrangement does nothing).
    bool arrange(const TreeViewTabModel::Arrangement& arrangement);
    AutosavingSplitter* treeSplit() const { return treeSplit_; }
    AutosavingSplitter* extSplit() const { return extSplit_; }

signals:
    // Divider drags of either split.
    void dividerDragBegan();
    void dividerDragEnded();

private:
    AutosavingSplitter* makeSplit(const AutosavingSplitterSetup& setup, QWidget* first, QWidget* second);

    QWidget& tab_;
    Panes panes_;
    Preferences& preferences_;
    const PaneToggles& paneToggles_;
    QVBoxLayout* layout_;
    QPointer<AutosavingSplitter> treeSplit_;
    QPointer<AutosavingSplitter> extSplit_;
    std::optional<TreeViewTabModel::Arrangement> arrangedAs_;
};

}  // namespace zelvane
