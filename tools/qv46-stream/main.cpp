// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// qv46-stream: lists the packets of a QV-46 command stream and, with an
// output folder, writes each plane as its BMP and one RGB preview PNG per
// panel.
//
//   qv46-stream [-o FOLDER] [FILE | -]
//
// Exit status: 0 for a valid stream, 1 for a malformed one (the message
// names the offset), 2 for a usage or file error.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "PngWriter.h"
#include "StreamDecoder.h"
#include "common/ProgramInfo.h"

namespace {

const char kUsage[] =
    "usage: qv46-stream [-o FOLDER] [FILE | -]\n"
    "Lists the packets of a QV-46 command stream; with -o, writes each plane as\n"
    "BMP and one RGB preview PNG per panel into FOLDER.\n";

int Usage() {
  fputs(kUsage, stderr);
  return 2;
}

bool ReadAll(FILE* file, std::vector<uint8_t>* data) {
  uint8_t chunk[1 << 16];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, file)) > 0) data->insert(data->end(), chunk, chunk + n);
  return !ferror(file);
}

bool WriteFile(const std::string& path, const uint8_t* bytes, size_t size) {
  FILE* file = fopen(path.c_str(), "wb");
  if (!file) return false;
  const bool written = fwrite(bytes, 1, size, file) == size;
  return fclose(file) == 0 && written;
}

// Writes panel<N>-<plane>.bmp for every plane and panel<N>.png per panel.
bool WritePanels(const std::string& folder, const std::vector<qv46stream::Panel>& panels) {
  const char* names[3] = {"YPLANE", "MPLANE", "CPLANE"};
  for (size_t i = 0; i < panels.size(); ++i) {
    const std::string stem = folder + "/panel" + std::to_string(i + 1);
    const qv46stream::Plane* planes[3] = {&panels[i].y, &panels[i].m, &panels[i].c};
    for (int p = 0; p < 3; ++p) {
      const std::string path = stem + "-" + names[p] + ".bmp";
      if (!WriteFile(path, planes[p]->bmpFile, planes[p]->bmpSize)) {
        fprintf(stderr, "qv46-stream: %s: %s\n", path.c_str(), strerror(errno));
        return false;
      }
    }
    std::string error;
    if (!qv46stream::WritePng(stem + ".png", qv46stream::ComposePreview(panels[i]), &error)) {
      fprintf(stderr, "qv46-stream: %s\n", error.c_str());
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const int answered = AnswerInfoOption(argc, argv, "qv46-stream", kUsage);
  if (answered >= 0) return answered;
  std::string folder;
  std::string input = "-";
  int i = 1;
  if (i < argc && strcmp(argv[i], "-o") == 0) {
    if (i + 1 >= argc) return Usage();
    folder = argv[i + 1];
    i += 2;
  }
  if (i < argc) input = argv[i++];
  if (i != argc || (!input.empty() && input[0] == '-' && input != "-")) return Usage();

  std::vector<uint8_t> data;
  FILE* file = input == "-" ? stdin : fopen(input.c_str(), "rb");
  if (!file) {
    fprintf(stderr, "qv46-stream: %s: %s\n", input.c_str(), strerror(errno));
    return 2;
  }
  const bool read = ReadAll(file, &data);
  if (file != stdin) fclose(file);
  if (!read) {
    fprintf(stderr, "qv46-stream: %s: read error\n", input.c_str());
    return 2;
  }

  const qv46stream::DecodeResult result = qv46stream::DecodeStream(data.data(), data.size());
  for (const qv46stream::Packet& packet : result.packets) {
    printf("%s\n", qv46stream::DescribePacket(packet).c_str());
  }
  fflush(stdout);
  if (!result.ok) {
    fprintf(stderr, "qv46-stream: offset %zu: %s\n", result.errorOffset, result.error.c_str());
    return 1;
  }
  std::vector<qv46stream::Panel> panels;
  std::string error;
  if (!qv46stream::CollectPanels(result.packets, &panels, &error)) {
    fprintf(stderr, "qv46-stream: %s\n", error.c_str());
    return 1;
  }
  printf("%zu packets, %zu panels, %zu bytes\n", result.packets.size(), panels.size(), data.size());
  if (folder.empty()) return 0;
  if (mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
    fprintf(stderr, "qv46-stream: %s: %s\n", folder.c_str(), strerror(errno));
    return 2;
  }
  return WritePanels(folder, panels) ? 0 : 2;
}
