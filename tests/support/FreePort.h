// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// A TCP port on the loopback interface that nothing listens on, for a
// server a test starts.
#pragma once

namespace qv46test {

// A port the kernel just handed out and took back; -1 when it gave none.
// Another program may take it before the test's server binds it, as with
// any port chosen ahead of time: the kernel hands out ports in turn, so
// that is rare, and a server that cannot bind fails its start visibly.
int FreePort();

}  // namespace qv46test
