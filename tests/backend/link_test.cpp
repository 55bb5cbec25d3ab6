// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Chunking, queries, device URIs and the /tmp files of the backend.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "DeviceUri.h"
#include "FakeBus.h"
#include "PrinterLink.h"
#include "TmpFile.h"
#include "common/TmpFiles.h"

using namespace zelbackend;

namespace {

std::unique_ptr<PrinterChannel> OpenFake(FakeBus& bus, std::shared_ptr<FakePrinter> printer) {
  bus.printers = {printer};
  std::unique_ptr<PrinterChannel> channel;
  EXPECT_EQ(bus.Open(0, &channel), 0);
  return channel;
}

// Hands out `data` piece by piece, as the backend's payload stage does.
ChunkSource From(const std::string& data) {
  auto next = std::make_shared<size_t>(0);
  return [&data, next](unsigned char* into, int count) {
    data.copy(reinterpret_cast<char*>(into), static_cast<size_t>(count), *next);
    *next += static_cast<size_t>(count);
    return 0;
  };
}

// The chunk sizes themselves are tested with the common chunking code.
TEST(Chunking, WritesGoOutInTheCommonChunks) {
  FakeBus bus;
  auto printer = std::make_shared<FakePrinter>("S1");
  auto channel = OpenFake(bus, printer);
  std::string data(70000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
  ASSERT_EQ(WriteChunked(*channel, From(data), data.size()), 0);
  EXPECT_EQ(printer->transfers, (std::vector<int>{65536, 4208, 256}));
  EXPECT_EQ(printer->stream, data);
}

TEST(Chunking, ShortTransfersAdvanceByWhatWasSent) {
  FakeBus bus;
  auto printer = std::make_shared<FakePrinter>("S1");
  printer->sendLimit = 300;
  auto channel = OpenFake(bus, printer);
  std::string data(1000, 'x');
  data[999] = 'y';
  ASSERT_EQ(WriteChunked(*channel, From(data), data.size()), 0);
  // 1000 -> asks 744, 300 go; 700 -> 444, 300 go; 400 -> 400, 300 go; 100 -> 100.
  EXPECT_EQ(printer->transfers, (std::vector<int>{744, 444, 400, 100}));
  EXPECT_EQ(printer->stream, data);
}

TEST(Chunking, AnErrorStopsTheWrite) {
  FakeBus bus;
  auto printer = std::make_shared<FakePrinter>("S1");
  printer->failAfterBytes = 65536;
  auto channel = OpenFake(bus, printer);
  std::string data(200000, 'x');
  EXPECT_EQ(WriteChunked(*channel, From(data), data.size()), LIBUSB_ERROR_NO_DEVICE);
  EXPECT_EQ(printer->stream.size(), 65536u);
}

TEST(Query, ReadsTheTextOrRefusesMalformedReplies) {
  const struct Case {
    const char* name;
    std::string wire;
    int result;
    std::string value;
  } cases[] = {
      {"plain", ReplyPacket("0000310"), 0, "0000310"},
      {"carriage return first", ReplyPacket(""), 0, ""},
      {"letter in the length", "0000A008" + std::string("0000310\r"), 3, ""},
      {"length zero", "00000000", 3, ""},
      {"longer than the buffer", "00004089" + std::string(4089, 'x'), 3, ""},
      {"no answer", "", LIBUSB_ERROR_TIMEOUT, ""},
  };
  for (const Case& c : cases) {
    FakeBus bus;
    auto printer = std::make_shared<FakePrinter>("S1");
    printer->replies["INFO MEDIA"] = c.wire;
    auto channel = OpenFake(bus, printer);
    std::string value = "stale";
    EXPECT_EQ(QueryText(*channel, kQueryMedia, &value), c.result) << c.name;
    EXPECT_EQ(value, c.value) << c.name;
    EXPECT_EQ(printer->queries, std::vector<std::string>{"INFO MEDIA"}) << c.name;
  }
}

TEST(DeviceUri, MarkerNameStartsWithWhatTheDaemonLooksFor) {
  EXPECT_EQ(PauseMarkerPath("/tmp", "A1234", "17"),
            "/tmp/Pause_valdren-zelbackend:__VALDREN_QV-46?serial=A1234.job17");
  EXPECT_EQ(JobInfoPath("/tmp", "17"), "/tmp/Print_17.log");
  for (const char* bad : {"", "1/2", "..", "12a", "12345678901"})
    EXPECT_FALSE(ValidJobId(bad)) << bad;
  EXPECT_TRUE(ValidJobId("4711"));
}

class TmpFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/qv46-tmpfile-test-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    path = dir + "/Print_7.log";
  }
  void TearDown() override { system(("rm -rf '" + dir + "'").c_str()); }

  static std::string Read(const std::string& p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static bool Exists(const std::string& p) {
    struct stat st;
    return lstat(p.c_str(), &st) == 0;
  }

  std::string dir, path;
};

TEST_F(TmpFileTest, CreatesReadableFileAndRemovesIt) {
  umask(077);
  {
    TmpFile file;
    ASSERT_EQ(file.Create(path, "MEDIA_SIZE=\"00310\"\n"), 0);
    struct stat st;
    ASSERT_EQ(lstat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);  // the filter runs as another user
    // What the filter and the daemon believe: no other user can have made it.
    EXPECT_TRUE(IsPublishedFile(st, geteuid()));
    EXPECT_EQ(Read(path), "MEDIA_SIZE=\"00310\"\n");
  }
  umask(022);
  EXPECT_FALSE(Exists(path));
  // No temporary left behind either.
  EXPECT_EQ(system(("test -z \"$(ls -A '" + dir + "')\"").c_str()), 0);
}

TEST_F(TmpFileTest, ReplacesStaleFileAndPlantedSymlinkWithoutTouchingTheTarget) {
  const std::string victim = dir + "/victim";
  std::ofstream(victim) << "precious";
  const struct Case {
    const char* name;
    std::function<void()> plant;
  } cases[] = {
      {"stale file", [&] { std::ofstream(path) << "MEDIA_SIZE=\"00400\"\nold job\n"; }},
      {"symlink", [&] { ASSERT_EQ(symlink(victim.c_str(), path.c_str()), 0); }},
  };
  for (const Case& c : cases) {
    c.plant();
    TmpFile file;
    ASSERT_EQ(file.Create(path, "fresh\n"), 0) << c.name;
    EXPECT_EQ(Read(path), "fresh\n") << c.name;
    struct stat st;
    ASSERT_EQ(lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(IsPublishedFile(st, geteuid())) << c.name;
    EXPECT_EQ(Read(victim), "precious") << c.name;
    file.Remove();
    EXPECT_FALSE(Exists(path)) << c.name;
  }
}

TEST_F(TmpFileTest, LeavesAFileThatSomeoneElsePutInItsPlace) {
  TmpFile file;
  ASSERT_EQ(file.Create(path, "ours\n"), 0);
  ASSERT_EQ(unlink(path.c_str()), 0);
  std::ofstream(path) << "theirs\n";
  file.Remove();
  EXPECT_EQ(Read(path), "theirs\n");
}

TEST_F(TmpFileTest, ReportsAFolderItCannotWriteTo) {
  TmpFile file;
  EXPECT_EQ(file.Create(dir + "/missing/Print_7.log", "x"), ENOENT);
  EXPECT_TRUE(file.Path().empty());
}

}  // namespace
