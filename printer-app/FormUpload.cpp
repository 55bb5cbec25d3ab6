// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "printer-app/FormUpload.h"

#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// A form's parts are a few short fields and one file.
constexpr size_t kMaxHeaderBytes = 8192;
constexpr size_t kMaxFieldBytes = 4096;
constexpr size_t kMaxFields = 16;
constexpr size_t kChunkBytes = 65536;
// RFC 2046 allows boundaries of 1 to 70 characters.
constexpr size_t kMaxBoundary = 70;

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// The quoted value of parameter `name` in a Content-Disposition line
// ("form-data; name=\"photo\"; filename=\"a.jpg\""); false when absent.
bool Parameter(const std::string& line, const std::string& name, std::string* value) {
  const std::string key = name + "=\"";
  for (size_t at = line.find(';'); at != std::string::npos; at = line.find(';', at + 1)) {
    size_t start = at + 1;
    while (start < line.size() && line[start] == ' ') ++start;
    if (line.compare(start, key.size(), key) != 0) continue;
    const size_t end = line.find('"', start + key.size());
    if (end == std::string::npos) return false;
    *value = line.substr(start + key.size(), end - start - key.size());
    return true;
  }
  return false;
}

class MultipartParser {
 public:
  MultipartParser(const std::string& boundary, int fileFd, FormUpload* upload)
      : delimiter_("\r\n--" + boundary), fileFd_(fileFd), upload_(upload) {}

  // Takes the next bytes of the body.
  UploadResult Feed(const char* data, size_t size) {
    pending_.append(data, size);
    for (;;) {
      const Step step = Next();
      if (step.result != UploadResult::kOk) return step.result;
      if (!step.progressed) return UploadResult::kOk;
    }
  }

  bool Done() const { return state_ == State::kDone; }

 private:
  enum class State { kPreamble, kDelimited, kHeaders, kBody, kDone };
  struct Step {
    UploadResult result;
    bool progressed;
  };

  Step Next() {
    switch (state_) {
      case State::kPreamble:
        return Preamble();
      case State::kDelimited:
        return Delimited();
      case State::kHeaders:
        return Headers();
      case State::kBody:
        return Body();
      case State::kDone:
        pending_.clear();
        return {UploadResult::kOk, false};
    }
    return {UploadResult::kMalformed, false};
  }

  Step Preamble() {
    const size_t at = pending_.find(delimiter_);
    if (at == std::string::npos) {
      if (pending_.size() >= delimiter_.size())
        pending_.erase(0, pending_.size() - delimiter_.size());
      return {UploadResult::kOk, false};
    }
    pending_.erase(0, at + delimiter_.size());
    state_ = State::kDelimited;
    return {UploadResult::kOk, true};
  }

  // After a delimiter: "--" ends the body, a line break starts a part.
  Step Delimited() {
    if (pending_.size() < 2) return {UploadResult::kOk, false};
    if (pending_.compare(0, 2, "--") == 0) {
      state_ = State::kDone;
      return {UploadResult::kOk, true};
    }
    if (pending_.compare(0, 2, "\r\n") != 0) return {UploadResult::kMalformed, false};
    state_ = State::kHeaders;
    return {UploadResult::kOk, true};
  }

  // The part's header lines, from the line break after its delimiter to
  // the empty line.
  Step Headers() {
    const size_t end = pending_.find("\r\n\r\n");
    if (end == std::string::npos) {
      return {pending_.size() > kMaxHeaderBytes ? UploadResult::kMalformed : UploadResult::kOk,
              false};
    }
    const std::string headers = pending_.substr(0, end + 2);
    pending_.erase(0, end + 4);
    name_.clear();
    value_.clear();
    isFile_ = false;
    for (size_t at = 0; at + 2 < headers.size();) {
      const size_t next = headers.find("\r\n", at + 2);
      const std::string line = headers.substr(at + 2, next - at - 2);
      at = next;
      if (strncasecmp(line.c_str(), "Content-Disposition:", 20) != 0) continue;
      Parameter(line, "name", &name_);
      std::string fileName;
      if (Parameter(line, "filename", &fileName)) {
        if (!upload_->fileField.empty() || name_.empty()) return {UploadResult::kMalformed, false};
        isFile_ = true;
        upload_->fileField = name_;
        upload_->fileName = fileName;
      }
    }
    if (name_.empty()) return {UploadResult::kMalformed, false};
    state_ = State::kBody;
    return {UploadResult::kOk, true};
  }

  // The part's bytes up to the next delimiter; what may be the start of a
  // delimiter waits for more.
  Step Body() {
    const size_t at = pending_.find(delimiter_);
    const size_t take = at != std::string::npos ? at
                        : pending_.size() >= delimiter_.size()
                            ? pending_.size() - delimiter_.size() + 1
                            : 0;
    if (take > 0) {
      const UploadResult result = Keep(pending_.data(), take);
      if (result != UploadResult::kOk) return {result, false};
      pending_.erase(0, take);
    }
    if (at == std::string::npos) return {UploadResult::kOk, false};
    pending_.erase(0, delimiter_.size());
    if (!isFile_) {
      if (upload_->fields.size() >= kMaxFields) return {UploadResult::kMalformed, false};
      upload_->fields[name_] = value_;
    }
    state_ = State::kDelimited;
    return {UploadResult::kOk, true};
  }

  UploadResult Keep(const char* data, size_t size) {
    if (isFile_) {
      if (!WriteAll(fileFd_, data, size)) return UploadResult::kWriteError;
      upload_->fileBytes += size;
      return UploadResult::kOk;
    }
    if (value_.size() + size > kMaxFieldBytes) return UploadResult::kMalformed;
    value_.append(data, size);
    return UploadResult::kOk;
  }

  const std::string delimiter_;
  const int fileFd_;
  FormUpload* upload_;
  // The body starts with a delimiter that has no line break before it.
  std::string pending_ = "\r\n";
  State state_ = State::kPreamble;
  std::string name_, value_;
  bool isFile_ = false;
};

}  // namespace

bool MultipartBoundary(const char* contentType, std::string* boundary) {
  constexpr char kType[] = "multipart/form-data";
  if (contentType == nullptr || strncasecmp(contentType, kType, sizeof kType - 1) != 0)
    return false;
  const char* at = strcasestr(contentType, "boundary=");
  if (at == nullptr) return false;
  std::string value = at + 9;
  if (!value.empty() && value[0] == '"') {
    const size_t end = value.find('"', 1);
    if (end == std::string::npos) return false;
    value = value.substr(1, end - 1);
  } else {
    const size_t end = value.find_first_of("; \t");
    if (end != std::string::npos) value.resize(end);
  }
  if (value.empty() || value.size() > kMaxBoundary) return false;
  *boundary = value;
  return true;
}

UploadResult ReadMultipart(const std::string& boundary, const BodyReader& read, uint64_t maxBytes,
                           int fileFd, FormUpload* upload) {
  MultipartParser parser(boundary, fileFd, upload);
  char buffer[kChunkBytes];
  uint64_t total = 0;
  for (;;) {
    const ssize_t n = read(buffer, sizeof buffer);
    if (n < 0) return UploadResult::kReadError;
    if (n == 0) break;
    total += static_cast<uint64_t>(n);
    if (total > maxBytes) return UploadResult::kTooLarge;
    const UploadResult result = parser.Feed(buffer, static_cast<size_t>(n));
    if (result != UploadResult::kOk) return result;
  }
  return parser.Done() ? UploadResult::kOk : UploadResult::kMalformed;
}
