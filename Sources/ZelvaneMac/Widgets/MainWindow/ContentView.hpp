#pragma once

#include <QWidget>

#include "ZelvaneMac/Widgets/MainWindow/Tabs/FileViewTab.hpp"

class QStackedWidget;

namespace zelvane {

class AboutPage;
class ContentViewState;
class FileViewTab;
class FilterPanel;
class MainWindowController;
class StatusBar;
class TabStrip;
class TopBar;
class TreeViewTab;
class UpdateBanner;

// The main window's content, top to bottom with no spacing: the update banner (only while an
// update is offered), the top bar (while `showHeader`), the filter panel (while `showFilterPanel`),
// the tab strip over its pages, and the status bar, each row followed by a divider. All three pages
// live as long as the window and keep their state while another tab is shown; only the shown page
// takes the mouse.
class ContentView final : public QWidget {
    Q_OBJECT
public:
    ContentView(ContentViewState& state, QWidget* parent = nullptr);

    // What the File View tab is handed, and the commands of the result views' context menus
    // (`view` is where their save dialogs find their window).
    static FileViewTab::Parts fileViewParts(ContentViewState& state);
    static ContextMenuCommands menuCommands(ContentViewState& state, QWidget* view);

    // 1000 by 650 points, or more where a page needs more to show its titles whole (a language
    // with longer titles than English widens the window rather than squeezing them). Hidden
    // pages count too, so that switching tabs never squeezes the one shown.
    QSize minimumSizeHint() const override;

    // The update banner's row follows the update check's offer.
    void setUpdateBannerShown(bool shown);

    UpdateBanner* updateBanner() const { return updateBanner_; }
    TopBar* topBar() const { return topBar_; }
    FilterPanel* filterPanel() const { return filterPanel_; }
    TabStrip* tabStrip() const { return tabStrip_; }
    QStackedWidget* pages() const { return pages_; }
    TreeViewTab* treeViewTab() const { return treeViewTab_; }
    FileViewTab* fileViewTab() const { return fileViewTab_; }
    AboutPage* aboutPage() const { return aboutPage_; }
    StatusBar* statusBar() const { return statusBar_; }

    QWidget* updateBannerRow() const { return bannerRow_; }
    QWidget* headerRow() const { return headerRow_; }
    QWidget* filterPanelRow() const { return filterRow_; }

private:
    void showPage();

    MainWindowController& tabs_;
    QWidget* bannerRow_;
    QWidget* headerRow_;
    QWidget* filterRow_;
    UpdateBanner* updateBanner_;
    TopBar* topBar_;
    FilterPanel* filterPanel_;
    TabStrip* tabStrip_;
    QStackedWidget* pages_;
    TreeViewTab* treeViewTab_;
    FileViewTab* fileViewTab_;
    AboutPage* aboutPage_;
    StatusBar* statusBar_;
};

}  // namespace zelvane
