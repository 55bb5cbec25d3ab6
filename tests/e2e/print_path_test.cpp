// A photo printed the way a user prints it: lp into a private cupsd with
// the daemon's queue, the real filter and backend, and a simulated QV-46
// capturing what reaches its bulk OUT endpoint.
#include <cups/cups.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

#include "PrivateCupsd.h"
#include "TestImages.h"
#include "qv46sim.h"

using qv46test::PrivateCupsd;

namespace {

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool writeFile(const std::string &path, const std::string &bytes, mode_t mode = 0644)
{
    std::ofstream(path, std::ios::binary) << bytes;
    return chmod(path.c_str(), mode) == 0;
}

bool exists(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

bool eventually(const std::function<bool()> &condition, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (condition())
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

// The bytes the printer got apart from the backend's INFO queries in front.
std::string jobStream(std::string captured)
{
    const std::string info = "\x1bPINFO  ";
    while (captured.compare(0, info.size(), info) == 0)
        captured.erase(0, 32);
    return captured;
}

class PrintPath : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        char tmpl[] = "/tmp/qv46-e2e-XXXXXX";
        work = mkdtemp(tmpl) ? tmpl : "";
        serial = "E2E" + std::to_string(getpid());
        capture = work + "/capture.bin";
        if (work.empty() || !startSim() || !startCupsd())
            return;
        // The daemon's command lines, verbatim, for the printer and a second
        // queue whose printer is not there.
        std::string out;
        const std::string first =
            "lpadmin -p VALDREN-QV-46 -E -D \"VALDREN QV-46\" -m VALDREN_QV-46.ppd "
            "-v valdren-zelbackend://VALDREN/QV-46?serial=" + serial + " -o printer-is-shared=false";
        const std::string second =
            "lpadmin -p VALDREN-QV-46-2 -E -D \"VALDREN QV-46 2\" -m VALDREN_QV-46.ppd "
            "-v valdren-zelbackend://VALDREN/QV-46?serial=GONE" + std::to_string(getpid()) +
            " -o printer-is-shared=false";
        const std::string broken = "lpadmin -p qv46-broken -E -m qv46-broken.ppd -v "
            "valdren-zelbackend://VALDREN/QV-46?serial=" + serial;
        for (const std::string &command : {first, second, broken}) {
            if (cupsd->run({"sh", "-c", command}, &out) != 0) {
                setupError = command + ": " + out;
                return;
            }
        }
        e2e::writePng(work + "/photo.png", e2e::twoColourPicture(600, 400));
        writeFile(work + "/photo.pdf", e2e::twoColourPdf(360, 252));
        ready = true;
    }

    static bool startSim()
    {
        const std::string envFile = work + "/sim.env";
        qv46sim::SpawnOptions options;
        options.stdinPipe = true;  // it runs until we close its input
        options.stdoutFile = work + "/sim.out";
        options.stderrFile = work + "/sim.err";
        sim = std::make_unique<qv46sim::Process>(qv46sim::spawnProcess(
            {QV46_SIM_CLI, "--serial", serial, "--capture", capture, "--env-file", envFile}, {}, options));
        if (!eventually([&] { return exists(envFile) || !sim->running(); }, 20000) || !exists(envFile)) {
            setupError = "simulated printer did not start: " + readFile(work + "/sim.err");
            return false;
        }
        std::istringstream lines(readFile(envFile));
        // cupsd sets TMPDIR for its children itself and passes on no LD_*
        // variable: the preload goes to the backend through its wrapper.
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind("LD_PRELOAD=", 0) == 0)
                simPreload = line.substr(line.find('=') + 1);
            else if (line.rfind("TMPDIR=", 0) != 0)
                simEnv.push_back(line);
        }
        return true;
    }

    static bool startCupsd()
    {
        // A queue whose filter writes the start of a command and then fails.
        const std::string brokenFilter = work + "/qv46-broken-filter";
        writeFile(brokenFilter,
                  "#!/bin/sh\nprintf '" + std::string("\\033PIMAGE YPLANE          00001000") +
                      "partial'\nexit 1\n",
                  0755);
        std::string ppd = readFile(PrivateCupsd::defaultPpdPath());
        const std::string filterLine = "0 rastertoqv46\"";
        ppd.replace(ppd.find(filterLine), filterLine.size(), "0 qv46-broken-filter\"");
        writeFile(work + "/qv46-broken.ppd", ppd);

        PrivateCupsd::Options options;
        options.models = {PrivateCupsd::defaultPpdPath(), work + "/qv46-broken.ppd"};
        options.extraFilters = {QV46_FILTER, brokenFilter};
        options.extraBackends = {QV46_BACKEND};
        options.env = simEnv;
        options.backendPreload = simPreload;
        cupsd = std::make_unique<PrivateCupsd>(options);
        if (!cupsd->start(&setupError))
            return false;
        cupsd->applyClientEnv();
        return true;
    }

    static void TearDownTestSuite()
    {
        cupsd.reset();
        if (sim) {
            sim->closeStdin();
            sim->terminate();
            sim.reset();
        }
        if (!work.empty())
            system(("rm -rf '" + work + "'").c_str());
    }

    void SetUp() override { ASSERT_TRUE(ready) << setupError; }

    // Submits a file with lp; returns the job id, or -1.
    int submit(const std::string &queue, const std::vector<std::string> &options, const std::string &file)
    {
        std::vector<std::string> argv = {"lp", "-d", queue};
        for (const std::string &o : options) {
            argv.push_back("-o");
            argv.push_back(o);
        }
        argv.push_back(file);
        std::string out;
        EXPECT_EQ(cupsd->run(argv, &out), 0) << out;
        // "request id is VALDREN-QV-46-7 (1 file(s))"
        size_t end = out.find(" (");
        size_t dash = out.rfind('-', end);
        return end == std::string::npos || dash == std::string::npos ? -1 : std::atoi(out.c_str() + dash + 1);
    }

    static int jobState(int id)
    {
        cups_job_t *jobs = nullptr;
        int count = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, nullptr, 0, CUPS_WHICHJOBS_ALL);
        int state = -1;
        for (int i = 0; i < count; ++i) {
            if (jobs[i].id == id)
                state = jobs[i].state;
        }
        cupsFreeJobs(count, jobs);
        return state;
    }

    // Waits until the job is in one of `states`; returns the state it ended in.
    int waitForJob(int id, std::set<int> states, int timeoutMs = 60000)
    {
        int state = -1;
        eventually([&] { return states.count(state = jobState(id)) > 0; }, timeoutMs);
        return state;
    }

    static std::string printerStateReasons(const std::string &queue)
    {
        cups_dest_t *dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, queue.c_str(), nullptr);
        const char *reasons = dest ? cupsGetOption("printer-state-reasons", dest->num_options, dest->options) : nullptr;
        std::string text = reasons ? reasons : "";
        cupsFreeDests(dest ? 1 : 0, dest);
        return text;
    }

    std::string markerPrefix(const std::string &s) const
    {
        return "Pause_valdren-zelbackend:__VALDREN_QV-46?serial=" + s + ".";
    }

    // Files of a job the backend must have removed by the end.
    bool backendFilesGone(const std::string &forSerial, int job)
    {
        return eventually(
            [&] {
                std::string out;
                cupsd->run({"sh", "-c", "ls /tmp | grep -F '" + markerPrefix(forSerial) + "'"}, &out);
                return out.empty() && !exists("/tmp/Print_" + std::to_string(job) + ".log");
            },
            15000);
    }

    // Decodes the stream the printer got since `from`, into `dir`.
    std::string decode(size_t from, const std::string &dir, int *status)
    {
        const std::string bytes = jobStream(readFile(capture).substr(from));
        writeFile(dir + ".bin", bytes);
        mkdir(dir.c_str(), 0755);
        std::string listing;
        *status = cupsd->run({QV46_STREAM, "-o", dir, dir + ".bin"}, &listing);
        return listing;
    }

    void keep(const std::string &dir, const std::string &listing)
    {
        if (const char *out = getenv("QV46_E2E_OUT")) {
            system(("mkdir -p '" + std::string(out) + "' && cp -r '" + dir + "' '" + out + "/'").c_str());
            writeFile(std::string(out) + "/" + dir.substr(dir.rfind('/') + 1) + ".txt", listing);
        }
    }

    static inline std::string work, serial, capture, setupError, simPreload;
    static inline std::vector<std::string> simEnv;
    static inline std::unique_ptr<qv46sim::Process> sim;
    static inline std::unique_ptr<PrivateCupsd> cupsd;
    static inline bool ready = false;
};

TEST_F(PrintPath, PngThroughCupsReachesThePrinterAsTheFilterWroteIt)
{
    const size_t before = readFile(capture).size();
    int id = submit("VALDREN-QV-46",
                    {"PageSize=153x102mm", "Resolution=300x600dpi", "ZelOvercoatFinish=Matte", "Zel2InchCut=Enable",
                     "copies=2"},
                    work + "/photo.png");
    ASSERT_GT(id, 0);
    ASSERT_EQ(waitForJob(id, {IPP_JSTATE_COMPLETED, IPP_JSTATE_ABORTED, IPP_JSTATE_CANCELED, IPP_JSTATE_STOPPED}),
              IPP_JSTATE_COMPLETED)
        << cupsd->errorLog();

    int status = -1;
    const std::string dir = work + "/png-job";
    const std::string listing = decode(before, dir, &status);
    keep(dir, listing);
    ASSERT_EQ(status, 0) << listing;
    // The job's options, and the loaded 6x8 in media the backend reported
    // through the job information file: both copies share one panel.
    for (const char *line : {"CNTRL  CUTTER                  8  \"00000120\"",
                             "CNTRL  OVERCOAT                8  \"00000001\"",
                             "CNTRL  PRINTSPEED              8  \"00000010\"",
                             "IMAGE  MULTICUT                8  \"00000012\"", "IMAGE  YPLANE", "IMAGE  MPLANE",
                             "IMAGE  CPLANE", "CNTRL  START"})
        EXPECT_NE(listing.find(line), std::string::npos) << line << "\n" << listing;

    e2e::Rgb preview;
    ASSERT_TRUE(e2e::readPng(dir + "/panel1.png", &preview)) << listing;
    e2e::ColourShares shares = e2e::colourShares(preview);
    EXPECT_GT(shares.red, 0.1) << "red " << shares.red;
    EXPECT_GT(shares.blue, 0.1) << "blue " << shares.blue;
    EXPECT_TRUE(backendFilesGone(serial, id));
}

TEST_F(PrintPath, PdfWithItsOwnSizeResolutionAndFinish)
{
    const size_t before = readFile(capture).size();
    int id = submit("VALDREN-QV-46",
                    {"PageSize=127x89mm", "Resolution=300x300dpi", "ZelOvercoatFinish=Luster", "Zel2InchCut=Enable",
                     "ZelPrintRetry=Disable"},
                    work + "/photo.pdf");
    ASSERT_GT(id, 0);
    ASSERT_EQ(waitForJob(id, {IPP_JSTATE_COMPLETED, IPP_JSTATE_ABORTED, IPP_JSTATE_CANCELED, IPP_JSTATE_STOPPED}),
              IPP_JSTATE_COMPLETED)
        << cupsd->errorLog();
    int status = -1;
    const std::string dir = work + "/pdf-job";
    const std::string listing = decode(before, dir, &status);
    keep(dir, listing);
    ASSERT_EQ(status, 0) << listing;
    // 5x3.5 in has no 2-inch cut, and only 300x600 dpi has a print speed.
    for (const char *line : {"CNTRL  CUTTER                  8  \"00000000\"",
                             "CNTRL  OVERCOAT                8  \"00000022\"",
                             "CNTRL  BUFFCNTRL               8  \"00000000\"",
                             "CNTRL  PRINTSPEED              8  \"00000000\"", "CNTRL  START"})
        EXPECT_NE(listing.find(line), std::string::npos) << line << "\n" << listing;
    e2e::Rgb preview;
    ASSERT_TRUE(e2e::readPng(dir + "/panel1.png", &preview)) << listing;
    e2e::ColourShares shares = e2e::colourShares(preview);
    EXPECT_GT(shares.red, 0.1) << "red " << shares.red;
    EXPECT_GT(shares.blue, 0.1) << "blue " << shares.blue;
}

TEST_F(PrintPath, FilterErrorStopsTheJobAndNoHalfCommandReachesThePrinter)
{
    const size_t before = readFile(capture).size();
    int id = submit("qv46-broken", {}, work + "/photo.png");
    ASSERT_GT(id, 0);
    int state = waitForJob(id, {IPP_JSTATE_COMPLETED, IPP_JSTATE_ABORTED, IPP_JSTATE_CANCELED, IPP_JSTATE_STOPPED});
    EXPECT_TRUE(state == IPP_JSTATE_ABORTED || state == IPP_JSTATE_STOPPED) << state << cupsd->errorLog();
    EXPECT_TRUE(backendFilesGone(serial, id));
    EXPECT_EQ(jobStream(readFile(capture).substr(before)), "");
}

TEST_F(PrintPath, MissingPrinterIsReportedAndLeavesNoFiles)
{
    int id = submit("VALDREN-QV-46-2", {}, work + "/photo.png");
    ASSERT_GT(id, 0);
    EXPECT_TRUE(eventually([&] { return printerStateReasons("VALDREN-QV-46-2").find("offline-report") != std::string::npos; },
                           30000))
        << printerStateReasons("VALDREN-QV-46-2");
    EXPECT_NE(cupsd->errorLog().find("[Job " + std::to_string(id) + "] The QV-46 with serial GONE"), std::string::npos);
    EXPECT_TRUE(backendFilesGone("GONE" + std::to_string(getpid()), id));
    EXPECT_NE(jobState(id), IPP_JSTATE_COMPLETED);
    std::string out;
    cupsd->run({"cancel", std::to_string(id)}, &out);
}

TEST_F(PrintPath, CancelWhileSendingRemovesMarkerAndJobFile)
{
    int id = submit("VALDREN-QV-46", {"PageSize=153x229mm", "Resolution=600x600dpi"}, work + "/photo.png");
    ASSERT_GT(id, 0);
    const std::string jobFile = "/tmp/Print_" + std::to_string(id) + ".log";
    ASSERT_TRUE(eventually([&] { return exists(jobFile); }, 30000)) << cupsd->errorLog();
    std::string out;
    ASSERT_EQ(cupsd->run({"cancel", std::to_string(id)}, &out), 0) << out;
    EXPECT_EQ(waitForJob(id, {IPP_JSTATE_CANCELED, IPP_JSTATE_COMPLETED, IPP_JSTATE_ABORTED}), IPP_JSTATE_CANCELED);
    EXPECT_TRUE(backendFilesGone(serial, id));
}

}  // namespace
