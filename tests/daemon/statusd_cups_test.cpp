// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Queue registration by the real qv46-statusd in a private cupsd, for a
// simulated printer. A wrapper in front of the real lpadmin records every
// command the daemon runs.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "PrivateCupsd.h"
#include "StatusdHarness.h"

namespace qv46test {
namespace {

constexpr int kSettleMs = 30000;
const std::string kUri = "valdren-zelbackend://VALDREN/QV-46?serial=";

struct Existing {
  std::string name;
  std::string uri;  // "OURS" stands for the printer's own URI
};

struct RegistrationCase {
  const char* name;
  std::vector<Existing> queues;
  const char* created;  // the queue the daemon makes, or nullptr for none
};

void PrintTo(const RegistrationCase& c, std::ostream* out) { *out << c.name; }

std::string RealLpadmin() {
  for (const char* path : {"/usr/sbin/lpadmin", "/usr/bin/lpadmin", "/sbin/lpadmin"})
    if (access(path, X_OK) == 0) return path;
  return "lpadmin";
}

void WriteScript(const std::string& path, const std::string& text) {
  std::ofstream(path) << text;
  chmod(path.c_str(), 0755);
}

class StatusdCupsTest : public ::testing::TestWithParam<RegistrationCase> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(bed.Ok());
    WriteScript(bin.File("lpadmin"),
                "#!/bin/sh\nprintf '%s|' \"$@\" >> \"$0.calls\"\necho >> \"$0.calls\"\n"
                "exec " +
                    RealLpadmin() + " \"$@\"\n");
    // cupsd accepts a device URI only when its backend exists.
    WriteScript(backends.File("valdren-zelbackend"), "#!/bin/sh\nexit 0\n");
    PrivateCupsd::Options options;
    options.extraBackends = {backends.File("valdren-zelbackend")};
    cupsd = std::make_unique<PrivateCupsd>(options);
    std::string error;
    ASSERT_TRUE(cupsd->Start(&error)) << error;
  }

  bool StartDaemon() {
    std::vector<std::string> env = cupsd->ClientEnv();
    const char* path = getenv("PATH");
    env.push_back("PATH=" + bin.Path() + ":" + (path ? path : "/usr/sbin:/usr/bin:/sbin:/bin"));
    return statusd.Start(env);
  }

  std::vector<std::string> Calls() {
    std::vector<std::string> calls;
    std::ifstream in(bin.File("lpadmin.calls"));
    for (std::string line; std::getline(in, line);) calls.push_back(line);
    return calls;
  }

  std::string Queues() {
    std::string out;
    cupsd->Run({"lpstat", "-v"}, &out);
    return out;
  }

  qv46sim::Testbed bed;
  TempDir bin;
  TempDir backends;
  std::unique_ptr<PrivateCupsd> cupsd;
  StatusdHarness statusd{bed};
};

TEST_P(StatusdCupsTest, RegistersOrRecognisesTheQueue) {
  const RegistrationCase& c = GetParam();
  const std::string serial = statusd.NewSerial("q");
  for (const Existing& queue : c.queues) {
    const std::string uri = queue.uri == "OURS" ? kUri + serial : queue.uri;
    std::string out;
    ASSERT_EQ(
        0,
        cupsd->Run({"lpadmin", "-p", queue.name, "-E", "-v", uri, "-m", "VALDREN_QV-46.ppd"}, &out))
        << out << cupsd->ErrorLog();
  }
  const std::string before = Queues();

  qv46sim::PrinterConfig config;
  config.serial = serial;
  const int id = bed.Plug(config);
  ASSERT_TRUE(StartDaemon());
  ASSERT_TRUE(qv46sim::WaitUntil([&] { return StatusdHarness::IsOnline(serial); }, kSettleMs));

  if (c.created == nullptr) {
    EXPECT_TRUE(Calls().empty());
    EXPECT_EQ(before, Queues());
  } else {
    ASSERT_EQ(1u, Calls().size());
    const std::string name = c.created;
    const std::string number = name.size() > 14 ? name.substr(14) : "";
    EXPECT_EQ("-p|" + name + "|-E|-D|VALDREN QV-46" + (number.empty() ? "" : " " + number) +
                  "|-m|VALDREN_QV-46.ppd|-v|" + kUri + serial + "|-o|printer-is-shared=false|",
              Calls()[0]);
    EXPECT_NE(std::string::npos, Queues().find(name + ": " + kUri + serial)) << Queues();
    std::string out;
    cupsd->Run({"lpoptions", "-p", name}, &out);
    EXPECT_NE(std::string::npos, out.find("printer-is-shared=false")) << out;
  }

  // Registered: without a watching monitor the printer is left alone.
  StatusdHarness::LetCyclesPass(1);
  const int claims = bed.ClaimCount(id);
  StatusdHarness::LetCyclesPass(2);
  EXPECT_EQ(claims, bed.ClaimCount(id));
  EXPECT_LE(Calls().size(), 1u);
}

const std::string kOther = kUri + "OTHER";

INSTANTIATE_TEST_SUITE_P(
    Queues, StatusdCupsTest,
    ::testing::Values(
        RegistrationCase{"NoQueue", {}, "VALDREN-QV-46"},
        RegistrationCase{"FirstTaken", {{"VALDREN-QV-46", kOther + "1"}}, "VALDREN-QV-46-2"},
        RegistrationCase{"ThreeTaken",
                         {{"VALDREN-QV-46", kOther + "1"},
                          {"VALDREN-QV-46-2", kOther + "2"},
                          {"VALDREN-QV-46-3", kOther + "3"}},
                         "VALDREN-QV-46-4"},
        RegistrationCase{"LastGap",
                         {{"VALDREN-QV-46", kOther + "1"},
                          {"VALDREN-QV-46-2", kOther + "2"},
                          {"VALDREN-QV-46-4", kOther + "4"},
                          {"VALDREN-QV-46-6", kOther + "6"}},
                         "VALDREN-QV-46-5"},
        RegistrationCase{"OnlyThird", {{"VALDREN-QV-46-3", kOther + "3"}}, "VALDREN-QV-46-2"},
        RegistrationCase{"VariantIgnored",
                         {{"VALDREN-QV-46W", "valdren-zelbackend://VALDREN/QV-46W?serial=W1"},
                          {"VALDREN-QV-46W-2", "valdren-zelbackend://VALDREN/QV-46W?serial=W2"}},
                         "VALDREN-QV-46"},
        RegistrationCase{"OwnQueueRecognised",
                         {{"VALDREN-QV-46", kOther + "1"}, {"VALDREN-QV-46-2", "OURS"}},
                         nullptr}),
    [](const ::testing::TestParamInfo<RegistrationCase>& info) { return info.param.name; });

}  // namespace
}  // namespace qv46test
