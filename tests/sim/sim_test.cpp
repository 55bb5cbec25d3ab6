// The simulated printer seen through the real libusb code path: every check
// runs qv46-sim-probe, a plain libusb client, under the umockdev preload.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/PhotoPrinterDevice.h"
#include "qv46sim.h"

using namespace qv46sim;

namespace {

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

bool contains(const std::vector<std::string>& haystack, const std::string& line) {
  return std::find(haystack.begin(), haystack.end(), line) != haystack.end();
}

// A /tmp file name no other run uses; removed with the object.
class TempFile {
 public:
  explicit TempFile(const std::string& tag)
      : path_("/tmp/qv46sim-" + tag + "-" + std::to_string(getpid()) + "-" +
              std::to_string(++counter_)) {}
  ~TempFile() { unlink(path_.c_str()); }
  const std::string& path() const { return path_; }
  std::vector<std::string> lines() const { return ::lines(readFile(path_)); }

 private:
  static inline int counter_ = 0;
  std::string path_;
};

struct ProbeResult {
  int exitCode;
  std::vector<std::string> out;
};

ProbeResult runProbe(const Testbed& bed, std::vector<std::string> args, int timeoutMs = 10000) {
  TempFile out("probe");
  SpawnOptions options;
  options.stdoutFile = out.path();
  args.insert(args.begin(), QV46_SIM_PROBE);
  Process p = bed.spawn(args, options);
  int code = p.wait(timeoutMs);
  return {code, out.lines()};
}

// A probe left running; its output is watched while the test goes on.
struct RunningProbe {
  TempFile out{"probe"};
  Process process;

  RunningProbe(const Testbed& bed, std::vector<std::string> args) {
    SpawnOptions options;
    options.stdoutFile = out.path();
    options.stdinPipe = true;
    args.insert(args.begin(), QV46_SIM_PROBE);
    process = bed.spawn(args, options);
  }
  bool saw(const std::string& line, int timeoutMs = 10000) {
    return waitUntil([&] { return contains(out.lines(), line); }, timeoutMs);
  }
};

PrinterConfig printer(const std::string& serial) {
  PrinterConfig c;
  c.serial = serial;
  return c;
}

std::string uniqueSerial(const std::string& tag) { return tag + std::to_string(getpid()); }

std::string packet(const char* command, const char* parameter, const std::string& payload) {
  DeviceCmd cmd;
  EXPECT_EQ(cmd.MakeCmd(command, parameter, static_cast<int>(payload.size()), payload.data()), 0);
  return std::string(reinterpret_cast<const char*>(cmd.buffer()),
                     static_cast<std::size_t>(cmd.length()));
}

class SimTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(bed.ok()); }
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
  ASSERT_GT(bed.plug(GetParam().config), 0);
  ProbeResult r = runProbe(bed, {"list"});
  ASSERT_EQ(r.exitCode, 0);
  std::vector<std::string> expected = GetParam().expected;
  expected.push_back("end");
  EXPECT_EQ(r.out, expected);
}

PrinterConfig customIdentity() {
  PrinterConfig c = printer("CUST-01");
  c.manufacturer = "Someone Else";
  c.product = "Label Writer";
  c.deviceId = "MFG:VALDREN;MDL:QV-46;";
  return c;
}

PrinterConfig littleEndianIdLength() {
  PrinterConfig c = printer("LE-01");
  c.deviceIdRaw = std::string("\x40\x00MANUFACTURER:VALDREN;", 23);
  return c;
}

INSTANTIATE_TEST_SUITE_P(
    Sim, Identity,
    ::testing::Values(
        IdentityCase{
            "Default",
            printer("QV46-0001"),
            {"device manufacturer=VALDREN product=QV-46 Photo Printer serial=QV46-0001",
             "device-id 106 MANUFACTURER:VALDREN;COMMAND SET:QV46;MODEL:QV-46;CLASS:PRINTER;"
             "DESCRIPTION:VALDREN QV-46 Photo Printer;"}},
        IdentityCase{"Custom",
                     customIdentity(),
                     {"device manufacturer=Someone Else product=Label Writer serial=CUST-01",
                      "device-id 24 MFG:VALDREN;MDL:QV-46;"}},
        // Raw answers go out byte for byte, wrong length bytes included.
        IdentityCase{"RawDeviceId",
                     littleEndianIdLength(),
                     {"device manufacturer=VALDREN product=QV-46 Photo Printer serial=LE-01",
                      "device-id 16384 MANUFACTURER:VALDREN;"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimTest, EveryPluggedPrinterIsListedAndUnpluggedOnesAreNot) {
  int a = bed.plug(printer("LIST-A"));
  int b = bed.plug(printer("LIST-B"));
  ASSERT_GT(b, a);
  ASSERT_TRUE(bed.unplug(a));
  EXPECT_FALSE(bed.unplug(a));
  EXPECT_FALSE(bed.plugged(a));
  EXPECT_TRUE(bed.plugged(b));
  ProbeResult r = runProbe(bed, {"list"});
  ASSERT_EQ(r.exitCode, 0);
  EXPECT_FALSE(
      contains(r.out, "device manufacturer=VALDREN product=QV-46 Photo Printer serial=LIST-A"));
  EXPECT_TRUE(
      contains(r.out, "device manufacturer=VALDREN product=QV-46 Photo Printer serial=LIST-B"));
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
  int id = bed.plug(printer(serial));
  ASSERT_GT(id, 0);
  if (GetParam().setup) GetParam().setup(bed, id);
  std::vector<std::string> args = {"query", serial};
  args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
  ProbeResult r = runProbe(bed, args);
  ASSERT_FALSE(r.out.empty());
  EXPECT_EQ(r.out[0], GetParam().expected);

  // Whatever came back, the printer saw exactly the one query.
  std::vector<ReceivedCommand> received = bed.commands(id);
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].command, GetParam().args[1]);
  EXPECT_EQ(received[0].parameter, GetParam().args.size() > 2 ? GetParam().args[2] : "");
  EXPECT_EQ(received[0].payloadLength, 0u);
  const char* parameter = GetParam().args.size() > 2 ? GetParam().args[2].c_str() : nullptr;
  EXPECT_EQ(bed.bulkOut(id).substr(0, 32), packet(GetParam().args[1].c_str(), parameter, ""));
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
                  "0000310\\x0d"},
        QueryCase{"SerialIsTheUsbSerial",
                  nullptr,
                  {"2000", "INFO", "SERIAL_NUMBER"},
                  "reply 0000000" + std::to_string(std::to_string(getpid()).size() + 2) + "Q" +
                      std::to_string(getpid()) + "\\x0d"},
        QueryCase{"TotalCount",
                  nullptr,
                  {"2000", "MNT_RD", "COUNTER_LIFE"},
                  "reply 00000011"
                  "0000000123\\x0d"},
        QueryCase{"ChangedWhileRunning",
                  [](Testbed& b, int id) { b.setReply(id, "STATUS", Reply::value("01100")); },
                  {"2000", "STATUS"},
                  "reply 00000006"
                  "01100\\x0d"},
        // The probe stops after a header that is not a length, as the daemon does.
        QueryCase{"MalformedHeader",
                  [](Testbed& b, int id) { b.setReply(id, "STATUS", Reply::raw("0000AB08xyz")); },
                  {"2000", "STATUS"},
                  "reply 0000AB08"},
        QueryCase{
            "DigitsWithoutTerminator",
            [](Testbed& b, int id) { b.setReply(id, "STATUS", Reply::raw("0000000800000000")); },
            {"2000", "STATUS"},
            "reply 0000000800000000"},
        QueryCase{"SilentPrinter",
                  [](Testbed& b, int id) { b.setSilent(id, true); },
                  {"200", "STATUS"},
                  "error LIBUSB_ERROR_TIMEOUT"},
        QueryCase{"SilentQuery",
                  [](Testbed& b, int id) { b.setReply(id, "INFO FVER", Reply::silent()); },
                  {"200", "INFO", "FVER"},
                  "error LIBUSB_ERROR_TIMEOUT"},
        QueryCase{"UnknownQuery", nullptr, {"200", "INFO", "NOSUCH"}, "error LIBUSB_ERROR_TIMEOUT"},
        // Delays far from the read timeouts, so load cannot flip the outcome.
        QueryCase{"SlowReplyWithinTimeout",
                  [](Testbed& b, int id) { b.setReplyDelay(id, 300); },
                  {"8000", "INFO", "FVER"},
                  "reply 00000005"
                  "1.00\\x0d"},
        QueryCase{"SlowReplyPastTimeout",
                  [](Testbed& b, int id) { b.setReplyDelay(id, 5000); },
                  {"100", "INFO", "FVER"},
                  "error LIBUSB_ERROR_TIMEOUT"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimTest, ConfiguredRepliesOverrideTheDefaults) {
  PrinterConfig c = printer(uniqueSerial("OVR"));
  c.replies["INFO RQTY"] = Reply::value("00000007");
  int id = bed.plug(c);
  ASSERT_GT(id, 0);
  EXPECT_EQ(runProbe(bed, {"query", c.serial, "2000", "INFO", "RQTY"}).out.at(0),
            "reply 00000009"
            "00000007\\x0d");
  EXPECT_EQ(runProbe(bed, {"query", c.serial, "2000", "INFO", "MQTY"}).out.at(0),
            "reply 00000009"
            "00000050\\x0d");
}

// --- the print stream on bulk OUT ---

TEST_F(SimTest, BulkOutIsCapturedWholeAndSplitIntoPackets) {
  TempFile capture("capture");
  TempFile job("job");
  PrinterConfig c = printer(uniqueSerial("CAP"));
  c.captureFile = capture.path();
  int id = bed.plug(c);
  ASSERT_GT(id, 0);

  std::string plane(70000, '\0');
  for (std::size_t i = 0; i < plane.size(); ++i) plane[i] = static_cast<char>(i * 7);
  const std::string stream = packet("CNTRL", "CUTTER", "00000120") +
                             packet("IMAGE", "YPLANE", plane) + packet("CNTRL", "START", "");
  std::ofstream(job.path(), std::ios::binary) << stream;

  ProbeResult r = runProbe(bed, {"write", c.serial, job.path()});
  ASSERT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, std::vector<std::string>{"wrote " + std::to_string(stream.size()) + " ok"});
  EXPECT_TRUE(bed.bulkOut(id) == stream);
  EXPECT_TRUE(readFile(capture.path()) == stream);

  std::vector<ReceivedCommand> received = bed.commands(id);
  ASSERT_EQ(received.size(), 3u);
  EXPECT_EQ(received[0].command, "CNTRL");
  EXPECT_EQ(received[0].parameter, "CUTTER");
  EXPECT_EQ(received[0].payload, "00000120");
  EXPECT_EQ(received[1].parameter, "YPLANE");
  EXPECT_EQ(received[1].payloadLength, plane.size());
  EXPECT_EQ(received[1].payload, "");  // too large to keep
  EXPECT_EQ(received[2].parameter, "START");

  bed.clearReceived(id);
  EXPECT_TRUE(bed.commands(id).empty());
  EXPECT_TRUE(bed.bulkOut(id).empty());
}

// --- hot-plug ---

TEST_F(SimTest, HotplugArrivalAndDepartureReachALibusbCallback) {
  int first = bed.plug(printer(uniqueSerial("HPA")));
  RunningProbe probe(bed, {"hotplug", "3", "15000"});
  ASSERT_TRUE(probe.saw("ready")) << "probe never registered";
  EXPECT_TRUE(probe.saw("arrived 1-2"));  // enumerated at registration

  int second = bed.plug(printer(uniqueSerial("HPB")));
  ASSERT_EQ(second, first + 1);
  EXPECT_TRUE(probe.saw("arrived 1-3"));
  ASSERT_TRUE(bed.unplug(first));
  EXPECT_TRUE(probe.saw("left 1-2"));
  EXPECT_EQ(probe.process.wait(10000), 0);
  EXPECT_TRUE(contains(probe.out.lines(), "end 3"));
}

TEST_F(SimTest, UnplugEndsATransferInFlightAndLaterOnesFail) {
  const std::string serial = uniqueSerial("UNP");
  int id = bed.plug(printer(serial));
  bed.setSilent(id, true);
  RunningProbe probe(bed, {"query", serial, "20000", "STATUS"});
  ASSERT_TRUE(waitUntil([&] { return bed.commands(id).size() == 1; }, 10000));
  ASSERT_TRUE(bed.unplug(id));
  // Well before the probe's own 20 s timeout.
  ASSERT_EQ(probe.process.wait(10000), 1);
  EXPECT_EQ(probe.out.lines(), (std::vector<std::string>{"error LIBUSB_ERROR_NO_DEVICE",
                                                         "then LIBUSB_ERROR_NO_DEVICE"}));
}

// --- claims ---

TEST_F(SimTest, ClaimsAreTrackedAndASecondClaimIsRefused) {
  const std::string serial = uniqueSerial("CLM");
  int id = bed.plug(printer(serial));
  EXPECT_FALSE(bed.claimed(id));
  {
    RunningProbe holder(bed, {"hold", serial});
    ASSERT_TRUE(holder.saw("claim ok"));
    EXPECT_TRUE(bed.claimed(id));
    RunningProbe intruder(bed, {"hold", serial});
    ASSERT_TRUE(intruder.saw("claim LIBUSB_ERROR_BUSY"));
    EXPECT_EQ(bed.openClients(id), 2);
    holder.process.closeStdin();
    intruder.process.closeStdin();
    EXPECT_EQ(holder.process.wait(10000), 0);
    EXPECT_EQ(intruder.process.wait(10000), 0);
  }
  EXPECT_TRUE(waitUntil([&] { return bed.openClients(id) == 0; }, 5000));
  EXPECT_FALSE(bed.claimed(id));
  EXPECT_EQ(bed.claimCount(id), 1);
  EXPECT_EQ(bed.maxOpenClients(id), 2);
  EXPECT_EQ(bed.maxClaimedAtOnce(), 1);
}

TEST_F(SimTest, ClaimsOfTwoPrintersAtOnceAreCounted) {
  const std::string a = uniqueSerial("TWA"), b = uniqueSerial("TWB");
  bed.plug(printer(a));
  bed.plug(printer(b));
  RunningProbe first(bed, {"hold", a});
  ASSERT_TRUE(first.saw("claim ok"));
  EXPECT_EQ(bed.maxClaimedAtOnce(), 1);
  RunningProbe second(bed, {"hold", b});
  ASSERT_TRUE(second.saw("claim ok"));
  EXPECT_EQ(bed.maxClaimedAtOnce(), 2);
}

TEST_F(SimTest, AReplyLeftUnreadIsDroppedWhenItsReaderLetsGo) {
  const std::string serial = uniqueSerial("DRP");
  int id = bed.plug(printer(serial));
  // The malformed header makes the probe stop after 8 of the 11 bytes.
  bed.setReply(id, "STATUS", Reply::raw("0000AB08xyz"));
  ASSERT_EQ(runProbe(bed, {"query", serial, "2000", "STATUS"}).out.at(0), "reply 0000AB08");
  bed.setReply(id, "STATUS", Reply::value("00500"));
  EXPECT_EQ(runProbe(bed, {"query", serial, "2000", "STATUS"}).out.at(0),
            "reply 00000006"
            "00500\\x0d");
}

// --- environment and the command-line simulator ---

TEST_F(SimTest, EnvironmentNamesTheTestbedAndThePreload) {
  std::vector<std::string> env = bed.environment();
  EXPECT_TRUE(contains(env, "UMOCKDEV_DIR=" + bed.rootDir()));
  EXPECT_TRUE(contains(env, "LD_PRELOAD=libumockdev-preload.so.0"));
  EXPECT_TRUE(contains(env, "TMPDIR=/tmp"));
  EXPECT_LT(bed.rootDir().size(), 40u);  // the ioctl socket path must fit 108 bytes
}

struct Cli {
  TempFile envFile{"env"};
  TempFile out{"cli"};
  Process process;

  explicit Cli(std::vector<std::string> args) {
    args.insert(args.begin(), QV46_SIM_CLI);
    args.insert(args.end(), {"--env-file", envFile.path()});
    SpawnOptions options;
    options.stdoutFile = out.path();
    options.stdinPipe = true;
    process = spawnProcess(args, {}, options);
  }
  std::vector<std::string> env() { return lines(readFile(envFile.path())); }
  bool saw(const std::string& line) {
    return waitUntil([&] { return contains(out.lines(), line); }, 10000);
  }
  ProbeResult probe(std::vector<std::string> args) {
    TempFile probeOut("probe");
    SpawnOptions options;
    options.stdoutFile = probeOut.path();
    args.insert(args.begin(), QV46_SIM_PROBE);
    Process p = spawnProcess(args, env(), options);
    int code = p.wait(10000);
    return {code, probeOut.lines()};
  }
};

TEST(SimCli, ServesPrintersToOtherProcessesAndObeysStdin) {
  const std::string a = uniqueSerial("CLA"), b = uniqueSerial("CLB");
  TempFile capture("capture");
  TempFile job("job");
  Cli cli({"--serial", a, "--status", "01100", "--media", "0000400", "--capture", capture.path()});
  ASSERT_TRUE(cli.saw("ready"));
  std::vector<std::string> env = cli.env();
  EXPECT_TRUE(contains(env, "LD_PRELOAD=libumockdev-preload.so.0"));
  EXPECT_TRUE(contains(env, "TMPDIR=/tmp"));

  EXPECT_EQ(cli.probe({"query", a, "2000", "STATUS"}).out.at(0),
            "reply 00000006"
            "01100\\x0d");
  EXPECT_EQ(cli.probe({"query", a, "2000", "INFO", "MEDIA"}).out.at(0),
            "reply 00000008"
            "0000400\\x0d");

  const std::string stream = packet("CNTRL", "START", "");
  std::ofstream(job.path(), std::ios::binary) << stream;
  ASSERT_EQ(cli.probe({"write", a, job.path()}).exitCode, 0);
  // Everything the printer received, the two queries included.
  EXPECT_EQ(readFile(capture.path()),
            packet("STATUS", nullptr, "") + packet("INFO", "MEDIA", "") + stream);

  ASSERT_TRUE(
      cli.process.writeStdin("set " + a + " INFO FVER 2.05\nplug " + b + "\ncommands " + a + "\n"));
  ASSERT_TRUE(cli.saw("ok set INFO FVER"));
  ASSERT_TRUE(cli.saw("ok plugged " + b));
  ASSERT_TRUE(cli.saw("command CNTRL START 0"));
  EXPECT_EQ(cli.probe({"query", a, "2000", "INFO", "FVER"}).out.at(0),
            "reply 00000005"
            "2.05\\x0d");
  EXPECT_EQ(cli.probe({"query", b, "2000", "STATUS"}).out.at(0),
            "reply 00000006"
            "01100\\x0d");

  ASSERT_TRUE(cli.process.writeStdin("delay " + a + " soon\ndelay " + a + " 5\n"));
  EXPECT_TRUE(cli.saw("error usage"));
  EXPECT_TRUE(cli.saw("ok delay 5"));
  ASSERT_TRUE(cli.process.writeStdin("unplug " + a + "\nunplug nobody\nfrobnicate " + a + "\n"));
  ASSERT_TRUE(cli.saw("ok unplugged " + a));
  EXPECT_TRUE(cli.saw("error unknown nobody"));
  EXPECT_TRUE(waitUntil(
      [&] {
        std::vector<std::string> answers = cli.out.lines();
        return std::count(answers.begin(), answers.end(), "error usage") == 2;
      },
      10000));
  EXPECT_EQ(cli.probe({"query", a, "2000", "STATUS"}).out.at(0), "error no-printer");

  EXPECT_EQ(cli.process.terminate(), 0);  // SIGTERM is a clean end
}

TEST(SimCli, EndsAtTheEndOfStdin) {
  Cli cli({"--serial", uniqueSerial("EOF")});
  ASSERT_TRUE(cli.saw("ready"));
  cli.process.closeStdin();
  EXPECT_EQ(cli.process.wait(10000), 0);
}

TEST(SimCli, RefusesBadOptions) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--frobnicate", "1"}, {"--delay", "soon"}, {"--delay", "-5"}}) {
    Cli cli(args);
    EXPECT_EQ(cli.process.wait(10000), 2) << args[0];
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
  options.stdoutFile = out.path();
  Process p = spawnProcess({"sh", "-c", GetParam().script}, GetParam().env, options);
  ASSERT_TRUE(p.started());
  EXPECT_EQ(p.wait(10000), GetParam().expectedExit);
  EXPECT_FALSE(p.running());
  EXPECT_EQ(readFile(out.path()), GetParam().expectedOut);
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
  Process p = spawnProcess({"sleep", "30"}, {});
  ASSERT_TRUE(p.running());
  EXPECT_EQ(p.wait(50), -1);
  EXPECT_EQ(p.terminate(), 128 + 15);
  EXPECT_FALSE(p.running());
}

TEST(SimProcess, MissingProgramIsNotStarted) {
  Process p = spawnProcess({"/nonexistent/qv46sim-program"}, {});
  EXPECT_FALSE(p.started());
}

}  // namespace
