// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// qv46-fuzz-seeds: writes the fuzz targets' seed corpora from the project's
// own code: the filter's job stream and control commands, the backend's job
// information file, the daemon's status file and the printer's replies.
//
//   qv46-fuzz-seeds OUTDIR PPD RASTER...
//
// The rasters come from qv46-demo-raster; tests/fuzz/run-fuzz seeds runs both.
#include <cups/raster.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "DeviceUri.h"
#include "FakeBackend.h"
#include "Fakes.h"
#include "common/PhotoPrinterDevice.h"
#include "common/Serial.h"
#include "daemon/PrinterPoll.h"
#include "daemon/StatusFile.h"
#include "filter/FilterDriver.h"
#include "filter/PhotoPrinterDeviceQV46.h"

namespace {

std::string gOut;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void Seed(const std::string& target, const std::string& name, const std::string& bytes) {
  const std::string folder = gOut + "/" + target;
  mkdir(folder.c_str(), 0755);
  if (!qv46fuzz::WriteWholeFile(folder + "/" + name, bytes)) {
    std::fprintf(stderr, "qv46-fuzz-seeds: cannot write %s/%s\n", folder.c_str(), name.c_str());
    std::exit(1);
  }
}

// The same pages as a compressed stream, the form libcups's readers size
// their line buffers for (and a chain ending in imagetoraster sends).
std::string Compressed(const std::string& raster) {
  const int input =
      qv46fuzz::MemoryFile(reinterpret_cast<const uint8_t*>(raster.data()), raster.size());
  std::string compressed;
  const auto append = [](void* text, unsigned char* bytes, size_t length) -> ssize_t {
    static_cast<std::string*>(text)->append(reinterpret_cast<char*>(bytes), length);
    return static_cast<ssize_t>(length);
  };
  cups_raster_t* reader = cupsRasterOpen(input, CUPS_RASTER_READ);
  cups_raster_t* writer = cupsRasterOpenIO(append, &compressed, CUPS_RASTER_WRITE_COMPRESSED);
  cups_page_header2_t header;
  std::string line;
  while (reader != nullptr && cupsRasterReadHeader2(reader, &header) &&
         cupsRasterWriteHeader2(writer, &header)) {
    line.resize(header.cupsBytesPerLine);
    auto* pixels = reinterpret_cast<unsigned char*>(line.data());
    for (unsigned row = 0; row < header.cupsHeight; ++row) {
      cupsRasterReadPixels(reader, pixels, header.cupsBytesPerLine);
      cupsRasterWritePixels(writer, pixels, header.cupsBytesPerLine);
    }
  }
  if (reader != nullptr) cupsRasterClose(reader);
  cupsRasterClose(writer);
  close(input);
  return compressed;
}

// A job stream of one panel on a printer whose head is `width` dots wide and
// whose panel is `height` rows long, so the plane BMPs stay small.
std::string SmallJobStream(const char* pageSize, int width, int height) {
  char* bytes = nullptr;
  size_t size = 0;
  FILE* output = open_memstream(&bytes, &size);
  {
    cups_option_t* options = nullptr;
    const int numOptions = cupsAddOption("PageSize", pageSize, 0, &options);
    DeviceEntry_QV46 device;
    device.SetOutput(output);
    device.SetResolution(numOptions, options, nullptr);
    device.SetMediaSize(numOptions, options, nullptr);
    device.mediaInfo.headWidth = width;
    device.mediaInfo.outPageHeight = device.mediaInfo.outImageHeight = height;
    auto* page = static_cast<char*>(std::malloc(PageStride(width) * height));
    for (unsigned long i = 0; i < PageStride(width) * height; ++i) page[i] = char(i * 37);
    _tagBITMAPHANDLE* image = device.MakeImageData(page, width - 2, height - 2, 0);
    device.SetImageData(0, image);
    IL_FreeBitmap(image);
    delete image;
    DeviceSink(device, numOptions, options, nullptr).SendBatch(1);
    cupsFreeOptions(numOptions, options);
  }
  std::fclose(output);
  std::string stream(bytes, size);
  std::free(bytes);
  return stream;
}

std::string Reply(const std::string& text) { return qv46test::ReplyPacket(text); }

// The device-ID answer of a QV-46, two length bytes first.
std::string DeviceIdAnswer() {
  qv46test::FakePrinter printer;
  printer.SetIdentity("QV4612345");
  return printer.deviceIdAnswer;
}

// The replies of a printer as the simulator gives them by default.
std::vector<std::string> PrinterReplies(const std::string& serial, const std::string& status) {
  return {Reply(serial),     Reply(status),     Reply("1.00"),     Reply("MS00310"),
          Reply("MQDF0050"), Reply("MQTY0050"), Reply("RQTY0100"), Reply("CL00000123")};
}

void DaemonSeeds() {
  struct Case {
    const char* name;
    const char* status;
    const char* queues;
    char flags;
    const char* files;
  } const cases[] = {
      {"idle", "00000", "", 0, ""},
      {"printing-watched", "00001", "VALDREN-QV-46 valdren-zelbackend://VALDREN/QV-46?serial=X9\n",
       0x16,
       "QV-46_QV4612345_UTIL\nPause_valdren-zelbackend:__VALDREN_QV-46?serial=QV4612345.job7"},
      {"sleeping-count", "00900",
       "VALDREN-QV-46-2 valdren-zelbackend://VALDREN/QV-46?serial=Q7\nVALDREN-QV-46W x\n", 0x0A,
       "QV-46_QV4612345_UTIL\nQV-46_QV4612345_TC_UTIL\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> parts = PrinterReplies("QV4612345", c.status);
    parts.push_back(DeviceIdAnswer());
    parts.push_back("QV-46 Photo Printer");
    parts.push_back(c.queues);
    parts.push_back(std::string(1, c.flags));
    parts.push_back(c.files);
    Seed("daemon_replies", c.name, qv46fuzz::JoinParts(parts));

    // The status file the daemon writes for the same answers.
    qv46test::FakeWorld world;
    auto printer = std::make_shared<qv46test::FakePrinter>();
    const char* keys[] = {"INFO SERIAL_NUMBER", "STATUS",    "INFO FVER", "INFO MEDIA",
                          "INFO MQTY_DEFAULT",  "INFO MQTY", "INFO RQTY", "MNT_RD COUNTER_LIFE"};
    for (int i = 0; i < 8; ++i) printer->replies[keys[i]] = parts[size_t(i)];
    UsbDevice* device = world.usb.Plug(printer);
    thdata record(device);
    std::snprintf(record.serial, sizeof record.serial, "QV4612345");
    std::snprintf(record.model, sizeof record.model, "QV-46");
    record.lastRequest = c.flags & 3;
    record.monitorWatching = true;
    record.handle = world.usb.OpenForTest(device);
    WriteFile(world.ctx, record.handle, &record);
    char path[kPathSize];
    StatusFilePath(world.ctx, record.serial, path);
    Seed("monitor_status", c.name, ReadAll(path));
    world.usb.Close(record.handle);
  }
  qv46test::FakeWorld world;
  WriteFile(world.ctx, "QV4612345");
  char path[kPathSize];
  StatusFilePath(world.ctx, "QV4612345", path);
  Seed("monitor_status", "offline", ReadAll(path));
}

// Runs a job through the backend and keeps the job information file it
// writes for the filter.
std::string BackendJobInfo(const std::string& media, const std::string& remainHalf,
                           const std::string& stream) {
  auto printer = std::make_shared<FakePrinter>("QV4612345");
  printer->replies["INFO MEDIA"] = Reply(media);
  printer->replies["INFO RQTY"] = Reply(remainHalf);
  qv46fuzz::FakeBackend backend;
  backend.bus.printers.push_back(printer);
  std::string info;
  printer->onStreamTransfer = [&] {
    if (info.empty()) info = ReadAll(zelbackend::JobInfoPath(backend.services.tmpDir, "7"));
  };
  const int fd =
      qv46fuzz::MemoryFile(reinterpret_cast<const uint8_t*>(stream.data()), stream.size());
  zelbackend::Job job;
  job.id = "7";
  job.uri = MakeBackendUri("QV4612345");
  job.inputFd = fd;
  zelbackend::RunJob(backend.services, job);
  close(fd);
  return info;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: qv46-fuzz-seeds OUTDIR PPD RASTER...\n");
    return 2;
  }
  gOut = argv[1];
  mkdir(gOut.c_str(), 0755);

  // Raster pages with the job's settings, job information and failing allocation.
  const struct {
    const char* name;
    char settings, job, failAt;
  } controls[] = {
      {"plain", 0x04, 0, 0},
      {"portrait-border-twoup", 0x45, 1, 0},
      {"fine-adjusted", char(0x94), 2, 0},
      {"oom", 0x24, 0, char(0x83)},
  };
  for (int r = 3; r < argc; ++r) {
    const std::string raster = ReadAll(argv[r]);
    for (const auto& c : controls)
      Seed("page_loop", std::to_string(r - 2) + "-" + c.name,
           raster + c.settings + c.job + c.failAt);
  }
  Seed("page_loop", "1-plain-compressed",
       Compressed(ReadAll(argv[3])) + controls[0].settings + controls[0].job + controls[0].failAt);

  const std::string stream = SmallJobStream("153x102mm", 24, 16);
  Seed("stream_decoder", "one-panel", stream);
  Seed("stream_decoder", "two-panels", stream + SmallJobStream("89x127mm", 20, 10));

  for (const auto& media : {std::make_pair("0000400", "00000037"), {"0000310", "00000100"}}) {
    const std::string info = BackendJobInfo(media.first, media.second, stream);
    Seed("job_info", std::string("media-") + media.first, info);
  }
  Seed("backend", "job",
       qv46fuzz::JoinParts({MakeBackendUri("QV4612345"), "42", Reply("QV4612345"), Reply("MS00310"),
                            Reply("RQTY0101"), "MANUFACTURER:VALDREN;MODEL:QV-46;", stream}));

  // The PPD's default lines with a few job options.
  std::istringstream ppd(ReadAll(argv[2]));
  std::string defaults;
  for (std::string line; std::getline(ppd, line);)
    if (line.rfind("*Default", 0) == 0) defaults += line + "\n";
  Seed("ppd_options", "defaults", qv46fuzz::JoinParts({defaults, "", "ZelSharpness"}));
  Seed("ppd_options", "options",
       qv46fuzz::JoinParts({defaults,
                            "PageSize=89x127mm Resolution=300x600dpi ZelPrintSpeed=Enable "
                            "ZelOvercoatFinish=Luster ZelColorAdjustment=Enable ZelGamma=-20 "
                            "ZelBrightnessR=15 ZelContrast=3 ZelChroma=-4 Zel2InchCut=Enable",
                            "PageSize"}));

  // Command packets and replies of the protocol.
  DeviceCmd query, media;
  query.MakeCmd("INFO", "SERIAL_NUMBER", -1, nullptr);
  media.MakeCmd("IMAGE", "MULTICUT", 8, "00000402");
  const std::string queryBytes(reinterpret_cast<const char*>(query.buffer()),
                               size_t(query.length()));
  const std::string mediaBytes(reinterpret_cast<const char*>(media.buffer()),
                               size_t(media.length()));
  Seed("packets", "serial",
       qv46fuzz::JoinParts({Reply("QV4612345"), "", "INFO", "SERIAL_NUMBER", "", "\x00\x20"}));
  Seed("packets", "status",
       qv46fuzz::JoinParts({Reply("00000"), "", "STATUS", "", "", "\x01\x03"}));
  Seed("packets", "device-id",
       qv46fuzz::JoinParts(
           {DeviceIdAnswer(), "", "IMAGE", "MULTICUT", "00000402", "\x01\x40\x30\x01"}));
  Seed(
      "packets", "commands",
      qv46fuzz::JoinParts({queryBytes + mediaBytes, "", "CNTRL", "START", "", "\x00\x07\x07\x07"}));

  // Image library programs: fail nothing, one allocation, or all from the fifth.
  Seed("imglib", "resize-sharpen", std::string("\x10\x05\x01\x09\x11\x00\x0c\x02\x07\x20\x00", 11));
  Seed("imglib", "separate-tone-merge",
       std::string("\x00\x14\x0b\x04\x05\x06\x07\x08\x30\x41\x00\x0f\x01\x06\x00", 15));
  Seed("imglib", "oom",
       std::string("\x07\x09\x03\x05\x01\x00\x02\x04\x08\x00\x01\x02\x05\x05", 14));

  DaemonSeeds();
  return 0;
}
