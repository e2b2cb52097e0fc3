#include "ZelvaneMac/App/ZelvaneMacApp.hpp"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QTranslator>

#include <unistd.h>

#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Services/MoveToApplications.hpp"
#include "ZelvaneMac/Services/PortableMode.hpp"
#include "ZelvaneMac/Services/UpdateChecker.hpp"
#include "ZelvaneMac/Window/WindowServices.hpp"
#include "ZelvaneMac/Window/WindowStartup.hpp"
#include "ZelvaneMac/Core/Text/AppLanguages.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Widgets/Common/AppIcon.hpp"
#include "ZelvaneMac/Widgets/MainWindow/MainWindow.hpp"
#include "ZelvaneMac/Window/WindowFrameKeeper.hpp"

namespace zelvane {

namespace {

template <typename F, typename... Args>
void runStep(const F& step, Args&... args) {
    if (step) step(args...);
}

}  // namespace

ZelvaneMacApp::ZelvaneMacApp(Preferences& preferences, CommandLine commandLine, Environment environment,
                             QObject* parent)
    : QObject(parent),
      preferences_(preferences),
      commandLine_(std::move(commandLine)),
      environment_(std::move(environment)),
      moveToApplicationsOffered_(environment_.moveToApplicationsOffered) {
    const StartupSteps& steps = environment_.startup;
    runStep(steps.raiseFileDescriptorLimit);
    runStep(steps.activatePortableModeIfPrepared);
    runStep(steps.syncPreferencesFromPortableDriveIfActive, preferences_);
    runStep(steps.syncPreferencesFromRealUserIfElevated, preferences_);
    runStep(steps.applyAdminOverridesIfPresent, preferences_);
    AppLanguages::applyLanguageOverride(preferences_);
    installStringsTable();

    AppDelegate::Hooks hooks;
    hooks.hasVisibleWindow = [this] {
        for (MainWindow* window : windows())
            if (window->isVisible()) return true;
        return false;
    };
    hooks.openWindow = [this] { openWindow(); };
    hooks.applicationIcon = [] { return zelvaneIconImage(256); };
    hooks.setApplicationIcon = [](const QImage& image) { QApplication::setWindowIcon(QIcon(QPixmap::fromImage(image))); };
    hooks.isElevated = environment_.isElevated;
    delegate_ = new AppDelegate(preferences_, commandLine_.options.isExportMode(), std::move(hooks), environment_.termination, this);

    // One observer for the whole application: a window each would start a copy each.
    relaunch_ = new LanguageRelaunch(preferences_, environment_.program, environment_.launcher,
                                     environment_.quit ? environment_.quit : [] { QCoreApplication::quit(); }, this);
    // The new copy is the same run: what was asked once is not asked again.
    relaunch_->setCarriedEnvironment([this] {
        return moveToApplicationsOffered_ ? QStringList{QStringLiteral("%1=1").arg(QLatin1String(moveToApplicationsOfferedVariable))}
                                          : QStringList{};
    });

    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        // The rule for the last window is ours, not the platform's, so that it can be asked.
        app->setQuitOnLastWindowClosed(false);
        connect(app, &QGuiApplication::lastWindowClosed, this, &ZelvaneMacApp::lastWindowClosed);
        // Window frames still settling are written before the preferences are carried elsewhere.
        connect(app, &QCoreApplication::aboutToQuit, this, [this] {
            for (MainWindow* window : windows()) window->frameKeeper().flush();
        });
        connect(app, &QCoreApplication::aboutToQuit, delegate_, &AppDelegate::applicationWillTerminate);
    }

    // Settings that cannot be written are lost when the program ends: the user hears of it once
    // in the run, with the reason, over the window in front; standard error hears of it too.
    connect(&preferences_, &Preferences::saveFailed, this, [this](const QString& path, const QString& reason) {
        qWarning("ZelvaneMac: settings could not be saved to %s: %s", qPrintable(path), qPrintable(reason));
        if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
        QWidget* over = QApplication::activeWindow();
        for (MainWindow* window : windows())
            if (!over && window->isVisible()) over = window;
        auto* box = new QMessageBox(
            QMessageBox::Warning, QStringLiteral("ZelvaneMac"),
            localized("Settings could not be saved. Changes made in this session will be lost when ZelvaneMac quits."),
            QMessageBox::NoButton, over);
        box->setInformativeText(fillPlaceholders(localized("\"%@\": %@"), {path, reason}));
        box->addButton(localized("OK"), QMessageBox::AcceptRole);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    });

    // "No update found." and failures of a check the user asked for: one alert for the program,
    // over the window in front, however many windows are open.
    if (UpdateChecker* checker = environment_.services.updateChecker) {
        connect(checker, &UpdateChecker::outcomeToShow, this, [](bool isWarning, const QString& message) {
            QMessageBox box(isWarning ? QMessageBox::Warning : QMessageBox::Information, QStringLiteral("ZelvaneMac"),
                            message, QMessageBox::NoButton, QApplication::activeWindow());
            box.addButton(localized("OK"), QMessageBox::AcceptRole);
            box.exec();
        });
    }
}

ZelvaneMacApp::~ZelvaneMacApp() {
    for (MainWindow* window : windows()) delete window;
}

void ZelvaneMacApp::installStringsTable() {
    const QStringList preferred = AppLanguages::preferredLanguages(preferences_, environment_.systemLanguages);
    QStringList available = AppLanguages::availableTableLanguages(environment_.resourcesDir);
    std::optional<QString> language;
    std::shared_ptr<const StringsTable> table;
    // A table that cannot be read is no choice: the next preferred language is tried, so that the
    // layout direction and Qt's own texts follow the language actually shown.
    while ((language = AppLanguages::resolveTableLanguage(preferred, available))) {
        if ((table = AppLanguages::loadStringsTable(environment_.resourcesDir, *language, &stringsProblems_))) break;
        available.removeAll(*language);
    }
    zelvane::installStringsTable(table);
    for (const QString& problem : stringsProblems_) qWarning("ZelvaneMac: %s", qPrintable(problem));
    followInterfaceLanguage(language.value_or(QStringLiteral("en")));
}

// Qt's own texts (file and colour dialogs, the fields' context menus) and the layout direction
// follow the interface language too. Number and date formats stay the system's: the language choice
// changes words, not the region.
void ZelvaneMacApp::followInterfaceLanguage(const QString& language) {
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!app) return;
    const QLocale locale(language);
    app->setLayoutDirection(locale.textDirection());
    if (qtTranslator_) {
        QCoreApplication::removeTranslator(qtTranslator_);
        delete qtTranslator_;
        qtTranslator_ = nullptr;
    }
    auto* translator = new QTranslator(this);
    if (language != QLatin1String("en") &&
        translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(translator);
        qtTranslator_ = translator;
    } else {
        delete translator;
    }
}

void ZelvaneMacApp::finishLaunching() { delegate_->applicationDidFinishLaunching(); }

MainWindow* ZelvaneMacApp::openWindow() {
    auto* window = new MainWindow(preferences_, commandLine_.options);
    const AppServices services = environment_.services;
    window->services().set(services);
    WindowStartupHooks hooks = systemWindowStartupHooks();
    hooks.commandLine = commandLine_.targets;
    if (services.updateChecker) hooks.checkForUpdates = [checker = services.updateChecker] { checker->checkForUpdates(false, false); };
    if (PortableMode* mode = services.portableMode) {
        hooks.shouldOfferPortableMode = [mode] {
            return !mode->isActive() && !mode->wasDeclinedThisLaunch() && PortableModeFacts::isRunningFromNonInternalVolume();
        };
    }
    hooks.shouldOfferMoveToApplications = [this] { return takeMoveToApplicationsOffer(); };
    window->setStartupHooks(std::move(hooks));
    windows_.emplace_back(window);
    connect(window, &MainWindow::newWindowRequested, this, [this] { openWindow(); });
    connect(window, &MainWindow::quitRequested, this, &ZelvaneMacApp::quit, Qt::QueuedConnection);
    window->show();
    return window;
}

std::vector<MainWindow*> ZelvaneMacApp::windows() const {
    std::vector<MainWindow*> open;
    for (const auto& window : windows_)
        if (window) open.push_back(window);
    return open;
}

bool ZelvaneMacApp::takeMoveToApplicationsOffer() {
    if (moveToApplicationsOffered_ || !environment_.shouldOfferMoveToApplications ||
        !environment_.shouldOfferMoveToApplications())
        return false;
    moveToApplicationsOffered_ = true;
    return true;
}

void ZelvaneMacApp::quit() {
    for (MainWindow* window : windows())
        if (!window->close()) return;
    if (environment_.quit)
        environment_.quit();
    else
        QCoreApplication::quit();
}

void ZelvaneMacApp::lastWindowClosed() {
    if (delegate_->applicationShouldTerminateAfterLastWindowClosed()) QCoreApplication::quit();
}

ZelvaneMacApp::Environment ZelvaneMacApp::standardEnvironment() {
    Environment environment;
    environment.resourcesDir = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("Resources"));
    environment.systemLanguages = QLocale::system().uiLanguages();
    environment.program = QCoreApplication::applicationFilePath();
    environment.launcher = LanguageRelaunch::detachedLauncher();
    environment.isElevated = [] { return ::geteuid() == 0; };
    environment.shouldOfferMoveToApplications = [] {
        return !PortableModeFacts::isRunningFromNonInternalVolume() &&
               !MoveToApplicationsFacts::isAlreadyInApplications(PortableModeFacts::bundlePath());
    };
    return environment;
}

}  // namespace zelvane
