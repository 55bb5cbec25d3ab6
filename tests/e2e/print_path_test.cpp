// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// A photo printed the way a user prints it: lp into a private cupsd with
// the daemon's queue, the real filter and backend, and a simulated QV-46
// capturing what reaches its bulk OUT endpoint.
#include <cups/cups.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>

#include "PrintSystem.h"
#include "TestImages.h"

using e2e::PrintSystem;

namespace {

const std::set<int> kFinished = {IPP_JSTATE_COMPLETED, IPP_JSTATE_ABORTED, IPP_JSTATE_CANCELED,
                                 IPP_JSTATE_STOPPED};

e2e::Programs Programs() {
  e2e::Programs p;
  p.filter = QV46_FILTER;
  p.backend = QV46_BACKEND;
  p.simulator = QV46_SIM_CLI;
  p.streamTool = QV46_STREAM;
  return p;
}

class PrintPath : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    PrintSystem::Options options;
    options.programs = Programs();
    system = std::make_unique<PrintSystem>(options);
    if (!system->Prepare(&setupError)) return;
    const std::string work = system->Work();
    // A queue whose filter writes the start of a command and then fails.
    const std::string brokenFilter = work + "/qv46-broken-filter";
    e2e::WriteFile(brokenFilter,
                   "#!/bin/sh\nprintf '\\033PIMAGE YPLANE          00001000partial'\nexit 1\n",
                   0755);
    std::string ppd = e2e::ReadFile(qv46test::PrivateCupsd::DefaultPpdPath());
    const std::string filterLine = "0 rastertoqv46\"";
    ppd.replace(ppd.find(filterLine), filterLine.size(), "0 qv46-broken-filter\"");
    e2e::WriteFile(work + "/qv46-broken.ppd", ppd);
    system->MutableOptions().extraModels = {work + "/qv46-broken.ppd"};
    system->MutableOptions().extraFilters = {brokenFilter};
    if (!system->Start(&setupError)) return;

    // The daemon's command line, verbatim; a second queue like the
    // daemon's for a printer that is not there; the failing queue.
    const std::string commands[] = {
        PrintSystem::DaemonQueueCommand(system->Serial()),
        "lpadmin -p VALDREN-QV-46-2 -E -D \"VALDREN QV-46 2\" -m VALDREN_QV-46.ppd "
        "-v valdren-zelbackend://VALDREN/QV-46?serial=" +
            MissingSerial() + " -o printer-is-shared=false",
        "lpadmin -p qv46-broken -E -m qv46-broken.ppd -v "
        "valdren-zelbackend://VALDREN/QV-46?serial=" +
            system->Serial(),
    };
    for (const std::string& command : commands) {
      std::string out;
      if (system->Cupsd().Run({"sh", "-c", command}, &out) != 0) {
        setupError = command + ": " + out;
        return;
      }
    }
    e2e::WritePng(system->Work() + "/photo.png", e2e::TwoColourPicture(600, 400));
    e2e::WriteFile(system->Work() + "/photo.pdf", e2e::TwoColourPdf(360, 252));
    ready = true;
  }

  static std::string MissingSerial() { return "GONE" + std::to_string(getpid()); }

  static void TearDownTestSuite() { system.reset(); }

  void SetUp() override { ASSERT_TRUE(ready) << setupError; }

  // Decodes what the printer got since `from`; checks the listing has
  // `lines` and the preview shows the red and the blue half.
  void ExpectPrinted(size_t from, const std::string& name, const std::vector<std::string>& lines) {
    std::string listing;
    const std::string dir = system->Work() + "/" + name;
    ASSERT_EQ(system->Decode(system->JobStreamSince(from), dir, &listing), 0) << listing;
    if (const char* keep = getenv("QV46_E2E_OUT")) {  // to look at by hand
      std::system(
          ("mkdir -p '" + std::string(keep) + "' && cp -r '" + dir + "' '" + keep + "/'").c_str());
      e2e::WriteFile(std::string(keep) + "/" + name + ".txt", listing);
    }
    for (const std::string& line : lines)
      EXPECT_NE(listing.find(line), std::string::npos) << line << "\n" << listing;
    e2e::Rgb preview;
    ASSERT_TRUE(e2e::ReadPng(dir + "/panel1.png", &preview)) << listing;
    e2e::ColourShares shares = e2e::ShareOfColours(preview);
    EXPECT_GT(shares.red, 0.1) << "red " << shares.red;
    EXPECT_GT(shares.blue, 0.1) << "blue " << shares.blue;
  }

  // Prints the photo with `options` and reads the first panel's Y, M and C
  // plane files.
  void PrintPlanes(const std::vector<std::string>& options, const std::string& name,
                   std::string planes[3]) {
    const size_t before = system->Captured();
    int id = system->Submit(PrintSystem::QueueName(), options, system->Work() + "/photo.png");
    ASSERT_GT(id, 0);
    ASSERT_EQ(PrintSystem::WaitForJob(id, kFinished), IPP_JSTATE_COMPLETED)
        << system->Cupsd().ErrorLog();
    const std::string dir = system->Work() + "/" + name;
    std::string listing;
    ASSERT_EQ(system->Decode(system->JobStreamSince(before), dir, &listing), 0) << listing;
    int p = 0;
    for (const char* plane : {"YPLANE", "MPLANE", "CPLANE"}) {
      planes[p] = e2e::ReadFile(dir + "/panel1-" + plane + ".bmp");
      ASSERT_FALSE(planes[p++].empty()) << listing;
    }
  }

  static inline std::unique_ptr<PrintSystem> system;
  static inline std::string setupError;
  static inline bool ready = false;
};

TEST_F(PrintPath, CupsFindsThePrinterThroughTheBackend) {
  std::string out;
  ASSERT_EQ(system->Cupsd().Run({"lpinfo", "--include-schemes", "valdren-zelbackend", "-v"}, &out),
            0)
      << out;
  EXPECT_EQ(out, "direct valdren-zelbackend://VALDREN/QV-46?serial=" + system->Serial() + "\n");
}

TEST_F(PrintPath, PngThroughCupsReachesThePrinterAsTheFilterWroteIt) {
  const size_t before = system->Captured();
  int id = system->Submit(PrintSystem::QueueName(),
                          {"PageSize=153x102mm", "Resolution=300x600dpi", "ZelOvercoatFinish=Matte",
                           "Zel2InchCut=Enable", "copies=2"},
                          system->Work() + "/photo.png");
  ASSERT_GT(id, 0);
  ASSERT_EQ(PrintSystem::WaitForJob(id, kFinished), IPP_JSTATE_COMPLETED)
      << system->Cupsd().ErrorLog();
  // The job's options, and the loaded 6x8 in media the backend reported
  // through the job information file: both copies share one panel.
  ExpectPrinted(before, "png-job",
                {"CNTRL  CUTTER                  8  \"00000120\"",
                 "CNTRL  OVERCOAT                8  \"00000001\"",
                 "CNTRL  PRINTSPEED              8  \"00000010\"",
                 "IMAGE  MULTICUT                8  \"00000012\"", "IMAGE  YPLANE", "IMAGE  MPLANE",
                 "IMAGE  CPLANE", "CNTRL  START", " 1 panels"});
  EXPECT_TRUE(system->BackendFilesGone(system->Serial(), id));
}

TEST_F(PrintPath, PdfWithItsOwnSizeResolutionAndFinish) {
  const size_t before = system->Captured();
  int id = system->Submit(PrintSystem::QueueName(),
                          {"PageSize=127x89mm", "Resolution=300x300dpi", "ZelOvercoatFinish=Luster",
                           "Zel2InchCut=Enable", "ZelPrintRetry=Disable", "copies=2"},
                          system->Work() + "/photo.pdf");
  ASSERT_GT(id, 0);
  ASSERT_EQ(PrintSystem::WaitForJob(id, kFinished), IPP_JSTATE_COMPLETED)
      << system->Cupsd().ErrorLog();
  // 5x3.5 in has no 2-inch cut, and only 300x600 dpi has a print speed;
  // the two copies share one panel (two-up of 5x3.5 in), made once.
  ExpectPrinted(before, "pdf-job",
                {"CNTRL  CUTTER                  8  \"00000000\"",
                 "CNTRL  OVERCOAT                8  \"00000022\"",
                 "CNTRL  BUFFCNTRL               8  \"00000000\"",
                 "CNTRL  PRINTSPEED              8  \"00000000\"",
                 "IMAGE  MULTICUT                8  \"00000022\"", "CNTRL  START", " 1 panels"});
}

// The queue's PPD has no default for the all-channel gamma, so a
// per-channel choice reaches the picture: only the one plane changes.
TEST_F(PrintPath, PerChannelGammaTakesEffectWithTheQueuesDefaults) {
  std::string planes[2][3];
  const std::vector<std::string> common = {"PageSize=127x89mm", "Resolution=300x300dpi",
                                           "ZelColorAdjustment=Enable"};
  for (int run = 0; run < 2; ++run) {
    std::vector<std::string> options = common;
    if (run == 1) options.push_back("ZelGammaR=100");
    ASSERT_NO_FATAL_FAILURE(PrintPlanes(options, "gamma" + std::to_string(run), planes[run]));
  }
  int changed = 0;
  for (int p = 0; p < 3; ++p) changed += planes[0][p] != planes[1][p];
  EXPECT_EQ(changed, 1);
}

// The queue offers print-color-mode; a monochrome job is a neutral grey
// print (the same value in all three planes), a colour job stays in colour.
TEST_F(PrintPath, PrintColorModeMonochromePrintsNeutralGrey) {
  const struct {
    const char* mode;
    bool neutral;
  } cases[] = {{"monochrome", true}, {"color", false}};
  for (const auto& c : cases) {
    std::string planes[3];
    ASSERT_NO_FATAL_FAILURE(PrintPlanes(
        {"PageSize=127x89mm", "Resolution=300x300dpi", std::string("print-color-mode=") + c.mode},
        std::string("mode-") + c.mode, planes));
    EXPECT_EQ(planes[0] == planes[1] && planes[1] == planes[2], c.neutral) << c.mode;
  }
}

TEST_F(PrintPath, FilterErrorStopsTheJobAndNoHalfCommandReachesThePrinter) {
  const size_t before = system->Captured();
  int id = system->Submit("qv46-broken", {}, system->Work() + "/photo.png");
  ASSERT_GT(id, 0);
  int state = PrintSystem::WaitForJob(id, kFinished);
  EXPECT_TRUE(state == IPP_JSTATE_ABORTED || state == IPP_JSTATE_STOPPED)
      << state << system->Cupsd().ErrorLog();
  EXPECT_TRUE(system->BackendFilesGone(system->Serial(), id));
  EXPECT_EQ(system->JobStreamSince(before), "");
}

// The backend waits for a missing printer, saying so, and a cancel ends the
// wait without leaving files behind.
TEST_F(PrintPath, MissingPrinterIsWaitedForAndACancelLeavesNoFiles) {
  int id = system->Submit("VALDREN-QV-46-2", {}, system->Work() + "/photo.png");
  ASSERT_GT(id, 0);
  EXPECT_TRUE(e2e::Eventually(
      [&] {
        return PrintSystem::PrinterStateReasons("VALDREN-QV-46-2").find("connecting-to-device") !=
               std::string::npos;
      },
      30000))
      << PrintSystem::PrinterStateReasons("VALDREN-QV-46-2");
  EXPECT_TRUE(e2e::Eventually(
      [&] {
        return system->Cupsd().ErrorLog().find("[Job " + std::to_string(id) +
                                               "] Waiting for the QV-46 with serial " +
                                               MissingSerial()) != std::string::npos;
      },
      30000));
  EXPECT_EQ(PrintSystem::JobState(id), IPP_JSTATE_PROCESSING);
  EXPECT_FALSE(e2e::Exists("/tmp/Print_" + std::to_string(id) + ".log"));
  system->Cupsd().Run({"cancel", std::to_string(id)});
  EXPECT_EQ(PrintSystem::WaitForJob(id, kFinished), IPP_JSTATE_CANCELED);
  EXPECT_TRUE(system->BackendFilesGone(MissingSerial(), id));
}

// A job queued before its printer is plugged in prints once it is, two-up.
TEST_F(PrintPath, PrinterPluggedInLaterPrintsTheWaitingJob) {
  ASSERT_TRUE(system->SimulatorCommand("unplug " + system->Serial()));
  const size_t before = system->Captured();
  int id = system->Submit(PrintSystem::QueueName(),
                          {"PageSize=153x102mm", "Resolution=300x600dpi", "copies=2"},
                          system->Work() + "/photo.png");
  ASSERT_GT(id, 0);
  ASSERT_TRUE(e2e::Eventually(
      [&] {
        return system->Cupsd().ErrorLog().find("[Job " + std::to_string(id) +
                                               "] Waiting for the QV-46") != std::string::npos;
      },
      30000));
  ASSERT_TRUE(system->SimulatorCommand("plug " + system->Serial()));
  ASSERT_EQ(PrintSystem::WaitForJob(id, kFinished), IPP_JSTATE_COMPLETED)
      << system->Cupsd().ErrorLog();
  ExpectPrinted(before, "plugged-later", {"CNTRL  START", " 1 panels"});
}

// A cancel lets the command in flight finish: the printer is left between
// commands, and the next job prints whole.
TEST_F(PrintPath, CancelWhileSendingStopsBetweenCommandsAndTheNextJobPrints) {
  const size_t before = system->Captured();
  int id = system->Submit(PrintSystem::QueueName(), {"PageSize=153x229mm", "Resolution=600x600dpi"},
                          system->Work() + "/photo.png");
  ASSERT_GT(id, 0);
  ASSERT_TRUE(e2e::Eventually([&] { return system->Captured() > before + (1 << 20); }, 60000))
      << system->Cupsd().ErrorLog();
  std::string out;
  ASSERT_EQ(system->Cupsd().Run({"cancel", std::to_string(id)}, &out), 0) << out;
  EXPECT_EQ(PrintSystem::WaitForJob(id, kFinished), IPP_JSTATE_CANCELED);
  EXPECT_TRUE(system->BackendFilesGone(system->Serial(), id));
  EXPECT_TRUE(e2e::WholePackets(system->JobStreamSince(before)));

  const size_t next = system->Captured();
  id = system->Submit(PrintSystem::QueueName(),
                      {"PageSize=153x102mm", "Resolution=300x600dpi", "copies=2"},
                      system->Work() + "/photo.png");
  ASSERT_EQ(PrintSystem::WaitForJob(id, kFinished), IPP_JSTATE_COMPLETED)
      << system->Cupsd().ErrorLog();
  ExpectPrinted(next, "after-cancel", {"CNTRL  START", " 1 panels"});
}

}  // namespace
