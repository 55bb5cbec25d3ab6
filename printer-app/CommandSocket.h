// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// PAPPL's command socket lets whoever connects administer the server, and
// libcups binds it writable by every user. It is therefore put in a folder
// only this user may enter, before PAPPL's main loop binds it (server) or
// looks for it (the command-line subcommands): root's in
// /run/qv46-printer-app (systemd's RuntimeDirectory) or $SNAP_COMMON, where
// PAPPL 1.3 puts a root server's socket; another user's in
// $XDG_RUNTIME_DIR, or else /tmp/qv46-printer-app<uid>.run, through
// $TMPDIR, where PAPPL puts a user's socket.
#pragma once

#include <string>

// Makes or checks the folder and points PAPPL at it. False, with a message
// on standard error, when the folder is not a directory this user owns.
bool UsePrivateSocketFolder(const std::string& name);
