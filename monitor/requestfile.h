// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#pragma once

#include <QString>

// The files through which the monitor asks the daemon for readings. They live
// at fixed names in the world-writable /tmp, so they are created without
// following links and their paths are bounded.

enum class RequestKind {
    Watch, // "/tmp/QV-46_<serial>_UTIL": poll this printer every second
    TotalCount, // "/tmp/QV-46_<serial>_TC_UTIL": read the total count once
};

// The request file's path, or an empty string when the serial cannot name a
// file directly in /tmp within the 128-byte path buffer.
QString requestFilePath(RequestKind kind, const QString &serial);

// Creates the file empty (or truncates it) with mode 0666. Never follows a
// symbolic link. Returns false when the file could not be created.
bool createRequestFile(const QString &path);

// Deletes the file if it exists (a link is removed, not followed).
void removeRequestFile(const QString &path);
