// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// qv46-system-demo <out-dir>: the whole system on this machine. A
// simulated QV-46, the status daemon registering its queue in a private
// cupsd, a sample photo printed with lp through the real filter and
// backend, then the stream the printer received decoded into plane BMPs
// and a preview, and the status file the daemon wrote. Needs root.
#include <cups/cups.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "PrintSystem.h"
#include "TestImages.h"

using e2e::PrintSystem;

namespace {

// The file that has the name now; 0 when there is none.
ino_t FileId(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: qv46-system-demo <out-dir>\n";
    return 2;
  }
  const std::string out = argv[1];
  PrintSystem::Options options;
  options.programs = {QV46_FILTER, QV46_BACKEND, QV46_SIM_CLI, QV46_STREAM, QV46_DAEMON};
  PrintSystem system(options);
  std::string error;
  if (!system.Start(&error)) {
    std::cerr << "qv46-system-demo: " << error << "\n";
    return 1;
  }
  const std::string serial = system.Serial();
  std::string text;
  system.Cupsd().Run({"lpstat", "-v"}, &text);
  std::cout << "== The status daemon found the simulated QV-46 " << serial << " and registered:\n"
            << text;

  // Watched like the status monitor does, so the daemon keeps polling.
  const std::string statusFile = "/tmp/QV-46_" + serial + ".log";
  e2e::WriteFile("/tmp/QV-46_" + serial + "_UTIL", "", 0666);
  e2e::Eventually([&] { return e2e::Exists(statusFile); }, 15000);

  const std::string photo = system.Work() + "/sample-photo.png";
  e2e::WritePng(photo, e2e::SamplePhoto(1200, 800));
  const std::vector<std::string> jobOptions = {"PageSize=153x102mm", "Resolution=300x600dpi",
                                               "ZelOvercoatFinish=Matte", "copies=2"};
  const size_t before = system.Captured();
  int id = system.Submit(PrintSystem::QueueName(), jobOptions, photo, &text);
  std::cout << "\n== lp -d " << PrintSystem::QueueName();
  for (const std::string& o : jobOptions) std::cout << " -o " << o;
  std::cout << " sample-photo.png\n" << text;
  int state = PrintSystem::WaitForJob(
      id, {IPP_JSTATE_COMPLETED, IPP_JSTATE_ABORTED, IPP_JSTATE_STOPPED, IPP_JSTATE_CANCELED});
  if (state != IPP_JSTATE_COMPLETED) {
    std::cerr << "qv46-system-demo: job " << id << " ended in state " << state << "\n"
              << system.Cupsd().ErrorLog();
    return 1;
  }
  std::cout << "job " << id << " completed\n";

  std::system(("mkdir -p '" + out + "'").c_str());
  const std::string dir = out + "/printed";
  std::system(("rm -rf '" + dir + "'").c_str());
  std::string listing;
  int decoded = system.Decode(system.JobStreamSince(before), dir, &listing);
  std::system(("cp '" + photo + "' '" + out + "/'").c_str());
  std::cout << "\n== What the printer received (decoded by qv46-stream):\n" << listing;

  // One more poll after the job, with the marker gone: the daemon puts a
  // new file in place at the poll's end.
  const size_t after = system.Captured();
  const ino_t written = FileId(statusFile);
  e2e::Eventually([&] { return system.Captured() > after && FileId(statusFile) != written; },
                  10000);
  const std::string status = e2e::ReadFile(statusFile);
  e2e::WriteFile(out + "/status-file.log", status);
  std::cout << "\n== " << statusFile << ", written by the status daemon:\n" << status;
  std::cout << "\nDemo output (sample photo, plane BMPs, preview PNG, status file): " << out
            << "\n";
  return decoded == 0 ? 0 : 1;
}
