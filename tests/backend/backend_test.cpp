// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The backend's job run and discovery, on a fake bus and a private /tmp.
#include "Backend.h"

#include <cups/backend.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "DeviceUri.h"
#include "FakeBus.h"
#include "common/PhotoPrinterDevice.h"
#include "common/Serial.h"

using namespace zelbackend;

namespace {

std::string Packet(const char* command, const char* parameter, const std::string& payload) {
  DeviceCmd cmd;
  EXPECT_EQ(cmd.MakeCmd(command, parameter, static_cast<int>(payload.size()),
                        payload.empty() ? nullptr : payload.data()),
            0);
  return std::string(reinterpret_cast<const char*>(cmd.buffer()),
                     static_cast<size_t>(cmd.length()));
}

// A job stream of the filter's shape: control commands, a big plane, start.
std::string SampleStream() {
  std::string plane(70000 - 32, '\0');
  for (size_t i = 0; i < plane.size(); ++i) plane[i] = static_cast<char>(i % 251);
  return Packet("CNTRL", "CUTTER", "00000120") + Packet("CNTRL", "BUFFCNTRL", "00000001") +
         Packet("IMAGE", "YPLANE", plane) + Packet("CNTRL", "START", "");
}

void WriteAll(int fd, const std::string& bytes) {
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) return;  // the backend stopped reading
    done += static_cast<size_t>(n);
  }
}

// This process's peak resident memory in KiB since the last ResetPeak().
long PeakKiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

bool Exists(const std::string& p) {
  struct stat st;
  return lstat(p.c_str(), &st) == 0;
}

std::string ReadFile(const std::string& p) {
  std::ifstream in(p);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class BackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/qv46-backend-test-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    services.bus = &bus;
    services.messages = &messages;
    services.cancelled = [this] { return cancelFlag; };
    services.sleepMs = [this](int ms) { clock += ms; };
    services.nowMs = [this] { return clock; };
    services.tmpDir = dir;
    services.claimWaitMs = 3000;
    services.claimRetryMs = 500;
    job.id = "42";
    job.uri = MakeBackendUri("SER2");
    services.spoolDir = dir;
    signal(SIGPIPE, SIG_IGN);  // a refused stream leaves its writer with no reader
  }
  void TearDown() override {
    CloseInput();
    system(("rm -rf '" + dir + "'").c_str());
  }

  std::shared_ptr<FakePrinter> AddPrinter(const std::string& serial) {
    bus.printers.push_back(std::make_shared<FakePrinter>(serial));
    return bus.printers.back();
  }

  void SetInput(const std::string& bytes) {
    const std::string path = dir + "/input";
    std::ofstream(path, std::ios::binary) << bytes;
    job.inputFd = open(path.c_str(), O_RDONLY);
    ASSERT_GE(job.inputFd, 0);
  }

  // The input as CUPS hands the filter's output over: a pipe, which a
  // thread fills with what `feed` writes.
  void SetPipeInput(const std::function<void(int fd)>& feed) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    job.inputFd = fds[0];
    writer = std::thread([feed, fd = fds[1]] {
      feed(fd);
      close(fd);
    });
  }

  void CloseInput() {
    if (job.inputFd > 0) close(job.inputFd);
    job.inputFd = -1;
    if (writer.joinable()) writer.join();
  }

  std::string Marker() const { return PauseMarkerPath(dir, "SER2", job.id); }
  std::string JobFile() const { return JobInfoPath(dir, job.id); }
  std::string WaitFile() const { return BackendWaitPath(dir, job.id); }

  FakeBus bus;
  std::ostringstream messages;
  bool cancelFlag = false;
  int64_t clock = 0;
  Services services;
  Job job;
  std::string dir;
  std::thread writer;
};

TEST_F(BackendTest, CarriesTheStreamUnchangedToThePrinterOfTheUri) {
  auto other = AddPrinter("SER1");
  auto printer = AddPrinter("SER2");
  const std::string stream = SampleStream();
  SetInput(stream);
  bool markerWhileSending = false;
  std::string jobInfoWhileSending;
  printer->onStreamTransfer = [&] {
    markerWhileSending = Exists(Marker()) && !Exists(WaitFile());
    jobInfoWhileSending = ReadFile(JobFile());
  };

  EXPECT_EQ(RunJob(services, job), CUPS_BACKEND_OK) << messages.str();

  EXPECT_EQ(printer->stream, stream);
  // One write per packet: 40, 40, the plane as 65536 + 4208 + 256, 32.
  EXPECT_EQ(printer->transfers, (std::vector<int>{40, 40, 65536, 4208, 256, 32}));
  EXPECT_TRUE(other->stream.empty());
  EXPECT_FALSE(other->claimed);
  EXPECT_FALSE(printer->claimed);
  EXPECT_EQ(printer->queries,
            (std::vector<std::string>{"INFO SERIAL_NUMBER", "INFO MEDIA", "INFO RQTY"}));

  EXPECT_TRUE(markerWhileSending);
  EXPECT_EQ(jobInfoWhileSending,
            "#MEDIA_INFORMATION\nMEDIA_SIZE=\"00310\"\nMEDIA_REMAIN_HALF=\"0101\"\n");
  EXPECT_FALSE(Exists(Marker()));
  EXPECT_FALSE(Exists(JobFile()));
  EXPECT_NE(messages.str().find("STATE: -connecting-to-device\n"), std::string::npos);
}

TEST_F(BackendTest, JobInformationFileKeepsEmptyValuesForQueriesThatFail) {
  auto printer = AddPrinter("SER2");
  printer->replies["INFO MEDIA"] = "";                  // no answer
  printer->replies["INFO RQTY"] = ReplyPacket("0001");  // nothing after the fourth character
  SetInput(Packet("CNTRL", "START", ""));
  std::string jobInfo;
  printer->onStreamTransfer = [&] { jobInfo = ReadFile(JobFile()); };
  EXPECT_EQ(RunJob(services, job), CUPS_BACKEND_OK) << messages.str();
  EXPECT_EQ(jobInfo, "#MEDIA_INFORMATION\nMEDIA_SIZE=\"\"\nMEDIA_REMAIN_HALF=\"\"\n");
}

TEST_F(BackendTest, NeverLetsTheFilterReadAStaleJobFile) {
  auto printer = AddPrinter("SER2");
  std::ofstream(JobFile()) << "MEDIA_SIZE=\"00400\"\nMEDIA_REMAIN_HALF=\"7\"\n";
  SetInput(Packet("CNTRL", "START", ""));
  std::string jobInfo;
  printer->onStreamTransfer = [&] { jobInfo = ReadFile(JobFile()); };
  EXPECT_EQ(RunJob(services, job), CUPS_BACKEND_OK) << messages.str();
  EXPECT_EQ(jobInfo, "#MEDIA_INFORMATION\nMEDIA_SIZE=\"00310\"\nMEDIA_REMAIN_HALF=\"0101\"\n");
  EXPECT_FALSE(Exists(JobFile()));
}

// Absent, busy or not answering yet: the backend says so and prints as soon
// as its printer answers; the filter's job information file comes only then.
TEST_F(BackendTest, WaitsForItsPrinterAndPrintsAsSoonAsItAnswers) {
  const std::string stream = SampleStream();
  const struct Case {
    const char* name;
    std::function<void(FakePrinter&)> spoil;
    std::function<void(FakePrinter&)> mend;  // 2 s into the wait
    int64_t waited;
  } cases[] = {
      {"ready", [](FakePrinter&) {}, [](FakePrinter&) {}, 0},
      {"plugged in later", [this](FakePrinter&) { bus.printers.pop_back(); },
       [this](FakePrinter&) { AddPrinter("SER2"); }, 2000},
      {"busy", [](FakePrinter& p) { p.busyOpens = 1000; }, [](FakePrinter& p) { p.busyOpens = 0; },
       2000},
      {"serial reply garbled",
       [](FakePrinter& p) { p.replies["INFO SERIAL_NUMBER"] = "0000004SER2\r"; },
       [](FakePrinter& p) { p.replies["INFO SERIAL_NUMBER"] = ReplyPacket("SER2"); }, 2000},
      {"silent", [](FakePrinter& p) { p.replies.clear(); },
       [](FakePrinter& p) { p.replies = FakePrinter("SER2").replies; }, 2000},
  };
  for (const Case& c : cases) {
    bus.printers.clear();
    clock = 0;
    messages.str("");
    AddPrinter("SER1");
    c.spoil(*AddPrinter("SER2"));
    bool mended = false, jobFileWhileWaiting = false, saidItWaits = true;
    services.sleepMs = [&](int ms) {
      jobFileWhileWaiting = jobFileWhileWaiting || Exists(JobFile());
      // The filter waits as long as this names a live process.
      saidItWaits = saidItWaits && ReadFile(WaitFile()) == std::to_string(getpid()) + "\n";
      clock += ms;
      if (clock >= 2000 && !mended) {
        mended = true;
        c.mend(*bus.printers.back());
      }
    };
    SetInput(stream);
    EXPECT_EQ(RunJob(services, job), CUPS_BACKEND_OK) << c.name << "\n" << messages.str();
    EXPECT_EQ(bus.printers.back()->stream, stream) << c.name;
    EXPECT_EQ(clock, c.waited) << c.name;
    EXPECT_FALSE(jobFileWhileWaiting) << c.name;
    EXPECT_TRUE(saidItWaits) << c.name;
    EXPECT_FALSE(Exists(WaitFile())) << c.name;
    EXPECT_NE(messages.str().find("STATE: +connecting-to-device\n"), std::string::npos);
    EXPECT_EQ(
        messages.str().find("INFO: Waiting for the QV-46 with serial SER2") != std::string::npos,
        c.waited > 0)
        << c.name << "\n"
        << messages.str();
    EXPECT_NE(messages.str().find("STATE: -connecting-to-device\n"), std::string::npos);
    EXPECT_FALSE(Exists(Marker()));
    EXPECT_FALSE(Exists(JobFile()));
    close(job.inputFd);
    job.inputFd = -1;
  }
}

// Another job's printer is skipped at once, and looked at again only while
// the backend's own printer has not been found.
TEST_F(BackendTest, NeverWaitsOnAnotherJobsPrinter) {
  const struct Case {
    int busyOther, busyOwn;
    int64_t waited;
  } cases[] = {{1000, 0, 0}, {0, 3, 1500}, {1000, 3, 1500}};
  for (const Case& c : cases) {
    bus.printers.clear();
    clock = 0;
    AddPrinter("SER1")->busyOpens = c.busyOther;
    AddPrinter("SER2")->busyOpens = c.busyOwn;
    SetInput(Packet("CNTRL", "START", ""));
    EXPECT_EQ(RunJob(services, job), CUPS_BACKEND_OK) << messages.str();
    EXPECT_EQ(clock, c.waited) << c.busyOther << " " << c.busyOwn;
    EXPECT_EQ(bus.printers.back()->stream, Packet("CNTRL", "START", ""));
    close(job.inputFd);
    job.inputFd = -1;
  }
}

TEST_F(BackendTest, CancelWhileWaitingLeavesNoFilesAndSendsNothing) {
  auto printer = AddPrinter("SER2");
  printer->busyOpens = 1000;
  services.sleepMs = [&](int ms) { cancelFlag = (clock += ms) >= 5000; };
  SetInput(SampleStream());
  EXPECT_EQ(RunJob(services, job), CUPS_BACKEND_CANCEL);
  EXPECT_TRUE(printer->stream.empty());
  EXPECT_FALSE(Exists(WaitFile()));
  EXPECT_FALSE(Exists(Marker()));
  EXPECT_FALSE(Exists(JobFile()));
}

// CUPS shares the backend's stderr with the filters: a line written in
// two pieces can be glued to another program's text.
TEST_F(BackendTest, EveryMessageLineIsOneWrite) {
  struct Recorder : std::streambuf {
    std::vector<std::string> writes;
    std::streamsize xsputn(const char* text, std::streamsize n) override {
      writes.emplace_back(text, static_cast<size_t>(n));
      return n;
    }
    int overflow(int c) override {
      if (c != EOF) writes.emplace_back(1, static_cast<char>(c));
      return c;
    }
  } recorder;
  std::ostream unbuffered(&recorder);
  services.messages = &unbuffered;
  AddPrinter("SER2")->busyOpens = 2;
  SetInput(SampleStream());
  EXPECT_EQ(RunJob(services, job), CUPS_BACKEND_OK);
  WriteLine(unbuffered, "ERROR: from main");
  ASSERT_GE(recorder.writes.size(), 6u);
  for (const std::string& write : recorder.writes)
    EXPECT_TRUE(write.size() > 1 && write.find('\n') == write.size() - 1) << write;
}

TEST_F(BackendTest, FailuresReportToCupsAndLeaveNoFilesBehind) {
  const std::string stream = SampleStream();
  const struct Case {
    const char* name;
    std::function<void()> arrange;
    std::string input;
    int result;
    const char* message;
    size_t streamSent;
  } cases[] = {
      {"unplugged while sending", [&] { AddPrinter("SER2")->failAfterBytes = 65536 + 80; }, stream,
       CUPS_BACKEND_FAILED, "ERROR: Sending to the printer failed: LIBUSB_ERROR_NO_DEVICE",
       80 + 65536},
      {"cancelled while sending",
       [&] {
         FakePrinter* p = AddPrinter("SER2").get();
         p->onStreamTransfer = [this, p] { cancelFlag = p->transfers.size() >= 3; };
       },
       // The plane in flight goes out whole; nothing after it.
       stream, CUPS_BACKEND_CANCEL, "", 80 + 70000},
      {"stream cut inside a packet", [&] { AddPrinter("SER2"); }, stream.substr(0, 70000),
       CUPS_BACKEND_FAILED, "ERROR: The print data ended inside a command", 80},
      {"a plane announcing more than it holds", [&] { AddPrinter("SER2"); },
       stream.substr(0, 80) + Packet("IMAGE", "YPLANE", std::string(200000, 'y')).substr(0, 150000),
       CUPS_BACKEND_FAILED, "ERROR: The print data ended inside a command", 80},
      {"stream cut inside a header", [&] { AddPrinter("SER2"); }, stream.substr(0, 80 + 20),
       CUPS_BACKEND_FAILED, "ERROR: The print data ended inside a command", 80},
      {"not a command stream", [&] { AddPrinter("SER2"); }, "%PDF-1.4\n" + std::string(100, 'x'),
       CUPS_BACKEND_FAILED, "ERROR: The print data is not a QV-46 command stream", 0},
  };
  // A print file can be measured; a pipe holds a packet only once it is read.
  for (const bool pipeInput : {false, true}) {
    for (const Case& c : cases) {
      const std::string name = c.name + std::string(pipeInput ? " (pipe)" : " (file)");
      bus.printers.clear();
      messages.str("");
      cancelFlag = false;
      c.arrange();
      if (pipeInput)
        SetPipeInput([&c](int fd) { WriteAll(fd, c.input); });
      else
        SetInput(c.input);
      EXPECT_EQ(RunJob(services, job), c.result) << name << "\n" << messages.str();
      EXPECT_NE(messages.str().find(c.message), std::string::npos) << name << "\n"
                                                                   << messages.str();
      size_t sent = 0;
      for (const auto& p : bus.printers) sent += p->stream.size();
      EXPECT_EQ(sent, c.streamSent) << name;
      EXPECT_FALSE(Exists(Marker())) << name;
      EXPECT_FALSE(Exists(JobFile())) << name;
      CloseInput();
    }
  }
}

// The printer takes a packet in transfers of at most 64 KiB, so that is all
// the backend holds of it, however much a packet announces.
TEST_F(BackendTest, MemoryStaysBoundedByTheTransferNotByThePacket) {
  constexpr long kPlane = 48L << 20;
  auto printer = AddPrinter("SER2");
  printer->keepStream = false;
  SetPipeInput([](int fd) {
    uint8_t header[kCmdHeaderSize];
    WriteCmdHeader(header, "IMAGE", "YPLANE", kPlane);
    WriteAll(fd, std::string(reinterpret_cast<char*>(header), sizeof header));
    const std::string piece(1 << 20, 'p');
    for (long i = 0; i < kPlane / static_cast<long>(piece.size()); ++i) WriteAll(fd, piece);
    WriteAll(fd, Packet("CNTRL", "START", ""));
  });
  ResetPeak();
  const long before = PeakKiB();
  EXPECT_EQ(RunJob(services, job), CUPS_BACKEND_OK) << messages.str();
  EXPECT_LT(PeakKiB() - before, 8 * 1024);
  EXPECT_EQ(printer->streamBytes, static_cast<size_t>(kCmdHeaderSize + kPlane + kCmdHeaderSize));
  // Chunked as one write: 64 KiB transfers, the rest but 256, then 256, then START.
  ASSERT_GE(printer->transfers.size(), 4u);
  EXPECT_EQ(printer->transfers.front(), 65536);
  EXPECT_EQ(printer->transfers[printer->transfers.size() - 2], 256);
}

TEST_F(BackendTest, UnreadableInputFailsTheJob) {
  AddPrinter("SER2");
  job.inputFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY);  // read() fails with EISDIR
  ASSERT_GE(job.inputFd, 0);
  EXPECT_EQ(RunJob(services, job), CUPS_BACKEND_FAILED);
  EXPECT_NE(messages.str().find("ERROR: Reading the print data failed: Is a directory"),
            std::string::npos)
      << messages.str();
  EXPECT_FALSE(Exists(Marker()));
}

TEST_F(BackendTest, RefusesUrisAndJobIdsItCannotUse) {
  AddPrinter("SER2");
  SetInput(Packet("CNTRL", "START", ""));
  job.uri = "valdren-zelbackend://VALDREN/QV-46?serial=";
  EXPECT_EQ(RunJob(services, job), CUPS_BACKEND_STOP);
  job.uri = MakeBackendUri("SER2");
  job.id = "../etc/passwd";
  EXPECT_EQ(RunJob(services, job), CUPS_BACKEND_FAILED);
  EXPECT_TRUE(bus.printers[0]->stream.empty());
  EXPECT_EQ(bus.printers[0]->opens, 0);
}

TEST_F(BackendTest, TwoJobsForTwoPrintersUseTheirOwnFiles) {
  auto a = AddPrinter("SER1");
  auto b = AddPrinter("SER2");
  EXPECT_NE(PauseMarkerPath(dir, "SER1", "5"), PauseMarkerPath(dir, "SER2", "6"));
  EXPECT_NE(PauseMarkerPath(dir, "SER2", "5"), PauseMarkerPath(dir, "SER2", "6"));
  // Job 6 for SER2 runs while job 5 for SER1 is sending: 5's files stay.
  Job other = job;
  other.id = "5";
  other.uri = MakeBackendUri("SER1");
  SetInput(Packet("CNTRL", "START", ""));
  other.inputFd = job.inputFd;
  job.id = "6";
  bool seenOwn = false, othersKept = false;
  b->onStreamTransfer = [&] {
    seenOwn = Exists(PauseMarkerPath(dir, "SER2", "6")) && Exists(JobInfoPath(dir, "6"));
  };
  a->onStreamTransfer = [&] {
    lseek(job.inputFd, 0, SEEK_SET);
    Services inner = services;
    EXPECT_EQ(RunJob(inner, job), CUPS_BACKEND_OK);
    othersKept = Exists(PauseMarkerPath(dir, "SER1", "5")) && Exists(JobInfoPath(dir, "5"));
  };
  EXPECT_EQ(RunJob(services, other), CUPS_BACKEND_OK) << messages.str();
  EXPECT_TRUE(seenOwn);
  EXPECT_TRUE(othersKept);
}

TEST_F(BackendTest, SendsAPrintFileOncePerCopy) {
  auto printer = AddPrinter("SER2");
  const std::string stream = Packet("CNTRL", "CUTTER", "00000000") + Packet("CNTRL", "START", "");
  SetInput(stream);
  job.copies = 3;
  EXPECT_EQ(RunJob(services, job), CUPS_BACKEND_OK) << messages.str();
  EXPECT_EQ(printer->stream, stream + stream + stream);
}

TEST_F(BackendTest, DiscoveryListsEachPrinterWithItsSerialUri) {
  AddPrinter("SER1");
  AddPrinter("")->replies["INFO SERIAL_NUMBER"] = ReplyPacket("");  // nothing to find it by
  auto busy = AddPrinter("SER3");
  busy->busyOpens = 1;
  busy->deviceId = "MANUFACTURER:VALDREN;MODEL:\"QV-46\";";
  AddPrinter("S 4#%");
  AddPrinter("a/b");  // could name no file in /tmp
  std::ostringstream out;
  EXPECT_EQ(Discover(services, out), 0);
  EXPECT_EQ(out.str(),
            "direct valdren-zelbackend://VALDREN/QV-46?serial=SER1 \"VALDREN QV-46\" \"VALDREN "
            "QV-46 (SER1)\" "
            "\"MANUFACTURER:VALDREN;MODEL:QV-46;\" \"\"\n"
            "direct valdren-zelbackend://VALDREN/QV-46?serial=SER3 \"VALDREN QV-46\" \"VALDREN "
            "QV-46 (SER3)\" "
            "\"MANUFACTURER:VALDREN;MODEL:QV-46;\" \"\"\n"
            "direct valdren-zelbackend://VALDREN/QV-46?serial=S%204%23%25 \"VALDREN QV-46\" "
            "\"VALDREN QV-46 (S 4#%)\" \"MANUFACTURER:VALDREN;MODEL:QV-46;\" \"\"\n");
  for (const auto& p : bus.printers) EXPECT_FALSE(p->claimed);
}

}  // namespace
