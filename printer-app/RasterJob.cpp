// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "printer-app/RasterJob.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/PhotoPrinterDevice.h"
#include "common/PrinterReplies.h"
#include "common/UsbPrinter.h"
#include "filter/FilterDriver.h"
#include "filter/JobPipeline.h"
#include "filter/PhotoPrinterDeviceQV46.h"
#include "printer-app/AcceptedJobs.h"
#include "printer-app/DocumentLimits.h"
#include "printer-app/Driver.h"
#include "printer-app/JobQueue.h"
#include "printer-app/Stopping.h"
#include "printer-app/UsbScheme.h"

extern char** environ;

namespace {

// How often a job whose printer went away looks for it.
constexpr std::chrono::seconds kPrinterLook{1};

// Sends one job's command packets, each as one device write, chunked as the
// classic backend does. The printer prints what it received at each START;
// one that goes away before a START gets the packets since the last START
// again once it is back, so it prints them whole. One lost at the START
// itself may have printed: the job ends there, as a stop ends it only
// between packets.
class PacketSender {
 public:
  PacketSender(pappl_job_t* job, pappl_device_t* device) : job_(job), device_(device) {
    char path[] = "/tmp/qv46-job-XXXXXX";
    const int fd = mkostemp(path, O_CLOEXEC);
    if (fd < 0) return;
    unlink(path);
    kept_ = fdopen(fd, "w+");
    if (kept_ == nullptr) close(fd);
  }
  ~PacketSender() {
    if (kept_ != nullptr) std::fclose(kept_);
  }
  PacketSender(const PacketSender&) = delete;
  PacketSender& operator=(const PacketSender&) = delete;

  // False once the job cannot go on: canceled, or lost at a START.
  bool Send(const char* data, size_t size) {
    const bool start = IsStart(data, size);
    if (start) MarkPrinting(job_);
    if (!start && !Keep(data, size)) return false;
    if (Write(data, size)) return Sent(start);
    if (start) return false;
    papplJobSetMessage(job_,
                       "The printer went away while this photo was sent; it is sent again, "
                       "whole, once the printer is back.");
    while (!papplJobIsCanceled(job_)) {
      std::this_thread::sleep_for(kPrinterLook);
      if (Reconnect(device_) == 0 && Resend()) {
        papplJobSetMessage(job_, "Printing.");
        return true;
      }
    }
    return false;
  }

 private:
  // A stop lets the packet under way end whole and begins no other.
  bool Write(const char* data, size_t size) {
    const PacketWrite whole;
    if (papplDeviceWrite(device_, data, size) < 0) return false;
    papplDeviceFlush(device_);
    return true;
  }

  bool Keep(const char* data, size_t size) {
    if (kept_ == nullptr || std::fwrite(data, 1, size, kept_) != size) return false;
    sizes_.push_back(size);
    return true;
  }

  bool Sent(bool start) {
    if (start && kept_ != nullptr) {
      sizes_.clear();
      std::rewind(kept_);
    }
    return true;
  }

  bool Resend() {
    std::fflush(kept_);
    std::rewind(kept_);
    std::vector<char> packet;
    for (size_t size : sizes_) {
      packet.resize(size);
      if (std::fread(packet.data(), 1, size, kept_) != size || !Write(packet.data(), size))
        return false;
    }
    return true;
  }

  static bool IsStart(const char* data, size_t size) {
    uint8_t start[kCmdHeaderSize];
    WriteCmdHeader(start, "CNTRL", "START", 0);
    return size == kCmdHeaderSize && std::memcmp(data, start, kCmdHeaderSize) == 0;
  }

  pappl_job_t* job_;
  pappl_device_t* device_;
  FILE* kept_ = nullptr;       // the packets since the last START
  std::vector<size_t> sizes_;  // their sizes
};

ssize_t WritePacket(void* cookie, const char* data, size_t size) {
  return static_cast<PacketSender*>(cookie)->Send(data, size) ? static_cast<ssize_t>(size) : 0;
}

// A job starts from its first page, also when it comes again after a stop;
// one whose bytes did not all reach the printer printed nothing for sure.
void ForgetImpressions(pappl_job_t* job) {
  papplJobSetImpressionsCompleted(job, -papplJobGetImpressionsCompleted(job));
}

bool Lost(pappl_job_t* job) {
  ForgetImpressions(job);
  if (!papplJobIsCanceled(job))
    papplJobSetMessage(job,
                       "The printer went away as this photo was finished; it may have printed, "
                       "so it was not sent again.");
  return false;
}

LoadedMedia AskLoadedMedia(pappl_device_t* device) {
  LoadedMedia media{};
  UsbPrinter* printer = PrinterOf(device);
  std::string value;
  if (printer == nullptr) return media;
  // What the classic backend hands the filter.
  if (printer->QueryText(kQueryMedia, &value) == 0)
    std::snprintf(media.mediaSize, sizeof media.mediaSize, "%s", MediaSizeFromReply(value).c_str());
  if (printer->QueryText(kQueryMediaRemainHalf, &value) == 0)
    media.remainHalf = std::max(0, QuantityFromReply(value));
  return media;
}

// PAPPL counts the pages of the raster jobs it reads; a document the app
// renders itself counts each image sent to the printer as one impression.
class CountingSink : public PageSink {
 public:
  CountingSink(PageSink& next, pappl_job_t* job, FILE* output)
      : next_(next), job_(job), output_(output) {}
  _tagBITMAPHANDLE* MakeImage(char* pageBuffer, long width, long height, int slot) override {
    return next_.MakeImage(pageBuffer, width, height, slot);
  }
  void StoreImage(int slot, _tagBITMAPHANDLE* image) override { next_.StoreImage(slot, image); }
  void SendBatch(int count) override {
    next_.SendBatch(count);
    if (!std::ferror(output_)) papplJobSetImpressionsCompleted(job_, count);
  }

 private:
  PageSink& next_;
  pappl_job_t* job_;
  FILE* output_;
};

// One job through the shared pipeline.
class JobSession {
 public:
  JobSession(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device)
      : job_(job),
        sender_(job, device),
        output_(fopencookie(&sender_, "w",
                            cookie_io_functions_t{nullptr, WritePacket, nullptr, nullptr})) {
    ForgetImpressions(job);
    ipp_t* driverAttrs = papplPrinterGetDriverAttributes(papplJobGetPrinter(job));
    for (const auto& [name, value] : FilterOptions(
             options->media, options->printer_resolution[0], options->printer_resolution[1],
             options->num_vendor, options->vendor, driverAttrs)) {
      numOptions_ = cupsAddOption(name.c_str(), value.c_str(), numOptions_, &options_);
    }
    ippDelete(driverAttrs);
    if (output_ != nullptr) setvbuf(output_, nullptr, _IONBF, 0);
    device_.SetOutput(output_ != nullptr ? output_ : stdout);
    const JobLayout layout =
        StartJob(device_, numOptions_, options_, nullptr, AskLoadedMedia(device));
    sink_ = std::make_unique<DeviceSink>(device_, numOptions_, options_, nullptr);
    batcher_ = std::make_unique<PageBatcher>(*sink_, layout, Cancel());
    layout_ = layout;
  }

  ~JobSession() {
    std::free(page_);
    batcher_.reset();
    sink_.reset();
    if (output_ != nullptr) std::fclose(output_);
    cupsFreeOptions(numOptions_, options_);
  }

  JobSession(const JobSession&) = delete;
  JobSession& operator=(const JobSession&) = delete;

  bool ok() const { return output_ != nullptr && !std::ferror(output_); }

  // False, with the job's message, once a write to the printer failed.
  bool Sent() const { return ok() || Lost(job_); }
  CancelCheck Cancel() {
    return [this] { return papplJobIsCanceled(job_); };
  }

  bool StartPage(const cups_page_header2_t& header) {
    std::free(page_);
    header_ = header;
    page_ = AllocPageBuffer(header.cupsWidth, header.cupsHeight);
    if (page_ == nullptr) papplJobSetMessage(job_, "The page is too large to print.");
    return page_ != nullptr;
  }

  void PutLine(unsigned y, const unsigned char* line) {
    if (page_ != nullptr)
      PutPageLine(page_, header_.cupsWidth, header_.cupsHeight, y, line, header_.cupsBytesPerLine);
  }

  char* pageBuffer() const { return page_; }

  bool EndPage() {
    char* page = std::exchange(page_, nullptr);
    if (page == nullptr) return false;
    batcher_->AddPage(page, header_.cupsWidth, header_.cupsHeight, 1);
    return Sent();
  }

  bool Finish() {
    batcher_->Finish();
    return Sent();
  }

  // Reads a whole raster stream into the pipeline.
  bool RunRaster(cups_raster_t* raster) {
    if (!ok()) return Sent();
    CountingSink counted(*sink_, job_, output_);
    RunPageLoop(raster, counted, layout_, Cancel());
    return Sent();
  }

 private:
  pappl_job_t* job_;
  PacketSender sender_;
  FILE* output_;
  int numOptions_ = 0;
  cups_option_t* options_ = nullptr;
  DeviceEntry_QV46 device_;
  std::unique_ptr<DeviceSink> sink_;
  std::unique_ptr<PageBatcher> batcher_;
  JobLayout layout_{1, 0};
  cups_page_header2_t header_{};
  char* page_ = nullptr;
};

// How often a job waiting for Ghostscript looks whether it was canceled.
constexpr std::chrono::milliseconds kCancelLook{100};

JobSession* SessionOf(pappl_job_t* job) { return static_cast<JobSession*>(papplJobGetData(job)); }

// Ghostscript's PWG raster of a whole PDF at the job's media and resolution,
// in a temporary file: a damaged document is refused before anything prints.
class GhostscriptRaster {
 public:
  GhostscriptRaster(pappl_job_t* job, const pappl_pr_options_t& options) {
    const char* pdf = papplJobGetFilename(job);
    char path[] = "/tmp/qv46-pdf-XXXXXX";
    fd_ = mkostemp(path, O_CLOEXEC);
    if (fd_ < 0) return;
    unlink(path);
    const int widthPoints = options.media.size_width * 72 / 2540;
    const int lengthPoints = options.media.size_length * 72 / 2540;
    const std::vector<std::string> args = {"gs",
                                           "-q",
                                           "-dNOPAUSE",
                                           "-dBATCH",
                                           "-dSAFER",
                                           "-sDEVICE=pwgraster",
                                           "-dcupsColorSpace=19",
                                           "-dcupsBitsPerColor=8",
                                           "-r" + std::to_string(options.printer_resolution[0]) +
                                               "x" + std::to_string(options.printer_resolution[1]),
                                           "-dDEVICEWIDTHPOINTS=" + std::to_string(widthPoints),
                                           "-dDEVICEHEIGHTPOINTS=" + std::to_string(lengthPoints),
                                           "-dFIXEDMEDIA",
                                           "-dPDFFitPage",
                                           "-sOutputFile=%stdout",
                                           "-dPDFSTOPONERROR",
                                           "-dFirstPage=1",
                                           "-dLastPage=" + std::to_string(kMaxPdfPages),
                                           "--",
                                           pdf};
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fd_, STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    // The app's threads block the stop signals; Ghostscript must not.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    pid_t pid = -1;
    const bool ran = posix_spawnp(&pid, "gs", &actions, &attributes, argv.data(), environ) == 0 &&
                     Finished(job, pid, fd_);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (!ran || lseek(fd_, 0, SEEK_SET) != 0) return;
    raster_ = cupsRasterOpen(fd_, CUPS_RASTER_READ);
  }

  ~GhostscriptRaster() {
    if (raster_ != nullptr) cupsRasterClose(raster_);
    if (fd_ >= 0) close(fd_);
  }

  // Null when Ghostscript could not render the whole document.
  cups_raster_t* raster() const { return raster_; }
  // Whether Ghostscript was stopped for taking too long or writing too much.
  bool overLimits() const { return overLimits_; }

 private:
  // Waits for Ghostscript, which ends with its job or the application and
  // is killed once it runs longer than kPdfSeconds or its raster grows past
  // kMaxPdfRasterBytes; true when it rendered the whole document in bounds.
  bool Finished(pappl_job_t* job, pid_t pid, int output) {
    EndOnStop(pid);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(kPdfSeconds);
    int status = 0;
    pid_t waited = 0;
    while ((waited = waitpid(pid, &status, WNOHANG)) == 0) {
      struct stat written {};
      if (std::chrono::steady_clock::now() > end ||
          (fstat(output, &written) == 0 && written.st_size > kMaxPdfRasterBytes)) {
        overLimits_ = true;
        kill(pid, SIGKILL);
      } else if (papplJobIsCanceled(job)) {
        kill(pid, SIGTERM);
      }
      std::this_thread::sleep_for(kCancelLook);
    }
    ForgetOnStop(pid);
    return waited == pid && !overLimits_ && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }

  int fd_ = -1;
  cups_raster_t* raster_ = nullptr;
  bool overLimits_ = false;
};

// Each of the app's jobs ends through one of these, right before PAPPL ends
// it and starts the next pending job: the queue gets its say then.
class EndsJob {
 public:
  explicit EndsJob(pappl_job_t* job) : job_(job) {}
  ~EndsJob() { JobQueue::JobEnding(papplJobGetPrinter(job_)); }
  EndsJob(const EndsJob&) = delete;
  EndsJob& operator=(const EndsJob&) = delete;

 private:
  pappl_job_t* job_;
};

// The length of the command packet at the file's position (header and
// payload), 0 at its end, or -1 when what follows is no whole packet.
long long NextPacket(FILE* file, long long fileSize) {
  uint8_t header[kCmdHeaderSize];
  const long long at = ftello(file);
  if (at == fileSize) return 0;
  long payload = 0;
  if (fileSize - at < kCmdHeaderSize ||
      std::fread(header, 1, sizeof header, file) != sizeof header || !IsCmdHeader(header) ||
      ReadCmdLength(header, &payload) < 0 || payload > fileSize - at - kCmdHeaderSize)
    return -1;
  return kCmdHeaderSize + payload;
}

// Complete command packets, and nothing after the last one: only the
// headers are read, each payload is skipped.
bool IsWholeJobStream(FILE* file, long long fileSize) {
  long long length = 0;
  bool any = false;
  while ((length = NextPacket(file, fileSize)) > 0) {
    any = true;
    if (fseeko(file, length - kCmdHeaderSize, SEEK_CUR) != 0) return false;
  }
  return length == 0 && any && fseeko(file, 0, SEEK_SET) == 0;
}

}  // namespace

bool StartRasterJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device) {
  auto session = std::make_unique<JobSession>(job, options, device);
  if (!session->ok()) return false;
  papplJobSetData(job, session.release());
  return true;
}

// PAPPL may call the page and end callbacks again after one failed.
bool StartRasterPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t*, unsigned) {
  JobSession* session = SessionOf(job);
  return session != nullptr && session->StartPage(options->header);
}

bool WriteRasterLine(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*, unsigned y,
                     const unsigned char* line) {
  JobSession* session = SessionOf(job);
  if (session != nullptr) session->PutLine(y, line);
  return session != nullptr;
}

char* RasterPageBuffer(pappl_job_t* job) {
  const JobSession* session = SessionOf(job);
  return session != nullptr ? session->pageBuffer() : nullptr;
}

bool EndRasterPage(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*, unsigned) {
  JobSession* session = SessionOf(job);
  return session != nullptr && session->EndPage();
}

bool EndRasterJob(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*) {
  const EndsJob ends(job);
  JobSession* session = SessionOf(job);
  if (session == nullptr) return false;
  const bool ok = session->Finish();
  delete session;
  papplJobSetData(job, nullptr);
  return ok;
}

bool PrintPdf(pappl_job_t* job, pappl_device_t* device, void*) {
  const EndsJob ends(job);
  pappl_pr_options_t* options = papplJobCreatePrintOptions(job, 0, true);
  GhostscriptRaster pdf(job, *options);
  bool ok = false;
  if (pdf.overLimits()) {
    papplJobSetReasons(job, PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR, PAPPL_JREASON_NONE);
    papplJobSetMessage(job,
                       "The PDF document takes more than %d seconds or %lld MB to render; it was "
                       "not printed.",
                       kPdfSeconds, kMaxPdfRasterBytes / 1000000);
  } else if (pdf.raster() == nullptr) {
    papplJobSetMessage(job, "The PDF document is damaged and cannot be printed.");
  } else {
    JobSession session(job, options, device);
    ok = session.RunRaster(pdf.raster());
  }
  papplJobDeletePrintOptions(options);
  return ok;
}

bool PrintRawFile(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t* device) {
  const EndsJob ends(job);
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(papplJobGetFilename(job), "rb"),
                                             std::fclose);
  struct stat info {};
  if (file == nullptr || fstat(fileno(file.get()), &info) != 0 ||
      !IsWholeJobStream(file.get(), info.st_size)) {
    papplJobSetMessage(job, "The document is not a whole QV-46 job stream.");
    return false;
  }
  ForgetImpressions(job);
  PacketSender sender(job, device);
  // One packet in memory at a time, each sent as it is read.
  std::vector<char> packet;
  long long length = 0;
  while ((length = NextPacket(file.get(), info.st_size)) > 0) {
    if (papplJobIsCanceled(job)) return false;
    packet.resize(static_cast<size_t>(length));
    if (fseeko(file.get(), -kCmdHeaderSize, SEEK_CUR) != 0 ||
        std::fread(packet.data(), 1, packet.size(), file.get()) != packet.size()) {
      papplJobSetMessage(job, "The job stream could not be read again.");
      return false;
    }
    if (!sender.Send(packet.data(), packet.size())) return Lost(job);
  }
  return length == 0;
}
