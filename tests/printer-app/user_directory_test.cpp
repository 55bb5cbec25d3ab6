// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The printer application started by a user without spool-directory, when
// another user has made its directory first.
#include <arpa/inet.h>
#include <dirent.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "FreePort.h"
#include "OtherUser.h"

namespace {

bool Listening(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return connected;
}

// Entries of `dir` besides . and ..; -1 when it cannot be listed.
int EntriesIn(const std::string& dir) {
  DIR* listing = opendir(dir.c_str());
  if (listing == nullptr) return -1;
  int count = 0;
  while (const dirent* entry = readdir(listing)) {
    const std::string name = entry->d_name;
    count += name != "." && name != "..";
  }
  closedir(listing);
  return count;
}

void RemoveTree(const std::string& path) { std::system(("rm -rf '" + path + "'").c_str()); }

TEST(LocalUser, AppOfAUserNeverTakesADirectoryAnotherUserMade) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root, to run the app as nobody";
  uid_t nobody = 0;
  gid_t nogroup = 0;
  ASSERT_TRUE(qv46test::NobodyIds(&nobody, &nogroup));
  const std::string uid = std::to_string(nobody);
  struct Case {
    const char* name;
    bool runtimeDir;  // the user has $XDG_RUNTIME_DIR
    int exitStatus;   // after SIGTERM once it serves
  };
  const Case cases[] = {
      {"the name in /tmp the app once used", false, 0},
      {"a link to it in the user's runtime directory", true, 1},
  };
  // Made by another user (root here), open to all, as an attacker leaves it.
  const std::string planted = "/tmp/qv46-printer-app" + uid + ".d";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RemoveTree(planted);
    ASSERT_EQ(0, mkdir(planted.c_str(), 0777));
    ASSERT_EQ(0, chmod(planted.c_str(), 0777));
    std::string runtime = "/tmp/qv46apptest-run-XXXXXX";
    ASSERT_NE(mkdtemp(&runtime[0]), nullptr);
    ASSERT_EQ(0, chown(runtime.c_str(), nobody, nogroup));
    ASSERT_EQ(0, symlink(planted.c_str(), (runtime + "/qv46-printer-app").c_str()));
    if (c.runtimeDir)
      setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    else
      unsetenv("XDG_RUNTIME_DIR");

    const int port = qv46test::FreePort();
    ASSERT_GT(port, 0);
    const pid_t app = qv46test::StartAsNobody(
        {QV46_PRINTER_APP, "server", "-o", "server-port=" + std::to_string(port)});
    unsetenv("XDG_RUNTIME_DIR");
    ASSERT_GT(app, 0);
    int status = 0;
    bool ended = false;
    for (int i = 0; i < 3000 && !ended && !Listening(port); ++i) {
      ended = waitpid(app, &status, WNOHANG) == app;
      if (!ended) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!ended) {
      kill(app, SIGTERM);
      ASSERT_EQ(app, waitpid(app, &status, 0));
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == c.exitStatus) << status;
    EXPECT_EQ(0, EntriesIn(planted)) << "the app's files went into the planted directory";

    RemoveTree(runtime);
    RemoveTree(planted);
    // What a run without a runtime directory leaves: its own directory and
    // PAPPL's command socket.
    std::system(("rm -rf /tmp/qv46-printer-app" + uid + ".??????").c_str());
    unlink(("/tmp/qv46-printer-app" + uid + ".sock").c_str());
  }
}

}  // namespace
