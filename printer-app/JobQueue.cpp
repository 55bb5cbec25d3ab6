// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "printer-app/JobQueue.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "common/UsbPrinter.h"
#include "printer-app/PapplFaults.h"
#include "printer-app/PrinterStatus.h"
#include "printer-app/StatusWords.h"
#include "printer-app/Stopping.h"
#include "printer-app/UsbScheme.h"

namespace {

using Clock = std::chrono::steady_clock;

// How often the worker looks at the job it handed over.
constexpr std::chrono::milliseconds kJobLook{200};
// How often an idle printer, and a stopped one with jobs waiting, is read.
std::chrono::milliseconds gIdleRead{2000};
constexpr std::chrono::seconds kStoppedRead{1};

struct Jobs {
  int oldestWaiting = 0;  // job id, 0 for none
  int started = 0;        // pending or processing
  std::vector<pappl_job_t*> pending, waiting;
};

// A waiting job is one held only by the app, whose document is whole; a
// job a user held (job-hold-until) waits for that user.
void Sort(pappl_job_t* job, void* data) {
  auto* jobs = static_cast<Jobs*>(data);
  switch (papplJobGetState(job)) {
    case IPP_JSTATE_HELD:
      if (papplJobGetFilename(job) != nullptr &&
          (papplJobGetReasons(job) & PAPPL_JREASON_JOB_HOLD_UNTIL_SPECIFIED) == 0) {
        const int id = papplJobGetID(job);
        if (jobs->oldestWaiting == 0 || id < jobs->oldestWaiting) jobs->oldestWaiting = id;
        jobs->waiting.push_back(job);
      }
      break;
    case IPP_JSTATE_PENDING:
      ++jobs->started;
      jobs->pending.push_back(job);
      break;
    case IPP_JSTATE_PROCESSING:
      ++jobs->started;
      break;
    default:
      break;
  }
}

Jobs JobsOf(pappl_printer_t* printer) {
  Jobs jobs;
  papplPrinterIterateActiveJobs(printer, Sort, &jobs, 1, 0);
  return jobs;
}

// Holds the jobs that are pending though the worker did not hand them over
// (`handedOver`, 0 for none): released by an administrator or an owner, sent
// while new jobs were not held, or created for a document still to come
// (PAPPL's Release-Held-New-Jobs releases those too). A streamed raster job
// is pending only for the moment PAPPL starts it. True when there were any.
bool HoldOutOfTurn(pappl_printer_t* printer, int handedOver) {
  bool held = false;
  for (pappl_job_t* job : JobsOf(printer).pending) {
    if (papplJobGetID(job) == handedOver) continue;
    papplJobHold(job, nullptr, nullptr, 0);
    held = true;
  }
  return held;
}

// Every device the worker opened is closed through here: PAPPL then starts
// the first pending job, so what was released out of turn is held first.
void CloseDevice(pappl_printer_t* printer, int handedOver) {
  if (kPapplStartsJobsOutOfTurn) HoldOutOfTurn(printer, handedOver);
  papplPrinterCloseDevice(printer);
}

// How long a raster document waits for its turn; PAPPL refuses it after.
constexpr std::chrono::seconds kStreamWait{60};

// A document PAPPL streams as it arrives: PWG or Apple raster, named by the
// request or, unnamed, told by its first bytes as PAPPL tells it (unless it
// is compressed: PAPPL sets up the decompression only later).
bool IsRaster(pappl_client_t* client) {
  ipp_t* request = papplClientGetRequest(client);
  const char* format =
      ippGetString(ippFindAttribute(request, "document-format", IPP_TAG_MIMETYPE), 0, nullptr);
  if (format != nullptr && std::strcmp(format, "application/octet-stream") != 0)
    return std::strcmp(format, "image/pwg-raster") == 0 || std::strcmp(format, "image/urf") == 0;
  const char* compression =
      ippGetString(ippFindAttribute(request, "compression", IPP_TAG_KEYWORD), 0, nullptr);
  if (compression != nullptr && std::strcmp(compression, "none") != 0) return false;
  char start[8] = {};
  return httpPeek(papplClientGetHTTP(client), start, sizeof start) == sizeof start &&
         (std::memcmp(start, "RaS2PwgR", 8) == 0 || std::memcmp(start, "UNIRAST", 8) == 0);
}

// How long a granted raster document has to reach PAPPL before the worker
// goes on without it (its request may have been refused for its attributes).
constexpr std::chrono::seconds kStreamStart{5};

// PAPPL starts the newest pending job on a thread that marks it processing
// only once it runs, and every submission, closed device and finished job
// starts one. So no job is pending unless the worker released it, and the
// worker releases the next only once no job is pending or processing. While
// the printer is idle and ready with no jobs, the worker keeps its device
// open (PAPPL starts no job then) and new jobs are not held, so that PWG and
// Apple raster documents, which PAPPL prints as they arrive and refuses
// while it holds new jobs, still print; a spooled job that arrives is held
// at once, and the worker lets the device go. New jobs are held while
// spooled jobs wait or the printer cannot print; a raster document sent
// meanwhile waits for its turn (AwaitTurn), which comes as the idle state
// does, with the jobs sent after it held, so that PAPPL streams it next.
class Worker {
 public:
  // `idle`: the device of an idle printer the worker keeps, or null.
  Worker(pappl_system_t* system, int printerId, pappl_device_t* idle)
      : system_(system), printerId_(printerId), ready_(idle != nullptr), open_(idle) {
    thread_ = std::thread([this] { Run(); });
  }
  ~Worker() { Stop(); }
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  void Ask() {
    std::lock_guard<std::mutex> lock(mutex_);
    asked_ = true;
    wake_.notify_one();
  }

  void Stop() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopped_ = true;
      wake_.notify_one();
      changed_.notify_all();
    }
    if (thread_.joinable()) thread_.join();
    // The kept device goes back, so the printer is free for whoever comes next.
    if (open_ == nullptr) return;
    if (pappl_printer_t* printer = papplSystemFindPrinter(system_, nullptr, printerId_, nullptr))
      CloseDevice(printer, handedOver_);
    open_ = nullptr;
  }

  // Waits at most `limit` until the document that came before job `mark`
  // (the printer's next job id when it came) may stream.
  void AwaitTurn(int mark, std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    const auto turn = turns_.insert(mark);
    wake_.notify_one();
    changed_.wait_for(lock, limit, [&] { return mark <= granted_ || stopped_; });
    turns_.erase(turn);
  }

  int HandedOver() const { return handedOver_; }

  // An administrator's Hold-New-Jobs (true) or Release-Held-New-Jobs: while
  // held, the worker hands over no job and leaves new jobs held.
  void SetAdminHold(bool hold) {
    adminHold_ = hold;
    Ask();
  }

  // Has the worker keep the device, if it is free, before this returns
  // (at most a second, while the worker reads the printer).
  void KeepDevice() {
    std::unique_lock<std::mutex> lock(mutex_);
    keepAsked_ = true;
    wake_.notify_one();
    changed_.wait_for(lock, std::chrono::seconds(1), [this] { return !keepAsked_ || stopped_; });
  }

 private:
  void Run() {
    Clock::time_point nextRead = Clock::now();
    for (;;) {
      {
        std::unique_lock<std::mutex> lock(mutex_);
        // A read interval shorter than the look is kept too.
        wake_.wait_for(lock, std::min(kJobLook, gIdleRead),
                       [this] { return asked_ || stopped_ || keepAsked_; });
        if (stopped_) return;
        if (asked_) nextRead = Clock::now();
        asked_ = false;
      }
      if (KeepAsked()) continue;
      // Not before PAPPL's loop runs: a job started then stays pending for
      // good. Nothing changes once the application stops.
      if (!papplSystemIsRunning(system_) || AppStopping()) continue;
      pappl_printer_t* printer = papplSystemFindPrinter(system_, nullptr, printerId_, nullptr);
      if (printer == nullptr) return;
      const bool readDue = Clock::now() >= nextRead;
      if (readDue)
        nextRead = Clock::now() + (ready_ ? gIdleRead : std::chrono::milliseconds(kStoppedRead));
      if (kPapplStartsJobsOutOfTurn) {
        Schedule(printer, readDue);
      } else if (readDue && JobsOf(printer).started == 0) {
        Device device(printer, handedOver_);
        Read(printer, device);
      }
    }
  }

  // The device of a reading, opened through PAPPL and closed after it
  // unless the worker keeps it.
  class Device {
   public:
    Device(pappl_printer_t* printer, int handedOver)
        : printer_(printer), handedOver_(handedOver), own_(papplPrinterOpenDevice(printer)) {}
    ~Device() {
      if (own_ != nullptr) CloseDevice(printer_, handedOver_);
    }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    pappl_device_t* get() const { return own_; }
    pappl_device_t* Keep() { return std::exchange(own_, nullptr); }

   private:
    pappl_printer_t* printer_;
    int handedOver_;
    pappl_device_t* own_;
  };

  void Schedule(pappl_printer_t* printer, bool readDue) {
    // Jobs that arrived unheld (while the printer was idle, or beside a
    // streamed raster job) or were released out of turn wait like the others.
    if (HoldOutOfTurn(printer, handedOver_) && streaming_ == 0) papplPrinterHoldNewJobs(printer);
    const Jobs jobs = JobsOf(printer);
    // A granted raster document is on its way: nothing else starts, and new
    // jobs stay unheld for it.
    if (streaming_ != 0 && (jobs.started > 0 || Clock::now() >= streamBy_)) streaming_ = 0;
    if (open_ != nullptr) {
      // A streamed raster job waits for the device. A device kept for a
      // release while new jobs were held goes back too: the next reading
      // makes the printer idle the whole way, new jobs unheld.
      if (streaming_ == 0 &&
          (jobs.started > 0 || jobs.oldestWaiting != 0 || papplPrinterIsHoldingNewJobs(printer) ||
           (readDue && !Apply(printer, ReadVia(open_))))) {
        open_ = nullptr;
        CloseDevice(printer, handedOver_);
      }
      return;
    }
    if (handedOver_ != 0) {
      pappl_job_t* job = papplPrinterFindJob(printer, handedOver_);
      const ipp_jstate_t state = job != nullptr ? papplJobGetState(job) : IPP_JSTATE_COMPLETED;
      // The last waiting job under way (PAPPL starts no other now): new jobs
      // arrive unheld again, so that a raster document sent right after it is
      // not refused.
      if (state == IPP_JSTATE_PROCESSING && ready_ && jobs.oldestWaiting == 0 && !adminHold_ &&
          papplPrinterIsHoldingNewJobs(printer))
        papplPrinterReleaseHeldNewJobs(printer, nullptr);
      if (state < IPP_JSTATE_STOPPED) return;
      handedOver_ = 0;
    }
    // Another job PAPPL started (a raster document streamed in) goes first.
    if (jobs.started > 0 || papplPrinterGetState(printer) == IPP_PSTATE_PROCESSING) return;
    // A raster document waiting for its turn comes before the jobs sent
    // after it.
    const int stream = FirstTurn();
    const bool streamFirst =
        stream != 0 && (jobs.oldestWaiting == 0 || stream <= jobs.oldestWaiting);
    if (!readDue && (adminHold_ || !(ready_ && (jobs.oldestWaiting != 0 || stream != 0)))) return;
    {
      Device device(printer, handedOver_);
      if (!Read(printer, device) || papplPrinterGetState(printer) != IPP_PSTATE_IDLE || adminHold_)
        return;
      if (jobs.oldestWaiting == 0 || streamFirst) {
        // Idle: the worker keeps the device, and new jobs arrive unheld.
        // PAPPL releases the held ones too: those wait again, after the
        // raster document.
        if ((open_ = device.Keep()) == nullptr) return;
        papplPrinterReleaseHeldNewJobs(printer, nullptr);
        if (streamFirst) {
          HoldOutOfTurn(printer, 0);
          streaming_ = stream;
          streamBy_ = Clock::now() + kStreamStart;
          Grant(stream);
        }
        return;
      }
      // The worker's own device is closed before the job starts: PAPPL
      // would close it under the starting job.
    }
    pappl_job_t* job = papplPrinterFindJob(printer, jobs.oldestWaiting);
    if (job == nullptr) return;
    handedOver_ = jobs.oldestWaiting;
    papplJobSetMessage(job, "%s", "");
    // PAPPL starts the job with the device the worker leaves it, if any.
    papplJobRelease(job, nullptr);
  }

  // The oldest mark of the raster documents waiting for their turn, 0 for
  // none.
  int FirstTurn() {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto first = turns_.upper_bound(granted_);
    return first != turns_.end() ? *first : 0;
  }

  // Documents come in the order of their marks: every one up to `mark` may
  // go on.
  void Grant(int mark) {
    std::lock_guard<std::mutex> lock(mutex_);
    granted_ = std::max(granted_, mark);
    changed_.notify_all();
  }

  // Keeps the device if asked to and it is free; true when asked.
  bool KeepAsked() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!keepAsked_) return false;
    }
    pappl_printer_t* printer = papplSystemFindPrinter(system_, nullptr, printerId_, nullptr);
    if (open_ == nullptr && printer != nullptr && !AppStopping())
      open_ = papplPrinterOpenDevice(printer);
    std::lock_guard<std::mutex> lock(mutex_);
    keepAsked_ = false;
    changed_.notify_all();
    return true;
  }

  bool Read(pappl_printer_t* printer, const Device& device) {
    return Apply(printer, ReadVia(device.get()));
  }

  static PrinterReading ReadVia(pappl_device_t* device) {
    UsbPrinter* usb = device != nullptr ? PrinterOf(device) : nullptr;
    return usb != nullptr ? ReadPrinter(*usb) : PrinterReading{};
  }

  // Publishes `reading`, and stops the printer while it cannot print or
  // resumes it. True when it can print.
  bool Apply(pappl_printer_t* printer, const PrinterReading& reading) {
    Publish(printer, reading);
    ready_ = CanPrint(reading.status);
    // Jobs arriving now wait; a raster document waits for its turn
    // (BeforeOperation), which comes once the printer can print.
    if (!ready_ && kPapplStartsJobsOutOfTurn) papplPrinterHoldNewJobs(printer);
    const ipp_pstate_t state = papplPrinterGetState(printer);
    if (!ready_ && !pausedByUs_ && state != IPP_PSTATE_STOPPED) {
      papplPrinterPause(printer);
      pausedByUs_ = true;
    } else if (ready_ && pausedByUs_) {
      // A printer an administrator stopped meanwhile stays stopped.
      if (state == IPP_PSTATE_STOPPED) papplPrinterResume(printer);
      pausedByUs_ = false;
    }
    // The waiting jobs say why, in the status monitor's words.
    if (!ready_) {
      const StatusWords& words = WordsForStatus(reading.status);
      for (pappl_job_t* job : JobsOf(printer).waiting)
        papplJobSetMessage(job, "%s: %s", words.word, words.instruction);
    }
    return ready_;
  }

  pappl_system_t* system_;
  int printerId_;
  std::mutex mutex_;
  std::condition_variable wake_;     // the worker's
  std::condition_variable changed_;  // the waiting requests'
  bool asked_ = true;                // the first reading is due at once
  bool stopped_ = false;
  bool keepAsked_ = false;
  std::multiset<int> turns_;  // the marks of the raster documents waiting
  int granted_ = 0;           // the last mark whose turn came
  // Only the worker's thread uses these.
  bool ready_;
  bool pausedByUs_ = false;
  // Also read by the jobs' threads (HandedOver).
  std::atomic<int> handedOver_{0};
  // Also set by the clients' threads (SetAdminHold).
  std::atomic<bool> adminHold_{false};
  int streaming_ = 0;  // the mark of the raster document granted its turn
  Clock::time_point streamBy_;
  pappl_device_t* open_;  // the device the worker keeps while idle
  std::thread thread_;
};

struct Workers {
  std::mutex mutex;
  bool stopped = false;
  // By printer id; a request waiting for its turn keeps its worker.
  std::map<int, std::shared_ptr<Worker>> byPrinter;

  // Also when the process ends without StopAll: no thread is left running
  // under a destroyed object.
  ~Workers() { StopAll(); }

  void StopAll() {
    std::map<int, std::shared_ptr<Worker>> ending;
    {
      std::lock_guard<std::mutex> lock(mutex);
      stopped = true;
      ending.swap(byPrinter);
    }
    for (auto& entry : ending) entry.second->Stop();
  }

  std::shared_ptr<Worker> Of(pappl_printer_t* printer) {
    std::lock_guard<std::mutex> lock(mutex);
    auto found = byPrinter.find(papplPrinterGetID(printer));
    return found != byPrinter.end() ? found->second : nullptr;
  }
};

Workers& AllWorkers() {
  static Workers workers;
  return workers;
}

}  // namespace

namespace JobQueue {

void Manage(pappl_printer_t* printer) {
  // New jobs wait, held, until the worker hands them over in order.
  if (kPapplStartsJobsOutOfTurn) papplPrinterHoldNewJobs(printer);
  pappl_system_t* system = papplPrinterGetSystem(printer);
  // Before the server answers anyone, the printers it starts with are read
  // once; one that is ready with no jobs is idle at once (every saved job is
  // held, so closing the device starts none).
  pappl_device_t* idle = nullptr;
  if (!papplSystemIsRunning(system)) {
    PrinterReading reading;
    if (pappl_device_t* device = papplPrinterOpenDevice(printer)) {
      reading = ReadPrinter(*PrinterOf(device));
      if (kPapplStartsJobsOutOfTurn && CanPrint(reading.status) &&
          papplPrinterGetNumberOfActiveJobs(printer) == 0) {
        idle = device;
        papplPrinterReleaseHeldNewJobs(printer, nullptr);
      } else {
        CloseDevice(printer, 0);
      }
    }
    Publish(printer, reading);
  }
  Workers& workers = AllWorkers();
  std::lock_guard<std::mutex> lock(workers.mutex);
  const int id = papplPrinterGetID(printer);
  if (workers.stopped || workers.byPrinter.count(id) != 0) return;
  workers.byPrinter[id] = std::make_shared<Worker>(system, id, idle);
}

void SetIdleReadInterval(std::chrono::milliseconds interval) { gIdleRead = interval; }

void Ask(pappl_printer_t* printer) {
  if (std::shared_ptr<Worker> worker = AllWorkers().Of(printer)) worker->Ask();
}

void StopAll() { AllWorkers().StopAll(); }

void BeforeOperation(pappl_client_t* client) {
  pappl_printer_t* printer = papplClientGetPrinter(client);
  if (!kPapplStartsJobsOutOfTurn || printer == nullptr) return;
  std::shared_ptr<Worker> worker = AllWorkers().Of(printer);
  if (worker == nullptr) return;
  switch (papplClientGetOperation(client)) {
    case IPP_OP_PRINT_JOB:
    case IPP_OP_SEND_DOCUMENT:
      if (kPapplRefusesRasterWhileHolding && IsRaster(client) &&
          papplPrinterIsHoldingNewJobs(printer))
        worker->AwaitTurn(papplPrinterGetNextJobID(printer), kStreamWait);
      break;
    case IPP_OP_HOLD_NEW_JOBS:
      worker->SetAdminHold(true);
      break;
    case IPP_OP_RELEASE_HELD_NEW_JOBS:
      worker->SetAdminHold(false);
      worker->KeepDevice();
      break;
    case IPP_OP_RELEASE_JOB:
      worker->KeepDevice();
      break;
    default:
      break;
  }
}

void JobEnding(pappl_printer_t* printer) {
  if (!kPapplStartsJobsOutOfTurn) return;
  // Besides the ending job, only the one the worker handed over may be
  // pending (released while a raster document was starting).
  std::shared_ptr<Worker> worker = AllWorkers().Of(printer);
  if (HoldOutOfTurn(printer, worker != nullptr ? worker->HandedOver() : 0))
    papplPrinterHoldNewJobs(printer);
}

}  // namespace JobQueue
