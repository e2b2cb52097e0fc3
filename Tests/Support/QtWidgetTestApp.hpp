#pragma once

#include "QtTestApp.hpp"

#include <QApplication>
#include <QDir>
#include <QTest>
#include <QWidget>

// One QApplication for a whole widget test program, on the offscreen platform. Widget tests use
// this instead of qtTestApp(): a program has one application object, and widgets need this kind.
QApplication& qtWidgetApp();

// Runs the event loop until `done` holds or `timeoutMs` passes; returns whether it held.
bool pumpWidgetsUntil(const std::function<bool()>& done, int timeoutMs = 30000);

// Where a test saves the picture of a view it grabbed, to be opened and looked at:
// <temp>/zelvane-grabs/<name>, the folder made on first use.
QString grabPath(const char* name);

// Shows `widget` as a window of the given size; whether it was exposed in time.
bool showExposed(QWidget& widget, int width, int height);
