// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// One poll: serial, model from the device ID, queue, status file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "Fakes.h"
#include "daemon/PrinterPoll.h"
#include "daemon/StatusFile.h"

namespace qv46test {
namespace {

TEST(ParseDeviceIdTest, LongKeysOnlyLaterFieldsWin) {
  const struct {
    const char* id;
    const char* manufacturer;
    const char* model;
  } cases[] = {
      {"MANUFACTURER:VALDREN;MODEL:QV-46;", "VALDREN", "QV-46"},
      {"MFG:VALDREN;MDL:QV-46;", "", ""},
      {"MODEL:A;MANUFACTURER:B;MODEL:C", "B", "C"},
      {";;MANUFACTURER: VALDREN ;;MODEL:QV-46W;", " VALDREN ", "QV-46W"},
      {"MANUFACTURER:VALDREN:X;MODEL", "VALDREN:X", ""},
      {"", "", ""},
  };
  for (const auto& c : cases) {
    std::string manufacturer, model;
    ParseDeviceId(c.id, &manufacturer, &model);
    EXPECT_EQ(c.manufacturer, manufacturer) << c.id;
    EXPECT_EQ(c.model, model) << c.id;
  }
}

class PollTest : public ::testing::Test {
 protected:
  PollTest() : printer(std::make_shared<FakePrinter>()), record(nullptr) {
    std::snprintf(serial, sizeof serial, "PL%d", getpid());
    printer->SetIdentity(serial);
    printer->replies["STATUS"] = ReplyPacket("0");
    record.device = world.usb.Plug(printer);
    record.handle = world.usb.OpenForTest(record.device);
  }
  std::string StatusPath(const std::string& s) const {
    return world.tmp.File("QV-46_" + s + ".log");
  }

  FakeWorld world;
  std::shared_ptr<FakePrinter> printer;
  thdata record;
  char serial[32];
};

TEST_F(PollTest, FirstPollLearnsEverythingRegistersAndWrites) {
  getPrinterInfo(world.ctx, &record);
  EXPECT_TRUE(record.serialKnown);
  EXPECT_STREQ(serial, record.serial);
  EXPECT_TRUE(record.modelMatched);
  EXPECT_STREQ("QV-46", record.model);
  EXPECT_TRUE(record.queueRegistered);
  EXPECT_EQ(1u, world.commands.Calls().size());
  EXPECT_NE(std::string::npos, ReadFile(StatusPath(serial)).find("PRINTER_STATUS=\"00000\""));

  // Later polls ask neither the serial nor the device ID again.
  printer->queries.clear();
  getPrinterInfo(world.ctx, &record);
  for (const auto& q : printer->queries) EXPECT_NE("INFO SERIAL_NUMBER", q);
  EXPECT_EQ(1u, world.commands.Calls().size());
}

TEST_F(PollTest, UnusableSerialsAreNoSerial) {
  const std::string bad[] = {"../x", "a/b",   std::string(64, 's'), std::string(4000, 's'),
                             "a\nb", "bell\a"};
  for (const std::string& s : bad) {
    SCOPED_TRACE(s.substr(0, 20));
    thdata r(record.device);
    r.handle = record.handle;
    printer->replies["INFO SERIAL_NUMBER"] = ReplyPacket(s);
    printer->queries.clear();
    world.sleeper.total = 0;
    getPrinterInfo(world.ctx, &r);
    EXPECT_FALSE(r.serialKnown);
    EXPECT_STREQ("", r.serial);
    // Ten attempts, none of them waited for, and nothing written or run.
    int asked = 0;
    for (const auto& q : printer->queries) asked += q == "INFO SERIAL_NUMBER";
    EXPECT_EQ(10, asked);
    EXPECT_EQ(0u, world.sleeper.total);
    EXPECT_TRUE(world.commands.Calls().empty());
  }
  EXPECT_FALSE(Exists(world.tmp.File("x.log")));
  EXPECT_FALSE(Exists(world.tmp.File("QV-46_.log")));
}

TEST_F(PollTest, SerialAttemptsWaitOnlyAfterFailures) {
  int asked = 0;
  printer->replies.erase("INFO SERIAL_NUMBER");
  printer->onQuery = [&](const std::string& key) {
    if (key != "INFO SERIAL_NUMBER") return;
    // Fail twice, then answer empty once, then the serial.
    ++asked;
    if (asked == 3) printer->replies[key] = ReplyPacket("");
    if (asked == 4) printer->replies[key] = ReplyPacket(serial);
  };
  getPrinterInfo(world.ctx, &record);
  EXPECT_EQ(4, asked);
  EXPECT_TRUE(record.serialKnown);
  EXPECT_EQ(2000u, world.sleeper.total);
}

TEST_F(PollTest, SilentPrinterGetsTenAttemptsAndNoFile) {
  printer->replies.clear();
  printer->SetIdentity(serial);
  printer->replies.erase("INFO SERIAL_NUMBER");
  getPrinterInfo(world.ctx, &record);
  EXPECT_FALSE(record.serialKnown);
  EXPECT_EQ(10000u, world.sleeper.total);
  EXPECT_TRUE(record.modelMatched);  // the model step still runs
  EXPECT_FALSE(Exists(StatusPath(serial)));
}

TEST_F(PollTest, ModelMustNameMakerAndModelInAPhotoPrinter) {
  const struct {
    const char* name;
    std::function<void(FakePrinter&)> change;
    bool matched;
    const char* model;
  } cases[] = {
      {"variant", [](FakePrinter& p) { p.SetIdentity("V1", "QV-46W"); }, true, "QV-46W"},
      {"product string lacks Photo Printer", [](FakePrinter& p) { p.product = "QV-46"; }, false,
       ""},
      {"short keys",
       [](FakePrinter& p) {
         const std::string id = "MFG:VALDREN;MDL:QV-46;";
         p.deviceIdAnswer = std::string(1, '\0') + static_cast<char>(id.size() + 2) + id;
       },
       false, ""},
      {"other maker",
       [](FakePrinter& p) {
         const std::string id = "MANUFACTURER:OTHER;MODEL:QV-46;";
         p.deviceIdAnswer = std::string(1, '\0') + static_cast<char>(id.size() + 2) + id;
       },
       false, ""},
      {"descriptor unreadable", [](FakePrinter& p) { p.descriptorResult = UsbPort::kErrorIo; },
       false, ""},
      {"no device id", [](FakePrinter& p) { p.deviceIdAnswer.clear(); }, false, ""},
      {"model of 300 characters is cut",
       [](FakePrinter& p) { p.SetIdentity("V1", "QV-46" + std::string(295, 'm')); }, true, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeWorld w;
    auto p = std::make_shared<FakePrinter>();
    p->SetIdentity("V1");
    c.change(*p);
    thdata r(w.usb.Plug(p));
    r.handle = w.usb.OpenForTest(r.device);
    getPrinterInfo(w.ctx, &r);
    EXPECT_EQ(c.matched, r.modelMatched);
    const std::string expected = c.model ? c.model : "QV-46" + std::string(122, 'm');
    EXPECT_EQ(expected, r.model);
    EXPECT_EQ(c.matched, Exists(w.tmp.File("QV-46_V1.log")));
  }
}

}  // namespace
}  // namespace qv46test
