#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QString>
#include <QStringList>
#include <functional>
#include <gtest/gtest.h>
#include <ostream>

// One application object for a whole test program, on the offscreen platform so that text and
// images work without a display.
QCoreApplication& qtTestApp();

// Runs the event loop of the existing application until `done` holds or `timeoutMs` passes;
// returns whether it held.
bool processEventsUntil(const std::function<bool()>& done, int timeoutMs);
bool pumpUntil(const std::function<bool()>& done, int timeoutMs = 30000);

// Readable failure messages for Qt strings.
void PrintTo(const QString& s, std::ostream* os);
void PrintTo(const QStringList& l, std::ostream* os);
