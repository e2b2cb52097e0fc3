#include "ZelvaneMac/Widgets/MainWindow/ContentView.hpp"

#include <QFrame>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "ZelvaneMac/Widgets/Common/TextStyles.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Tabs/AboutPage.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Tabs/FileViewTab.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Filter/FilterPanel.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Status/StatusBar.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Tabs/TabStrip.hpp"
#include "ZelvaneMac/Widgets/MainWindow/TopBar/TopBar.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Tabs/TreeViewTab.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Status/UpdateBanner.hpp"
#include "ZelvaneMac/Widgets/Outline/FileTreeOutlineView.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Menus/WindowCommands.hpp"
#include "ZelvaneMac/Window/ContentViewState.hpp"
#include "ZelvaneMac/Window/Exports/ExportContext.hpp"
#include "ZelvaneMac/Window/MainWindowController.hpp"
#include "ZelvaneMac/Window/PaneToggles.hpp"

namespace zelvane {

namespace {

QFrame* divider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setForegroundRole(QPalette::Mid);
    line->setFixedHeight(1);
    return line;
}

// A row of the window: the content with its margins, then a divider; hiding the row hides both.
QWidget* dividedRow(QWidget* content, QMargins margins, QWidget* parent) {
    auto* row = new QWidget(parent);
    auto* column = new QVBoxLayout(row);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    auto* padded = new QVBoxLayout;
    padded->setContentsMargins(margins);
    padded->addWidget(content);
    column->addLayout(padded);
    column->addWidget(divider(row));
    return row;
}

}  // namespace

ContentView::ContentView(ContentViewState& state, QWidget* parent) : QWidget(parent), tabs_(state.controller()) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    updateBanner_ = new UpdateBanner(state.services(), this);
    bannerRow_ = dividedRow(updateBanner_, {}, this);
    bannerRow_->setVisible(updateBanner_->isOffered());
    connect(updateBanner_, &UpdateBanner::offeredChanged, this, &ContentView::setUpdateBannerShown);
    column->addWidget(bannerRow_);

    topBar_ = new TopBar({.preferences = state.preferences(),
                          .viewModel = state.viewModel(),
                          .volumeChoice = state.volumeChoice(),
                          .liveMonitor = state.liveMonitor(),
                          .scans = state.scanControl(),
                          .commands = state.commands(),
                          .prompts = state.prompts(),
                          .panes = state.panes(),
                          .services = state.services()},
                         this);
    headerRow_ = dividedRow(topBar_, {12, 8, 12, 8}, this);
    column->addWidget(headerRow_);

    filterPanel_ = new FilterPanel(state.preferences(), state.scanControl(), this);
    filterPanel_->setFont(calloutFont());
    filterRow_ = dividedRow(filterPanel_, {12, 5, 12, 5}, this);
    column->addWidget(filterRow_);

    tabStrip_ = new TabStrip(state.controller(), this);
    column->addWidget(tabStrip_);
    column->addWidget(divider(this));
    pages_ = new QStackedWidget(this);
    treeViewTab_ = new TreeViewTab(state.treeViewParts(), menuCommands(state, this), pages_);
    fileViewTab_ = new FileViewTab(fileViewParts(state), menuCommands(state, this), pages_);
    aboutPage_ = new AboutPage(pages_);
    pages_->addWidget(treeViewTab_);
    pages_->addWidget(fileViewTab_);
    pages_->addWidget(aboutPage_);
    column->addWidget(pages_, 1);
    column->addWidget(divider(this));

    statusBar_ = new StatusBar(state.preferences(), state.viewModel(), state.selections(), state.scanControl(),
                               state.fileResults(), state.hoverPathState(), this);
    statusBar_->setFont(calloutFont());
    statusBar_->setFixedHeight(20);
    connect(treeViewTab_->outline(), &FileTreeOutlineView::expandAllLeftRowsClosed, statusBar_,
            [this](bool closed) { statusBar_->setExpandAllStopped(closed, FileTreeOutlineView::kExpandAllRows); });
    auto* statusRow = new QWidget(this);
    auto* statusLayout = new QVBoxLayout(statusRow);
    statusLayout->setContentsMargins(12, 4, 12, 4);
    statusLayout->addWidget(statusBar_);
    column->addWidget(statusRow);

    const PaneToggles& panes = state.panes();
    headerRow_->setVisible(panes.showHeader());
    filterRow_->setVisible(panes.showFilterPanel());
    connect(&panes, &PaneToggles::showHeaderChanged, headerRow_, &QWidget::setVisible);
    connect(&panes, &PaneToggles::showFilterPanelChanged, filterRow_, &QWidget::setVisible);
    showPage();
    connect(&tabs_, &MainWindowController::selectedTabChanged, this, &ContentView::showPage);
}

FileViewTab::Parts ContentView::fileViewParts(ContentViewState& state) {
    return {.preferences = state.preferences(),
            .cliAutomationOptions = state.cliAutomationOptions(),
            .fileResults = state.fileResults(),
            .fileSelection = state.fileSelection(),
            .controller = state.controller(),
            .hoverPathState = state.hoverPathState(),
            .liveMonitor = state.liveMonitor(),
            .scanControl = state.scanControl(),
            .commands = state.commands(),
            .viewModel = state.viewModel()};
}

ContextMenuCommands ContentView::menuCommands(ContentViewState& state, QWidget* view) {
    return contextMenuCommands(state.exportContext(), view);
}

void ContentView::setUpdateBannerShown(bool shown) { bannerRow_->setVisible(shown); }

void ContentView::showPage() {
    switch (tabs_.selectedTab()) {
    case ContentTab::treeView: pages_->setCurrentWidget(treeViewTab_); break;
    case ContentTab::fileView: pages_->setCurrentWidget(fileViewTab_); break;
    case ContentTab::about: pages_->setCurrentWidget(aboutPage_); break;
    }
}

QSize ContentView::minimumSizeHint() const {
    QSize least = QWidget::minimumSizeHint().expandedTo(QSize(1000, 650));
    for (int i = 0; i < pages_->count(); ++i)
        least.setWidth(std::max(least.width(), pages_->widget(i)->minimumSizeHint().width()));
    return least;
}

}  // namespace zelvane
