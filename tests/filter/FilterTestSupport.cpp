// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "FilterTestSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "common/PhotoPrinterDevice.h"
#include "filter/FilterDriver.h"

namespace qv46test {

namespace {

std::string UniqueName(const std::string& stem) {
  static std::atomic<int> counter{0};
  return stem + "-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
}

// In one read: byte by byte through stream iterators, the rasters of 100 MB
// that the large-page tests make take most of a minute in the ASan build.
std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  std::vector<uint8_t> bytes(in ? static_cast<size_t>(in.tellg()) : 0);
  in.seekg(0);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

std::string Trimmed(const uint8_t* bytes, size_t size) {
  std::string text(reinterpret_cast<const char*>(bytes), size);
  const size_t end = text.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

}  // namespace

TempPath::TempPath(const std::string& stem) : path_("/tmp/" + UniqueName(stem)) {}

TempPath::~TempPath() { std::remove(path_.c_str()); }

JobInfoFile::JobInfoFile()
    : jobId_(UniqueName("qv46filtertest")), path_("/tmp/Print_" + jobId_ + ".log") {}

JobInfoFile::JobInfoFile(const std::string& contents) : JobInfoFile() { Write(contents); }

JobInfoFile::~JobInfoFile() { std::remove(path_.c_str()); }

void JobInfoFile::Write(const std::string& contents) const {
  {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out << contents;
  }
  // The filter reads only a file no one else may write, whatever the umask.
  chmod(path_.c_str(), 0644);
}

Options::Options(const std::string& text) { count_ = cupsParseOptions(text.c_str(), 0, &list_); }

Options::~Options() { cupsFreeOptions(count_, list_); }

uint8_t PatternByte(unsigned page, unsigned x, unsigned y, unsigned byte) {
  return static_cast<uint8_t>(page * 71 + x * 13 + y * 29 + byte * 101 + 1);
}

std::vector<uint8_t> MakeRaster(const std::vector<RasterPage>& pages) {
  TempPath file("qv46filtertest-raster");
  const int fd = open(file.Path().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  EXPECT_GE(fd, 0);
  cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_WRITE);
  for (size_t p = 0; p < pages.size(); ++p) {
    const RasterPage& page = pages[p];
    cups_page_header2_t header;
    std::memset(&header, 0, sizeof header);
    header.cupsWidth = page.width;
    header.cupsHeight = page.height;
    header.cupsBitsPerColor = 8;
    header.cupsBitsPerPixel = page.bitsPerPixel;
    header.cupsBytesPerLine = (page.width * page.bitsPerPixel + 7) / 8;
    header.cupsColorOrder = CUPS_ORDER_CHUNKED;
    header.cupsColorSpace = page.bitsPerPixel == 24 ? CUPS_CSPACE_RGB : CUPS_CSPACE_W;
    header.NumCopies = page.numCopies;
    header.HWResolution[0] = 300;
    header.HWResolution[1] = 300;
    EXPECT_EQ(1u, cupsRasterWriteHeader2(raster, &header));

    const unsigned rows =
        page.rowsWritten < 0 ? page.height : static_cast<unsigned>(page.rowsWritten);
    std::vector<uint8_t> line(header.cupsBytesPerLine);
    const unsigned bytesPerPixel = page.bitsPerPixel / 8;
    for (unsigned y = 0; y < rows; ++y) {
      for (unsigned i = 0; i < line.size(); ++i) {
        const unsigned x = i / bytesPerPixel;
        const unsigned byte = i % bytesPerPixel;
        line[i] =
            page.pixel ? page.pixel(x, y, byte) : PatternByte(static_cast<unsigned>(p), x, y, byte);
      }
      if (!line.empty()) {
        EXPECT_EQ(line.size(),
                  cupsRasterWritePixels(raster, line.data(), static_cast<unsigned>(line.size())));
      }
    }
  }
  cupsRasterClose(raster);
  close(fd);
  return ReadFile(file.Path());
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

MemoryRaster::MemoryRaster(std::vector<uint8_t> bytes, long cancelAfter)
    : bytes_(std::move(bytes)), cancelAfter_(cancelAfter) {
  raster_ = cupsRasterOpenIO(&MemoryRaster::Read, this, CUPS_RASTER_READ);
}

MemoryRaster::~MemoryRaster() { cupsRasterClose(raster_); }

ssize_t MemoryRaster::Read(void* context, unsigned char* buffer, size_t length) {
  auto* self = static_cast<MemoryRaster*>(context);
  size_t count = std::min(length, self->bytes_.size() - self->offset_);
  if (self->cancelAfter_ >= 0) {
    const size_t limit = static_cast<size_t>(self->cancelAfter_);
    // Deliver up to the cancel point, then raise the flag as SIGTERM would.
    if (self->offset_ >= limit) {
      Canceled = 1;
    } else {
      count = std::min(count, limit - self->offset_);
    }
  }
  std::memcpy(buffer, self->bytes_.data() + self->offset_, count);
  self->offset_ += count;
  return static_cast<ssize_t>(count);
}

CapturedStream::CapturedStream() : file_(open_memstream(&data_, &size_)) {}

CapturedStream::~CapturedStream() {
  std::fclose(file_);
  std::free(data_);
}

std::vector<uint8_t> CapturedStream::Bytes() {
  std::fflush(file_);
  return std::vector<uint8_t>(data_, data_ + size_);
}

std::vector<Packet> ParsePackets(const std::vector<uint8_t>& stream) {
  std::vector<Packet> packets;
  size_t offset = 0;
  while (offset < stream.size()) {
    if (stream.size() - offset < kCmdHeaderSize) {
      ADD_FAILURE() << "short packet header at offset " << offset;
      break;
    }
    const uint8_t* header = stream.data() + offset;
    if (!IsCmdHeader(header)) {
      ADD_FAILURE() << "no ESC P at offset " << offset;
      break;
    }
    Packet packet;
    packet.command = Trimmed(header + kCmdWordOffset, kCmdWordSize);
    packet.parameter = Trimmed(header + kCmdParameterOffset, kCmdParameterSize);
    long lengthValue = 0;
    const int lengthField = ReadCmdLength(header, &lengthValue);
    if (lengthField < 0) {
      ADD_FAILURE() << "bad length field '"
                    << std::string(reinterpret_cast<const char*>(header + 24), 8) << "' at offset "
                    << offset;
      break;
    }
    packet.hasLength = lengthField > 0;
    const size_t length = static_cast<size_t>(lengthValue);
    if (stream.size() - offset - kCmdHeaderSize < length) {
      ADD_FAILURE() << "payload runs past the end at offset " << offset;
      break;
    }
    packet.payload.assign(header + kCmdHeaderSize, header + kCmdHeaderSize + length);
    packets.push_back(std::move(packet));
    offset += kCmdHeaderSize + length;
  }
  return packets;
}

std::vector<std::string> Describe(const std::vector<Packet>& packets) {
  std::vector<std::string> lines;
  for (const Packet& packet : packets) {
    std::string line = packet.command + "/" + packet.parameter;
    const bool isPlane = packet.command == "IMAGE" && packet.parameter != "MULTICUT";
    if (packet.hasLength && !isPlane) line += "=" + packet.Text();
    lines.push_back(line);
  }
  return lines;
}

uint32_t ReadLE4(const uint8_t* bytes) {
  return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
         uint32_t{bytes[3]} << 24;
}

uint16_t ReadLE2(const uint8_t* bytes) { return static_cast<uint16_t>(bytes[0] | bytes[1] << 8); }

Launch LaunchOf(const std::string& program, const std::vector<std::string>& args) {
  // A cross build runs the target's program under its emulator, which hands
  // the program its own path as argument 0.
  const std::string launcher = QV46_TARGET_LAUNCHER;
  if (launcher.empty() || args.empty()) return {program, args};
  Launch launch{launcher, {launcher, program}};
  launch.args.insert(launch.args.end(), args.begin() + 1, args.end());
  return launch;
}

std::vector<char*> Launch::Argv() {
  std::vector<char*> argv;
  // execv wants char*, which only a mutable string's data() gives.
  // cppcheck-suppress constVariableReference
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  return argv;
}

Child::Child(const std::string& program, const std::vector<std::string>& args,
             const std::vector<std::string>& environment)
    : output_("qv46filtertest-out"), errors_("qv46filtertest-err") {
  Launch launch = LaunchOf(program, args);
  std::vector<char*> argv = launch.Argv();
  int pipeEnds[2];
  if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe: " << std::strerror(errno);
    return;
  }
  pid_ = fork();
  if (pid_ == 0) {
    dup2(pipeEnds[0], STDIN_FILENO);
    const int out = open(output_.Path().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(errors_.Path().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    for (const std::string& entry : environment) {
      const size_t equals = entry.find('=');
      const std::string name = entry.substr(0, equals);
      const std::string value = entry.substr(equals + 1);
      if (value.empty()) {
        unsetenv(name.c_str());
      } else {
        setenv(name.c_str(), value.c_str(), 1);
      }
    }
    execv(launch.executable.c_str(), argv.data());
    _exit(127);
  }
  close(pipeEnds[0]);
  input_ = pipeEnds[1];
}

Child::~Child() {
  CloseInput();
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

void Child::WriteInput(const std::vector<uint8_t>& bytes, size_t from, size_t count) {
  const size_t end = from + std::min(count, bytes.size() - from);
  // A child that ended early closes its end; that is for the test to judge.
  signal(SIGPIPE, SIG_IGN);
  for (size_t offset = from; offset < end;) {
    const ssize_t written = write(input_, bytes.data() + offset, end - offset);
    if (written <= 0) {
      if (written < 0 && errno == EINTR) continue;
      return;
    }
    offset += static_cast<size_t>(written);
  }
}

void Child::CloseInput() {
  if (input_ >= 0) close(input_);
  input_ = -1;
}

int Child::UnreadInput() const {
  int count = 0;
  if (input_ < 0 || ioctl(input_, FIONREAD, &count) != 0) return -1;
  return count;
}

int Child::Wait() {
  CloseInput();
  int status = 0;
  if (pid_ <= 0 || waitpid(pid_, &status, 0) != pid_) return -1;
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<uint8_t> Child::Output() const { return ReadFile(output_.Path()); }

std::vector<uint8_t> Child::Errors() const { return ReadFile(errors_.Path()); }

ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::vector<std::string>& environment,
                         const std::vector<uint8_t>& input) {
  Child child(program, args, environment);
  child.WriteInput(input);
  ProgramResult result;
  result.exitStatus = child.Wait();
  result.output = child.Output();
  result.errors = child.Errors();
  return result;
}

}  // namespace qv46test
