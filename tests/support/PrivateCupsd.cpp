// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "PrivateCupsd.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

namespace qv46test {
namespace {

const char kSystemServerBin[] = "/usr/lib/cups";
const char kSystemDataDir[] = "/usr/share/cups";
const char kCupsd[] = "/usr/sbin/cupsd";

std::string ErrnoText(const std::string& what) { return what + ": " + std::strerror(errno); }

bool MakeDir(const std::string& path, mode_t mode, std::string* error) {
  if (mkdir(path.c_str(), mode) != 0 && errno != EEXIST) {
    *error = ErrnoText("mkdir " + path);
    return false;
  }
  // mkdir honours the umask; CUPS wants exact modes on its folders.
  chmod(path.c_str(), mode);
  return true;
}

bool WriteFile(const std::string& path, const std::string& text, std::string* error) {
  std::ofstream out(path, std::ios::trunc);
  out << text;
  if (!out.flush()) {
    *error = "cannot write " + path;
    return false;
  }
  return true;
}

bool CopyFile(const std::string& from, const std::string& to, mode_t mode, std::string* error) {
  std::ifstream in(from, std::ios::binary);
  if (!in) {
    *error = "cannot read " + from;
    return false;
  }
  {
    std::ofstream out(to, std::ios::binary | std::ios::trunc);
    out << in.rdbuf();
    if (!out.flush()) {
      *error = "cannot write " + to;
      return false;
    }
  }
  // CUPS refuses programs that are not root-owned or are group/other-writable.
  if (chown(to.c_str(), 0, 0) != 0 || chmod(to.c_str(), mode) != 0) {
    *error = ErrnoText("chown/chmod " + to);
    return false;
  }
  return true;
}

std::string BaseName(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Links every entry of `from` into `to`, except the names in `skip`.
bool LinkEntries(const std::string& from, const std::string& to,
                 const std::vector<std::string>& skip, std::string* error) {
  DIR* dir = opendir(from.c_str());
  if (!dir) {
    *error = ErrnoText("opendir " + from);
    return false;
  }
  bool ok = true;
  while (const dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    bool skipped = false;
    for (const std::string& s : skip) skipped = skipped || s == name;
    if (skipped) continue;
    if (symlink((from + "/" + name).c_str(), (to + "/" + name).c_str()) != 0) {
      *error = ErrnoText("symlink " + to + "/" + name);
      ok = false;
      break;
    }
  }
  closedir(dir);
  return ok;
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
  remove(path);
  return 0;
}

// Depth-first, without following the links into system folders.
void RemoveTree(const std::string& root) {
  nftw(root.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

std::string ReadTail(const std::string& path, size_t maxBytes) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  std::string all = text.str();
  return all.size() > maxBytes ? all.substr(all.size() - maxBytes) : all;
}

}  // namespace

std::string PrivateCupsd::DefaultPpdPath() {
  return QV46_SOURCE_DIR "/packaging/VALDREN_QV-46.ppd";
}

PrivateCupsd::PrivateCupsd() : PrivateCupsd(Options()) {}

PrivateCupsd::PrivateCupsd(Options options) : options_(std::move(options)) {}

PrivateCupsd::~PrivateCupsd() {
  Stop();
  if (!root_.empty()) RemoveTree(root_);
}

bool PrivateCupsd::LayOut(std::string* error) {
  char tmpl[] = "/tmp/qv46cupsd-XXXXXX";
  if (!mkdtemp(tmpl)) {
    *error = ErrnoText("mkdtemp");
    return false;
  }
  root_ = tmpl;
  socket_ = root_ + "/cupsd.sock";

  // Filters run as user lp: every folder on the way must be o+x.
  const std::string etc = root_ + "/etc", bin = root_ + "/bin", data = root_ + "/data";
  for (const std::string& dir : {root_, etc, root_ + "/state", root_ + "/cache", root_ + "/spool",
                                 root_ + "/spool/tmp", root_ + "/log", root_ + "/home", bin,
                                 bin + "/filter", bin + "/backend", data, data + "/model"}) {
    if (!MakeDir(dir, 0755, error)) return false;
  }

  // ServerBin: our programs plus links to the system's.
  if (!LinkEntries(kSystemServerBin, bin, {"filter", "backend"}, error) ||
      !LinkEntries(std::string(kSystemServerBin) + "/filter", bin + "/filter", {}, error) ||
      !LinkEntries(std::string(kSystemServerBin) + "/backend", bin + "/backend", {}, error))
    return false;
  for (const std::string& filter : options_.extraFilters) {
    std::string to = bin + "/filter/" + BaseName(filter);
    unlink(to.c_str());
    if (!CopyFile(filter, to, 0755, error)) return false;
  }
  for (const std::string& backend : options_.extraBackends) {
    std::string to = bin + "/backend/" + BaseName(backend);
    unlink(to.c_str());
    if (options_.backendPreload.empty()) {
      if (!CopyFile(backend, to, 0700, error)) return false;
      continue;
    }
    std::string real = root_ + "/backend-programs/" + BaseName(backend);
    if (!MakeDir(root_ + "/backend-programs", 0700, error) ||
        !CopyFile(backend, real, 0700, error) ||
        !WriteFile(
            to,
            "#!/bin/sh\nLD_PRELOAD='" + options_.backendPreload + "' exec '" + real + "' \"$@\"\n",
            error))
      return false;
    if (chmod(to.c_str(), 0700) != 0) {
      *error = ErrnoText("chmod " + to);
      return false;
    }
  }

  // DataDir: our models, the system's mime types, fonts, banners...
  if (!LinkEntries(kSystemDataDir, data, {"model"}, error)) return false;
  for (const std::string& model : options_.models) {
    if (!CopyFile(model, data + "/model/" + BaseName(model), 0644, error)) return false;
  }

  std::ostringstream files;
  files << "ServerRoot " << etc << "\n"
        << "StateDir " << root_ << "/state\n"
        << "CacheDir " << root_ << "/cache\n"
        << "DataDir " << data << "\n"
        << "ServerBin " << bin << "\n"
        << "RequestRoot " << root_ << "/spool\n"
        << "TempDir " << root_ << "/spool/tmp\n"
        << "AccessLog " << root_ << "/log/access_log\n"
        << "ErrorLog " << root_ << "/log/error_log\n"
        << "PageLog " << root_ << "/log/page_log\n"
        << "Printcap " << root_ << "/printcap\n"
        << "SystemGroup root\n"
        << "FileDevice No\n";
  for (const std::string& var : options_.env) {
    size_t eq = var.find('=');
    if (eq == std::string::npos || eq == 0) {
      *error = "environment entry without NAME=: " + var;
      return false;
    }
    files << "SetEnv " << var.substr(0, eq) << " " << var.substr(eq + 1) << "\n";
  }

  std::ostringstream conf;
  conf << "Listen " << socket_ << "\n"
       << "Browsing Off\n"
       << "WebInterface No\n"
       << "LogLevel debug\n"
       << "ErrorPolicy abort-job\n"
       << "DefaultAuthType None\n"
       << "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
       << "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n";

  const int firstJob =
      options_.firstJobId > 0 ? options_.firstJobId : 100000 + (getpid() % 20000) * 100;
  return WriteFile(root_ + "/cache/job.cache", "NextJobId " + std::to_string(firstJob) + "\n",
                   error) &&
         WriteFile(etc + "/cups-files.conf", files.str(), error) &&
         WriteFile(etc + "/cupsd.conf", conf.str(), error) &&
         WriteFile(etc + "/client.conf", "ServerName " + socket_ + "\n", error);
}

bool PrivateCupsd::Start(std::string* error) {
  if (pid_ > 0) {
    *error = "already started";
    return false;
  }
  if (!LayOut(error)) return false;
  if (socket_.size() >= sizeof(sockaddr_un::sun_path)) {
    *error = "socket path too long: " + socket_;
    return false;
  }

  const std::string conf = root_ + "/etc/cupsd.conf", files = root_ + "/etc/cups-files.conf";
  pid_ = fork();
  if (pid_ < 0) {
    *error = ErrnoText("fork");
    return false;
  }
  if (pid_ == 0) {
    int devnull = open("/dev/null", O_RDWR);
    dup2(devnull, 0);
    dup2(devnull, 1);
    dup2(devnull, 2);
    execl(kCupsd, kCupsd, "-f", "-c", conf.c_str(), "-s", files.c_str(), (char*)nullptr);
    _exit(127);
  }
  return WaitUntilAnswering(error);
}

bool PrivateCupsd::WaitUntilAnswering(std::string* error) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      *error = "cupsd exited early (status " + std::to_string(status) + "); log:\n" + ErrorLog();
      return false;
    }
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, socket_.c_str(), sizeof(addr.sun_path) - 1);
    bool answered = fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
    if (fd >= 0) close(fd);
    if (answered) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  *error = "cupsd did not answer on " + socket_ + "; log:\n" + ErrorLog();
  Stop();
  return false;
}

bool PrivateCupsd::Stop() {
  if (pid_ <= 0) return false;
  kill(pid_, SIGTERM);
  bool clean = false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  for (;;) {
    int status = 0;
    pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_ || (done < 0 && errno != EINTR)) {
      clean = done == pid_;
      break;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  pid_ = -1;
  return clean;
}

std::string PrivateCupsd::ErrorLog() const {
  return root_.empty() ? std::string() : ReadTail(root_ + "/log/error_log", 64 * 1024);
}

std::vector<std::string> PrivateCupsd::ClientEnv() const {
  return {"CUPS_SERVER=" + socket_, "CUPS_SERVERROOT=" + root_ + "/etc", "HOME=" + root_ + "/home"};
}

void PrivateCupsd::ApplyClientEnv() const {
  for (const std::string& var : ClientEnv()) {
    size_t eq = var.find('=');
    setenv(var.substr(0, eq).c_str(), var.substr(eq + 1).c_str(), 1);
  }
}

int PrivateCupsd::Run(const std::vector<std::string>& argv, std::string* output) const {
  if (argv.empty()) return -1;
  int pipeFd[2];
  if (pipe2(pipeFd, O_CLOEXEC) != 0) return -1;
  pid_t pid = fork();
  if (pid < 0) {
    close(pipeFd[0]);
    close(pipeFd[1]);
    return -1;
  }
  if (pid == 0) {
    int devnull = open("/dev/null", O_RDONLY);
    dup2(devnull, 0);
    dup2(pipeFd[1], 1);
    dup2(pipeFd[1], 2);
    ApplyClientEnv();
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  close(pipeFd[1]);
  std::string text;
  char buf[4096];
  for (;;) {
    ssize_t n = read(pipeFd[0], buf, sizeof(buf));
    if (n > 0)
      text.append(buf, static_cast<size_t>(n));
    else if (n == 0 || errno != EINTR)
      break;
  }
  close(pipeFd[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (output) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace qv46test
