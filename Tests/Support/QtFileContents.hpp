#pragma once

// Real files for tests, named and held the way Qt holds them: the same writers and readers as
// FileContents.hpp, the path's bytes being the ones the file system takes.

#include <QByteArray>
#include <QString>

#include "FileContents.hpp"

namespace zelvane::testsupport {

// Replaces `path` with exactly these bytes (folders on the way made); throws when it cannot.
void writeFile(const QString& path, const QByteArray& bytes);
// The whole content of `path`; empty when it cannot be read.
QByteArray readFile(const QString& path);

}  // namespace zelvane::testsupport
