// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "printer-app/JobQueue.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
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

// PAPPL starts the newest pending job on a thread that marks it processing
// only once it runs, and every submission, closed device and finished job
// starts one. So no job is pending unless the worker released it, and the
// worker releases the next only once no job is pending or processing. While
// the printer is idle and ready with no jobs, the worker keeps its device
// open (PAPPL starts no job then) and new jobs are not held, so that PWG and
// Apple raster documents, which PAPPL prints as they arrive and refuses
// while it holds new jobs, still print; a spooled job that arrives is held
// at once, and the worker lets the device go. New jobs are held while
// spooled jobs wait or the printer cannot print.
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
    }
    if (thread_.joinable()) thread_.join();
    // The kept device goes back, so the printer is free for whoever comes next.
    if (open_ == nullptr) return;
    if (pappl_printer_t* printer = papplSystemFindPrinter(system_, nullptr, printerId_, nullptr))
      papplPrinterCloseDevice(printer);
    open_ = nullptr;
  }

 private:
  void Run() {
    Clock::time_point nextRead = Clock::now();
    for (;;) {
      {
        std::unique_lock<std::mutex> lock(mutex_);
        // A read interval shorter than the look is kept too.
        wake_.wait_for(lock, std::min(kJobLook, gIdleRead), [this] { return asked_ || stopped_; });
        if (stopped_) return;
        if (asked_) nextRead = Clock::now();
        asked_ = false;
      }
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
        Device device(printer);
        Read(printer, device);
      }
    }
  }

  // The device of a reading, opened through PAPPL and closed after it
  // unless the worker keeps it.
  class Device {
   public:
    explicit Device(pappl_printer_t* printer)
        : printer_(printer), own_(papplPrinterOpenDevice(printer)) {}
    ~Device() {
      if (own_ != nullptr) papplPrinterCloseDevice(printer_);
    }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    pappl_device_t* get() const { return own_; }
    pappl_device_t* Keep() { return std::exchange(own_, nullptr); }

   private:
    pappl_printer_t* printer_;
    pappl_device_t* own_;
  };

  void Schedule(pappl_printer_t* printer, bool readDue) {
    // Spooled jobs that arrived unheld (while the printer was idle, or
    // beside a streamed raster job) wait their turn like the others.
    if (HoldArrivals(printer)) return;
    const Jobs jobs = JobsOf(printer);
    if (open_ != nullptr) {
      if (jobs.started > 0 || jobs.oldestWaiting != 0 ||
          (readDue && !Apply(printer, ReadVia(open_)))) {
        // A streamed raster job waits for the device.
        open_ = nullptr;
        papplPrinterCloseDevice(printer);
      }
      return;
    }
    if (handedOver_ != 0) {
      pappl_job_t* job = papplPrinterFindJob(printer, handedOver_);
      const ipp_jstate_t state = job != nullptr ? papplJobGetState(job) : IPP_JSTATE_COMPLETED;
      // The last waiting job under way (PAPPL starts no other now): new jobs
      // arrive unheld again, so that a raster document sent right after it is
      // not refused.
      if (state == IPP_JSTATE_PROCESSING && ready_ && jobs.oldestWaiting == 0 &&
          papplPrinterIsHoldingNewJobs(printer))
        papplPrinterReleaseHeldNewJobs(printer, nullptr);
      if (state < IPP_JSTATE_STOPPED) return;
      handedOver_ = 0;
    }
    // Another job PAPPL started (a raster document streamed in) goes first.
    if (jobs.started > 0 || papplPrinterGetState(printer) == IPP_PSTATE_PROCESSING) return;
    if (!readDue && !(ready_ && jobs.oldestWaiting != 0)) return;
    {
      Device device(printer);
      if (!Read(printer, device) || papplPrinterGetState(printer) != IPP_PSTATE_IDLE) return;
      if (jobs.oldestWaiting == 0) {
        // Idle: the worker keeps the device, and new jobs arrive unheld.
        if ((open_ = device.Keep()) != nullptr) papplPrinterReleaseHeldNewJobs(printer, nullptr);
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

  // Holds new jobs and the spooled pending jobs the worker did not release
  // (a streamed raster job has no file, and is printed as it arrives); true
  // when there were any.
  bool HoldArrivals(pappl_printer_t* printer) {
    bool held = false;
    for (pappl_job_t* job : JobsOf(printer).pending) {
      if (papplJobGetID(job) == handedOver_ || papplJobGetFilename(job) == nullptr) continue;
      if (!held) papplPrinterHoldNewJobs(printer);
      held = true;
      papplJobHold(job, nullptr, nullptr, 0);
    }
    return held;
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
    // Streamed raster jobs, which PAPPL starts as they arrive, are refused.
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
  std::condition_variable wake_;
  bool asked_ = true;  // the first reading is due at once
  bool stopped_ = false;
  // Only the worker's thread uses these.
  bool ready_;
  bool pausedByUs_ = false;
  int handedOver_ = 0;
  pappl_device_t* open_;  // the device the worker keeps while idle
  std::thread thread_;
};

struct Workers {
  std::mutex mutex;
  bool stopped = false;
  std::map<int, std::unique_ptr<Worker>> byPrinter;  // by printer id

  // Also when the process ends without StopAll: no thread is left running
  // under a destroyed object.
  ~Workers() { StopAll(); }

  void StopAll() {
    std::map<int, std::unique_ptr<Worker>> ending;
    {
      std::lock_guard<std::mutex> lock(mutex);
      stopped = true;
      ending.swap(byPrinter);
    }
    ending.clear();
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
        papplPrinterCloseDevice(printer);
      }
    }
    Publish(printer, reading);
  }
  Workers& workers = AllWorkers();
  std::lock_guard<std::mutex> lock(workers.mutex);
  const int id = papplPrinterGetID(printer);
  if (workers.stopped || workers.byPrinter.count(id) != 0) return;
  workers.byPrinter[id] = std::make_unique<Worker>(system, id, idle);
}

void SetIdleReadInterval(std::chrono::milliseconds interval) { gIdleRead = interval; }

void Ask(pappl_printer_t* printer) {
  Workers& workers = AllWorkers();
  std::lock_guard<std::mutex> lock(workers.mutex);
  auto found = workers.byPrinter.find(papplPrinterGetID(printer));
  if (found != workers.byPrinter.end()) found->second->Ask();
}

void StopAll() { AllWorkers().StopAll(); }

}  // namespace JobQueue
