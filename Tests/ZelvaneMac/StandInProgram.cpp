#include "StandInProgram.hpp"

#include <QDir>
#include <QFile>

namespace zelvane {

StandIn::StandIn(const QString& folder, const QString& name) : log_(folder + "/" + name + "-log") {
    QDir().mkpath(log_);
    path_ = folder + "/" + name;
    QFile script(path_);
    script.open(QIODevice::WriteOnly);
    script.write("#!/bin/sh\n"
                 "log='" + log_.toUtf8() + "'\n"
                 "n=$(( $(cat \"$log/count\" 2>/dev/null || echo 0) + 1 ))\n"
                 "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$log/args.$n.tmp\"\n"
                 "env > \"$log/env.$n\"\n"
                 "[ -n \"$RECORD_FILE\" ] && cp \"$RECORD_FILE\" \"$log/file.$n\" 2>/dev/null\n"
                 "mv \"$log/args.$n.tmp\" \"$log/args.$n\"\n"
                 "echo \"$n\" > \"$log/count\"\n"
                 "[ -f \"$log/sleep.$n\" ] && sleep \"$(cat \"$log/sleep.$n\")\"\n"
                 "exit \"$(cat \"$log/status.$n\" 2>/dev/null || echo 0)\"\n");
    script.close();
    QFile::setPermissions(path_, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

void StandIn::onStart(int n, int status, double sleepSeconds) {
    write("status." + QString::number(n), QByteArray::number(status));
    if (sleepSeconds > 0) write("sleep." + QString::number(n), QByteArray::number(sleepSeconds));
}

int StandIn::starts() const { return read("count").trimmed().toInt(); }
QStringList StandIn::arguments(int n) const {
    QStringList lines = QString::fromUtf8(read("args." + QString::number(n))).split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    return lines;
}

QString StandIn::variable(int n, const QString& name) const {
    for (const QString& line : QString::fromUtf8(read("env." + QString::number(n))).split('\n'))
        if (line.startsWith(name + "=")) return line.mid(name.size() + 1);
    return "<unset>";
}

QByteArray StandIn::recordedFile(int n) const { return read("file." + QString::number(n)); }

void StandIn::write(const QString& name, const QByteArray& bytes) {
    QFile f(log_ + "/" + name);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
}

QByteArray StandIn::read(const QString& name) const {
    QFile f(log_ + "/" + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace zelvane
