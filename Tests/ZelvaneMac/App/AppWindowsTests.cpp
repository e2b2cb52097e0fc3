// The application with its real windows: what a window shows or does because of something
// application-wide (the update check, the administrator badge, the restart after a reset), how
// windows close and the program quits, and the offer made once per run.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QThreadPool>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "../Services/LocalHttpServer.hpp"
#include "QtWidgetTestApp.hpp"
#include "StandInProgram.hpp"
#include "TestTrees.hpp"
#include "ZelvaneMac/App/AppDelegate.hpp"
#include "ZelvaneMac/App/LanguageRelaunch.hpp"
#include "ZelvaneMac/App/ZelvaneMacApp.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Services/UpdateChecker.hpp"
#include "ZelvaneMac/Widgets/Common/AppIcon.hpp"
#include "ZelvaneMac/Widgets/MainWindow/ContentView.hpp"
#include "ZelvaneMac/Widgets/Common/FileActionMenu.hpp"
#include "ZelvaneMac/Widgets/Preview/PreviewWindow.hpp"
#include "ZelvaneMac/Widgets/MainWindow/MainWindow.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Menus/MenuBar.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Status/UpdateBanner.hpp"
#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Window/RelaunchCommands.hpp"
#include "ZelvaneMac/Window/WindowPrompts.hpp"
#include "ZelvaneMac/Window/WindowStartup.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"
#include "TempFolder.hpp"
#include "OnScopeExit.hpp"
#include "ZelvaneMac/Window/MenuAction.hpp"
#include "ZelvaneMac/Window/NodeSelection.hpp"

namespace zelvane {
namespace {

// An application over a temp preference file, recording its language restarts and quits.
struct App {
    // Before anything that needs the event loop (the local server's socket, above all).
    QApplication& application = qtWidgetApp();
    QTemporaryDir dir;
    Preferences preferences{dir.filePath("prefs.plist")};
    int languageRestarts = 0;
    int quits = 0;
    QStringList restartEnvironment;  // of the last restart, besides the process's own

    ZelvaneMacApp::Environment environment(UpdateChecker* checker = nullptr, bool elevated = false) {
        ZelvaneMacApp::Environment env;
        env.resourcesDir = dir.filePath("Resources");
        env.systemLanguages = {"en-US"};
        env.program = dir.filePath("ZelvaneMac");
        env.launcher = [this](const QString&, const QStringList&, const QStringList& extra) {
            ++languageRestarts;
            restartEnvironment = extra;
            return true;
        };
        env.quit = [this] { ++quits; };
        env.isElevated = [elevated] { return elevated; };
        env.services.updateChecker = checker;
        return env;
    }
};

QMessageBox* visibleBox(QWidget* within = nullptr) {
    const QList<QWidget*> candidates = within ? within->findChildren<QWidget*>() : QApplication::topLevelWidgets();
    for (QWidget* w : candidates)
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) return box;
    return nullptr;
}

QAbstractButton* buttonTitled(QMessageBox* box, const QString& title) {
    for (QAbstractButton* b : box->buttons())
        if (b->text().replace(QStringLiteral("&&"), QStringLiteral("&")) == title) return b;
    return nullptr;
}

const QString kBannerText =
    QStringLiteral("An update is available (v1.5). Click on the \"View Update\" button to learn more.");

TEST(UpdateBanner, ANewerVersionShowsInEveryWindowUntilDismissedAndComesBackOnDemand) {
    App a;
    LocalHttpServer server(LocalHttpServer::httpReply("200 OK", "VERSION=1.5\nINFOURL=https://example.org/1.5\n"));
    a.preferences.set(PreferenceKeys::updateServerBaseURL, server.base());
    UpdateChecker checker(a.preferences);
    ZelvaneMacApp app(a.preferences, CommandLine::read({"ZelvaneMac"}), a.environment(&checker));

    // The automatic check goes out when the first window appears.
    MainWindow* first = app.openWindow();
    ContentView* firstView = first->contentView();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return firstView->updateBannerRow()->isVisible(); }, 15000))
        << "the banner never appeared; requests seen: " << server.requests;
    EXPECT_EQ(firstView->updateBanner()->text(), kBannerText);
    EXPECT_EQ(firstView->updateBanner()->height(), 36);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return firstView->headerRow()->y() >= 36; }))
        << "the strip sits above the top bar";
    EXPECT_TRUE(first->grab().save(grabPath("update-banner.png")));

    // A second window the same day asks nothing and shows the same offer.
    MainWindow* second = app.openWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(second));
    EXPECT_TRUE(pumpWidgetsUntil([&] { return second->contentView()->updateBannerRow()->isVisible(); }));
    EXPECT_EQ(server.requests, 1);

    // Closing it in one window closes it in both; the row goes, no empty strip is left.
    QTest::mouseClick(second->contentView()->updateBanner()->closeButton(), Qt::LeftButton);
    EXPECT_FALSE(firstView->updateBannerRow()->isVisible());
    EXPECT_FALSE(second->contentView()->updateBannerRow()->isVisible());
    EXPECT_TRUE(pumpWidgetsUntil([&] { return firstView->headerRow()->y() == 0; }));

    // "Check for Updates Now" asks again and brings it back everywhere, without an alert.
    first->menus().action(ZelvaneMenuAction::checkForUpdatesNow)->trigger();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return second->contentView()->updateBannerRow()->isVisible(); }, 15000));
    EXPECT_TRUE(firstView->updateBannerRow()->isVisible());
    EXPECT_EQ(server.requests, 2);
    EXPECT_EQ(visibleBox(), nullptr);

    // A version of thousands of digits is the server's to send: it is shown cut short, whole in
    // the tooltip, and the window does not grow to fit it.
    const int minimumWidth = first->minimumSizeHint().width();
    const QByteArray longVersion = "2." + QByteArray(3000, '0');
    server.reply = LocalHttpServer::httpReply("200 OK", "VERSION=" + longVersion + "\nINFOURL=https://example.org/2\n");
    first->menus().action(ZelvaneMenuAction::checkForUpdatesNow)->trigger();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return firstView->updateBanner()->text().contains(longVersion); }, 15000));
    const QLabel* message = nullptr;
    const auto messageCutShort = [&] {
        for (const QLabel* label : firstView->updateBanner()->findChildren<QLabel*>())
            if (label->text().startsWith("An update")) message = label;
        return message && message->text().endsWith(QChar(0x2026)) &&
               message->fontMetrics().horizontalAdvance(message->text()) <= message->width();
    };
    // The banner is laid out again on a later turn of the event loop.
    EXPECT_TRUE(pumpWidgetsUntil(messageCutShort)) << (message ? message->text().size() : -1) << " characters shown";
    ASSERT_TRUE(message);
    EXPECT_EQ(first->minimumSizeHint().width(), minimumWidth);
    EXPECT_LE(firstView->updateBanner()->width(), first->width());
    EXPECT_EQ(message->toolTip(), firstView->updateBanner()->text());
    delete second;
    delete first;
}

TEST(UpdateBanner, AServerThatNeverAnswersIsReportedAsATimeOut) {
    App a;
    LocalHttpServer server("");
    server.silent = true;
    a.preferences.set(PreferenceKeys::updateServerBaseURL, server.base());
    a.preferences.set(PreferenceKeys::checkForUpdatesEnabled, false);
    UpdateChecker checker(a.preferences);
    checker.setRequestTimeout(std::chrono::milliseconds(300));
    ZelvaneMacApp app(a.preferences, CommandLine::read({"ZelvaneMac"}), a.environment(&checker));
    MainWindow* window = app.openWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));

    // The alert runs its own event loop: it is read and closed from inside that loop.
    QString shown;
    QTimer closer;
    closer.setInterval(20);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (QMessageBox* box = visibleBox()) {
            shown = box->text();
            box->buttons().first()->click();
        }
    });
    closer.start();
    window->menus().action(ZelvaneMenuAction::checkForUpdatesNow)->trigger();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return !shown.isEmpty(); }, 15000));
    EXPECT_EQ(shown, "Error checking for updates: The request timed out.");
    EXPECT_EQ(server.requests, 1);
    EXPECT_FALSE(window->contentView()->updateBannerRow()->isVisible());
    delete window;
}

// The delegate badges the application's icon; a window that set an icon of its own would hide it.
TEST(AdministratorBadge, EveryWindowOfAnElevatedRunShowsTheBadgedIcon) {
    App a;
    QApplication::setWindowIcon(zelvaneIcon());
    ZelvaneMacApp app(a.preferences, CommandLine::read({"ZelvaneMac"}), a.environment(nullptr, true));
    MainWindow* first = app.openWindow();
    app.finishLaunching();
    MainWindow* second = app.openWindow();

    const BadgeGeometry badge = badgeGeometry(QSizeF(128, 128));
    const QPoint onOrange(int(badge.inner.left()) + 4, int(badge.inner.center().y()));
    for (MainWindow* window : {first, second}) {
        const QImage icon = window->windowIcon().pixmap(128, 128).toImage();
        ASSERT_EQ(icon.width(), 128);
        const QColor c = icon.pixelColor(onOrange);
        EXPECT_GT(c.red(), 230);
        EXPECT_NEAR(c.green(), 0x95, 25);
        EXPECT_LT(c.blue(), 40) << "the badge's orange disc at the icon's bottom right";
    }
    EXPECT_TRUE(first->windowIcon().pixmap(128, 128).save(grabPath("elevated-window-icon.png")));
    delete second;
    delete first;
    QApplication::setWindowIcon(QIcon());
}

// Resetting every setting also removes the chosen language; the reset's own restart must be the
// only one.
TEST(ResetConfiguration, WithAChosenLanguageStartsOneNewInstance) {
    App a;
    a.preferences.set(PreferenceKeys::appLanguageOverride, QStringLiteral("de"));
    a.preferences.set(PreferenceKeys::csvMaxDepth, 3);
    ZelvaneMacApp app(a.preferences, CommandLine::read({"ZelvaneMac"}), a.environment());
    MainWindow* window = app.openWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));

    StandIn program(a.dir.path(), "ZelvaneMac-relaunched");
    std::function<void()> atQuit;
    int resetQuits = 0;
    RelaunchEnvironment env;
    env.executablePath = program.path();
    env.askpassPath = a.dir.filePath("Ostrane");
    env.quit = [&] { ++resetQuits; };
    env.atQuit = [&](std::function<void()> work) { atQuit = std::move(work); };
    installElevatedRelaunch(window->prompts(), window->preferences(), env);

    window->menus().action(ZelvaneMenuAction::resetConfiguration)->trigger();
    QMessageBox* confirm = nullptr;
    ASSERT_TRUE(pumpWidgetsUntil([&] { return (confirm = visibleBox(window)) != nullptr; }));
    EXPECT_EQ(confirm->text(), "Reset All Settings?");
    QTest::mouseClick(buttonTitled(confirm, "Reset & Restart"), Qt::LeftButton);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return resetQuits == 1; }));
    ASSERT_TRUE(atQuit) << "the reset restarts once the application has quit";
    atQuit();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return program.starts() == 1; }, 10000));

    EXPECT_EQ(a.languageRestarts, 0) << "the removed language key is no choice of a language";
    EXPECT_EQ(a.quits, 0);
    EXPECT_FALSE(a.preferences.object("appLanguageOverride").isValid());
    EXPECT_FALSE(a.preferences.object("csvMaxDepth").isValid());
    pumpWidgetsUntil([] { return false; }, 300);
    EXPECT_EQ(program.starts(), 1);

    // Choosing a language afterwards is a choice again.
    a.preferences.set(PreferenceKeys::appLanguageOverride, QStringLiteral("fr"));
    EXPECT_EQ(a.languageRestarts, 1);
    delete window;
}

// The command line read at start reaches the window: relative names, a trailing slash and a name
// that is not UTF-8 are scanned as the absolute folders the export mode would take.
TEST(CommandLineFolders, TheWindowScansTheFoldersTheCommandLineNames) {
    App a;
    testsupport::TempFolder dir;
    const std::string odd = dir.path() + "/bad\xff name";
    std::filesystem::create_directories(dir.path() + "/sub");
    std::filesystem::create_directories(odd);
    std::ofstream(dir.path() + "/sub/file.bin") << std::string(5000, 'x');
    std::ofstream(odd + "/other.bin") << std::string(700, 'y');

    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    CommandLine line = CommandLine::read({"ZelvaneMac", "sub/", "missing", "bad\xff name", "-x"});
    std::filesystem::current_path(before);
    ZelvaneMacApp app(a.preferences, std::move(line), a.environment());
    MainWindow* window = app.openWindow();
    ScanController& scans = window->scanControl();
    ASSERT_TRUE(pumpWidgetsUntil([&] {
        return window->viewModel().scanState().tag() == ScanState::Tag::completed && scans.effectiveRoots().size() == 2;
    }));
    EXPECT_EQ(scans.effectiveRoots()[0]->pathBytes(), dir.path() + "/sub");
    EXPECT_EQ(scans.effectiveRoots()[0]->effectiveSize(), 5000);
    EXPECT_EQ(scans.effectiveRoots()[1]->pathBytes(), odd) << "the name's bytes, as on disk";
    EXPECT_EQ(scans.effectiveRoots()[1]->effectiveSize(), 700);
    delete window;
}

void press(MainWindow* window, Qt::Key key) {
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QTest::keyClick(window, key, Qt::ControlModifier);
}

TEST(CloseAndQuit, CtrlWClosesItsWindowAndCtrlQEndsTheProgramAsClosingEachWould) {
    App run;
    fixtures::TempDir tree;
    fixtures::writePhotosMusicAndNotes(tree.path());
    ZelvaneMacApp::Environment env = run.environment();
    // The program's own quit, whose end runs the write-backs.
    env.quit = nullptr;
    int copiesBack = 0;
    env.termination.syncPreferencesBackToRealUserIfElevated = [&copiesBack](Preferences&) { ++copiesBack; };
    ZelvaneMacApp app(run.preferences, CommandLine::read({"ZelvaneMac"}), env);
    QPointer<MainWindow> first = app.openWindow();
    QPointer<MainWindow> second = app.openWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(second));
    first->scanControl().scanChosenFolder(QString::fromStdString(tree.path().string()));
    ASSERT_TRUE(pumpWidgetsUntil([&] { return !first->scanControl().effectiveRoots().empty(); }));

    press(second, Qt::Key_W);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return second.isNull(); })) << "Ctrl+W closes the window";
    ASSERT_FALSE(first.isNull());
    EXPECT_TRUE(first->isVisible()) << "and only that one";
    EXPECT_EQ(app.windows().size(), 1u);
    EXPECT_EQ(copiesBack, 0);

    // Ctrl+Q inside the program's own event loop, which it ends; a stuck program is ended by
    // the test after a while, with another code.
    QTimer::singleShot(0, [&] { press(first, Qt::Key_Q); });
    QTimer stuck;
    stuck.setSingleShot(true);
    QObject::connect(&stuck, &QTimer::timeout, [] { QCoreApplication::exit(7); });
    stuck.start(20000);
    EXPECT_EQ(QApplication::exec(), 0) << "Ctrl+Q quits";
    EXPECT_EQ(copiesBack, 1) << "the settings of an elevated run are copied back once";
    bool frameStored = false;
    for (const QString& key : run.preferences.allKeys()) frameStored |= key.startsWith(QStringLiteral("ZelvaneMac.MainWindowFrame"));
    EXPECT_TRUE(frameStored) << "the window wrote its frame on the way out";
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull()) << "closed as the user would close it, and gone";
    EXPECT_TRUE(app.windows().empty());
}

// Answers each erasing question of the file actions with the button that goes ahead.
struct EraseAnswerer {
    QApplication& application = qtWidgetApp();  // before the timer
    QTimer timer;
    EraseAnswerer() {
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [] {
            QMessageBox* box = visibleBox();
            if (!box) return;
            for (const char* title : {"Delete Immediately", "Move to Trash"})
                if (QAbstractButton* go = buttonTitled(box, QString::fromLatin1(title))) return go->click();
        });
        timer.start();
    }
};

// Six folders of files, f0 to f5.
std::vector<std::filesystem::path> makeSixFolders(const std::filesystem::path& at) {
    std::vector<std::filesystem::path> folders;
    for (int f = 0; f < 6; ++f) {
        folders.push_back(at / ("f" + std::to_string(f)));
        std::filesystem::create_directories(folders.back());
        for (int i = 0; i < 300; ++i) std::ofstream(folders.back() / ("file" + std::to_string(i)));
    }
    return folders;
}

// While Delete Immediately or Move to Trash works behind its panel, closing the window (Ctrl+W)
// and quitting (Ctrl+Q) are not lost: pressed where the keyboard is, on the panel, they stop the
// work before its next item, and the window closes or the program quits. The panel leaves the
// window open to the window system's close as well.
TEST(CloseAndQuit, ClosingOrQuittingWhileTheWindowErasesStopsBeforeTheNextItem) {
    App run;
    fixtures::TempDir dir;
    ::setenv("XDG_DATA_HOME", (dir.path() / "data").c_str(), 1);
    std::filesystem::create_directories(dir.path() / "data");
    ZelvaneMacApp app(run.preferences, CommandLine::read({"ZelvaneMac"}), run.environment());
    run.preferences.set(PreferenceKeys::monitorFileSystemForChanges, false);
    EraseAnswerer user;
    // Each erase is held before its second folder until its window's file actions are gone.
    auto windowGone = std::make_shared<std::atomic<bool>>(false);
    const testsupport::OnScopeExit letGo([&] { windowGone->store(true); });

    const auto eraseAndThenPress = [&](const char* set, ZelvaneMenuAction erase, Qt::Key key) {
        const std::vector<std::filesystem::path> folders = makeSixFolders(dir.path() / set);
        QPointer<MainWindow> window = app.openWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        windowGone->store(false);
        auto reached = std::make_shared<std::atomic<int>>(0);
        for (FileActionMenu* menu : window->findChildren<FileActionMenu*>()) {
            // Held until the actions are gone: their jobs, which the work reads its stop from, go
            // with them, while the window tells it is going before them.
            auto actionsGone = std::make_shared<std::atomic<bool>>(false);
            QObject::connect(&menu->actions(), &QObject::destroyed, [actionsGone] { actionsGone->store(true); });
            menu->actions().setEraseWatch([windowGone, actionsGone, reached](const std::string&) {
                if (reached->fetch_add(1) != 1) return;
                for (int i = 0; i < 6000 && !actionsGone->load() && !windowGone->load(); ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
            });
        }
        window->scanControl().scanChosenFolder(QString::fromStdString((dir.path() / set).native()));
        ASSERT_TRUE(pumpWidgetsUntil([&] { return window->scanControl().effectiveRoots().size() == 1; }));
        FileNode* root = window->scanControl().effectiveRoots()[0].get();
        NodeSet chosen(root->children().begin(), root->children().end());
        window->treeSelection().set(chosen);
        window->menus().action(erase)->trigger();
        QProgressDialog* panel = nullptr;
        ASSERT_TRUE(pumpWidgetsUntil([&] {
            for (QProgressDialog* p : window->findChildren<QProgressDialog*>())
                if (p->isVisible() && reached->load() >= 2) panel = p;
            return panel != nullptr;
        })) << "no panel while the folders went";
        EXPECT_EQ(QGuiApplication::modalWindow(), nullptr) << "the panel keeps the window from the window system's close";
        QWidget* keyboard = QApplication::focusWidget() ? QApplication::focusWidget() : QApplication::activeWindow();
        ASSERT_TRUE(keyboard);
        EXPECT_EQ(keyboard->window(), panel) << "the panel has the keyboard, as it takes it when it shows";
        QTest::keyClick(keyboard, key, Qt::ControlModifier);
        EXPECT_TRUE(pumpWidgetsUntil([&] { return window.isNull(); })) << "the key was lost";
        windowGone->store(true);
        QThreadPool::globalInstance()->waitForDone();
        EXPECT_FALSE(std::filesystem::exists(folders[0])) << "the first folder went before the key";
        for (size_t f = 1; f < folders.size(); ++f) {
            std::error_code absent;
            EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folders[f], absent), {}), 300) << "not stopped before " << f;
        }
    };
    eraseAndThenPress("erased", ZelvaneMenuAction::deleteImmediately, Qt::Key_W);
    EXPECT_EQ(run.quits, 0) << "closing a window is no quit";
    eraseAndThenPress("trashed", ZelvaneMenuAction::moveToTrash, Qt::Key_Q);
    EXPECT_EQ(run.quits, 1) << "Ctrl+Q quits";
}

// Answers every "Move to Applications Folder?" with "Not Now" and counts them.
struct MoveOfferUser {
    QApplication& application = qtWidgetApp();  // before the timer
    int offers = 0;
    QTimer timer;
    MoveOfferUser() {
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(w);
                if (!box || !box->isVisible() || box->text() != QStringLiteral("Move to Applications Folder?")) continue;
                for (QAbstractButton* b : box->buttons())
                    if (b->text() == QStringLiteral("Not Now")) {
                        ++offers;
                        b->click();
                        return;
                    }
            }
        });
        timer.start();
    }
};

// Opens a window of `app` and waits until its start-up has run and the offer it made, if any,
// has been answered.
void openAndSettle(ZelvaneMacApp& app) {
    MainWindow* window = app.openWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    ASSERT_TRUE(pumpWidgetsUntil([&] { return window->startup().hasRun() && !window->prompts().showMoveToApplicationsPrompt(); }));
}

TEST(MoveToApplicationsOffer, IsMadeOncePerRunARestartForAnotherLanguageIncluded) {
    MoveOfferUser user;
    {
        App run;
        ZelvaneMacApp::Environment env = run.environment();
        env.shouldOfferMoveToApplications = [] { return true; };
        ZelvaneMacApp app(run.preferences, CommandLine::read({"ZelvaneMac"}), env);
        openAndSettle(app);
        EXPECT_EQ(user.offers, 1) << "the first window offers";
        openAndSettle(app);
        openAndSettle(app);
        EXPECT_EQ(user.offers, 1) << "later windows of the same run do not";

        // Another language restarts the program, which is told the offer was made.
        run.preferences.set(PreferenceKeys::appLanguageOverride, QStringLiteral("de"));
        ASSERT_TRUE(app.languageRelaunch().hasRelaunched());
        EXPECT_TRUE(run.restartEnvironment.contains(QStringLiteral("ZELVANE_MOVE_OFFER_MADE=1")))
            << run.restartEnvironment.join(' ').toStdString();
        for (const QString& entry : run.restartEnvironment) {
            const qsizetype eq = entry.indexOf('=');
            if (entry.left(eq) != QLatin1String(LanguageRelaunch::waitVariable))
                qputenv(entry.left(eq).toUtf8().constData(), entry.mid(eq + 1).toUtf8());
        }
    }
    {
        // The restarted copy reads what it was told, and programs it starts are not told.
        App run;
        ZelvaneMacApp::Environment env = run.environment();
        env.shouldOfferMoveToApplications = [] { return true; };
        env.moveToApplicationsOffered = takeMoveToApplicationsOfferedVariable();
        EXPECT_TRUE(env.moveToApplicationsOffered);
        EXPECT_EQ(std::getenv("ZELVANE_MOVE_OFFER_MADE"), nullptr);
        ZelvaneMacApp app(run.preferences, CommandLine::read({"ZelvaneMac"}), env);
        openAndSettle(app);
        EXPECT_EQ(user.offers, 1) << "the restarted copy does not ask again";

        // Its own restart is still the same run.
        run.preferences.set(PreferenceKeys::appLanguageOverride, QStringLiteral("fr"));
        EXPECT_TRUE(run.restartEnvironment.contains(QStringLiteral("ZELVANE_MOVE_OFFER_MADE=1")));
    }
    {
        // A new run asks again; a copy with nothing to offer tells the next one nothing.
        App run;
        ZelvaneMacApp::Environment env = run.environment();
        env.shouldOfferMoveToApplications = [] { return true; };
        env.moveToApplicationsOffered = takeMoveToApplicationsOfferedVariable();
        ZelvaneMacApp app(run.preferences, CommandLine::read({"ZelvaneMac"}), env);
        openAndSettle(app);
        EXPECT_EQ(user.offers, 2);

        App quiet;
        ZelvaneMacApp::Environment none = quiet.environment();
        none.shouldOfferMoveToApplications = [] { return false; };
        ZelvaneMacApp other(quiet.preferences, CommandLine::read({"ZelvaneMac"}), none);
        openAndSettle(other);
        quiet.preferences.set(PreferenceKeys::appLanguageOverride, QStringLiteral("fr"));
        ASSERT_TRUE(other.languageRelaunch().hasRelaunched());
        EXPECT_FALSE(quiet.restartEnvironment.join(' ').contains(QStringLiteral("ZELVANE_MOVE_OFFER_MADE")));
        EXPECT_EQ(user.offers, 2);
    }
}

}  // namespace
}  // namespace zelvane
