#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace zelvane {

// A program that records each start (arguments one per line, the environment, a copy of the file
// named by RECORD_FILE) in its log folder, then sleeps and exits as told for that start:
// sleep.N and status.N, N counting starts from 1.
class StandIn {
public:
    explicit StandIn(const QString& folder, const QString& name);

    const QString& path() const { return path_; }
    void onStart(int n, int status, double sleepSeconds = 0);
    int starts() const;
    QStringList arguments(int n) const;
    QString variable(int n, const QString& name) const;
    QByteArray recordedFile(int n) const;

private:
    void write(const QString& name, const QByteArray& bytes);
    QByteArray read(const QString& name) const;

    QString log_;
    QString path_;
};

}  // namespace zelvane
