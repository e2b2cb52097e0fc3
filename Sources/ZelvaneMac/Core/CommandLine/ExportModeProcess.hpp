#pragma once

namespace zelvane {

// Prepares the process for the unattended export mode; called before the Qt application object
// is made. The export mode opens no window and must write its outputs whatever the session looks
// like: it always uses the offscreen platform (a stale DISPLAY or an unreachable compositor can
// not abort it), runs Qt's own event dispatcher rather than GLib's (which dies when it cannot
// make its wake-up descriptors under a low limit), and ignores SIGPIPE, so an output written to a
// pipe that closed early fails with EPIPE and is reported while the other outputs are written.
// Running out of memory where nothing catches it ends the process with exit code 2 and its one
// line on standard error, not with an abort.
void prepareExportModeProcess();

}  // namespace zelvane
