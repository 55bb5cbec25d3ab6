// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// A private CUPS scheduler for tests.
//
// Starts `cupsd -f -c <conf> -s <files-conf>` as a child with its own
// ServerRoot under a fresh /tmp directory, so tests never touch the system's
// queues. The scheduler listens only on a unix socket in that directory.
// Its DataDir has our PPD in model/ and links to /usr/share/cups for the
// rest; its ServerBin links to the system filters, backends and daemon
// programs, plus the extra filters and backends a test asks for, copied in
// root-owned with the modes CUPS demands.
//
// Typical use (GoogleTest or Qt Test alike):
//
//   qv46test::PrivateCupsd::Options opt;
//   opt.extraBackends = {"/path/to/valdren-zelbackend"};
//   opt.env = {"UMOCKDEV_DIR=/tmp/..."};
//   opt.backendPreload = "libumockdev-preload.so.0";
//   qv46test::PrivateCupsd cupsd(opt);
//   std::string error;
//   ASSERT_TRUE(cupsd.start(&error)) << error;
//   cupsd.applyClientEnv();                 // libcups in this process
//   cupsd.run({"lpstat", "-r"}, &output);   // client commands as children
//
// The destructor stops the scheduler (by PID), reaps it and removes the
// directory. Needs root, as cupsd does.
#pragma once

#include <string>
#include <vector>

namespace qv46test {

class PrivateCupsd {
 public:
  struct Options {
    // Files put into DataDir/model (lpadmin -m <basename>).
    std::vector<std::string> models = {DefaultPpdPath()};
    // Programs copied into ServerBin/filter (mode 0755) and
    // ServerBin/backend (mode 0700, so CUPS runs them as root).
    std::vector<std::string> extraFilters;
    std::vector<std::string> extraBackends;
    // "NAME=value" entries passed to every filter and backend (SetEnv).
    std::vector<std::string> env;
    // LD_PRELOAD for the extra backends (e.g. the umockdev preload of a
    // simulated printer). cupsd passes no LD_* variable to its children,
    // so each extra backend then runs behind a two-line wrapper that
    // sets it and execs the real program.
    std::string backendPreload;
    // First job id; 0 picks one from the process id, so test programs
    // running side by side never share a /tmp/Print_<job>.log.
    int firstJobId = 0;
  };

  // The PPD in the source tree.
  static std::string DefaultPpdPath();

  PrivateCupsd();
  explicit PrivateCupsd(Options options);
  ~PrivateCupsd();
  PrivateCupsd(const PrivateCupsd&) = delete;
  PrivateCupsd& operator=(const PrivateCupsd&) = delete;

  // Lays out the directory, starts cupsd and waits until its socket
  // accepts connections. False with a reason (and the tail of the error
  // log) in *error when anything fails.
  bool Start(std::string* error);

  const std::string& Root() const { return root_; }          // the /tmp directory
  const std::string& SocketPath() const { return socket_; }  // CUPS_SERVER
  std::string ErrorLog() const;                              // cupsd's log, for diagnostics
  int Pid() const { return pid_; }                           // -1 when not running

  // CUPS_SERVER, CUPS_SERVERROOT and HOME as "NAME=value" entries.
  std::vector<std::string> ClientEnv() const;
  // Sets them in this process. libcups reads CUPS_SERVER once, so call this
  // before the process's first libcups call.
  void ApplyClientEnv() const;

  // Runs a command (looked up in PATH) with the client environment and
  // stdin from /dev/null; stdout and stderr go to *output if given.
  // Returns the exit status, or -1 if it could not run or was killed.
  int Run(const std::vector<std::string>& argv, std::string* output = nullptr) const;

  // Stops the scheduler now (the destructor does this too). True when it
  // exited on SIGTERM within the grace period.
  bool Stop();

 private:
  bool LayOut(std::string* error);
  bool WaitUntilAnswering(std::string* error);

  Options options_;
  std::string root_;
  std::string socket_;
  int pid_ = -1;
};

}  // namespace qv46test
