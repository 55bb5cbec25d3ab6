// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "printer-app/AcceptedJobs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <vector>

#include "common/ReplaceFile.h"
#include "printer-app/PapplFaults.h"

namespace {

// The extension of a job's mark (see MarkPrinting).
constexpr char kPrintingMark[] = "printing";

ssize_t AppendTo(void* text, ipp_uchar_t* data, size_t bytes) {
  static_cast<std::string*>(text)->append(reinterpret_cast<const char*>(data), bytes);
  return static_cast<ssize_t>(bytes);
}

// The attributes a client can create a job with, as PAPPL keeps them, and
// its owner: what PAPPL's own save writes into the job's .ipp file.
void WriteAttributes(pappl_system_t*, pappl_printer_t* printer, pappl_job_t* job,
                     pappl_event_t event, void*) {
  if (event != PAPPL_EVENT_JOB_CREATED || printer == nullptr || job == nullptr) return;
  ipp_t* driverAttrs = papplPrinterGetDriverAttributes(printer);
  ipp_attribute_t* names =
      ippFindAttribute(driverAttrs, "job-creation-attributes-supported", IPP_TAG_KEYWORD);
  ipp_t* attrs = ippNew();
  for (int i = 0; i < ippGetCount(names); ++i) {
    if (ipp_attribute_t* attr = papplJobGetAttribute(job, ippGetString(names, i, nullptr)))
      ippCopyAttribute(attrs, attr, 0);
  }
  ippDelete(driverAttrs);
  ippAddString(attrs, IPP_TAG_JOB, IPP_TAG_NAME, "job-originating-user-name", nullptr,
               papplJobGetUsername(job));
  char path[1024];
  // Opening for reading names the file as PAPPL names it.
  const int existing = papplJobOpenFile(job, path, sizeof path, nullptr, "ipp", "r");
  if (existing >= 0) close(existing);
  std::string content;
  int fd = -1;
  if (ippWriteIO(&content, AppendTo, 1, nullptr, attrs) == IPP_STATE_DATA &&
      ReplaceFile(path, content, 0600, nullptr, &fd) == 0)
    close(fd);
  ippDelete(attrs);
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

size_t Be(const std::string& bytes, size_t at, size_t count) {
  size_t value = 0;
  for (size_t i = 0; i < count; ++i) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

// Marker segments up to the end-of-image marker, the coded data after each
// start of scan skipped (there a 0xFF is followed by 0x00 or a restart
// marker). Whatever follows the end of the image (some cameras add their
// own data) does not matter.
bool JpegIsWhole(const std::string& b) {
  if (b.size() < 4 || Be(b, 0, 2) != 0xFFD8) return false;
  size_t at = 2;
  while (at + 1 < b.size()) {
    if (static_cast<unsigned char>(b[at]) != 0xFF) return false;
    const unsigned marker = static_cast<unsigned char>(b[at + 1]);
    if (marker == 0xD9) return true;
    if (marker == 0xFF || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
      at += marker == 0xFF ? 1 : 2;
      continue;
    }
    if (at + 3 >= b.size()) return false;
    at += 2 + Be(b, at + 2, 2);
    if (marker != 0xDA) continue;
    for (; at + 1 < b.size(); ++at) {
      const unsigned next = static_cast<unsigned char>(b[at + 1]);
      if (static_cast<unsigned char>(b[at]) == 0xFF && next != 0x00 &&
          !(next >= 0xD0 && next <= 0xD7))
        break;
    }
  }
  return false;
}

// Chunks up to IEND.
bool PngIsWhole(const std::string& b) {
  if (b.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) return false;
  for (size_t at = 8; at + 12 <= b.size();) {
    if (b.compare(at + 4, 4, "IEND") == 0) return true;
    at += 12 + Be(b, at, 4);
  }
  return false;
}

bool PdfIsWhole(const std::string& b) {
  const size_t tail = b.size() > 1024 ? b.size() - 1024 : 0;
  return b.find("%%EOF", tail) != std::string::npos;
}

// The format of a document PAPPL spooled, from the extension it gave the
// file; the app takes no other formats into the spool.
std::string FormatOf(const std::string& path) {
  static const std::map<std::string, std::string> kFormats = {
      {"jpg", "image/jpeg"}, {"png", "image/png"}, {"pdf", "application/pdf"}};
  const size_t dot = path.rfind('.');
  auto found = dot == std::string::npos ? kFormats.end() : kFormats.find(path.substr(dot + 1));
  return found != kFormats.end() ? found->second : std::string();
}

std::string Quoted(const std::string& value) {
  std::string out = "\"";
  for (char c : value) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + '"';
}

// One option of a state file line such as `Job id="3" name="x" ...`.
std::string OptionOf(const std::string& options, const char* name) {
  cups_option_t* parsed = nullptr;
  const int count = cupsParseOptions(options.c_str(), 0, &parsed);
  const char* value = cupsGetOption(name, count, parsed);
  std::string found = value != nullptr ? value : "";
  cupsFreeOptions(count, parsed);
  return found;
}

struct SavedPrinter {
  size_t nextIdLine = std::string::npos;
  size_t endLine = std::string::npos;
  int nextId = 1;
  std::map<int, size_t> jobLines;  // by job id
};

// A job's files in the spool: PAPPL names them p<printer>j<job>-<name>.<ext>.
struct SpooledJob {
  int printer = 0;
  int job = 0;
  std::string attributes;  // the .ipp file
  std::string document;    // "" when there is none
};

std::vector<SpooledJob> SpooledJobs(const std::string& spool) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(spool.c_str())) {
    while (const dirent* entry = readdir(dir)) names.emplace_back(entry->d_name);
    closedir(dir);
  }
  std::vector<SpooledJob> jobs;
  for (const std::string& name : names) {
    SpooledJob job;
    int length = 0;
    if (name.size() < 5 || name.compare(name.size() - 4, 4, ".ipp") != 0 ||
        std::sscanf(name.c_str(), "p%5dj%9d-%n", &job.printer, &job.job, &length) != 2 ||
        length != 17)
      continue;
    const std::string stem = name.substr(0, name.size() - 3);
    job.attributes = spool + "/" + name;
    for (const std::string& other : names) {
      if (other.compare(0, stem.size(), stem) == 0 &&
          other.find('.', stem.size()) == std::string::npos && !FormatOf(other).empty())
        job.document = spool + "/" + other;
    }
    jobs.push_back(job);
  }
  return jobs;
}

// The state line of a job the saved state does not know, from its files.
std::string JobLine(const SpooledJob& spooled, const std::string& format) {
  ipp_t* attrs = ippNew();
  const int fd = open(spooled.attributes.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    ippReadFile(fd, attrs);
    close(fd);
  }
  auto text = [attrs](const char* name, const char* fallback) {
    const char* value = ippGetString(ippFindAttribute(attrs, name, IPP_TAG_NAME), 0, nullptr);
    return std::string(value != nullptr ? value : fallback);
  };
  struct stat info {};
  stat(spooled.attributes.c_str(), &info);
  const std::string line = "Job id=" + Quoted(std::to_string(spooled.job)) +
                           " name=" + Quoted(text("job-name", "")) +
                           " username=" + Quoted(text("job-originating-user-name", "")) +
                           " format=" + Quoted(format) + " filename=" + Quoted(spooled.document) +
                           " state=" + Quoted(std::to_string(IPP_JSTATE_PENDING)) +
                           " created=" + Quoted(std::to_string(info.st_mtime));
  ippDelete(attrs);
  return line;
}

void CollectPrinter(pappl_printer_t* printer, void* data) {
  static_cast<std::vector<pappl_printer_t*>*>(data)->push_back(printer);
}

void CollectJob(pappl_job_t* job, void* data) {
  static_cast<std::vector<pappl_job_t*>*>(data)->push_back(job);
}

bool IsMarked(pappl_job_t* job) {
  char path[1024];
  const int fd = papplJobOpenFile(job, path, sizeof path, nullptr, kPrintingMark, "r");
  if (fd >= 0) close(fd);
  return fd >= 0;
}

}  // namespace

bool DocumentIsWhole(const std::string& path, const std::string& format) {
  const std::string bytes = ReadAll(path);
  if (format == "image/jpeg") return JpegIsWhole(bytes);
  if (format == "image/png") return PngIsWhole(bytes);
  if (format == "application/pdf") return PdfIsWhole(bytes);
  return false;
}

void KeepNewJobs(pappl_system_t* system) {
  if (kPapplSavesJobsLate) papplSystemSetEventCallback(system, WriteAttributes, nullptr);
}

void AdoptAcceptedJobs(const std::string& spoolDirectory, const std::string& statePath) {
  if (!kPapplSavesJobsLate) return;
  std::vector<std::string> lines;
  {
    std::ifstream in(statePath);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
  }
  std::map<int, SavedPrinter> printers;
  SavedPrinter* current = nullptr;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line.rfind("<Printer ", 0) == 0 && line.back() == '>') {
      current = &printers[std::atoi(OptionOf(line.substr(9, line.size() - 10), "id").c_str())];
    } else if (current != nullptr && line == "</Printer>") {
      current->endLine = i;
      current = nullptr;
    } else if (current != nullptr && line.rfind("NextJobId ", 0) == 0) {
      current->nextIdLine = i;
      current->nextId = std::atoi(line.c_str() + 10);
    } else if (current != nullptr && line.rfind("Job ", 0) == 0) {
      current->jobLines[std::atoi(OptionOf(line.substr(4), "id").c_str())] = i;
    }
  }

  std::map<size_t, std::vector<std::string>> added;  // before the line with this index
  bool changed = false;
  for (const SpooledJob& spooled : SpooledJobs(spoolDirectory)) {
    auto printer = printers.find(spooled.printer);
    if (printer == printers.end() || printer->second.endLine == std::string::npos) continue;
    SavedPrinter& saved = printer->second;
    auto known = saved.jobLines.find(spooled.job);
    const std::string format = FormatOf(spooled.document);
    const bool whole = !spooled.document.empty() && DocumentIsWhole(spooled.document, format);
    if (known != saved.jobLines.end()) {
      // Saved while its document arrived: PAPPL would load it without one.
      std::string& line = lines[known->second];
      if (whole && OptionOf(line.substr(4), "filename").empty()) {
        line += " filename=" + Quoted(spooled.document);
        changed = true;
      }
      continue;
    }
    if (!whole) {
      // Its document never arrived whole, so no client was told it is accepted.
      unlink(spooled.attributes.c_str());
      if (!spooled.document.empty()) unlink(spooled.document.c_str());
      continue;
    }
    added[saved.endLine].push_back(JobLine(spooled, format));
    if (saved.nextId <= spooled.job) saved.nextId = spooled.job + 1;
    changed = true;
  }
  if (!changed) return;
  for (const auto& entry : printers) {
    if (entry.second.nextIdLine != std::string::npos)
      lines[entry.second.nextIdLine] = "NextJobId " + std::to_string(entry.second.nextId);
  }
  std::ostringstream out;
  for (size_t i = 0; i < lines.size(); ++i) {
    auto before = added.find(i);
    if (before != added.end()) {
      for (const std::string& line : before->second) out << line << '\n';
    }
    out << lines[i] << '\n';
  }
  int fd = -1;
  if (ReplaceFile(statePath, out.str(), 0600, nullptr, &fd) == 0) close(fd);
}

void MarkPrinting(pappl_job_t* job) {
  if (!kPapplSavesJobsLate) return;
  char path[1024];
  const int fd = papplJobOpenFile(job, path, sizeof path, nullptr, kPrintingMark, "w");
  if (fd >= 0) close(fd);
}

void HoldJobsThatMayHavePrinted(pappl_system_t* system) {
  if (!kPapplSavesJobsLate) return;
  // Collected first: the iterations hold locks that holding a job takes too.
  std::vector<pappl_printer_t*> printers;
  papplSystemIteratePrinters(system, CollectPrinter, &printers);
  for (pappl_printer_t* printer : printers) {
    std::vector<pappl_job_t*> jobs;
    papplPrinterIterateAllJobs(printer, CollectJob, &jobs, 1, 0);
    for (pappl_job_t* job : jobs) {
      if (!IsMarked(job)) continue;
      if (papplJobGetState(job) < IPP_JSTATE_PROCESSING &&
          papplJobHold(job, nullptr, "indefinite", 0)) {
        papplJobSetMessage(job,
                           "The application stopped as this photo was finished; it may have "
                           "printed, so it was not sent again. Release it to print it again.");
      } else if (papplJobGetState(job) == IPP_JSTATE_ABORTED) {
        // PAPPL removed the document of a job it ended, and loads the job as
        // aborted when the state saying so came too late.
        papplJobSetMessage(job,
                           "The application stopped as this photo was finished; it may have "
                           "printed.");
      }
    }
  }
}

std::vector<std::string> MarksOfEndedJobs(pappl_system_t* system,
                                          const std::string& spoolDirectory) {
  std::vector<std::string> ended;
  if (!kPapplSavesJobsLate) return ended;
  DIR* dir = opendir(spoolDirectory.c_str());
  if (dir == nullptr) return ended;
  const std::string suffix = std::string(".") + kPrintingMark;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    int printerId = 0, jobId = 0;
    if (name.size() <= suffix.size() ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0 ||
        std::sscanf(name.c_str(), "p%5dj%9d-", &printerId, &jobId) != 2)
      continue;
    pappl_printer_t* printer = papplSystemFindPrinter(system, nullptr, printerId, nullptr);
    pappl_job_t* job = printer != nullptr ? papplPrinterFindJob(printer, jobId) : nullptr;
    if (job == nullptr || papplJobGetState(job) >= IPP_JSTATE_CANCELED)
      ended.push_back(spoolDirectory + "/" + name);
  }
  closedir(dir);
  return ended;
}
