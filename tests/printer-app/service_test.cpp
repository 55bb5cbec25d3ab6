// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// qv46-printer-app as a service: who may change it, through the web pages
// and IPP, and how it stops on SIGTERM with its queue kept.
#include <gtest/gtest.h>
#include <signal.h>

#include <regex>
#include <string>
#include <vector>

#include "AppUnderTest.h"
#include "PrintSystem.h"
#include "TestImages.h"

using apptest::AppUnderTest;

namespace {

class Service : public apptest::AppTest {
 protected:
  std::string Photo() {
    const std::string path = app_.Work() + "/photo.png";
    EXPECT_TRUE(e2e::WritePng(path, e2e::SamplePhoto(900, 600)));
    return path;
  }
};

struct LoginCase {
  const char* name;
  const char* user;  // "" for none
  const char* password;
  int http;               // the printer's settings page
  const char* ippStatus;  // Set-Printer-Attributes
};

class AdminLogin : public Service, public testing::WithParamInterface<LoginCase> {};

TEST_P(AdminLogin, ChangesNeedAMemberOfTheAdminGroup) {
  const LoginCase& c = GetParam();
  const std::string login = *c.user ? std::string(c.user) + ":" + c.password : "";
  std::vector<std::string> curl = {"curl", "-s", "-o", "/dev/null", "-w", "%{http_code}"};
  if (!login.empty()) curl.insert(curl.end(), {"-u", login});
  curl.push_back(app_.WebUrl("/VALDREN-QV-46/config"));
  std::string code;
  apptest::Run(curl, &code);
  EXPECT_EQ(std::to_string(c.http), code);

  const std::string test = app_.Work() + "/set.test";
  e2e::WriteFile(test,
                 "{\nOPERATION Set-Printer-Attributes\nGROUP operation-attributes-tag\n"
                 "ATTR charset attributes-charset utf-8\n"
                 "ATTR language attributes-natural-language en\n"
                 "ATTR uri printer-uri $uri\nGROUP printer-attributes-tag\n"
                 "ATTR keyword overcoat-finish-default matte\n}\n");
  const std::string uri = app_.PrinterUri();
  std::string out;
  apptest::Run({"ipptool", "-tv",
                uri.substr(0, 6) + (login.empty() ? "" : login + "@") + uri.substr(6), test},
               &out);
  std::smatch status;
  ASSERT_TRUE(std::regex_search(out, status, std::regex("status-code = ([a-z-]+)"))) << out;
  EXPECT_EQ(c.ippStatus, status[1].str());
  const bool changed = std::string(c.ippStatus) == "successful-ok";
  EXPECT_EQ(changed, app_.PrinterAttribute("overcoat-finish-default") == "matte");

  // Printing needs no login, whoever changed the settings.
  const int job = app_.Print(Photo(), "image/png");
  EXPECT_EQ("completed", app_.WaitForJob(job).substr(0, 9));
}

INSTANTIATE_TEST_SUITE_P(
    Logins, AdminLogin,
    testing::Values(LoginCase{"Nobody", "", "", 401, "client-error-not-authenticated"},
                    LoginCase{"Admin", AppUnderTest::kAdmin, AppUnderTest::kPassword, 200,
                              "successful-ok"},
                    LoginCase{"WrongPassword", AppUnderTest::kAdmin, "guess", 401,
                              "client-error-not-authenticated"},
                    LoginCase{"NotInTheGroup", AppUnderTest::kOutsider, AppUnderTest::kPassword,
                              401, "client-error-not-authenticated"}),
    [](const testing::TestParamInfo<LoginCase>& info) { return info.param.name; });

struct StopCase {
  const char* name;
  bool unplugged;  // the printer is away, so the jobs wait
  int jobs;        // submitted before SIGTERM
};

class Stop : public Service, public testing::WithParamInterface<StopCase> {};

TEST_P(Stop, SigtermEndsTheAppAndKeepsTheQueue) {
  const StopCase& c = GetParam();
  if (c.unplugged) {
    ASSERT_TRUE(app_.Sim("unplug"));
    ASSERT_TRUE(e2e::Eventually(
        [&] {
          return app_.PrinterAttribute("printer-state-reasons") == "offline,paused,hold-new-jobs";
        },
        15000));
  }
  const std::string photo = Photo();
  const size_t before = app_.Captured();
  std::vector<int> jobs;
  for (int i = 0; i < c.jobs; ++i) jobs.push_back(app_.Print(photo, "image/png"));
  if (!c.unplugged && c.jobs > 0) {
    ASSERT_TRUE(e2e::Eventually([&] { return app_.Captured() > before; }, 30000));
  }

  // The bound only keeps a hanging app from hanging the test.
  EXPECT_EQ(0, app_.StopApp(SIGTERM, 30000));
  const std::string state = e2e::ReadFile(app_.StatePath());
  EXPECT_NE(std::string::npos, state.find("name=\"VALDREN-QV-46\"")) << state;
  for (int job : jobs) {
    EXPECT_NE(std::string::npos, state.find("id=\"" + std::to_string(job) + "\"")) << state;
  }

  std::string error;
  ASSERT_TRUE(app_.StartApp(&error)) << error;
  if (c.unplugged) {
    ASSERT_TRUE(app_.Sim("plug"));
  }
  for (size_t i = 0; i < jobs.size(); ++i) {
    const std::string end = app_.WaitForJob(jobs[i]);
    // The job being sent ends after its batch; every queued one prints.
    if (i == 0 && !c.unplugged && end.rfind("aborted", 0) == 0) continue;
    EXPECT_EQ("completed", end.substr(0, 9)) << "job " << jobs[i] << ": " << end;
  }
  EXPECT_EQ(0, app_.StopApp(SIGTERM, 30000));
}

INSTANTIATE_TEST_SUITE_P(States, Stop,
                         testing::Values(StopCase{"Idle", false, 0},
                                         StopCase{"PrinterAway", true, 0},
                                         StopCase{"JobsWaitForThePrinter", true, 2},
                                         StopCase{"JobPrintingAndOneQueued", false, 2}),
                         [](const testing::TestParamInfo<StopCase>& info) {
                           return info.param.name;
                         });

// A state saved while the app served the network names the system for
// DNS-SD; restarted for this machine only, it must not advertise it again.
TEST_F(Service, LocalOnlyRestartDropsTheSavedDnsSdName) {
  ASSERT_EQ(0, app_.StopApp(SIGTERM, 30000));
  const std::string state = e2e::ReadFile(app_.StatePath());
  ASSERT_EQ(std::string::npos, state.find("DNSSDName ")) << state;
  e2e::WriteFile(app_.StatePath(), "DNSSDName QV-46 Printer Application\n" + state);
  std::string error;
  ASSERT_TRUE(app_.StartApp(&error)) << error;
  ASSERT_EQ(0, app_.StopApp(SIGTERM, 30000));
  const std::string saved = e2e::ReadFile(app_.StatePath());
  EXPECT_EQ(std::string::npos, saved.find("DNSSDName ")) << saved;
}

}  // namespace
