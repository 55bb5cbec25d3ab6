// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "printer-app/PrintPage.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "printer-app/FormUpload.h"
#include "printer-app/PanelPreview.h"

namespace {

// What the page offers: the look of the print is its resolution.
struct Look {
  const char* keyword;
  const char* label;
  int xResolution, yResolution;
};
constexpr Look kLooks[] = {
    {"standard", "Standard (300 x 300 dpi)", 300, 300},
    {"fine", "Fine (300 x 600 dpi)", 300, 600},
};
constexpr int kMaxFormCopies = 99;
// Uploads not printed are dropped, oldest first, beyond these.
constexpr size_t kKeptUploads = 4;
// Photos received at the same time; each may fill kMaxPhotoUploadBytes of
// the spool before it is refused.
constexpr int kMaxReceiving = 4;
constexpr char kUploadPrefix[] = "qv46-upload-";
constexpr size_t kTokenBytes = 16;

struct PrintPage {
  pappl_printer_t* printer;
  std::string spool;
};

const Look& LookFor(const std::string& keyword) {
  for (const Look& look : kLooks) {
    if (keyword == look.keyword) return look;
  }
  return kLooks[0];
}

// An upload is named by 32 random hex digits, and only such a name is
// taken back from a form.
std::string NewToken() {
  unsigned char bytes[kTokenBytes];
  if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) return {};
  std::string token;
  for (unsigned char byte : bytes) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02x", byte);
    token += hex;
  }
  return token;
}

bool IsToken(const std::string& text) {
  return text.size() == 2 * kTokenBytes &&
         text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

std::string UploadPath(const PrintPage& page, const std::string& token) {
  return page.spool + "/" + kUploadPrefix + token;
}

// The document format by the file's first bytes: JPEG, PNG, or null.
const char* PhotoFormat(const std::string& path) {
  unsigned char magic[4] = {};
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  const bool read4 = fd >= 0 && read(fd, magic, sizeof magic) == sizeof magic;
  if (fd >= 0) close(fd);
  if (!read4) return nullptr;
  if (magic[0] == 0xff && magic[1] == 0xd8 && magic[2] == 0xff) return "image/jpeg";
  if (std::memcmp(magic, "\x89PNG", 4) == 0) return "image/png";
  return nullptr;
}

// Keeps the newest uploads not yet printed, at most kKeptUploads - 1, so
// that one more fits.
void DropOldUploads(const PrintPage& page) {
  std::vector<std::pair<time_t, std::string>> uploads;
  if (DIR* dir = opendir(page.spool.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      if (std::strncmp(entry->d_name, kUploadPrefix, sizeof kUploadPrefix - 1) != 0) continue;
      const std::string path = page.spool + "/" + entry->d_name;
      struct stat info {};
      if (stat(path.c_str(), &info) == 0) uploads.emplace_back(info.st_mtime, path);
    }
    closedir(dir);
  }
  std::sort(uploads.begin(), uploads.end());
  while (uploads.size() >= kKeptUploads) {
    unlink(uploads.front().second.c_str());
    uploads.erase(uploads.begin());
  }
}

std::string Words(pappl_client_t* client, const char* text) {
  return papplClientGetLocString(client, text);
}

void Escaped(pappl_client_t* client, const std::string& text) {
  papplClientHTMLEscape(client, text.c_str(), text.size());
}

std::string PrinterPath(pappl_printer_t* printer, const char* subpath) {
  char path[256];
  papplPrinterGetPath(printer, subpath, path, sizeof path);
  return path;
}

// What the form shows: the photo waiting, if any, and the choices made.
struct FormState {
  std::string token;
  std::string fileName;
  int copies = 1;
  std::string look = kLooks[0].keyword;
  std::string message;
};

void ShowForm(pappl_client_t* client, const PrintPage& page, const FormState& state) {
  pappl_printer_t* printer = page.printer;
  papplClientHTMLPrinterHeader(client, printer, Words(client, "Print a photo").c_str(), 0, nullptr,
                               nullptr);
  papplClientHTMLPuts(client, "<div class=\"row\"><div class=\"col-12\">\n");
  if (!state.message.empty()) {
    papplClientHTMLPuts(client, "<p class=\"qv46-message\"><strong>");
    Escaped(client, Words(client, state.message.c_str()));
    papplClientHTMLPuts(client, "</strong></p>\n");
  }
  char csrf[256];
  papplClientHTMLPrintf(client,
                        "<form action=\"%s\" method=\"POST\" enctype=\"multipart/form-data\">"
                        "<input type=\"hidden\" name=\"session\" value=\"%s\">\n",
                        PrinterPath(printer, "print").c_str(),
                        papplClientGetCSRFToken(client, csrf, sizeof csrf));
  if (!state.token.empty()) {
    papplClientHTMLPrintf(client,
                          "<input type=\"hidden\" name=\"photo-id\" value=\"%s\">"
                          "<input type=\"hidden\" name=\"photo-name\" value=\"",
                          state.token.c_str());
    Escaped(client, state.fileName);
    papplClientHTMLPuts(client, "\">\n");
  }
  papplClientHTMLPuts(client, "<table class=\"form\"><tbody>\n<tr><th>");
  Escaped(client, Words(client, "Photo"));
  papplClientHTMLPuts(client, ":</th><td>");
  if (!state.token.empty()) {
    papplClientHTMLPuts(client, "<p>");
    Escaped(client, state.fileName.empty() ? Words(client, "Photo") : state.fileName);
    papplClientHTMLPuts(client, "</p>");
  }
  papplClientHTMLPuts(
      client,
      "<input type=\"file\" name=\"photo\" accept=\"image/jpeg,image/png,.jpg,.jpeg,.png\"> ");
  Escaped(client, Words(client, "JPEG or PNG"));
  papplClientHTMLPuts(client, "</td></tr>\n<tr><th>");
  Escaped(client, Words(client, "Copies"));
  papplClientHTMLPrintf(client,
                        ":</th><td><input type=\"number\" name=\"copies\" min=\"1\" max=\"%d\" "
                        "value=\"%d\"> (1-%d)</td></tr>\n<tr><th>",
                        kMaxFormCopies, state.copies, kMaxFormCopies);
  Escaped(client, Words(client, "Look"));
  papplClientHTMLPuts(client, ":</th><td><select name=\"look\">");
  for (const Look& look : kLooks) {
    papplClientHTMLPrintf(client, "<option value=\"%s\"%s>", look.keyword,
                          state.look == look.keyword ? " selected" : "");
    Escaped(client, Words(client, look.label));
    papplClientHTMLPuts(client, "</option>");
  }
  papplClientHTMLPuts(client,
                      "</select></td></tr>\n<tr><th></th><td>"
                      "<button type=\"submit\" name=\"action\" value=\"preview\">");
  Escaped(client, Words(client, "Preview"));
  papplClientHTMLPuts(client, "</button> <button type=\"submit\" name=\"action\" value=\"print\">");
  Escaped(client, Words(client, "Print"));
  papplClientHTMLPuts(client, "</button></td></tr>\n</tbody></table></form>\n");
  if (!state.token.empty()) {
    papplClientHTMLPuts(client, "<h2 class=\"title\">");
    Escaped(client, Words(client, "The print"));
    papplClientHTMLPrintf(client,
                          "</h2><p><img class=\"qv46-preview\" src=\"%s?photo=%s&amp;look=%s\" "
                          "style=\"max-width: 100%%; max-height: 400px; border: 1px solid #888;\" "
                          "alt=\"",
                          PrinterPath(printer, "print-preview").c_str(), state.token.c_str(),
                          LookFor(state.look).keyword);
    Escaped(client, Words(client, "The print"));
    papplClientHTMLPuts(client, "\"></p>\n");
  }
  papplClientHTMLPuts(client, "</div></div>\n");
  papplClientHTMLPrinterFooter(client);
}

// The client may still be sending the body we refuse, and a socket closed
// with unread bytes is reset, which can lose the answer on its way: the
// answer is finished, our side shut, and what still comes is read and
// dropped for a short while (or until the client closes).
void LingerAfterAnswer(pappl_client_t* client) {
  constexpr auto kLinger = std::chrono::seconds(2);
  http_t* http = papplClientGetHTTP(client);
  httpFlushWrite(http);
  const int fd = httpGetFd(http);
  if (shutdown(fd, SHUT_WR) != 0) return;
  const auto end = std::chrono::steady_clock::now() + kLinger;
  char dropped[65536];
  while (std::chrono::steady_clock::now() < end) {
    pollfd readable{fd, POLLIN, 0};
    const int ready = poll(&readable, 1, 100);
    if (ready < 0) return;
    if (ready > 0 && recv(fd, dropped, sizeof dropped, 0) <= 0) return;
  }
}

// A page that says what went wrong with a request whose body was not read;
// false, so that PAPPL closes the connection.
bool Refuse(pappl_client_t* client, http_status_t code, const char* message) {
  if (papplClientRespond(client, code, nullptr, "text/html", 0, 0)) {
    papplClientHTMLHeader(client, Words(client, "Print a photo").c_str(), 0);
    papplClientHTMLPuts(client, "<div class=\"content\"><p>");
    Escaped(client, Words(client, message));
    papplClientHTMLPuts(client, "</p></div>\n");
    papplClientHTMLFooter(client);
    LingerAfterAnswer(client);
  }
  return false;
}

int CopiesFrom(const std::map<std::string, std::string>& fields) {
  const auto found = fields.find("copies");
  if (found == fields.end()) return 1;
  char* end = nullptr;
  const long copies = std::strtol(found->second.c_str(), &end, 10);
  return end != found->second.c_str() && *end == '\0' && copies >= 1 && copies <= kMaxFormCopies
             ? static_cast<int>(copies)
             : -1;
}

// The file name a browser sent, as the job's name.
std::string JobName(const std::string& fileName) {
  std::string name = fileName.substr(fileName.find_last_of("/\\") + 1);
  name.erase(std::remove_if(name.begin(), name.end(),
                            [](char c) { return static_cast<unsigned char>(c) < ' '; }),
             name.end());
  if (name.size() > 200) name.resize(200);
  return name.empty() ? "Photo" : name;
}

// Sends the upload to the printer as an IPP Print-Job over the loopback,
// so it is queued, counted and cancellable like any IPP job, with the
// page's choices as its attributes. (PAPPL 1.3's papplJobCreateWithFile
// turns its options into printer defaults, which the job never sees.) The
// job's id, or 0.
int SubmitJob(pappl_client_t* client, const PrintPage& page, const FormState& state,
              const char* format) {
  pappl_printer_t* printer = page.printer;
  const std::string resource = std::string("/ipp/print/") + papplPrinterGetName(printer);
  const int port = papplSystemGetHostPort(papplPrinterGetSystem(printer));
  http_t* http = httpConnect2("localhost", port, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED,
                              1, 30000, nullptr);
  if (http == nullptr) return 0;
  char uri[1024];
  httpAssembleURI(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", port,
                  resource.c_str());
  ipp_t* request = ippNewRequest(IPP_OP_PRINT_JOB);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
  const char* user = papplClientGetUsername(client);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
               user != nullptr && *user ? user : "anonymous");
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr,
               JobName(state.fileName).c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr, format);
  ippAddInteger(request, IPP_TAG_JOB, IPP_TAG_INTEGER, "copies", state.copies);
  const Look& look = LookFor(state.look);
  ippAddResolution(request, IPP_TAG_JOB, "printer-resolution", IPP_RES_PER_INCH, look.xResolution,
                   look.yResolution);
  const std::string document = UploadPath(page, state.token);
  ipp_t* response = cupsDoFileRequest(http, request, resource.c_str(), document.c_str());
  const int job = ippGetStatusCode(response) <= IPP_STATUS_OK_CONFLICTING
                      ? ippGetInteger(ippFindAttribute(response, "job-id", IPP_TAG_INTEGER), 0)
                      : 0;
  if (job == 0)
    papplLogClient(client, PAPPL_LOGLEVEL_ERROR, "The print page's job was refused: %s",
                   cupsLastErrorString());
  ippDelete(response);
  httpClose(http);
  // The job has its own copy of the photo.
  if (job > 0) unlink(document.c_str());
  return job;
}

std::atomic<int> gReceiving{0};

// One photo being received, counted while it lasts.
class Receiving {
 public:
  Receiving() : admitted_(++gReceiving <= kMaxReceiving) {}
  ~Receiving() { --gReceiving; }
  Receiving(const Receiving&) = delete;
  Receiving& operator=(const Receiving&) = delete;
  bool admitted() const { return admitted_; }

 private:
  bool admitted_;
};

// Reads the form with its photo into the spool, bounded before anything is
// kept, and previews or prints it.
bool TakeForm(pappl_client_t* client, const PrintPage& page) {
  http_t* http = papplClientGetHTTP(client);
  const char* length = httpGetField(http, HTTP_FIELD_CONTENT_LENGTH);
  if (length != nullptr && *length && std::strtoull(length, nullptr, 10) > kMaxPhotoUploadBytes)
    return Refuse(client, HTTP_STATUS_REQUEST_TOO_LARGE,
                  "The photo is too large: at most 50 MB can be sent.");
  std::string boundary;
  if (!MultipartBoundary(httpGetField(http, HTTP_FIELD_CONTENT_TYPE), &boundary))
    return Refuse(client, HTTP_STATUS_BAD_REQUEST, "The form could not be read.");

  const Receiving receiving;
  if (!receiving.admitted())
    return Refuse(client, HTTP_STATUS_SERVICE_UNAVAILABLE,
                  "The printer is receiving other photos. Try again in a moment.");
  DropOldUploads(page);
  FormState state;
  state.token = NewToken();
  const std::string path = UploadPath(page, state.token);
  const int fd =
      state.token.empty() ? -1 : open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return Refuse(client, HTTP_STATUS_SERVER_ERROR, "The photo cannot be stored.");
  FormUpload upload;
  UploadResult result = ReadMultipart(
      boundary, [http](char* buffer, size_t size) { return httpRead2(http, buffer, size); },
      kMaxPhotoUploadBytes, fd, &upload);
  if (close(fd) != 0 && result == UploadResult::kOk) result = UploadResult::kWriteError;
  if (result != UploadResult::kOk || upload.fileBytes == 0) unlink(path.c_str());
  switch (result) {
    case UploadResult::kOk:
      break;
    case UploadResult::kTooLarge:
      return Refuse(client, HTTP_STATUS_REQUEST_TOO_LARGE,
                    "The photo is too large: at most 50 MB can be sent.");
    case UploadResult::kWriteError:
      return Refuse(client, HTTP_STATUS_SERVER_ERROR,
                    "The photo cannot be stored: the disk may be full.");
    case UploadResult::kMalformed:
    case UploadResult::kReadError:
      return Refuse(client, HTTP_STATUS_BAD_REQUEST, "The form could not be read.");
  }

  cups_option_t* form = nullptr;
  int count = 0;
  for (const auto& [name, value] : upload.fields)
    count = cupsAddOption(name.c_str(), value.c_str(), count, &form);
  const bool valid = papplClientIsValidForm(client, count, form);
  cupsFreeOptions(count, form);
  if (!valid) {
    unlink(path.c_str());
    return Refuse(client, HTTP_STATUS_BAD_REQUEST,
                  "The form has expired. Open the page again and choose the photo again.");
  }

  const auto field = [&upload](const char* name) {
    const auto found = upload.fields.find(name);
    return found != upload.fields.end() ? found->second : std::string();
  };
  state.look = LookFor(field("look")).keyword;
  state.fileName = upload.fileName;
  if (upload.fileBytes == 0) {
    // No new photo: the one shown with the form before, if it still waits.
    const std::string earlier = field("photo-id");
    state.token = IsToken(earlier) && access(UploadPath(page, earlier).c_str(), F_OK) == 0
                      ? earlier
                      : std::string();
    state.fileName = field("photo-name");
  }
  const char* format = state.token.empty() ? nullptr : PhotoFormat(UploadPath(page, state.token));
  state.copies = CopiesFrom(upload.fields);
  if (state.token.empty()) {
    state.message = "Choose a photo first.";
  } else if (format == nullptr) {
    unlink(UploadPath(page, state.token).c_str());
    state.token.clear();
    state.message = "Choose a JPEG or PNG photo.";
  } else if (state.copies < 0) {
    state.message = "Choose between 1 and 99 copies.";
  }
  if (state.copies < 0) state.copies = 1;
  if (state.message.empty() && field("action") == "print") {
    const int job = SubmitJob(client, page, state, format);
    if (job > 0) {
      const std::string jobPage =
          PrinterPath(page.printer, "print-job") + "?id=" + std::to_string(job);
      return papplClientRespondRedirect(client, HTTP_STATUS_SEE_OTHER, jobPage.c_str());
    }
    state.message = "The printer did not take the job.";
  }
  ShowForm(client, page, state);
  return true;
}

bool ShowPrintPage(pappl_client_t* client, void* data) {
  const auto& page = *static_cast<const PrintPage*>(data);
  if (papplClientGetMethod(client) == HTTP_STATE_POST) return TakeForm(client, page);
  ShowForm(client, page, FormState{});
  return true;
}

std::map<std::string, std::string> Query(pappl_client_t* client) {
  cups_option_t* form = nullptr;
  const int count = papplClientGetForm(client, &form);
  std::map<std::string, std::string> values;
  for (int i = 0; i < count; ++i) values[form[i].name] = form[i].value;
  cupsFreeOptions(count, form);
  return values;
}

// The panel a waiting upload prints as, as a PNG.
bool ShowPreview(pappl_client_t* client, void* data) {
  const auto& page = *static_cast<const PrintPage*>(data);
  std::map<std::string, std::string> query = Query(client);
  const std::string token = query["photo"];
  if (!IsToken(token) || access(UploadPath(page, token).c_str(), F_OK) != 0)
    return papplClientRespond(client, HTTP_STATUS_NOT_FOUND, nullptr, nullptr, 0, 0);
  const Look& look = LookFor(query["look"]);
  std::string png;
  const char* fault =
      PreviewPanel(page.printer, UploadPath(page, token), look.xResolution, look.yResolution, &png);
  if (fault != nullptr) {
    papplLogClient(client, PAPPL_LOGLEVEL_ERROR, "No preview: %s.", fault);
    return papplClientRespond(client, HTTP_STATUS_BAD_REQUEST, nullptr, nullptr, 0, 0);
  }
  if (!papplClientRespond(client, HTTP_STATUS_OK, nullptr, "image/png", 0, png.size()))
    return false;
  return httpWrite2(papplClientGetHTTP(client), png.data(), png.size()) ==
             static_cast<ssize_t>(png.size()) &&
         httpFlushWrite(papplClientGetHTTP(client)) >= 0;
}

struct JobWords {
  ipp_jstate_t state;
  const char* text;
};
constexpr JobWords kJobWords[] = {
    {IPP_JSTATE_PENDING, "Waiting to print"}, {IPP_JSTATE_HELD, "Held"},
    {IPP_JSTATE_PROCESSING, "Printing"},      {IPP_JSTATE_STOPPED, "Stopped"},
    {IPP_JSTATE_CANCELED, "Cancelled"},       {IPP_JSTATE_ABORTED, "Not printed"},
    {IPP_JSTATE_COMPLETED, "Printed"},
};

// One job from this page, followed until it ends.
bool ShowJob(pappl_client_t* client, void* data) {
  const auto& page = *static_cast<const PrintPage*>(data);
  std::map<std::string, std::string> query = Query(client);
  pappl_job_t* job = papplPrinterFindJob(page.printer, std::atoi(query["id"].c_str()));
  if (job == nullptr)
    return papplClientRespond(client, HTTP_STATUS_NOT_FOUND, nullptr, nullptr, 0, 0);
  const ipp_jstate_t state = papplJobGetState(job);
  const bool ended = state >= IPP_JSTATE_CANCELED;
  papplClientHTMLPrinterHeader(client, page.printer, Words(client, "Print a photo").c_str(),
                               ended ? 0 : 3, nullptr, nullptr);
  const char* text = "";
  for (const JobWords& words : kJobWords) {
    if (words.state == state) text = words.text;
  }
  papplClientHTMLPuts(client,
                      "<div class=\"row\"><div class=\"col-12\"><table class=\"form\">"
                      "<tbody><tr><th>");
  Escaped(client, Words(client, "Photo"));
  papplClientHTMLPuts(client, ":</th><td>");
  Escaped(client, papplJobGetName(job));
  papplClientHTMLPuts(client, "</td></tr><tr><th>");
  Escaped(client, Words(client, "Job"));
  papplClientHTMLPrintf(client, ":</th><td class=\"qv46-job-state\" data-state=\"%d\">",
                        static_cast<int>(state));
  Escaped(client, Words(client, text));
  const char* message = papplJobGetMessage(job);
  if (message != nullptr && *message) {
    papplClientHTMLPuts(client, "<br>");
    Escaped(client, Words(client, message));
  }
  papplClientHTMLPuts(client, "</td></tr></tbody></table>\n<p>");
  papplClientHTMLPrintf(client, "<a class=\"btn\" href=\"%s\">",
                        PrinterPath(page.printer, "print").c_str());
  Escaped(client, Words(client, "Print another photo"));
  papplClientHTMLPuts(client, "</a></p></div></div>\n");
  papplClientHTMLPrinterFooter(client);
  return true;
}

}  // namespace

void AddPrintPage(pappl_printer_t* printer, const std::string& spoolDirectory) {
  // Kept for the life of the process, as PAPPL keeps its resources.
  static std::mutex pagesMutex;
  static std::deque<PrintPage> pages;
  PrintPage* page;
  {
    std::lock_guard<std::mutex> lock(pagesMutex);
    page = &pages.emplace_back(PrintPage{printer, spoolDirectory});
  }
  pappl_system_t* system = papplPrinterGetSystem(printer);
  const std::pair<const char*, pappl_resource_cb_t> resources[] = {
      {"print", ShowPrintPage}, {"print-preview", ShowPreview}, {"print-job", ShowJob}};
  for (const auto& [subpath, callback] : resources) {
    const std::string path = PrinterPath(printer, subpath);
    papplSystemAddResourceCallback(system, path.c_str(), "text/html", callback, page);
  }
  papplPrinterAddLink(
      printer, "Print a photo", PrinterPath(printer, "print").c_str(),
      static_cast<pappl_loptions_t>(PAPPL_LOPTIONS_NAVIGATION | PAPPL_LOPTIONS_STATUS));
}
