#pragma once

#include <QByteArray>

namespace ostrane {

// Writes every byte to the descriptor, resuming after signals and short writes. False when any byte
// could not be written (a closed pipe, a full disk): sudo must then not take the run for a success.
// The caller ignores SIGPIPE, so a reader that went away is an EPIPE here, not a silent death.
bool writeAll(int fd, const QByteArray& bytes);

}  // namespace ostrane
