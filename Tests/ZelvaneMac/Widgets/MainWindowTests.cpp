#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>

#include "QtWidgetTestApp.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Widgets/Common/EmptyStateView.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Tabs/AboutPage.hpp"
#include "ZelvaneMac/Widgets/MainWindow/ContentView.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Tabs/FileViewTab.hpp"
#include "ZelvaneMac/Widgets/MainWindow/MainWindow.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Tabs/TabStrip.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Tabs/TreeViewTab.hpp"
#include "ZelvaneMac/Window/ContentTab.hpp"
#include "ZelvaneMac/Window/MainWindowController.hpp"
#include "ZelvaneMac/Window/PaneToggles.hpp"

using namespace zelvane;

namespace {

// Pictures of the views land here for a person to look at.
}  // namespace

TEST(MainWindow, OpensWithItsRowsAndSwitchesTabsKeepingEachPage) {
    qtWidgetApp();
    QTemporaryDir dir;
    Preferences preferences(dir.filePath("prefs.plist"));
    MainWindow window(preferences, {});
    window.resize(window.sizeHint());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ContentView* view = window.contentView();
    // The first volume is selected when the window appears, so its label follows the name.
    EXPECT_TRUE(window.windowTitle().startsWith("ZelvaneMac")) << window.windowTitle().toStdString();
    EXPECT_GE(window.minimumSizeHint().width(), 1000);
    EXPECT_GE(window.minimumSizeHint().height(), 650);
    EXPECT_FALSE(view->updateBannerRow()->isVisible());
    EXPECT_TRUE(view->headerRow()->isVisible());
    EXPECT_FALSE(view->filterPanelRow()->isVisible());
    EXPECT_EQ(view->pages()->currentWidget(), view->treeViewTab());

    // A page's own widgets keep their state while another tab is shown.
    auto* probe = new QLineEdit(view->fileViewTab());
    probe->setText(QStringLiteral("kept"));
    QTest::mouseClick(view->tabStrip()->button(ContentTab::fileView), Qt::LeftButton);
    EXPECT_EQ(window.controller().selectedTab(), ContentTab::fileView);
    EXPECT_EQ(view->pages()->currentWidget(), view->fileViewTab());
    EXPECT_TRUE(view->tabStrip()->button(ContentTab::fileView)->isSelected());
    EXPECT_EQ(preferences.value(PreferenceKeys::selectedTab), "fileView");
    QTest::mouseClick(view->tabStrip()->button(ContentTab::about), Qt::LeftButton);
    EXPECT_EQ(view->pages()->currentWidget(), view->aboutPage());
    EXPECT_FALSE(view->fileViewTab()->isVisible());
    QTest::mouseClick(view->tabStrip()->button(ContentTab::fileView), Qt::LeftButton);
    EXPECT_EQ(probe->text(), "kept");

    window.panes().setShowHeader(false);
    window.panes().setShowFilterPanel(true);
    EXPECT_FALSE(view->headerRow()->isVisible());
    EXPECT_TRUE(view->filterPanelRow()->isVisible());
    window.panes().setShowHeader(true);
    window.panes().setShowFilterPanel(false);

    window.controller().setSelectedTab(ContentTab::treeView);
    EXPECT_TRUE(window.grab().save(grabPath("main-window.png")));
    window.controller().setSelectedTab(ContentTab::about);
    EXPECT_TRUE(window.grab().save(grabPath("about-page.png")));
}

TEST(AboutPage, DateIsTheBuildDateTextRearranged) {
    EXPECT_EQ(aboutPageDateText("20260916"), "2026/09/16");
    EXPECT_EQ(aboutPageDateText("2026"), "2026");
}

TEST(EmptyStateView, FitsImagesAndCentresItsTexts) {
    qtWidgetApp();
    QImage wide(200, 100, QImage::Format_ARGB32);
    wide.fill(Qt::red);
    EmptyStateView view(QStringLiteral("No Scan Results"), wide,
                        QStringLiteral("A rather long description that has to wrap over more than one line when the "
                                       "space offered is narrow, and stays centred."));
    view.resize(320, 400);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    const QPixmap icon = view.iconPixmap();
    EXPECT_EQ(icon.deviceIndependentSize().toSize(), QSize(48, 24)) << "fitted keeping its aspect ratio";
    // A description of the host's own making: two wrapped texts that take the column's width.
    auto* box = new QWidget;
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    QLabel* second = nullptr;
    for (const char* text : {"Choose a volume or folder above, then click Scan.",
                             "Select the 'Tree View' tab to view the scan results as a tree and treemap, or the "
                             "'File View' tab to view the scan results as a searchable list."}) {
        second = new QLabel(QString::fromUtf8(text));
        second->setWordWrap(true);
        second->setAlignment(Qt::AlignHCenter);
        column->addWidget(second);
    }
    view.setDescriptionWidget(box);
    view.resize(700, 400);
    // Laid out over later turns of the event loop.
    pumpWidgetsUntil([&] {
        return second->height() >= second->heightForWidth(second->width()) && second->width() > 400 &&
               std::abs(box->geometry().center().x() - box->parentWidget()->width() / 2) <= 2;
    });
    EXPECT_GE(second->height(), second->heightForWidth(second->width())) << "wrapped text is not clipped";
    EXPECT_GT(second->width(), 400) << "the text takes the column's width";
    EXPECT_NEAR(box->geometry().center().x(), box->parentWidget()->width() / 2, 2);
    EXPECT_TRUE(view.grab().save(grabPath("empty-state.png")));
}
