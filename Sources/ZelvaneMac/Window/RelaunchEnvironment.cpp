#include "ZelvaneMac/Window/RelaunchEnvironment.hpp"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcessEnvironment>

#include <unistd.h>

namespace zelvane {

namespace {

QString variable(const QStringList& environment, const QString& name) {
    const QString prefix = name + QLatin1Char('=');
    for (const QString& entry : environment) {
        if (entry.startsWith(prefix)) return entry.mid(prefix.size());
    }
    return {};
}

QStringList withVariable(QStringList environment, const QString& name, const std::optional<QString>& value) {
    const QString prefix = name + QLatin1Char('=');
    environment.removeIf([&](const QString& entry) { return entry.startsWith(prefix); });
    if (value) environment << prefix + *value;
    return environment;
}

}  // namespace

RelaunchEnvironment RelaunchEnvironment::forThisProcess() {
    RelaunchEnvironment env;
    env.executablePath = QCoreApplication::applicationFilePath();
    env.askpassPath = QCoreApplication::applicationDirPath() + QStringLiteral("/Resources/Ostrane");
    env.environment = QProcessEnvironment::systemEnvironment().toStringList();
    env.elevated = ::geteuid() == 0;
    env.realUser = elevatedRealUser();
    env.quit = [] { QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection); };
    env.atQuit = [](std::function<void()> work) {
        QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, QCoreApplication::instance(),
                         std::move(work), Qt::SingleShotConnection);
    };
    return env;
}

QStringList displayAssignments(const QStringList& environment) {
    QStringList out;
    const QString display = variable(environment, QStringLiteral("DISPLAY"));
    if (!display.isEmpty()) out << QStringLiteral("DISPLAY=") + display;
    QString authority = variable(environment, QStringLiteral("XAUTHORITY"));
    // Without the variable X clients read ~/.Xauthority, and under sudo "~" is root's home.
    const QString home = variable(environment, QStringLiteral("HOME"));
    if (authority.isEmpty() && !display.isEmpty() && !home.isEmpty() && QFileInfo::exists(home + QStringLiteral("/.Xauthority")))
        authority = home + QStringLiteral("/.Xauthority");
    if (!authority.isEmpty()) out << QStringLiteral("XAUTHORITY=") + authority;
    QString wayland = variable(environment, QStringLiteral("WAYLAND_DISPLAY"));
    // A bare socket name is looked up in XDG_RUNTIME_DIR, which sudo does not pass on.
    const QString runtime = variable(environment, QStringLiteral("XDG_RUNTIME_DIR"));
    if (!wayland.isEmpty() && !wayland.startsWith(QLatin1Char('/')) && !runtime.isEmpty())
        wayland = runtime + QLatin1Char('/') + wayland;
    if (!wayland.isEmpty()) out << QStringLiteral("WAYLAND_DISPLAY=") + wayland;
    return out;
}

QStringList askpassEnvironment(const RelaunchEnvironment& env, std::optional<QRect> windowFrame) {
    const QStringList environment = withVariable(env.environment, QStringLiteral("SUDO_ASKPASS"), env.askpassPath);
    std::optional<QString> frame;
    if (windowFrame && windowFrame->isValid()) {
        frame = QStringLiteral("%1,%2,%3,%4")
                    .arg(windowFrame->x())
                    .arg(windowFrame->y())
                    .arg(windowFrame->width())
                    .arg(windowFrame->height());
    }
    return withVariable(environment, QString::fromLatin1(kWindowFrameVariable), frame);
}

ProcessRequest validationRequest(const RelaunchEnvironment& env, const QStringList& askpassEnvironment) {
    return {env.sudoProgram, {QStringLiteral("-A"), QStringLiteral("-v")}, askpassEnvironment};
}

ProcessRequest elevatedStartRequest(const RelaunchEnvironment& env, const QStringList& askpassEnvironment) {
    const QStringList arguments =
        QStringList{QStringLiteral("-A")} + displayAssignments(askpassEnvironment) + QStringList{env.executablePath};
    return {env.sudoProgram, arguments, askpassEnvironment};
}

std::optional<ProcessRequest> realUserStartRequest(const RelaunchEnvironment& env) {
    const QString user = variable(env.environment, QStringLiteral("SUDO_USER"));
    if (user.isEmpty()) return std::nullopt;
    const QStringList arguments = QStringList{QStringLiteral("-u"), user} + displayAssignments(env.environment) +
                                  QStringList{env.executablePath};
    return ProcessRequest{env.sudoProgram, arguments, env.environment};
}

ProcessRequest programStartRequest(const RelaunchEnvironment& env) { return {env.executablePath, {}, env.environment}; }

}  // namespace zelvane
