// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// Shared fixtures of the filter tests: unique /tmp files, job information
// files, rasters written with libcups, captured job streams and a packet
// reader for them.
#pragma once

#include <cups/cups.h>
#include <cups/raster.h>
#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace qv46test {

// A path in /tmp unique to this process and call; removed on destruction.
class TempPath {
 public:
  explicit TempPath(const std::string& stem);
  ~TempPath();
  TempPath(const TempPath&) = delete;
  TempPath& operator=(const TempPath&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// A job id nobody else uses, and its /tmp/Print_<id>.log written with the
// given text (or not at all); the file is removed on destruction.
class JobInfoFile {
 public:
  JobInfoFile();
  explicit JobInfoFile(const std::string& contents);
  ~JobInfoFile();
  JobInfoFile(const JobInfoFile&) = delete;
  JobInfoFile& operator=(const JobInfoFile&) = delete;
  const std::string& JobId() const { return jobId_; }
  const std::string& Path() const { return path_; }
  void Write(const std::string& contents) const;

 private:
  std::string jobId_;
  std::string path_;
};

// Job options parsed the way CUPS hands them over; freed on destruction.
class Options {
 public:
  explicit Options(const std::string& text = "");
  ~Options();
  Options(const Options&) = delete;
  Options& operator=(const Options&) = delete;
  int Count() const { return count_; }
  cups_option_t* List() const { return list_; }

 private:
  int count_ = 0;
  cups_option_t* list_ = nullptr;
};

// One page of a test raster. Pixel (x, y) of row y (top row 0) comes from
// `pixel`; by default 8-bit RGB with three bytes per pixel.
struct RasterPage {
  unsigned width = 4;
  unsigned height = 3;
  unsigned numCopies = 1;
  unsigned bitsPerPixel = 24;
  // Lines actually written; fewer than `height` leaves the page cut short.
  int rowsWritten = -1;
  std::function<uint8_t(unsigned x, unsigned y, unsigned byte)> pixel;
};

// Byte `byte` of pixel (x, y) in the default test pattern: distinct per page
// row and column so a misplaced row or byte shows.
uint8_t PatternByte(unsigned page, unsigned x, unsigned y, unsigned byte);

// The raster stream of `pages`, written by libcups.
std::vector<uint8_t> MakeRaster(const std::vector<RasterPage>& pages);
void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);

// Reads a raster stream from memory through libcups. When `cancelAfter` is
// set, the Canceled flag goes up once that many bytes have been delivered.
class MemoryRaster {
 public:
  explicit MemoryRaster(std::vector<uint8_t> bytes, long cancelAfter = -1);
  ~MemoryRaster();
  MemoryRaster(const MemoryRaster&) = delete;
  MemoryRaster& operator=(const MemoryRaster&) = delete;
  cups_raster_t* Raster() const { return raster_; }
  // Bytes libcups has taken so far.
  size_t Delivered() const { return offset_; }

 private:
  static ssize_t Read(void* context, unsigned char* buffer, size_t length);
  std::vector<uint8_t> bytes_;
  size_t offset_ = 0;
  long cancelAfter_;
  cups_raster_t* raster_;
};

// A FILE* whose bytes can be taken at any time.
class CapturedStream {
 public:
  CapturedStream();
  ~CapturedStream();
  CapturedStream(const CapturedStream&) = delete;
  CapturedStream& operator=(const CapturedStream&) = delete;
  FILE* File() const { return file_; }
  std::vector<uint8_t> Bytes();

 private:
  FILE* file_;
  char* data_ = nullptr;
  size_t size_ = 0;
};

// One command packet of a job stream.
struct Packet {
  std::string command;    // trailing spaces removed
  std::string parameter;  // trailing spaces removed
  bool hasLength = false;
  std::vector<uint8_t> payload;
  std::string Text() const { return std::string(payload.begin(), payload.end()); }
};

// Splits a job stream into packets; fails the current test on a bad frame.
std::vector<Packet> ParsePackets(const std::vector<uint8_t>& stream);

// "CNTRL/CUTTER=00000120", "IMAGE/YPLANE" for planes, one entry per packet.
std::vector<std::string> Describe(const std::vector<Packet>& packets);

uint32_t ReadLE4(const uint8_t* bytes);
uint16_t ReadLE2(const uint8_t* bytes);

// How to start `program` with `args` as its whole argument vector (argument 0
// included): directly, or in a cross build under the target's emulator.
struct Launch {
  std::string executable;
  std::vector<std::string> args;
  // For execv; points into `args`.
  std::vector<char*> Argv();
};
Launch LaunchOf(const std::string& program, const std::vector<std::string>& args);

// A child program whose standard input is a pipe we write and whose
// standard output and error go to files.
class Child {
 public:
  // Runs `program` with `args` as its whole argument vector (argument 0
  // included). `environment` entries ("NAME=value") are added to ours;
  // "NAME=" removes one.
  Child(const std::string& program, const std::vector<std::string>& args,
        const std::vector<std::string>& environment);
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t Pid() const { return pid_; }
  void WriteInput(const std::vector<uint8_t>& bytes, size_t from = 0, size_t count = SIZE_MAX);
  void CloseInput();
  // Bytes written to the pipe that the child has not read yet.
  int UnreadInput() const;
  // Exit status, or -1 when the child did not exit normally.
  int Wait();
  std::vector<uint8_t> Output() const;
  std::vector<uint8_t> Errors() const;

 private:
  pid_t pid_ = -1;
  int input_ = -1;
  TempPath output_;
  TempPath errors_;
};

struct ProgramResult {
  int exitStatus = -1;
  std::vector<uint8_t> output;
  std::vector<uint8_t> errors;
};
ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& environment,
                         const std::vector<uint8_t>& input);

}  // namespace qv46test
