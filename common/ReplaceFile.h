// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Publishing a small file in the world-writable /tmp without ever writing
// through whatever is at its name.
#pragma once

#include <functional>
#include <string>

// Writes `content` to a new file created exclusively beside `path`, gives it
// `mode` whatever the umask, shows it to `prepare` under its temporary name
// (to label it), and renames it over `path`. A reader finds the old file or
// the new one, never an empty or half-written one, and a link or FIFO
// planted at `path` is replaced, not written through. Returns 0 with the new
// file still open in *fd, or an errno value with nothing left behind.
int ReplaceFile(const std::string& path, const std::string& content, unsigned mode,
                const std::function<void(const std::string& temporary)>& prepare, int* fd);
