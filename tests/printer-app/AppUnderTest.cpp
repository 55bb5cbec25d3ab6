// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "AppUnderTest.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <regex>
#include <sstream>

#include "FreePort.h"
#include "PrintSystem.h"

namespace apptest {

int Run(const std::vector<std::string>& argv, std::string* out, const std::vector<std::string>& env,
        int timeoutMs) {
  char path[] = "/tmp/qv46-app-run-XXXXXX";
  const int fd = mkstemp(path);
  close(fd);
  qv46sim::SpawnOptions options;
  options.stdoutFile = path;
  options.stderrFile = "/dev/null";
  qv46sim::Process process = qv46sim::SpawnProcess(argv, env, options);
  const int status = process.Wait(timeoutMs);
  if (out != nullptr) *out = e2e::ReadFile(path);
  unlink(path);
  return status;
}

AppUnderTest::AppUnderTest() = default;

AppUnderTest::~AppUnderTest() {
  app_.reset();
  if (sim_) sim_->CloseStdin();
  sim_.reset();
  if (!work_.empty()) std::system(("rm -rf '" + work_ + "'").c_str());
}

bool AppUnderTest::Start(std::string* error) {
  char dir[] = "/tmp/qv46-app-test-XXXXXX";
  if (mkdtemp(dir) == nullptr) return false;
  work_ = dir;
  serial_ = "APP" + std::to_string(getpid());
  capture_ = work_ + "/capture.bin";
  const std::string envFile = work_ + "/sim.env";
  qv46sim::SpawnOptions simOptions;
  simOptions.stdinPipe = true;
  simOptions.stdoutFile = work_ + "/sim.out";
  simOptions.stderrFile = work_ + "/sim.err";
  sim_ = std::make_unique<qv46sim::Process>(qv46sim::SpawnProcess(
      {QV46_SIM_CLI, "--serial", serial_, "--capture", capture_, "--env-file", envFile}, {},
      simOptions));
  if (!e2e::Eventually([&] { return e2e::Exists(envFile); }, 20000)) {
    *error = "the simulated printer did not start";
    return false;
  }
  std::istringstream lines(e2e::ReadFile(envFile));
  for (std::string line; std::getline(lines, line);) simEnv_.push_back(line);

  port_ = qv46test::FreePort();
  if (port_ < 0) {
    *error = "no free port";
    return false;
  }
  mkdir((work_ + "/spool").c_str(), 0700);
  // A PAM service that knows one password, so no system user is touched.
  mkdir((work_ + "/pam").c_str(), 0700);
  const std::string check = work_ + "/pam/check-password";
  e2e::WriteFile(check,
                 std::string("#!/bin/sh\necho \"$PAM_USER\" >> ") + work_ +
                     "/pam/tried\nread -r password\n[ \"$password\" = \"" + kPassword + "\" ]\n",
                 0700);
  e2e::WriteFile(work_ + "/pam/qv46-apptest", "auth required pam_exec.so expose_authtok quiet " +
                                                  check + "\naccount required pam_permit.so\n");
  return StartApp(error);
}

bool AppUnderTest::StartApp(std::string* error) {
  std::vector<std::string> env = simEnv_;
  env.insert(env.end(), appEnv_.begin(), appEnv_.end());
  qv46sim::SpawnOptions appOptions;
  appOptions.stdoutFile = work_ + "/app.out";
  appOptions.stderrFile = work_ + "/app.err";
  std::vector<std::string> options = {"server-port=" + std::to_string(port_),
                                      "spool-directory=" + work_ + "/spool",
                                      "log-file=" + LogPath(),
                                      "log-level=debug",
                                      "listen-hostname=localhost",
                                      "auth-service=qv46-apptest",
                                      "pam-config-dir=" + work_ + "/pam",
                                      "admin-group=root",
                                      "login-refusal-ms=" + std::to_string(kRefusalMs)};
  options.insert(options.end(), options_.begin(), options_.end());
  std::vector<std::string> argv = {QV46_PRINTER_APP, "server"};
  for (const std::string& option : options) argv.insert(argv.end(), {"-o", option});
  app_ = std::make_unique<qv46sim::Process>(qv46sim::SpawnProcess(argv, env, appOptions));
  // An app that refuses to start has nothing to wait for.
  bool ended = false;
  if (!e2e::Eventually(
          [&] {
            ended = !app_->Running();
            return ended || !PrinterAttribute("printer-state").empty();
          },
          20000) ||
      ended) {
    *error = std::string(ended ? "the app ended" : "the app did not serve the printer") + ": " +
             e2e::ReadFile(work_ + "/app.err");
    return false;
  }
  return true;
}

int AppUnderTest::StopApp(int signal, int timeoutMs) {
  if (app_ == nullptr) return -1;
  // An app already reaped has no process id: kill(-1) would signal everyone.
  if (app_->Started()) kill(app_->Pid(), signal);
  return app_->Wait(timeoutMs);
}

std::string AppUnderTest::PasswordsTried() const { return e2e::ReadFile(work_ + "/pam/tried"); }

void AppUnderTest::LogIn(const std::string& user, const std::string& password) {
  login_ = user.empty() ? std::string() : user + ":" + password + "@";
}

std::string AppUnderTest::PrinterUri(const std::string& name) const {
  return "ipp://localhost:" + std::to_string(port_) + "/ipp/print/" + name;
}

std::string AppUnderTest::WebUrl(const std::string& path) const {
  return "http://localhost:" + std::to_string(port_) + path;
}

bool AppUnderTest::SimPlug(const std::string& serial) {
  return sim_->WriteStdin("plug " + serial + "\n");
}

std::string AppUnderTest::SimPrinted() {
  const std::regex answer("ok (printed [0-9]+ held [0-9]+)");
  auto answers = [&] {
    const std::string out = e2e::ReadFile(work_ + "/sim.out");
    return std::vector<std::string>(std::sregex_token_iterator(out.begin(), out.end(), answer, 1),
                                    std::sregex_token_iterator());
  };
  const size_t earlier = answers().size();
  std::vector<std::string> now;
  if (!Sim("printed") ||
      !e2e::Eventually([&] { return (now = answers()).size() > earlier; }, 10000))
    return std::string();
  return now.back();
}

bool AppUnderTest::Sim(const std::string& verb, const std::string& rest) {
  return sim_->WriteStdin(verb + " " + serial_ + (rest.empty() ? "" : " " + rest) + "\n");
}

std::string AppUnderTest::Ipp(const std::string& operation,
                              const std::vector<std::string>& operationAttrs,
                              const std::vector<std::string>& groupAttrs,
                              const std::string& document, const std::string& format,
                              const std::string& printer) {
  std::string test = "{\nOPERATION " + operation +
                     "\nGROUP operation-attributes-tag\n"
                     "ATTR charset attributes-charset utf-8\n"
                     "ATTR language attributes-natural-language en\n"
                     "ATTR uri printer-uri $uri\n"
                     "ATTR name requesting-user-name test\n";
  for (const std::string& attr : operationAttrs) test += "ATTR " + attr + "\n";
  if (!format.empty()) test += "ATTR mimeMediaType document-format " + format + "\n";
  const bool printerGroup = operation == "Set-Printer-Attributes";
  if (!groupAttrs.empty())
    test += printerGroup ? "GROUP printer-attributes-tag\n" : "GROUP job-attributes-tag\n";
  for (const std::string& attr : groupAttrs) test += "ATTR " + attr + "\n";
  if (!document.empty()) test += "FILE " + document + "\n";
  test += "STATUS successful-ok\n}\n";
  const std::string path = work_ + "/request.test";
  e2e::WriteFile(path, test);
  std::string out;
  const std::string uri = "ipp://" + login_ + PrinterUri(printer).substr(6);
  if (Run({"ipptool", "-tv", uri, path}, &out) != 0) return std::string();
  return out;
}

int AppUnderTest::Print(const std::string& document, const std::string& format,
                        const std::vector<std::string>& jobAttrs) {
  const std::string out = Ipp("Print-Job", {}, jobAttrs, document, format);
  std::smatch match;
  if (!std::regex_search(out, match, std::regex("job-id \\(integer\\) = ([0-9]+)"))) return -1;
  return std::stoi(match[1]);
}

std::string AppUnderTest::JobState(int job) {
  const std::string out = Ipp("Get-Job-Attributes", {"integer job-id " + std::to_string(job)});
  std::smatch state, message;
  if (!std::regex_search(out, state, std::regex("job-state \\(enum\\) = ([a-z-]+)")))
    return std::string();
  std::regex_search(out, message,
                    std::regex("job-state-message \\(textWithoutLanguage\\) = ([^\n]*)"));
  return state[1].str() + (message.empty() ? "" : " " + message[1].str());
}

std::string AppUnderTest::WaitForJob(int job, int timeoutMs) {
  std::string state;
  e2e::Eventually(
      [&] {
        state = JobState(job);
        return state.rfind("completed", 0) == 0 || state.rfind("aborted", 0) == 0 ||
               state.rfind("canceled", 0) == 0;
      },
      timeoutMs);
  return state;
}

std::string AppUnderTest::PrinterAttribute(const std::string& name, const std::string& printer) {
  const std::string out =
      Ipp("Get-Printer-Attributes", {"keyword requested-attributes " + name}, {}, "", "", printer);
  std::smatch match;
  if (!std::regex_search(out, match, std::regex("\n\\s*" + name + " \\([^)]*\\) = ([^\n]*)")))
    return std::string();
  return match[1];
}

long AppUnderTest::PeakKilobytes() const {
  std::istringstream status(e2e::ReadFile("/proc/" + std::to_string(AppPid()) + "/status"));
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

size_t AppUnderTest::Captured() const { return e2e::ReadFile(capture_).size(); }

std::string AppUnderTest::ReceivedSince(size_t offset) const {
  std::string bytes = e2e::ReadFile(capture_);
  bytes.erase(0, std::min(offset, bytes.size()));
  return bytes;
}

size_t AppUnderTest::StatusQueriesSince(size_t offset) const {
  const std::string bytes = ReceivedSince(offset);
  size_t count = 0;
  for (size_t at = 0; (at = bytes.find("\x1bPSTATUS", at)) != std::string::npos; ++at) ++count;
  return count;
}

std::string AppUnderTest::JobStreamSince(size_t offset) const {
  return e2e::JobStreamIn(ReceivedSince(offset));
}

}  // namespace apptest
