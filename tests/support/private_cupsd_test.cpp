// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "PrivateCupsd.h"

using qv46test::PrivateCupsd;

namespace {

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

TEST(PrivateCupsd, RunsAnswersAndCleansUp) {
  std::string root;
  const int firstJob = 4000 + getpid() % 1000;
  {
    PrivateCupsd::Options opt;
    opt.firstJobId = firstJob;
    PrivateCupsd cupsd(opt);
    std::string error;
    ASSERT_TRUE(cupsd.Start(&error)) << error;
    root = cupsd.Root();
    const std::string socket = cupsd.SocketPath();
    EXPECT_LT(socket.size(), 108u);

    std::string out;
    EXPECT_EQ(cupsd.Run({"lpstat", "-r"}, &out), 0);
    EXPECT_EQ(out, "scheduler is running\n");

    // The PPD in the private model folder is what lpadmin -m finds.
    EXPECT_EQ(cupsd.Run({"lpadmin", "-p", "probe", "-E", "-v", "file:///dev/null", "-m",
                         "VALDREN_QV-46.ppd"},
                        &out),
              0)
        << out << cupsd.ErrorLog();
    EXPECT_EQ(cupsd.Run({"lpstat", "-v", "probe"}, &out), 0) << out;
    EXPECT_NE(out.find("/dev/null"), std::string::npos) << out;
    // Job ids start where asked, away from other test programs' ids.
    EXPECT_EQ(cupsd.Run({"sh", "-c", "echo x | lp -d probe -o raw"}, &out), 0) << out;
    EXPECT_EQ(out.rfind("request id is probe-" + std::to_string(firstJob) + " ", 0), 0u) << out;
    std::ifstream ppd(root + "/etc/ppd/probe.ppd");
    std::string first;
    std::getline(ppd, first);
    EXPECT_EQ(first, "*PPD-Adobe: \"4.3\"");

    EXPECT_TRUE(cupsd.Stop());
    cupsd.Run({"lpstat", "-r"}, &out);
    EXPECT_EQ(out, "scheduler is not running\n");
  }
  EXPECT_FALSE(Exists(root)) << root;
  // The links into the system folders were removed, not followed.
  EXPECT_TRUE(Exists("/usr/share/cups/mime"));
  EXPECT_TRUE(Exists("/usr/lib/cups/filter"));
}

TEST(PrivateCupsd, TwoSchedulersDoNotShareAnything) {
  PrivateCupsd a, b;
  std::string error;
  ASSERT_TRUE(a.Start(&error)) << error;
  ASSERT_TRUE(b.Start(&error)) << error;
  EXPECT_NE(a.Root(), b.Root());
  std::string out;
  ASSERT_EQ(a.Run({"lpadmin", "-p", "only-in-a", "-v", "file:///dev/null"}, &out), 0) << out;
  EXPECT_EQ(a.Run({"lpstat", "-v", "only-in-a"}, &out), 0) << out;
  EXPECT_NE(b.Run({"lpstat", "-v", "only-in-a"}, &out), 0) << out;
}

TEST(PrivateCupsd, ExtraProgramsAreInstalledRootOwnedWithSafeModes) {
  const std::string script = "/tmp/qv46-support-backend-" + std::to_string(getpid());
  {
    std::ofstream out(script);
    out << "#!/bin/sh\nexit 0\n";
  }
  chmod(script.c_str(), 0777);
  const std::string name = script.substr(script.rfind('/') + 1);
  for (const std::string preload : {"", "libexample-preload.so"}) {
    PrivateCupsd::Options opt;
    opt.extraBackends = {script};
    opt.extraFilters = {script};
    opt.backendPreload = preload;
    PrivateCupsd cupsd(opt);
    std::string error;
    ASSERT_TRUE(cupsd.Start(&error)) << error;
    struct {
      std::string path;
      mode_t mode;
    } cases[] = {{cupsd.Root() + "/bin/backend/" + name, 0700},
                 {cupsd.Root() + "/bin/filter/" + name, 0755}};
    for (const auto& c : cases) {
      struct stat st;
      ASSERT_EQ(stat(c.path.c_str(), &st), 0) << c.path;
      EXPECT_EQ(st.st_mode & 07777, c.mode) << c.path;
      EXPECT_EQ(st.st_uid, 0u) << c.path;
    }
    // Second line: the script itself, or the wrapper's exec line.
    std::ifstream backend(cases[0].path);
    std::string line;
    std::getline(backend, line);
    std::getline(backend, line);
    if (preload.empty())
      EXPECT_EQ(line, "exit 0");
    else
      EXPECT_EQ(line.rfind("LD_PRELOAD='libexample-preload.so' exec '" + cupsd.Root(), 0), 0u)
          << line;
  }
  unlink(script.c_str());
}

TEST(PrivateCupsd, RefusesMalformedEnvironmentEntry) {
  PrivateCupsd::Options opt;
  opt.env = {"NO_EQUALS_SIGN"};
  PrivateCupsd cupsd(opt);
  std::string error;
  EXPECT_FALSE(cupsd.Start(&error));
  EXPECT_NE(error.find("NO_EQUALS_SIGN"), std::string::npos) << error;
}

}  // namespace
