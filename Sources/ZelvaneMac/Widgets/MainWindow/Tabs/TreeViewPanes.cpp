#include "ZelvaneMac/Widgets/MainWindow/Tabs/TreeViewPanes.hpp"

#include <QVBoxLayout>

#include "ZelvaneMac/Window/PaneToggles.hpp"

namespace zelvane {

TreeViewPanes::TreeViewPanes(QWidget& tab, Panes panes, Preferences& preferences, const PaneToggles& paneToggles)
    : QObject(&tab), tab_(tab), panes_(panes), preferences_(preferences), paneToggles_(paneToggles), layout_(new QVBoxLayout(&tab)) {
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(0);
}

AutosavingSplitter* TreeViewPanes::makeSplit(const AutosavingSplitterSetup& setup, QWidget* first, QWidget* second) {
    auto* split = new AutosavingSplitter(setup, preferences_, &tab_);
    split->setPane(0, first);
    split->setPane(1, second);
    connect(split, &AutosavingSplitter::dividerDragBegan, this, &TreeViewPanes::dividerDragBegan);
    connect(split, &AutosavingSplitter::dividerDragEnded, this, &TreeViewPanes::dividerDragEnded);
    return split;
}

bool TreeViewPanes::arrange(const TreeViewTabModel::Arrangement& arrangement) {
    if (arrangedAs_ && *arrangedAs_ == arrangement) return false;
    arrangedAs_ = arrangement;
    // Take the panes out of the old splits before those go.
    for (QWidget* w : {panes_.tree, panes_.types, panes_.treemap}) {
        w->setParent(&tab_);
        w->hide();
    }
    if (QWidget* old = layout_->count() ? layout_->itemAt(0)->widget() : nullptr) {
        layout_->removeWidget(old);
        if (old != panes_.tree) old->deleteLater();
    }
    extSplit_ = arrangement.withTypes
                    ? makeSplit({QStringLiteral("ZelvaneMac.ExtSplit"), Qt::Horizontal, 200, 220, 0.65}, panes_.tree, panes_.types)
                    : nullptr;
    QWidget* top = extSplit_ ? static_cast<QWidget*>(extSplit_) : panes_.tree;
    treeSplit_ = arrangement.withTreemap
                     ? makeSplit({QStringLiteral("ZelvaneMac.TreeSplit"), Qt::Vertical, 150, 60, 0.621}, top, panes_.treemap)
                     : nullptr;
    if (treeSplit_ && paneToggles_.awaitsWindowFrameRestore()) {
        treeSplit_->holdInitialSizes();
        connect(&paneToggles_, &PaneToggles::awaitsWindowFrameRestoreChanged, treeSplit_, [split = treeSplit_](bool waiting) {
            if (!waiting) split->releaseInitialSizes();
        });
    }
    QWidget* whole = treeSplit_ ? static_cast<QWidget*>(treeSplit_) : top;
    layout_->addWidget(whole);
    whole->show();
    layout_->activate();
    return true;
}

}  // namespace zelvane
