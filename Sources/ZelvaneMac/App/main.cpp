#include <QApplication>
#include <QGuiApplication>
#include <QThreadPool>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Platform/Processors.hpp"
#include "ScanEngine/Scan/FdBudget.hpp"
#include "ZelvaneMac/App/LanguageRelaunch.hpp"
#include "ZelvaneMac/App/TerminationSignals.hpp"
#include "ZelvaneMac/App/ZelvaneMacApp.hpp"
#include "ZelvaneMac/Core/CommandLine/CommandLine.hpp"
#include "ZelvaneMac/Core/CommandLine/CLIAutomationRunner.hpp"
#include "ZelvaneMac/Core/CommandLine/ExportModeProcess.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Services/AdminOverrides.hpp"
#include "ZelvaneMac/Services/PortableMode.hpp"
#include "ZelvaneMac/Services/UpdateChecker.hpp"
#include "ZelvaneMac/Services/PreferenceSync.hpp"
#include "ZelvaneMac/Widgets/Common/AppIcon.hpp"

namespace {

// In export mode standard error carries only the program's own failure lines, one per failure,
// which scripts read; the platform's chatter (a missing runtime folder, font notes) stays out.
void keepOnlySevereMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtCriticalMsg && type != QtFatalMsg) return;
    const QByteArray text = message.toLocal8Bit() + '\n';
    std::fwrite(text.constData(), 1, size_t(text.size()), stderr);
}

bool hasDisplay() {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

int runExportMode(int argc, char** argv, zelvane::CommandLine commandLine) {
    // Before any scan can run: folders waiting to be read hold descriptors.
    zelvane::raiseFileDescriptorLimit();
    zelvane::prepareExportModeProcess();
    qInstallMessageHandler(keepOnlySevereMessages);
    QGuiApplication app(argc, argv);
    const zelvane::Preferences preferences;

    int exitCode = 0;
    bool ended = false;
    zelvane::CLIAutomationRunner runner(preferences, std::move(commandLine), [&](int code) {
        exitCode = code;
        ended = true;
        QCoreApplication::exit(code);
    });
    runner.runIfNeeded();
    if (!ended) app.exec();
    return exitCode;
}

int runGraphicalMode(int argc, char** argv, zelvane::CommandLine commandLine) {
    // Without a display the platform would abort; say what to do instead.
    if (!hasDisplay() && !std::getenv("QT_QPA_PLATFORM")) {
        std::fputs("ZelvaneMac: no display to open a window on. To scan and export without one, give at least one of "
                   "--export=PATH, --exportfiletypes=PATH or --treemapimagefile=PATH with the folders to scan.\n",
                   stderr);
        return 2;
    }
    zelvane::waitForRelaunchingProcess();
    const bool moveToApplicationsOffered = zelvane::takeMoveToApplicationsOfferedVariable();
    // Before the platform starts its threads (the start-up step does it again, at no cost).
    zelvane::raiseFileDescriptorLimit();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ZelvaneMac"));
    QApplication::setDesktopFileName(QStringLiteral("ZelvaneMac"));
    QApplication::setWindowIcon(zelvane::zelvaneIcon());

    zelvane::Preferences preferences;
    zelvane::PortableMode portableMode;
    zelvane::ZelvaneMacApp::Environment environment = zelvane::ZelvaneMacApp::standardEnvironment();
    environment.moveToApplicationsOffered = moveToApplicationsOffered;
    environment.startup.raiseFileDescriptorLimit = [] { zelvane::raiseFileDescriptorLimit(); };
    environment.startup.activatePortableModeIfPrepared = [&] { portableMode.activateIfPrepared(); };
    environment.startup.syncPreferencesFromPortableDriveIfActive = [&](zelvane::Preferences& p) {
        portableMode.syncPreferencesFromPortableDriveIfActive(p);
    };
    environment.startup.syncPreferencesFromRealUserIfElevated = [](zelvane::Preferences& p) {
        zelvane::syncPreferencesFromRealUserIfElevated(p);
    };
    environment.startup.applyAdminOverridesIfPresent = [&](zelvane::Preferences& p) {
        zelvane::AdminOverrides::applyAdminOverridesIfPresent(p, portableMode.isActive());
    };
    environment.termination.syncPreferencesBackToRealUserIfElevated = [](zelvane::Preferences& p) {
        zelvane::syncPreferencesBackToRealUserIfElevated(p);
    };
    environment.termination.syncPreferencesBackToPortableDriveIfActive = [&](zelvane::Preferences& p) {
        portableMode.syncPreferencesBackToPortableDriveIfActive(p);
    };

    zelvane::UpdateChecker updateChecker(preferences);
    environment.services = {&updateChecker, &portableMode};
    zelvane::ZelvaneMacApp application(preferences, std::move(commandLine), std::move(environment));
    const zelvane::TerminationSignals terminationSignals([] { QCoreApplication::quit(); });
    application.openWindow();
    application.finishLaunching();
    const int code = app.exec();
    // The settings reach the disk before the process ends, whatever ended it.
    preferences.synchronize();
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    // Background jobs of every kind share this pool: as many threads as processors this process
    // may use, which container limits can make fewer than the machine has.
    QThreadPool::globalInstance()->setMaxThreadCount(zelvane::activeProcessorCount());
    // Read once, before any application object exists, and handed down: both modes take the same
    // folders from the same arguments.
    zelvane::CommandLine commandLine = zelvane::CommandLine::read(std::vector<std::string>(argv, argv + argc));
    if (commandLine.options.isExportMode()) return runExportMode(argc, argv, std::move(commandLine));
    return runGraphicalMode(argc, argv, std::move(commandLine));
}
