// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// The job stream a real QV-46 device object writes: batch order, media size
// and start packets, plane sizes and BMP headers, and the worked example.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "FilterTestSupport.h"
#include "filter/FilterDriver.h"
#include "filter/PhotoPrinterDeviceQV46.h"

using qv46test::CapturedStream;
using qv46test::Describe;
using qv46test::JobInfoFile;
using qv46test::MakeRaster;
using qv46test::MemoryRaster;
using qv46test::Options;
using qv46test::Packet;
using qv46test::ParsePackets;
using qv46test::RasterPage;
using qv46test::ReadLE2;
using qv46test::ReadLE4;

namespace {

constexpr int kBmpHeaderBytes = 1088;  // file and information headers, palette, padding

struct Job {
  std::vector<Packet> packets;
  std::vector<std::string> lines;
};

// Runs the job's settings and page loop on a QV-46 device writing to memory.
Job RunQv46Job(const std::string& optionText, const JobInfoFile& info,
               const std::vector<RasterPage>& pages) {
  CapturedStream stream;
  Options options(optionText);
  MemoryRaster raster(MakeRaster(pages));
  {
    DeviceEntry_QV46 device;
    device.SetOutput(stream.File());
    RunJob(device, raster.Raster(), info.JobId().c_str(), options.Count(), options.List(), nullptr);
  }
  Job job;
  job.packets = ParsePackets(stream.Bytes());
  job.lines = Describe(job.packets);
  return job;
}

// Checks one plane packet's BMP file; returns its pixel rows (bottom first).
void ExpectPlaneBmp(const Packet& plane, uint32_t width, uint32_t height, uint32_t ppmY) {
  const uint32_t stride = (width + 3) & ~3u;
  ASSERT_EQ(kBmpHeaderBytes + stride * height, plane.payload.size()) << plane.parameter;
  const uint8_t* bmp = plane.payload.data();
  EXPECT_EQ('B', bmp[0]);
  EXPECT_EQ('M', bmp[1]);
  EXPECT_EQ(plane.payload.size(), ReadLE4(bmp + 2));
  EXPECT_EQ(0u, ReadLE4(bmp + 6));
  EXPECT_EQ(1088u, ReadLE4(bmp + 10));
  EXPECT_EQ(40u, ReadLE4(bmp + 14));
  EXPECT_EQ(width, ReadLE4(bmp + 18));
  EXPECT_EQ(height, ReadLE4(bmp + 22));
  EXPECT_EQ(1, ReadLE2(bmp + 26));
  EXPECT_EQ(8, ReadLE2(bmp + 28));
  EXPECT_EQ(0u, ReadLE4(bmp + 30));
  EXPECT_EQ(stride * height, ReadLE4(bmp + 34));
  EXPECT_EQ(11811u, ReadLE4(bmp + 38));
  EXPECT_EQ(ppmY, ReadLE4(bmp + 42));
  EXPECT_EQ(256u, ReadLE4(bmp + 46));
  EXPECT_EQ(256u, ReadLE4(bmp + 50));
  for (uint32_t v = 0; v < 256; ++v) {
    const uint8_t* entry = bmp + 54 + 4 * v;
    ASSERT_TRUE(entry[0] == v && entry[1] == v && entry[2] == v && entry[3] == 0) << v;
  }
  for (int i = 54 + 1024; i < kBmpHeaderBytes; ++i) ASSERT_EQ(0, bmp[i]) << i;
}

TEST(JobStream, WorkedExampleTwoCopiesOnOnePanel) {
  JobInfoFile info("MEDIA_SIZE=\"00310\"\nMEDIA_REMAIN_HALF=\"10\"\n");
  // A small black page: the planes' size comes from the media record, and
  // a page smaller than the image area is centred in its band.
  RasterPage page;
  page.width = 184;
  page.height = 248;
  page.numCopies = 2;
  page.pixel = [](unsigned, unsigned, unsigned) { return uint8_t{0}; };
  const Job job = RunQv46Job(
      "PageSize=153x102mm ZelOvercoatFinish=Glossy Zel2InchCut=Enable Resolution=300x600dpi", info,
      {page});

  const std::vector<std::string> expected = {
      "CNTRL/CUTTER=00000120",
      "CNTRL/OVERCOAT=00000000",
      "CNTRL/BUFFCNTRL=00000001",
      "CNTRL/PRINTSPEED=00000010",
      "IMAGE/MULTICUT=00000012",
      "IMAGE/YPLANE",
      "IMAGE/MPLANE",
      "IMAGE/CPLANE",
      "CNTRL/START",
  };
  ASSERT_EQ(expected, job.lines);
  EXPECT_FALSE(job.packets.back().hasLength);

  for (size_t p = 5; p < 8; ++p) {
    const Packet& plane = job.packets[p];
    ExpectPlaneBmp(plane, 1920, 4996, 23622);
    // Both copies centred across the head (columns 868 to 1051) and in
    // bands of 2480 rows that start 2480 + 36 rows apart: rows 1116 to 1363
    // and 3632 to 3879. Everything else stays white.
    const uint8_t* pixels = plane.payload.data() + kBmpHeaderBytes;
    auto at = [&](uint32_t row, uint32_t column) { return pixels[row * 1920 + column]; };
    for (uint32_t top : {1116u, 3632u}) {
      for (uint32_t row : {top, top + 247}) {
        EXPECT_EQ(0xFF, at(row, 867)) << plane.parameter << " row " << row;
        EXPECT_EQ(0x00, at(row, 868)) << plane.parameter << " row " << row;
        EXPECT_EQ(0x00, at(row, 1051)) << plane.parameter << " row " << row;
        EXPECT_EQ(0xFF, at(row, 1052)) << plane.parameter << " row " << row;
      }
      EXPECT_EQ(0xFF, at(top - 1, 960)) << plane.parameter << " above " << top;
      EXPECT_EQ(0xFF, at(top + 248, 960)) << plane.parameter << " below " << top;
    }
  }
}

TEST(JobStream, HalfPanelParityDecidesWhetherTheFirstImageGoesAlone) {
  struct Case {
    const char* jobInfo;
    std::vector<std::string> multiCuts;
  };
  const Case cases[] = {
      {"MEDIA_SIZE=\"00310\"\nMEDIA_REMAIN_HALF=\"3\"\n",
       {"IMAGE/MULTICUT=00000402", "IMAGE/MULTICUT=00000402"}},
      {"MEDIA_SIZE=\"00310\"\nMEDIA_REMAIN_HALF=\"4\"\n", {"IMAGE/MULTICUT=00000012"}},
      {"MEDIA_SIZE=\"00310\"\nMEDIA_REMAIN_HALF=\"-1\"\n", {"IMAGE/MULTICUT=00000012"}},
      // A line ending in CR LF no longer names the media: one per panel.
      {"MEDIA_SIZE=\"00310\"\r\nMEDIA_REMAIN_HALF=\"4\"\r\n",
       {"IMAGE/MULTICUT=00000402", "IMAGE/MULTICUT=00000402"}},
  };
  for (const Case& c : cases) {
    JobInfoFile info(c.jobInfo);
    const Job job = RunQv46Job("PageSize=153x102mm", info, std::vector<RasterPage>(2));
    std::vector<std::string> multiCuts;
    for (size_t i = 0; i < job.lines.size(); ++i) {
      if (job.lines[i].rfind("IMAGE/MULTICUT", 0) != 0) continue;
      multiCuts.push_back(job.lines[i]);
      // Each print: four control packets, media size, three planes, start.
      ASSERT_GE(i, 4u);
      EXPECT_EQ("CNTRL/CUTTER=00000000", job.lines[i - 4]);
      ASSERT_LT(i + 4, job.lines.size());
      EXPECT_EQ("CNTRL/START", job.lines[i + 4]);
    }
    EXPECT_EQ(c.multiCuts, multiCuts) << c.jobInfo;
    EXPECT_EQ(9 * c.multiCuts.size(), job.lines.size()) << c.jobInfo;
  }
}

// A 4 x 6 inch QV-46 device writing to memory.
struct Device {
  explicit Device(const char* optionText = "PageSize=153x102mm") {
    device.SetOutput(stream.File());
    Options options(optionText);
    device.SetResolution(options.Count(), options.List(), nullptr);
    device.SetMediaSize(options.Count(), options.List(), nullptr);
  }
  CapturedStream stream;
  DeviceEntry_QV46 device;
};

TEST(JobStream, BatchSizeChoosesTheSingleOrTheTwoUpRecord) {
  struct Case {
    int count;
    const char* multiCut;
    uint32_t planeHeight;
  };
  const Case cases[] = {{0, "00000402", 1240}, {1, "00000402", 1240}, {2, "00000012", 2498}};
  for (const Case& c : cases) {
    Device d;
    EXPECT_EQ(1, d.device.SendImageData(c.count));
    const std::vector<Packet> packets = ParsePackets(d.stream.Bytes());
    ASSERT_EQ(5u, packets.size());
    EXPECT_EQ(c.multiCut, packets[0].Text());
    for (size_t p = 1; p < 4; ++p) ExpectPlaneBmp(packets[p], 1920, c.planeHeight, 11811);
    EXPECT_EQ("START", packets[4].parameter);
  }
}

TEST(JobStream, MediaSizeAndStartPacketsAreFramedByteForByte) {
  Device d("PageSize=127x89mm");
  EXPECT_EQ(1, d.device.SendMediaSize(&d.device.mediaInfo));
  DeviceMediaBufferInfo twoUp = d.device.GetMultiMediaInfo(&d.device.mediaInfo, 2);
  EXPECT_EQ(1, d.device.SendMediaSize(&twoUp));
  const std::vector<uint8_t> bytes = d.stream.Bytes();
  const std::string expected = std::string("\x1bPIMAGE MULTICUT        0000000800000401") +
                               "\x1bPIMAGE MULTICUT        0000000800000022";
  EXPECT_EQ(expected, std::string(bytes.begin(), bytes.end()));

  Device start;
  EXPECT_EQ(1, start.device.PrintImageData(&start.device.mediaInfo));
  const std::vector<uint8_t> all = start.stream.Bytes();
  ASSERT_GE(all.size(), 32u);
  EXPECT_EQ(std::string("\x1bPCNTRL START") + std::string(11 + 8, ' '),
            std::string(all.end() - 32, all.end()));
}

TEST(JobStream, SetCommandWritesWholeBlocksAndReportsFailure) {
  Device d;
  const char block[] = "abcde";
  EXPECT_EQ(0, d.device.SetCommand(block, 0));
  EXPECT_EQ(0, d.device.SetCommand(nullptr, 5));
  EXPECT_TRUE(d.stream.Bytes().empty());
  EXPECT_EQ(1, d.device.SetCommand(block, 5));
  EXPECT_EQ((std::vector<uint8_t>{'a', 'b', 'c', 'd', 'e'}), d.stream.Bytes());

  // A stream that cannot be written: no start packet, the batch is not done.
  FILE* readOnly = std::fopen("/dev/null", "r");
  ASSERT_NE(nullptr, readOnly);
  d.device.SetOutput(readOnly);
  EXPECT_EQ(0, d.device.SetCommand(block, 5));
  EXPECT_EQ(0, d.device.PrintImageData(&d.device.mediaInfo));
  EXPECT_EQ(0, d.device.SendImageData(1));
  d.device.SetOutput(d.stream.File());
  std::fclose(readOnly);
}

}  // namespace
