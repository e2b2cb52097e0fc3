// The password prompt that sudo runs (as the user who asked) while ZelvaneMac restarts itself with
// administrator rights. The askpass protocol: the prompt is the first argument; on OK the password
// goes to standard output with no line end and the exit status is 0; Cancel, closing the dialog or
// any failure to hand the password on gives status 1. Standard error stays empty, and the password
// goes nowhere but standard output: not into a log, an argument or the environment.

#include "Ostrane/AskpassStrings.hpp"
#include "Ostrane/DialogPlacement.hpp"
#include "Ostrane/MainProgramSettings.hpp"
#include "Ostrane/PasswordDialog.hpp"
#include "Ostrane/PasswordOutput.hpp"
#include "Ostrane/StringTableFile.hpp"

#include <QApplication>
#include <QGuiApplication>
#include <QLocale>
#include <QScreen>
#include <QTimer>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kAccepted = 0;
constexpr int kRefused = 1;

// A standard descriptor that sudo left closed would be handed to the next file the program opens
// (the display connection, a string table), and the password would be written into that. Each
// closed one is filled with /dev/null first; whether standard output was really there is returned.
bool occupyStandardDescriptors() {
    const bool outputOpen = ::fcntl(STDOUT_FILENO, F_GETFD) != -1;
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1) continue;
        // The lowest free descriptor is taken, and every lower one is open by now: it lands on fd.
        const int null = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (null != fd) ::_exit(kRefused);
    }
    return outputOpen;
}

// Nothing may reach standard error, not even from the platform's libraries, which write there
// directly: it is pointed at /dev/null before anything else runs.
void silenceStandardError() {
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null < 0 || ::dup2(null, STDERR_FILENO) < 0) ::_exit(kRefused);
    ::close(null);
}

// Qt's own messages are dropped; a fatal one (no display to show the dialog on) is a refusal.
void dropMessage(QtMsgType type, const QMessageLogContext&, const QString&) {
    if (type == QtFatalMsg) ::_exit(kRefused);
}

QList<ostrane::ScreenArea> screenAreas() {
    QList<ostrane::ScreenArea> out;
    for (QScreen* screen : QGuiApplication::screens()) out.push_back({screen->geometry(), screen->availableGeometry()});
    return out;
}

void placeOverMainWindow(QWidget& dialog, QPoint mainWindowCenter, bool useFrame) {
    const QSize size = useFrame ? dialog.frameGeometry().size() : dialog.sizeHint();
    if (const auto origin = ostrane::dialogOrigin(mainWindowCenter, screenAreas(), size)) dialog.move(*origin);
}

int handOn(const QString& password, bool outputOpen) {
    QByteArray bytes = password.toUtf8();
    // An empty password writes nothing, so a closed standard output shows only in `outputOpen`.
    const bool delivered = outputOpen && ostrane::writeAll(STDOUT_FILENO, bytes);
    bytes.fill('\0');
    return delivered ? kAccepted : kRefused;
}

}  // namespace

int main(int argc, char** argv) {
    const bool outputOpen = occupyStandardDescriptors();
    silenceStandardError();
    std::signal(SIGPIPE, SIG_IGN);
    qInstallMessageHandler(dropMessage);

    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const QString prompt = ostrane::askpassPrompt(arguments);

    // The prompt is sudo's text, not options for Qt: the application sees only the program's name.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication app(qtArgc, qtArgv);
    app.setQuitOnLastWindowClosed(false);

    const QStringList languages = ostrane::preferredLanguages(
        ostrane::mainProgramLanguages(ostrane::mainProgramSettingsPath()), QLocale::system().uiLanguages());
    // The main program's language folders lie beside this program in the bundle's resources.
    const ostrane::AskpassStrings strings =
        ostrane::localizedAskpassStrings(QCoreApplication::applicationDirPath(), languages, ostrane::readStringTable);
    // The dialog reads in the direction of the language it speaks (Arabic and Hebrew right to left).
    if (strings.title.isRightToLeft()) app.setLayoutDirection(Qt::RightToLeft);

    ostrane::PasswordDialog dialog(strings, prompt);
    const std::optional<QPoint> center =
        ostrane::decidingWindowCenter(ostrane::parseWindowFrame(qgetenv(ostrane::kWindowFrameVariable)));
    if (center) {
        dialog.adjustSize();
        placeOverMainWindow(dialog, *center, false);
        // Once the dialog is up its frame is known; centre that, as a window manager draws it.
        QTimer::singleShot(0, &dialog, [&dialog, c = *center] { placeOverMainWindow(dialog, c, true); });
    }
    QTimer::singleShot(0, &dialog, [&dialog] {
        dialog.raise();
        dialog.activateWindow();
    });

    // The application's own loop rather than the dialog's: the answer arrives as `finished`,
    // whenever the dialog ends, even when that happens while it is still being shown.
    QObject::connect(&dialog, &QDialog::finished, &app, [](int result) { QCoreApplication::exit(result); });
    dialog.open();
    if (app.exec() != QDialog::Accepted) return kRefused;
    const int status = handOn(dialog.password(), outputOpen);
    dialog.forgetPassword();
    return status;
}
