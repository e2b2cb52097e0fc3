#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ZelvaneMac/App/AppDelegate.hpp"
#include "ZelvaneMac/App/LanguageRelaunch.hpp"
#include "ZelvaneMac/App/StartupSteps.hpp"
#include "ZelvaneMac/Core/CommandLine/CommandLine.hpp"
#include "ZelvaneMac/Window/AppServices.hpp"

class QTranslator;

namespace zelvane {

class MainWindow;
class Preferences;

// The graphical application: runs the start-up in its fixed order when made, opens main windows
// (each with its own state over the one preference store), restarts the program once when the
// interface language changes, and quits when the last window closes. One per process, on the main
// thread, made after the QApplication.
class ZelvaneMacApp final : public QObject {
    Q_OBJECT
public:
    // What the application needs of the world; the program passes the real one, tests their own.
    struct Environment {
        StartupSteps startup;
        TerminationSteps termination;
        // The bundle's resources folder, where the "<code>.lproj" tables are.
        QString resourcesDir;
        // The system's languages, best first ("de-DE", "de").
        QStringList systemLanguages;
        // The program to start again after a language change, and how.
        QString program;
        LanguageRelaunch::Launcher launcher;
        std::function<void()> quit;
        std::function<bool()> isElevated;
        // Whether this copy is one to offer moving into the Applications folder (not there yet,
        // not on a removable drive); empty: never offered. Asked once a window is ready to offer.
        std::function<bool()> shouldOfferMoveToApplications;
        // The copy this one replaced for a language change already made that offer.
        bool moveToApplicationsOffered = false;
        // The update checker and portable mode every window observes (none in tests).
        AppServices services;
    };

    // Start-up, in this order: the descriptor limit, portable mode, the portable settings, the
    // real user's settings, the administrator's overrides, the language override; then the
    // strings table of the resulting language is installed.
    ZelvaneMacApp(Preferences& preferences, CommandLine commandLine, Environment environment,
                  QObject* parent = nullptr);
    ~ZelvaneMacApp() override;

    // Call once the event loop is about to run: the launch steps of the delegate.
    void finishLaunching();

    // A new main window, shown.
    MainWindow* openWindow();
    // The main windows that are open, oldest first.
    std::vector<MainWindow*> windows() const;
    // The File menu's "Quit": closes every main window as the user would one by one (each writes
    // its frame and stops its work), then ends the program, which copies the settings back. A
    // window that refuses to close keeps the program running.
    void quit();

    Preferences& preferences() const { return preferences_; }
    AppDelegate& delegate() const { return *delegate_; }
    LanguageRelaunch& languageRelaunch() const { return *relaunch_; }
    // Problems met reading the strings table, "file:line: message".
    const QStringList& stringsProblems() const { return stringsProblems_; }

    static Environment standardEnvironment();

private:
    void installStringsTable();
    void followInterfaceLanguage(const QString& language);
    void lastWindowClosed();
    bool takeMoveToApplicationsOffer();

    Preferences& preferences_;
    CommandLine commandLine_;
    Environment environment_;
    AppDelegate* delegate_ = nullptr;
    LanguageRelaunch* relaunch_ = nullptr;
    std::vector<QPointer<MainWindow>> windows_;
    QStringList stringsProblems_;
    QTranslator* qtTranslator_ = nullptr;
    // Made at most once per run, whichever window makes it.
    bool moveToApplicationsOffered_ = false;
};

}  // namespace zelvane
