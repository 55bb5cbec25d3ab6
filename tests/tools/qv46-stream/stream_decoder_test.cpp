// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "PngWriter.h"
#include "StreamDecoder.h"
#include "common/PhotoPrinterDevice.h"

using qv46stream::DecodeResult;
using qv46stream::DecodeStream;
using qv46stream::Panel;

namespace {

using Bytes = std::vector<uint8_t>;

void Append(Bytes* out, const DeviceCmd& cmd) {
  out->insert(out->end(), cmd.buffer(), cmd.buffer() + cmd.length());
}

void AppendPacket(Bytes* out, const char* command, const char* parameter,
                  const std::string& payload = "") {
  DeviceCmd cmd;
  ASSERT_EQ(cmd.MakeCmd(command, parameter, payload.empty() ? -1 : int(payload.size()),
                        payload.empty() ? nullptr : payload.data()),
            0);
  Append(out, cmd);
}

void PutLE4(Bytes* b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) (*b)[at + i] = uint8_t(v >> (8 * i));
}

// An 8-bit grey BMP written independently of the filter; pixel (x, row)
// holds value(x, row).
Bytes MakeBmp(int width, int height, int yPixelsPerMetre, uint8_t (*value)(int, int)) {
  const int stride = (width + 3) & ~3;
  Bytes bmp(1088 + size_t(stride) * height, 0);
  bmp[0] = 'B';
  bmp[1] = 'M';
  PutLE4(&bmp, 2, uint32_t(bmp.size()));
  PutLE4(&bmp, 10, 1088);
  PutLE4(&bmp, 14, 40);
  PutLE4(&bmp, 18, uint32_t(width));
  PutLE4(&bmp, 22, uint32_t(height));
  bmp[26] = 1;
  bmp[28] = 8;
  PutLE4(&bmp, 34, uint32_t(stride * height));
  PutLE4(&bmp, 38, 11811);
  PutLE4(&bmp, 42, uint32_t(yPixelsPerMetre));
  PutLE4(&bmp, 46, 256);
  PutLE4(&bmp, 50, 256);
  for (int v = 0; v < 256; ++v) bmp[54 + 4 * v] = bmp[55 + 4 * v] = bmp[56 + 4 * v] = uint8_t(v);
  for (int row = 0; row < height; ++row) {
    for (int x = 0; x < width; ++x) bmp[1088 + size_t(row) * stride + x] = value(x, row);
  }
  return bmp;
}

void AppendPlane(Bytes* out, const char* name, const Bytes& bmp) {
  AppendPacket(out, "IMAGE", name, std::string(bmp.begin(), bmp.end()));
}

uint8_t Flat10(int, int) { return 10; }
uint8_t Flat20(int, int) { return 20; }
uint8_t Flat30(int, int) { return 30; }
// Row 0 (the bottom of the print) is dark, the rest bright.
uint8_t DarkBottom(int, int row) { return row == 0 ? 0 : 200; }

// A complete one-panel job as the filter writes it.
Bytes ValidStream(int width = 5, int height = 3) {
  Bytes s;
  AppendPacket(&s, "CNTRL", "CUTTER", "00000120");
  AppendPacket(&s, "IMAGE", "MULTICUT", "00000012");
  AppendPlane(&s, "YPLANE", MakeBmp(width, height, 11811, Flat10));
  AppendPlane(&s, "MPLANE", MakeBmp(width, height, 11811, Flat20));
  AppendPlane(&s, "CPLANE", MakeBmp(width, height, 11811, Flat30));
  AppendPacket(&s, "CNTRL", "START");
  return s;
}

constexpr size_t kYPayload = 40 + 40 + 32;  // after CUTTER and MULTICUT, past the Y header

TEST(StreamDecoder, DecodesAWholeJob) {
  const Bytes s = ValidStream();
  const DecodeResult r = DecodeStream(s.data(), s.size());
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_EQ(r.packets.size(), 6u);
  EXPECT_EQ(r.packets[0].command, "CNTRL");
  EXPECT_EQ(r.packets[0].parameter, "CUTTER");
  EXPECT_EQ(std::string(r.packets[0].payload, r.packets[0].payload + 8), "00000120");
  EXPECT_TRUE(r.packets[2].isPlane);
  EXPECT_EQ(r.packets[2].plane.width, 5);
  EXPECT_EQ(r.packets[2].plane.height, 3);
  EXPECT_EQ(r.packets[2].plane.stride, 8);
  EXPECT_EQ(r.packets[2].payloadLength, 1088u + 8 * 3);
  EXPECT_FALSE(r.packets[5].hasPayload);
  EXPECT_EQ(r.packets[5].offset, s.size() - 32);

  EXPECT_EQ(qv46stream::DescribePacket(r.packets[0]),
            "         0  CNTRL  CUTTER                  8  \"00000120\"");
  EXPECT_EQ(qv46stream::DescribePacket(r.packets[2]),
            "        80  IMAGE  YPLANE               1112  5x3  11811x11811 px/m");
  EXPECT_EQ(qv46stream::DescribePacket(r.packets[5]),
            "      3512  CNTRL  START                   -");
}

TEST(StreamDecoder, EmptyStreamHasNoPackets) {
  const DecodeResult r = DecodeStream(nullptr, 0);
  EXPECT_TRUE(r.ok);
  EXPECT_TRUE(r.packets.empty());
}

TEST(StreamDecoder, DescribeEscapesBinaryPayloads) {
  Bytes s;
  AppendPacket(&s, "CNTRL", "SET_SYS_TIME", std::string("20260102030405\r\0", 16));
  const DecodeResult r = DecodeStream(s.data(), s.size());
  ASSERT_TRUE(r.ok);
  EXPECT_NE(qv46stream::DescribePacket(r.packets[0]).find("\"20260102030405\\x0d\\x00\""),
            std::string::npos);
}

// Each case corrupts a valid stream and names where the decoder must stop.
struct Corruption {
  const char* name;
  void (*corrupt)(Bytes*);
  size_t offset;
  const char* message;  // part of the error text
};

const Corruption kCorruptions[] = {
    {"TruncatedHeader", [](Bytes* s) { s->resize(20); }, 0, "truncated packet header"},
    {"TruncatedLastHeader", [](Bytes* s) { s->resize(s->size() - 1); }, 3512,
     "truncated packet header"},
    {"NoEscape", [](Bytes* s) { (*s)[40] = 0x1C; }, 40, "ESC 'P'"},
    {"NoP", [](Bytes* s) { (*s)[41] = 'Q'; }, 40, "ESC 'P'"},
    {"BlankCommand", [](Bytes* s) { memset(s->data() + 2, ' ', 6); }, 2, "command word"},
    {"SpaceInsideCommand", [](Bytes* s) { (*s)[4] = ' '; }, 2, "command word"},
    {"ControlCharInParameter", [](Bytes* s) { (*s)[9] = '\n'; }, 8, "parameter word"},
    {"LetterInLength", [](Bytes* s) { (*s)[31] = 'x'; }, 24, "eight digits"},
    {"ZeroLength", [](Bytes* s) { memcpy(s->data() + 24, "00000000", 8); }, 24, "empty payload"},
    {"PayloadPastEnd", [](Bytes* s) { s->resize(40 + 40 + 32 + 500); }, 104, "runs past the end"},
    {"PayloadWithoutParameter", [](Bytes* s) { memset(s->data() + 8, ' ', 16); }, 24,
     "without a parameter"},
    {"BmpSignature", [](Bytes* s) { (*s)[kYPayload] = 'X'; }, kYPayload, "signature"},
    {"BmpFileSize", [](Bytes* s) { (*s)[kYPayload + 2] ^= 1; }, kYPayload + 2, "file size"},
    {"BmpReserved", [](Bytes* s) { (*s)[kYPayload + 7] = 1; }, kYPayload + 6, "reserved"},
    {"BmpPixelOffset", [](Bytes* s) { (*s)[kYPayload + 10] = 0; }, kYPayload + 10, "pixel offset"},
    {"BmpInfoSize", [](Bytes* s) { (*s)[kYPayload + 14] = 12; }, kYPayload + 14,
     "information header"},
    {"BmpZeroWidth", [](Bytes* s) { (*s)[kYPayload + 18] = 0; }, kYPayload + 18, "width"},
    {"BmpTopDown", [](Bytes* s) { PutLE4(s, kYPayload + 22, uint32_t(-3)); }, kYPayload + 22,
     "bottom-up"},
    {"BmpPlanes", [](Bytes* s) { (*s)[kYPayload + 26] = 2; }, kYPayload + 26, "plane count"},
    {"BmpDepth", [](Bytes* s) { (*s)[kYPayload + 28] = 24; }, kYPayload + 28, "depth"},
    {"BmpCompressed", [](Bytes* s) { (*s)[kYPayload + 30] = 1; }, kYPayload + 30, "compressed"},
    // The 64-bit sizes in the messages must print right on 32-bit targets too.
    {"BmpImageSize", [](Bytes* s) { (*s)[kYPayload + 34] = 15; }, kYPayload + 34,
     "image size 15 differs from stride x height 24"},
    {"BmpColours", [](Bytes* s) { (*s)[kYPayload + 50] = 1; }, kYPayload + 46, "colour counts"},
    {"BmpPalette", [](Bytes* s) { (*s)[kYPayload + 54 + 4 * 7 + 1] = 8; }, kYPayload + 54 + 28,
     "entry 7"},
    {"BmpPaletteFourthByte", [](Bytes* s) { (*s)[kYPayload + 54 + 4 * 255 + 3] = 1; },
     kYPayload + 54 + 1020, "entry 255"},
    {"BmpPadding", [](Bytes* s) { (*s)[kYPayload + 1081] = 1; }, kYPayload + 1081, "padding"},
    // A taller image than the payload holds: header and payload disagree.
    {"BmpHeightTooLarge",
     [](Bytes* s) {
       (*s)[kYPayload + 22] = 4;
       PutLE4(s, kYPayload + 34, 32);
     },
     kYPayload, "holds 24 pixel bytes, expected 32"},
    // Every field plausible but for a huge height: must not overflow.
    {"BmpHugeHeight",
     [](Bytes* s) {
       PutLE4(s, kYPayload + 22, 0x7FFFFFFF);
       PutLE4(s, kYPayload + 34, 0xFFFFFFF8u);
     },
     kYPayload + 34, "image size"},
};

void PrintTo(const Corruption& c, std::ostream* os) { *os << c.name; }

class StreamCorruption : public ::testing::TestWithParam<Corruption> {};

TEST_P(StreamCorruption, StopsAtTheFaultWithItsOffset) {
  Bytes s = ValidStream();
  GetParam().corrupt(&s);
  const DecodeResult r = DecodeStream(s.data(), s.size());
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.errorOffset, GetParam().offset) << r.error;
  EXPECT_NE(r.error.find(GetParam().message), std::string::npos) << r.error;
  // Packets before the fault are still reported.
  for (const auto& packet : r.packets) EXPECT_LT(packet.offset, GetParam().offset);
}

INSTANTIATE_TEST_SUITE_P(All, StreamCorruption, ::testing::ValuesIn(kCorruptions),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(StreamDecoder, PlanePacketWithoutPayloadIsRefused) {
  Bytes s;
  AppendPacket(&s, "IMAGE", "YPLANE");
  const DecodeResult r = DecodeStream(s.data(), s.size());
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.errorOffset, 0u);
}

TEST(StreamDecoder, ShortPlanePayloadIsRefused) {
  Bytes s;
  AppendPacket(&s, "IMAGE", "CPLANE", std::string(100, 'B'));
  const DecodeResult r = DecodeStream(s.data(), s.size());
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.errorOffset, 32u);
  EXPECT_NE(r.error.find("shorter than"), std::string::npos);
}

TEST(CollectPanels, GroupsPlanesByStart) {
  Bytes s = ValidStream();
  const Bytes second = ValidStream(7, 2);
  s.insert(s.end(), second.begin(), second.end());
  const DecodeResult r = DecodeStream(s.data(), s.size());
  ASSERT_TRUE(r.ok);
  std::vector<Panel> panels;
  std::string error;
  ASSERT_TRUE(qv46stream::CollectPanels(r.packets, &panels, &error)) << error;
  ASSERT_EQ(panels.size(), 2u);
  EXPECT_EQ(panels[1].c.width, 7);
  EXPECT_EQ(panels[1].c.rows[0], 30);
  EXPECT_EQ(panels[1].y.rows[0], 10);
}

struct PanelFault {
  const char* name;
  Bytes (*make)();
  const char* message;
};

const PanelFault kPanelFaults[] = {
    {"StartAlone",
     [] {
       Bytes s;
       AppendPacket(&s, "CNTRL", "START");
       return s;
     },
     "offset 0: START without all three planes"},
    {"MissingCPlane",
     [] {
       Bytes s;
       AppendPlane(&s, "YPLANE", MakeBmp(4, 2, 11811, Flat10));
       AppendPlane(&s, "MPLANE", MakeBmp(4, 2, 11811, Flat10));
       AppendPacket(&s, "CNTRL", "START");
       return s;
     },
     "START without all three planes"},
    {"MulticutDropsEarlierPlanes",
     [] {
       Bytes s;
       AppendPlane(&s, "YPLANE", MakeBmp(4, 2, 11811, Flat10));
       AppendPacket(&s, "IMAGE", "MULTICUT", "00000402");
       AppendPlane(&s, "MPLANE", MakeBmp(4, 2, 11811, Flat10));
       AppendPlane(&s, "CPLANE", MakeBmp(4, 2, 11811, Flat10));
       AppendPacket(&s, "CNTRL", "START");
       return s;
     },
     "START without all three planes"},
    {"PlaneSizesDiffer",
     [] {
       Bytes s;
       AppendPlane(&s, "YPLANE", MakeBmp(4, 2, 11811, Flat10));
       AppendPlane(&s, "MPLANE", MakeBmp(4, 3, 11811, Flat10));
       AppendPlane(&s, "CPLANE", MakeBmp(4, 2, 11811, Flat10));
       AppendPacket(&s, "CNTRL", "START");
       return s;
     },
     "different sizes"},
};

void PrintTo(const PanelFault& f, std::ostream* os) { *os << f.name; }

class PanelFaults : public ::testing::TestWithParam<PanelFault> {};

TEST_P(PanelFaults, AreReportedWithTheStartOffset) {
  const Bytes s = GetParam().make();
  const DecodeResult r = DecodeStream(s.data(), s.size());
  ASSERT_TRUE(r.ok) << r.error;
  std::vector<Panel> panels;
  std::string error;
  EXPECT_FALSE(qv46stream::CollectPanels(r.packets, &panels, &error));
  EXPECT_NE(error.find(GetParam().message), std::string::npos) << error;
  EXPECT_NE(error.find("offset " + std::to_string(r.packets.back().offset)), std::string::npos)
      << error;
}

INSTANTIATE_TEST_SUITE_P(All, PanelFaults, ::testing::ValuesIn(kPanelFaults),
                         [](const auto& info) { return std::string(info.param.name); });

Panel DecodeOnePanel(const Bytes& s) {
  const DecodeResult r = DecodeStream(s.data(), s.size());
  EXPECT_TRUE(r.ok) << r.error;
  std::vector<Panel> panels;
  std::string error;
  EXPECT_TRUE(qv46stream::CollectPanels(r.packets, &panels, &error)) << error;
  return panels.empty() ? Panel{} : panels[0];
}

TEST(ComposePreview, RedFromCyanGreenFromMagentaBlueFromYellowTopRowFirst) {
  Bytes s;
  AppendPlane(&s, "YPLANE", MakeBmp(3, 2, 11811, Flat10));
  AppendPlane(&s, "MPLANE", MakeBmp(3, 2, 11811, Flat20));
  AppendPlane(&s, "CPLANE", MakeBmp(3, 2, 11811, DarkBottom));
  AppendPacket(&s, "CNTRL", "START");
  const Bytes stream = s;  // planes point into it
  const qv46stream::RgbImage image = qv46stream::ComposePreview(DecodeOnePanel(stream));
  ASSERT_EQ(image.width, 3);
  ASSERT_EQ(image.height, 2);
  // Top row of the preview is the last plane row.
  EXPECT_EQ(Bytes(image.pixels.begin(), image.pixels.begin() + 3), (Bytes{200, 20, 10}));
  EXPECT_EQ(Bytes(image.pixels.begin() + 9, image.pixels.begin() + 12), (Bytes{0, 20, 10}));
}

TEST(ComposePreview, AveragesRowsWhenTheResolutionAlongThePaperIsHigher) {
  Bytes s;
  // 600 dpi along the paper: 4 plane rows become 2 preview rows.
  AppendPlane(&s, "YPLANE", MakeBmp(2, 4, 23622, DarkBottom));
  AppendPlane(&s, "MPLANE", MakeBmp(2, 4, 23622, Flat20));
  AppendPlane(&s, "CPLANE", MakeBmp(2, 4, 23622, Flat30));
  AppendPacket(&s, "CNTRL", "START");
  const qv46stream::RgbImage image = qv46stream::ComposePreview(DecodeOnePanel(s));
  ASSERT_EQ(image.width, 2);
  ASSERT_EQ(image.height, 2);
  EXPECT_EQ(image.pixels[2], 200);      // top: rows 3 and 2
  EXPECT_EQ(image.pixels[6 + 2], 100);  // bottom: rows 1 and 0 averaged
  EXPECT_EQ(image.pixels[6 + 1], 20);
}

// Unique scratch folder, removed with its files.
class ScratchDir {
 public:
  ScratchDir() {
    char name[] = "/tmp/qv46-stream-test-XXXXXX";
    path_ = mkdtemp(name);
  }
  ~ScratchDir() { EXPECT_EQ(system(("rm -rf '" + path_ + "'").c_str()), 0); }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

bool ReadPng(const std::string& path, int* width, int* height, Bytes* rgb) {
  png_image image;
  memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_RGB;
  rgb->resize(PNG_IMAGE_SIZE(image));
  *width = int(image.width);
  *height = int(image.height);
  return png_image_finish_read(&image, nullptr, rgb->data(), 0, nullptr) != 0;
}

TEST(WritePng, WritesAReadableImage) {
  ScratchDir dir;
  qv46stream::RgbImage image;
  image.width = 2;
  image.height = 1;
  image.pixels = {255, 0, 0, 0, 0, 255};
  std::string error;
  ASSERT_TRUE(qv46stream::WritePng(dir.Path() + "/x.png", image, &error)) << error;
  int width = 0, height = 0;
  Bytes rgb;
  ASSERT_TRUE(ReadPng(dir.Path() + "/x.png", &width, &height, &rgb));
  EXPECT_EQ(width, 2);
  EXPECT_EQ(height, 1);
  EXPECT_EQ(rgb, image.pixels);
  EXPECT_FALSE(qv46stream::WritePng(dir.Path() + "/missing/x.png", image, &error));
  EXPECT_NE(error.find("missing/x.png"), std::string::npos);
}

struct ToolRun {
  int status = -1;
  std::string out, err;
};

std::string Slurp(const std::string& path) {
  std::string text;
  if (FILE* f = fopen(path.c_str(), "rb")) {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    fclose(f);
  }
  return text;
}

ToolRun RunTool(const ScratchDir& dir, const std::string& args) {
  ToolRun run;
  const std::string command = std::string(QV46_TARGET_LAUNCHER) + " " + QV46_STREAM_TOOL + " " +
                              args + " >" + dir.Path() + "/out.txt 2>" + dir.Path() + "/err.txt";
  const int raw = system(command.c_str());
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.out = Slurp(dir.Path() + "/out.txt");
  run.err = Slurp(dir.Path() + "/err.txt");
  return run;
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
  FILE* f = fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  const size_t written = fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
  ASSERT_EQ(written, bytes.size());
}

TEST(Qv46StreamTool, ListsPacketsAndWritesPlanesAndPreview) {
  ScratchDir dir;
  WriteBytes(dir.Path() + "/job.bin", ValidStream());
  const ToolRun run = RunTool(dir, "-o " + dir.Path() + "/decoded " + dir.Path() + "/job.bin");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("IMAGE  MULTICUT                8  \"00000012\""), std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("6 packets, 1 panels"), std::string::npos) << run.out;
  const Bytes expectedBmp = MakeBmp(5, 3, 11811, Flat20);
  const std::string bmp = Slurp(dir.Path() + "/decoded/panel1-MPLANE.bmp");
  EXPECT_EQ(Bytes(bmp.begin(), bmp.end()), expectedBmp);
  int width = 0, height = 0;
  Bytes rgb;
  ASSERT_TRUE(ReadPng(dir.Path() + "/decoded/panel1.png", &width, &height, &rgb));
  EXPECT_EQ(width, 5);
  EXPECT_EQ(height, 3);
  EXPECT_EQ(Bytes(rgb.begin(), rgb.begin() + 3), (Bytes{30, 20, 10}));
}

TEST(Qv46StreamTool, ReadsStandardInput) {
  ScratchDir dir;
  WriteBytes(dir.Path() + "/job.bin", ValidStream());
  const ToolRun run = RunTool(dir, "- <" + dir.Path() + "/job.bin");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("CNTRL  START"), std::string::npos);
}

TEST(Qv46StreamTool, MalformedStreamNamesTheOffsetAndKeepsTheListingSoFar) {
  ScratchDir dir;
  Bytes s = ValidStream();
  s[kYPayload + 28] = 24;
  WriteBytes(dir.Path() + "/bad.bin", s);
  const ToolRun run = RunTool(dir, dir.Path() + "/bad.bin");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("offset " + std::to_string(kYPayload + 28) + ": BMP depth is 24 bits"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.out.find("MULTICUT"), std::string::npos);
  EXPECT_EQ(run.out.find("YPLANE"), std::string::npos);
}

TEST(Qv46StreamTool, UsageAndFileErrors) {
  ScratchDir dir;
  EXPECT_EQ(RunTool(dir, "-o").status, 2);
  EXPECT_EQ(RunTool(dir, "-x file").status, 2);
  EXPECT_EQ(RunTool(dir, "a b").status, 2);
  const ToolRun missing = RunTool(dir, dir.Path() + "/absent.bin");
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find("absent.bin"), std::string::npos);
}

}  // namespace
