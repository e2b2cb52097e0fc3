#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

namespace zelvane {

struct UserAccount {
    std::string name;
    uid_t uid = 0;
    gid_t gid = 0;
    std::string home;
};

// The account's entry in the user database, if the system knows the name.
std::optional<UserAccount> lookUpUser(const std::string& name);

// The real user of an elevated run: the effective user id is 0 and SUDO_USER names an account
// the system knows. None otherwise.
std::optional<UserAccount> elevatedRealUser();

// File access on behalf of another account. A root process that reads or writes in a user's
// home must neither leave files the user cannot replace nor follow links the user planted at
// files the user may not see: both run in a child process that has taken the account's ids, so
// the kernel applies the account's own permissions. When this process already runs as that
// account, the work is done in place.

// The whole file (at most `maxBytes`), read as `account`; none when it cannot be read (errno set).
std::optional<std::string> readFileAsUser(const UserAccount& account, const std::string& path, size_t maxBytes);

// Replaces `path` with `bytes` as `account`: missing parent folders are created (mode 0700), the
// bytes go to a new file beside the target that is renamed over it only once written and synced.
// Returns 0 or the errno of the step that failed.
int replaceFileAsUser(const UserAccount& account, const std::string& path, std::string_view bytes);

}  // namespace zelvane
