// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Another local user, for the tests of what such a user can do to our files
// in /tmp: the test runs as root and acts as nobody in a child process.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace qv46test {

// The user and group ids of nobody; false when there is no such user.
bool NobodyIds(uid_t* uid, gid_t* gid);

// Runs `action` in a child process as the user nobody (its group, no
// others). True when the child could become nobody and `action` returned true.
bool AsNobody(const std::function<bool()>& action);

// Starts `argv` (program path first) as nobody; the process id, or -1.
// The caller ends and reaps it.
pid_t StartAsNobody(const std::vector<std::string>& argv);

// Creates `path` exclusively with `text` and `mode`; false when it exists or
// cannot be written.
bool WriteNewFile(const std::string& path, const std::string& text, mode_t mode);

}  // namespace qv46test
