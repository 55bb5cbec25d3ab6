// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// What a photo booth does to the printer application, through IPP and the
// simulated QV-46: bursts from several clients, faults that need a person,
// a pulled cable, a stop or a kill in the middle of a job or right after a
// job was accepted. Every photo is printed once, whole, in the order it was
// sent, with its options.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "AppUnderTest.h"
#include "PrintSystem.h"
#include "TestImages.h"
#include "printer-app/AcceptedJobs.h"

namespace {

// What happens while the jobs are sent.
enum class Event {
  kNone,
  kFault,         // the printer reports `status` before the jobs arrive, and is fixed
  kAway,          // the printer is unplugged before the jobs arrive, and comes back
  kCable,         // the cable is pulled while the first job is sent, and put back
  kStop,          // SIGTERM while the first job is sent, then a new start
  kKill,          // SIGKILL while the first job is sent, then a new start
  kKillAtStart,   // SIGKILL once the printer has the first job's START, then a new start
  kKillAccepted,  // SIGKILL as soon as the last job was accepted, then a new start
  // The printer reports `status` while the first job is sent, and is fixed;
  // it keeps what it received and prints it then.
  kFaultInside,
};

struct Scenario {
  const char* name;
  Event event;
  int clients;          // sending at once
  int jobsEach;         // one after the other
  const char* status;   // kFault, kFaultInside: the printer's STATUS reply meanwhile
  const char* reasons;  // printer-state-reasons while nothing can print
  const char* words;    // the waiting jobs' message then: the status monitor's
  int quality;          // print-quality asked for
  const char* ppm;      // the planes' resolution it gives, in pixels per metre
};

// The media each client asks for, so that the printer's stream tells the
// clients' photos apart.
constexpr const char* kClientMedia[] = {"na_index-4x6_4x6in", "oe_photo-l_3.5x5in", "na_5x7_5x7in",
                                        "na_index-4x6-ext_6x8in"};

// The planes of draft, the standard look (300 x 300 dpi), and of high
// quality, the fine look (300 x 600 dpi).
constexpr char kDraft[] = "11811x11811";
constexpr char kHigh[] = "11811x23622";

constexpr char kMayHavePrinted[] =
    "The application stopped as this photo was finished; it may have printed, so it was not "
    "sent again. Release it to print it again.";
// Once PAPPL removed its document.
constexpr char kMayHavePrintedGone[] =
    "The application stopped as this photo was finished; it may have printed.";

constexpr char kPaperEnd[] = "Paper end: Load new media. (Replace the paper and ribbon as a set.)";
constexpr char kRibbonEnd[] =
    "Ribbon end: Load new media. (Replace the paper and ribbon as a set.)";

class Reliability : public apptest::AppTest, public testing::WithParamInterface<Scenario> {
 protected:
  std::string Jpeg() {
    const std::string png = Path("photo.png");
    EXPECT_TRUE(e2e::WritePng(png, e2e::SamplePhoto(900, 600)));
    EXPECT_EQ(0, apptest::Run({"convert", png, "-quality", "90", Path("photo.jpg")}));
    return Path("photo.jpg");
  }

  // Each client sends its jobs one after the other over one connection, all
  // clients at once; the job ids by client, in the order each sent them.
  std::vector<std::vector<int>> Send(const Scenario& s, const std::string& photo) {
    std::vector<std::string> outs(static_cast<size_t>(s.clients));
    std::vector<std::thread> clients;
    for (int c = 0; c < s.clients; ++c) {
      std::string test;
      for (int j = 0; j < s.jobsEach; ++j) {
        test += std::string("{\nOPERATION Print-Job\nGROUP operation-attributes-tag\n") +
                "ATTR charset attributes-charset utf-8\n"
                "ATTR language attributes-natural-language en\n"
                "ATTR uri printer-uri $uri\nATTR name requesting-user-name test\n"
                "ATTR mimeMediaType document-format image/jpeg\n" +
                "GROUP job-attributes-tag\nATTR keyword media " + kClientMedia[c] +
                "\nATTR enum print-quality " + std::to_string(s.quality) + "\nFILE " + photo +
                "\nSTATUS successful-ok\n}\n";
      }
      const std::string path = Path("client" + std::to_string(c) + ".test");
      e2e::WriteFile(path, test);
      clients.emplace_back([this, path, &out = outs[static_cast<size_t>(c)]] {
        apptest::Run({"ipptool", "-tv", app_.PrinterUri(), path}, &out);
      });
    }
    for (std::thread& client : clients) client.join();
    std::vector<std::vector<int>> ids;
    const std::regex id("job-id \\(integer\\) = ([0-9]+)");
    for (const std::string& out : outs) {
      ids.emplace_back();
      for (std::sregex_iterator m(out.begin(), out.end(), id), end; m != end; ++m)
        ids.back().push_back(std::stoi((*m)[1]));
    }
    return ids;
  }

  // The printer's stream from `offset` decoded: the plane size of every
  // whole job in the order received ("1920x1240 11811x11811"), or a reason
  // why it is not a sequence of whole jobs.
  std::vector<std::string> WholeJobs(size_t offset, std::string* fault) {
    e2e::WriteFile(Path("received.bin"), app_.ReceivedSince(offset));
    std::string listing;
    if (apptest::Run({QV46_STREAM, "-o", Path("decoded"), Path("received.bin")}, &listing) != 0)
      *fault = "undecodable: " + listing.substr(listing.size() > 2000 ? listing.size() - 2000 : 0);
    std::vector<std::string> jobs;
    std::string planes, size;
    std::istringstream lines(listing);
    const std::regex plane("IMAGE +([YMC])PLANE +[0-9]+ +([0-9x]+ +[0-9x]+) px/m");
    std::smatch m;
    for (std::string line; std::getline(lines, line);) {
      if (std::regex_search(line, m, plane)) {
        planes += m[1].str();
        if (!size.empty() && size != m[2].str()) *fault = "planes of two jobs mixed: " + line;
        size = m[2];
      } else if (line.find("CNTRL  START") != std::string::npos) {
        if (planes != "YMC") *fault = "a job of planes " + planes + " was started";
        jobs.push_back(size);
        planes.clear();
        size.clear();
      }
    }
    if (!planes.empty()) *fault = "planes " + planes + " were left without their start";
    return jobs;
  }

  int ImpressionsCompleted(int job) {
    const std::string out =
        app_.Ipp("Get-Job-Attributes", {"integer job-id " + std::to_string(job)});
    std::smatch m;
    return std::regex_search(out, m,
                             std::regex("job-impressions-completed \\(integer\\) = ([0-9]+)"))
               ? std::stoi(m[1])
               : -1;
  }

  void Restart(int signal) {
    ASSERT_NE(-1, app_.StopApp(signal, 60000));
    std::string error;
    ASSERT_TRUE(app_.StartApp(&error)) << error;
  }
};

TEST_P(Reliability, EveryPhotoPrintsOnceWholeInOrder) {
  const Scenario& s = GetParam();
  const std::string photo = Jpeg();
  const bool held = s.event == Event::kFault || s.event == Event::kAway;
  if (s.event == Event::kAway) {
    ASSERT_TRUE(app_.Sim("unplug"));
  } else if (held) {
    ASSERT_TRUE(app_.Sim("set", std::string("STATUS ") + s.status));
  }
  if (held) {
    EXPECT_TRUE(e2e::Eventually(
        [&] { return app_.PrinterAttribute("printer-state-reasons") == s.reasons; }, 15000))
        << app_.PrinterAttribute("printer-state-reasons");
    EXPECT_EQ("stopped", app_.PrinterAttribute("printer-state"));
  }

  const size_t before = app_.Captured();
  std::vector<std::vector<int>> sent = Send(s, photo);
  std::vector<int> jobs;
  for (const auto& client : sent) {
    ASSERT_EQ(static_cast<size_t>(s.jobsEach), client.size()) << "a job was refused";
    jobs.insert(jobs.end(), client.begin(), client.end());
  }
  std::sort(jobs.begin(), jobs.end());

  if (held) {
    // The app read the printer twice since the jobs arrived and sent none.
    if (s.event != Event::kAway) {
      EXPECT_TRUE(e2e::Eventually([&] { return app_.StatusQueriesSince(before) >= 2; }, 30000));
    }
    EXPECT_EQ("", app_.JobStreamSince(before));
    for (int job : jobs) {
      EXPECT_TRUE(e2e::Eventually(
          [&] { return app_.JobState(job) == std::string("pending-held ") + s.words; }, 15000))
          << job << ": " << app_.JobState(job);
    }
    EXPECT_EQ(s.reasons, app_.PrinterAttribute("printer-state-reasons"));
    ASSERT_TRUE(s.event == Event::kAway ? app_.Sim("plug") : app_.Sim("set", "STATUS 00000"));
  }

  size_t from = before;
  if (s.event == Event::kKillAccepted) {
    Restart(SIGKILL);
    from = app_.Captured();
  }
  if (s.event == Event::kCable || s.event == Event::kStop || s.event == Event::kKill ||
      s.event == Event::kFaultInside) {
    ASSERT_TRUE(e2e::Eventually([&] { return app_.Captured() > before + 100000; }, 60000));
    if (s.event == Event::kFaultInside) {
      ASSERT_TRUE(app_.Sim("set", std::string("STATUS ") + s.status));
      // The first job went in whole; the others wait, and the printer holds it.
      EXPECT_EQ("completed", app_.WaitForJob(jobs[0], 120000).substr(0, 9));
      EXPECT_TRUE(e2e::Eventually(
          [&] { return app_.PrinterAttribute("printer-state-reasons") == s.reasons; }, 15000));
      for (size_t i = 1; i < jobs.size(); ++i) {
        EXPECT_TRUE(e2e::Eventually(
            [&] { return app_.JobState(jobs[i]) == std::string("pending-held ") + s.words; },
            15000))
            << jobs[i] << ": " << app_.JobState(jobs[i]);
      }
      const size_t inside = app_.Captured();
      EXPECT_TRUE(e2e::Eventually([&] { return app_.StatusQueriesSince(inside) >= 2; }, 30000));
      EXPECT_EQ("", app_.JobStreamSince(inside));
      EXPECT_EQ("printed 0 held 1", app_.SimPrinted());
      ASSERT_TRUE(app_.Sim("set", "STATUS 00000"));
    } else if (s.event == Event::kCable) {
      ASSERT_TRUE(app_.Sim("unplug"));
      ASSERT_TRUE(e2e::Eventually(
          [&] { return app_.PrinterAttribute("printer-state-reasons").find("offline") == 0; },
          15000));
      ASSERT_TRUE(app_.Sim("plug"));
    } else if (s.event == Event::kKill) {
      Restart(SIGKILL);
    } else {
      Restart(SIGTERM);
      // The stop ended on a packet boundary.
      std::string fault;
      WholeJobs(before, &fault);
      EXPECT_EQ(std::string::npos, fault.find("undecodable")) << fault;
    }
    if (s.event != Event::kFaultInside) from = app_.Captured();
  }
  if (s.event == Event::kKillAtStart) {
    ASSERT_TRUE(e2e::Eventually(
        [&] { return app_.ReceivedSince(before).find("\x1bPCNTRL START") != std::string::npos; },
        60000));
    Restart(SIGKILL);
    from = app_.Captured();
    // Ended before the kill, or held, or ended by PAPPL (which removed its
    // document) as the state said so too late: it may have printed, and is
    // not sent again.
    const int first = jobs.front();
    const std::string state = app_.JobState(first);
    EXPECT_TRUE(state.rfind("completed", 0) == 0 ||
                state == std::string("pending-held ") + kMayHavePrinted ||
                state == std::string("aborted ") + kMayHavePrintedGone)
        << state;
    jobs.erase(jobs.begin());
    sent.front().erase(sent.front().begin());
  }

  // The cut job is sent again whole.
  for (int job : jobs) {
    EXPECT_EQ("completed", app_.WaitForJob(job, 120000).substr(0, 9)) << "job " << job;
    EXPECT_EQ(1, ImpressionsCompleted(job)) << "job " << job;
  }
  // Whole jobs, one after the other, in the order of their ids, each once,
  // at its client's size and resolution.
  std::map<int, std::string> mediaOf;
  for (size_t c = 0; c < sent.size(); ++c) {
    for (int job : sent[c]) mediaOf[job] = kClientMedia[c];
  }
  std::string fault;
  const std::vector<std::string> received = WholeJobs(from, &fault);
  EXPECT_EQ("", fault);
  ASSERT_EQ(jobs.size(), received.size());
  std::map<std::string, std::string> sizeOf;  // by media
  std::set<std::string> sizes;
  const std::string ppm = s.ppm;
  for (size_t i = 0; i < jobs.size(); ++i) {
    EXPECT_NE(std::string::npos, received[i].find(ppm)) << "job " << jobs[i] << ": " << received[i];
    auto known = sizeOf.emplace(mediaOf[jobs[i]], received[i]).first;
    EXPECT_EQ(known->second, received[i]) << "job " << jobs[i] << " is another client's photo";
  }
  for (const auto& entry : sizeOf) sizes.insert(entry.second);
  EXPECT_EQ(static_cast<size_t>(s.clients), sizes.size());
  // Each printed once, where no job was cut off in the printer's stream.
  if (s.event != Event::kCable && s.event != Event::kStop && s.event != Event::kKill &&
      s.event != Event::kKillAccepted && s.event != Event::kKillAtStart) {
    EXPECT_EQ("printed " + std::to_string(jobs.size()) + " held 0", app_.SimPrinted());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Booth, Reliability,
    testing::Values(
        Scenario{"FourClientsFiveJobsEachAtOnce", Event::kNone, 4, 5, "", "", "", 3, kDraft},
        Scenario{"PaperEndWithThreeQueued", Event::kFault, 1, 3, "01100",
                 "media-empty,paused,hold-new-jobs", kPaperEnd, 3, kDraft},
        Scenario{"RibbonEnd", Event::kFault, 1, 1, "01200",
                 "marker-supply-empty,paused,hold-new-jobs", kRibbonEnd, 3, kDraft},
        Scenario{"DoorOpen", Event::kFault, 1, 1, "01000", "cover-open,paused,hold-new-jobs",
                 "Door open: Close the printer.", 3, kDraft},
        Scenario{"PaperJam", Event::kFault, 1, 1, "01300", "media-jam,paused,hold-new-jobs",
                 "Paper jam: Remove the paper and reload it properly.", 3, kDraft},
        Scenario{"PrinterAwayWithThreeQueued", Event::kAway, 1, 3, "",
                 "offline,paused,hold-new-jobs",
                 "Offline: Connect the printer and computer, and turn on the power.", 3, kDraft},
        Scenario{"CablePulledDuringTheFirstOfThree", Event::kCable, 1, 3, "", "", "", 3, kDraft},
        Scenario{"StoppedDuringTheFirstOfThree", Event::kStop, 1, 3, "", "", "", 5, kHigh},
        Scenario{"KilledDuringTheFirstOfThree", Event::kKill, 1, 3, "", "", "", 5, kHigh},
        Scenario{"KilledAsTheFirstOfThreeIsFinished", Event::kKillAtStart, 1, 3, "", "", "", 5,
                 kHigh},
        Scenario{"KilledRightAfterTwoWereAccepted", Event::kKillAccepted, 1, 2, "", "", "", 5,
                 kHigh},
        Scenario{"PaperEndWhileTheFirstOfThreeIsInside", Event::kFaultInside, 1, 3, "01100",
                 "media-empty,paused,hold-new-jobs", kPaperEnd, 3, kDraft}),
    [](const testing::TestParamInfo<Scenario>& info) { return info.param.name; });

// A start adopts a spooled document the saved state lacks only when it is
// whole: PAPPL answers once the last byte is in, so a document cut off was
// never accepted.
struct Document {
  const char* name;
  const char* source;  // photo.jpg, progressive.jpg, photo.png or photo.pdf
  const char* format;
  long keep;          // bytes kept: < 0 drops that many from the end, 0 keeps all
  const char* after;  // appended after the (kept) bytes
  bool whole;
};

// A folder with a JPEG (baseline and progressive), a PNG and a PDF.
template <class Case>
class WithDocuments : public testing::TestWithParam<Case> {
 protected:
  static void SetUpTestSuite() {
    char dir[] = "/tmp/qv46-whole-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(dir));
    dir_ = dir;
    ASSERT_TRUE(e2e::WritePng(dir_ + "/photo.png", e2e::SamplePhoto(90, 60)));
    ASSERT_EQ(0, apptest::Run({"convert", dir_ + "/photo.png", dir_ + "/photo.jpg"}));
    ASSERT_EQ(0, apptest::Run({"convert", dir_ + "/photo.png", "-interlace", "Plane",
                               dir_ + "/progressive.jpg"}));
    ASSERT_TRUE(
        e2e::WriteFile(dir_ + "/photo.pdf",
                       "%PDF-1.4\n1 0 obj << /Type /Catalog >> endobj\ntrailer << /Root 1 0 "
                       "R >>\n%%EOF\n"));
  }
  static void TearDownTestSuite() { std::system(("rm -rf '" + dir_ + "'").c_str()); }
  static inline std::string dir_;
};

class WholeDocument : public WithDocuments<Document> {};

TEST_P(WholeDocument, IsWholeWhereItsFormatEnds) {
  const Document& d = GetParam();
  std::string bytes = e2e::ReadFile(dir_ + "/" + d.source);
  ASSERT_GT(bytes.size(), 60u);
  if (d.keep != 0) bytes.resize(d.keep > 0 ? static_cast<size_t>(d.keep) : bytes.size() + d.keep);
  const std::string path = dir_ + "/" + d.name;
  ASSERT_TRUE(e2e::WriteFile(path, bytes + d.after));
  EXPECT_EQ(d.whole, DocumentIsWhole(path, d.format));
}

INSTANTIATE_TEST_SUITE_P(
    Spool, WholeDocument,
    testing::Values(Document{"Jpeg", "photo.jpg", "image/jpeg", 0, "", true},
                    Document{"ProgressiveJpeg", "progressive.jpg", "image/jpeg", 0, "", true},
                    Document{"JpegWithACamerasTrailer", "photo.jpg", "image/jpeg", 0,
                             "\xff\xd8trailer", true},
                    Document{"JpegWithoutItsLastByte", "photo.jpg", "image/jpeg", -1, "", false},
                    Document{"JpegCutInItsData", "photo.jpg", "image/jpeg", -200, "", false},
                    Document{"ProgressiveJpegCutBetweenScans", "progressive.jpg", "image/jpeg",
                             -200, "", false},
                    Document{"JpegCutInItsHeader", "photo.jpg", "image/jpeg", 100, "", false},
                    Document{"Png", "photo.png", "image/png", 0, "", true},
                    Document{"PngWithoutItsEndsChecksum", "photo.png", "image/png", -4, "", false},
                    Document{"PngCutInItsData", "photo.png", "image/png", -100, "", false},
                    Document{"Pdf", "photo.pdf", "application/pdf", 0, "", true},
                    Document{"PdfCut", "photo.pdf", "application/pdf", -7, "", false},
                    Document{"JpegBytesNamedPng", "photo.jpg", "image/png", 0, "", false},
                    Document{"AnotherFormat", "photo.pdf", "application/postscript", 0, "", false}),
    [](const testing::TestParamInfo<Document>& info) { return info.param.name; });

// What a start makes of a job's files the saved state does not hold whole.
struct Adoption {
  const char* name;
  const char* savedJob;  // the job's line in the saved state, "" for none
  int printer;           // the files' printer
  size_t cut;            // bytes cut off the photo's end
  const char* expected;  // in the state afterwards, "" when it stays as it was
  bool filesKept;
};

class Adopt : public WithDocuments<Adoption> {};

TEST_P(Adopt, WholeDocumentsJoinTheStateWithTheirOwners) {
  const Adoption& a = GetParam();
  const std::string spool = dir_ + "/" + a.name, state = spool + "/app.state";
  ASSERT_EQ(0, mkdir(spool.c_str(), 0700));
  const std::string saved =
      std::string("<Printer id=\"1\" name=\"QV\" did=\"\" uri=\"qv46://x\" ") +
      "driver=\"qv46\">\nNextJobId 3\n" + a.savedJob + "</Printer>\n";
  ASSERT_TRUE(e2e::WriteFile(state, saved));
  char name[32];
  std::snprintf(name, sizeof name, "/p%05dj%09d-photo.", a.printer, 5);
  const std::string stem = spool + name;
  std::string photo = e2e::ReadFile(dir_ + "/photo.jpg");
  photo.resize(photo.size() - a.cut);
  ASSERT_TRUE(e2e::WriteFile(stem + "jpg", photo));
  ipp_t* attrs = ippNew();
  ippAddString(attrs, IPP_TAG_JOB, IPP_TAG_NAME, "job-name", nullptr, "photo");
  ippAddString(attrs, IPP_TAG_JOB, IPP_TAG_NAME, "job-originating-user-name", nullptr, "ann");
  ippAddInteger(attrs, IPP_TAG_JOB, IPP_TAG_ENUM, "print-quality", 5);
  const int fd = open((stem + "ipp").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
  const bool written = fd >= 0 && ippWriteFile(fd, attrs) == IPP_STATE_DATA;
  if (fd >= 0) close(fd);
  ippDelete(attrs);
  ASSERT_TRUE(written);

  AdoptAcceptedJobs(spool, state);
  std::string expected = a.expected;
  for (size_t at; (at = expected.find("SPOOL")) != std::string::npos;)
    expected.replace(at, 5, spool);
  if (expected.empty())
    EXPECT_EQ(saved, e2e::ReadFile(state));
  else
    EXPECT_NE(std::string::npos, e2e::ReadFile(state).find(expected)) << e2e::ReadFile(state);
  EXPECT_EQ(a.filesKept, e2e::Exists(stem + "ipp"));
  EXPECT_EQ(a.filesKept, e2e::Exists(stem + "jpg"));
}

INSTANTIATE_TEST_SUITE_P(
    Spool, Adopt,
    testing::Values(
        // Accepted after the last save: a waiting job of its owner, after the
        // others, and no new job takes its number.
        Adoption{"Unsaved", "", 1, 0,
                 "Job id=\"5\" name=\"photo\" username=\"ann\" format=\"image/jpeg\" "
                 "filename=\"SPOOL/p00001j000000005-photo.jpg\" state=\"3\"",
                 true},
        Adoption{"UnsavedTakesItsNumber", "", 1, 0, "NextJobId 6\n", true},
        // Saved while its document arrived.
        Adoption{"SavedWithoutItsDocument",
                 "Job id=\"5\" name=\"photo\" username=\"ann\" format=\"image/jpeg\" "
                 "state=\"4\"\n",
                 1, 0,
                 "Job id=\"5\" name=\"photo\" username=\"ann\" format=\"image/jpeg\" "
                 "state=\"4\" filename=\"SPOOL/p00001j000000005-photo.jpg\"\n",
                 true},
        // Never accepted: its client heard no answer.
        Adoption{"CutOff", "", 1, 300, "", false},
        Adoption{"CutOffButSaved",
                 "Job id=\"5\" name=\"photo\" username=\"ann\" format=\"image/jpeg\" "
                 "state=\"4\"\n",
                 1, 300, "", true},
        // A printer the state does not know is not guessed at.
        Adoption{"OfAnUnknownPrinter", "", 2, 0, "", true}),
    [](const testing::TestParamInfo<Adoption>& info) { return info.param.name; });

}  // namespace
