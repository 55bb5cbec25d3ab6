// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// qv46-printer-app attacked as a LAN client without a login (ipptool and
// curl), as someone guessing logins, as an administrator's request or saved
// state naming a foreign device, and as a sender of hostile documents; one
// table for each kind of attacker.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <regex>
#include <string>
#include <vector>

#include "AppUnderTest.h"
#include "PrintSystem.h"
#include "TestImages.h"

using apptest::AppUnderTest;

namespace {

// ipptool's verbose answer to one request on `uri`; `body` holds the
// request's attributes after the charset and language.
std::string IppRequest(const AppUnderTest& app, const std::string& uri,
                       const std::string& operation, const std::string& body,
                       const std::string& login = "") {
  const std::string path = app.Work() + "/attack.test";
  e2e::WriteFile(path, "{\nOPERATION " + operation +
                           "\nGROUP operation-attributes-tag\n"
                           "ATTR charset attributes-charset utf-8\n"
                           "ATTR language attributes-natural-language en\n" +
                           body + "}\n");
  std::string out;
  apptest::Run({"ipptool", "-tv",
                login.empty() ? uri : uri.substr(0, 6) + login + "@" + uri.substr(6), path},
               &out);
  return out;
}

std::string StatusOf(const std::string& out) {
  std::smatch status;
  return std::regex_search(out, status, std::regex("status-code = ([a-z-]+)")) ? status[1].str()
                                                                               : "no answer";
}

// ---------------------------------------------------------------------------
// A LAN client without a login: every operation that changes the printer or
// another user's job is refused, and other users' job names stay hidden.

struct AnonymousCase {
  const char* name;
  const char* adminFirst;  // what an administrator did before, "" for nothing
  const char* operation;
  const char* attributes;  // after printer-uri and requesting-user-name
  const char* status;
  const char* attribute;  // a printer attribute that must keep its value
  const char* value;
  bool jobWaiting;  // a job waits for the unplugged printer
};

class Anonymous : public apptest::AppTest, public testing::WithParamInterface<AnonymousCase> {};

TEST_P(Anonymous, CannotChangeThePrinter) {
  const AnonymousCase& c = GetParam();
  int job = 0;
  if (*c.adminFirst) {
    const std::string done = IppRequest(app_, app_.PrinterUri(), c.adminFirst,
                                        "ATTR uri printer-uri $uri\n", AppUnderTest::AdminLogin());
    ASSERT_EQ("successful-ok", StatusOf(done)) << done;
  }
  if (c.jobWaiting) {
    ASSERT_TRUE(app_.Sim("unplug"));
    ASSERT_TRUE(e2e::Eventually(
        [&] { return app_.PrinterAttribute("printer-state-reasons") == "offline"; }, 15000));
    const std::string photo = app_.Work() + "/photo.png";
    ASSERT_TRUE(e2e::WritePng(photo, e2e::SamplePhoto(300, 200)));
    job = app_.Print(photo, "image/png");
    ASSERT_TRUE(
        e2e::Eventually([&] { return app_.JobState(job).rfind("processing", 0) == 0; }, 15000));
  }
  const std::string out =
      IppRequest(app_, app_.PrinterUri(), c.operation,
                 "ATTR uri printer-uri $uri\nATTR name requesting-user-name mallory\n" +
                     std::string(c.attributes));
  EXPECT_EQ(c.status, StatusOf(out)) << out;
  EXPECT_EQ(c.value, app_.PrinterAttribute(c.attribute));
  if (job > 0) {
    EXPECT_EQ(0u, app_.JobState(job).rfind("processing", 0)) << app_.JobState(job);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Operations, Anonymous,
    testing::Values(
        AnonymousCase{"DisablePrinter", "", "Disable-Printer", "", "client-error-not-authenticated",
                      "printer-is-accepting-jobs", "true", false},
        AnonymousCase{"EnablePrinter", "Disable-Printer", "Enable-Printer", "",
                      "client-error-not-authenticated", "printer-is-accepting-jobs", "false",
                      false},
        AnonymousCase{"CancelCurrentJob", "", "Cancel-Current-Job", "",
                      "client-error-not-authenticated", "printer-is-accepting-jobs", "true", true},
        AnonymousCase{"PausePrinter", "", "Pause-Printer", "", "client-error-not-authenticated",
                      "printer-state", "idle", false},
        AnonymousCase{"ResumePrinter", "Pause-Printer", "Resume-Printer", "",
                      "client-error-not-authenticated", "printer-state", "stopped", false},
        AnonymousCase{"SetPrinterAttributes", "", "Set-Printer-Attributes",
                      "GROUP printer-attributes-tag\n"
                      "ATTR text printer-location attacker\n",
                      "client-error-not-authenticated", "printer-location", "", false}),
    [](const testing::TestParamInfo<AnonymousCase>& info) { return info.param.name; });

// Another user's jobs are neither listed with their names nor cancelled.
TEST_F(Anonymous, SeesNoOtherUsersJobs) {
  const std::string photo = app_.Work() + "/photo.png";
  ASSERT_TRUE(e2e::WritePng(photo, e2e::SamplePhoto(900, 600)));
  const int job = app_.Print(photo, "image/png", {"name job-name holiday-at-the-lake"});
  ASSERT_GT(job, 0);
  const std::string list =
      IppRequest(app_, app_.PrinterUri(), "Get-Jobs",
                 "ATTR uri printer-uri $uri\nATTR name requesting-user-name mallory\n"
                 "ATTR keyword which-jobs all\nATTR keyword requested-attributes all\n");
  EXPECT_EQ("successful-ok", StatusOf(list)) << list;
  EXPECT_EQ(std::string::npos, list.find("holiday-at-the-lake")) << list;
  EXPECT_EQ(std::string::npos, list.find("job-id (integer) = " + std::to_string(job))) << list;
  // The owner still sees it.
  const std::string own =
      IppRequest(app_, app_.PrinterUri(), "Get-Jobs",
                 "ATTR uri printer-uri $uri\nATTR name requesting-user-name test\n"
                 "ATTR keyword which-jobs all\nATTR keyword requested-attributes job-name\n");
  EXPECT_NE(std::string::npos, own.find("holiday-at-the-lake")) << own;
}

// ---------------------------------------------------------------------------
// Someone guessing logins: a wrong password, the right password of an
// account outside the admin group and an unknown account get the same
// answer, and only a member's password is ever tried.

struct GuessCase {
  const char* name;
  const char* user;
  const char* password;
};

class Guess : public apptest::AppTest, public testing::WithParamInterface<GuessCase> {
 protected:
  // The settings page's status and body.
  std::string WebAnswer(const std::string& user, const std::string& password) {
    std::string code;
    const std::string body = app_.Work() + "/body.html";
    apptest::Run({"curl", "-s", "-o", body, "-w", "%{http_code}", "-u", user + ":" + password,
                  app_.WebUrl("/VALDREN-QV-46/config")},
                 &code);
    return code + "\n" + e2e::ReadFile(body);
  }
};

TEST_P(Guess, GetsTheAnswerOfAWrongPassword) {
  const GuessCase& c = GetParam();
  const std::string wrong = WebAnswer(AppUnderTest::kAdmin, "not-the-password");
  EXPECT_EQ(0u, wrong.rfind("401\n", 0)) << wrong;
  EXPECT_EQ(wrong, WebAnswer(c.user, c.password));
  const std::string ipp = IppRequest(app_, app_.PrinterUri(), "Set-Printer-Attributes",
                                     "ATTR uri printer-uri $uri\nGROUP printer-attributes-tag\n"
                                     "ATTR text printer-location guessed\n",
                                     std::string(c.user) + ":" + c.password);
  EXPECT_EQ("client-error-not-authenticated", StatusOf(ipp)) << ipp;
  EXPECT_EQ(std::string::npos, app_.PasswordsTried().find(c.user)) << app_.PasswordsTried();
  EXPECT_EQ("", app_.PrinterAttribute("printer-location"));
}

INSTANTIATE_TEST_SUITE_P(
    Logins, Guess,
    testing::Values(GuessCase{"RightPasswordOfANonMember", AppUnderTest::kOutsider,
                              AppUnderTest::kPassword},
                    GuessCase{"WrongPasswordOfANonMember", AppUnderTest::kOutsider, "guess"},
                    GuessCase{"UnknownAccount", "qv46-no-such-user", AppUnderTest::kPassword}),
    [](const testing::TestParamInfo<GuessCase>& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// A device other than a QV-46, from an administrator's Create-Printer or a
// saved state: never a printer of the app, and the server stays up.

struct DeviceCase {
  const char* name;
  const char* uri;
};

class ForeignDevice : public apptest::AppTest, public testing::WithParamInterface<DeviceCase> {
 protected:
  std::string Device() const { return GetParam().uri; }
};

TEST_P(ForeignDevice, IsNeverAPrinter) {
  const std::string system = "ipp://localhost:" + std::to_string(app_.Port()) + "/ipp/system";
  const std::string out = IppRequest(app_, system, "Create-Printer",
                                     "ATTR uri system-uri $uri\n"
                                     "ATTR keyword printer-service-type print\n"
                                     "GROUP printer-attributes-tag\n"
                                     "ATTR name printer-name Foreign\n"
                                     "ATTR uri smi55357-device-uri " +
                                         Device() +
                                         "\n"
                                         "ATTR keyword smi55357-driver valdren_qv46\n",
                                     AppUnderTest::AdminLogin());
  EXPECT_NE("successful-ok", StatusOf(out)) << out;
  EXPECT_EQ("", app_.PrinterAttribute("printer-state", "Foreign"));

  // The same printer in the saved state: dropped, and the server answers
  // anonymous requests.
  ASSERT_EQ(0, app_.StopApp(SIGTERM, 30000));
  e2e::WriteFile(app_.StatePath(), e2e::ReadFile(app_.StatePath()) +
                                       "<Printer id=77 name=Foreign did=\"\" uri=\"" + Device() +
                                       "\" driver=valdren_qv46>\n</Printer>\n");
  std::string error;
  ASSERT_TRUE(app_.StartApp(&error)) << error;
  EXPECT_EQ("", app_.PrinterAttribute("printer-state", "Foreign"));
  EXPECT_NE("", app_.PrinterAttribute("printer-state"));
}

INSTANTIATE_TEST_SUITE_P(
    Uris, ForeignDevice,
    testing::Values(DeviceCase{"FileInRun", "file:///run/systemd/system?ext=service"},
                    DeviceCase{"Socket", "socket://localhost:9"},
                    DeviceCase{"Usb", "usb://VALDREN/QV-46?serial=1"},
                    DeviceCase{"Snmp", "snmp://localhost"}),
    [](const testing::TestParamInfo<DeviceCase>& info) { return info.param.name; });

}  // namespace
