// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// qv46-printer-app on a free loopback port with its own spool directory,
// serving one simulated QV-46 (qv46-sim, capturing what it receives).
// Administrators log in through a PAM service of the test's own: root, a
// member of the admin group "root", with kPassword; nobody is no member.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "qv46sim.h"

namespace apptest {

class AppUnderTest {
 public:
  static constexpr char kAdmin[] = "root";
  static constexpr char kOutsider[] = "nobody";
  static constexpr char kPassword[] = "qv46-test-password";
  // The administrator's login as curl's -u takes it.
  static std::string AdminLogin() { return std::string(kAdmin) + ":" + kPassword; }
  // How long the app holds back a refused login: its 2 s, made short so
  // that tests of refusals wait for the answer, not the clock.
  static constexpr int kRefusalMs = 200;

  AppUnderTest();
  ~AppUnderTest();
  AppUnderTest(const AppUnderTest&) = delete;
  AppUnderTest& operator=(const AppUnderTest&) = delete;

  // A server option ("name=value") for the app's next start.
  void AddOption(const std::string& option) { options_.push_back(option); }
  // From the next start the printer is read, and the bus looked at, every
  // 100 ms instead of every 2 s: a state the printer takes on, or its
  // leaving, reaches IPP within moments.
  void ReadOften() { AddOption("status-interval-ms=100"); }
  // Starts the printer, then the app; true once the app serves the printer.
  bool Start(std::string* error);
  // Sends `signal` to the app and waits at most `timeoutMs` for its end;
  // its exit status, or -1 when it still runs.
  int StopApp(int signal, int timeoutMs);
  // Starts the app again on the same port and spool directory.
  bool StartApp(std::string* error);
  std::string StatePath() const { return work_ + "/spool/qv46-printer-app.state"; }
  // An environment variable ("NAME=value") for the app's next start.
  void AddAppEnv(const std::string& variable) { appEnv_.push_back(variable); }
  // The accounts whose password the test's PAM service checked, one a line.
  std::string PasswordsTried() const;
  // The login that Ipp sends from now on ("" for none).
  void LogIn(const std::string& user, const std::string& password);

  const std::string& Work() const { return work_; }
  const std::string& Serial() const { return serial_; }
  int Port() const { return port_; }
  pid_t AppPid() const { return app_ ? app_->Pid() : -1; }
  // The app's peak resident memory so far (VmHWM), or -1.
  long PeakKilobytes() const;
  std::string LogPath() const { return work_ + "/app.log"; }
  // The URI of the printer named `name` (the first QV-46 by default).
  std::string PrinterUri(const std::string& name = "VALDREN-QV-46") const;
  std::string WebUrl(const std::string& path) const;

  // A line for qv46-sim ("unplug", "plug", "set KEY... VALUE"); the serial
  // goes after the verb.
  bool Sim(const std::string& verb, const std::string& rest = "");
  // Plugs in one more printer with serial `serial`.
  bool SimPlug(const std::string& serial);
  // The printer's count of jobs printed and kept in a fault: "printed N held M".
  std::string SimPrinted();

  // Runs one IPP request through ipptool on `printer`: `operation` with
  // `operationAttrs` and `groupAttrs` ("tag name value" lines for the job
  // group, or the printer group of Set-Printer-Attributes) and an optional
  // document; returns ipptool's verbose output, or "" when it failed.
  std::string Ipp(const std::string& operation, const std::vector<std::string>& operationAttrs,
                  const std::vector<std::string>& groupAttrs = {}, const std::string& document = "",
                  const std::string& format = "", const std::string& printer = "VALDREN-QV-46");
  // Print-Job; the job id, or -1.
  int Print(const std::string& document, const std::string& format,
            const std::vector<std::string>& jobAttrs = {});
  // "completed", "aborted", ... with the job's message after a space.
  std::string JobState(int job);
  // Waits until the job reached an end state; returns JobState then.
  std::string WaitForJob(int job, int timeoutMs = 60000);
  // The value text of a printer attribute, as ipptool shows it ("" when none).
  std::string PrinterAttribute(const std::string& name,
                               const std::string& printer = "VALDREN-QV-46");

  // Bytes the printer received so far, and the job stream received after
  // `offset` without the app's queries and anything after START.
  size_t Captured() const;
  std::string ReceivedSince(size_t offset) const;
  std::string JobStreamSince(size_t offset) const;
  // The status queries the printer received after `offset`: each is one
  // reading of the app's.
  size_t StatusQueriesSince(size_t offset) const;

 private:
  std::string work_, serial_, capture_, login_;
  int port_ = 0;
  std::vector<std::string> simEnv_, appEnv_, options_;
  std::unique_ptr<qv46sim::Process> sim_, app_;
};

// Runs a program and returns its exit status; its standard output in *out.
// A program still running after timeoutMs is stopped, with what it wrote so far.
int Run(const std::vector<std::string>& argv, std::string* out = nullptr,
        const std::vector<std::string>& env = {}, int timeoutMs = 60000);

// A test with the app started and serving its printer.
class AppTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(app_.Start(&error)) << error;
  }

  // A file in the test's work folder.
  std::string Path(const std::string& name) const { return app_.Work() + "/" + name; }

  AppUnderTest app_;
};

}  // namespace apptest
