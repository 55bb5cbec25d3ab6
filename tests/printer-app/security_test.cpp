// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// qv46-printer-app attacked as a LAN client without a login (ipptool and
// curl), as someone guessing logins, as an administrator's request or saved
// state naming a foreign device, and as a sender of hostile documents; one
// table for each kind of attacker.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "AppUnderTest.h"
#include "PhotoFiles.h"
#include "PrintSystem.h"
#include "TestImages.h"
#include "common/PhotoPrinterDevice.h"

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

// A job the unplugged printer keeps waiting: held in turn or started.
bool Waiting(const std::string& state) {
  return state.rfind("pending", 0) == 0 || state.rfind("processing", 0) == 0;
}

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
        [&] { return app_.PrinterAttribute("printer-state-reasons").rfind("offline", 0) == 0; },
        15000));
    const std::string photo = app_.Work() + "/photo.png";
    ASSERT_TRUE(e2e::WritePng(photo, e2e::SamplePhoto(300, 200)));
    job = app_.Print(photo, "image/png");
    ASSERT_TRUE(e2e::Eventually([&] { return Waiting(app_.JobState(job)); }, 15000));
  }
  const std::string out =
      IppRequest(app_, app_.PrinterUri(), c.operation,
                 "ATTR uri printer-uri $uri\nATTR name requesting-user-name mallory\n" +
                     std::string(c.attributes));
  EXPECT_EQ(c.status, StatusOf(out)) << out;
  EXPECT_EQ(c.value, app_.PrinterAttribute(c.attribute));
  if (job > 0) {
    EXPECT_TRUE(Waiting(app_.JobState(job))) << app_.JobState(job);
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
        // The job waits held for the unplugged printer, so it is no current job
        // and stays as it is.
        AnonymousCase{"CancelCurrentJob", "", "Cancel-Current-Job", "", "client-error-not-found",
                      "printer-is-accepting-jobs", "true", true},
        AnonymousCase{"PausePrinter", "", "Pause-Printer", "", "client-error-not-authenticated",
                      "printer-state", "idle", false},
        AnonymousCase{"ResumePrinter", "Pause-Printer", "Resume-Printer", "",
                      "client-error-not-authenticated", "printer-state", "stopped", false},
        AnonymousCase{"SetPrinterAttributes", "", "Set-Printer-Attributes",
                      "GROUP printer-attributes-tag\n"
                      "ATTR text printer-location attacker\n",
                      "client-error-not-authenticated", "printer-location", "", false}),
    [](const testing::TestParamInfo<AnonymousCase>& info) { return info.param.name; });

// The printer page's form, sent back with the session token the page
// handed out, pauses nothing without a login; the page names no one's jobs.
TEST_F(Anonymous, CannotPauseThroughThePrinterPage) {
  const std::string photo = app_.Work() + "/photo.png";
  ASSERT_TRUE(e2e::WritePng(photo, e2e::SamplePhoto(900, 600)));
  ASSERT_GT(app_.Print(photo, "image/png", {"name job-name holiday-at-the-lake"}), 0);
  const std::string jar = app_.Work() + "/cookies";
  std::string page;
  apptest::Run({"curl", "-s", "-c", jar, app_.WebUrl("/VALDREN-QV-46/")}, &page);
  std::smatch session;
  ASSERT_TRUE(std::regex_search(page, session, std::regex("name=\"session\" value=\"([^\"]+)\"")))
      << page;
  std::string code;
  apptest::Run(
      {"curl", "-s", "-b", jar, "-o", "/dev/null", "-w", "%{http_code}", "-d",
       "session=" + session[1].str() + "&action=pause-printer", app_.WebUrl("/VALDREN-QV-46/")},
      &code);
  EXPECT_EQ("401", code);
  EXPECT_NE("stopped", app_.PrinterAttribute("printer-state"));
  EXPECT_EQ(std::string::npos, page.find("holiday-at-the-lake")) << page;
}

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
  // Held back as long as a wrong password, though no password was tried:
  // a quick refusal would tell the guesser the account is no member.
  const auto asked = std::chrono::steady_clock::now();
  EXPECT_EQ(wrong, WebAnswer(c.user, c.password));
  EXPECT_GE(std::chrono::steady_clock::now() - asked,
            std::chrono::milliseconds(AppUnderTest::kRefusalMs));
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
  // The case's URI, a %s in it replaced by the test's work folder.
  std::string Device() const {
    return std::regex_replace(GetParam().uri, std::regex("%s"), app_.Work());
  }
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
  // Nothing was written through the device, whatever the printer's status
  // queries opened.
  EXPECT_FALSE(e2e::Exists(app_.Work() + "/planted.service"));
}

INSTANTIATE_TEST_SUITE_P(Uris, ForeignDevice,
                         testing::Values(DeviceCase{"File", "file://%s/planted.service"},
                                         DeviceCase{"Socket", "socket://localhost:9"},
                                         DeviceCase{"Usb", "usb://VALDREN/QV-46?serial=1"},
                                         DeviceCase{"Snmp", "snmp://localhost"}),
                         [](const testing::TestParamInfo<DeviceCase>& info) {
                           return info.param.name;
                         });

// ---------------------------------------------------------------------------
// A local user (nobody, in a forked child) trying the command socket, which
// lets whoever connects administer the server: from before the app starts
// until well after it serves, never connected.

// The local user the attacks run as.
bool Nobody(uid_t* uid, gid_t* gid) {
  passwd entry{}, *found = nullptr;
  std::vector<char> buffer(16384);
  if (getpwnam_r(AppUnderTest::kOutsider, &entry, buffer.data(), buffer.size(), &found) != 0 ||
      found == nullptr)
    return false;
  *uid = found->pw_uid;
  *gid = found->pw_gid;
  return true;
}

// A child that, as nobody, connects to `path` over and over until told to
// stop, then 200 times more, and reports how often it got in.
class SocketAttacker {
 public:
  explicit SocketAttacker(const std::string& path) {
    uid_t uid = 0;
    gid_t gid = 0;
    if (!Nobody(&uid, &gid) || pipe(stop_) != 0 || pipe(report_) != 0) return;
    pid_ = fork();
    if (pid_ != 0) return;
    if (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0) _exit(2);
    fcntl(stop_[0], F_SETFL, O_NONBLOCK);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    int connected = 0;
    char stop = 0;
    for (int left = -1; left != 0; left = left > 0 ? left - 1 : left) {
      const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
      if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) ++connected;
      close(fd);
      if (left < 0 && read(stop_[0], &stop, 1) == 1) left = 200;
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    _exit(write(report_[1], &connected, sizeof connected) == sizeof connected ? 0 : 3);
  }
  ~SocketAttacker() {
    for (int fd : {stop_[0], stop_[1], report_[0], report_[1]}) close(fd);
  }

  // How often the child got in; -1 when it could not run as nobody.
  int Connections() {
    int connected = -1;
    if (pid_ < 0) return connected;
    if (write(stop_[1], "x", 1) != 1 || read(report_[0], &connected, sizeof connected) <= 0)
      connected = -1;
    int status = 0;
    waitpid(pid_, &status, 0);
    return connected;
  }

 private:
  int stop_[2] = {-1, -1};
  int report_[2] = {-1, -1};
  pid_t pid_ = -1;
};

struct LocalCase {
  const char* name;
  bool plantedByNobody;  // the socket's folder was made by nobody, mode 0777
  bool starts;           // whether the app starts
};

class LocalUser : public testing::TestWithParam<LocalCase> {};

TEST_P(LocalUser, NeverReachesTheCommandSocket) {
  const LocalCase& c = GetParam();
  // Outside the test's private work folder, so that only the folder's own
  // mode keeps the attacker out.
  const std::string folder = "/tmp/qv46-app-socket-" + std::to_string(getpid()) + "-" + c.name;
  ASSERT_EQ(0, mkdir(folder.c_str(), 0755));
  if (c.plantedByNobody) {
    uid_t uid = 0;
    gid_t gid = 0;
    ASSERT_TRUE(Nobody(&uid, &gid));
    ASSERT_EQ(0, chown(folder.c_str(), uid, gid));
    ASSERT_EQ(0, chmod(folder.c_str(), 0777));
  }
  SocketAttacker attacker(folder + "/qv46-printer-app.sock");
  AppUnderTest app;
  app.AddAppEnv("SNAP_COMMON=" + folder);
  std::string error;
  EXPECT_EQ(c.starts, app.Start(&error)) << error;
  EXPECT_EQ(0, attacker.Connections());
  std::system(("rm -rf '" + folder + "'").c_str());
}

INSTANTIATE_TEST_SUITE_P(Folders, LocalUser,
                         testing::Values(LocalCase{"LeftOpenByRoot", false, true},
                                         LocalCase{"PlantedByNobody", true, false}),
                         [](const testing::TestParamInfo<LocalCase>& info) {
                           return info.param.name;
                         });

// ---------------------------------------------------------------------------
// A LAN client sending hostile documents: each is refused from its header or
// printed within its bounds; no job lifts the app's peak memory above
// 300 MB, and a real 48-megapixel photo still prints.

constexpr long kAppPeakKilobytes = 300 * 1024;

// `image` as a progressive JPEG, chroma at half resolution as cameras store
// it (4:2:0), or at full resolution (4:4:4).
std::string ProgressiveJpeg(const e2e::Rgb& image, bool fullColour) {
  jpeg_compress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(image.width);
  info.image_height = static_cast<JDIMENSION>(image.height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  info.comp_info[0].h_samp_factor = info.comp_info[0].v_samp_factor = fullColour ? 1 : 2;
  jpeg_simple_progression(&info);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW rows[] = {
        const_cast<JSAMPLE*>(image.pixels.data() + size_t{3} * info.next_scanline * image.width)};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  std::string bytes(reinterpret_cast<char*>(buffer), size);
  jpeg_destroy_compress(&info);
  std::free(buffer);
  return bytes;
}

// A 16 x 16 progressive JPEG (4:4:4) whose frame header claims `width` x
// `height`: a few hundred bytes.
std::string ProgressiveJpegClaiming(int width, int height) {
  std::string bytes = ProgressiveJpeg(e2e::SamplePhoto(16, 16), true);
  // SOF2: marker, length, precision, height, width.
  const size_t sof = bytes.find("\xFF\xC2");
  bytes[sof + 5] = static_cast<char>(height >> 8);
  bytes[sof + 6] = static_cast<char>(height & 0xFF);
  bytes[sof + 7] = static_cast<char>(width >> 8);
  bytes[sof + 8] = static_cast<char>(width & 0xFF);
  return bytes;
}

// A small PNG whose header claims `width` x `height`.
std::string PngClaiming(const std::string& path, int width, int height) {
  e2e::WritePng(path, e2e::SamplePhoto(16, 16));
  std::string bytes = e2e::ReadFile(path);
  // Signature, then IHDR: length, type, width, height, ..., CRC of type and data.
  const size_t ihdr = 12;
  for (int i = 0; i < 4; ++i) {
    bytes[ihdr + 4 + i] = static_cast<char>(static_cast<unsigned>(width) >> (24 - 8 * i));
    bytes[ihdr + 8 + i] = static_cast<char>(static_cast<unsigned>(height) >> (24 - 8 * i));
  }
  const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(bytes.data() + ihdr), 17);
  for (int i = 0; i < 4; ++i) bytes[ihdr + 17 + i] = static_cast<char>(crc >> (24 - 8 * i));
  return bytes;
}

// `megabytes` of job stream in plane packets of 1 MB each.
std::string RawStream(int megabytes) {
  std::string stream;
  uint8_t header[kCmdHeaderSize];
  WriteCmdHeader(header, "IMAGE", "YPLANE", 1000000);
  const std::string packet =
      std::string(reinterpret_cast<char*>(header), sizeof header) + std::string(1000000, '\x80');
  for (int i = 0; i < megabytes; ++i) stream += packet;
  return stream;
}

struct DocumentCase {
  const char* name;
  const char* format;
  std::string (*make)(const std::string& path);  // the document's bytes
  const char* end;                               // job state and the start of its message
  long maxGrowthKb;                              // how much the job may lift the app's peak
  int maxImpressions;                            // how many prints it may make; -1: not counted
  const char* quality = "3";                     // print-quality: 4 is 300 x 600 dpi
};

class HostileDocument : public apptest::AppTest, public testing::WithParamInterface<DocumentCase> {
 protected:
  void SetUp() override {
    // In the sanitizer build freed memory waits in ASan's quarantine (256 MB
    // by default), which a long job fills: the peak would measure ASan, not
    // the app. A small quarantine keeps the bound about the app's own memory.
    const char* asan = std::getenv("ASAN_OPTIONS");
    app_.AddAppEnv(std::string("ASAN_OPTIONS=") + (asan != nullptr ? asan : "") +
                   ":quarantine_size_mb=8");
    apptest::AppTest::SetUp();
  }
};

TEST_P(HostileDocument, IsBoundedBeforeItCostsMemory) {
  const DocumentCase& c = GetParam();
  const std::string path = Path(std::string("document-") + c.name);
  e2e::WriteFile(path, c.make(path));
  const long before = app_.PeakKilobytes();
  const int job = app_.Print(path, c.format, {std::string("enum print-quality ") + c.quality});
  ASSERT_GT(job, 0);
  EXPECT_EQ(0u, app_.WaitForJob(job, 120000).rfind(c.end, 0)) << app_.JobState(job);
  const long peak = app_.PeakKilobytes();
  std::cout << c.name << ": the app's peak " << peak / 1024 << " MB (" << before / 1024
            << " MB before the job)\n";
  EXPECT_LT(peak, kAppPeakKilobytes);
  EXPECT_LT(peak - before, c.maxGrowthKb);
  if (c.maxImpressions >= 0) {
    const std::string attrs =
        app_.Ipp("Get-Job-Attributes", {"integer job-id " + std::to_string(job),
                                        "keyword requested-attributes job-impressions-completed"});
    std::smatch impressions;
    ASSERT_TRUE(std::regex_search(attrs, impressions,
                                  std::regex("job-impressions-completed \\(integer\\) = ([0-9]+)")))
        << attrs;
    EXPECT_LE(std::stoi(impressions[1]), c.maxImpressions);
    EXPECT_GT(std::stoi(impressions[1]), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Documents, HostileDocument,
    testing::Values(
        DocumentCase{"ProgressiveJpegOf400Megapixels", "image/jpeg",
                     [](const std::string&) { return ProgressiveJpegClaiming(20000, 20000); },
                     "aborted The JPEG photo is too large to print: it has more than 100 "
                     "megapixels.",
                     16 * 1024, -1},
        DocumentCase{"ProgressiveJpegOf4290Megapixels", "image/jpeg",
                     [](const std::string&) { return ProgressiveJpegClaiming(65500, 65500); },
                     "aborted The JPEG photo is too large to print: it has more than 100 "
                     "megapixels.",
                     16 * 1024, -1},
        // 81 megapixels at 4:4:4 are 486 MB of coefficients.
        DocumentCase{"ProgressiveJpegOf81MegapixelsFullColour", "image/jpeg",
                     [](const std::string&) { return ProgressiveJpegClaiming(9000, 9000); },
                     "aborted The JPEG photo is too large to print", 200 * 1024, -1},
        DocumentCase{"PngOf268Megapixels", "image/png",
                     [](const std::string& path) { return PngClaiming(path, 16384, 16384); },
                     "aborted The PNG photo is too large to print: it has more than 100 "
                     "megapixels.",
                     16 * 1024, -1},
        // Sent on packet by packet, never read whole: twice the growth
        // allowed.
        DocumentCase{"RawStreamOf64Megabytes", "application/vnd.valdren.qv46",
                     [](const std::string&) { return RawStream(64); }, "completed", 32 * 1024, -1},
        // Ghostscript renders the first 50 pages only, one print each.
        DocumentCase{"PdfOf80Pages", "application/pdf",
                     [](const std::string&) { return apptest::PdfOfPages(80); }, "completed",
                     kAppPeakKilobytes, 50},
        DocumentCase{"Photo48Megapixels", "image/jpeg",
                     [](const std::string& path) {
                       apptest::WriteJpeg(path, e2e::SamplePhoto(8000, 6000));
                       return e2e::ReadFile(path);
                     },
                     "completed", kAppPeakKilobytes, -1},
        DocumentCase{
            "ProgressivePhoto48Megapixels", "image/jpeg",
            [](const std::string&) { return ProgressiveJpeg(e2e::SamplePhoto(8000, 6000), false); },
            "completed", kAppPeakKilobytes, -1},
        // Decoded whole, then cut to the page's need before it is stretched.
        DocumentCase{"Png60MegapixelsAt300x600Dpi", "image/png",
                     [](const std::string& path) {
                       e2e::WritePng(path, e2e::SamplePhoto(9000, 6667));
                       return e2e::ReadFile(path);
                     },
                     "completed", kAppPeakKilobytes, -1, "4"}),
    [](const testing::TestParamInfo<DocumentCase>& info) { return info.param.name; });

}  // namespace
