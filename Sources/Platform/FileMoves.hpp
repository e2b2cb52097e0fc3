#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "Platform/FileDescriptor.hpp"

namespace zelvane {

// Moves `from` to `to` (both relative to their folder descriptors, or absolute) without ever
// replacing what is at `to`: EEXIST when something is there. File systems that do not know the
// no-replace flag get an existence check followed by a plain rename, which leaves a window only
// against a racing writer, never against what was there before. Returns 0 or an errno.
int renameNoReplace(int fromDir, const std::string& from, int toDir, const std::string& to);

// Starts `program` (an absolute path) with `arguments` in `workingDirectory`, detached: the
// program outlives us, is never waited for, and leaves no zombie. Arguments and the folder are
// passed as exact bytes; no shell is involved. Returns 0 or the errno of the step that failed
// (changing into the folder, or starting the program).
int startDetachedProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& workingDirectory);

// A program started by startWatchedProcess: `ended` becomes readable once it has ended (it stays
// closed when the program cannot be watched).
struct WatchedProcess {
    pid_t pid = -1;
    FileDescriptor ended;
};

// Starts `program` (an absolute path) with `arguments` as our own child, so that its end can be
// watched through `started.ended`; like a detached one it gets none of our descriptors, runs in a
// session of its own and outlives us. Returns 0 or the errno of starting it. Once it has ended,
// reapWatchedProcess must be called.
int startWatchedProcess(const std::string& program, const std::vector<std::string>& arguments,
                        WatchedProcess& started);
// The exit code of a watched program that has ended, which it reaps; -1 when a signal ended it or
// it has not ended.
int reapWatchedProcess(const WatchedProcess& process);

// The folder part and the last component of an absolute path ("/a/b" gives "/a" and "b"; "/b"
// gives "/" and "b"). A trailing "/" is ignored.
std::string parentPath(const std::string& path);
std::string lastComponent(const std::string& path);
std::string joinPath(const std::string& folder, const std::string& name);

}  // namespace zelvane
