// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The simulated printer seen through the real libusb code path: every check
// runs qv46-sim-probe, a plain libusb client, under the umockdev preload.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/PhotoPrinterDevice.h"
#include "qv46sim.h"

using namespace qv46sim;

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

bool Contains(const std::vector<std::string>& haystack, const std::string& line) {
  return std::find(haystack.begin(), haystack.end(), line) != haystack.end();
}

// A /tmp file name no other run uses; removed with the object.
class TempFile {
 public:
  explicit TempFile(const std::string& tag)
      : path_("/tmp/qv46sim-" + tag + "-" + std::to_string(getpid()) + "-" +
              std::to_string(++counter_)) {}
  ~TempFile() { unlink(path_.c_str()); }
  const std::string& Path() const { return path_; }
  std::vector<std::string> Lines() const { return ::Lines(ReadFile(path_)); }

 private:
  static inline int counter_ = 0;
  std::string path_;
};

struct ProbeResult {
  int exitCode;
  std::vector<std::string> out;
};

ProbeResult RunProbe(const Testbed& bed, std::vector<std::string> args, int timeoutMs = 10000) {
  TempFile out("probe");
  SpawnOptions options;
  options.stdoutFile = out.Path();
  args.insert(args.begin(), QV46_SIM_PROBE);
  Process p = bed.Spawn(args, options);
  int code = p.Wait(timeoutMs);
  return {code, out.Lines()};
}

// A probe left running; its output is watched while the test goes on.
struct RunningProbe {
  TempFile out{"probe"};
  Process process;

  RunningProbe(const Testbed& bed, std::vector<std::string> args) {
    SpawnOptions options;
    options.stdoutFile = out.Path();
    options.stdinPipe = true;
    args.insert(args.begin(), QV46_SIM_PROBE);
    process = bed.Spawn(args, options);
  }
  bool Saw(const std::string& line, int timeoutMs = 10000) {
    return WaitUntil([&] { return Contains(out.Lines(), line); }, timeoutMs);
  }
};

PrinterConfig Printer(const std::string& serial) {
  PrinterConfig c;
  c.serial = serial;
  return c;
}

std::string UniqueSerial(const std::string& tag) { return tag + std::to_string(getpid()); }

std::string Packet(const char* command, const char* parameter, const std::string& payload) {
  DeviceCmd cmd;
  EXPECT_EQ(cmd.MakeCmd(command, parameter, static_cast<int>(payload.size()), payload.data()), 0);
  return std::string(reinterpret_cast<const char*>(cmd.buffer()),
                     static_cast<std::size_t>(cmd.length()));
}

class SimTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(bed.Ok()); }
  Testbed bed;
};

// --- identity: descriptors, strings, device ID ---

struct IdentityCase {
  const char* name;
  PrinterConfig config;
  std::vector<std::string> expected;
};

void PrintTo(const IdentityCase& c, std::ostream* os) { *os << c.name; }

class Identity : public SimTest, public ::testing::WithParamInterface<IdentityCase> {};

TEST_P(Identity, ProbeReadsStringsAndDeviceId) {
  ASSERT_GT(bed.Plug(GetParam().config), 0);
  ProbeResult r = RunProbe(bed, {"list"});
  ASSERT_EQ(r.exitCode, 0);
  std::vector<std::string> expected = GetParam().expected;
  expected.push_back("end");
  EXPECT_EQ(r.out, expected);
}

PrinterConfig CustomIdentity() {
  PrinterConfig c = Printer("CUST-01");
  c.manufacturer = "Someone Else";
  c.product = "Label Writer";
  c.deviceId = "MFG:VALDREN;MDL:QV-46;";
  return c;
}

PrinterConfig LittleEndianIdLength() {
  PrinterConfig c = Printer("LE-01");
  c.deviceIdRaw = std::string("\x40\x00MANUFACTURER:VALDREN;", 23);
  return c;
}

INSTANTIATE_TEST_SUITE_P(
    Sim, Identity,
    ::testing::Values(
        IdentityCase{
            "Default",
            Printer("QV46-0001"),
            {"device manufacturer=VALDREN product=QV-46 Photo Printer serial=QV46-0001",
             "device-id 106 MANUFACTURER:VALDREN;COMMAND SET:QV46;MODEL:QV-46;CLASS:PRINTER;"
             "DESCRIPTION:VALDREN QV-46 Photo Printer;"}},
        IdentityCase{"Custom",
                     CustomIdentity(),
                     {"device manufacturer=Someone Else product=Label Writer serial=CUST-01",
                      "device-id 24 MFG:VALDREN;MDL:QV-46;"}},
        // Raw answers go out byte for byte, wrong length bytes included.
        IdentityCase{"RawDeviceId",
                     LittleEndianIdLength(),
                     {"device manufacturer=VALDREN product=QV-46 Photo Printer serial=LE-01",
                      "device-id 16384 MANUFACTURER:VALDREN;"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimTest, EveryPluggedPrinterIsListedAndUnpluggedOnesAreNot) {
  int a = bed.Plug(Printer("LIST-A"));
  int b = bed.Plug(Printer("LIST-B"));
  ASSERT_GT(b, a);
  ASSERT_TRUE(bed.Unplug(a));
  EXPECT_FALSE(bed.Unplug(a));
  EXPECT_FALSE(bed.Plugged(a));
  EXPECT_TRUE(bed.Plugged(b));
  ProbeResult r = RunProbe(bed, {"list"});
  ASSERT_EQ(r.exitCode, 0);
  EXPECT_FALSE(
      Contains(r.out, "device manufacturer=VALDREN product=QV-46 Photo Printer serial=LIST-A"));
  EXPECT_TRUE(
      Contains(r.out, "device manufacturer=VALDREN product=QV-46 Photo Printer serial=LIST-B"));
}

// --- queries: one command packet on bulk OUT, the reply on bulk IN ---

struct QueryCase {
  const char* name;
  std::function<void(Testbed&, int)> setup;
  std::vector<std::string> args;  // probe query arguments after the serial
  std::string expected;           // first line printed by the probe
};

void PrintTo(const QueryCase& c, std::ostream* os) { *os << c.name; }

class Query : public SimTest, public ::testing::WithParamInterface<QueryCase> {};

TEST_P(Query, ProbeGetsTheConfiguredReply) {
  const std::string serial = "Q" + std::to_string(getpid());
  int id = bed.Plug(Printer(serial));
  ASSERT_GT(id, 0);
  if (GetParam().setup) GetParam().setup(bed, id);
  std::vector<std::string> args = {"query", serial};
  args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
  ProbeResult r = RunProbe(bed, args);
  ASSERT_FALSE(r.out.empty());
  EXPECT_EQ(r.out[0], GetParam().expected);

  // Whatever came back, the printer saw exactly the one query.
  std::vector<ReceivedCommand> received = bed.Commands(id);
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].command, GetParam().args[1]);
  EXPECT_EQ(received[0].parameter, GetParam().args.size() > 2 ? GetParam().args[2] : "");
  EXPECT_EQ(received[0].payloadLength, 0u);
  const char* parameter = GetParam().args.size() > 2 ? GetParam().args[2].c_str() : nullptr;
  EXPECT_EQ(bed.BulkOut(id).substr(0, 32), Packet(GetParam().args[1].c_str(), parameter, ""));
}

INSTANTIATE_TEST_SUITE_P(
    Sim, Query,
    ::testing::Values(
        QueryCase{"Status",
                  nullptr,
                  {"2000", "STATUS"},
                  "reply 00000006"
                  "00000\\x0d"},
        QueryCase{"Media",
                  nullptr,
                  {"2000", "INFO", "MEDIA"},
                  "reply 00000008"
                  "MS00310\\x0d"},
        QueryCase{"SerialIsTheUsbSerial",
                  nullptr,
                  {"2000", "INFO", "SERIAL_NUMBER"},
                  "reply 0000000" + std::to_string(std::to_string(getpid()).size() + 2) + "Q" +
                      std::to_string(getpid()) + "\\x0d"},
        QueryCase{"TotalCount",
                  nullptr,
                  {"2000", "MNT_RD", "COUNTER_LIFE"},
                  "reply 00000011"
                  "CL00000123\\x0d"},
        QueryCase{"ChangedWhileRunning",
                  [](Testbed& b, int id) { b.SetReply(id, "STATUS", Reply::Value("01100")); },
                  {"2000", "STATUS"},
                  "reply 00000006"
                  "01100\\x0d"},
        // The probe stops after a header that is not a length, as the daemon does.
        QueryCase{"MalformedHeader",
                  [](Testbed& b, int id) { b.SetReply(id, "STATUS", Reply::Raw("0000AB08xyz")); },
                  {"2000", "STATUS"},
                  "reply 0000AB08"},
        QueryCase{
            "DigitsWithoutTerminator",
            [](Testbed& b, int id) { b.SetReply(id, "STATUS", Reply::Raw("0000000800000000")); },
            {"2000", "STATUS"},
            "reply 0000000800000000"},
        QueryCase{"SilentPrinter",
                  [](Testbed& b, int id) { b.SetSilent(id, true); },
                  {"200", "STATUS"},
                  "error LIBUSB_ERROR_TIMEOUT"},
        QueryCase{"SilentQuery",
                  [](Testbed& b, int id) { b.SetReply(id, "INFO FVER", Reply::Silent()); },
                  {"200", "INFO", "FVER"},
                  "error LIBUSB_ERROR_TIMEOUT"},
        QueryCase{"UnknownQuery", nullptr, {"200", "INFO", "NOSUCH"}, "error LIBUSB_ERROR_TIMEOUT"},
        // Delays far from the read timeouts, so load cannot flip the outcome.
        QueryCase{"SlowReplyWithinTimeout",
                  [](Testbed& b, int id) { b.SetReplyDelay(id, 300); },
                  {"8000", "INFO", "FVER"},
                  "reply 00000005"
                  "1.00\\x0d"},
        QueryCase{"SlowReplyPastTimeout",
                  [](Testbed& b, int id) { b.SetReplyDelay(id, 5000); },
                  {"100", "INFO", "FVER"},
                  "error LIBUSB_ERROR_TIMEOUT"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimTest, ConfiguredRepliesOverrideTheDefaults) {
  PrinterConfig c = Printer(UniqueSerial("OVR"));
  c.replies["INFO RQTY"] = Reply::Value("00000007");
  int id = bed.Plug(c);
  ASSERT_GT(id, 0);
  EXPECT_EQ(RunProbe(bed, {"query", c.serial, "2000", "INFO", "RQTY"}).out.at(0),
            "reply 00000009"
            "00000007\\x0d");
  EXPECT_EQ(RunProbe(bed, {"query", c.serial, "2000", "INFO", "MQTY"}).out.at(0),
            "reply 00000009"
            "MQTY0050\\x0d");
}

// --- the print stream on bulk OUT ---

TEST_F(SimTest, BulkOutIsCapturedWholeAndSplitIntoPackets) {
  TempFile capture("capture");
  TempFile job("job");
  PrinterConfig c = Printer(UniqueSerial("CAP"));
  c.captureFile = capture.Path();
  int id = bed.Plug(c);
  ASSERT_GT(id, 0);

  std::string plane(70000, '\0');
  for (std::size_t i = 0; i < plane.size(); ++i) plane[i] = static_cast<char>(i * 7);
  const std::string stream = Packet("CNTRL", "CUTTER", "00000120") +
                             Packet("IMAGE", "YPLANE", plane) + Packet("CNTRL", "START", "");
  std::ofstream(job.Path(), std::ios::binary) << stream;

  ProbeResult r = RunProbe(bed, {"write", c.serial, job.Path()});
  ASSERT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, std::vector<std::string>{"wrote " + std::to_string(stream.size()) + " ok"});
  EXPECT_TRUE(bed.BulkOut(id) == stream);
  EXPECT_TRUE(ReadFile(capture.Path()) == stream);

  std::vector<ReceivedCommand> received = bed.Commands(id);
  ASSERT_EQ(received.size(), 3u);
  EXPECT_EQ(received[0].command, "CNTRL");
  EXPECT_EQ(received[0].parameter, "CUTTER");
  EXPECT_EQ(received[0].payload, "00000120");
  EXPECT_EQ(received[1].parameter, "YPLANE");
  EXPECT_EQ(received[1].payloadLength, plane.size());
  EXPECT_EQ(received[1].payload, "");  // too large to keep
  EXPECT_EQ(received[2].parameter, "START");

  bed.ClearReceived(id);
  EXPECT_TRUE(bed.Commands(id).empty());
  EXPECT_TRUE(bed.BulkOut(id).empty());
}

// --- hot-plug ---

TEST_F(SimTest, HotplugArrivalAndDepartureReachALibusbCallback) {
  int first = bed.Plug(Printer(UniqueSerial("HPA")));
  RunningProbe probe(bed, {"hotplug", "3", "15000"});
  ASSERT_TRUE(probe.Saw("ready")) << "probe never registered";
  EXPECT_TRUE(probe.Saw("arrived 1-2"));  // enumerated at registration

  int second = bed.Plug(Printer(UniqueSerial("HPB")));
  ASSERT_EQ(second, first + 1);
  EXPECT_TRUE(probe.Saw("arrived 1-3"));
  ASSERT_TRUE(bed.Unplug(first));
  EXPECT_TRUE(probe.Saw("left 1-2"));
  EXPECT_EQ(probe.process.Wait(10000), 0);
  EXPECT_TRUE(Contains(probe.out.Lines(), "end 3"));
}

TEST_F(SimTest, UnplugEndsATransferInFlightAndLaterOnesFail) {
  const std::string serial = UniqueSerial("UNP");
  int id = bed.Plug(Printer(serial));
  bed.SetSilent(id, true);
  RunningProbe probe(bed, {"query", serial, "20000", "STATUS"});
  ASSERT_TRUE(WaitUntil([&] { return bed.Commands(id).size() == 1; }, 10000));
  ASSERT_TRUE(bed.Unplug(id));
  // Well before the probe's own 20 s timeout.
  ASSERT_EQ(probe.process.Wait(10000), 1);
  EXPECT_EQ(probe.out.Lines(), (std::vector<std::string>{"error LIBUSB_ERROR_NO_DEVICE",
                                                         "then LIBUSB_ERROR_NO_DEVICE"}));
}

// --- claims ---

TEST_F(SimTest, ClaimsAreTrackedAndASecondClaimIsRefused) {
  const std::string serial = UniqueSerial("CLM");
  int id = bed.Plug(Printer(serial));
  EXPECT_FALSE(bed.Claimed(id));
  {
    RunningProbe holder(bed, {"hold", serial});
    ASSERT_TRUE(holder.Saw("claim ok"));
    EXPECT_TRUE(bed.Claimed(id));
    RunningProbe intruder(bed, {"hold", serial});
    ASSERT_TRUE(intruder.Saw("claim LIBUSB_ERROR_BUSY"));
    EXPECT_EQ(bed.OpenClients(id), 2);
    holder.process.CloseStdin();
    intruder.process.CloseStdin();
    EXPECT_EQ(holder.process.Wait(10000), 0);
    EXPECT_EQ(intruder.process.Wait(10000), 0);
  }
  EXPECT_TRUE(WaitUntil([&] { return bed.OpenClients(id) == 0; }, 5000));
  EXPECT_FALSE(bed.Claimed(id));
  EXPECT_EQ(bed.ClaimCount(id), 1);
  EXPECT_EQ(bed.MaxOpenClients(id), 2);
  EXPECT_EQ(bed.MaxClaimedAtOnce(), 1);
}

// A kernel drops the claim of a process that died, also in the middle of a
// transfer; umockdev alone would keep it, and the dead reader's transfer
// would take the next reply.
TEST_F(SimTest, AKilledHoldersClaimAndTransfersGoWithIt) {
  const std::string serial = UniqueSerial("KIL");
  int id = bed.Plug(Printer(serial));
  bed.SetReply(id, "STATUS", Reply::Silent());
  RunningProbe waiting(bed, {"query", serial, "30000", "STATUS"});
  ASSERT_TRUE(WaitUntil([&] { return bed.Commands(id).size() == 1; }, 10000));
  ASSERT_TRUE(bed.Claimed(id));
  ASSERT_EQ(kill(waiting.process.Pid(), SIGKILL), 0);
  EXPECT_EQ(waiting.process.Wait(10000), 128 + SIGKILL);
  EXPECT_TRUE(WaitUntil([&] { return !bed.Claimed(id) && bed.OpenClients(id) == 0; }, 5000));
  bed.SetReply(id, "STATUS", Reply::Value("00000"));
  EXPECT_EQ(RunProbe(bed, {"query", serial, "2000", "STATUS"}).out.at(0),
            "reply 00000006"
            "00000\\x0d");
  EXPECT_EQ(bed.ClaimCount(id), 2);
}

TEST_F(SimTest, ClaimsOfTwoPrintersAtOnceAreCounted) {
  const std::string a = UniqueSerial("TWA"), b = UniqueSerial("TWB");
  bed.Plug(Printer(a));
  bed.Plug(Printer(b));
  RunningProbe first(bed, {"hold", a});
  ASSERT_TRUE(first.Saw("claim ok"));
  EXPECT_EQ(bed.MaxClaimedAtOnce(), 1);
  RunningProbe second(bed, {"hold", b});
  ASSERT_TRUE(second.Saw("claim ok"));
  EXPECT_EQ(bed.MaxClaimedAtOnce(), 2);
}

TEST_F(SimTest, AReplyLeftUnreadIsDroppedWhenItsReaderLetsGo) {
  const std::string serial = UniqueSerial("DRP");
  int id = bed.Plug(Printer(serial));
  // The malformed header makes the probe stop after 8 of the 11 bytes.
  bed.SetReply(id, "STATUS", Reply::Raw("0000AB08xyz"));
  ASSERT_EQ(RunProbe(bed, {"query", serial, "2000", "STATUS"}).out.at(0), "reply 0000AB08");
  bed.SetReply(id, "STATUS", Reply::Value("00500"));
  EXPECT_EQ(RunProbe(bed, {"query", serial, "2000", "STATUS"}).out.at(0),
            "reply 00000006"
            "00500\\x0d");
}

// --- a packet cut off by its sender ---

struct CutCase {
  const char* name;
  int receiveTimeoutMs;
  int pauseMs;           // after the first half of a packet
  std::string expected;  // the probe's first line for a query then
  std::size_t commands;  // packets the printer took in all
};

void PrintTo(const CutCase& c, std::ostream* os) { *os << c.name; }

class Cut : public SimTest, public ::testing::WithParamInterface<CutCase> {};

TEST_P(Cut, APacketWhoseBytesStopComingIsDropped) {
  const std::string serial = UniqueSerial("CUT");
  PrinterConfig config = Printer(serial);
  config.receiveTimeoutMs = GetParam().receiveTimeoutMs;
  int id = bed.Plug(config);
  TempFile half("half");
  {
    std::ofstream out(half.Path(), std::ios::binary);
    out << Packet("IMAGE", "YPLANE", std::string(1000, 'y')).substr(0, 532);
  }
  ASSERT_EQ(RunProbe(bed, {"write", serial, half.Path()}).out.at(0), "wrote 532 ok");
  std::this_thread::sleep_for(std::chrono::milliseconds(GetParam().pauseMs));
  EXPECT_EQ(RunProbe(bed, {"query", serial, "300", "STATUS"}).out.at(0), GetParam().expected);
  EXPECT_EQ(bed.Commands(id).size(), GetParam().commands);
}

INSTANTIATE_TEST_SUITE_P(
    Sim, Cut,
    ::testing::Values(CutCase{"Dropped", 100, 400,
                              "reply 00000006"
                              "00000\\x0d",
                              1},
                      // The query's bytes are taken as the rest of the payload.
                      CutCase{"KeptWhileTheSenderMayGoOn", 60000, 0, "error LIBUSB_ERROR_TIMEOUT",
                              0}),
    [](const auto& info) { return std::string(info.param.name); });

// --- printing: a START prints what came before it, unless in a fault ---

struct PrintCase {
  const char* name;
  Reply status;  // the STATUS reply while the job arrives
  int printed;   // then
  int held;
};

void PrintTo(const PrintCase& c, std::ostream* os) { *os << c.name; }

class Printing : public SimTest, public ::testing::WithParamInterface<PrintCase> {};

TEST_P(Printing, AJobReceivedInAFaultPrintsOnceTheFaultIsCleared) {
  const std::string serial = UniqueSerial("PRT");
  int id = bed.Plug(Printer(serial));
  bed.SetReply(id, "STATUS", GetParam().status);
  TempFile job("job");
  {
    std::ofstream out(job.Path(), std::ios::binary);
    out << Packet("IMAGE", "YPLANE", std::string(1000, 'y')) << Packet("CNTRL", "START", "");
  }
  ASSERT_EQ(RunProbe(bed, {"write", serial, job.Path()}).out.at(0), "wrote 1064 ok");
  EXPECT_EQ(bed.Printed(id), GetParam().printed);
  EXPECT_EQ(bed.HeldPrints(id), GetParam().held);
  bed.SetReply(id, "INFO MEDIA", Reply::Value("MS00310"));  // no change of status: still kept
  EXPECT_EQ(bed.Printed(id), GetParam().printed);
  bed.SetReply(id, "STATUS", Reply::Value("00000"));
  EXPECT_EQ(bed.Printed(id), 1);
  EXPECT_EQ(bed.HeldPrints(id), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Sim, Printing,
    ::testing::Values(PrintCase{"Ready", Reply::Value("00000"), 1, 0},
                      PrintCase{"Cooling", Reply::Value("00500"), 1, 0},
                      PrintCase{"PaperEnd", Reply::Value("01100"), 0, 1},
                      PrintCase{"DoorOpen", Reply::Value("01000"), 0, 1},
                      PrintCase{"Jam", Reply::Value("01300"), 0, 1},
                      // A printer whose status cannot be read is not known to be in a fault.
                      PrintCase{"Unreadable", Reply::Raw("0000AB08xyz"), 1, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// --- environment and the command-line simulator ---

TEST_F(SimTest, EnvironmentNamesTheTestbedAndThePreload) {
  std::vector<std::string> env = bed.Environment();
  EXPECT_TRUE(Contains(env, "UMOCKDEV_DIR=" + bed.RootDir()));
  EXPECT_TRUE(Contains(env, "LD_PRELOAD=libumockdev-preload.so.0"));
  EXPECT_TRUE(Contains(env, "TMPDIR=/tmp"));
  EXPECT_LT(bed.RootDir().size(), 40u);  // the ioctl socket path must fit 108 bytes
}

struct Cli {
  TempFile envFile{"env"};
  TempFile out{"cli"};
  Process process;

  explicit Cli(std::vector<std::string> args) {
    args.insert(args.begin(), QV46_SIM_CLI);
    args.insert(args.end(), {"--env-file", envFile.Path()});
    SpawnOptions options;
    options.stdoutFile = out.Path();
    options.stdinPipe = true;
    process = SpawnProcess(args, {}, options);
  }
  std::vector<std::string> Env() { return Lines(ReadFile(envFile.Path())); }
  bool Saw(const std::string& line) {
    return WaitUntil([&] { return Contains(out.Lines(), line); }, 10000);
  }
  ProbeResult Probe(std::vector<std::string> args) {
    TempFile probeOut("probe");
    SpawnOptions options;
    options.stdoutFile = probeOut.Path();
    args.insert(args.begin(), QV46_SIM_PROBE);
    Process p = SpawnProcess(args, Env(), options);
    int code = p.Wait(10000);
    return {code, probeOut.Lines()};
  }
};

TEST(SimCli, ServesPrintersToOtherProcessesAndObeysStdin) {
  const std::string a = UniqueSerial("CLA"), b = UniqueSerial("CLB");
  TempFile capture("capture");
  TempFile job("job");
  Cli cli({"--serial", a, "--status", "01100", "--media", "0000400", "--capture", capture.Path()});
  ASSERT_TRUE(cli.Saw("ready"));
  std::vector<std::string> env = cli.Env();
  EXPECT_TRUE(Contains(env, "LD_PRELOAD=libumockdev-preload.so.0"));
  EXPECT_TRUE(Contains(env, "TMPDIR=/tmp"));

  EXPECT_EQ(cli.Probe({"query", a, "2000", "STATUS"}).out.at(0),
            "reply 00000006"
            "01100\\x0d");
  EXPECT_EQ(cli.Probe({"query", a, "2000", "INFO", "MEDIA"}).out.at(0),
            "reply 00000008"
            "0000400\\x0d");

  const std::string stream = Packet("CNTRL", "START", "");
  std::ofstream(job.Path(), std::ios::binary) << stream;
  ASSERT_EQ(cli.Probe({"write", a, job.Path()}).exitCode, 0);
  // Everything the printer received, the two queries included.
  EXPECT_EQ(ReadFile(capture.Path()),
            Packet("STATUS", nullptr, "") + Packet("INFO", "MEDIA", "") + stream);

  ASSERT_TRUE(
      cli.process.WriteStdin("set " + a + " INFO FVER 2.05\nplug " + b + "\ncommands " + a + "\n"));
  ASSERT_TRUE(cli.Saw("ok set INFO FVER"));
  ASSERT_TRUE(cli.Saw("ok plugged " + b));
  ASSERT_TRUE(cli.Saw("command CNTRL START 0"));
  EXPECT_EQ(cli.Probe({"query", a, "2000", "INFO", "FVER"}).out.at(0),
            "reply 00000005"
            "2.05\\x0d");
  EXPECT_EQ(cli.Probe({"query", b, "2000", "STATUS"}).out.at(0),
            "reply 00000006"
            "01100\\x0d");

  ASSERT_TRUE(cli.process.WriteStdin("delay " + a + " soon\ndelay " + a + " 5\n"));
  EXPECT_TRUE(cli.Saw("error usage"));
  EXPECT_TRUE(cli.Saw("ok delay 5"));
  ASSERT_TRUE(cli.process.WriteStdin("unplug " + a + "\nunplug nobody\nfrobnicate " + a + "\n"));
  ASSERT_TRUE(cli.Saw("ok unplugged " + a));
  EXPECT_TRUE(cli.Saw("error unknown nobody"));
  EXPECT_TRUE(WaitUntil(
      [&] {
        std::vector<std::string> answers = cli.out.Lines();
        return std::count(answers.begin(), answers.end(), "error usage") == 2;
      },
      10000));
  EXPECT_EQ(cli.Probe({"query", a, "2000", "STATUS"}).out.at(0), "error no-printer");

  EXPECT_EQ(cli.process.Terminate(), 0);  // SIGTERM is a clean end
}

TEST(SimCli, EndsAtTheEndOfStdin) {
  Cli cli({"--serial", UniqueSerial("EOF")});
  ASSERT_TRUE(cli.Saw("ready"));
  cli.process.CloseStdin();
  EXPECT_EQ(cli.process.Wait(10000), 0);
}

TEST(SimCli, RefusesBadOptions) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--frobnicate", "1"}, {"--delay", "soon"}, {"--delay", "-5"}}) {
    Cli cli(args);
    EXPECT_EQ(cli.process.Wait(10000), 2) << args[0];
  }
}

// --- child processes ---

struct SpawnCase {
  const char* name;
  std::vector<std::string> env;
  std::vector<std::string> extraEnv;
  std::string script;
  int expectedExit;
  std::string expectedOut;
};

void PrintTo(const SpawnCase& c, std::ostream* os) { *os << c.name; }

class Spawn : public ::testing::TestWithParam<SpawnCase> {};

TEST_P(Spawn, ChildSeesTheMergedEnvironmentAndReportsItsEnd) {
  TempFile out("spawn");
  SpawnOptions options;
  options.extraEnv = GetParam().extraEnv;
  options.stdoutFile = out.Path();
  Process p = SpawnProcess({"sh", "-c", GetParam().script}, GetParam().env, options);
  ASSERT_TRUE(p.Started());
  EXPECT_EQ(p.Wait(10000), GetParam().expectedExit);
  EXPECT_FALSE(p.Running());
  EXPECT_EQ(ReadFile(out.Path()), GetParam().expectedOut);
}

INSTANTIATE_TEST_SUITE_P(
    Sim, Spawn,
    ::testing::Values(
        SpawnCase{"ExitCode", {}, {}, "exit 7", 7, ""},
        SpawnCase{"KilledBySignal", {}, {}, "kill -KILL $$", 128 + 9, ""},
        SpawnCase{"EnvAdded", {"QV46SIM_A=one"}, {}, "echo $QV46SIM_A", 0, "one\n"},
        SpawnCase{"ParentVariableReplaced", {"HOME=/qv46sim"}, {}, "echo $HOME", 0, "/qv46sim\n"},
        SpawnCase{"ParentVariableKept", {}, {}, "echo ${PATH:+set}", 0, "set\n"},
        SpawnCase{
            "ExtraEnvWins", {"QV46SIM_A=one"}, {"QV46SIM_A=two"}, "echo $QV46SIM_A", 0, "two\n"},
        SpawnCase{"LaterEntryWins",
                  {"QV46SIM_A=one", "QV46SIM_A=three"},
                  {},
                  "echo $QV46SIM_A",
                  0,
                  "three\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SimProcess, TerminateEndsAChildThatKeepsRunning) {
  Process p = SpawnProcess({"sleep", "30"}, {});
  ASSERT_TRUE(p.Running());
  EXPECT_EQ(p.Wait(50), -1);
  EXPECT_EQ(p.Terminate(), 128 + 15);
  EXPECT_FALSE(p.Running());
}

TEST(SimProcess, MissingProgramIsNotStarted) {
  Process p = SpawnProcess({"/nonexistent/qv46sim-program"}, {});
  EXPECT_FALSE(p.Started());
}

}  // namespace
